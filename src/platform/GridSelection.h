#pragma once

#include "GridGeometry.h"

#include <optional>
#include <vector>

// The current cell and the anchor of a grid; the selection spans between them. It only
// holds and moves them: the grid repaints what changed and tells whom it concerns.
class TGridSelection
{
public:
    int Col() const { return FCol; }
    int Row() const { return FRow; }
    int AnchorCol() const { return FAnchorCol; }
    int AnchorRow() const { return FAnchorRow; }
    // The selection, ordered.
    TGridRect Rect() const;

    // Moves the current cell, and the anchor with it when withAnchor.
    void MoveCurrent(int col, int row, bool withAnchor);
    void MoveAnchor(int col, int row);
    // The anchor to (Left, Top), the current cell to (Right, Bottom).
    void Set(const TGridRect& rect);
    // Keeps both cells within a smaller number of columns or rows.
    void LimitCols(int count);
    void LimitRows(int count);

    // The blocks of cells selected in only one of this and `before`, at most eight.
    std::vector<TGridRect> ChangedSince(const TGridSelection& before) const;

private:
    int FCol = 0;
    int FRow = 0;
    int FAnchorCol = 0;
    int FAnchorRow = 0;
};

// Where a navigation key takes a cell (the current cell, or the anchor while the selection
// is extended) and the view's first cell; nothing for any other key. The cell stays inside
// the grid, the view is kept there by the grid.
struct TGridKeyMove
{
    QPoint Cell;
    QPoint TopLeft;
};
std::optional<TGridKeyMove> GridKeyMove(const TGridGeometry& geo, const QSize& view, int key,
                                        bool ctrl, const QPoint& cell);
