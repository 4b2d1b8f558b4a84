#include "TinyproxyFixture.h"

#include <QFile>
#include <QStandardPaths>

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
    const std::string program = Executable();
    if (program.empty()) {
        FError = "tinyproxy is not installed";
        return false;
    }
    const QString logPath = FProcess.FilePath("tinyproxy.log");
    std::string config = "Port " + std::to_string(FProcess.Port())
        + "\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nAllow 127.0.0.1\n"
          "DisableViaHeader Yes\nLogLevel Info\nLogFile \""
        + logPath.toStdString() + "\"\n";
    if (!username.empty())
        config += "BasicAuth " + username + " " + password + "\n";
    if (FProcess.Start(QString::fromStdString(program), "tinyproxy.conf",
            QByteArray::fromStdString(config), { "-d", "-c", FProcess.FilePath("tinyproxy.conf") },
            FError))
        return true;
    QFile log(logPath);
    if (log.open(QIODevice::ReadOnly))
        FError += log.readAll().toStdString();
    return false;
}

} // namespace kvtest
