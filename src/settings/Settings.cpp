#include "Settings.h"

#include "IniGT.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {

const QString Section = QStringLiteral("options");
const QString ShowTitleKey = QStringLiteral("isShowTitle");
const QString WideSizeKey = QStringLiteral("Lupe.Wide");
const QString NormalSizeKey = QStringLiteral("Lupe.Normal");
const QString ZoomSizeKey = QStringLiteral("Lupe.Zoom");
const QString PartsOnTopKey = QStringLiteral("isPartsOnTop");
const QString ToolsOnTopKey = QStringLiteral("isToolsOnTop");
const QString NonDimKey = QStringLiteral("isNonDim");
const QString ExtNameKey = QStringLiteral("DefaultExtName");
const QString SaveFormatTypeKey = QStringLiteral("SaveFormatType");
const QString LoadFormatTypeKey = QStringLiteral("LoadFormatType");
const QString UndoMemoryKey = QStringLiteral("UndoMemoryMB");
const QString FoldersSection = QStringLiteral("Folders");
const QString MapFolderKey = QStringLiteral("Maps");
const QString PartsFolderKey = QStringLiteral("PartsPictures");
const QString PartsPicturesSection = QStringLiteral("MapPartsPictures");
const QString RecentMapsSection = QStringLiteral("RecentMaps");
const QString LastPictureKey = QStringLiteral("Last");
const QString CountKey = QStringLiteral("Count");
const QString MapPictureSection = QStringLiteral("MapPicture");
const QString CellKindKey = QStringLiteral("CellKind");
const QString CellSizeKey = QStringLiteral("CellSize");
const QString PngLevelKey = QStringLiteral("PngLevel");
const QString SplitKey = QStringLiteral("Split");
const QString TileWidthKey = QStringLiteral("TileWidth");
const QString TileHeightKey = QStringLiteral("TileHeight");
const QString ExternalSection = QStringLiteral("External");
const QString PartsEditorKey = QStringLiteral("PartsEditor");
const QString TerrainSection = QStringLiteral("Terrain");
const QString TerrainSetKey = QStringLiteral("Set");
const QString TerrainColorKey = QStringLiteral("Color");

TMapPictureChoice boundedChoice(TMapPictureChoice c)
{
    if (c.CellKind > TMapPictureChoice::ckCustom)
        c.CellKind = TMapPictureChoice::ckPartSize;
    c.CellSize = std::clamp(c.CellSize, 1, TMapPictureChoice::MaxCellSize);
    c.PngLevel = std::clamp(c.PngLevel, 0, TMapPictureChoice::MaxPngLevel);
    c.TileWidth = std::max(c.TileWidth, 1);
    c.TileHeight = std::max(c.TileHeight, 1);
    return c;
}

// One parts picture's keys: key.Picture, key.PartWidth, key.PartHeight, key.Width and
// key.Height.
TPartsPictureUse readUse(const TIniGT& ini, const QString& key)
{
    TPartsPictureUse use;
    use.Picture = ini.ReadString(PartsPicturesSection, key + QStringLiteral(".Picture"), {});
    use.PartWidth = ini.ReadInteger(PartsPicturesSection, key + QStringLiteral(".PartWidth"), 0);
    use.PartHeight = ini.ReadInteger(PartsPicturesSection, key + QStringLiteral(".PartHeight"), 0);
    use.PictureWidth = ini.ReadInteger(PartsPicturesSection, key + QStringLiteral(".Width"), 0);
    use.PictureHeight = ini.ReadInteger(PartsPicturesSection, key + QStringLiteral(".Height"), 0);
    return use;
}

void writeUse(TIniGT& ini, const QString& key, const TPartsPictureUse& use)
{
    ini.WriteString(PartsPicturesSection, key + QStringLiteral(".Picture"), use.Picture);
    ini.WriteInteger(PartsPicturesSection, key + QStringLiteral(".PartWidth"), use.PartWidth);
    ini.WriteInteger(PartsPicturesSection, key + QStringLiteral(".PartHeight"), use.PartHeight);
    ini.WriteInteger(PartsPicturesSection, key + QStringLiteral(".Width"), use.PictureWidth);
    ini.WriteInteger(PartsPicturesSection, key + QStringLiteral(".Height"), use.PictureHeight);
}

QString mapKey(int index)
{
    return QStringLiteral("Map%1").arg(index + 1);
}

// Maps are told apart by their absolute path, however they were named.
QString mapPath(const QString& fileName)
{
    return fileName.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
}

int boundedCellSize(int size)
{
    return std::clamp(size, TSettings::MinCellSize, TSettings::MaxCellSize);
}

bool isFormatType(int type)
{
    return type == 1 || type == 2;
}

qint64 boundedUndoBudget(qint64 bytes)
{
    return bytes <= 0 ? TSettings::DefaultUndoBudget : std::min(bytes, TSettings::MaxUndoBudget);
}

} // namespace

TSettings::TSettings(QObject* parent) : QObject(parent) {}

TSettings::TSettings(const TSettings& other, QObject* parent)
    : QObject(parent), FValues(other.FValues)
{
}

void TSettings::Assign(const TSettings& other)
{
    change(other.FValues);
}

void TSettings::ReadFrom(const TIniGT& ini)
{
    TValues values = FValues;
    values.ShowTitle = ini.ReadBool(Section, ShowTitleKey, DefaultShowTitle);
    values.WideSize = boundedCellSize(ini.ReadInteger(Section, WideSizeKey, DefaultWideSize));
    values.NormalSize = boundedCellSize(ini.ReadInteger(Section, NormalSizeKey, DefaultNormalSize));
    values.ZoomSize = boundedCellSize(ini.ReadInteger(Section, ZoomSizeKey, DefaultZoomSize));
    values.PartsOnTop = ini.ReadBool(Section, PartsOnTopKey, DefaultPartsOnTop);
    values.ToolsOnTop = ini.ReadBool(Section, ToolsOnTopKey, DefaultToolsOnTop);
    values.NonDim = ini.ReadBool(Section, NonDimKey, DefaultNonDim);
    values.ExtName = ini.ReadString(Section, ExtNameKey, DefaultExtName.toString());
    // A type the program does not know leaves the current one, which is then written back.
    const int saveType = ini.ReadInteger(Section, SaveFormatTypeKey, DefaultSaveFormatType);
    if (isFormatType(saveType))
        values.SaveFormatType = saveType;
    const int loadType = ini.ReadInteger(Section, LoadFormatTypeKey, DefaultLoadFormatType);
    if (isFormatType(loadType))
        values.LoadFormatType = loadType;
    values.UndoBudget = boundedUndoBudget(
        qint64(ini.ReadInteger(Section, UndoMemoryKey, DefaultUndoMemoryMB)) * MegaByte);
    values.MapFolder = ini.ReadString(FoldersSection, MapFolderKey, QString());
    values.PartsFolder = ini.ReadString(FoldersSection, PartsFolderKey, QString());
    values.LastPartsPicture = readUse(ini, LastPictureKey);
    values.MapPartsPictures.clear();
    const int count =
        std::clamp(ini.ReadInteger(PartsPicturesSection, CountKey, 0), 0, MaxMapPartsPictures);
    for (int i = 0; i < count; ++i) {
        TMapPartsPicture entry;
        entry.Map = mapPath(ini.ReadString(PartsPicturesSection, mapKey(i), QString()));
        entry.Use = readUse(ini, mapKey(i));
        // Entries left incomplete by a hand-edited file are dropped.
        if (!entry.Map.isEmpty() && !entry.Use.IsEmpty())
            values.MapPartsPictures << entry;
    }
    values.RecentMaps.clear();
    const int recent =
        std::clamp(ini.ReadInteger(RecentMapsSection, CountKey, 0), 0, MaxRecentMaps);
    for (int i = 0; i < recent; ++i) {
        const QString map = mapPath(ini.ReadString(RecentMapsSection, mapKey(i), QString()));
        if (!map.isEmpty() && !values.RecentMaps.contains(map))
            values.RecentMaps << map;
    }
    const TMapPictureChoice d;
    TMapPictureChoice picture;
    picture.CellKind = TMapPictureChoice::TCellKind(
        std::clamp(ini.ReadInteger(MapPictureSection, CellKindKey, d.CellKind), 0,
                   int(TMapPictureChoice::ckCustom)));
    picture.CellSize = ini.ReadInteger(MapPictureSection, CellSizeKey, d.CellSize);
    picture.PngLevel = ini.ReadInteger(MapPictureSection, PngLevelKey, d.PngLevel);
    picture.Split = ini.ReadBool(MapPictureSection, SplitKey, d.Split);
    picture.TileWidth = ini.ReadInteger(MapPictureSection, TileWidthKey, d.TileWidth);
    picture.TileHeight = ini.ReadInteger(MapPictureSection, TileHeightKey, d.TileHeight);
    values.MapPicture = boundedChoice(picture);
    values.PartsEditor = ini.ReadString(ExternalSection, PartsEditorKey, QString());
    values.Terrain.Set = ini.ReadString(TerrainSection, TerrainSetKey, QString());
    values.Terrain.Color = std::max(1, ini.ReadInteger(TerrainSection, TerrainColorKey, 1));
    change(values);
}

void TSettings::WriteTo(TIniGT& ini) const
{
    TIniGT::TWriteBatch batch(ini);
    ini.WriteBool(Section, ShowTitleKey, FValues.ShowTitle);
    ini.WriteInteger(Section, WideSizeKey, FValues.WideSize);
    ini.WriteInteger(Section, NormalSizeKey, FValues.NormalSize);
    ini.WriteInteger(Section, ZoomSizeKey, FValues.ZoomSize);
    ini.WriteBool(Section, PartsOnTopKey, FValues.PartsOnTop);
    ini.WriteBool(Section, ToolsOnTopKey, FValues.ToolsOnTop);
    ini.WriteBool(Section, NonDimKey, FValues.NonDim);
    ini.WriteString(Section, ExtNameKey, FValues.ExtName);
    ini.WriteInteger(Section, SaveFormatTypeKey, FValues.SaveFormatType);
    ini.WriteInteger(Section, LoadFormatTypeKey, FValues.LoadFormatType);
    if (!FValues.MapFolder.isEmpty())
        ini.WriteString(FoldersSection, MapFolderKey, FValues.MapFolder);
    if (!FValues.PartsFolder.isEmpty())
        ini.WriteString(FoldersSection, PartsFolderKey, FValues.PartsFolder);
    if (!FValues.PartsEditor.isEmpty() ||
        !ini.ReadString(ExternalSection, PartsEditorKey, QString()).isEmpty())
        ini.WriteString(ExternalSection, PartsEditorKey, FValues.PartsEditor);
    if (!FValues.LastPartsPicture.IsEmpty())
        writeUse(ini, LastPictureKey, FValues.LastPartsPicture);
    if (!FValues.MapPartsPictures.isEmpty()) {
        ini.WriteInteger(PartsPicturesSection, CountKey, int(FValues.MapPartsPictures.size()));
        for (int i = 0; i < FValues.MapPartsPictures.size(); ++i) {
            ini.WriteString(PartsPicturesSection, mapKey(i), FValues.MapPartsPictures[i].Map);
            writeUse(ini, mapKey(i), FValues.MapPartsPictures[i].Use);
        }
    }
    if (!FValues.RecentMaps.isEmpty()) {
        ini.WriteInteger(RecentMapsSection, CountKey, int(FValues.RecentMaps.size()));
        for (int i = 0; i < FValues.RecentMaps.size(); ++i)
            ini.WriteString(RecentMapsSection, mapKey(i), FValues.RecentMaps[i]);
    }
    if (!FValues.Terrain.Set.isEmpty()) {
        ini.WriteString(TerrainSection, TerrainSetKey, FValues.Terrain.Set);
        ini.WriteInteger(TerrainSection, TerrainColorKey, FValues.Terrain.Color);
    }
    const TMapPictureChoice& picture = FValues.MapPicture;
    if (picture != TMapPictureChoice()) {
        ini.WriteInteger(MapPictureSection, CellKindKey, picture.CellKind);
        ini.WriteInteger(MapPictureSection, CellSizeKey, picture.CellSize);
        ini.WriteInteger(MapPictureSection, PngLevelKey, picture.PngLevel);
        ini.WriteBool(MapPictureSection, SplitKey, picture.Split);
        ini.WriteInteger(MapPictureSection, TileWidthKey, picture.TileWidth);
        ini.WriteInteger(MapPictureSection, TileHeightKey, picture.TileHeight);
    }
    batch.Commit();
}

void TSettings::SetMapFolder(const QString& value)
{
    setValue(&TValues::MapFolder, value);
}

void TSettings::SetPartsFolder(const QString& value)
{
    setValue(&TValues::PartsFolder, value);
}

void TSettings::SetPartsEditor(const QString& value)
{
    setValue(&TValues::PartsEditor, value);
}

void TSettings::SetTerrainChoice(const TTerrainChoice& value)
{
    setValue(&TValues::Terrain, value);
}

void TSettings::SetMapPictureChoice(const TMapPictureChoice& value)
{
    setValue(&TValues::MapPicture, boundedChoice(value));
}

void TSettings::SetLastPartsPicture(const TPartsPictureUse& value)
{
    setValue(&TValues::LastPartsPicture, value);
}

TPartsPictureUse TSettings::PartsPictureFor(const QString& mapFileName) const
{
    const QString map = mapPath(mapFileName);
    for (const TMapPartsPicture& entry : FValues.MapPartsPictures) {
        if (entry.Map == map)
            return entry.Use;
    }
    return {};
}

void TSettings::RememberPartsPicture(const QString& mapFileName, const TPartsPictureUse& use)
{
    const QString map = mapPath(mapFileName);
    if (map.isEmpty() || use.IsEmpty())
        return;
    TValues values = FValues;
    QList<TMapPartsPicture>& list = values.MapPartsPictures;
    list.removeIf([&map](const TMapPartsPicture& entry) { return entry.Map == map; });
    list.prepend({map, use});
    if (list.size() > MaxMapPartsPictures)
        list.resize(MaxMapPartsPictures);
    change(values);
}

void TSettings::RememberRecentMap(const QString& mapFileName)
{
    const QString map = mapPath(mapFileName);
    if (map.isEmpty())
        return;
    TValues values = FValues;
    values.RecentMaps.removeAll(map);
    values.RecentMaps.prepend(map);
    if (values.RecentMaps.size() > MaxRecentMaps)
        values.RecentMaps.resize(MaxRecentMaps);
    change(values);
}

void TSettings::SetShowTitle(bool value)
{
    setValue(&TValues::ShowTitle, value);
}

void TSettings::SetWideSize(int value)
{
    setValue(&TValues::WideSize, boundedCellSize(value));
}

void TSettings::SetNormalSize(int value)
{
    setValue(&TValues::NormalSize, boundedCellSize(value));
}

void TSettings::SetZoomSize(int value)
{
    setValue(&TValues::ZoomSize, boundedCellSize(value));
}

void TSettings::SetPartsOnTop(bool value)
{
    setValue(&TValues::PartsOnTop, value);
}

void TSettings::SetToolsOnTop(bool value)
{
    setValue(&TValues::ToolsOnTop, value);
}

void TSettings::SetNonDim(bool value)
{
    setValue(&TValues::NonDim, value);
}

void TSettings::SetExtName(const QString& value)
{
    setValue(&TValues::ExtName, value);
}

void TSettings::SetSaveFormatType(int value)
{
    if (!isFormatType(value))
        return;
    setValue(&TValues::SaveFormatType, value);
}

void TSettings::SetLoadFormatType(int value)
{
    if (!isFormatType(value))
        return;
    setValue(&TValues::LoadFormatType, value);
}

void TSettings::SetUndoBudget(qint64 bytes)
{
    setValue(&TValues::UndoBudget, boundedUndoBudget(bytes));
}

void TSettings::SetZoomLevel(TZoomLevel value)
{
    if (value > zlZoom)
        return;
    setValue(&TValues::ZoomLevel, value);
}

int TSettings::CellSizeAt(TZoomLevel level) const
{
    switch (level) {
    case zlWide:
        return FValues.WideSize;
    case zlZoom:
        return FValues.ZoomSize;
    case zlNormal:
        break;
    }
    return FValues.NormalSize;
}

void TSettings::SetMapTool(TMapTool value)
{
    if (value > mtTerrain)
        return;
    setValue(&TValues::MapTool, value);
}

void TSettings::SetRandomPlacement(bool value)
{
    setValue(&TValues::RandomPlacement, value);
}

void TSettings::SetPixelTool(TPixelTool value)
{
    if (value > ptPaint)
        return;
    setValue(&TValues::PixelTool, value);
}

void TSettings::SetPenWidth(int value)
{
    if (value != ThinPenWidth && value != ThickPenWidth)
        return;
    setValue(&TValues::PenWidth, value);
}

void TSettings::SetDrawingColor(const QColor& value)
{
    if (!value.isValid())
        return;
    TValues values = FValues;
    // One colour compares equal however it was specified (HSV, named, 16-bit RGB).
    values.DrawingColor = QColor::fromRgba(value.rgba());
    change(values);
}

void TSettings::change(const TValues& values)
{
    const TValues old = FValues;
    const int oldCellSize = CellSize();
    FValues = values;
    // All values are in place before the first signal, so that a receiver sees them whole.
    if (FValues.ShowTitle != old.ShowTitle)
        emit showTitleChanged(FValues.ShowTitle);
    if (FValues.WideSize != old.WideSize)
        emit wideSizeChanged(FValues.WideSize);
    if (FValues.NormalSize != old.NormalSize)
        emit normalSizeChanged(FValues.NormalSize);
    if (FValues.ZoomSize != old.ZoomSize)
        emit zoomSizeChanged(FValues.ZoomSize);
    if (FValues.PartsOnTop != old.PartsOnTop)
        emit partsOnTopChanged(FValues.PartsOnTop);
    if (FValues.ToolsOnTop != old.ToolsOnTop)
        emit toolsOnTopChanged(FValues.ToolsOnTop);
    if (FValues.NonDim != old.NonDim)
        emit nonDimChanged(FValues.NonDim);
    if (FValues.ExtName != old.ExtName)
        emit extNameChanged(FValues.ExtName);
    if (FValues.SaveFormatType != old.SaveFormatType)
        emit saveFormatTypeChanged(FValues.SaveFormatType);
    if (FValues.LoadFormatType != old.LoadFormatType)
        emit loadFormatTypeChanged(FValues.LoadFormatType);
    if (FValues.UndoBudget != old.UndoBudget)
        emit undoBudgetChanged(FValues.UndoBudget);
    if (FValues.ZoomLevel != old.ZoomLevel)
        emit zoomLevelChanged(FValues.ZoomLevel);
    if (FValues.MapTool != old.MapTool)
        emit mapToolChanged(FValues.MapTool);
    if (FValues.RandomPlacement != old.RandomPlacement)
        emit randomPlacementChanged(FValues.RandomPlacement);
    if (FValues.PixelTool != old.PixelTool)
        emit pixelToolChanged(FValues.PixelTool);
    if (FValues.PenWidth != old.PenWidth)
        emit penWidthChanged(FValues.PenWidth);
    if (FValues.DrawingColor != old.DrawingColor)
        emit drawingColorChanged(FValues.DrawingColor);
    if (FValues.MapFolder != old.MapFolder)
        emit mapFolderChanged(FValues.MapFolder);
    if (FValues.PartsFolder != old.PartsFolder)
        emit partsFolderChanged(FValues.PartsFolder);
    if (FValues.LastPartsPicture != old.LastPartsPicture)
        emit lastPartsPictureChanged(FValues.LastPartsPicture);
    if (FValues.MapPicture != old.MapPicture)
        emit mapPictureChoiceChanged(FValues.MapPicture);
    if (FValues.MapPartsPictures != old.MapPartsPictures)
        emit mapPartsPicturesChanged();
    if (FValues.RecentMaps != old.RecentMaps)
        emit recentMapsChanged();
    if (FValues.PartsEditor != old.PartsEditor)
        emit partsEditorChanged(FValues.PartsEditor);
    if (FValues.Terrain != old.Terrain)
        emit terrainChoiceChanged(FValues.Terrain);
    if (CellSize() != oldCellSize)
        emit cellSizeChanged(CellSize());
}
