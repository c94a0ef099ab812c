// The magnifier repainting a 256 x 256 picture at power 8 (a 2048 x 2048 area) in a
// 1920 x 1080 viewport, beside one full-frame drawImage of that size in the same run; and the
// repaint after one changed source pixel.

#include "FrameBaseline.h"
#include "LupeUnit.h"
#include "RatioReporter.h"

#include <QApplication>
#include <QPainter>
#include <QScrollBar>
#include <memory>
#include <string>

namespace {

const QSize Frame(1920, 1080);

TLupe* gLupe = nullptr;

void Baseline_FullFrameDrawImage(benchmark::State& state)
{
    RunFullFrameDrawImage(state, Frame);
}

void setUp(benchmark::State& state)
{
    gLupe->SetDrawGrid(state.range(0) != 0);
    // Somewhere in the middle of the picture, so that both bars have room on either side.
    gLupe->SetClipLeft(10);
    gLupe->SetClipTop(50);
    QApplication::processEvents();
}

// The whole viewport painted into a picture of its size (grid: 0 off, 1 on).
void Lupe_RenderFrame(benchmark::State& state)
{
    setUp(state);
    QWidget* viewport = gLupe->viewport();
    QImage target(viewport->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        viewport->render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["viewport_w"] = viewport->width();
    state.counters["viewport_h"] = viewport->height();
    state.counters["cols"] = gLupe->VisibleCols();
    state.counters["rows"] = gLupe->VisibleRows();
}

// The whole viewport repainted on screen, as after a new picture.
void Lupe_RepaintOnScreen(benchmark::State& state)
{
    setUp(state);
    QWidget* viewport = gLupe->viewport();
    for (auto _ : state)
        viewport->repaint();
}

// One source pixel changed and named: the next paint cycle repaints its block only.
void Lupe_ChangedPixel(benchmark::State& state)
{
    setUp(state);
    int n = 0;
    for (auto _ : state) {
        const int x = 10 + n % 200;
        const int y = 50 + (n / 200) % 100;
        ++n;
        gLupe->Bitmap().setPixel(x, y, qRgb(n & 255, 0, 0));
        gLupe->InvalidateSourceRect(QRect(x, y, 1, 1));
        QApplication::processEvents();
    }
}

BENCHMARK(Baseline_FullFrameDrawImage)->Unit(benchmark::kMillisecond);
BENCHMARK(Lupe_RenderFrame)->ArgName("grid")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Lupe_RepaintOnScreen)->ArgName("grid")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Lupe_ChangedPixel)->ArgName("grid")->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto lupe = std::make_unique<TLupe>();
    gLupe = lupe.get();
    QImage picture(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            picture.setPixel(x, y, qRgb(x, y, (x ^ y) & 255));
    lupe->SetBitmap(picture);
    // The viewport is the frame; the bars lie beside it.
    lupe->resize(Frame + QSize(lupe->verticalScrollBar()->sizeHint().width(),
                               lupe->horizontalScrollBar()->sizeHint().height()));
    lupe->show();
    QApplication::processEvents();

    const std::string base = "Baseline_FullFrameDrawImage";
    const int rc = RunWithRatios(argc, argv,
                                 {{"Lupe_RenderFrame/grid:0", base, 4.0},
                                  {"Lupe_RenderFrame/grid:1", base, 4.0},
                                  {"Lupe_RepaintOnScreen/grid:0", base, 4.0},
                                  {"Lupe_RepaintOnScreen/grid:1", base, 4.0},
                                  {"Lupe_ChangedPixel/grid:1", base, 0.1}});
    gLupe = nullptr;
    return rc;
}
