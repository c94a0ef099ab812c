#include "DrawGrid.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>

EGridError::EGridError() : std::runtime_error("グリッドインデックス が範囲を超えています") {}

namespace {

const QColor kGridLineColor(0xC0, 0xC0, 0xC0);

} // namespace

TDrawGrid::TDrawGrid(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    // Every pixel is painted by paintEvent.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    horizontalScrollBar()->setTracking(false);
    verticalScrollBar()->setTracking(false);
    FAutoScroll = new QTimer(this);
    FAutoScroll->setInterval(50);
    connect(FAutoScroll, &QTimer::timeout, this, [this] { autoScroll(); });
    updateScrollBars();
}

// --- sizes -------------------------------------------------------------------------------

// Takes a change of sizes or options: the room the lines take, the scroll bars, a repaint.
void TDrawGrid::relayout()
{
    FGeo.X.Line = FOptions.testFlag(goVertLine) ? FGridLineWidth : 0;
    FGeo.Y.Line = FOptions.testFlag(goHorzLine) ? FGridLineWidth : 0;
    updateScrollBars();
    viewport()->update();
}

void TDrawGrid::SetColCount(int count)
{
    count = std::max(1, count);
    if (count == FGeo.X.Count)
        return;
    FGeo.X.Count = count;
    FSel.LimitCols(count);
    FSelecting = false;
    relayout();
}

void TDrawGrid::SetRowCount(int count)
{
    count = std::max(1, count);
    if (count == FGeo.Y.Count)
        return;
    FGeo.Y.Count = count;
    FSel.LimitRows(count);
    FSelecting = false;
    relayout();
}

void TDrawGrid::SetDefaultColWidth(int width)
{
    width = std::max(1, width);
    if (width == FGeo.X.Size)
        return;
    FGeo.X.Size = width;
    relayout();
}

void TDrawGrid::SetDefaultRowHeight(int height)
{
    height = std::max(1, height);
    if (height == FGeo.Y.Size)
        return;
    FGeo.Y.Size = height;
    relayout();
}

void TDrawGrid::SetGridLineWidth(int width)
{
    width = std::clamp(width, 0, 1);
    if (width == FGridLineWidth)
        return;
    FGridLineWidth = width;
    relayout();
}

void TDrawGrid::SetOptions(TGridOptions options)
{
    if (options == FOptions)
        return;
    FOptions = options;
    const bool tracking = FOptions.testFlag(goThumbTracking);
    horizontalScrollBar()->setTracking(tracking);
    verticalScrollBar()->setTracking(tracking);
    if (!FOptions.testFlag(goRangeSelect)) {
        FSelecting = false;
        FAutoScroll->stop();
    }
    relayout();
}

int TDrawGrid::VisibleColCount() const
{
    return FGeo.X.Visible(viewport()->width());
}

int TDrawGrid::VisibleRowCount() const
{
    return FGeo.Y.Visible(viewport()->height());
}

// --- current cell and selection ----------------------------------------------------------

void TDrawGrid::SetCol(int col)
{
    if (col < 0 || col >= ColCount())
        throw EGridError();
    moveCurrent(col, Row(), true);
}

void TDrawGrid::SetRow(int row)
{
    if (row < 0 || row >= RowCount())
        throw EGridError();
    moveCurrent(Col(), row, true);
}

void TDrawGrid::SetSelection(const TGridRect& rect)
{
    const auto inside = [this](int col, int row) {
        return col >= 0 && col < ColCount() && row >= 0 && row < RowCount();
    };
    if (!inside(rect.Left, rect.Top) || !inside(rect.Right, rect.Bottom))
        throw EGridError();
    const TGridSelection before = FSel;
    FSel.Set(rect);
    selectionMoved(before);
}

void TDrawGrid::moveCurrent(int col, int row, bool moveAnchor)
{
    const TGridSelection before = FSel;
    FSel.MoveCurrent(col, row, moveAnchor || !FOptions.testFlag(goRangeSelect));
    scrollIntoView(col, row);
    selectionMoved(before);
}

void TDrawGrid::moveAnchor(int col, int row)
{
    const TGridSelection before = FSel;
    FSel.MoveAnchor(col, row);
    selectionMoved(before);
}

// Repaints the cells whose selected state changed, and the old and new current cell.
void TDrawGrid::selectionMoved(const TGridSelection& before)
{
    for (const TGridRect& block : FSel.ChangedSince(before))
        InvalidateRect(block);
    if (before.Col() != Col() || before.Row() != Row()) {
        InvalidateCell(before.Col(), before.Row());
        InvalidateCell(Col(), Row());
    }
}

// --- scrolling ---------------------------------------------------------------------------

void TDrawGrid::SetLeftCol(int col)
{
    setTopLeft(col, FGeo.Y.First);
}

void TDrawGrid::SetTopRow(int row)
{
    setTopLeft(FGeo.X.First, row);
}

void TDrawGrid::setTopLeft(int col, int row)
{
    col = std::clamp(col, 0, maxLeftCol());
    row = std::clamp(row, 0, maxTopRow());
    if (col == FGeo.X.First && row == FGeo.Y.First)
        return;
    FGeo.X.First = col;
    FGeo.Y.First = row;
    const bool wasSyncing = FSyncingScrollBars;
    FSyncingScrollBars = true;
    horizontalScrollBar()->setValue(col);
    verticalScrollBar()->setValue(row);
    FSyncingScrollBars = wasSyncing;
    viewport()->update();
    if (OnTopLeftChanged)
        OnTopLeftChanged();
    emit topLeftChanged();
}

void TDrawGrid::scrollIntoView(int col, int row)
{
    setTopLeft(FGeo.X.Reveal(col, viewport()->width()), FGeo.Y.Reveal(row, viewport()->height()));
}

void TDrawGrid::updateScrollBars()
{
    // Showing or hiding a scroll bar resizes the viewport, which comes back here; the loop
    // below settles the ranges for the final size instead.
    if (FSyncingScrollBars)
        return;
    const int oldLeft = FGeo.X.First;
    const int oldTop = FGeo.Y.First;
    QScrollBar* hbar = horizontalScrollBar();
    QScrollBar* vbar = verticalScrollBar();
    FSyncingScrollBars = true;
    for (int pass = 0; pass < 4; ++pass) {
        const int maxLeft = maxLeftCol();
        const int maxTop = maxTopRow();
        const int pageCols = fitCols();
        const int pageRows = fitRows();
        FGeo.X.First = std::clamp(FGeo.X.First, 0, maxLeft);
        FGeo.Y.First = std::clamp(FGeo.Y.First, 0, maxTop);
        hbar->setRange(0, maxLeft);
        hbar->setPageStep(pageCols);
        hbar->setSingleStep(1);
        hbar->setValue(FGeo.X.First);
        vbar->setRange(0, maxTop);
        vbar->setPageStep(pageRows);
        vbar->setSingleStep(1);
        vbar->setValue(FGeo.Y.First);
        if (maxLeftCol() == maxLeft && maxTopRow() == maxTop && fitCols() == pageCols &&
            fitRows() == pageRows)
            break;
    }
    FSyncingScrollBars = false;
    if (FGeo.X.First != oldLeft || FGeo.Y.First != oldTop) {
        viewport()->update();
        if (OnTopLeftChanged)
            OnTopLeftChanged();
        emit topLeftChanged();
    }
}

void TDrawGrid::scrollContentsBy(int, int)
{
    if (FSyncingScrollBars)
        return;
    setTopLeft(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void TDrawGrid::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

// --- geometry ----------------------------------------------------------------------------

QPoint TDrawGrid::MouseToCell(const QPoint& pos) const
{
    return FGeo.CellAt(pos);
}

QRect TDrawGrid::CellRect(int col, int row) const
{
    return FGeo.CellRect(col, row, viewport()->size());
}

void TDrawGrid::InvalidateCell(int col, int row)
{
    const QRect rect = CellRect(col, row);
    if (!rect.isEmpty())
        viewport()->update(rect);
}

void TDrawGrid::InvalidateRect(const TGridRect& rect)
{
    const QRect area = FGeo.Area(rect, viewport()->size());
    if (!area.isEmpty())
        viewport()->update(area);
}

void TDrawGrid::InvalidateGrid()
{
    viewport()->update();
}

// --- painting ----------------------------------------------------------------------------

void TDrawGrid::SetDoubleBuffered(bool on)
{
    FDoubleBuffered = on;
    if (!on)
        FBuffer = QImage();
    viewport()->update();
}

void TDrawGrid::paintEvent(QPaintEvent* event)
{
    const QRegion& region = event->region();
    const QRect bounds = region.boundingRect() & viewport()->rect();
    if (bounds.isEmpty())
        return;
    if (!FDoubleBuffered) {
        QPainter painter(viewport());
        paintCells(painter, region, bounds);
        return;
    }
    if (FBuffer.size() != viewport()->size())
        FBuffer = QImage(viewport()->size(), QImage::Format_RGB32);
    {
        QPainter painter(&FBuffer);
        paintCells(painter, region, bounds);
    }
    QPainter painter(viewport());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& r : region)
        painter.drawImage(r.topLeft(), FBuffer, r);
}

void TDrawGrid::paintCells(QPainter& painter, const QRegion& region, const QRect& bounds)
{
    const QBrush baseBrush = palette().brush(QPalette::Base);
    const QBrush selBrush = palette().brush(QPalette::Highlight);
    const QPen plainPen;

    const int lineX = FGeo.X.Line;
    const int lineY = FGeo.Y.Line;
    const int gridRight = FGeo.X.End();
    const int gridBottom = FGeo.Y.End();
    const int boundsRight = bounds.left() + bounds.width();
    const int boundsBottom = bounds.top() + bounds.height();

    if (gridRight < boundsRight)
        painter.fillRect(QRect(gridRight, bounds.top(), boundsRight - gridRight, bounds.height()),
                         baseBrush);
    if (gridBottom < boundsBottom)
        painter.fillRect(
            QRect(bounds.left(), gridBottom, bounds.width(), boundsBottom - gridBottom), baseBrush);
    if (bounds.left() >= gridRight || bounds.top() >= gridBottom)
        return;

    const int right = std::min(boundsRight, gridRight);
    const int bottom = std::min(boundsBottom, gridBottom);
    const TGridRect cells = FGeo.CellsIn(
        QRect(bounds.left(), bounds.top(), right - bounds.left(), bottom - bounds.top()));
    const int col0 = cells.Left;
    const int col1 = cells.Right;
    const int row0 = cells.Top;
    const int row1 = cells.Bottom;
    // A region of several rectangles (two cells far apart) would otherwise repaint all cells
    // between them.
    const bool sparse = region.rectCount() > 1;
    const TGridRect sel = Selection();
    if (OnBeginPaint && (OnDrawCell || OnDrawCells))
        OnBeginPaint(painter);

    if (OnDrawCells && !sparse) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setBrush(selBrush);
        painter.setPen(plainPen);
        OnDrawCells(painter, cells, FGeo.Place(col0, row0), int(FGeo.X.Pitch()),
                    int(FGeo.Y.Pitch()));
    }
    for (int row = row0; row <= row1 && !(OnDrawCells && !sparse); ++row) {
        const int y = int(FGeo.Y.Offset(row));
        for (int col = col0; col <= col1; ++col) {
            const QRect cell(int(FGeo.X.Offset(col)), y, FGeo.X.Size, FGeo.Y.Size);
            if (sparse && !region.intersects(cell))
                continue;
            const bool selected = sel.Contains(col, row);
            const QBrush& brush = selected ? selBrush : baseBrush;
            if (painter.compositionMode() != QPainter::CompositionMode_SourceOver)
                painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            if (!FCellsOpaque || !OnDrawCell)
                painter.fillRect(cell, brush);
            if (!OnDrawCell)
                continue;
            TGridDrawState state;
            if (selected)
                state |= gdSelected;
            if (col == FSel.Col() && row == FSel.Row())
                state |= gdFocused;
            painter.setBrush(brush);
            painter.setPen(plainPen);
            OnDrawCell(painter, col, row, cell, state);
        }
    }

    // Lines last, so that nothing a cell drew over its edge hides them.
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (lineX > 0) {
        for (int col = col0; col <= col1; ++col) {
            const int x = int(FGeo.X.Offset(col) + FGeo.X.Size);
            painter.fillRect(QRect(x, bounds.top(), lineX, bottom - bounds.top()), kGridLineColor);
        }
    }
    if (lineY > 0) {
        for (int row = row0; row <= row1; ++row) {
            const int y = int(FGeo.Y.Offset(row) + FGeo.Y.Size);
            painter.fillRect(QRect(bounds.left(), y, right - bounds.left(), lineY), kGridLineColor);
        }
    }
}

// --- mouse -------------------------------------------------------------------------------

void TDrawGrid::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        const QPoint cell = MouseToCell(pos);
        if (cell.x() >= 0 && cell.y() >= 0) {
            moveCurrent(cell.x(), cell.y(), true);
            FSelecting = FOptions.testFlag(goRangeSelect);
            FDragPos = pos;
        }
    }
    if (OnMouseDown)
        OnMouseDown(event->button(), event->modifiers(), pos);
    event->accept();
}

// The second press of a double click is a press like any other.
void TDrawGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void TDrawGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (FSelecting && (event->buttons() & Qt::LeftButton))
        dragTo(pos);
    if (OnMouseMove)
        OnMouseMove(event->modifiers(), pos);
    event->accept();
}

void TDrawGrid::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (FSelecting && event->button() == Qt::LeftButton) {
        // The drag ends where the button came up, and the owner sees that last move (with
        // the keys held now) before the release.
        dragTo(pos);
        FSelecting = false;
        FAutoScroll->stop();
        if (OnMouseMove)
            OnMouseMove(event->modifiers(), pos);
    }
    if (OnMouseUp)
        OnMouseUp(event->button(), event->modifiers(), pos);
    event->accept();
}

// Moves the selection's other corner to the cell nearest to pos; beyond the viewport the
// view scrolls towards the pointer while the button is held.
void TDrawGrid::dragTo(const QPoint& pos)
{
    FDragPos = pos;
    const QRect view = viewport()->rect();
    if (view.isEmpty())
        return;
    const QPoint cell = FGeo.NearestCell(pos, view.size());
    moveAnchor(cell.x(), cell.y());
    if (view.contains(pos))
        FAutoScroll->stop();
    else if (!FAutoScroll->isActive())
        FAutoScroll->start();
}

void TDrawGrid::autoScroll()
{
    if (!FSelecting || !(QApplication::mouseButtons() & Qt::LeftButton)) {
        FAutoScroll->stop();
        return;
    }
    const QRect view = viewport()->rect();
    const int dx = FDragPos.x() < 0 ? -1 : FDragPos.x() >= view.width() ? 1 : 0;
    const int dy = FDragPos.y() < 0 ? -1 : FDragPos.y() >= view.height() ? 1 : 0;
    setTopLeft(FGeo.X.First + dx, FGeo.Y.First + dy);
    dragTo(FDragPos);
    // The pointer now lies over another cell: the owner hears of it as of a move.
    if (OnMouseMove)
        OnMouseMove(QApplication::keyboardModifiers(), FDragPos);
}

void TDrawGrid::wheelEvent(QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    const bool columns =
        event->modifiers().testFlag(Qt::ShiftModifier) || (angle.y() == 0 && angle.x() != 0);
    FWheelDelta += angle.y() != 0 ? angle.y() : angle.x();
    const int notches = FWheelDelta / 120;
    FWheelDelta -= notches * 120;
    if (notches != 0) {
        // Never more than a page per notch, which matters for very large cells.
        const int page = columns ? VisibleColCount() : VisibleRowCount();
        const int lines = std::clamp(QApplication::wheelScrollLines(), 1, page);
        const int step = -notches * lines;
        if (columns)
            setTopLeft(FGeo.X.First + step, FGeo.Y.First);
        else
            setTopLeft(FGeo.X.First, FGeo.Y.First + step);
    }
    event->accept();
}

// --- keyboard ----------------------------------------------------------------------------

void TDrawGrid::keyPressEvent(QKeyEvent* event)
{
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    const bool extend =
        event->modifiers().testFlag(Qt::ShiftModifier) && FOptions.testFlag(goRangeSelect);
    const QPoint from = extend ? QPoint(FSel.AnchorCol(), FSel.AnchorRow()) : QPoint(Col(), Row());
    const auto move = GridKeyMove(FGeo, viewport()->size(), event->key(), ctrl, from);
    if (!move) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int col = move->Cell.x();
    const int row = move->Cell.y();
    setTopLeft(move->TopLeft.x(), move->TopLeft.y());
    if (extend) {
        moveAnchor(col, row);
        scrollIntoView(col, row);
    } else {
        moveCurrent(col, row, true);
    }
    event->accept();
}
