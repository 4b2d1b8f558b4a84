#pragma once
// A TCP server on 127.0.0.1 with an ephemeral port, driven by the test thread's Qt loop. It keeps
// every accepted connection and the bytes each one received, and lets the test write and close.

#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kvtest {

class LoopbackServer
{
public:
    LoopbackServer();
    ~LoopbackServer();

    quint16 Port() const { return FServer.serverPort(); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(Port()); }

    // Accepted connections, in order.
    size_t ConnectionCount() const { return FClients.size(); }
    // Bytes received so far on connection i.
    const std::string &Received(size_t i) const { return FClients.at(i)->Received; }
    void Write(size_t i, const std::string &bytes);
    void Close(size_t i);
    // Called with the connection's index after it received bytes.
    std::function<void(size_t)> OnReceived;

private:
    struct Client
    {
        QTcpSocket *Socket = nullptr;
        std::string Received;
    };
    QTcpServer FServer;
    std::vector<std::unique_ptr<Client>> FClients;
};

// A port on 127.0.0.1 that nothing listens on (bound briefly, then released).
quint16 UnusedLoopbackPort();

} // namespace kvtest
