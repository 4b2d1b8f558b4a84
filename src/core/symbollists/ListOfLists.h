#pragma once
// The list of the user's symbol lists (id and name of each). TListMaster is the single fetcher:
// it sends "get_list_of_lists", reads the reply and hands the result to every waiting
// subscriber (TListOfListsReal). A failed fetch is retried by a one-shot timer whose delay grows
// by one second per failure up to ten. A result is never handed over inside the call that asked
// for it (a handler that asks again would nest without end): such a result is due and goes out
// when the same timer fires at once from the event loop. GUI thread only.

#include "link/Messages.h"
#include "session/OutstandingRequest.h"
#include "session/ServerRequests.h"
#include "symbollists/ListReplies.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kestrova {

class TListOfListsReal;

class TListMaster
{
public:
    explicit TListMaster(IServerRequests &session)
        : FSession(session)
        , FRequest(session)
    {
    }
    // Cancels the outstanding request and detaches the subscribers still registered.
    ~TListMaster();
    TListMaster(const TListMaster &) = delete;
    TListMaster &operator=(const TListMaster &) = delete;

    // Starts over: RetryCount = 0, then FetchLists.
    void RequestNow();
    // Sends the request unless one is outstanding or a result is due; without a user name an
    // empty result becomes due.
    void FetchLists();
    // The one-shot timer fired: it disables itself, then hands out the due result, or else
    // fetches again when a subscriber still waits.
    void RetryTimerFired();

    bool RequestOutstanding() const { return FRequest.Outstanding(); }
    uint32_t RetryCount() const { return FRetryCount; }
    bool RetryTimerEnabled() const { return FRetryEnabled; }
    int RetryIntervalMs() const { return FRetryIntervalMs; }
    size_t SubscriberCount() const { return FSubscribers.size(); }
    bool ResultDue() const { return FDue.has_value(); }

    // Called whenever the retry timer is enabled or disabled (the event-loop timer follows it).
    std::function<void()> OnRetryTimerChanged;

private:
    friend class TListOfListsReal;
    void Subscribe(TListOfListsReal *subscriber);
    void Unsubscribe(TListOfListsReal *subscriber);
    void ReceiveData(bool success, const std::string &body);
    void Deliver(const TLists &lists);
    void DeliverFromLoop(TLists lists);
    void Failed();
    void SetRetryTimer(bool enabled, int intervalMs);

    IServerRequests &FSession;
    std::vector<TListOfListsReal *> FSubscribers;
    TOutstandingRequest FRequest;
    uint32_t FRetryCount = 0;
    uint64_t FResetStamp = 0;
    bool FRetryEnabled = false;
    int FRetryIntervalMs = 1000;
    bool FFetching = false; // inside FetchLists: a result now would reach its asker
    std::optional<TLists> FDue;
};

// One subscriber of the master. Construction registers it and requests the lists; the handler
// gets every delivery made while it was waiting, always from the event loop, never inside the
// constructor or Request.
class TListOfListsReal
{
public:
    using TListsReadyEvent = std::function<void(const TLists &lists)>;

    TListOfListsReal(TListMaster &master, TListsReadyEvent onListsReady);
    ~TListOfListsReal();
    TListOfListsReal(const TListOfListsReal &) = delete;
    TListOfListsReal &operator=(const TListOfListsReal &) = delete;

    // Waits for the next delivery and has the master fetch afresh.
    void Request();
    bool Waiting() const { return FWaiting; }
    // The last delivered result.
    const TLists &Lists() const { return FLists; }

private:
    friend class TListMaster;
    void Receive(const TLists &lists);

    TListMaster *FMaster;
    TListsReadyEvent FOnListsReady;
    bool FWaiting = false;
    TLists FLists;
};

} // namespace kestrova
