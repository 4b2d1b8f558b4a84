#include "ProxyProcess.h"

#include "LoopbackServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpSocket>
#include <QThread>
#include <csignal>

namespace kvtest {

ProxyProcess::ProxyProcess()
    : FPort(UnusedLoopbackPort())
{
}

bool ProxyProcess::Start(const QString &program, const QString &configName,
    const QByteArray &config, const QStringList &args, std::string &error)
{
    Stop();
    QFile file(FilePath(configName));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size()) {
        error = "cannot write " + configName.toStdString();
        return false;
    }
    file.close();
    FProcess = std::make_unique<QProcess>();
    FProcess->setProcessChannelMode(QProcess::MergedChannels);
    FProcess->start(program, args);
    if (!FProcess->waitForStarted(5000)) {
        error = "cannot start " + program.toStdString();
        return false;
    }
    FPid = FProcess->processId();
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && FProcess->state() != QProcess::NotRunning) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, FPort);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    error = program.toStdString() + " does not listen: " + Output();
    Stop();
    return false;
}

std::string ProxyProcess::Output() const
{
    return FProcess ? FProcess->readAll().toStdString() : std::string();
}

void ProxyProcess::Stop()
{
    if (FPid <= 0)
        return;
    ::kill(static_cast<pid_t>(FPid), SIGTERM);
    if (!FProcess->waitForFinished(3000)) {
        ::kill(static_cast<pid_t>(FPid), SIGKILL);
        FProcess->waitForFinished(3000);
    }
    FPid = 0;
}

} // namespace kvtest
