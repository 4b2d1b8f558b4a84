#pragma once
// The edits a symbol list collects before they reach the server: a case-blind sorted set of
// symbols, the pending changes to one list, how two rounds of changes fold into one, and the
// "update_list" request they make. Pure data: no I/O.

#include "link/Messages.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

// A sorted list of strings, ordered and compared without regard to ASCII case; adding a string
// that is already present (in any case) does nothing.
class TSortedStrings
{
public:
    TSortedStrings() = default;
    explicit TSortedStrings(const std::vector<std::string> &items);
    void Add(const std::string &s);
    void Remove(const std::string &s);
    bool Contains(const std::string &s) const;
    void Clear() { FItems.clear(); }
    bool Empty() const { return FItems.empty(); }
    size_t Size() const { return FItems.size(); }
    const std::vector<std::string> &Items() const { return FItems; }

private:
    std::vector<std::string> FItems;
};

// A symbol as lists keep it: blanks (and control characters) trimmed at both ends, upper-cased.
// Empty means no symbol.
std::string NormalisedSymbol(const std::string &symbol);

// Pending changes to one list.
struct TListDelta
{
    enum : uint8_t { ModeIncremental = 0, ModeReplace = 1, ModeDeleteList = 2 };

    TSortedStrings ToAdd, ToDelete;
    uint8_t Mode = ModeIncremental;
    bool RequestList = false; // ask the server to send the list's symbols back

    void AddSymbol(const std::string &s);
    void DeleteSymbol(const std::string &s);
    void ReplaceAll(const std::vector<std::string> &list);
    void DeleteList();
};

// Folds Pending into InFlight: a replacing or deleting Pending supersedes it, otherwise Pending's
// additions and then deletions are replayed on it. RequestList survives either way.
void MergeDelta(std::optional<TListDelta> &inFlight, TListDelta pending);

// The "update_list" request for one list.
TMessageToServer BuildUpdateListRequest(
    int32_t listId, const std::string &name, const TListDelta &delta);

} // namespace kestrova
