#pragma once
// A proxy server process for tests: its configuration goes to a temporary directory, it runs in
// the foreground on a free 127.0.0.1 port and is stopped by its PID (SIGTERM, then SIGKILL).

#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace kvtest {

class ProxyProcess
{
public:
    ProxyProcess();
    ~ProxyProcess() { Stop(); }
    ProxyProcess(const ProxyProcess &) = delete;
    ProxyProcess &operator=(const ProxyProcess &) = delete;

    quint16 Port() const { return FPort; }
    // A file in the process's own temporary directory.
    QString FilePath(const QString &name) const { return FDir.filePath(name); }
    // Writes config to FilePath(configName), starts program with args and waits until Port()
    // accepts connections. On failure error tells why and the process is stopped.
    bool Start(const QString &program, const QString &configName, const QByteArray &config,
        const QStringList &args, std::string &error);
    bool Running() const { return FPid > 0; }
    // The process's merged output so far.
    std::string Output() const;
    void Stop();

private:
    QTemporaryDir FDir;
    quint16 FPort = 0;
    std::unique_ptr<QProcess> FProcess;
    qint64 FPid = 0;
};

} // namespace kvtest
