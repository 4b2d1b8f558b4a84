// Times of an alert record as they are written out.

#include "session/AlertRecord.h"

#include "support/DateTime.h"

#include <cmath>

namespace kestrova {

int64_t AlertUnixTime(const TAlertRecord &alert, double serverZoneDays)
{
    if (alert.UnixTime != 0 || alert.Time == 0 || !std::isfinite(alert.Time - serverZoneDays))
        return alert.UnixTime;
    return DateTimeToUnix(LocalToUtc(alert.Time - serverZoneDays));
}

} // namespace kestrova
