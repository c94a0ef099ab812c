#pragma once

// Terrain sets made for tests: every part shows its colours where they are, as quarters
// (corner sets), as triangles towards its sides (edge sets) or as ninths (mixed sets), so
// that neighbours that do not match show it in their pixels.

#include "MapDocument.h"
#include "WangMatcher.h"
#include "WangSet.h"

#include <QImage>
#include <QPainter>
#include <functional>

namespace TerrainGen {

inline constexpr int PartSide = 6;

inline const QColor& Palette(int color)
{
    static const QColor colors[] = {Qt::black, QColor(0x20, 0xa0, 0x30), QColor(0x20, 0x40, 0xd0),
                                    QColor(0xe0, 0xc0, 0x60), QColor(0x90, 0x20, 0x20)};
    return colors[color];
}

// Every combination of 1..colors at the type's places (parts 0.. in order), less those
// `skip` refuses.
inline TWangSet CompleteSet(TWangType type, int colors,
                            const std::function<bool(const TWangId&)>& skip = {})
{
    TWangSet set;
    set.Name = WangTypeName(type) + QStringLiteral(" set");
    set.Type = type;
    for (int c = 1; c <= colors; ++c)
        set.Colors.push_back({QStringLiteral("terrain %1").arg(c), Palette(c), -1, 1.0, {}});
    const uint8_t mask = set.PlaceMask();
    std::vector<int> places;
    for (int i = 0; i < 8; ++i) {
        if (mask >> i & 1)
            places.push_back(i);
    }
    int combos = 1;
    for (size_t i = 0; i < places.size(); ++i)
        combos *= colors;
    int part = 0;
    for (int n = 0; n < combos && part < 256; ++n) {
        TWangId id{};
        int rest = n;
        for (int p : places) {
            id[p] = uint8_t(1 + rest % colors);
            rest /= colors;
        }
        if (skip && skip(id))
            continue;
        set.Tiles.push_back({part++, id, {}});
    }
    return set;
}

// The place of a part's pixel whose colour it shows.
inline int PlaceOfPixel(TWangType type, int x, int y)
{
    const int s = PartSide;
    if (type == TWangType::Corner)
        return y < s / 2 ? (x < s / 2 ? 7 : 1) : (x < s / 2 ? 5 : 3);
    if (type == TWangType::Edge) {
        const int d[4] = {y, s - 1 - x, s - 1 - y, x};
        return 2 * int(std::min_element(d, d + 4) - d);
    }
    static const int ninths[3][3] = {{7, 0, 1}, {6, -1, 2}, {5, 4, 3}};
    return ninths[y / (s / 3)][x / (s / 3)];
}

// The 16 x 16 parts sheet of the set; parts outside it are black.
inline QImage Sheet(const TWangSet& set)
{
    QImage sheet(16 * PartSide, 16 * PartSide, QImage::Format_RGB32);
    sheet.fill(Qt::black);
    for (const TWangTile& t : set.Tiles) {
        for (int y = 0; y < PartSide; ++y) {
            for (int x = 0; x < PartSide; ++x) {
                const int place = PlaceOfPixel(set.Type, x, y);
                sheet.setPixel(t.TileId % 16 * PartSide + x, t.TileId / 16 * PartSide + y,
                               Palette(place < 0 ? 0 : t.WangId[place]).rgb());
            }
        }
    }
    return sheet;
}

inline std::array<double, 256> evenOdds()
{
    std::array<double, 256> p;
    p.fill(1.0);
    return p;
}

// Neighbours in the set whose touching pixels differ.
inline int seams(const TMapDocument& doc, const TWangMatcher& m, const QImage& sheet)
{
    const int s = PartSide;
    auto pixel = [&](uint8_t part, int x, int y) {
        return sheet.pixel(part % 16 * s + x, part / 16 * s + y);
    };
    int found = 0;
    for (int x = 0; x < doc.MapWidth(); ++x) {
        for (int y = 0; y < doc.MapHeight(); ++y) {
            const uint8_t a = doc.Cell(x, y);
            if (!m.InSet(a))
                continue;
            for (int i = 1; i < s - 1; ++i) {
                if (x + 1 < doc.MapWidth() && m.InSet(doc.Cell(x + 1, y)) &&
                    pixel(a, s - 1, i) != pixel(doc.Cell(x + 1, y), 0, i)) {
                    ++found;
                    break;
                }
                if (y + 1 < doc.MapHeight() && m.InSet(doc.Cell(x, y + 1)) &&
                    pixel(a, i, s - 1) != pixel(doc.Cell(x, y + 1), i, 0)) {
                    ++found;
                    break;
                }
            }
        }
    }
    return found;
}

} // namespace TerrainGen
