#pragma once
// The data types that name grid columns and sort keys.

namespace kestrova {

enum TDataTypes {
    cdBlank = 0,
    cdIcon,
    cdTime,
    cdSymbol,
    cdDescription,
    cdQuality,
    cdRelVol,
    cdAge,
    cdNum,
    cdDailyRange,
    cdWeeklyChart,
    cdDailyChart,
    cdVolatility,
    cdStandardDeviation,
    cdWiggle
};

constexpr int DataTypeCount = cdWiggle + 1;

} // namespace kestrova
