#include "PartsGridDrag.h"

#include "DrawGrid.h"
#include "MapDocument.h"
#include "MapSession.h"
#include "PartsStore.h"
#include "Settings.h"

#include <algorithm>

namespace {

const QString DragSourceText = QStringLiteral("コピー又は交換元パーツ:");
const QString DragTargetText = QStringLiteral("カーソル位置パーツ:");

} // namespace

TPartsGridDrag::TPartsGridDrag(TDrawGrid& grid, const TProgramModels& models,
                               const TRunOverlay& runOverlay)
    : FGrid(grid), FModels(models), FRunOverlay(runOverlay)
{
}

int TPartsGridDrag::sourcePart() const
{
    return (DragRow * TPartsStore::SheetSide + DragCol) % TPartsStore::PartCount;
}

int TPartsGridDrag::currentPart() const
{
    return uint8_t(FGrid.Row() * TPartsStore::SheetSide + FGrid.Col());
}

void TPartsGridDrag::Press(const QPoint& pos)
{
    // A press beside or below the 16 x 16 cells picks nothing, so it starts no drag: its
    // release then only redraws the map.
    const QPoint cell = FGrid.MouseToCell(pos);
    DragActive = cell.x() >= 0 && cell.y() >= 0;
    if (DragActive) {
        DragCol = cell.x();
        DragRow = cell.y();
    }
}

// The cell under a viewport point, or the visible cell nearest to it when the point is over
// no cell: the same cell the grid's own range drag picks, so that the target never leaves
// the grid and the view does not jump.
QPoint TPartsGridDrag::nearestCell(const QPoint& pos) const
{
    const QRect view = FGrid.viewport()->rect();
    const QPoint inside(std::clamp(pos.x(), 0, std::max(0, view.width() - 1)),
                        std::clamp(pos.y(), 0, std::max(0, view.height() - 1)));
    const QPoint cell = FGrid.MouseToCell(inside);
    return {cell.x() < 0 ? FGrid.ColCount() - 1 : cell.x(),
            cell.y() < 0 ? FGrid.RowCount() - 1 : cell.y()};
}

void TPartsGridDrag::Move(Qt::KeyboardModifiers shift, const QPoint& pos)
{
    if (!DragActive || !(shift & (Qt::ShiftModifier | Qt::ControlModifier)))
        return; // the grid's own range selection follows the pointer
    // The target follows the pointer; setting the current cell collapses the selection, so
    // only the target shows inverted.
    const QPoint cell = nearestCell(pos);
    if (cell.x() != FGrid.Col())
        FGrid.SetCol(cell.x());
    if (cell.y() != FGrid.Row())
        FGrid.SetRow(cell.y());
    if (ShowStatus) {
        ShowStatus(DragSourceText + QString::number(sourcePart()) + QStringLiteral(" / ") +
                   DragTargetText + QString::number(currentPart()));
    }
}

bool TPartsGridDrag::Release(Qt::KeyboardModifiers shift)
{
    if (!DragActive)
        return false;
    DragActive = false;

    // The keys held now decide, whatever was held when the button went down.
    const bool shiftKey = shift.testFlag(Qt::ShiftModifier);
    const bool ctrlKey = shift.testFlag(Qt::ControlModifier);
    const int source = sourcePart();
    const int target = currentPart();
    if (shiftKey && ctrlKey) {
        overlayParts(source, target);
    } else if (shiftKey) {
        // Also when source and target are the same part: it is then only marked modified.
        exchangeParts(source, target);
    } else if (ctrlKey) {
        copyPart(source, target);
    } else {
        pickGroupPart();
    }
    return true;
}

void TPartsGridDrag::exchangeParts(int source, int target)
{
    // The map follows, so that it looks as before; one undo takes both back.
    FModels.Session.ExchangeParts(uint8_t(source), uint8_t(target));
    FModels.Parts.SetPartsModified();
}

void TPartsGridDrag::copyPart(int source, int target)
{
    TPartsStore& store = FModels.Parts;
    store.EditParts({target}, [&] {
        // Marked modified also when a part is copied onto itself.
        store.CapturePart(target, store.PartBitmap(source), 0, 0);
        return true;
    });
}

void TPartsGridDrag::overlayParts(int source, int target)
{
    if (source == target || !FRunOverlay)
        return;
    TPartsStore& store = FModels.Parts;
    const std::optional<QImage> laid = FRunOverlay(source, store.PartBitmap(target));
    if (laid) {
        store.EditParts({target}, [&] {
            store.CapturePart(target, *laid, 0, 0);
            return true;
        });
    } else {
        // Cancelled, the parts still count as modified.
        store.SetPartsModified();
    }
}

void TPartsGridDrag::pickGroupPart()
{
    const TGridRect sel = FGrid.Selection();
    FModels.Document.SetGroupPart(
        sel.Right - sel.Left + 1, sel.Bottom - sel.Top + 1, [&sel](int gx, int gy) {
            return uint8_t((sel.Top + gy) * TPartsStore::SheetSide + sel.Left + gx);
        });
    FModels.Settings.SetMapTool(mtPaint);
}
