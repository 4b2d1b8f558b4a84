#include "CannedHttpServer.h"

#include <algorithm>

namespace kvtest {

CannedHttpServer::CannedHttpServer(Responder responder)
    : FResponder(std::move(responder))
{
    FServer.OnReceived = [this](size_t connection) { OnData(connection); };
}

void CannedHttpServer::OnData(size_t connection)
{
    const std::string &received = FServer.Received(connection);
    const size_t end = received.find("\r\n\r\n");
    if (end == std::string::npos
        || std::any_of(FRequests.begin(), FRequests.end(),
            [&](const Request &r) { return r.Connection == connection; }))
        return;
    const std::string head = received.substr(0, end + 4);
    FRequests.push_back({ connection, head.substr(0, head.find("\r\n")), head });
    if (const auto reply = FResponder(FRequests.back().Line, head))
        Answer(FRequests.size() - 1, *reply);
}

void CannedHttpServer::Answer(size_t i, const std::string &bytes, bool close)
{
    const size_t connection = FRequests.at(i).Connection;
    FServer.Write(connection, bytes);
    if (close)
        FServer.Close(connection);
}

std::string CannedHttpServer::Response(
    int status, const std::string &reason, const std::string &body)
{
    return "HTTP/1.1 " + std::to_string(status) + " " + reason
        + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace kvtest
