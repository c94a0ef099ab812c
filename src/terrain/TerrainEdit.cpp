#include "TerrainEdit.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace TerrainEdit {

namespace {

// Where the places sit in a part, 0..1 across and down.
constexpr std::array<QPointF, 8> PlacePoint = {QPointF(0.5, 0), QPointF(1, 0),   QPointF(1, 0.5),
                                               QPointF(1, 1),   QPointF(0.5, 1), QPointF(0, 1),
                                               QPointF(0, 0.5), QPointF(0, 0)};

// The terrain (1) or not (0) at the corners of the 4 x 4 corner block: every 2 x 2 window,
// the last row and column wrapping round to the first, is another combination, so the block
// also fits against copies of itself.
constexpr int CornerGrid[4][4] = {{1, 1, 1, 0}, {1, 1, 0, 1}, {0, 1, 0, 0}, {1, 0, 0, 0}};
// The same for edges: a part's top and bottom are one pair of this cycle, its left and
// right another.
constexpr int EdgeCycle[4] = {1, 1, 0, 0};

uint8_t colorOf(int terrain)
{
    return terrain ? 1 : 2;
}

std::vector<TWangId> cornerIds()
{
    std::vector<TWangId> ids;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            TWangId id{};
            id[Wang::TopLeft] = colorOf(CornerGrid[r][c]);
            id[Wang::TopRight] = colorOf(CornerGrid[r][(c + 1) % 4]);
            id[Wang::BottomRight] = colorOf(CornerGrid[(r + 1) % 4][(c + 1) % 4]);
            id[Wang::BottomLeft] = colorOf(CornerGrid[(r + 1) % 4][c]);
            ids.push_back(id);
        }
    }
    return ids;
}

std::vector<TWangId> edgeIds()
{
    std::vector<TWangId> ids;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            TWangId id{};
            id[Wang::Top] = colorOf(EdgeCycle[r]);
            id[Wang::Bottom] = colorOf(EdgeCycle[(r + 1) % 4]);
            id[Wang::Left] = colorOf(EdgeCycle[c]);
            id[Wang::Right] = colorOf(EdgeCycle[(c + 1) % 4]);
            ids.push_back(id);
        }
    }
    return ids;
}

std::vector<TWangId> blobIds()
{
    // A corner and the two edges beside it.
    struct TCorner
    {
        int Place, EdgeA, EdgeB;
    };
    static constexpr TCorner Corners[4] = {{Wang::TopRight, Wang::Top, Wang::Right},
                                           {Wang::BottomRight, Wang::Right, Wang::Bottom},
                                           {Wang::BottomLeft, Wang::Bottom, Wang::Left},
                                           {Wang::TopLeft, Wang::Left, Wang::Top}};
    static constexpr int Edges[4] = {Wang::Top, Wang::Right, Wang::Bottom, Wang::Left};
    std::vector<TWangId> ids;
    for (int edges = 0; edges < 16; ++edges) {
        for (int corners = 0; corners < 16; ++corners) {
            TWangId id{};
            for (int e = 0; e < 4; ++e)
                id[Edges[e]] = colorOf(edges >> e & 1);
            bool allowed = true;
            for (int k = 0; k < 4; ++k) {
                const bool on = corners >> k & 1;
                const TCorner& corner = Corners[k];
                if (on && (id[corner.EdgeA] != 1 || id[corner.EdgeB] != 1))
                    allowed = false;
                id[corner.Place] = colorOf(on);
            }
            if (allowed)
                ids.push_back(id);
        }
    }
    return ids;
}

TWangTile* tileOf(TWangSet& set, int part)
{
    for (TWangTile& tile : set.Tiles) {
        if (tile.TileId == part)
            return &tile;
    }
    return nullptr;
}

// Puts the part's colours in the set, or takes it out when it has none. A new part goes
// before the first of a higher number.
void putId(TWangSet& set, int part, const TWangId& id)
{
    const bool empty = std::all_of(id.begin(), id.end(), [](uint8_t c) { return c == 0; });
    auto at = std::find_if(set.Tiles.begin(), set.Tiles.end(),
                           [part](const TWangTile& t) { return t.TileId == part; });
    if (at != set.Tiles.end()) {
        if (empty)
            set.Tiles.erase(at);
        else
            at->WangId = id;
    } else if (!empty) {
        at = std::find_if(set.Tiles.begin(), set.Tiles.end(),
                          [part](const TWangTile& t) { return t.TileId > part; });
        set.Tiles.insert(at, TWangTile{part, id, {}});
    }
}

} // namespace

QSize LayoutSize(TLayout layout)
{
    return layout == TLayout::Corner16 ? QSize(4, 4) : QSize(8, 6);
}

const std::vector<TWangId>& LayoutIds(TLayout layout, TWangType type)
{
    static const std::vector<TWangId> corners = cornerIds();
    static const std::vector<TWangId> edges = edgeIds();
    static const std::vector<TWangId> blob = blobIds();
    if (layout == TLayout::Blob47)
        return blob;
    return type == TWangType::Edge ? edges : corners;
}

int PlaceAt(TWangType type, QPointF point)
{
    const double x = std::clamp(point.x(), 0.0, 1.0);
    const double y = std::clamp(point.y(), 0.0, 1.0);
    if (type == TWangType::Corner)
        return y < 0.5 ? (x < 0.5 ? Wang::TopLeft : Wang::TopRight)
                       : (x < 0.5 ? Wang::BottomLeft : Wang::BottomRight);
    if (type == TWangType::Mixed) {
        static constexpr int Ninths[3][3] = {{7, 0, 1}, {6, -1, 2}, {5, 4, 3}};
        const int place = Ninths[std::min(2, int(y * 3))][std::min(2, int(x * 3))];
        if (place >= 0)
            return place;
    }
    // The nearest side (edge sets), or the nearest place from the middle (mixed sets).
    int best = 0;
    double bestDistance = 1e9;
    for (int place = 0; place < 8; ++place) {
        if (type == TWangType::Edge && place % 2)
            continue;
        const double d = std::hypot(x - PlacePoint[place].x(), y - PlacePoint[place].y());
        if (d < bestDistance) {
            bestDistance = d;
            best = place;
        }
    }
    return best;
}

QString UniqueSetName(const TTerrainSheet& sheet, const QString& base)
{
    auto used = [&](const QString& name) {
        return std::any_of(sheet.Sets.begin(), sheet.Sets.end(),
                           [&](const TWangSet& s) { return s.Name == name; });
    };
    QString name = base;
    for (int n = 2; used(name); ++n)
        name = QStringLiteral("%1 %2").arg(base).arg(n);
    return name;
}

int AddSet(TTerrainSheet& sheet, const QString& name, TWangType type)
{
    TWangSet set;
    set.Name = name;
    set.Type = type;
    sheet.Sets.push_back(std::move(set));
    return int(sheet.Sets.size()) - 1;
}

void DeleteSet(TTerrainSheet& sheet, int set)
{
    if (set >= 0 && set < int(sheet.Sets.size()))
        sheet.Sets.erase(sheet.Sets.begin() + set);
}

void SetType(TWangSet& set, TWangType type)
{
    set.Type = type;
    const uint8_t mask = set.PlaceMask();
    std::vector<TWangTile> tiles = std::move(set.Tiles);
    set.Tiles.clear();
    for (TWangTile& tile : tiles) {
        bool any = false;
        for (int place = 0; place < 8; ++place) {
            if (!(mask >> place & 1))
                tile.WangId[place] = 0;
            any = any || tile.WangId[place];
        }
        if (any)
            set.Tiles.push_back(std::move(tile));
    }
}

QColor SuggestedColor(const TWangSet& set)
{
    static const QColor colors[] = {QColor(0xff, 0x00, 0x00), QColor(0x00, 0xb0, 0x00),
                                    QColor(0x00, 0x40, 0xff), QColor(0xff, 0x88, 0x00),
                                    QColor(0x00, 0xd0, 0xe0), QColor(0xe0, 0x00, 0xd0),
                                    QColor(0xe0, 0xd0, 0x00), QColor(0x70, 0x00, 0xff)};
    return colors[set.Colors.size() % std::size(colors)];
}

int AddColor(TWangSet& set, const QString& name, const QColor& color)
{
    if (int(set.Colors.size()) >= Wang::MaxColors)
        return 0;
    TWangColor added;
    added.Name = name;
    added.Color = color;
    set.Colors.push_back(std::move(added));
    return int(set.Colors.size());
}

void DeleteColor(TWangSet& set, int color)
{
    if (color < 1 || color > int(set.Colors.size()))
        return;
    set.Colors.erase(set.Colors.begin() + (color - 1));
    std::vector<TWangTile> tiles = std::move(set.Tiles);
    set.Tiles.clear();
    for (TWangTile& tile : tiles) {
        bool any = false;
        for (uint8_t& c : tile.WangId) {
            if (c == color)
                c = 0;
            else if (c > color)
                --c;
            any = any || c;
        }
        if (any)
            set.Tiles.push_back(std::move(tile));
    }
}

TWangId IdOf(const TWangSet& set, int part)
{
    for (const TWangTile& tile : set.Tiles) {
        if (tile.TileId == part)
            return tile.WangId;
    }
    return {};
}

bool SetPlace(TWangSet& set, int part, int place, uint8_t color)
{
    if (part < 0 || part >= SheetSide * SheetSide || place < 0 || place > 7 ||
        !(set.PlaceMask() >> place & 1) || color > set.Colors.size())
        return false;
    const TWangTile* tile = tileOf(set, part);
    TWangId id = tile ? tile->WangId : TWangId{};
    if (id[place] == color)
        return false;
    id[place] = color;
    putId(set, part, id);
    return true;
}

QString LayoutProblem(const TWangSet& set, TLayout layout, int topLeft)
{
    if (layout == TLayout::Corner16 && set.Type == TWangType::Mixed)
        return QStringLiteral("16 パーツの配置はコーナーかエッジの地形セットに使えます");
    if (layout == TLayout::Blob47 && set.Type != TWangType::Mixed)
        return QStringLiteral("47 パーツの配置は混合の地形セットに使えます");
    const QSize size = LayoutSize(layout);
    if (topLeft < 0 || topLeft % SheetSide + size.width() > SheetSide ||
        topLeft / SheetSide + size.height() > SheetSide)
        return QStringLiteral("%1 x %2 パーツがパーツ %3 から右下に収まりません")
            .arg(size.width())
            .arg(size.height())
            .arg(topLeft);
    return {};
}

bool StampLayout(TWangSet& set, TLayout layout, int topLeft, uint8_t color, uint8_t other)
{
    if (!LayoutProblem(set, layout, topLeft).isEmpty())
        return false;
    const int columns = LayoutSize(layout).width();
    const std::vector<TWangId>& ids = LayoutIds(layout, set.Type);
    for (size_t i = 0; i < ids.size(); ++i) {
        TWangId id{};
        for (int place = 0; place < 8; ++place) {
            if (ids[i][place])
                id[place] = ids[i][place] == 1 ? color : other;
        }
        putId(set, topLeft + int(i) / columns * SheetSide + int(i) % columns, id);
    }
    return true;
}

} // namespace TerrainEdit
