#include "DrawGrid.h"
#include "LupeUnit.h"
#include "MapSession.h"
#include "Parts.h"
#include "PartsStore.h"
#include "ProgramFixture.h"
#include "UndoHistory.h"
#include "main.h"
#include "tool.h"

#include <QApplication>
#include <QFrame>
#include <QTest>
#include <QToolButton>

namespace {

// Part-graphic editing in the main window: the magnifier over a cell of the zoom view, the
// pixel tools of the tool box on its picture, and the store into the part.
class PartGraphicEditingTest : public ProgramTest
{
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        Main()->resize(900, 700);
        QApplication::processEvents();
        Main()->NewMap(30, 20);
        Doc().SetCell(2, 2, 7);
        Doc().SetCell(3, 2, 7);
        Doc().SetCell(2, 3, 8);
        QImage green(32, 32, QImage::Format_RGB32);
        green.fill(QColor(0, 160, 0));
        PartsStore().CapturePart(7, green, 0, 0);
        PartsStore().ClearPartsModified();
        Settings().SetZoomLevel(zlZoom);
        EnterAt(2, 2);
        Grid()->SetLeftCol(2);
        Grid()->SetTopRow(2);
        Main()->SetLupeMode(); // placed again where the view now shows the cell
    }

    TMainForm* Main() { return Forms().MainForm; }
    TDrawGrid* Grid() { return Main()->MapGrid; }
    TLupe* Lupe() { return Main()->Lupe; }
    TMapDocument& Doc() { return Main()->Document(); }

    void EnterAt(int col, int row)
    {
        Grid()->SetCol(col);
        Grid()->SetRow(row);
        Main()->SetLupeMode();
    }
    // The centre of source pixel p on the magnifier's screen.
    QPoint At(QPoint p) { return p * Lupe()->Power() + QPoint(3, 3); }
    void Stroke(QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton)
    {
        QWidget* view = Lupe()->viewport();
        QTest::mousePress(view, button, {}, At(from));
        QTest::mouseMove(view, At((from + to) / 2));
        QTest::mouseMove(view, At(to));
        QTest::mouseRelease(view, button, {}, At(to));
    }
    // A plain click on a map cell.
    void ClickCell(int col, int row)
    {
        const QPoint centre = Grid()->CellRect(col, row).center();
        QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, centre);
    }
    // Pixel (x, y) of the part as map cell (col, row) shows it.
    QColor CellPixel(int col, int row, QPoint p)
    {
        const QImage shown = Grid()->viewport()->grab().toImage();
        const QRect cell = Grid()->CellRect(col, row);
        const int scale = cell.width() / PartsStore().PartWidth();
        return shown.pixelColor(cell.topLeft() + p * scale + QPoint(scale / 2, scale / 2));
    }
};

TEST_F(PartGraphicEditingTest, TheMagnifierCoversTheCellWithACopyOfItsPart)
{
    EXPECT_TRUE(Lupe()->isVisible());
    EXPECT_EQ(Lupe()->geometry(), Grid()->CellRect(2, 2));
    EXPECT_EQ(Lupe()->Power(), 256 / 32);
    EXPECT_EQ(Main()->LupePartNumber(), 7);
    EXPECT_EQ(Lupe()->Bitmap(), PartsStore().PartBitmap(7));

    // A cell too small for a factor of 2 keeps the factor the magnifier had.
    Settings().SetZoomSize(48);
    Settings().SetZoomLevel(zlNormal);
    Settings().SetZoomLevel(zlZoom);
    EnterAt(2, 2);
    EXPECT_EQ(Lupe()->Power(), 8);
    EXPECT_EQ(Lupe()->size(), QSize(48, 48));
}

TEST_F(PartGraphicEditingTest, DrawingShowsInPlaceAndAClickOnACellStoresIt)
{
    Settings().SetPixelTool(ptLine);
    Settings().SetDrawingColor(QColor(255, 0, 0));
    Stroke({1, 1}, {6, 1});
    // Exactly the line: no pixel of the previews on the way is left inverted.
    QImage expected = PartsStore().PartBitmap(7).copy();
    for (int x = 1; x <= 6; ++x)
        expected.setPixelColor(x, 1, QColor(255, 0, 0));
    EXPECT_EQ(Lupe()->Bitmap(), expected);
    const QImage screen = Lupe()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(screen.pixelColor(At({3, 1})), QColor(255, 0, 0));
    EXPECT_EQ(screen.pixelColor(At({3, 4})), QColor(0, 160, 0));
    // Not stored yet, but the other cell with the part already shows it.
    EXPECT_EQ(PartsStore().PartBitmap(7).pixelColor(4, 1), QColor(0, 160, 0));
    EXPECT_FALSE(PartsStore().IsPartsModified());
    EXPECT_TRUE(Main()->LupeEdited());
    EXPECT_EQ(CellPixel(3, 2, {4, 1}), QColor(255, 0, 0));

    // A click on another cell stores the picture and moves the magnifier there.
    ClickCell(3, 3);
    EXPECT_EQ(PartsStore().PartBitmap(7).pixelColor(4, 1), QColor(255, 0, 0));
    EXPECT_TRUE(PartsStore().IsPartsModified());
    EXPECT_EQ(Main()->LupePartNumber(), 0);
    EXPECT_EQ(Lupe()->geometry().topLeft(), Grid()->CellRect(3, 3).topLeft());

    // One undo takes the part back, and the cells show it.
    Main()->Cancel1->trigger();
    EXPECT_EQ(PartsStore().PartBitmap(7).pixelColor(4, 1), QColor(0, 160, 0));
    EXPECT_TRUE(PartsStore().IsPartsModified()); // undone, not saved
    EXPECT_EQ(CellPixel(3, 2, {4, 1}), QColor(0, 160, 0));
}

TEST_F(PartGraphicEditingTest, EditsNotStoredAreDroppedWhenTheModeChanges)
{
    Settings().SetPixelTool(ptFreeLine);
    Stroke({2, 2}, {9, 9});
    ASSERT_NE(Lupe()->Bitmap(), PartsStore().PartBitmap(7));
    Main()->N17->trigger(); // paint mode
    EXPECT_FALSE(Lupe()->isVisible());
    EXPECT_FALSE(Main()->LupeEdited());
    EXPECT_EQ(CellPixel(3, 2, {5, 5}), QColor(0, 160, 0));
    Main()->D1->trigger();
    EXPECT_EQ(Lupe()->Bitmap(), PartsStore().PartBitmap(7));
    EXPECT_FALSE(PartsStore().IsPartsModified());
}

TEST_F(PartGraphicEditingTest, ADoubleClickStoresAndAClickWithoutDrawingStillMarksTheParts)
{
    Settings().SetPixelTool(ptFreeLine);
    Settings().SetDrawingColor(QColor(0, 0, 255));
    // As the platform delivers a double click: press, release, double click, release.
    QWidget* view = Lupe()->viewport();
    QTest::mouseClick(view, Qt::LeftButton, {}, At({3, 4}));
    QTest::mouseDClick(view, Qt::LeftButton, {}, At({3, 4}));
    QTest::mouseRelease(view, Qt::LeftButton, {}, At({3, 4}));
    EXPECT_EQ(PartsStore().PartBitmap(7).pixelColor(3, 4), QColor(0, 0, 255));
    EXPECT_EQ(Lupe()->Bitmap(), PartsStore().PartBitmap(7));
    EXPECT_TRUE(Lupe()->isVisible());

    PartsStore().ClearPartsModified();
    const int steps = Program->Models().Session.History().UndoCount();
    ClickCell(3, 2);
    EXPECT_TRUE(PartsStore().IsPartsModified());
    EXPECT_EQ(Program->Models().Session.History().UndoCount(), steps); // nothing drawn: no step

    // The double click's second press drew nothing new: the store is undone at once, and the
    // magnifier and the cells follow the part back.
    EXPECT_FALSE(Main()->LupeEdited());
    Main()->Cancel1->trigger();
    EXPECT_EQ(PartsStore().PartBitmap(7).pixelColor(3, 4), QColor(0, 160, 0));
    EXPECT_EQ(Lupe()->Bitmap(), PartsStore().PartBitmap(7));
    ClickCell(3, 3);
    EXPECT_EQ(PartsStore().PartBitmap(7).pixelColor(3, 4), QColor(0, 160, 0));
}

// Whatever else changes the magnifier's part, the magnifier never stores an old copy over it:
// its edits go in first, one undo away, and a copy without edits follows the part.
TEST_F(PartGraphicEditingTest, TheMagnifierNeverStoresAnOldCopyOverItsPart)
{
    Settings().SetPixelTool(ptFreeLine);
    Settings().SetDrawingColor(QColor(255, 0, 0));
    // A picture loaded over edits.
    Stroke({1, 1}, {6, 1});
    QImage sheet(512, 512, QImage::Format_RGB32);
    sheet.fill(QColor(10, 20, 30));
    const QString file = Dir.filePath(QStringLiteral("sheet.bmp"));
    ASSERT_TRUE(sheet.save(file));
    ASSERT_TRUE(Forms().PartsForm->LoadPartsPicture(file));
    EXPECT_FALSE(Main()->LupeEdited());
    EXPECT_EQ(CellPixel(3, 2, {1, 20}), QColor(10, 20, 30));
    ClickCell(1, 1);
    EXPECT_EQ(PartsStore().PartBitmap(7).pixelColor(3, 1), QColor(10, 20, 30));
    ASSERT_TRUE(Doc().Undo());
    EXPECT_EQ(PartsStore().PartBitmap(7).pixelColor(3, 1), QColor(255, 0, 0));

    // Parts exchanged under edits: the edit goes with its cells.
    EnterAt(2, 2);
    Stroke({1, 1}, {6, 1});
    Settings().SetDrawingColor(QColor(0, 0, 255));
    Stroke({1, 5}, {6, 5});
    Program->Models().Session.ExchangeParts(7, 8);
    ASSERT_EQ(Doc().Cell(2, 2), 8);
    ClickCell(1, 1);
    EXPECT_EQ(PartsStore().PartBitmap(8).pixelColor(3, 5), QColor(0, 0, 255));
    EXPECT_NE(PartsStore().PartBitmap(7).pixelColor(3, 5), QColor(0, 0, 255));

    // A line cut short by a scroll leaves no rubber band behind.
    EnterAt(2, 3); // part 7 since the exchange
    Settings().SetPixelTool(ptLine);
    const QImage before = PartsStore().PartBitmap(7).copy();
    QTest::mousePress(Lupe()->viewport(), Qt::LeftButton, {}, At({1, 12}));
    QTest::mouseMove(Lupe()->viewport(), At({8, 12}));
    Grid()->SetTopRow(0);
    ClickCell(2, 2);
    EXPECT_EQ(PartsStore().PartBitmap(7), before);

    // Closing asks about the parts while the magnifier holds edits.
    EnterAt(2, 2);
    Settings().SetPixelTool(ptFreeLine);
    Stroke({1, 9}, {6, 9});
    PartsStore().ClearPartsModified();
    Script.Log.clear();
    Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::Cancel; };
    EXPECT_FALSE(Main()->FormCloseQuery());
    EXPECT_TRUE(Script.Log.join(u'\n').contains(QStringLiteral("パーツデータを上書き保存しますか？")));

    // New parts of another size: the old copy goes.
    Program->Models().Session.NewMap(30, 20, 16, 16);
    const QImage placeholder = PartsStore().PartBitmap(7).copy();
    ClickCell(1, 1);
    EXPECT_EQ(PartsStore().PartBitmap(7), placeholder);
}

TEST_F(PartGraphicEditingTest, TheRightButtonPicksAColourShownInTheToolBox)
{
    QImage stripes(32, 32, QImage::Format_RGB32);
    for (int x = 0; x < 32; ++x)
        for (int y = 0; y < 32; ++y)
            stripes.setPixelColor(x, y, QColor(x * 8, 10, 20));
    PartsStore().CapturePart(7, stripes, 0, 0);
    Main()->SetLupeMode();
    TToolForm* tool = Forms().ToolForm;
    QWidget* view = Lupe()->viewport();
    QTest::mousePress(view, Qt::RightButton, {}, At({2, 0}));
    EXPECT_EQ(tool->LupeColorPanel->palette().color(QPalette::Window), QColor(16, 10, 20));
    QTest::mouseMove(view, At({5, 0}));
    EXPECT_EQ(tool->LupeColorPanel->palette().color(QPalette::Window), QColor(40, 10, 20));
    EXPECT_EQ(Settings().DrawingColor(), QColor(0, 0, 0));
    QTest::mouseRelease(view, Qt::RightButton, {}, At({6, 0}));
    EXPECT_EQ(Settings().DrawingColor(), QColor(48, 10, 20));
    EXPECT_EQ(tool->LupeColorPanel->palette().color(QPalette::Window), QColor(48, 10, 20));
    EXPECT_EQ(Lupe()->Bitmap(), stripes); // a pick draws nothing
}

TEST_F(PartGraphicEditingTest, TheToolBoxFlipsAndTurnsThePicture)
{
    TToolForm* tool = Forms().ToolForm;
    Settings().SetPixelTool(ptFreeLine);
    Settings().SetDrawingColor(QColor(255, 0, 0));
    Stroke({0, 5}, {0, 5});
    tool->Button_HorizontalTurn->click();
    EXPECT_EQ(Lupe()->Bitmap().pixelColor(31, 5), QColor(255, 0, 0));
    EXPECT_EQ(CellPixel(3, 2, {31, 5}), QColor(255, 0, 0)); // shown in place
    tool->Button_VerticalTurn->click();
    EXPECT_EQ(Lupe()->Bitmap().pixelColor(31, 26), QColor(255, 0, 0));
    ASSERT_TRUE(tool->Button_RotateRight->isEnabled());
    const QImage before = Lupe()->Bitmap().copy();
    for (int i = 0; i < 4; ++i)
        tool->Button_RotateRight->click();
    EXPECT_EQ(Lupe()->Bitmap(), before);
    tool->Button_RotateLeft->click();
    EXPECT_NE(Lupe()->Bitmap(), before);
    // Stored with the next click.
    ClickCell(3, 3);
    EXPECT_EQ(PartsStore().PartBitmap(7).pixelColor(26, 0), QColor(255, 0, 0));

    // Parts that are not square cannot be turned, and the buttons say so.
    PartsStore().SetPartsSize(32, 16);
    EXPECT_FALSE(tool->Button_RotateLeft->isEnabled());
    EXPECT_FALSE(tool->Button_RotateRight->isEnabled());
    EXPECT_TRUE(tool->Button_RotateLeft->toolTip().startsWith(QStringLiteral("左90度回転")));
    EXPECT_GT(tool->Button_RotateLeft->toolTip().size(), QStringLiteral("左90度回転").size());
    PartsStore().SetPartsSize(16, 16);
    EXPECT_TRUE(tool->Button_RotateLeft->isEnabled());
}

TEST_F(PartGraphicEditingTest, PaintReleasesWithShiftOrCtrlLayOnePartOverAnother)
{
    Main()->N17->trigger();
    QImage blue(32, 32, QImage::Format_RGB32);
    blue.fill(QColor(0, 0, 200));
    PartsStore().CapturePart(9, blue, 0, 0);
    Forms().PartsForm->SelectPart(9);
    int answer = QDialog::Accepted;
    QStringList asked;
    Script.Modal = [&](QDialog* dialog) {
        asked << dialog->objectName();
        return answer;
    };
    const QPoint cell = Grid()->CellRect(2, 2).center();

    // Cancelled: nothing changes.
    answer = QDialog::Rejected;
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::ShiftModifier, cell);
    EXPECT_EQ(asked.size(), 1);
    EXPECT_EQ(Doc().Cell(2, 2), 7);
    EXPECT_EQ(PartsStore().PartBitmap(9), blue);
    EXPECT_FALSE(Doc().MapModified());

    // Shift: the selected part laid over the cell's (all of it opaque, so it covers it);
    // the selected part takes the result and the cell shows it.
    answer = QDialog::Accepted;
    Doc().SetMapModified(false);
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::ShiftModifier, cell);
    EXPECT_EQ(Doc().Cell(2, 2), 9);
    EXPECT_EQ(PartsStore().PartBitmap(9), blue);
    EXPECT_TRUE(Doc().MapModified());
    EXPECT_TRUE(PartsStore().IsPartsModified());
    // One undo takes back the cell and the part together; redo makes both again.
    const QImage laid = PartsStore().PartBitmap(9).copy();
    Main()->Cancel1->trigger();
    EXPECT_EQ(Doc().Cell(2, 2), 7);
    Main()->Redo1->trigger();
    EXPECT_EQ(Doc().Cell(2, 2), 9);
    EXPECT_EQ(PartsStore().PartBitmap(9), laid);

    // Ctrl: the cell's part laid over the selected part.
    Doc().SetCell(3, 2, 8);
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      Grid()->CellRect(3, 2).center());
    EXPECT_EQ(Doc().Cell(3, 2), 9);
    EXPECT_EQ(PartsStore().PartBitmap(9), PartsStore().PartBitmap(8));
    EXPECT_EQ(asked.size(), 3);
}

} // namespace
