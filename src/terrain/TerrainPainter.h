#pragma once

#include "CellRect.h"
#include "CellRng.h"
#include "WangMatcher.h"

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

class TMapDocument;

// One terrain edit (a click, a stroke, a fill), worked out beside the document: Part() shows
// the map as the edit would leave it, so a stroke can be shown while it is drawn, and
// Commit() puts it into the document as one undo step.
//
// Terrain is painted on places: the corners of the cells for a corner set, their edges for an
// edge set, both for a mixed set. A place is a point of the doubled grid: (2x, 2y) is the
// top-left corner of cell (x, y), (2x + 1, 2y) its top edge, (2x, 2y + 1) its left edge.
//
// Every cell at a painted place takes a part of the set whose colours match the painted places
// and its neighbours. Where no part does, the cells around are taken in as well, a ring at a
// time up to MaxRings, the search preferring the part a cell has; only when no choice within
// that reach fits every neighbour is a seam left (the closest parts, counted by Unmatched()).
//
// The document must not change while an edit is under way.
class TTerrainPainter
{
public:
    static constexpr int MaxRings = 3;
    // Choices tried by one search before it gives up on a reach.
    static constexpr long SearchBudget = 100000;

    TTerrainPainter(const TMapDocument& doc, const TWangMatcher& matcher);

    // Random placement: parts drawn by probability from the seed; off (nullopt), the heaviest.
    void SetRandom(std::optional<uint64_t> seed);

    // The set's place nearest a point given in cells (the cell (x, y) spans x..x+1).
    QPoint PlaceAt(QPointF point) const;
    // Paints the colour (1..) at the places, then fits the cells at them.
    void PaintPlaces(std::span<const QPoint> places, uint8_t color);
    // Paints the places along a segment of a stroke.
    void PaintLine(QPointF from, QPointF to, uint8_t color);
    // Fills the rectangle with the colour: its cells solid, the cells around it fitted.
    void FillRect(const TCellRect& rect, uint8_t color);

    // The part the cell has with the edit.
    uint8_t Part(int x, int y) const;
    bool HasChanges() const { return FChanged.Right >= FChanged.Left; }
    // The cells the edit changed lie in this rectangle.
    TCellRect Changed() const { return FChanged; }
    // Cells given a part that does not fit all their neighbours.
    long Unmatched() const { return FUnmatched; }
    // Puts the edit into the document as one undo step; false when it changes nothing.
    bool Commit(TMapDocument& doc);

private:
    struct TCellPos
    {
        int X;
        int Y;
        // Column by column, as the map is stored.
        bool operator<(const TCellPos& o) const { return X != o.X ? X < o.X : Y < o.Y; }
        bool operator==(const TCellPos&) const = default;
    };
    struct TFill
    {
        int Left, Top, Right, Bottom; // places, inclusive
        uint8_t Color;
        bool contains(int lx, int ly) const
        {
            return lx >= Left && lx <= Right && ly >= Top && ly <= Bottom;
        }
    };
    // The matcher's list for a requirement, through a small cache: the cells of an edit ask
    // the same few requirements again and again.
    int listOf(const TWangId& required);

    int fixedAt(int lx, int ly) const;
    void setCell(int x, int y, uint8_t part);
    // Makes the window hold `need`; the cells of `fresh` (a new window only) are left for
    // the caller to write.
    void ensureWindow(TCellRect need, const TCellRect* fresh = nullptr);
    bool inMap(int x, int y) const { return x >= 0 && y >= 0 && x < FWidth && y < FHeight; }
    void fit(std::vector<TCellPos> touched);
    bool search(const std::vector<TCellPos>& region, const std::vector<bool>& touched);
    void findNeighbours(const std::vector<TCellPos>& region,
                        std::vector<std::array<int, 8>>& near) const;
    void fitLoosely(const std::vector<TCellPos>& touched);

    const TMapDocument& FDoc;
    const TWangMatcher& FMatcher;
    int FWidth;
    int FHeight;
    std::optional<TCellRng> FRng;
    std::unordered_map<uint64_t, uint8_t> FFixed; // painted places
    std::vector<TFill> FFills;                    // filled rectangles of places, oldest first
    TCellRect FWindow{0, 0, -1, -1};              // the cells held in FCells, column by column
    std::unique_ptr<uint8_t[]> FCells;            // not zeroed: every cell is copied or painted
    TCellRect FChanged{0, 0, -1, -1};
    long FUnmatched = 0;
    struct TCached
    {
        uint64_t Key = ~uint64_t(0);
        int List = -1;
    };
    std::array<TCached, 64> FListCache;
};
