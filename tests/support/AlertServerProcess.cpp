#include "AlertServerProcess.h"

#include "QtLoop.h"

#include <QFile>
#include <QRegularExpression>

namespace kvtest {

AlertServerProcess::AlertServerProcess(QStringList extraArgs, QString dataDir)
    : FArgs(std::move(extraArgs))
    , FDataDir(std::move(dataDir))
{
    if (FDataDir.isEmpty()) {
        FTemp = std::make_unique<QTemporaryDir>();
        FDataDir = FTemp->path();
    }
}

AlertServerProcess::~AlertServerProcess()
{
    Stop();
}

void AlertServerProcess::SetUsers(const QByteArray &lines)
{
    QFile file(FDataDir + "/users");
    if (file.open(QIODevice::WriteOnly))
        file.write(lines);
    FArgs << "--users" << file.fileName();
}

bool AlertServerProcess::Start(int timeoutMs)
{
    QStringList args { "--port", "0", "--data", FDataDir };
    args << FArgs;
    FProcess.start(QStringLiteral(KV_BIN_DIR "/kestrova-alertd"), args);
    if (!FProcess.waitForStarted(timeoutMs))
        return false;
    const int lines = FArgs.contains("--http-port") ? 2 : 1;
    QByteArray out;
    const bool ready = RunUntil(
        [&] {
            out += FProcess.readAllStandardOutput();
            return out.count('\n') >= lines || FProcess.state() != QProcess::Running;
        },
        timeoutMs);
    const auto match
        = QRegularExpression(QStringLiteral("^listening on ([0-9.]+):(\\d+)\n(http://\\S+\n)?"))
              .match(QString::fromUtf8(out));
    if (!ready || !match.hasMatch())
        return false;
    FPort = static_cast<quint16>(match.captured(2).toUInt());
    FTunnelUrl = match.captured(3).trimmed().toStdString();
    return lines == 1 || !FTunnelUrl.empty();
}

int AlertServerProcess::Stop(int timeoutMs)
{
    if (FProcess.state() == QProcess::NotRunning)
        return FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
    FProcess.terminate();
    if (!FProcess.waitForFinished(timeoutMs)) {
        FProcess.kill();
        FProcess.waitForFinished(timeoutMs);
        return -1;
    }
    Log();
    return FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
}

std::string AlertServerProcess::Log()
{
    FLog += FProcess.readAllStandardError().toStdString();
    return FLog;
}

} // namespace kvtest
