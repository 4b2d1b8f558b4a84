#include "link/WakeMeSoon.h"

#include "support/DebugLog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace kestrova {

namespace {
const QEvent::Type WakeEvent = static_cast<QEvent::Type>(QEvent::User + 1);
}

// The private receiver of the posted wake-up event.
class TWakeTarget : public QObject
{
public:
    explicit TWakeTarget(TWakeMeSoon *owner)
        : Owner(owner)
    {
    }
    TWakeMeSoon *Owner; // null once the owner is gone

protected:
    void customEvent(QEvent *event) override
    {
        if (event->type() == WakeEvent && Owner)
            Owner->WndPrc();
        else
            QObject::customEvent(event);
    }
};

TWakeMeSoon::TWakeMeSoon()
    : FTarget(new TWakeTarget(this))
{
}

TWakeMeSoon::~TWakeMeSoon()
{
    FTarget->Owner = nullptr;
    if (FInHandler)
        FTarget->deleteLater(); // Qt is still delivering the event to it
    else
        delete FTarget; // drops the queued event with it
}

void TWakeMeSoon::RequestWake()
{
    if (FPending)
        return;
    FPending = true;
    QCoreApplication::postEvent(FTarget, new QEvent(WakeEvent));
}

void TWakeMeSoon::WndPrc()
{
    FPending = false;
    if (!OnWake)
        return;
    FInHandler = true;
    TWakeTarget *target = FTarget;
    const auto handler = OnWake; // the handler may unset OnWake or destroy this object
    RunGuarded("WakeMeSoon, TWakeMeSoon.WndPrc", handler);
    if (target->Owner == this)
        FInHandler = false;
}

TWakeFactory LoopWakeFactory()
{
    return [] { return std::make_unique<TWakeMeSoon>(); };
}

TWakeFactory WakeFactoryOrLoop(TWakeFactory factory)
{
    return factory ? std::move(factory) : LoopWakeFactory();
}

} // namespace kestrova
