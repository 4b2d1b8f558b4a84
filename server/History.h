#pragma once
// Alert history of one window: the matching alerts of a time range, newest first, cut into
// messages. Alerts since the server started come from the live log; older ones are regenerated
// per minute from the simulated market. A continuation token ("L<id>" or "H<id>") says where
// the next request goes on.

#include "AlertLog.h"
#include "DataConfig.h"

#include <string>
#include <vector>

namespace kestrova::alertd {

struct THistoryRequest
{
    int64_t StartUnix = 0; // 0: no lower bound (down to the simulated depth)
    int64_t EndUnix = 0; // 0: now
    int MaxCount = 100; // alerts per message; <= 0 means the default
    std::string StartId; // continuation token of an earlier request
};

struct THistoryMessage
{
    std::vector<TAlert> Alerts;
    std::string Restart; // empty: nothing older is left
};

constexpr int HistoryDays = 5;
constexpr int HistoryMessagesPerRequest = 10;
constexpr int DefaultHistoryCount = 100;
constexpr int MaxHistoryCount = 2000;

// At least one message; the last one's Restart is empty when the range is exhausted.
std::vector<THistoryMessage> CollectHistory(const TMarket &market, const TAlertLog &log,
    const TWindowFilter &filter, const THistoryRequest &request, int64_t nowUnix,
    int maxMessages = HistoryMessagesPerRequest);

// Reads a request time: Unix seconds, or "yyyy-mm-dd hh:mm:ss" in server-local time. Empty,
// "0" and unreadable text give 0.
int64_t ParseRequestTime(const std::string &text);

// "yyyy-mm-dd hh:mm:ss" of a Unix time in server-local time.
std::string LocalTimeText(int64_t unixSeconds);

} // namespace kestrova::alertd
