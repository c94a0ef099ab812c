#pragma once

#include <utility>

// A rectangle of cells: columns Left..Right and rows Top..Bottom, all inclusive. Shared by
// the map document (a model without widgets) and the grid control, so it knows no toolkit.
struct TCellRect
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const { return Right - Left + 1; }
    int Height() const { return Bottom - Top + 1; }
    bool Contains(int col, int row) const
    {
        return col >= Left && col <= Right && row >= Top && row <= Bottom;
    }
    // The same cells with the corners ordered: a rectangle dragged up or to the left comes
    // with Right < Left or Bottom < Top.
    TCellRect NormalizeRect() const
    {
        TCellRect r = *this;
        if (r.Right < r.Left)
            std::swap(r.Left, r.Right);
        if (r.Bottom < r.Top)
            std::swap(r.Top, r.Bottom);
        return r;
    }
    bool operator==(const TCellRect&) const = default;
};
