#pragma once
// A fault-injecting TCP proxy on 127.0.0.1 (ephemeral port) for tests, driven by the test
// thread's Qt loop. Each accepted connection is handled in the mode set when it arrives:
// forwarded to the target both ways, accepted and never answered (nothing is forwarded either
// way), or forwarded until N bytes have passed in one direction, then cut in both directions.

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
    // CutAfterBytes counts the target's bytes to the client, CutAfterClientBytes the client's
    // bytes to the target; the first N of them arrive, then both sides are closed.
    enum class Mode { Forward, Silent, CutAfterBytes, CutAfterClientBytes };

    explicit FaultProxy(quint16 targetPort);
    ~FaultProxy();
    FaultProxy(const FaultProxy &) = delete;
    FaultProxy &operator=(const FaultProxy &) = delete;

    // Applies to connections accepted from now on, or with nextOnly to the next one alone (later
    // ones are forwarded). cutAfter: the N of the cut modes.
    void SetMode(Mode mode, uint64_t cutAfter = 0, bool nextOnly = false);

    quint16 Port() const { return FServer.serverPort(); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(Port()); }
    size_t ConnectionCount() const { return FLinks.size(); }
    // Bytes the client sent on connection i (forwarded or not).
    uint64_t ClientBytes(size_t i) const { return FLinks.at(i)->FromClient; }
    bool Cut(size_t i) const { return FLinks.at(i)->Cut; }

private:
    struct Link
    {
        Mode LinkMode = Mode::Forward;
        uint64_t CutAfter = 0;
        QTcpSocket *Client = nullptr;
        std::unique_ptr<QTcpSocket> Target;
        QByteArray HeldForTarget; // client bytes before the target connected
        uint64_t FromClient = 0, ToClient = 0, ToTarget = 0;
        bool Cut = false;
    };
    void Accept(QTcpSocket *client);
    void FromClient(Link &link);
    void FromTarget(Link &link);
    // Writes bytes to the receiving side, cut to the link's limit; true when the limit was hit.
    bool ForwardUpTo(Link &link, QTcpSocket &to, uint64_t &sent, QByteArray bytes, Mode cutMode);
    void CutLink(Link &link, QTcpSocket &receiver, QTcpSocket &other);

    quint16 FTargetPort;
    QTcpServer FServer;
    Mode FMode = Mode::Forward;
    uint64_t FCutAfter = 0;
    bool FNextOnly = false;
    std::vector<std::unique_ptr<Link>> FLinks;
};

} // namespace kvtest
