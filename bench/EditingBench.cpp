// Laying the group part over the whole 9999 x 9999 map through the main window's handlers
// (the fill command and a paint release over a whole-map selection, each with the repaint
// that follows) beside the same operation on a bare document, in the same run.

#include "Dialogs.h"
#include "DrawGrid.h"
#include "Program.h"
#include "RatioReporter.h"
#include "Settings.h"
#include "main.h"
#include "title.h"

#include <QApplication>
#include <QTemporaryDir>
#include <memory>

namespace {

constexpr int Side = TMapDocument::MaxMapSize;
TQuiltmapperProgram* gProgram = nullptr;

TMapDocument& bareDocument()
{
    static std::unique_ptr<TMapDocument> doc = [] {
        auto d = std::make_unique<TMapDocument>();
        d->NewMap(Side, Side);
        d->SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(1 + gx + 3 * gy); });
        return d;
    }();
    return *doc;
}

void Doc_Stamp(benchmark::State& state)
{
    TMapDocument& doc = bareDocument();
    for (auto _ : state)
        doc.StampGroup({0, 0, Side - 1, Side - 1});
}

void Doc_Scatter(benchmark::State& state)
{
    TMapDocument& doc = bareDocument();
    for (auto _ : state)
        doc.ScatterGroup({0, 0, Side - 1, Side - 1});
}

TMainForm* preparedWindow(bool random)
{
    TMainForm* main = gProgram->Forms().MainForm;
    main->Document().SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(1 + gx + 3 * gy); });
    gProgram->Models().Settings.SetRandomPlacement(random);
    return main;
}

// The fill command, answered Yes, and the repaint of the cells on screen.
void Window_FillAll(benchmark::State& state)
{
    TMainForm* main = preparedWindow(state.range(0) != 0);
    for (auto _ : state) {
        main->F1Click();
        main->MapGrid->viewport()->repaint();
    }
}

// A paint release over a selection of the whole map, and the repaint.
void Window_PaintRelease(benchmark::State& state)
{
    TMainForm* main = preparedWindow(state.range(0) != 0);
    main->SetPaintMode();
    const QPoint pos = main->MapGrid->CellRect(main->MapGrid->Col(), main->MapGrid->Row()).center();
    for (auto _ : state) {
        // A press, the grid's own stretch of the selection to the whole map, the release.
        main->MapGridMouseDown(Qt::LeftButton, Qt::NoModifier, pos);
        main->MapGrid->SetSelection({0, 0, Side - 1, Side - 1});
        main->MapGridMouseUp(Qt::LeftButton, Qt::NoModifier, pos);
        main->MapGrid->viewport()->repaint();
    }
}

#define QM_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->MinTime(1.0)
QM_BENCH(Doc_Stamp);
QM_BENCH(Doc_Scatter);
QM_BENCH(Window_FillAll)->ArgName("random")->Arg(0)->Arg(1);
QM_BENCH(Window_PaintRelease)->ArgName("random")->Arg(0)->Arg(1);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    TDialogScript script;
    script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::Yes; };
    SetDialogScript(&script);
    auto program =
        std::make_unique<TQuiltmapperProgram>(TProgramOptions{dir.filePath("bench.ini")});
    gProgram = program.get();
    program->Forms().TitleForm->hide();
    program->ShowWindows();
    program->Forms().MainForm->NewMap(Side, Side);

    const int rc = RunWithRatios(argc, argv,
                                 {
                                     {"Window_FillAll/random:0", "Doc_Stamp", 1.5},
                                     {"Window_PaintRelease/random:0", "Doc_Stamp", 1.5},
                                     {"Window_FillAll/random:1", "Doc_Scatter", 1.5},
                                     {"Window_PaintRelease/random:1", "Doc_Scatter", 1.5},
                                 });
    gProgram = nullptr;
    program.reset();
    SetDialogScript(nullptr);
    return rc;
}
