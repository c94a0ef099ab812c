// A terrain brush click in the main window on the 9999 x 9999 map, with the repaint that
// follows, beside one full-frame drawImage in the same run; and the parts grid repainted with
// the terrain editor's marks on the set's parts, beside the same repaint without them.

#include "DrawGrid.h"
#include "FrameBaseline.h"
#include "Parts.h"
#include "PartsStore.h"
#include "Program.h"
#include "RatioReporter.h"
#include "TerrainEditor.h"
#include "TerrainFile.h"
#include "TerrainGen.h"
#include "TerrainStore.h"
#include "main.h"
#include "title.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

const QSize Frame(1920, 1080);
TQuiltmapperProgram* gProgram = nullptr;

void Baseline_FullFrameDrawImage(benchmark::State& state)
{
    RunFullFrameDrawImage(state, Frame);
}

// A click at a cell corner on the screen, alternating terrains, and the repaint.
void TerrainTool_ClickWithRepaint(benchmark::State& state)
{
    TMainForm* main = gProgram->Forms().MainForm;
    TDrawGrid* grid = main->MapGrid;
    QWidget* view = grid->viewport();
    TTerrainStore& terrain = gProgram->Models().Terrain;
    int n = 0;
    for (auto _ : state) {
        ++n;
        terrain.Choose(0, 1 + n % 3);
        const QPoint corner =
            grid->CellRect(grid->LeftCol() + 2 + n * 7 % 40, grid->TopRow() + 2 + n * 13 % 20)
                .topLeft();
        QTest::mousePress(view, Qt::LeftButton, {}, corner);
        QTest::mouseRelease(view, Qt::LeftButton, {}, corner);
        QApplication::processEvents();
    }
    state.counters["history_bytes"] = double(main->Document().History().Bytes());
}

void repaintPartsGrid(benchmark::State& state, bool marks)
{
    TPartsForm* parts = gProgram->Forms().PartsForm;
    parts->TerrainEditor->setVisible(marks);
    QApplication::processEvents();
    for (auto _ : state)
        parts->PartsGrid->viewport()->repaint();
}

void PartsGrid_Repaint(benchmark::State& state)
{
    repaintPartsGrid(state, false);
}

void PartsGrid_RepaintWithTerrainMarks(benchmark::State& state)
{
    repaintPartsGrid(state, true);
}

BENCHMARK(Baseline_FullFrameDrawImage)->Unit(benchmark::kMillisecond);
BENCHMARK(TerrainTool_ClickWithRepaint)->Unit(benchmark::kMillisecond);
BENCHMARK(PartsGrid_Repaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(PartsGrid_RepaintWithTerrainMarks)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    auto program =
        std::make_unique<TQuiltmapperProgram>(TProgramOptions{dir.filePath("bench.ini")});
    gProgram = program.get();
    TForms& forms = program->Forms();
    forms.TitleForm->hide();
    program->ShowWindows();

    // Parts of a generated corner set of three terrains, their terrain file beside them.
    using namespace TerrainGen;
    const TWangSet set = CompleteSet(TWangType::Corner, 3);
    const QString picture = dir.filePath("parts.png");
    Sheet(set).save(picture);
    TTerrainSheet sheet;
    sheet.Sets = {set};
    const QSize part(PartSide, PartSide);
    WriteTerrainFile(TerrainFileName(picture), sheet, {picture, part, part * 16});
    TPartsStore& parts = program->Models().Parts;
    parts.SetPartsSize(PartSide, PartSide);
    parts.LoadPartsPicture(picture);

    TMainForm* main = forms.MainForm;
    main->NewMap(9999, 9999);
    gProgram->Models().Settings.SetZoomLevel(zlNormal);
    main->Terrain1->trigger();
    main->resize(Frame);
    main->MapGrid->SetLeftCol(5000);
    main->MapGrid->SetTopRow(5000);
    QApplication::processEvents();

    const int rc =
        RunWithRatios(argc, argv,
                      {{"TerrainTool_ClickWithRepaint", "Baseline_FullFrameDrawImage", 1.0},
                       {"PartsGrid_RepaintWithTerrainMarks", "PartsGrid_Repaint", 3.0}},
                      {{"TerrainTool_ClickWithRepaint", 1.0}});
    gProgram = nullptr;
    program.reset();
    return rc;
}
