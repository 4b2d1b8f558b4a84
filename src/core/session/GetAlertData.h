#pragma once
// The alert-service session of the process (TAllAlertsConnection); the per-window subscriptions
// on it (TAlertWindowConnection) come with it. GUI thread only: everything is driven by the
// session's 500 ms timer, its wake-ups and the request channel's notifications.

#include "link/RequestChannel.h"
#include "link/WakeMeSoon.h"
#include "session/AlertRecord.h"
#include "session/GetAlertDataWindow.h"
#include "session/ServerRequests.h"
#include "session/TimeDefaults.h"
#include "support/Clock.h"
#include "xml/XmlNodes.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace kestrova {

class TLoopTimer;
class TGenericNetRequest;
class TDefaultsListenerAdapter;

enum TLoginState {
    lsUnknown = 0,
    lsGood = 1,
    lsAnotherUser = 2,
    lsBadUsername = 3,
    lsBadPassword = 4,
    lsRequirePayment = 5
};

// Codes of OnStatusMessage.
enum TStatusCode {
    scServerMessage = 0,
    scReset = 1,
    scNetworkSuccess = 2,
    scNetworkFailure = 3,
    scLatency = 4
};

class TAllAlertsConnection : public IServerRequests
{
public:
    using TChannelFactory = std::function<std::unique_ptr<IRequestChannel>()>;

    // channels: how links are made (empty: the real request channel, built with wakes). clock:
    // what "now" and the ping counter are read from. wakes: how the deferred wake-ups are made
    // (empty: on the event loop). defaults: the time mode and listeners the session follows.
    // Clock and defaults must outlive the session.
    explicit TAllAlertsConnection(TChannelFactory channels = {},
        const IClock &clock = ProcessClock(), TWakeFactory wakes = {},
        TSharedDefaults &defaults = SharedDefaults());
    ~TAllAlertsConnection() override;
    TAllAlertsConnection(const TAllAlertsConnection &) = delete;
    TAllAlertsConnection &operator=(const TAllAlertsConnection &) = delete;

    // Settings. A setter that changes nothing does nothing.
    void SetServerAddress(const std::string &address);
    void SetVendorId(const std::string &vendorId);
    void SetUsername(const std::string &username);
    void SetPassword(const std::string &password);
    void SetHttpProxy(const std::string &username, const std::string &password,
        const std::string &host, int32_t port);
    void SetSocksProxy(const std::string &server, int32_t level, int32_t port,
        const std::string &username, const std::string &password);
    // Not an export: use carries the conversation over the HTTP tunnel whose reader page is url
    // ("" keeps the current one); false goes back to TCP. A change restarts the link.
    void SetTunnel(bool use, const std::string &url = {});
    const std::string &ServerAddress() const { return FSettings.ServerAddress; }
    const std::string &VendorId() const { return FVendorId; }
    const std::string &Password() const { return FPassword; }

    std::string HelpUrl;
    bool HelpEnabled = false;
    std::string WebViewUrl;
    std::string ReplacementSamplesUrl;

    // Both drop the link; the next one connects at once, whatever the back-off. reason: why, for
    // the diagnostics.
    void Reset();
    void Restart(const std::string &reason = "settings changed");

    // IServerRequests
    void SendRequest(const TMessageToServer &message, TMessageHandle &handle,
        TServerResponseEvent onReply) override;
    void CancelRequest(const TMessageHandle &handle) override;
    std::string Username() const override { return FUsername; }
    bool LoginRefused() const override
    {
        return FLoginState == lsBadUsername || FLoginState == lsBadPassword || FDisconnectedForGood;
    }
    uint64_t ResetCount() const override { return FResetCount; }
    TConnectionSettings ConnectionSettings() const override { return FSettings; }
    void ReportNetworkActivity(bool success, const std::string &text) override;

    void AddWindow(TAlertWindowConnection *window);
    void RemoveWindow(TAlertWindowConnection *window);
    const std::vector<TAlertWindowConnection *> &Windows() const { return FWindows; }

    TDateTime GetServerNow() const;
    const IClock &Clock() const { return FClock; }
    TSharedDefaults &Defaults() const { return FDefaults; }
    void ShowHelpTopic(const std::string &topic);
    void ShowPrefixedHelpTopic(const std::string &topic);

    // (code, text); see TStatusCode.
    std::function<void(int code, const std::string &text)> OnStatusMessage;
    // (state, next payment); called when the login status changes.
    std::function<void(TLoginState state, int32_t nextPayment)> OnLoginStatus;
    // Opens a URL (the desktop's browser by default; tests replace it).
    std::function<void(const std::string &url)> OpenUrl;

    // State, for the window connections, the grid and tests.
    bool DisconnectedForGood() const { return FDisconnectedForGood; }
    TLoginState LoginState() const { return FLoginState; }
    int32_t NextPayment() const { return FNextPayment; }
    int32_t QuorixEntitlement() const { return FQuorixEntitlement; }
    const std::string &RestartLastId() const { return FRestartLastId; }
    const std::string &RestartKey() const { return FRestartKey; }
    const std::string &RestartSequence() const { return FRestartSequence; }
    uint64_t LinksCreated() const { return FLinksCreated; }
    // Reconnection back-off: after a link that failed before it proved itself (a good login, or
    // any reply when it sends no login) the next one connects no earlier than ConnectNotBefore()
    // (0: at once); the wait starts at 0.5 s and doubles up to 10 s, each with about 20 %
    // jitter, and is back to 0.5 s after a good login.
    TDateTime ConnectNotBefore() const { return FConnectNotBefore; }
    uint32_t RetryDelayMs() const { return FRetryDelayMs; }
    bool HasLink() const { return FLink != nullptr; }
    IRequestChannel *Link() const { return FLink.get(); }
    bool PollOutstanding() const { return FPollOutstanding; }
    uint32_t TicksSinceReply() const { return FTicksSinceReply; }
    // The last general-info document's top element, or null.
    PXmlNode GeneralInfo() const { return FGeneralInfo; }
    PXmlNode ViewMru() const { return FViewMru; }
    TDateTime ChartRefreshTime() const { return FChartRefreshTime; }
    // Called when chart pictures must be fetched anew (the icon cache plugs in here).
    std::function<void()> OnDiscardCharts;

    // What the link has done, for diagnostics. Times are local date-times of the session's
    // clock; 0 when it has not happened.
    struct TLinkEnd
    {
        TDateTime Time;
        std::string Reason;
    };
    // The ends of the last ten links, oldest first.
    const std::deque<TLinkEnd> &RecentLinkEnds() const { return FLinkEnds; }
    TDateTime ConnectedSince() const { return FConnectedSince; }
    TDateTime LastReplyTime() const { return FLastReplyTime; }
    // The last ping's round trip in milliseconds; -1 before the first.
    int64_t LastRoundTripMs() const { return FLastRoundTripMs; }
    // Bytes on the wire (compressed), over every link so far.
    uint64_t BytesReceived() const;
    uint64_t BytesSent() const;
    // Alerts handed to windows (live and history).
    uint64_t AlertsReceived() const { return FAlertsReceived; }
    void CountAlertsReceived(size_t count) { FAlertsReceived += count; }
    // How far the server's wall clock is ahead of this machine's, to the quarter hour (the
    // server's time zone in server-time mode); learnt at login, 0 before.
    double ServerZoneOffsetDays() const;
    // Called when a link ends: why, the number of the attempt that comes next (1 after a link
    // that worked) and how long the back-off holds it back (ms; 0: it may start at once). The
    // next link is made when there is work for the server (at once while windows exist).
    std::function<void(const std::string &reason, uint32_t attempt, uint32_t delayMs)> OnLinkLost;

    // Event handlers; public so tests can drive them without waiting.
    void TimerTick();
    void ConnectWake();
    void PollWake();
    void TimeModeCheck();

    // Standing listens, used by the window connections.
    TMessageHandle HistoryListenId, QuorixListenId;
    bool QuorixResendPending = false;
    void SendPersistent(
        const TMessageToServer &message, TMessageHandle &handle, TServerResponseEvent onReply);
    void SchedulePoll();
    void ReceiveHistoryData(bool success, const std::string &body);
    void QuorixData(bool success, const std::string &body);
    // Hands the alerts of parent to window (see ForEachAlertBatch; live batches last to
    // first); stops when a handler has freed the window.
    void DeliverAlerts(TAlertWindowConnection &window, const IXmlNode &parent, bool isHistory);

private:
    void EnsureLink();
    void DropLink();
    // Restart without clearing the back-off (the session's own restarts).
    void RestartLink(const std::string &reason);
    void LinkProven();
    void LinkFailed();
    // Records why the current link ends (when there is one that has not ended yet) and tells
    // OnLinkLost.
    void NoteLinkEnd(const std::string &reason);
    // False (after reporting it once per address) when the address's port cannot be one.
    bool ServerPortUsable();
    void ScheduleConnect();
    void MarkAllForResubscribe();
    void DeliverEmptyLiveBatches();
    void SetLoginStatus(TLoginState state, int32_t nextPayment, int32_t quorix);
    void ReceiveLogin(bool success, const std::string &body);
    void HandleLoginReply(const std::string &body);
    void SendPing();
    void ReceivePing(bool success);
    void ReceiveAlertData(bool success, const std::string &body);
    void RouteAlertData(const std::string &body);
    void ReceiveGeneralInfo(const std::string &text);
    void ResendQuorix();
    void LinkDisconnected();
    TAlertWindowConnection *FindWindowFromEnd(const std::string &windowId) const;
    // Calls action for every registered window; a window freed by an earlier call is skipped.
    void ForEachWindow(const std::function<void(TAlertWindowConnection &)> &action);
    // Hands each message of a listen reply to the window its "WINDOW" attribute names.
    void DispatchWindowMessages(const std::string &body, const char *what,
        void (TAlertWindowConnection::*handle)(const IXmlNode &));
    void OpenHelp(const std::string &url);

    TChannelFactory FFactory;
    const IClock &FClock;
    TSharedDefaults &FDefaults;
    TConnectionSettings FSettings;
    std::string FUsername, FPassword, FVendorId;

    std::unique_ptr<IRequestChannel> FLink;
    // Dropped links, closed but freed only once none of their handlers can be running.
    std::vector<std::unique_ptr<IRequestChannel>> FDeadLinks;
    bool FReconnectWanted = false;
    std::vector<TAlertWindowConnection *> FWindows;
    bool FDisconnectedForGood = false;
    std::string FRestartLastId, FRestartKey, FRestartSequence;
    bool FPollOutstanding = false;
    uint32_t FTicksSinceReply = 0;
    TDateTime FNextPingTime = 0, FNextGeneralInfoTime = 0, FChartRefreshTime = 0;
    double FServerClockOffset = 0;
    TMessageHandle FPingId;
    int64_t FPingStart = 0;
    PXmlNode FGeneralInfo, FViewMru;
    std::unique_ptr<TGenericNetRequest> FGeneralInfoRequest;
    bool FTimeModeAtLink = false;
    TLoginState FLoginState = lsUnknown;
    int32_t FNextPayment = 0, FQuorixEntitlement = 0;
    uint64_t FResetCount = 0, FLinksCreated = 0;

    // Connect, poll, and the freeing of dropped links.
    std::unique_ptr<IWakeUp> FConnectWake, FPollWake, FReapWake;
    std::unique_ptr<TLoopTimer> FTimer;
    // Back-off: the single-shot timer that comes back to ConnectWake once the wait is over.
    std::unique_ptr<TLoopTimer> FRetryTimer;
    TDateTime FConnectNotBefore = 0;
    uint32_t FRetryDelayMs;
    bool FLinkProven = false, FLinkFailed = false, FLinkLogsIn = false, FLinkEndNoted = false;
    uint32_t FFailuresInRow = 0;
    std::deque<TLinkEnd> FLinkEnds;
    TDateTime FConnectedSince = 0, FLastReplyTime = 0;
    int64_t FLastRoundTripMs = -1;
    uint64_t FBytesReceivedBefore = 0, FBytesSentBefore = 0; // by links already dropped
    uint64_t FAlertsReceived = 0;
    std::minstd_rand FJitter;
    std::string FUnusableAddress; // the address whose bad port was last reported
    std::unique_ptr<TDefaultsListenerAdapter> FDefaultsAdapter;
};

// The process-wide session, created on first use.
TAllAlertsConnection &AllAlertsConnection();
// Frees the process-wide session (library unload, application quit); safe to call twice.
void DestroyAllAlertsConnection();
bool AllAlertsConnectionExists();

// Reads one alert element. A malformed fraction raises; a malformed integer reads as 0.
TAlertRecord ParseAlert(const IXmlNode &alert);
// Reads the ALERT children of a node, in document order.
TAlertRecords ParseAlerts(const IXmlNode &parent);
// The number of ALERT children of a node.
size_t CountAlerts(const IXmlNode &parent);
// Raises, as reading them would, when an ALERT child of parent cannot be read.
void CheckAlerts(const IXmlNode &parent);

// The most alerts one delivered batch holds. A part (or history message) of at most this many
// alerts reaches its window as one batch. A larger one, which only a hostile or broken server
// sends, arrives as consecutive batches cut from its first alert on, so that its records and its
// tree are never all alive at once. What the window and the grid see then: every alert, in the
// order one batch would have given them (history first to last, live last to first, each alert
// once to the each-alert callback); the history count goes down by the same total. What differs
// is that each batch is a batch of its own to the alert list: live, its rows all come from the
// last batch (the part's first and newest alerts, a full batch larger than the list), so the
// highlighted rows are those one batch would give; history, the rows kept come from the first
// batch and no longer read as the newest; the per-symbol store is cut back after each batch.
inline constexpr size_t AlertBatchLimit = 4096;
// Calls deliver with the records of parent's alerts in batches of at most AlertBatchLimit
// (one batch, maybe empty, when they fit): in document order, or with lastToFirst the last batch
// first. Stops when deliver returns false.
void ForEachAlertBatch(const IXmlNode &parent, bool lastToFirst,
    const std::function<bool(TAlertRecords records)> &deliver);
// "TIME" attribute: the 19-character "yyyy-mm-dd hh:mm:ss" form (local, UnixTime 0) or Unix
// seconds (converted to local time).
void ParseAlertTime(std::string_view text, int32_t &unixTime, TDateTime &time);

} // namespace kestrova
