#pragma once

#include "CellRect.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <algorithm>
#include <cstdint>

// The grid speaks of its cells in the one rectangle type of the program.
using TGridRect = TCellRect;

// One direction of a grid of equal cells: how many there are, how large each is, the room
// the line after each takes (0 where none is drawn) and the first one on screen. A cell is
// at most 99999 px and a grid 9999 cells wide, so offsets from the first cell are computed
// in 64 bits and only turned back into int once known to be on screen.
struct TGridAxis
{
    int Count = 5;
    int Size = 64;
    int Line = 1;
    int First = 0;

    std::int64_t Pitch() const { return std::int64_t(Size) + Line; }
    // The leading edge of a cell, counted from that of the first cell on screen.
    std::int64_t Offset(int index) const { return (index - First) * Pitch(); }
    // Cells that fit whole into extent px, at least 1.
    int Fit(int extent) const;
    // The last cell can always come first when nothing more fits, so that a cell larger than
    // the view can still be scrolled to.
    int MaxFirst(int extent) const { return std::max(0, Count - Fit(extent)); }
    // Cells from First on that show whole, at least 1.
    int Visible(int extent) const { return std::max(1, std::min(Fit(extent), Count - First)); }
    // The first cell on screen that shows `index` whole (or alone, when larger than the
    // view) with the least scrolling.
    int Reveal(int index, int extent) const;
    // The cell under a pixel, a line belonging to the cell before it; -1 for a pixel before
    // the first cell on screen or past the last cell.
    int At(int pixel) const;
    // The cell under the pixel of 0..extent-1 nearest to `pixel`, at most the last cell.
    int Nearest(int pixel, int extent) const;
    // The last cell reaching into 0..extent-1, a partly shown one included.
    int LastTouching(int extent) const;
    // Where the last cell's line ends, at most INT32_MAX.
    int End() const;
};

// Where the cells of a grid lie on its view: columns along X, rows along Y. Knows no widget;
// the view's size is given to the operations that depend on it.
struct TGridGeometry
{
    TGridAxis X;
    TGridAxis Y;

    // The cell under a view point; -1 for a coordinate beyond the cells.
    QPoint CellAt(const QPoint& pos) const { return {X.At(pos.x()), Y.At(pos.y())}; }
    // The cell nearest to a point, which may lie outside the (non-empty) view.
    QPoint NearestCell(const QPoint& pos, const QSize& view) const
    {
        return {X.Nearest(pos.x(), view.width()), Y.Nearest(pos.y(), view.height())};
    }
    // A cell's rectangle without its lines; the cell must be on screen.
    QRect Place(int col, int row) const
    {
        return {int(X.Offset(col)), int(Y.Offset(row)), X.Size, Y.Size};
    }
    // A cell's rectangle, whole even where it reaches past the view's edge; empty when no
    // part of it is on screen.
    QRect CellRect(int col, int row, const QSize& view) const;
    // The part of the view the cells of rect (corners in any order) cover, lines between
    // them included; empty when none of them is on screen.
    QRect Area(const TGridRect& rect, const QSize& view) const;
    // The cells touching an area of the view that lies within the grid's cells and lines.
    TGridRect CellsIn(const QRect& area) const;
};
