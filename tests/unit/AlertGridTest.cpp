// The alert grid as a user sees it: its layout strings, where arriving alerts land and what
// stays in view, write-over, highlighting, clicks, callbacks and names, and a screen that
// always matches what the grid would paint from scratch.

#include "grid/AlertGrids.h"
#include "grid/AlertPanel.h"
#include "session/TimeDefaults.h"
#include "support/DateTime.h"
#include "support/DebugLog.h"
#include "support/FakeChannel.h"

#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <set>

using namespace kestrova;

namespace {

// Symbol, then Description; direction, view mode and sort key as given.
std::string Layout(int direction, int mode = 1, int key = 0)
{
    return "C,2,3,60,4,200," + std::to_string(direction) + ",2,20,31," + std::to_string(mode) + ","
        + std::to_string(key);
}

TAlertRecord Alert(const std::string &symbol, int32_t historical = 0)
{
    TAlertRecord r;
    r.Symbol = symbol;
    r.AlertType = "NHP";
    r.Time = EncodeDateTime({ 2025, 3, 14, 9, 30, 5 });
    r.Description = "New high for " + symbol;
    r.Historical = historical;
    return r;
}

// A live batch, newest first.
TAlertRecords Batch(std::initializer_list<std::string> symbols)
{
    TAlertRecords records;
    for (const std::string &s : symbols)
        records.push_back(Alert(s));
    return records;
}

// As a platform delivers a double click: press, release, double-click press, release.
void DoubleClick(QWidget *widget, QPoint pos)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

TAlertRecords Numbered(int from, int count)
{
    TAlertRecords records;
    for (int i = from + count - 1; i >= from; --i)
        records.push_back(Alert("S" + std::to_string(i)));
    return records;
}

class AlertGridTest : public ::testing::Test
{
protected:
    AlertGridTest()
        : Session((SetTimeOffset(ServerTimeOffsetMinutes),
            SetTimeFormats("hh:nn:ss M/d/yyyy|hh:nn:ss"), Channels.Factory()))
    {
        Session.SetUsername("trader");
        Panel = std::make_unique<TAlertPanel>(Session);
        Panel->resize(600, 400);
        Panel->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Panel.get()));
    }
    ~AlertGridTest() override
    {
        Panel.reset();
        ResetTimeDefaults();
    }

    TAlertGrid &Grid() { return Panel->Grid(); }
    bool Vertical() { return IsVertical(Grid().Direction()); }
    // The data line (row, or column when horizontal) that shows a symbol, or -1.
    int LineOf(const std::string &symbol)
    {
        TAlertGrid &g = Grid();
        const int symbolLine = 0; // Symbol is the first data type in these layouts
        const int lines = Vertical() ? g.RowCount() : g.ColCount();
        for (int line = 1; line < lines; ++line)
            if ((Vertical() ? g.CellText(symbolLine, line) : g.CellText(line, symbolLine))
                == symbol)
                return line;
        return -1;
    }
    QRect SymbolCell(int line)
    {
        return Vertical() ? Grid().CellRect(0, line) : Grid().CellRect(line, 0);
    }
    // Paints what the grid marked, as the event loop would.
    void Paint()
    {
        QCoreApplication::processEvents();
        QEvent request(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(Panel.get(), &request);
    }
    // What the window shows now, cut to the grid's viewport.
    QImage Screen()
    {
        Paint();
        const QImage window = Panel->screen()->grabWindow(Panel->winId()).toImage();
        const QPoint at = Grid().viewport()->mapTo(Panel.get(), QPoint(0, 0));
        return window.copy(QRect(at, Grid().viewport()->size()))
            .convertToFormat(QImage::Format_RGB32);
    }
    QImage Fresh()
    {
        return Grid().viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The window shows what the grid paints from scratch (once the event loop settled it).
    bool ScreenIsRight()
    {
        const QImage screen = Screen();
        return screen == Fresh();
    }

    kvtest::FakeChannelFactory Channels;
    TAllAlertsConnection Session;
    std::unique_ptr<TAlertPanel> Panel;
};

TEST_F(AlertGridTest, TheDefaultLayoutReadsBackInTheCurrentForm)
{
    TAlertGrid &g = Grid();
    const int h = QFontMetrics(g.font()).height();
    EXPECT_EQ(g.DataTypes(), (std::vector<uint8_t> { 7, 2, 1, 9, 3, 4, 8, 6 }));
    EXPECT_EQ(g.SchemeName(), "LIST_2");
    EXPECT_EQ(Panel->DescriptionHeight(), 7 + h);
    EXPECT_EQ(g.WindowConfig(),
        "C,8,7,51,2,76,1,40,9,45,3,45,4,176,8,33,6,42,0,2,"
            + std::to_string(Panel->DescriptionHeight()) + ","
            + std::to_string(Panel->BacktestHeight()) + ",1,0");
    EXPECT_EQ(g.RowHeight(0), h + 2);
    EXPECT_EQ(g.DefaultRowHeight(), std::max(20, h + 2)); // half the 40-pixel Icon column

    // What it reads it writes back; a horizontal layout gives rows their heights by type.
    g.SetWindowConfig("C,3,1,40,4,60,3,45,2,2,0,0,3,3");
    EXPECT_STREQ(g.LinesCaption(), "Rows");
    EXPECT_EQ(g.FixedCols(), 1);
    EXPECT_EQ(g.WindowConfig(),
        "C,3,1,20,4," + std::to_string(h * std::lrint(58.0 / h) + 2) + ",3," + std::to_string(h + 2)
            + ",2,2,0,0,3,3");
    EXPECT_EQ(Panel->DescriptionHeight(), 0);
    EXPECT_FALSE(Panel->DescriptionBox().isVisible());

    g.SetWindowConfig("A,3,60");
    EXPECT_EQ(g.WindowConfig().substr(0, 13), "C,1,3,60,0,2,");
    EXPECT_EQ(g.ViewMode(), 1);
}

TEST_F(AlertGridTest, AStringThatIsWrongChangesNothingAndIsReported)
{
    TAlertGrid &g = Grid();
    const std::string before = g.WindowConfig();
    DebugLog::Clear();
    for (const std::string bad : { "C,1,3,60,4,2,20,31,1,0", "C,2,3,x,0,2", "C,-4,0,2",
             "C,9,3,60,0,2", "C,1,3,99999,0,2", "A,3", "Z" })
        g.SetWindowConfig(bad);
    EXPECT_EQ(g.WindowConfig(), before);
    const auto log = DebugLog::Entries();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_NE(log[0].find("Location=AlertGrids, SetWindowConfg(C,2,3,x,0,2)"), std::string::npos);
    EXPECT_NE(log[1].find("Class=EConvertError"), std::string::npos);
}

TEST_F(AlertGridTest, ANewAlertLandsAtTheNewestEndInEachDirection)
{
    for (int direction : { adDown, adUp, adLeft, adRight }) {
        SCOPED_TRACE(DirectionCaption(direction));
        Grid().Clear();
        Grid().SetWindowConfig(Layout(direction));
        std::set<int> painted;
        Grid().SetCellRenderer(cdSymbol, [&](const TAlertGrid &, TCellPaint &cell) {
            if (cell.Alert->Symbol == "NEW")
                cell.Painter.fillRect(cell.Inner, Qt::red);
        });
        Grid().AlertsArrived(Batch({ "C", "B", "A" }), false);
        Grid().AlertsArrived(Batch({ "NEW" }), false);
        const int count = Vertical() ? Grid().RowCount() - 1 : Grid().ColCount() - 1;
        const int expected = direction == adDown || direction == adRight ? 1 : count;
        EXPECT_EQ(count, 4);
        EXPECT_EQ(LineOf("NEW"), expected);
        EXPECT_EQ(LineOf("C"), direction == adDown || direction == adRight ? 2 : count - 1);
        const QImage shot = Fresh();
        const QRect cell = SymbolCell(expected);
        EXPECT_EQ(shot.pixelColor(cell.center()), QColor(Qt::red));
        EXPECT_NE(shot.pixelColor(SymbolCell(LineOf("A")).center()), QColor(Qt::red));
        Grid().SetCellRenderer(cdSymbol, nullptr);
    }
}

TEST_F(AlertGridTest, AFullWindowIsFilledWithAlertsToItsFarEdgeInEachDirection)
{
    for (int direction : { adDown, adUp, adLeft, adRight }) {
        SCOPED_TRACE(DirectionCaption(direction));
        Grid().Clear();
        Grid().SetWindowConfig(Layout(direction));
        Grid().SetCellRenderer(cdSymbol, [](const TAlertGrid &, TCellPaint &cell) {
            cell.Painter.fillRect(cell.Rect, Qt::red);
        });
        Grid().AlertsArrived(Numbered(0, 200), false);
        // Along the line of Symbol cells, from the window's far edge inwards: the first red
        // pixel is at most a grid line away from it.
        const QImage shot = Fresh();
        const QPoint symbols = SymbolCell(Vertical() ? Grid().TopRow() : Grid().LeftCol()).center();
        const int edge = Vertical() ? shot.height() - 1 : shot.width() - 1;
        int gap = 0;
        while (gap < edge
            && shot.pixelColor(
                   Vertical() ? QPoint(symbols.x(), edge - gap) : QPoint(edge - gap, symbols.y()))
                != QColor(Qt::red))
            ++gap;
        EXPECT_LE(gap, Grid().GridLineWidth());
        // The newest alert is the one at the newest end.
        const int newest = direction == adDown || direction == adRight ? 1
            : Vertical()                                               ? Grid().RowCount() - 1
                                                                       : Grid().ColCount() - 1;
        EXPECT_FALSE(SymbolCell(newest).isEmpty());
        EXPECT_EQ(LineOf("S199"), newest);
        Grid().SetCellRenderer(cdSymbol, nullptr);
    }
}

TEST_F(AlertGridTest, TheNewestBatchIsHighlightedInTheGroupedAndWriteOverViews)
{
    TAlertGrid &g = Grid();
    g.SetWindowConfig(Layout(adDown, 3, cdSymbol));
    g.AlertsArrived(Batch({ "B", "A" }), false);
    g.AlertsArrived(Batch({ "C" }), false);
    TAlertRecords old = Batch({ "D" });
    old[0].Historical = 1; // replayed on the live stream: not highlighted
    g.AlertsArrived(old, false);
    g.AlertsArrived(Batch({ "E", "C" }), false);
    QImage shot = Fresh();
    for (const char *symbol : { "E", "C" })
        EXPECT_EQ(shot.pixelColor(g.CellRect(1, LineOf(symbol)).center()), QColor(Qt::black))
            << symbol;
    for (const char *symbol : { "A", "B", "D" })
        EXPECT_EQ(shot.pixelColor(g.CellRect(1, LineOf(symbol)).center()), QColor(Qt::white))
            << symbol;
    // Newest First does not highlight.
    g.SetViewMode(vmNewestFirst, 0);
    shot = Fresh();
    EXPECT_EQ(shot.pixelColor(g.CellRect(1, LineOf("E")).center()), QColor(Qt::white));
}

TEST_F(AlertGridTest, TheViewStaysOnTheAlertsTheUserScrolledTo)
{
    TAlertGrid &g = Grid();
    g.SetWindowConfig(Layout(adDown));
    g.AlertsArrived(Numbered(0, 100), false);
    EXPECT_EQ(g.TopRow(), 1);
    EXPECT_EQ(LineOf("S99"), 1);
    g.AlertsArrived(Numbered(100, 3), false); // at the newest: the newest stays in view
    EXPECT_EQ(g.TopRow(), 1);
    EXPECT_EQ(g.CellText(0, 1), "S102");

    g.SetTopRow(31);
    const std::string top = g.CellText(0, 31);
    g.AlertsArrived(Numbered(103, 3), false);
    EXPECT_EQ(g.TopRow(), 34);
    EXPECT_EQ(g.CellText(0, g.TopRow()), top);

    // Up: the newest is at the bottom and the view follows it there.
    g.SetTopRow(1);
    g.SetWindowConfig(Layout(adUp));
    EXPECT_EQ(g.TopRow() + g.VisibleRowCount(), g.RowCount());
    g.AlertsArrived(Numbered(106, 2), false);
    EXPECT_EQ(g.TopRow() + g.VisibleRowCount(), g.RowCount());
    EXPECT_EQ(g.CellText(0, g.RowCount() - 1), "S107");
    // In direction Up with 5 alerts, row 5 shows the newest and row 1 the oldest.
    g.Clear();
    g.AlertsArrived(Numbered(0, 5), false);
    EXPECT_EQ(g.AlertIndexAt(0, 5), 0);
    EXPECT_EQ(g.AlertIndexAt(0, 1), 4);
}

TEST_F(AlertGridTest, WriteOverCyclesThroughTheVisibleRows)
{
    TAlertGrid &g = Grid();
    g.SetWindowConfig(Layout(adDown, vmWriteOver));
    const int visible = g.VisibleRowCount();
    ASSERT_GT(visible, 5);
    EXPECT_EQ(g.WriteCursor(), visible);
    EXPECT_EQ(g.RowCount(), g.FixedRows() + visible); // no scrolling in write-over
    EXPECT_FALSE(g.RealTimeEnabled());
    g.AlertsArrived(Numbered(0, 3), false);
    EXPECT_EQ(g.WriteCursor(), 3);
    EXPECT_EQ(LineOf("S2"), 3);
    EXPECT_EQ(g.CellText(0, 4), ""); // the separator
    g.AlertsArrived(Numbered(3, visible), false); // one full turn
    EXPECT_EQ(g.WriteCursor(), 3);
    EXPECT_EQ(LineOf("S" + std::to_string(visible + 2)), 3);
    EXPECT_EQ(LineOf("S4"), 5); // the oldest shown is just past the separator
    EXPECT_EQ(LineOf("S3"), -1);
    EXPECT_EQ(g.HitTest(g.CellRect(0, 4).center()).Zone, gzNone);

    // A window shorter than a row still has one data row to write over.
    Panel->resize(600, 60);
    g.AlertsArrived(Numbered(100, 4), false);
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.Alerts().Count(), 7 + visible);
}

TEST_F(AlertGridTest, BatchesFromTheOtherStreamAreDropped)
{
    TAlertGrid &g = Grid();
    int each = 0;
    g.OnEachAlert = [&](const TAlertRecord &) { ++each; };
    g.AlertsArrived(Batch({ "H" }), true);
    EXPECT_EQ(g.Alerts().Count(), 0);
    g.ToggleRealTime(true); // into history: live batches are dropped now
    EXPECT_FALSE(g.ClearEnabled());
    g.AlertsArrived(Batch({ "L" }), false);
    g.AlertsArrived(Batch({ "H1", "H2" }), true);
    EXPECT_EQ(g.Alerts().Count(), 2);
    EXPECT_EQ(each, 2);
}

TEST_F(AlertGridTest, EachAlertIsReportedOnceInArrivalOrderEvenWhenTheHostFails)
{
    TAlertGrid &g = Grid();
    std::vector<std::string> seen;
    g.OnEachAlert = [&](const TAlertRecord &alert) {
        seen.push_back(alert.Symbol + "/" + g.CurrentAlert().Symbol);
        if (alert.Symbol == "B")
            throw std::runtime_error("host failed");
    };
    DebugLog::Clear();
    g.AlertsArrived(Batch({ "C", "B", "A" }), false); // newest first: A arrived first
    EXPECT_EQ(seen, (std::vector<std::string> { "A/A", "B/B", "C/C" }));
    ASSERT_EQ(DebugLog::Entries().size(), 1u);
    EXPECT_NE(DebugLog::Entries()[0].find("AlertGrids, OnEachAlert, Realtime"), std::string::npos);
}

TEST_F(AlertGridTest, ClicksFillTheDescriptionAndSelectAsAllowed)
{
    TAlertGrid &g = Grid();
    g.SetWindowConfig("C,3,3,60,1,40,4,200,0,2,20,31,1,0");
    g.AlertsArrived(Batch({ "NEW", "OLD" }), false);
    std::vector<std::pair<std::string, TAlertGridSelectionType>> selected;
    g.OnAlertSelected = [&](const TAlertRecord &alert) {
        selected.emplace_back(alert.Symbol, g.CurrentSelectionType());
    };
    const QPoint symbol = g.CellRect(0, 2).center();
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, symbol);
    EXPECT_EQ(Panel->DescriptionText(), "OLD at 09:30:05 3/14/2025:  New high for OLD");
    EXPECT_TRUE(selected.empty()); // double clicks only, by default
    DoubleClick(g.viewport(), g.CellRect(2, 1).center());
    ASSERT_EQ(selected.size(), 1u);
    EXPECT_EQ(selected[0], std::make_pair(std::string("NEW"), agstDoubleClick));
    EXPECT_EQ(g.CurrentSelectionType(), agstNone);
    EXPECT_EQ(g.CurrentAlert().Symbol, "NEW");

    g.AllowSelectionType = agstSingleClick;
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, symbol);
    EXPECT_EQ(selected.back(), std::make_pair(std::string("OLD"), agstSingleClick));
    // With help links on, a click on an icon opens the alert type's help page instead.
    std::vector<std::string> opened;
    Session.OpenUrl = [&](const std::string &url) { opened.push_back(url); };
    Session.HelpUrl = "http://help.example/";
    Session.HelpEnabled = true;
    const size_t before = selected.size();
    QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.CellRect(1, 1).center());
    EXPECT_EQ(opened, (std::vector<std::string> { "http://help.example/NHP" }));
    EXPECT_EQ(selected.size(), before);
    EXPECT_EQ(Panel->DescriptionText().substr(0, 7), "NEW at ");
}

TEST_F(AlertGridTest, DataConfigurationAndWindowName)
{
    TAlertGrid &g = Grid();
    std::vector<std::string> names;
    g.OnWindowNameChanged = [&] { names.push_back(g.WindowName()); };
    int configChanges = 0;
    g.OnDataConfigChanged = [&] { ++configChanges; };
    g.SetDataConfig("http://example/x.html?form=1&WN=Gaps");
    EXPECT_EQ(g.DataConfig(), "form=1&WN=Gaps");
    g.SetDataConfig("x?a?b");
    g.SetDataConfig("");
    EXPECT_EQ(g.DataConfig(), "form=1&WN=Gaps");

    Session.PollWake(); // the subscription goes out; the server names the window
    const int sent = Channels.Current().Last("set_config_info");
    ASSERT_GE(sent, 0);
    Channels.Current().Reply(static_cast<size_t>(sent),
        "<API><STATUS SHORT_FORM=\"form=1&amp;WN=Gaps\" WINDOW_NAME=\"Gaps\"/></API>");
    EXPECT_EQ(g.BaseWindowName(), "Gaps");
    EXPECT_EQ(configChanges, 1);
    g.ToggleRealTime(true);
    EXPECT_EQ(names, (std::vector<std::string> { "Gaps", "History Loading:  Gaps" }));
    // A new configuration brings the window back to the live stream.
    g.SetDataConfig("?form=2");
    EXPECT_TRUE(g.RealTime());
    EXPECT_EQ(g.WindowName(), "Gaps");
}

TEST_F(AlertGridTest, OnlyWhatChangedIsPaintedAndTheScreenStaysRight)
{
    TAlertGrid &g = Grid();
    g.SetWindowConfig(Layout(adDown));
    g.AlertsArrived(Numbered(0, 40), false);
    std::set<int> painted;
    g.SetCellRenderer(cdSymbol, [&](const TAlertGrid &, TCellPaint &cell) {
        painted.insert(cell.Row);
        cell.Painter.drawText(cell.Inner, 0, QString::fromStdString(cell.Alert->Symbol));
    });
    Paint();
    painted.clear();
    g.AlertsArrived(Numbered(40, 2), false); // at the top: the rest moves down
    Paint();
    EXPECT_EQ(painted, (std::set<int> { 1, 2 }));
    EXPECT_TRUE(ScreenIsRight());

    g.SetTopRow(11);
    Paint();
    painted.clear();
    g.AlertsArrived(Numbered(42, 3), false); // scrolled back: nothing on screen changes
    Paint();
    EXPECT_TRUE(painted.empty());
    EXPECT_TRUE(ScreenIsRight());

    for (const auto &[direction, mode] : { std::pair { adUp, 1 }, { adLeft, 1 }, { adRight, 2 } }) {
        g.SetWindowConfig(Layout(direction, mode));
        for (int i = 0; i < 4; ++i) {
            g.AlertsArrived(Numbered(100 + 3 * i, 3), false);
            EXPECT_TRUE(ScreenIsRight()) << DirectionCaption(direction) << " batch " << i;
        }
    }
}

TEST_F(AlertGridTest, HeaderCellsFitSizeAndMoveColumns)
{
    TAlertGrid &g = Grid();
    g.SetWindowConfig("C,4,3,60,1,40,4,100,8,30,0,2,20,31,1,0");
    // A double click on the header spreads the client width over the columns.
    DoubleClick(g.viewport(), g.CellRect(2, 0).center());
    int used = 0;
    for (int c = 0; c < g.ColCount(); ++c)
        used += g.ColWidth(c) + g.GridLineWidth();
    // The spread leaves a few pixels: one per column at most, and a line's worth each.
    EXPECT_LE(used, g.ClientWidth());
    EXPECT_GE(used, g.ClientWidth() - 2 * g.ColCount());
    EXPECT_EQ(g.ColWidth(1), 40); // the Icon column has its limit

    // Dragging a boundary in the header sizes the column.
    const QRect first = g.CellRect(0, 0);
    const QPoint boundary(first.right() + 1, first.center().y());
    const int width = g.ColWidth(0);
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, boundary);
    QTest::mouseMove(g.viewport(), boundary + QPoint(25, 0));
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, boundary + QPoint(25, 0));
    EXPECT_EQ(g.ColWidth(0), width + 25);
    EXPECT_EQ(g.WindowConfig().rfind("C,4,3," + std::to_string(width + 25) + ",", 0), 0u);

    // Dragging a header cell moves its column.
    const QPoint from = g.CellRect(3, 0).center();
    const int movedWidth = g.ColWidth(3);
    QTest::mousePress(g.viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(g.viewport(), g.CellRect(1, 0).center());
    QTest::mouseMove(g.viewport(), g.CellRect(0, 0).center());
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, {}, g.CellRect(0, 0).center());
    EXPECT_EQ(g.DataTypes(), (std::vector<uint8_t> { 8, 3, 1, 4 }));
    EXPECT_EQ(g.ColWidth(0), movedWidth); // the width went with it
    EXPECT_EQ(g.CellText(0, 0), "#");

    // In a horizontal direction columns are alerts: deleting one leaves the data types alone.
    g.SetWindowConfig("C,2,3,15,4,60,2,2,20,31,1,0");
    g.AlertsArrived(Numbered(0, 3), false);
    g.DeleteColumn(1);
    EXPECT_EQ(g.DataTypes(), (std::vector<uint8_t> { 3, 4 }));
    g.SetWindowConfig("C,4,8,30,3,60,1,40,4,100,0,2,20,31,1,0");

    // Deleting the last data type leaves one blank column.
    while (g.ColCount() > 1)
        g.DeleteColumn(0);
    g.DeleteColumn(0);
    EXPECT_EQ(g.DataTypes(), (std::vector<uint8_t> { 0 }));
    g.AddDataType(cdTime);
    g.AddDataType(cdSymbol);
    EXPECT_EQ(g.DataTypes(), (std::vector<uint8_t> { 2, 3 }));
}

TEST_F(AlertGridTest, ClearEmptiesTheWindowAndTellsTheConnection)
{
    TAlertGrid &g = Grid();
    g.AlertsArrived(Numbered(0, 30), false);
    g.Connection().DeliverBatch(Numbered(30, 1), false);
    EXPECT_EQ(g.Connection().SkipHistoryState(), 2);
    g.Clear();
    EXPECT_EQ(g.Alerts().Count(), 0);
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_EQ(g.Connection().SkipHistoryState(), 1);
    EXPECT_TRUE(ScreenIsRight());
}

} // namespace
