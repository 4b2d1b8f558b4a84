#include "symbollists/SymbolLists.h"

#include "support/DebugLog.h"
#include "support/Exceptions.h"
#include "symbollists/ListReplies.h"
#include "symbollists/SymbolListsTimers.h"

#include <algorithm>
#include <cctype>

namespace kestrova {

namespace {

int CompareText(const std::string &a, const std::string &b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool LessText(const std::string &a, const std::string &b)
{
    return CompareText(a, b) < 0;
}

std::string LineList(const TSortedStrings &list)
{
    std::string text;
    for (const std::string &s : list.Items())
        text += s + '\n';
    return text;
}

} // namespace

std::string NormalisedSymbol(const std::string &symbol)
{
    size_t begin = 0, end = symbol.size();
    while (begin < end && static_cast<unsigned char>(symbol[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(symbol[end - 1]) <= ' ')
        --end;
    std::string s = symbol.substr(begin, end - begin);
    for (char &c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// --- TSortedStrings -------------------------------------------------------------------------

TSortedStrings::TSortedStrings(const std::vector<std::string> &items)
{
    for (const std::string &s : items)
        Add(s);
}

void TSortedStrings::Add(const std::string &s)
{
    const auto it = std::lower_bound(Items_.begin(), Items_.end(), s, LessText);
    if (it == Items_.end() || CompareText(*it, s) != 0)
        Items_.insert(it, s);
}

void TSortedStrings::Remove(const std::string &s)
{
    const auto it = std::lower_bound(Items_.begin(), Items_.end(), s, LessText);
    if (it != Items_.end() && CompareText(*it, s) == 0)
        Items_.erase(it);
}

bool TSortedStrings::Contains(const std::string &s) const
{
    return std::binary_search(Items_.begin(), Items_.end(), s, LessText);
}

// --- TListDelta -----------------------------------------------------------------------------

void TListDelta::AddSymbol(const std::string &s)
{
    ToDelete.Remove(s);
    ToAdd.Add(s);
    if (Mode == ModeDeleteList)
        Mode = ModeReplace;
}

void TListDelta::DeleteSymbol(const std::string &s)
{
    ToAdd.Remove(s);
    if (Mode != ModeIncremental)
        Mode = ModeReplace; // the list is rebuilt from ToAdd anyway
    else
        ToDelete.Add(s);
}

void TListDelta::ReplaceAll(const std::vector<std::string> &list)
{
    Mode = ModeReplace;
    ToDelete.Clear();
    ToAdd = TSortedStrings(list);
}

void TListDelta::DeleteList()
{
    Mode = ModeDeleteList;
    ToAdd.Clear();
    ToDelete.Clear();
}

void MergeDelta(std::optional<TListDelta> &inFlight, TListDelta pending)
{
    if (!inFlight) {
        inFlight = std::move(pending);
    } else if (pending.Mode != TListDelta::ModeIncremental) {
        const bool requestList = pending.RequestList || inFlight->RequestList;
        inFlight = std::move(pending);
        inFlight->RequestList = requestList;
    } else {
        if (pending.RequestList)
            inFlight->RequestList = true;
        for (const std::string &s : pending.ToAdd.Items())
            inFlight->AddSymbol(s);
        for (const std::string &s : pending.ToDelete.Items())
            inFlight->DeleteSymbol(s);
    }
}

TMessageToServer BuildUpdateListRequest(
    int32_t listId, const std::string &name, const TListDelta &delta)
{
    TMessageToServer message { { "id", std::to_string(listId) }, { "name", name } };
    if (delta.Mode == TListDelta::ModeDeleteList) {
        message.push_back({ "delete_list", "1" });
    } else {
        if (delta.Mode == TListDelta::ModeReplace)
            message.push_back({ "delete_all", "1" });
        if (!delta.ToAdd.Empty())
            message.push_back({ "add", LineList(delta.ToAdd) });
        if (!delta.ToDelete.Empty())
            message.push_back({ "delete", LineList(delta.ToDelete) });
        if (delta.RequestList)
            message.push_back({ "request_list", "1" });
    }
    message.push_back({ "command", "update_list" });
    return message;
}

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
