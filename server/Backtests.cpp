#include "Backtests.h"

#include "ReplyXml.h"

#include <algorithm>

namespace kestrova::alertd {

TBacktests::TBacktests(TServerState &state, std::function<void(int32_t, const std::string &)> reply,
    std::function<void(TWindowFilter &)> resolveLists)
    : FState(state)
    , FReply(std::move(reply))
    , FResolveLists(std::move(resolveLists))
{
}

void TBacktests::Listen(int32_t id)
{
    FListenId = id;
    if (!id)
        return;
    std::vector<std::string> held;
    held.swap(FHeld);
    for (const auto &body : held)
        FReply(FListenId, body);
}

void TBacktests::Message(const std::string &windowId, const char *type, const std::string &text)
{
    TXmlWriter xml;
    xml.Open("API").Open("MESSAGE").Attr("WINDOW", windowId).Attr("TYPE", type);
    if (!text.empty())
        xml.Text(text);
    std::string body = xml.Finish();
    if (FListenId) {
        FReply(FListenId, body);
        return;
    }
    if (FHeld.size() == MaxHeldBacktestMessages)
        FHeld.erase(FHeld.begin());
    FHeld.push_back(std::move(body));
}

void TBacktests::NewRequest(const TMessageToServer &request, const std::string &refusal)
{
    TParsedBacktest parsed = ParseBacktestRequest(request);
    TBacktestParams &params = parsed.Params;
    if (params.WindowId.empty()) {
        FState.Info("backtest without a window id ignored");
        return;
    }
    // Whatever this request brings, the window's earlier run is over.
    FRuns.erase(params.WindowId);
    const std::string error = refusal.empty() ? parsed.Error : refusal;
    if (!error.empty()) {
        FState.Info("backtest for window " + params.WindowId + " refused: " + error);
        Message(params.WindowId, "progress", "Backtest error: " + error);
        Message(params.WindowId, "finished", "");
        return;
    }
    if (FResolveLists) {
        FResolveLists(params.Entry);
        FResolveLists(params.ExitAlert);
    }
    TRun run;
    run.Days = BacktestDays(FState.NowMs() / 1000, params.DaysToSkip, params.DaysOfTest);
    run.StartMs = FState.NowMs();
    run.Params = std::move(params);
    const std::string windowId = run.Params.WindowId;
    FState.Info(
        "backtest for window " + windowId + ": " + std::to_string(run.Days.size()) + " days");
    FRuns[windowId] = std::move(run);
    Message(windowId, "progress",
        "Examining " + std::to_string(FRuns[windowId].Days.size()) + " trading days.");
}

void TBacktests::Cancel(const std::string &windowId)
{
    if (FRuns.erase(windowId))
        FState.Info("backtest for window " + windowId + " stopped");
}

bool TBacktests::RunDay(const std::string &windowId, TRun &run)
{
    const TMarket &market = FState.Market();
    const int64_t open = run.Days[run.Next];
    const std::vector<TTrade> trades = RunBacktestDay(market, run.Params, open);
    run.Totals.Add(trades);
    ++run.Next;
    Message(windowId, "progress",
        BacktestProgressText(
            static_cast<int>(run.Next), static_cast<int>(run.Days.size()), open, run.Totals));
    if (run.Params.Debug)
        Message(windowId, "debug", BacktestDebugText(market, run.Params, open, trades));
    if (run.Next < run.Days.size())
        return true;
    Message(windowId, "progress",
        BacktestResultsRtf(run.Params, run.Totals, run.Days.front(), run.Days.back()));
    Message(windowId, "finished", "");
    FState.Info("backtest for window " + windowId
        + " finished: " + std::to_string(run.Totals.Trades) + " trades");
    FRuns.erase(windowId);
    return false;
}

void TBacktests::Tick()
{
    const int64_t now = FState.NowMs();
    const int64_t dayMs = FState.Options().BacktestDayMs;
    // Each run gets its share of the tick's days.
    const size_t share
        = std::max<size_t>(1, MaxBacktestDaysPerTick / std::max<size_t>(1, FRuns.size()));
    for (auto it = FRuns.begin(); it != FRuns.end();) {
        const std::string windowId = it->first;
        TRun &run = it->second;
        bool running = true;
        size_t budget = share;
        while (budget > 0 && running
            && now - run.StartMs >= dayMs * static_cast<int64_t>(run.Next + 1)) {
            --budget;
            running = RunDay(windowId, run);
        }
        it = running ? std::next(it) : FRuns.upper_bound(windowId);
    }
}

} // namespace kestrova::alertd
