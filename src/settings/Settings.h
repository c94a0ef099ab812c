#pragma once

#include "StrokeStyle.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <type_traits>

class TIniGT;

// A parts picture as it was last used: where it is, the part size it was cut into and its
// own size in pixels, so that a picture that no longer fits is not cut up wrongly.
struct TPartsPictureUse
{
    QString Picture;
    int PartWidth = 0;
    int PartHeight = 0;
    int PictureWidth = 0;
    int PictureHeight = 0;

    bool IsEmpty() const { return Picture.isEmpty(); }
    bool operator==(const TPartsPictureUse&) const = default;
};

// The parts picture used with one map file.
struct TMapPartsPicture
{
    QString Map; // the map file's absolute path
    TPartsPictureUse Use;

    bool operator==(const TMapPartsPicture&) const = default;
};

// The terrain last painted with: its set's name and its colour (1..).
struct TTerrainChoice
{
    QString Set;
    int Color = 1;

    bool operator==(const TTerrainChoice&) const = default;
};

// The choices of the full-map picture dialog, remembered between uses.
struct TMapPictureChoice
{
    enum TCellKind : std::uint8_t
    {
        ckPartSize, // every cell at the part size, 1:1
        ckViewSize, // at the map view's current cell size
        ckCustom,   // at CellSize
    };
    static constexpr int MaxCellSize = 65535;
    static constexpr int MaxPngLevel = 9;

    TCellKind CellKind = ckPartSize;
    int CellSize = 32;
    int PngLevel = 1;
    bool Split = false;
    int TileWidth = 8192;
    int TileHeight = 8192;

    bool operator==(const TMapPictureChoice&) const = default;
};

// The map's zoom level: the tool box's "wide", "nomal" and "zoom".
enum TZoomLevel : std::uint8_t
{
    zlWide,
    zlNormal,
    zlZoom,
};

// What a mouse drag on the map does.
enum TMapTool : std::uint8_t
{
    mtPaint,   // lays the group part
    mtRegion,  // selects a region for the editing commands
    mtScroll,  // grabs the map and moves it
    mtLupe,    // edits the graphic of a part in the magnifier
    mtTerrain, // paints the chosen terrain, the parts around fitted to it
};

// The program's settings, apart from any window: the preferences kept in the INI file's
// section "options" and the state of the view and of the tools, which is not kept.
// Windows show these values and change them through the setters; every setter announces
// a real change with that value's own signal and nothing else.
//
// The setters keep the values within what the program can use: cell sizes are clamped to
// MinCellSize..MaxCellSize, a format type other than 1 or 2 and a pen width other than
// thin or thick leave the value as it was, an undo budget that is not positive becomes
// the default and one above MaxUndoBudget becomes MaxUndoBudget.
//
// The settings dialog edits a copy (the copy constructor) and commits it with Assign.
class TSettings : public QObject
{
    Q_OBJECT

public:
    // The range of the three cell sizes, in pixels per side.
    static constexpr int MinCellSize = 1;
    static constexpr int MaxCellSize = 99999;
    // The pen widths of the pixel tools, in pixels.
    static constexpr int ThinPenWidth = TStrokeStyle::ThinPenWidth;
    static constexpr int ThickPenWidth = TStrokeStyle::ThickPenWidth;
    static constexpr qint64 MegaByte = 1024 * 1024;
    // The undo history may not take more than this, whatever the file says.
    static constexpr int MaxUndoMemoryMB = 16 * 1024;
    static constexpr qint64 MaxUndoBudget = qint64(MaxUndoMemoryMB) * MegaByte;

    static constexpr bool DefaultShowTitle = true;
    static constexpr int DefaultWideSize = 8;
    static constexpr int DefaultNormalSize = 32;
    static constexpr int DefaultZoomSize = 256;
    static constexpr bool DefaultPartsOnTop = false;
    static constexpr bool DefaultToolsOnTop = true;
    static constexpr bool DefaultNonDim = true;
    static constexpr QStringView DefaultExtName = u"mpd";
    static constexpr int DefaultSaveFormatType = 2;
    static constexpr int DefaultLoadFormatType = 2;
    static constexpr int DefaultUndoMemoryMB = 256;
    static constexpr qint64 DefaultUndoBudget = qint64(DefaultUndoMemoryMB) * MegaByte;
    static constexpr TZoomLevel DefaultZoomLevel = zlNormal;
    static constexpr TMapTool DefaultMapTool = mtScroll;
    static constexpr bool DefaultRandomPlacement = false;
    static constexpr TPixelTool DefaultPixelTool = ptFreeLine;
    static constexpr int DefaultPenWidth = ThinPenWidth;
    static constexpr QColor DefaultDrawingColor{0, 0, 0};
    // How many maps remember their parts picture; the least recently used goes first.
    static constexpr int MaxMapPartsPictures = 50;
    // How many maps the File menu lists as recently used.
    static constexpr int MaxRecentMaps = 10;

    // Every value at its default.
    explicit TSettings(QObject* parent = nullptr);
    // A copy of every value, without the original's connections.
    explicit TSettings(const TSettings& other, QObject* parent = nullptr);
    TSettings& operator=(const TSettings&) = delete;

    // Takes every value of other, then emits the signals of those that changed.
    void Assign(const TSettings& other);

    // Reads the keys of section "options"; a missing or malformed key gives its default
    // (a format type other than 1 or 2 leaves the current one). Also the file folders
    // (section "Folders"), the last parts picture and the parts pictures of the recent maps
    // (section "MapPartsPictures"). The view state is not touched. Emits the signals of the
    // values that changed.
    void ReadFrom(const TIniGT& ini);
    // Writes the keys of section "options" that the program edits, always all of them
    // and in the same order, so that an unchanged file stays the same byte for byte; the
    // folders and the parts pictures only once they hold something. The undo budget is
    // only read. The keys reach the file in one write; when the file refuses it,
    // EIniGTWriteError is raised and none of them is written.
    void WriteTo(TIniGT& ini) const;

    // Whether the title window is shown at start ("isShowTitle").
    bool ShowTitle() const { return FValues.ShowTitle; }
    void SetShowTitle(bool value);
    // The cell sizes of the three zoom levels ("Lupe.Wide", "Lupe.Normal", "Lupe.Zoom").
    int WideSize() const { return FValues.WideSize; }
    void SetWideSize(int value);
    int NormalSize() const { return FValues.NormalSize; }
    void SetNormalSize(int value);
    int ZoomSize() const { return FValues.ZoomSize; }
    void SetZoomSize(int value);
    // Whether the parts window and the tool box stay above other windows.
    bool PartsOnTop() const { return FValues.PartsOnTop; }
    void SetPartsOnTop(bool value);
    bool ToolsOnTop() const { return FValues.ToolsOnTop; }
    void SetToolsOnTop(bool value);
    // Kept in the file only: the zoom level always draws through its own picture.
    bool NonDim() const { return FValues.NonDim; }
    void SetNonDim(bool value);
    // The map files' default extension, without the period; not checked.
    QString ExtName() const { return FValues.ExtName; }
    void SetExtName(const QString& value);
    // The map file types written and read, 1 or 2.
    int SaveFormatType() const { return FValues.SaveFormatType; }
    void SetSaveFormatType(int value);
    int LoadFormatType() const { return FValues.LoadFormatType; }
    void SetLoadFormatType(int value);
    // The most memory the undo history may hold, in bytes ("UndoMemoryMB", in megabytes).
    qint64 UndoBudget() const { return FValues.UndoBudget; }
    void SetUndoBudget(qint64 bytes);

    TZoomLevel ZoomLevel() const { return FValues.ZoomLevel; }
    void SetZoomLevel(TZoomLevel value);
    // The cell size of the current zoom level, and of any level.
    int CellSize() const { return CellSizeAt(FValues.ZoomLevel); }
    int CellSizeAt(TZoomLevel level) const;
    TMapTool MapTool() const { return FValues.MapTool; }
    void SetMapTool(TMapTool value);
    // Whether the paint tool scatters the group part at random instead of tiling it.
    bool RandomPlacement() const { return FValues.RandomPlacement; }
    void SetRandomPlacement(bool value);
    TPixelTool PixelTool() const { return FValues.PixelTool; }
    void SetPixelTool(TPixelTool value);
    int PenWidth() const { return FValues.PenWidth; }
    void SetPenWidth(int value);
    // Held as 8-bit RGB with alpha, as the part pictures hold their pixels.
    QColor DrawingColor() const { return FValues.DrawingColor; }
    void SetDrawingColor(const QColor& value);

    // The folders the file dialogs last showed for map files and for parts pictures; empty
    // until one was used.
    QString MapFolder() const { return FValues.MapFolder; }
    void SetMapFolder(const QString& value);
    QString PartsFolder() const { return FValues.PartsFolder; }
    void SetPartsFolder(const QString& value);
    // The parts picture last loaded or saved, for the next start.
    TPartsPictureUse LastPartsPicture() const { return FValues.LastPartsPicture; }
    void SetLastPartsPicture(const TPartsPictureUse& value);
    // The full-map picture dialog's choices (section "MapPicture", written once they differ
    // from the defaults); sizes are clamped to 1..TMapPictureChoice::MaxCellSize (tiles to
    // 1..2^31 - 1), the level to 0..9.
    TMapPictureChoice MapPictureChoice() const { return FValues.MapPicture; }
    void SetMapPictureChoice(const TMapPictureChoice& value);
    // The parts picture last used with a map file (compared by absolute path); empty when
    // none is remembered.
    TPartsPictureUse PartsPictureFor(const QString& mapFileName) const;
    // Remembers it as the most recent map's, keeping MaxMapPartsPictures maps at most.
    void RememberPartsPicture(const QString& mapFileName, const TPartsPictureUse& use);
    // Most recent first.
    const QList<TMapPartsPicture>& MapPartsPictures() const { return FValues.MapPartsPictures; }
    // The maps last loaded or saved (absolute paths, most recent first, MaxRecentMaps at
    // most; section "RecentMaps").
    const QStringList& RecentMaps() const { return FValues.RecentMaps; }
    // Puts the map first in the list.
    void RememberRecentMap(const QString& mapFileName);
    // The program the parts picture is edited in (section "External", key "PartsEditor");
    // empty: the desktop's program for the picture's type.
    QString PartsEditor() const { return FValues.PartsEditor; }
    void SetPartsEditor(const QString& value);
    // The terrain set and colour last chosen (section "Terrain", keys "Set" and "Color"),
    // chosen again when the sets read have that set.
    TTerrainChoice TerrainChoice() const { return FValues.Terrain; }
    void SetTerrainChoice(const TTerrainChoice& value);

signals:
    void showTitleChanged(bool value);
    void wideSizeChanged(int value);
    void normalSizeChanged(int value);
    void zoomSizeChanged(int value);
    void partsOnTopChanged(bool value);
    void toolsOnTopChanged(bool value);
    void nonDimChanged(bool value);
    void extNameChanged(const QString& value);
    void saveFormatTypeChanged(int value);
    void loadFormatTypeChanged(int value);
    void undoBudgetChanged(qint64 bytes);
    void zoomLevelChanged(TZoomLevel value);
    void mapToolChanged(TMapTool value);
    void randomPlacementChanged(bool value);
    void pixelToolChanged(TPixelTool value);
    void penWidthChanged(int value);
    void drawingColorChanged(const QColor& value);
    void mapFolderChanged(const QString& value);
    void partsFolderChanged(const QString& value);
    void lastPartsPictureChanged(const TPartsPictureUse& value);
    void mapPictureChoiceChanged(const TMapPictureChoice& value);
    void mapPartsPicturesChanged();
    void recentMapsChanged();
    void partsEditorChanged(const QString& value);
    void terrainChoiceChanged(const TTerrainChoice& value);
    // CellSize() changed, through the zoom level or the size of the current level; emitted
    // once, after the signals of the values themselves.
    void cellSizeChanged(int size);

private:
    struct TValues
    {
        bool ShowTitle = DefaultShowTitle;
        int WideSize = DefaultWideSize;
        int NormalSize = DefaultNormalSize;
        int ZoomSize = DefaultZoomSize;
        bool PartsOnTop = DefaultPartsOnTop;
        bool ToolsOnTop = DefaultToolsOnTop;
        bool NonDim = DefaultNonDim;
        QString ExtName = DefaultExtName.toString();
        int SaveFormatType = DefaultSaveFormatType;
        int LoadFormatType = DefaultLoadFormatType;
        qint64 UndoBudget = DefaultUndoBudget;
        TZoomLevel ZoomLevel = DefaultZoomLevel;
        TMapTool MapTool = DefaultMapTool;
        bool RandomPlacement = DefaultRandomPlacement;
        TPixelTool PixelTool = DefaultPixelTool;
        int PenWidth = DefaultPenWidth;
        QColor DrawingColor = DefaultDrawingColor;
        QString MapFolder;
        QString PartsFolder;
        TPartsPictureUse LastPartsPicture;
        TMapPictureChoice MapPicture;
        QList<TMapPartsPicture> MapPartsPictures;
        QStringList RecentMaps;
        QString PartsEditor;
        TTerrainChoice Terrain;
    };

    // Puts values in place, then announces what differs from before.
    void change(const TValues& values);
    // Changes one value, announcing it only if it differs.
    template <typename T> void setValue(T TValues::*field, const std::type_identity_t<T>& value)
    {
        TValues values = FValues;
        values.*field = value;
        change(values);
    }

    TValues FValues;
};
