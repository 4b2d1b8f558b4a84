#include "StopSignalWatch.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrova::alertd {

namespace {
int SignalPipe[2] = { -1, -1 };

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(SignalPipe[1], &byte, 1);
}
} // namespace

bool TStopSignalWatch::Install(std::function<void()> onStop)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, SignalPipe) != 0)
        return false;
    FNotifier = std::make_unique<QSocketNotifier>(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [onStop = std::move(onStop)] {
        char byte;
        [[maybe_unused]] const auto n = ::read(SignalPipe[0], &byte, 1);
        onStop();
    });
    struct sigaction action
    {
    };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

} // namespace kestrova::alertd
