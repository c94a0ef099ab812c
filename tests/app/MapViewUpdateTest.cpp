#include "DrawGrid.h"
#include "PartsStore.h"
#include "ProgramFixture.h"
#include "main.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <set>
#include <utility>

namespace {

// The main window repaints what the document announces, and only that.
class MapViewUpdateTest : public ProgramTest
{
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        Main()->NewMap(30, 20);
        // Count every cell the grid draws, whichever way it draws it.
        TDrawGrid* grid = Main()->MapGrid;
        auto drawCell = grid->OnDrawCell;
        grid->OnDrawCell = [this, drawCell](QPainter& canvas, int col, int row, const QRect& rect,
                                            TGridDrawState state) {
            Drawn.insert({col, row});
            drawCell(canvas, col, row, rect, state);
        };
        auto drawCells = grid->OnDrawCells;
        grid->OnDrawCells = [this, drawCells](QPainter& canvas, const TGridRect& cells,
                                              const QRect& first, int pitchX, int pitchY) {
            for (int col = cells.Left; col <= cells.Right; ++col)
                for (int row = cells.Top; row <= cells.Bottom; ++row)
                    Drawn.insert({col, row});
            drawCells(canvas, cells, first, pitchX, pitchY);
        };
        Settle();
    }

    TMainForm* Main() { return Forms().MainForm; }
    TMapDocument& Doc() { return Main()->Document(); }

    // Lets every pending repaint happen, then forgets what was drawn.
    void Settle()
    {
        Main()->MapGrid->viewport()->repaint();
        QApplication::processEvents();
        Drawn.clear();
    }
    // The cells drawn by the repaints pending now.
    std::set<std::pair<int, int>> Repainted()
    {
        QApplication::processEvents();
        return std::exchange(Drawn, {});
    }
    std::set<std::pair<int, int>> Cells(const TCellRect& r)
    {
        std::set<std::pair<int, int>> out;
        for (int col = r.Left; col <= r.Right; ++col)
            for (int row = r.Top; row <= r.Bottom; ++row)
                out.insert({col, row});
        return out;
    }
    // The cells on screen.
    std::set<std::pair<int, int>> Screen()
    {
        TDrawGrid* grid = Main()->MapGrid;
        std::set<std::pair<int, int>> out;
        for (int col = 0; col < grid->ColCount(); ++col)
            for (int row = 0; row < grid->RowCount(); ++row)
                if (!grid->CellRect(col, row).isEmpty())
                    out.insert({col, row});
        return out;
    }

    std::set<std::pair<int, int>> Drawn;
};

TEST_F(MapViewUpdateTest, EachChangeRepaintsWhatItTouched)
{
    Doc().SetGroupSingle(5);
    Settle();
    ASSERT_GT(Screen().size(), 20u);

    Doc().StampGroup({2, 3, 2, 3});
    EXPECT_EQ(Repainted(), Cells({2, 3, 2, 3}));
    Main()->Cancel1->trigger();
    EXPECT_EQ(Repainted(), Cells({2, 3, 2, 3}));
    Main()->Redo1->trigger();
    EXPECT_EQ(Repainted(), Cells({2, 3, 2, 3}));

    Doc().StampGroup({1, 1, 3, 2});
    EXPECT_EQ(Repainted(), Cells({1, 1, 3, 2}));
    Doc().SetCell(4, 4, 9);
    EXPECT_EQ(Repainted(), Cells({4, 4, 4, 4}));
    // Nothing changed, nothing drawn.
    Doc().ReplaceParts({0, 0, 29, 19}, 200, 1);
    Doc().SetCell(4, 4, 9);
    EXPECT_TRUE(Repainted().empty());
    // The lattice follows the group part's size: the whole view, but a part of the same size
    // draws nothing.
    Doc().SetGroupPart(2, 2, [](int, int) { return uint8_t(1); });
    EXPECT_EQ(Repainted(), Screen());
    Doc().SetGroupPart(2, 2, [](int, int) { return uint8_t(3); });
    EXPECT_TRUE(Repainted().empty());
    Doc().SetGroupSingle(4);
    EXPECT_EQ(Repainted(), Screen());
    Doc().SetGroupSingle(6);
    EXPECT_TRUE(Repainted().empty());
    // A new map, of another size: the grid follows it.
    Doc().NewMap(3, 2);
    EXPECT_EQ(Main()->MapGrid->ColCount(), 3);
    EXPECT_EQ(Main()->MapGrid->RowCount(), 2);
    EXPECT_EQ(Repainted(), Cells({0, 0, 2, 1}));
}

TEST_F(MapViewUpdateTest, UndoAndRedoFollowTheirItemsAndKeys)
{
    Main()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Main()));
    QWidget* target = Main()->MapGrid;
    const auto items = [this] {
        return std::pair{Main()->Cancel1->isEnabled(), Main()->Redo1->isEnabled()};
    };
    // "やり直し" comes right after "取り消し" in the Edit menu.
    QList<QAction*> edit;
    for (QAction* top : Main()->menuBar()->actions())
        if (top->text() == QStringLiteral("編集(&E)"))
            edit = top->menu()->actions();
    ASSERT_GE(edit.size(), 2);
    EXPECT_EQ(edit[0], Main()->Cancel1);
    EXPECT_EQ(edit[1], Main()->Redo1);
    EXPECT_EQ(Main()->Redo1->text(), QStringLiteral("やり直し(&Y)"));
    EXPECT_EQ(items(), std::pair(false, false));

    Doc().SetGroupSingle(7);
    Doc().StampGroup({0, 0, 1, 1});
    Doc().SetGroupSingle(8);
    Doc().StampGroup({1, 1, 2, 2});
    EXPECT_EQ(items(), std::pair(true, false));

    QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Doc().Cell(1, 1), 7);
    EXPECT_EQ(items(), std::pair(true, true));
    QTest::keyClick(target, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Doc().Cell(1, 1), 0);
    EXPECT_EQ(items(), std::pair(false, true));
    EXPECT_TRUE(Doc().MapModified()); // undone, not saved
    QTest::keyClick(target, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Doc().Cell(1, 1), 7);
    EXPECT_EQ(items(), std::pair(true, true));
    QTest::keyClick(target, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(Doc().Cell(1, 1), 8);
    EXPECT_EQ(items(), std::pair(true, false));
    EXPECT_TRUE(Doc().MapModified());

    // A new map ends both.
    Main()->NewMap(10, 10);
    EXPECT_EQ(items(), std::pair(false, false));
}

TEST_F(MapViewUpdateTest, APartChangeRepaintsTheCellsOnScreenThatShowIt)
{
    Doc().SetGroupSingle(5);
    Doc().StampGroup({2, 3, 4, 3});
    Doc().SetCell(7, 1, 5);
    Settle();
    QImage red(32, 32, QImage::Format_RGB32);
    red.fill(Qt::red);

    PartsStore().CapturePart(5, red, 0, 0);
    std::set<std::pair<int, int>> holding = Cells({2, 3, 4, 3});
    holding.insert({7, 1});
    EXPECT_EQ(Repainted(), holding);
    // The cells show the new picture.
    Main()->MapGrid->viewport()->repaint();
    const QImage shown = Main()->MapGrid->viewport()->grab().toImage();
    EXPECT_EQ(shown.pixelColor(Main()->MapGrid->CellRect(3, 3).center()), QColor(Qt::red));
    Settle();

    // A part no cell on screen shows: nothing to draw.
    PartsStore().ResetPart(77);
    EXPECT_TRUE(Repainted().empty());
    // Every part: the whole view.
    PartsStore().SetPartsSize(32, 32);
    EXPECT_EQ(Repainted(), Screen());
    // A part on many cells: one repaint of the whole view.
    Doc().StampGroup({0, 0, 29, 19});
    Settle();
    PartsStore().CapturePart(5, red, 0, 0);
    EXPECT_EQ(Repainted(), Screen());
}

} // namespace
