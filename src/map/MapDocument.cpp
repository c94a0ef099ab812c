#include "MapDocument.h"

#include "CellRng.h"
#include "MapSteps.h"
#include "TransposeBytes.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

// Rows drawn at once by the random placement: the picks are made row by row into a band
// buffer and then written column by column, so that the column-major store is written
// sequentially instead of one page per cell.
constexpr int ScatterBandRows = 64;
// Group parts of up to this many cells are drawn from a flat copy (64 KB at most).
constexpr uint32_t ScatterFlatLimit = 1u << 16;

uint64_t millisecondsOfDay()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return uint64_t(ms % (24LL * 60 * 60 * 1000));
}

} // namespace

// ---------------------------------------------------------------------------------------
// The document

TMapDocument::TMapDocument(QObject* parent)
    : QObject(parent), FOwnHistory(std::make_unique<TUndoHistory>())
{
    connectHistory(*FOwnHistory);
    NewMap(101, 101);
}

void TMapDocument::connectHistory(TUndoHistory& history)
{
    FHistory = &history;
    connect(FHistory, &TUndoHistory::undoAvailableChanged, this,
            &TMapDocument::undoAvailableChanged);
    connect(FHistory, &TUndoHistory::redoAvailableChanged, this,
            &TMapDocument::redoAvailableChanged);
}

void TMapDocument::SetHistory(TUndoHistory& history)
{
    if (&history == FHistory)
        return;
    const bool couldUndo = FHistory->CanUndo();
    const bool couldRedo = FHistory->CanRedo();
    disconnect(FHistory, nullptr, this, nullptr);
    connectHistory(history);
    FOwnHistory.reset();
    if (couldUndo != history.CanUndo())
        emit undoAvailableChanged(history.CanUndo());
    if (couldRedo != history.CanRedo())
        emit redoAvailableChanged(history.CanRedo());
}

TMapDocument::~TMapDocument() = default;

void TMapDocument::SetMapModified(bool modified)
{
    if (modified == FModified)
        return;
    FModified = modified;
    emit modifiedChanged(modified);
}

void TMapDocument::SetCell(int x, int y, uint8_t part)
{
    CheckedRect({x, y, x, y});
    uint8_t& cell = FCells[Index(x, y)];
    if (cell == part)
        return;
    cell = part;
    emit cellsChanged({x, y, x, y});
}

bool TMapDocument::groupIsBlank() const
{
    if (FGroupCells.empty())
        return true;
    for (int gx = 0; gx < FGroupWidth; ++gx) {
        const uint8_t* column = &FGroupCells[GroupIndex(gx, 0)];
        if (std::any_of(column, column + FGroupHeight, [](uint8_t c) { return c != 0; }))
            return false;
    }
    return true;
}

TMapDocument::TMapStores TMapDocument::AllocateStores(int width, int height)
{
    if (width < 1 || width > MaxMapSize || height < 1 || height > MaxMapSize)
        throw std::invalid_argument("map size out of range");
    TMapStores stores;
    stores.Width = width;
    stores.Height = height;
    stores.GroupStoreWidth = std::max(width, MinGroupStoreSize);
    stores.GroupStoreHeight = std::max(height, MinGroupStoreSize);
    stores.Cells = TCellVector(size_t(width) * size_t(height));
    stores.GroupCells =
        TCellVector(size_t(stores.GroupStoreWidth) * size_t(stores.GroupStoreHeight));
    return stores;
}

void TMapDocument::NewMap(int width, int height)
{
    // Everything is allocated before anything changes, so a failed allocation leaves the
    // document as it was.
    NewMap(AllocateStores(width, height));
}

void TMapDocument::NewMap(TMapStores&& stores)
{
    const int oldGroupWidth = FGroupWidth;
    const int oldGroupHeight = FGroupHeight;
    const bool groupWasBlank = groupIsBlank();
    FWidth = uint16_t(stores.Width);
    FHeight = uint16_t(stores.Height);
    FCells = std::move(stores.Cells);
    FGroupCells = std::move(stores.GroupCells);
    FGroupStoreWidth = stores.GroupStoreWidth;
    FGroupStoreHeight = stores.GroupStoreHeight;
    // The group part keeps its size (now all part 0) unless the smaller store cannot hold it.
    if (FGroupWidth > FGroupStoreWidth || FGroupHeight > FGroupStoreHeight) {
        FGroupWidth = 1;
        FGroupHeight = 1;
    }
    SetMapModified(false);
    if (FHistory == FOwnHistory.get())
        FHistory->Clear();
    emit mapReplaced();
    if (!groupWasBlank || FGroupWidth != oldGroupWidth || FGroupHeight != oldGroupHeight)
        emit groupPartChanged();
}

TCellRect TMapDocument::CheckedRect(const TCellRect& rect) const
{
    const TCellRect r = rect.NormalizeRect();
    if (r.Left < 0 || r.Top < 0 || r.Right >= FWidth || r.Bottom >= FHeight)
        throw std::out_of_range("cell rectangle outside the map");
    return r;
}

TMapDocument::TStepBuffer TMapDocument::stepBuffer(size_t bytes)
{
    // The steps dropped to make room may hold a buffer of about the right size: repeated
    // whole-map changes then reuse memory that is already mapped.
    std::vector<std::unique_ptr<TUndoStep>> dropped = FHistory->MakeRoom(qint64(bytes));
    for (const std::unique_ptr<TUndoStep>& step : dropped) {
        auto* mapStep = dynamic_cast<TMapStep*>(step.get());
        if (mapStep && mapStep->Buffer.Data && mapStep->Buffer.Size >= bytes &&
            mapStep->Buffer.Size - bytes <= mapStep->Buffer.Size / 8)
            return std::move(mapStep->Buffer);
    }
    dropped.clear();
    TStepBuffer buffer;
    try {
        buffer.Data.reset(new uint8_t[bytes]);
    } catch (const std::bad_alloc&) {
        // The whole history gives its memory to the change about to be made; if even that
        // is not enough, the change does not happen.
        FHistory->Clear();
        buffer.Data.reset(new uint8_t[bytes]);
    }
    buffer.Size = bytes;
    return buffer;
}

std::unique_ptr<TMapDocument::TRectStep> TMapDocument::rectStep(const TCellRect& r)
{
    return std::make_unique<TRectStep>(this, r, stepBuffer(size_t(r.Width()) * size_t(r.Height())));
}

void TMapDocument::pushStep(std::unique_ptr<TMapStep> step, bool keepsModified)
{
    step->Counts = !keepsModified;
    if (step->Counts)
        SetMapModified(true);
    FHistory->Push(std::move(step));
}

void TMapDocument::stepApplied(const TCellRect& rect, bool counts)
{
    // Undo and redo change the map; they never make it the saved one, even where they go
    // back to the cells last saved.
    if (counts)
        SetMapModified(true);
    emit cellsChanged(rect);
}

void TMapDocument::TakeUndoSnapshot(const TCellRect& rect)
{
    const TCellRect r = CheckedRect(rect);
    pushStep(rectStep(r), true);
}

void TMapDocument::FillMapRect(const TCellRect& rect, uint8_t part)
{
    const TCellRect r = CheckedRect(rect);
    std::unique_ptr<TRectStep> step = rectStep(r);
    for (int x = r.Left; x <= r.Right; ++x)
        std::memset(&FCells[Index(x, r.Top)], part, size_t(r.Height()));
    emit cellsChanged(r);
    pushStep(std::move(step), true);
}

bool TMapDocument::exchangeInRect(const TCellRect& r, uint8_t partA, uint8_t partB)
{
    const size_t h = size_t(r.Height());
    bool touched = false;
    for (int x = r.Left; x <= r.Right; ++x) {
        uint8_t* cell = &FCells[Index(x, r.Top)];
        uint8_t hit = 0;
        for (size_t i = 0; i < h; ++i) {
            const uint8_t c = cell[i];
            const bool isA = c == partA;
            const bool isB = c == partB;
            hit |= uint8_t(isA | isB);
            cell[i] = isA ? partB : (isB ? partA : c);
        }
        touched = touched || hit;
    }
    return touched;
}

void TMapDocument::ExchangePartsInRect(const TCellRect& rect, uint8_t partA, uint8_t partB)
{
    const TCellRect r = CheckedRect(rect);
    auto step = std::make_unique<TExchangeStep>(this, r, partA, partB);
    if (!exchangeInRect(r, partA, partB))
        return;
    if (partA == partB) {
        // No cell changed, yet the map counts as modified.
        SetMapModified(true);
        return;
    }
    FHistory->MakeRoom(step->Bytes());
    emit cellsChanged(r);
    pushStep(std::move(step), false);
}

uint8_t TMapDocument::GroupCell(int gx, int gy) const
{
    if (gx < 0 || gy < 0 || gx >= FGroupStoreWidth || gy >= FGroupStoreHeight)
        throw std::out_of_range("group cell outside the group store");
    return FGroupCells[GroupIndex(gx, gy)];
}

void TMapDocument::SetGroupPart(int width, int height,
                                const std::function<uint8_t(int, int)>& partAt)
{
    if (width < 1 || height < 1 || width > FGroupStoreWidth || height > FGroupStoreHeight)
        throw std::out_of_range("group part larger than its store");
    bool changed = width != FGroupWidth || height != FGroupHeight;
    for (int gx = 0; gx < width; ++gx) {
        for (int gy = 0; gy < height; ++gy) {
            uint8_t& cell = FGroupCells[GroupIndex(gx, gy)];
            const uint8_t part = partAt(gx, gy);
            changed = changed || cell != part;
            cell = part;
        }
    }
    FGroupWidth = width;
    FGroupHeight = height;
    if (changed)
        emit groupPartChanged();
}

void TMapDocument::SetGroupSingle(uint8_t part)
{
    SetGroupPart(1, 1, [part](int, int) { return part; });
}

void TMapDocument::StampGroup(const TCellRect& rect)
{
    const TCellRect r = CheckedRect(rect);
    std::unique_ptr<TRectStep> step = rectStep(r);

    const size_t h = size_t(r.Height());
    const int w = r.Width();
    const size_t period = size_t(FGroupHeight);
    // The first group-width columns get their group column repeated downwards by doubling
    // copies; every later column equals the one a group width to its left.
    for (int i = 0; i < std::min(w, FGroupWidth); ++i) {
        uint8_t* dst = &FCells[Index(r.Left + i, r.Top)];
        const uint8_t* src = &FGroupCells[GroupIndex(i, 0)];
        size_t filled = std::min(h, period);
        std::memcpy(dst, src, filled);
        while (filled < h) {
            const size_t n = std::min(filled, h - filled);
            std::memcpy(dst + filled, dst, n);
            filled += n;
        }
    }
    for (int i = FGroupWidth; i < w; ++i) {
        std::memcpy(&FCells[Index(r.Left + i, r.Top)],
                    &FCells[Index(r.Left + i - FGroupWidth, r.Top)], h);
    }
    emit cellsChanged(r);
    pushStep(std::move(step), false);
}

void TMapDocument::ScatterGroup(const TCellRect& rect, std::optional<uint64_t> seed)
{
    const TCellRect r = CheckedRect(rect);

    TCellRng rng(seed ? *seed : millisecondsOfDay());
    const uint32_t gw = uint32_t(FGroupWidth);
    const uint32_t gh = uint32_t(FGroupHeight);
    const uint32_t groupCells = gw * gh;
    // For a group part of moderate size one draw picks the cell: index gx * gh + gy in a
    // flat copy of the group, which is the same as drawing the column and then the row.
    // A huge captured group is drawn column and row apart, straight from its store.
    const bool flat = groupCells <= ScatterFlatLimit;
    std::vector<uint8_t> flatGroup;
    if (flat) {
        flatGroup.resize(groupCells);
        for (uint32_t gx = 0; gx < gw; ++gx)
            std::memcpy(&flatGroup[gx * gh], &FGroupCells[GroupIndex(int(gx), 0)], gh);
    }

    const int w = r.Width();
    std::vector<uint8_t> band(size_t(w) * ScatterBandRows);
    std::unique_ptr<TRectStep> step = rectStep(r);
    for (int y0 = r.Top; y0 <= r.Bottom; y0 += ScatterBandRows) {
        const int rows = std::min(ScatterBandRows, r.Bottom - y0 + 1);
        // Draw row by row, left to right, as the user sees the map.
        uint8_t* out = band.data();
        const size_t drawn = size_t(rows) * w;
        if (flat) {
            for (size_t i = 0; i < drawn; ++i)
                out[i] = flatGroup[rng.Below(groupCells)];
        } else {
            for (size_t i = 0; i < drawn; ++i) {
                const uint32_t gx = rng.Below(gw);
                const uint32_t gy = rng.Below(gh);
                out[i] = FGroupCells[GroupIndex(int(gx), int(gy))];
            }
        }
        TransposeBytes(band.data(), size_t(w), &FCells[Index(r.Left, y0)], FHeight, size_t(rows),
                       size_t(w));
    }
    emit cellsChanged(r);
    pushStep(std::move(step), false);
}

void TMapDocument::replaceInRect(const TCellRect& r, uint8_t before, uint8_t after)
{
    const size_t h = size_t(r.Height());
    for (int x = r.Left; x <= r.Right; ++x) {
        uint8_t* cell = &FCells[Index(x, r.Top)];
        for (size_t i = 0; i < h; ++i) {
            const uint8_t c = cell[i];
            cell[i] = c == before ? after : c;
        }
    }
}

bool TMapDocument::ReplaceParts(const TCellRect& rect, uint8_t before, uint8_t after)
{
    const TCellRect r = CheckedRect(rect);
    if (before == after)
        return false; // nothing can change
    // A look first: how many cells change, and whether any already holds the new part.
    const size_t h = size_t(r.Height());
    size_t count = 0;
    bool afterFound = false;
    for (int x = r.Left; x <= r.Right; ++x) {
        const uint8_t* cell = &FCells[Index(x, r.Top)];
        size_t n = 0;
        uint8_t seen = 0;
        for (size_t i = 0; i < h; ++i) {
            n += cell[i] == before;
            seen |= uint8_t(cell[i] == after);
        }
        count += n;
        afterFound = afterFound || seen;
    }
    if (count == 0)
        return false;

    using TForm = TReplaceStep::TForm;
    const size_t maskBytes = MaskColumnBytes(r.Height()) * size_t(r.Width());
    const size_t positionBytes = count * sizeof(uint32_t);
    const TForm form = !afterFound                 ? TForm::AllNewParts
                       : positionBytes < maskBytes ? TForm::Positions
                                                   : TForm::Mask;
    auto step = std::make_unique<TReplaceStep>(this, r, before, after, form);
    if (form == TForm::AllNewParts)
        FHistory->MakeRoom(step->Bytes());
    else
        step->Buffer = stepBuffer(form == TForm::Positions ? positionBytes : maskBytes);
    step->Apply();
    emit cellsChanged(r);
    pushStep(std::move(step), false);
    return true;
}

bool TMapDocument::PutCells(const TCellRect& rect, const uint8_t* cells, size_t stride)
{
    const TCellRect r = CheckedRect(rect);
    const size_t h = size_t(r.Height());
    // Each column's run from its first changed cell to its last.
    std::vector<TSpanStep::TSpan> spans;
    size_t bytes = 0;
    for (int x = r.Left; x <= r.Right; ++x) {
        const uint8_t* now = &FCells[Index(x, r.Top)];
        const uint8_t* next = cells + size_t(x - r.Left) * stride;
        size_t first = 0;
        while (first < h && now[first] == next[first])
            ++first;
        if (first == h)
            continue;
        size_t last = h - 1;
        while (now[last] == next[last])
            --last;
        spans.push_back({x, r.Top + int(first), int(last - first + 1), bytes});
        bytes += last - first + 1;
    }
    if (spans.empty())
        return false;
    auto step = std::make_unique<TSpanStep>(this, r, std::move(spans), stepBuffer(bytes));
    for (int x = r.Left; x <= r.Right; ++x)
        std::memcpy(&FCells[Index(x, r.Top)], cells + size_t(x - r.Left) * stride, h);
    emit cellsChanged(r);
    pushStep(std::move(step), false);
    return true;
}

void TMapDocument::CaptureGroup(const TCellRect& rect)
{
    const TCellRect r = CheckedRect(rect);
    // The group store is at least as large as the map, so any map rectangle fits.
    bool changed = r.Width() != FGroupWidth || r.Height() != FGroupHeight;
    const size_t h = size_t(r.Height());
    for (int x = r.Left; x <= r.Right; ++x) {
        uint8_t* dst = &FGroupCells[GroupIndex(x - r.Left, 0)];
        const uint8_t* src = &FCells[Index(x, r.Top)];
        if (!changed && std::memcmp(dst, src, h) != 0)
            changed = true;
        std::memcpy(dst, src, h);
    }
    FGroupWidth = r.Width();
    FGroupHeight = r.Height();
    if (changed)
        emit groupPartChanged();
}
