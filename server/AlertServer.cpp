#include "AlertServer.h"

#include "Guarded.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <algorithm>

namespace kestrova::alertd {

namespace {
// A client that lets this much output pile up is too slow to serve.
constexpr qint64 MaxQueuedOutput = 32 * 1024 * 1024;
} // namespace

TAlertServer::TAlertServer(TServerState &state, QObject *parent)
    : QObject(parent)
    , FState(state)
{
    connect(&FServer, &QTcpServer::newConnection, this,
        [this] { Guarded(FState, "AlertServer, TAlertServer.Accept", [this] { Accept(); }); });
    connect(&FMarketTimer, &QTimer::timeout, this, [this] {
        Guarded(FState, "AlertServer, TAlertServer.MarketTick", [this] { MarketTick(); });
    });
    connect(&FTickTimer, &QTimer::timeout, this, [this] {
        Guarded(FState, "AlertServer, TAlertServer.SessionTick", [this] { SessionTick(); });
    });
}

TAlertServer::~TAlertServer()
{
    for (auto &[socket, connection] : FConnections) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

bool TAlertServer::Start()
{
    QHostAddress address;
    const QString listen = QString::fromStdString(FState.Options().ListenAddress);
    if (listen == QLatin1String("localhost"))
        address = QHostAddress::LocalHost;
    else if (!address.setAddress(listen)) {
        FError = QStringLiteral("not an IP address: %1")
                     .arg(QString::fromStdString(FState.Options().ListenAddress));
        return false;
    }
    if (!FServer.listen(address, static_cast<quint16>(FState.Options().Port))) {
        FError = FServer.errorString();
        return false;
    }
    FMarketTimer.start(50);
    FTickTimer.start(std::clamp(FState.Options().HeartbeatMs / 10, 10, 100));
    return true;
}

QString TAlertServer::Address() const
{
    return FServer.serverAddress().toString();
}

void TAlertServer::Accept()
{
    while (QTcpSocket *socket = FServer.nextPendingConnection()) {
        const std::string peer = socket->peerAddress().toString().toStdString() + ":"
            + std::to_string(socket->peerPort());
        if (FConnections.size() >= static_cast<size_t>(FState.Options().MaxClients)) {
            FState.Info("connection from " + peer + " refused ("
                + std::to_string(FConnections.size()) + " clients already, the maximum)");
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        TConnection connection;
        connection.Socket = socket;
        connection.Session = std::make_unique<TAlertdSession>(FState, FNextNumber++);
        FState.Info("connection " + std::to_string(connection.Session->Number()) + " from " + peer);
        FConnections.emplace(socket, std::move(connection));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            Guarded(FState, "AlertServer, TAlertServer.Read", [this, socket] { Read(socket); });
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            Guarded(FState, "AlertServer, TAlertServer.Disconnected",
                [this, socket] { Drop(socket, QStringLiteral("client disconnected")); });
        });
        Read(socket); // bytes may already be waiting
    }
}

void TAlertServer::Read(QTcpSocket *socket)
{
    const auto it = FConnections.find(socket);
    if (it == FConnections.end())
        return;
    const QByteArray bytes = socket->readAll();
    it->second.Session->Receive(
        std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    Flush(it->second);
}

void TAlertServer::Flush(TConnection &connection)
{
    TAlertdSession &session = *connection.Session;
    QTcpSocket *socket = connection.Socket;
    const std::string out = session.TakeOutput();
    if (!out.empty())
        socket->write(out.data(), static_cast<qint64>(out.size()));
    if (session.WantsClose()) {
        Drop(socket, QString::fromStdString(session.CloseReason()));
        return;
    }
    if (socket->bytesToWrite() > MaxQueuedOutput) {
        Drop(socket, QStringLiteral("client too slow to read its alerts"));
        return;
    }
    Account(connection);
}

void TAlertServer::Account(TConnection &connection)
{
    auto held = [](const TConnection &c) {
        return c.Session->BufferedBytes() + static_cast<size_t>(c.Socket->bytesToWrite());
    };
    const size_t now = held(connection);
    FBuffered = FBuffered - connection.Buffered + now;
    connection.Buffered = now;
    const size_t limit = FState.Options().MaxBufferedBytes;
    if (FBuffered <= limit)
        return;
    // Output drains while sockets write: count everyone afresh before closing anyone.
    FBuffered = 0;
    for (auto &[socket, c] : FConnections)
        FBuffered += c.Buffered = held(c);
    while (FBuffered > limit) {
        const auto largest = std::max_element(FConnections.begin(), FConnections.end(),
            [](const auto &a, const auto &b) { return a.second.Buffered < b.second.Buffered; });
        Drop(largest->first,
            QStringLiteral("holds %1 bytes while all connections hold %2, above the limit of %3")
                .arg(largest->second.Buffered)
                .arg(FBuffered)
                .arg(limit),
            true);
    }
}

void TAlertServer::Drop(QTcpSocket *socket, const QString &reason, bool atOnce)
{
    const auto it = FConnections.find(socket);
    if (it == FConnections.end())
        return;
    FState.Info("connection " + std::to_string(it->second.Session->Number()) + " closed ("
        + reason.toStdString() + ")");
    FBuffered -= it->second.Buffered;
    FConnections.erase(it);
    socket->disconnect(this);
    if (atOnce) { // its memory is wanted back now
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Send what was queued (a dropped connection's last bytes), then close and free the
    // socket once it is closed.
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
    else // a peer that never reads must not keep it forever
        QTimer::singleShot(5000, socket, [socket] { socket->abort(); });
}

void TAlertServer::MarketTick()
{
    if (FState.AdvanceMarket() > 0)
        ForEachSession([](TAlertdSession &session) { session.OnMarketAlerts(); });
}

void TAlertServer::SessionTick()
{
    ForEachSession([](TAlertdSession &session) { session.Tick(); });
}

void TAlertServer::ForEachSession(const std::function<void(TAlertdSession &)> &action)
{
    // A connection may be dropped by an earlier one's work: walk a snapshot, skip the gone.
    std::vector<QTcpSocket *> sockets;
    for (auto &[socket, connection] : FConnections)
        sockets.push_back(socket);
    for (QTcpSocket *socket : sockets) {
        const auto it = FConnections.find(socket);
        if (it == FConnections.end())
            continue;
        action(*it->second.Session);
        Flush(it->second);
    }
}

} // namespace kestrova::alertd
