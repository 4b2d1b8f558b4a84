// Where alerts are in an alert grid: lines, the write-over cursor, the scroll position, names.

#include "grid/AlertGridsFormatting.h"
#include "grid/AlertGridsModel.h"
#include "support/Exceptions.h"

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

std::vector<int> Lines(const TLineMap &map, int last)
{
    std::vector<int> indexes;
    for (int line = 0; line <= last; ++line)
        indexes.push_back(AlertIndexOnLine(map, line));
    return indexes;
}

TEST(AlertGridModel, EachDirectionPutsTheNewestAlertAtItsEnd)
{
    using V = std::vector<int>;
    EXPECT_EQ(Lines({ adDown, vmNewestFirst, 5 }, 5), (V { -1, 0, 1, 2, 3, 4 }));
    EXPECT_EQ(Lines({ adUp, vmNewestFirst, 5 }, 5), (V { -1, 4, 3, 2, 1, 0 }));
    EXPECT_EQ(Lines({ adLeft, vmNewestFirst, 5 }, 5), (V { -1, 4, 3, 2, 1, 0 }));
    EXPECT_EQ(Lines({ adRight, vmNewestFirst, 5 }, 5), (V { -1, 0, 1, 2, 3, 4 }));
    // Grouped views map like the first view mode.
    EXPECT_EQ(Lines({ adUp, vmGroupSortBy, 3 }, 3), (V { -1, 2, 1, 0 }));
    EXPECT_EQ(AlertIndexOnLine({ 7, vmNewestFirst, 5 }, 1), -1);
}

TEST(AlertGridModel, WriteOverCyclesWithABlankSeparator)
{
    using V = std::vector<int>;
    // Down, 10 visible rows, cursor 3: row 4 is blank, row 3 the newest, row 5 the oldest shown.
    EXPECT_EQ(
        Lines({ adDown, vmWriteOver, 50, 10, 3 }, 10), (V { -1, 2, 1, 0, -1, 8, 7, 6, 5, 4, 3 }));
    // Up, cursor 3: row 2 is blank, row 3 the newest.
    EXPECT_EQ(
        Lines({ adUp, vmWriteOver, 50, 10, 3 }, 10), (V { -1, 8, -1, 0, 1, 2, 3, 4, 5, 6, 7 }));
    // Up, cursor 1: the last row is blank.
    EXPECT_EQ(AlertIndexOnLine({ adUp, vmWriteOver, 50, 10, 1 }, 10), -1);
    // A window shorter than a row still maps (one line).
    EXPECT_EQ(AlertIndexOnLine({ adDown, vmWriteOver, 50, 0, 0 }, 1), -1);

    // The cursor: Down and Right start at the last visible line and move forward; Up and Left
    // start at 1 and move back, staying within 1..V.
    EXPECT_EQ(ResetWriteCursor(adDown, 10), 10);
    EXPECT_EQ(ResetWriteCursor(adRight, 0), 1);
    EXPECT_EQ(ResetWriteCursor(adUp, 10), 1);
    EXPECT_EQ(AdvanceWriteCursor(adDown, 10, 3, 10), 3);
    EXPECT_EQ(AdvanceWriteCursor(adRight, 9, 25, 10), 4);
    EXPECT_EQ(AdvanceWriteCursor(adUp, 1, 1, 10), 10);
    EXPECT_EQ(AdvanceWriteCursor(adLeft, 3, 25, 10), 8);
    EXPECT_EQ(AdvanceWriteCursor(adDown, 5, 3, 0), 0); // no visible line: V counts as 1
    EXPECT_EQ(AdvanceWriteCursor(adUp, 5, 3, -4), 1);

    // After a reset and one alert, that alert is on the first data row next to the separator.
    const int cursor = AdvanceWriteCursor(adDown, ResetWriteCursor(adDown, 10), 1, 10);
    EXPECT_EQ(AlertIndexOnLine({ adDown, vmWriteOver, 1, 10, cursor }, 1), 0);
    EXPECT_EQ(AlertIndexOnLine({ adDown, vmWriteOver, 1, 10, cursor }, 2), -1);
}

TEST(AlertGridModel, ScrollPositionCountsFromTheNewestEnd)
{
    // 100 alerts, 20 visible lines.
    EXPECT_EQ(ScrollPosition(adDown, 100, 1, 20), 0);
    EXPECT_EQ(ScrollPosition(adDown, 100, 31, 20), 30);
    EXPECT_EQ(ScrollPosition(adUp, 100, 81, 20), 0);
    EXPECT_EQ(ScrollPosition(adLeft, 100, 51, 20), 30);
    EXPECT_EQ(ScrollPosition(adRight, 0, 1, 20), -1); // an empty list
    for (int direction : { adDown, adUp, adLeft, adRight })
        for (int first : { 1, 17, 81 })
            EXPECT_EQ(
                FirstLineForPosition(direction, 100, 20, ScrollPosition(direction, 100, first, 20)),
                first);
    // Three more alerts at the front move the first line by three to keep the view.
    EXPECT_EQ(FirstLineForPosition(adDown, 103, 20, 30 + 3), 34);
    EXPECT_EQ(FirstLineForPosition(adUp, 103, 20, 30 + 3), 51);
    EXPECT_EQ(FirstLineForPosition(adUp, 10, 20, -1), 1);
    EXPECT_THROW(ScrollPosition(9, 5, 1, 1), Exception);
}

TEST(AlertGridModel, WindowNamesFollowTheHistoryState)
{
    EXPECT_EQ(WindowNameFor(0, "Gaps"), "Gaps");
    EXPECT_EQ(WindowNameFor(1, "Gaps"), "History Loading:  Gaps");
    EXPECT_EQ(WindowNameFor(2, "Gaps"), "History:  Gaps (more available)");
    EXPECT_EQ(WindowNameFor(3, "Gaps"), "History:  Gaps");
}

TEST(AlertGridModel, DataTypeTable)
{
    EXPECT_STREQ(DataTypeInfo(cdRelVol).Name, "Relative Volume");
    EXPECT_EQ(DataTypeInfo(cdDailyChart).MaxWidth, 66);
    EXPECT_STREQ(DataTypeInfo(15).Name, "");
    int groupable = 0;
    for (int t = -1; t <= 15; ++t)
        groupable += IsGroupable(t);
    EXPECT_EQ(groupable, 9);
    EXPECT_STREQ(ViewModeCaption(3), "Group && Sort By");
}

TEST(AlertGridModel, DisplaySchemesFromTheGeneralInfo)
{
    const PXmlNode formatting
        = ParseXml("<FORMATTING><LIST_1 SHORT_NAME=\"Classic\"><NHP FG_COLOR=\"#00ff00\" "
                   "BOLD=\"1\"/><NLP FG_COLOR=\"#0F0\" BG_COLOR=\"00FF00\"/></LIST_1>"
                   "<LIST_2 SHORT_NAME=\"Paper\"><NHP BG_COLOR=\"#102030\" "
                   "BG_IMAGE=\"images/bg/blue.gif\"/></LIST_2></FORMATTING>")
              ->Child(0);
    TFormattingTable table;
    EXPECT_TRUE(table.Load(formatting));
    EXPECT_FALSE(table.Load(formatting)); // the same document is not read twice
    ASSERT_EQ(table.Schemes().size(), 2u);
    EXPECT_EQ(table.Schemes()[1].Caption, "Paper");
    const TAlertDisplayInfo *high = table.Find("LIST_1", "NHP");
    ASSERT_NE(high, nullptr);
    EXPECT_EQ(high->Flags, dfForeground | dfBold);
    EXPECT_EQ(high->Foreground, 0x0000FF00u);
    EXPECT_EQ(table.Find("LIST_1", "NLP")->Flags, 0); // short or unmarked colours
    const TAlertDisplayInfo *paper = table.Find("LIST_2", "NHP");
    EXPECT_EQ(paper->Background, 0x302010u);
    EXPECT_EQ(paper->BackgroundImage, "blue.gif");
    EXPECT_EQ(table.Find("LIST_3", "NHP"), nullptr);
    EXPECT_EQ(ImageFileName("C:\\pics\\a.gif"), "a.gif");
}

} // namespace
