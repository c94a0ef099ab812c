#include "GridGeometry.h"

#include <utility>

namespace {

using Pos = std::int64_t;

// The pixels first..last (exclusive) of the view the cells lo..hi of an axis cover, lines
// between them included; first >= last when none of them is on screen.
std::pair<Pos, Pos> span(const TGridAxis& axis, int lo, int hi, int extent)
{
    if (hi < lo)
        std::swap(lo, hi);
    lo = std::max(lo, axis.First);
    hi = std::min(hi, axis.LastTouching(extent));
    if (lo > hi)
        return {0, 0};
    return {axis.Offset(lo), std::min<Pos>(axis.Offset(hi) + axis.Size, extent)};
}

} // namespace

int TGridAxis::Fit(int extent) const
{
    if (extent < Size)
        return 1;
    return int((extent - Size) / Pitch() + 1);
}

int TGridAxis::Reveal(int index, int extent) const
{
    if (index < First)
        return index;
    const int fit = Fit(extent);
    return index > First + fit - 1 ? index - fit + 1 : First;
}

int TGridAxis::At(int pixel) const
{
    if (pixel < 0)
        return -1;
    const Pos index = First + pixel / Pitch();
    return index < Count ? int(index) : -1;
}

int TGridAxis::Nearest(int pixel, int extent) const
{
    return int(std::min<Pos>(Count - 1, First + std::clamp(pixel, 0, extent - 1) / Pitch()));
}

int TGridAxis::LastTouching(int extent) const
{
    return int(std::min<Pos>(Count - 1, First + (extent - 1) / Pitch()));
}

int TGridAxis::End() const
{
    return int(std::min<Pos>(Pos(Count - First) * Pitch(), INT32_MAX));
}

QRect TGridGeometry::CellRect(int col, int row, const QSize& view) const
{
    if (col < X.First || row < Y.First || col >= X.Count || row >= Y.Count)
        return {};
    if (X.Offset(col) >= view.width() || Y.Offset(row) >= view.height())
        return {};
    return Place(col, row);
}

QRect TGridGeometry::Area(const TGridRect& rect, const QSize& view) const
{
    if (view.isEmpty())
        return {};
    const auto [x0, x1] = span(X, rect.Left, rect.Right, view.width());
    const auto [y0, y1] = span(Y, rect.Top, rect.Bottom, view.height());
    if (x0 >= x1 || y0 >= y1)
        return {};
    return QRect(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
}

TGridRect TGridGeometry::CellsIn(const QRect& area) const
{
    return {X.First + int(area.left() / X.Pitch()), Y.First + int(area.top() / Y.Pitch()),
            X.First + int((area.left() + area.width() - 1) / X.Pitch()),
            Y.First + int((area.top() + area.height() - 1) / Y.Pitch())};
}
