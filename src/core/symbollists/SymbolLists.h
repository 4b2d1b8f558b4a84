#pragma once
// The user's symbol lists on the server. Each list (positive id) has one TListController that
// collects the host's edits in a TListDelta and turns them into "update_list" requests: edits made
// while a request is in flight are merged into one later request, and a failed request is resent
// with every edit made meanwhile, two timer ticks later, doubling with each failure in a row up to
// a minute. Each list waits on its own: one failing list holds back no other list's edits.
// TDeleteAllLists removes every list and holds back all updates while it is pending.
// TSymbolListsHub owns the controllers, the delete-all and the list-of-lists fetcher, and drives
// them from one 1000 ms timer. GUI thread only.

#include "session/OutstandingRequest.h"
#include "session/ServerRequests.h"
#include "symbollists/ListDeltas.h"
#include "symbollists/ListOfLists.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

class TDeleteAllLists;

// One symbol list on the server. Created by TSymbolListsHub; lives as long as the hub and
// cancels its outstanding request when destroyed.
class TListController
{
public:
    TListController(int32_t listId, IServerRequests &session, const TDeleteAllLists &deleteAll);
    ~TListController();
    TListController(const TListController &) = delete;
    TListController &operator=(const TListController &) = delete;

    int32_t ListId() const { return FListId; }
    const std::string &Name() const { return FName; }
    // Stored only; the name reaches the server with the list's next update.
    void SetName(const std::string &name) { FName = name; }

    void AddSymbol(const std::string &s);
    void DeleteSymbol(const std::string &s);
    void ReplaceAll(const std::vector<std::string> &list);
    void DeleteList();
    // Asks for the list's symbols with the next update; they arrive in Symbols().
    void RequestSymbols();

    // Drops every unsent and unacknowledged edit, cancels the outstanding request and forgets
    // earlier failures.
    void CancelAll();
    // Sends the merged edits when nothing holds them back.
    void TrySend();
    // The 1000 ms tick: counts down the retry delay, then TrySend.
    void Tick();

    bool RequestOutstanding() const { return FRequest.Outstanding(); }
    // Ticks left before a failed update is resent; failures in a row so far.
    uint32_t RetryDelay() const { return FRetryDelay; }
    uint32_t Failures() const { return FFailures; }
    static constexpr uint32_t MaxRetryTicks = 60;
    const std::optional<TListDelta> &Pending() const { return FPending; }
    const std::optional<TListDelta> &InFlight() const { return FInFlight; }
    bool SymbolsValid() const { return FSymbolsValid; }
    const TSortedStrings &Symbols() const { return FSymbols; }

private:
    TListDelta &EnsurePending();
    void OnRequestFinished(bool success, const std::string &body);

    const int32_t FListId;
    IServerRequests &FSession;
    const TDeleteAllLists &FDeleteAll;
    std::string FName;
    std::optional<TListDelta> FPending, FInFlight;
    TOutstandingRequest FRequest;
    uint32_t FRetryDelay = 0;
    uint32_t FFailures = 0;
    bool FSymbolsValid = false;
    TSortedStrings FSymbols;
};

// Removes every list on the server ("delete_all_lists"); while it is in flight or waiting to be
// resent, no list update is sent.
class TDeleteAllLists
{
public:
    explicit TDeleteAllLists(IServerRequests &session)
        : FSession(session)
        , FRequest(session)
    {
    }
    TDeleteAllLists(const TDeleteAllLists &) = delete;
    TDeleteAllLists &operator=(const TDeleteAllLists &) = delete;

    // Sends the request, or marks it for resending when one is in flight. Does nothing without a
    // user name.
    void Send();
    // The 1000 ms tick: resends a failed or superseded request.
    void Tick();
    bool InFlight() const { return FInFlight; }
    bool Resend() const { return FResend; }
    bool HoldsBackUpdates() const { return FInFlight || FResend; }

private:
    void OnRequestFinished(bool success, const std::string &body);

    IServerRequests &FSession;
    bool FInFlight = false;
    bool FResend = false;
    TOutstandingRequest FRequest;
};

class TSymbolListsTimers;

// Owns the process-wide symbol-list objects. The session passed in must outlive the hub; so must
// the hub every TListOfListsReal and TSymbolListExports that uses it. With runTimers the hub
// drives itself from the event loop; tests pass false and call Tick and the master's
// RetryTimerFired directly.
class TSymbolListsHub
{
public:
    explicit TSymbolListsHub(IServerRequests &session, bool runTimers = true);
    ~TSymbolListsHub();
    TSymbolListsHub(const TSymbolListsHub &) = delete;
    TSymbolListsHub &operator=(const TSymbolListsHub &) = delete;

    // The controller of a list, created on first use. An id <= 0 raises EAssertionFailed.
    TListController &GetListController(int32_t listId);
    // The controller of a list, or null when none was created yet.
    TListController *FindListController(int32_t listId) const;

    // Drops the edits and outstanding requests of every list.
    void CancelAll();
    // CancelAll, then removes every list on the server.
    void DeleteAllLists();
    // The 1000 ms timer.
    void Tick();
    // Lists whose edits the server has not acknowledged yet (unsent, in flight or waiting to be
    // resent), counting a pending delete-all as one.
    int32_t EditsWaiting() const;

    IServerRequests &Session() const { return FSession; }
    TDeleteAllLists &DeleteAll() { return FDeleteAll; }
    TListMaster &Master() { return FMaster; }

    static constexpr int TickIntervalMs = 1000;

private:
    IServerRequests &FSession;
    TDeleteAllLists FDeleteAll;
    TListMaster FMaster;
    std::map<std::string, std::unique_ptr<TListController>> FControllers; // keyed by decimal id
    std::unique_ptr<TSymbolListsTimers> FTimers; // last: stopped before anything else goes
};

} // namespace kestrova
