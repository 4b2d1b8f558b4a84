// Times of an alert record as they are written out.

#include "session/AlertRecord.h"

#include "support/DateTime.h"

#include <cmath>

namespace kestrova {

int32_t AlertUnixTime(const TAlertRecord &alert)
{
    if (alert.UnixTime != 0 || alert.Time == 0 || !std::isfinite(alert.Time))
        return alert.UnixTime;
    const int64_t seconds = DateTimeToUnix(LocalToUtc(alert.Time));
    if (seconds < INT32_MIN || seconds > INT32_MAX)
        return 0;
    return static_cast<int32_t>(seconds);
}

} // namespace kestrova
