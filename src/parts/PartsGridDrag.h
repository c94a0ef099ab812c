#pragma once

#include "ProgramModels.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <functional>
#include <optional>

class TDrawGrid;

// A drag between parts on the parts grid. The press picks the source part, the current cell
// is the target, and the keys held at the release decide the drop: Shift exchanges the two
// parts, Ctrl copies the source onto the target, both lay the source over the target, and
// without either the selection becomes the group part the map is painted with.
class TPartsGridDrag
{
public:
    // Runs the transparency dialog: part `source` laid over a copy of `target`, or nullopt
    // on Cancel. Without one, the overlay drop does nothing.
    using TRunOverlay = std::function<std::optional<QImage>(int source, const QImage& target)>;

    // `runOverlay` is the window's, read at each drop.
    TPartsGridDrag(TDrawGrid& grid, const TProgramModels& models, const TRunOverlay& runOverlay);

    // The drag's note for the status bar: source and target.
    std::function<void(const QString& text)> ShowStatus;

    void Press(const QPoint& pos);
    void Move(Qt::KeyboardModifiers shift, const QPoint& pos);
    // Drops; false when no drag was under way.
    bool Release(Qt::KeyboardModifiers shift);

private:
    QPoint nearestCell(const QPoint& pos) const;
    int sourcePart() const;
    int currentPart() const;
    void exchangeParts(int source, int target);
    void copyPart(int source, int target);
    void overlayParts(int source, int target);
    void pickGroupPart();

    TDrawGrid& FGrid;
    TProgramModels FModels;
    const TRunOverlay& FRunOverlay;
    bool DragActive = false;
    int DragCol = 0;
    int DragRow = 0;
};
