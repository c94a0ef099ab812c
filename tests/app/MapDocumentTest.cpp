#include "MapDocument.h"

#include <array>
#include <gtest/gtest.h>
#include <set>
#include <stdexcept>
#include <vector>

namespace {

// The cells of a rectangle, row by row, for compact expectations.
std::vector<int> rows(const TMapDocument& doc, int left, int top, int right, int bottom)
{
    std::vector<int> out;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            out.push_back(doc.Cell(x, y));
    return out;
}

// A group part whose cells say where they are: 10 * column + row + 1.
void setNumberedGroup(TMapDocument& doc, int w, int h)
{
    doc.SetGroupPart(w, h, [](int gx, int gy) { return uint8_t(10 * gx + gy + 1); });
}

TEST(MapDocument, StartsAsAnUnmodified101By101MapWithA1x1GroupOfPart0)
{
    TMapDocument doc;
    EXPECT_EQ(doc.MapWidth(), 101);
    EXPECT_EQ(doc.MapHeight(), 101);
    EXPECT_FALSE(doc.MapModified());
    EXPECT_FALSE(doc.UndoAvailable());
    EXPECT_EQ(doc.GroupWidth(), 1);
    EXPECT_EQ(doc.GroupHeight(), 1);
    EXPECT_EQ(doc.GroupCell(0, 0), 0);
    EXPECT_EQ(doc.MapCells().size(), 101u * 101u);
}

TEST(MapDocument, CellsAreStoredColumnByColumn)
{
    TMapDocument doc;
    doc.NewMap(3, 2);
    doc.SetCell(1, 0, 7);
    doc.SetCell(0, 1, 9);
    // column 0: rows 0,1; column 1: rows 0,1; ...
    EXPECT_EQ(std::vector<uint8_t>(doc.MapCells().begin(), doc.MapCells().end()),
              (std::vector<uint8_t>{0, 9, 7, 0, 0, 0}));
}

TEST(MapDocument, NewMapResetsCellsAndModifiedButKeepsGroupSize)
{
    TMapDocument doc;
    setNumberedGroup(doc, 3, 2);
    doc.StampGroup({0, 0, 10, 10});
    ASSERT_TRUE(doc.MapModified());

    doc.NewMap(20, 30);
    EXPECT_EQ(doc.MapWidth(), 20);
    EXPECT_EQ(doc.MapHeight(), 30);
    EXPECT_FALSE(doc.MapModified());
    EXPECT_EQ(doc.GroupWidth(), 3);
    EXPECT_EQ(doc.GroupHeight(), 2);
    for (int gx = 0; gx < 3; ++gx)
        for (int gy = 0; gy < 2; ++gy)
            EXPECT_EQ(doc.GroupCell(gx, gy), 0);
    for (uint8_t c : doc.MapCells())
        ASSERT_EQ(c, 0);
}

TEST(MapDocument, GroupStoreIsAtLeast16x16AndTheGroupNeverOutgrowsIt)
{
    TMapDocument doc;
    doc.NewMap(1, 1);
    EXPECT_EQ(doc.GroupStoreWidth(), 16);
    EXPECT_EQ(doc.GroupStoreHeight(), 16);

    doc.NewMap(40, 30);
    doc.CaptureGroup({0, 0, 39, 29});
    ASSERT_EQ(doc.GroupWidth(), 40);
    // A smaller map cannot hold a 40 x 30 group part: it becomes 1 x 1 of part 0.
    doc.NewMap(20, 50);
    EXPECT_EQ(doc.GroupWidth(), 1);
    EXPECT_EQ(doc.GroupHeight(), 1);
    EXPECT_EQ(doc.GroupCell(0, 0), 0);
    // The random placement reads only inside the store.
    doc.ScatterGroup({0, 0, 19, 49}, 1);
    EXPECT_THROW(doc.SetGroupPart(21, 1, [](int, int) { return uint8_t(1); }), std::out_of_range);
    EXPECT_THROW(doc.SetGroupPart(0, 1, [](int, int) { return uint8_t(1); }), std::out_of_range);
}

TEST(MapDocument, NewMapRefusesBadSizesAndChangesNothing)
{
    TMapDocument doc;
    doc.NewMap(5, 6);
    doc.SetCell(4, 5, 77);
    doc.SetMapModified(true);
    for (auto [w, h] :
         std::vector<std::pair<int, int>>{{0, 5}, {5, 0}, {10000, 5}, {5, 10000}, {-1, -1}}) {
        EXPECT_THROW(doc.NewMap(w, h), std::invalid_argument);
        EXPECT_EQ(doc.MapWidth(), 5);
        EXPECT_EQ(doc.MapHeight(), 6);
        EXPECT_EQ(doc.Cell(4, 5), 77);
        EXPECT_TRUE(doc.MapModified());
    }
}

TEST(CellRect, NormalizedOrdersTheCornersAndKeepsTheCells)
{
    EXPECT_EQ((TCellRect{5, 1, 2, 0}.NormalizeRect()), (TCellRect{2, 0, 5, 1}));
    EXPECT_EQ((TCellRect{3, 4, 3, 4}.NormalizeRect()), (TCellRect{3, 4, 3, 4}));
    const TCellRect r = TCellRect{7, 9, 4, 2}.NormalizeRect();
    EXPECT_EQ(r.Width(), 4);
    EXPECT_EQ(r.Height(), 8);
    EXPECT_TRUE(r.Contains(4, 2));
    EXPECT_TRUE(r.Contains(7, 9));
    EXPECT_FALSE(r.Contains(8, 9));
    EXPECT_FALSE(r.Contains(4, 1));
}

TEST(MapDocument, FillMapRectSnapshotsWithoutMarkingModified)
{
    TMapDocument doc;
    doc.NewMap(6, 6);
    std::vector<bool> notified;
    QObject::connect(&doc, &TMapDocument::undoAvailableChanged,
                     [&](bool on) { notified.push_back(on); });

    doc.FillMapRect({4, 3, 1, 1}, 9); // corners in any order
    EXPECT_FALSE(doc.MapModified());
    EXPECT_TRUE(doc.UndoAvailable());
    EXPECT_EQ(rows(doc, 0, 0, 5, 0), std::vector<int>(6, 0));
    EXPECT_EQ(rows(doc, 1, 1, 4, 3), std::vector<int>(12, 9));
    EXPECT_EQ(doc.Cell(5, 3), 0);
    EXPECT_EQ(notified, std::vector<bool>{true});
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(rows(doc, 0, 0, 5, 5), std::vector<int>(36, 0));
    EXPECT_FALSE(doc.MapModified());
}

TEST(MapDocument, UndoStepsBackOneChangeAtATime)
{
    TMapDocument doc;
    doc.NewMap(8, 8);
    doc.SetGroupSingle(1);
    doc.StampGroup({0, 0, 7, 7});
    doc.SetGroupSingle(2);
    doc.StampGroup({2, 2, 4, 4});
    doc.ReplaceParts({0, 0, 7, 7}, 1, 3);

    ASSERT_TRUE(doc.Undo()); // the replace only
    EXPECT_EQ(doc.Cell(0, 0), 1);
    EXPECT_EQ(doc.Cell(3, 3), 2);
    ASSERT_TRUE(doc.Undo()); // the second stamp
    EXPECT_EQ(rows(doc, 0, 0, 7, 7), std::vector<int>(64, 1));
    EXPECT_TRUE(doc.MapModified());
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(rows(doc, 0, 0, 7, 7), std::vector<int>(64, 0));
    EXPECT_FALSE(doc.UndoAvailable());
    EXPECT_TRUE(doc.MapModified()); // back at the new map's cells, still not saved
    EXPECT_FALSE(doc.Undo());
    EXPECT_EQ(rows(doc, 0, 0, 7, 7), std::vector<int>(64, 0));
}

TEST(MapDocument, StampGroupTilesFromTheRectanglesTopLeftWithCutEdges)
{
    TMapDocument doc;
    doc.NewMap(10, 10);
    setNumberedGroup(doc, 3, 2); // columns: {1,2}, {11,12}, {21,22}

    doc.StampGroup({1, 1, 6, 4}); // 6 x 4: four whole copies
    EXPECT_EQ(rows(doc, 1, 1, 6, 4), (std::vector<int>{1, 11, 21, 1, 11, 21, //
                                                       2, 12, 22, 2, 12, 22, //
                                                       1, 11, 21, 1, 11, 21, //
                                                       2, 12, 22, 2, 12, 22}));
    EXPECT_EQ(doc.Cell(0, 0), 0);
    EXPECT_EQ(doc.Cell(7, 5), 0);
    EXPECT_TRUE(doc.MapModified());

    doc.NewMap(10, 10);
    setNumberedGroup(doc, 3, 2);
    doc.StampGroup({5, 7, 2, 5}); // 4 x 3, given reversed: one copy and cut copies
    EXPECT_EQ(rows(doc, 2, 5, 5, 7), (std::vector<int>{1, 11, 21, 1, //
                                                       2, 12, 22, 2, //
                                                       1, 11, 21, 1}));

    // A single cell takes the group's top-left part.
    doc.StampGroup({9, 9, 9, 9});
    EXPECT_EQ(doc.Cell(9, 9), 1);
}

TEST(MapDocument, StampGroupOverAWholeMapMatchesTheLattice)
{
    TMapDocument doc;
    doc.NewMap(5, 5);
    doc.SetGroupPart(2, 2, [](int gx, int gy) { return uint8_t(gx + 2 * gy + 1); });
    doc.StampGroup({0, 0, 4, 4});
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 5; ++y)
            EXPECT_EQ(doc.Cell(x, y), x % 2 + 2 * (y % 2) + 1) << x << "," << y;
}

TEST(MapDocument, StampGroupWithATallGroupAndAShortRectangle)
{
    TMapDocument doc;
    doc.NewMap(30, 30);
    doc.CaptureGroup({0, 0, 0, 0});
    doc.SetGroupPart(1, 20, [](int, int gy) { return uint8_t(gy + 1); });
    doc.StampGroup({0, 0, 2, 24}); // 25 rows over a 20-row group: doubling copies must cut right
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(doc.Cell(x, y), y % 20 + 1) << x << "," << y;
}

TEST(MapDocument, ScatterGroupUsesOnlyGroupPartsInTheRectangle)
{
    TMapDocument doc;
    doc.NewMap(200, 150);
    setNumberedGroup(doc, 3, 2);
    doc.ScatterGroup({10, 5, 189, 144}, 12345);

    const std::set<int> group{1, 2, 11, 12, 21, 22};
    std::array<int, 256> count{};
    for (int y = 5; y <= 144; ++y)
        for (int x = 10; x <= 189; ++x) {
            ASSERT_TRUE(group.count(doc.Cell(x, y))) << x << "," << y;
            ++count[doc.Cell(x, y)];
        }
    // Outside the rectangle nothing changed.
    EXPECT_EQ(doc.Cell(9, 5), 0);
    EXPECT_EQ(doc.Cell(190, 144), 0);
    EXPECT_EQ(doc.Cell(10, 4), 0);
    EXPECT_EQ(doc.Cell(10, 145), 0);
    // Every group cell is equally likely: 25200 cells, 4200 expected each.
    for (int part : group)
        EXPECT_NEAR(count[part], 4200, 300) << part;
    EXPECT_TRUE(doc.MapModified());
}

TEST(MapDocument, ScatterGroupRepeatsWithTheSameSeedAndWeighsRepeatedParts)
{
    TMapDocument a, b;
    a.NewMap(64, 64);
    b.NewMap(64, 64);
    // Part 7 appears three times in a 2 x 2 group: three quarters of the cells.
    for (TMapDocument* d : {&a, &b})
        d->SetGroupPart(2, 2, [](int gx, int gy) { return uint8_t(gx + gy == 0 ? 3 : 7); });
    a.ScatterGroup({0, 0, 63, 63}, 99);
    b.ScatterGroup({0, 0, 63, 63}, 99);
    EXPECT_TRUE(std::equal(a.MapCells().begin(), a.MapCells().end(), b.MapCells().begin()));
    int sevens = 0;
    for (uint8_t c : a.MapCells())
        sevens += c == 7;
    EXPECT_NEAR(sevens, 3072, 150);

    b.ScatterGroup({0, 0, 63, 63}, 100);
    EXPECT_FALSE(std::equal(a.MapCells().begin(), a.MapCells().end(), b.MapCells().begin()));
}

TEST(MapDocument, ScatterWithA1x1GroupFillsWithThatPartOnly)
{
    TMapDocument doc;
    doc.NewMap(70, 70);
    doc.SetGroupSingle(42);
    doc.ScatterGroup({0, 0, 69, 69});
    for (uint8_t c : doc.MapCells())
        ASSERT_EQ(c, 42);
}

TEST(MapDocument, ReplaceChangesMatchingCellsOnlyAndMarksModifiedOnlyOnChange)
{
    TMapDocument doc;
    doc.NewMap(5, 5);
    doc.SetCell(1, 1, 3);
    doc.SetCell(3, 3, 3);
    doc.SetCell(4, 4, 3);

    EXPECT_FALSE(doc.ReplaceParts({0, 0, 4, 4}, 3, 3)); // by itself
    EXPECT_FALSE(doc.MapModified());
    EXPECT_FALSE(doc.ReplaceParts({0, 0, 4, 4}, 200, 1)); // nothing holds 200
    EXPECT_FALSE(doc.MapModified());

    EXPECT_TRUE(doc.ReplaceParts({3, 3, 0, 0}, 3, 9)); // only the rectangle
    EXPECT_TRUE(doc.MapModified());
    EXPECT_EQ(doc.Cell(1, 1), 9);
    EXPECT_EQ(doc.Cell(3, 3), 9);
    EXPECT_EQ(doc.Cell(4, 4), 3);
    EXPECT_EQ(doc.Cell(0, 0), 0);
    EXPECT_TRUE(doc.UndoAvailable());
}

TEST(MapDocument, ExchangeSwapsBothPartsAndMarksModifiedEvenForEqualParts)
{
    TMapDocument doc;
    doc.NewMap(4, 1);
    doc.SetCell(0, 0, 1);
    doc.SetCell(1, 0, 2);
    doc.SetCell(2, 0, 3);

    doc.ExchangePartsInRect({0, 0, 3, 0}, 1, 2);
    EXPECT_EQ(rows(doc, 0, 0, 3, 0), (std::vector<int>{2, 1, 3, 0}));
    EXPECT_TRUE(doc.MapModified());

    doc.SetMapModified(false);
    doc.ExchangePartsInRect({0, 0, 3, 0}, 200, 201); // neither present
    EXPECT_FALSE(doc.MapModified());

    doc.ExchangePartsInRect({0, 0, 3, 0}, 3, 3); // equal parts: no change, still modified
    EXPECT_EQ(rows(doc, 0, 0, 3, 0), (std::vector<int>{2, 1, 3, 0}));
    EXPECT_TRUE(doc.MapModified());
    EXPECT_EQ(doc.History().UndoCount(), 1); // only the first exchange is a step
}

TEST(MapDocument, CaptureGroupTakesTheRectangleWithoutChangingTheMap)
{
    TMapDocument doc;
    doc.NewMap(6, 6);
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 6; ++y)
            doc.SetCell(x, y, uint8_t(10 * x + y));
    doc.CaptureGroup({4, 3, 2, 1}); // reversed corners
    EXPECT_EQ(doc.GroupWidth(), 3);
    EXPECT_EQ(doc.GroupHeight(), 3);
    for (int gx = 0; gx < 3; ++gx)
        for (int gy = 0; gy < 3; ++gy)
            EXPECT_EQ(doc.GroupCell(gx, gy), 10 * (gx + 2) + gy + 1);
    EXPECT_FALSE(doc.MapModified());

    // The captured group stamps back the same picture.
    const std::vector<int> captured = rows(doc, 2, 1, 4, 3);
    doc.StampGroup({0, 3, 2, 5});
    EXPECT_EQ(rows(doc, 0, 3, 2, 5), captured);
}

TEST(MapDocument, RectanglesOutsideTheMapAreRefusedWithoutChange)
{
    TMapDocument doc;
    doc.NewMap(4, 4);
    doc.SetGroupSingle(9);
    EXPECT_THROW(doc.StampGroup({0, 0, 4, 3}), std::out_of_range);
    EXPECT_THROW(doc.ScatterGroup({-1, 0, 3, 3}), std::out_of_range);
    EXPECT_THROW(doc.FillMapRect({0, 0, 3, 4}, 1), std::out_of_range);
    EXPECT_THROW(doc.ReplaceParts({0, 0, 3, 9}, 0, 1), std::out_of_range);
    EXPECT_THROW(doc.ExchangePartsInRect({0, 0, 9, 9}, 0, 1), std::out_of_range);
    EXPECT_THROW(doc.CaptureGroup({0, 0, 4, 4}), std::out_of_range);
    EXPECT_THROW(doc.SetCell(4, 0, 1), std::out_of_range);
    for (uint8_t c : doc.MapCells())
        EXPECT_EQ(c, 0);
    EXPECT_FALSE(doc.MapModified());
    EXPECT_FALSE(doc.UndoAvailable());
}

} // namespace
