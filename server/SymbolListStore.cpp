#include "SymbolListStore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <stdexcept>

namespace kestrova::alertd {

namespace {
std::atomic<int> ConnectionCounter { 0 };

QString Q(const std::string &s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

[[noreturn]] void Fail(const QSqlQuery &query, const char *what)
{
    throw std::runtime_error(
        std::string("symbol lists: ") + what + ": " + query.lastError().text().toStdString());
}

void Exec(QSqlQuery &query, const char *what)
{
    if (!query.exec())
        Fail(query, what);
}

// Runs the statements and commits, or rolls back when one raises.
template<typename F>
void InTransaction(QSqlDatabase db, F &&work)
{
    if (!db.transaction())
        throw std::runtime_error("symbol lists: " + db.lastError().text().toStdString());
    try {
        work();
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw std::runtime_error("symbol lists: " + db.lastError().text().toStdString());
}
} // namespace

TSymbolListStore::TSymbolListStore(const std::string &path)
    : FConnection(QStringLiteral("alertd-lists-%1").arg(ConnectionCounter++))
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FConnection);
    db.setDatabaseName(Q(path));
    if (!db.open())
        throw std::runtime_error("cannot open symbol list database " + path + ": "
            + db.lastError().text().toStdString());
    QSqlQuery query(db);
    for (const char *sql :
        { "CREATE TABLE IF NOT EXISTS lists (account TEXT NOT NULL, id INTEGER NOT NULL, "
          "name TEXT NOT NULL, PRIMARY KEY (account, id))",
            "CREATE TABLE IF NOT EXISTS symbols (account TEXT NOT NULL, list_id INTEGER NOT NULL, "
            "symbol TEXT NOT NULL, PRIMARY KEY (account, list_id, symbol))" }) {
        if (!query.exec(QString::fromLatin1(sql)))
            Fail(query, "schema");
    }
}

TSymbolListStore::~TSymbolListStore()
{
    QSqlDatabase::database(FConnection, false).close();
    QSqlDatabase::removeDatabase(FConnection);
}

void TSymbolListStore::Update(const std::string &account, const TListUpdate &update)
{
    QSqlDatabase db = QSqlDatabase::database(FConnection);
    InTransaction(db, [&] {
        QSqlQuery query(db);
        auto clearSymbols = [&] {
            query.prepare("DELETE FROM symbols WHERE account = ? AND list_id = ?");
            query.addBindValue(Q(account));
            query.addBindValue(update.Id);
            Exec(query, "clear");
        };
        if (update.DeleteList) {
            clearSymbols();
            query.prepare("DELETE FROM lists WHERE account = ? AND id = ?");
            query.addBindValue(Q(account));
            query.addBindValue(update.Id);
            Exec(query, "delete list");
            return;
        }
        query.prepare("INSERT OR IGNORE INTO lists (account, id, name) VALUES (?, ?, ?)");
        query.addBindValue(Q(account));
        query.addBindValue(update.Id);
        query.addBindValue(Q(update.Name));
        Exec(query, "create list");
        if (!update.Name.empty()) {
            query.prepare("UPDATE lists SET name = ? WHERE account = ? AND id = ?");
            query.addBindValue(Q(update.Name));
            query.addBindValue(Q(account));
            query.addBindValue(update.Id);
            Exec(query, "rename list");
        }
        if (update.DeleteAll)
            clearSymbols();
        for (const auto &symbol : update.Add) {
            query.prepare(
                "INSERT OR IGNORE INTO symbols (account, list_id, symbol) VALUES (?, ?, ?)");
            query.addBindValue(Q(account));
            query.addBindValue(update.Id);
            query.addBindValue(Q(symbol));
            Exec(query, "add symbol");
        }
        for (const auto &symbol : update.Delete) {
            query.prepare("DELETE FROM symbols WHERE account = ? AND list_id = ? AND symbol = ?");
            query.addBindValue(Q(account));
            query.addBindValue(update.Id);
            query.addBindValue(Q(symbol));
            Exec(query, "delete symbol");
        }
    });
}

void TSymbolListStore::DeleteAll(const std::string &account)
{
    QSqlDatabase db = QSqlDatabase::database(FConnection);
    InTransaction(db, [&] {
        QSqlQuery query(db);
        for (const char *sql :
            { "DELETE FROM symbols WHERE account = ?", "DELETE FROM lists WHERE account = ?" }) {
            query.prepare(QString::fromLatin1(sql));
            query.addBindValue(Q(account));
            Exec(query, "delete all");
        }
    });
}

std::vector<TListInfo> TSymbolListStore::Lists(const std::string &account) const
{
    QSqlQuery query(QSqlDatabase::database(FConnection));
    query.prepare("SELECT id, name FROM lists WHERE account = ? ORDER BY id");
    query.addBindValue(Q(account));
    Exec(query, "lists");
    std::vector<TListInfo> lists;
    while (query.next())
        lists.push_back({ query.value(0).toInt(), query.value(1).toString().toStdString() });
    return lists;
}

std::set<std::string> TSymbolListStore::Symbols(const std::string &account, int listId) const
{
    QSqlQuery query(QSqlDatabase::database(FConnection));
    query.prepare("SELECT symbol FROM symbols WHERE account = ? AND list_id = ?");
    query.addBindValue(Q(account));
    query.addBindValue(listId);
    Exec(query, "symbols");
    std::set<std::string> symbols;
    while (query.next())
        symbols.insert(query.value(0).toString().toStdString());
    return symbols;
}

std::vector<std::string> TSymbolListStore::SplitSymbols(const std::string &text)
{
    std::vector<std::string> symbols;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string s = text.substr(pos, end - pos);
        const size_t first = s.find_first_not_of(" \t\r");
        const size_t last = s.find_last_not_of(" \t\r");
        if (first != std::string::npos) {
            s = s.substr(first, last - first + 1);
            for (auto &c : s)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            symbols.push_back(s);
        }
        pos = end + 1;
    }
    return symbols;
}

} // namespace kestrova::alertd
