#include "AlertServer.h"

#include "support/Exceptions.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace kestrova::alertd {

namespace {
// A client that lets this much output pile up is too slow to serve.
constexpr qint64 MaxQueuedOutput = 32 * 1024 * 1024;
} // namespace

template<typename F>
void TAlertServer::Guarded(const char *location, F &&handler)
{
    try {
        std::forward<F>(handler)();
    } catch (const std::exception &e) {
        std::string name = "Unknown";
        try {
            name = ExceptionClassName(e);
        } catch (...) {
        }
        FState.Info("Class=" + name + ", Message=" + e.what() + ", Location=" + location);
    } catch (...) {
        FState.Info(std::string(location) + " failed");
    }
}

TAlertServer::TAlertServer(TServerState &state, QObject *parent)
    : QObject(parent)
    , FState(state)
{
    connect(&FServer, &QTcpServer::newConnection, this,
        [this] { Guarded("AlertServer, TAlertServer.Accept", [this] { Accept(); }); });
    connect(&FMarketTimer, &QTimer::timeout, this,
        [this] { Guarded("AlertServer, TAlertServer.MarketTick", [this] { MarketTick(); }); });
    connect(&FTickTimer, &QTimer::timeout, this,
        [this] { Guarded("AlertServer, TAlertServer.SessionTick", [this] { SessionTick(); }); });
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
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        TConnection connection;
        connection.Socket = socket;
        connection.Session = std::make_unique<TAlertdSession>(FState, FNextNumber++);
        FState.Info("connection " + std::to_string(connection.Session->Number()) + " from "
            + socket->peerAddress().toString().toStdString() + ":"
            + std::to_string(socket->peerPort()));
        FConnections.emplace(socket, std::move(connection));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            Guarded("AlertServer, TAlertServer.Read", [this, socket] { Read(socket); });
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            Guarded("AlertServer, TAlertServer.Disconnected",
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
    if (socket->bytesToWrite() > MaxQueuedOutput)
        Drop(socket, QStringLiteral("client too slow to read its alerts"));
}

void TAlertServer::Drop(QTcpSocket *socket, const QString &reason)
{
    const auto it = FConnections.find(socket);
    if (it == FConnections.end())
        return;
    FState.Info("connection " + std::to_string(it->second.Session->Number()) + " closed ("
        + reason.toStdString() + ")");
    FConnections.erase(it);
    socket->disconnect(this);
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
