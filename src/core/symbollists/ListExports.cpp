#include "symbollists/ListExports.h"

#include "support/DebugLog.h"
#include "symbollists/SymbolLists.h"

namespace kestrova {

namespace {
// Never a real symbol: deleting it changes nothing on the server but makes an update (and so
// the list's name) go out.
const char *const NameOnlyMarker = "~~~~~~";
} // namespace

TSymbolListExports::TSymbolListExports(TSymbolListsHub &hub)
    : Hub_(hub)
{
}

TSymbolListExports::~TSymbolListExports() = default;

std::string TSymbolListExports::NormaliseSymbol(const char *symbol)
{
    return symbol ? NormalisedSymbol(symbol) : std::string();
}

TListController *TSymbolListExports::Controller(int32_t listId)
{
    return listId > 0 ? &Hub_.GetListController(listId) : nullptr;
}

void TSymbolListExports::SetListName(int32_t listId, const char *name, int32_t forceUpdate)
{
    if (listId <= 0 || !name)
        return;
    TListController &list = Hub_.GetListController(listId);
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
    TListController *list = normalised.empty() ? nullptr : Controller(listId);
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
    TempList_.clear();
}

void TSymbolListExports::AddToTempList(const char *symbol)
{
    std::string s = NormaliseSymbol(symbol);
    if (!s.empty())
        TempList_.push_back(std::move(s));
}

void TSymbolListExports::SendTempList(int32_t listId)
{
    if (TListController *list = Controller(listId))
        list->ReplaceAll(TempList_);
}

void TSymbolListExports::DeleteAllLists()
{
    Hub_.DeleteAllLists();
}

void TSymbolListExports::RequestListOfLists()
{
    Exported_.clear();
    HeldLists_.clear();
    if (!Subscriber_) {
        // The constructor requests at once; without a user the (empty) result may arrive before
        // it returns, which ListsReady handles through its argument.
        Subscriber_ = std::make_unique<TListOfListsReal>(
            Hub_.Master(), [this](const TLists &lists) { ListsReady(lists); });
        return;
    }
    if (!Subscriber_->Waiting())
        Subscriber_->Request();
}

void TSymbolListExports::ListsReady(const TLists &lists)
{
    HeldLists_ = lists;
    Exported_.clear();
    Exported_.reserve(HeldLists_.size() + 1);
    for (const TListInfo &list : HeldLists_)
        Exported_.push_back({ list.ListId, list.ListName.c_str() });
    Exported_.push_back({ 0, nullptr });
    if (Callback_)
        RunGuarded("SymbolLists, TSymbolListExports.ListOfListsCallback", [&] { Callback_(); });
}

const TExportedListEntry *TSymbolListExports::ReadListOfLists() const
{
    return Exported_.empty() ? nullptr : Exported_.data();
}

} // namespace kestrova
