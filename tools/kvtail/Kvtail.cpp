// kvtail: a command-line alert monitor. Subscribes one window per --config and prints every
// alert as it arrives, oldest first (or a history range, then exits); what the connection does
// goes to stderr. See --help for the exit statuses.

#include "kestrova/KestrovaAlerts.h"
#include "kvtail/AlertFormat.h"
#include "kvtail/TailOptions.h"
#include "kvtail/TailStatus.h"
#include "session/GetAlertData.h"
#include "session/SessionDiagnostics.h"
#include "session/TimeDefaults.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

using namespace kestrova;
using namespace kvtail;

namespace {

int SignalPipe[2] = { -1, -1 };

void OnSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] ssize_t n = write(SignalPipe[1], &byte, 1);
}

// How the run ends: the first reason wins; the loop quits after the given delay.
class TRunEnd
{
public:
    explicit TRunEnd(QCoreApplication &app)
        : FApp(app)
    {
    }
    bool Ending() const { return FEnding; }
    void Stop(int status, int delayMs = 0)
    {
        if (FEnding)
            return;
        FEnding = true;
        QTimer::singleShot(delayMs, &FApp, [this, status] { FApp.exit(status); });
    }

private:
    QCoreApplication &FApp;
    bool FEnding = false;
};

// stdout, flushed after every batch. A reader that went away (kvtail | head) ends the run
// quietly with status 0; another write error ends it with a message.
class TOutput
{
public:
    TOutput(TRunEnd &end, TTailStatus &status)
        : FEnd(end)
        , FStatus(status)
    {
    }
    bool Open() const { return !FClosed; }
    void Print(const std::string &line)
    {
        if (!FClosed)
            std::fprintf(stdout, "%s\n", line.c_str());
    }
    void Flush()
    {
        if (FClosed)
            return;
        errno = 0;
        if (std::fflush(stdout) == 0 && !std::ferror(stdout))
            return;
        FClosed = true;
        FStatus.Silence();
        if (errno == EPIPE) {
            FEnd.Stop(0);
        } else {
            StatusLine(std::string("cannot write the output: ") + std::strerror(errno));
            FEnd.Stop(ExitFailure);
        }
    }

private:
    TRunEnd &FEnd;
    TTailStatus &FStatus;
    bool FClosed = false;
};

struct TTailWindow
{
    std::unique_ptr<TAlertWindowConnection> Connection;
    int Number = 0; // from 1, in the order of --config
    std::string Config;
    // History, as it arrives (newest first), at most --history-max.
    TAlertRecords History;
    bool HistoryDone = false;
    std::string LastRefusal;

    // The label of CSV and JSON lines: the configuration, or the window id without one.
    std::string DataLabel() const { return Config.empty() ? Connection->WindowId() : Config; }
    // The text format's label: the name the server gave the window, or its number.
    std::string TextLabel() const
    {
        const std::string &name = Connection->WindowName();
        return name.empty() ? "#" + std::to_string(Number) : name;
    }
};

class TTail
{
public:
    TTail(const TTailOptions &options, TAllAlertsConnection &session, TOutput &output, TRunEnd &end,
        TTailStatus &status)
        : FOptions(options)
        , FSession(session)
        , FOutput(output)
        , FEnd(end)
        , FStatus(status)
    {
    }

    void Start()
    {
        std::vector<std::string> configs = FOptions.Configs;
        if (configs.empty())
            configs.emplace_back();
        for (const std::string &config : configs) {
            auto window = std::make_unique<TTailWindow>();
            window->Number = static_cast<int>(FWindows.size()) + 1;
            window->Config = config;
            window->Connection = std::make_unique<TAlertWindowConnection>(FSession);
            if (!config.empty())
                window->Connection->SetConfig(config);
            Attach(*window);
            FWindows.push_back(std::move(window));
        }
    }
    // Withdraws the subscriptions.
    void Clear() { FWindows.clear(); }

private:
    bool NamesWindows() const { return FWindows.size() > 1; }

    void Print(const TTailWindow &window, const TAlertRecord &alert)
    {
        const std::string label = FOptions.Format == TFormat::Text
            ? (NamesWindows() ? window.TextLabel() : std::string())
            : window.DataLabel();
        FOutput.Print(FormatAlert(
            FOptions.Format, label, alert, AlertUnixTime(alert, FSession.ServerZoneOffsetDays())));
    }

    void Attach(TTailWindow &window)
    {
        TTailWindow *w = &window;
        TAlertWindowConnection &connection = *window.Connection;
        connection.OnConfigRefused = [this, w](const std::string &reason) {
            if (reason == w->LastRefusal)
                return;
            w->LastRefusal = reason;
            FStatus.ConfigRefused(std::to_string(w->Number) + " (\"" + w->Config + "\")", reason);
        };
        connection.OnAlerts = [this, w](const TAlertRecords &records, bool isHistory) {
            if (FEnd.Ending())
                return;
            if (!isHistory) {
                // Batches come newest first.
                for (auto it = records.rbegin(); it != records.rend(); ++it)
                    Print(*w, *it);
                FOutput.Flush();
            } else {
                HistoryArrived(*w, records);
            }
        };
        if (FOptions.History) {
            connection.SetHistoryMaxCount(FOptions.HistoryMax);
            // The request reads back in time: its start is the newest alert wanted, its end
            // the oldest.
            connection.SetHistoryStartTime(FOptions.HistoryTo);
            connection.SetHistoryEndTime(FOptions.HistoryFrom);
            connection.RequestHistoryRange();
        }
    }

    void HistoryArrived(TTailWindow &window, const TAlertRecords &records)
    {
        if (window.HistoryDone)
            return;
        const size_t room
            = FOptions.HistoryMax - std::min<size_t>(window.History.size(), FOptions.HistoryMax);
        window.History.insert(window.History.end(), records.begin(),
            records.begin() + static_cast<std::ptrdiff_t>(std::min(room, records.size())));
        if (!records.empty())
            return; // an empty batch ends each piece of the range
        TAlertWindowConnection &connection = *window.Connection;
        const bool full = window.History.size() >= static_cast<size_t>(FOptions.HistoryMax);
        if (connection.HistoryState() == hsMoreAvailable && connection.HistoryMaxCount() > 0
            && !full) {
            connection.RequestMoreHistory();
        } else if (connection.HistoryState() == hsComplete
            || connection.HistoryState() == hsMoreAvailable) {
            window.HistoryDone = true;
            if (std::all_of(
                    FWindows.begin(), FWindows.end(), [](const auto &w) { return w->HistoryDone; }))
                PrintHistory();
        }
    }

    // The windows' history, oldest first (windows in order at equal times), then the end.
    void PrintHistory()
    {
        std::vector<std::pair<const TTailWindow *, const TAlertRecord *>> lines;
        for (const auto &window : FWindows)
            for (auto it = window->History.rbegin(); it != window->History.rend(); ++it)
                lines.emplace_back(window.get(), &*it);
        std::stable_sort(lines.begin(), lines.end(),
            [](const auto &a, const auto &b) { return a.second->Time < b.second->Time; });
        // Each window holds the newest --history-max of its range; the run prints the newest
        // --history-max of them all.
        const size_t max = static_cast<size_t>(FOptions.HistoryMax);
        if (lines.size() > max)
            lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(max));
        for (const auto &[window, alert] : lines)
            Print(*window, *alert);
        FOutput.Flush();
        FEnd.Stop(0);
    }

    const TTailOptions &FOptions;
    TAllAlertsConnection &FSession;
    TOutput &FOutput;
    TRunEnd &FEnd;
    TTailStatus &FStatus;
    std::vector<std::unique_ptr<TTailWindow>> FWindows;
};

} // namespace

int main(int argc, char **argv)
{
    TTailOptions options;
    try {
        options = ParseTailOptions(
            std::vector<std::string>(argv + 1, argv + argc), std::getenv("KESTROVA_PASSWORD"));
    } catch (const TUsageError &e) {
        std::fprintf(stderr, "%s\n\n%s", e.what(), TailUsage);
        return 2;
    }
    if (options.Help) {
        std::fputs(TailUsage, stdout);
        return 0;
    }
    if (options.Version) {
        std::puts("kvtail " KV_VERSION_STRING);
        return 0;
    }

    QCoreApplication app(argc, argv);
    if (pipe(SignalPipe) != 0)
        return ExitFailure;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN); // a closed stdout shows as EPIPE

    SetTimeOffset(
        ServerTimeOffsetMinutes); // times arrive formatted by the server, as in the library
    auto session = std::make_unique<TAllAlertsConnection>();
    TRunEnd end(app);
    TTailStatus status(
        *session, options.Tunnel.empty() ? options.Server : options.Tunnel, [&](int code) {
            status.Silence();
            end.Stop(code);
        });
    status.Attach();
    TOutput output(end, status);
    session->SetServerAddress(options.Server);
    if (!options.Tunnel.empty())
        session->SetTunnel(true, options.Tunnel);
    session->SetHttpProxy(options.HttpProxyUser, options.HttpProxyPassword, options.HttpProxyHost,
        options.HttpProxyPort);
    session->SetVendorId("kvtail");
    session->SetUsername(options.User);
    session->SetPassword(options.Password);

    if (const std::string header = FormatHeader(options.Format, options.Configs.size() > 1);
        !header.empty())
        output.Print(header);
    output.Flush();

    TTail tail(options, *session, output, end, status);
    tail.Start();

    QTimer diagnostics;
    QObject::connect(&diagnostics, &QTimer::timeout, [&] {
        if (end.Ending())
            return;
        std::fprintf(stderr, "%s\n", SessionDiagnosticsJson(*session, -1).c_str());
        std::fflush(stderr);
    });
    if (options.Diagnostics)
        diagnostics.start(10000);

    QSocketNotifier signalNotifier(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char signal = 0;
        [[maybe_unused]] ssize_t n = read(SignalPipe[0], &signal, 1);
        const int code = signal == SIGINT ? ExitInterrupted : ExitTerminated;
        if (end.Ending()) {
            app.exit(code); // a second signal does not wait
            return;
        }
        StatusLine("stopping");
        status.Silence();
        tail.Clear(); // withdraws the subscriptions; give the link a moment to send that
        end.Stop(code, 300);
    });

    const int rc = app.exec();
    tail.Clear();
    session.reset();
    return rc;
}
