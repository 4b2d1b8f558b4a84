#pragma once
// Runs the real kestrova-alertd for a test: started with "--port 0" (plus extra flags) and a
// data directory, its port read from the "listening on" line (and with "--http-port" among the
// flags, the tunnel's reader address from the next line); stopped with SIGTERM.

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace kvtest {

class AlertServerProcess
{
public:
    // dataDir: where the server keeps its symbol lists; empty: a temporary directory owned by
    // this object.
    explicit AlertServerProcess(QStringList extraArgs = {}, QString dataDir = {});
    ~AlertServerProcess();
    AlertServerProcess(const AlertServerProcess &) = delete;
    AlertServerProcess &operator=(const AlertServerProcess &) = delete;

    // Writes the accounts ("user:password" lines) to the data directory and starts the server
    // with --users naming them.
    void SetUsers(const QByteArray &lines);
    // Starts the server and waits for its "listening on" line; false on failure (see Output()).
    bool Start(int timeoutMs = 10000);
    // SIGTERM, then waits; kills it when it does not stop. Returns the exit code (-1: crashed).
    int Stop(int timeoutMs = 5000);

    quint16 Port() const { return FPort; }
    // The tunnel's reader address; "" without "--http-port".
    const std::string &TunnelUrl() const { return FTunnelUrl; }
    bool Running() const { return FProcess.state() == QProcess::Running; }
    // Everything the server wrote to stderr so far.
    std::string Log();

private:
    QStringList FArgs;
    std::unique_ptr<QTemporaryDir> FTemp;
    QString FDataDir;
    QProcess FProcess;
    std::string FLog;
    quint16 FPort = 0;
    std::string FTunnelUrl;
};

} // namespace kvtest
