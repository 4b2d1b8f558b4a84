#pragma once
// The command line of kestrova-alertd and the accounts file it may name.

#include "Faults.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kestrova::alertd {

struct TServerOptions
{
    std::string ListenAddress = "127.0.0.1";
    int Port = 8888;
    int HttpPort = -1; // the HTTP tunnel's port; 0 picks a free one, -1 serves no tunnel
    std::string DataDir; // empty: the default location (see DefaultDataDir)
    uint64_t Seed = 1;
    double Rate = 4; // alerts per second, whole market
    int HeartbeatMs = 5000; // an idle get_alerts is answered after this long
    std::string UsersFile; // empty: every user name and password is accepted
    std::vector<TFault> Faults;
    size_t BufferSize = 200000; // live alerts kept, shared by all connections
    size_t AccountBuffer = 20000; // alerts kept per account while it is disconnected
    int SymbolCount = 300;
    int MaxAlertsPerReply = 1000;
    int MaxClients = 1000; // connections at once; more are closed as they arrive
    // Unfinished requests and unsent replies of all connections together; above it the
    // connection holding the most is closed. Requests are kilobytes, a reply rarely a megabyte.
    size_t MaxBufferedBytes = size_t(64) << 20;
    int BacktestDayMs = 200; // a backtest examines one simulated day per this many ms
};

struct TCommandLine
{
    TServerOptions Options;
    bool ShowHelp = false;
    bool ShowVersion = false;
    std::string Error; // non-empty: the command line is unusable
};

TCommandLine ParseCommandLine(const std::vector<std::string> &args);
std::string UsageText();
std::string DefaultDataDir();

// Accounts file: one "user:password" per line; blank lines and lines starting with "#" are
// skipped. Raises std::runtime_error naming the line of a malformed entry.
std::map<std::string, std::string> ParseUsers(const std::string &text);

} // namespace kestrova::alertd
