#include "symbollists/SymbolListsTimers.h"

#include "support/DebugLog.h"
#include "symbollists/SymbolLists.h"

#include <QTimer>

namespace kestrova {

TSymbolListsTimers::TSymbolListsTimers(TSymbolListsHub &hub)
    : Hub_(hub)
    , Tick_(std::make_unique<QTimer>())
    , Retry_(std::make_unique<QTimer>())
{
    Tick_->setInterval(TSymbolListsHub::TickIntervalMs);
    QObject::connect(Tick_.get(), &QTimer::timeout,
        [this] { RunGuarded("SymbolLists, TSymbolListsHub.Tick", [&] { Hub_.Tick(); }); });
    Tick_->start();

    Retry_->setSingleShot(true);
    QObject::connect(Retry_.get(), &QTimer::timeout, [this] {
        RunGuarded(
            "ListOfListsUnit, TListMaster.RetryTimer", [&] { Hub_.Master().RetryTimerFired(); });
    });
    Hub_.Master().OnRetryTimerChanged = [this] { FollowRetryTimer(); };
    FollowRetryTimer();
}

TSymbolListsTimers::~TSymbolListsTimers()
{
    Hub_.Master().OnRetryTimerChanged = nullptr;
}

void TSymbolListsTimers::FollowRetryTimer()
{
    const TListMaster &master = Hub_.Master();
    if (master.RetryTimerEnabled())
        Retry_->start(master.RetryIntervalMs());
    else
        Retry_->stop();
}

} // namespace kestrova
