#include "MapTools.h"

#include "DrawGrid.h"
#include "MainFormLinks.h"
#include "MapDocument.h"
#include "MapSession.h"
#include "PartGraphicEditor.h"
#include "TerrainTool.h"

#include <QLabel>
#include <algorithm>

namespace {

QString cellText(int col, int row)
{
    return QStringLiteral("(%1,%2)").arg(col).arg(row);
}

} // namespace

std::unique_ptr<TMapGridTool> TMapGridTool::Make(TMapTool kind, const TMapToolContext& context)
{
    switch (kind) {
    case mtPaint:
        return std::make_unique<TPaintTool>(context);
    case mtRegion:
        return std::make_unique<TRegionTool>(context);
    case mtScroll:
        return std::make_unique<TScrollTool>(context);
    case mtLupe:
        return std::make_unique<TLupeTool>(context);
    case mtTerrain:
        return std::make_unique<TTerrainTool>(context);
    }
    return nullptr;
}

void TMapGridTool::Activate()
{
    // In every tool the map moves when a scroll bar's thumb is released, not while it is
    // dragged.
    const TGridOptions options = goVertLine | goHorzLine;
    F.Grid.SetOptions(SelectsRange() ? options | goRangeSelect : options);
    F.Grid.viewport()->setCursor(Cursor());
}

void TMapGridTool::Deactivate()
{
    if (!FDragging)
        return;
    FDragging = false;
    MapDragButton = Qt::NoButton;
    emit statusChanged(QString());
    // The dragged rectangle loses its preview.
    F.Grid.InvalidateRect(F.Grid.Selection());
}

void TMapGridTool::Press(Qt::MouseButton button, Qt::KeyboardModifiers, const QPoint& pos)
{
    const QPoint cell = F.Grid.MouseToCell(pos);
    FPointer = pos;
    MapDragCol = cell.x();
    MapDragRow = cell.y();
    MapDragButton = button;
    FDragging = true;
    try {
        F.Grid.SetCol(cell.x());
        F.Grid.SetRow(cell.y());
    } catch (const EGridError&) {
        // A press beyond the last cell starts no drag.
        FDragging = false;
        return;
    }
    emit statusChanged(cellText(cell.x(), cell.y()) +
                       (button == Qt::LeftButton ? QStringLiteral("-") : QString()));
    F.Grid.InvalidateRect(F.Grid.Selection());
    Pressed();
}

uint8_t TMapGridTool::PreviewPart(int col, int row) const
{
    return F.Document.Cell(col, row);
}

void TMapGridTool::Move(Qt::KeyboardModifiers, const QPoint& pos)
{
    const QPoint cell = F.Grid.MouseToCell(pos);
    FPointer = pos;
    if (FDragging) {
        Dragged(cell);
    } else if (cell.x() < 0 || cell.y() < 0) {
        emit statusChanged(QStringLiteral("マップ外"));
    } else {
        emit statusChanged(cellText(cell.x(), cell.y()) + QStringLiteral("・パーツ番号:") +
                           QString::number(F.Document.Cell(cell.x(), cell.y())));
    }
}

void TMapGridTool::Dragged(const QPoint& cell)
{
    if (MapDragButton == Qt::LeftButton) {
        const TCellRect sel = F.Grid.Selection();
        emit statusChanged(cellText(sel.Left, sel.Top) + QStringLiteral("-") +
                           cellText(sel.Right, sel.Bottom));
    } else if (MapDragButton == Qt::RightButton) {
        emit statusChanged(cellText(cell.x(), cell.y()));
    }
}

void TMapGridTool::Release(Qt::MouseButton button, Qt::KeyboardModifiers keys, const QPoint& pos)
{
    if (!FDragging)
        return;
    FDragging = false;
    const QPoint cell = F.Grid.MouseToCell(pos);
    emit statusChanged(QString());
    // The pressed cell or the dragged rectangle is drawn in plain copy again, whatever the
    // release then does.
    F.Grid.InvalidateRect(F.Grid.Selection());

    if (button == Qt::LeftButton) {
        LeftReleased(keys);
        // The laid parts, or the region, which stays the grid's selection.
        F.Grid.InvalidateRect(F.Grid.Selection());
    } else if (button == Qt::RightButton) {
        pick(cell); // beyond the last cell, the grid's error
    } else {
        F.Grid.InvalidateGrid();
    }
}

void TMapGridTool::pick(const QPoint& cell)
{
    // In every tool. A cell beyond the last one is refused by the grid.
    F.Grid.SetCol(cell.x());
    F.Grid.SetRow(cell.y());
    const uint8_t part = F.Document.Cell(cell.x(), cell.y());
    emit partPicked(part);
    F.Document.SetGroupSingle(part);
    emit statusChanged(QStringLiteral("取得パーツ番号:") + QString::number(part));
}

void TPaintTool::LeftReleased(Qt::KeyboardModifiers keys)
{
    // Shift (also with Ctrl) lays the selected part over the cell's, Ctrl alone the cell's
    // over the selected part; the cell is the current one, where the button went down.
    if (keys & Qt::ShiftModifier) {
        overlayOnCell(true);
        return;
    }
    if (keys & Qt::ControlModifier) {
        overlayOnCell(false);
        return;
    }
    const TCellRect sel = F.Grid.Selection();
    if (F.Settings.RandomPlacement())
        F.Document.ScatterGroup(sel);
    else
        F.Document.StampGroup(sel);
}

void TPaintTool::overlayOnCell(bool selectedOverCell)
{
    const int col = F.Grid.Col();
    const int row = F.Grid.Row();
    const uint8_t selected = F.Links.SelectedPartNumber();
    const uint8_t cellPart = F.Document.Cell(col, row);
    // The picture laid over, and the one it is laid on; the result becomes the selected
    // part, which the cell then shows.
    const uint8_t source = selectedOverCell ? selected : cellPart;
    const uint8_t under = selectedOverCell ? cellPart : selected;
    const std::optional<QImage> laid =
        F.Links.RunOverlay(source, F.Session.Parts().PartBitmap(under));
    if (laid)
        F.Session.Overlay(selected, col, row, *laid);
}

void TScrollTool::Dragged(const QPoint& cell)
{
    // The grabbed cell stays under the pointer. Beyond the last cell there is no cell to
    // follow, so the view stays where it is.
    TDrawGrid& grid = F.Grid;
    if (cell.x() >= 0 && MapDragCol != cell.x())
        grid.SetLeftCol(std::max(0, grid.LeftCol() + MapDragCol - cell.x()));
    if (cell.y() >= 0 && MapDragRow != cell.y())
        grid.SetTopRow(std::max(0, grid.TopRow() + MapDragRow - cell.y()));
    emit statusChanged(QStringLiteral("左上の座標:(%1,%2)").arg(grid.LeftCol()).arg(grid.TopRow()));
}

void TLupeTool::Activate()
{
    TMapGridTool::Activate();
    F.PartEditor.Hide();
    showMagnifier();
}

void TLupeTool::Deactivate()
{
    TMapGridTool::Deactivate();
    F.PartEditor.Hide();
    F.PartEditor.Drop();
}

void TLupeTool::LeftReleased(Qt::KeyboardModifiers)
{
    // Also when nothing was drawn: a click in part-graphic mode always stores, and the
    // magnifier moves to the clicked cell.
    F.PartEditor.Store();
    showMagnifier();
}

void TLupeTool::showMagnifier()
{
    // It lies exactly over the current cell, as large as the cell.
    const QRect cell = F.Grid.CellRect(F.Grid.Col(), F.Grid.Row());
    if (cell.isEmpty())
        return;
    F.PartEditor.Show(
        F.Document.Cell(F.Grid.Col(), F.Grid.Row()),
        QRect(cell.topLeft(), QSize(F.Grid.DefaultColWidth(), F.Grid.DefaultRowHeight())));
}

int MapStatusPanelWidth(const QLabel& panel)
{
    const QFontMetrics metrics = panel.fontMetrics();
    QChar widest = u'0';
    for (char16_t digit = u'0'; digit <= u'9'; ++digit) {
        if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widest))
            widest = QChar(digit);
    }
    const QString n(4, widest);
    const QString cell = QStringLiteral("(%1,%1)").arg(n);
    const QStringList texts = {
        cell + QStringLiteral("・パーツ番号:") + QString(3, widest),
        cell + QStringLiteral("-") + cell,
        QStringLiteral("左上の座標:") + cell,
        QStringLiteral("ジャンプ先: ") + cell,
    };
    int width = 0;
    for (const QString& text : texts)
        width = std::max(width, metrics.horizontalAdvance(text));
    // The label's own margins and frame, and a little air.
    return width + 2 * (panel.frameWidth() + panel.margin()) + metrics.averageCharWidth();
}
