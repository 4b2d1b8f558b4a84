// The owner-drawn grid's geometry: lines of different sizes, how far it scrolls, which cell is
// under the mouse, and the keys that scroll it.

#include "grid/DrawGrid.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace kestrova;

namespace {

TEST(DrawGrid, LinesOfDifferentSizesScrollByWholeLines)
{
    TGridAxis rows;
    rows.SetCount(10);
    rows.SetFixed(1);
    rows.SetDefaultSize(20); // 21 with the grid line
    rows.SetSize(8, 50);
    // 100 pixels: the header (21) and three rows (63) fit whole from row 1.
    EXPECT_EQ(rows.VisibleCount(100), 3);
    // From row 8 on, rows 8 (51) and 9 (20) fit under the header: the last first line is 8.
    EXPECT_EQ(rows.MaxFirst(100), 8);
    rows.SetFirst(20, 100);
    EXPECT_EQ(rows.First(), 8);
    EXPECT_EQ(rows.LineAt(30, 100), 8);
    EXPECT_EQ(rows.LineAt(80, 100), 9);
    EXPECT_EQ(rows.LineAt(99, 100), -1); // past the last line
    rows.Move(8, 2); // sizes move with their lines
    EXPECT_EQ(rows.Size(2), 50);
    EXPECT_EQ(rows.Size(8), 20);
    rows.SetCount(1); // the fixed line gives way to one scrollable line
    EXPECT_EQ(rows.Fixed(), 0);
    EXPECT_EQ(rows.First(), 0);
}

TEST(DrawGrid, CellsUnderTheMouseAndTheScrollingKeys)
{
    TDrawGrid grid;
    grid.resize(300, 200);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    grid.SetColCount(4);
    grid.SetRowCount(50);
    grid.SetDefaultColWidth(60);
    grid.SetDefaultRowHeight(20);
    grid.SetFixedCols(1);
    const QRect cell = grid.CellRect(2, 3);
    EXPECT_EQ(cell, QRect(122, 63, 60, 20));
    EXPECT_EQ(grid.MouseToCell(cell.center()), (TGridCoord { 2, 3 }));
    EXPECT_EQ(grid.MouseToCell(QPoint(250, 10)), TGridCoord {}); // right of the last column

    QTest::keyClick(&grid, Qt::Key_PageDown);
    EXPECT_EQ(grid.TopRow(), 1 + grid.VisibleRowCount());
    QTest::keyClick(&grid, Qt::Key_End);
    EXPECT_EQ(grid.TopRow() + grid.VisibleRowCount(), grid.RowCount());
    EXPECT_TRUE(grid.CellRect(0, 1).isEmpty()); // scrolled out of view
    EXPECT_EQ(grid.CellRect(0, 0).top(), 0); // the header stays
    QTest::keyClick(&grid, Qt::Key_Home);
    EXPECT_EQ(grid.TopRow(), 1);
}

} // namespace
