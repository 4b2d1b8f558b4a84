#pragma once
// Symbol lists per account, kept in an SQLite database (Qt's SQLite driver) so that they survive
// a restart. Symbols are stored trimmed and upper-cased. GUI-less, single-threaded.

#include <QString>
#include <set>
#include <string>
#include <vector>

namespace kestrova::alertd {

struct TListUpdate
{
    int Id = 0;
    std::string Name; // empty: keep the stored name
    bool DeleteList = false;
    bool DeleteAll = false;
    std::vector<std::string> Add;
    std::vector<std::string> Delete;
};

struct TListInfo
{
    int Id = 0;
    std::string Name;
};

class TSymbolListStore
{
public:
    // path: the database file, or ":memory:". Raises std::runtime_error when it cannot open.
    explicit TSymbolListStore(const std::string &path);
    ~TSymbolListStore();
    TSymbolListStore(const TSymbolListStore &) = delete;
    TSymbolListStore &operator=(const TSymbolListStore &) = delete;

    // Applies one update in a transaction. Raises std::runtime_error on a database error.
    void Update(const std::string &account, const TListUpdate &update);
    void DeleteAll(const std::string &account);
    std::vector<TListInfo> Lists(const std::string &account) const;
    std::set<std::string> Symbols(const std::string &account, int listId) const;

    // Splits the line-feed separated text of an "add" or "delete" value into clean symbols.
    static std::vector<std::string> SplitSymbols(const std::string &text);

private:
    QString FConnection;
};

} // namespace kestrova::alertd
