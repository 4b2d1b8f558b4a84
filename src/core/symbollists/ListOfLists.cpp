#include "symbollists/ListOfLists.h"

#include "support/DebugLog.h"

#include <algorithm>

namespace kestrova {

TListMaster::~TListMaster()
{
    FRequest.Cancel();
    for (TListOfListsReal *subscriber : FSubscribers)
        subscriber->FMaster = nullptr;
}

void TListMaster::RequestNow()
{
    FRetryCount = 0;
    FetchLists();
}

void TListMaster::FetchLists()
{
    if (FRequest.Outstanding() || FDue)
        return;
    if (FSession.Username().empty()) {
        DeliverFromLoop({});
        return;
    }
    FResetStamp = FSession.ResetCount();
    // A request without any reply to wait for counts as a failed fetch.
    FFetching = true;
    try {
        FRequest.Send({ { "command", "get_list_of_lists" } },
            "ListOfListsUnit, TListMaster.ReceiveData",
            [this](bool success, const std::string &body) { ReceiveData(success, body); });
    } catch (...) {
        FFetching = false;
        throw;
    }
    FFetching = false;
}

void TListMaster::ReceiveData(bool success, const std::string &body)
{
    // A reply to a request sent before the session was reset belongs to another login.
    if (success && FSession.ResetCount() == FResetStamp) {
        TLists lists;
        bool parsed = false;
        try {
            lists = ParseListsReply(body);
            parsed = true;
        } catch (const EListRequestRefused &) {
            // Asked again later; an empty array would tell the host it has no lists.
        } catch (const std::exception &e) {
            ReportException(e, "ListOfListsUnit, TListMaster.ReceiveData, \"" + body + "\"");
        }
        if (parsed) {
            Deliver(lists);
            return;
        }
    }
    Failed();
}

void TListMaster::DeliverFromLoop(TLists lists)
{
    FDue = std::move(lists);
    SetRetryTimer(true, 0);
}

void TListMaster::Deliver(const TLists &lists)
{
    if (FFetching) {
        DeliverFromLoop(lists); // answered while being sent
        return;
    }
    // A handler may subscribe, unsubscribe or request again: walk a snapshot and skip the ones
    // that left meanwhile.
    const std::vector<TListOfListsReal *> snapshot = FSubscribers;
    for (TListOfListsReal *subscriber : snapshot) {
        const bool stillHere
            = std::find(FSubscribers.begin(), FSubscribers.end(), subscriber) != FSubscribers.end();
        if (stillHere && subscriber->FWaiting)
            subscriber->Receive(lists);
    }
}

void TListMaster::Failed()
{
    ++FRetryCount;
    SetRetryTimer(true, int(std::min<uint32_t>(FRetryCount, 10)) * 1000);
}

void TListMaster::RetryTimerFired()
{
    SetRetryTimer(false, FRetryIntervalMs);
    if (FDue) {
        const TLists lists = std::move(*FDue);
        FDue.reset();
        Deliver(lists);
        return;
    }
    for (const TListOfListsReal *subscriber : FSubscribers)
        if (subscriber->FWaiting) {
            FetchLists();
            return;
        }
}

void TListMaster::SetRetryTimer(bool enabled, int intervalMs)
{
    FRetryEnabled = enabled;
    FRetryIntervalMs = intervalMs;
    if (OnRetryTimerChanged)
        OnRetryTimerChanged();
}

void TListMaster::Subscribe(TListOfListsReal *subscriber)
{
    FSubscribers.push_back(subscriber);
}

void TListMaster::Unsubscribe(TListOfListsReal *subscriber)
{
    const auto it = std::find(FSubscribers.begin(), FSubscribers.end(), subscriber);
    if (it == FSubscribers.end())
        return;
    *it = FSubscribers.back(); // the last subscriber takes the freed slot
    FSubscribers.pop_back();
}

TListOfListsReal::TListOfListsReal(TListMaster &master, TListsReadyEvent onListsReady)
    : FMaster(&master)
    , FOnListsReady(std::move(onListsReady))
{
    master.Subscribe(this);
    Request();
}

TListOfListsReal::~TListOfListsReal()
{
    if (FMaster)
        FMaster->Unsubscribe(this);
}

void TListOfListsReal::Request()
{
    FWaiting = true;
    if (FMaster)
        FMaster->RequestNow();
}

void TListOfListsReal::Receive(const TLists &lists)
{
    FWaiting = false;
    FLists = lists;
    if (FOnListsReady)
        RunGuarded(
            "ListOfListsUnit, TListOfListsReal.OnListsReady", [&] { FOnListsReady(FLists); });
}

} // namespace kestrova
