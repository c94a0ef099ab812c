#pragma once

#include "TerrainFile.h"
#include "WangSet.h"

#include <QColor>
#include <QPointF>
#include <QSize>
#include <QString>
#include <cstdint>

// The edits the parts window's terrain editor makes to a terrain sheet: sets and their
// colours added, renamed and removed, a part's colour set at one of its places, and whole
// standard layouts marked at once. Parts are numbered as on the 16 x 16 parts sheet.
namespace TerrainEdit {

inline constexpr int SheetSide = 16;

// Standard arrangements of a terrain's parts, laid with the chosen part as the top-left one.
enum class TLayout
{
    // 4 x 4 parts: every combination of two terrains at the four corners (corner sets) or
    // the four edges (edge sets), arranged so that the block fits together and repeats.
    Corner16,
    // 8 x 6 parts, the last place left free: the 47 parts of a blob (a mixed set in which a
    // corner shows the terrain only when both edges beside it do). Ordered by the edges
    // that show the terrain as a number (top 1, right 2, bottom 4, left 8), then by the
    // corners they allow (top-right 1, bottom-right 2, bottom-left 4, top-left 8).
    Blob47,
};

QSize LayoutSize(TLayout layout);
// The layout's wang ids, row by row: 1 the terrain, 2 the other, at the places it uses.
const std::vector<TWangId>& LayoutIds(TLayout layout, TWangType type);

// The place (Wang::Top ..) of a set of this type nearest to a point of a part, given from
// 0 to 1 across and down: the quarter of a corner set, the side of an edge set; a mixed set
// splits the part in thirds, corners in the corner ninths, sides between them.
int PlaceAt(TWangType type, QPointF point);

// A name none of the sets has: `base`, else `base 2`, `base 3`, ...
QString UniqueSetName(const TTerrainSheet& sheet, const QString& base);
// Adds an empty set at the end and returns its index.
int AddSet(TTerrainSheet& sheet, const QString& name, TWangType type);
void DeleteSet(TTerrainSheet& sheet, int set);
// Changes the type; the places it does not use lose their colours.
void SetType(TWangSet& set, TWangType type);

// A colour to offer for the set's next one.
QColor SuggestedColor(const TWangSet& set);
// Adds a colour and returns its number (1..); 0 when the set has Wang::MaxColors already.
int AddColor(TWangSet& set, const QString& name, const QColor& color);
// Removes colour `color` (1..): its places lose their colour, later colours move down one.
void DeleteColor(TWangSet& set, int color);

// The part's colours in the set; all 0 when it is not in it.
TWangId IdOf(const TWangSet& set, int part);
// Sets the part's colour (0: none) at a place; a part left without colours leaves the set.
// False when nothing changed.
bool SetPlace(TWangSet& set, int part, int place, uint8_t color);

// Why the layout cannot be laid in the set at `topLeft`, or empty when it can.
QString LayoutProblem(const TWangSet& set, TLayout layout, int topLeft);
// Lays it: the parts of the block take the layout's colours, `color` for the terrain and
// `other` (0: none) for the rest. False when LayoutProblem objects.
bool StampLayout(TWangSet& set, TLayout layout, int topLeft, uint8_t color, uint8_t other);

} // namespace TerrainEdit
