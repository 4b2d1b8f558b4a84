#pragma once
// Process-wide display defaults shared by the session and the alert windows: the time offset
// (which also selects how times travel on the wire), the list of time display formats, and the
// listeners told whenever either changes. GUI thread only.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrova {

// The offset value that selects server-time mode: the server formats times itself, times on the
// wire are "yyyy-mm-dd hh:mm:ss" texts and the display offset is 0.
constexpr int32_t ServerTimeOffsetMinutes = 999999;

// The single entry that replaces a format list the formatter rejects (a quoted literal, so a
// time cell shows the words).
inline const std::string InvalidTimeFormatEntry = "\"Invalid time format!\"";

// Formats from the shortest (index 0, the fallback) to the most complete (the last).
using TPossibleTimeFormats = std::vector<std::string>;

// Stores the offset in minutes added to alert times for display, then notifies the listeners.
void SetTimeOffset(int32_t minutes);
// True when the offset is ServerTimeOffsetMinutes (set with SetTimeOffset).
bool ServerTimeMode();
int32_t GetTimeOffsetMinutes();
// The offset in days; 0 in server-time mode.
double GetTimeOffsetDays();

// Takes "most|...|least" complete formats separated by '|' (stored reversed: the last piece at
// index 0; empty pieces kept). Every piece is tried on the current time; if any is rejected the
// list becomes { InvalidTimeFormatEntry }. An empty text selects the locale defaults. Then
// notifies the listeners.
void SetTimeFormats(const std::string &text);
TPossibleTimeFormats GetTimeFormats();
// The text last given to SetTimeFormats.
std::string GetTimeFormatsText();

// The list built from a short date pattern and a short time pattern (both in the display
// pattern language): month-first "M/d/yyyy" and day-first "d/M/yyyy" get graded lists, any
// other date pattern gives { time, time + " " + date }.
TPossibleTimeFormats DefaultTimeFormats(const std::string &shortDate, const std::string &shortTime);
// Maps a C library strftime pattern (nl_langinfo D_FMT / T_FMT) into the display pattern
// language; false when it uses something the language cannot show (12-hour clock, names ...).
bool StrftimeToPattern(const std::string &strftime, std::string &pattern);
// The short date and time patterns of the C library's LC_TIME locale; "M/d/yyyy" and "h:nn:ss"
// for the C/POSIX locale or for a pattern that cannot be mapped.
std::pair<std::string, std::string> LocaleShortDateTimePatterns();

// A component told about every change of the defaults. It leaves the registry when destroyed;
// a listener whose own destruction might change the defaults unregisters first thing in its
// destructor.
class IDefaultsListener
{
public:
    virtual void DefaultsChanged() = 0;

protected:
    IDefaultsListener() = default;
    IDefaultsListener(const IDefaultsListener &) = default;
    IDefaultsListener &operator=(const IDefaultsListener &) = default;
    virtual ~IDefaultsListener();
};

// Adds a listener (once; registering it again has no effect). Listeners are notified in
// registration order; one that raises is reported and the others are still notified. A
// listener removed or destroyed during a notification is not called afterwards.
void RegisterDefaultsListener(IDefaultsListener *listener);
void UnregisterDefaultsListener(IDefaultsListener *listener);

// Back to the state at load: offset 0, locale default formats, no listeners. For tests.
void ResetTimeDefaults();

} // namespace kestrova
