// The alert record's derived values.

#include "session/AlertRecord.h"

#include "support/DateTime.h"

namespace kestrova {

int64_t AlertUnixTime(const TAlertRecord &alert)
{
    if (alert.UnixTime != 0 || alert.Time == 0)
        return alert.UnixTime;
    return DateTimeToUnix(LocalToUtc(alert.Time));
}

} // namespace kestrova
