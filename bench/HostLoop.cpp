// The host's event loop under a stream of alerts: one Qt host (this program) loads the library
// with dlopen and shows alert windows that all follow every alert of the reference server,
// which it starts at a given rate. Reports the alerts the windows showed per second, how long
// the loop went without coming back to a 1 ms probe timer (the stretches it was busy: p99 and
// max) and the resident memory the windows cost beyond the host's own.
//
//   kv_host_loop [--windows N] [--rate R] [--seconds S] [--hidden] [--lib PATH] [--server PATH]
//
// Defaults: 10 windows, 10,000 alerts per second, 20 s. The windows are 600 x 300 pixels on the
// offscreen platform (set QT_QPA_PLATFORM to use another); --hidden never shows them, which
// leaves the loop's work without painting.

#include "KvLibrary.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

struct TOptions
{
    int Windows = 10;
    int Rate = 10000;
    double Seconds = 20;
    bool Hidden = false;
    std::string Library = KV_LIB_DIR "/libKestrovaAlerts.so";
    std::string Server = KV_BIN_DIR "/kestrova-alertd";
};

long long AlertsShown = 0;

void CountAlert()
{
    ++AlertsShown;
}

// Resident memory in MiB (VmRSS), after the allocator gave back the free memory it keeps, so
// that what is counted is memory in use.
double ResidentMiB()
{
    malloc_trim(0);
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

// Runs the loop for ms milliseconds (a nested loop: quitting the application's own would shut
// the library down).
void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool ParseOptions(int argc, char **argv, TOptions &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--hidden") {
            o.Hidden = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const char *value = argv[++i];
        if (flag == "--windows")
            o.Windows = std::max(1, std::atoi(value));
        else if (flag == "--rate")
            o.Rate = std::max(1, std::atoi(value));
        else if (flag == "--seconds")
            o.Seconds = std::max(1.0, std::atof(value));
        else if (flag == "--lib")
            o.Library = value;
        else if (flag == "--server")
            o.Server = value;
        else
            return false;
    }
    return true;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))];
}

// Starts the reference server; its address, or "" when it did not start.
QString StartServer(QProcess &server, const TOptions &o, const QString &dataDir)
{
    server.start(QString::fromStdString(o.Server),
        { "--port", "0", "--data", dataDir, "--rate", QString::number(o.Rate) });
    if (!server.waitForStarted(5000))
        return {};
    for (int i = 0; i < 100; ++i) {
        server.waitForReadyRead(100);
        const QString line = QString::fromUtf8(server.readLine()).trimmed();
        if (line.startsWith("listening on "))
            return line.mid(13);
    }
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    TOptions o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
            "usage: kv_host_loop [--windows N] [--rate R] [--seconds S] [--hidden] [--lib PATH] "
            "[--server PATH]\n");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir data;
    QProcess server;
    const QString address = StartServer(server, o, data.path());
    if (address.isEmpty()) {
        std::fprintf(stderr, "kv_host_loop: the server did not start: %s\n",
            server.readAllStandardError().constData());
        return 1;
    }
    KvLibrary kv;
    std::string error;
    if (!LoadKvLibrary(o.Library, kv, error)) {
        std::fprintf(stderr, "kv_host_loop: %s\n", error.c_str());
        return 1;
    }

    // The host alone: its window shown, the library started, no alert window yet.
    const int columns = 2, width = 600, height = 300;
    QWidget host;
    host.resize(columns * width, (o.Windows + columns - 1) / columns * height);
    if (!o.Hidden)
        host.show();
    kv.SetTcpIpServerAddress(address.toUtf8().constData());
    kv.SetUsernameAndPassword("bench", "bench");
    kv.SetEachAlertCallback(CountAlert);
    RunFor(500);
    const double hostAlone = ResidentMiB();

    std::vector<KV_HWND> windows;
    const auto addWindow = [&] {
        const int i = static_cast<int>(windows.size());
        const KV_HWND h = kv.CreateAlertWindow(host.winId());
        kv.SetWindowPosition(h, i % columns * width, i / columns * height, width, height);
        kv.SetDataConfig(h, "O=1fffffffffffffffffffffff0_3d_0&WN=Everything");
        windows.push_back(h);
    };
    // One window until the stream flows and its list is full: the link, its buffers and the
    // fonts are there once, whatever the number of windows.
    addWindow();
    QElapsedTimer wait;
    wait.start();
    while (AlertsShown == 0 && wait.elapsed() < 15000)
        RunFor(100);
    RunFor(2000);
    const double oneWindow = ResidentMiB();
    while (static_cast<int>(windows.size()) < o.Windows)
        addWindow();
    RunFor(2000);

    // The probe: a 1 ms timer; the time between two of its ticks beyond 1 ms is a stretch the
    // loop was busy with other work.
    std::vector<double> gaps;
    QElapsedTimer clock;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    qint64 last = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        gaps.push_back((now - last) / 1e6);
        last = now;
    });
    const long long before = AlertsShown;
    clock.start();
    probe.start(1);
    RunFor(static_cast<int>(o.Seconds * 1000));
    probe.stop();
    const double elapsed = clock.nsecsElapsed() / 1e9;
    const long long shown = AlertsShown - before;
    const double withWindows = ResidentMiB();

    for (KV_HWND h : windows)
        kv.ReleaseWindow(h);
    server.terminate();
    server.waitForFinished(5000);

    std::vector<double> busy;
    for (double gap : gaps)
        busy.push_back(std::max(0.0, gap - 1.0));
    const double longest = busy.empty() ? 0.0 : *std::max_element(busy.begin(), busy.end());
    std::printf("host loop: %d alert windows%s, the server at %d alerts/s, %.1f s\n", o.Windows,
        o.Hidden ? " (never shown)" : "", o.Rate, elapsed);
    std::printf("alerts shown: %.0f per second per window, %.0f per second in all\n",
        shown / elapsed / o.Windows, shown / elapsed);
    std::printf("loop busy without a break: p99 %.1f ms, max %.1f ms (%zu probe ticks)\n",
        Percentile(busy, 0.99), longest, gaps.size());
    std::printf("resident memory in use: host alone %.1f MiB, with one window %.1f MiB, with %d "
                "windows %.1f MiB\n",
        hostAlone, oneWindow, o.Windows, withWindows);
    std::printf("  per window beyond the host's own: %.2f MiB on average, %.2f MiB for each window "
                "after the first\n",
        (withWindows - hostAlone) / o.Windows,
        o.Windows > 1 ? (withWindows - oneWindow) / (o.Windows - 1) : 0.0);
    return 0;
}
