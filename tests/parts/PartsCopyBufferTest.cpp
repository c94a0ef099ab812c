#include "PartsTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

class PartsCopyBufferTest : public ::testing::Test
{
protected:
    TPictureFormats Formats = TPictureFormats::WithQtFormats();
    TPartsStore Store{Formats};
    std::vector<QImage> Original;
    std::vector<bool> BufferSignals;

    void SetUp() override
    {
        fillWithGraphics(Store);
        Original = snapshotParts(Store);
        QObject::connect(&Store, &TPartsStore::copyBufferChanged,
                         [this](bool available) { BufferSignals.push_back(available); });
    }

    void expectUnchangedExcept(const std::vector<int>& changed)
    {
        for (int n = 0; n < 256; ++n) {
            if (std::find(changed.begin(), changed.end(), n) == changed.end()) {
                EXPECT_EQ(Store.PartBitmap(n), Original[n]) << n;
            }
        }
    }
};

TEST_F(PartsCopyBufferTest, PasteTilesTheCopiedBlock)
{
    ASSERT_TRUE(Store.CopySelectedParts(0, 0, 1, 1));
    EXPECT_TRUE(Store.HasCopyBuffer());
    EXPECT_EQ(Store.CopyBufferWidth(), 2);
    EXPECT_EQ(Store.CopyBufferHeight(), 2);
    // Column offset * 16 + row offset.
    EXPECT_EQ(Store.CopyBuffer()[16], Original[1]);
    EXPECT_EQ(Store.CopyBuffer()[1], Original[16]);
    EXPECT_FALSE(Store.IsPartsModified());
    EXPECT_EQ(BufferSignals, std::vector<bool>{true});

    // Five columns and three rows from part 34.
    ASSERT_TRUE(Store.PasteIntoSelection(2, 2, 6, 4));
    const int expected[3][5] = {{0, 1, 0, 1, 0}, {16, 17, 16, 17, 16}, {0, 1, 0, 1, 0}};
    std::vector<int> changed;
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 5; ++col) {
            const int n = 34 + row * 16 + col;
            changed.push_back(n);
            EXPECT_EQ(Store.PartBitmap(n), Original[expected[row][col]]) << n;
        }
    }
    expectUnchangedExcept(changed);
    EXPECT_TRUE(Store.IsPartsModified());
}

TEST_F(PartsCopyBufferTest, PasteIntoOneCellTakesTheTopLeftPart)
{
    ASSERT_TRUE(Store.CopySelectedParts(3, 5, 5, 7));
    ASSERT_TRUE(Store.PasteIntoSelection(10, 10, 10, 10));
    EXPECT_EQ(Store.PartBitmap(10 * 16 + 10), Original[5 * 16 + 3]);
    expectUnchangedExcept({10 * 16 + 10});
}

TEST_F(PartsCopyBufferTest, PasteOverTheCopiedBlockUsesTheCopy)
{
    // The block is a snapshot: pasting one column to the right reads the old parts.
    ASSERT_TRUE(Store.CopySelectedParts(0, 0, 1, 0));
    ASSERT_TRUE(Store.PasteIntoSelection(1, 0, 2, 0));
    EXPECT_EQ(Store.PartBitmap(1), Original[0]);
    EXPECT_EQ(Store.PartBitmap(2), Original[1]);
    EXPECT_EQ(Store.CopyBuffer()[16], Original[1]);
}

TEST_F(PartsCopyBufferTest, CutThenPasteRestores)
{
    const auto blank = [this] {
        TPartsStore fresh(Formats);
        return snapshotParts(fresh);
    }();
    QImage& held = Store.PartBitmap(18);

    ASSERT_TRUE(Store.CopySelectedParts(1, 1, 3, 2));
    ASSERT_TRUE(Store.DeleteSelectedParts(1, 1, 3, 2));
    EXPECT_TRUE(Store.IsPartsModified());
    for (int n : {17, 18, 19, 33, 34, 35})
        EXPECT_EQ(Store.PartBitmap(n), blank[n]) << n;

    ASSERT_TRUE(Store.PasteIntoSelection(1, 1, 3, 2));
    expectUnchangedExcept({});
    // Paste writes into the part's own picture.
    EXPECT_EQ(held, Original[18]);
}

TEST_F(PartsCopyBufferTest, EmptyBufferAndBadSelectionsChangeNothing)
{
    EXPECT_FALSE(Store.PasteIntoSelection(0, 0, 3, 3));
    EXPECT_FALSE(Store.IsPartsModified());

    EXPECT_FALSE(Store.CopySelectedParts(2, 0, 1, 0));
    EXPECT_FALSE(Store.CopySelectedParts(0, 0, 16, 0));
    EXPECT_FALSE(Store.CopySelectedParts(-1, 0, 0, 0));
    EXPECT_FALSE(Store.HasCopyBuffer());
    EXPECT_TRUE(BufferSignals.empty());

    ASSERT_TRUE(Store.CopySelectedParts(0, 0, 15, 15));
    EXPECT_FALSE(Store.PasteIntoSelection(0, 15, 0, 16));
    EXPECT_FALSE(Store.PasteIntoSelection(0, 3, 0, 2));
    EXPECT_FALSE(Store.DeleteSelectedParts(0, 0, 0, -1));
    EXPECT_FALSE(Store.DeleteSelectedParts(15, 0, 16, 0));
    expectUnchangedExcept({});
    EXPECT_FALSE(Store.IsPartsModified());
}

} // namespace
