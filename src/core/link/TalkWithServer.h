#pragma once
// The request channel: numbers the requests that expect replies, compresses them onto one
// connection and routes every reply frame to the callback of the request it answers.
// Single-use: once Closed, the owner frees it (never inside one of its callbacks) and builds a
// new one. GUI thread only.

#include "link/PendingRequests.h"
#include "link/RequestChannel.h"
#include "link/WakeMeSoon.h"
#include "link/WireFormat.h"
#include "link/ZLibStreams.h"
#include "support/Exceptions.h"

#include <concepts>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace kestrova {

class TGenericServerConnection;

// A number from a reply: a plain decimal number with "." as its decimal point (an exponent is
// allowed; blanks, "nan", "inf" and hexadecimal are not), whatever the locale. Raises
// EConvertError on any other text and on a number out of range.
double ServerStrToFloat(std::string_view text);
// Shortest decimal text that reads back as value, with the locale's decimal separator.
std::string FloatToText(double value);

// For reports: ("key" --> "value", ...). The value of a "password" key is written as "***".
std::string DescribeMessage(const TMessageToServer &message);

namespace detail {
template<typename T>
std::string FieldText(const T &item)
{
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, bool>)
        return item ? "1" : "0";
    else if constexpr (std::is_same_v<U, char>)
        return std::string(1, item);
    else if constexpr (std::is_integral_v<U>)
        return std::to_string(item);
    else if constexpr (std::is_floating_point_v<U>)
        return FloatToText(static_cast<double>(item));
    else if constexpr (std::is_convertible_v<const U &, std::string_view>)
        return std::string(std::string_view(item));
    else
        static_assert(!sizeof(U), "Unknown field type.");
}
} // namespace detail

// MakeMessageToServer("command", "ping", "response", 1): alternately keys and values, each
// converted to text (integers decimal, bool "1"/"0", char, strings, floating point shortest).
template<typename... Items>
TMessageToServer MakeMessageToServer(const Items &...items)
{
    static_assert(sizeof...(Items) % 2 == 0, "MakeMessageToServer takes key/value pairs");
    const std::string texts[] = { std::string(), detail::FieldText(items)... };
    TMessageToServer message;
    message.reserve(sizeof...(Items) / 2);
    for (size_t i = 1; i + 1 < std::size(texts); i += 2)
        message.push_back({ texts[i], texts[i + 1] });
    return message;
}

class TTalkWithServer : public IRequestChannel
{
public:
    // Queues the preamble; no network activity until Connect. wakes makes the wake-up that
    // flushes queued requests (empty: one on the event loop).
    explicit TTalkWithServer(TWakeFactory wakes = {});
    // Runs the close sequence (OnDisconnected, failures) when not yet Closed; an owner that does
    // not want them unsets the events first.
    ~TTalkWithServer() override;
    TTalkWithServer(const TTalkWithServer &) = delete;
    TTalkWithServer &operator=(const TTalkWithServer &) = delete;

    void SendMessage(const TMessageToServer &message, bool persistent, TMessageHandle &handle,
        TServerResponseEvent callback) override;
    void ForgetMessage(const TMessageHandle &handle) override;
    void Connect() override;
    bool ConnectStarted() const override { return FConnection != nullptr; }
    TChannelState State() const override { return FState; }
    std::string ErrorText() const override { return FErrorText; }
    uint64_t BytesReceived() const override { return FBytesReceived; }
    uint64_t BytesSent() const override { return FBytesSent; }
    void Close() override;

    // Builds the connection for Connect from Settings (host and port already split). Empty: a
    // TSocketServerConnection, or TunnelFactory when Settings.UseTunnel. Tests plug fakes here.
    using TConnectionFactory = std::function<std::unique_ptr<TGenericServerConnection>(
        const TConnectionSettings &settings, const std::string &host, const std::string &port)>;
    TConnectionFactory CreateConnection;
    // Process-wide maker of tunnel connections: a THttpTunnel for Settings.TunnelUrl.
    static TConnectionFactory TunnelFactory;

    // The wake-up's step: compresses everything queued with a sync flush and writes it.
    void Flush();
    TGenericServerConnection *Connection() const { return FConnection.get(); }
    const TPendingRequests &Pending() const { return FPending; }

    static void SplitServerAddress(
        const std::string &address, std::string &host, std::string &port);

private:
    void SendRaw(const std::string &bytes);
    void Connected();
    void ConnectionLost();
    void ServerConnectionDataAvailable();
    void InvalidData(const std::exception &e);
    bool ProcessFrames(const std::shared_ptr<bool> &alive);
    void SendGoodResponse(int32_t id, const std::string &body);
    void SendErrorResponse(
        const TMessageToServer &message, bool persistent, const TServerResponseEvent &callback);
    void DetachConnection();

    std::unique_ptr<TGenericServerConnection> FConnection;
    std::unique_ptr<IWakeUp> FWake;
    TZLibCompressor FCompressor;
    TZLibDecompressor FDecompressor;
    TFrameReader FFrames;
    TPendingRequests FPending;
    std::string FHeldOutput;
    std::string FErrorText;
    TChannelState FState = TChannelState::New;
    bool FInvalidData = false;
    uint64_t FBytesReceived = 0, FBytesSent = 0;
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

} // namespace kestrova
