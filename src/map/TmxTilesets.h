#pragma once

// The tilesets of a TMX import: read from the map or from .tsx files, their pictures
// decoded within one bound for the whole import, and the parts cut out of them.

#include "TmxLayerData.h"

#include <QImage>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QXmlStreamReader>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

struct TPictureLimits;

namespace TmxDetail {

// The decoded tileset pictures of one import, in all: a picture shared by several tilesets
// counts once, and they are let go once the parts are cut from them.
constexpr qint64 MaxTilesetPictureBytes = qint64(1024) << 20;

// The XML nodes of the terrain sets of all the tilesets of one import, as many as one
// terrain file may hold.
constexpr qint64 MaxTerrainNodes = 500000;

// Reads the tilesets of one map, whose tiles are `tileW` x `tileH` pixels, and adds the
// files they name to `files`.
class TilesetReader
{
public:
    TilesetReader(int tileW, int tileH, QStringList& files)
        : FTileW(tileW), FTileH(tileH), FFiles(files)
    {
    }

    // Reads the <tileset> the reader stands on; its files are relative to `dir`.
    void read(QXmlStreamReader& xml, const QString& dir);

    const std::vector<Tileset>& tilesets() const { return FTilesets; }

    // The part picture of a gid, flipped or rotated as its flag bits say.
    QImage tilePicture(uint32_t gid) const;

    // Lets the tilesets and their pictures go.
    void clear();

private:
    QString external(const QString& dir, QStringView name) const;
    void readTilesetBody(QXmlStreamReader& xml, const QXmlStreamAttributes& a, const QString& dir,
                         Tileset& t, const QString& where);
    void readTile(QXmlStreamReader& xml, Tileset& t, const QString& where);
    void readWangSets(QXmlStreamReader& xml, int tileCount, Tileset& t, const QString& where);
    std::shared_ptr<const QImage> readImage(QXmlStreamReader& xml, const QString& dir);
    TPictureLimits pictureLimits() const;
    std::shared_ptr<const QImage> decoded(std::optional<QImage> picture, const QString& what);
    const Tileset& tilesetOf(uint32_t base) const;

    int FTileW;
    int FTileH;
    QStringList& FFiles;
    std::vector<Tileset> FTilesets;
    std::map<QString, std::shared_ptr<const QImage>> FPictures; // by canonical file name
    qint64 FPictureBytes = 0;
    qint64 FTerrainNodesLeft = MaxTerrainNodes;
};

} // namespace TmxDetail
