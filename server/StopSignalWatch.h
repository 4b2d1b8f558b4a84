#pragma once
// SIGINT and SIGTERM turned into a call on the Qt loop: the handler only writes a byte to a
// socket pair whose other end the loop watches. SIGPIPE is ignored, so that a peer gone away is
// an error on its socket rather than the end of the process. One per process, made after the
// application object.

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace kestrova::alertd {

class TStopSignalWatch
{
public:
    // Installs the handlers; onStop then runs on the loop for each signal. False, with nothing
    // installed, when the socket pair cannot be made.
    bool Install(std::function<void()> onStop);

private:
    std::unique_ptr<QSocketNotifier> FNotifier;
};

} // namespace kestrova::alertd
