// A full repaint of the map view in a 1920 x 1080 area at the three zoom levels, with a
// 1 x 1 and a 3 x 2 group part, beside one full-frame drawImage in the same run.

#include "DrawGrid.h"
#include "FrameBaseline.h"
#include "Parts.h"
#include "PartsStore.h"
#include "Program.h"
#include "RatioReporter.h"
#include "Settings.h"
#include "main.h"
#include "title.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace {

const QSize Frame(1920, 1080);

TQuiltmapperProgram* gProgram = nullptr;

void Baseline_FullFrameDrawImage(benchmark::State& state)
{
    RunFullFrameDrawImage(state, Frame);
}

// zoom: 0 wide (8 px), 1 nomal (32 px), 2 zoom (256 px); group: 1 for 1 x 1, 3 for 3 x 2.
void MapView_FullRepaint(benchmark::State& state)
{
    TMainForm* main = gProgram->Forms().MainForm;
    // The window follows the settings model: the zoom level and its cell size.
    TSettings& settings = gProgram->Models().Settings;
    settings.SetWideSize(state.range(2) > 0 ? int(state.range(2)) : 8);
    const TZoomLevel levels[] = {zlWide, zlNormal, zlZoom};
    settings.SetZoomLevel(levels[state.range(0)]);
    if (state.range(1) == 3)
        main->Document().SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(gx + 3 * gy); });
    else
        main->Document().SetGroupSingle(0);
    main->MapGrid->SetLeftCol(4000);
    main->MapGrid->SetTopRow(4000);

    QWidget* viewport = main->MapGrid->viewport();
    QImage target(viewport->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        viewport->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["cell_px"] = main->MapGrid->DefaultColWidth();
    state.counters["viewport_w"] = viewport->width();
    state.counters["viewport_h"] = viewport->height();
}

BENCHMARK(Baseline_FullFrameDrawImage)->Unit(benchmark::kMillisecond);
BENCHMARK(MapView_FullRepaint)
    ->ArgNames({"zoom", "group", "wide"})
    ->Args({0, 1, 0})
    ->Args({0, 3, 0})
    ->Args({1, 1, 0})
    ->Args({1, 3, 0})
    ->Args({2, 1, 0})
    ->Args({2, 3, 0})
    // The smallest cells the settings allow: two million cells on screen.
    ->Args({0, 1, 1})
    ->Args({0, 3, 2})
    ->Unit(benchmark::kMillisecond);

// A part edit stored (one part's picture changed, as the magnifier stores it) on the
// 9999 x 9999 map at 32-pixel cells, and the repaint that follows: only the cells on screen
// that show the part are drawn again, not the map.
void MapView_StorePartEdit(benchmark::State& state)
{
    TMainForm* main = gProgram->Forms().MainForm;
    gProgram->Models().Settings.SetZoomLevel(zlNormal);
    main->MapGrid->SetLeftCol(4000);
    main->MapGrid->SetTopRow(4000);
    QApplication::processEvents();
    TPartsStore& parts = gProgram->Models().Parts;
    QImage edited[2] = {QImage(32, 32, QImage::Format_RGB32), QImage(32, 32, QImage::Format_RGB32)};
    edited[0].fill(Qt::red);
    edited[1].fill(Qt::blue);
    int i = 0;
    for (auto _ : state) {
        const QImage& picture = edited[++i % 2];
        parts.EditParts({77}, [&] {
            parts.CapturePart(77, picture, 0, 0);
            return true;
        });
        QApplication::processEvents();
    }
}
BENCHMARK(MapView_StorePartEdit)->Unit(benchmark::kMillisecond);

// The main window sized so that the map grid's viewport is exactly the frame.
void fitViewport(TMainForm* main)
{
    for (int i = 0; i < 5; ++i) {
        const QSize delta = Frame - main->MapGrid->viewport()->size();
        if (delta.isNull())
            return;
        main->resize(main->size() + delta);
        QApplication::processEvents();
    }
}

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

    // A real-looking map: every part a different colour, cells of all 256 parts.
    TMainForm* main = forms.MainForm;
    main->NewMap(9999, 9999);
    for (int n = 0; n < 256; ++n) {
        QImage solid(32, 32, QImage::Format_RGB32);
        solid.fill(QColor::fromHsv(n * 360 / 256, 200, 220));
        forms.PartsForm->CapturePart(n, solid, 0, 0);
    }
    main->Document().SetGroupPart(16, 16, [](int gx, int gy) { return uint8_t(gy * 16 + gx); });
    main->Document().ScatterGroup({0, 0, 9998, 9998}, 7);
    fitViewport(main);

    std::vector<RatioReporter::Pair> pairs;
    for (const char* n :
         {"zoom:0/group:1/wide:0", "zoom:0/group:3/wide:0", "zoom:1/group:1/wide:0",
          "zoom:1/group:3/wide:0", "zoom:2/group:1/wide:0", "zoom:2/group:3/wide:0"})
        pairs.push_back(
            {std::string("MapView_FullRepaint/") + n, "Baseline_FullFrameDrawImage", 8.0});
    pairs.push_back({"MapView_StorePartEdit", "Baseline_FullFrameDrawImage", 1.0});
    const int rc = RunWithRatios(argc, argv, pairs);
    gProgram = nullptr;
    program.reset();
    return rc;
}
