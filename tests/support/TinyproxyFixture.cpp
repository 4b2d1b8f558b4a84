#include "TinyproxyFixture.h"

#include "LoopbackServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QThread>
#include <csignal>

namespace kvtest {

std::string TinyproxyFixture::Executable()
{
    QString path = QStandardPaths::findExecutable("tinyproxy");
    if (path.isEmpty())
        path = QStandardPaths::findExecutable("tinyproxy", { "/usr/sbin", "/usr/bin" });
    return path.toStdString();
}

bool TinyproxyFixture::Start(const std::string &username, const std::string &password)
{
    Stop();
    const std::string program = Executable();
    if (program.empty()) {
        FError = "tinyproxy is not installed";
        return false;
    }
    FDir = std::make_unique<QTemporaryDir>();
    FPort = UnusedLoopbackPort();
    std::string config = "Port " + std::to_string(FPort)
        + "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\n"
          "DisableViaHeader Yes\nLogLevel Info\nLogFile \""
        + FDir->filePath("tinyproxy.log").toStdString() + "\"\n";
    if (!username.empty())
        config += "BasicAuth " + username + " " + password + "\n";
    const QString configPath = FDir->filePath("tinyproxy.conf");
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly)) {
        FError = "cannot write the tinyproxy configuration";
        return false;
    }
    file.write(config.data(), static_cast<qint64>(config.size()));
    file.close();

    FProcess = std::make_unique<QProcess>();
    FProcess->setProcessChannelMode(QProcess::MergedChannels);
    FProcess->start(QString::fromStdString(program), { "-d", "-c", configPath });
    if (!FProcess->waitForStarted(5000)) {
        FError = "tinyproxy did not start";
        return false;
    }
    FPid = FProcess->processId();
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, FPort);
        if (probe.waitForConnected(200))
            return true;
        if (FProcess->state() == QProcess::NotRunning)
            break;
        QThread::msleep(50);
    }
    QFile log(FDir->filePath("tinyproxy.log"));
    log.open(QIODevice::ReadOnly);
    FError = "tinyproxy does not listen: " + FProcess->readAll().toStdString()
        + log.readAll().toStdString();
    Stop();
    return false;
}

void TinyproxyFixture::Stop()
{
    if (FProcess && FProcess->state() != QProcess::NotRunning && FPid > 0) {
        ::kill(static_cast<pid_t>(FPid), SIGTERM);
        if (!FProcess->waitForFinished(3000)) {
            ::kill(static_cast<pid_t>(FPid), SIGKILL);
            FProcess->waitForFinished(3000);
        }
    }
    FProcess.reset();
    FPid = 0;
}

} // namespace kvtest
