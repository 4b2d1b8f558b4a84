// The window exports as a Qt host uses them: the library loaded with dlopen, its windows embedded
// in the host's widget, configuration strings, menu paths, host items, callbacks and the getters
// read inside them, against the reference server and against scripted replies.

#include "host/HostWindows.h"
#include "host/ScriptedAlertServer.h"
#include "support/AlertServerProcess.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFontMetrics>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <cmath>
#include <ctime>

using namespace kvhost;

namespace {

std::vector<std::string> Fields(const char *text)
{
    std::vector<std::string> out;
    for (const QString &field : QString(text).split(','))
        out.push_back(field.toStdString());
    return out;
}

// Unix seconds of a local date-time, as the host's C library sees it.
int32_t LocalUnix(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return static_cast<int32_t>(std::mktime(&tm));
}

constexpr int SymbolType = 3; // the Symbol column's type in a layout string

// The middle of a column's cell in the first alert row of a grid with columns laid out by
// layout ("C,count,type,width,..."): across, the widths of the columns before it and half its own
// (their grid lines, a pixel each, move it a few pixels, well inside the cell); down, the header
// is one text line of the grid's font with a pixel above and below, and the first alert row under
// it is at least as tall. (-1, -1) when the layout has no such column.
QPoint FirstRowCell(const QWidget &grid, const char *layout, int type)
{
    const std::vector<std::string> f = Fields(layout);
    const int line = QFontMetrics(grid.font()).height() + 2;
    const size_t count = f.size() > 1 ? std::stoul(f[1]) : 0;
    for (size_t i = 0, left = 0; i < count && 3 + 2 * i < f.size(); ++i) {
        const int width = std::stoi(f[3 + 2 * i]);
        if (std::stoi(f[2 + 2 * i]) == type)
            return QPoint(static_cast<int>(left) + width / 2, line + line / 2);
        left += static_cast<size_t>(width);
    }
    return QPoint(-1, -1);
}

TEST_F(HostWindows, CreatedInTheHostPlacedConfiguredAndReleasedOnce)
{
    const KV_HWND h = Create();
    ASSERT_NE(h, 0u);
    QPointer<QWidget> window = QWidget::find(h);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->parentWidget(), &Host);
    EXPECT_TRUE(window->isVisible());
    Kv().KV_SetWindowPosition(h, 10, 20, 300, 200);
    EXPECT_EQ(window->geometry(), QRect(10, 20, 300, 200));
    EXPECT_STREQ(Kv().KV_GetWindowName(h), "");

    // The layout strings of a new window and what the older forms make of it.
    const std::string fresh = Kv().KV_GetWindowConfig(h);
    EXPECT_EQ(fresh.rfind("C,8,7,51,2,76,1,40,9,45,3,45,4,176,8,33,6,42,0,2,", 0), 0u) << fresh;
    EXPECT_EQ(fresh.substr(fresh.size() - 4), ",1,0");
    Kv().KV_SetWindowConfig(h, "A,3,60");
    std::vector<std::string> f = Fields(Kv().KV_GetWindowConfig(h));
    ASSERT_EQ(f.size(), 10u);
    EXPECT_EQ(std::vector<std::string>(f.begin(), f.begin() + 6),
        (std::vector<std::string> { "C", "1", "3", "60", "0", "2" }));
    const std::string symbolOnly = Kv().KV_GetWindowConfig(h);
    Kv().KV_SetWindowConfig(h, "A,3"); // an even count changes nothing
    Kv().KV_SetWindowConfig(h, "C,1,4,90,4,2,20,31,1,0"); // neither does direction 4
    EXPECT_EQ(Kv().KV_GetWindowConfig(h), symbolOnly);
    Kv().KV_SetWindowConfig(h, "C,2,3,60,4,200,2,5,20,31,3,4"); // Description cannot group
    f = Fields(Kv().KV_GetWindowConfig(h));
    ASSERT_EQ(f.size(), 12u);
    EXPECT_EQ(f[6], "2");
    EXPECT_EQ(f[7], "5");
    EXPECT_EQ(f[10] + "," + f[11], "1,0");
    Kv().KV_SetWindowConfig(h, "C,1,3,60,0,2,20,31,3,3");
    f = Fields(Kv().KV_GetWindowConfig(h));
    EXPECT_EQ(f[f.size() - 2] + "," + f.back(), "3,3");

    Kv().KV_SetDataConfig(h, "http://www.example/s.html?form=1&Sh_NH=on&WN=Highs");
    EXPECT_STREQ(Kv().KV_GetDataConfig(h), "form=1&Sh_NH=on&WN=Highs");
    Kv().KV_SetDataConfig(h, "x?a?b");
    Kv().KV_SetDataConfig(h, "");
    Kv().KV_SetDataConfig(h, nullptr);
    EXPECT_STREQ(Kv().KV_GetDataConfig(h), "form=1&Sh_NH=on&WN=Highs");

    // A status window: placed, but no alert window's strings.
    const KV_HWND s = Kv().KV_CreateStatusWindow(Host.winId());
    Created.push_back(s);
    QWidget *status = QWidget::find(s);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->parentWidget(), &Host);
    EXPECT_EQ(status->size(), QSize(134, 25));
    Kv().KV_SetWindowPosition(s, 5, 600, 200, 25);
    EXPECT_EQ(status->geometry(), QRect(5, 600, 200, 25));
    EXPECT_STREQ(Kv().KV_GetWindowConfig(s), "");
    Kv().KV_SetWindowConfig(s, "A,3,60");
    EXPECT_STREQ(Kv().KV_GetDataConfig(s), "");

    // No parent, or one that names no window: a top-level window.
    for (KV_HWND parent : { KV_HWND(0), KV_HWND(0x7FFFFFF0) }) {
        const KV_HWND top = Kv().KV_CreateAlertWindow(parent);
        Created.push_back(top);
        QWidget *widget = QWidget::find(top);
        ASSERT_TRUE(widget);
        EXPECT_TRUE(widget->isWindow());
    }

    Kv().KV_ReleaseWindow(h);
    EXPECT_FALSE(window);
    Kv().KV_ReleaseWindow(h);
    Kv().KV_SetWindowPosition(h, 1, 1, 1, 1);
    EXPECT_STREQ(Kv().KV_GetWindowConfig(h), "");
    EXPECT_STREQ(Kv().KV_GetWindowName(h), "");
}

TEST_F(HostWindows, MenuPathsAndHostItems)
{
    const KV_HWND h = Create();
    const auto field = [&](size_t fromEnd) {
        const auto f = Fields(Kv().KV_GetWindowConfig(h));
        return f[f.size() - 1 - fromEnd];
    };
    Kv().KV_SimulateMenuClick(h, "Direction,Left");
    EXPECT_EQ(field(5), "2");
    Kv().KV_SimulateMenuClick(h, "Direction,Sideways");
    Kv().KV_SimulateMenuClick(h, "Nowhere");
    EXPECT_EQ(field(5), "2");

    // "History" has sub-items: nothing happens. "History,RealTime" turns to history.
    Kv().KV_SimulateMenuClick(h, "History");
    EXPECT_STREQ(Kv().KV_GetWindowName(h), "");
    Kv().KV_SimulateMenuClick(h, "History,RealTime");
    EXPECT_STREQ(Kv().KV_GetWindowName(h), "History Loading:  ");
    ASSERT_EQ(Of("name").size(), 1u);
    EXPECT_EQ(Of("name")[0].Window, h);
    EXPECT_EQ(Of("name")[0].Name, "History Loading:  ");
    // Write-over is disabled in history, so the click does not happen.
    Kv().KV_SimulateMenuClick(h, "View Mode,Write Over");
    EXPECT_EQ(field(1), "1");
    Kv().KV_SimulateMenuClick(h, "History,RealTime");
    EXPECT_STREQ(Kv().KV_GetWindowName(h), "");
    Kv().KV_SimulateMenuClick(h, "view mode,WRITE OVER");
    EXPECT_EQ(field(1), "2");

    // Host items, found without "&" and whatever the case, in two windows.
    const KV_HWND other = Create();
    Kv().KV_AddCustomMenuItem(h, "Send to &Chart", 42);
    Kv().KV_AddCustomMenuItem(other, "Other", 7);
    Kv().KV_SimulateMenuClick(h, "send to chart");
    Kv().KV_SimulateMenuClick(other, " OTHER ");
    const auto menus = Of("menu");
    ASSERT_EQ(menus.size(), 2u);
    EXPECT_EQ(menus[0].Window, h);
    EXPECT_EQ(menus[0].Caption, "Send to &Chart");
    EXPECT_EQ(menus[0].MenuId, 42);
    EXPECT_EQ(menus[1].Window, other);
    EXPECT_EQ(menus[1].Caption, "Other");
    EXPECT_EQ(menus[1].MenuId, 7);
    EXPECT_EQ(Kv().KV_GetCallbackWindow(), other);
}

TEST_F(HostWindows, EachAlertInOrderWithTheGettersOfTwoWindows)
{
    kvhost::ScriptedAlertServer server;
    UseServer(server.Address());
    const KV_HWND a = Create("form=1&WN=A");
    const KV_HWND b = Create("form=1&WN=B");
    ASSERT_TRUE(kvtest::RunUntil(
        [&] { return server.PollWaiting() && server.Values("set_config_info", "").size() >= 2; },
        10000));
    std::map<std::string, std::string> ids; // long form -> window id
    const auto forms = server.Values("set_config_info", "long_form");
    const auto windowIds = server.Values("set_config_info", "window_id");
    for (size_t i = 0; i < forms.size(); ++i)
        ids[forms[i]] = windowIds[i];
    ASSERT_TRUE(ids.count("form=1&WN=A") && ids.count("form=1&WN=B"));
    ASSERT_TRUE(kvtest::RunUntil([&] { return Of("name").size() >= 2; }));

    using kvhost::AlertXml;
    ASSERT_TRUE(
        server.SendAlerts(kvhost::WindowXml(ids["form=1&WN=A"],
                              AlertXml("CCC", "NHP", "2025-03-14 09:30:07", "third & last", "3.5")
                                  + AlertXml("BBB", "NLP", "2025-03-14 09:30:06", "second")
                                  + AlertXml("AAA", "GUP", "2025-03-14 09:30:05", "first", "1.25"))
            + kvhost::WindowXml(
                ids["form=1&WN=B"], AlertXml("XXX", "VSU", "2025-03-14 09:31:00", "other"))));
    ASSERT_TRUE(kvtest::RunUntil([&] { return Of("each").size() >= 4; }));
    const auto each = Of("each");
    ASSERT_EQ(each.size(), 4u);
    const std::vector<std::pair<KV_HWND, std::string>> order
        = { { a, "AAA" }, { a, "BBB" }, { a, "CCC" }, { b, "XXX" } };
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(each[i].Window, order[i].first) << i;
        EXPECT_EQ(each[i].Symbol, order[i].second) << i;
    }
    EXPECT_EQ(each[0].Type, "GUP");
    EXPECT_EQ(each[0].Description, "first");
    EXPECT_EQ(each[0].Quality, 1.25);
    EXPECT_EQ(each[0].RelVol, 2.5);
    EXPECT_TRUE(std::isnan(each[1].Quality)) << "the server left it out";
    EXPECT_EQ(each[2].Description, "third & last");
    EXPECT_EQ(each[0].Time, LocalUnix(2025, 3, 14, 9, 30, 5));
    EXPECT_EQ(each[3].Time, LocalUnix(2025, 3, 14, 9, 31, 0));
    EXPECT_EQ(each[3].Name, "Scripted");
    EXPECT_EQ(Kv().KV_GetCallbackWindow(), b); // until another window raises a callback

    // The user double-clicks A's newest alert: A is current, B raised nothing since.
    QAbstractScrollArea *grid = nullptr;
    for (auto *area : QWidget::find(a)->findChildren<QAbstractScrollArea *>())
        if (QString(area->metaObject()->className()) == "kestrova::TAlertGrid")
            grid = area;
    ASSERT_TRUE(grid);
    Kv().KV_SetWindowPosition(a, 0, 0, 700, 300);
    QCoreApplication::processEvents();
    const QPoint symbolCell = FirstRowCell(*grid, Kv().KV_GetWindowConfig(a), SymbolType);
    ASSERT_GE(symbolCell.x(), 0) << Kv().KV_GetWindowConfig(a);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, symbolCell);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, symbolCell);
    QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, symbolCell);
    ASSERT_EQ(Of("selected").size(), 1u);
    EXPECT_EQ(Of("selected")[0].Window, a);
    EXPECT_EQ(Of("selected")[0].Symbol, "CCC");
    EXPECT_EQ(Kv().KV_GetCallbackWindow(), a);
    EXPECT_STREQ(Kv().KV_GetCallbackAlertSymbol(), "CCC");
}

TEST_F(HostWindows, ReleasedFromInsideItsOwnAndAnotherWindowsCallback)
{
    kvhost::ScriptedAlertServer server;
    UseServer(server.Address());
    const KV_HWND a = Create("form=1&WN=A");
    const KV_HWND b = Create("form=1&WN=B");
    const KV_HWND c = Create("form=1&WN=C");
    QPointer<QWidget> wa = QWidget::find(a), wb = QWidget::find(b);
    ASSERT_TRUE(kvtest::RunUntil(
        [&] { return server.PollWaiting() && server.Values("set_config_info", "").size() >= 3; },
        10000));
    std::map<std::string, std::string> ids;
    const auto forms = server.Values("set_config_info", "long_form");
    const auto windowIds = server.Values("set_config_info", "window_id");
    for (size_t i = 0; i < forms.size(); ++i)
        ids[forms[i]] = windowIds[i];

    // A's first alert releases A and B; the getters then know no window.
    std::vector<Event> afterRelease;
    Rec().During = [&](const Event &e) {
        if (e.What == "each" && e.Window == a) {
            Kv().KV_ReleaseWindow(a);
            Kv().KV_ReleaseWindow(b);
            Kv().KV_ProcessMessages(0); // a host may pump inside a callback
            afterRelease.push_back(Read("after"));
        }
    };
    using kvhost::AlertXml;
    const std::string t = "2025-03-14 09:30:05";
    ASSERT_TRUE(server.SendAlerts(kvhost::WindowXml(ids["form=1&WN=A"],
                                      AlertXml("A2", "NHP", t, "") + AlertXml("A1", "NHP", t, ""))
        + kvhost::WindowXml(ids["form=1&WN=B"], AlertXml("B1", "NHP", t, ""))
        + kvhost::WindowXml(ids["form=1&WN=C"], AlertXml("C1", "NHP", t, ""))));
    ASSERT_TRUE(kvtest::RunUntil([&] { return Of("each").size() >= 2; }));
    const auto each = Of("each");
    ASSERT_EQ(each.size(), 2u);
    EXPECT_EQ(each[0].Symbol, "A1");
    EXPECT_EQ(each[1].Window, c);
    EXPECT_EQ(each[1].Symbol, "C1");
    ASSERT_EQ(afterRelease.size(), 1u);
    EXPECT_EQ(afterRelease[0].Window, 0u);
    EXPECT_EQ(afterRelease[0].Symbol, "<null>");
    EXPECT_EQ(afterRelease[0].Time, 0);
    EXPECT_STREQ(Kv().KV_GetWindowConfig(a), "");
    // The widgets go once the delivery is over.
    EXPECT_TRUE(kvtest::RunUntil([&] { return !wa && !wb; }));

    // The window-name callback: one window sends a change from inside it (which reaches the
    // server), another is released there.
    server.WindowName = [](const std::string &config) -> std::string {
        if (config.find("WN=C2") != std::string::npos)
            return "Cee";
        return config.find("WN=D") != std::string::npos ? "Dee" : "Scripted";
    };
    Rec().During = [&](const Event &e) {
        if (e.What == "name" && e.Window == c && e.Name == "Cee")
            Kv().KV_SetDataConfig(c, "form=1&WN=C&HOST=1");
        if (e.What == "name" && e.Window != c)
            Kv().KV_ReleaseWindow(e.Window);
    };
    Kv().KV_SetDataConfig(c, "form=1&WN=C2");
    const KV_HWND d = Create("form=1&WN=D");
    QPointer<QWidget> wd = QWidget::find(d);
    ASSERT_TRUE(kvtest::RunUntil(
        [&] {
            const auto sent = server.Values("set_config_info", "long_form");
            return std::find(sent.begin(), sent.end(), "form=1&WN=C&HOST=1") != sent.end() && !wd;
        },
        10000));
    EXPECT_STREQ(Kv().KV_GetDataConfig(d), "");
}

TEST_F(HostWindows, TheReferenceServerNamesTheWindowAndTimesItsAlerts)
{
    kvtest::AlertServerProcess server({ "--rate", "40" });
    ASSERT_TRUE(server.Start()) << server.Log();
    UseServer("127.0.0.1:" + std::to_string(server.Port()));
    const KV_HWND h = Create("O=1fffffffffffffffffffffff0_3d_0&WN=Highs"); // every type
    ASSERT_TRUE(kvtest::RunUntil([&] { return !Of("each").empty() && !Of("name").empty(); }, 15000))
        << server.Log();
    EXPECT_EQ(Of("name")[0].Window, h);
    EXPECT_EQ(Of("name")[0].Name, "Highs");
    const Event first = Of("each")[0];
    EXPECT_EQ(first.Window, h);
    EXPECT_NE(first.Symbol, "<null>");
    EXPECT_NE(first.Type, "");
    // Server-formatted times come back as Unix seconds of about now.
    EXPECT_LT(std::abs(first.Time - static_cast<int32_t>(std::time(nullptr))), 600) << first.Time;

    // The diagnostics name the window with the alerts it holds and its confirmed subscription.
    kvtest::RunFor(200);
    const QJsonObject diagnostics = QJsonDocument::fromJson(Kv().KV_GetDiagnostics()).object();
    const QJsonArray windows = diagnostics["windows"].toArray();
    ASSERT_EQ(windows.size(), 1) << Kv().KV_GetDiagnostics();
    EXPECT_EQ(windows[0]["name"].toString(), "Highs");
    EXPECT_TRUE(windows[0]["subscribed"].toBool());
    EXPECT_GE(windows[0]["alerts_held"].toInt(), 1);
}

} // namespace
