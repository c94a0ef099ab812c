#pragma once

#include "GridGeometry.h"
#include "GridSelection.h"

#include <QAbstractScrollArea>
#include <QFlags>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <functional>
#include <stdexcept>

class QPainter;
class QTimer;

enum TGridOption
{
    goVertLine = 0x1,
    goHorzLine = 0x2,
    goRangeSelect = 0x4,   // the left button drags out a selection
    goThumbTracking = 0x8, // the view follows a scroll bar's thumb while it is dragged
};
Q_DECLARE_FLAGS(TGridOptions, TGridOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridOptions)

enum TGridDrawStateFlag
{
    gdSelected = 0x1, // inside the selection
    gdFocused = 0x2,  // the current cell
};
Q_DECLARE_FLAGS(TGridDrawState, TGridDrawStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridDrawState)

// Raised when the current cell is set outside the grid.
class EGridError : public std::runtime_error
{
public:
    EGridError();
};

// A grid of equal-sized owner-drawn cells without fixed rows or columns: the map view and
// the parts window show their cells through it. It paints only the cells on screen, keeps a
// current cell and a selection spanned between the current cell and an anchor, scrolls in
// whole cells, and reports mouse events after its own handling of them.
//
// Coordinates given to and by the grid (CellRect, MouseToCell, the mouse events) are those
// of its viewport. Where the cells lie is worked out by a TGridGeometry, the current cell
// and the anchor are kept by a TGridSelection; the grid turns their changes into scroll
// bar settings, repaints and calls to its owner.
class TDrawGrid : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit TDrawGrid(QWidget* parent = nullptr);

    int ColCount() const { return FGeo.X.Count; }
    int RowCount() const { return FGeo.Y.Count; }
    // Both at least 1; the current cell, the anchor and the view are moved inside.
    void SetColCount(int count);
    void SetRowCount(int count);

    int DefaultColWidth() const { return FGeo.X.Size; }
    int DefaultRowHeight() const { return FGeo.Y.Size; }
    void SetDefaultColWidth(int width);   // at least 1
    void SetDefaultRowHeight(int height); // at least 1

    int GridLineWidth() const { return FGridLineWidth; }
    // 0 or 1. A line follows every column (goVertLine) and every row (goHorzLine); where the
    // option is off, the lines take no room either.
    void SetGridLineWidth(int width);

    TGridOptions Options() const { return FOptions; }
    void SetOptions(TGridOptions options);

    // The current cell. Setting it moves the anchor with it (the selection becomes that one
    // cell) and scrolls it into view; a value outside the grid raises EGridError.
    int Col() const { return FSel.Col(); }
    int Row() const { return FSel.Row(); }
    void SetCol(int col);
    void SetRow(int row);

    // The selection, ordered. Setting it puts the anchor at (Left, Top) and the current cell
    // at (Right, Bottom); corners outside the grid raise EGridError.
    TGridRect Selection() const { return FSel.Rect(); }
    void SetSelection(const TGridRect& rect);

    // The first column and row on screen.
    int LeftCol() const { return FGeo.X.First; }
    int TopRow() const { return FGeo.Y.First; }
    void SetLeftCol(int col); // kept within 0..the last column that can be first
    void SetTopRow(int row);
    // Columns and rows from LeftCol / TopRow that show whole, but at least 1: a cell larger than
    // the viewport counts as one, so that centring on "current - count / 2" still works.
    int VisibleColCount() const;
    int VisibleRowCount() const;

    // The cell under a viewport point; -1 for a coordinate beyond the cells.
    QPoint MouseToCell(const QPoint& pos) const;
    // The viewport rectangle of a cell without its grid lines, whole even where it reaches past
    // the viewport's edge; empty when no part of it is on screen.
    QRect CellRect(int col, int row) const;

    // The owner covers every pixel of each cell it draws: the grid does not fill the cell's
    // background first (the painter's brush is still the background brush).
    bool CellsOpaque() const { return FCellsOpaque; }
    void SetCellsOpaque(bool opaque) { FCellsOpaque = opaque; }
    // Cells are painted into an RGB32 picture of the viewport's size, which is then shown in
    // one copy. The painter OnDrawCell gets then works on that picture, so an owner may also
    // write its pixels directly (painter.device()), at one pixel per logical pixel.
    bool DoubleBuffered() const { return FDoubleBuffered; }
    void SetDoubleBuffered(bool on);

    // Repaints cells (only those on screen).
    void InvalidateCell(int col, int row);
    void InvalidateRect(const TGridRect& rect);
    void InvalidateGrid();

    // Called for every cell painted, after the cell was filled with its background brush
    // (the highlight colour when selected, the base colour otherwise), which is also the
    // painter's brush during the call.
    std::function<void(QPainter& canvas, int col, int row, const QRect& rect, TGridDrawState state)>
        OnDrawCell;
    // Draws a whole block of cells in place of OnDrawCell, for owners of many small cells:
    // columns and rows `cells`, the first cell's rectangle `first`, each next cell pitchX to
    // the right or pitchY down. The owner draws every cell, background included; the
    // painter's brush is the selection's background brush. Used when the area to paint is
    // one rectangle; otherwise the grid goes cell by cell through OnDrawCell.
    std::function<void(QPainter& canvas, const TGridRect& cells, const QRect& first, int pitchX,
                       int pitchY)>
        OnDrawCells;
    // Called once before the cells of a paint are drawn, with the painter they are drawn
    // with, so that the owner can take what stays the same for all of them.
    std::function<void(QPainter& canvas)> OnBeginPaint;
    // The view scrolled (LeftCol or TopRow changed).
    std::function<void()> OnTopLeftChanged;
    // Mouse events, after the grid's own handling; positions in viewport coordinates. A press
    // of the left button on a cell makes it the current cell first. The release of a range
    // drag reports one more move (with the keys held at the release) before OnMouseUp.
    std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos)>
        OnMouseDown;
    std::function<void(Qt::KeyboardModifiers shift, const QPoint& pos)> OnMouseMove;
    std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos)>
        OnMouseUp;

signals:
    // The view scrolled, after OnTopLeftChanged: for watchers other than the owner.
    void topLeftChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateScrollBars();
    // Takes a change of sizes or options: line room, scroll bars, a repaint.
    void relayout();
    void moveCurrent(int col, int row, bool moveAnchor);
    void moveAnchor(int col, int row);
    void selectionMoved(const TGridSelection& before);
    void scrollIntoView(int col, int row);
    void setTopLeft(int col, int row);
    int maxLeftCol() const { return FGeo.X.MaxFirst(viewport()->width()); }
    int maxTopRow() const { return FGeo.Y.MaxFirst(viewport()->height()); }
    int fitCols() const { return FGeo.X.Fit(viewport()->width()); }
    int fitRows() const { return FGeo.Y.Fit(viewport()->height()); }
    void dragTo(const QPoint& pos);
    void autoScroll();
    void paintCells(QPainter& painter, const QRegion& region, const QRect& bounds);

    TGridGeometry FGeo{{.Count = 5, .Size = 64}, {.Count = 5, .Size = 24}};
    int FGridLineWidth = 1;
    TGridOptions FOptions = goVertLine | goHorzLine;
    TGridSelection FSel;
    bool FSelecting = false; // a left-button range drag is in progress
    bool FSyncingScrollBars = false;
    int FWheelDelta = 0;           // wheel angle not yet turned into whole steps
    QPoint FDragPos;               // last pointer position of a range drag
    QTimer* FAutoScroll = nullptr; // scrolls while a range drag is outside the viewport
    bool FCellsOpaque = false;
    bool FDoubleBuffered = false;
    QImage FBuffer;
};
