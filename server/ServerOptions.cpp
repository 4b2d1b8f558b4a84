#include "ServerOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace kestrova::alertd {

namespace {
template<typename T>
bool ParseValue(const std::string &text, T &value)
{
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size();
}
} // namespace

std::string DefaultDataDir()
{
    const char *home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.kestrova-alertd";
}

std::string UsageText()
{
    return "Usage: kestrova-alertd [options]\n"
           "A reference alert server: a synthetic market whose alerts are served over the\n"
           "compressed alert protocol.\n\n"
           "  --listen ADDR        IP address (or localhost) to listen on (default 127.0.0.1)\n"
           "  --port N             TCP port (default 8888; 0 picks a free port)\n"
           "  --http-port N        also serve the HTTP tunnel on port N (0 picks a free port)\n"
           "  --data DIR           directory of the symbol-list database\n"
           "                       (default $HOME/.kestrova-alertd)\n"
           "  --seed N             seed of the simulated market (default 1)\n"
           "  --rate R             alerts per second for the whole market (default 4)\n"
           "  --heartbeat-ms N     answer an idle get_alerts after N ms (default 5000)\n"
           "  --users FILE         accept only the accounts in FILE (lines user:password)\n"
           "  --buffer N           recent alerts kept for all clients (default 200000)\n"
           "  --account-buffer N   alerts kept per account while it is disconnected, for\n"
           "                       its resuming login (default 20000)\n"
           "  --symbols N          number of simulated symbols (default 300)\n"
           "  --max-per-reply N    alerts per get_alerts reply at most (default 1000)\n"
           "  --max-clients N      connections at once; more are refused (default 1000)\n"
           "  --max-buffered-mb N  MiB of unfinished requests and unsent replies held for all\n"
           "                       connections together; above it the connection holding the\n"
           "                       most is closed (default 64)\n"
           "  --backtest-day-ms N  a backtest examines one simulated day every N ms\n"
           "                       (default 200; 0 runs as fast as it can)\n"
           "  --fault KIND[:ARG]   inject a fault on every connection (repeatable):\n"
        + FaultHelp()
        + "  --help               show this text\n"
          "  --version            show the version\n\n"
          "Once ready it prints one line \"listening on ADDR:PORT\" on stdout (then, with\n"
          "--http-port, the tunnel's reader address on a line of its own) and logs to\n"
          "stderr. SIGINT or SIGTERM stops it.\n";
}

TCommandLine ParseCommandLine(const std::vector<std::string> &args)
{
    TCommandLine result;
    TServerOptions &o = result.Options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &flag = args[i];
        if (flag == "--help" || flag == "-h") {
            result.ShowHelp = true;
            continue;
        }
        if (flag == "--version") {
            result.ShowVersion = true;
            continue;
        }
        std::string value;
        const size_t eq = flag.find('=');
        std::string name = flag;
        if (flag.rfind("--", 0) == 0 && eq != std::string::npos)
            name = flag.substr(0, eq);
        static const char *const known[]
            = { "--listen", "--port", "--http-port", "--data", "--seed", "--rate", "--heartbeat-ms",
                  "--users", "--buffer", "--account-buffer", "--symbols", "--max-per-reply",
                  "--max-clients", "--max-buffered-mb", "--backtest-day-ms", "--fault" };
        if (std::find(std::begin(known), std::end(known), name) == std::end(known)) {
            result.Error = "unknown option " + name;
            return result;
        }
        if (name != flag) {
            value = flag.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            result.Error = "missing value for " + flag;
            return result;
        }
        bool ok = true;
        if (name == "--listen") {
            o.ListenAddress = value;
            ok = !value.empty();
        } else if (name == "--port") {
            ok = ParseValue(value, o.Port) && o.Port >= 0 && o.Port <= 65535;
        } else if (name == "--http-port") {
            ok = ParseValue(value, o.HttpPort) && o.HttpPort >= 0 && o.HttpPort <= 65535;
        } else if (name == "--data") {
            o.DataDir = value;
            ok = !value.empty();
        } else if (name == "--seed") {
            ok = ParseValue(value, o.Seed);
        } else if (name == "--rate") {
            ok = ParseValue(value, o.Rate) && std::isfinite(o.Rate) && o.Rate >= 0 && o.Rate <= 1e6;
        } else if (name == "--heartbeat-ms") {
            ok = ParseValue(value, o.HeartbeatMs) && o.HeartbeatMs >= 50 && o.HeartbeatMs <= 11000;
        } else if (name == "--users") {
            o.UsersFile = value;
            ok = !value.empty();
        } else if (name == "--buffer") {
            ok = ParseValue(value, o.BufferSize) && o.BufferSize > 0;
        } else if (name == "--account-buffer") {
            ok = ParseValue(value, o.AccountBuffer) && o.AccountBuffer > 0;
        } else if (name == "--symbols") {
            ok = ParseValue(value, o.SymbolCount) && o.SymbolCount >= 10 && o.SymbolCount <= 5000;
        } else if (name == "--max-per-reply") {
            ok = ParseValue(value, o.MaxAlertsPerReply) && o.MaxAlertsPerReply > 0;
        } else if (name == "--max-clients") {
            ok = ParseValue(value, o.MaxClients) && o.MaxClients > 0;
        } else if (name == "--max-buffered-mb") {
            size_t mib = 0;
            ok = ParseValue(value, mib) && mib > 0 && mib <= (size_t(1) << 20);
            o.MaxBufferedBytes = mib << 20;
        } else if (name == "--backtest-day-ms") {
            ok = ParseValue(value, o.BacktestDayMs) && o.BacktestDayMs >= 0
                && o.BacktestDayMs <= 60000;
        } else if (name == "--fault") {
            std::string error;
            const auto fault = ParseFault(value, error);
            if (!fault) {
                result.Error = error;
                return result;
            }
            o.Faults.push_back(*fault);
        } else {
            result.Error = "unknown option " + name;
            return result;
        }
        if (!ok) {
            result.Error = "bad value for " + name + ": \"" + value + "\"";
            return result;
        }
    }
    return result;
}

std::map<std::string, std::string> ParseUsers(const std::string &text)
{
    std::map<std::string, std::string> users;
    size_t pos = 0;
    int line = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string entry = text.substr(pos, end - pos);
        pos = end + 1;
        ++line;
        if (!entry.empty() && entry.back() == '\r')
            entry.pop_back();
        if (entry.empty() || entry[0] == '#')
            continue;
        const size_t colon = entry.find(':');
        if (colon == 0 || colon == std::string::npos)
            throw std::runtime_error(
                "users file line " + std::to_string(line) + ": expected user:password");
        users[entry.substr(0, colon)] = entry.substr(colon + 1);
    }
    return users;
}

} // namespace kestrova::alertd
