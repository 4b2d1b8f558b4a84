// The alert grid's context menu as a user meets it: the items in their order, what the update
// step shows when the menu opens where the mouse is, and what clicking an item does to the grid.

#include "grid/AlertGrids.h"
#include "grid/AlertGridsFormatting.h"
#include "grid/AlertGridsMenus.h"
#include "grid/AlertPanel.h"
#include "session/TimeDefaults.h"
#include "support/FakeChannel.h"
#include "support/QtLoop.h"
#include "xml/XmlDocument.h"

#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

using namespace kestrova;

namespace {

// The menu as indented text: one line per item, "-" for separators, "[x]" for checked and "(off)"
// for disabled items; hidden items are left out.
std::string Tree(const QMenu &menu, int depth = 0)
{
    std::string text;
    for (const QAction *a : menu.actions()) {
        if (!a->isVisible())
            continue;
        text += std::string(static_cast<size_t>(depth) * 2, ' ')
            + (a->isSeparator() ? "-" : a->text().toStdString()) + (a->isChecked() ? " [x]" : "")
            + (a->isEnabled() ? "" : " (off)") + "\n";
        if (a->menu())
            text += Tree(*a->menu(), depth + 1);
    }
    return text;
}

class AlertGridMenus : public ::testing::Test
{
protected:
    AlertGridMenus()
        : Session((SetTimeOffset(ServerTimeOffsetMinutes), Channels.Factory()))
    {
        Session.SetUsername("trader");
        Panel = std::make_unique<TAlertPanel>(Session);
        Panel->resize(600, 300);
        Panel->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Panel.get()));
        Grid().SetWindowConfig("C,2,3,60,4,200,0,2,20,31,1,0"); // Symbol, Description
    }
    ~AlertGridMenus() override
    {
        Panel.reset();
        FormattingTable().Load(ParseXml("<FORMATTING/>")->Child(0));
        ResetTimeDefaults();
    }
    TAlertGrid &Grid() { return Panel->Grid(); }
    TAlertGridMenus &Menus() { return Grid().Menus(); }
    std::string Shown()
    {
        Menus().Update();
        return Tree(Menus().Menu());
    }

    kvtest::FakeChannelFactory Channels;
    TAllAlertsConnection Session;
    std::unique_ptr<TAlertPanel> Panel;
};

TEST_F(AlertGridMenus, ItemsInTheirOrderWithTheStateOfTheGrid)
{
    FormattingTable().Load(ParseXml("<FORMATTING/>")->Child(0));
    Menus().AddCustomItem("Send to &Chart", 7);
    Menus().SetPopupPoint({ 0, 0 });
    EXPECT_EQ(Shown(),
        "Clear\nConfigure...\nCollaborate...\nHistory\n  RealTime [x]\n  More (off)\n"
        "  Time Frame...\n  -\n  Save Contents...\n  Save Quorix Results...\nColumns\n"
        "  Remove \"Symbol\"\n  Add All\n  -\n  Icon\n  Time\n  Symbol [x]\n  Description [x]\n"
        "  Quality\n  Relative Volume\n  Age\n  #\n  Range\n  Weekly Chart\n  Daily Chart\n"
        "  Volatility\n  Std Dev\n  Wiggle\nDirection\n  Up\n  Down\n  Left\n  Right\n"
        "Colors\n  Loading from server... (off)\nView Mode\n  Newest First [x]\n  Write Over\n"
        "  Group && Sort By\n    Time\n    Symbol\n    Quality\n    Relative Volume\n    #\n"
        "    Range\n    Volatility\n    Std Dev\n    Wiggle\n  Group && Newest Symbols First\n"
        "Show All Panels\nSend to &Chart\n");

    // The save items go while the host watches modal dialogs.
    Grid().OnBeforeModal = [](WId) {};
    EXPECT_EQ(Shown().find("Save"), std::string::npos);
    Grid().OnBeforeModal = nullptr;

    // History: "Clear" and "Write Over" are off, and a click on "Write Over" is refused.
    ASSERT_TRUE(Menus().SimulateClick("History,RealTime"));
    EXPECT_FALSE(Grid().RealTime());
    const std::string history = Shown();
    EXPECT_NE(history.find("Clear (off)\n"), std::string::npos) << history;
    EXPECT_NE(history.find("  Write Over (off)\n"), std::string::npos) << history;
    EXPECT_FALSE(Menus().SimulateClick("view mode, write over"));
    EXPECT_EQ(Grid().ViewMode(), vmNewestFirst);
    ASSERT_TRUE(Menus().SimulateClick("History,RealTime"));
    EXPECT_TRUE(Menus().SimulateClick("View Mode,Write Over"));
    EXPECT_EQ(Grid().ViewMode(), vmWriteOver);
}

TEST_F(AlertGridMenus, RemoveTheLineUnderTheMouseInEitherDirection)
{
    TAlertGrid &g = Grid();
    // Opened by a right click past the last column: nothing to remove.
    QMenu &menu = Menus().Menu();
    const QPoint blank(400, g.CellRect(0, 1).center().y());
    QContextMenuEvent event(QContextMenuEvent::Mouse, blank, g.viewport()->mapToGlobal(blank));
    QCoreApplication::sendEvent(g.viewport(), &event);
    ASSERT_TRUE(kvtest::RunUntil([&] { return menu.isVisible(); }));
    EXPECT_EQ(Menus().PopupPoint(), blank);
    QAction *remove = Menus().Find("Columns")->menu()->actions().at(0);
    EXPECT_EQ(remove->text(), "Remove the Column Under the Mouse");
    EXPECT_FALSE(remove->isEnabled());
    menu.hide();

    // Over the Description column it names the type, and removes that column.
    Menus().SetPopupPoint(g.CellRect(1, 1).center());
    ASSERT_TRUE(Menus().SimulateClick("Columns,Remove \"Description\""));
    EXPECT_EQ(g.DataTypes(), (std::vector<uint8_t> { cdSymbol }));

    // Turned left the "Columns" menu reads "Rows", about rows.
    ASSERT_TRUE(Menus().SimulateClick("Direction,Left"));
    EXPECT_EQ(g.Direction(), adLeft);
    Menus().SetPopupPoint({ 100, 250 }); // below the only row
    EXPECT_NE(Shown().find("Rows\n  Remove the Row Under the Mouse (off)\n"), std::string::npos);
    // The column items toggle their type and "Add All" brings every missing one.
    ASSERT_TRUE(Menus().SimulateClick("Rows,Quality"));
    EXPECT_EQ(g.DataTypes(), (std::vector<uint8_t> { cdSymbol, cdQuality }));
    ASSERT_TRUE(Menus().SimulateClick("rows,symbol"));
    EXPECT_EQ(g.DataTypes(), (std::vector<uint8_t> { cdQuality }));
    ASSERT_TRUE(Menus().SimulateClick("Rows,Add All"));
    EXPECT_EQ(g.DataTypes().size(), 14u);
    EXPECT_FALSE(Menus().SimulateClick("Rows,Add All")) << "nothing is missing now";
}

TEST_F(AlertGridMenus, PathsViewModesAndColors)
{
    TAlertGrid &g = Grid();
    // A path that ends on an item with sub-items, or strays, clicks nothing.
    EXPECT_FALSE(Menus().SimulateClick("View Mode,Group && Sort By"));
    EXPECT_FALSE(Menus().SimulateClick("View Mode,Nowhere,Symbol"));
    EXPECT_FALSE(Menus().SimulateClick("Clear,Symbol"));
    EXPECT_EQ(g.ViewMode(), vmNewestFirst);
    ASSERT_TRUE(Menus().SimulateClick(" View Mode , , Group & Sort By , Symbol "));
    EXPECT_EQ(g.ViewMode(), vmGroupSortBy);
    EXPECT_EQ(g.SortKey(), cdSymbol);
    EXPECT_NE(
        Shown().find("  Group && Sort By [x]\n    Time\n    Symbol [x]\n"), std::string::npos);

    // The schemes arrive with the server's general info: the menu is rebuilt when it next opens.
    FormattingTable().Load(
        ParseXml("<FORMATTING><LIST_1 SHORT_NAME=\"Classic\"/><LIST_2 SHORT_NAME=\"Paper\"/>"
                 "</FORMATTING>")
            ->Child(0));
    EXPECT_NE(Shown().find("Colors\n  Classic\n  Paper [x]\nView Mode"), std::string::npos);
    ASSERT_TRUE(Menus().SimulateClick("Colors,classic"));
    EXPECT_EQ(g.SchemeName(), "LIST_1");
    EXPECT_NE(Tree(Menus().Menu()).find("  Classic [x]\n  Paper\n"), std::string::npos);
}

} // namespace
