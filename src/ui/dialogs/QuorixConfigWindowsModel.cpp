#include "dialogs/QuorixConfigWindowsModel.h"

#include "session/BacktestNames.h"
#include "support/HashTables.h"
#include "support/UrlEncoding.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace kestrova {

namespace {
const TQuorixSettings Defaults;

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

double RealOr(const std::string &text, const std::string &fallback)
{
    double value = 0;
    if (TryReadReal(text, value))
        return value;
    TryReadReal(fallback, value);
    return value;
}

int32_t IntegerOr(const std::string &text, const std::string &fallback)
{
    int32_t value = 0;
    if (TryReadInteger(text, value))
        return value;
    TryReadInteger(fallback, value);
    return value;
}

// Collects the pairs of a settings string; empty values are left out.
class TSettingsWriter
{
public:
    void Add(const std::string &key, const std::string &value)
    {
        if (value.empty())
            return;
        if (!FText.empty())
            FText += '&';
        FText += UrlEncode(key) + '=' + UrlEncode(value);
    }
    void Real(const std::string &key, const std::string &text, const std::string &fallback)
    {
        Add(key, FormatReal(RealOr(text, fallback), 6));
    }
    void Integer(const std::string &key, const std::string &text, const std::string &fallback)
    {
        Add(key, std::to_string(IntegerOr(text, fallback)));
    }
    void Flag(const std::string &key, bool set) { Add(key, set ? "1" : ""); }
    void Index(const std::string &key, int index)
    {
        Add(key, index >= 0 ? std::to_string(index) : "");
    }
    const std::string &Text() const { return FText; }

private:
    std::string FText;
};

// The values of a settings string, looked up by key.
class TSettingsReader
{
public:
    explicit TSettingsReader(const std::string &text)
    {
        size_t pos = 0;
        while (pos <= text.size()) {
            size_t amp = text.find('&', pos);
            if (amp == std::string::npos)
                amp = text.size();
            const std::string piece = text.substr(pos, amp - pos);
            const size_t eq = piece.find('=');
            if (eq != std::string::npos)
                FValues.Put(UrlDecode(piece.substr(0, eq)), UrlDecode(piece.substr(eq + 1)));
            pos = amp + 1;
        }
    }
    std::string Text(const std::string &key) const { return FValues.GetValue(key); }
    std::string Real(const std::string &key, const std::string &fallback) const
    {
        return FormatReal(RealOr(Text(key), fallback), 15);
    }
    std::string Integer(const std::string &key, const std::string &fallback) const
    {
        return std::to_string(IntegerOr(Text(key), fallback));
    }
    int Number(const std::string &key) const { return IntegerOr(Text(key), "0"); }
    bool Flag(const std::string &key) const { return Text(key) == "1"; }

private:
    tHashTable FValues;
};

std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string TrailingStopCondition(const std::string &code, const std::string &value)
{
    return "form=1&Sh_" + code + "=on&Q" + code + "=" + UrlEncode(value);
}
} // namespace

const std::vector<std::string> &QuorixLocations()
{
    static const std::vector<std::string> locations = { "US", "Canada" };
    return locations;
}

bool TryReadReal(std::string_view text, double &value)
{
    std::string number(Trim(text));
    if (!number.empty() && number.front() == '+')
        number.erase(0, 1);
    if (number.find('.') == std::string::npos) {
        const size_t comma = number.find(',');
        if (comma != std::string::npos && number.find(',', comma + 1) == std::string::npos)
            number[comma] = '.';
    }
    if (number.empty() || number.front() == '+')
        return false;
    double result = 0;
    const char *end = number.data() + number.size();
    const auto [ptr, ec] = std::from_chars(number.data(), end, result);
    if (ec != std::errc() || ptr != end || !std::isfinite(result))
        return false;
    value = result;
    return true;
}

bool TryReadInteger(std::string_view text, int32_t &value)
{
    std::string_view number = Trim(text);
    if (!number.empty() && number.front() == '+')
        number.remove_prefix(1);
    if (number.empty() || number.front() == '+')
        return false;
    int32_t result = 0;
    const char *end = number.data() + number.size();
    const auto [ptr, ec] = std::from_chars(number.data(), end, result);
    if (ec != std::errc() || ptr != end)
        return false;
    value = result;
    return true;
}

std::string FormatReal(double value, int digits)
{
    char buffer[64];
    const auto [end, ec]
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

std::string GetQuorixSettings(const TQuorixSettings &s)
{
    const TQuorixSettings &d = Defaults;
    TSettingsWriter w;
    try {
        w.Index("PriceMoveDirection", s.PriceMoveDirection);
        w.Add("MoveType", s.MoveType == mtPercent ? "1" : "0");
        w.Real("DollarsValue", s.DollarsValue, d.DollarsValue);
        w.Real("PercentsValue", s.PercentsValue, d.PercentsValue);
        w.Flag("UseProfitTarget", s.UseProfitTarget);
        w.Real("ProfitTarget", s.ProfitTarget, d.ProfitTarget);
        w.Flag("UseStopLoss", s.UseStopLoss);
        w.Real("StopLoss", s.StopLoss, d.StopLoss);
        w.Flag("UseStopLossWiggle", s.UseStopLossWiggle);
        w.Index("ExitConditionType", s.ExitConditionType);
        w.Real("ExitConditionPercent", s.ExitConditionPercent, d.ExitConditionPercent);
        w.Real("ExitConditionBars", s.ExitConditionBars, d.ExitConditionBars);
        w.Add("ExitConditionAlert", s.ExitAlertConfig);
        w.Integer("EntryHoursStart", s.EntryHoursStart, d.EntryHoursStart);
        w.Integer("EntryMinutesStart", s.EntryMinutesStart, d.EntryMinutesStart);
        w.Integer("EntryHoursEnd", s.EntryHoursEnd, d.EntryHoursEnd);
        w.Integer("EntryMinutesEnd", s.EntryMinutesEnd, d.EntryMinutesEnd);
        w.Index("ExitTimeType", s.ExitTimeType);
        w.Integer("ExitTimeMinutesAfter", s.ExitTimeMinutesAfter, d.ExitTimeMinutesAfter);
        w.Integer("ExitTimeMinutesBefore", s.ExitTimeMinutesBefore, d.ExitTimeMinutesBefore);
        w.Integer("ExitTimeOpenDays", s.ExitTimeOpenDays, d.ExitTimeOpenDays);
        w.Integer("ExitTimeClseDays", s.ExitTimeCloseDays, d.ExitTimeCloseDays);
        w.Add("Location", s.Location);
        w.Integer("DaysToSkip", s.DaysToSkip, d.DaysToSkip);
        w.Integer("DaysOfTest", s.DaysOfTest, d.DaysOfTest);
    } catch (...) {
        // What was written so far stands.
    }
    return w.Text();
}

TQuorixSettings ParseQuorixSettings(const std::string &text)
{
    const TQuorixSettings &d = Defaults;
    const TSettingsReader r(text);
    TQuorixSettings s;
    s.PriceMoveDirection = r.Number("PriceMoveDirection") == pmDown ? pmDown : pmUp;
    s.MoveType = r.Number("MoveType") != 0 ? mtPercent : mtDollars;
    s.DollarsValue = r.Real("DollarsValue", d.DollarsValue);
    s.PercentsValue = r.Real("PercentsValue", d.PercentsValue);
    s.UseProfitTarget = r.Flag("UseProfitTarget");
    s.ProfitTarget = r.Real("ProfitTarget", d.ProfitTarget);
    s.UseStopLoss = r.Flag("UseStopLoss");
    s.StopLoss = r.Real("StopLoss", d.StopLoss);
    s.UseStopLossWiggle = r.Flag("UseStopLossWiggle");
    const int exitCondition = r.Number("ExitConditionType");
    s.ExitConditionType = exitCondition >= 1 && exitCondition <= 3 ? exitCondition : ecNone;
    s.ExitConditionPercent = r.Real("ExitConditionPercent", d.ExitConditionPercent);
    s.ExitConditionBars = r.Real("ExitConditionBars", d.ExitConditionBars);
    s.ExitAlertConfig = r.Text("ExitConditionAlert");
    // "Another alert" needs an alert setup.
    if (s.ExitAlertConfig.empty() && s.ExitConditionType == ecAnotherAlert)
        s.ExitConditionType = ecNone;
    s.EntryHoursStart = r.Integer("EntryHoursStart", d.EntryHoursStart);
    s.EntryMinutesStart = r.Integer("EntryMinutesStart", d.EntryMinutesStart);
    s.EntryHoursEnd = r.Integer("EntryHoursEnd", d.EntryHoursEnd);
    s.EntryMinutesEnd = r.Integer("EntryMinutesEnd", d.EntryMinutesEnd);
    const int exitTime = r.Number("ExitTimeType");
    s.ExitTimeType = exitTime >= 1 && exitTime <= 3 ? exitTime : etMinutesAfter;
    s.ExitTimeMinutesAfter = r.Integer("ExitTimeMinutesAfter", d.ExitTimeMinutesAfter);
    s.ExitTimeMinutesBefore = r.Integer("ExitTimeMinutesBefore", d.ExitTimeMinutesBefore);
    s.ExitTimeOpenDays = r.Integer("ExitTimeOpenDays", d.ExitTimeOpenDays);
    s.ExitTimeCloseDays = r.Integer("ExitTimeClseDays", d.ExitTimeCloseDays);
    s.Location = QuorixLocations().front();
    for (const auto &location : QuorixLocations())
        if (Lower(location) == Lower(r.Text("Location")))
            s.Location = location;
    s.DaysToSkip = r.Integer("DaysToSkip", d.DaysToSkip);
    s.DaysOfTest = r.Integer("DaysOfTest", d.DaysOfTest);
    return s;
}

TMessageToServer BuildQuorixRequest(const TQuorixSettings &s, const std::string &entryCondition,
    const std::string &windowId, bool showDebug)
{
    static const char *const TimeoutTypes[] = { "minutes", "close", "open", "future_close" };
    const bool up = s.PriceMoveDirection != pmDown;
    const bool percent = s.MoveType == mtPercent;
    std::string exitType = "none", exitCondition;
    if (s.ExitConditionType == ecPercentTrailing) {
        exitType = "auto";
        exitCondition = TrailingStopCondition(up ? "TSPD" : "TSPU", s.ExitConditionPercent);
    } else if (s.ExitConditionType == ecBarsTrailing) {
        exitType = "auto";
        exitCondition = TrailingStopCondition(up ? "TSVD" : "TSVU", s.ExitConditionBars);
    } else if (s.ExitConditionType == ecAnotherAlert && !s.ExitAlertConfig.empty()) {
        exitType = "manual";
        exitCondition = s.ExitAlertConfig;
    }
    auto minutes = [](const std::string &hours, const std::string &mins) {
        int32_t h = 0, m = 0;
        TryReadInteger(hours, h);
        TryReadInteger(mins, m);
        return std::to_string(int64_t(60) * h + m);
    };
    const int timeout = s.ExitTimeType >= 0 && s.ExitTimeType <= 3 ? s.ExitTimeType : 0;
    return {
        { "command", "quorix_new_request" },
        { "entry_condition", entryCondition },
        { "success_direction", up ? "+" : "-" },
        { "success_type", percent ? "%" : "$" },
        { "success_min_move", percent ? s.PercentsValue : s.DollarsValue },
        { "timeout_type", TimeoutTypes[timeout] },
        { "timeout_minutes", s.ExitTimeMinutesAfter },
        { "before_close_minutes", s.ExitTimeMinutesBefore },
        { "at_open_days", s.ExitTimeOpenDays },
        { "at_close_days", s.ExitTimeCloseDays },
        { "profit_target", s.UseProfitTarget ? s.ProfitTarget : "" },
        { "stop_loss", s.UseStopLoss ? s.StopLoss : "" },
        { "stop_loss_wiggle", s.UseStopLoss && s.UseStopLossWiggle ? "1" : "" },
        { "exit_condition_type", exitType },
        { "exit_condition", exitCondition },
        { "entry_time_start", minutes(s.EntryHoursStart, s.EntryMinutesStart) },
        { "entry_time_end", minutes(s.EntryHoursEnd, s.EntryMinutesEnd) },
        { "days_of_test", s.DaysOfTest },
        { "days_to_skip", s.DaysToSkip },
        { "location", s.Location },
        { "show_debug_info", showDebug ? "1" : "0" },
        { "wording", BacktestWording() },
        { "window_id", windowId },
    };
}

std::string ProfitTargetCaption(int direction)
{
    return direction == pmDown ? "Buy if the price moves down" : "Sell if the price moves up";
}

std::string StopLossCaption(int direction)
{
    return direction == pmDown ? "Buy if the price moves up" : "Sell if the price moves down";
}

} // namespace kestrova
