#pragma once
// The backtests of one connection: quorix_listen (the standing request their messages go to),
// quorix_new_request and quorix_cancel_request. A run examines one past day each time the
// server's clock has moved on by TServerOptions::BacktestDayMs, sending a progress message per
// day (and a debug message when asked), then the results as rich text and "finished". A new
// request for a window replaces that window's run; cancelling, withdrawing the window and
// closing the connection stop it without a word. A request that cannot run gets its reason as
// a progress message, then "finished". Free of sockets; the session feeds and ticks it.

#include "BacktestRun.h"
#include "ServerState.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kestrova::alertd {

// Days examined in one tick at most, shared by the runs, so that a long run with no delay per
// day still leaves the server time for its other connections.
constexpr size_t MaxBacktestDaysPerTick = 25;
// Messages kept for a listen that has not arrived yet; older ones are dropped.
constexpr size_t MaxHeldBacktestMessages = 1000;

class TBacktests
{
public:
    // reply(id, body) sends a frame; resolveLists fills a filter's symbols from the account.
    TBacktests(TServerState &state, std::function<void(int32_t, const std::string &)> reply,
        std::function<void(TWindowFilter &)> resolveLists);

    // The standing request the messages go to; messages held until now are sent.
    void Listen(int32_t id);
    // Starts (or restarts) the run of the request's window. refusal: non-empty when the
    // connection may not run backtests (not logged in); it is the error sent.
    void NewRequest(const TMessageToServer &request, const std::string &refusal = {});
    // Stops the window's run, if any, silently.
    void Cancel(const std::string &windowId);
    // Runs the days that are due.
    void Tick();

    size_t Running() const { return FRuns.size(); }
    bool IsRunning(const std::string &windowId) const { return FRuns.count(windowId) > 0; }

private:
    struct TRun
    {
        TBacktestParams Params;
        std::vector<int64_t> Days; // opening times, oldest first
        size_t Next = 0;
        int64_t StartMs = 0;
        TBacktestTotals Totals;
    };

    void Message(const std::string &windowId, const char *type, const std::string &text);
    // Examines the run's next day; false when the run has ended (and was removed).
    bool RunDay(const std::string &windowId, TRun &run);

    TServerState &FState;
    std::function<void(int32_t, const std::string &)> FReply;
    std::function<void(TWindowFilter &)> FResolveLists;
    int32_t FListenId = 0;
    std::vector<std::string> FHeld;
    std::map<std::string, TRun> FRuns;
};

} // namespace kestrova::alertd
