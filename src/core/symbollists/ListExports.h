#pragma once
// What the host's symbol-list functions do, as a plain class: the C exports forward to one
// instance. Every call is made on the GUI thread and never fails: invalid arguments (an id <= 0,
// a null or blank symbol, a null name) make it do nothing. So do texts longer than the server
// takes (it drops the connection, and the edit would be resent for ever); those are logged.

#include "symbollists/ListOfLists.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrova {

class TSymbolListsHub;
class TListController;

// One entry of the list-of-lists array handed to the host. The array ends with {0, nullptr};
// ListName is never null otherwise.
struct TExportedListEntry
{
    int32_t ListId;
    const char *ListName;
};

// The host's list-of-lists callback.
using TListOfListsCallback = void (*)();

// The longest symbol (after normalising) and list name the exports accept.
constexpr size_t MaxSymbolLength = 64;
constexpr size_t MaxListNameLength = 1000;

class TSymbolListExports
{
public:
    // The hub must outlive this object.
    explicit TSymbolListExports(TSymbolListsHub &hub);
    ~TSymbolListExports();
    TSymbolListExports(const TSymbolListExports &) = delete;
    TSymbolListExports &operator=(const TSymbolListExports &) = delete;

    // Blanks (and control characters) trimmed at both ends, then upper-cased; null gives "".
    static std::string NormaliseSymbol(const char *symbol);

    // Stores the list's name; with forceUpdate != 0 an update carrying it is sent now.
    void SetListName(int32_t listId, const char *name, int32_t forceUpdate);
    // Names a list still without a name "List #<id>".
    void AddSymbolToList(int32_t listId, const char *symbol);
    void DeleteSymbolFromList(int32_t listId, const char *symbol);
    void DeleteList(int32_t listId);

    // The temporary list: unsorted, duplicates kept, never sent on its own.
    void ClearTempList();
    void AddToTempList(const char *symbol);
    // Replaces the list's contents with the temporary list (which is kept).
    void SendTempList(int32_t listId);
    const std::vector<std::string> &TempList() const { return FTempList; }

    void DeleteAllLists();

    // Empties the exported array and fetches the list of lists unless a fetch already waits.
    void RequestListOfLists();
    // Called after each delivery; null removes it.
    void SetListOfListsCallback(TListOfListsCallback callback) { FCallback = callback; }
    // The array of the last delivery, or null while there is none. Valid until the next
    // RequestListOfLists or delivery.
    const TExportedListEntry *ReadListOfLists() const;

private:
    TListController *Controller(int32_t listId);
    // The list of a symbol edit (named "List #<id>" when it has no name), with the normalised
    // symbol; null for an invalid id or an empty or refused symbol.
    TListController *ListForSymbol(int32_t listId, const char *symbol, std::string &normalised);
    void ListsReady(const TLists &lists);

    TSymbolListsHub &FHub;
    std::vector<std::string> FTempList;
    std::unique_ptr<TListOfListsReal> FSubscriber;
    TLists FHeldLists; // owns the strings the exported array points at
    std::vector<TExportedListEntry> FExported;
    TListOfListsCallback FCallback = nullptr;
};

} // namespace kestrova
