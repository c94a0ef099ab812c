#include "MapFile.h"
#include "MapSession.h"

#include "PictureFormats.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace {

QImage filled(const QColor& color, int width = 32, int height = 32)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(color);
    return picture;
}

class MapSessionTest : public ::testing::Test
{
protected:
    MapSessionTest() : Formats(TPictureFormats::WithQtFormats()), Session(Formats)
    {
        Session.NewMap(6, 4, 32, 32);
        Parts().CapturePart(1, filled(Qt::red), 0, 0);
        Parts().CapturePart(2, filled(Qt::blue), 0, 0);
        Doc().SetCell(0, 0, 1);
        Doc().SetCell(5, 3, 2);
    }

    TMapDocument& Doc() { return Session.Document(); }
    TPartsStore& Parts() { return Session.Parts(); }
    TUndoHistory& History() { return Session.History(); }

    // One map step and one parts step, and one of them undone, so that both directions of
    // the history hold something.
    void EditBoth()
    {
        Doc().SetGroupSingle(3);
        Doc().StampGroup({1, 1, 2, 2});
        Parts().EditParts({7}, [&] {
            Parts().CapturePart(7, filled(Qt::green), 0, 0);
            return true;
        });
        Doc().StampGroup({3, 1, 3, 1});
        ASSERT_TRUE(Session.History().Undo());
    }

    QString Path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }

    QTemporaryDir Dir;
    TPictureFormats Formats;
    TMapSession Session;
};

// The operations that touch the map and the parts together are one step: one undo takes
// both back, one redo makes both again.
TEST_F(MapSessionTest, CompoundOperationsAreUndoneAndRedoneAsOneStep)
{
    struct Case
    {
        const char* what;
        std::function<void(TMapSession&)> run;
        std::vector<QPoint> cells; // cells the operation changes
        std::vector<int> parts;    // parts whose pictures it changes
    };
    const std::vector<Case> cases = {
        {"overlay", [](TMapSession& s) { s.Overlay(2, 3, 2, filled(Qt::yellow)); }, {{3, 2}}, {2}},
        {"exchange", [](TMapSession& s) { s.ExchangeParts(1, 2); }, {{0, 0}, {5, 3}}, {1, 2}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> cellsBefore(Doc().MapCells().begin(), Doc().MapCells().end());
        std::vector<QImage> before;
        for (int n : c.parts)
            before.push_back(Parts().PartBitmap(n).copy());
        const int steps = History().UndoCount();

        c.run(Session);
        EXPECT_EQ(History().UndoCount(), steps + 1) << c.what;
        std::vector<uint8_t> cellsAfter(Doc().MapCells().begin(), Doc().MapCells().end());
        std::vector<QImage> after;
        for (size_t i = 0; i < c.parts.size(); ++i) {
            after.push_back(Parts().PartBitmap(c.parts[i]).copy());
            EXPECT_NE(after[i], before[i]) << c.what << " part " << c.parts[i];
        }
        for (const QPoint& cell : c.cells)
            EXPECT_NE(Doc().Cell(cell.x(), cell.y()),
                      cellsBefore[size_t(cell.x()) * 4 + size_t(cell.y())])
                << c.what;

        ASSERT_TRUE(History().Undo()) << c.what;
        EXPECT_TRUE(std::equal(cellsBefore.begin(), cellsBefore.end(), Doc().MapCells().begin()))
            << c.what;
        for (size_t i = 0; i < c.parts.size(); ++i)
            EXPECT_EQ(Parts().PartBitmap(c.parts[i]), before[i]) << c.what;

        ASSERT_TRUE(History().Redo()) << c.what;
        EXPECT_TRUE(std::equal(cellsAfter.begin(), cellsAfter.end(), Doc().MapCells().begin()))
            << c.what;
        for (size_t i = 0; i < c.parts.size(); ++i)
            EXPECT_EQ(Parts().PartBitmap(c.parts[i]), after[i]) << c.what;
    }
}

// Undo and redo leave both flags set, also after a save, which clears the map's alone.
TEST_F(MapSessionTest, UndoNeverClearsAModifiedFlagAndASaveClearsOnlyTheMapsOwn)
{
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"overlay", [this] { Session.Overlay(2, 1, 1, filled(Qt::yellow)); }},
        {"exchange", [this] { Session.ExchangeParts(1, 2); }},
    };
    for (const auto& [what, run] : cases) {
        run();
        ASSERT_TRUE(Doc().MapModified()) << what;
        ASSERT_TRUE(Parts().IsPartsModified()) << what;
        ASSERT_TRUE(History().Undo()) << what;
        EXPECT_TRUE(Doc().MapModified()) << what;
        EXPECT_TRUE(Parts().IsPartsModified()) << what;
        ASSERT_TRUE(History().Redo()) << what;

        QSignalSpy named(&Session, &TMapSession::mapNamed);
        ASSERT_TRUE(Session.SaveMap(Path("a.mpd"), TMapFileType::Type2)) << what;
        EXPECT_FALSE(Doc().MapModified()) << what;
        EXPECT_TRUE(Parts().IsPartsModified()) << what;
        EXPECT_EQ(Session.MapFileName(), Path("a.mpd")) << what;
        EXPECT_EQ(named.count(), 1) << what;
        ASSERT_TRUE(History().Undo()) << what;
        EXPECT_TRUE(Doc().MapModified()) << what;
    }
}

// A new map, a load and an import replace what the steps were made on: the history ends
// with them, and so does the name the map had.
TEST_F(MapSessionTest, ReplacingTheMapEndsTheHistory)
{
    ASSERT_TRUE(Session.SaveMap(Path("saved.mpd"), TMapFileType::Type2));
    ASSERT_TRUE(Session.ExportTmx(Path("saved.tmx"), TTmxEncoding::Csv));
    struct Case
    {
        const char* what;
        std::function<bool(TMapSession&)> run;
        QString fileName;
        QString sourceName;
        bool modified; // the map and the parts count as changed afterwards
    };
    const std::vector<Case> cases = {
        {"new map and parts",
         [](TMapSession& s) {
             s.NewMap(4, 4, 16, 16);
             return true;
         },
         {},
         {},
         false},
        {"new map",
         [](TMapSession& s) {
             s.NewMap(4, 4);
             return true;
         },
         {},
         {},
         false},
        {"load",
         [this](TMapSession& s) { return s.LoadMap(Path("saved.mpd"), TMapFileType::Type2).Ok(); },
         Path("saved.mpd"), Path("saved.mpd"), false},
        {"TMX import",
         [this](TMapSession& s) { return bool(s.ImportTmx(Path("saved.tmx"), 0)); },
         {},
         Path("saved.tmx"),
         true},
    };
    for (const Case& c : cases) {
        Session.SetMapFileName(Path("other.mpd"));
        EditBoth();
        // The undo and redo commands follow the document.
        QSignalSpy undo(&Doc(), &TMapDocument::undoAvailableChanged);
        QSignalSpy redo(&Doc(), &TMapDocument::redoAvailableChanged);
        QSignalSpy onePart(&Parts(), &TPartsStore::partChanged); // all parts change at once
        ASSERT_TRUE(c.run(Session)) << c.what;
        EXPECT_EQ(onePart.count(), 0) << c.what;
        EXPECT_EQ(undo, QList<QList<QVariant>>{{false}}) << c.what;
        EXPECT_EQ(redo, QList<QList<QVariant>>{{false}}) << c.what;
        EXPECT_EQ(History().Bytes(), 0) << c.what;
        EXPECT_EQ(Session.MapFileName(), c.fileName) << c.what;
        EXPECT_EQ(Session.MapSourceName(), c.sourceName) << c.what;
        EXPECT_EQ(Doc().MapModified(), c.modified) << c.what;
    }
    // The imported map and its tiles are the saved ones.
    EXPECT_EQ(Doc().MapWidth(), 6);
    EXPECT_EQ(Doc().Cell(5, 3), 2);
    EXPECT_EQ(Parts().PartBitmap(1), filled(Qt::red));
    EXPECT_EQ(Parts().PartBitmap(2), filled(Qt::blue));
}

// A new map, a load or an import that cannot be made or is cancelled leaves the map, the
// parts, the history and the name as they were.
TEST_F(MapSessionTest, AFailedNewMapOrLoadChangesNothing)
{
    QFile bad(Path("bad.mpd"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("QuiltmapperDataFormat20\x00\x00", 25); // part width 0
    bad.close();

    ASSERT_TRUE(Session.ExportTmx(Path("ok.tmx"), TTmxEncoding::Csv));
    const TProgress stop = [](qint64, qint64) { return false; };

    struct Case
    {
        const char* what;
        std::function<void(TMapSession&)> run;
    };
    const std::vector<Case> cases = {
        {"map size 0",
         [](TMapSession& s) { EXPECT_THROW(s.NewMap(0, 5, 16, 16), std::invalid_argument); }},
        {"part size 0",
         [](TMapSession& s) { EXPECT_THROW(s.NewMap(5, 5, 0, 16), std::invalid_argument); }},
        {"parts too large",
         [](TMapSession& s) { EXPECT_THROW(s.NewMap(5, 5, 65535, 65535), std::length_error); }},
        {"missing file",
         [this](TMapSession& s) {
             EXPECT_FALSE(s.LoadMap(Path("none.mpd"), TMapFileType::Type2).Ok());
         }},
        {"bad header",
         [this](TMapSession& s) {
             EXPECT_FALSE(s.LoadMap(Path("bad.mpd"), TMapFileType::Type2).Ok());
         }},
        {"bad TMX", [this](TMapSession& s) { EXPECT_FALSE(s.ImportTmx(Path("bad.mpd"), 0)); }},
        {"cancelled TMX import",
         [&](TMapSession& s) {
             const TSessionResult r = s.ImportTmx(Path("ok.tmx"), 0, stop);
             EXPECT_TRUE(r.Cancelled);
             EXPECT_FALSE(r);
         }},
    };
    Session.SetMapFileName(Path("kept.mpd"));
    EditBoth();
    const std::vector<uint8_t> cells(Doc().MapCells().begin(), Doc().MapCells().end());
    const QImage part7 = Parts().PartBitmap(7).copy();
    QSignalSpy named(&Session, &TMapSession::mapNamed);
    for (const Case& c : cases) {
        c.run(Session);
        EXPECT_TRUE(std::equal(cells.begin(), cells.end(), Doc().MapCells().begin())) << c.what;
        EXPECT_EQ(Doc().MapWidth(), 6) << c.what;
        EXPECT_EQ(Parts().PartWidth(), 32) << c.what;
        EXPECT_EQ(Parts().PartBitmap(7), part7) << c.what;
        EXPECT_TRUE(Doc().MapModified()) << c.what;
        EXPECT_TRUE(Parts().IsPartsModified()) << c.what;
        EXPECT_EQ(History().UndoCount(), 2) << c.what;
        EXPECT_EQ(History().RedoCount(), 1) << c.what;
        EXPECT_EQ(Session.MapFileName(), Path("kept.mpd")) << c.what;
    }
    EXPECT_EQ(named.count(), 0);

    // A cancelled export leaves no file.
    EXPECT_TRUE(Session.ExportTmx(Path("stopped.tmx"), TTmxEncoding::Csv, {}, stop).Cancelled);
    EXPECT_FALSE(QFile::exists(Path("stopped.tmx")));
    EXPECT_FALSE(QFile::exists(Path("stopped.png")));
}

} // namespace

namespace {

// A map read again from its file, after another program changed one cell: one undo step that
// keeps only what changed, and the map is the saved one.
TEST(MapReload, ASameSizeReloadKeepsOnlyTheChangedCells)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("big.mpd"));
    TPictureFormats formats = TPictureFormats::WithQtFormats();
    TMapSession session(formats);
    session.NewMap(1000, 1000, 32, 32);
    ASSERT_TRUE(session.SaveMap(file, TMapFileType::Type2));
    TMapDocument other;
    ASSERT_TRUE(LoadMapFile(file, TMapFileType::Type2, other).Ok());
    other.SetCell(500, 700, 9);
    ASSERT_TRUE(SaveMapFile(file, other, TMapFileType::Type2, 32, 32));

    ASSERT_EQ(session.ReloadMap(TMapFileType::Type2), TMapSession::TReload::Reloaded);
    EXPECT_EQ(session.Document().Cell(500, 700), 9);
    EXPECT_FALSE(session.Document().MapModified());
    EXPECT_LT(session.History().Bytes(), 4096);
    ASSERT_TRUE(session.History().Undo());
    EXPECT_EQ(session.Document().Cell(500, 700), 0);
    EXPECT_TRUE(session.Document().MapModified());
}

} // namespace
