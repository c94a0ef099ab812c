#include "MapDocument.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<uint8_t> cellsOf(const TMapDocument& doc)
{
    return {doc.MapCells().begin(), doc.MapCells().end()};
}

// A map of 61 x 45 cells (heights not a multiple of 8, for the bit masks) holding a
// pattern, so that every change leaves a trace.
void patterned(TMapDocument& doc)
{
    doc.NewMap(61, 45);
    for (int x = 0; x < 61; ++x)
        for (int y = 0; y < 45; ++y)
            doc.SetCell(x, y, uint8_t((x * 7 + y * 3) % 11));
    doc.SetMapModified(false);
}

TEST(MapUndo, MixedEditsUndoToTheStartAndRedoToTheEndByteForByte)
{
    using Doc = TMapDocument;
    const std::vector<std::pair<const char*, std::function<void(Doc&)>>> edits = {
        {"stamp",
         [](Doc& d) {
             d.SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(20 + gx + 3 * gy); });
             d.StampGroup({50, 40, 3, 2});
         }},
        {"scatter",
         [](Doc& d) {
             d.ScatterGroup({10, 0, 30, 44}, 17);
         }},
        {"fill",
         [](Doc& d) {
             d.FillMapRect({0, 30, 60, 31}, 9);
         }},
        // 30 is nowhere yet: the step needs no cells.
        {"replace to a new part",
         [](Doc& d) {
             d.ReplaceParts({0, 0, 60, 44}, 9, 30);
         }},
        // The pattern's 3s, left outside the stamp, among its 4s: a list of positions.
        {"replace of a few cells",
         [](Doc& d) {
             d.ReplaceParts({0, 0, 60, 44}, 3, 4);
         }},
        // A sixth of the stamp among other parts of the stamp: a bit per cell.
        {"replace of many cells",
         [](Doc& d) {
             d.ReplaceParts({0, 1, 59, 44}, 20, 21);
         }},
        {"exchange",
         [](Doc& d) {
             d.ExchangePartsInRect({3, 3, 57, 41}, 21, 30);
         }},
        {"snapshot and a write",
         [](Doc& d) {
             d.TakeUndoSnapshot({7, 7, 8, 9});
             d.MapCells()[size_t(7) * 45 + 8] = 99;
         }},
        {"stamp of one cell",
         [](Doc& d) {
             d.StampGroup({60, 44, 60, 44});
         }},
    };
    TMapDocument doc;
    patterned(doc);
    std::vector<std::vector<uint8_t>> states{cellsOf(doc)};
    for (const auto& [what, edit] : edits) {
        edit(doc);
        ASSERT_NE(cellsOf(doc), states.back()) << what << " changed nothing: a weak case";
        states.push_back(cellsOf(doc));
    }
    ASSERT_EQ(doc.History().UndoCount(), int(edits.size()));

    for (size_t i = edits.size(); i > 0; --i) {
        ASSERT_TRUE(doc.Undo());
        EXPECT_EQ(cellsOf(doc), states[i - 1]) << "undoing " << edits[i - 1].first;
    }
    EXPECT_FALSE(doc.Undo());
    EXPECT_TRUE(doc.MapModified()); // undone, not saved
    for (size_t i = 1; i <= edits.size(); ++i) {
        ASSERT_TRUE(doc.Redo());
        EXPECT_EQ(cellsOf(doc), states[i]) << "redoing " << edits[i - 1].first;
    }
    EXPECT_FALSE(doc.Redo());
    EXPECT_TRUE(doc.MapModified());
    // And back once more: the buffers that served redo serve undo again.
    while (doc.Undo()) {
    }
    EXPECT_EQ(cellsOf(doc), states.front());
}

TEST(MapUndo, AReplaceKeepsOnlyWhatItNeeds)
{
    TMapDocument doc;
    doc.NewMap(100, 100);
    doc.FillMapRect({0, 0, 99, 99}, 5);
    doc.SetCell(10, 10, 3);
    doc.SetCell(90, 20, 3);
    const qint64 base = doc.History().Bytes();

    doc.ReplaceParts({0, 0, 99, 99}, 5, 6); // no 6 before: nothing to keep
    const qint64 none = doc.History().Bytes() - base;
    doc.ReplaceParts({0, 0, 99, 99}, 3, 6); // two cells among 6s: two positions
    const qint64 two = doc.History().Bytes() - base - none;
    doc.SetCell(0, 0, 7);
    doc.ReplaceParts({0, 0, 99, 99}, 6, 7); // every cell: a bit each
    const qint64 mask = doc.History().Bytes() - base - none - two;

    EXPECT_LT(none, 100);
    EXPECT_LT(two, none + 16);
    EXPECT_GE(mask, 100 * 13);
    EXPECT_LT(mask, 100 * 13 + 100);
}

TEST(MapUndo, PutCellsKeepsOnlyTheChangedRunOfEachColumn)
{
    // A diagonal band worked out beside the map, as a long terrain stroke is.
    constexpr int Side = 2000;
    TMapDocument doc;
    doc.NewMap(Side, Side);
    std::vector<uint8_t> cells(size_t(Side) * Side, 0);
    for (int x = 0; x < Side; ++x) {
        for (int y = std::max(0, x - 1); y <= std::min(Side - 1, x + 1); ++y)
            cells[size_t(x) * Side + size_t(y)] = uint8_t(1 + (x + y) % 3);
    }
    std::vector<TCellRect> signalled;
    QObject::connect(&doc, &TMapDocument::cellsChanged,
                     [&](const TCellRect& r) { signalled.push_back(r); });
    const qint64 base = doc.History().Bytes();
    doc.PutCells({0, 0, Side - 1, Side - 1}, cells.data(), Side);

    EXPECT_LT(doc.History().Bytes() - base, 64 * Side); // not Side * Side
    ASSERT_EQ(signalled.size(), 1u);
    EXPECT_EQ(doc.Cell(500, 501), cells[500 * Side + 501]);
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(std::all_of(doc.MapCells().begin(), doc.MapCells().end(),
                            [](uint8_t c) { return c == 0; }));
    ASSERT_TRUE(doc.Redo());
    EXPECT_TRUE(std::equal(cells.begin(), cells.end(), doc.MapCells().begin()));

    // Putting the cells the map has already changes nothing and makes no step.
    const qint64 before = doc.History().Bytes();
    doc.PutCells({0, 0, Side - 1, Side - 1}, cells.data(), Side);
    EXPECT_EQ(doc.History().Bytes(), before);
    EXPECT_EQ(signalled.size(), 3u);
}

TEST(MapUndo, TheBudgetDropsTheOldestStepsButKeepsTheLastOne)
{
    TMapDocument doc;
    doc.NewMap(100, 100); // a whole-map step holds 10000 cells
    doc.SetUndoBudget(25000);
    for (int part = 1; part <= 4; ++part) {
        doc.SetGroupSingle(uint8_t(part));
        doc.StampGroup({0, 0, 99, 99});
        EXPECT_LE(doc.History().Bytes(), 25000);
    }
    EXPECT_EQ(doc.History().UndoCount(), 2);
    ASSERT_TRUE(doc.Undo());
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.Cell(50, 50), 2);
    EXPECT_FALSE(doc.Undo());
    EXPECT_TRUE(doc.MapModified()); // the way back to the new map is gone

    // A step larger than the whole budget still undoes once.
    doc.SetUndoBudget(1000);
    EXPECT_EQ(doc.History().UndoCount(), 0);
    EXPECT_EQ(doc.History().RedoCount(), 0);
    for (int part = 5; part <= 6; ++part) {
        doc.SetGroupSingle(uint8_t(part));
        doc.StampGroup({0, 0, 99, 99});
        EXPECT_EQ(doc.History().UndoCount(), 1);
    }
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.Cell(0, 0), 5);
    EXPECT_FALSE(doc.Undo());
    ASSERT_TRUE(doc.Redo());
    EXPECT_EQ(doc.Cell(99, 99), 6);
}

TEST(MapUndo, ANewEditDropsTheRedoSteps)
{
    TMapDocument doc;
    doc.NewMap(10, 10);
    doc.SetGroupSingle(1);
    doc.StampGroup({0, 0, 4, 4});
    doc.SetGroupSingle(2);
    doc.StampGroup({0, 0, 9, 9});
    ASSERT_TRUE(doc.Undo());
    ASSERT_TRUE(doc.RedoAvailable());

    doc.SetGroupSingle(3);
    doc.StampGroup({5, 5, 9, 9});
    EXPECT_FALSE(doc.RedoAvailable());
    EXPECT_FALSE(doc.Redo());
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.Cell(0, 0), 1);
    EXPECT_EQ(doc.Cell(9, 9), 0);
}

TEST(MapUndo, UndoAndRedoNeverClearTheModifiedFlag)
{
    TMapDocument doc;
    doc.NewMap(10, 10);
    const auto stamp = [&](int part) {
        doc.SetGroupSingle(uint8_t(part));
        doc.StampGroup({part, 0, part, 0});
    };
    stamp(1);
    stamp(2);
    doc.SetMapModified(false); // saved here
    stamp(3);
    EXPECT_TRUE(doc.MapModified());

    // Back at the saved cells, before them, and forward again: modified throughout.
    const std::vector<bool (TMapDocument::*)()> walk = {&TMapDocument::Undo, &TMapDocument::Undo,
                                                        &TMapDocument::Redo, &TMapDocument::Redo};
    for (size_t i = 0; i < walk.size(); ++i) {
        ASSERT_TRUE((doc.*walk[i])()) << i;
        EXPECT_TRUE(doc.MapModified()) << i;
    }

    // Saved, then undone: the map differs from its file.
    doc.SetMapModified(false);
    ASSERT_TRUE(doc.Undo());
    EXPECT_TRUE(doc.MapModified());
    // A new map is unmodified.
    doc.NewMap(4, 4);
    EXPECT_FALSE(doc.MapModified());
}

TEST(MapUndo, AThousandSmallStampsCostLittleHistory)
{
    TMapDocument doc;
    doc.NewMap(TMapDocument::MaxMapSize, TMapDocument::MaxMapSize);
    doc.SetGroupPart(3, 2, [](int gx, int gy) { return uint8_t(1 + gx + 3 * gy); });
    for (int i = 0; i < 1000; ++i) {
        const int x = (i * 37) % 9990;
        const int y = (i * 101) % 9990;
        doc.StampGroup({x, y, x + 2, y + 1});
    }
    EXPECT_EQ(doc.History().UndoCount(), 1000);
    EXPECT_LT(doc.History().Bytes(), 1 << 20);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.Cell((999 * 37) % 9990, (999 * 101) % 9990), 0);
}

} // namespace
