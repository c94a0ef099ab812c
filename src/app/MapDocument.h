#pragma once

#include "CellRect.h"
#include "ZeroedAllocator.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

// The map being edited: its cells, the one-level undo store and the group part (the
// painting brush). Knows nothing of windows: every change is announced by a signal, once
// per operation, and the views repaint what it names.
//
// Cells are stored column by column in one contiguous array, so that column x, row y
// is MapCells()[x * MapHeight() + y]. The undo store has the same shape. The group part
// lives in a store of max(width, 16) x max(height, 16) cells, also column by column.
class TMapDocument : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxMapSize = 9999;
    static constexpr int MinGroupStoreSize = 16;

    explicit TMapDocument(QObject* parent = nullptr);

    uint16_t MapWidth() const { return FWidth; }
    uint16_t MapHeight() const { return FHeight; }
    bool MapModified() const { return FModified; }
    void SetMapModified(bool modified);

    uint8_t Cell(int x, int y) const { return FCells[Index(x, y)]; }
    // Sets one cell; no undo step, MapModified left alone.
    void SetCell(int x, int y, uint8_t part);
    // Column-major storage, MapWidth() * MapHeight() bytes. Writing through it announces
    // nothing.
    std::span<uint8_t> MapCells() { return FCells; }
    std::span<const uint8_t> MapCells() const { return FCells; }

    // Re-creates the document: all cells part 0, nothing to undo, not modified. The group
    // part keeps its size when it still fits its new store, else it becomes 1 x 1. Sizes
    // outside 1..MaxMapSize throw std::invalid_argument; a failed allocation throws
    // std::bad_alloc. Either way the document is left exactly as it was.
    void NewMap(int width, int height);

    // The stores of a new map, allocated apart from the document, so that a caller can
    // allocate first, do what may not fail halfway, and then put them in place.
    struct TMapStores
    {
        int Width = 0;
        int Height = 0;
        int GroupStoreWidth = 0;
        int GroupStoreHeight = 0;
        TCellVector Cells;
        TCellVector UndoCells;
        TCellVector GroupCells;
    };
    // Throws as NewMap does; the document is not touched.
    static TMapStores AllocateStores(int width, int height);
    // NewMap with stores already allocated; cannot fail.
    void NewMap(TMapStores&& stores);

    // Copies the (ordered) rectangle into the undo store and makes undo available.
    void TakeUndoSnapshot(const TCellRect& rect);
    // Normalises, snapshots, then sets every cell of the rectangle to the part. Leaves
    // MapModified alone.
    void FillMapRect(const TCellRect& rect, uint8_t part);
    // Swaps parts A and B in the (ordered) rectangle. No snapshot. Every cell holding A or
    // B marks the map modified, even when A equals B.
    void ExchangePartsInRect(const TCellRect& rect, uint8_t partA, uint8_t partB);

    bool UndoAvailable() const { return FUndoAvailable; }
    TCellRect UndoRect() const { return FUndoRect; }
    // Restores the cells of the undo rectangle and returns it for redrawing; nullopt when
    // there is nothing to undo. MapModified keeps its value; undo is then unavailable.
    std::optional<TCellRect> Undo();

    // The group part.
    int GroupWidth() const { return FGroupWidth; }
    int GroupHeight() const { return FGroupHeight; }
    int GroupStoreWidth() const { return FGroupStoreWidth; }
    int GroupStoreHeight() const { return FGroupStoreHeight; }
    uint8_t GroupCell(int gx, int gy) const;
    // Sets the group part; partAt(gx, gy) gives each cell. Sizes beyond the store or below
    // 1 throw std::out_of_range and change nothing.
    void SetGroupPart(int width, int height, const std::function<uint8_t(int, int)>& partAt);
    void SetGroupSingle(uint8_t part);

    // Lays the group part tiled over the rectangle, anchored at its top-left cell; takes a
    // snapshot first and marks the map modified.
    void StampGroup(const TCellRect& rect);
    // Fills the rectangle with cells of the group part drawn at random (column, then row
    // within the group part for each cell); snapshot first, marks the map modified.
    // Seeded from the time of day in milliseconds unless a seed is given.
    void ScatterGroup(const TCellRect& rect, std::optional<uint64_t> seed = std::nullopt);
    // Every cell of the rectangle holding `before` becomes `after`; no snapshot. Marks the
    // map modified when a cell changed. Returns whether one did.
    bool ReplaceParts(const TCellRect& rect, uint8_t before, uint8_t after);
    // Makes the rectangle of the map the group part. The map is not changed.
    void CaptureGroup(const TCellRect& rect);

signals:
    // The cells of the rectangle changed (one signal per operation; nothing for an
    // operation that changed no cell).
    void cellsChanged(const TCellRect& rect);
    // The whole map was replaced: a new map or a loaded one, perhaps of another size.
    void mapReplaced();
    void groupPartChanged();
    void modifiedChanged(bool modified);
    void undoAvailableChanged(bool available);
    void redoAvailableChanged(bool available);

private:
    size_t Index(int x, int y) const { return size_t(x) * FHeight + size_t(y); }
    size_t GroupIndex(int gx, int gy) const { return size_t(gx) * FGroupStoreHeight + size_t(gy); }
    // Normalises and checks that the rectangle lies inside the map.
    TCellRect CheckedRect(const TCellRect& rect) const;
    void SetUndoAvailable(bool available);
    // Whether every cell of the group part is part 0.
    bool groupIsBlank() const;

    uint16_t FWidth = 0;
    uint16_t FHeight = 0;
    bool FModified = false;
    TCellVector FCells;
    TCellVector FUndoCells;
    TCellRect FUndoRect;
    bool FUndoAvailable = false;
    TCellVector FGroupCells;
    int FGroupStoreWidth = 0;
    int FGroupStoreHeight = 0;
    int FGroupWidth = 1;
    int FGroupHeight = 1;
};
