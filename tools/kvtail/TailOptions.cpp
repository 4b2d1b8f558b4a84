#include "kvtail/TailOptions.h"

#include "support/DateTime.h"

#include <cstdio>

namespace kvtail {

const char *const TailUsage
    = "usage: kvtail --user U [--password P] [--server HOST:PORT] [--config STRING]...\n"
      "              [--history FROM..TO] [--history-max N] [--format text|csv|json]\n"
      "              [--tunnel URL] [--http-proxy [USER:PASSWORD@]HOST:PORT]\n"
      "\n"
      "Subscribes one alert window per --config (the library's initial window when none is\n"
      "given) and prints every alert as it arrives; connection status goes to stderr.\n"
      "  --server HOST:PORT   alert server (default 127.0.0.1:8888)\n"
      "  --user U             account name\n"
      "  --password P         password; or set KESTROVA_PASSWORD so it stays out of the\n"
      "                       process list\n"
      "  --config STRING      a window's data configuration (repeatable)\n"
      "  --history FROM..TO   print the alerts between two local times\n"
      "                       (yyyy-mm-dd hh:mm[:ss]; TO may be \"now\"), newest first,\n"
      "                       instead of live alerts, then exit\n"
      "  --history-max N      at most N history alerts per window (default 1000)\n"
      "  --format F           text (aligned columns), csv, or json (one object per line)\n"
      "  --tunnel URL         talk to the server over HTTP through its tunnel reader page\n"
      "                       (instead of TCP to --server)\n"
      "  --http-proxy P       the tunnel's HTTP proxy, with basic authentication when a\n"
      "                       user is given\n"
      "Ctrl-C stops.\n";

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
    if (o.Help)
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
