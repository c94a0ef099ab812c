#include "PixelShapes.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

constexpr quint32 ColorMask = 0x00FFFFFF;

quint32* row(QImage& image, int y)
{
    return reinterpret_cast<quint32*>(image.bits() + qsizetype(y) * image.bytesPerLine());
}

} // namespace

void TPixelShapes::Line(QPoint a, QPoint b, bool thick, std::vector<TPixelSpan>& spans)
{
    spans.clear();
    const int pen = thick && a != b ? 1 : 0; // pixels of pen on each side of the path
    const int top = std::min(a.y(), b.y()) - pen;
    const int rows = std::abs(b.y() - a.y()) + 1 + 2 * pen;
    std::vector<int>& rowMin = FRowMin;
    std::vector<int>& rowMax = FRowMax;
    rowMin.assign(rows, INT_MAX);
    rowMax.assign(rows, INT_MIN);

    // Bresenham's line, both ends included. The path is monotone and 8-connected, so each
    // row's pixels, also after widening by the pen, form one run.
    const int dx = std::abs(b.x() - a.x());
    const int dy = -std::abs(b.y() - a.y());
    const int sx = a.x() < b.x() ? 1 : -1;
    const int sy = a.y() < b.y() ? 1 : -1;
    int err = dx + dy;
    int x = a.x();
    int y = a.y();
    for (;;) {
        for (int r = y - pen - top; r <= y + pen - top; ++r) {
            rowMin[r] = std::min(rowMin[r], x - pen);
            rowMax[r] = std::max(rowMax[r], x + pen);
        }
        if (x == b.x() && y == b.y())
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
    spans.reserve(rows);
    for (int r = 0; r < rows; ++r)
        spans.push_back({top + r, rowMin[r], rowMax[r]});
}

QRect TPixelShapes::Paint(QImage& image, const std::vector<TPixelSpan>& spans, quint32 value,
                          bool xorMode)
{
    const int width = image.width();
    const int height = image.height();
    int left = width, right = -1, top = height, bottom = -1;
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (const TPixelSpan& span : spans) {
        if (span.Y < 0 || span.Y >= height)
            continue;
        const int x0 = std::max(span.X0, 0);
        const int x1 = std::min(span.X1, width - 1);
        if (x0 > x1)
            continue;
        quint32* line = reinterpret_cast<quint32*>(bits + qsizetype(span.Y) * stride);
        if (xorMode) {
            for (int x = x0; x <= x1; ++x)
                line[x] ^= value;
        } else {
            std::fill(line + x0, line + x1 + 1, value);
        }
        left = std::min(left, x0);
        right = std::max(right, x1);
        top = std::min(top, span.Y);
        bottom = std::max(bottom, span.Y);
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

QRect TPixelShapes::Fill(QImage& image, QPoint seed, quint32 value)
{
    if (!image.rect().contains(seed))
        return {};
    const int width = image.width();
    const int height = image.height();
    const quint32 target = row(image, seed.y())[seed.x()] & ColorMask;
    if (target == (value & ColorMask))
        return {};

    // Heckbert's span fill: every filled run hands its row's neighbour on the far side the
    // columns it spans, and only where a run grows beyond its parent's columns is the row it
    // came from looked at again, so each pixel is read a small fixed number of times.
    int left = seed.x(), right = seed.x(), top = seed.y(), bottom = seed.y();
    auto matches = [&](const quint32* line, int x) { return (line[x] & ColorMask) == target; };
    auto push = [&](int y, int x0, int x1, int dy) {
        if (y + dy >= 0 && y + dy < height)
            FFillStack.push_back({y + dy, x0, x1, dy});
    };
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    FFillStack.clear();
    push(seed.y(), seed.x(), seed.x(), 1);
    push(seed.y() + 1, seed.x(), seed.x(), -1);
    while (!FFillStack.empty()) {
        const TFillSeed s = FFillStack.back();
        FFillStack.pop_back();
        quint32* line = reinterpret_cast<quint32*>(bits + s.Y * stride);
        const int x1 = s.X0;
        const int x2 = s.X1;
        int x = x1;
        // Grow leftwards from the parent's first column.
        while (x >= 0 && matches(line, x))
            line[x--] = value;
        // Whether the parent's first column did not match, so there is no run to finish.
        bool skip = x >= x1;
        int runStart = x + 1;
        if (!skip) {
            if (runStart < x1)
                push(s.Y, runStart, x1 - 1, -s.Dy); // overhang on the left
            x = x1 + 1;
        }
        for (;;) {
            if (!skip) {
                while (x < width && matches(line, x))
                    line[x++] = value;
                const int runEnd = x - 1;
                left = std::min(left, runStart);
                right = std::max(right, runEnd);
                top = std::min(top, s.Y);
                bottom = std::max(bottom, s.Y);
                push(s.Y, runStart, runEnd, s.Dy);
                if (runEnd > x2)
                    push(s.Y, x2 + 1, runEnd, -s.Dy); // overhang on the right
            }
            skip = false;
            // On to the next matching column under the parent.
            for (++x; x <= x2 && !matches(line, x); ++x) {
            }
            runStart = x;
            if (x > x2)
                break;
        }
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}
