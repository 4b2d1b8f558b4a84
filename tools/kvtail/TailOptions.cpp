#include "kvtail/TailOptions.h"

#include "support/DateTime.h"

#include <cstdio>

namespace kvtail {

const char *const TailUsage
    = "usage: kvtail --user U [--password P] [--server HOST:PORT] [--config STRING]...\n"
      "              [--history FROM..TO] [--history-max N] [--format text|csv|json]\n"
      "              [--tunnel URL] [--http-proxy [USER:PASSWORD@]HOST:PORT] [--diagnostics]\n"
      "       kvtail --help | --version\n"
      "\n"
      "Subscribes one alert window per --config (the library's initial window when none is\n"
      "given) and prints every alert as it arrives, oldest first, on stdout; what the\n"
      "connection does goes to stderr.\n"
      "  --server HOST:PORT   alert server (default 127.0.0.1:8888)\n"
      "  --user U             account name\n"
      "  --password P         password; or set KESTROVA_PASSWORD so it stays out of the\n"
      "                       process list\n"
      "  --config STRING      one alert window's configuration (repeatable: one window\n"
      "                       each; text output then names the window on every line)\n"
      "  --history FROM..TO   print the alerts between two local times\n"
      "                       (yyyy-mm-dd hh:mm[:ss]; TO may be \"now\"), oldest first,\n"
      "                       instead of live alerts, then exit\n"
      "  --history-max N      at most N history alerts in all, the newest of the range\n"
      "                       (default 1000)\n"
      "  --format F           text (aligned columns), csv, or json (one object per line)\n"
      "  --tunnel URL         talk to the server over HTTP through its tunnel reader page\n"
      "                       (instead of TCP to --server)\n"
      "  --http-proxy P       the tunnel's HTTP proxy, with basic authentication when a\n"
      "                       user is given\n"
      "  --diagnostics        print the link's diagnostics (one JSON object) to stderr\n"
      "                       every 10 s\n"
      "  --version            print the version and exit\n"
      "\n"
      "A configuration is key=value pairs joined by \"&\", values URL-encoded (\"+\" for a\n"
      "blank). It starts with \"form=1\" or with the compact \"O=MASK\" (a hexadecimal mask,\n"
      "one bit per alert type in the server's order). Then, among others:\n"
      "  Sh_TYPE=on           show alerts of TYPE (a code of the server's catalogue,\n"
      "                       e.g. NH new high, GU gap up, RU running up)\n"
      "  QTYPE=N              only TYPE alerts of quality N or more\n"
      "  MinPrice=N MaxPrice=N MinRV=N ...   the window's filters\n"
      "  EntireUniverse=&ID=on  only symbols of the symbol list ID\n"
      "  WN=NAME              the window's name\n"
      "The server answers with its own short form; one it refuses is reported on stderr.\n"
      "Examples:\n"
      "  kvtail --user ann --config 'form=1&Sh_NH=on&Sh_NL=on&WN=Highs+and+lows'\n"
      "  kvtail --user ann --config 'form=1&Sh_GU=on&QGU=2&MinPrice=5&WN=Gaps' \\\n"
      "         --config 'O=c&WN=Open+crosses' --format json\n"
      "  kvtail --user ann --history '2026-01-02 09:30..now' --history-max 50 --format csv\n"
      "\n"
      "Exit status: 0 when the history is printed or stdout is closed (kvtail | head),\n"
      "1 on a write error, 2 on bad arguments, 3 when the login is refused, 4 when the\n"
      "server ends the login for good, 130 on Ctrl-C, 143 on SIGTERM.\n";

kestrova::TDateTime ParseLocalTime(const std::string &text)
{
    kestrova::TDateTimeParts p;
    char separator = 0;
    int seconds = 0;
    const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d", &p.Year, &p.Month, &p.Day,
        &separator, &p.Hour, &p.Minute, &seconds);
    if (n < 6 || (separator != ' ' && separator != 'T'))
        throw TUsageError("kvtail: bad time \"" + text + "\" (use yyyy-mm-dd hh:mm[:ss])");
    p.Second = n == 7 ? seconds : 0;
    kestrova::TDateTime value = 0;
    if (!kestrova::TryEncodeDateTime(p, value))
        throw TUsageError("kvtail: bad time \"" + text + "\"");
    return value;
}

namespace {
// "[USER[:PASSWORD]@]HOST:PORT".
void ParseHttpProxy(const std::string &text, TTailOptions &o)
{
    const size_t at = text.rfind('@');
    std::string hostPort = text;
    if (at != std::string::npos) {
        const std::string credentials = text.substr(0, at);
        const size_t colon = credentials.find(':');
        o.HttpProxyUser = credentials.substr(0, colon);
        o.HttpProxyPassword = colon == std::string::npos ? "" : credentials.substr(colon + 1);
        hostPort = text.substr(at + 1);
    }
    const size_t colon = hostPort.rfind(':');
    int port = 0;
    if (colon != std::string::npos && colon + 1 < hostPort.size()) {
        try {
            port = std::stoi(hostPort.substr(colon + 1));
        } catch (...) {
            port = 0;
        }
    }
    if (colon == 0 || colon == std::string::npos || port <= 0 || port > 65535)
        throw TUsageError("kvtail: --http-proxy needs [USER:PASSWORD@]HOST:PORT");
    o.HttpProxyHost = hostPort.substr(0, colon);
    o.HttpProxyPort = port;
}
} // namespace

TTailOptions ParseTailOptions(const std::vector<std::string> &args, const char *passwordFromEnv)
{
    TTailOptions o;
    bool havePassword = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&]() -> const std::string & {
            if (i + 1 >= args.size())
                throw TUsageError("kvtail: " + arg + " needs a value");
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            o.Help = true;
        } else if (arg == "--version") {
            o.Version = true;
        } else if (arg == "--diagnostics") {
            o.Diagnostics = true;
        } else if (arg == "--server") {
            o.Server = value();
        } else if (arg == "--user") {
            o.User = value();
        } else if (arg == "--password") {
            o.Password = value();
            havePassword = true;
        } else if (arg == "--config") {
            o.Configs.push_back(value());
        } else if (arg == "--history") {
            const std::string &range = value();
            const size_t dots = range.find("..");
            if (dots == std::string::npos)
                throw TUsageError("kvtail: --history needs FROM..TO");
            o.History = true;
            o.HistoryFrom = ParseLocalTime(range.substr(0, dots));
            const std::string to = range.substr(dots + 2);
            o.HistoryTo = to == "now" ? 0 : ParseLocalTime(to);
            if (o.HistoryTo != 0 && o.HistoryTo < o.HistoryFrom)
                throw TUsageError("kvtail: --history ends before it starts");
        } else if (arg == "--history-max") {
            const std::string &n = value();
            try {
                o.HistoryMax = std::stoi(n);
            } catch (...) {
                o.HistoryMax = 0;
            }
            if (o.HistoryMax <= 0)
                throw TUsageError("kvtail: --history-max needs a positive number");
        } else if (arg == "--tunnel") {
            o.Tunnel = value();
        } else if (arg == "--http-proxy") {
            ParseHttpProxy(value(), o);
        } else if (arg == "--format") {
            const std::string &f = value();
            if (f == "text")
                o.Format = TFormat::Text;
            else if (f == "csv")
                o.Format = TFormat::Csv;
            else if (f == "json")
                o.Format = TFormat::Json;
            else
                throw TUsageError("kvtail: unknown format \"" + f + "\" (text, csv or json)");
        } else {
            throw TUsageError("kvtail: unknown argument \"" + arg + "\"");
        }
    }
    if (o.Help || o.Version)
        return o;
    if (!havePassword && passwordFromEnv)
        o.Password = passwordFromEnv;
    if (o.User.empty())
        throw TUsageError("kvtail: --user is required");
    if (o.Server.empty())
        throw TUsageError("kvtail: --server needs HOST:PORT");
    return o;
}

} // namespace kvtail
