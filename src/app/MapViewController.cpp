#include "MapViewController.h"

#include "CellRect.h"
#include "DrawGrid.h"
#include "MapDocument.h"
#include "PartsStore.h"
#include "Settings.h"

#include <QWheelEvent>
#include <algorithm>
#include <vector>

TMapViewController::TMapViewController(TDrawGrid& grid, const TMapDocument& doc,
                                       const TPartsStore& parts, TSettings& settings,
                                       std::function<void()> leftZoom, QObject* parent)
    : QObject(parent), FGrid(grid), FViewport(grid.viewport()), FDoc(doc), FSettings(settings),
      FLeftZoom(std::move(leftZoom))
{
    // Ctrl+wheel zooms instead of scrolling.
    FViewport->installEventFilter(this);
    connect(&FSettings, &TSettings::zoomLevelChanged, this, [this] { ApplyZoom(); });
    // The grid's cell size follows the settings only through ApplyZoom; the zoom view's
    // cells are drawn at the zoom size as it is, also while the settings dialog edits it.
    connect(&FSettings, &TSettings::zoomSizeChanged, this, [this] {
        if (FSettings.ZoomLevel() == zlZoom)
            Repaint();
    });
    connect(&parts, &TPartsStore::partChanged, this, &TMapViewController::RedrawPart);
    connect(&parts, &TPartsStore::allPartsChanged, this, &TMapViewController::Repaint);
    connect(&doc, &TMapDocument::cellsChanged, this,
            [this](const TCellRect& rect) { FGrid.InvalidateRect(rect); });
    connect(&doc, &TMapDocument::mapReplaced, this, &TMapViewController::showNewMap);
    // The lattice follows the group part.
    FGroupSize = QSize(doc.GroupWidth(), doc.GroupHeight());
    connect(&doc, &TMapDocument::groupPartChanged, this, &TMapViewController::groupChanged);
    connect(&grid, &TDrawGrid::topLeftChanged, this, &TMapViewController::viewMoved);
}

void TMapViewController::groupChanged()
{
    const QSize size(FDoc.GroupWidth(), FDoc.GroupHeight());
    const auto lattice = [](QSize s) { return s.width() >= 2 || s.height() >= 2; };
    const bool redraw = size != FGroupSize && (lattice(size) || lattice(FGroupSize));
    FGroupSize = size;
    if (redraw)
        Repaint();
}

void TMapViewController::ApplyZoom()
{
    FGrid.setUpdatesEnabled(false);
    FGrid.SetDefaultColWidth(FSettings.CellSize());
    FGrid.SetDefaultRowHeight(FSettings.CellSize());
    if (FSettings.ZoomLevel() != zlZoom)
        FLeftZoom();
    // Centre the view on the current cell.
    FGrid.SetLeftCol(std::max(0, FGrid.Col() - FGrid.VisibleColCount() / 2));
    FGrid.SetTopRow(std::max(0, FGrid.Row() - FGrid.VisibleRowCount() / 2));
    FGrid.setUpdatesEnabled(true);
    FGrid.InvalidateGrid();
    emit viewMoved();
}

void TMapViewController::StepZoom(int step, const QPoint& anchor)
{
    const int level = std::clamp(int(FSettings.ZoomLevel()) + step, int(zlWide), int(zlZoom));
    if (level == int(FSettings.ZoomLevel()))
        return;
    // The cell under the anchor, also past the map's last cell, stays under it.
    const auto cellAt = [](int pos, int first, int pitch, int count) {
        return std::clamp(first + pos / std::max(1, pitch), 0, count - 1);
    };
    const int oldPitchX = FGrid.DefaultColWidth() + FGrid.GridLineWidth();
    const int oldPitchY = FGrid.DefaultRowHeight() + FGrid.GridLineWidth();
    const int col = cellAt(anchor.x(), FGrid.LeftCol(), oldPitchX, FGrid.ColCount());
    const int row = cellAt(anchor.y(), FGrid.TopRow(), oldPitchY, FGrid.RowCount());
    FSettings.SetZoomLevel(TZoomLevel(level)); // ApplyZoom follows through the change signal
    const int pitchX = FGrid.DefaultColWidth() + FGrid.GridLineWidth();
    const int pitchY = FGrid.DefaultRowHeight() + FGrid.GridLineWidth();
    FGrid.SetLeftCol(col - anchor.x() / std::max(1, pitchX));
    FGrid.SetTopRow(row - anchor.y() / std::max(1, pitchY));
}

bool TMapViewController::eventFilter(QObject* watched, QEvent* event)
{
    // The viewport is compared as it was when the filter was installed: while the grid is
    // being destroyed its events still come here, and the grid may not be asked then.
    if (event->type() == QEvent::Resize && watched == FViewport)
        emit viewMoved();
    if (event->type() == QEvent::Wheel && watched == FViewport) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            // One level per notch, whichever way; what is left of a notch is dropped.
            const int delta = wheel->angleDelta().y();
            if (delta != 0)
                StepZoom(delta > 0 ? 1 : -1, wheel->position().toPoint());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TMapViewController::Repaint()
{
    FGrid.InvalidateGrid();
}

void TMapViewController::RedrawRect(const TCellRect& rect)
{
    FGrid.InvalidateRect(rect);
}

void TMapViewController::RedrawPart(int part)
{
    // Only the cells on screen that hold the part; past a few dozen, one repaint of the
    // whole view costs less than the bookkeeping.
    constexpr size_t MaxSingleCells = 64;
    const int left = FGrid.LeftCol();
    const int top = FGrid.TopRow();
    const int right = std::min(FGrid.ColCount() - 1, left + FGrid.VisibleColCount());
    const int bottom = std::min(FGrid.RowCount() - 1, top + FGrid.VisibleRowCount());
    std::vector<QPoint> cells;
    for (int x = left; x <= right; ++x) {
        for (int y = top; y <= bottom; ++y) {
            if (FDoc.Cell(x, y) != part)
                continue;
            if (cells.size() == MaxSingleCells) {
                Repaint();
                return;
            }
            cells.emplace_back(x, y);
        }
    }
    for (const QPoint& cell : cells)
        FGrid.InvalidateRect({cell.x(), cell.y(), cell.x(), cell.y()});
}

void TMapViewController::showNewMap()
{
    FGrid.SetColCount(FDoc.MapWidth());
    FGrid.SetRowCount(FDoc.MapHeight());
    FGrid.SetCol(0);
    FGrid.SetRow(0);
    FGrid.InvalidateGrid();
    emit viewMoved();
}

void TMapViewController::RememberPoint(int k)
{
    FJumpPoints[size_t(k)] = QPoint(FGrid.Col(), FGrid.Row());
}

QPoint TMapViewController::ShowPoint(int k)
{
    const QPoint p = FJumpPoints[size_t(k)];
    CentreOn(p.x(), p.y());
    return p;
}

void TMapViewController::CentreOn(int col, int row)
{
    FGrid.SetLeftCol(std::max(0, col - FGrid.VisibleColCount() / 2));
    FGrid.SetTopRow(std::max(0, row - FGrid.VisibleRowCount() / 2));
}

TCellRect TMapViewController::VisibleCells() const
{
    const int pitchX = std::max(1, FGrid.DefaultColWidth() + FGrid.GridLineWidth());
    const int pitchY = std::max(1, FGrid.DefaultRowHeight() + FGrid.GridLineWidth());
    const int cols = std::max(1, (FViewport->width() + pitchX - 1) / pitchX);
    const int rows = std::max(1, (FViewport->height() + pitchY - 1) / pitchY);
    return {FGrid.LeftCol(), FGrid.TopRow(),
            std::min(FGrid.ColCount() - 1, FGrid.LeftCol() + cols - 1),
            std::min(FGrid.RowCount() - 1, FGrid.TopRow() + rows - 1)};
}
