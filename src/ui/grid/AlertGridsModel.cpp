// The alert grid's model: line mapping, write cursor, scroll position, names, cell text.

#include "grid/AlertGridsModel.h"

#include "session/TimeDefaults.h"
#include "support/DateTime.h"
#include "support/Exceptions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrova {

namespace {
std::string Fixed2(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}
} // namespace

int AlertIndexOnLine(const TLineMap &map, int line)
{
    if (line <= 0)
        return -1;
    if (map.ViewMode == vmWriteOver) {
        const int v = std::max(1, map.Visible), c = map.Cursor;
        switch (map.Direction) {
        case adDown:
        case adRight:
            if (line == (v < c + 1 ? 1 : c + 1))
                return -1;
            return (v + c - line) % v;
        case adUp:
        case adLeft:
            if (line == (c >= 2 ? c - 1 : v))
                return -1;
            return (v + line - c) % v;
        default:
            return -1;
        }
    }
    switch (map.Direction) {
    case adDown:
    case adRight:
        return line - 1;
    case adUp:
    case adLeft:
        return map.Count - line;
    default:
        return -1;
    }
}

int ResetWriteCursor(int direction, int visible)
{
    return direction == adDown || direction == adRight ? std::max(1, visible) : 1;
}

int AdvanceWriteCursor(int direction, int cursor, int n, int visible)
{
    const int v = std::max(1, visible);
    if (direction == adDown || direction == adRight)
        return static_cast<int>((static_cast<int64_t>(cursor) + n) % v);
    int c = static_cast<int>((static_cast<int64_t>(cursor) - n) % v);
    if (c <= 0)
        c += v;
    return c;
}

int ScrollPosition(int direction, int count, int firstLine, int visible)
{
    if (count <= 0)
        return -1;
    switch (direction) {
    case adDown:
    case adRight:
        return firstLine - 1;
    case adUp:
    case adLeft:
        return count - firstLine - visible + 1;
    default:
        throw Exception("Internal Error");
    }
}

int FirstLineForPosition(int direction, int count, int visible, int p)
{
    p = std::max(0, p);
    switch (direction) {
    case adDown:
    case adRight:
        return p + 1;
    case adUp:
    case adLeft:
        return std::max(1, count - visible - p + 1);
    default:
        throw Exception("Internal Error");
    }
}

std::string WindowNameFor(int historyState, const std::string &baseName)
{
    switch (historyState) {
    case 1:
        return "History Loading:  " + baseName;
    case 2:
        return "History:  " + baseName + " (more available)";
    case 3:
        return "History:  " + baseName;
    default:
        return baseName;
    }
}

std::string PlainCellText(const TAlertRecord &alert, int type, TDateTime now)
{
    switch (type) {
    case cdIcon:
        return alert.AlertType;
    case cdTime: {
        if (alert.Time <= 0)
            return {};
        const TPossibleTimeFormats formats = GetTimeFormats();
        try {
            return formats.empty()
                ? std::string()
                : FormatDateTime(formats.back(), alert.Time + GetTimeOffsetDays());
        } catch (const EConvertError &) {
            return {};
        }
    }
    case cdSymbol:
        return alert.Symbol;
    case cdDescription:
        return alert.Description;
    case cdQuality:
        return std::isnan(alert.Quality) ? std::string() : Fixed2(alert.Quality);
    case cdRelVol:
        return std::isnan(alert.RelVol) ? std::string() : Fixed2(alert.RelVol);
    case cdAge: {
        if (alert.Time <= 0)
            return {};
        const double seconds = std::max(0.0, (now - alert.Time) * 86400.0);
        char text[32];
        if (seconds < 60)
            std::snprintf(text, sizeof text, "%ds", static_cast<int>(seconds));
        else if (seconds < 3600)
            std::snprintf(text, sizeof text, "%dm", static_cast<int>(seconds / 60));
        else
            std::snprintf(
                text, sizeof text, "%dh", static_cast<int>(std::min(seconds / 3600, 1e6)));
        return text;
    }
    case cdNum:
        return alert.Num > 0 ? std::to_string(alert.Num) : std::string();
    case cdDailyRange: {
        if (std::isnan(alert.DayRange))
            return {};
        char text[64];
        std::snprintf(text, sizeof text, "%.0f%%", alert.DayRange * 100);
        return text;
    }
    case cdVolatility:
        return std::isnan(alert.Volatility) ? std::string() : Fixed2(alert.Volatility);
    case cdStandardDeviation:
        return std::isnan(alert.StdDev) ? std::string() : Fixed2(alert.StdDev);
    case cdWiggle:
        return std::isnan(alert.RelVol) || std::isnan(alert.Volatility)
            ? std::string()
            : Fixed2(alert.RelVol * alert.Volatility);
    default:
        return {};
    }
}

bool IsRightAligned(int type)
{
    switch (type) {
    case cdQuality:
    case cdRelVol:
    case cdNum:
    case cdVolatility:
    case cdStandardDeviation:
    case cdWiggle:
        return true;
    default:
        return false;
    }
}

std::string DescriptionLine(const TAlertRecord &alert)
{
    const TPossibleTimeFormats formats = GetTimeFormats();
    const std::string time = formats.empty()
        ? std::string()
        : FormatDateTime(formats.back(), alert.Time + GetTimeOffsetDays());
    return alert.Symbol + " at " + time + ":  " + alert.Description;
}

} // namespace kestrova
