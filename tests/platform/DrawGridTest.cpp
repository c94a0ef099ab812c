#include "DrawGrid.h"

#include <QApplication>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace {

const QRgb kLineGrey = qRgb(0xC0, 0xC0, 0xC0);
const QRgb kBase = qRgb(255, 255, 255);
const QRgb kHighlight = qRgb(0, 0, 200);

struct DrawCall
{
    int Col;
    int Row;
    QRect Rect;
    TGridDrawState State;
    QPainter::CompositionMode Mode;
    QRgb Brush;
};

// A shown grid whose viewport is exactly 200 x 150 px (no frame, no scroll bars taking room).
class DrawGridTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Grid = std::make_unique<TDrawGrid>();
        QPalette palette = Grid->palette();
        palette.setColor(QPalette::Base, QColor(kBase));
        palette.setColor(QPalette::Highlight, QColor(kHighlight));
        Grid->setPalette(palette);
        Grid->setFrameShape(QFrame::NoFrame);
        Grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        Grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        Grid->SetColCount(10);
        Grid->SetRowCount(8);
        Grid->SetDefaultColWidth(20);
        Grid->SetDefaultRowHeight(20);
        Grid->resize(200, 150);
        Grid->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Grid.get()));
        ASSERT_EQ(Grid->viewport()->size(), QSize(200, 150));
    }

    QWidget* vp() { return Grid->viewport(); }

    // Centre of a cell in viewport coordinates (cells of 20 px with 1 px lines by default).
    QPoint at(int col, int row) const
    {
        const QRect r = Grid->CellRect(col, row);
        EXPECT_FALSE(r.isEmpty()) << col << "," << row;
        return r.center();
    }

    void recordDrawing()
    {
        Grid->OnDrawCell = [this](QPainter& canvas, int col, int row, const QRect& rect,
                                  TGridDrawState state) {
            Calls.push_back(
                {col, row, rect, state, canvas.compositionMode(), canvas.brush().color().rgb()});
            // Leave the painter changed: the grid must restore it for the next cell.
            canvas.setCompositionMode(QPainter::RasterOp_NotDestination);
            canvas.setBrush(Qt::green);
        };
    }

    void wheel(QPoint angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QPointF pos(50, 50);
        QWheelEvent event(pos, vp()->mapToGlobal(pos), QPoint(), angle, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp(), &event);
    }

    std::unique_ptr<TDrawGrid> Grid;
    std::vector<DrawCall> Calls;
};

TEST_F(DrawGridTest, RangeDragMovesOnlyTheOtherCorner)
{
    Grid->SetOptions(goVertLine | goHorzLine | goRangeSelect);
    std::vector<std::tuple<QString, int, int, TGridRect>> seen;
    const auto record = [&](const char* what) {
        seen.emplace_back(QString::fromLatin1(what), Grid->Col(), Grid->Row(), Grid->Selection());
    };
    Qt::KeyboardModifiers moveKeys;
    Grid->OnMouseDown = [&](Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint&) {
        EXPECT_EQ(button, Qt::LeftButton);
        record("down");
    };
    Grid->OnMouseMove = [&](Qt::KeyboardModifiers shift, const QPoint&) {
        moveKeys = shift;
        record("move");
    };
    Grid->OnMouseUp = [&](Qt::MouseButton, Qt::KeyboardModifiers, const QPoint&) { record("up"); };

    QTest::mousePress(vp(), Qt::LeftButton, Qt::NoModifier, at(2, 1));
    QTest::mouseMove(vp(), at(5, 4));
    QTest::mouseMove(vp(), at(0, 3));
    QTest::mouseRelease(vp(), Qt::LeftButton, Qt::ShiftModifier, at(1, 0));

    using S = decltype(seen)::value_type;
    const std::vector<S> expected{
        {"down", 2, 1, {2, 1, 2, 1}},
        {"move", 2, 1, {2, 1, 5, 4}},
        {"move", 2, 1, {0, 1, 2, 3}},
        // The release repeats the last move, with the keys held at the release.
        {"move", 2, 1, {1, 0, 2, 1}},
        {"up", 2, 1, {1, 0, 2, 1}}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(moveKeys, Qt::ShiftModifier);

    // After the release, moving the pointer no longer changes the selection.
    QTest::mouseMove(vp(), at(7, 6));
    EXPECT_EQ(Grid->Selection(), (TGridRect{1, 0, 2, 1}));

    // A handler may move the current cell during the drag; each SetCol/SetRow collapses the
    // selection onto it.
    Grid->OnMouseMove = [&](Qt::KeyboardModifiers, const QPoint& pos) {
        const QPoint cell = Grid->MouseToCell(pos);
        Grid->SetCol(cell.x());
        Grid->SetRow(cell.y());
    };
    QTest::mousePress(vp(), Qt::LeftButton, Qt::NoModifier, at(3, 3));
    QTest::mouseMove(vp(), at(6, 5));
    EXPECT_EQ(Grid->Selection(), (TGridRect{6, 5, 6, 5}));
    QTest::mouseRelease(vp(), Qt::LeftButton, Qt::NoModifier, at(6, 5));
}

TEST_F(DrawGridTest, RangeDragBeyondTheEdgeScrolls)
{
    Grid->SetColCount(30);
    Grid->SetRowCount(20);
    Grid->SetOptions(goVertLine | goHorzLine | goRangeSelect);
    // The owner hears of every step, also those the pointer did not move for.
    int moves = 0;
    Grid->OnMouseMove = [&](Qt::KeyboardModifiers, const QPoint&) { ++moves; };
    QTest::mousePress(vp(), Qt::LeftButton, Qt::NoModifier, at(1, 1));
    QTest::mouseMove(vp(), QPoint(100, 400));
    EXPECT_EQ(Grid->Selection(), (TGridRect{1, 1, 4, 7})); // the last row touching the viewport
    EXPECT_TRUE(QTest::qWaitFor([&] { return Grid->TopRow() >= 3; }, 2000));
    EXPECT_GE(moves, 1 + Grid->TopRow()); // the pointer's move, then one per step
    QTest::mouseRelease(vp(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 400));
    const int top = Grid->TopRow();
    EXPECT_EQ(Grid->Selection(), (TGridRect{1, 1, 4, top + 7}));
    EXPECT_EQ(QPoint(Grid->Col(), Grid->Row()), QPoint(1, 1));
    QTest::qWait(150);
    EXPECT_EQ(Grid->TopRow(), top); // stops with the release
}

TEST_F(DrawGridTest, PressesThatDoNotMoveTheCurrentCell)
{
    Grid->SetOptions(goVertLine | goHorzLine | goRangeSelect);
    Grid->SetColCount(5);
    Grid->SetRowCount(4);
    Grid->SetSelection({1, 1, 2, 2});
    std::vector<QPoint> downCells;
    Grid->OnMouseDown = [&](Qt::MouseButton, Qt::KeyboardModifiers, const QPoint& pos) {
        downCells.push_back(Grid->MouseToCell(pos));
        EXPECT_EQ(Grid->Selection(), (TGridRect{1, 1, 2, 2}));
    };

    // Cells end at 5 * 21 = 105 px across and 4 * 21 = 84 px down.
    QTest::mousePress(vp(), Qt::LeftButton, Qt::NoModifier, QPoint(150, 100));
    QTest::mouseMove(vp(), at(0, 0));
    QTest::mouseRelease(vp(), Qt::LeftButton, Qt::NoModifier, at(0, 0));
    QTest::mousePress(vp(), Qt::LeftButton, Qt::NoModifier, QPoint(105, 30));
    QTest::mouseRelease(vp(), Qt::LeftButton);
    QTest::mousePress(vp(), Qt::RightButton, Qt::NoModifier, at(4, 3));
    QTest::mouseRelease(vp(), Qt::RightButton, Qt::NoModifier, at(4, 3));

    EXPECT_EQ(downCells, (std::vector<QPoint>{{-1, -1}, {-1, 1}, {4, 3}}));
    EXPECT_EQ(Grid->Selection(), (TGridRect{1, 1, 2, 2}));
    EXPECT_EQ(Grid->MouseToCell(QPoint(104, 83)), QPoint(4, 3));
    EXPECT_EQ(Grid->MouseToCell(QPoint(-1, 10)), QPoint(-1, 0));
}

TEST_F(DrawGridTest, CurrentCellSelectionAndTheGridError)
{
    Grid->SetColCount(30);
    Grid->SetRowCount(20);
    Grid->SetSelection({2, 3, 6, 5});
    EXPECT_EQ(QPoint(Grid->Col(), Grid->Row()), QPoint(6, 5));
    // Setting the current cell collapses the selection and scrolls the cell into full view.
    Grid->SetCol(25);
    EXPECT_EQ(Grid->Selection(), (TGridRect{25, 5, 25, 5}));
    EXPECT_TRUE(QRect(0, 0, 200, 150).contains(Grid->CellRect(25, 5)));

    for (const auto& call : std::vector<std::function<void()>>{
             [&] { Grid->SetCol(-1); }, [&] { Grid->SetCol(30); }, [&] { Grid->SetRow(20); },
             [&] {
                 Grid->SetSelection({0, 0, 10, 20});
             }}) {
        try {
            call();
            ADD_FAILURE() << "no error";
        } catch (const EGridError& e) {
            EXPECT_STREQ(e.what(), "グリッドインデックス が範囲を超えています");
        }
    }
    EXPECT_EQ(Grid->Selection(), (TGridRect{25, 5, 25, 5}));

    // Fewer columns pull the current cell and the view back inside.
    Grid->SetColCount(12);
    EXPECT_EQ(Grid->Col(), 11);
    EXPECT_EQ(Grid->LeftCol(), 3);
    Grid->SetColCount(0);
    EXPECT_EQ(Grid->ColCount(), 1);
    EXPECT_EQ(Grid->Selection(), (TGridRect{0, 5, 0, 5}));
}

TEST_F(DrawGridTest, KeysMoveTheCurrentCell)
{
    Grid->SetColCount(30);
    Grid->SetRowCount(20);
    Grid->SetOptions(goVertLine | goHorzLine | goRangeSelect);
    Grid->SetSelection({1, 1, 3, 3});
    QTest::keyClick(Grid.get(), Qt::Key_Right);
    EXPECT_EQ(Grid->Selection(), (TGridRect{4, 3, 4, 3}));
    QTest::keyClick(Grid.get(), Qt::Key_Up);
    QTest::keyClick(Grid.get(), Qt::Key_Left);
    EXPECT_EQ(Grid->Selection(), (TGridRect{3, 2, 3, 2}));

    // Shift moves the other corner; the current cell stays.
    QTest::keyClick(Grid.get(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(Grid.get(), Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(Grid->Selection(), (TGridRect{2, 2, 3, 3}));
    EXPECT_EQ(QPoint(Grid->Col(), Grid->Row()), QPoint(3, 2));

    QTest::keyClick(Grid.get(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(Grid->Selection(), (TGridRect{29, 19, 29, 19}));
    EXPECT_EQ(Grid->LeftCol(), 30 - 9);
    EXPECT_EQ(Grid->TopRow(), 20 - 7);
    QTest::keyClick(Grid.get(), Qt::Key_Home);
    EXPECT_EQ(QPoint(Grid->Col(), Grid->Row()), QPoint(0, 19));
    QTest::keyClick(Grid.get(), Qt::Key_PageUp);
    EXPECT_EQ(Grid->Row(), 12);
    QTest::keyClick(Grid.get(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(QPoint(Grid->Col(), Grid->Row()), QPoint(0, 0));
    EXPECT_EQ(QPoint(Grid->LeftCol(), Grid->TopRow()), QPoint(0, 0));

    // Without range selection neither Shift nor a drag stretches.
    Grid->SetOptions(goVertLine | goHorzLine);
    QTest::keyClick(Grid.get(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(Grid->Selection(), (TGridRect{1, 0, 1, 0}));
    QTest::mousePress(vp(), Qt::LeftButton, Qt::NoModifier, at(2, 2));
    QTest::mouseMove(vp(), at(5, 4));
    QTest::mouseRelease(vp(), Qt::LeftButton, Qt::NoModifier, at(5, 4));
    EXPECT_EQ(Grid->Selection(), (TGridRect{2, 2, 2, 2}));
}

TEST_F(DrawGridTest, VisibleCountsAndLastScrollPosition)
{
    Grid->SetColCount(30);
    Grid->SetRowCount(20);
    // 20 px cells + 1 px line: 9 whole columns in 200 px (the 9th ends at 188), 7 rows in 150.
    EXPECT_EQ(Grid->VisibleColCount(), 9);
    EXPECT_EQ(Grid->VisibleRowCount(), 7);
    // Lines that are not drawn take no room.
    Grid->SetOptions(goHorzLine);
    EXPECT_EQ(Grid->VisibleColCount(), 10);
    EXPECT_EQ(Grid->CellRect(3, 2), QRect(60, 42, 20, 20));
    Grid->SetOptions(goVertLine | goHorzLine);

    Grid->SetDefaultColWidth(500);
    Grid->SetDefaultRowHeight(151);
    EXPECT_EQ(Grid->VisibleColCount(), 1); // larger than the viewport still counts as one
    EXPECT_EQ(Grid->VisibleRowCount(), 1);
    Grid->SetLeftCol(1000);
    EXPECT_EQ(Grid->LeftCol(), 29); // the last column can still be brought on screen
    EXPECT_EQ(Grid->CellRect(29, 0), QRect(0, 0, 500, 151));
    EXPECT_TRUE(Grid->CellRect(28, 0).isEmpty());

    Grid->SetDefaultColWidth(20);
    Grid->SetDefaultRowHeight(20);
    EXPECT_EQ(Grid->LeftCol(), 21);
    // Few cells: the count stops at the last column.
    Grid->SetColCount(4);
    EXPECT_EQ(Grid->VisibleColCount(), 4);
}

TEST_F(DrawGridTest, ScrollBarsAndWheelDriveTheView)
{
    Grid->SetColCount(30);
    Grid->SetRowCount(20);
    int changes = 0;
    Grid->OnTopLeftChanged = [&] { ++changes; };
    QScrollBar* h = Grid->horizontalScrollBar();
    QScrollBar* v = Grid->verticalScrollBar();
    EXPECT_EQ(h->maximum(), 21);
    EXPECT_EQ(v->maximum(), 13);
    EXPECT_FALSE(h->hasTracking());

    h->setValue(5);
    EXPECT_EQ(Grid->LeftCol(), 5);
    EXPECT_EQ(changes, 1);
    v->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(Grid->TopRow(), 7);
    EXPECT_EQ(changes, 2);

    Grid->SetLeftCol(100);
    EXPECT_EQ(Grid->LeftCol(), 21);
    EXPECT_EQ(h->value(), 21);
    EXPECT_EQ(changes, 3);

    wheel(QPoint(0, -120));
    EXPECT_EQ(Grid->TopRow(), 7 + QApplication::wheelScrollLines());
    wheel(QPoint(0, 240), Qt::ShiftModifier);
    EXPECT_EQ(Grid->LeftCol(), 21 - 2 * QApplication::wheelScrollLines());
    EXPECT_EQ(changes, 5);
    Grid->SetLeftCol(-3);
    EXPECT_EQ(h->value(), 0);

    Grid->SetOptions(goVertLine | goHorzLine | goThumbTracking);
    EXPECT_TRUE(h->hasTracking());

    // Scroll bars appear when needed, and the range follows the smaller viewport.
    Grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QApplication::processEvents();
    EXPECT_EQ(h->maximum(), 30 - Grid->VisibleColCount());
    EXPECT_EQ(v->maximum(), 20 - Grid->VisibleRowCount());
    EXPECT_LT(Grid->viewport()->width(), 200);
}

TEST_F(DrawGridTest, PaintsOnlyCellsOnScreenWithTheirState)
{
    Grid->SetColCount(30);
    Grid->SetRowCount(20);
    Grid->SetOptions(goVertLine | goHorzLine | goRangeSelect);
    Grid->SetSelection({4, 3, 6, 5});
    Grid->SetLeftCol(3);
    Grid->SetTopRow(2);
    recordDrawing();
    const QImage image = vp()->grab().toImage();

    // Columns 3..12 touch the 200 px (the last partly), rows 2..9 the 150 px.
    std::set<std::pair<int, int>> cells;
    for (const DrawCall& c : Calls) {
        EXPECT_TRUE(cells.emplace(c.Col, c.Row).second) << "painted twice";
        EXPECT_EQ(c.Rect, Grid->CellRect(c.Col, c.Row));
        const bool selected = Grid->Selection().Contains(c.Col, c.Row);
        EXPECT_EQ(c.State.testFlag(gdSelected), selected) << c.Col << "," << c.Row;
        EXPECT_EQ(c.State.testFlag(gdFocused), c.Col == 6 && c.Row == 5);
        EXPECT_EQ(c.Brush, selected ? kHighlight : kBase);
        EXPECT_EQ(c.Mode, QPainter::CompositionMode_SourceOver);
    }
    std::set<std::pair<int, int>> expected;
    for (int col = 3; col <= 12; ++col)
        for (int row = 2; row <= 9; ++row)
            expected.emplace(col, row);
    EXPECT_EQ(cells, expected);
    // The background under the callback's drawing (which drew nothing).
    EXPECT_EQ(image.pixel(Grid->CellRect(5, 4).center()), kHighlight);
    EXPECT_EQ(image.pixel(Grid->CellRect(7, 4).center()), kBase);

    // Moving the current cell repaints the cells that changed, not the whole grid.
    QApplication::processEvents(); // the repaints still due from the set-up
    Calls.clear();
    Grid->SetCol(8);
    QApplication::processEvents();
    std::set<std::pair<int, int>> repainted;
    for (const DrawCall& c : Calls)
        repainted.emplace(c.Col, c.Row);
    EXPECT_TRUE(repainted.count({8, 5}));
    EXPECT_TRUE(repainted.count({4, 3}));
    EXPECT_FALSE(repainted.count({11, 9}));
    EXPECT_FALSE(repainted.count({3, 2}));
}

TEST_F(DrawGridTest, GridLinesInPixels)
{
    Grid->SetColCount(5);
    Grid->SetRowCount(4);
    QImage image = vp()->grab().toImage();
    // Cell (0, 0) is the selected current cell; row 1 and column 1 show the base colour.
    EXPECT_EQ(image.pixel(0, 0), kHighlight);
    EXPECT_EQ(image.pixel(20, 25), kLineGrey);  // after column 0
    EXPECT_EQ(image.pixel(25, 20), kLineGrey);  // after row 0
    EXPECT_EQ(image.pixel(104, 25), kLineGrey); // after the last column
    EXPECT_EQ(image.pixel(25, 83), kLineGrey);  // after the last row
    EXPECT_EQ(image.pixel(21, 25), kBase);
    EXPECT_EQ(image.pixel(150, 100), kBase); // beyond the cells

    Grid->SetOptions(goHorzLine);
    image = vp()->grab().toImage();
    EXPECT_EQ(image.pixel(20, 25), kBase);
    EXPECT_EQ(image.pixel(25, 20), kLineGrey);

    Grid->SetOptions(goVertLine | goHorzLine);
    Grid->SetGridLineWidth(0);
    image = vp()->grab().toImage();
    EXPECT_EQ(image.pixel(20, 25), kBase);
    EXPECT_EQ(image.pixel(25, 20), kBase);
    EXPECT_EQ(Grid->MouseToCell(QPoint(20, 20)), QPoint(1, 1));
}

TEST_F(DrawGridTest, LargestGridAtBothExtremeCellSizes)
{
    Grid->SetColCount(9999);
    Grid->SetRowCount(9999);
    recordDrawing();
    Grid->OnDrawCell = [this, inner = Grid->OnDrawCell](QPainter& canvas, int col, int row,
                                                        const QRect& rect, TGridDrawState state) {
        inner(canvas, col, row, rect, state);
        canvas.setCompositionMode(QPainter::CompositionMode_SourceOver);
        canvas.fillRect(rect, Qt::red);
    };

    Grid->SetDefaultColWidth(1);
    Grid->SetDefaultRowHeight(1);
    Grid->SetCol(9998);
    Grid->SetRow(9998);
    // 2 px per cell with its line: 100 whole columns, 75 rows.
    EXPECT_EQ(Grid->LeftCol(), 9999 - 100);
    EXPECT_EQ(Grid->TopRow(), 9999 - 75);
    EXPECT_EQ(Grid->CellRect(9998, 9998), QRect(198, 148, 1, 1));
    EXPECT_EQ(Grid->MouseToCell(QPoint(199, 149)), QPoint(9998, 9998));
    QImage image = vp()->grab().toImage();
    EXPECT_EQ(Calls.size(), 100u * 75u);
    EXPECT_EQ(image.pixel(198, 148), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(199, 148), kLineGrey);

    Calls.clear();
    Grid->SetDefaultColWidth(99999);
    Grid->SetDefaultRowHeight(99999);
    Grid->SetLeftCol(0);
    Grid->SetCol(9998);
    EXPECT_EQ(Grid->LeftCol(), 9998);
    EXPECT_EQ(Grid->CellRect(9998, 9998), QRect(0, 0, 99999, 99999));
    EXPECT_EQ(Grid->MouseToCell(QPoint(199, 149)), QPoint(9998, 9998));
    Grid->SetTopRow(0);
    EXPECT_EQ(Grid->MouseToCell(QPoint(199, 149)), QPoint(9998, 0));
    image = vp()->grab().toImage();
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].Col, 9998);
    EXPECT_EQ(Calls[0].Row, 0);
    EXPECT_EQ(image.pixel(199, 149), qRgb(255, 0, 0));
}

} // namespace
