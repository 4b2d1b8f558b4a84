#include "session/GetAlertData.h"

#include "link/TalkWithServer.h"
#include "net/LoopTimer.h"
#include "session/Endpoints.h"
#include "session/GenericNetRequest.h"
#include "session/MachineIdentity.h"
#include "session/NetSession.h"
#include "support/DateTime.h"
#include "support/DebugLog.h"

#include <QDesktopServices>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <filesystem>

namespace kestrova {

namespace {
constexpr double SecondDays = 1.0 / 86400.0;
constexpr double PingIntervalDays = 4.5 * SecondDays;
constexpr uint32_t SilentServerTicks = 24;

TAllAlertsConnection *&Instance()
{
    static TAllAlertsConnection *session = nullptr;
    return session;
}

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

// Tells the session when the time offset or formats change, so that a link made in the other
// time mode is restarted.
class TDefaultsListenerAdapter : public IDefaultsListener
{
public:
    explicit TDefaultsListenerAdapter(TAllAlertsConnection &session)
        : FSession(session)
    {
        session.Defaults().RegisterListener(this);
    }
    void DefaultsChanged() override { FSession.TimeModeCheck(); }

private:
    TAllAlertsConnection &FSession;
};

TAllAlertsConnection::TAllAlertsConnection(
    TChannelFactory channels, const IClock &clock, TWakeFactory wakes, TSharedDefaults &defaults)
    : HelpUrl(DefaultHelpUrl)
    , WebViewUrl(DefaultWebViewUrl)
    , FFactory(std::move(channels))
    , FClock(clock)
    , FDefaults(defaults)
    , FTimer(std::make_unique<TLoopTimer>())
{
    wakes = WakeFactoryOrLoop(std::move(wakes));
    if (!FFactory)
        FFactory = [wakes] { return std::make_unique<TTalkWithServer>(wakes); };
    FConnectWake = wakes();
    FPollWake = wakes();
    FReapWake = wakes();
    FSettings.ServerAddress = DefaultServerAddress;
    FSettings.TunnelUrl = DefaultTunnelUrl;
    OpenUrl = [](const std::string &url) {
        QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(url)));
    };
    FConnectWake->OnWake = [this] { ConnectWake(); };
    FPollWake->OnWake = [this] { PollWake(); };
    FReapWake->OnWake = [this] { FDeadLinks.clear(); };
    FTimer->OnTimer = [this] {
        RunGuarded("GetAlertData, TAllAlertsConnection.TimerTick", [this] { TimerTick(); });
    };
    FTimer->Start(500);
    FDefaultsAdapter = std::make_unique<TDefaultsListenerAdapter>(*this);
    // Net requests (the general-info fetch, pictures) talk through the first session made.
    if (!InstalledNetSession())
        SetNetSession(this);
}

TAllAlertsConnection::~TAllAlertsConnection()
{
    FTimer->Stop();
    FDefaultsAdapter.reset();
    FGeneralInfoRequest.reset();
    OnStatusMessage = nullptr;
    RunGuarded("GetAlertData, TAllAlertsConnection.Destroy", [this] { DropLink(); });
    FDeadLinks.clear();
    if (InstalledNetSession() == this) {
        FreeNetRequests();
        SetNetSession(nullptr);
    }
    if (Instance() == this)
        Instance() = nullptr;
}

// ---- settings ----

void TAllAlertsConnection::SetServerAddress(const std::string &address)
{
    if (address == FSettings.ServerAddress)
        return;
    FSettings.ServerAddress = address;
    Restart();
}

void TAllAlertsConnection::SetVendorId(const std::string &vendorId)
{
    if (vendorId == FVendorId)
        return;
    FVendorId = vendorId;
    Restart();
}

void TAllAlertsConnection::SetUsername(const std::string &username)
{
    if (username == FUsername && !FDisconnectedForGood)
        return;
    FUsername = username;
    Reset();
}

void TAllAlertsConnection::SetPassword(const std::string &password)
{
    if (password == FPassword && !FDisconnectedForGood)
        return;
    FPassword = password;
    Reset();
}

namespace {
template<typename T>
bool Change(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
} // namespace

void TAllAlertsConnection::SetHttpProxy(
    const std::string &username, const std::string &password, const std::string &host, int32_t port)
{
    // Every value is stored; any change restarts the link (the new values reach the next link).
    if (Change(FSettings.HttpProxyUsername, username)
        | Change(FSettings.HttpProxyPassword, password) | Change(FSettings.HttpProxyHost, host)
        | Change(FSettings.HttpProxyPort, port))
        Restart();
}

void TAllAlertsConnection::SetSocksProxy(const std::string &server, int32_t level, int32_t port,
    const std::string &username, const std::string &password)
{
    if (Change(FSettings.SocksServer, server) | Change(FSettings.SocksLevel, level)
        | Change(FSettings.SocksPort, port) | Change(FSettings.SocksUsername, username)
        | Change(FSettings.SocksPassword, password))
        Restart();
}

// ---- link life ----

void TAllAlertsConnection::EnsureLink()
{
    if (FLink)
        return;
    FNextPingTime = FClock.Now() + PingIntervalDays;
    FLink = FFactory();
    FLink->OnDisconnected = [this] { LinkDisconnected(); };
    FLink->OnResponse = [this](bool success, const std::string &, const TMessageToServer &) {
        ReportNetworkActivity(success, "");
    };
    FLink->OnStatusText = [this](const std::string &text) { ReportNetworkActivity(false, text); };
    FLink->Settings = FSettings;
    ++FLinksCreated;
    FReconnectWanted = false;
    FTimeModeAtLink = FDefaults.ServerTimeMode();
    TMessageHandle ignored;
    if (FTimeModeAtLink)
        FLink->SendMessage(
            { { "command", "set_time_format" }, { "format", "1" } }, false, ignored, nullptr);
    if (!FUsername.empty() && !FDisconnectedForGood) {
        TMessageHandle login;
        FLink->SendMessage(
            { { "command", "login" }, { "username", FUsername }, { "password", FPassword },
                { "vendor_id", FVendorId }, { "unique_id", MachineUniqueId() },
                { "restart_after", FRestartLastId }, { "restart_key", FRestartKey },
                { "sequence", FRestartSequence }, { "default_data_verion", "1" } },
            true, login, [this](bool success, const std::string &body, const TMessageToServer &) {
                ReceiveLogin(success, body);
            });
    }
    ScheduleConnect();
}

void TAllAlertsConnection::DropLink()
{
    if (!FLink)
        return;
    // Detach first so that nothing reaches the session from a link being dropped; closing fails
    // every pending request now, while the freeing waits until no handler of the link runs.
    std::unique_ptr<IRequestChannel> link = std::move(FLink);
    link->OnDisconnected = nullptr;
    link->OnResponse = nullptr;
    link->OnStatusText = nullptr;
    link->Close();
    FDeadLinks.push_back(std::move(link));
    FReapWake->RequestWake();
}

void TAllAlertsConnection::ScheduleConnect()
{
    FConnectWake->RequestWake();
}

void TAllAlertsConnection::SchedulePoll()
{
    FPollWake->RequestWake();
}

void TAllAlertsConnection::ConnectWake()
{
    // Connect only when there is work for a link: one existed before, or a window wants alerts.
    if (!FLink && (FReconnectWanted || (!FWindows.empty() && !FDisconnectedForGood)))
        EnsureLink();
    if (FLink && !FLink->ConnectStarted())
        FLink->Connect();
}

void TAllAlertsConnection::Restart()
{
    FTicksSinceReply = 0;
    FReconnectWanted = FReconnectWanted || FLink != nullptr;
    DropLink();
    ScheduleConnect();
    MarkAllForResubscribe();
    SetLoginStatus(lsUnknown, 0, 0);
}

void TAllAlertsConnection::Reset()
{
    FTicksSinceReply = 0;
    ++FResetCount;
    FReconnectWanted = FReconnectWanted || FLink != nullptr;
    DropLink();
    ScheduleConnect();
    FNextGeneralInfoTime = FClock.Now();
    FDisconnectedForGood = false;
    FRestartLastId.clear();
    FRestartKey.clear();
    FRestartSequence.clear();
    MarkAllForResubscribe();
    SetLoginStatus(lsUnknown, 0, 0);
    if (OnStatusMessage)
        OnStatusMessage(scReset, "");
    SchedulePoll();
}

void TAllAlertsConnection::LinkDisconnected()
{
    if (FLink && !FUsername.empty() && !FDisconnectedForGood && !FWindows.empty())
        ReportNetworkActivity(false, FLink->ErrorText());
}

void TAllAlertsConnection::MarkAllForResubscribe()
{
    ForEachWindow([](TAlertWindowConnection &window) { window.MarkForResubscribe(); });
}

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
    try {
        OnStatusMessage(success ? scNetworkSuccess : scNetworkFailure, text);
    } catch (const std::exception &e) {
        ReportException(e,
            "GetAlertData, TAllAlertsConnection.ReportNetworkActivity("
                + std::string(success ? "Success" : "Failure") + "\"" + text + "\")");
    } catch (...) {
        ReportUnknownException("GetAlertData, TAllAlertsConnection.ReportNetworkActivity");
    }
}

// ---- windows ----

void TAllAlertsConnection::AddWindow(TAlertWindowConnection *window)
{
    FWindows.push_back(window);
    window->MarkForResubscribe();
}

void TAllAlertsConnection::RemoveWindow(TAlertWindowConnection *window)
{
    for (size_t i = 0; i < FWindows.size(); ++i)
        if (FWindows[i] == window) {
            FWindows[i] = FWindows.back(); // order is not kept
            FWindows.pop_back();
            return;
        }
}

void TAllAlertsConnection::DeliverEmptyLiveBatches()
{
    ForEachWindow([](TAlertWindowConnection &window) { window.DeliverBatch({}, false); });
}

void TAllAlertsConnection::ForEachWindow(
    const std::function<void(TAlertWindowConnection &)> &action)
{
    const auto windows = FWindows;
    for (auto *window : windows)
        if (std::find(FWindows.begin(), FWindows.end(), window) != FWindows.end())
            action(*window);
}

TAlertWindowConnection *TAllAlertsConnection::FindWindowFromEnd(const std::string &windowId) const
{
    for (auto it = FWindows.rbegin(); it != FWindows.rend(); ++it)
        if ((*it)->WindowId() == windowId)
            return *it;
    return nullptr;
}

// ---- timer and wake-ups ----

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
        Restart();
}

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

void TAllAlertsConnection::TimeModeCheck()
{
    if (FLink && FDefaults.ServerTimeMode() != FTimeModeAtLink)
        Restart();
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
        ReportNetworkActivity(false, std::string("Invalid message from server:  ") + e.what());
        Restart();
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
                if (value == lsGood)
                    SetLoginStatus(value,
                        StrToIntDef(AttributeAtPath(account, {}, "", "NEXT_PAYMENT"), 0),
                        StrToIntDef(AttributeAtPath(account, {}, "", "QUORIX"), 0));
                else
                    SetLoginStatus(value, 0, 0);
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
            DropLink();
            FReconnectWanted = false;
        } else {
            Restart();
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

// ---- misc ----

TDateTime TAllAlertsConnection::GetServerNow() const
{
    return FClock.Now() + FServerClockOffset;
}

void TAllAlertsConnection::ShowHelpTopic(const std::string &topic)
{
    if (HelpEnabled)
        OpenHelp(HelpUrl + topic);
}

void TAllAlertsConnection::ShowPrefixedHelpTopic(const std::string &topic)
{
    if (HelpEnabled)
        OpenHelp(HelpUrl + "WSF_" + topic);
}

void TAllAlertsConnection::OpenHelp(const std::string &url)
{
    std::string target = url;
    if (target.find("://") == std::string::npos) {
        std::error_code error;
        target = std::filesystem::current_path(error).string() + "/" + target;
    }
    if (OpenUrl)
        OpenUrl(target);
}

TAllAlertsConnection &AllAlertsConnection()
{
    // Owned through the process-wide pointer and freed explicitly (at unload or application
    // quit), never by a static destructor that could run after Qt is gone.
    if (!Instance())
        Instance() = new TAllAlertsConnection();
    return *Instance();
}

bool AllAlertsConnectionExists()
{
    return Instance() != nullptr;
}

void DestroyAllAlertsConnection()
{
    delete Instance(); // the destructor clears the pointer
}

} // namespace kestrova
