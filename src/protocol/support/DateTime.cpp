#include "support/DateTime.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace kestrova {

namespace {
// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int &year, int &month, int &day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

int DaysInMonth(int year, int month)
{
    static const int days[] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// Milliseconds since 1899-12-30, rounded, so that decoding never shows 59.999 s.
int64_t ToMilliseconds(TDateTime value)
{
    return static_cast<int64_t>(std::llround(value * MillisecondsPerDay));
}

// 0001-01-01 up to (not including) 10000-01-01; also rules out NaN and infinities, whose
// conversion to an integer count is undefined.
bool InRange(TDateTime value)
{
    return value >= -693593.0 && value < 2958466.0;
}

TDateTimeParts FromTm(const std::tm &tm, int millisecond)
{
    return { tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
        millisecond };
}
} // namespace

bool TryEncodeDateTime(const TDateTimeParts &p, TDateTime &result)
{
    if (p.Year < 1 || p.Year > 9999 || p.Month < 1 || p.Month > 12 || p.Day < 1
        || p.Day > DaysInMonth(p.Year, p.Month) || p.Hour < 0 || p.Hour > 23 || p.Minute < 0
        || p.Minute > 59 || p.Second < 0 || p.Second > 59 || p.Millisecond < 0
        || p.Millisecond > 999)
        return false;
    const double days = static_cast<double>(DaysFromCivil(p.Year, p.Month, p.Day)) + UnixEpochDays;
    const double ms = ((p.Hour * 60.0 + p.Minute) * 60.0 + p.Second) * 1000.0 + p.Millisecond;
    result = days + ms / MillisecondsPerDay;
    return true;
}

TDateTime EncodeDateTime(const TDateTimeParts &parts)
{
    TDateTime result = 0;
    if (!TryEncodeDateTime(parts, result))
        throw EConvertError("Invalid argument to date encode");
    return result;
}

TDateTimeParts DecodeDateTime(TDateTime value)
{
    if (!InRange(value))
        throw EConvertError("Invalid date-time value");
    const int64_t total = ToMilliseconds(value);
    int64_t days = total / 86400000;
    int64_t ms = total % 86400000;
    if (ms < 0) {
        ms += 86400000;
        days -= 1;
    }
    TDateTimeParts p;
    CivilFromDays(days - static_cast<int64_t>(UnixEpochDays), p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(ms / 3600000);
    p.Minute = static_cast<int>(ms / 60000 % 60);
    p.Second = static_cast<int>(ms / 1000 % 60);
    p.Millisecond = static_cast<int>(ms % 1000);
    return p;
}

TDateTime UnixToDateTime(int64_t unixSeconds)
{
    return UnixEpochDays + static_cast<double>(unixSeconds) / 86400.0;
}

int64_t DateTimeToUnix(TDateTime value)
{
    return static_cast<int64_t>(std::floor((ToMilliseconds(value - UnixEpochDays)) / 1000.0));
}

TDateTime UtcToLocal(TDateTime utc)
{
    if (utc == 0 || !InRange(utc))
        return utc;
    const int64_t ms = ToMilliseconds(utc - UnixEpochDays);
    const std::time_t seconds = static_cast<std::time_t>(std::floor(ms / 1000.0));
    std::tm tm {};
    if (!localtime_r(&seconds, &tm))
        return utc;
    TDateTime result = 0;
    TryEncodeDateTime(FromTm(tm, static_cast<int>(ms - int64_t(seconds) * 1000)), result);
    return result;
}

TDateTime LocalToUtc(TDateTime local)
{
    if (local == 0 || !InRange(local))
        return local;
    const TDateTimeParts p = DecodeDateTime(local);
    std::tm tm {};
    tm.tm_year = p.Year - 1900;
    tm.tm_mon = p.Month - 1;
    tm.tm_mday = p.Day;
    tm.tm_hour = p.Hour;
    tm.tm_min = p.Minute;
    tm.tm_sec = p.Second;
    tm.tm_isdst = -1;
    const std::time_t seconds = mktime(&tm);
    if (seconds == static_cast<std::time_t>(-1) && p.Year != 1969)
        return local;
    return UnixToDateTime(seconds) + p.Millisecond / MillisecondsPerDay;
}

TDateTime LocalNow()
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm {};
    localtime_r(&ts.tv_sec, &tm);
    TDateTime result = 0;
    TryEncodeDateTime(FromTm(tm, static_cast<int>(ts.tv_nsec / 1000000)), result);
    return result;
}

std::string FormatDateTime(const std::string &pattern, TDateTime value)
{
    const TDateTimeParts p = DecodeDateTime(value);
    std::string out;
    auto number = [&out](int v, int width) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%0*d", width, v);
        out += buffer;
    };
    for (size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == '"' || c == '\'') {
            const size_t end = pattern.find(c, i + 1);
            if (end == std::string::npos)
                throw EConvertError("Unterminated literal in time format \"" + pattern + "\"");
            out.append(pattern, i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        const char lower = static_cast<char>(c | 0x20);
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            out += c;
            ++i;
            continue;
        }
        size_t run = 1;
        while (i + run < pattern.size() && (pattern[i + run] | 0x20) == lower)
            ++run;
        i += run;
        switch (lower) {
        case 'y':
            if (run <= 2)
                number(p.Year % 100, 2);
            else
                number(p.Year, 4);
            continue;
        case 'm':
            if (run <= 2) {
                number(p.Month, static_cast<int>(run));
                continue;
            }
            break;
        case 'd':
            if (run <= 2) {
                number(p.Day, static_cast<int>(run));
                continue;
            }
            break;
        case 'h':
            if (run <= 2) {
                number(p.Hour, static_cast<int>(run));
                continue;
            }
            break;
        case 'n':
            if (run <= 2) {
                number(p.Minute, static_cast<int>(run));
                continue;
            }
            break;
        case 's':
            if (run <= 2) {
                number(p.Second, static_cast<int>(run));
                continue;
            }
            break;
        case 'z':
            if (run == 1 || run == 3) {
                number(p.Millisecond, static_cast<int>(run));
                continue;
            }
            break;
        default:
            break;
        }
        throw EConvertError("Invalid time format \"" + pattern + "\"");
    }
    return out;
}

} // namespace kestrova
