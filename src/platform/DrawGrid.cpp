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
#include <cstdint>

EGridError::EGridError() : std::runtime_error("グリッドインデックス が範囲を超えています") {}

namespace {

// A cell is at most 99999 px and the grid 9999 cells wide, so offsets from the first cell on
// screen are computed in 64 bits and only turned back into int once known to be on screen.
using Pos = std::int64_t;

const QColor kGridLineColor(0xC0, 0xC0, 0xC0);

TGridRect ordered(int col1, int row1, int col2, int row2)
{
    return {std::min(col1, col2), std::min(row1, row2), std::max(col1, col2), std::max(row1, row2)};
}

// The cells of a that are not in b, as up to four rectangles.
template <typename F> void forEachDifference(const TGridRect& a, const TGridRect& b, F f)
{
    if (a.Right < b.Left || b.Right < a.Left || a.Bottom < b.Top || b.Bottom < a.Top) {
        f(a);
        return;
    }
    if (a.Top < b.Top)
        f(TGridRect{a.Left, a.Top, a.Right, b.Top - 1});
    if (a.Bottom > b.Bottom)
        f(TGridRect{a.Left, b.Bottom + 1, a.Right, a.Bottom});
    const int top = std::max(a.Top, b.Top);
    const int bottom = std::min(a.Bottom, b.Bottom);
    if (a.Left < b.Left)
        f(TGridRect{a.Left, top, b.Left - 1, bottom});
    if (a.Right > b.Right)
        f(TGridRect{b.Right + 1, top, a.Right, bottom});
}

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

void TDrawGrid::SetColCount(int count)
{
    count = std::max(1, count);
    if (count == FColCount)
        return;
    FColCount = count;
    FCol = std::min(FCol, count - 1);
    FAnchorCol = std::min(FAnchorCol, count - 1);
    FSelecting = false;
    updateScrollBars();
    viewport()->update();
}

void TDrawGrid::SetRowCount(int count)
{
    count = std::max(1, count);
    if (count == FRowCount)
        return;
    FRowCount = count;
    FRow = std::min(FRow, count - 1);
    FAnchorRow = std::min(FAnchorRow, count - 1);
    FSelecting = false;
    updateScrollBars();
    viewport()->update();
}

void TDrawGrid::SetDefaultColWidth(int width)
{
    width = std::max(1, width);
    if (width == FColWidth)
        return;
    FColWidth = width;
    updateScrollBars();
    viewport()->update();
}

void TDrawGrid::SetDefaultRowHeight(int height)
{
    height = std::max(1, height);
    if (height == FRowHeight)
        return;
    FRowHeight = height;
    updateScrollBars();
    viewport()->update();
}

void TDrawGrid::SetGridLineWidth(int width)
{
    width = std::clamp(width, 0, 1);
    if (width == FGridLineWidth)
        return;
    FGridLineWidth = width;
    updateScrollBars();
    viewport()->update();
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
    updateScrollBars();
    viewport()->update();
}

int TDrawGrid::lineWidthX() const
{
    return FOptions.testFlag(goVertLine) ? FGridLineWidth : 0;
}

int TDrawGrid::lineWidthY() const
{
    return FOptions.testFlag(goHorzLine) ? FGridLineWidth : 0;
}

int TDrawGrid::fitCols() const
{
    const int width = viewport()->width();
    if (width < FColWidth)
        return 1;
    return (width - FColWidth) / (FColWidth + lineWidthX()) + 1;
}

int TDrawGrid::fitRows() const
{
    const int height = viewport()->height();
    if (height < FRowHeight)
        return 1;
    return (height - FRowHeight) / (FRowHeight + lineWidthY()) + 1;
}

// The last column can always become the first one on screen when nothing more fits, so a
// cell wider than the viewport can still be scrolled to.
int TDrawGrid::maxLeftCol() const
{
    return std::max(0, FColCount - fitCols());
}

int TDrawGrid::maxTopRow() const
{
    return std::max(0, FRowCount - fitRows());
}

int TDrawGrid::VisibleColCount() const
{
    return std::max(1, std::min(fitCols(), FColCount - FLeftCol));
}

int TDrawGrid::VisibleRowCount() const
{
    return std::max(1, std::min(fitRows(), FRowCount - FTopRow));
}

// --- current cell and selection ----------------------------------------------------------

void TDrawGrid::SetCol(int col)
{
    if (col < 0 || col >= FColCount)
        throw EGridError();
    moveCurrent(col, FRow, true);
}

void TDrawGrid::SetRow(int row)
{
    if (row < 0 || row >= FRowCount)
        throw EGridError();
    moveCurrent(FCol, row, true);
}

TGridRect TDrawGrid::Selection() const
{
    return ordered(FAnchorCol, FAnchorRow, FCol, FRow);
}

void TDrawGrid::SetSelection(const TGridRect& rect)
{
    const auto inside = [this](int col, int row) {
        return col >= 0 && col < FColCount && row >= 0 && row < FRowCount;
    };
    if (!inside(rect.Left, rect.Top) || !inside(rect.Right, rect.Bottom))
        throw EGridError();
    const TGridRect oldSel = Selection();
    const int oldCol = FCol;
    const int oldRow = FRow;
    FAnchorCol = rect.Left;
    FAnchorRow = rect.Top;
    FCol = rect.Right;
    FRow = rect.Bottom;
    selectionMoved(oldSel, oldCol, oldRow);
}

void TDrawGrid::moveCurrent(int col, int row, bool moveAnchor)
{
    const TGridRect oldSel = Selection();
    const int oldCol = FCol;
    const int oldRow = FRow;
    FCol = col;
    FRow = row;
    if (moveAnchor || !FOptions.testFlag(goRangeSelect)) {
        FAnchorCol = col;
        FAnchorRow = row;
    }
    scrollIntoView(col, row);
    selectionMoved(oldSel, oldCol, oldRow);
}

void TDrawGrid::moveAnchor(int col, int row)
{
    if (col == FAnchorCol && row == FAnchorRow)
        return;
    const TGridRect oldSel = Selection();
    FAnchorCol = col;
    FAnchorRow = row;
    selectionMoved(oldSel, FCol, FRow);
}

// Repaints the cells whose selected state changed, and the old and new current cell.
void TDrawGrid::selectionMoved(const TGridRect& oldSelection, int oldCol, int oldRow)
{
    const TGridRect sel = Selection();
    if (sel != oldSelection) {
        const auto invalidate = [this](const TGridRect& r) { InvalidateRect(r); };
        forEachDifference(oldSelection, sel, invalidate);
        forEachDifference(sel, oldSelection, invalidate);
    }
    if (oldCol != FCol || oldRow != FRow) {
        InvalidateCell(oldCol, oldRow);
        InvalidateCell(FCol, FRow);
    }
}

// --- scrolling ---------------------------------------------------------------------------

void TDrawGrid::SetLeftCol(int col)
{
    setTopLeft(col, FTopRow);
}

void TDrawGrid::SetTopRow(int row)
{
    setTopLeft(FLeftCol, row);
}

void TDrawGrid::setTopLeft(int col, int row)
{
    col = std::clamp(col, 0, maxLeftCol());
    row = std::clamp(row, 0, maxTopRow());
    if (col == FLeftCol && row == FTopRow)
        return;
    FLeftCol = col;
    FTopRow = row;
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
    int left = FLeftCol;
    if (col < left)
        left = col;
    else if (col > left + fitCols() - 1)
        left = col - fitCols() + 1;
    int top = FTopRow;
    if (row < top)
        top = row;
    else if (row > top + fitRows() - 1)
        top = row - fitRows() + 1;
    setTopLeft(left, top);
}

void TDrawGrid::updateScrollBars()
{
    // Showing or hiding a scroll bar resizes the viewport, which comes back here; the loop
    // below settles the ranges for the final size instead.
    if (FSyncingScrollBars)
        return;
    const int oldLeft = FLeftCol;
    const int oldTop = FTopRow;
    QScrollBar* hbar = horizontalScrollBar();
    QScrollBar* vbar = verticalScrollBar();
    FSyncingScrollBars = true;
    for (int pass = 0; pass < 4; ++pass) {
        const int maxLeft = maxLeftCol();
        const int maxTop = maxTopRow();
        const int pageCols = fitCols();
        const int pageRows = fitRows();
        FLeftCol = std::clamp(FLeftCol, 0, maxLeft);
        FTopRow = std::clamp(FTopRow, 0, maxTop);
        hbar->setRange(0, maxLeft);
        hbar->setPageStep(pageCols);
        hbar->setSingleStep(1);
        hbar->setValue(FLeftCol);
        vbar->setRange(0, maxTop);
        vbar->setPageStep(pageRows);
        vbar->setSingleStep(1);
        vbar->setValue(FTopRow);
        if (maxLeftCol() == maxLeft && maxTopRow() == maxTop && fitCols() == pageCols &&
            fitRows() == pageRows)
            break;
    }
    FSyncingScrollBars = false;
    if (FLeftCol != oldLeft || FTopRow != oldTop) {
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
    // A grid line belongs to the cell before it.
    int col = -1;
    if (pos.x() >= 0) {
        const Pos c = FLeftCol + Pos(pos.x()) / (FColWidth + lineWidthX());
        if (c < FColCount)
            col = int(c);
    }
    int row = -1;
    if (pos.y() >= 0) {
        const Pos r = FTopRow + Pos(pos.y()) / (FRowHeight + lineWidthY());
        if (r < FRowCount)
            row = int(r);
    }
    return {col, row};
}

QRect TDrawGrid::CellRect(int col, int row) const
{
    if (col < FLeftCol || row < FTopRow || col >= FColCount || row >= FRowCount)
        return {};
    const Pos x = Pos(col - FLeftCol) * (FColWidth + lineWidthX());
    const Pos y = Pos(row - FTopRow) * (FRowHeight + lineWidthY());
    if (x >= viewport()->width() || y >= viewport()->height())
        return {};
    return {int(x), int(y), FColWidth, FRowHeight};
}

void TDrawGrid::InvalidateCell(int col, int row)
{
    const QRect rect = CellRect(col, row);
    if (!rect.isEmpty())
        viewport()->update(rect);
}

void TDrawGrid::InvalidateRect(const TGridRect& rect)
{
    const TGridRect r = ordered(rect.Left, rect.Top, rect.Right, rect.Bottom);
    const Pos pitchX = FColWidth + lineWidthX();
    const Pos pitchY = FRowHeight + lineWidthY();
    const int width = viewport()->width();
    const int height = viewport()->height();
    if (width <= 0 || height <= 0)
        return;
    // The cells touching the viewport, partly shown ones included.
    const int lastCol = int(std::min<Pos>(FColCount - 1, FLeftCol + (width - 1) / pitchX));
    const int lastRow = int(std::min<Pos>(FRowCount - 1, FTopRow + (height - 1) / pitchY));
    const int left = std::max(r.Left, FLeftCol);
    const int top = std::max(r.Top, FTopRow);
    const int right = std::min(r.Right, lastCol);
    const int bottom = std::min(r.Bottom, lastRow);
    if (left > right || top > bottom)
        return;
    const Pos x0 = (left - FLeftCol) * pitchX;
    const Pos y0 = (top - FTopRow) * pitchY;
    const Pos x1 = std::min<Pos>((right - FLeftCol) * pitchX + FColWidth, width);
    const Pos y1 = std::min<Pos>((bottom - FTopRow) * pitchY + FRowHeight, height);
    viewport()->update(QRect(int(x0), int(y0), int(x1 - x0), int(y1 - y0)));
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

    const int lineX = lineWidthX();
    const int lineY = lineWidthY();
    const Pos pitchX = FColWidth + lineX;
    const Pos pitchY = FRowHeight + lineY;
    // Where the last cell's line ends, as far as the viewport goes.
    const int gridRight = int(std::min<Pos>(Pos(FColCount - FLeftCol) * pitchX, INT32_MAX));
    const int gridBottom = int(std::min<Pos>(Pos(FRowCount - FTopRow) * pitchY, INT32_MAX));
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
    const int col0 = FLeftCol + int(bounds.left() / pitchX);
    const int col1 = FLeftCol + int((right - 1) / pitchX);
    const int row0 = FTopRow + int(bounds.top() / pitchY);
    const int row1 = FTopRow + int((bottom - 1) / pitchY);
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
        const QRect first(int(Pos(col0 - FLeftCol) * pitchX), int(Pos(row0 - FTopRow) * pitchY),
                          FColWidth, FRowHeight);
        OnDrawCells(painter, TGridRect{col0, row0, col1, row1}, first, int(pitchX), int(pitchY));
    }
    for (int row = row0; row <= row1 && !(OnDrawCells && !sparse); ++row) {
        const int y = int(Pos(row - FTopRow) * pitchY);
        for (int col = col0; col <= col1; ++col) {
            const QRect cell(int(Pos(col - FLeftCol) * pitchX), y, FColWidth, FRowHeight);
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
            if (col == FCol && row == FRow)
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
            const int x = int(Pos(col - FLeftCol) * pitchX + FColWidth);
            painter.fillRect(QRect(x, bounds.top(), lineX, bottom - bounds.top()), kGridLineColor);
        }
    }
    if (lineY > 0) {
        for (int row = row0; row <= row1; ++row) {
            const int y = int(Pos(row - FTopRow) * pitchY + FRowHeight);
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
    const QPoint inside(std::clamp(pos.x(), 0, view.width() - 1),
                        std::clamp(pos.y(), 0, view.height() - 1));
    const int col =
        int(std::min<Pos>(FColCount - 1, FLeftCol + Pos(inside.x()) / (FColWidth + lineWidthX())));
    const int row =
        int(std::min<Pos>(FRowCount - 1, FTopRow + Pos(inside.y()) / (FRowHeight + lineWidthY())));
    moveAnchor(col, row);
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
    setTopLeft(FLeftCol + dx, FTopRow + dy);
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
            setTopLeft(FLeftCol + step, FTopRow);
        else
            setTopLeft(FLeftCol, FTopRow + step);
    }
    event->accept();
}

// --- keyboard ----------------------------------------------------------------------------

void TDrawGrid::keyPressEvent(QKeyEvent* event)
{
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    const bool extend =
        event->modifiers().testFlag(Qt::ShiftModifier) && FOptions.testFlag(goRangeSelect);
    int col = extend ? FAnchorCol : FCol;
    int row = extend ? FAnchorRow : FRow;
    int left = FLeftCol;
    int top = FTopRow;
    switch (event->key()) {
    case Qt::Key_Left:
        --col;
        break;
    case Qt::Key_Right:
        ++col;
        break;
    case Qt::Key_Up:
        --row;
        break;
    case Qt::Key_Down:
        ++row;
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        // The view turns a page and the cell moves with it.
        const int sign = event->key() == Qt::Key_PageUp ? -1 : 1;
        if (ctrl) {
            col += sign * VisibleColCount();
            left += sign * VisibleColCount();
        } else {
            row += sign * VisibleRowCount();
            top += sign * VisibleRowCount();
        }
        break;
    }
    case Qt::Key_Home:
        col = 0;
        if (ctrl)
            row = 0;
        break;
    case Qt::Key_End:
        col = FColCount - 1;
        if (ctrl)
            row = FRowCount - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    col = std::clamp(col, 0, FColCount - 1);
    row = std::clamp(row, 0, FRowCount - 1);
    setTopLeft(left, top);
    if (extend) {
        moveAnchor(col, row);
        scrollIntoView(col, row);
    } else {
        moveCurrent(col, row, true);
    }
    event->accept();
}
