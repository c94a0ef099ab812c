#include "Autotile.h"
#include "CliSupport.h"
#include "CliText.h"
#include "PartsStore.h"
#include "TerrainFile.h"
#include "WangMatcher.h"

#include <QFileInfo>
#include <QTextStream>
#include <new>
#include <optional>

namespace cli {

int cmdAutotile(const TCliCommand& a, QTextStream& out)
{
    const QString pictureName = a.at(0);
    const QString terrainName = a.at(1);
    const QString mapName = a.at(2);

    // The file is taken as it is: the tool is told which tileset to use.
    const TTerrainRead read = ReadTerrainFile(terrainName, {});
    if (read.State == TTerrainRead::Status::Missing)
        failure(QStringLiteral("terrain file %1 does not exist").arg(terrainName));
    if (read.State != TTerrainRead::Status::Read)
        failure(QStringLiteral("cannot read the terrain file %1").arg(read.Error));
    const std::vector<TWangSet>& sets = read.Sheet.Sets;
    const TWangSet* set = nullptr;
    QStringList names;
    for (const TWangSet& s : sets) {
        names << s.Name;
        if (!set && (!a.TerrainSet || s.Name == *a.TerrainSet))
            set = &s;
    }
    if (!set && a.TerrainSet)
        failure(QStringLiteral("%1 has no terrain set named %2 (it has: %3)")
                    .arg(terrainName, *a.TerrainSet, names.join(QStringLiteral(", "))));
    if (!set)
        failure(QStringLiteral("%1 has no terrain set").arg(terrainName));
    const TWangMatcher matcher(*set, read.Sheet.TileProbability);
    if (matcher.Empty())
        failure(QStringLiteral("the terrain set %1 has no parts").arg(set->Name));
    const QSize partSize = read.Sheet.TileSize;
    if (a.SaveType == TMapFileType::Type2 &&
        !TPartsStore::PartSizeAllowed(partSize.width(), partSize.height()))
        failure(PartSizeTooLarge(partSize.width(), partSize.height()));

    // The largest picture a map of the largest size needs, and no more.
    const bool corner = set->Type == TWangType::Corner;
    const qint64 side = corner ? TMapDocument::MaxMapSize + 1 : 2 * TMapDocument::MaxMapSize + 1;
    std::optional<QImage> picture;
    if (QFileInfo(pictureName).isFile()) {
        const PictureReaders readers;
        const QuietStderr quiet;
        picture = readers.formats().LoadPicture(pictureName, {QSize(), side * side * 4});
    }
    if (!picture)
        failure(QStringLiteral("cannot read the terrain picture %1 (or it is larger than %2 x %2 "
                               "pixels)")
                    .arg(pictureName)
                    .arg(side));
    const QSize size = AutotileMapSize(picture->size(), *set);
    if (size.isEmpty() || size.width() > TMapDocument::MaxMapSize ||
        size.height() > TMapDocument::MaxMapSize)
        failure(
            QStringLiteral("the terrain picture is %1 x %2 pixels; the %3 set %4 needs %5 for "
                           "a map of W x H cells (1..9999 each)")
                .arg(picture->width())
                .arg(picture->height())
                .arg(WangTypeName(set->Type), set->Name,
                     corner ? QStringLiteral("(W+1) x (H+1)") : QStringLiteral("(2W+1) x (2H+1)")));

    MapWork work;
    try {
        work.Session.NewMap(size.width(), size.height(), uint16_t(partSize.width()),
                            uint16_t(partSize.height()));
    } catch (const std::bad_alloc&) {
        failure(QStringLiteral("not enough memory for a %1 x %2 map")
                    .arg(size.width())
                    .arg(size.height()));
    }
    const TAutotileResult made = AutotileCells(*picture, *set, matcher, work.Doc().MapCells());
    if (!made.Ok())
        failure(QStringLiteral("%1: %2").arg(pictureName, made.Error));
    picture.reset();
    saveMap(work.Session, mapName, a.SaveType, {pictureName, terrainName});
    out << "wrote " << OneLine(mapName) << ": type " << int(a.SaveType) << ", " << size.width()
        << " x " << size.height() << " cells of the terrain set " << OneLine(set->Name);
    if (made.Unmatched)
        out << "; " << made.Unmatched << " cells have no part of their own in the set and took "
            << "the closest";
    out << "\n";
    return 0;
}

} // namespace cli
