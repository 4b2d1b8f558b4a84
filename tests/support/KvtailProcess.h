#pragma once
// build/bin/kvtail run for a test: its stdout lines and stderr text as they come, killed when
// the test lets go of it.

#include "QtLoop.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

namespace kvtest {

struct Kvtail
{
    Kvtail(const QStringList &args,
        const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        Process.setProcessEnvironment(env);
        Process.start(QStringLiteral(KV_BIN_DIR "/kvtail"), args);
        Process.waitForStarted(5000);
    }
    ~Kvtail()
    {
        if (Process.state() != QProcess::NotRunning) {
            Process.kill();
            Process.waitForFinished(3000);
        }
    }
    // Complete stdout lines read so far.
    QStringList Lines()
    {
        Out += Process.readAllStandardOutput();
        QStringList lines = QString::fromUtf8(Out).split('\n');
        lines.removeLast(); // the unfinished rest
        return lines;
    }
    QString Errors()
    {
        Err += Process.readAllStandardError();
        return QString::fromUtf8(Err);
    }
    bool WaitLines(int count, int timeoutMs = 5000)
    {
        return RunUntil([&] { return Lines().size() >= count; }, timeoutMs);
    }
    // Exit code after a normal exit; -1 when it crashed or did not finish.
    int Finish(int timeoutMs = 5000)
    {
        if (!RunUntil([&] { return Process.state() == QProcess::NotRunning; }, timeoutMs))
            return -1;
        Lines();
        Errors();
        return Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
    }
    QProcess Process;
    QByteArray Out, Err;
};

} // namespace kvtest
