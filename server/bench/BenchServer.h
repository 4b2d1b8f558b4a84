#pragma once
// What the server's load tools share: a kestrova-alertd child process on a free port with a
// temporary data directory, and a stop flag raised by SIGINT or SIGTERM, so that a stopped run
// still ends its server and removes its directory.

#include "StopSignalWatch.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace kvbench {

// Installs handlers for SIGINT and SIGTERM that raise Stopped() on the Qt loop. One per
// process, created after the application object.
class TStopSignals
{
public:
    TStopSignals();
    ~TStopSignals();
    bool Stopped() const { return FStopped; }
    // Runs the loop for that long, or until a stop signal; false when stopped.
    bool Wait(int milliseconds);
    // Runs the loop until condition() holds; false on time-out or a stop signal.
    bool WaitFor(const std::function<bool()> &condition, int timeoutMs);

private:
    kestrova::alertd::TStopSignalWatch FWatch;
    bool FStopped = false;
};

// kestrova-alertd started with "--port 0", a temporary data directory and the given flags;
// terminated (and the directory removed) when destroyed.
class TBenchServer
{
public:
    explicit TBenchServer(const QString &program);
    ~TBenchServer();
    // Starts the server and reads its port; false (with a line on stderr) when it cannot.
    bool Start(const QStringList &flags, TStopSignals &stop);
    quint16 Port() const { return FPort; }
    // Resident memory of the server process in KiB (0 when unknown).
    long ResidentKiB() const;

private:
    QString FProgram;
    QTemporaryDir FData;
    QProcess FProcess;
    quint16 FPort = 0;
};

} // namespace kvbench
