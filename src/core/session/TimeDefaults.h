#pragma once
// Display defaults shared by the session and the alert windows: the time offset (which also
// selects how times travel on the wire), the list of time display formats, the listeners told
// whenever either changes, and the names of the backtest feature. They live in one
// TSharedDefaults object: the process has one (SharedDefaults(), behind the free functions
// below); a test may construct its own and hand it to a session. GUI thread only.

#include "support/Clock.h"

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

class IDefaultsListener;

class TSharedDefaults
{
public:
    // clock: what SetTimeFormats tries the formats on. Starts with offset 0 and the locale's
    // default formats.
    explicit TSharedDefaults(const IClock &clock = ProcessClock());
    // Listeners still registered are let go (they no longer unregister from this object).
    ~TSharedDefaults();
    TSharedDefaults(const TSharedDefaults &) = delete;
    TSharedDefaults &operator=(const TSharedDefaults &) = delete;

    // Stores the offset in minutes added to alert times for display, then notifies the listeners.
    void SetTimeOffset(int32_t minutes);
    // True when the offset is ServerTimeOffsetMinutes.
    bool ServerTimeMode() const { return FOffsetMinutes == ServerTimeOffsetMinutes; }
    int32_t TimeOffsetMinutes() const { return FOffsetMinutes; }
    // The offset in days; 0 in server-time mode.
    double TimeOffsetDays() const;

    // Takes "most|...|least" complete formats separated by '|' (stored reversed: the last piece
    // at index 0; empty pieces kept). Every piece is tried on the current time; if any is
    // rejected the list becomes { InvalidTimeFormatEntry }. An empty text selects the locale
    // defaults. Then notifies the listeners.
    void SetTimeFormats(const std::string &text);
    const TPossibleTimeFormats &TimeFormats() const { return FFormats; }
    // The text last given to SetTimeFormats.
    const std::string &TimeFormatsText() const { return FText; }

    // Adds a listener (once; registering it again has no effect). Listeners are notified in
    // registration order; one that raises is reported and the others are still notified. A
    // listener removed or destroyed during a notification is not called afterwards. A listener
    // belongs to one object at a time: registering it here takes it from any other.
    void RegisterListener(IDefaultsListener *listener);
    void UnregisterListener(IDefaultsListener *listener);

    // The display name of the backtest feature, and the wording value sent with each backtest
    // request. Set at library start-up.
    std::string BacktestFeatureName = "Quorix";
    std::string BacktestWording;

    // Back to the state at construction: offset 0, locale default formats, no listeners,
    // default backtest names.
    void Reset();

private:
    struct TRegisteredListener
    {
        uint64_t Id;
        IDefaultsListener *Listener;
    };
    bool StillRegistered(uint64_t id) const;
    void NotifyListeners();

    const IClock &FClock;
    int32_t FOffsetMinutes = 0;
    TPossibleTimeFormats FFormats;
    std::string FText;
    std::vector<TRegisteredListener> FListeners;
    uint64_t FNextListenerId = 1;
};

// The process's defaults, created on first use.
TSharedDefaults &SharedDefaults();

// The process's defaults, one call each (see TSharedDefaults).
void SetTimeOffset(int32_t minutes);
bool ServerTimeMode();
int32_t GetTimeOffsetMinutes();
double GetTimeOffsetDays();
void SetTimeFormats(const std::string &text);
TPossibleTimeFormats GetTimeFormats();
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

// A component told about every change of the defaults it is registered with. It leaves the
// registry when destroyed; a listener whose own destruction might change the defaults
// unregisters first thing in its destructor.
class IDefaultsListener
{
public:
    virtual void DefaultsChanged() = 0;

protected:
    IDefaultsListener() = default;
    IDefaultsListener(const IDefaultsListener &) { }
    IDefaultsListener &operator=(const IDefaultsListener &) { return *this; }
    virtual ~IDefaultsListener();

private:
    friend class TSharedDefaults;
    TSharedDefaults *FRegistry = nullptr; // the defaults it is registered with
};

// Registers with the process's defaults.
void RegisterDefaultsListener(IDefaultsListener *listener);
void UnregisterDefaultsListener(IDefaultsListener *listener);

// The process's defaults back to their state at load. For tests.
void ResetTimeDefaults();

} // namespace kestrova
