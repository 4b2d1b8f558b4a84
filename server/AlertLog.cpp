#include "AlertLog.h"

namespace kestrova::alertd {

void TAlertLog::Append(std::vector<TAlert> alerts, bool trim)
{
    for (auto &alert : alerts) {
        alert.Id = LastId() + 1;
        FAlerts.push_back(std::move(alert));
    }
    if (trim)
        Trim();
}

void TAlertLog::Trim()
{
    while (FAlerts.size() > FCapacity) {
        FAlerts.pop_front();
        ++FFirstId;
    }
}

const TAlert *TAlertLog::Find(int64_t id) const
{
    if (id < FFirstId || id > LastId())
        return nullptr;
    return &FAlerts[static_cast<size_t>(id - FFirstId)];
}

} // namespace kestrova::alertd
