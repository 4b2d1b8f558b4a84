#pragma once
// A tiny HTTP server on 127.0.0.1 (ephemeral port) driven by the test thread's Qt loop. Each
// connection's request head is read, its request line recorded, and the responder asked for the
// bytes to send: a reply is written and the connection closed; no reply (nullopt) holds the
// connection open until the test answers it with Answer (or never, for time-outs).

#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvtest {

class CannedHttpServer
{
public:
    // Gets the request line ("GET /path HTTP/1.1") and the full head.
    using Responder = std::function<std::optional<std::string>(
        const std::string &requestLine, const std::string &head)>;
    explicit CannedHttpServer(Responder responder);
    ~CannedHttpServer();

    quint16 Port() const { return FServer.serverPort(); }
    std::string Url(const std::string &path) const
    {
        return "http://127.0.0.1:" + std::to_string(Port()) + path;
    }
    // Connections whose request head arrived, in order.
    size_t RequestCount() const { return FRequests.size(); }
    const std::string &RequestLine(size_t i) const { return FRequests.at(i)->RequestLine; }
    const std::string &Head(size_t i) const { return FRequests.at(i)->Head; }
    // Sends bytes on request i's connection; closes it when close is set.
    void Answer(size_t i, const std::string &bytes, bool close = true);
    // A complete response with Content-Length and "Connection: close".
    static std::string Response(int status, const std::string &reason, const std::string &body);

private:
    struct Connection
    {
        QTcpSocket *Socket = nullptr;
        std::string Received;
        std::string RequestLine;
        std::string Head;
        bool Seen = false;
    };
    void OnData(Connection &connection);

    Responder FResponder;
    QTcpServer FServer;
    std::vector<std::unique_ptr<Connection>> FConnections;
    std::vector<Connection *> FRequests;
};

} // namespace kvtest
