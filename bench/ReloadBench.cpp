// A parts sheet of 16 x 16 parts of 64 x 64 saved by another program: its reload (one undo
// step) with the repaint of a 1920 x 1080 map view it causes, beside loading the same
// picture into new parts as at start, in the same run.

#include "DrawGrid.h"
#include "MapSession.h"
#include "Parts.h"
#include "PartsStore.h"
#include "PictureFormats.h"
#include "Program.h"
#include "RatioReporter.h"
#include "Settings.h"
#include "UndoHistory.h"
#include "main.h"
#include "title.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <memory>

namespace {

constexpr int Side = 64;
const QSize Frame(1920, 1080);

TQuiltmapperProgram* gProgram = nullptr;
QString gSheet;

// As at start: new parts of the size, an empty history that takes the load's step.
void Baseline_LoadSheetAtStart(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto history = std::make_unique<TUndoHistory>();
        auto parts = std::make_unique<TPartsStore>(gProgram->PictureFormats());
        parts->SetPartsSize(Side, Side);
        parts->SetHistory(history.get());
        state.ResumeTiming();
        if (!parts->LoadPartsPicture(gSheet))
            state.SkipWithError("the sheet did not load");
        state.PauseTiming();
        parts.reset();
        history.reset();
        state.ResumeTiming();
    }
}

void Reload_SheetAndRepaint(benchmark::State& state)
{
    TMapSession& session = gProgram->Models().Session;
    QWidget* viewport = gProgram->Forms().MainForm->MapGrid->viewport();
    QImage target(viewport->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        if (session.ReloadPartsPicture() != TMapSession::TReload::Reloaded)
            state.SkipWithError("the sheet did not reload");
        viewport->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["viewport_w"] = viewport->width();
    state.counters["viewport_h"] = viewport->height();
}

BENCHMARK(Baseline_LoadSheetAtStart)->Unit(benchmark::kMillisecond);
BENCHMARK(Reload_SheetAndRepaint)->Unit(benchmark::kMillisecond);

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

    // Every part a different colour; the map shows all 256 parts on screen.
    QImage sheet(16 * Side, 16 * Side, QImage::Format_RGB32);
    QPainter painter(&sheet);
    for (int n = 0; n < 256; ++n)
        painter.fillRect(n % 16 * Side, n / 16 * Side, Side, Side,
                         QColor::fromHsv(n * 360 / 256, 200, 220));
    painter.end();
    gSheet = dir.filePath("sheet.bmp");
    sheet.save(gSheet, "BMP");
    forms.PartsForm->SetPartsSize(Side, Side);
    forms.PartsForm->LoadPartsPicture(gSheet);
    TMainForm* main = forms.MainForm;
    main->NewMap(500, 500);
    main->Document().SetGroupPart(16, 16, [](int gx, int gy) { return uint8_t(gy * 16 + gx); });
    main->Document().ScatterGroup({0, 0, 499, 499}, 7);
    program->Models().Settings.SetZoomLevel(zlNormal);
    fitViewport(main);

    const int rc =
        RunWithRatios(argc, argv, {{"Reload_SheetAndRepaint", "Baseline_LoadSheetAtStart", 2.0}});
    gProgram = nullptr;
    program.reset();
    return rc;
}
