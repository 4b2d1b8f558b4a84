#include "LoopbackServer.h"

#include <stdexcept>

namespace kvtest {

LoopbackServer::LoopbackServer()
{
    if (!FServer.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("cannot listen on 127.0.0.1");
    QObject::connect(&FServer, &QTcpServer::newConnection, [this] {
        while (QTcpSocket *socket = FServer.nextPendingConnection()) {
            auto client = std::make_unique<Client>();
            client->Socket = socket;
            Client *raw = client.get();
            QObject::connect(socket, &QTcpSocket::readyRead, [this, raw, i = FClients.size()] {
                const QByteArray data = raw->Socket->readAll();
                raw->Received.append(data.constData(), data.size());
                if (OnReceived)
                    OnReceived(i);
            });
            FClients.push_back(std::move(client));
        }
    });
}

LoopbackServer::~LoopbackServer()
{
    for (auto &client : FClients) {
        QObject::disconnect(client->Socket, nullptr, nullptr, nullptr);
        client->Socket->abort();
    }
}

void LoopbackServer::Write(size_t i, const std::string &bytes)
{
    QTcpSocket *socket = FClients.at(i)->Socket;
    socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket->flush();
}

void LoopbackServer::Close(size_t i)
{
    FClients.at(i)->Socket->disconnectFromHost();
}

quint16 UnusedLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace kvtest
