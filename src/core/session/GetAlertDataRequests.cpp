// Requests: the session's request plumbing and the window connection's subscription, history
// and backtest requests.

#include "session/GetAlertData.h"
#include "session/GetAlertDataHelpers.h"
#include "support/DateTime.h"
#include "support/DebugLog.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <utility>

namespace kestrova {

using namespace detail;

namespace {
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

// ---- requests ----

void TAllAlertsConnection::SendRequest(
    const TMessageToServer &message, TMessageHandle &handle, TServerResponseEvent onReply)
{
    EnsureLink();
    FLink->SendMessage(message, false, handle, std::move(onReply));
}

void TAllAlertsConnection::SendPersistent(
    const TMessageToServer &message, TMessageHandle &handle, TServerResponseEvent onReply)
{
    EnsureLink();
    FLink->SendMessage(message, true, handle, std::move(onReply));
}

void TAllAlertsConnection::CancelRequest(const TMessageHandle &handle)
{
    if (FLink)
        FLink->ForgetMessage(handle);
    for (auto &link : FDeadLinks)
        link->ForgetMessage(handle);
}

void TAllAlertsConnection::ReportNetworkActivity(bool success, const std::string &text)
{
    if (!OnStatusMessage)
        return;
    auto location = [&] {
        return "GetAlertData, TAllAlertsConnection.ReportNetworkActivity("
            + std::string(success ? "Success" : "Failure") + "\"" + text + "\")";
    };
    try {
        OnStatusMessage(success ? scNetworkSuccess : scNetworkFailure, text);
    } catch (const std::exception &e) {
        ReportException(e, location());
    } catch (...) {
        ReportUnknownException(location());
    }
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
    // The marks are set before the events: a change a handler makes clears "sent" again and is
    // sent, and a handler that frees this connection leaves nothing to be written afterwards.
    const std::string refusal = AttributeAtPath(status, {}, "", "KV-ErrorMsg");
    FConfigSent = refusal.empty();
    const bool changed = (!shortForm.empty() && shortForm != FConfig) || windowName != FWindowName;
    if (changed) {
        // A reply without a short form keeps the window's configuration rather than erasing it.
        if (!shortForm.empty())
            FConfig = shortForm;
        FWindowName = windowName;
    }
    const std::weak_ptr<char> alive = FLife;
    if (changed && OnConfigChanged)
        OnConfigChanged();
    if (!alive.expired() && !refusal.empty() && OnConfigRefused)
        OnConfigRefused(refusal);
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
    FSession.CountAlertsReceived(records.size());
    if (OnAlerts)
        OnAlerts(records, isHistory);
}

void TAlertWindowConnection::HistoryMessage(const IXmlNode &message)
{
    const std::string type = Attribute(message, "TYPE");
    if (type == "alerts") {
        // Read in one go when the alerts fit in one batch; a larger message is checked first
        // and read as it is delivered. Either way one that cannot be read raises before
        // anything changes.
        const bool oneBatch = CountAlerts(message) <= AlertBatchLimit;
        TAlertRecords records;
        if (oneBatch)
            records = ParseAlerts(message);
        else
            CheckAlerts(message);
        FHistoryStartId = Attribute(message, "RESTART");
        FHistoryStartTime = 0;
        if (oneBatch)
            DeliverBatch(std::move(records), true);
        else
            FSession.DeliverAlerts(*this, message, true);
    } else if (type == "finished") {
        FHistoryState = FHistoryStartId.empty() ? hsComplete : hsMoreAvailable;
        DeliverBatch({}, true);
    }
}

// ---- backtest ----

void TAlertWindowConnection::NotifyQuorix(TQuorixInfo info, bool detach)
{
    // The handler and the state it sees are copied first: it may start another backtest (which
    // installs a new handler) or free this window; nothing here is touched after it returns.
    auto handler = detach ? std::exchange(FOnQuorixProgress, nullptr) : FOnQuorixProgress;
    if (handler)
        handler(info);
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
    NotifyQuorix(FQuorixInfo, false);
}

void TAlertWindowConnection::QuorixMessage(const IXmlNode &message)
{
    const std::string type = Attribute(message, "TYPE");
    if (type == "progress") {
        FQuorixInfo.ProgressText = message.Text();
        NotifyQuorix(FQuorixInfo, false);
    } else if (type == "debug") {
        // The debug text goes with this one notification only.
        TQuorixInfo info = FQuorixInfo;
        info.DebugText = message.Text();
        NotifyQuorix(info, false);
    } else if (type == "finished") {
        FQuorixInfo.Status = qsFinished;
        FQuorixRequest.clear();
        NotifyQuorix(FQuorixInfo, true);
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
    NotifyQuorix(FQuorixInfo, true);
}

} // namespace kestrova
