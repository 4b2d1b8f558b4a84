#pragma once
// kvtail's command line.

#include "kvtail/AlertFormat.h"
#include "support/Clock.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace kvtail {

struct TTailOptions
{
    std::string Server = "127.0.0.1:8888";
    std::string User;
    std::string Password;
    std::string Tunnel; // the tunnel's reader page; empty: TCP to Server
    std::string HttpProxyHost; // empty: none
    int HttpProxyPort = 0;
    std::string HttpProxyUser, HttpProxyPassword;
    std::vector<std::string> Configs;
    bool History = false;
    kestrova::TDateTime HistoryFrom = 0; // the oldest alert wanted
    kestrova::TDateTime HistoryTo = 0; // the newest; 0: now
    int HistoryMax = 1000;
    TFormat Format = TFormat::Text;
    bool Diagnostics = false; // the session's diagnostics on stderr every 10 s
    bool Help = false;
    bool Version = false;
};

struct TUsageError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// Exit statuses besides 0 (done, or the output was closed) and 2 (usage).
constexpr int ExitFailure = 1; // could not run (a write error, no event loop)
constexpr int ExitLoginRefused = 3;
constexpr int ExitLoggedOut = 4; // the server ended the login for good
constexpr int ExitInterrupted = 130; // SIGINT (Ctrl-C)
constexpr int ExitTerminated = 143; // SIGTERM

// Parses the arguments (without the program name). The password falls back to the given
// environment value. Raises TUsageError with a message for the user.
TTailOptions ParseTailOptions(const std::vector<std::string> &args, const char *passwordFromEnv);
// "yyyy-mm-dd hh:mm[:ss]" or with "T" between date and time, local time.
kestrova::TDateTime ParseLocalTime(const std::string &text);

extern const char *const TailUsage;

} // namespace kvtail
