#include "GridGeometry.h"

#include "GridSelection.h"

#include <gtest/gtest.h>

namespace {

// Ten columns of 20 px with 1 px lines, scrolled to start at column 2; eight rows of 10 px
// without lines.
TGridGeometry geometry()
{
    return {{.Count = 10, .Size = 20, .Line = 1, .First = 2}, {.Count = 8, .Size = 10, .Line = 0}};
}

} // namespace

TEST(GridGeometryTest, PixelsToCellsCountLinesWithTheCellBefore)
{
    const TGridAxis x = geometry().X;
    EXPECT_EQ(x.At(0), 2);
    EXPECT_EQ(x.At(20), 2); // the line after column 2
    EXPECT_EQ(x.At(21), 3);
    EXPECT_EQ(x.At(-1), -1);
    EXPECT_EQ(x.At(8 * 21 - 1), 9);
    EXPECT_EQ(x.At(8 * 21), -1); // past the last column
    EXPECT_EQ(x.End(), 8 * 21);
    // Outside the view the nearest cell on screen, never past the last one.
    EXPECT_EQ(x.Nearest(-50, 100), 2);
    EXPECT_EQ(x.Nearest(500, 100), 2 + 99 / 21);
    EXPECT_EQ(x.Nearest(500, 1000), 9);
}

TEST(GridGeometryTest, FittingAndScrollingLimits)
{
    TGridAxis x = geometry().X;
    EXPECT_EQ(x.Fit(61), 2); // two whole cells and a partly shown one
    EXPECT_EQ(x.Fit(62), 3); // the last line needs no room
    EXPECT_EQ(x.Fit(5), 1);  // a cell larger than the view counts as one
    EXPECT_EQ(x.MaxFirst(61), 8);
    x.First = 9;
    EXPECT_EQ(x.Visible(61), 1);
    EXPECT_EQ(x.Reveal(4, 61), 4); // before the view: comes first
    EXPECT_EQ(x.Reveal(9, 61), 9); // on screen: no scrolling
    x.First = 0;
    EXPECT_EQ(x.Reveal(5, 61), 4); // past the view: comes last
}

TEST(GridGeometryTest, CellRectanglesOnTheView)
{
    const TGridGeometry geo = geometry();
    const QSize view(50, 35);
    EXPECT_EQ(geo.CellRect(2, 0, view), QRect(0, 0, 20, 10));
    // The partly shown last cell comes whole; one starting at the edge or before the first
    // cell on screen not at all.
    EXPECT_EQ(geo.CellRect(4, 3, view), QRect(42, 30, 20, 10));
    EXPECT_TRUE(geo.CellRect(2, 4, view).isEmpty());
    EXPECT_TRUE(geo.CellRect(1, 0, view).isEmpty());
    EXPECT_TRUE(geo.CellRect(10, 0, view).isEmpty());
    // An area is cut to the view, whichever way its corners come.
    EXPECT_EQ(geo.Area({9, 7, 0, 1}, view), QRect(0, 10, 50, 25));
    EXPECT_EQ(geo.Area({3, 1, 3, 1}, view), QRect(21, 10, 20, 10));
    EXPECT_TRUE(geo.Area({0, 0, 1, 7}, view).isEmpty());
    EXPECT_TRUE(geo.Area({2, 0, 9, 7}, QSize(0, 35)).isEmpty());
    EXPECT_EQ(geo.CellsIn(QRect(20, 5, 23, 20)), (TGridRect{2, 0, 4, 2}));
    EXPECT_EQ(geo.CellAt(QPoint(41, 79)), QPoint(3, 7));
}

TEST(GridSelectionTest, ChangedBlocksAreExactlyTheCellsThatChangedState)
{
    const TGridRect moves[][2] = {
        {{2, 2, 5, 5}, {3, 4, 7, 5}}, {{0, 0, 1, 1}, {6, 6, 8, 9}}, {{1, 1, 8, 8}, {4, 4, 5, 5}}};
    for (const auto& [from, to] : moves) {
        TGridSelection before;
        before.Set(from);
        TGridSelection after = before;
        after.Set(to);
        const std::vector<TGridRect> blocks = after.ChangedSince(before);
        for (int col = 0; col < 10; ++col)
            for (int row = 0; row < 10; ++row) {
                int covered = 0;
                for (const TGridRect& b : blocks)
                    covered += b.Contains(col, row);
                EXPECT_EQ(covered, from.Contains(col, row) != to.Contains(col, row) ? 1 : 0)
                    << col << "," << row;
            }
    }
}

TEST(GridSelectionTest, MovesKeepTheAnchorAndLimits)
{
    TGridSelection sel;
    sel.MoveCurrent(4, 3, true);
    sel.MoveCurrent(1, 6, false);
    EXPECT_EQ(sel.Rect(), (TGridRect{1, 3, 4, 6}));
    sel.LimitCols(3);
    sel.LimitRows(5);
    EXPECT_EQ(sel.Rect(), (TGridRect{1, 3, 2, 4}));
    EXPECT_EQ(QPoint(sel.AnchorCol(), sel.AnchorRow()), QPoint(2, 3));
}

TEST(GridSelectionTest, KeysMoveTheCellAndTurnPages)
{
    TGridGeometry geo = geometry();
    const QSize view(61, 35); // two whole columns, three whole rows
    const auto move = [&](int key, bool ctrl, QPoint cell) {
        const auto m = GridKeyMove(geo, view, key, ctrl, cell);
        return m ? std::pair(m->Cell, m->TopLeft) : std::pair(QPoint(-1, -1), QPoint(-1, -1));
    };
    EXPECT_EQ(move(Qt::Key_Left, false, {0, 0}), std::pair(QPoint(0, 0), QPoint(2, 0)));
    EXPECT_EQ(move(Qt::Key_PageDown, false, {3, 6}), std::pair(QPoint(3, 7), QPoint(2, 3)));
    EXPECT_EQ(move(Qt::Key_PageUp, true, {5, 1}), std::pair(QPoint(3, 1), QPoint(0, 0)));
    EXPECT_EQ(move(Qt::Key_End, true, {3, 1}), std::pair(QPoint(9, 7), QPoint(2, 0)));
    EXPECT_EQ(move(Qt::Key_Home, false, {3, 5}), std::pair(QPoint(0, 5), QPoint(2, 0)));
    EXPECT_EQ(move(Qt::Key_A, false, {3, 5}).first, QPoint(-1, -1));
}
