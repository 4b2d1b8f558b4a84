// kvtail: a command-line alert monitor. Subscribes one window per --config and prints every
// alert as it arrives (or a history range, then exits); connection status goes to stderr.

#include "kvtail/AlertFormat.h"
#include "kvtail/TailOptions.h"
#include "session/GetAlertData.h"
#include "session/TimeDefaults.h"
#include "support/DebugLog.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

using namespace kestrova;
using namespace kvtail;

namespace {

int SignalPipe[2] = { -1, -1 };

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(SignalPipe[1], &byte, 1);
}

void Status(const std::string &text)
{
    std::fprintf(stderr, "kvtail: %s\n", text.c_str());
    std::fflush(stderr);
}

const char *LoginStateText(TLoginState state)
{
    switch (state) {
    case lsGood:
        return "logged in";
    case lsAnotherUser:
        return "login refused: another user is logged in with this account";
    case lsBadUsername:
        return "login refused: bad username";
    case lsBadPassword:
        return "login refused: bad password";
    case lsRequirePayment:
        return "login refused: payment required";
    case lsUnknown:
        break;
    }
    return nullptr;
}

// Turns the session's status notifications into a few readable lines.
class TStatusPrinter
{
public:
    // where: the server as the user named it, for the "connected to" line.
    TStatusPrinter(TAllAlertsConnection &session, std::string where)
        : FSession(session)
        , FWhere(std::move(where))
    {
    }

    void Message(int code, const std::string &text)
    {
        switch (code) {
        case scServerMessage:
            Status(FSession.DisconnectedForGood() ? "logged out for good: " + text : text);
            break;
        case scReset:
            break;
        case scNetworkSuccess:
            if (!FConnected)
                Status("connected to " + FWhere);
            FConnected = true;
            FLastError.clear();
            break;
        case scNetworkFailure:
            if (text.empty())
                break; // a failed request; the link's own report carries the reason
            if (FConnected || text != FLastError)
                Status("connection lost: " + text);
            FConnected = false;
            FLastError = text;
            break;
        case scLatency:
            if (text != FLastLatency)
                Status("latency " + text);
            FLastLatency = text;
            break;
        }
    }
    void WatchLinks()
    {
        const uint64_t links = FSession.LinksCreated();
        if (FLinks > 0 && links > FLinks)
            Status("restarted the connection");
        FLinks = links;
    }

private:
    TAllAlertsConnection &FSession;
    std::string FWhere;
    bool FConnected = false;
    std::string FLastError, FLastLatency;
    uint64_t FLinks = 0;
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

    QCoreApplication app(argc, argv);
    if (pipe(SignalPipe) != 0)
        return 1;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);

    SetTimeOffset(999999); // times arrive formatted by the server, as in the library
    auto session = std::make_unique<TAllAlertsConnection>();
    TStatusPrinter printer(*session, options.Tunnel.empty() ? options.Server : options.Tunnel);
    session->OnStatusMessage
        = [&](int code, const std::string &text) { printer.Message(code, text); };
    session->OnLoginStatus = [](TLoginState state, int32_t) {
        if (const char *text = LoginStateText(state))
            Status(text);
    };
    session->SetServerAddress(options.Server);
    if (!options.Tunnel.empty())
        session->SetTunnel(true, options.Tunnel);
    session->SetHttpProxy(options.HttpProxyUser, options.HttpProxyPassword, options.HttpProxyHost,
        options.HttpProxyPort);
    session->SetVendorId("kvtail");
    session->SetUsername(options.User);
    session->SetPassword(options.Password);

    if (const std::string header = FormatHeader(options.Format); !header.empty())
        std::printf("%s\n", header.c_str());
    std::fflush(stdout);

    if (options.Configs.empty())
        options.Configs.emplace_back();
    std::vector<std::unique_ptr<TAlertWindowConnection>> windows;
    // Windows whose history is printed; their handler stays installed (it must not free itself).
    std::vector<const TAlertWindowConnection *> finished;
    for (const std::string &config : options.Configs) {
        auto window = std::make_unique<TAlertWindowConnection>(*session);
        if (!config.empty())
            window->SetConfig(config);
        TAlertWindowConnection *w = window.get();
        const std::string label = config.empty() ? w->WindowId() : config;
        w->OnAlerts = [&, w, label](const TAlertRecords &records, bool isHistory) {
            if (std::find(finished.begin(), finished.end(), w) != finished.end())
                return;
            // Batches come newest first: live alerts are printed in the order they happened.
            if (isHistory)
                for (const auto &a : records)
                    std::printf("%s\n", FormatAlert(options.Format, label, a).c_str());
            else
                for (auto it = records.rbegin(); it != records.rend(); ++it)
                    std::printf("%s\n", FormatAlert(options.Format, label, *it).c_str());
            std::fflush(stdout);
            if (!isHistory || !records.empty())
                return;
            if (w->HistoryState() == hsMoreAvailable && w->HistoryMaxCount() > 0) {
                w->RequestMoreHistory();
            } else if (w->HistoryState() == hsComplete || w->HistoryState() == hsMoreAvailable) {
                finished.push_back(w);
                if (finished.size() == windows.size())
                    QTimer::singleShot(0, &app, &QCoreApplication::quit);
            }
        };
        if (options.History) {
            w->SetHistoryMaxCount(options.HistoryMax);
            // The request reads back in time: its start is the newest alert wanted, its end
            // the oldest.
            w->SetHistoryStartTime(options.HistoryTo);
            w->SetHistoryEndTime(options.HistoryFrom);
            w->RequestHistoryRange();
        }
        windows.push_back(std::move(window));
    }

    QTimer linkWatch;
    QObject::connect(&linkWatch, &QTimer::timeout, [&] { printer.WatchLinks(); });
    linkWatch.start(500);

    QSocketNotifier signalNotifier(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char byte;
        [[maybe_unused]] ssize_t n = read(SignalPipe[0], &byte, 1);
        signalNotifier.setEnabled(false);
        Status("stopping");
        windows.clear(); // withdraws the subscriptions; give the link a moment to send that
        QTimer::singleShot(300, &app, &QCoreApplication::quit);
    });

    const int rc = app.exec();
    windows.clear();
    session.reset();
    return rc;
}
