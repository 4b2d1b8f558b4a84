#pragma once
// A fake request channel: records requests and lets the test answer, fail or close them.

#include "link/RequestChannel.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {

class FakeChannel : public kestrova::IRequestChannel
{
public:
    struct Request
    {
        kestrova::TMessageToServer Message;
        bool Persistent = false;
        kestrova::TMessageHandle Handle;
        kestrova::TServerResponseEvent Callback;
        bool Done = false;

        std::string Value(const std::string &key) const
        {
            for (const auto &f : Message)
                if (f.Key == key)
                    return f.Value;
            return {};
        }
        std::string Command() const { return Value("command"); }
    };

    void SendMessage(const kestrova::TMessageToServer &message, bool persistent,
        kestrova::TMessageHandle &handle, kestrova::TServerResponseEvent callback) override
    {
        if (Closed) {
            handle = {};
            if (callback)
                callback(false, {}, message);
            return;
        }
        handle = callback
            ? kestrova::TMessageHandle { static_cast<int32_t>(Requests.size() + 1), NextSerial++ }
            : kestrova::TMessageHandle {};
        Requests.push_back({ message, persistent, handle, std::move(callback) });
    }
    void ForgetMessage(const kestrova::TMessageHandle &handle) override
    {
        for (auto &r : Requests)
            if (handle.Id != 0 && r.Handle == handle)
                r.Callback = nullptr;
    }
    void Connect() override { Started = true; }
    bool ConnectStarted() const override { return Started; }
    kestrova::TChannelState State() const override
    {
        return Closed
            ? kestrova::TChannelState::Closed
            : (Connected ? kestrova::TChannelState::Connected : kestrova::TChannelState::New);
    }
    std::string ErrorText() const override { return Error; }
    void Close() override { Lose(); }

    // Delivers a reply to request i (persistent ones stay open).
    void Reply(size_t i, const std::string &body)
    {
        Request &r = Requests.at(i);
        if (r.Done || !r.Callback)
            return;
        if (!r.Persistent)
            r.Done = true;
        auto callback = r.Callback;
        if (OnResponse)
            OnResponse(true, body, r.Message);
        callback(true, body, r.Message);
    }
    // The connection is lost: every open request fails once.
    void Lose()
    {
        if (std::exchange(Closed, true))
            return;
        if (OnDisconnected)
            OnDisconnected();
        for (size_t i = 0; i < Requests.size(); ++i) {
            Request &r = Requests[i];
            if (r.Done || !r.Callback)
                continue;
            r.Done = true;
            auto callback = r.Callback;
            if (OnResponse && !r.Persistent)
                OnResponse(false, {}, r.Message);
            callback(false, {}, r.Message);
        }
    }
    // Index of the last request with that command, or -1.
    int Last(const std::string &command) const
    {
        for (int i = static_cast<int>(Requests.size()) - 1; i >= 0; --i)
            if (Requests[i].Command() == command)
                return i;
        return -1;
    }
    int Count(const std::string &command) const
    {
        return static_cast<int>(std::count_if(Requests.begin(), Requests.end(),
            [&](const Request &r) { return r.Command() == command; }));
    }

    std::vector<Request> Requests;
    bool Started = false, Connected = false, Closed = false;
    std::string Error = "Unexpected disconnect from server.";
    int64_t NextSerial = 1;
};

// Makes FakeChannels for a session and keeps a pointer to each (the session owns them).
struct FakeChannelFactory
{
    std::vector<FakeChannel *> Made;
    std::function<std::unique_ptr<kestrova::IRequestChannel>()> Factory()
    {
        return [this] {
            auto channel = std::make_unique<FakeChannel>();
            Made.push_back(channel.get());
            return channel;
        };
    }
    FakeChannel &Current() { return *Made.back(); }
};

} // namespace kvtest
