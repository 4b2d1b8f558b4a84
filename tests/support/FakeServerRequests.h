#pragma once
// A fake session for units that send requests through IServerRequests: it records every request
// and lets the test answer or fail each one.

#include "session/ServerRequests.h"

#include <string>
#include <vector>

namespace kvtest {

class FakeServerRequests : public kestrova::IServerRequests
{
public:
    struct Sent
    {
        kestrova::TMessageToServer Message;
        kestrova::TMessageHandle Handle;
        kestrova::TServerResponseEvent OnReply;
        bool Cancelled = false;
        bool Answered = false;
    };

    void SendRequest(const kestrova::TMessageToServer &message, kestrova::TMessageHandle &handle,
        kestrova::TServerResponseEvent onReply) override
    {
        handle
            = onReply ? kestrova::TMessageHandle { NextId++, NextId } : kestrova::TMessageHandle {};
        Requests.push_back({ message, handle, std::move(onReply) });
    }
    void CancelRequest(const kestrova::TMessageHandle &handle) override
    {
        for (auto &r : Requests)
            if (!kestrova::IsNullHandle(handle) && r.Handle == handle)
                r.Cancelled = true;
    }
    std::string Username() const override { return User; }
    bool LoginRefused() const override { return Refused; }
    uint64_t ResetCount() const override { return Resets; }
    kestrova::TConnectionSettings ConnectionSettings() const override { return Settings; }
    void ReportNetworkActivity(bool success, const std::string &text) override
    {
        Activity.emplace_back(success, text);
    }

    // Delivers a reply (or a failure) to request i unless it was cancelled or already answered.
    void Answer(size_t i, bool success, const std::string &body = {})
    {
        Sent &r = Requests.at(i);
        if (r.Cancelled || r.Answered || !r.OnReply)
            return;
        r.Answered = true;
        auto callback = r.OnReply; // the callback may send more requests
        const auto message = r.Message;
        callback(success, success ? body : std::string(), message);
    }
    // The value of key in request i, or "" when absent.
    std::string Value(size_t i, const std::string &key) const
    {
        for (const auto &f : Requests.at(i).Message)
            if (f.Key == key)
                return f.Value;
        return {};
    }

    std::vector<Sent> Requests;
    std::vector<std::pair<bool, std::string>> Activity;
    std::string User = "trader";
    bool Refused = false;
    uint64_t Resets = 0;
    kestrova::TConnectionSettings Settings;
    int32_t NextId = 1;
};

} // namespace kvtest
