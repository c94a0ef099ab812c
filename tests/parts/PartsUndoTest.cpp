#include "PartsStore.h"
#include "PartsTestSupport.h"
#include "UndoHistory.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

class PartsUndo : public ::testing::Test
{
protected:
    PartsUndo() : Formats(TPictureFormats::WithQtFormats()), Store(Formats)
    {
        Store.SetHistory(&History);
    }

    bool Same(const std::vector<QImage>& parts) const
    {
        for (int n = 0; n < TPartsStore::PartCount; ++n) {
            if (Store.PartBitmap(n) != parts[size_t(n)])
                return false;
        }
        return true;
    }

    TPictureFormats Formats;
    TUndoHistory History;
    TPartsStore Store;
};

// Every kind of edit is one step; undone to the start the parts are as they began, redone
// to the end as they ended, pixel for pixel.
TEST_F(PartsUndo, MixedEditsUndoToTheStartAndRedoToTheEnd)
{
    QTemporaryDir dir;
    const QString sheet = dir.filePath("sheet.bmp");
    ASSERT_TRUE(patternPicture(16 * 32, 16 * 32, 9).save(sheet, "BMP"));
    const QImage picture = patternPicture(64, 64, 2);
    const std::function<void()> edits[] = {
        [&] {
            Store.EditParts({3}, [&] {
                Store.CapturePart(3, picture, 5, 5);
                return true;
            });
        },
        [&] { ASSERT_TRUE(Store.LoadPartsPicture(sheet)); },
        [&] { ASSERT_TRUE(Store.PasteIntoSelection(4, 4, 7, 5)); },
        [&] { ASSERT_TRUE(Store.DeleteSelectedParts(2, 0, 2, 3)); },
        [&] {
            Store.EditAllParts([&] {
                Store.SlicePartsPicture(picture);
                return true;
            });
        },
    };
    Store.CopySelectedParts(0, 0, 1, 1); // changes no picture and makes no step
    std::vector<std::vector<QImage>> states{snapshotParts(Store)};
    for (const auto& edit : edits) {
        edit();
        states.push_back(snapshotParts(Store));
    }
    EXPECT_EQ(History.UndoCount(), int(std::size(edits)));

    for (size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(History.Undo());
        EXPECT_TRUE(Same(states[i - 1])) << "undo to before edit " << i;
    }
    EXPECT_FALSE(History.CanUndo());
    EXPECT_TRUE(Same(states.front()));
    while (History.Redo()) {
    }
    EXPECT_TRUE(Same(states.back()));
}

TEST_F(PartsUndo, UndoAndRedoNeverClearTheModifiedFlag)
{
    QSignalSpy flag(&Store, &TPartsStore::partsModifiedChanged);
    const QImage red = patternPicture(32, 32, 5);
    const auto capture = [&](int n) {
        Store.EditParts({n}, [&] {
            Store.CapturePart(n, red, 0, 0);
            return true;
        });
    };
    capture(1);
    EXPECT_TRUE(Store.IsPartsModified());
    History.Undo();
    EXPECT_TRUE(Store.IsPartsModified()); // back at the start's pictures, not saved
    Store.ClearPartsModified();           // saved here
    History.Redo();
    EXPECT_TRUE(Store.IsPartsModified());
    Store.ClearPartsModified();
    History.Undo();
    EXPECT_TRUE(Store.IsPartsModified());
    EXPECT_EQ(flag.count(), 5);

    // A change that says it changed nothing makes no step and leaves the flag.
    Store.ClearPartsModified();
    const int steps = History.UndoCount();
    EXPECT_FALSE(Store.EditParts({7}, [] { return false; }));
    EXPECT_EQ(History.UndoCount(), steps);
    EXPECT_FALSE(Store.IsPartsModified());
}

TEST_F(PartsUndo, AChangeThatThrowsIsTakenBack)
{
    const std::vector<QImage> before = snapshotParts(Store);
    EXPECT_THROW(Store.EditParts({4, 5},
                                 [&] {
                                     Store.CapturePart(4, patternPicture(32, 32, 1), 0, 0);
                                     throw std::bad_alloc();
                                     return true;
                                 }),
                 std::bad_alloc);
    EXPECT_TRUE(Same(before));
    EXPECT_FALSE(History.CanUndo());
    EXPECT_FALSE(Store.IsPartsModified());
}

// Undone, a load gives the parts their old name back: a save then goes where they came from,
// never over the picture just loaded.
TEST_F(PartsUndo, AnUndoneLoadTakesBackTheNameToo)
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.bmp"));
    const QString b = dir.filePath(QStringLiteral("b.bmp"));
    ASSERT_TRUE(patternPicture(16 * 32, 16 * 32, 1).save(a, "BMP"));
    ASSERT_TRUE(patternPicture(16 * 32, 16 * 32, 2).save(b, "BMP"));
    ASSERT_TRUE(Store.LoadPartsPicture(a));
    ASSERT_TRUE(Store.LoadPartsPicture(b));
    QSignalSpy matched(&Store, &TPartsStore::pictureFileMatched);
    ASSERT_TRUE(History.Undo());
    EXPECT_EQ(Store.FileName(), a);
    ASSERT_TRUE(History.Undo());
    EXPECT_TRUE(Store.FileName().isEmpty());
    ASSERT_TRUE(History.Redo());
    EXPECT_EQ(Store.FileName(), a);
    EXPECT_EQ(matched.count(), 3);
}

} // namespace
