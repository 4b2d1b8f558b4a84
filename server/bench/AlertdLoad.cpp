// alertd_load: measures the sustained alert rate one kestrova-alertd process delivers to
// several clients, each with several windows that take every alert. See --help.

#include "BenchServer.h"
#include "RawServerClient.h"
#include "kestrova/KestrovaAlerts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace kvtest;
using namespace kvbench;

namespace {
const char *const Usage
    = "Usage: alertd_load [options]\n"
      "Starts kestrova-alertd on a free port and measures the alerts per second it delivers to\n"
      "clients whose windows take every alert.\n\n"
      "  --clients N     connections (default 10)\n"
      "  --windows N     windows per connection (default 4)\n"
      "  --rate R        alerts per second the market generates (default 5000)\n"
      "  --seconds N     length of the measurement after a 1 s warm-up (default 10)\n"
      "  --server PATH   the server program (default: kestrova-alertd beside this one)\n"
      "  --version       show the version\n"
      "  --help          show this text\n\n"
      "SIGINT or SIGTERM stops the run early; the server and its data directory go with it.\n";

const char *const AllTypes[] = { "NH", "NL", "CAO", "CBO", "GU", "GD", "RU", "RD", "VSU", "VSD",
    "CAR", "CBS", "PBH", "BOL", "TRU", "TRD", "WRU", "WRD", "BLK", "SPR" };

struct TLoadOptions
{
    int Clients = 10, Windows = 4, Seconds = 10;
    double Rate = 5000;
    QString Server;
};

struct TClient
{
    std::unique_ptr<RawServerClient> Link;
    int32_t PollId = 0;
    uint64_t Alerts = 0;
    uint64_t Replies = 0;
    int64_t LastId = 0;
};

void Poll(TClient &client)
{
    client.PollId = client.Link->Send({ { "command", "get_alerts" } });
}

// Returns 0 to run, or the exit code (help shown, bad arguments).
int ParseArguments(const QStringList &args, TLoadOptions &o)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString &flag = args[i];
        if (flag == "--help" || flag == "-h") {
            std::fputs(Usage, stdout);
            return -1;
        }
        if (flag == "--version") {
            std::puts("alertd_load " KV_VERSION_STRING);
            return -1;
        }
        if (i + 1 >= args.size()) {
            std::fprintf(stderr, "alertd_load: %s needs a value\n\n%s", qPrintable(flag), Usage);
            return 2;
        }
        const QString value = args[++i];
        bool ok = true;
        if (flag == "--clients")
            ok = (o.Clients = value.toInt(&ok)) > 0 && ok;
        else if (flag == "--windows")
            ok = (o.Windows = value.toInt(&ok)) > 0 && ok;
        else if (flag == "--rate")
            ok = (o.Rate = value.toDouble(&ok)) > 0 && ok;
        else if (flag == "--seconds")
            ok = (o.Seconds = value.toInt(&ok)) > 0 && ok;
        else if (flag == "--server")
            o.Server = value;
        else {
            std::fprintf(stderr, "alertd_load: unknown option %s\n\n%s", qPrintable(flag), Usage);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "alertd_load: bad value for %s: \"%s\"\n", qPrintable(flag),
                qPrintable(value));
            return 2;
        }
    }
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TLoadOptions options;
    options.Server = QCoreApplication::applicationDirPath() + "/kestrova-alertd";
    if (const int rc = ParseArguments(app.arguments(), options))
        return rc < 0 ? 0 : rc;
    TStopSignals stop;
    TBenchServer server(options.Server);
    // The server's stderr log is chatty; the load run keeps it.
    if (!server.Start(
            { "--rate", QString::number(options.Rate), "--max-per-reply", "100000" }, stop))
        return 1;

    std::string config = "form=1";
    for (const char *type : AllTypes)
        config += std::string("&Sh_") + type + "=ON";
    config += "&EntireUniverse=1";

    std::vector<TClient> all(static_cast<size_t>(options.Clients));
    bool measuring = false;
    for (int c = 0; c < options.Clients && !stop.Stopped(); ++c) {
        TClient &client = all[static_cast<size_t>(c)];
        client.Link = std::make_unique<RawServerClient>();
        if (!client.Link->Connect(server.Port())) {
            std::fprintf(stderr, "alertd_load: cannot connect\n");
            return 1;
        }
        client.Link->Call({ { "command", "login" }, { "username", "load" + std::to_string(c) },
            { "password", "x" } });
        for (int w = 0; w < options.Windows; ++w)
            client.Link->Call({ { "command", "set_config_info" },
                { "window_id", "W" + std::to_string(c) + "_" + std::to_string(w) },
                { "long_form", config }, { "skip_history", "1" } });
        client.Link->OnFrame = [&, c](const RawServerClient::Frame &frame) {
            TClient &self = all[static_cast<size_t>(c)];
            if (frame.Id != self.PollId)
                return;
            if (measuring) {
                self.Alerts += static_cast<uint64_t>(CountElements(frame.Body, "ALERT"));
                ++self.Replies;
            }
            self.LastId = std::atoll(XmlAttribute(frame.Body, "RESTART", "LAST_ID").c_str());
            Poll(self);
        };
        Poll(client);
    }
    if (!stop.Wait(1000)) { // warm-up
        std::fprintf(stderr, "alertd_load: stopped\n");
        return 1;
    }
    measuring = true;
    const int64_t firstId = all[0].LastId;
    QElapsedTimer timer;
    timer.start();
    const bool completed = stop.Wait(options.Seconds * 1000);
    measuring = false;
    const double elapsed = static_cast<double>(timer.elapsed()) / 1000.0;
    uint64_t alerts = 0, replies = 0;
    for (const auto &client : all) {
        alerts += client.Alerts;
        replies += client.Replies;
    }
    const double market = static_cast<double>(all[0].LastId - firstId) / elapsed;
    std::printf("clients %d, windows per client %d, market rate asked %.0f/s, generated %.0f/s\n",
        options.Clients, options.Windows, options.Rate, market);
    std::printf("delivered %.0f alerts/s in total (%.0f per window), %.1f replies/s per client, "
                "over %.1f s%s\n",
        static_cast<double>(alerts) / elapsed,
        static_cast<double>(alerts) / elapsed / (options.Clients * options.Windows),
        static_cast<double>(replies) / elapsed / options.Clients, elapsed,
        completed ? "" : " (stopped early)");
    return completed ? 0 : 1;
}
