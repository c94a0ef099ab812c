#pragma once

#include "FileWrite.h"
#include "WangSet.h"

#include <QSize>
#include <QString>
#include <array>
#include <vector>

class QIODevice;
class QXmlStreamReader;
class QXmlStreamWriter;

// The terrain sets of a parts picture NAME.ext live beside it in NAME.tsx: a tileset file as
// other map editors write it, whose <wangsets> hold the sets. Whatever else the file holds is
// kept and written back unchanged.
struct TTerrainSheet
{
    static constexpr int Parts = 256;

    std::vector<TWangSet> Sets;
    // Each part's own probability (<tile id probability>), 1 when the file says nothing.
    std::array<double, Parts> TileProbability;
    // The <tileset> element as read, without its <wangsets> (empty for a new file).
    TXmlNode Tileset;
    // Where <wangsets> stood among the tileset's children; -1: at the end.
    int SetsPosition = -1;
    // The tile size the file gives.
    QSize TileSize;

    TTerrainSheet() { TileProbability.fill(1.0); }
};

// The parts picture a terrain file belongs to, and the size of its parts. Without a picture
// name, any tileset is taken as it is (for tools that are given the file itself).
struct TTerrainOwner
{
    QString PictureFileName;
    QSize PartSize;
    QSize PictureSize; // written as the <image> size of a new file
};

struct TTerrainRead
{
    enum class Status
    {
        Read,    // the file is the picture's; Sheet holds it
        Missing, // no such file: the picture has no terrain yet
        Foreign, // another picture's tileset, or of another tile size: not ours to change
        Bad,     // the file cannot be read
    };
    Status State = Status::Missing;
    QString Error; // why a Foreign or Bad file cannot be used
    TTerrainSheet Sheet;

    bool Usable() const { return State == Status::Read || State == Status::Missing; }
};

// NAME.tsx beside NAME.ext.
QString TerrainFileName(const QString& pictureFileName);

// Reads a terrain file. `owner` decides whether it belongs to the picture: its <image>
// must name the picture (relative to the file's folder) and its tiles must be the part size.
TTerrainRead ReadTerrainFile(const QString& fileName, const TTerrainOwner& owner);
// The same from a device; relative image names are taken from `folder`.
TTerrainRead ReadTerrainData(QIODevice& in, const QString& folder, const TTerrainOwner& owner);

// Writes the sheet as a terrain file. An existing file that is not the picture's own (or that
// cannot be read) is never replaced: the result says why.
TFileWriteResult WriteTerrainFile(const QString& fileName, const TTerrainSheet& sheet,
                                  const TTerrainOwner& owner);
// The contents WriteTerrainFile writes; false when the device refused a byte.
bool WriteTerrainData(QIODevice& out, const TTerrainSheet& sheet, const QString& folder,
                      const TTerrainOwner& owner);

// The <wangsets> of a tileset inside another file (a map's), read and written as a terrain
// file's are.
//
// Reads the <wangsets> element `xml` stands on, through its end, appending its sets to
// `sets`. Tile numbers run from 0 to tileCount - 1; the elements read are counted against
// `nodesLeft`, a bound shared by all the tilesets of one file. False with the reason in
// *error when the sets cannot be read or go past a bound.
bool ReadWangSets(QXmlStreamReader& xml, int tileCount, qint64& nodesLeft,
                  std::vector<TWangSet>& sets, QString* error);
// Writes the parts' probabilities (<tile id probability>) and the sets (<wangsets>) into
// the tileset element the writer is in.
void WriteWangSets(QXmlStreamWriter& xml, const TTerrainSheet& sheet);
