// The alert stream: window subscriptions, live alerts, history and backtest messages, and how
// each reaches its window.

#include "link/TalkWithServer.h"
#include "session/GetAlertData.h"
#include "support/DateTime.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>
#include <strings.h>

namespace kestrova {

namespace {
int32_t StrToIntOrZero(std::string_view text)
{
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

std::string Attribute(const IXmlNode &node, const char *name)
{
    return std::string(node.Attribute(name));
}

std::string ReportText(const char *what, const std::exception &e)
{
    return std::string("Exception in ") + what + ":  " + ExceptionClassName(e) + ", " + e.what();
}

// Window ids are unique among live window connections.
std::string NewWindowId(const std::vector<TAlertWindowConnection *> &windows)
{
    static uint32_t next = 0x0A1E0000;
    for (;;) {
        char text[16];
        std::snprintf(text, sizeof text, "%.8" PRIX32, ++next);
        const bool used = std::any_of(
            windows.begin(), windows.end(), [&](auto *w) { return w->WindowId() == text; });
        if (!used)
            return text;
    }
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

TAlertRecords ParseAlerts(const IXmlNode &parent)
{
    TAlertRecords records;
    TLocalTimeCache cache;
    const int count = parent.ChildCount();
    records.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        records.push_back(ReadAlert(*parent.ChildNode(i), &cache));
    return records;
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
        std::vector<std::pair<std::string, TAlertRecords>> parts;
        if (const PXmlNode data = NodeAtPath(root, { 0, "DATA" }))
            for (int i = 0; i < data->ChildCount(); ++i) {
                const PXmlNode part = data->Child(i);
                parts.emplace_back(Attribute(*part, "ID"), ParseAlerts(*part));
            }
        if (const PXmlNode mru = NodeAtPath(root, { 0, "VIEW_MRU" }))
            FViewMru = mru;
        // Windows are looked up at delivery time: a handler may free a window.
        for (auto &[id, records] : parts) {
            auto it = std::find_if(FWindows.begin(), FWindows.end(),
                [&](auto *w) { return strcasecmp(w->WindowId().c_str(), id.c_str()) == 0; });
            if (it != FWindows.end()) {
                (*it)->DeliverBatch(std::move(records), false);
            } else if (!FUsername.empty()) {
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

// ---- window connection ----

TAlertWindowConnection::TAlertWindowConnection(TAllAlertsConnection &session)
    : FSession(session)
    , FWindowId(NewWindowId(session.Windows()))
{
    FSession.AddWindow(this);
}

TAlertWindowConnection::~TAlertWindowConnection()
{
    if (FQuorixInfo.Status == qsRunning)
        CancelQuorix();
    Unsubscribe();
    FSession.RemoveWindow(this);
}

void TAlertWindowConnection::SetConfig(const std::string &config)
{
    if (config == FConfig)
        return;
    if (FSkipHistoryState == 1)
        FSkipHistoryState = 0;
    FConfig = config;
    MarkForResubscribe();
}

void TAlertWindowConnection::MarkForResubscribe()
{
    FSession.CancelRequest(FPendingConfigRequest);
    FPendingConfigRequest = {};
    FConfigSent = false;
    FSession.SchedulePoll();
}

void TAlertWindowConnection::Unsubscribe()
{
    FSession.CancelRequest(FPendingConfigRequest);
    FPendingConfigRequest = {};
    if (FSession.Username().empty())
        return;
    TMessageHandle ignored;
    FSession.SendRequest(
        { { "command", "remove_config_info" }, { "window_id", FWindowId } }, ignored, nullptr);
}

std::string TAlertWindowConnection::TimeText(TDateTime value) const
{
    if (FSession.Defaults().ServerTimeMode()) {
        if (value == 0)
            return {};
        const TDateTimeParts p = DecodeDateTime(value);
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day,
            p.Hour, p.Minute, p.Second);
        return text;
    }
    return std::to_string(value == 0 ? 0 : DateTimeToUnix(LocalToUtc(value)));
}

void TAlertWindowConnection::Subscribe()
{
    FSession.CancelRequest(FPendingConfigRequest);
    FPendingConfigRequest = {};
    // Marked as sent before sending: a request that fails at once clears the mark again.
    FConfigSent = true;
    auto onReply = [this](bool success, const std::string &body, const TMessageToServer &) {
        ConfigReply(success, body);
    };
    TMessageHandle handle;
    if (FHistoryState == hsLive) {
        FSession.SendRequest(
            { { "command", "set_config_info" }, { "window_id", FWindowId },
                { "long_form", FConfig }, { "skip_history", FSkipHistoryState != 0 ? "1" : "0" } },
            handle, onReply);
    } else if (FHistoryState == hsRequested) {
        if (IsNullHandle(FSession.HistoryListenId))
            FSession.SendPersistent({ { "command", "history_listen" } }, FSession.HistoryListenId,
                // The listen belongs to the session and outlives windows.
                [session = &FSession](bool success, const std::string &body,
                    const TMessageToServer &) { session->ReceiveHistoryData(success, body); });
        FSession.SendRequest({ { "command", "set_config_info" }, { "window_id", FWindowId },
                                 { "long_form", FConfig }, { "long_history", "1" },
                                 { "long_history_max_count", std::to_string(FHistoryMaxCount) },
                                 { "long_history_start_id", FHistoryStartId },
                                 { "long_history_start_time", TimeText(FHistoryStartTime) },
                                 { "long_history_end_time", TimeText(FHistoryEndTime) } },
            handle, onReply);
    }
    if (FConfigSent)
        FPendingConfigRequest = handle;
}

void TAlertWindowConnection::ConfigReply(bool success, const std::string &body)
{
    FPendingConfigRequest = {};
    if (!success) {
        FConfigSent = false;
        return;
    }
    PXmlNode status;
    try {
        status = NodeAtPath(ParseXml(body), { 0, "STATUS" });
    } catch (const std::exception &e) {
        FConfigSent = false; // sent again at the next poll wake-up
        FSession.ReportNetworkActivity(false, ReportText("ConfigReply", e));
        return;
    }
    const std::string shortForm = AttributeAtPath(status, {}, "", "SHORT_FORM");
    const std::string windowName = AttributeAtPath(status, {}, "", "WINDOW_NAME");
    if ((!shortForm.empty() && shortForm != FConfig) || windowName != FWindowName) {
        // A reply without a short form keeps the window's configuration rather than erasing it.
        if (!shortForm.empty())
            FConfig = shortForm;
        FWindowName = windowName;
        if (OnConfigChanged)
            OnConfigChanged();
    }
    FConfigSent = AttributeAtPath(status, {}, "", "KV-ErrorMsg").empty();
}

void TAlertWindowConnection::SetHistoryMaxCount(int32_t count)
{
    if (FHistoryState != hsRequested)
        FHistoryMaxCount = count;
}

void TAlertWindowConnection::SetHistoryStartTime(TDateTime time)
{
    if (FHistoryState == hsRequested)
        return;
    FHistoryStartTime = time;
    FHistoryStartId.clear();
}

void TAlertWindowConnection::SetHistoryEndTime(TDateTime time)
{
    if (FHistoryState != hsRequested)
        FHistoryEndTime = time;
}

void TAlertWindowConnection::RequestMoreHistory()
{
    if (FHistoryState == hsRequested)
        return;
    FHistoryStartTime = 0; // the server continues from HistoryStartId
    FHistoryState = hsRequested;
    MarkForResubscribe();
}

void TAlertWindowConnection::RequestHistoryRange()
{
    if (FHistoryState == hsRequested)
        return;
    FHistoryStartId.clear();
    FHistoryState = hsRequested;
    MarkForResubscribe();
}

void TAlertWindowConnection::StopHistory(bool force)
{
    if (!force && FHistoryState == hsLive)
        return;
    FHistoryState = hsLive;
    MarkForResubscribe();
    FSkipHistoryState = 0;
}

void TAlertWindowConnection::MarkAlertsShown()
{
    if (FSkipHistoryState == 2)
        FSkipHistoryState = 1;
}

void TAlertWindowConnection::DeliverBatch(TAlertRecords records, bool isHistory)
{
    switch (FHistoryState) {
    case hsLive:
        if (isHistory)
            return;
        break;
    case hsRequested:
        if (!isHistory)
            return;
        FHistoryMaxCount -= static_cast<int32_t>(records.size());
        break;
    case hsMoreAvailable:
    case hsComplete:
        if (!isHistory)
            return;
        records.clear();
        break;
    }
    if (!records.empty())
        FSkipHistoryState = 2;
    if (OnAlerts)
        OnAlerts(records, isHistory);
}

void TAlertWindowConnection::HistoryMessage(const IXmlNode &message)
{
    const std::string type = Attribute(message, "TYPE");
    if (type == "alerts") {
        FHistoryStartId = Attribute(message, "RESTART");
        FHistoryStartTime = 0;
        DeliverBatch(ParseAlerts(message), true);
    } else if (type == "finished") {
        FHistoryState = FHistoryStartId.empty() ? hsComplete : hsMoreAvailable;
        DeliverBatch({}, true);
    }
}

// ---- backtest ----

void TAlertWindowConnection::NotifyQuorix()
{
    if (FOnQuorixProgress)
        FOnQuorixProgress(FQuorixInfo);
}

void TAlertWindowConnection::StartQuorix(
    const TMessageToServer &request, std::function<void(const TQuorixInfo &)> handler)
{
    FOnQuorixProgress = std::move(handler);
    FQuorixInfo.Status = qsRunning;
    FQuorixInfo.DebugText.clear();
    FQuorixInfo.ProgressText = "Quorix Started";
    FQuorixRequest = request;
    if (IsNullHandle(FSession.QuorixListenId))
        FSession.SendPersistent({ { "command", "quorix_listen" } }, FSession.QuorixListenId,
            [session = &FSession](bool success, const std::string &body, const TMessageToServer &) {
                session->QuorixData(success, body);
            });
    TMessageHandle ignored;
    FSession.SendRequest(request, ignored, nullptr);
    NotifyQuorix();
}

void TAlertWindowConnection::QuorixMessage(const IXmlNode &message)
{
    const std::string type = Attribute(message, "TYPE");
    if (type == "progress") {
        FQuorixInfo.ProgressText = message.Text();
        NotifyQuorix();
    } else if (type == "debug") {
        FQuorixInfo.DebugText = message.Text();
        NotifyQuorix();
        FQuorixInfo.DebugText.clear();
    } else if (type == "finished") {
        FQuorixInfo.Status = qsFinished;
        FQuorixRequest.clear();
        NotifyQuorix();
        FOnQuorixProgress = nullptr;
    }
}

void TAlertWindowConnection::QuorixListenLost()
{
    if (FQuorixInfo.Status != qsRunning)
        return;
    FQuorixInfo.Status = qsResend;
    FSession.QuorixResendPending = true;
}

void TAlertWindowConnection::ResendQuorixIfPending()
{
    if (FQuorixInfo.Status == qsResend)
        StartQuorix(FQuorixRequest, FOnQuorixProgress);
}

void TAlertWindowConnection::CancelQuorix()
{
    TMessageHandle ignored;
    FSession.SendRequest(
        { { "command", "quorix_cancel_request" }, { "window_id", FWindowId } }, ignored, nullptr);
    FQuorixInfo.Status = qsIdle;
    FQuorixRequest.clear();
    NotifyQuorix();
    FOnQuorixProgress = nullptr;
}

} // namespace kestrova
