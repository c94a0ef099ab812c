#pragma once

#include <QColor>
#include <QString>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

// Terrain sets: which parts show which terrain at their corners and edges.
//
// A wang id gives a part's terrain colour at its eight places, clockwise from the top edge:
// top, top-right, right, bottom-right, bottom, bottom-left, left, top-left. Colours are
// numbered from 1 in their set's order; 0 is no terrain (in a requirement: don't care).

using TWangId = std::array<uint8_t, 8>;

namespace Wang {
inline constexpr int Top = 0;
inline constexpr int TopRight = 1;
inline constexpr int Right = 2;
inline constexpr int BottomRight = 3;
inline constexpr int Bottom = 4;
inline constexpr int BottomLeft = 5;
inline constexpr int Left = 6;
inline constexpr int TopLeft = 7;
// The most colours a set may have: an index must fit a byte beside 0.
inline constexpr int MaxColors = 254;
} // namespace Wang

enum class TWangType
{
    Corner, // the colours sit on the cells' corners
    Edge,   // on their edges
    Mixed,  // on both
};

// What the program does not use of an element, kept so that writing the file back loses
// nothing another editor put there: attributes, and child nodes (elements, comments, text).
struct TXmlNode
{
    enum class Kind
    {
        Element,
        Text,
        Comment,
        CData,
        Instruction,
    };
    Kind NodeKind = Kind::Element;
    QString Name; // an element's name, an instruction's target
    std::vector<std::pair<QString, QString>> Attributes;
    QString Text; // text, comment, CDATA, an instruction's data
    std::vector<TXmlNode> Children;

    const QString* Attribute(QStringView name) const;
    void SetAttribute(const QString& name, const QString& value);
    void RemoveAttribute(QStringView name);
    bool operator==(const TXmlNode&) const = default;
};

struct TWangColor
{
    QString Name;
    QColor Color;
    int Tile = -1; // the part that shows the terrain, or -1
    double Probability = 1.0;
    TXmlNode Kept; // attributes and children not listed above
};

struct TWangTile
{
    int TileId = 0;
    TWangId WangId{};
    TXmlNode Kept;
};

struct TWangSet
{
    QString Name;
    TWangType Type = TWangType::Corner;
    int Tile = -1;
    std::vector<TWangColor> Colors;
    std::vector<TWangTile> Tiles;
    TXmlNode Kept;

    // The places of a wang id that this set's type uses: corners, edges or all.
    uint8_t PlaceMask() const
    {
        switch (Type) {
        case TWangType::Corner:
            return 0xaa;
        case TWangType::Edge:
            return 0x55;
        case TWangType::Mixed:
            break;
        }
        return 0xff;
    }
};

QString WangTypeName(TWangType type);
