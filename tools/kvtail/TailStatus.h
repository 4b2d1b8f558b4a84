#pragma once
// What kvtail says on stderr about its connection: one line per event, in words ("connected to
// ...", "reconnecting in 4 s (attempt 5): ..."), never the same line twice in a row; and the
// events that end the run (a refused login, a logout for good).

#include "session/GetAlertData.h"

#include <functional>
#include <string>

namespace kvtail {

// Writes "kvtail: <text>" to stderr.
void StatusLine(const std::string &text);

// "4 s", "0.5 s", "12 s": a delay in milliseconds, to a tenth of a second below 10 s.
std::string SecondsText(uint32_t milliseconds);

class TTailStatus
{
public:
    // where: the server as the user named it. stop: ends the run with an exit status.
    TTailStatus(kestrova::TAllAlertsConnection &session, std::string where,
        std::function<void(int status)> stop);
    TTailStatus(const TTailStatus &) = delete;
    TTailStatus &operator=(const TTailStatus &) = delete;

    // Installs the session's status events.
    void Attach();
    // A window's configuration was refused.
    void ConfigRefused(const std::string &window, const std::string &reason);
    // Nothing more is said once the run is ending.
    void Silence() { FSilent = true; }

    // The events, public so tests can drive them.
    void StatusMessage(int code, const std::string &text);
    void LinkLost(const std::string &reason, uint32_t attempt, uint32_t delayMs);
    void LoginStatus(kestrova::TLoginState state);

private:
    void Line(const std::string &text);

    kestrova::TAllAlertsConnection &FSession;
    std::string FWhere;
    std::function<void(int)> FStop;
    bool FConnected = false, FSilent = false;
    std::string FLastLine, FLastReason;
};

} // namespace kvtail
