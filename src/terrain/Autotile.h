#pragma once

#include "CellRng.h"
#include "WangMatcher.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <span>

// A map made from a picture of terrain colours: one pixel per corner for a corner set
// ((W + 1) x (H + 1) pixels for W x H cells), one per corner, edge and cell centre for edge
// and mixed sets ((2W + 1) x (2H + 1)). Every cell takes a part whose colours are those of its
// pixels, so neighbours always agree where the set has the parts.

// The map size a picture gives for the set, or an empty size when its size does not fit the
// layout (an edge picture's sides must be odd).
QSize AutotileMapSize(QSize picture, const TWangSet& set);

struct TAutotileResult
{
    QString Error;        // a pixel that is no terrain of the set, with its position
    qint64 Unmatched = 0; // cells the set has no part for: they took the closest
    bool Ok() const { return Error.isEmpty(); }
};

// Fills `cells` (column by column, the map size AutotileMapSize gives) from the picture.
// With `rng` the parts are drawn by probability, else the heaviest is taken.
TAutotileResult AutotileCells(const QImage& picture, const TWangSet& set,
                              const TWangMatcher& matcher, std::span<uint8_t> cells,
                              TCellRng* rng = nullptr);
