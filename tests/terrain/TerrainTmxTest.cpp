// Terrain sets through TMX: the exported tileset carries the parts picture's sets, and an
// import writes the map's sets beside the sheet it makes, in part numbers.

#include "CliCommands.h"
#include "MapFile.h"
#include "TerrainFile.h"
#include "TerrainGen.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

namespace {

using namespace TerrainGen;

int runCli(const QStringList& args, QString* err = nullptr)
{
    QString o;
    QString e;
    QTextStream out(&o);
    QTextStream errors(&e);
    const int code = RunCli(args, out, errors);
    errors.flush();
    if (err)
        *err = e;
    return code;
}

TTerrainOwner ownerOf(const QString& picture)
{
    return {picture, QSize(PartSide, PartSide), QSize(16 * PartSide, 16 * PartSide)};
}

// A parts picture with three sets in its terrain file, and a map of it.
struct TExported
{
    QTemporaryDir Dir;
    TTerrainSheet Sheet;
    QString path(const char* name) const { return Dir.filePath(QString::fromLatin1(name)); }

    TExported()
    {
        Sheet.Sets = {CompleteSet(TWangType::Corner, 2), CompleteSet(TWangType::Edge, 3),
                      CompleteSet(TWangType::Mixed, 2)};
        Sheet.Sets[1].Colors[1].Probability = 0.5;
        Sheet.Sets[1].Colors[2].Tile = 17;
        Sheet.Sets[0].Tile = 4;
        Sheet.TileProbability[5] = 0.25;
        const QString parts = path("parts.png");
        EXPECT_TRUE(TerrainGen::Sheet(Sheet.Sets[0]).save(parts));
        EXPECT_TRUE(WriteTerrainFile(TerrainFileName(parts), Sheet, ownerOf(parts)));
        TMapDocument doc;
        doc.NewMap(7, 5);
        for (int i = 0; i < 35; ++i)
            doc.SetCell(i % 7, i / 7, uint8_t(i * 37));
        EXPECT_TRUE(SaveMapFile(path("m.mpd"), doc, TMapFileType::Type2, PartSide, PartSide));
    }
};

void expectSameSets(const std::vector<TWangSet>& got, const std::vector<TWangSet>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t s = 0; s < want.size(); ++s) {
        const TWangSet& g = got[s];
        const TWangSet& w = want[s];
        EXPECT_EQ(g.Name, w.Name);
        EXPECT_EQ(g.Type, w.Type);
        EXPECT_EQ(g.Tile, w.Tile);
        ASSERT_EQ(g.Colors.size(), w.Colors.size());
        for (size_t c = 0; c < w.Colors.size(); ++c) {
            EXPECT_EQ(g.Colors[c].Name, w.Colors[c].Name);
            EXPECT_EQ(g.Colors[c].Color, w.Colors[c].Color);
            EXPECT_EQ(g.Colors[c].Tile, w.Colors[c].Tile);
            EXPECT_EQ(g.Colors[c].Probability, w.Colors[c].Probability);
        }
        ASSERT_EQ(g.Tiles.size(), w.Tiles.size()) << "set " << s;
        for (size_t t = 0; t < w.Tiles.size(); ++t) {
            EXPECT_EQ(g.Tiles[t].TileId, w.Tiles[t].TileId);
            EXPECT_EQ(g.Tiles[t].WangId, w.Tiles[t].WangId);
        }
    }
}

TEST(TerrainTmx, ExportThenImportGivesTheSameSets)
{
    const TExported e;
    QString err;
    ASSERT_EQ(
        runCli({"export", e.path("m.mpd"), e.path("m.tmx"), "--parts", e.path("parts.png")}, &err),
        0)
        << err.toStdString();
    ASSERT_EQ(runCli({"import", e.path("m.tmx"), e.path("back.mpd")}, &err), 0)
        << err.toStdString();
    const TTerrainRead back = ReadTerrainFile(e.path("back.tsx"), ownerOf(e.path("back.png")));
    ASSERT_EQ(back.State, TTerrainRead::Status::Read) << back.Error.toStdString();
    expectSameSets(back.Sheet.Sets, e.Sheet.Sets);
    EXPECT_EQ(back.Sheet.TileProbability, e.Sheet.TileProbability);
}

// Two tilesets of one picture: the tiles the map uses become parts 0.. in gid order, then
// its flipped tiles (tile 3 across the diagonal, tile 9 left to right) the next parts.
const char* const TwoTilesets = R"(<?xml version="1.0"?>
<map version="1.8" orientation="orthogonal" width="4" height="1" tilewidth="6" tileheight="6">
 <tileset firstgid="1" name="a" tilewidth="6" tileheight="6" tilecount="256" columns="16">
  <image source="parts.png" width="96" height="96"/>
  <wangsets><wangset name="unused" type="corner" tile="-1">
   <wangcolor name="g" color="#00ff00" tile="2" probability="1"/>
   <wangtile tileid="2" wangid="0,1,0,1,0,1,0,1"/>
  </wangset></wangsets>
 </tileset>
 <tileset firstgid="257" name="b" tilewidth="6" tileheight="6" tilecount="256" columns="16">
  <image source="parts.png" width="96" height="96"/>
  <tile id="9" probability="0.125"/>
  <wangsets><wangset name="used" type="edge" tile="9">
   <wangcolor name="g" color="#00ff00" tile="7" probability="1"/>
   <wangcolor name="w" color="#0000ff" tile="3" probability="2"/>
   <wangtile tileid="3" wangid="1,0,2,0,1,0,2,0"/>
   <wangtile tileid="7" wangid="1,0,1,0,1,0,1,0"/>
   <wangtile tileid="9" wangid="2,0,2,0,1,0,1,0"/>
  </wangset></wangsets>
 </tileset>
 <layer id="1" name="l" width="4" height="1">
  <data encoding="csv">266,260,536871172,2147483914</data></layer>
</map>
)";

TEST(TerrainTmx, ImportNumbersTheSetsAsTheSheetAndDropsTilesItDoesNotKeep)
{
    QTemporaryDir dir;
    ASSERT_TRUE(Sheet(CompleteSet(TWangType::Edge, 2)).save(dir.filePath("parts.png")));
    QFile tmx(dir.filePath("two.tmx"));
    ASSERT_TRUE(tmx.open(QIODevice::WriteOnly));
    tmx.write(TwoTilesets);
    tmx.close();
    QString err;
    ASSERT_EQ(runCli({"import", tmx.fileName(), dir.filePath("m.mpd")}, &err), 0)
        << err.toStdString();
    const TTerrainRead back =
        ReadTerrainFile(dir.filePath("m.tsx"), ownerOf(dir.filePath("m.png")));
    ASSERT_EQ(back.State, TTerrainRead::Status::Read) << back.Error.toStdString();
    // gid 260 (tile 3) is part 0, gid 266 (tile 9) part 1, their copies 2 and 3; tile 7 is
    // no part.
    TWangSet want;
    want.Name = QStringLiteral("used");
    want.Type = TWangType::Edge;
    want.Tile = 1;
    want.Colors = {{QStringLiteral("g"), QColor(0, 255, 0), -1, 1.0, {}},
                   {QStringLiteral("w"), QColor(0, 0, 255), 0, 2.0, {}}};
    want.Tiles = {{0, {1, 0, 2, 0, 1, 0, 2, 0}, {}},
                  {2, {2, 0, 1, 0, 2, 0, 1, 0}, {}},
                  {1, {2, 0, 2, 0, 1, 0, 1, 0}, {}},
                  {3, {2, 0, 1, 0, 1, 0, 2, 0}, {}}};
    expectSameSets(back.Sheet.Sets, {want});
    EXPECT_EQ(back.Sheet.TileProbability[1], 0.125);
    EXPECT_EQ(back.Sheet.TileProbability[3], 0.125);
    EXPECT_EQ(back.Sheet.TileProbability[0], 1.0);
}

TEST(TerrainTmx, ImportRefusedWithNothingWritten)
{
    const QByteArray foreign = R"(<?xml version="1.0"?>
<tileset name="other" tilewidth="6" tileheight="6" tilecount="256" columns="16">
 <image source="other.png" width="96" height="96"/>
</tileset>
)";
    QByteArray hostile = TwoTilesets;
    hostile.replace(R"(tileid="7")", R"(tileid="256")");
    const struct
    {
        const char* Name;
        QByteArray Tmx;
        QByteArray ExistingTsx; // empty: none
        const char* Message;
    } cases[] = {
        {"foreign terrain file", TwoTilesets, foreign, "belongs to the picture"},
        {"tile beyond the tileset", hostile, {}, "tileid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QTemporaryDir dir;
        ASSERT_TRUE(Sheet(CompleteSet(TWangType::Edge, 2)).save(dir.filePath("parts.png")));
        QFile tmx(dir.filePath("two.tmx"));
        ASSERT_TRUE(tmx.open(QIODevice::WriteOnly));
        tmx.write(c.Tmx);
        tmx.close();
        const QString tsx = dir.filePath("m.tsx");
        if (!c.ExistingTsx.isEmpty()) {
            QFile f(tsx);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.ExistingTsx);
        }
        QString err;
        EXPECT_EQ(runCli({"import", tmx.fileName(), dir.filePath("m.mpd")}, &err), 1);
        EXPECT_TRUE(err.contains(QLatin1String(c.Message))) << err.toStdString();
        EXPECT_FALSE(QFile::exists(dir.filePath("m.mpd")));
        EXPECT_FALSE(QFile::exists(dir.filePath("m.png")));
        QFile f(tsx);
        EXPECT_EQ(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(), c.ExistingTsx);
    }
}

TEST(TerrainTmx, TiledReadsTheExportedSets)
{
    const QString tiled = QStandardPaths::findExecutable(QStringLiteral("tiled"));
    if (tiled.isEmpty())
        GTEST_SKIP() << "tiled is not installed (Debian package tiled): no peer to check with";
    const TExported e;
    QString err;
    ASSERT_EQ(
        runCli({"export", e.path("m.mpd"), e.path("m.tmx"), "--parts", e.path("parts.png")}, &err),
        0)
        << err.toStdString();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(tiled, {QStringLiteral("--export-map"), e.path("m.tmx"), e.path("m.json")});
    ASSERT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().data();
    QFile json(e.path("m.json"));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonArray tilesets = QJsonDocument::fromJson(json.readAll())
                                    .object()
                                    .value(QStringLiteral("tilesets"))
                                    .toArray();
    ASSERT_EQ(tilesets.size(), 1);
    const QJsonArray sets = tilesets[0].toObject().value(QStringLiteral("wangsets")).toArray();
    ASSERT_EQ(size_t(sets.size()), e.Sheet.Sets.size());
    for (qsizetype s = 0; s < sets.size(); ++s) {
        const QJsonObject set = sets[s].toObject();
        const TWangSet& mine = e.Sheet.Sets[size_t(s)];
        EXPECT_EQ(set.value(QStringLiteral("name")).toString(), mine.Name);
        EXPECT_EQ(set.value(QStringLiteral("type")).toString(), WangTypeName(mine.Type));
        const QJsonArray tiles = set.value(QStringLiteral("wangtiles")).toArray();
        ASSERT_EQ(size_t(tiles.size()), mine.Tiles.size());
        for (qsizetype t = 0; t < tiles.size(); ++t) {
            const QJsonObject tile = tiles[t].toObject();
            EXPECT_EQ(tile.value(QStringLiteral("tileid")).toInt(), mine.Tiles[size_t(t)].TileId);
            const QJsonArray id = tile.value(QStringLiteral("wangid")).toArray();
            ASSERT_EQ(id.size(), 8);
            for (int i = 0; i < 8; ++i)
                EXPECT_EQ(id[i].toInt(), mine.Tiles[size_t(t)].WangId[size_t(i)]);
        }
    }
}

} // namespace
