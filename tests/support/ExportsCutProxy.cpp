#include "ExportsCutProxy.h"

#include <QHostAddress>

namespace kvtest {

ExportsCutProxy::ExportsCutProxy(quint16 serverPort)
    : FServerPort(serverPort)
{
    QObject::connect(&FServer, &QTcpServer::newConnection, [this] { Accept(); });
    FServer.listen(QHostAddress::LocalHost, 0);
}

ExportsCutProxy::~ExportsCutProxy()
{
    FServer.close();
    for (auto &pair : FPairs) {
        for (QTcpSocket *socket : { pair->Client, pair->Server }) {
            socket->disconnect();
            socket->abort();
            delete socket;
        }
    }
}

void ExportsCutProxy::Accept()
{
    while (QTcpSocket *client = FServer.nextPendingConnection()) {
        client->setParent(nullptr);
        auto pair = std::make_unique<Pair>();
        Pair *p = pair.get();
        p->Client = client;
        p->Server = new QTcpSocket;
        p->Cuttable = FPairs.empty();
        FPairs.push_back(std::move(pair));
        // Bytes from the client wait in its buffer until the server side is connected.
        QObject::connect(p->Server, &QTcpSocket::connected, [this, p] { FromClient(*p); });
        QObject::connect(client, &QTcpSocket::readyRead, [this, p] {
            if (p->Server->state() == QAbstractSocket::ConnectedState)
                FromClient(*p);
        });
        QObject::connect(p->Server, &QTcpSocket::readyRead, [p] {
            if (p->Client->state() == QAbstractSocket::ConnectedState)
                p->Client->write(p->Server->readAll());
        });
        QObject::connect(
            client, &QTcpSocket::disconnected, [p] { p->Server->disconnectFromHost(); });
        QObject::connect(
            p->Server, &QTcpSocket::disconnected, [p] { p->Client->disconnectFromHost(); });
        p->Server->connectToHost(QHostAddress::LocalHost, FServerPort);
    }
}

void ExportsCutProxy::FromClient(Pair &pair)
{
    QByteArray bytes = pair.Client->readAll();
    if (bytes.isEmpty())
        return;
    ++pair.ClientBursts;
    if (!pair.Cuttable || FCut || pair.ClientBursts < 2) {
        pair.Server->write(bytes);
        return;
    }
    // The second burst: half of it reaches the server, then the connection is gone.
    FCut = true;
    pair.Server->write(bytes.left(std::max<qsizetype>(1, bytes.size() / 2)));
    pair.Server->flush();
    pair.Server->disconnectFromHost();
    pair.Client->abort();
}

} // namespace kvtest
