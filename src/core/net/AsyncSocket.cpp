#include "net/AsyncSocket.h"

#include "net/Socks.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <cctype>

namespace kestrova {

const char *const SocketResolveErrorPrefix = "connect: cannot resolve host name";

namespace {
// Error code of the closed event when the SOCKS handshake failed.
constexpr int SocksFailedError = 1000;

void DropSocket(QTcpSocket *socket)
{
    if (!socket)
        return;
    QObject::disconnect(socket, nullptr, nullptr, nullptr);
    socket->abort();
    socket->deleteLater(); // it may be delivering one of its signals right now
}

void CheckHostName(const std::string &host)
{
    bool usable = !host.empty();
    for (unsigned char c : host)
        if (std::isspace(c) || std::iscntrl(c))
            usable = false;
    if (!usable)
        throw ESocketException(std::string(SocketResolveErrorPrefix) + " '" + host + "'");
}
} // namespace

bool ParsePort(const std::string &text, uint16_t &port)
{
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

TAsyncSocket::TAsyncSocket()
    : FSocket(nullptr, DropSocket)
{
}

TAsyncSocket::~TAsyncSocket()
{
    *FAlive = false;
}

bool TAsyncSocket::UsesSocks() const
{
    return !SocksServer.empty() && !SocksPort.empty() && (SocksLevel == "4" || SocksLevel == "5");
}

void TAsyncSocket::Connect()
{
    KV_ASSERT(FState == TSocketState::Idle, "TAsyncSocket.Connect called twice");
    CheckHostName(Addr);
    if (!ParsePort(Port, FTargetPort))
        throw ESocketException("connect: invalid port '" + Port + "'");
    uint16_t proxyPort = 0;
    if (UsesSocks()) {
        CheckHostName(SocksServer);
        if (!ParsePort(SocksPort, proxyPort))
            throw ESocketException("connect: invalid SOCKS port '" + SocksPort + "'");
    }

    FSocket.reset(new QTcpSocket);
    QTcpSocket *socket = FSocket.get();
    socket->setProxy(QNetworkProxy::NoProxy); // the SOCKS handshake is ours
    auto alive = FAlive;
    QObject::connect(socket, &QTcpSocket::connected, socket, [this, alive] {
        if (*alive)
            HandleConnected();
    });
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, alive] {
        if (*alive)
            HandleReadyRead();
    });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
        [this, alive](QAbstractSocket::SocketError code) {
            if (*alive)
                HandleError(static_cast<int>(code));
        });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, alive] {
        if (*alive)
            HandleDisconnected();
    });

    if (!UsesSocks()) {
        StartTcp(Addr, FTargetPort);
        return;
    }
    uint32_t address = 0;
    if (SocksLevel == "5" || ParseIPv4(Addr, address)) {
        StartTcp(SocksServer, proxyPort);
        return;
    }
    // SOCKS 4 carries an IPv4 address: resolve the server's name here, without blocking.
    SetState(TSocketState::Resolving);
    QHostInfo::lookupHost(
        QString::fromStdString(Addr), socket, [this, alive, proxyPort](const QHostInfo &info) {
            if (!*alive || FState != TSocketState::Resolving)
                return;
            for (const QHostAddress &a : info.addresses())
                if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                    FTargetIPv4 = a.toIPv4Address();
                    StartTcp(SocksServer, proxyPort);
                    return;
                }
            Fail(QAbstractSocket::HostNotFoundError, "DNS error");
        });
}

void TAsyncSocket::StartTcp(const std::string &host, uint16_t port)
{
    SetState(TSocketState::Connecting);
    FSocket->connectToHost(QString::fromStdString(host), port);
}

void TAsyncSocket::HandleConnected()
{
    if (FState != TSocketState::Connecting)
        return;
    if (!UsesSocks()) {
        BecomeConnected({});
        return;
    }
    TSocksRequest request;
    request.Version = SocksLevel == "4" ? 4 : 5;
    request.TargetHost = Addr;
    request.TargetPort = FTargetPort;
    request.UserName = SocksUsercode;
    request.Password = SocksPassword;
    request.Authenticate = SocksAuthentication && request.Version == 5;
    if (request.Version == 4 && !ParseIPv4(Addr, request.TargetIPv4))
        request.TargetIPv4 = FTargetIPv4;
    FSocks = std::make_unique<TSocksNegotiation>(request);
    SetState(TSocketState::Negotiating);
    const std::string hello = FSocks->Start();
    FSocket->write(hello.data(), static_cast<qint64>(hello.size()));
}

void TAsyncSocket::HandleReadyRead()
{
    if (FState == TSocketState::Negotiating) {
        const QByteArray bytes = FSocket->readAll();
        Negotiate(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
    } else if (FState == TSocketState::Connected && OnDataAvailable) {
        OnDataAvailable();
    }
}

void TAsyncSocket::Negotiate(const std::string &bytes)
{
    const TSocksStep step = FSocks->Feed(bytes);
    const std::string reply = FSocks->TakeOutput();
    if (!reply.empty())
        FSocket->write(reply.data(), static_cast<qint64>(reply.size()));
    if (step == TSocksStep::Done)
        BecomeConnected(FSocks->TakeLeftover());
    else if (step == TSocksStep::Failed)
        Fail(SocksFailedError, FSocks->Error());
}

void TAsyncSocket::BecomeConnected(std::string leftover)
{
    FLeftover = std::move(leftover);
    SetState(TSocketState::Connected);
    auto alive = FAlive;
    if (OnSessionConnected)
        OnSessionConnected(0);
    if (!*alive || FState != TSocketState::Connected)
        return;
    if ((!FLeftover.empty() || FSocket->bytesAvailable() > 0) && OnDataAvailable)
        OnDataAvailable();
}

void TAsyncSocket::HandleError(int code)
{
    if (FState == TSocketState::Closed || FState == TSocketState::Idle)
        return;
    const bool viaProxy = UsesSocks();
    const std::string proxy = SocksServer + ":" + SocksPort;
    std::string text;
    switch (FState) {
    case TSocketState::Connecting:
        if (code == QAbstractSocket::HostNotFoundError)
            text = viaProxy ? "Cannot find the SOCKS proxy host " + SocksServer : "DNS error";
        else if (viaProxy)
            text = "Unable to connect to the SOCKS proxy at " + proxy + ": "
                + FSocket->errorString().toStdString();
        break;
    case TSocketState::Negotiating:
        text = code == QAbstractSocket::RemoteHostClosedError
            ? "SOCKS proxy at " + proxy + " closed the connection during the handshake"
            : "SOCKS proxy at " + proxy + ": " + FSocket->errorString().toStdString();
        break;
    case TSocketState::Connected:
        if (code == QAbstractSocket::RemoteHostClosedError) {
            HandleDisconnected();
            return;
        }
        break;
    default:
        break;
    }
    // (ConnectionRefusedError is 0, so the code cannot tell an error from an orderly close.)
    if (text.empty())
        FSystemReason = FSocket->errorString().toStdString();
    Fail(code, text);
}

void TAsyncSocket::HandleDisconnected()
{
    if (FState == TSocketState::Closed)
        return;
    if (FState == TSocketState::Negotiating) {
        HandleError(QAbstractSocket::RemoteHostClosedError);
        return;
    }
    if (FState == TSocketState::Connected && FSocket->bytesAvailable() > 0 && OnDataAvailable) {
        // Hand over what arrived before the close.
        auto alive = FAlive;
        OnDataAvailable();
        if (!*alive || FState == TSocketState::Closed)
            return;
    }
    Fail(0, {});
}

void TAsyncSocket::Fail(int code, const std::string &text)
{
    FLastError = text;
    SetState(TSocketState::Closed);
    QObject::disconnect(FSocket.get(), nullptr, nullptr, nullptr);
    FSocket->abort(); // a failed handshake must not hold the proxy's connection open
    if (OnSessionClosed)
        OnSessionClosed(code);
}

void TAsyncSocket::SendStr(const std::string &bytes)
{
    if (FState == TSocketState::Connected && !bytes.empty())
        FSocket->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

int64_t TAsyncSocket::Receive(char *buffer, int64_t size)
{
    if (size <= 0)
        return 0;
    int64_t count = 0;
    if (!FLeftover.empty()) {
        count = std::min<int64_t>(size, static_cast<int64_t>(FLeftover.size()));
        std::copy_n(FLeftover.data(), count, buffer);
        FLeftover.erase(0, static_cast<size_t>(count));
    }
    if (count < size && FSocket) {
        const qint64 n = FSocket->read(buffer + count, size - count);
        if (n > 0)
            count += n;
    }
    return count;
}

void TAsyncSocket::Close()
{
    if (!FSocket || FState == TSocketState::Closed || FState == TSocketState::Idle)
        return;
    SetState(TSocketState::Closed);
    QObject::disconnect(FSocket.get(), nullptr, nullptr, nullptr);
    FSocket->disconnectFromHost(); // lets queued output go out
    // The closed event comes from the loop, as for a close by the peer.
    auto alive = FAlive;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, alive] {
            if (*alive && OnSessionClosed)
                OnSessionClosed(0);
        },
        Qt::QueuedConnection);
}

void TAsyncSocket::SetState(TSocketState state)
{
    FState = state;
    if (OnChangeState)
        OnChangeState(state);
}

} // namespace kestrova
