#include "TerrainTmx.h"

#include <QFileInfo>

QString AddTerrainOutput(TFileWriteSet& set, const TTerrainSheet& sheet, const TTerrainOwner& owner)
{
    if (sheet.Sets.empty())
        return QString();
    const QString fileName = TerrainFileName(owner.PictureFileName);
    const TTerrainRead existing = ReadTerrainFile(fileName, owner);
    if (!existing.Usable())
        return QStringLiteral("the map's terrain sets would replace %1").arg(existing.Error);
    TTerrainSheet merged = sheet;
    if (existing.State == TTerrainRead::Status::Read) {
        merged.Tileset = existing.Sheet.Tileset;
        merged.SetsPosition = existing.Sheet.SetsPosition;
    }
    const QString folder = QFileInfo(fileName).absolutePath();
    set.AddOutput(fileName, [merged = std::move(merged), folder, owner](QIODevice& out) {
        return WriteTerrainData(out, merged, folder, owner);
    });
    return QString();
}
