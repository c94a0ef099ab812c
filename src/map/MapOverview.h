#pragma once

#include "CellRect.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <array>
#include <bitset>
#include <cstdint>

class TMapDocument;
class TPartsStore;

// The whole map in small: every part's average colour, and a picture of the map in which
// each pixel is the average colour of a square block of cells (BlockSize() cells a side,
// chosen per map so that the picture stays within MaxPictureSide pixels a side). It follows
// the document and the parts through their signals and recomputes only the blocks that a
// change touches: the cells of an edit, the blocks holding a part whose colour changed; a
// new map is built again. Each update is announced once, with the pixels it changed.
//
// Colours are averaged per channel and rounded to nearest: a part's over its pixels, a
// block's over its cells' part colours.
class TMapOverview : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxPictureSide = 2048;

    // Builds the picture of the document as it is. Both models outlive the overview.
    TMapOverview(const TMapDocument& doc, const TPartsStore& parts, QObject* parent = nullptr);

    // Cells per picture pixel, each way, for a map of this size.
    static int BlockSizeFor(int mapWidth, int mapHeight);
    // The average colour of a picture (opaque), rounded per channel.
    static QRgb AverageColor(const QImage& picture);

    int BlockSize() const { return FBlock; }
    // RGB32, ceil(MapWidth / BlockSize) x ceil(MapHeight / BlockSize).
    const QImage& Picture() const { return FPicture; }
    QRgb PartColor(int part) const { return FPartColors[size_t(part & 0xff)]; }
    // The picture pixels that hold the cells of the rectangle.
    QRect BlocksOf(const TCellRect& cells) const;

    // Everything computed again: the part colours and the whole picture.
    void Rebuild();

    // A part's new colour is gathered for PartDelayMs and the blocks holding the gathered
    // parts are then recomputed in one pass: the edit's own view repaints first, and a
    // stroke of edits in the magnifier costs one pass, not one an edit. Flush does the
    // gathered work now.
    static constexpr int PartDelayMs = 30;
    void Flush();

signals:
    // The pixels of the rectangle changed; after a new map, the whole picture, perhaps of
    // another size.
    void pictureChanged(const QRect& pixels);

private:
    void cellsChanged(const TCellRect& rect);
    void partChanged(int part);
    void allPartsChanged();
    void setPartColor(int part, QRgb color);
    // Recomputes the blocks of the rectangle (picture pixels), on several threads when it
    // is large.
    void computeBlocks(const QRect& blocks);
    // Recomputes the blocks that hold the part; returns the rectangle they span.
    QRect recomputePart(uint8_t part);

    const TMapDocument& FDoc;
    const TPartsStore& FParts;
    int FBlock = 1;
    QImage FPicture;
    std::array<QRgb, 256> FPartColors{};
    // The part colours with each channel in a field of its own, so that a block's sums
    // are one addition per cell: blue in bits 0-20, green 21-41, red 42-62.
    std::array<uint64_t, 256> FPacked{};
    // The parts whose colour changed since the picture was last brought up to date.
    std::bitset<256> FPendingParts;
    QTimer FPartTimer;
};
