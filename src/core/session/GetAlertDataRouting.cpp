// The alert stream's routing: the poll, reading alerts, and handing live batches, history and
// backtest messages to the window each one names.

#include "link/TalkWithServer.h"
#include "session/GetAlertData.h"
#include "session/GetAlertDataHelpers.h"
#include "support/DateTime.h"

#include <algorithm>
#include <charconv>
#include <strings.h>
#include <unordered_set>

namespace kestrova {

using namespace detail;

namespace {
// The element of one alert in the stream's messages.
constexpr std::string_view AlertTag = "ALERT";

int32_t StrToIntOrZero(std::string_view text)
{
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}
} // namespace

// ---- alert parsing ----

namespace {
// The last Unix time converted to local time while one reply is read: alerts of a reply share
// seconds, and the conversion through the time-zone rules is the costly part of an alert.
struct TLocalTimeCache
{
    int32_t Unix = 0;
    TDateTime Local = 0;
};

void ReadAlertTime(
    std::string_view text, int32_t &unixTime, TDateTime &time, TLocalTimeCache *cache)
{
    if (text.size() == 19 && text[4] == '-' && text[7] == '-' && text[10] == ' ' && text[13] == ':'
        && text[16] == ':') {
        TDateTimeParts parts;
        parts.Year = StrToIntOrZero(text.substr(0, 4));
        parts.Month = StrToIntOrZero(text.substr(5, 2));
        parts.Day = StrToIntOrZero(text.substr(8, 2));
        parts.Hour = StrToIntOrZero(text.substr(11, 2));
        parts.Minute = StrToIntOrZero(text.substr(14, 2));
        parts.Second = StrToIntOrZero(text.substr(17, 2));
        unixTime = 0;
        if (!TryEncodeDateTime(parts, time))
            time = 0;
        return;
    }
    unixTime = StrToIntOrZero(text);
    if (unixTime == 0) {
        time = 0;
    } else if (cache && cache->Unix == unixTime) {
        time = cache->Local;
    } else {
        time = UtcToLocal(UnixToDateTime(unixTime));
        if (cache)
            *cache = { unixTime, time };
    }
}

TAlertRecord ReadAlert(const IXmlNode &alert, TLocalTimeCache *cache)
{
    TAlertRecord record;
    for (const auto &attribute : alert.Attributes()) {
        const std::string_view name = attribute.Name;
        const std::string_view value = attribute.Value;
        if (name == "SYMBOL")
            record.Symbol = value;
        else if (name == "TYPE")
            record.AlertType = value;
        else if (name == "TIME")
            ReadAlertTime(value, record.UnixTime, record.Time, cache);
        else if (name == "DESCRIPTION")
            record.Description = value;
        else if (name == "QUALITY")
            record.Quality = ServerStrToFloat(value);
        else if (name == "RELVOL")
            record.RelVol = ServerStrToFloat(value);
        else if (name == "NUM")
            record.Num = StrToIntOrZero(value);
        else if (name == "HISTORICAL")
            record.Historical = StrToIntOrZero(value);
        else if (name == "DAY_RANGE")
            record.DayRange = ServerStrToFloat(value);
        else if (name == "STDDEV")
            record.StdDev = ServerStrToFloat(value);
        else if (name == "VOLATILITY")
            record.Volatility = ServerStrToFloat(value);
    }
    return record;
}
} // namespace

void ParseAlertTime(std::string_view text, int32_t &unixTime, TDateTime &time)
{
    ReadAlertTime(text, unixTime, time, nullptr);
}

TAlertRecord ParseAlert(const IXmlNode &alert)
{
    return ReadAlert(alert, nullptr);
}

namespace {
bool IsAlert(const IXmlNode &child)
{
    // Only ALERT children are alerts: a record costs far more than a tiny element of another
    // kind, and anything else the server may add is none.
    return child.Name() == AlertTag;
}

// The attributes read as fractions: the only ones that make an alert unreadable.
bool IsFractionAttribute(std::string_view name)
{
    return name == "QUALITY" || name == "RELVOL" || name == "DAY_RANGE" || name == "STDDEV"
        || name == "VOLATILITY";
}
} // namespace

size_t CountAlerts(const IXmlNode &parent)
{
    size_t alerts = 0;
    for (int i = 0; i < parent.ChildCount(); ++i)
        alerts += IsAlert(*parent.ChildNode(i));
    return alerts;
}

TAlertRecords ParseAlerts(const IXmlNode &parent)
{
    TAlertRecords records;
    records.reserve(CountAlerts(parent));
    TLocalTimeCache cache;
    for (int i = 0; i < parent.ChildCount(); ++i)
        if (IsAlert(*parent.ChildNode(i)))
            records.push_back(ReadAlert(*parent.ChildNode(i), &cache));
    return records;
}

void CheckAlerts(const IXmlNode &parent)
{
    for (int i = 0; i < parent.ChildCount(); ++i) {
        const IXmlNode &child = *parent.ChildNode(i);
        if (IsAlert(child))
            for (const auto &attribute : child.Attributes())
                if (IsFractionAttribute(attribute.Name))
                    ServerStrToFloat(attribute.Value);
    }
}

void ForEachAlertBatch(const IXmlNode &parent, bool lastToFirst,
    const std::function<bool(TAlertRecords records)> &deliver)
{
    const size_t count = CountAlerts(parent);
    if (count <= AlertBatchLimit) {
        deliver(ParseAlerts(parent));
        return;
    }
    std::vector<int> ordinals;
    ordinals.reserve(count);
    for (int i = 0; i < parent.ChildCount(); ++i)
        if (IsAlert(*parent.ChildNode(i)))
            ordinals.push_back(i);
    // Batches are cut from the first alert on, so the one holding the first alerts is full.
    const size_t batches = (count + AlertBatchLimit - 1) / AlertBatchLimit;
    TLocalTimeCache cache;
    for (size_t b = 0; b < batches; ++b) {
        const size_t first = (lastToFirst ? batches - 1 - b : b) * AlertBatchLimit;
        const size_t last = std::min(count, first + AlertBatchLimit);
        TAlertRecords records;
        records.reserve(last - first);
        for (size_t i = first; i < last; ++i)
            records.push_back(ReadAlert(*parent.ChildNode(ordinals[i]), &cache));
        if (!deliver(std::move(records)))
            return;
    }
}

// ---- the poll ----

void TAllAlertsConnection::PollWake()
{
    // A server that ended the login for good gets no subscriptions either (they would only open
    // a link that cannot log in).
    if (!FDisconnectedForGood)
        ForEachWindow([](TAlertWindowConnection &window) {
            if (!window.ConfigSent())
                window.Subscribe();
        });
    if (FDisconnectedForGood || FPollOutstanding || FWindows.empty() || FUsername.empty())
        return;
    FPollOutstanding = true;
    TMessageHandle handle;
    SendRequest({ { "command", "get_alerts" } }, handle,
        [this](bool success, const std::string &body, const TMessageToServer &) {
            ReceiveAlertData(success, body);
        });
}

// ---- the session's side of the stream ----

void TAllAlertsConnection::ReceiveAlertData(bool success, const std::string &body)
{
    FPollOutstanding = false;
    if (!success)
        return;
    ResendQuorix();
    FTicksSinceReply = 0;
    RouteAlertData(body);
    SchedulePoll();
}

void TAllAlertsConnection::RouteAlertData(const std::string &body)
{
    try {
        const PXmlNode root = ParseXml(body);
        const PXmlNode data = NodeAtPath(root, { 0, "DATA" });
        // Every alert is read or checked before anything is delivered: one that cannot be read
        // drops the whole reply. Parts are read here while the reply's records stay within
        // AlertBatchLimit (as in every reply a real server sends); the others are only checked
        // now and read batch by batch as they are delivered, so that a huge reply never holds
        // its records and its tree at once.
        std::vector<std::pair<int, TAlertRecords>> read; // (part's ordinal, its records)
        size_t room = AlertBatchLimit;
        for (int i = 0; data && i < data->ChildCount(); ++i) {
            const IXmlNode &part = *data->ChildNode(i);
            const size_t count = CountAlerts(part);
            if (count > room) {
                CheckAlerts(part);
            } else if (count > 0) {
                room -= count;
                read.emplace_back(i, ParseAlerts(part));
            }
        }
        // A copy of its own, so that keeping it does not keep the whole reply.
        if (const PXmlNode mru = NodeAtPath(root, { 0, "VIEW_MRU" }))
            FViewMru = CopyXmlTree(*mru);
        // Windows are looked up at delivery time: a handler may free a window. An unknown id
        // is withdrawn once per reply, however often the reply names it.
        std::unordered_set<std::string> withdrawn;
        auto next = read.begin();
        for (int i = 0; data && i < data->ChildCount(); ++i) {
            const IXmlNode &part = *data->ChildNode(i);
            TAlertRecords *records
                = next != read.end() && next->first == i ? &(next++)->second : nullptr;
            const std::string id = Attribute(part, "ID");
            auto it = std::find_if(FWindows.begin(), FWindows.end(),
                [&](auto *w) { return strcasecmp(w->WindowId().c_str(), id.c_str()) == 0; });
            if (it != FWindows.end()) {
                if (records)
                    (*it)->DeliverBatch(std::move(*records), false);
                else
                    DeliverAlerts(**it, part, false);
            } else if (!FUsername.empty() && withdrawn.insert(id).second) {
                TMessageHandle ignored;
                SendRequest(
                    { { "command", "remove_config_info" }, { "window_id", id } }, ignored, nullptr);
            }
        }
        if (const PXmlNode restart = NodeAtPath(root, { 0, "RESTART" }))
            FRestartLastId = AttributeAtPath(restart, {}, FRestartLastId, "LAST_ID");
    } catch (const std::exception &e) {
        ReportNetworkActivity(false, ReportText("ReceiveAlertData", e));
    }
}

void TAllAlertsConnection::DeliverAlerts(
    TAlertWindowConnection &window, const IXmlNode &parent, bool isHistory)
{
    // A handler may free the window: it is found again by its id before each further batch.
    const std::string id = window.WindowId();
    TAlertWindowConnection *target = &window;
    ForEachAlertBatch(parent, !isHistory, [&](TAlertRecords records) {
        target->DeliverBatch(std::move(records), isHistory);
        target = FindWindowFromEnd(id);
        return target != nullptr;
    });
}

void TAllAlertsConnection::DispatchWindowMessages(const std::string &body, const char *what,
    void (TAlertWindowConnection::*handle)(const IXmlNode &))
{
    try {
        const PXmlNode top = ParseXml(body)->Child(0);
        for (int i = 0; top && i < top->ChildCount(); ++i) {
            const PXmlNode message = top->Child(i);
            if (auto *window = FindWindowFromEnd(Attribute(*message, "WINDOW")))
                (window->*handle)(*message);
        }
    } catch (const std::exception &e) {
        ReportNetworkActivity(false, ReportText(what, e));
    }
}

void TAllAlertsConnection::ReceiveHistoryData(bool success, const std::string &body)
{
    if (success)
        DispatchWindowMessages(body, "ReceiveHistoryData", &TAlertWindowConnection::HistoryMessage);
    else
        HistoryListenId = {};
}

void TAllAlertsConnection::QuorixData(bool success, const std::string &body)
{
    if (success) {
        DispatchWindowMessages(body, "QuorixData", &TAlertWindowConnection::QuorixMessage);
        return;
    }
    QuorixListenId = {};
    ForEachWindow([](TAlertWindowConnection &window) { window.QuorixListenLost(); });
}

void TAllAlertsConnection::ResendQuorix()
{
    if (!QuorixResendPending)
        return;
    QuorixResendPending = false;
    ForEachWindow([](TAlertWindowConnection &window) { window.ResendQuorixIfPending(); });
}

} // namespace kestrova
