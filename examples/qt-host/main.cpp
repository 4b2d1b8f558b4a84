// qt-host: a Qt application that embeds the library's windows the way a trading application
// does. It loads libKestrovaAlerts.so with dlopen (it is not linked), shows two alert windows and
// a status window in its own main window, adds items of its own to the alert windows' menus and
// prints every callback with what the getters tell.
//
// `qt-host --help` lists its options.

#include "HostWindow.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

HostWindow *Host = nullptr;

// The library calls plain functions; they go to the host window.
void OnEachAlert()
{
    Host->EachAlert();
}
void OnAlertSelected()
{
    Host->AlertSelected();
}
void OnWindowName()
{
    Host->WindowNameChanged();
}
void OnCustomMenu()
{
    Host->CustomMenu();
}
int32_t OnQuorixStart()
{
    return Host->QuorixStart();
}

const char *const Usage
    = "usage: qt-host [--lib PATH] [--user U] [--password P] [--quit-after SECONDS]\n"
      "               [--shots DIR [--wait SECONDS] [--menu-item N]] SERVER\n"
      "       qt-host [--lib PATH] --help | --version\n"
      "\n"
      "Embeds two alert windows and a status window of the library, fed by SERVER\n"
      "(HOST:PORT), adds items of its own to the alert windows' menus and prints every\n"
      "callback on stdout.\n"
      "  --lib PATH           the library to load (default: ../lib/libKestrovaAlerts.so\n"
      "                       beside this program)\n"
      "  --user U             account name (default demo)\n"
      "  --password P         password (default demo)\n"
      "  --quit-after SECONDS quit after that time; exit status 2 when no alert arrived\n"
      "  --shots DIR          after the wait save DIR/qt-host.png, then DIR/qt-host-menu.png\n"
      "                       with an alert window's menu open, and quit\n"
      "  --wait SECONDS       time before the pictures (default 8)\n"
      "  --menu-item N        the menu item whose sub-menu the picture opens (default 6:\n"
      "                       \"Direction\")\n"
      "  --help               print this and exit\n"
      "  --version            print this program's version and the library's, and exit\n";

struct Options
{
    std::string Library, User = "demo", Password = "demo", Server, Shots;
    double Wait = 8, QuitAfter = 0;
    int MenuItem = 6; // "Direction"
    bool Help = false, Version = false;
};

bool Parse(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--help" || a == "-h")
            o.Help = true;
        else if (a == "--version")
            o.Version = true;
        else if (a == "--lib" && value)
            o.Library = argv[++i];
        else if (a == "--user" && value)
            o.User = argv[++i];
        else if (a == "--password" && value)
            o.Password = argv[++i];
        else if (a == "--shots" && value)
            o.Shots = argv[++i];
        else if (a == "--wait" && value)
            o.Wait = std::atof(argv[++i]);
        else if (a == "--menu-item" && value)
            o.MenuItem = std::atoi(argv[++i]);
        else if (a == "--quit-after" && value)
            o.QuitAfter = std::atof(argv[++i]);
        else if (a.rfind("--", 0) != 0 && o.Server.empty())
            o.Server = a;
        else
            return false;
    }
    return o.Help || o.Version || !o.Server.empty();
}

// ../lib/libKestrovaAlerts.so beside this program's directory.
std::string DefaultLibraryPath()
{
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return (QFileInfo(self).absolutePath() + "/../lib/libKestrovaAlerts.so").toStdString();
}

// This program's version, then that of the library it would load (asking starts nothing there).
int PrintVersions(const KvLibrary &kv)
{
    std::printf("qt-host %s\nlibrary %s\n", KV_VERSION_STRING, kv.GetVersion());
    return 0;
}

// Saves the main window, then the same with the left alert window's context menu open, as a
// right click on it would open it, and the sub-menu of its item menuItem (1-based) open.
void TakeShots(HostWindow &host, const QString &dir, int menuItem)
{
    QDir().mkpath(dir);
    const bool saved = host.grab().save(dir + "/qt-host.png");
    std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(dir + "/qt-host.png"));
    const QPoint global = host.MenuPoint();
    QWidget *target = QApplication::widgetAt(global);
    if (!target) {
        std::printf("no window under the mouse for the menu picture\n");
        return;
    }
    QContextMenuEvent event(QContextMenuEvent::Mouse, target->mapFromGlobal(global), global);
    QApplication::sendEvent(target, &event);
    // Down to the item and into its sub-menu, as the keyboard would.
    QTimer::singleShot(300, &host, [menuItem] {
        std::vector<int> keys(static_cast<size_t>(std::max(0, menuItem)), Qt::Key_Down);
        keys.push_back(Qt::Key_Right);
        for (int key : keys)
            if (QWidget *popup = QApplication::activePopupWidget()) {
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                QApplication::sendEvent(popup, &press);
            }
    });
    QTimer::singleShot(900, &host, [&host, dir] {
        QRect area = host.frameGeometry();
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible() && (w->windowFlags() & Qt::Popup) == Qt::Popup)
                area = area.united(w->frameGeometry());
        const QPixmap shot
            = host.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
        const bool ok = shot.save(dir + "/qt-host-menu.png");
        std::printf(
            "%s %s\n", ok ? "saved" : "could not save", qPrintable(dir + "/qt-host-menu.png"));
        while (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
    });
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fputs(Usage, stderr);
        return 1;
    }
    if (options.Help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (options.Library.empty())
        options.Library = DefaultLibraryPath();
    KvLibrary kv;
    std::string error;
    if (!LoadKvLibrary(options.Library, kv, error)) {
        std::fprintf(stderr, "qt-host: %s: %s\n", options.Library.c_str(), error.c_str());
        return 1;
    }
    if (options.Version)
        return PrintVersions(kv);
    QApplication app(argc, argv);
    kv.SetTcpIpServerAddress(options.Server.c_str());
    kv.SetUsernameAndPassword(options.User.c_str(), options.Password.c_str());

    HostWindow host(kv);
    Host = &host;
    kv.SetEachAlertCallback(OnEachAlert);
    kv.SetAlertSelectedCallback(OnAlertSelected);
    kv.SetWindowNameCallback(OnWindowName);
    kv.SetCustomMenuCallback(OnCustomMenu);
    kv.SetQuorixStartCallback(OnQuorixStart);
    host.show();

    if (!options.Shots.empty()) {
        const QString dir = QString::fromStdString(options.Shots);
        const int item = options.MenuItem;
        QTimer::singleShot(static_cast<int>(options.Wait * 1000), &host, [&host, &app, dir, item] {
            TakeShots(host, dir, item);
            QTimer::singleShot(1500, &app, &QApplication::quit);
        });
    } else if (options.QuitAfter > 0) {
        QTimer::singleShot(static_cast<int>(options.QuitAfter * 1000), &app, &QApplication::quit);
    }
    // The windows go while the application (and so the library) is still running.
    QObject::connect(&app, &QApplication::aboutToQuit, &host, [&] { host.ReleaseWindows(); });
    const int status = app.exec();
    kv.SetEachAlertCallback(nullptr);
    Host = nullptr;
    if (options.QuitAfter > 0 && host.AlertCount() == 0)
        return 2;
    return status;
}
