#include "MapDocument.h"

#include <algorithm>
#include <cstring>
#include <utility>

// The whole map before a reload: undo and redo swap it with the map's cells.
class TMapDocument::TReloadStep : public TUndoStep
{
public:
    TReloadStep(TMapDocument* doc, TCellVector&& cells, uint16_t width, uint16_t height)
        : FDoc(doc), FCells(std::move(cells)), FWidth(width), FHeight(height)
    {
    }
    void Undo() override { apply(); }
    void Redo() override { apply(); }
    qint64 Bytes() const override { return qint64(sizeof(*this) + FCells.size()); }

private:
    void apply()
    {
        FDoc->swapMap(FCells, FWidth, FHeight);
        // Never the saved map, even where it goes back to the cells last saved.
        FDoc->SetMapModified(true);
    }

    TMapDocument* FDoc;
    TCellVector FCells;
    uint16_t FWidth;
    uint16_t FHeight;
};

void TMapDocument::ReloadFrom(TMapDocument&& loaded)
{
    // A map of the same size keeps for undo only the runs that changed, as an edit does:
    // reloads of a large map do not push the rest of the history out.
    if (loaded.FWidth == FWidth && loaded.FHeight == FHeight) {
        PutCells({0, 0, FWidth - 1, FHeight - 1}, loaded.FCells.data(), size_t(FHeight));
        SetMapModified(false);
        return;
    }
    // The group part's store is never smaller than the map: it grows first, keeping the
    // group part, and stays grown so that undo and redo need no memory.
    const int storeWidth = std::max(FGroupStoreWidth, int(loaded.FWidth));
    const int storeHeight = std::max(FGroupStoreHeight, int(loaded.FHeight));
    if (storeWidth != FGroupStoreWidth || storeHeight != FGroupStoreHeight) {
        TCellVector store(size_t(storeWidth) * size_t(storeHeight));
        for (int gx = 0; gx < FGroupStoreWidth; ++gx)
            std::memcpy(&store[size_t(gx) * size_t(storeHeight)], &FGroupCells[GroupIndex(gx, 0)],
                        size_t(FGroupStoreHeight));
        FGroupCells = std::move(store);
        FGroupStoreWidth = storeWidth;
        FGroupStoreHeight = storeHeight;
    }
    // Room for the old map in the history, made before anything changes.
    FHistory->MakeRoom(qint64(FCells.size()));
    TCellVector cells = std::move(loaded.FCells);
    uint16_t width = loaded.FWidth;
    uint16_t height = loaded.FHeight;
    loaded.FWidth = loaded.FHeight = 0;
    swapMap(cells, width, height);
    FHistory->Push(std::make_unique<TReloadStep>(this, std::move(cells), width, height));
    SetMapModified(false);
}

void TMapDocument::swapMap(TCellVector& cells, uint16_t& width, uint16_t& height)
{
    const bool sameSize = width == FWidth && height == FHeight;
    std::swap(FCells, cells);
    std::swap(FWidth, width);
    std::swap(FHeight, height);
    if (sameSize)
        emit cellsChanged({0, 0, FWidth - 1, FHeight - 1});
    else
        emit mapReplaced();
}
