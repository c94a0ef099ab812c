#pragma once

#include "CellRect.h"
#include "UndoHistory.h"
#include "ZeroedAllocator.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// The map being edited: its cells, the undo history and the group part (the painting
// brush). Knows nothing of windows: every change is announced by a signal, once per
// operation, and the views repaint what it names.
//
// Cells are stored column by column in one contiguous array, so that column x, row y
// is MapCells()[x * MapHeight() + y]. The group part lives in a store of
// max(width, 16) x max(height, 16) cells, also column by column.
//
// Its changes go as undo steps into a history: one of its own, or the one it is given
// (SetHistory), which other models share, so that undo follows the order in which changes
// were made. The steps keep only what their change needs: the old cells of a rectangle, or
// for a replace the cells it changed, or nothing at all for an exchange, which is its own
// inverse. The steps refer to the cells of the map they were made on, so a new map
// (NewMap, also a load) ends them: the document empties a history of its own itself, while a
// history it was given is its owner's to clear with the new map. Apart from that the
// document empties the history only to find memory for a change.
//
// MapModified is cleared only by a new map, a load and a successful save; undoing or redoing
// a change sets it, never clears it.
class TMapDocument : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxMapSize = 9999;
    static constexpr int MinGroupStoreSize = 16;

    explicit TMapDocument(QObject* parent = nullptr);
    ~TMapDocument() override;

    uint16_t MapWidth() const { return FWidth; }
    uint16_t MapHeight() const { return FHeight; }
    bool MapModified() const { return FModified; }
    // False: the map as it is now is the saved one (a save calls this). True: it differs
    // from its file.
    void SetMapModified(bool modified);

    uint8_t Cell(int x, int y) const { return FCells[Index(x, y)]; }
    // Sets one cell; no undo step, MapModified left alone.
    void SetCell(int x, int y, uint8_t part);
    // Column-major storage, MapWidth() * MapHeight() bytes. Writing through it announces
    // nothing.
    std::span<uint8_t> MapCells() { return FCells; }
    std::span<const uint8_t> MapCells() const { return FCells; }

    // Re-creates the document: all cells part 0, not modified; a history of its own is
    // emptied, a given one left to its owner. The group part keeps its size when it still fits its
    // new store, else it becomes 1 x 1. Sizes outside 1..MaxMapSize throw std::invalid_argument; a
    // failed allocation throws std::bad_alloc. Either way the document is left exactly as it was.
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
        TCellVector GroupCells;
    };
    // Throws as NewMap does; the document is not touched.
    static TMapStores AllocateStores(int width, int height);
    // NewMap with stores already allocated; cannot fail.
    void NewMap(TMapStores&& stores);

    // Records the cells of the rectangle as they are now as an undo step, for a change the
    // caller makes to them next through MapCells(). Like a fill, it leaves MapModified alone.
    void TakeUndoSnapshot(const TCellRect& rect);
    // Sets every cell of the rectangle to the part, as one undo step. A fill does not count
    // as a change for MapModified, neither made nor undone.
    void FillMapRect(const TCellRect& rect, uint8_t part);
    // Swaps parts A and B in the rectangle, as one undo step. Every cell holding A or B marks
    // the map modified, even when A equals B (which changes no cell and makes no step).
    void ExchangePartsInRect(const TCellRect& rect, uint8_t partA, uint8_t partB);

    // The history, for the models whose steps share it.
    TUndoHistory& History() { return *FHistory; }
    const TUndoHistory& History() const { return *FHistory; }
    // Puts the document's steps into `history` from now on (it must outlive the document);
    // the document's own history goes.
    void SetHistory(TUndoHistory& history);
    // The memory the history may hold (TUndoHistory::DefaultBudget at first).
    void SetUndoBudget(qint64 bytes) { FHistory->SetBudget(bytes); }
    bool UndoAvailable() const { return FHistory->CanUndo(); }
    bool RedoAvailable() const { return FHistory->CanRedo(); }
    // Take back the last change, or make the last undone one again; false when there is
    // none.
    bool Undo() { return FHistory->Undo(); }
    bool Redo() { return FHistory->Redo(); }

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

    // Lays the group part tiled over the rectangle, anchored at its top-left cell, as one
    // undo step; marks the map modified.
    void StampGroup(const TCellRect& rect);
    // Fills the rectangle with cells of the group part drawn at random (column, then row
    // within the group part for each cell), as one undo step; marks the map modified.
    // Seeded from the time of day in milliseconds unless a seed is given.
    void ScatterGroup(const TCellRect& rect, std::optional<uint64_t> seed = std::nullopt);
    // Every cell of the rectangle holding `before` becomes `after`, as one undo step when a
    // cell changed, which also marks the map modified. Returns whether one did.
    bool ReplaceParts(const TCellRect& rect, uint8_t before, uint8_t after);
    // Sets the cells of the rectangle from `cells`, column by column, `stride` bytes from the
    // top of one column to the next, as one undo step; marks the map modified. For edits
    // worked out apart from the document, such as a terrain stroke. The step keeps only the
    // run of changed cells of each column; when no cell changes there is no step and no
    // signal. Returns whether a cell changed.
    bool PutCells(const TCellRect& rect, const uint8_t* cells, size_t stride);
    // Makes the rectangle of the map the group part. The map is not changed.
    void CaptureGroup(const TCellRect& rect);

    // The map takes the cells and size of `loaded` (the same map read again from its file)
    // as one undo step (none when no cell changed; of the same size, the step keeps only the
    // changed runs); it is then not modified, while undoing or redoing the step marks it
    // modified. Announced as cellsChanged over the whole map when the size stays, else as
    // mapReplaced. `loaded` is used up: only its destruction may follow. Throws
    // std::bad_alloc, changing nothing, when the group part's store cannot grow to the new
    // size.
    void ReloadFrom(TMapDocument&& loaded);

signals:
    // The cells of the rectangle changed (one signal per operation; nothing for an
    // operation that changed no cell). A replace or an exchange names its whole rectangle.
    void cellsChanged(const TCellRect& rect);
    // The whole map was replaced: a new map or a loaded one, perhaps of another size.
    void mapReplaced();
    void groupPartChanged();
    void modifiedChanged(bool modified);
    void undoAvailableChanged(bool available);
    void redoAvailableChanged(bool available);

private:
    class TMapStep;
    class TRectStep;
    class TSpanStep;
    class TReplaceStep;
    class TExchangeStep;
    class TReloadStep;
    // A byte buffer without zero-filling, for the old cells of a step.
    struct TStepBuffer
    {
        std::unique_ptr<uint8_t[]> Data;
        size_t Size = 0;
    };

    size_t Index(int x, int y) const { return size_t(x) * FHeight + size_t(y); }
    size_t GroupIndex(int gx, int gy) const { return size_t(gx) * FGroupStoreHeight + size_t(gy); }
    // Normalises and checks that the rectangle lies inside the map.
    TCellRect CheckedRect(const TCellRect& rect) const;
    // Whether every cell of the group part is part 0.
    bool groupIsBlank() const;

    // Makes room in the history for a step holding `bytes` and returns a buffer of that
    // size, reusing one a dropped step held when it can.
    TStepBuffer stepBuffer(size_t bytes);
    // A step holding the cells of the rectangle as they are now.
    std::unique_ptr<TRectStep> rectStep(const TCellRect& r);
    // Pushes the step of a change just made and announces it. A step that keeps the
    // modified flag leaves the map in the state it was in, as far as saving goes.
    void pushStep(std::unique_ptr<TMapStep> step, bool keepsModified);
    // A step was undone or redone: its rectangle changed, and the map with it when the
    // step counts as a change.
    void stepApplied(const TCellRect& rect, bool counts);
    // The cell loops that steps replay.
    bool exchangeInRect(const TCellRect& r, uint8_t partA, uint8_t partB);
    void replaceInRect(const TCellRect& r, uint8_t before, uint8_t after);
    // Swaps the cells and size with the given ones and announces the change.
    void swapMap(TCellVector& cells, uint16_t& width, uint16_t& height);

    uint16_t FWidth = 0;
    uint16_t FHeight = 0;
    TCellVector FCells;
    TCellVector FGroupCells;
    int FGroupStoreWidth = 0;
    int FGroupStoreHeight = 0;
    int FGroupWidth = 1;
    int FGroupHeight = 1;

    bool FModified = false;

    void connectHistory(TUndoHistory& history);

    std::unique_ptr<TUndoHistory> FOwnHistory; // until SetHistory gives another
    TUndoHistory* FHistory = nullptr;
};
