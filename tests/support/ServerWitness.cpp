#include "ServerWitness.h"

#include "RawServerClient.h"
#include "xml/XmlNodes.h"

#include <set>

namespace kvtest {

using namespace kestrova;

std::string AlertKey(const std::string &symbol, const std::string &type, const std::string &time,
    const std::string &description)
{
    return symbol + "|" + type + "|" + time + "|" + description;
}

std::map<long long, std::string> LoggedAlerts(quint16 port, const std::string &config, qint64 since)
{
    RawServerClient client;
    std::map<long long, std::string> logged;
    if (!client.Connect(port))
        return logged;
    client.Call({ { "command", "login" }, { "username", "witness" } });
    const int32_t listen = client.Send({ { "command", "history_listen" } });
    client.Call({ { "command", "set_config_info" }, { "window_id", "WITNESS" },
        { "long_form", config }, { "long_history", "1" }, { "long_history_max_count", "2000" },
        { "long_history_start_id", "" }, { "long_history_start_time", "0" },
        { "long_history_end_time", std::to_string(since) } });
    for (std::string body; client.WaitFrame(listen, body);) {
        const PXmlNode message = ParseXml(body)->Child(0)->Child(0);
        if (message->Attribute("TYPE") == "finished")
            break;
        for (int i = 0; i < message->ChildCount(); ++i) {
            const PXmlNode a = message->Child(i);
            logged[std::stoll(std::string(a->Attribute("ID")))]
                = AlertKey(std::string(a->Attribute("SYMBOL")), std::string(a->Attribute("TYPE")),
                    std::string(a->Attribute("TIME")), std::string(a->Attribute("DESCRIPTION")));
        }
    }
    return logged;
}

std::string ServerLists(quint16 port, const std::string &user)
{
    RawServerClient client;
    if (!client.Connect(port))
        return "(no connection)";
    client.Call({ { "command", "login" }, { "username", user }, { "password", "pw" } });
    const auto listsNode
        = NodeAtPath(ParseXml(client.Call({ { "command", "get_list_of_lists" } })), { 0, "LISTS" });
    std::map<int, std::string> lines;
    for (int i = 0; listsNode && i < listsNode->ChildCount(); ++i) {
        const auto list = listsNode->Child(i);
        const std::string id = AttributeAtPath(list, {}, "", "ID");
        const std::string name = AttributeAtPath(list, {}, "", "NAME");
        // An update that changes nothing but asks for the symbols back.
        const auto symbolsNode
            = NodeAtPath(ParseXml(client.Call({ { "id", id }, { "name", name },
                             { "request_list", "1" }, { "command", "update_list" } })),
                { 0, "SYMBOLS" });
        std::set<std::string> symbols;
        for (int j = 0; symbolsNode && j < symbolsNode->ChildCount(); ++j)
            symbols.insert(AttributeAtPath(symbolsNode->Child(j), {}, "", "NAME"));
        std::string &line = lines[std::stoi(id)] = id + " \"" + name + "\":";
        for (const auto &symbol : symbols)
            line += " " + symbol;
    }
    std::string text;
    for (const auto &[id, line] : lines)
        text += line + "\n";
    return text;
}

TLoggedSpan LoggedSpan(
    const std::map<long long, std::string> &logged, const std::multiset<std::string> &received)
{
    TLoggedSpan span;
    for (const auto &[id, key] : logged)
        if (received.count(key)) {
            if (span.First < 0)
                span.First = id;
            span.Last = id;
        }
    if (span.First >= 0)
        for (auto it = logged.find(span.First); it != logged.end() && it->first <= span.Last; ++it)
            span.Alerts.insert(it->second);
    return span;
}

} // namespace kvtest
