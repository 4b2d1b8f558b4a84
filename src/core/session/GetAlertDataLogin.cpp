// The session's login and watchdog: the 500 ms tick (silent-server restart, general info,
// chart refresh), ping and latency, the login reply, and the time-mode check.

#include "session/GenericNetRequest.h"
#include "session/GetAlertData.h"
#include "session/GetAlertDataHelpers.h"
#include "support/DateTime.h"
#include "support/DebugLog.h"

#include <climits>

namespace kestrova {

using namespace detail;

namespace {
constexpr uint32_t SilentServerTicks = 24;

int32_t StrToIntDef(const std::string &text, int32_t fallback)
{
    try {
        size_t used = 0;
        const long long value = std::stoll(text, &used, 10);
        if (used != text.size() || value < INT32_MIN || value > INT32_MAX)
            return fallback;
        return static_cast<int32_t>(value);
    } catch (...) {
        return fallback;
    }
}
} // namespace

// ---- the tick (watchdog) ----

void TAllAlertsConnection::TimerTick()
{
    FDeadLinks.clear();
    const TDateTime now = FClock.Now();
    if (now >= FNextGeneralInfoTime && !FWindows.empty()) {
        FGeneralInfoRequest.reset();
        FGeneralInfoRequest = std::make_unique<TGenericNetRequest>("GSM:/Misc/GeneralInfo.xml",
            [this](TGenericNetRequest &request) { ReceiveGeneralInfo(request.Result()); });
        FNextGeneralInfoTime = now + 300 * SecondDays;
    }
    if (FChartRefreshTime > 0 && now >= FChartRefreshTime) {
        if (OnDiscardCharts)
            OnDiscardCharts();
        FChartRefreshTime = 0;
    }
    if (FLink && FLink->State() == TChannelState::Closed) {
        NoteLinkEnd(FLink->ErrorText());
        DropLink();
        FReconnectWanted = false;
        if (!FUsername.empty() && !FDisconnectedForGood)
            MarkAllForResubscribe();
    }
    if (FWindows.empty() || FDisconnectedForGood || FUsername.empty()) {
        DeliverEmptyLiveBatches();
        return;
    }
    SendPing();
    ++FTicksSinceReply;
    if (FTicksSinceReply > 1)
        DeliverEmptyLiveBatches();
    if (FTicksSinceReply > SilentServerTicks)
        RestartLink("no reply from the server for " + std::to_string(SilentServerTicks / 2) + " s");
}

void TAllAlertsConnection::TimeModeCheck()
{
    if (FLink && FDefaults.ServerTimeMode() != FTimeModeAtLink)
        Restart("the time mode changed");
}

// ---- ping ----

void TAllAlertsConnection::SendPing()
{
    if (!FLink || FClock.Frequency() <= 0 || FClock.Now() <= FNextPingTime)
        return;
    CancelRequest(FPingId);
    SendRequest({ { "command", "ping" }, { "response", "1" } }, FPingId,
        [this](
            bool success, const std::string &, const TMessageToServer &) { ReceivePing(success); });
    FPingStart = FClock.Counter();
    FNextPingTime = FClock.Now() + PingIntervalDays;
}

void TAllAlertsConnection::ReceivePing(bool success)
{
    const int64_t perHalfMillisecond = FClock.Frequency() / 500;
    const int64_t elapsed = FClock.Counter() - FPingStart;
    if (success && FPingStart != 0 && elapsed >= 0 && FClock.Frequency() > 0)
        FLastRoundTripMs = elapsed * 1000 / FClock.Frequency();
    if (success && OnStatusMessage && FPingStart != 0 && elapsed > 0 && perHalfMillisecond > 0)
        OnStatusMessage(scLatency, std::to_string(elapsed / perHalfMillisecond) + "ms");
    FPingId = {};
}

// ---- login ----

void TAllAlertsConnection::SetLoginStatus(TLoginState state, int32_t nextPayment, int32_t quorix)
{
    if (state == FLoginState && nextPayment == FNextPayment && quorix == FQuorixEntitlement)
        return;
    FLoginState = state;
    FNextPayment = nextPayment;
    FQuorixEntitlement = quorix;
    if (OnLoginStatus)
        OnLoginStatus(state, nextPayment);
}

void TAllAlertsConnection::ReceiveLogin(bool success, const std::string &body)
{
    if (!success)
        return; // the link is lost; the next link logs in again
    try {
        HandleLoginReply(body);
    } catch (const std::exception &e) {
        const std::string reason = std::string("Invalid message from server:  ") + e.what();
        ReportNetworkActivity(false, reason);
        LinkFailed();
        RestartLink(reason);
    }
}

void TAllAlertsConnection::HandleLoginReply(const std::string &body)
{
    const PXmlNode root = ParseXml(body);
    if (PXmlNode account = NodeAtPath(root, { 0, "ACCOUNT_STATUS" })) {
        static const std::pair<const char *, TLoginState> states[] = {
            { "good", lsGood },
            { "another user", lsAnotherUser },
            { "bad username", lsBadUsername },
            { "bad password", lsBadPassword },
            { "require payment", lsRequirePayment },
        };
        const std::string state = AttributeAtPath(account, {}, "", "STATE");
        for (const auto &[text, value] : states)
            if (state == text) {
                if (value == lsGood) {
                    LinkProven();
                    SetLoginStatus(value,
                        StrToIntDef(AttributeAtPath(account, {}, "", "NEXT_PAYMENT"), 0),
                        StrToIntDef(AttributeAtPath(account, {}, "", "QUORIX"), 0));
                } else {
                    SetLoginStatus(value, 0, 0);
                }
            }
    }
    if (PXmlNode restart = NodeAtPath(root, { 0, "RESTART" })) {
        FRestartLastId = AttributeAtPath(restart, {}, FRestartLastId, "LAST_ID");
        FRestartKey = AttributeAtPath(restart, {}, FRestartKey, "KEY");
        FRestartSequence = AttributeAtPath(restart, {}, FRestartSequence, "SEQUENCE");
        if (!FRestartLastId.empty() && !FRestartKey.empty()) {
            TMessageHandle ignored;
            SendRequest(
                { { "command", "confirm_login" }, { "key", FRestartKey } }, ignored, nullptr);
        }
    }
    const PXmlNode status = NodeAtPath(root, { 0, "STATUS" });
    if (status && AttributeAtPath(status, {}, "", "DISCONNECT_FOR_GOOD") == "1") {
        FDisconnectedForGood = true;
        const std::string reason = AttributeAtPath(status, {}, "", "KV-ErrorMsg");
        if (OnStatusMessage)
            OnStatusMessage(scServerMessage,
                reason.empty() ? std::string("Disconnected by server.")
                               : "Message from server:  " + reason);
    }
    if (PXmlNode time = NodeAtPath(root, { 0, "TIME" })) {
        int32_t unixTime = 0;
        TDateTime serverNow = 0;
        ParseAlertTime(AttributeAtPath(time, {}, "", "SECONDS"), unixTime, serverNow);
        if (serverNow > 0) {
            serverNow += StrToIntDef(AttributeAtPath(time, {}, "", "MILLISECONDS"), 0)
                / MillisecondsPerDay;
            FServerClockOffset = serverNow - FClock.Now();
        }
    }
    if (status && AttributeAtPath(status, {}, "", "GRACEFUL_RESTART") == "1") {
        if (FDisconnectedForGood) {
            NoteLinkEnd("logged out for good by the server");
            DropLink();
            FReconnectWanted = false;
        } else {
            Restart("the server asked for a new login");
        }
    }
}

// ---- general info ----

void TAllAlertsConnection::ReceiveGeneralInfo(const std::string &text)
{
    PXmlNode top;
    try {
        top = ParseXml(text)->Child(0);
    } catch (const std::exception &e) {
        ReportException(
            e, "GetAlertData, TAllAlertsConnection.ReceiveGeneralInfo, \"" + text + "\"");
    }
    const TDateTime now = FClock.Now();
    if (!top) {
        FNextGeneralInfoTime = now + 60 * SecondDays;
        return;
    }
    FGeneralInfo = top;
    FNextGeneralInfoTime = now + 8 * 3600 * SecondDays;
    ForEachWindow([](TAlertWindowConnection &window) {
        if (window.OnGeneralInfo)
            window.OnGeneralInfo();
    });
    const PXmlNode chartTime = top->ChildNamed("CHART_TIME");
    const int32_t seconds = chartTime ? StrToIntDef(std::string(chartTime->Text()), 0) : 0;
    if (seconds > 0) {
        const TDateTime deadline = now + seconds * SecondDays;
        if (FChartRefreshTime > 0 && FChartRefreshTime + 2.0 / 24 < deadline && OnDiscardCharts)
            OnDiscardCharts();
        FChartRefreshTime = deadline;
    }
}

} // namespace kestrova
