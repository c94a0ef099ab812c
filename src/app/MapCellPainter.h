#pragma once

#include "CopyMode.h"
#include "DragPreview.h"
#include "DrawGrid.h"
#include "MapCellCache.h"

#include <QBrush>
#include <QImage>
#include <QSize>
#include <functional>

class QPainter;
class TMapDocument;
class TPartsStore;

// What a repaint of the map is drawn from, taken once for all its cells.
struct TMapPaintState
{
    const TMapDocument* Doc = nullptr;
    TPartsStore* Parts = nullptr;
    bool Zoom = false; // the zoom view: parts drawn at ZoomSize from the cell's corner
    int ZoomSize = 0;
    QSize CellSize;
    QBrush CellBrush[2]; // the background of cells outside / inside the selection
    TGridRect Selection;
    // What the selection shows while a mouse button drags on the map, as the map tool in
    // use says; None when nothing drags.
    TDragPreview Preview = TDragPreview::None;
    // The parts the cells show with a Terrain preview.
    std::function<uint8_t(int, int)> PreviewPart;
    // A part whose picture is being edited: its cells show EditedPicture (same size as the
    // parts) instead of the stored picture. -1 for none.
    int EditedPart = -1;
    const QImage* EditedPicture = nullptr;
};

// Draws the map's cells: each cell's part in the copy mode the drag's preview calls for, and the
// group part's lattice. When the grid paints into a picture of its own, cells of a cacheable size
// are copied into it pixel by pixel from the parts scaled once to the cell size; bigger ones
// go through the painter.
class TMapCellPainter
{
public:
    void Begin(QPainter& canvas, const TMapPaintState& state);

    // While a button drags, the dragged rectangle shows what the release will do.
    TCopyMode CopyMode(int col, int row) const;
    void DrawCell(QPainter& canvas, int col, int row, const QRect& rect);
    // A block of cells: columns and rows `cells`, the first at `first`, each next one
    // pitchX to the right or pitchY down.
    void DrawCells(QPainter& canvas, const TGridRect& cells, const QRect& first, int pitchX,
                   int pitchY);

private:
    void drawLattice(QPainter& canvas, int col, int row, const QRect& rect);
    const QImage& partPicture(int n) const;
    // The part a cell shows: the map's, or the terrain preview's.
    uint8_t partAt(int col, int row) const;

    TMapPaintState F;
    QImage* FPicture = nullptr; // the grid's own picture, when it can be written directly
    bool FCached = false;       // cells come from the scaled-part cache
    int FPartWidth = 0;
    int FPartHeight = 0;
    TMapCellCache FCache;
};
