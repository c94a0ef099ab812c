#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QSize>
#include <benchmark/benchmark.h>

// The baseline of the repaint benchmarks: one plain drawImage of a whole frame, the least a
// repaint of that size can cost.
inline void RunFullFrameDrawImage(benchmark::State& state, QSize frame)
{
    QImage source(frame, QImage::Format_RGB32);
    source.fill(QColor(30, 120, 200));
    QImage target(frame, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&target);
        p.drawImage(0, 0, source);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
