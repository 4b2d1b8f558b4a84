// The session: construction, settings, the link's life, the window registry, help, and the
// process-wide instance.

#include "session/GetAlertData.h"

#include "link/TalkWithServer.h"
#include "net/AsyncSocket.h"
#include "net/LoopTimer.h"
#include "session/Endpoints.h"
#include "session/GenericNetRequest.h"
#include "session/GetAlertDataHelpers.h"
#include "session/MachineIdentity.h"
#include "session/NetSession.h"
#include "support/DebugLog.h"
#include "support/UrlEncoding.h"

#include <QDesktopServices>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <filesystem>

namespace kestrova {

using namespace detail;

namespace {
constexpr uint32_t FirstRetryDelayMs = 500;
constexpr uint32_t LastRetryDelayMs = 10000;

TAllAlertsConnection *&Instance()
{
    static TAllAlertsConnection *session = nullptr;
    return session;
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
    , FRetryTimer(std::make_unique<TLoopTimer>(true))
    , FRetryDelayMs(FirstRetryDelayMs)
    , FJitter(std::random_device {}())
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
    FRetryTimer->OnTimer = [this] {
        RunGuarded("GetAlertData, TAllAlertsConnection.ConnectWake", [this] { ConnectWake(); });
    };
    FDefaultsAdapter = std::make_unique<TDefaultsListenerAdapter>(*this);
    // Net requests (the general-info fetch, pictures) talk through the first session made.
    if (!InstalledNetSession())
        SetNetSession(this);
}

TAllAlertsConnection::~TAllAlertsConnection()
{
    FTimer->Stop();
    FRetryTimer->Stop();
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
    FUnusableAddress.clear();
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

void TAllAlertsConnection::SetTunnel(bool use, const std::string &url)
{
    if (Change(FSettings.UseTunnel, use) | (!url.empty() && Change(FSettings.TunnelUrl, url)))
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
    FLink->OnConnected = [this] { FConnectedSince = FClock.Now(); };
    FLink->OnResponse = [this](bool success, const std::string &, const TMessageToServer &) {
        if (success) {
            FLastReplyTime = FClock.Now();
            if (!FLinkLogsIn)
                LinkProven();
        }
        ReportNetworkActivity(success, "");
    };
    FLink->OnStatusText = [this](const std::string &text) { ReportNetworkActivity(false, text); };
    FLink->Settings = FSettings;
    ++FLinksCreated;
    FReconnectWanted = false;
    FLinkProven = FLinkFailed = FLinkEndNoted = false;
    FConnectedSince = 0;
    FLinkLogsIn = !FUsername.empty() && !FDisconnectedForGood;
    FTimeModeAtLink = FDefaults.ServerTimeMode();
    TMessageHandle ignored;
    if (FTimeModeAtLink)
        FLink->SendMessage(
            { { "command", "set_time_format" }, { "format", "1" } }, false, ignored, nullptr);
    if (FLinkLogsIn) {
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
    FBytesReceivedBefore += link->BytesReceived();
    FBytesSentBefore += link->BytesSent();
    FConnectedSince = 0;
    link->OnDisconnected = nullptr;
    link->OnConnected = nullptr;
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
    if (!FLink || FLink->ConnectStarted())
        return;
    const double waitMs = (FConnectNotBefore - FClock.Now()) * 86400000.0;
    if (waitMs > 0) {
        // Requests wait in the new link until the back-off is over.
        FRetryTimer->Start(static_cast<int>(std::ceil(waitMs)));
        return;
    }
    if (ServerPortUsable())
        FLink->Connect();
}

bool TAllAlertsConnection::ServerPortUsable()
{
    if (FSettings.UseTunnel)
        return true;
    std::string host, port;
    TTalkWithServer::SplitServerAddress(FSettings.ServerAddress, host, port);
    uint16_t number = 0;
    if (ParsePort(port, number))
        return true;
    // Not a port: no attempt can succeed, so none is made until the address changes.
    if (FUnusableAddress != FSettings.ServerAddress) {
        FUnusableAddress = FSettings.ServerAddress;
        ReportNetworkActivity(false,
            "The server address \"" + FSettings.ServerAddress
                + "\" has no usable port: a port is a number from 1 to 65535.");
    }
    return false;
}

void TAllAlertsConnection::LinkProven()
{
    FLinkProven = true;
    FFailuresInRow = 0;
    FRetryDelayMs = FirstRetryDelayMs;
}

void TAllAlertsConnection::LinkFailed()
{
    if (FLinkProven || FLinkFailed)
        return;
    FLinkFailed = true; // one failure per link
    ++FFailuresInRow;
    // About 20 % either way, so that clients dropped together do not come back together.
    std::uniform_real_distribution<double> jitter(0.8, 1.2);
    FConnectNotBefore = FClock.Now() + FRetryDelayMs * jitter(FJitter) / 86400000.0;
    FRetryDelayMs = std::min(FRetryDelayMs * 2, LastRetryDelayMs);
}

void TAllAlertsConnection::NoteLinkEnd(const std::string &reason)
{
    if (!FLink || FLinkEndNoted)
        return;
    FLinkEndNoted = true;
    const TDateTime now = FClock.Now();
    FLinkEnds.push_back({ now, reason });
    if (FLinkEnds.size() > 10)
        FLinkEnds.pop_front();
    if (!OnLinkLost)
        return;
    const double waitMs = std::max(0.0, (FConnectNotBefore - now) * 86400000.0);
    RunGuarded("GetAlertData, TAllAlertsConnection.OnLinkLost", [&] {
        OnLinkLost(reason, FFailuresInRow + 1, static_cast<uint32_t>(std::lround(waitMs)));
    });
}

uint64_t TAllAlertsConnection::BytesReceived() const
{
    return FBytesReceivedBefore + (FLink ? FLink->BytesReceived() : 0);
}

uint64_t TAllAlertsConnection::BytesSent() const
{
    return FBytesSentBefore + (FLink ? FLink->BytesSent() : 0);
}

double TAllAlertsConnection::ServerZoneOffsetDays() const
{
    return std::round(FServerClockOffset * 96) / 96;
}

void TAllAlertsConnection::Restart(const std::string &reason)
{
    FConnectNotBefore = 0;
    FRetryTimer->Stop();
    RestartLink(reason);
}

void TAllAlertsConnection::RestartLink(const std::string &reason)
{
    NoteLinkEnd(reason);
    FTicksSinceReply = 0;
    FReconnectWanted = FReconnectWanted || FLink != nullptr;
    DropLink();
    ScheduleConnect();
    MarkAllForResubscribe();
    SetLoginStatus(lsUnknown, 0, 0);
}

void TAllAlertsConnection::Reset()
{
    FConnectNotBefore = 0;
    FRetryTimer->Stop();
    NoteLinkEnd("logged in afresh");
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
    const std::string reason = FLink ? FLink->ErrorText() : std::string();
    FConnectedSince = 0;
    LinkFailed();
    NoteLinkEnd(reason);
    if (FLink && !FUsername.empty() && !FDisconnectedForGood && !FWindows.empty())
        ReportNetworkActivity(false, reason);
}

void TAllAlertsConnection::MarkAllForResubscribe()
{
    ForEachWindow([](TAlertWindowConnection &window) { window.MarkForResubscribe(); });
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

// ---- misc ----

TDateTime TAllAlertsConnection::GetServerNow() const
{
    return FClock.Now() + FServerClockOffset;
}

void TAllAlertsConnection::ShowHelpTopic(const std::string &topic)
{
    if (HelpEnabled) // alert types are the server's text: escaped so they stay in the path
        OpenHelp(HelpUrl + UrlEncode(topic));
}

void TAllAlertsConnection::ShowPrefixedHelpTopic(const std::string &topic)
{
    if (HelpEnabled)
        OpenHelp(HelpUrl + "WSF_" + UrlEncode(topic));
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
