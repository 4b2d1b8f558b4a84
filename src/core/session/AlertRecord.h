#pragma once
// One alert as the server sends it, and a batch of them.

#include "support/DateTime.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace kestrova {

// Fractional values are NaN when the server left them out.
struct TAlertRecord
{
    std::string Symbol;
    std::string AlertType;
    int32_t UnixTime = 0; // 0 when the time came as text or not at all
    double Time = 0; // local date-time
    std::string Description;
    double Quality = std::numeric_limits<double>::quiet_NaN();
    double RelVol = std::numeric_limits<double>::quiet_NaN();
    int32_t Num = 0;
    int32_t Historical = 0;
    double DayRange = std::numeric_limits<double>::quiet_NaN();
    double StdDev = std::numeric_limits<double>::quiet_NaN();
    double Volatility = std::numeric_limits<double>::quiet_NaN();
    int32_t BatchNumber = 0; // set by the alert list
};

using TAlertRecords = std::vector<TAlertRecord>;

// The alert's Unix time: UnixTime when the server sent one; otherwise Time read as the wall clock
// of a zone serverZoneDays ahead of this machine's (in server-time mode the server's zone, see
// TAllAlertsConnection::ServerZoneOffsetDays); 0 only for an alert without a time.
inline int64_t AlertUnixTime(const TAlertRecord &alert, double serverZoneDays = 0)
{
    if (alert.UnixTime != 0 || alert.Time == 0)
        return alert.UnixTime;
    return DateTimeToUnix(LocalToUtc(alert.Time - serverZoneDays));
}

} // namespace kestrova
