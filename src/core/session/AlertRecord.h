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

// The alert's time as Unix seconds for output (the host's getter, saved contents, kvtail):
// UnixTime when the server sent one; otherwise (server-time mode, the time came as text) Time read
// as the wall clock of a zone serverZoneDays ahead of this machine's (the server's zone, see
// TAllAlertsConnection::ServerZoneOffsetDays); 0 only for an alert without a time. The record
// itself is not changed.
int64_t AlertUnixTime(const TAlertRecord &alert, double serverZoneDays = 0);

} // namespace kestrova
