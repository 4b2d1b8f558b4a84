// alertd_load: measures the sustained alert rate one kestrova-alertd process delivers to
// several clients, each with several windows that take every alert.
//   alertd_load [--clients 10] [--windows 4] [--rate 5000] [--seconds 10] [--server PATH]

#include "QtLoop.h"
#include "RawServerClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace kvtest;

namespace {
const char *const AllTypes[] = { "NH", "NL", "CAO", "CBO", "GU", "GD", "RU", "RD", "VSU", "VSD",
    "CAR", "CBS", "PBH", "BOL", "TRU", "TRD", "WRU", "WRD", "BLK", "SPR" };

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
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int clients = 10, windows = 4, seconds = 10;
    double rate = 5000;
    QString server = QCoreApplication::applicationDirPath() + "/kestrova-alertd";
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--clients")
            clients = args[i + 1].toInt();
        else if (args[i] == "--windows")
            windows = args[i + 1].toInt();
        else if (args[i] == "--rate")
            rate = args[i + 1].toDouble();
        else if (args[i] == "--seconds")
            seconds = args[i + 1].toInt();
        else if (args[i] == "--server")
            server = args[i + 1];
    }
    QTemporaryDir data;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(server,
        { "--port", "0", "--data", data.path(), "--rate", QString::number(rate), "--max-per-reply",
            "100000" });
    QByteArray out;
    RunUntil(
        [&] {
            out += process.readAllStandardOutput();
            return out.contains('\n');
        },
        10000);
    const auto match
        = QRegularExpression("listening on [0-9.]+:(\\d+)").match(QString::fromUtf8(out));
    if (!match.hasMatch()) {
        std::fprintf(stderr, "alertd_load: the server did not start\n");
        return 1;
    }
    const auto port = static_cast<quint16>(match.captured(1).toUInt());
    // The server's stderr log is chatty; the load run keeps it.

    std::string config = "form=1";
    for (const char *type : AllTypes)
        config += std::string("&Sh_") + type + "=ON";
    config += "&EntireUniverse=1";

    std::vector<TClient> all(static_cast<size_t>(clients));
    bool measuring = false;
    for (int c = 0; c < clients; ++c) {
        TClient &client = all[static_cast<size_t>(c)];
        client.Link = std::make_unique<RawServerClient>();
        if (!client.Link->Connect(port)) {
            std::fprintf(stderr, "alertd_load: cannot connect\n");
            return 1;
        }
        client.Link->Call({ { "command", "login" }, { "username", "load" + std::to_string(c) },
            { "password", "x" } });
        for (int w = 0; w < windows; ++w)
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
    RunFor(1000); // warm-up
    measuring = true;
    const int64_t firstId = all[0].LastId;
    QElapsedTimer timer;
    timer.start();
    RunFor(seconds * 1000);
    measuring = false;
    const double elapsed = static_cast<double>(timer.elapsed()) / 1000.0;
    uint64_t alerts = 0, replies = 0;
    for (const auto &client : all) {
        alerts += client.Alerts;
        replies += client.Replies;
    }
    const double market = static_cast<double>(all[0].LastId - firstId) / elapsed;
    std::printf("clients %d, windows per client %d, market rate asked %.0f/s, generated %.0f/s\n",
        clients, windows, rate, market);
    std::printf("delivered %.0f alerts/s in total (%.0f per window), %.1f replies/s per client, "
                "over %.1f s\n",
        static_cast<double>(alerts) / elapsed,
        static_cast<double>(alerts) / elapsed / (clients * windows),
        static_cast<double>(replies) / elapsed / clients, elapsed);
    process.terminate();
    process.waitForFinished(5000);
    return 0;
}
