#include "symbollists/SymbolLists.h"

#include "support/DebugLog.h"
#include "support/Exceptions.h"
#include "symbollists/ListReplies.h"
#include "symbollists/SymbolListsTimers.h"
#include "xml/XmlNodes.h"

#include <algorithm>
#include <cctype>

namespace kestrova {

// --- TListController ------------------------------------------------------------------------

TListController::TListController(
    int32_t listId, IServerRequests &session, const TDeleteAllLists &deleteAll)
    : FListId(listId)
    , FSession(session)
    , FDeleteAll(deleteAll)
    , FRequest(session)
{
    KV_ASSERT(listId > 0, "List ID must be a positive number.");
}

TListController::~TListController() = default;

TListDelta &TListController::EnsurePending()
{
    if (!FPending)
        FPending.emplace();
    return *FPending;
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
    FPending.reset();
    FInFlight.reset();
    FRequest.Cancel(); // a late reply to the cancelled request is ignored
    FFailures = 0;
    FRetryDelay = 0;
}

void TListController::TrySend()
{
    if (FDeleteAll.HoldsBackUpdates() || FRequest.Outstanding() || FRetryDelay != 0
        || (!FPending && !FInFlight))
        return;
    if (FSession.Username().empty()) {
        // Nobody to send them for: edits made without a user are lost.
        FPending.reset();
        FInFlight.reset();
        return;
    }
    if (FSession.LoginRefused())
        return; // kept until a login succeeds; the tick tries again
    if (FPending) {
        MergeDelta(FInFlight, std::move(*FPending));
        FPending.reset();
    }

    // A failure (also one without any reply to wait for) keeps the edits for a retry.
    FRequest.Send(BuildUpdateListRequest(FListId, FName, *FInFlight),
        "SymbolLists, TListController.OnRequestFinished",
        [this](bool success, const std::string &body) { OnRequestFinished(success, body); });
}

void TListController::OnRequestFinished(bool success, const std::string &body)
{
    FSymbolsValid = false;
    bool done = false;
    if (success) {
        try {
            // Read even when no symbols were asked for: a reply that cannot be parsed is no
            // acknowledgement.
            const std::vector<std::string> names = ParseSymbolsReply(body);
            if (FInFlight && FInFlight->RequestList) {
                FSymbols.Clear();
                for (const std::string &name : names) {
                    const std::string symbol = NormalisedSymbol(name);
                    if (!symbol.empty())
                        FSymbols.Add(symbol);
                }
                FSymbolsValid = true;
            }
            done = true;
        } catch (const EListRequestRefused &) {
            // Not stored: sent again later, and nothing to report.
        } catch (const std::exception &e) {
            ReportException(e, "SymbolLists, TListController.OnRequestFinished, \"" + body + "\"");
        }
    }
    if (done) {
        FInFlight.reset();
        FFailures = 0;
    } else {
        // Two seconds, doubling with each failure in a row up to a minute: an update that
        // costs the link each time must not drop it every two seconds for ever.
        ++FFailures;
        FRetryDelay = std::min<uint32_t>(MaxRetryTicks, 2u << std::min<uint32_t>(FFailures - 1, 5));
    }
    TrySend();
}

void TListController::Tick()
{
    if (!FRequest.Outstanding() && FRetryDelay > 0)
        --FRetryDelay;
    TrySend();
}

// --- TDeleteAllLists ------------------------------------------------------------------------

void TDeleteAllLists::Send()
{
    if (FInFlight) {
        FResend = true; // after the current one, so that later creations are removed too
        return;
    }
    FResend = false;
    if (FSession.Username().empty())
        return;
    if (FSession.LoginRefused()) {
        FResend = true; // the tick sends it once a login succeeds
        return;
    }
    FInFlight = true;
    try {
        FRequest.Send({ { "command", "delete_all_lists" } },
            "SymbolLists, TDeleteAllLists.OnRequestFinished",
            [this](bool success, const std::string &body) { OnRequestFinished(success, body); });
    } catch (...) {
        FInFlight = false;
        FResend = true;
        throw;
    }
}

void TDeleteAllLists::OnRequestFinished(bool success, const std::string &body)
{
    FInFlight = false;
    try {
        if (!success) {
            FResend = true; // the timer retries
            return;
        }
        CheckListReply(body); // a refusal, or a reply that cannot be parsed, is a failure too
        if (FResend)
            Send(); // asked for meanwhile: goes out at once
    } catch (const EListRequestRefused &) {
        FResend = true;
    } catch (const std::exception &e) {
        ReportException(e, "SymbolLists, TDeleteAllLists.OnRequestFinished, \"" + body + "\"");
        FResend = true;
    }
}

void TDeleteAllLists::Tick()
{
    if (FResend && !FInFlight)
        Send();
}

// --- TSymbolListsHub ------------------------------------------------------------------------

TSymbolListsHub::TSymbolListsHub(IServerRequests &session, bool runTimers)
    : FSession(session)
    , FDeleteAll(session)
    , FMaster(session)
{
    if (runTimers)
        FTimers = std::make_unique<TSymbolListsTimers>(*this);
}

TSymbolListsHub::~TSymbolListsHub()
{
    FTimers.reset();
}

TListController &TSymbolListsHub::GetListController(int32_t listId)
{
    KV_ASSERT(listId > 0, "List ID must be a positive number.");
    auto &slot = FControllers[std::to_string(listId)];
    if (!slot)
        slot = std::make_unique<TListController>(listId, FSession, FDeleteAll);
    return *slot;
}

TListController *TSymbolListsHub::FindListController(int32_t listId) const
{
    const auto it = FControllers.find(std::to_string(listId));
    return it == FControllers.end() ? nullptr : it->second.get();
}

void TSymbolListsHub::CancelAll()
{
    for (auto &[key, controller] : FControllers)
        controller->CancelAll();
}

int32_t TSymbolListsHub::EditsWaiting() const
{
    int32_t waiting = FDeleteAll.HoldsBackUpdates() ? 1 : 0;
    for (const auto &[key, controller] : FControllers)
        waiting += controller->Pending() || controller->InFlight();
    return waiting;
}

void TSymbolListsHub::DeleteAllLists()
{
    CancelAll();
    FDeleteAll.Send();
}

void TSymbolListsHub::Tick()
{
    RunGuarded("SymbolLists, TDeleteAllLists.Tick", [&] { FDeleteAll.Tick(); });
    for (auto &[key, controller] : FControllers)
        RunGuarded("SymbolLists, TListController.Tick", [&] { controller->Tick(); });
}

} // namespace kestrova
