#include "TmxLayerData.h"

namespace TmxDetail {

namespace {

// The places of a wang id as steps from the tile's centre.
constexpr int PlaceX[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int PlaceY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

int placeAt(int x, int y)
{
    for (int p = 0; p < 8; ++p) {
        if (PlaceX[p] == x && PlaceY[p] == y)
            return p;
    }
    return 0;
}

// The wang id of a tile drawn flipped as the gid's flags say: across the diagonal first,
// then left to right, then top to bottom, as the tile's picture is.
TWangId flippedId(const TWangId& id, uint32_t flags)
{
    TWangId out{};
    for (int p = 0; p < 8; ++p) {
        int x = PlaceX[p];
        int y = PlaceY[p];
        if (flags & FlipV)
            y = -y;
        if (flags & FlipH)
            x = -x;
        if (flags & FlipD)
            std::swap(x, y);
        out[size_t(p)] = id[size_t(placeAt(x, y))];
    }
    return out;
}

// The flag combinations a tile may be drawn with, none first.
constexpr uint32_t Flips[8] = {0,     FlipH,         FlipV,         FlipH | FlipV,
                               FlipD, FlipD | FlipH, FlipD | FlipV, FlipD | FlipH | FlipV};

} // namespace

TTerrainSheet TerrainInParts(const std::vector<Tileset>& tilesets,
                             const std::map<uint32_t, int>& partOfGid)
{
    TTerrainSheet out;
    for (const Tileset& t : tilesets) {
        const auto part = [&](int tile, uint32_t flags) {
            if (tile < 0 || tile >= t.TileCount)
                return -1;
            const auto found = partOfGid.find((t.FirstGid + uint32_t(tile)) | flags);
            return found == partOfGid.end() ? -1 : found->second;
        };
        for (const auto& [tile, probability] : t.Probabilities) {
            for (const uint32_t flags : Flips) {
                if (const int p = part(tile, flags); p >= 0)
                    out.TileProbability[size_t(p)] = probability;
            }
        }
        for (const TWangSet& set : t.Sets) {
            TWangSet kept = set;
            kept.Tiles.clear();
            kept.Tile = part(set.Tile, 0);
            for (TWangColor& c : kept.Colors)
                c.Tile = part(c.Tile, 0);
            for (const TWangTile& tile : set.Tiles) {
                for (const uint32_t flags : Flips) {
                    if (const int p = part(tile.TileId, flags); p >= 0) {
                        kept.Tiles.push_back(tile);
                        kept.Tiles.back().TileId = p;
                        kept.Tiles.back().WangId = flippedId(tile.WangId, flags);
                    }
                }
            }
            if (!kept.Tiles.empty())
                out.Sets.push_back(std::move(kept));
        }
    }
    return out;
}

} // namespace TmxDetail
