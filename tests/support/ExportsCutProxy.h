#pragma once
// A TCP proxy on 127.0.0.1 (ephemeral port) in front of a server port, driven by the test
// thread's Qt loop. It cuts its first connection in the middle of the client's second burst of
// data: the first half of that burst reaches the server, then both sides are aborted. Later
// connections pass through untouched.

#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <vector>

namespace kvtest {

class ExportsCutProxy
{
public:
    explicit ExportsCutProxy(quint16 serverPort);
    ~ExportsCutProxy();

    quint16 Port() const { return FServer.serverPort(); }
    size_t ConnectionCount() const { return FPairs.size(); }
    // The first connection was cut.
    bool Cut() const { return FCut; }

private:
    struct Pair
    {
        QTcpSocket *Client = nullptr;
        QTcpSocket *Server = nullptr;
        int ClientBursts = 0;
        bool Cuttable = false;
    };
    void Accept();
    void FromClient(Pair &pair);

    quint16 FServerPort;
    QTcpServer FServer;
    std::vector<std::unique_ptr<Pair>> FPairs;
    bool FCut = false;
};

} // namespace kvtest
