#pragma once
// The list of the user's symbol lists (id and name of each). TListMaster is the single fetcher:
// it sends "get_list_of_lists", reads the reply and hands the result to every waiting
// subscriber (TListOfListsReal). A failed fetch is retried by a one-shot timer whose delay grows
// by one second per failure up to ten. GUI thread only.

#include "link/Messages.h"
#include "session/OutstandingRequest.h"
#include "session/ServerRequests.h"
#include "symbollists/ListReplies.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kestrova {

class TListOfListsReal;

class TListMaster
{
public:
    explicit TListMaster(IServerRequests &session)
        : Session_(session)
        , Request_(session)
    {
    }
    // Cancels the outstanding request and detaches the subscribers still registered.
    ~TListMaster();
    TListMaster(const TListMaster &) = delete;
    TListMaster &operator=(const TListMaster &) = delete;

    // Starts over: RetryCount = 0, then FetchLists.
    void RequestNow();
    // Sends the request unless one is outstanding; without a user name an empty result is
    // delivered at once.
    void FetchLists();
    // The one-shot retry timer fired: it disables itself and fetches again when a subscriber
    // still waits.
    void RetryTimerFired();

    bool RequestOutstanding() const { return Request_.Outstanding(); }
    uint32_t RetryCount() const { return RetryCount_; }
    bool RetryTimerEnabled() const { return RetryEnabled_; }
    int RetryIntervalMs() const { return RetryIntervalMs_; }
    size_t SubscriberCount() const { return Subscribers_.size(); }

    // Called whenever the retry timer is enabled or disabled (the event-loop timer follows it).
    std::function<void()> OnRetryTimerChanged;

private:
    friend class TListOfListsReal;
    void Subscribe(TListOfListsReal *subscriber);
    void Unsubscribe(TListOfListsReal *subscriber);
    void ReceiveData(bool success, const std::string &body);
    void Deliver(const TLists &lists);
    void Failed();
    void SetRetryTimer(bool enabled, int intervalMs);

    IServerRequests &Session_;
    std::vector<TListOfListsReal *> Subscribers_;
    TOutstandingRequest Request_;
    uint32_t RetryCount_ = 0;
    uint64_t ResetStamp_ = 0;
    bool RetryEnabled_ = false;
    int RetryIntervalMs_ = 1000;
};

// One subscriber of the master. Construction registers it and requests the lists; the handler
// gets every delivery made while it was waiting (possibly before the constructor returns, when
// no user name is set).
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
    bool Waiting() const { return Waiting_; }
    // The last delivered result.
    const TLists &Lists() const { return Lists_; }

private:
    friend class TListMaster;
    void Receive(const TLists &lists);

    TListMaster *Master_;
    TListsReadyEvent OnListsReady_;
    bool Waiting_ = false;
    TLists Lists_;
};

} // namespace kestrova
