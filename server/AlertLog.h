#pragma once
// The resume buffer: the most recent live alerts of the whole market, numbered 1, 2, 3 ... in
// arrival order. Connections keep only a position in it, so a client that reconnects with the
// last id it was told continues right after it as long as the buffer still holds that id.

#include "Market.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace kestrova::alertd {

class TAlertLog
{
public:
    explicit TAlertLog(size_t capacity)
        : FCapacity(capacity ? capacity : 1)
    {
    }

    // Numbers the alerts and appends them, then (with trim) drops the oldest beyond the
    // capacity.
    void Append(std::vector<TAlert> alerts, bool trim = true);
    void Trim();
    // Id of the newest alert, 0 before the first.
    int64_t LastId() const { return FFirstId + static_cast<int64_t>(FAlerts.size()) - 1; }
    // Id of the oldest alert held (LastId() + 1 when empty).
    int64_t FirstId() const { return FFirstId; }
    // The alert with that id, or nullptr when it is not (or no longer) held.
    const TAlert *Find(int64_t id) const;
    size_t Capacity() const { return FCapacity; }

private:
    size_t FCapacity;
    int64_t FFirstId = 1;
    std::deque<TAlert> FAlerts;
};

} // namespace kestrova::alertd
