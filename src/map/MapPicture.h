#pragma once

#include "FileWrite.h"
#include "Progress.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

class QIODevice;

// The order of the three bytes of a pixel in a row the renderer writes.
enum class TPixelOrder
{
    Bgr, // BMP
    Rgb, // PNG
};

// Draws the whole map as a picture, a few pixel rows at a time, each cell showing its part
// as the map view draws it: 1:1 at the part size, stretched without smoothing otherwise.
// Only the rows asked for take memory, besides the parts scaled to the cell size; any pixel
// row can be asked for in any order, so writers take the picture top-down or bottom-up.
class TMapPictureRenderer
{
public:
    // Part sizes whose scaled copies are kept whole (256 of them); bigger cells are scaled
    // one line at a time as they are drawn.
    static constexpr qint64 MaxCachedCellArea = 256 * 256;

    // `cells` is column-major, mapWidth * mapHeight part numbers, and must outlive the
    // renderer; `parts` are the 256 part pictures, all of one size.
    TMapPictureRenderer(std::span<const uint8_t> cells, int mapWidth, int mapHeight,
                        const std::array<QImage, 256>& parts, QSize cell, TPixelOrder order);

    qint64 Width() const { return qint64(FMapWidth) * FCell.width(); }
    qint64 Height() const { return qint64(FMapHeight) * FCell.height(); }

    // Pixel rows top .. top + count - 1 of the columns left .. left + width - 1, 3 bytes a
    // pixel, the first row at `dst` and each next one `stride` bytes on (negative: upward).
    void RenderRows(qint64 top, int count, uchar* dst, qsizetype stride, qint64 left, qint64 width);

private:
    const uchar* partLine(int part, int line);
    void loadCellRow(int row);

    std::span<const uint8_t> FCells;
    int FMapWidth;
    int FMapHeight;
    std::array<QImage, 256> FParts;
    QSize FCell;
    TPixelOrder FOrder;
    bool FWholeParts;
    // Scaled parts, 3 bytes a pixel: whole parts, or for big cells the line FScaledLine.
    std::array<std::vector<uchar>, 256> FScaled;
    std::array<int, 256> FScaledLine;
    std::vector<int> FColumnMap;    // big cells: the part column of each cell column
    std::vector<int> FRowMap;       // and the part row of each cell line
    std::vector<uint8_t> FRowCells; // the cell row FRow, left to right
    int FRow = -1;
};

enum class TMapPictureFormat
{
    Bmp,
    Png,
};

struct TMapPictureOptions
{
    TMapPictureFormat Format = TMapPictureFormat::Bmp;
    QSize Cell;             // the size every cell is drawn at
    int PngLevel = 1;       // zlib level 0..9; 1 is fast and still small for tile maps
    QSize Tile;             // empty: one picture; else pictures of at most this size
    bool AllowHuge = false; // lifts MapPictureMaxPixels
    QStringList Inputs;     // the files the picture is made from: never written over
};

// More pixels than this (all tiles together) are refused unless the options allow huge
// pictures: days of drawing and terabytes of disk are never started by a slip of a size.
constexpr qint64 MapPictureMaxPixels = qint64(1) << 36;

// Why a picture cannot be written.
enum class TMapPictureRefusal
{
    None,
    Empty,         // no cells, or cells of no pixels
    TooManyTiles,  // more than a million
    TooManyPixels, // more than MapPictureMaxPixels, and huge pictures not allowed
    BmpTooLarge,   // a BMP file over 4 GB
    PngTooLarge,   // a PNG side over 2^31 - 1 pixels
    NoRoom,        // a BMP larger than the free space of its folder
};

// What a picture of the map will be, worked out before anything is read or written.
struct TMapPicturePlan
{
    qint64 Width = 0;
    qint64 Height = 0;
    int TileColumns = 1;
    int TileRows = 1;
    qint64 Bytes = 0;      // exact for BMP, the uncompressed rows for PNG
    qint64 FreeBytes = -1; // the folder's free space, when NoRoom
    TMapPictureRefusal Why = TMapPictureRefusal::None;
    QString Refusal; // the reason in words for the command line; empty when Ok

    bool Ok() const { return Refusal.isEmpty(); }
};

TMapPicturePlan PlanMapPicture(int mapWidth, int mapHeight, const TMapPictureOptions& options);
// The same, and refuses a BMP the free space of fileName's folder cannot hold.
TMapPicturePlan PlanMapPictureFile(const QString& fileName, int mapWidth, int mapHeight,
                                   const TMapPictureOptions& options);

// The file of tile (column, row): "map.png" gives "map_3_0.png" for column 3, row 0.
QString MapPictureTileName(const QString& fileName, int column, int row);

// Told the pixel rows done so far of all there are; returns false to cancel.
using TMapPictureProgress = TProgress;

// Writes the picture (or its tiles) as one TFileWriteSet: on failure or cancel (the result
// then Cancelled) no file of it is left, and every file it would have replaced is as it was
// (earlier tiles included). A tile or picture that would replace one of options.Inputs is
// refused before anything is written. The next rows are drawn on a second thread while the
// current ones are encoded. The cells and parts are only read.
TFileWriteResult WriteMapPicture(const QString& fileName, std::span<const uint8_t> cells,
                                 int mapWidth, int mapHeight, const std::array<QImage, 256>& parts,
                                 const TMapPictureOptions& options,
                                 const TMapPictureProgress& progress = {});
