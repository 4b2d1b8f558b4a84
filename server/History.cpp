#include "History.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace kestrova::alertd {

namespace {
// Walks candidate alerts newest first and fills messages, up to the request's count.
class TCollector
{
public:
    TCollector(const TMarket &market, const TWindowFilter &filter, int maxCount, int perMessage)
        : FMarket(market)
        , FFilter(filter)
        , FMaxCount(maxCount)
        , FPerMessage(perMessage)
    {
        FMessages.emplace_back();
    }

    // False once the count is reached: this alert is the first of the next request.
    bool Offer(const TAlert &alert, const std::string &token)
    {
        if (!Matches(FFilter, alert, FMarket))
            return true;
        if (FCount == FMaxCount)
            return false;
        if (static_cast<int>(FMessages.back().Alerts.size()) == FPerMessage) {
            FMessages.back().Restart = FLastToken;
            FMessages.emplace_back();
        }
        FMessages.back().Alerts.push_back(alert);
        FLastToken = token;
        ++FCount;
        return true;
    }
    // More is left: the next request continues after the last alert sent.
    std::vector<THistoryMessage> Cut()
    {
        FMessages.back().Restart = FLastToken;
        return std::move(FMessages);
    }
    std::vector<THistoryMessage> Exhausted()
    {
        FMessages.back().Restart.clear();
        return std::move(FMessages);
    }

private:
    const TMarket &FMarket;
    const TWindowFilter &FFilter;
    int FMaxCount, FPerMessage;
    int FCount = 0;
    std::vector<THistoryMessage> FMessages;
    std::string FLastToken;
};
} // namespace

std::vector<THistoryMessage> CollectHistory(const TMarket &market, const TAlertLog &log,
    const TWindowFilter &filter, const THistoryRequest &request, int64_t nowUnix, int perMessage)
{
    const int maxCount
        = std::min(request.MaxCount > 0 ? request.MaxCount : DefaultHistoryCount, MaxHistoryCount);
    TCollector collector(market, filter, maxCount, std::max(1, perMessage));
    const int64_t newest = request.NewestUnix > 0 ? std::min(request.NewestUnix, nowUnix) : nowUnix;
    const int64_t floor = nowUnix - int64_t(HistoryDays) * 86400;
    const int64_t oldest = std::max(request.OldestUnix, floor);

    // Where to begin: the newest alert, or just before the continuation token.
    int64_t liveBefore = log.LastId() + 1;
    int64_t pastBefore = INT64_MAX;
    bool skipLive = false;
    if (request.StartId.size() > 1) {
        const long long id = std::atoll(request.StartId.c_str() + 1);
        if (request.StartId[0] == 'L') {
            liveBefore = id;
        } else if (request.StartId[0] == 'H') {
            skipLive = true;
            pastBefore = id;
        }
    }
    if (!skipLive) {
        for (int64_t id = std::min(liveBefore, log.LastId() + 1) - 1; id >= log.FirstId(); --id) {
            const TAlert *alert = log.Find(id);
            if (alert->UnixTime > newest)
                continue;
            if (alert->UnixTime < oldest)
                return collector.Exhausted();
            if (!collector.Offer(*alert, "L" + std::to_string(id)))
                return collector.Cut();
        }
    }
    // The log covers the time since the server started; regenerated minutes cover before.
    const int64_t liveFrom = market.StartUnixMs() / 1000;
    const int64_t pastNewest = std::min(newest, liveFrom - 1);
    int64_t firstMinute = pastNewest / 60;
    if (pastBefore != INT64_MAX)
        firstMinute = std::min(firstMinute, pastBefore / TMarket::HistoryPerMinute);
    for (int64_t minute = firstMinute; minute >= oldest / 60 && minute >= 0; --minute) {
        std::vector<TAlert> alerts = market.MinuteHistory(minute);
        for (auto it = alerts.rbegin(); it != alerts.rend(); ++it) {
            if (it->Id >= pastBefore || it->UnixTime > pastNewest || it->UnixTime < oldest)
                continue;
            if (!collector.Offer(*it, "H" + std::to_string(it->Id)))
                return collector.Cut();
        }
    }
    return collector.Exhausted();
}

int64_t ParseRequestTime(const std::string &text)
{
    if (text.size() == 19 && text[4] == '-' && text[7] == '-' && text[10] == ' ' && text[13] == ':'
        && text[16] == ':') {
        std::tm tm {};
        if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
                &tm.tm_hour, &tm.tm_min, &tm.tm_sec)
            != 6)
            return 0;
        tm.tm_year -= 1900;
        tm.tm_mon -= 1;
        tm.tm_isdst = -1;
        const std::time_t t = std::mktime(&tm);
        return t < 0 ? 0 : static_cast<int64_t>(t);
    }
    char *endPtr = nullptr;
    const long long value = std::strtoll(text.c_str(), &endPtr, 10);
    if (text.empty() || *endPtr != '\0' || value < 0)
        return 0;
    return value;
}

std::string LocalTimeText(int64_t unixSeconds)
{
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm {};
    localtime_r(&t, &tm);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
        tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buffer;
}

} // namespace kestrova::alertd
