// Terrain files shared with the other map editor that reads them: it reads ours (we look at
// its JSON export), and we read the file it writes. Skipped where it is not installed.

#include "TerrainFile.h"
#include "TerrainGen.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace TerrainGen;

bool runPeer(const QString& program, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

TEST(TerrainPeer, TiledReadsOursAndWeReadItsOwn)
{
    const QString tiled = QStandardPaths::findExecutable(QStringLiteral("tiled"));
    if (tiled.isEmpty())
        GTEST_SKIP() << "tiled is not installed (Debian package tiled): no peer to check with";
    QTemporaryDir dir;
    const QString parts = dir.filePath(QStringLiteral("parts.png"));
    const TTerrainOwner owner{parts, QSize(PartSide, PartSide), QSize(96, 96)};
    TTerrainSheet ours;
    ours.Sets = {CompleteSet(TWangType::Corner, 3), CompleteSet(TWangType::Edge, 2),
                 CompleteSet(TWangType::Mixed, 2)};
    ours.Sets[0].Colors[2].Probability = 0.5;
    ours.Sets[1].Colors[0].Tile = 3;
    ours.TileProbability[3] = 0.25;
    ASSERT_TRUE(Sheet(ours.Sets[0]).save(parts));
    const QString tsx = TerrainFileName(parts);
    ASSERT_TRUE(WriteTerrainFile(tsx, ours, owner));

    const QString json = dir.filePath(QStringLiteral("peer.json"));
    ASSERT_TRUE(
        runPeer(tiled, {QStringLiteral("--export-tileset"), QStringLiteral("json"), tsx, json}));
    QFile jsonFile(json);
    ASSERT_TRUE(jsonFile.open(QIODevice::ReadOnly));
    const QJsonObject tileset = QJsonDocument::fromJson(jsonFile.readAll()).object();
    const QJsonArray sets = tileset.value(QStringLiteral("wangsets")).toArray();
    ASSERT_EQ(sets.size(), 3);
    for (qsizetype s = 0; s < sets.size(); ++s) {
        const QJsonObject set = sets[s].toObject();
        const TWangSet& mine = ours.Sets[size_t(s)];
        EXPECT_EQ(set.value(QStringLiteral("type")).toString(), WangTypeName(mine.Type));
        const QJsonArray colors = set.value(QStringLiteral("colors")).toArray();
        ASSERT_EQ(size_t(colors.size()), mine.Colors.size());
        for (qsizetype c = 0; c < colors.size(); ++c) {
            EXPECT_EQ(colors[c].toObject().value(QStringLiteral("probability")).toDouble(),
                      mine.Colors[size_t(c)].Probability);
            EXPECT_EQ(colors[c].toObject().value(QStringLiteral("tile")).toInt(),
                      mine.Colors[size_t(c)].Tile);
        }
        const QJsonArray tiles = set.value(QStringLiteral("wangtiles")).toArray();
        ASSERT_EQ(size_t(tiles.size()), mine.Tiles.size());
        for (qsizetype t = 0; t < tiles.size(); ++t) {
            const QJsonObject tile = tiles[t].toObject();
            const TWangTile& m = mine.Tiles[size_t(t)];
            EXPECT_EQ(tile.value(QStringLiteral("tileid")).toInt(), m.TileId);
            const QJsonArray id = tile.value(QStringLiteral("wangid")).toArray();
            ASSERT_EQ(id.size(), 8);
            for (int i = 0; i < 8; ++i)
                EXPECT_EQ(id[i].toInt(), m.WangId[size_t(i)]);
        }
    }

    // Its own file of the same tileset reads as ours did.
    QFile::remove(tsx);
    ASSERT_TRUE(
        runPeer(tiled, {QStringLiteral("--export-tileset"), QStringLiteral("tsx"), json, tsx}));
    const TTerrainRead theirs = ReadTerrainFile(tsx, owner);
    ASSERT_EQ(theirs.State, TTerrainRead::Status::Read) << theirs.Error.toStdString();
    ASSERT_EQ(theirs.Sheet.Sets.size(), 3u);
    EXPECT_EQ(theirs.Sheet.TileProbability, ours.TileProbability);
    for (size_t s = 0; s < 3; ++s) {
        EXPECT_EQ(theirs.Sheet.Sets[s].Type, ours.Sets[s].Type);
        EXPECT_EQ(theirs.Sheet.Sets[s].Colors[0].Tile, ours.Sets[s].Colors[0].Tile);
        ASSERT_EQ(theirs.Sheet.Sets[s].Tiles.size(), ours.Sets[s].Tiles.size());
        for (size_t t = 0; t < ours.Sets[s].Tiles.size(); ++t)
            EXPECT_EQ(theirs.Sheet.Sets[s].Tiles[t].WangId, ours.Sets[s].Tiles[t].WangId);
    }
    EXPECT_EQ(theirs.Sheet.Sets[0].Colors[2].Probability, 0.5);
}

} // namespace
