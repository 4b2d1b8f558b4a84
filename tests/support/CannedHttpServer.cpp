#include "CannedHttpServer.h"

#include <stdexcept>

namespace kvtest {

CannedHttpServer::CannedHttpServer(Responder responder)
    : FResponder(std::move(responder))
{
    if (!FServer.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("cannot listen on 127.0.0.1");
    QObject::connect(&FServer, &QTcpServer::newConnection, [this] {
        while (QTcpSocket *socket = FServer.nextPendingConnection()) {
            auto connection = std::make_unique<Connection>();
            connection->Socket = socket;
            Connection *raw = connection.get();
            QObject::connect(socket, &QTcpSocket::readyRead, [this, raw] { OnData(*raw); });
            FConnections.push_back(std::move(connection));
        }
    });
}

CannedHttpServer::~CannedHttpServer()
{
    for (auto &connection : FConnections) {
        QObject::disconnect(connection->Socket, nullptr, nullptr, nullptr);
        connection->Socket->abort();
    }
}

void CannedHttpServer::OnData(Connection &connection)
{
    const QByteArray data = connection.Socket->readAll();
    connection.Received.append(data.constData(), static_cast<size_t>(data.size()));
    const size_t end = connection.Received.find("\r\n\r\n");
    if (connection.Seen || end == std::string::npos)
        return;
    connection.Seen = true;
    connection.Head = connection.Received.substr(0, end + 4);
    connection.RequestLine = connection.Head.substr(0, connection.Head.find("\r\n"));
    FRequests.push_back(&connection);
    if (const auto reply = FResponder(connection.RequestLine, connection.Head))
        Answer(FRequests.size() - 1, *reply);
}

void CannedHttpServer::Answer(size_t i, const std::string &bytes, bool close)
{
    QTcpSocket *socket = FRequests.at(i)->Socket;
    socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket->flush();
    if (close)
        socket->disconnectFromHost();
}

std::string CannedHttpServer::Response(
    int status, const std::string &reason, const std::string &body)
{
    return "HTTP/1.1 " + std::to_string(status) + " " + reason
        + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace kvtest
