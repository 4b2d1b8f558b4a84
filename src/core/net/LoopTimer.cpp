#include "net/LoopTimer.h"

#include <QTimer>

namespace kestrova {

struct TLoopTimer::Impl
{
    QTimer Timer;
};

TLoopTimer::TLoopTimer(bool singleShot)
    : FImpl(std::make_unique<Impl>())
{
    FImpl->Timer.setSingleShot(singleShot);
    QObject::connect(&FImpl->Timer, &QTimer::timeout, [this] {
        if (!OnTimer)
            return;
        auto handler = OnTimer; // the handler may free this timer
        handler();
    });
}

TLoopTimer::~TLoopTimer() = default;

void TLoopTimer::Start(int milliseconds)
{
    FImpl->Timer.start(milliseconds);
}

void TLoopTimer::Stop()
{
    FImpl->Timer.stop();
}

bool TLoopTimer::Active() const
{
    return FImpl->Timer.isActive();
}

} // namespace kestrova
