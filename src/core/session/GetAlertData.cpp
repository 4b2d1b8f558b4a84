// The session: construction, settings, the link's life, the window registry, help, and the
// process-wide instance.

#include "session/GetAlertData.h"

#include "link/TalkWithServer.h"
#include "net/LoopTimer.h"
#include "session/Endpoints.h"
#include "session/GenericNetRequest.h"
#include "session/GetAlertDataHelpers.h"
#include "session/MachineIdentity.h"
#include "session/NetSession.h"
#include "support/DebugLog.h"

#include <QDesktopServices>
#include <QUrl>
#include <algorithm>
#include <filesystem>

namespace kestrova {

using namespace detail;

namespace {
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
