// The symbol-list exports: each forwards to the process-wide TSymbolListExports.

#include "exports/LibraryStartUp.h"
#include "kestrova/KestrovaAlerts.h"
#include "symbollists/ListExports.h"

#include <cstddef>

namespace {

using kestrova::RunExport;
using kestrova::SymbolListExports;
using kestrova::TExportedListEntry;

static_assert(sizeof(KV_ListEntry) == sizeof(TExportedListEntry)
    && offsetof(KV_ListEntry, ListId) == offsetof(TExportedListEntry, ListId)
    && offsetof(KV_ListEntry, ListName) == offsetof(TExportedListEntry, ListName));

} // namespace

extern "C" {

KV_EXPORT void KV_SetListName(int32_t listId, const char *name, int32_t forceUpdate)
{
    RunExport(
        "KV_SetListName", [&] { SymbolListExports().SetListName(listId, name, forceUpdate); });
}

KV_EXPORT void KV_AddSymbolToList(int32_t listId, const char *symbol)
{
    RunExport("KV_AddSymbolToList", [&] { SymbolListExports().AddSymbolToList(listId, symbol); });
}

KV_EXPORT void KV_DeleteSymbolFromList(int32_t listId, const char *symbol)
{
    RunExport("KV_DeleteSymbolFromList",
        [&] { SymbolListExports().DeleteSymbolFromList(listId, symbol); });
}

KV_EXPORT void KV_DeleteList(int32_t listId)
{
    RunExport("KV_DeleteList", [&] { SymbolListExports().DeleteList(listId); });
}

KV_EXPORT void KV_ClearTempList(void)
{
    RunExport("KV_ClearTempList", [] { SymbolListExports().ClearTempList(); });
}

KV_EXPORT void KV_AddToTempList(const char *symbol)
{
    RunExport("KV_AddToTempList", [&] { SymbolListExports().AddToTempList(symbol); });
}

KV_EXPORT void KV_SendTempList(int32_t listId)
{
    RunExport("KV_SendTempList", [&] { SymbolListExports().SendTempList(listId); });
}

KV_EXPORT void KV_DeleteAllLists(void)
{
    RunExport("KV_DeleteAllLists", [] { SymbolListExports().DeleteAllLists(); });
}

KV_EXPORT void KV_RequestListOfLists(void)
{
    RunExport("KV_RequestListOfLists", [] { SymbolListExports().RequestListOfLists(); });
}

KV_EXPORT void KV_SetListOfListsCallback(KV_Callback callback)
{
    RunExport(
        "KV_SetListOfListsCallback", [&] { SymbolListExports().SetListOfListsCallback(callback); });
}

KV_EXPORT const KV_ListEntry *KV_ReadListOfLists(void)
{
    const TExportedListEntry *entries = nullptr;
    RunExport("KV_ReadListOfLists", [&] { entries = SymbolListExports().ReadListOfLists(); });
    return reinterpret_cast<const KV_ListEntry *>(entries);
}

} // extern "C"
