#pragma once
// The network glue: a QTcpServer whose connections each drive one TAlertdSession, a market
// timer that grows the alert log, and a tick timer for heartbeats, time-outs and faults. It
// keeps the number of connections and the bytes they hold within the options' limits.
// Everything runs on the thread's Qt event loop and never blocks.

#include "AlertdSession.h"
#include "ServerState.h"

#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

class QTcpSocket;

namespace kestrova::alertd {

class TAlertServer : public QObject
{
    Q_OBJECT
public:
    explicit TAlertServer(TServerState &state, QObject *parent = nullptr);
    ~TAlertServer() override;

    // Starts listening and the timers; false (with the reason in Error()) when it cannot.
    bool Start();
    QString Error() const { return FError; }
    QString Address() const;
    quint16 Port() const { return FServer.serverPort(); }
    size_t ConnectionCount() const { return FConnections.size(); }
    // Unfinished requests and unsent replies of all connections, as last counted.
    size_t BufferedBytes() const { return FBuffered; }

private:
    struct TConnection
    {
        QTcpSocket *Socket = nullptr;
        std::unique_ptr<TAlertdSession> Session;
        size_t Buffered = 0; // its share of FBuffered
    };

    void Accept();
    void Read(QTcpSocket *socket);
    void Flush(TConnection &connection);
    // Recounts what the connection holds; over the limit, closes the largest holders.
    void Account(TConnection &connection);
    // Closes the connection; unless at once, its queued output is sent first.
    void Drop(QTcpSocket *socket, const QString &reason, bool atOnce = false);
    void MarketTick();
    void SessionTick();
    void ForEachSession(const std::function<void(TAlertdSession &)> &action);

    TServerState &FState;
    QTcpServer FServer;
    QTimer FMarketTimer;
    QTimer FTickTimer;
    std::map<QTcpSocket *, TConnection> FConnections;
    size_t FBuffered = 0;
    int FNextNumber = 1;
    QString FError;
};

} // namespace kestrova::alertd
