// kvshot: a small host that shows alert windows fed by an alert server and saves each as a PNG.
// Every scene is one alert window with its own window configuration string; after the wait
// the windows are saved as <out>/<scene>.png. With --dialogs the first window then opens each
// of its dialogs and runs a backtest (see KvshotDialogs.cpp). Used by scripts/screenshots.sh.
//   kvshot --server HOST:PORT [--user U] [--password P] [--out DIR] [--wait SECONDS]
//          [--size WxH] [--click] [--dialogs] [--scene NAME=CONFIG ...]

#include "KvshotDialogs.h"
#include "grid/AlertGrids.h"
#include "grid/AlertPanel.h"
#include "icons/AlertIcons.h"
#include "icons/AlertIconsPictures.h"
#include "kestrova/KestrovaAlerts.h"
#include "session/BacktestNames.h"
#include "session/GetAlertData.h"
#include "session/TimeDefaults.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace kestrova;

namespace {

struct TOptions
{
    std::string Server = "127.0.0.1:8888";
    std::string User = "shots", Password = "shots";
    std::string Out = "/tmp/kv-screens";
    double Wait = 6;
    int Width = 600, Height = 400;
    bool Click = false;
    bool Dialogs = false;
    std::vector<std::pair<std::string, std::string>> Scenes;
};

const std::vector<std::pair<std::string, std::string>> DefaultScenes = {
    { "down", TAlertGrid::DefaultWindowConfig },
    { "up", "C,5,2,76,1,40,3,45,4,176,6,42,1,2,20,31,1,0" },
    // Sideways the sizes are row heights: four lines of description.
    { "left", "C,5,2,15,1,20,3,15,4,60,6,15,2,2,20,31,1,0" },
    { "right", "C,5,2,15,1,20,3,15,4,60,6,15,3,2,20,31,1,0" },
    { "writeover", "C,4,2,76,1,40,3,45,4,300,0,2,20,31,2,0" },
    { "groupsymbol", "C,4,3,60,2,76,4,300,8,40,0,2,20,31,3,3" },
    // Charts and quality on the textured "Paper" scheme, newest symbols first.
    { "newestsymbols", "C,6,3,50,11,66,10,53,5,70,9,45,4,200,0,3,20,31,4,0" },
    // The numbers in the "Classic" scheme's coloured text.
    { "numbers", "C,9,7,40,2,60,1,40,3,45,5,70,6,50,12,50,13,50,14,50,0,1,20,31,1,0" },
};

bool ParseOptions(int argc, char **argv, TOptions &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--click") {
            o.Click = true;
        } else if (a == "--dialogs") {
            o.Dialogs = true;
        } else if (a == "--server" && hasValue) {
            o.Server = argv[++i];
        } else if (a == "--user" && hasValue) {
            o.User = argv[++i];
        } else if (a == "--password" && hasValue) {
            o.Password = argv[++i];
        } else if (a == "--out" && hasValue) {
            o.Out = argv[++i];
        } else if (a == "--wait" && hasValue) {
            o.Wait = std::atof(argv[++i]);
        } else if (a == "--size" && hasValue
            && std::sscanf(argv[++i], "%dx%d", &o.Width, &o.Height) == 2) {
        } else if (a == "--scene" && hasValue) {
            const std::string scene = argv[++i];
            const size_t eq = scene.find('=');
            if (eq == std::string::npos)
                return false;
            o.Scenes.emplace_back(scene.substr(0, eq), scene.substr(eq + 1));
        } else {
            return false;
        }
    }
    if (o.Scenes.empty())
        o.Scenes = DefaultScenes;
    return true;
}

// Where --click clicks: on the newest alert shown whole, else on the first alert shown whole, in
// the first data type that is not an Icon (a click on an icon may open a help page). Empty when
// no alert is on screen.
QRect ClickTarget(const TAlertGrid &grid)
{
    const bool vertical = IsVertical(grid.Direction());
    const std::vector<uint8_t> &types = grid.DataTypes();
    int typeLine = 0;
    while (typeLine + 1 < static_cast<int>(types.size()) && types[size_t(typeLine)] == cdIcon)
        ++typeLine;
    const int first = vertical ? grid.TopRow() : grid.LeftCol();
    const int shown = vertical ? grid.VisibleRowCount() : grid.VisibleColCount();
    QRect target;
    for (int line = first; line < first + shown; ++line) {
        const int col = vertical ? typeLine : line, row = vertical ? line : typeLine;
        const int index = grid.AlertIndexAt(col, row);
        if (index >= 0 && (target.isEmpty() || index == 0))
            target = grid.CellRect(col, row);
    }
    return target;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("kvshot " KV_VERSION_STRING);
        return 0;
    }
    const char *usage = "usage: kvshot --server HOST:PORT [--user U] [--password P] [--out DIR]\n"
                        "              [--wait SECONDS] [--size WxH] [--click] [--dialogs]\n"
                        "              [--scene NAME=CONFIG ...]\n"
                        "       kvshot --version | --help\n";
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    TOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(usage, stderr);
        return 2;
    }
    QApplication app(argc, argv);
    SetTimeOffset(ServerTimeOffsetMinutes);
    SetTimeFormats("hh:nn:ss M/d/yyyy|hh:nn:ss");
    BacktestFeatureName() = "Backtester"; // as the library's start-up names it
    // The process's session, as the library's windows use it (the shared configure-alerts
    // dialog talks through it too), and the icon cache beside it: icons, textures and charts
    // come from the same server.
    TAllAlertsConnection *session = &AllAlertsConnection();
    session->SetServerAddress(options.Server);
    session->SetVendorId("kvshot");
    session->SetUsername(options.User);
    session->SetPassword(options.Password);
    // The shared dialogs draw their icons from that cache too.
    SetAlertPictures(&IconCachePictures());

    std::vector<std::unique_ptr<TAlertPanel>> panels;
    for (const auto &[name, config] : options.Scenes) {
        auto panel = std::make_unique<TAlertPanel>(*session);
        panel->setWindowTitle(QString::fromStdString(name));
        panel->resize(options.Width, options.Height);
        panel->Grid().SetWindowConfig(config);
        panel->show();
        panels.push_back(std::move(panel));
    }
    QDir().mkpath(QString::fromStdString(options.Out));
    int status = 0;
    QTimer::singleShot(static_cast<int>(options.Wait * 1000), [&] {
        for (size_t i = 0; i < panels.size(); ++i) {
            TAlertPanel &panel = *panels[i];
            TAlertGrid &grid = panel.Grid();
            if (options.Click) { // a click on an alert fills the description line
                const QRect cell = ClickTarget(grid);
                if (!cell.isEmpty())
                    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
            }
            const std::string path = options.Out + "/" + options.Scenes[i].first + ".png";
            if (!panel.grab().save(QString::fromStdString(path)))
                status = 1;
            std::printf("%s  %d alerts  %s\n", path.c_str(), grid.Alerts().Count(),
                grid.WindowConfig().c_str());
        }
        if (options.Dialogs && !panels.empty())
            ShootDialogs(*panels.front(), options.Out, [&app] { app.quit(); });
        else
            app.quit();
    });
    app.exec();
    panels.clear();
    SetAlertPictures(nullptr);
    FreeIconCache(); // it talks through the session, and its timer needs the application
    return status;
}
