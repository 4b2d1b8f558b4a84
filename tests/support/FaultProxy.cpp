#include "FaultProxy.h"

#include <QHostAddress>
#include <stdexcept>

namespace kvtest {

FaultProxy::FaultProxy(quint16 targetPort)
    : FTargetPort(targetPort)
{
    if (!FServer.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("cannot listen on 127.0.0.1");
    QObject::connect(&FServer, &QTcpServer::newConnection, [this] {
        while (QTcpSocket *client = FServer.nextPendingConnection())
            Accept(client);
    });
}

FaultProxy::~FaultProxy()
{
    for (auto &link : FLinks) {
        QObject::disconnect(link->Client, nullptr, nullptr, nullptr);
        link->Client->abort();
        if (link->Target) {
            QObject::disconnect(link->Target.get(), nullptr, nullptr, nullptr);
            link->Target->abort();
        }
    }
}

void FaultProxy::SetMode(Mode mode, uint64_t cutAfter, bool nextOnly)
{
    FMode = mode;
    FCutAfter = cutAfter;
    FNextOnly = nextOnly;
}

void FaultProxy::Accept(QTcpSocket *client)
{
    auto owned = std::make_unique<Link>();
    Link &link = *owned;
    link.LinkMode = FMode;
    link.CutAfter = FCutAfter;
    link.Client = client; // owned by the server object
    if (std::exchange(FNextOnly, false))
        FMode = Mode::Forward;
    FLinks.push_back(std::move(owned));
    QObject::connect(client, &QTcpSocket::readyRead, [this, &link] { FromClient(link); });
    if (link.LinkMode == Mode::Silent)
        return; // accepted, never answered
    link.Target = std::make_unique<QTcpSocket>();
    QTcpSocket *target = link.Target.get();
    QObject::connect(target, &QTcpSocket::connected, [this, &link] {
        if (!link.HeldForTarget.isEmpty() && !link.Cut
            && ForwardUpTo(link, *link.Target, link.ToTarget, std::exchange(link.HeldForTarget, {}),
                Mode::CutAfterClientBytes))
            CutLink(link, *link.Target, *link.Client);
    });
    QObject::connect(target, &QTcpSocket::readyRead, [this, &link] { FromTarget(link); });
    QObject::connect(target, &QTcpSocket::disconnected, [&link] {
        if (!link.Cut)
            link.Client->disconnectFromHost();
    });
    QObject::connect(client, &QTcpSocket::disconnected, [&link] {
        if (link.Target && !link.Cut)
            link.Target->disconnectFromHost();
    });
    target->connectToHost(QHostAddress::LocalHost, FTargetPort);
}

void FaultProxy::FromClient(Link &link)
{
    const QByteArray bytes = link.Client->readAll();
    link.FromClient += static_cast<uint64_t>(bytes.size());
    if (link.Cut || !link.Target)
        return;
    if (link.Target->state() != QAbstractSocket::ConnectedState)
        link.HeldForTarget += bytes;
    else if (ForwardUpTo(link, *link.Target, link.ToTarget, bytes, Mode::CutAfterClientBytes))
        CutLink(link, *link.Target, *link.Client);
}

void FaultProxy::FromTarget(Link &link)
{
    const QByteArray bytes = link.Target->readAll();
    if (!link.Cut && ForwardUpTo(link, *link.Client, link.ToClient, bytes, Mode::CutAfterBytes))
        CutLink(link, *link.Client, *link.Target);
}

bool FaultProxy::ForwardUpTo(
    Link &link, QTcpSocket &to, uint64_t &sent, QByteArray bytes, Mode cutMode)
{
    bool limitHit = false;
    if (link.LinkMode == cutMode && sent + bytes.size() >= link.CutAfter) {
        bytes.truncate(static_cast<qsizetype>(link.CutAfter - sent));
        limitHit = true;
    }
    sent += static_cast<uint64_t>(bytes.size());
    to.write(bytes);
    return limitHit;
}

void FaultProxy::CutLink(Link &link, QTcpSocket &receiver, QTcpSocket &other)
{
    link.Cut = true;
    receiver.flush();
    receiver.disconnectFromHost(); // after the bytes written so far
    other.abort();
}

} // namespace kvtest
