// Editing terrain sets as the parts window's editor does: sets, colours, places, the standard
// layouts, and the store that paints with the edits and writes them.

#include "TerrainEdit.h"

#include "NoRoom.h"
#include "TerrainGen.h"
#include "TerrainPainter.h"
#include "TerrainStore.h"
#include "UndoHistory.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>

namespace {

using namespace TerrainEdit;
using namespace TerrainGen;

TWangSet twoColorSet(TWangType type)
{
    TTerrainSheet sheet;
    AddSet(sheet, QStringLiteral("s"), type);
    TWangSet& set = sheet.Sets[0];
    AddColor(set, QStringLiteral("grass"), Qt::green);
    AddColor(set, QStringLiteral("sand"), Qt::yellow);
    return set;
}

TEST(TerrainEdit, SetsColoursAndPlaces)
{
    TTerrainSheet sheet;
    EXPECT_EQ(AddSet(sheet, UniqueSetName(sheet, QStringLiteral("t")), TWangType::Mixed), 0);
    EXPECT_EQ(AddSet(sheet, UniqueSetName(sheet, QStringLiteral("t")), TWangType::Corner), 1);
    EXPECT_EQ(sheet.Sets[1].Name, QStringLiteral("t 2"));
    TWangSet& set = sheet.Sets[0];
    for (int c = 1; c <= 3; ++c)
        EXPECT_EQ(AddColor(set, QString::number(c), SuggestedColor(set)), c);
    EXPECT_NE(set.Colors[0].Color, set.Colors[1].Color);

    EXPECT_TRUE(SetPlace(set, 40, Wang::Top, 3));
    EXPECT_FALSE(SetPlace(set, 40, Wang::Top, 3));  // no change
    EXPECT_FALSE(SetPlace(set, 40, Wang::Left, 4)); // no such colour
    EXPECT_TRUE(SetPlace(set, 40, Wang::TopLeft, 2));
    EXPECT_TRUE(SetPlace(set, 7, Wang::Right, 1));
    ASSERT_EQ(set.Tiles.size(), 2u);
    EXPECT_EQ(set.Tiles[0].TileId, 7); // in part order
    EXPECT_EQ(IdOf(set, 40), (TWangId{3, 0, 0, 0, 0, 0, 0, 2}));

    // Deleting a colour clears its places and renumbers the later ones; a part left without
    // colours leaves the set.
    DeleteColor(set, 1);
    EXPECT_EQ(set.Colors.size(), 2u);
    EXPECT_EQ(IdOf(set, 40), (TWangId{2, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(set.Tiles.size(), 1u);
    // A corner set has no edges: they are cleared.
    SetType(set, TWangType::Corner);
    EXPECT_EQ(IdOf(set, 40), (TWangId{0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_FALSE(SetPlace(set, 40, Wang::Top, 1));
    EXPECT_TRUE(SetPlace(set, 40, Wang::TopLeft, 0));
    EXPECT_TRUE(set.Tiles.empty());

    DeleteSet(sheet, 0);
    ASSERT_EQ(sheet.Sets.size(), 1u);
    EXPECT_EQ(sheet.Sets[0].Name, QStringLiteral("t 2"));
}

TEST(TerrainEdit, PlaceUnderThePointer)
{
    EXPECT_EQ(PlaceAt(TWangType::Corner, {0.2, 0.3}), Wang::TopLeft);
    EXPECT_EQ(PlaceAt(TWangType::Corner, {0.9, 0.6}), Wang::BottomRight);
    EXPECT_EQ(PlaceAt(TWangType::Edge, {0.5, 0.1}), Wang::Top);
    EXPECT_EQ(PlaceAt(TWangType::Edge, {0.15, 0.3}), Wang::Left);
    EXPECT_EQ(PlaceAt(TWangType::Edge, {0.6, 0.9}), Wang::Bottom);
    EXPECT_EQ(PlaceAt(TWangType::Mixed, {0.1, 0.1}), Wang::TopLeft);
    EXPECT_EQ(PlaceAt(TWangType::Mixed, {0.5, 0.1}), Wang::Top);
    EXPECT_EQ(PlaceAt(TWangType::Mixed, {0.9, 0.5}), Wang::Right);
    EXPECT_EQ(PlaceAt(TWangType::Mixed, {0.45, 0.6}), Wang::Bottom); // the middle: nearest
}

// Paints random places and fills with the set on a map of its parts: every edit fits.
void expectPaintsWithoutSeams(const TWangSet& set, bool fills)
{
    const TWangMatcher m(set, evenOdds());
    const QImage sheet = Sheet(set);
    TMapDocument doc;
    doc.NewMap(14, 12);
    {
        TTerrainPainter p(doc, m);
        p.FillRect({0, 0, 13, 11}, 2);
        ASSERT_TRUE(p.Commit(doc));
    }
    TCellRng rng(3);
    for (int op = 0; op < 60; ++op) {
        TTerrainPainter p(doc, m);
        const uint8_t color = uint8_t(1 + rng.Below(2));
        if (fills && op % 2) {
            const int x = int(rng.Below(12));
            const int y = int(rng.Below(10));
            p.FillRect({x, y, x + int(rng.Below(3)), y + int(rng.Below(3))}, color);
        } else {
            const QPoint place = p.PlaceAt({rng.Below(14 * 4) / 4.0, rng.Below(12 * 4) / 4.0});
            p.PaintPlaces(std::span(&place, 1), color);
        }
        ASSERT_EQ(p.Unmatched(), 0) << "op " << op;
        p.Commit(doc);
        ASSERT_EQ(seams(doc, m, sheet), 0) << "op " << op;
    }
}

TEST(TerrainEdit, TheSixteenPartLayoutIsCompleteAndFitsTogether)
{
    for (TWangType type : {TWangType::Corner, TWangType::Edge}) {
        SCOPED_TRACE(WangTypeName(type).toStdString());
        TWangSet set = twoColorSet(type);
        EXPECT_FALSE(LayoutProblem(set, TLayout::Corner16, 13).isEmpty());      // past the right
        EXPECT_FALSE(LayoutProblem(set, TLayout::Corner16, 13 * 16).isEmpty()); // past the bottom
        ASSERT_TRUE(StampLayout(set, TLayout::Corner16, 12 * 16 + 12, 1, 2));
        ASSERT_EQ(set.Tiles.size(), 16u);
        std::set<TWangId> ids;
        for (const TWangTile& t : set.Tiles) {
            ids.insert(t.WangId);
            EXPECT_GE(t.TileId % 16, 12);
            EXPECT_GE(t.TileId / 16, 12);
        }
        EXPECT_EQ(ids.size(), 16u); // every combination of the two terrains
        // The block fits its neighbours within it and, repeated, its own copies.
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                const TWangId a = IdOf(set, (12 + r) * 16 + 12 + c);
                const TWangId right = IdOf(set, (12 + r) * 16 + 12 + (c + 1) % 4);
                const TWangId below = IdOf(set, (12 + (r + 1) % 4) * 16 + 12 + c);
                EXPECT_EQ(a[Wang::TopRight], right[Wang::TopLeft]);
                EXPECT_EQ(a[Wang::Right], right[Wang::Left]);
                EXPECT_EQ(a[Wang::BottomLeft], below[Wang::TopLeft]);
                EXPECT_EQ(a[Wang::Bottom], below[Wang::Top]);
            }
        }
        expectPaintsWithoutSeams(set, true);
    }
    EXPECT_FALSE(LayoutProblem(twoColorSet(TWangType::Mixed), TLayout::Corner16, 0).isEmpty());
}

TEST(TerrainEdit, TheBlobLayoutHasTheFortySevenParts)
{
    TWangSet set = twoColorSet(TWangType::Mixed);
    EXPECT_FALSE(LayoutProblem(set, TLayout::Blob47, 9).isEmpty());
    EXPECT_FALSE(LayoutProblem(twoColorSet(TWangType::Corner), TLayout::Blob47, 0).isEmpty());
    ASSERT_TRUE(StampLayout(set, TLayout::Blob47, 16, 1, 2));
    ASSERT_EQ(set.Tiles.size(), 47u);
    std::set<TWangId> ids;
    for (const TWangTile& t : set.Tiles) {
        ids.insert(t.WangId);
        // 8 columns from the left, rows 1 to 6; the last place free.
        EXPECT_LT(t.TileId % 16, 8);
        EXPECT_LT((t.TileId / 16 - 1) * 8 + t.TileId % 16, 47);
        // A corner shows the terrain only where both sides beside it do.
        for (int corner = 1; corner < 8; corner += 2) {
            if (t.WangId[corner] == 1) {
                EXPECT_TRUE(t.WangId[corner - 1] == 1 && t.WangId[(corner + 1) % 8] == 1);
            }
        }
    }
    EXPECT_EQ(ids.size(), 47u);
    EXPECT_EQ(*ids.begin(), (TWangId{1, 1, 1, 1, 1, 1, 1, 1})); // the solid terrain is there
    // Painted side by side, the parts meet without seams.
    expectPaintsWithoutSeams(set, false);
}

class TerrainStoreEdit : public ::testing::Test
{
protected:
    QString Picture() const { return Dir.filePath(QStringLiteral("parts.png")); }
    QTemporaryDir Dir;
    TTerrainStore Store;
};

TEST_F(TerrainStoreEdit, EditsPaintAtOnceAndAreWrittenBeside)
{
    Store.Read(Picture(), QSize(8, 8));
    ASSERT_TRUE(Store.EditProblem().isEmpty());
    EXPECT_EQ(Store.Matcher(), nullptr);
    QSignalSpy sets(&Store, &TTerrainStore::setsChanged);

    TTerrainSheet sheet = Store.Sheet();
    AddSet(sheet, QStringLiteral("water"), TWangType::Corner);
    AddColor(sheet.Sets[0], QStringLiteral("deep"), Qt::blue);
    AddColor(sheet.Sets[0], QStringLiteral("shallow"), Qt::cyan);
    ASSERT_TRUE(Store.Edit(sheet)); // a set without parts cannot paint yet
    EXPECT_EQ(Store.Matcher(), nullptr);
    StampLayout(sheet.Sets[0], TLayout::Corner16, 0, 1, 2);
    ASSERT_TRUE(Store.Edit(sheet));
    EXPECT_EQ(sets.count(), 2);
    ASSERT_NE(Store.Matcher(), nullptr);
    EXPECT_TRUE(Store.Matcher()->InSet(3 * 16 + 3));
    Store.Choose(0, 2);

    // Read again, as the next run does: the same sets, and the chosen terrain kept.
    TTerrainStore again;
    again.Prefer(QStringLiteral("water"), 2);
    again.Read(Picture(), QSize(8, 8));
    ASSERT_EQ(again.Sheet().Sets.size(), 1u);
    const TWangSet& read = again.Sheet().Sets[0];
    EXPECT_EQ(read.Name, QStringLiteral("water"));
    EXPECT_EQ(read.Colors[1].Name, QStringLiteral("shallow"));
    EXPECT_EQ(read.Colors[1].Color, QColor(Qt::cyan));
    ASSERT_EQ(read.Tiles.size(), 16u);
    for (const TWangTile& t : sheet.Sets[0].Tiles)
        EXPECT_EQ(IdOf(read, t.TileId), t.WangId);
    EXPECT_EQ(again.Color(), 2);
}

TEST_F(TerrainStoreEdit, EditsAreUndoneInTheFileToo)
{
    TUndoHistory history;
    Store.SetHistory(&history);
    Store.Read(Picture(), QSize(8, 8));
    TTerrainSheet sheet = Store.Sheet();
    AddSet(sheet, QStringLiteral("water"), TWangType::Edge);
    AddColor(sheet.Sets[0], QStringLiteral("deep"), Qt::blue);
    Store.Edit(sheet);
    SetPlace(sheet.Sets[0], 5, Wang::Left, 1);
    Store.Edit(sheet);
    ASSERT_NE(Store.Matcher(), nullptr);

    const auto fileSets = [this] {
        TTerrainStore read;
        read.Read(Picture(), QSize(8, 8));
        return read.Sheet().Sets.size() == 1 ? read.Sheet().Sets[0].Tiles.size() : size_t(99);
    };
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(Store.Matcher(), nullptr);
    EXPECT_EQ(fileSets(), 0u);
    ASSERT_TRUE(history.Redo());
    EXPECT_EQ(IdOf(Store.Sheet().Sets[0], 5)[Wang::Left], 1);
    EXPECT_EQ(fileSets(), 1u);

    // Another program changed the file: an edit or an undo reads it again, says so, and
    // leaves its change in place; the steps made before it are no longer undone.
    TTerrainSheet theirs;
    AddSet(theirs, QStringLiteral("theirs"), TWangType::Corner);
    ASSERT_TRUE(WriteTerrainFile(TerrainFileName(Picture()), theirs,
                                 {Picture(), QSize(8, 8), QSize(128, 128)}));
    QSignalSpy failed(&Store, &TTerrainStore::writeFailed);
    EXPECT_FALSE(Store.Edit(sheet));
    ASSERT_TRUE(history.Undo());
    EXPECT_EQ(failed.count(), 1);
    ASSERT_EQ(Store.Sheet().Sets.size(), 1u);
    EXPECT_EQ(Store.Sheet().Sets[0].Name, QStringLiteral("theirs"));
    EXPECT_EQ(fileSets(), 0u);
    // Deleted by another program, the file is written anew by the next edit.
    ASSERT_TRUE(QFile::remove(TerrainFileName(Picture())));
    EXPECT_TRUE(Store.Edit(Store.Sheet()));
    EXPECT_TRUE(QFile::exists(TerrainFileName(Picture())));

    // Another picture's sets are in use: the steps leave them and their file alone.
    const QString other = Dir.filePath(QStringLiteral("other.png"));
    Store.Read(other, QSize(8, 8));
    ASSERT_TRUE(history.Undo());
    EXPECT_TRUE(Store.Sheet().Sets.empty());
    EXPECT_FALSE(QFile::exists(TerrainFileName(other)));
}

// What another editor put in the file is copied with every step: the history counts it
// against its budget.
TEST_F(TerrainStoreEdit, StepsCountTheKeptPartsOfTheFile)
{
    QByteArray tsx = "<?xml version=\"1.0\"?>\n<tileset name=\"t\" tilewidth=\"8\" "
                     "tileheight=\"8\" tilecount=\"256\" columns=\"16\">\n"
                     " <image source=\"parts.png\" width=\"128\" height=\"128\"/>\n"
                     " <properties>\n";
    constexpr int Kept = 20000;
    for (int i = 0; i < Kept; ++i)
        tsx += "  <property name=\"p" + QByteArray::number(i) + "\" value=\"1\"/>\n";
    tsx += " </properties>\n</tileset>\n";
    QFile file(TerrainFileName(Picture()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(tsx);
    file.close();
    TUndoHistory history;
    Store.SetHistory(&history);
    Store.Read(Picture(), QSize(8, 8));
    ASSERT_TRUE(Store.EditProblem().isEmpty()) << Store.EditProblem().toStdString();
    TTerrainSheet sheet = Store.Sheet();
    AddSet(sheet, QStringLiteral("w"), TWangType::Corner);
    ASSERT_TRUE(Store.Edit(sheet));
    EXPECT_GE(history.Bytes(), 2 * Kept * qint64(sizeof(TXmlNode)));
}

TEST_F(TerrainStoreEdit, AnotherTilesetIsNeverWritten)
{
    const QString tsx = TerrainFileName(Picture());
    const QByteArray foreign = "<?xml version=\"1.0\"?>\n<tileset name=\"x\" tilewidth=\"16\" "
                               "tileheight=\"16\" tilecount=\"4\" columns=\"2\">\n"
                               " <image source=\"other.png\" width=\"32\" height=\"32\"/>\n"
                               "</tileset>\n";
    {
        QFile file(tsx);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(foreign);
    }
    Store.Read(Picture(), QSize(8, 8));
    EXPECT_FALSE(Store.EditProblem().isEmpty());
    EXPECT_EQ(Store.EditProblem(), Store.Problem());
    TTerrainSheet sheet;
    AddSet(sheet, QStringLiteral("w"), TWangType::Corner);
    const TFileWriteResult written = Store.Edit(sheet);
    EXPECT_FALSE(written);
    EXPECT_EQ(written.Error, Store.EditProblem());
    EXPECT_TRUE(Store.Sheet().Sets.empty());
    QFile file(tsx);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), foreign);
}

TEST_F(TerrainStoreEdit, SetsGoWithThePartsWhenTheyAreSaved)
{
    // Made before the parts have a name: painted with, written nowhere.
    Store.Read(QString(), QSize(8, 8));
    TTerrainSheet sheet;
    AddSet(sheet, QStringLiteral("w"), TWangType::Corner);
    AddColor(sheet.Sets[0], QStringLiteral("a"), Qt::red);
    SetPlace(sheet.Sets[0], 9, Wang::TopLeft, 1);
    ASSERT_TRUE(Store.Edit(sheet));
    EXPECT_NE(Store.Matcher(), nullptr);
    EXPECT_TRUE(QDir(Dir.path()).entryList(QDir::Files).isEmpty());

    // Saved: the sets are written beside the picture, as its own.
    Store.PartsSaved(Picture());
    Store.Read(Picture(), QSize(8, 8));
    TTerrainStore read;
    read.Read(Picture(), QSize(8, 8));
    ASSERT_EQ(read.Sheet().Sets.size(), 1u);
    EXPECT_EQ(IdOf(read.Sheet().Sets[0], 9)[Wang::TopLeft], 1);

    // Saved under a name that has sets of its own: those are used, and kept as they are.
    const QString other = Dir.filePath(QStringLiteral("other.png"));
    TTerrainSheet otherSheet;
    AddSet(otherSheet, QStringLiteral("theirs"), TWangType::Edge);
    ASSERT_TRUE(WriteTerrainFile(TerrainFileName(other), otherSheet,
                                 {other, QSize(8, 8), QSize(128, 128)}));
    Store.PartsSaved(other);
    Store.Read(other, QSize(8, 8));
    ASSERT_EQ(Store.Sheet().Sets.size(), 1u);
    EXPECT_EQ(Store.Sheet().Sets[0].Name, QStringLiteral("theirs"));
    // A write that fails is announced; the sets are in use all the same, and are written when
    // the parts are next saved under their name.
    TNoRoom room(TNoRoomKind::FileSizeLimit);
    ASSERT_TRUE(room.Ready());
    const QString roomless = room.Path(QStringLiteral("parts.png"));
    Store.Read(roomless, QSize(8, 8));
    QSignalSpy failed(&Store, &TTerrainStore::writeFailed);
    QSignalSpy unwritten(&Store, &TTerrainStore::setsUnwritten);
    room.Arm();
    EXPECT_FALSE(Store.Edit(sheet));
    room.Disarm();
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(unwritten.count(), 1);
    EXPECT_NE(Store.Matcher(), nullptr);
    Store.Read(roomless, QSize(8, 8));
    EXPECT_NE(Store.Matcher(), nullptr);
    TTerrainStore written;
    written.Read(roomless, QSize(8, 8));
    EXPECT_EQ(written.Sheet().Sets.size(), 1u);
    // A plain load of a picture without sets brings none.
    Store.Read(Dir.filePath(QStringLiteral("third.png")), QSize(8, 8));
    EXPECT_TRUE(Store.Sheet().Sets.empty());
}

} // namespace
