#pragma once
// Runs the Qt event loop of the test thread until a condition holds or a time-out passes.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace kvtest {

// Processes events until condition() is true; false when timeoutMs passed first.
inline bool RunUntil(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents();
        QThread::msleep(1);
    }
    return true;
}

// Processes events for the given time.
inline void RunFor(int milliseconds)
{
    RunUntil([] { return false; }, milliseconds);
}

} // namespace kvtest
