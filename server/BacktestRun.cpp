#include "BacktestRun.h"

#include "AlertCatalogue.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <map>

namespace kestrova::alertd {

namespace {
std::string Value(const TMessageToServer &request, const std::string &key)
{
    for (const auto &field : request)
        if (field.Key == key)
            return field.Value;
    return {};
}

bool ReadInteger(const std::string &text, int lo, int hi, int &value)
{
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && value >= lo
        && value <= hi;
}

bool ReadReal(const std::string &text, double lo, double hi, double &value)
{
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size()
        && std::isfinite(value) && value >= lo && value <= hi;
}

// Collects the first complaint about a request.
class TChecker
{
public:
    explicit TChecker(const TMessageToServer &request)
        : FRequest(request)
    {
    }
    void Integer(const char *key, const char *what, int lo, int hi, int &value)
    {
        const std::string text = Value(FRequest, key);
        if (!ReadInteger(text, lo, hi, value))
            Fail(std::string("Invalid ") + what + ": \"" + text + "\" (" + std::to_string(lo)
                + " to " + std::to_string(hi) + ").");
    }
    // An empty text leaves value as it is (NaN: not used).
    void OptionalReal(const char *key, const char *what, double &value)
    {
        const std::string text = Value(FRequest, key);
        if (!text.empty() && !ReadReal(text, 0, 1e6, value))
            Fail(std::string("Invalid ") + what + ": \"" + text + "\".");
    }
    void Filter(const std::string &text, const char *what, TWindowFilter &filter)
    {
        TParsedConfig parsed = ParseDataConfig(text);
        if (!parsed.Ok)
            Fail(std::string(what) + ": " + parsed.Error);
        filter = std::move(parsed.Filter);
    }
    void Fail(const std::string &error)
    {
        if (FError.empty())
            FError = error;
    }
    const std::string &Error() const { return FError; }

private:
    const TMessageToServer &FRequest;
    std::string FError;
};

// The trailing stop of an "auto" exit: "form=1&Sh_<code>=on&Q<code>=<value>".
void ReadTrailingStop(const std::string &condition, TBacktestParams &p, TChecker &check)
{
    static const std::pair<const char *, TExitKind> codes[]
        = { { "TSPD", TExitKind::PercentTrailing }, { "TSPU", TExitKind::PercentTrailing },
              { "TSVD", TExitKind::BarsTrailing }, { "TSVU", TExitKind::BarsTrailing } };
    size_t pos = 0;
    while (pos <= condition.size()) {
        size_t amp = condition.find('&', pos);
        if (amp == std::string::npos)
            amp = condition.size();
        const std::string piece = condition.substr(pos, amp - pos);
        pos = amp + 1;
        const size_t eq = piece.find('=');
        if (eq == std::string::npos || piece[0] != 'Q')
            continue;
        for (const auto &[code, kind] : codes)
            if (piece.substr(1, eq - 1) == code) {
                const std::string value = UrlDecode(piece.substr(eq + 1), true);
                if (!ReadReal(value, 0.0001, 1000, p.TrailingValue))
                    check.Fail("Invalid trailing stop: \"" + value + "\".");
                p.Exit = kind;
                return;
            }
    }
    check.Fail("Unrecognized exit condition \"" + condition + "\".");
}

std::string DateText(int64_t unixSeconds, const char *pattern = "%Y-%m-%d")
{
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm {};
    localtime_r(&t, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, pattern, &tm);
    return buffer;
}

std::string Format(const char *pattern, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

std::string MoveText(double move, bool percent)
{
    return Format(percent ? "%+.2f%%" : "%+.2f $", move);
}

// Follows one trade from its entry alert to its exit.
class TTradeWalk
{
public:
    TTradeWalk(const TMarket &market, const TBacktestParams &p, const TAlert &alert)
        : FP(p)
        , FDir(p.Long ? 1 : -1)
        , FEntry(alert.Price)
        , FPrice(alert.Price)
        , FVolatility(market.Symbols()[alert.Symbol].Volatility)
        , FSigma(FVolatility / std::sqrt(15.0))
        , FRandom(MixSeed(static_cast<uint64_t>(alert.Id), static_cast<uint64_t>(alert.UnixTime)))
    {
        // The alert's own direction carries on a little.
        const TDirection d = AlertTypes()[alert.Type].Direction;
        FDrift = d == TDirection::Up ? 0.03 * FSigma : d == TDirection::Down ? -0.03 * FSigma : 0;
        const double inf = std::numeric_limits<double>::infinity();
        FTarget = std::isnan(p.ProfitTarget) ? inf : Amount(p.ProfitTarget);
        FStop
            = std::isnan(p.StopLoss) ? inf : Amount(p.StopLoss) + (p.Wiggle ? FVolatility / 4 : 0);
    }

    // Moves the price by `minutes` of trading; true when the trade ends there.
    bool Step(double minutes)
    {
        FPrice = std::max(
            0.01, FPrice + FDrift * minutes + FSigma * std::sqrt(minutes) * FRandom.Gaussian());
        const double gain = (FPrice - FEntry) * FDir;
        FBest = std::max(FBest, gain);
        if (gain >= FTarget)
            return End("profit target");
        if (-gain >= FStop)
            return End("stop loss");
        if (FP.Exit == TExitKind::PercentTrailing || FP.Exit == TExitKind::BarsTrailing) {
            const double distance = FP.Exit == TExitKind::PercentTrailing
                ? (FEntry + FBest * FDir) * FP.TrailingValue / 100
                : FVolatility * FP.TrailingValue;
            if (FBest - gain >= distance)
                return End("trailing stop");
        }
        return false;
    }
    bool End(const char *reason)
    {
        FReason = reason;
        return true;
    }
    TTrade Result(int symbol, int64_t entryUnix) const
    {
        TTrade trade;
        trade.Symbol = symbol;
        trade.EntryUnix = entryUnix;
        trade.Entry = FEntry;
        trade.Exit = std::round(FPrice * 100) / 100;
        const double gain = (trade.Exit - FEntry) * FDir;
        trade.Move = FP.Percent ? gain / FEntry * 100 : gain;
        trade.Success = trade.Move >= FP.MinMove - 1e-9;
        trade.Reason = FReason.empty() ? "time" : FReason;
        return trade;
    }

private:
    double Amount(double value) const { return FP.Percent ? FEntry * value / 100 : value; }

    const TBacktestParams &FP;
    int FDir;
    double FEntry, FPrice, FVolatility, FSigma, FDrift = 0;
    double FTarget, FStop, FBest = 0;
    TRandom FRandom;
    std::string FReason;
};

TTrade SimulateTrade(const TMarket &market, const TBacktestParams &p, const TAlert &alert,
    int64_t openUnix, const std::vector<int64_t> &exitAlerts)
{
    TTradeWalk walk(market, p, alert);
    const int entryMinute = static_cast<int>((alert.UnixTime - openUnix) / 60);
    int lastMinute = SessionMinutes;
    if (p.Timeout == TTimeoutKind::Minutes)
        lastMinute = std::min(SessionMinutes, entryMinute + p.TimeoutValue);
    else if (p.Timeout == TTimeoutKind::BeforeClose)
        lastMinute = std::max(entryMinute, SessionMinutes - p.TimeoutValue);
    auto exitAlert = exitAlerts.begin();
    for (int minute = entryMinute + 1; minute <= lastMinute; ++minute) {
        if (walk.Step(1))
            return walk.Result(alert.Symbol, alert.UnixTime);
        const int64_t now = openUnix + int64_t(minute) * 60;
        while (exitAlert != exitAlerts.end() && *exitAlert <= alert.UnixTime)
            ++exitAlert;
        if (exitAlert != exitAlerts.end() && *exitAlert <= now) {
            walk.End("exit alert");
            return walk.Result(alert.Symbol, alert.UnixTime);
        }
    }
    // Later days: the night's gap (about an hour's move), then the session in half hours.
    const bool multiDay = p.Timeout == TTimeoutKind::AtOpen || p.Timeout == TTimeoutKind::AtClose;
    for (int day = 1; multiDay && day <= p.TimeoutValue; ++day) {
        if (walk.Step(60) || (p.Timeout == TTimeoutKind::AtOpen && day == p.TimeoutValue))
            break;
        bool ended = false;
        for (int half = 0; half < SessionMinutes / 30 && !ended; ++half)
            ended = walk.Step(30);
        if (ended)
            break;
    }
    return walk.Result(alert.Symbol, alert.UnixTime);
}
} // namespace

TParsedBacktest ParseBacktestRequest(const TMessageToServer &request)
{
    TParsedBacktest result;
    TBacktestParams &p = result.Params;
    TChecker check(request);
    p.WindowId = Value(request, "window_id");
    check.Filter(Value(request, "entry_condition"), "Entry condition", p.Entry);

    const std::string direction = Value(request, "success_direction");
    if (direction != "+" && direction != "-")
        check.Fail("Invalid direction \"" + direction + "\" (\"+\" or \"-\").");
    p.Long = direction != "-";
    const std::string type = Value(request, "success_type");
    if (type != "$" && type != "%")
        check.Fail("Invalid move type \"" + type + "\" (\"$\" or \"%\").");
    p.Percent = type == "%";
    p.MinMove = NoValue;
    check.OptionalReal("success_min_move", "minimum move", p.MinMove);
    if (std::isnan(p.MinMove))
        check.Fail("The minimum move is missing.");

    const std::string timeout = Value(request, "timeout_type");
    if (timeout == "minutes") {
        p.Timeout = TTimeoutKind::Minutes;
        check.Integer("timeout_minutes", "minutes after entry", 1, SessionMinutes, p.TimeoutValue);
    } else if (timeout == "close") {
        p.Timeout = TTimeoutKind::BeforeClose;
        check.Integer("before_close_minutes", "minutes before the close", 0, SessionMinutes - 1,
            p.TimeoutValue);
    } else if (timeout == "open") {
        p.Timeout = TTimeoutKind::AtOpen;
        check.Integer("at_open_days", "days to the exit at the open", 1, 20, p.TimeoutValue);
    } else if (timeout == "future_close") {
        p.Timeout = TTimeoutKind::AtClose;
        check.Integer("at_close_days", "days to the exit at the close", 0, 20, p.TimeoutValue);
    } else {
        check.Fail("Invalid exit time \"" + timeout + "\".");
    }
    check.OptionalReal("profit_target", "profit target", p.ProfitTarget);
    check.OptionalReal("stop_loss", "stop loss", p.StopLoss);
    p.Wiggle = Value(request, "stop_loss_wiggle") == "1";

    const std::string exitType = Value(request, "exit_condition_type");
    const std::string exitCondition = Value(request, "exit_condition");
    if (exitType == "auto") {
        ReadTrailingStop(exitCondition, p, check);
    } else if (exitType == "manual") {
        p.Exit = TExitKind::Alert;
        check.Filter(exitCondition, "Exit condition", p.ExitAlert);
    } else if (exitType != "none") {
        check.Fail("Invalid exit condition type \"" + exitType + "\".");
    }

    check.Integer("entry_time_start", "entry start", 0, SessionMinutes - 1, p.EntryStart);
    check.Integer("entry_time_end", "entry end", 0, SessionMinutes - 1, p.EntryEnd);
    if (check.Error().empty() && p.EntryStart + p.EntryEnd >= SessionMinutes)
        check.Fail("The entry time leaves no time to enter.");
    check.Integer("days_of_test", "number of days to test", 1, MaxBacktestDays, p.DaysOfTest);
    check.Integer("days_to_skip", "number of days to skip", 0, MaxBacktestDays - 1, p.DaysToSkip);
    if (check.Error().empty() && p.DaysOfTest + p.DaysToSkip > MaxBacktestDays)
        check.Fail("The server keeps " + std::to_string(MaxBacktestDays)
            + " trading days of history; skipped and tested days must fit in them.");
    p.Location = Value(request, "location");
    std::string location = p.Location;
    std::transform(location.begin(), location.end(), location.begin(),
        [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (location != "us" && location != "canada")
        check.Fail("Unknown location \"" + p.Location + "\".");
    p.Debug = Value(request, "show_debug_info") == "1";
    result.Error = check.Error();
    return result;
}

std::vector<int64_t> BacktestDays(int64_t nowUnix, int skip, int test)
{
    const std::time_t now = static_cast<std::time_t>(nowUnix);
    std::tm today {};
    localtime_r(&now, &today);
    std::vector<int64_t> days;
    int weekdays = 0;
    for (int back = 1; weekdays < skip + test; ++back) {
        std::tm day {};
        day.tm_year = today.tm_year;
        day.tm_mon = today.tm_mon;
        day.tm_mday = today.tm_mday - back;
        day.tm_hour = SessionOpenMinute / 60;
        day.tm_min = SessionOpenMinute % 60;
        day.tm_isdst = -1;
        const std::time_t open = std::mktime(&day); // also fills in the weekday
        if (day.tm_wday == 0 || day.tm_wday == 6)
            continue;
        if (++weekdays > skip)
            days.push_back(static_cast<int64_t>(open));
    }
    std::reverse(days.begin(), days.end());
    return days;
}

std::vector<TTrade> RunBacktestDay(
    const TMarket &market, const TBacktestParams &p, int64_t openUnix)
{
    std::vector<const TAlert *> entries;
    std::map<int, std::vector<int64_t>> exitAlerts; // by symbol, in time order
    std::vector<bool> entered(market.Symbols().size(), false);
    std::vector<std::vector<TAlert>> minutes(SessionMinutes);
    for (int m = 0; m < SessionMinutes; ++m) {
        minutes[m] = market.MinuteHistory(openUnix / 60 + m);
        for (const TAlert &alert : minutes[m]) {
            if (p.Exit == TExitKind::Alert && Matches(p.ExitAlert, alert, market))
                exitAlerts[alert.Symbol].push_back(alert.UnixTime);
            if (m >= p.EntryStart && m < SessionMinutes - p.EntryEnd
                && static_cast<int>(entries.size()) < MaxTradesPerDay && !entered[alert.Symbol]
                && Matches(p.Entry, alert, market)) {
                entered[alert.Symbol] = true;
                entries.push_back(&alert);
            }
        }
    }
    static const std::vector<int64_t> none;
    std::vector<TTrade> trades;
    for (const TAlert *alert : entries) {
        const auto found = exitAlerts.find(alert->Symbol);
        trades.push_back(SimulateTrade(
            market, p, *alert, openUnix, found == exitAlerts.end() ? none : found->second));
    }
    return trades;
}

void TBacktestTotals::Add(const std::vector<TTrade> &trades)
{
    ++Days;
    for (const TTrade &trade : trades) {
        ++Trades;
        Successes += trade.Success ? 1 : 0;
        MoveSum += trade.Move;
        auto exit = std::find_if(Exits.begin(), Exits.end(),
            [&](const auto &entry) { return entry.first == trade.Reason; });
        if (exit == Exits.end())
            Exits.emplace_back(trade.Reason, 1);
        else
            ++exit->second;
    }
}

std::string BacktestProgressText(int day, int days, int64_t openUnix, const TBacktestTotals &totals)
{
    std::string text = "Day " + std::to_string(day) + " of " + std::to_string(days) + " ("
        + DateText(openUnix) + "): ";
    if (totals.Trades == 0)
        return text + "no trades so far.";
    return text + std::to_string(totals.Trades) + " trades, "
        + Format("%.0f", 100.0 * totals.Successes / totals.Trades) + "% successful so far.";
}

std::string BacktestDebugText(const TMarket &market, const TBacktestParams &p, int64_t openUnix,
    const std::vector<TTrade> &trades)
{
    constexpr size_t MaxLines = 20;
    std::string text = DateText(openUnix) + ": " + std::to_string(trades.size()) + " trades";
    for (size_t i = 0; i < trades.size() && i < MaxLines; ++i) {
        const TTrade &t = trades[i];
        text += "\r\n" + DateText(t.EntryUnix, "%H:%M:%S") + " " + market.SymbolName(t.Symbol)
            + (p.Long ? " long at " : " short at ") + Format("%.2f", t.Entry) + ", out at "
            + Format("%.2f", t.Exit) + " (" + t.Reason + "): " + MoveText(t.Move, p.Percent)
            + (t.Success ? ", success" : ", failure");
    }
    if (trades.size() > MaxLines)
        text += "\r\n... and " + std::to_string(trades.size() - MaxLines) + " more";
    return text;
}

std::string BacktestResultsRtf(const TBacktestParams &p, const TBacktestTotals &totals,
    int64_t firstOpenUnix, int64_t lastOpenUnix)
{
    std::string rtf = "{\\rtf1\\ansi{\\colortbl;\\red0\\green128\\blue0;\\red192\\green0\\blue0;}"
                      "\\b Backtest results\\b0\\par ";
    rtf += std::to_string(totals.Days) + " trading days from " + DateText(firstOpenUnix) + " to "
        + DateText(lastOpenUnix) + ", " + (p.Location == "Canada" ? "Canada" : "US") + ", "
        + (p.Long ? "moves up" : "moves down") + " by at least "
        + (p.Percent ? Format("%g%%", p.MinMove) : Format("%g $", p.MinMove)) + ".\\par ";
    if (totals.Trades == 0)
        return rtf + "No alert of this strategy came within the entry time on these days.\\par }";
    const int failures = totals.Trades - totals.Successes;
    rtf += "Trades: " + std::to_string(totals.Trades) + "\\par ";
    rtf += "\\cf1 Successful: " + std::to_string(totals.Successes) + " ("
        + Format("%.1f", 100.0 * totals.Successes / totals.Trades) + "%)\\cf0\\par ";
    rtf += "\\cf2 Unsuccessful: " + std::to_string(failures) + " ("
        + Format("%.1f", 100.0 * failures / totals.Trades) + "%)\\cf0\\par ";
    rtf += "Average move: " + MoveText(totals.MoveSum / totals.Trades, p.Percent) + "\\par ";
    rtf += "Exits:";
    for (size_t i = 0; i < totals.Exits.size(); ++i)
        rtf += (i ? ", " : " ") + std::to_string(totals.Exits[i].second) + " "
            + totals.Exits[i].first;
    return rtf + ".\\par }";
}

} // namespace kestrova::alertd
