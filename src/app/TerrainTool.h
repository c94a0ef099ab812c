#pragma once

#include "CellRect.h"
#include "MapTools.h"

#include <QPointF>
#include <QString>
#include <memory>

class TTerrainPainter;

// Paints the chosen terrain: a press paints at the corner or edge nearest the pointer, a
// drag along the pointer's path, and the cells there take parts that fit their neighbours.
// The drag shows the map as it will be; the release makes it one undo step. With random
// placement, parts that fit alike are drawn by their probabilities. Without a usable terrain
// set the tool paints nothing and the status bar says why.
class TTerrainTool : public TMapGridTool
{
public:
    explicit TTerrainTool(const TMapToolContext& context);
    ~TTerrainTool() override;

    void Activate() override;
    void Deactivate() override;
    Qt::CursorShape Cursor() const override { return Qt::CrossCursor; }
    bool SelectsRange() const override { return false; }
    uint8_t PreviewPart(int col, int row) const override;

protected:
    TDragPreview DragPreview() const override { return TDragPreview::Terrain; }
    void Pressed() override;
    void Dragged(const QPoint& cell) override;
    void LeftReleased(Qt::KeyboardModifiers keys) override;

private:
    // The pointer in cells: the cell (x, y) spans x..x+1.
    QPointF pointerInCells() const;
    // Paints from the last pointer position to this one and shows what changed.
    void paintTo(QPointF point);
    // Drops the edit, showing the cells as they are again.
    void drop();

    std::unique_ptr<TTerrainPainter> FPainter;
    QPointF FLast;
    bool FActive = false;
};

// Fills the rectangle with the chosen terrain, the cells around it fitted, as one undo step.
// False, with the reason in `why`, when there is no terrain to fill with.
bool FillWithTerrain(TMapDocument& doc, const TTerrainStore& terrain, const TCellRect& rect,
                     bool random, QString& why);
