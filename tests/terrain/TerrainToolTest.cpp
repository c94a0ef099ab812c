// The terrain tool and the terrain fill in the main window, on a generated corner set.

#include "DrawGrid.h"
#include "MapSession.h"
#include "Parts.h"
#include "PartsStore.h"
#include "ProgramFixture.h"
#include "TerrainEdit.h"
#include "TerrainEditor.h"
#include "TerrainFile.h"
#include "TerrainGen.h"
#include "TerrainStore.h"
#include "WangMatcher.h"
#include "main.h"
#include "tool.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

namespace {

using namespace TerrainGen;

class TerrainToolTest : public ProgramTest
{
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        Main()->NewMap(30, 20); // part 0: terrain 1 everywhere
    }

    // Parts from the generated sheet, saved with its terrain file beside it.
    void UseGeneratedParts()
    {
        TTerrainSheet sheet;
        sheet.Sets = {Set};
        const QString picture = Dir.filePath(QStringLiteral("parts.png"));
        ASSERT_TRUE(Sheet(Set).save(picture));
        const QSize part(PartSide, PartSide);
        ASSERT_TRUE(WriteTerrainFile(TerrainFileName(picture), sheet, {picture, part, part * 16}));
        PartsStore().SetPartsSize(PartSide, PartSide);
        ASSERT_TRUE(PartsStore().LoadPartsPicture(picture));
        ASSERT_NE(Terrain().Matcher(), nullptr) << Terrain().Problem().toStdString();
    }

    TMainForm* Main() { return Forms().MainForm; }
    TMapDocument& Doc() { return Main()->Document(); }
    TDrawGrid* Grid() { return Main()->MapGrid; }
    TTerrainStore& Terrain() { return Program->Models().Terrain; }
    // The viewport point of a cell corner: the top left of cell (x, y).
    QPoint Corner(int x, int y) { return Grid()->CellRect(x, y).topLeft(); }

    // Neighbours in the set whose shared corners differ.
    int Seams()
    {
        const TWangMatcher& m = *Terrain().Matcher();
        int found = 0;
        for (int x = 0; x < Doc().MapWidth(); ++x) {
            for (int y = 0; y < Doc().MapHeight(); ++y) {
                const TWangId& a = m.IdOf(Doc().Cell(x, y));
                if (x + 1 < Doc().MapWidth()) {
                    const TWangId& b = m.IdOf(Doc().Cell(x + 1, y));
                    found += a[Wang::TopRight] != b[Wang::TopLeft] ||
                             a[Wang::BottomRight] != b[Wang::BottomLeft];
                }
                if (y + 1 < Doc().MapHeight()) {
                    const TWangId& b = m.IdOf(Doc().Cell(x, y + 1));
                    found += a[Wang::BottomLeft] != b[Wang::TopLeft] ||
                             a[Wang::BottomRight] != b[Wang::TopRight];
                }
            }
        }
        return found;
    }
    // A key as the user presses it in the main window.
    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        Main()->activateWindow();
        QApplication::setActiveWindow(Main());
        QTest::keyClick(Main(), Qt::Key(key), modifiers);
    }
    bool AllPartZero()
    {
        return std::all_of(Doc().MapCells().begin(), Doc().MapCells().end(),
                           [](uint8_t c) { return c == 0; });
    }

    const TWangSet Set = CompleteSet(TWangType::Corner, 2);
};

TEST_F(TerrainToolTest, AStrokeShowsWhileDrawnLeavesNoSeamAndIsOneUndoStep)
{
    UseGeneratedParts();
    Press(Qt::Key_F5);
    ASSERT_TRUE(Main()->Terrain1->isChecked());
    EXPECT_TRUE(Forms().ToolForm->Button_Terrain->isChecked());
    ASSERT_EQ(Forms().ToolForm->TerrainColorCombo->count(), 2);
    Terrain().Choose(0, 2);
    EXPECT_EQ(Forms().ToolForm->TerrainColorCombo->currentIndex(), 1);

    QWidget* view = Grid()->viewport();
    QTest::mousePress(view, Qt::LeftButton, {}, Corner(3, 3));
    QTest::mouseMove(view, Corner(6, 5));
    // The stroke shows before it is in the map.
    EXPECT_TRUE(AllPartZero());
    const QImage shown = view->grab().toImage();
    EXPECT_EQ(shown.pixel(Corner(4, 4) + QPoint(1, 1)), Palette(2).rgb());
    QTest::mouseMove(view, Corner(10, 8));
    QTest::mouseMove(view, Corner(10, 12));
    QTest::mouseRelease(view, Qt::LeftButton, {}, Corner(10, 12));

    const TWangMatcher& m = *Terrain().Matcher();
    EXPECT_EQ(m.IdOf(Doc().Cell(2, 2))[Wang::BottomRight], 2);
    EXPECT_EQ(m.IdOf(Doc().Cell(9, 7))[Wang::BottomRight], 2);
    EXPECT_EQ(m.IdOf(Doc().Cell(10, 11))[Wang::TopLeft], 2);
    EXPECT_EQ(m.IdOf(Doc().Cell(20, 3))[Wang::TopLeft], 1);
    EXPECT_EQ(Seams(), 0);

    // One step: undone whole, and redone whole.
    const std::vector<uint8_t> drawn(Doc().MapCells().begin(), Doc().MapCells().end());
    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(AllPartZero());
    Press(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(std::equal(drawn.begin(), drawn.end(), Doc().MapCells().begin()));
}

TEST_F(TerrainToolTest, TheFillMakesTheRegionSolidWithFittedBorders)
{
    UseGeneratedParts();
    Terrain().Choose(0, 2);
    Main()->N18->trigger(); // region mode
    Grid()->SetSelection({5, 4, 12, 9});
    Main()->TerrainFill1->trigger();

    const TWangMatcher& m = *Terrain().Matcher();
    for (int x = 5; x <= 12; ++x) {
        for (int y = 4; y <= 9; ++y)
            ASSERT_EQ(m.IdOf(Doc().Cell(x, y)), (TWangId{0, 2, 0, 2, 0, 2, 0, 2})) << x << "," << y;
    }
    EXPECT_NE(Doc().Cell(4, 4), 0); // the border around was fitted
    EXPECT_EQ(Seams(), 0);
    Main()->Cancel1->trigger();
    EXPECT_TRUE(AllPartZero());
}

TEST_F(TerrainToolTest, WithoutATerrainFileTheToolSaysWhyAndPaintsNothing)
{
    Press(Qt::Key_F5);
    EXPECT_EQ(Main()->StatusPanel0->text(), Terrain().Problem());
    EXPECT_FALSE(Terrain().Problem().isEmpty());
    QWidget* view = Grid()->viewport();
    QTest::mousePress(view, Qt::LeftButton, {}, Corner(3, 3));
    QTest::mouseMove(view, Corner(6, 5));
    QTest::mouseRelease(view, Qt::LeftButton, {}, Corner(6, 5));
    EXPECT_TRUE(AllPartZero());
    EXPECT_FALSE(Doc().UndoAvailable());

    // Sets made before the parts have a file go with them when they are saved: until then the
    // parts count as modified, so closing asks about them.
    ASSERT_TRUE(Terrain().FileName().isEmpty());
    PartsStore().ClearPartsModified();
    TTerrainSheet sheet;
    TerrainEdit::AddSet(sheet, QStringLiteral("t"), TWangType::Corner);
    ASSERT_TRUE(Terrain().Edit(sheet));
    EXPECT_TRUE(PartsStore().IsPartsModified());
}

TEST_F(TerrainToolTest, TheEditorsMarksPaintAtOnceAndTheChoiceIsKept)
{
    const QString picture = Dir.filePath(QStringLiteral("plain.png"));
    QImage plain(16 * 32, 16 * 32, QImage::Format_RGB32); // the part size the program starts with
    plain.fill(Qt::white);
    ASSERT_TRUE(plain.save(picture));
    TPartsForm* parts = Forms().PartsForm;
    parts->SetPartsSize(32, 32);
    ASSERT_TRUE(parts->LoadPartsPicture(picture));
    Press(Qt::Key_F5);
    EXPECT_FALSE(Main()->StatusPanel0->text().isEmpty()); // no sets yet

    TTerrainEditor* editor = parts->TerrainEditor;
    parts->show();
    editor->toggleViewAction()->trigger();
    ASSERT_TRUE(editor->isVisible());
    editor->AddSet();
    editor->AddColor();
    ASSERT_EQ(editor->CurrentColor(), 2);
    QWidget* view = parts->PartsGrid->viewport();
    const QRect cell = parts->PartsGrid->CellRect(1, 1);
    const QPoint topRight = cell.topLeft() + QPoint(cell.width() * 3 / 4, cell.height() / 4);
    QTest::mouseClick(view, Qt::LeftButton, {}, topRight);
    ASSERT_EQ(Terrain().Sheet().Sets.size(), 1u);
    EXPECT_EQ(TerrainEdit::IdOf(Terrain().Sheet().Sets[0], 17), (TWangId{0, 2, 0, 0, 0, 0, 0, 0}));
    // The mark shows over the part, in the colour's hue.
    const QImage shown = view->grab().toImage();
    EXPECT_NE(shown.pixel(topRight), shown.pixel(cell.topLeft() + QPoint(2, cell.height() - 3)));
    QTest::mouseClick(view, Qt::RightButton, {}, topRight);
    EXPECT_TRUE(Terrain().Sheet().Sets[0].Tiles.empty());
    Press(Qt::Key_Z, Qt::ControlModifier); // one history: the main window undoes it
    EXPECT_EQ(TerrainEdit::IdOf(Terrain().Sheet().Sets[0], 17), (TWangId{0, 2, 0, 0, 0, 0, 0, 0}));
    Press(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_TRUE(Terrain().Sheet().Sets[0].Tiles.empty());
    // A drag marks every place it crosses, also between two quick pointer moves, as one edit
    // when the button is released.
    const QRect a = parts->PartsGrid->CellRect(3, 1), b = parts->PartsGrid->CellRect(4, 1);
    QTest::mousePress(view, Qt::LeftButton, {}, a.topLeft() + QPoint(4, 4));
    QTest::mouseMove(view, b.topRight() + QPoint(-4, 4));
    QTest::mouseMove(view, b.bottomRight() + QPoint(-4, -4));
    EXPECT_TRUE(Terrain().Sheet().Sets[0].Tiles.empty());
    QTest::mouseRelease(view, Qt::LeftButton, {}, b.bottomRight() + QPoint(-4, -4));
    EXPECT_EQ(TerrainEdit::IdOf(Terrain().Sheet().Sets[0], 19), (TWangId{0, 2, 0, 0, 0, 0, 0, 2}));
    EXPECT_EQ(TerrainEdit::IdOf(Terrain().Sheet().Sets[0], 20), (TWangId{0, 2, 0, 2, 0, 0, 0, 2}));
    EXPECT_EQ(parts->PartsGrid->Selection().Width(), 1); // no parts were selected by it
    Press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(Terrain().Sheet().Sets[0].Tiles.empty());
    // The clicks picked nothing for the map, and the terrain tool stays.
    EXPECT_EQ(Doc().GroupCell(0, 0), 0);
    EXPECT_TRUE(Main()->Terrain1->isChecked());

    // A layout makes the set one to paint with: the tool box and the status bar follow.
    parts->SelectPart(2 * 16 + 2);
    ASSERT_TRUE(editor->StampLayout(TerrainEdit::TLayout::Corner16));
    ASSERT_NE(Terrain().Matcher(), nullptr);
    EXPECT_TRUE(QFile::exists(TerrainFileName(picture)));
    EXPECT_EQ(Forms().ToolForm->TerrainSetCombo->count(), 1);
    EXPECT_TRUE(Main()->StatusPanel0->text().isEmpty());
    parts->SelectPart(14 * 16);
    EXPECT_FALSE(editor->StampLayout(TerrainEdit::TLayout::Corner16)); // does not fit
    EXPECT_FALSE(parts->statusBar()->currentMessage().isEmpty());      // and the status bar says so

    // Saved under another name, the parts take their sets along.
    const QString copy = Dir.filePath(QStringLiteral("copy.png"));
    PartsStore().WritePartsPicture(copy);
    EXPECT_EQ(Terrain().FileName(), TerrainFileName(copy));
    EXPECT_TRUE(QFile::exists(TerrainFileName(copy)));
    EXPECT_NE(Terrain().Matcher(), nullptr);

    Terrain().Choose(0, 2);
    RestartProgram();
    ASSERT_NE(Terrain().ChosenSet(), nullptr);
    EXPECT_EQ(Terrain().ChosenSet()->Name, Terrain().Sheet().Sets[0].Name);
    EXPECT_EQ(Terrain().Color(), 2);
    EXPECT_EQ(Forms().PartsForm->TerrainEditor->CurrentColor(), 2); // the editor follows
}

TEST_F(TerrainToolTest, TheEditorSaysWhyItCannotUseAnotherTileset)
{
    const QString picture = Dir.filePath(QStringLiteral("plain.png"));
    QImage plain(16 * 32, 16 * 32, QImage::Format_RGB32);
    plain.fill(Qt::white);
    ASSERT_TRUE(plain.save(picture));
    const QByteArray foreign = "<tileset name=\"x\" tilewidth=\"16\" tileheight=\"16\">"
                               "<image source=\"plain.png\" width=\"512\" height=\"512\"/>"
                               "</tileset>";
    QFile tsx(TerrainFileName(picture));
    ASSERT_TRUE(tsx.open(QIODevice::WriteOnly));
    tsx.write(foreign);
    tsx.close();
    TPartsForm* parts = Forms().PartsForm;
    ASSERT_TRUE(parts->LoadPartsPicture(picture));

    TTerrainEditor* editor = parts->TerrainEditor;
    parts->show();
    editor->toggleViewAction()->trigger();
    EXPECT_TRUE(editor->Problem->isVisible());
    EXPECT_TRUE(editor->Problem->text().contains(QStringLiteral("plain.tsx")));
    EXPECT_FALSE(editor->SetCombo->isEnabled());
    editor->AddSet();
    QTest::mouseClick(parts->PartsGrid->viewport(), Qt::LeftButton, {},
                      parts->PartsGrid->CellRect(1, 1).center());
    EXPECT_TRUE(Terrain().Sheet().Sets.empty());
    ASSERT_TRUE(tsx.open(QIODevice::ReadOnly));
    EXPECT_EQ(tsx.readAll(), foreign);
}

} // namespace

// A map imported from TMX brings its terrain sets: they paint at once, and the parts take
// them along when first saved.
TEST_F(TerrainToolTest, AnImportedMapsSetsPaintAndAreSavedWithTheParts)
{
    UseGeneratedParts();
    TMapSession& session = Program->Models().Session;
    TTmxWriteOptions options;
    options.PartsPicture = PartsStore().FileName();
    // The export reads the parts' terrain file: it never writes over it.
    const QString tsx = TerrainFileName(options.PartsPicture);
    QFile tsxFile(tsx);
    ASSERT_TRUE(tsxFile.open(QIODevice::ReadOnly));
    const QByteArray tsxBytes = tsxFile.readAll();
    tsxFile.close();
    EXPECT_FALSE(session.ExportTmx(tsx, options, QStringList()));
    ASSERT_TRUE(tsxFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(tsxFile.readAll(), tsxBytes);
    tsxFile.close();

    const QString tmx = Dir.filePath(QStringLiteral("world.tmx"));
    ASSERT_TRUE(session.ExportTmx(tmx, options, QStringList()));
    ASSERT_TRUE(session.ImportTmx(tmx, 0));

    EXPECT_TRUE(Terrain().FileName().isEmpty());
    ASSERT_EQ(Terrain().Sets().size(), 1u) << Terrain().Problem().toStdString();
    ASSERT_NE(Terrain().Matcher(), nullptr);
    EXPECT_EQ(Terrain().Sets()[0].Tiles.size(), Set.Tiles.size());

    const QString saved = Dir.filePath(QStringLiteral("imported.png"));
    PartsStore().WritePartsPicture(saved);
    EXPECT_EQ(Terrain().FileName(), TerrainFileName(saved));
    const TTerrainRead read = ReadTerrainFile(
        TerrainFileName(saved), {saved, QSize(PartSide, PartSide), QSize(PartSide, PartSide) * 16});
    ASSERT_EQ(read.State, TTerrainRead::Status::Read) << read.Error.toStdString();
    ASSERT_EQ(read.Sheet.Sets.size(), 1u);
    EXPECT_EQ(read.Sheet.Sets[0].Tiles.size(), Set.Tiles.size());
}
