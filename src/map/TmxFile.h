#pragma once

#include "FileWrite.h"
#include "MapDocument.h"
#include "Progress.h"
#include "TerrainFile.h"

#include <QImage>
#include <QString>
#include <array>
#include <cstdint>

class QIODevice;

// Maps in and out of TMX, the XML map format most 2-D map editors and game engines read,
// and out as CSV for scripts.
//
// An exported TMX map is orthogonal, one tile per cell, with one tileset of the 256 parts
// (the parts sheet, written as a PNG picture beside the map) and one tile layer whose gids
// are part number + 1.

enum class TTmxEncoding
{
    Csv,        // <data encoding="csv">
    Base64Zlib, // <data encoding="base64" compression="zlib">, for large maps
};

// How a TMX map's layer data is written.
struct TTmxWriteOptions
{
    // Implicit, so that an encoding alone is a whole set of options.
    TTmxWriteOptions(TTmxEncoding encoding = TTmxEncoding::Csv) : Encoding(encoding) {}

    TTmxEncoding Encoding;
    int Level = -1;  // zlib level 0..9; -1 is zlib's default (6)
    int Threads = 0; // threads compressing a large map; 0 is one per core
    // The parts picture whose terrain file (TerrainFileName) gives the terrain sets the
    // exported tileset carries; empty, or a picture without a terrain file of its own: none.
    QString PartsPicture;
};

// Writes the map as TMX naming `sheetName` (relative to the map file) as the tileset's
// picture, and in its tileset the terrain sets of `terrain` when given. False when the
// device refused a byte or the progress (told of the map rows written) said stop.
bool WriteTmxData(QIODevice& out, const TMapDocument& doc, uint16_t partWidth, uint16_t partHeight,
                  const QString& sheetName, const TTmxWriteOptions& options,
                  const TProgress& progress = {}, const TTerrainSheet* terrain = nullptr);

// Writes the part numbers, one map row a line, separated by commas.
bool WriteCsvData(QIODevice& out, const TMapDocument& doc);

// The parts sheet that goes with a TMX file: the same name with ".png".
QString TmxSheetFileName(const QString& tmxFileName);

// Writes the parts sheet (16 x 16 parts) beside the map as TmxSheetFileName, and the map,
// as one TFileWriteSet: both or neither, the map renamed into place last. Neither may be
// one of `inputs` (the files the map and sheet come from), nor the two one file. The
// progress is told of the map rows written; when it says stop, the result is Cancelled
// and neither file is written. The tileset carries the terrain sets of the terrain file of
// options.PartsPicture; a terrain file that cannot be read fails the export.
TFileWriteResult ExportTmxFile(const QString& fileName, const TMapDocument& doc,
                               const QImage& sheet, uint16_t partWidth, uint16_t partHeight,
                               const TTmxWriteOptions& options, const QStringList& inputs = {},
                               const TProgress& progress = {});

TFileWriteResult ExportCsvFile(const QString& fileName, const TMapDocument& doc,
                               const QStringList& inputs = {});

// A TMX map read into the program's terms, not yet put in place.
struct TTmxImport
{
    TMapDocument::TMapStores Stores; // the new map's cells
    uint16_t PartWidth = 0;          // the map's tile size
    uint16_t PartHeight = 0;
    // The picture of each part the map uses (RGB32, the part size); null for the parts
    // that no tile fills.
    std::array<QImage, 256> Parts;
    // The files the map names (tileset files, pictures), read by the import.
    QStringList Files;
    // The terrain sets of the tilesets, in part numbers, with the parts' probabilities: the
    // sets' tiles that became no part are left out, and so are sets left without tiles.
    TTerrainSheet Terrain;
    // The import failed because its progress said stop.
    bool Cancelled = false;
};

// Reads a TMX map: orthogonal, one tile layer (CSV, base64, base64 with zlib or gzip; not
// infinite), tilesets made from one picture each (in the map or in an external .tsx file)
// with the map's tile size. One tileset of at most 256 tiles keeps its tile numbers as part
// numbers; otherwise the tiles the map uses become parts 0.. in gid order. Flipped and
// rotated tiles become copies in free parts. Empty cells become `emptyPart`.
//
// Files the map names (tilesets, pictures) are looked up relative to `baseDir`; with an
// empty `baseDir` the map must be self-contained. On any refusal or bad input returns
// false with the reason in *error (English, one line) and leaves `result` unusable.
//
// The progress is told of the bytes of `in` read (of its size) and, once all are, of the
// cells being put in place; when it says stop the import returns false with
// result.Cancelled set and nothing else in `result`.
bool ReadTmxData(QIODevice& in, const QString& baseDir, uint8_t emptyPart, TTmxImport& result,
                 QString* error, const TProgress& progress = {});

bool ImportTmxFile(const QString& fileName, uint8_t emptyPart, TTmxImport& result, QString* error,
                   const TProgress& progress = {});
