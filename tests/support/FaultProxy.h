#pragma once
// A fault-injecting TCP proxy on 127.0.0.1 (ephemeral port) for tests, driven by the test
// thread's Qt loop. Each accepted connection is handled in the mode set when it arrives:
// forwarded to the target both ways, accepted and never answered (nothing is forwarded either
// way), or forwarded until the target has sent N bytes, then cut in both directions.

#include <QTcpServer>
#include <QTcpSocket>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kvtest {

class FaultProxy
{
public:
    enum class Mode { Forward, Silent, CutAfterBytes };

    explicit FaultProxy(quint16 targetPort);
    ~FaultProxy();
    FaultProxy(const FaultProxy &) = delete;
    FaultProxy &operator=(const FaultProxy &) = delete;

    // Applies to connections accepted from now on. cutAfter: bytes from the target that reach
    // the client before the cut (CutAfterBytes only).
    void SetMode(Mode mode, uint64_t cutAfter = 0);

    quint16 Port() const { return FServer.serverPort(); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(Port()); }
    size_t ConnectionCount() const { return FLinks.size(); }
    // Bytes the client sent on connection i (forwarded or not).
    uint64_t ClientBytes(size_t i) const { return FLinks.at(i)->FromClient; }
    // Bytes of connection i that reached the client.
    uint64_t ForwardedToClient(size_t i) const { return FLinks.at(i)->ToClient; }
    bool Cut(size_t i) const { return FLinks.at(i)->Cut; }

private:
    struct Link
    {
        Mode LinkMode = Mode::Forward;
        uint64_t CutAfter = 0;
        QTcpSocket *Client = nullptr;
        std::unique_ptr<QTcpSocket> Target;
        QByteArray HeldForTarget; // client bytes before the target connected
        uint64_t FromClient = 0, ToClient = 0;
        bool Cut = false;
    };
    void Accept(QTcpSocket *client);
    void FromClient(Link &link);
    void FromTarget(Link &link);
    void CutLink(Link &link);

    quint16 FTargetPort;
    QTcpServer FServer;
    Mode FMode = Mode::Forward;
    uint64_t FCutAfter = 0;
    std::vector<std::unique_ptr<Link>> FLinks;
};

} // namespace kvtest
