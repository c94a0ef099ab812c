// The pixel tools on a bare picture, without any window: a freehand stroke beside the same
// segments drawn with a painter, and the closed-area fill of the largest part beside a copy
// of its pixels, measured in the same run.

#include "PixelTools.h"
#include "RatioReporter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int StrokeSide = 256;
constexpr int StrokeMoves = 10000;
// The largest part the parts sheet can hold.
constexpr int FillSide = 1448;

// A stroke that wanders over the whole part in steps of a few pixels, as a hand moving the
// mouse over a magnified part reports them.
const std::vector<QPoint>& strokePoints()
{
    static const std::vector<QPoint> points = [] {
        std::vector<QPoint> p;
        p.reserve(StrokeMoves + 1);
        for (int i = 0; i <= StrokeMoves; ++i) {
            const double t = i * 0.0021;
            p.emplace_back(int(127.5 + 127 * std::sin(3 * t)), int(127.5 + 127 * std::sin(4 * t)));
        }
        return p;
    }();
    return points;
}

int penWidth(const benchmark::State& state)
{
    return state.range(0) ? TStrokeStyle::ThickPenWidth : TStrokeStyle::ThinPenWidth;
}

void Baseline_PainterStroke(benchmark::State& state)
{
    QImage image(StrokeSide, StrokeSide, QImage::Format_RGB32);
    image.fill(Qt::white);
    const std::vector<QPoint>& points = strokePoints();
    QPen pen(Qt::black, penWidth(state), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    for (auto _ : state) {
        QPainter painter(&image);
        painter.setPen(pen);
        for (int i = 1; i <= StrokeMoves; ++i)
            painter.drawLine(points[i - 1], points[i]);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

void Tools_FreehandStroke(benchmark::State& state)
{
    QImage image(StrokeSide, StrokeSide, QImage::Format_RGB32);
    image.fill(Qt::white);
    TStrokeStyle style;
    style.Tool = ptFreeLine;
    style.PenWidth = penWidth(state);
    TPixelTools tools(style);
    tools.SetBuffer(&image);
    const std::vector<QPoint>& points = strokePoints();
    for (auto _ : state) {
        QRect changed = tools.Press(points[0], Qt::LeftButton).Changed;
        for (int i = 1; i <= StrokeMoves; ++i)
            changed |= tools.Move(points[i]).Changed;
        changed |= tools.Release(points[StrokeMoves]).Changed;
        benchmark::DoNotOptimize(changed);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void Baseline_MemcpyPart(benchmark::State& state)
{
    const size_t bytes = size_t(FillSide) * FillSide * 4;
    std::vector<char> from(bytes, 1), to(bytes, 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::ClobberMemory();
    }
}

// Fills the whole part, or with range(0) the one winding corridor between walls every four
// columns (open at the top and at the bottom by turns), which splits every row into many
// short runs.
void Tools_FillPart(benchmark::State& state)
{
    QImage image(FillSide, FillSide, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (state.range(0)) {
        for (int x = 3; x < FillSide; x += 4) {
            const int gap = (x / 4) % 2 ? 0 : FillSide - 1;
            for (int y = 0; y < FillSide; ++y)
                if (y != gap)
                    image.setPixel(x, y, qRgb(0, 0, 0));
        }
    }
    TStrokeStyle style;
    style.Tool = ptPaint;
    TPixelTools tools(style);
    tools.SetBuffer(&image);
    bool red = false;
    for (auto _ : state) {
        red = !red;
        style.Color = red ? QColor(Qt::red) : QColor(Qt::white);
        tools.Press({0, 0}, Qt::LeftButton);
        benchmark::DoNotOptimize(tools.Release({0, 0}).Changed);
    }
}

#define QM_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)

QM_BENCH(Baseline_PainterStroke)->Arg(0)->Arg(1);
QM_BENCH(Tools_FreehandStroke)->Arg(0)->Arg(1);
QM_BENCH(Baseline_MemcpyPart);
QM_BENCH(Tools_FillPart)->Arg(0)->Arg(1);

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    return RunWithRatios(argc, argv,
                         {
                             {"Tools_FreehandStroke/0", "Baseline_PainterStroke/0", 2.0},
                             {"Tools_FreehandStroke/1", "Baseline_PainterStroke/1", 2.0},
                             {"Tools_FillPart/0", "Baseline_MemcpyPart", 20.0},
                             // The worst case: every row split into runs of three pixels.
                             {"Tools_FillPart/1", "Baseline_MemcpyPart", 40.0},
                         });
}
