#pragma once
// One client connection of the server, free of sockets: bytes in (preamble, then one zlib
// stream of requests), frames out (one zlib stream, flushed per batch). Long-poll and fault
// timing follow the server state's clock, so tests drive it without waiting.

#include "Backtests.h"
#include "DataConfig.h"
#include "ServerState.h"
#include "link/Messages.h"
#include "link/WireFormat.h"
#include "link/ZLibStreams.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova::alertd {

// A request longer than this (decompressed) is taken for garbage.
constexpr size_t MaxRequestBytes = 1 << 20;
// A connection that has not asked to log in by then is closed, and so is one whose unfinished
// request began this long ago: neither may hold the server's memory for ever.
constexpr int64_t LoginTimeoutMs = 10 * 1000;
constexpr int64_t UnfinishedRequestTimeoutMs = 30 * 1000;

class TAlertdSession
{
public:
    TAlertdSession(TServerState &state, int number);
    // Parks the account's live windows, so that a resuming login finds their alerts.
    ~TAlertdSession();
    TAlertdSession(const TAlertdSession &) = delete;
    TAlertdSession &operator=(const TAlertdSession &) = delete;

    // Bytes from the client. Garbage makes WantsClose() true.
    void Receive(std::string_view bytes);
    // Periodic: closes a connection past its login or request time, answers an idle long poll
    // with a heartbeat, fires timed faults.
    void Tick();
    // The alert log grew: answers the long poll when a window has alerts.
    void OnMarketAlerts();
    // Compressed bytes to send now (everything produced so far, flushed).
    std::string TakeOutput();

    bool WantsClose() const { return FClose; }
    const std::string &CloseReason() const { return FCloseReason; }
    int Number() const { return FNumber; }
    bool PollOutstanding() const { return FPollId != 0; }
    size_t WindowCount() const { return FWindows.size(); }
    // Input held for an unfinished preamble or request.
    size_t BufferedBytes() const;

private:
    struct TWindow
    {
        TWindowFilter Filter;
        bool Live = true; // false while the window shows history
        int64_t StartAfter = 0; // live alerts with a larger log id are for this window
        std::vector<TAlert> Backlog;
    };

    void Close(const std::string &reason);
    void Handle(const TMessageToServer &request);
    void Reply(int32_t id, const std::string &body);
    void Log(const std::string &text) const;
    // The user's store is open to this connection: a login succeeded and was not taken back.
    bool LoggedIn() const { return !FRefused && !FAccount.empty(); }

    void Login(int32_t id, const TMessageToServer &request);
    void SetConfig(int32_t id, const TMessageToServer &request);
    void SendHistory(
        const std::string &windowId, const TWindowFilter &filter, const TMessageToServer &request);
    // update_list, delete_all_lists and get_list_of_lists: refused unless logged in.
    void ListRequest(int32_t id, const std::string &command, const TMessageToServer &request);
    void UpdateList(int32_t id, const TMessageToServer &request);
    void GetAlerts(int32_t id);
    void ResolveLists(TWindowFilter &filter);
    void ResolveAllLists();
    // Everything the re-subscribed windows missed since the resume point, in id order.
    void BuildResumeQueue();

    // Collects the windows' new alerts from the log; answers the poll when there are some
    // (or always, when heartbeat is set).
    void AnswerPoll(bool heartbeat);
    void WriteAlert(class TXmlWriter &xml, const TAlert &alert) const;
    std::string TimeText(int64_t unixSeconds) const;
    double Elapsed() const;

    TServerState &FState;
    int FNumber;
    int64_t FOpenedMs;

    // Input
    std::string FPreamble;
    bool FPreambleDone = false;
    TZLibDecompressor FInflate;
    TRequestReader FRequests;
    int64_t FUnfinishedSinceMs = -1; // when the unfinished request began; -1: none
    bool FLoginAsked = false;

    // Output
    TZLibCompressor FDeflate { 1 }; // fastest level: alert streams are large and repetitive
    std::string FExtraRaw; // bytes sent after the compressed output (faults)
    uint64_t FBytesSent = 0;

    // Session
    std::string FAccount;
    bool FRefused = false; // bad login or logged out for good: no alerts
    bool FServerTime = false;
    int32_t FLoginId = 0;
    int32_t FHistoryListenId = 0;
    std::vector<std::string> FHeldHistory; // history bodies waiting for history_listen
    std::map<std::string, TWindow> FWindows;
    int32_t FPollId = 0;
    int64_t FPollSinceMs = 0;
    int64_t FCursor = 0; // log id scanned up to
    // Resuming login: the client's last id (-1: none) and the log's last id at login; set
    // until the first get_alerts, while the windows are re-subscribed.
    int64_t FResumeAfter = -1;
    int64_t FResumeUpTo = 0;
    std::optional<TParkedWindows> FParked;
    std::deque<TBufferedAlert> FResumeQueue;
    TBacktests FBacktests; // ends with the connection

    // Faults
    std::vector<bool> FFired;
    int64_t FNextRestartMs = 0;
    bool FSilent = false;
    bool FBadXmlArmed = false;

    bool FClose = false;
    std::string FCloseReason;
};

std::string FormatAlertNumber(double value);

} // namespace kestrova::alertd
