#pragma once
// The request channel as its owner (the session) sees it. TTalkWithServer implements it; tests
// plug in a fake.

#include "link/Messages.h"

#include <cstdint>
#include <functional>
#include <string>

namespace kestrova {

// How to reach the server; copied by the owner into a channel before Connect. Only the next
// channel sees changes.
struct TConnectionSettings
{
    std::string ServerAddress; // host, or host ":" port (8888 when absent)
    bool UseTunnel = false;
    std::string TunnelUrl;
    std::string SocksServer;
    int32_t SocksPort = 1080;
    int32_t SocksLevel = 4; // 4 or 5 enable SOCKS
    std::string SocksUsername, SocksPassword;
    std::string HttpProxyHost;
    int32_t HttpProxyPort = 0;
    std::string HttpProxyUsername, HttpProxyPassword;
    int32_t HttpTimeLimit = 1000; // ms
    bool operator==(const TConnectionSettings &) const = default;
};

enum class TChannelState { New = 0, Connected = 2, Closed = 3 };

class IRequestChannel
{
public:
    virtual ~IRequestChannel() = default;

    // Queues a request; callback (may be empty) gets the reply, or one failure when the channel
    // closes. Persistent requests get every reply on their id.
    virtual void SendMessage(const TMessageToServer &message, bool persistent,
        TMessageHandle &handle, TServerResponseEvent callback)
        = 0;
    // Detaches the callback of a request; a late reply is dropped.
    virtual void ForgetMessage(const TMessageHandle &handle) = 0;
    // Starts connecting with Settings. Only once, in state New.
    virtual void Connect() = 0;
    virtual bool ConnectStarted() const = 0;
    // Closes now: every pending request gets its failure (as when the connection is lost) and
    // the state becomes Closed. Safe inside the channel's own callbacks; the owner frees the
    // channel later.
    virtual void Close() = 0;
    virtual TChannelState State() const = 0;
    // Why the channel closed, for the user.
    virtual std::string ErrorText() const = 0;
    // Bytes read from and written to the connection so far.
    virtual uint64_t BytesReceived() const { return 0; }
    virtual uint64_t BytesSent() const { return 0; }

    TConnectionSettings Settings;
    std::function<void()> OnConnected;
    std::function<void()> OnDisconnected;
    // Raised before every delivered reply callback (and failures of single-reply requests).
    TServerResponseEvent OnResponse;
    std::function<void(const std::string &text)> OnStatusText;
};

} // namespace kestrova
