#include "DrawGrid.h"
#include "Parts.h"
#include "ProgramFixture.h"
#include "main.h"
#include "replace.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSpinBox>
#include <QTest>
#include <set>

namespace {

// Painting, picking and the Edit and Jump commands, driven through the real grids.
class MapEditingTest : public ProgramTest
{
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        Main()->NewMap(30, 20);
    }

    TMainForm* Main() { return Forms().MainForm; }
    TMapDocument& Doc() { return Main()->Document(); }
    TDrawGrid* Grid() { return Main()->MapGrid; }
    QString Status() { return Main()->StatusPanel0->text(); }

    QPoint Centre(TDrawGrid* grid, int col, int row) { return grid->CellRect(col, row).center(); }

    void Drag(TDrawGrid* grid, Qt::MouseButton button, QPoint from, QPoint to,
              Qt::KeyboardModifiers atRelease = {})
    {
        QTest::mousePress(grid->viewport(), button, {}, Centre(grid, from.x(), from.y()));
        QTest::mouseMove(grid->viewport(), Centre(grid, to.x(), to.y()));
        QTest::mouseRelease(grid->viewport(), button, atRelease, Centre(grid, to.x(), to.y()));
    }
    void Click(TDrawGrid* grid, Qt::MouseButton button, int col, int row)
    {
        QTest::mouseClick(grid->viewport(), button, {}, Centre(grid, col, row));
    }

    // The group part from a drag in the parts window, as the user picks it.
    void PickParts(int left, int top, int right, int bottom)
    {
        Drag(Forms().PartsForm->PartsGrid, Qt::LeftButton, {left, top}, {right, bottom});
    }

    // The replace dialog, answered with OK: `before` by `after`. Remembers the part number
    // the dialog was preset with.
    void ReplaceDialogAnswer(int before, int after)
    {
        Script.Modal = [this, before, after](QDialog* dialog) {
            TReplaceDlg* replace = Forms().ReplaceDlg;
            EXPECT_EQ(dialog, replace);
            Preset = replace->Spin_AfterParts->value();
            replace->Spin_BeforParts->setValue(before);
            replace->Spin_AfterParts->setValue(after);
            return int(QDialog::Accepted);
        };
    }
    int Preset = -1;

    std::vector<int> Rows(int left, int top, int right, int bottom)
    {
        std::vector<int> out;
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x)
                out.push_back(Doc().Cell(x, y));
        return out;
    }
};

TEST_F(MapEditingTest, DraggingInPaintModeStampsTheGroupPartWithCutTilesAtTheEdges)
{
    PickParts(0, 0, 2, 1); // parts 0 1 2 / 16 17 18, and paint mode
    ASSERT_TRUE(Main()->N17->isChecked());
    ASSERT_EQ(Doc().GroupWidth(), 3);

    Drag(Grid(), Qt::LeftButton, {1, 1}, {6, 4}); // 6 x 4: four whole copies
    EXPECT_EQ(Rows(1, 1, 6, 4), (std::vector<int>{0, 1, 2, 0, 1, 2, 16, 17, 18, 16, 17, 18, //
                                                  0, 1, 2, 0, 1, 2, 16, 17, 18, 16, 17, 18}));
    EXPECT_EQ(Doc().Cell(7, 1), 0);
    EXPECT_TRUE(Doc().MapModified());
    EXPECT_TRUE(Main()->Cancel1->isEnabled());

    // Dragged up and to the left, 4 x 3: one whole copy, cut copies right and below.
    Drag(Grid(), Qt::LeftButton, {13, 12}, {10, 10});
    EXPECT_EQ(Rows(10, 10, 13, 12), (std::vector<int>{0, 1, 2, 0, 16, 17, 18, 16, 0, 1, 2, 0}));

    // A plain click takes the group's top-left part.
    Doc().SetCell(15, 5, 99);
    Click(Grid(), Qt::LeftButton, 15, 5);
    EXPECT_EQ(Doc().Cell(15, 5), 0);
    Doc().SetCell(15, 5, 99);
    PickParts(5, 5, 5, 5); // part 85
    Click(Grid(), Qt::LeftButton, 15, 5);
    EXPECT_EQ(Doc().Cell(15, 5), 85);
}

TEST_F(MapEditingTest, RandomPlacementUsesOnlyTheGroupsParts)
{
    PickParts(3, 2, 4, 3); // 35 36 / 51 52
    Main()->A1->trigger();
    ASSERT_TRUE(Main()->A1->isChecked());
    Drag(Grid(), Qt::LeftButton, {0, 0}, {9, 9});
    const std::set<int> group{35, 36, 51, 52};
    std::set<int> seen;
    for (int v : Rows(0, 0, 9, 9)) {
        EXPECT_TRUE(group.count(v)) << v;
        seen.insert(v);
    }
    EXPECT_GE(seen.size(), 3u); // 100 cells from four parts
    EXPECT_EQ(Doc().Cell(10, 10), 0);
}

TEST_F(MapEditingTest, ModifiedReleasesInPaintModeLeaveTheMapForTheOverlay)
{
    PickParts(1, 0, 1, 0);
    for (Qt::KeyboardModifiers keys : std::initializer_list<Qt::KeyboardModifiers>{
             Qt::ShiftModifier, Qt::ControlModifier, Qt::ShiftModifier | Qt::ControlModifier}) {
        Drag(Grid(), Qt::LeftButton, {2, 2}, {3, 3}, keys);
        EXPECT_EQ(Rows(2, 2, 3, 3), std::vector<int>(4, 0));
    }
    EXPECT_FALSE(Doc().MapModified());
}

TEST_F(MapEditingTest, RightButtonPicksInEveryModeAndBeyondTheLastCellIsRefused)
{
    Doc().SetCell(4, 3, 37);
    ASSERT_TRUE(Main()->N19->isChecked()); // scroll mode
    Click(Grid(), Qt::RightButton, 4, 3);
    EXPECT_EQ(Grid()->Col(), 4);
    EXPECT_EQ(Grid()->Row(), 3);
    EXPECT_EQ(Forms().PartsForm->SelectedPartNumber(), 37);
    EXPECT_EQ(Doc().GroupWidth(), 1);
    EXPECT_EQ(Doc().GroupCell(0, 0), 37);
    EXPECT_EQ(Status(), QStringLiteral("取得パーツ番号:37"));

    Main()->N18->trigger();
    Doc().SetCell(0, 0, 5);
    Click(Grid(), Qt::RightButton, 0, 0);
    EXPECT_EQ(Doc().GroupCell(0, 0), 5);
    // A pick that changes nothing still draws the pressed cell plain again.
    const auto onScreen = [this] {
        QApplication::processEvents();
        const QRect r = Grid()->CellRect(0, 0);
        const QPoint at = Grid()->viewport()->mapTo(Main(), r.topLeft());
        return Main()->screen()->grabWindow(Main()->winId(), at.x(), at.y(), r.width(), r.height())
            .toImage();
    };
    const QImage plain = onScreen();
    QTest::mousePress(Grid()->viewport(), Qt::RightButton, {}, Centre(Grid(), 0, 0));
    ASSERT_NE(onScreen(), plain);
    QTest::mouseRelease(Grid()->viewport(), Qt::RightButton, {}, Centre(Grid(), 0, 0));
    EXPECT_EQ(onScreen(), plain);

    // Pressed on a cell, released beyond the last one: the grid's error, nothing picked.
    Grid()->SetDefaultColWidth(400);
    Main()->NewMap(2, 2);
    Doc().SetCell(0, 0, 5);
    Click(Grid(), Qt::RightButton, 0, 0);
    ASSERT_EQ(Doc().GroupCell(0, 0), 5);
    const QPoint beyond(Grid()->CellRect(1, 0).right() + 10, 5);
    QTest::mousePress(Grid()->viewport(), Qt::RightButton, {}, Centre(Grid(), 0, 0));
    Script.Log.clear();
    QTest::mouseRelease(Grid()->viewport(), Qt::RightButton, {}, beyond);
    EXPECT_EQ(Script.Log, QStringList{"error: グリッドインデックス が範囲を超えています"});
    EXPECT_EQ(Doc().GroupCell(0, 0), 5);
}

TEST_F(MapEditingTest, MiddleButtonChangesNothing)
{
    PickParts(2, 0, 2, 0);
    Drag(Grid(), Qt::MiddleButton, {1, 1}, {3, 3});
    EXPECT_EQ(Rows(1, 1, 3, 3), std::vector<int>(9, 0));
    EXPECT_EQ(Doc().GroupCell(0, 0), 2);
}

TEST_F(MapEditingTest, GroupCaptureTakesTheRegion)
{
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 6; ++y)
            Doc().SetCell(x, y, uint8_t(10 * x + y));
    Main()->N18->trigger();
    ASSERT_TRUE(Main()->G2->isEnabled());
    Drag(Grid(), Qt::LeftButton, {2, 1}, {4, 2});
    Main()->G2->trigger();
    EXPECT_EQ(Status(), QStringLiteral("グループパーツ取得"));
    EXPECT_EQ(Doc().GroupWidth(), 3);
    EXPECT_EQ(Doc().GroupHeight(), 2);
    EXPECT_EQ(Doc().GroupCell(0, 0), 21);
    EXPECT_EQ(Doc().GroupCell(2, 1), 42);
    EXPECT_FALSE(Doc().MapModified());
    Main()->N17->trigger();
    EXPECT_FALSE(Main()->G2->isEnabled());
}

TEST_F(MapEditingTest, FillAllAsksAndTilesFromTheTopLeftCorner)
{
    Main()->NewMap(5, 5);
    PickParts(0, 0, 1, 1); // 0 1 / 16 17
    Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::Cancel; };
    Main()->F1->trigger();
    EXPECT_EQ(Script.Log.last(),
              QStringLiteral("confirm[YesCancel]: グループパーツで全マップを埋めますか？"));
    EXPECT_FALSE(Doc().MapModified());

    Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::Yes; };
    Main()->F1->trigger();
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 5; ++y)
            EXPECT_EQ(Doc().Cell(x, y), x % 2 + 16 * (y % 2)) << x << "," << y;

    // Undo brings back the map before the fill.
    Main()->Cancel1->trigger();
    EXPECT_EQ(Rows(0, 0, 4, 4), std::vector<int>(25, 0));
    EXPECT_FALSE(Main()->Cancel1->isEnabled());
}

TEST_F(MapEditingTest, ReplaceWorksOnTheRegionOnlyInRegionModeAndIsUndoneOnItsOwn)
{
    PickParts(7, 0, 7, 0);                        // part 7, paint mode
    Drag(Grid(), Qt::LeftButton, {0, 0}, {3, 3}); // a 4 x 4 fill of 7
    Doc().SetCell(10, 10, 7);
    ReplaceDialogAnswer(7, 9);
    Main()->Replace1->trigger();
    // The dialog offered the selected part as the new part number.
    EXPECT_EQ(Preset, 7);
    // Paint mode: the whole map, although a rectangle is selected.
    EXPECT_EQ(Doc().Cell(10, 10), 9);
    EXPECT_EQ(Doc().Cell(3, 3), 9);
    EXPECT_EQ(Forms().ReplaceDlg->Spin_AfterParts->value(), 9);

    // Undo takes back the replace alone, then the fill.
    Main()->Cancel1->trigger();
    EXPECT_EQ(Doc().Cell(3, 3), 7);
    EXPECT_EQ(Doc().Cell(10, 10), 7);
    Main()->Cancel1->trigger();
    EXPECT_EQ(Doc().Cell(3, 3), 0);
    EXPECT_EQ(Doc().Cell(10, 10), 7);

    // Region mode: only the selected region.
    Doc().SetCell(1, 1, 4);
    Doc().SetCell(12, 12, 4);
    Main()->N18->trigger();
    Drag(Grid(), Qt::LeftButton, {0, 0}, {2, 2});
    ReplaceDialogAnswer(4, 5);
    Main()->Replace1->trigger();
    EXPECT_EQ(Doc().Cell(1, 1), 5);
    EXPECT_EQ(Doc().Cell(12, 12), 4);

    // A part replaced by itself changes nothing and leaves the map unmodified.
    Main()->NewMap(4, 4);
    ReplaceDialogAnswer(0, 0);
    Main()->Replace1->trigger();
    EXPECT_FALSE(Doc().MapModified());
    // Cancel: nothing.
    Script.Modal = [](QDialog*) { return int(QDialog::Rejected); };
    Main()->Replace1->trigger();
    EXPECT_FALSE(Doc().MapModified());
}

TEST_F(MapEditingTest, SelectAllGoesToRegionModeWithTheCurrentCellBottomRight)
{
    Main()->A2->trigger();
    EXPECT_TRUE(Main()->N18->isChecked());
    EXPECT_EQ(Grid()->Selection(), (TGridRect{0, 0, 29, 19}));
    EXPECT_EQ(Grid()->Col(), 29);
    EXPECT_EQ(Grid()->Row(), 19);
}

TEST_F(MapEditingTest, JumpPointsRecordToggleAndGoWithoutMovingTheCurrentCell)
{
    Main()->NewMap(500, 500);
    QAction* record1 = Main()->PointMemoryMenu->actions()[0];
    QAction* goTo1 = Main()->PointRestoreMenu->actions()[0];
    Grid()->SetCol(200);
    Grid()->SetRow(300);
    record1->trigger();
    EXPECT_TRUE(record1->isChecked());
    EXPECT_TRUE(goTo1->isChecked());

    Grid()->SetCol(3);
    Grid()->SetRow(4);
    goTo1->trigger();
    EXPECT_TRUE(goTo1->isChecked()); // going there does not unset it
    EXPECT_EQ(Grid()->LeftCol(), 200 - Grid()->VisibleColCount() / 2);
    EXPECT_EQ(Grid()->TopRow(), 300 - Grid()->VisibleRowCount() / 2);
    EXPECT_EQ(Grid()->Col(), 3);
    EXPECT_EQ(Status(), QStringLiteral("ジャンプ先: (200,300)"));

    // Recording again turns the point off: going there then does nothing.
    record1->trigger();
    EXPECT_FALSE(goTo1->isChecked());
    Grid()->SetLeftCol(0);
    Main()->StatusPanel0->clear();
    goTo1->trigger();
    EXPECT_FALSE(goTo1->isChecked());
    EXPECT_EQ(Grid()->LeftCol(), 0);
    EXPECT_EQ(Status(), QString());

    // Other points are independent, and a new map keeps them.
    Main()->PointMemoryMenu->actions()[4]->trigger();
    Main()->NewMap(500, 500);
    EXPECT_TRUE(Main()->PointRestoreMenu->actions()[4]->isChecked());
    EXPECT_FALSE(Main()->PointRestoreMenu->actions()[1]->isChecked());
}

} // namespace
