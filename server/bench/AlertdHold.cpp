// alertd_hold: measures what connections that never finish cost one kestrova-alertd process.
// Each client sends the preamble and the first part of a request (a long value announced, only
// partly sent) and then holds the connection; the run reports the server's resident memory
// before and after, and how many connections it still keeps. See --help.

#include "BenchServer.h"
#include "RawServerClient.h"
#include "kestrova/KestrovaAlerts.h"

#include <QCoreApplication>
#include <cstdio>
#include <memory>
#include <vector>

using namespace kvtest;
using namespace kvbench;

namespace {
const char *const Usage
    = "Usage: alertd_hold [options] [-- server flags]\n"
      "Starts kestrova-alertd on a free port, opens connections that each send part of one\n"
      "request and then wait, and reports the server's memory and the connections it keeps.\n\n"
      "  --clients N     connections (default 300)\n"
      "  --kib N         KiB of the unfinished request each sends (default 900; 0: none,\n"
      "                  not even the preamble)\n"
      "  --seconds N     how long the connections are held (default 5)\n"
      "  --server PATH   the server program (default: kestrova-alertd beside this one)\n"
      "  --version       show the version\n"
      "  --help          show this text\n";

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int clients = 300, kib = 900, seconds = 5;
    QString program = QCoreApplication::applicationDirPath() + "/kestrova-alertd";
    QStringList serverFlags { "--rate", "4" };
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString &flag = args[i];
        if (flag == "--help" || flag == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (flag == "--version") {
            std::puts("alertd_hold " KV_VERSION_STRING);
            return 0;
        }
        if (flag == "--") {
            serverFlags += args.mid(i + 1);
            break;
        }
        bool ok = i + 1 < args.size();
        const QString value = ok ? args[++i] : QString();
        if (flag == "--clients")
            clients = value.toInt(&ok);
        else if (flag == "--kib")
            kib = value.toInt(&ok);
        else if (flag == "--seconds")
            seconds = value.toInt(&ok);
        else if (flag == "--server")
            program = value;
        else
            ok = false;
        if (!ok || clients <= 0 || kib < 0 || seconds < 0) {
            std::fprintf(stderr, "alertd_hold: bad option %s\n\n%s", qPrintable(flag), Usage);
            return 2;
        }
    }
    TStopSignals stop;
    TBenchServer server(program);
    if (!server.Start(serverFlags, stop))
        return 1;
    stop.Wait(500);
    const long before = server.ResidentKiB();

    const std::string request = kib > 0 ? UnfinishedRequest(1, size_t(kib) * 1024) : std::string();
    std::vector<std::unique_ptr<RawServerClient>> links;
    for (int c = 0; c < clients && !stop.Stopped(); ++c) {
        auto link = std::make_unique<RawServerClient>();
        if (!link->Connect(server.Port(), kib > 0)) {
            std::fprintf(stderr, "alertd_hold: connection %d failed\n", c + 1);
            break;
        }
        if (!request.empty())
            link->SendPlain(request);
        links.push_back(std::move(link));
    }
    long peak = 0;
    for (int tenth = 0; tenth < seconds * 10 && stop.Wait(100); ++tenth)
        peak = std::max(peak, server.ResidentKiB());
    int open = 0;
    for (const auto &link : links)
        open += link->WaitDisconnected(0) ? 0 : 1;
    std::printf("%d connections of %d KiB unfinished each, held %d s: server memory %.1f MiB "
                "before, %.1f MiB peak, %.1f MiB after; %d of %zu still open\n",
        clients, kib, seconds, before / 1024.0, peak / 1024.0, server.ResidentKiB() / 1024.0, open,
        links.size());
    return stop.Stopped() ? 1 : 0;
}
