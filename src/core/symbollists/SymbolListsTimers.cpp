#include "symbollists/SymbolListsTimers.h"

#include "support/DebugLog.h"
#include "symbollists/SymbolLists.h"

#include <QTimer>

namespace kestrova {

TSymbolListsTimers::TSymbolListsTimers(TSymbolListsHub &hub)
    : FHub(hub)
    , FTick(std::make_unique<QTimer>())
    , FRetry(std::make_unique<QTimer>())
{
    FTick->setInterval(TSymbolListsHub::TickIntervalMs);
    QObject::connect(FTick.get(), &QTimer::timeout,
        [this] { RunGuarded("SymbolLists, TSymbolListsHub.Tick", [&] { FHub.Tick(); }); });
    FTick->start();

    FRetry->setSingleShot(true);
    QObject::connect(FRetry.get(), &QTimer::timeout, [this] {
        RunGuarded(
            "ListOfListsUnit, TListMaster.RetryTimer", [&] { FHub.Master().RetryTimerFired(); });
    });
    FHub.Master().OnRetryTimerChanged = [this] { FollowRetryTimer(); };
    FollowRetryTimer();
}

TSymbolListsTimers::~TSymbolListsTimers()
{
    FHub.Master().OnRetryTimerChanged = nullptr;
}

void TSymbolListsTimers::FollowRetryTimer()
{
    const TListMaster &master = FHub.Master();
    if (master.RetryTimerEnabled())
        FRetry->start(master.RetryIntervalMs());
    else
        FRetry->stop();
}

} // namespace kestrova
