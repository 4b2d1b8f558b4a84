#include "symbollists/ListExports.h"

#include "support/DebugLog.h"
#include "symbollists/SymbolLists.h"

#include <cstring>

namespace kestrova {

namespace {
// Never a real symbol: deleting it changes nothing on the server but makes an update (and so
// the list's name) go out.
const char *const NameOnlyMarker = "~~~~~~";

// Logs and refuses a text longer than limit.
bool Refused(const char *what, size_t length, size_t limit)
{
    if (length <= limit)
        return false;
    ShowDebugMessage(std::string("Symbol lists: a ") + what + " of " + std::to_string(length)
        + " bytes was refused (at most " + std::to_string(limit) + ").");
    return true;
}
} // namespace

TSymbolListExports::TSymbolListExports(TSymbolListsHub &hub)
    : FHub(hub)
{
}

TSymbolListExports::~TSymbolListExports() = default;

std::string TSymbolListExports::NormaliseSymbol(const char *symbol)
{
    return symbol ? NormalisedSymbol(symbol) : std::string();
}

TListController *TSymbolListExports::Controller(int32_t listId)
{
    return listId > 0 ? &FHub.GetListController(listId) : nullptr;
}

void TSymbolListExports::SetListName(int32_t listId, const char *name, int32_t forceUpdate)
{
    if (listId <= 0 || !name || Refused("list name", std::strlen(name), MaxListNameLength))
        return;
    TListController &list = FHub.GetListController(listId);
    list.SetName(name);
    if (forceUpdate != 0)
        list.DeleteSymbol(NameOnlyMarker);
}

void TSymbolListExports::AddSymbolToList(int32_t listId, const char *symbol)
{
    std::string s;
    if (TListController *list = ListForSymbol(listId, symbol, s))
        list->AddSymbol(s);
}

void TSymbolListExports::DeleteSymbolFromList(int32_t listId, const char *symbol)
{
    std::string s;
    if (TListController *list = ListForSymbol(listId, symbol, s))
        list->DeleteSymbol(s);
}

TListController *TSymbolListExports::ListForSymbol(
    int32_t listId, const char *symbol, std::string &normalised)
{
    normalised = NormaliseSymbol(symbol);
    if (listId <= 0 || normalised.empty() || Refused("symbol", normalised.size(), MaxSymbolLength))
        return nullptr;
    TListController *list = Controller(listId);
    // A list first touched by a symbol edit gets a name the user can recognise.
    if (list && list->Name().empty())
        list->SetName("List #" + std::to_string(listId));
    return list;
}

void TSymbolListExports::DeleteList(int32_t listId)
{
    if (TListController *list = Controller(listId))
        list->DeleteList();
}

void TSymbolListExports::ClearTempList()
{
    FTempList.clear();
}

void TSymbolListExports::AddToTempList(const char *symbol)
{
    std::string s = NormaliseSymbol(symbol);
    if (!s.empty() && !Refused("symbol", s.size(), MaxSymbolLength))
        FTempList.push_back(std::move(s));
}

void TSymbolListExports::SendTempList(int32_t listId)
{
    if (TListController *list = Controller(listId))
        list->ReplaceAll(FTempList);
}

void TSymbolListExports::DeleteAllLists()
{
    FHub.DeleteAllLists();
}

void TSymbolListExports::RequestListOfLists()
{
    FExported.clear();
    FHeldLists.clear();
    if (!FSubscriber) {
        // The constructor requests at once; the result comes later, from the event loop.
        FSubscriber = std::make_unique<TListOfListsReal>(
            FHub.Master(), [this](const TLists &lists) { ListsReady(lists); });
        return;
    }
    if (!FSubscriber->Waiting())
        FSubscriber->Request();
}

void TSymbolListExports::ListsReady(const TLists &lists)
{
    FHeldLists = lists;
    FExported.clear();
    FExported.reserve(FHeldLists.size() + 1);
    for (const TListInfo &list : FHeldLists)
        FExported.push_back({ list.ListId, list.ListName.c_str() });
    FExported.push_back({ 0, nullptr });
    if (FCallback)
        RunGuarded("SymbolLists, TSymbolListExports.ListOfListsCallback", [&] { FCallback(); });
}

const TExportedListEntry *TSymbolListExports::ReadListOfLists() const
{
    return FExported.empty() ? nullptr : FExported.data();
}

} // namespace kestrova
