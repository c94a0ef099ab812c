#pragma once

// The undo steps of the map document: internal to the document's units.

#include "MapDocument.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// Swaps two byte ranges through a small buffer that stays in the cache.
void SwapMapBytes(uint8_t* a, uint8_t* b, size_t n);

// Bytes of a replace step's bit mask per column: one bit per cell, each column starting on
// a byte of its own.
inline size_t MaskColumnBytes(int height)
{
    return (size_t(height) + 7) / 8;
}

// What every map step shares: the rectangle it changed, whether it counts as a change of the
// map (for the modified flag) and the bytes it keeps.
class TMapDocument::TMapStep : public TUndoStep
{
public:
    TMapStep(TMapDocument* doc, const TCellRect& rect) : Doc(doc), Rect(rect) {}

    void Undo() override
    {
        undoCells();
        Doc->stepApplied(Rect, Counts);
    }
    void Redo() override
    {
        redoCells();
        Doc->stepApplied(Rect, Counts);
    }

    TMapDocument* Doc;
    TCellRect Rect;
    bool Counts = true;
    TStepBuffer Buffer;

protected:
    virtual void undoCells() = 0;
    virtual void redoCells() = 0;
    uint8_t* column(int x) { return &Doc->FCells[Doc->Index(x, Rect.Top)]; }
};

// The old cells of a rectangle. Undo swaps them with the map's, so that the buffer then
// holds the cells for redo.
class TMapDocument::TRectStep : public TMapStep
{
public:
    TRectStep(TMapDocument* doc, const TCellRect& rect, TStepBuffer buffer) : TMapStep(doc, rect)
    {
        Buffer = std::move(buffer);
        const size_t h = size_t(Rect.Height());
        for (int x = Rect.Left; x <= Rect.Right; ++x)
            std::memcpy(&Buffer.Data[size_t(x - Rect.Left) * h], column(x), h);
    }
    qint64 Bytes() const override { return qint64(sizeof(*this) + Buffer.Size); }

protected:
    void undoCells() override { swap(); }
    void redoCells() override { swap(); }

private:
    void swap()
    {
        const size_t h = size_t(Rect.Height());
        for (int x = Rect.Left; x <= Rect.Right; ++x)
            SwapMapBytes(&Buffer.Data[size_t(x - Rect.Left) * h], column(x), h);
    }
};

// The old cells of the changed run of each column: an edit that touches a few cells of many
// columns (a long diagonal stroke) keeps those cells, not its whole rectangle. Undo swaps
// them with the map's, as a rectangle step does.
class TMapDocument::TSpanStep : public TMapStep
{
public:
    struct TSpan
    {
        int X;
        int Top;
        int Count;
        size_t Offset; // into Buffer
    };

    TSpanStep(TMapDocument* doc, const TCellRect& rect, std::vector<TSpan> spans,
              TStepBuffer buffer)
        : TMapStep(doc, rect), FSpans(std::move(spans))
    {
        Buffer = std::move(buffer);
        for (const TSpan& s : FSpans)
            std::memcpy(&Buffer.Data[s.Offset], cell(s), size_t(s.Count));
    }
    qint64 Bytes() const override
    {
        return qint64(sizeof(*this) + Buffer.Size + FSpans.capacity() * sizeof(TSpan));
    }

protected:
    void undoCells() override { swap(); }
    void redoCells() override { swap(); }

private:
    uint8_t* cell(const TSpan& s) { return &Doc->FCells[Doc->Index(s.X, s.Top)]; }
    void swap()
    {
        for (const TSpan& s : FSpans)
            SwapMapBytes(&Buffer.Data[s.Offset], cell(s), size_t(s.Count));
    }

    std::vector<TSpan> FSpans;
};

// A replace keeps which cells it changed: nothing when no cell of the rectangle held the new
// part before (they are then exactly the cells holding it), else a list of positions when
// few cells changed, else one bit per cell.
class TMapDocument::TReplaceStep : public TMapStep
{
public:
    enum TForm
    {
        AllNewParts,
        Positions,
        Mask
    };

    TReplaceStep(TMapDocument* doc, const TCellRect& rect, uint8_t before, uint8_t after,
                 TForm form)
        : TMapStep(doc, rect), FBefore(before), FAfter(after), FForm(form)
    {
    }
    qint64 Bytes() const override { return qint64(sizeof(*this) + Buffer.Size); }

    // Replaces in the map and writes down what changed.
    void Apply();

protected:
    void undoCells() override { set(FAfter, FBefore); }
    void redoCells() override { set(FBefore, FAfter); }

private:
    void set(uint8_t from, uint8_t to);

    uint8_t FBefore;
    uint8_t FAfter;
    TForm FForm;
    size_t FCount = 0; // positions held
};

// An exchange of two parts is its own inverse: it keeps nothing.
class TMapDocument::TExchangeStep : public TMapStep
{
public:
    TExchangeStep(TMapDocument* doc, const TCellRect& rect, uint8_t partA, uint8_t partB)
        : TMapStep(doc, rect), FPartA(partA), FPartB(partB)
    {
    }
    qint64 Bytes() const override { return qint64(sizeof(*this)); }

protected:
    void undoCells() override { Doc->exchangeInRect(Rect, FPartA, FPartB); }
    void redoCells() override { Doc->exchangeInRect(Rect, FPartA, FPartB); }

private:
    uint8_t FPartA;
    uint8_t FPartB;
};
