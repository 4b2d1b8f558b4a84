#pragma once
// The byte-stream connection under the request channel: an abstract interface and its direct
// TCP form (optionally through a SOCKS proxy). A connection is used for one attempt only.
// GUI thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrova {

class TAsyncSocket;

class TGenericServerConnection
{
public:
    virtual ~TGenericServerConnection() = default;

    // Starts connecting; true when the attempt was started, false when it failed at once (then
    // ErrorMessage says why and OnSessionClosed has already been raised).
    virtual bool Connect() = 0;
    virtual void Send(const std::string &bytes) = 0;
    // Ends the connection; OnSessionClosed follows.
    virtual void Close() = 0;
    // Takes every byte received so far.
    virtual void ReadAll(std::string &bytes) = 0;

    // Set by the owner before Connect. An empty SocksLevel means no SOCKS.
    std::string SocksServer, SocksPort, SocksUsername, SocksPassword, SocksLevel;
    std::string HttpProxyUsername, HttpProxyPassword, HttpProxyHost;
    int32_t HttpProxyPort = 0;
    int32_t WriteTimeOut = 0; // ms; the tunnel's

    std::function<void(TGenericServerConnection &)> OnSessionClosed;
    std::function<void(TGenericServerConnection &)> OnSessionConnected;
    std::function<void(TGenericServerConnection &)> OnDataAvailable;
    std::function<void(TGenericServerConnection &, const std::string &)> OnDebugMessage;

    // Why the connection failed before it came up, for the user; empty when the owner's own
    // wording applies (for example a refused connection).
    std::string ErrorMessage;
    // The system's words for a failure the owner words itself ("Connection refused"), set when
    // the connection closes; empty when there are none.
    std::string SystemReason;
};

enum class TSocketConnectionState { New = 0, Connected = 1, Closed = 2 };

class TSocketServerConnection : public TGenericServerConnection
{
public:
    TSocketServerConnection(std::string host, std::string port);
    // Raises OnSessionClosed first when the socket never reported its close.
    ~TSocketServerConnection() override;

    bool Connect() override;
    void Send(const std::string &bytes) override;
    void Close() override;
    void ReadAll(std::string &bytes) override;

    TSocketConnectionState State() const { return FState; }
    const std::string &Host() const { return FHost; }
    const std::string &Port() const { return FPort; }

private:
    void SocketConnected(int error);
    void SocketClosed(int error);
    void SocketDataAvailable();
    void RaiseClosed();

    std::string FHost, FPort;
    std::unique_ptr<TAsyncSocket> FSocket;
    TSocketConnectionState FState = TSocketConnectionState::New;
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

} // namespace kestrova
