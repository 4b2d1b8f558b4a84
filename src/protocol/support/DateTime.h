#pragma once
// Date-time values (TDateTime: days since 1899-12-30, fraction = time of day), their parts,
// conversions between UTC, local time and Unix seconds, and the display pattern language.
// The scale is linear on both sides of the origin: -0.25 is 1899-12-29 18:00.

#include "support/Clock.h"
#include "support/Exceptions.h"

#include <cstdint>
#include <string>

namespace kestrova {

constexpr TDateTime UnixEpochDays = 25569.0; // 1970-01-01 as a TDateTime
constexpr double MillisecondsPerDay = 86400000.0;

struct TDateTimeParts
{
    int Year = 1899, Month = 12, Day = 30, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Builds a value from parts; false (and Result untouched) when a part is out of range.
bool TryEncodeDateTime(const TDateTimeParts &parts, TDateTime &result);
// As above, raising EConvertError for an invalid date or time.
TDateTime EncodeDateTime(const TDateTimeParts &parts);
// The parts of a value, rounded to the millisecond. Raises EConvertError outside the years 1 to
// 9999 (NaN and infinities included).
TDateTimeParts DecodeDateTime(TDateTime value);

// Unix seconds <-> TDateTime on the same (UTC) scale.
TDateTime UnixToDateTime(int64_t unixSeconds);
int64_t DateTimeToUnix(TDateTime value);

// Time-zone conversions with the system's rules for that date. Zero converts to zero; a value
// the conversion cannot handle is returned unchanged. A local time that occurs twice (the hour
// after a clock change back) or not at all (skipped forward) maps to one of the nearby instants.
TDateTime UtcToLocal(TDateTime utc);
TDateTime LocalToUtc(TDateTime local);
TDateTime LocalNow();

// Formats with the pattern language "yyyy" "yy" "M" "MM" "d" "dd" "h" "hh" "nn" "ss" and
// double-quoted (or single-quoted) literals; letters compare case-insensitively ("m" is the
// month, "n" the minute), "z"/"zzz" give milliseconds, other characters are copied. Raises
// EConvertError for a pattern it cannot handle (an unknown letter, a run too long for its
// letter, an unterminated quote) and for a value DecodeDateTime rejects.
std::string FormatDateTime(const std::string &pattern, TDateTime value);

} // namespace kestrova
