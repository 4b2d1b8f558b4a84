#include "symbollists/SymbolLists.h"

#include "support/DebugLog.h"
#include "support/Exceptions.h"
#include "symbollists/ListReplies.h"
#include "symbollists/SymbolListsTimers.h"

#include <algorithm>
#include <cctype>

namespace kestrova {

// --- TListController ------------------------------------------------------------------------

TListController::TListController(
    int32_t listId, IServerRequests &session, const TDeleteAllLists &deleteAll)
    : ListId_(listId)
    , Session_(session)
    , DeleteAll_(deleteAll)
    , Request_(session)
{
    KV_ASSERT(listId > 0, "List ID must be a positive number.");
}

TListController::~TListController() = default;

TListDelta &TListController::EnsurePending()
{
    if (!Pending_)
        Pending_.emplace();
    return *Pending_;
}

void TListController::AddSymbol(const std::string &s)
{
    EnsurePending().AddSymbol(s);
    TrySend();
}

void TListController::DeleteSymbol(const std::string &s)
{
    EnsurePending().DeleteSymbol(s);
    TrySend();
}

void TListController::ReplaceAll(const std::vector<std::string> &list)
{
    EnsurePending().ReplaceAll(list);
    TrySend();
}

void TListController::DeleteList()
{
    EnsurePending().DeleteList();
    TrySend();
}

void TListController::RequestSymbols()
{
    EnsurePending().RequestList = true;
    TrySend();
}

void TListController::CancelAll()
{
    Pending_.reset();
    InFlight_.reset();
    Request_.Cancel(); // a late reply to the cancelled request is ignored
}

void TListController::TrySend()
{
    if (DeleteAll_.HoldsBackUpdates() || Request_.Outstanding() || RetryDelay_ != 0
        || (!Pending_ && !InFlight_))
        return;
    if (Session_.Username().empty()) {
        // Nobody to send them for: edits made without a user are lost.
        Pending_.reset();
        InFlight_.reset();
        return;
    }
    if (Pending_) {
        MergeDelta(InFlight_, std::move(*Pending_));
        Pending_.reset();
    }

    // A failure (also one without any reply to wait for) keeps the edits for a retry.
    Request_.Send(BuildUpdateListRequest(ListId_, Name_, *InFlight_),
        "SymbolLists, TListController.OnRequestFinished",
        [this](bool success, const std::string &body) { OnRequestFinished(success, body); });
}

void TListController::OnRequestFinished(bool success, const std::string &body)
{
    SymbolsValid_ = false;
    bool done = false;
    if (success) {
        try {
            if (InFlight_ && InFlight_->RequestList) {
                Symbols_.Clear();
                for (const std::string &name : ParseSymbolsReply(body)) {
                    const std::string symbol = NormalisedSymbol(name);
                    if (!symbol.empty())
                        Symbols_.Add(symbol);
                }
                SymbolsValid_ = true;
            }
            done = true;
        } catch (const std::exception &e) {
            ReportException(e, "SymbolLists, TListController.OnRequestFinished, \"" + body + "\"");
        }
    }
    if (done)
        InFlight_.reset();
    else
        RetryDelay_ = 2;
    TrySend();
}

void TListController::Tick()
{
    if (!Request_.Outstanding() && RetryDelay_ > 0)
        --RetryDelay_;
    TrySend();
}

// --- TDeleteAllLists ------------------------------------------------------------------------

void TDeleteAllLists::Send()
{
    if (InFlight_) {
        Resend_ = true; // after the current one, so that later creations are removed too
        return;
    }
    Resend_ = false;
    if (Session_.Username().empty())
        return;
    InFlight_ = true;
    try {
        Request_.Send({ { "command", "delete_all_lists" } },
            "SymbolLists, TDeleteAllLists.OnRequestFinished",
            [this](bool success, const std::string &body) { OnRequestFinished(success, body); });
    } catch (...) {
        InFlight_ = false;
        Resend_ = true;
        throw;
    }
}

void TDeleteAllLists::OnRequestFinished(bool success, const std::string &body)
{
    InFlight_ = false;
    if (!success) {
        Resend_ = true; // the timer retries
        return;
    }
    // Any reply counts as done; a resend asked for meanwhile goes out at once.
    if (Resend_) {
        try {
            Send();
        } catch (const std::exception &e) {
            ReportException(e, "SymbolLists, TDeleteAllLists.OnRequestFinished, \"" + body + "\"");
            Resend_ = true;
        }
    }
}

void TDeleteAllLists::Tick()
{
    if (Resend_ && !InFlight_)
        Send();
}

// --- TSymbolListsHub ------------------------------------------------------------------------

TSymbolListsHub::TSymbolListsHub(IServerRequests &session, bool runTimers)
    : Session_(session)
    , DeleteAll_(session)
    , Master_(session)
{
    if (runTimers)
        Timers_ = std::make_unique<TSymbolListsTimers>(*this);
}

TSymbolListsHub::~TSymbolListsHub()
{
    Timers_.reset();
}

TListController &TSymbolListsHub::GetListController(int32_t listId)
{
    KV_ASSERT(listId > 0, "List ID must be a positive number.");
    auto &slot = Controllers_[std::to_string(listId)];
    if (!slot)
        slot = std::make_unique<TListController>(listId, Session_, DeleteAll_);
    return *slot;
}

TListController *TSymbolListsHub::FindListController(int32_t listId) const
{
    const auto it = Controllers_.find(std::to_string(listId));
    return it == Controllers_.end() ? nullptr : it->second.get();
}

void TSymbolListsHub::CancelAll()
{
    for (auto &[key, controller] : Controllers_)
        controller->CancelAll();
}

void TSymbolListsHub::DeleteAllLists()
{
    CancelAll();
    DeleteAll_.Send();
}

void TSymbolListsHub::Tick()
{
    RunGuarded("SymbolLists, TDeleteAllLists.Tick", [&] { DeleteAll_.Tick(); });
    for (auto &[key, controller] : Controllers_)
        RunGuarded("SymbolLists, TListController.Tick", [&] { controller->Tick(); });
}

} // namespace kestrova
