#pragma once
// A tiny HTTP server on a LoopbackServer. Each connection's request head is read, its request
// line recorded, and the responder asked for the bytes to send: a reply is written and the
// connection closed; no reply (nullopt) holds the connection open until the test answers it
// with Answer (or never, for time-outs).

#include "LoopbackServer.h"

#include <optional>

namespace kvtest {

class CannedHttpServer
{
public:
    // Gets the request line ("GET /path HTTP/1.1") and the full head.
    using Responder = std::function<std::optional<std::string>(
        const std::string &requestLine, const std::string &head)>;
    explicit CannedHttpServer(Responder responder);

    quint16 Port() const { return FServer.Port(); }
    std::string Url(const std::string &path) const
    {
        return "http://127.0.0.1:" + std::to_string(Port()) + path;
    }
    // Connections whose request head arrived, in order.
    size_t RequestCount() const { return FRequests.size(); }
    const std::string &RequestLine(size_t i) const { return FRequests.at(i).Line; }
    const std::string &Head(size_t i) const { return FRequests.at(i).Head; }
    // Sends bytes on request i's connection; closes it when close is set.
    void Answer(size_t i, const std::string &bytes, bool close = true);
    // A complete response with Content-Length and "Connection: close".
    static std::string Response(int status, const std::string &reason, const std::string &body);

private:
    struct Request
    {
        size_t Connection;
        std::string Line, Head;
    };
    void OnData(size_t connection);

    Responder FResponder;
    LoopbackServer FServer;
    std::vector<Request> FRequests;
};

} // namespace kvtest
