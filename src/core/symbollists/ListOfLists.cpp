#include "symbollists/ListOfLists.h"

#include "support/DebugLog.h"

#include <algorithm>

namespace kestrova {

TListMaster::~TListMaster()
{
    Request_.Cancel();
    for (TListOfListsReal *subscriber : Subscribers_)
        subscriber->Master_ = nullptr;
}

void TListMaster::RequestNow()
{
    RetryCount_ = 0;
    FetchLists();
}

void TListMaster::FetchLists()
{
    if (Request_.Outstanding())
        return;
    if (Session_.Username().empty()) {
        Deliver({});
        return;
    }
    ResetStamp_ = Session_.ResetCount();
    // A request without any reply to wait for counts as a failed fetch.
    Request_.Send({ { "command", "get_list_of_lists" } },
        "ListOfListsUnit, TListMaster.ReceiveData",
        [this](bool success, const std::string &body) { ReceiveData(success, body); });
}

void TListMaster::ReceiveData(bool success, const std::string &body)
{
    // A reply to a request sent before the session was reset belongs to another login.
    if (success && Session_.ResetCount() == ResetStamp_) {
        TLists lists;
        bool parsed = false;
        try {
            lists = ParseListsReply(body);
            parsed = true;
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

void TListMaster::Deliver(const TLists &lists)
{
    // A handler may subscribe, unsubscribe or request again: walk a snapshot and skip the ones
    // that left meanwhile.
    const std::vector<TListOfListsReal *> snapshot = Subscribers_;
    for (TListOfListsReal *subscriber : snapshot) {
        const bool stillHere
            = std::find(Subscribers_.begin(), Subscribers_.end(), subscriber) != Subscribers_.end();
        if (stillHere && subscriber->Waiting_)
            subscriber->Receive(lists);
    }
}

void TListMaster::Failed()
{
    ++RetryCount_;
    SetRetryTimer(true, int(std::min<uint32_t>(RetryCount_, 10)) * 1000);
}

void TListMaster::RetryTimerFired()
{
    SetRetryTimer(false, RetryIntervalMs_);
    for (const TListOfListsReal *subscriber : Subscribers_)
        if (subscriber->Waiting_) {
            FetchLists();
            return;
        }
}

void TListMaster::SetRetryTimer(bool enabled, int intervalMs)
{
    RetryEnabled_ = enabled;
    RetryIntervalMs_ = intervalMs;
    if (OnRetryTimerChanged)
        OnRetryTimerChanged();
}

void TListMaster::Subscribe(TListOfListsReal *subscriber)
{
    Subscribers_.push_back(subscriber);
}

void TListMaster::Unsubscribe(TListOfListsReal *subscriber)
{
    const auto it = std::find(Subscribers_.begin(), Subscribers_.end(), subscriber);
    if (it == Subscribers_.end())
        return;
    *it = Subscribers_.back(); // the last subscriber takes the freed slot
    Subscribers_.pop_back();
}

TListOfListsReal::TListOfListsReal(TListMaster &master, TListsReadyEvent onListsReady)
    : Master_(&master)
    , OnListsReady_(std::move(onListsReady))
{
    master.Subscribe(this);
    Request();
}

TListOfListsReal::~TListOfListsReal()
{
    if (Master_)
        Master_->Unsubscribe(this);
}

void TListOfListsReal::Request()
{
    Waiting_ = true;
    if (Master_)
        Master_->RequestNow();
}

void TListOfListsReal::Receive(const TLists &lists)
{
    Waiting_ = false;
    Lists_ = lists;
    if (OnListsReady_)
        RunGuarded(
            "ListOfListsUnit, TListOfListsReal.OnListsReady", [&] { OnListsReady_(Lists_); });
}

} // namespace kestrova
