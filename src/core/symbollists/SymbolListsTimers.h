#pragma once
// Event-loop glue of the symbol lists: the hub's 1000 ms timer and the list-of-lists retry
// timer. Each handler runs guarded; the logic itself lives in the hub and the master.

#include <memory>

class QTimer;

namespace kestrova {

class TSymbolListsHub;

class TSymbolListsTimers
{
public:
    // Starts the tick at once and follows the master's retry timer. The hub outlives this.
    explicit TSymbolListsTimers(TSymbolListsHub &hub);
    ~TSymbolListsTimers();
    TSymbolListsTimers(const TSymbolListsTimers &) = delete;
    TSymbolListsTimers &operator=(const TSymbolListsTimers &) = delete;

private:
    void FollowRetryTimer();

    TSymbolListsHub &FHub;
    std::unique_ptr<QTimer> FTick;
    std::unique_ptr<QTimer> FRetry;
};

} // namespace kestrova
