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

void FaultProxy::SetMode(Mode mode, uint64_t cutAfter)
{
    FMode = mode;
    FCutAfter = cutAfter;
}

void FaultProxy::Accept(QTcpSocket *client)
{
    auto owned = std::make_unique<Link>();
    Link &link = *owned;
    link.LinkMode = FMode;
    link.CutAfter = FCutAfter;
    link.Client = client; // owned by the server object
    FLinks.push_back(std::move(owned));
    QObject::connect(client, &QTcpSocket::readyRead, [this, &link] { FromClient(link); });
    if (link.LinkMode == Mode::Silent)
        return; // accepted, never answered
    link.Target = std::make_unique<QTcpSocket>();
    QTcpSocket *target = link.Target.get();
    QObject::connect(target, &QTcpSocket::connected, [&link] {
        if (!link.HeldForTarget.isEmpty())
            link.Target->write(std::exchange(link.HeldForTarget, {}));
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
    if (link.Target->state() == QAbstractSocket::ConnectedState)
        link.Target->write(bytes);
    else
        link.HeldForTarget += bytes;
}

void FaultProxy::FromTarget(Link &link)
{
    QByteArray bytes = link.Target->readAll();
    if (link.Cut)
        return;
    bool cutNow = false;
    if (link.LinkMode == Mode::CutAfterBytes && link.ToClient + bytes.size() >= link.CutAfter) {
        bytes.truncate(static_cast<qsizetype>(link.CutAfter - link.ToClient));
        cutNow = true;
    }
    link.ToClient += static_cast<uint64_t>(bytes.size());
    link.Client->write(bytes);
    if (cutNow)
        CutLink(link);
}

void FaultProxy::CutLink(Link &link)
{
    link.Cut = true;
    link.Client->flush();
    link.Client->disconnectFromHost(); // after the bytes written so far
    link.Target->abort();
}

} // namespace kvtest
