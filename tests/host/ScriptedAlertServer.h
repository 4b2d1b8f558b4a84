#pragma once
// An alert server whose replies the test writes: it logs in every client, answers each
// set_config_info with the window's configuration and a name, and holds get_alerts until the test
// hands it the alerts of the next reply. 127.0.0.1, an ephemeral port, the test thread's loop.

#include "link/Messages.h"
#include "support/LoopbackServer.h"
#include "support/ServerEnd.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kvhost {

class ScriptedAlertServer
{
public:
    ScriptedAlertServer();

    std::string Address() const { return FServer.Address(); }
    // Every request received, in order.
    const std::vector<kestrova::TMessageToServer> &Requests() const { return FRequests; }
    // The values of one key over the requests of one command, in order.
    std::vector<std::string> Values(const std::string &command, const std::string &key) const;
    // The name a set_config_info reply gives (empty: "Scripted").
    std::function<std::string(const std::string &config)> WindowName;

    // True while a get_alerts waits for its reply.
    bool PollWaiting() const { return FPoll.Id != 0; }
    // Answers the waiting get_alerts with these window parts ("<W ID=...>...</W>..."); false
    // when none waits.
    bool SendAlerts(const std::string &windows);

private:
    struct TPending
    {
        size_t Connection = 0;
        int32_t Id = 0;
    };
    void Received(size_t connection);
    void Answer(size_t connection, int32_t id, const std::string &body);

    kvtest::LoopbackServer FServer;
    std::map<size_t, kvtest::ServerEnd> FEnds;
    std::map<size_t, size_t> FConsumed; // bytes of each connection already read
    std::vector<kestrova::TMessageToServer> FRequests;
    TPending FPoll;
};

// One alert element.
std::string AlertXml(const std::string &symbol, const std::string &type, const std::string &time,
    const std::string &description, const std::string &quality = {});
// A window's part of a get_alerts reply.
std::string WindowXml(const std::string &windowId, const std::string &alerts);

} // namespace kvhost
