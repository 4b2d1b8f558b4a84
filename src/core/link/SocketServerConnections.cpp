#include "link/SocketServerConnections.h"

#include "net/AsyncSocket.h"
#include "support/DebugLog.h"

namespace kestrova {

namespace {
const char *const Here = "SocketServerConnections, TSocketServerConnection.";
}

TSocketServerConnection::TSocketServerConnection(std::string host, std::string port)
    : FHost(std::move(host))
    , FPort(std::move(port))
{
}

TSocketServerConnection::~TSocketServerConnection()
{
    *FAlive = false;
    if (FState != TSocketConnectionState::Closed && OnSessionClosed) {
        FState = TSocketConnectionState::Closed;
        RunGuarded(std::string(Here) + "Destroy", [this] { OnSessionClosed(*this); });
    }
    if (FSocket) {
        FSocket->OnSessionClosed = nullptr;
        FSocket->OnSessionConnected = nullptr;
        FSocket->OnDataAvailable = nullptr;
        FSocket->OnChangeState = nullptr;
    }
}

bool TSocketServerConnection::Connect()
{
    KV_ASSERT(!FSocket, "TSocketServerConnection.Connect called twice");
    FSocket = std::make_unique<TAsyncSocket>();
    FSocket->Addr = FHost;
    FSocket->Port = FPort;
    if (!SocksServer.empty() && !SocksPort.empty() && !SocksLevel.empty()) {
        FSocket->SocksServer = SocksServer;
        FSocket->SocksPort = SocksPort;
        FSocket->SocksUsercode = SocksUsername;
        FSocket->SocksPassword = SocksPassword;
        FSocket->SocksLevel = SocksLevel;
        FSocket->SocksAuthentication = !SocksUsername.empty();
    }
    // Socket events run from the loop; each is guarded so nothing reaches Qt.
    FSocket->OnSessionClosed = [this](int error) {
        RunGuarded(std::string(Here) + "SocketClosed", [&] { SocketClosed(error); });
    };
    FSocket->OnSessionConnected = [this](int error) {
        RunGuarded(std::string(Here) + "SocketConnected", [&] { SocketConnected(error); });
    };
    FSocket->OnDataAvailable = [this] {
        RunGuarded(std::string(Here) + "SocketDataAvailable", [&] { SocketDataAvailable(); });
    };
    try {
        FSocket->Connect();
        return true;
    } catch (const Exception &e) {
        const std::string message = e.what();
        if (std::string(e.ClassName()) == "ESocketException"
            && message.rfind(SocketResolveErrorPrefix, 0) == 0)
            ErrorMessage = "DNS error";
        else
            ErrorMessage
                = std::string("TSocketServerConnection.Connect, ") + e.ClassName() + ", " + message;
    }
    RaiseClosed();
    return false;
}

void TSocketServerConnection::Send(const std::string &bytes)
{
    KV_ASSERT(FState != TSocketConnectionState::New, "TSocketServerConnection.Send before connect");
    if (FState == TSocketConnectionState::Connected)
        FSocket->SendStr(bytes);
}

void TSocketServerConnection::Close()
{
    if (FSocket && FState != TSocketConnectionState::Closed)
        FSocket->Close();
}

void TSocketServerConnection::ReadAll(std::string &bytes)
{
    bytes.clear();
    if (!FSocket)
        return;
    size_t used = 0;
    bytes.resize(4096);
    for (;;) {
        if (used == bytes.size())
            bytes.resize(bytes.size() * 2);
        const int64_t n
            = FSocket->Receive(bytes.data() + used, static_cast<int64_t>(bytes.size() - used));
        if (n <= 0)
            break;
        used += static_cast<size_t>(n);
    }
    bytes.resize(used);
}

void TSocketServerConnection::SocketConnected(int error)
{
    if (error != 0 || FState != TSocketConnectionState::New)
        return;
    FState = TSocketConnectionState::Connected;
    if (OnSessionConnected)
        OnSessionConnected(*this);
}

void TSocketServerConnection::SocketClosed(int)
{
    if (FState == TSocketConnectionState::New)
        ErrorMessage = FSocket->LastError();
    SystemReason = FSocket->SystemReason();
    RaiseClosed();
}

void TSocketServerConnection::SocketDataAvailable()
{
    if (OnDataAvailable)
        OnDataAvailable(*this);
}

void TSocketServerConnection::RaiseClosed()
{
    if (FState == TSocketConnectionState::Closed)
        return;
    FState = TSocketConnectionState::Closed;
    if (OnSessionClosed)
        OnSessionClosed(*this);
}

} // namespace kestrova
