#pragma once
// What the reference server itself holds, read over a client connection of its own, for tests
// that check nothing was lost on the way to the library: the alerts it logged for a window
// configuration, and a user's symbol lists.

#include <QtGlobal>
#include <map>
#include <string>

namespace kvtest {

// One alert as a comparable text: "symbol|type|unix time|description".
std::string AlertKey(const std::string &symbol, const std::string &type, const std::string &time,
    const std::string &description);

// The alerts the server logged for config since `since` (Unix seconds), read as history:
// AlertKey by alert id.
std::map<long long, std::string> LoggedAlerts(
    quint16 port, const std::string &config, qint64 since);

// Every list of the user as the server keeps it, one "id \"name\": SYMBOLS" line each by id.
std::string ServerLists(quint16 port, const std::string &user);

} // namespace kvtest
