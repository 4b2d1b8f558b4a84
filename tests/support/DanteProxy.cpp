#include "DanteProxy.h"

#include <QFile>
#include <pwd.h>
#include <unistd.h>

namespace kvtest {

const char *const DanteProxy::UserName = "kvsockstest";
const char *const DanteProxy::Password = "kv-socks-Test-7";

namespace {
QString DantePath()
{
    for (const char *path : { "/usr/sbin/danted", "/usr/local/sbin/danted" })
        if (QFile::exists(path))
            return path;
    return {};
}

bool RunTool(
    const QString &program, const QStringList &args, const QByteArray &input, std::string &error)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000)) {
        error = "cannot start " + program.toStdString();
        return false;
    }
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(10000);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error = program.toStdString() + " failed: " + p.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

// Each keyword of a rule on its own line: dante's parser wants it so.
QByteArray Config(quint16 port, bool requireUserName)
{
    const QByteArray method = requireUserName ? "username" : "none";
    return "logoutput: stderr\n"
           "internal: 127.0.0.1 port = "
        + QByteArray::number(port)
        + "\n"
          "external: 127.0.0.1\n"
          "clientmethod: none\n"
          "socksmethod: "
        + method
        + "\n"
          "user.privileged: root\n"
          "user.unprivileged: nobody\n"
          "client pass {\n"
          "        from: 127.0.0.0/8 to: 0.0.0.0/0\n"
          "}\n"
          "socks pass {\n"
          "        from: 127.0.0.0/8 to: 0.0.0.0/0\n"
          "        command: connect\n"
          "}\n";
}
} // namespace

bool DanteProxy::Available()
{
    return !DantePath().isEmpty();
}

bool DanteProxy::EnsureSystemUser(std::string &error)
{
    if (!getpwnam(UserName)) {
        if (geteuid() != 0) {
            error
                = std::string("system user ") + UserName + " is missing and creating it needs root";
            return false;
        }
        if (!RunTool("useradd",
                { "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", UserName }, {},
                error))
            return false;
    }
    if (geteuid() != 0)
        return true; // cannot set the password; assume it was set by an earlier run
    return RunTool("chpasswd", {}, QByteArray(UserName) + ":" + Password + "\n", error);
}

DanteProxy::DanteProxy(bool requireUserName)
{
    const QString dante = DantePath();
    if (dante.isEmpty()) {
        FError = "dante-server is not installed";
        return;
    }
    if (requireUserName && !EnsureSystemUser(FError))
        return;
    FProcess.Start(dante, "danted.conf", Config(FProcess.Port(), requireUserName),
        { "-f", FProcess.FilePath("danted.conf"), "-p", FProcess.FilePath("danted.pid"), "-N",
            "1" },
        FError);
}

} // namespace kvtest
