#include "host/ScriptedAlertServer.h"

#include "link/WireFormat.h"

namespace kvhost {

namespace {

std::string Value(const kestrova::TMessageToServer &message, const std::string &key)
{
    for (const auto &field : message)
        if (field.Key == key)
            return field.Value;
    return {};
}

std::string Escaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '"')
            out += "&quot;";
        else if (c == '<')
            out += "&lt;";
        else
            out += c;
    }
    return out;
}

} // namespace

ScriptedAlertServer::ScriptedAlertServer()
{
    FServer.OnReceived = [this](size_t connection) { Received(connection); };
}

std::vector<std::string> ScriptedAlertServer::Values(
    const std::string &command, const std::string &key) const
{
    std::vector<std::string> values;
    for (const auto &request : FRequests)
        if (Value(request, "command") == command)
            values.push_back(Value(request, key));
    return values;
}

void ScriptedAlertServer::Received(size_t connection)
{
    kvtest::ServerEnd &end = FEnds[connection];
    const std::string &bytes = FServer.Received(connection);
    size_t &used = FConsumed[connection];
    const std::string fresh = bytes.substr(used);
    used = bytes.size();
    for (const kestrova::TMessageToServer &request : end.Requests(fresh)) {
        FRequests.push_back(request);
        const std::string command = Value(request, "command");
        const int32_t id = std::atoi(Value(request, "message_id").c_str());
        if (id == 0)
            continue;
        if (command == "login") {
            Answer(connection, id, "<API><ACCOUNT_STATUS STATE=\"good\"/></API>");
        } else if (command == "set_config_info") {
            const std::string config = Value(request, "long_form");
            const std::string name = WindowName ? WindowName(config) : std::string();
            Answer(connection, id,
                "<API><STATUS SHORT_FORM=\"" + Escaped(config) + "\" WINDOW_NAME=\""
                    + Escaped(name.empty() ? "Scripted" : name) + "\"/></API>");
        } else if (command == "get_alerts") {
            FPoll = { connection, id };
        } else {
            Answer(connection, id, "<API/>");
        }
    }
}

void ScriptedAlertServer::Answer(size_t connection, int32_t id, const std::string &body)
{
    FServer.Write(connection, FEnds[connection].Reply(kestrova::EncodeFrame(id, body)));
}

bool ScriptedAlertServer::SendAlerts(const std::string &windows)
{
    if (FPoll.Id == 0)
        return false;
    const TPending poll = std::exchange(FPoll, {});
    Answer(poll.Connection, poll.Id, "<API><DATA>" + windows + "</DATA></API>");
    return true;
}

std::string AlertXml(const std::string &symbol, const std::string &type, const std::string &time,
    const std::string &description, const std::string &quality)
{
    return "<ALERT SYMBOL=\"" + symbol + "\" TYPE=\"" + type + "\" TIME=\"" + time
        + "\" DESCRIPTION=\"" + Escaped(description) + "\""
        + (quality.empty() ? "" : " QUALITY=\"" + quality + "\"") + " RELVOL=\"2.5\"/>";
}

std::string WindowXml(const std::string &windowId, const std::string &alerts)
{
    return "<W ID=\"" + windowId + "\">" + alerts + "</W>";
}

} // namespace kvhost
