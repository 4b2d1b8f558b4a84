#pragma once
// An asynchronous TCP stream socket on the Qt loop of the GUI thread, optionally through a SOCKS
// 4 or 5 proxy. Connect returns at once; the outcome arrives as OnSessionConnected or, for any
// failure, as OnSessionClosed with LastError() explaining it. Events never arrive inside the
// call that caused them, except OnSessionClosed from Close when the socket was never opened.
// The object may be destroyed from inside any of its events.

#include "support/Exceptions.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QTcpSocket;

namespace kestrova {

// A socket set up so that it cannot even start (bad host name or port).
KV_DECLARE_EXCEPTION(ESocketException, Exception);
// The start of ESocketException's message when the host name cannot be used at all.
extern const char *const SocketResolveErrorPrefix;

// A port as text: decimal digits only, 1 to 65535.
bool ParsePort(const std::string &text, uint16_t &port);

enum class TSocketState { Idle, Resolving, Connecting, Negotiating, Connected, Closed };

class TSocksNegotiation;

class TAsyncSocket
{
public:
    TAsyncSocket();
    ~TAsyncSocket();
    TAsyncSocket(const TAsyncSocket &) = delete;
    TAsyncSocket &operator=(const TAsyncSocket &) = delete;

    // Target; set before Connect.
    std::string Addr;
    std::string Port;
    // SOCKS proxy: used when SocksLevel is "4" or "5" and server and port are set.
    std::string SocksServer, SocksPort, SocksUsercode, SocksPassword, SocksLevel;
    bool SocksAuthentication = false; // SOCKS 5 user name / password (RFC 1929)

    // Starts connecting. Raises ESocketException when the settings cannot work.
    void Connect();
    // Queues bytes for the peer (Qt buffers what cannot be written at once). Ignored unless
    // connected.
    void SendStr(const std::string &bytes);
    // Copies up to size received bytes into buffer; 0 when nothing is waiting.
    int64_t Receive(char *buffer, int64_t size);
    // Ends the connection; OnSessionClosed follows from the loop.
    void Close();

    TSocketState State() const { return FState; }
    // Why the socket closed, for the user; empty after an orderly close or a failure that the
    // owner words itself (connection refused by the server).
    const std::string &LastError() const { return FLastError; }
    // The system's words for a failure that LastError leaves to the owner ("Connection
    // refused"); empty after an orderly close or when LastError explains it.
    const std::string &SystemReason() const { return FSystemReason; }

    std::function<void(int error)> OnSessionConnected;
    std::function<void(int error)> OnSessionClosed; // error 0: orderly close
    std::function<void()> OnDataAvailable;
    std::function<void(TSocketState state)> OnChangeState; // diagnostics; must not destroy us

private:
    bool UsesSocks() const;
    void StartTcp(const std::string &host, uint16_t port);
    void HandleConnected();
    void HandleReadyRead();
    void HandleError(int code);
    void HandleDisconnected();
    void Negotiate(const std::string &bytes);
    void BecomeConnected(std::string leftover);
    void Fail(int code, const std::string &text);
    void SetState(TSocketState state);

    std::unique_ptr<QTcpSocket, void (*)(QTcpSocket *)> FSocket;
    std::unique_ptr<TSocksNegotiation> FSocks;
    TSocketState FState = TSocketState::Idle;
    std::string FLastError, FSystemReason;
    std::string FLeftover; // target bytes that came with the SOCKS reply
    uint16_t FTargetPort = 0;
    uint32_t FTargetIPv4 = 0; // SOCKS 4: the server's address, resolved here
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

} // namespace kestrova
