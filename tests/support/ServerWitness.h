#pragma once
// What the reference server itself holds, read over a client connection of its own, for tests
// that check nothing was lost on the way to the library: the alerts it logged for a window
// configuration, and a user's symbol lists.

#include <QtGlobal>
#include <map>
#include <set>
#include <string>

namespace kvtest {

// One alert as a comparable text: "symbol|type|unix time|description".
std::string AlertKey(const std::string &symbol, const std::string &type, const std::string &time,
    const std::string &description);

// The alerts the server logged for config since `since` (Unix seconds), read as history:
// AlertKey by alert id.
std::map<long long, std::string> LoggedAlerts(
    quint16 port, const std::string &config, qint64 since);

// The logged alerts from the first to the last of those received (by id, both included), for a
// check that every alert in between arrived exactly once. First is -1 when none was received.
struct TLoggedSpan
{
    long long First = -1, Last = -1;
    std::multiset<std::string> Alerts;
};
TLoggedSpan LoggedSpan(
    const std::map<long long, std::string> &logged, const std::multiset<std::string> &received);

// Every list of the user as the server keeps it, one "id \"name\": SYMBOLS" line each by id.
std::string ServerLists(quint16 port, const std::string &user);

} // namespace kvtest
