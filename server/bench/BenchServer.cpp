#include "BenchServer.h"

#include "QtLoop.h"

#include <QFile>
#include <QRegularExpression>
#include <csignal>
#include <cstdio>

namespace kvbench {

TStopSignals::TStopSignals()
{
    FWatch.Install([this] { FStopped = true; });
}

TStopSignals::~TStopSignals()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

bool TStopSignals::Wait(int milliseconds)
{
    kvtest::RunUntil([this] { return FStopped; }, milliseconds);
    return !FStopped;
}

bool TStopSignals::WaitFor(const std::function<bool()> &condition, int timeoutMs)
{
    return kvtest::RunUntil([&] { return FStopped || condition(); }, timeoutMs) && !FStopped;
}

TBenchServer::TBenchServer(const QString &program)
    : FProgram(program)
{
    FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

TBenchServer::~TBenchServer()
{
    if (FProcess.state() == QProcess::NotRunning)
        return;
    FProcess.terminate();
    if (!FProcess.waitForFinished(5000)) {
        FProcess.kill();
        FProcess.waitForFinished(5000);
    }
}

bool TBenchServer::Start(const QStringList &flags, TStopSignals &stop)
{
    if (!FData.isValid()) {
        std::fprintf(stderr, "cannot create a temporary directory\n");
        return false;
    }
    FProcess.start(FProgram, QStringList { "--port", "0", "--data", FData.path() } + flags);
    QByteArray out;
    stop.WaitFor(
        [&] {
            out += FProcess.readAllStandardOutput();
            return out.contains('\n') || FProcess.state() == QProcess::NotRunning;
        },
        10000);
    const auto match
        = QRegularExpression("listening on [0-9.]+:(\\d+)").match(QString::fromUtf8(out));
    if (!match.hasMatch()) {
        if (!stop.Stopped())
            std::fprintf(stderr, "the server did not start (%s)\n", qPrintable(FProgram));
        return false;
    }
    FPort = static_cast<quint16>(match.captured(1).toUInt());
    return true;
}

long TBenchServer::ResidentKiB() const
{
    QFile status(QStringLiteral("/proc/%1/status").arg(FProcess.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

} // namespace kvbench
