// Terrain files: written and read back, what the program does not use kept, another
// tileset left alone, hostile files refused.

#include "TerrainFile.h"

#include "TerrainGen.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace TerrainGen;

void expectSameSets(const std::vector<TWangSet>& a, const std::vector<TWangSet>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t s = 0; s < a.size(); ++s) {
        EXPECT_EQ(a[s].Name, b[s].Name);
        EXPECT_EQ(a[s].Type, b[s].Type);
        EXPECT_EQ(a[s].Tile, b[s].Tile);
        ASSERT_EQ(a[s].Colors.size(), b[s].Colors.size());
        for (size_t c = 0; c < a[s].Colors.size(); ++c) {
            EXPECT_EQ(a[s].Colors[c].Name, b[s].Colors[c].Name);
            EXPECT_EQ(a[s].Colors[c].Color, b[s].Colors[c].Color);
            EXPECT_EQ(a[s].Colors[c].Tile, b[s].Colors[c].Tile);
            EXPECT_EQ(a[s].Colors[c].Probability, b[s].Colors[c].Probability);
        }
        ASSERT_EQ(a[s].Tiles.size(), b[s].Tiles.size());
        for (size_t t = 0; t < a[s].Tiles.size(); ++t) {
            EXPECT_EQ(a[s].Tiles[t].TileId, b[s].Tiles[t].TileId);
            EXPECT_EQ(a[s].Tiles[t].WangId, b[s].Tiles[t].WangId);
        }
    }
}

class TerrainFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        FPicture = FDir.filePath(QStringLiteral("parts.png"));
        FOwner = {FPicture, QSize(PartSide, PartSide), QSize(16 * PartSide, 16 * PartSide)};
        ASSERT_TRUE(Sheet(CompleteSet(TWangType::Corner, 2)).save(FPicture));
    }
    QString tsx() const { return TerrainFileName(FPicture); }
    void put(const QByteArray& text) const
    {
        QFile f(tsx());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray contents() const
    {
        QFile f(tsx());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir FDir;
    QString FPicture;
    TTerrainOwner FOwner;
};

TEST_F(TerrainFile, WrittenSetsReadBackTheSame)
{
    TTerrainSheet sheet;
    sheet.Sets = {CompleteSet(TWangType::Corner, 3), CompleteSet(TWangType::Edge, 2),
                  CompleteSet(TWangType::Mixed, 2)};
    sheet.Sets[0].Colors[1].Probability = 0.1;
    sheet.Sets[0].Colors[2].Color = QColor(10, 20, 30, 40);
    sheet.Sets[1].Colors[0].Tile = 5;
    sheet.Sets[2].Tile = 7;
    sheet.TileProbability[3] = 2.5;
    sheet.TileProbability[200] = 0;
    ASSERT_TRUE(WriteTerrainFile(tsx(), sheet, FOwner));
    EXPECT_EQ(tsx(), FDir.filePath(QStringLiteral("parts.tsx")));

    const TTerrainRead read = ReadTerrainFile(tsx(), FOwner);
    ASSERT_EQ(read.State, TTerrainRead::Status::Read) << read.Error.toStdString();
    expectSameSets(read.Sheet.Sets, sheet.Sets);
    EXPECT_EQ(read.Sheet.TileProbability, sheet.TileProbability);
    EXPECT_EQ(read.Sheet.TileSize, QSize(PartSide, PartSide));
}

TEST_F(TerrainFile, KeepsWhatItDoesNotUse)
{
    // As another editor writes it, with properties, a class and things of its own.
    put(R"(<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.8" tiledversion="1.8.2" name="parts" tilewidth="6" tileheight="6" tilecount="256" columns="16" spacing="0">
 <!-- kept comment -->
 <properties><property name="author" value="someone"/></properties>
 <image source="parts.png" width="96" height="96"/>
 <tile id="4" probability="0.5"><properties><property name="solid" type="bool" value="true"/></properties></tile>
 <wangsets>
  <wangset name="ground" type="corner" tile="-1" class="outdoor">
   <properties><property name="layer" type="int" value="2"/></properties>
   <wangcolor name="grass" color="#00ff00" tile="-1" probability="1" class="g"/>
   <wangcolor name="sand" color="#ffff00" tile="4" probability="0.5"/>
   <wangtile tileid="4" wangid="0,1,0,1,0,2,0,2" extra="x"/>
  </wangset>
 </wangsets>
 <custom-element a="b">text</custom-element>
</tileset>
)");
    TTerrainRead read = ReadTerrainFile(tsx(), FOwner);
    ASSERT_EQ(read.State, TTerrainRead::Status::Read) << read.Error.toStdString();
    ASSERT_EQ(read.Sheet.Sets.size(), 1u);
    EXPECT_EQ(read.Sheet.TileProbability[4], 0.5);
    TWangSet& set = read.Sheet.Sets[0];
    EXPECT_EQ(set.Tiles[0].WangId, (TWangId{0, 1, 0, 1, 0, 2, 0, 2}));
    set.Tiles.push_back({5, {0, 2, 0, 2, 0, 2, 0, 2}, {}});
    read.Sheet.TileProbability[4] = 1; // its <tile> stays for its properties
    ASSERT_TRUE(WriteTerrainFile(tsx(), read.Sheet, FOwner));

    const QByteArray text = contents();
    for (const char* kept :
         {"<!-- kept comment -->", "name=\"author\"", "tiledversion=\"1.8.2\"", "spacing=\"0\"",
          "name=\"solid\"", "class=\"outdoor\"", "name=\"layer\"", "class=\"g\"", "extra=\"x\"",
          "<custom-element a=\"b\">text</custom-element>"})
        EXPECT_TRUE(text.contains(kept)) << kept;
    EXPECT_FALSE(text.contains("<tile id=\"4\" probability"));
    const TTerrainRead again = ReadTerrainFile(tsx(), FOwner);
    ASSERT_EQ(again.State, TTerrainRead::Status::Read);
    expectSameSets(again.Sheet.Sets, read.Sheet.Sets);
    EXPECT_EQ(again.Sheet.TileProbability[4], 1.0);
}

TEST_F(TerrainFile, RefusesOtherTilesetsAndHostileFiles)
{
    const QByteArray head = R"(<?xml version="1.0"?>)";
    auto tileset = [](const char* attributes, const char* body) {
        return QByteArray("<tileset name=\"t\" ") + attributes + ">" + body + "</tileset>";
    };
    const char* image = R"(<image source="parts.png" width="96" height="96"/>)";
    QByteArray manyAttributes = "<tileset tilewidth=\"6\" tileheight=\"6\"";
    for (int i = 0; i < 300; ++i)
        manyAttributes += " a" + QByteArray::number(i) + "=\"1\"";
    manyAttributes += "/>";
    const struct
    {
        QByteArray Text;
        TTerrainRead::Status State;
        const char* Reason;
    } cases[] = {
        {head + tileset(R"(tilewidth="6" tileheight="6")",
                        R"(<image source="other.png" width="96" height="96"/>)"),
         TTerrainRead::Status::Foreign, "other.png"},
        {head + tileset(R"(tilewidth="8" tileheight="6")", image), TTerrainRead::Status::Foreign,
         "8 x 6"},
        {head + tileset(R"(tilewidth="6" tileheight="6")", ""), TTerrainRead::Status::Foreign,
         "one picture"},
        {head + "<!DOCTYPE t [<!ENTITY a \"aaaa\">]>" +
             tileset(R"(tilewidth="6" tileheight="6")", image),
         TTerrainRead::Status::Bad, "entities"},
        {head + manyAttributes, TTerrainRead::Status::Bad, "attributes"},
        {head + tileset(R"(tilewidth="6" tileheight="6")",
                        R"(<image source="parts.png"/><wangsets><wangset name="w" type="corner">
                           <wangcolor name="a" color="#ff0000"/>
                           <wangtile tileid="1" wangid="0,2,0,1,0,1,0,1"/></wangset></wangsets>)"),
         TTerrainRead::Status::Bad, "wangid"},
        {head +
             tileset(
                 R"(tilewidth="6" tileheight="6")",
                 R"(<image source="parts.png"/><wangsets><wangset name="w" type="round"/></wangsets>)"),
         TTerrainRead::Status::Bad, "round"},
        {head + "<tileset tilewidth=\"6\" tileheight=\"6\">" + QByteArray(40, '<'),
         TTerrainRead::Status::Bad, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Reason);
        put(c.Text);
        const TTerrainRead read = ReadTerrainFile(tsx(), FOwner);
        EXPECT_EQ(read.State, c.State);
        EXPECT_TRUE(read.Error.contains(QLatin1String(c.Reason))) << read.Error.toStdString();
        // Never replaced.
        TTerrainSheet sheet;
        sheet.Sets = {CompleteSet(TWangType::Corner, 2)};
        const TFileWriteResult written = WriteTerrainFile(tsx(), sheet, FOwner);
        EXPECT_FALSE(written);
        EXPECT_TRUE(written.Error.contains(QLatin1String(c.Reason)));
        EXPECT_EQ(contents(), c.Text);
    }
}

} // namespace
