#include "session/TimeDefaults.h"

#include "support/Clock.h"
#include "support/DateTime.h"
#include "support/DebugLog.h"
#include "support/Exceptions.h"

#include <algorithm>
#include <clocale>
#include <langinfo.h>
#include <string_view>

namespace kestrova {

namespace {

constexpr char FallbackShortDate[] = "M/d/yyyy";
constexpr char FallbackShortTime[] = "h:nn:ss";

std::vector<std::string> SplitAtBar(const std::string &text)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        const size_t bar = text.find('|', start);
        pieces.push_back(text.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos)
            return pieces;
        start = bar + 1;
    }
}

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The pattern for one strftime conversion letter; nullptr when the language cannot show it.
const char *ConversionPattern(char conversion, bool unpadded)
{
    switch (conversion) {
    case 'Y':
        return "yyyy";
    case 'y':
        return "yy";
    case 'm':
        return unpadded ? "M" : "MM";
    case 'd':
        return unpadded ? "d" : "dd";
    case 'e':
        return "d";
    case 'H':
        return unpadded ? "h" : "hh";
    case 'k':
        return "h";
    case 'M':
        return "nn";
    case 'S':
        return "ss";
    case 'T':
        return "hh:nn:ss";
    case 'R':
        return "hh:nn";
    case 'D':
        return "MM/dd/yy";
    case 'F':
        return "yyyy-MM-dd";
    case '%':
        return "%";
    default:
        return nullptr;
    }
}

} // namespace

IDefaultsListener::~IDefaultsListener()
{
    if (FRegistry)
        FRegistry->UnregisterListener(this);
}

TSharedDefaults::TSharedDefaults(const IClock &clock)
    : FClock(clock)
{
    Reset();
}

TSharedDefaults::~TSharedDefaults()
{
    for (const auto &entry : FListeners)
        entry.Listener->FRegistry = nullptr;
}

void TSharedDefaults::Reset()
{
    FOffsetMinutes = 0;
    FText.clear();
    const auto [date, time] = LocaleShortDateTimePatterns();
    FFormats = DefaultTimeFormats(date, time);
    for (const auto &entry : FListeners)
        entry.Listener->FRegistry = nullptr;
    FListeners.clear();
    BacktestFeatureName = "Quorix";
    BacktestWording.clear();
}

bool TSharedDefaults::StillRegistered(uint64_t id) const
{
    return std::any_of(
        FListeners.begin(), FListeners.end(), [id](const auto &r) { return r.Id == id; });
}

// Tells every listener registered when the change happened, in registration order. Listeners
// may unregister (or destroy) each other or themselves meanwhile; a failing one is reported.
void TSharedDefaults::NotifyListeners()
{
    const std::vector<TRegisteredListener> snapshot = FListeners;
    for (const auto &entry : snapshot) {
        if (!StillRegistered(entry.Id))
            continue;
        RunGuarded("TimeDefaults, NotifyDefaultsListeners",
            [&entry] { entry.Listener->DefaultsChanged(); });
    }
}

void TSharedDefaults::SetTimeOffset(int32_t minutes)
{
    FOffsetMinutes = minutes;
    NotifyListeners();
}

double TSharedDefaults::TimeOffsetDays() const
{
    return ServerTimeMode() ? 0.0 : FOffsetMinutes / 1440.0;
}

void TSharedDefaults::SetTimeFormats(const std::string &text)
{
    FText = text;
    if (text.empty()) {
        const auto [date, time] = LocaleShortDateTimePatterns();
        FFormats = DefaultTimeFormats(date, time);
    } else {
        TPossibleTimeFormats formats = SplitAtBar(text);
        std::reverse(formats.begin(), formats.end());
        const TDateTime now = FClock.Now();
        try {
            for (const auto &format : formats)
                FormatDateTime(format, now);
        } catch (...) {
            formats = { InvalidTimeFormatEntry };
        }
        FFormats = std::move(formats);
    }
    NotifyListeners();
}

void TSharedDefaults::RegisterListener(IDefaultsListener *listener)
{
    KV_ASSERT(listener != nullptr, "RegisterDefaultsListener needs a listener");
    if (listener->FRegistry == this)
        return;
    if (listener->FRegistry)
        listener->FRegistry->UnregisterListener(listener);
    FListeners.push_back({ FNextListenerId++, listener });
    listener->FRegistry = this;
}

void TSharedDefaults::UnregisterListener(IDefaultsListener *listener)
{
    if (listener->FRegistry != this)
        return;
    listener->FRegistry = nullptr;
    std::erase_if(FListeners, [listener](const auto &r) { return r.Listener == listener; });
}

namespace {
// The process's defaults, made on first use. This holder is constant-initialised, so its
// destructor is registered before anything the library makes later and runs after all of it
// (exit handlers, function-local statics, listeners and sessions they free): the defaults are
// freed last, when the library unloads or the process exits.
struct TProcessDefaults
{
    TSharedDefaults *Defaults = nullptr;
    ~TProcessDefaults() { delete std::exchange(Defaults, nullptr); }
};
constinit TProcessDefaults ProcessDefaults;
} // namespace

TSharedDefaults &SharedDefaults()
{
    if (!ProcessDefaults.Defaults)
        ProcessDefaults.Defaults = new TSharedDefaults;
    return *ProcessDefaults.Defaults;
}

void SetTimeOffset(int32_t minutes)
{
    SharedDefaults().SetTimeOffset(minutes);
}

bool ServerTimeMode()
{
    return SharedDefaults().ServerTimeMode();
}

int32_t GetTimeOffsetMinutes()
{
    return SharedDefaults().TimeOffsetMinutes();
}

double GetTimeOffsetDays()
{
    return SharedDefaults().TimeOffsetDays();
}

void SetTimeFormats(const std::string &text)
{
    SharedDefaults().SetTimeFormats(text);
}

TPossibleTimeFormats GetTimeFormats()
{
    return SharedDefaults().TimeFormats();
}

std::string GetTimeFormatsText()
{
    return SharedDefaults().TimeFormatsText();
}

TPossibleTimeFormats DefaultTimeFormats(const std::string &shortDate, const std::string &shortTime)
{
    const std::string &t = shortTime;
    if (shortDate == "M/d/yyyy")
        return { t, t + " M/d", t + " M/d/yy", t + " M/d/yyyy" };
    if (shortDate == "d/M/yyyy")
        return { t, t + " d", t + " d/M", t + " d/M/yy", t + " d/M/yyyy" };
    return { t, t + " " + shortDate };
}

bool StrftimeToPattern(const std::string &strftime, std::string &pattern)
{
    std::string out;
    bool inLiteral = false; // inside a double-quoted run of letters
    auto closeLiteral = [&] {
        if (inLiteral)
            out += '"';
        inLiteral = false;
    };
    for (size_t i = 0; i < strftime.size(); ++i) {
        const char c = strftime[i];
        if (c == '%') {
            bool unpadded = false;
            // GNU flags and the E/O modifiers (alternative era and digits) change nothing the
            // pattern language can show, except '-' which drops the zero padding.
            while (i + 1 < strftime.size()
                && std::string_view("-_0^#EO").find(strftime[i + 1]) != std::string_view::npos) {
                unpadded = unpadded || strftime[i + 1] == '-';
                ++i;
            }
            if (i + 1 >= strftime.size())
                return false;
            const char *part = ConversionPattern(strftime[++i], unpadded);
            if (!part)
                return false;
            closeLiteral();
            out += part;
        } else if (c == '"' || c == '\'') {
            return false;
        } else if (IsAsciiLetter(c)) {
            if (!inLiteral)
                out += '"';
            inLiteral = true;
            out += c;
        } else {
            closeLiteral();
            out += c;
        }
    }
    closeLiteral();
    if (out.empty())
        return false;
    pattern = std::move(out);
    return true;
}

std::pair<std::string, std::string> LocaleShortDateTimePatterns()
{
    std::string date = FallbackShortDate;
    std::string time = FallbackShortTime;
    const char *name = std::setlocale(LC_TIME, nullptr);
    const std::string locale = name ? name : "C";
    const bool plain = locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0;
    if (!plain) {
        std::string mapped;
        if (StrftimeToPattern(nl_langinfo(D_FMT), mapped))
            date = mapped;
        if (StrftimeToPattern(nl_langinfo(T_FMT), mapped))
            time = mapped;
    }
    return { date, time };
}

void RegisterDefaultsListener(IDefaultsListener *listener)
{
    SharedDefaults().RegisterListener(listener);
}

void UnregisterDefaultsListener(IDefaultsListener *listener)
{
    // Once the process's defaults are gone, listeners have been let go already.
    if (ProcessDefaults.Defaults)
        ProcessDefaults.Defaults->UnregisterListener(listener);
}

void ResetTimeDefaults()
{
    SharedDefaults().Reset();
}

} // namespace kestrova
