// quiltmapper-cli autotile on small pictures of terrain colours.

#include "CliCommands.h"
#include "MapFile.h"
#include "TerrainFile.h"
#include "TerrainGen.h"
#include "WangMatcher.h"

#include <QFileInfo>
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

TEST(TerrainCli, AutotileGivesEveryCellThePartOfItsPixels)
{
    for (const TWangType type : {TWangType::Corner, TWangType::Edge, TWangType::Mixed}) {
        SCOPED_TRACE(WangTypeName(type).toStdString());
        QTemporaryDir dir;
        const QString parts = dir.filePath(QStringLiteral("parts.png"));
        const QString tsx = dir.filePath(QStringLiteral("parts.tsx"));
        const QString map = dir.filePath(QStringLiteral("out.mpd"));
        const QString terrain = dir.filePath(QStringLiteral("terrain.png"));
        TTerrainSheet sheet;
        sheet.Sets = {CompleteSet(TWangType::Corner, 2),
                      CompleteSet(type, type == TWangType::Mixed ? 2 : 3)};
        sheet.Sets[1].Name = QStringLiteral("wanted");
        ASSERT_TRUE(Sheet(sheet.Sets[1]).save(parts));
        ASSERT_TRUE(
            WriteTerrainFile(tsx, sheet, {parts, QSize(PartSide, PartSide), QSize(96, 96)}));

        // 5 x 4 cells.
        const bool corner = type == TWangType::Corner;
        QImage picture(corner ? 6 : 11, corner ? 5 : 9, QImage::Format_RGB32);
        const int colors = int(sheet.Sets[1].Colors.size());
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, Palette(1 + (x * 7 + y * 3 + x * y) % colors).rgb());
        }
        ASSERT_TRUE(picture.save(terrain));
        QString err;
        ASSERT_EQ(runCli({QStringLiteral("autotile"), terrain, tsx, map, QStringLiteral("--set"),
                          QStringLiteral("wanted")},
                         &err),
                  0)
            << err.toStdString();
        TMapDocument doc;
        ASSERT_EQ(LoadMapFile(map, TMapFileType::Type2, doc).Status, TMapLoadStatus::Loaded);
        ASSERT_EQ(doc.MapWidth(), 5);
        ASSERT_EQ(doc.MapHeight(), 4);
        const TWangMatcher m(sheet.Sets[1], sheet.TileProbability);
        static const int px[8] = {1, 2, 2, 2, 1, 0, 0, 0};
        static const int py[8] = {0, 0, 1, 2, 2, 2, 1, 0};
        for (int x = 0; x < 5; ++x) {
            for (int y = 0; y < 4; ++y) {
                for (int i = 0; i < 8; ++i) {
                    if (!(m.PlaceMask() >> i & 1))
                        continue;
                    const int lx = 2 * x + px[i];
                    const int ly = 2 * y + py[i];
                    const QRgb rgb = corner ? picture.pixel(lx / 2, ly / 2) : picture.pixel(lx, ly);
                    EXPECT_EQ(Palette(m.IdOf(doc.Cell(x, y))[i]).rgb(), rgb)
                        << x << "," << y << " place " << i;
                }
            }
        }

        // A colour of no terrain, or a picture of a size no map has, writes nothing.
        QFile::remove(map);
        picture.setPixel(2, 1, qRgb(255, 255, 255));
        ASSERT_TRUE(picture.save(terrain));
        EXPECT_EQ(
            runCli({QStringLiteral("autotile"), terrain, tsx, map, QStringLiteral("--set=wanted")},
                   &err),
            1);
        EXPECT_TRUE(err.contains(QStringLiteral("(2, 1) is #ffffff"))) << err.toStdString();
        ASSERT_TRUE(picture.copy(0, 0, corner ? 1 : 10, 5).save(terrain));
        EXPECT_EQ(
            runCli({QStringLiteral("autotile"), terrain, tsx, map, QStringLiteral("--set=wanted")},
                   &err),
            1);
        EXPECT_TRUE(err.contains(QStringLiteral("needs"))) << err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(map));
    }
}

} // namespace
