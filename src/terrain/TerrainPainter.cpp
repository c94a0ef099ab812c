#include "TerrainPainter.h"

#include "MapDocument.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The eight neighbours, in the order of the places: above, above right, right, ...
constexpr int DirX[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int DirY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
// A cell's place i on the doubled grid, from 2 * (x, y).
constexpr int PlaceX[8] = {1, 2, 2, 2, 1, 0, 0, 0};
constexpr int PlaceY[8] = {0, 0, 1, 2, 2, 2, 1, 0};

// The other cells at a cell's place: the neighbour's direction and the place it is to it.
struct TShare
{
    int Count;
    int Dir[3];
    int Place[3];
};
constexpr TShare Shares[8] = {
    {1, {0}, {4}},             // top: the bottom of the cell above
    {3, {2, 1, 0}, {7, 5, 3}}, // top-right corner
    {1, {2}, {6}},             // right
    {3, {2, 3, 4}, {5, 7, 1}}, // bottom-right
    {1, {4}, {0}},             // bottom
    {3, {6, 5, 4}, {3, 1, 7}}, // bottom-left
    {1, {6}, {2}},             // left
    {3, {6, 7, 0}, {1, 3, 5}}, // top-left
};

uint64_t placeKey(int lx, int ly)
{
    return uint64_t(uint32_t(ly)) << 32 | uint32_t(lx);
}

// Cells of a search, by position: open addressing, as the lookups are many and the sets
// small.
class TCellIndex
{
public:
    explicit TCellIndex(size_t count)
    {
        size_t capacity = 16;
        while (capacity < 2 * count)
            capacity *= 2;
        FMask = capacity - 1;
        FKeys.assign(capacity, Empty);
        FValues.resize(capacity);
    }
    void insert(int x, int y, int value)
    {
        const uint32_t key = uint32_t(y) << 16 | uint32_t(x);
        size_t i = hash(key);
        while (FKeys[i] != Empty)
            i = (i + 1) & FMask;
        FKeys[i] = key;
        FValues[i] = value;
    }
    int find(int x, int y) const
    {
        const uint32_t key = uint32_t(y) << 16 | uint32_t(x);
        for (size_t i = hash(key);; i = (i + 1) & FMask) {
            if (FKeys[i] == key)
                return FValues[i];
            if (FKeys[i] == Empty)
                return -1;
        }
    }

private:
    static constexpr uint32_t Empty = 0xffffffffu;
    size_t hash(uint32_t key) const { return size_t((key * 0x9e3779b97f4a7c15ULL) >> 32) & FMask; }
    size_t FMask;
    std::vector<uint32_t> FKeys;
    std::vector<int> FValues;
};

} // namespace

TTerrainPainter::TTerrainPainter(const TMapDocument& doc, const TWangMatcher& matcher)
    : FDoc(doc), FMatcher(matcher), FWidth(doc.MapWidth()), FHeight(doc.MapHeight())
{
}

void TTerrainPainter::SetRandom(std::optional<uint64_t> seed)
{
    FRng.reset();
    if (seed)
        FRng.emplace(*seed);
}

QPoint TTerrainPainter::PlaceAt(QPointF point) const
{
    const double qx = std::clamp(point.x() * 2, 0.0, 2.0 * FWidth);
    const double qy = std::clamp(point.y() * 2, 0.0, 2.0 * FHeight);
    const uint8_t mask = FMatcher.PlaceMask();
    int lx = 0;
    int ly = 0;
    if (mask == 0xaa) { // corners: the nearest even point
        lx = 2 * int(std::lround(qx / 2));
        ly = 2 * int(std::lround(qy / 2));
    } else if (mask == 0x55) { // edges: the nearer of the nearest horizontal and vertical edge
        const int hx = std::min(2 * int(qx / 2) + 1, 2 * FWidth - 1);
        const int hy = 2 * int(std::lround(qy / 2));
        const int vx = 2 * int(std::lround(qx / 2));
        const int vy = std::min(2 * int(qy / 2) + 1, 2 * FHeight - 1);
        const double dh = std::hypot(qx - hx, qy - hy);
        const double dv = std::hypot(qx - vx, qy - vy);
        lx = dh <= dv ? hx : vx;
        ly = dh <= dv ? hy : vy;
    } else { // corners and edges: any point but a cell's centre
        lx = int(std::lround(qx));
        ly = int(std::lround(qy));
        if ((lx & 1) && (ly & 1)) {
            const double dx = qx - lx;
            const double dy = qy - ly;
            if (std::abs(dx) > std::abs(dy))
                lx += dx > 0 ? 1 : -1;
            else
                ly += dy > 0 ? 1 : -1;
        }
    }
    return {lx, ly};
}

int TTerrainPainter::fixedAt(int lx, int ly) const
{
    if (!FFixed.empty()) {
        const auto it = FFixed.find(placeKey(lx, ly));
        if (it != FFixed.end())
            return it->second;
    }
    for (auto it = FFills.rbegin(); it != FFills.rend(); ++it) {
        if (it->contains(lx, ly))
            return it->Color;
    }
    return 0;
}

int TTerrainPainter::listOf(const TWangId& required)
{
    const uint64_t key = FMatcher.Key(required);
    TCached& c = FListCache[size_t((key * 0x9e3779b97f4a7c15ULL) >> 58)];
    if (c.Key != key) {
        c.Key = key;
        c.List = FMatcher.ListOf(required);
    }
    return c.List;
}

uint8_t TTerrainPainter::Part(int x, int y) const
{
    if (FWindow.Contains(x, y))
        return FCells[size_t(x - FWindow.Left) * size_t(FWindow.Height()) +
                      size_t(y - FWindow.Top)];
    return FDoc.Cell(x, y);
}

void TTerrainPainter::ensureWindow(TCellRect need, const TCellRect* fresh)
{
    need.Left = std::max(need.Left, 0);
    need.Top = std::max(need.Top, 0);
    need.Right = std::min(need.Right, FWidth - 1);
    need.Bottom = std::min(need.Bottom, FHeight - 1);
    if (need.Right < need.Left || need.Bottom < need.Top)
        return;
    if (FWindow.Contains(need.Left, need.Top) && FWindow.Contains(need.Right, need.Bottom))
        return;
    const bool first = FWindow.Right < FWindow.Left;
    TCellRect grown = need;
    if (!first) {
        // Grown with room to spare, by half again, so that a long stroke copies its cells a
        // few times in all, not at every step.
        const int mx = std::max(16, FWindow.Width() / 2);
        const int my = std::max(16, FWindow.Height() / 2);
        grown.Left = std::max(std::min(need.Left, FWindow.Left) - mx, 0);
        grown.Top = std::max(std::min(need.Top, FWindow.Top) - my, 0);
        grown.Right = std::min(std::max(need.Right, FWindow.Right) + mx, FWidth - 1);
        grown.Bottom = std::min(std::max(need.Bottom, FWindow.Bottom) + my, FHeight - 1);
    }
    const size_t h = size_t(grown.Height());
    auto cells = std::make_unique_for_overwrite<uint8_t[]>(size_t(grown.Width()) * h);
    std::span<const uint8_t> map = FDoc.MapCells();
    for (int x = grown.Left; x <= grown.Right; ++x) {
        uint8_t* column = &cells[size_t(x - grown.Left) * h];
        const uint8_t* source = &map[size_t(x) * FHeight + grown.Top];
        if (first && fresh && x >= fresh->Left && x <= fresh->Right) {
            // Only above and below the cells the caller writes.
            const size_t top = size_t(fresh->Top - grown.Top);
            const size_t bottom = size_t(fresh->Bottom - grown.Top + 1);
            std::memcpy(column, source, top);
            std::memcpy(column + bottom, source + bottom, h - bottom);
            continue;
        }
        std::memcpy(column, source, h);
        if (x >= FWindow.Left && x <= FWindow.Right) {
            // The part of the column the window already holds comes from it.
            std::memcpy(column + (FWindow.Top - grown.Top),
                        &FCells[size_t(x - FWindow.Left) * size_t(FWindow.Height())],
                        size_t(FWindow.Height()));
        }
    }
    FCells = std::move(cells);
    FWindow = grown;
}

void TTerrainPainter::setCell(int x, int y, uint8_t part)
{
    uint8_t& cell =
        FCells[size_t(x - FWindow.Left) * size_t(FWindow.Height()) + size_t(y - FWindow.Top)];
    cell = part;
    if (part == FDoc.Cell(x, y) || FChanged.Contains(x, y))
        return;
    if (FChanged.Right < FChanged.Left) {
        FChanged = {x, y, x, y};
        return;
    }
    FChanged.Left = std::min(FChanged.Left, x);
    FChanged.Top = std::min(FChanged.Top, y);
    FChanged.Right = std::max(FChanged.Right, x);
    FChanged.Bottom = std::max(FChanged.Bottom, y);
}

void TTerrainPainter::PaintPlaces(std::span<const QPoint> places, uint8_t color)
{
    if (color == 0 || color > FMatcher.ColorCount())
        return;
    std::vector<TCellPos> touched;
    for (const QPoint& p : places) {
        const int lx = p.x();
        const int ly = p.y();
        if (lx < 0 || ly < 0 || lx > 2 * FWidth || ly > 2 * FHeight || ((lx & 1) && (ly & 1)))
            continue;
        // Only the places the set has: corners are even on both axes, edges on one.
        const bool corner = !(lx & 1) && !(ly & 1);
        if (corner ? !(FMatcher.PlaceMask() & 0xaa) : !(FMatcher.PlaceMask() & 0x55))
            continue;
        FFixed[placeKey(lx, ly)] = color;
        for (int cx = (lx - 1) >> 1; cx <= lx >> 1; ++cx) {
            for (int cy = (ly - 1) >> 1; cy <= ly >> 1; ++cy) {
                if (inMap(cx, cy))
                    touched.push_back({cx, cy});
            }
        }
    }
    fit(std::move(touched));
}

void TTerrainPainter::PaintLine(QPointF from, QPointF to, uint8_t color)
{
    const QPointF d = to - from;
    const int steps = std::max(1, int(std::ceil(std::hypot(d.x(), d.y()) * 4)));
    std::vector<QPoint> places;
    for (int s = 0; s <= steps; ++s) {
        const QPoint p = PlaceAt(from + d * (double(s) / steps));
        if (places.empty() || places.back() != p)
            places.push_back(p);
    }
    PaintPlaces(places, color);
}

void TTerrainPainter::FillRect(const TCellRect& rect, uint8_t color)
{
    TCellRect r = rect.NormalizeRect();
    r.Left = std::max(r.Left, 0);
    r.Top = std::max(r.Top, 0);
    r.Right = std::min(r.Right, FWidth - 1);
    r.Bottom = std::min(r.Bottom, FHeight - 1);
    if (r.Right < r.Left || r.Bottom < r.Top || color == 0 || color > FMatcher.ColorCount())
        return;
    const TFill fill{2 * r.Left, 2 * r.Top, 2 * r.Right + 2, 2 * r.Bottom + 2, color};
    std::erase_if(FFixed, [&fill](const auto& entry) {
        return fill.contains(int(uint32_t(entry.first)), int(entry.first >> 32));
    });
    FFills.push_back(fill);
    ensureWindow({r.Left - MaxRings - 2, r.Top - MaxRings - 2, r.Right + MaxRings + 2,
                  r.Bottom + MaxRings + 2},
                 &r);

    // Inside, every place has the colour: one requirement for all cells.
    TWangId solid{};
    solid.fill(color);
    const int list = FMatcher.ListOf(solid);
    const uint8_t first = list >= 0 ? FMatcher.Pick(list, nullptr) : FMatcher.Nearest(solid);
    if (list < 0)
        FUnmatched += long(r.Width()) * r.Height();
    const size_t h = size_t(FWindow.Height());
    for (int x = r.Left; x <= r.Right; ++x) {
        uint8_t* column = &FCells[size_t(x - FWindow.Left) * h + size_t(r.Top - FWindow.Top)];
        if (list >= 0 && FRng) {
            for (int y = 0; y < r.Height(); ++y)
                column[y] = FMatcher.Pick(list, &*FRng);
        } else {
            std::memset(column, first, size_t(r.Height()));
        }
    }
    const TCellRect was = FChanged;
    FChanged = r;
    if (was.Right >= was.Left) {
        FChanged.Left = std::min(FChanged.Left, was.Left);
        FChanged.Top = std::min(FChanged.Top, was.Top);
        FChanged.Right = std::max(FChanged.Right, was.Right);
        FChanged.Bottom = std::max(FChanged.Bottom, was.Bottom);
    }

    // The cells around take the transitions.
    std::vector<TCellPos> ring;
    for (int x = r.Left - 1; x <= r.Right + 1; ++x) {
        for (int y = r.Top - 1; y <= r.Bottom + 1; ++y) {
            if (!inMap(x, y))
                continue;
            if (x >= r.Left && x <= r.Right && y == r.Top)
                y = r.Bottom; // skip the inside
            else
                ring.push_back({x, y});
        }
    }
    fit(std::move(ring));
}

void TTerrainPainter::fit(std::vector<TCellPos> touched)
{
    if (touched.empty() || FMatcher.Empty())
        return;
    if (!std::is_sorted(touched.begin(), touched.end()))
        std::sort(touched.begin(), touched.end());
    touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
    std::vector<TCellPos> region = touched;
    for (int ring = 0;; ++ring) {
        TCellRect box{region.front().X, region.front().Y, region.front().X, region.front().Y};
        for (const TCellPos& c : region) {
            box.Left = std::min(box.Left, c.X);
            box.Right = std::max(box.Right, c.X);
            box.Top = std::min(box.Top, c.Y);
            box.Bottom = std::max(box.Bottom, c.Y);
        }
        ensureWindow({box.Left - 1, box.Top - 1, box.Right + 1, box.Bottom + 1});
        std::vector<bool> isTouched(region.size(), true);
        if (region.size() != touched.size()) {
            for (size_t k = 0; k < region.size(); ++k)
                isTouched[k] = std::binary_search(touched.begin(), touched.end(), region[k]);
        }
        if (search(region, isTouched))
            return;
        if (ring == MaxRings)
            break;
        // Take in the cells around that show the terrain: they may change too.
        TCellIndex in(region.size());
        for (size_t k = 0; k < region.size(); ++k)
            in.insert(region[k].X, region[k].Y, int(k));
        std::vector<TCellPos> grown = region;
        for (const TCellPos& c : region) {
            for (int d = 0; d < 8; ++d) {
                const int x = c.X + DirX[d];
                const int y = c.Y + DirY[d];
                if (inMap(x, y) && in.find(x, y) < 0 && FMatcher.InSet(Part(x, y)))
                    grown.push_back({x, y});
            }
        }
        std::sort(grown.begin(), grown.end());
        grown.erase(std::unique(grown.begin(), grown.end()), grown.end());
        if (grown.size() == region.size())
            break; // nothing more to take in
        region = std::move(grown);
    }
    fitLoosely(touched);
}

// The region is in columns: the cells of the columns left and right are found by walking
// those columns alongside, so that finding all neighbours costs a pass, not a lookup each.
void TTerrainPainter::findNeighbours(const std::vector<TCellPos>& region,
                                     std::vector<std::array<int, 8>>& near) const
{
    const size_t n = region.size();
    size_t left = 0;  // the walk through the column left of the current one
    size_t right = 0; // and through the column right of it
    for (size_t k = 0; k < n; ++k) {
        const TCellPos c = region[k];
        std::array<int, 8>& nb = near[k];
        for (int d = 0; d < 8; ++d)
            nb[d] = inMap(c.X + DirX[d], c.Y + DirY[d]) ? -1 : -2;
        if (k > 0 && region[k - 1].X == c.X && region[k - 1].Y == c.Y - 1)
            nb[0] = int(k - 1);
        if (k + 1 < n && region[k + 1].X == c.X && region[k + 1].Y == c.Y + 1)
            nb[4] = int(k + 1);
        // Both walks only move forward: the cells come in columns, top to bottom.
        while (left < n && (region[left].X < c.X - 1 ||
                            (region[left].X == c.X - 1 && region[left].Y < c.Y - 1)))
            ++left;
        for (size_t a = left; a < n && region[a].X == c.X - 1 && region[a].Y <= c.Y + 1; ++a)
            nb[region[a].Y == c.Y - 1 ? 7 : region[a].Y == c.Y ? 6 : 5] = int(a);
        if (right < k)
            right = k;
        while (right < n && (region[right].X < c.X + 1 ||
                             (region[right].X == c.X + 1 && region[right].Y < c.Y - 1)))
            ++right;
        for (size_t b = right; b < n && region[b].X == c.X + 1 && region[b].Y <= c.Y + 1; ++b)
            nb[region[b].Y == c.Y - 1 ? 1 : region[b].Y == c.Y ? 2 : 3] = int(b);
    }
}

// Chooses a part for every cell of the region, in columns, going back to an earlier cell's next
// choice when a cell has none. Cells outside the region keep their parts and bind the cells
// beside them.
bool TTerrainPainter::search(const std::vector<TCellPos>& region, const std::vector<bool>& touched)
{
    const size_t n = region.size();
    // Each cell's neighbours: their number in the region, -1 outside it, -2 off the map.
    std::vector<std::array<int, 8>> near(n);
    findNeighbours(region, near);
    // What the painted places and the cells outside the region require of each cell.
    std::vector<TWangId> fixedReq(n);
    // Whether that is all of them: a place decided there is decided alike for every cell at
    // it, so the cells beside add nothing.
    std::vector<bool> whole(n);
    const uint8_t mask = FMatcher.PlaceMask();
    for (size_t k = 0; k < n; ++k) {
        const TCellPos c = region[k];
        TWangId& req = fixedReq[k];
        req.fill(0);
        // The wang ids of the neighbours outside the region, once each.
        const TWangId* outside[8];
        for (int d = 0; d < 8; ++d) {
            outside[d] = nullptr;
            if (near[k][d] == -1) {
                const uint8_t part = Part(c.X + DirX[d], c.Y + DirY[d]);
                if (FMatcher.InSet(part))
                    outside[d] = &FMatcher.IdOf(part);
            }
        }
        for (int i = 0; i < 8; ++i) {
            if (!(mask >> i & 1))
                continue;
            int color = fixedAt(2 * c.X + PlaceX[i], 2 * c.Y + PlaceY[i]);
            const TShare& s = Shares[i];
            for (int j = 0; j < s.Count; ++j) {
                const TWangId* id = outside[s.Dir[j]];
                if (!id)
                    continue;
                const int other = (*id)[s.Place[j]];
                if (other == 0)
                    continue;
                if (color == 0)
                    color = other;
                else if (color != other)
                    return false; // a neighbour outside disagrees: it has to change
            }
            req[i] = uint8_t(color);
        }
        if (listOf(req) < 0)
            return false;
        bool full = true;
        for (int i = 0; i < 8; ++i)
            full = full && (!(mask >> i & 1) || req[i] != 0);
        whole[k] = full;
    }

    struct TFrame
    {
        int List;
        int Preferred; // tried first
        int Next;      // the next of the others
        bool PreferredTried;
    };
    std::vector<TFrame> frames(n);
    std::vector<int> chosen(n, -1);
    long budget = SearchBudget;
    size_t k = 0;
    bool fresh = true;
    while (k < n) {
        TFrame& f = frames[k];
        if (fresh) {
            TWangId req = fixedReq[k];
            bool clash = false;
            for (int i = 0; i < 8 && !clash && !whole[k]; ++i) {
                if (!(mask >> i & 1))
                    continue;
                const TShare& s = Shares[i];
                for (int j = 0; j < s.Count; ++j) {
                    const int other = near[k][s.Dir[j]];
                    if (other < 0 || chosen[size_t(other)] < 0)
                        continue;
                    const uint8_t color = FMatcher.IdOf(uint8_t(chosen[size_t(other)]))[s.Place[j]];
                    if (color == 0)
                        continue;
                    if (req[i] == 0) {
                        req[i] = color;
                    } else if (req[i] != color) {
                        clash = true;
                        break;
                    }
                }
            }
            f.List = clash ? -1 : listOf(req);
            f.Next = 0;
            f.PreferredTried = false;
            f.Preferred = 0;
            if (f.List >= 0) {
                // A cell keeps its part when it fits; a painted cell without one draws.
                const std::span<const TWangMatcher::TCandidate> list = FMatcher.List(f.List);
                const uint8_t current = Part(region[k].X, region[k].Y);
                const auto it = std::find_if(list.begin(), list.end(), [current](const auto& c) {
                    return c.Part == current;
                });
                if (it != list.end())
                    f.Preferred = int(it - list.begin());
                else if (touched[k] && FRng)
                    f.Preferred = FMatcher.PickIndex(f.List, &*FRng);
            }
        }
        int choice = -1;
        if (f.List >= 0) {
            const int count = int(FMatcher.List(f.List).size());
            if (!f.PreferredTried) {
                f.PreferredTried = true;
                choice = f.Preferred;
            } else {
                if (f.Next == f.Preferred)
                    ++f.Next;
                if (f.Next < count)
                    choice = f.Next++;
            }
        }
        if (choice >= 0) {
            chosen[k] = FMatcher.List(f.List)[size_t(choice)].Part;
            ++k;
            fresh = true;
            continue;
        }
        chosen[k] = -1;
        if (k == 0 || --budget <= 0)
            return false;
        --k;
        fresh = false;
    }
    for (size_t i = 0; i < n; ++i)
        setCell(region[i].X, region[i].Y, uint8_t(chosen[i]));
    return true;
}

// No choice within reach fits every neighbour: each painted cell takes the part closest to
// what the painted places and its neighbours ask, the painted places first.
void TTerrainPainter::fitLoosely(const std::vector<TCellPos>& touched)
{
    const uint8_t mask = FMatcher.PlaceMask();
    for (const TCellPos& c : touched) {
        TWangId req{};
        uint8_t strong = 0;
        for (int i = 0; i < 8; ++i) {
            if (!(mask >> i & 1))
                continue;
            int color = fixedAt(2 * c.X + PlaceX[i], 2 * c.Y + PlaceY[i]);
            if (color != 0)
                strong |= uint8_t(1 << i);
            const TShare& s = Shares[i];
            for (int j = 0; j < s.Count && color == 0; ++j) {
                const int x = c.X + DirX[s.Dir[j]];
                const int y = c.Y + DirY[s.Dir[j]];
                if (inMap(x, y) && FMatcher.InSet(Part(x, y)))
                    color = FMatcher.IdOf(Part(x, y))[s.Place[j]];
            }
            req[i] = uint8_t(color);
        }
        const int list = FMatcher.ListOf(req);
        setCell(c.X, c.Y,
                list >= 0 ? FMatcher.Pick(list, FRng ? &*FRng : nullptr)
                          : FMatcher.Nearest(req, strong));
    }
    // The requirement took one neighbour's word for each place: count the cells that still
    // differ from one, or from a painted place.
    for (const TCellPos& c : touched) {
        const TWangId& id = FMatcher.IdOf(Part(c.X, c.Y));
        bool differs = false;
        for (int i = 0; i < 8 && !differs; ++i) {
            if (!(mask >> i & 1))
                continue;
            const int painted = fixedAt(2 * c.X + PlaceX[i], 2 * c.Y + PlaceY[i]);
            differs = painted != 0 && painted != id[i];
            const TShare& s = Shares[i];
            for (int j = 0; j < s.Count; ++j) {
                const int x = c.X + DirX[s.Dir[j]];
                const int y = c.Y + DirY[s.Dir[j]];
                if (inMap(x, y) && FMatcher.InSet(Part(x, y)) &&
                    FMatcher.IdOf(Part(x, y))[s.Place[j]] != id[i])
                    differs = true;
            }
        }
        FUnmatched += differs;
    }
}

bool TTerrainPainter::Commit(TMapDocument& doc)
{
    if (!HasChanges())
        return false;
    const size_t h = size_t(FWindow.Height());
    const bool changed = doc.PutCells(
        FChanged,
        &FCells[size_t(FChanged.Left - FWindow.Left) * h + size_t(FChanged.Top - FWindow.Top)], h);
    FChanged = {0, 0, -1, -1};
    return changed;
}
