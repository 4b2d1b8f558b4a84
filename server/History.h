#pragma once
// Alert history of one window: the matching alerts of a time range, newest first, up to the
// request's count, cut into messages. Alerts since the server started come from the live log;
// older ones are regenerated per minute from the simulated market. A continuation token
// ("L<id>" or "H<id>") says where the next request goes on.

#include "AlertLog.h"
#include "DataConfig.h"

#include <string>
#include <vector>

namespace kestrova::alertd {

// One request's range. The newest bound comes first, as the client asks: it reads back from
// "now" (or a chosen time) to the oldest alert it wants.
struct THistoryRequest
{
    int64_t NewestUnix = 0; // long_history_start_time; 0: now
    int64_t OldestUnix = 0; // long_history_end_time; 0: down to the simulated depth
    int MaxCount = 0; // alerts for the whole request; <= 0 means the default
    std::string StartId; // continuation token of an earlier request
};

struct THistoryMessage
{
    std::vector<TAlert> Alerts;
    std::string Restart; // continues after this message's last alert; empty: nothing is left
};

constexpr int HistoryDays = 5;
constexpr int DefaultHistoryCount = 100;
constexpr int MaxHistoryCount = 20000; // per request, whatever the client asks
constexpr int HistoryAlertsPerMessage = 500;

// At most MaxCount alerts, newest first, in messages of at most perMessage; at least one
// message. The last one's Restart is empty when the range is exhausted.
std::vector<THistoryMessage> CollectHistory(const TMarket &market, const TAlertLog &log,
    const TWindowFilter &filter, const THistoryRequest &request, int64_t nowUnix,
    int perMessage = HistoryAlertsPerMessage);

// Reads a request time: Unix seconds, or "yyyy-mm-dd hh:mm:ss" in server-local time. Empty,
// "0" and unreadable text give 0.
int64_t ParseRequestTime(const std::string &text);

// "yyyy-mm-dd hh:mm:ss" of a Unix time in server-local time.
std::string LocalTimeText(int64_t unixSeconds);

} // namespace kestrova::alertd
