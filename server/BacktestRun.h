#pragma once
// One backtest, free of sockets and clocks: the checked quorix_new_request, the past trading
// days it examines, the simulated trades of one day, and the texts sent back (progress, debug,
// results as rich text). A trade enters on a matching alert of the market's regenerated past
// (any past minute can be rebuilt; daily closes reach back TMarket::ChartDays) and follows a
// random walk seeded by the alert, so a run is the same every time for the same request.

#include "DataConfig.h"
#include "Market.h"
#include "link/Messages.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::alertd {

// Trading days a backtest may reach back (skipped plus examined).
constexpr int MaxBacktestDays = 250;
// Entries taken per examined day, at most (the first matching alert of each symbol).
constexpr int MaxTradesPerDay = 100;
// The session in server-local time: 09:30 to 16:00, Monday to Friday.
constexpr int SessionOpenMinute = 9 * 60 + 30;
constexpr int SessionMinutes = 390;

enum class TTimeoutKind { Minutes, BeforeClose, AtOpen, AtClose };
enum class TExitKind { None, PercentTrailing, BarsTrailing, Alert };

struct TBacktestParams
{
    std::string WindowId;
    TWindowFilter Entry;
    bool Long = true; // success_direction "+": a successful move is up
    bool Percent = false; // success_type "%": moves, targets and stops in percent
    double MinMove = 0;
    TTimeoutKind Timeout = TTimeoutKind::Minutes;
    int TimeoutValue = 30; // minutes, minutes before the close, or days, by Timeout
    double ProfitTarget = NoValue; // NaN: none
    double StopLoss = NoValue;
    bool Wiggle = false; // the stop loss allows the symbol's usual noise on top
    TExitKind Exit = TExitKind::None;
    double TrailingValue = 0; // percent, or multiples of the symbol's 15-minute move
    TWindowFilter ExitAlert;
    int EntryStart = 30; // minutes after the open
    int EntryEnd = 0; // minutes before the close
    int DaysOfTest = 15;
    int DaysToSkip = 0;
    std::string Location = "US";
    bool Debug = false;
};

struct TParsedBacktest
{
    TBacktestParams Params;
    std::string Error; // non-empty: the request is unusable; the text tells the user why
};

// Checks every value the run uses. Symbol lists of the filters are left for the caller.
TParsedBacktest ParseBacktestRequest(const TMessageToServer &request);

// The opening times (Unix seconds) of the examined days, oldest first: the weekdays before the
// one holding nowUnix, the newest `skip` of them left out.
std::vector<int64_t> BacktestDays(int64_t nowUnix, int skip, int test);

struct TTrade
{
    int Symbol = 0;
    int64_t EntryUnix = 0;
    double Entry = 0, Exit = 0;
    double Move = 0; // in the success direction, $ or % by the request
    bool Success = false;
    std::string Reason; // "profit target", "stop loss", "trailing stop", "exit alert", "time"
};

// The trades entered on the day that opens at openUnix.
std::vector<TTrade> RunBacktestDay(
    const TMarket &market, const TBacktestParams &params, int64_t openUnix);

struct TBacktestTotals
{
    int Days = 0;
    int Trades = 0;
    int Successes = 0;
    double MoveSum = 0;
    std::vector<std::pair<std::string, int>> Exits; // by reason, in order of first use
    void Add(const std::vector<TTrade> &trades);
};

std::string BacktestProgressText(
    int day, int days, int64_t openUnix, const TBacktestTotals &totals);
std::string BacktestDebugText(const TMarket &market, const TBacktestParams &params,
    int64_t openUnix, const std::vector<TTrade> &trades);
// The results as rich text (a colour table, bold title, one paragraph per line).
std::string BacktestResultsRtf(const TBacktestParams &params, const TBacktestTotals &totals,
    int64_t firstOpenUnix, int64_t lastOpenUnix);

} // namespace kestrova::alertd
