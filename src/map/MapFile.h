#pragma once

#include "MapDocument.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

class QIODevice;

// The two layouts of map files. Type 1 holds the map size and the cells column by
// column; type 2 adds a magic and the part size and holds the cells row by row. A file
// that starts with the magic is type 2 (no type 1 file can: its width would be 30033);
// for any other file the settings choose.
enum class TMapFileType
{
    Type1 = 1,
    Type2 = 2
};

// The 23 bytes at the start of a type 2 file.
inline const QByteArray MapFileMagic = QByteArrayLiteral("QuiltmapperDataFormat20");
inline constexpr uint16_t DefaultPartSize = 32;

enum class TMapLoadStatus
{
    Loaded,
    NotType2,   // the magic is missing: nothing was changed
    Unreadable, // unopenable file, bad header or no memory: nothing was changed
};

struct TMapLoadResult
{
    TMapLoadStatus Status = TMapLoadStatus::Unreadable;
    // The layout the file was read in.
    TMapFileType Type = TMapFileType::Type2;
    // The part size the map was made for (32 x 32 for type 1); the caller applies it.
    uint16_t PartWidth = DefaultPartSize;
    uint16_t PartHeight = DefaultPartSize;
    // True when the cell data ended early; the missing cells are part 0.
    bool Truncated = false;

    bool Ok() const { return Status == TMapLoadStatus::Loaded; }
    // The message the user is shown for a failed load; empty after a successful one.
    QString Message() const;
};

// Writes the document in the given layout. False when the device refused any byte.
bool WriteMapData(QIODevice& out, const TMapDocument& doc, TMapFileType type, uint16_t partWidth,
                  uint16_t partHeight);

// What the start of a map file says.
struct TMapHeader
{
    uint16_t PartWidth = DefaultPartSize; // type 1 files: always 32 x 32
    uint16_t PartHeight = DefaultPartSize;
    uint16_t MapWidth = 0;
    uint16_t MapHeight = 0;
};

// The layout of the data at the device's position, without consuming it: type 2 when it
// starts with the magic, else headerless.
TMapFileType MapFileTypeOf(QIODevice& in, TMapFileType headerless);

// Reads and checks the header alone, in the layout MapFileTypeOf gives; nullopt (with the reason in
// *why) for a missing magic, a header that ends early, a part size of 0 or a map size
// outside 1..9999.
std::optional<TMapHeader> ReadMapHeader(QIODevice& in, TMapFileType type,
                                        TMapLoadStatus* why = nullptr);

// Called once the whole header has been checked and before the document is replaced, with
// the part size the map was made for (32 x 32 for type 1), so that the caller can set its
// parts up first. Returning false (the parts cannot be made) fails the load as a bad header.
using TApplyPartSize = std::function<bool(uint16_t width, uint16_t height)>;

// Reads a map, in the layout MapFileTypeOf gives. The header is checked completely before anything
// is changed: a missing magic, a header that ends early, a map size outside 1..9999 or a part size
// of 0 leave the document (and the parts) as they were. Cell data that ends early leaves the rest
// at part 0. On success the document holds a new map (not modified, nothing to undo).
TMapLoadResult ReadMapData(QIODevice& in, TMapFileType type, TMapDocument& doc,
                           const TApplyPartSize& applyPartSize = {});

// Saves the whole file or nothing: a file that cannot be written, a short write or a full
// disk leaves any existing file whole and the document modified, and puts the reason in
// *error when given. A successful save clears MapModified. A name that is one of `keep` (the
// parts picture in use, say) is refused before anything is written.
bool SaveMapFile(const QString& fileName, TMapDocument& doc, TMapFileType type, uint16_t partWidth,
                 uint16_t partHeight, QString* error = nullptr, const QStringList& keep = {});

TMapLoadResult LoadMapFile(const QString& fileName, TMapFileType type, TMapDocument& doc,
                           const TApplyPartSize& applyPartSize = {});
