// Painting, filling and drawing terrain on generated sets whose parts show their colours.

#include "MapDocument.h"
#include "TerrainGen.h"
#include "TerrainPainter.h"
#include "WangMatcher.h"

#include <gtest/gtest.h>

namespace {

using namespace TerrainGen;

// The colour the map shows at a place, from one of the cells at it.
int colorAt(const TMapDocument& doc, const TWangMatcher& m, QPoint place)
{
    for (int cx = (place.x() - 1) >> 1; cx <= place.x() >> 1; ++cx) {
        for (int cy = (place.y() - 1) >> 1; cy <= place.y() >> 1; ++cy) {
            if (cx < 0 || cy < 0 || cx >= doc.MapWidth() || cy >= doc.MapHeight())
                continue;
            static const int placeOf[3][3] = {{7, 0, 1}, {6, -1, 2}, {5, 4, 3}};
            return m.IdOf(doc.Cell(cx, cy))[placeOf[place.y() - 2 * cy][place.x() - 2 * cx]];
        }
    }
    return -1;
}

struct SetCase
{
    const char* Name;
    TWangSet Set;
    bool Complete; // a part for every combination: the brush never needs to give up
};

std::vector<SetCase> setCases()
{
    return {
        {"corner", CompleteSet(TWangType::Corner, 3), true},
        {"edge", CompleteSet(TWangType::Edge, 3), true},
        {"mixed", CompleteSet(TWangType::Mixed, 2), true},
        // Terrain 1 and 3 never meet: 2 must come between, a ring further out.
        {"corner without 1-3 parts",
         CompleteSet(TWangType::Corner, 3,
                     [](const TWangId& id) {
                         return std::count(id.begin(), id.end(), 1) &&
                                std::count(id.begin(), id.end(), 3);
                     }),
         false},
    };
}

TEST(TerrainBrush, RandomPaintingLeavesNoSeamAndUndoesWhole)
{
    for (const SetCase& c : setCases()) {
        SCOPED_TRACE(c.Name);
        const TWangMatcher m(c.Set, evenOdds());
        const QImage sheet = Sheet(c.Set);
        TMapDocument doc;
        doc.NewMap(21, 17); // part 0: terrain 1 everywhere
        TCellRng rng(7);
        auto coordinate = [&rng](int most) { return double(rng.Below(uint32_t(most) * 8)) / 8; };
        int steps = 0;
        int gaveUp = 0;
        int seamsBefore = 0;
        for (int op = 0; op < 150; ++op) {
            TTerrainPainter p(doc, m);
            if (op % 3 == 0)
                p.SetRandom(uint64_t(op));
            const uint8_t color = uint8_t(1 + rng.Below(uint32_t(c.Set.Colors.size())));
            std::vector<QPoint> painted;
            switch (rng.Below(3)) {
            case 0:
                painted.push_back(p.PlaceAt({coordinate(21), coordinate(17)}));
                p.PaintPlaces(painted, color);
                break;
            case 1: {
                const QPointF from(coordinate(21), coordinate(17));
                p.PaintLine(from, from + QPointF(coordinate(8) - 4, coordinate(8) - 4), color);
                break;
            }
            default: {
                const int x = int(rng.Below(21));
                const int y = int(rng.Below(17));
                p.FillRect({x, y, x + int(rng.Below(5)), y + int(rng.Below(5))}, color);
            }
            }
            std::vector<uint8_t> preview;
            for (int x = 0; x < 21; ++x) {
                for (int y = 0; y < 17; ++y)
                    preview.push_back(p.Part(x, y));
            }
            steps += p.Commit(doc);
            ASSERT_TRUE(std::equal(preview.begin(), preview.end(), doc.MapCells().begin()));
            if (c.Complete) {
                ASSERT_EQ(p.Unmatched(), 0) << "op " << op;
            }
            const int seamsAfter = seams(doc, m, sheet);
            if (p.Unmatched() != 0) {
                ++gaveUp;
                seamsBefore = seamsAfter;
                continue;
            }
            // An edit that fitted every cell it changed leaves no new seam.
            ASSERT_LE(seamsAfter, seamsBefore) << "op " << op;
            seamsBefore = seamsAfter;
            for (const QPoint& place : painted)
                ASSERT_EQ(colorAt(doc, m, place), color) << "op " << op;
        }
        EXPECT_LE(gaveUp, c.Complete ? 0 : 3);
        for (int i = 0; i < steps; ++i)
            ASSERT_TRUE(doc.Undo());
        EXPECT_EQ(std::count(doc.MapCells().begin(), doc.MapCells().end(), 0), 21 * 17);
    }
}

TEST(TerrainBrush, FillIsSolidInsideWithTransitionsAround)
{
    for (const SetCase& c : setCases()) {
        if (!c.Complete)
            continue;
        SCOPED_TRACE(c.Name);
        const TWangMatcher m(c.Set, evenOdds());
        TMapDocument doc;
        doc.NewMap(12, 10);
        TTerrainPainter p(doc, m);
        const TCellRect rect{3, 2, 7, 5};
        p.FillRect(rect, 2);
        ASSERT_TRUE(p.Commit(doc));
        EXPECT_EQ(seams(doc, m, Sheet(c.Set)), 0);
        const QRect places(QPoint(6, 4), QPoint(16, 12));
        for (int x = 0; x < 12; ++x) {
            for (int y = 0; y < 10; ++y) {
                const bool near = x >= 2 && x <= 8 && y >= 1 && y <= 6;
                if (!near) {
                    EXPECT_EQ(doc.Cell(x, y), 0) << x << "," << y;
                    continue;
                }
                const TWangId& id = m.IdOf(doc.Cell(x, y));
                for (int i = 0; i < 8; ++i) {
                    if (!(m.PlaceMask() >> i & 1))
                        continue;
                    static const int px[8] = {1, 2, 2, 2, 1, 0, 0, 0};
                    static const int py[8] = {0, 0, 1, 2, 2, 2, 1, 0};
                    const bool inside = places.contains(2 * x + px[i], 2 * y + py[i]);
                    EXPECT_EQ(id[i], inside ? 2 : 1) << x << "," << y << " place " << i;
                }
            }
        }
    }
}

TEST(TerrainBrush, RandomPlacementFollowsPartAndColourProbabilities)
{
    TWangSet set = CompleteSet(TWangType::Corner, 2);
    set.Colors[1].Probability = 0.25;
    set.Tiles.push_back({16, set.Tiles[0].WangId, {}}); // a second all-1 part
    std::array<double, 256> odds = evenOdds();
    odds[16] = 3;
    const TWangMatcher m(set, odds);

    // A fill of terrain 1: part 16 three times as often as part 0.
    TMapDocument doc;
    doc.NewMap(100, 100);
    TTerrainPainter p(doc, m);
    p.SetRandom(11);
    p.FillRect({1, 1, 98, 98}, 1);
    p.Commit(doc);
    long heavy = 0;
    for (int x = 1; x <= 98; ++x) {
        for (int y = 1; y <= 98; ++y)
            heavy += doc.Cell(x, y) == 16;
    }
    EXPECT_NEAR(double(heavy) / (98 * 98), 0.75, 0.025);

    // One corner left open among parts of weight 1 and 3 (terrain 1 there) and 0.25 (terrain
    // 2): terrain 2 drawn 0.25 / 4.25 of the time.
    const TWangId open{0, 1, 0, 1, 0, 0, 0, 1};
    const int list = m.ListOf(open);
    ASSERT_GE(list, 0);
    ASSERT_EQ(m.List(list).size(), 3u);
    TCellRng rng(5);
    int second = 0;
    for (int i = 0; i < 20000; ++i)
        second += m.IdOf(m.Pick(list, &rng))[Wang::BottomLeft] == 2;
    EXPECT_NEAR(second / 20000.0, 0.25 / 4.25, 0.01);
    // Without random placement, the heaviest.
    EXPECT_EQ(m.Pick(list, nullptr), 16);
}

} // namespace
