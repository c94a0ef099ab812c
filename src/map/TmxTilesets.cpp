#include "TmxTilesets.h"

#include "PictureFormats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <algorithm>
#include <new>

namespace TmxDetail {

namespace {

const TPictureFormats& pictureFormats()
{
    static const TPictureFormats formats = TPictureFormats::WithQtFormats();
    return formats;
}

QImage flippedTile(const QImage& tile, uint32_t flags)
{
    QImage t = tile;
    if (flags & FlipD) {
        if (t.width() != t.height())
            fail(QStringLiteral("a rotated tile needs square tiles"));
        QImage d(t.height(), t.width(), QImage::Format_RGB32);
        if (d.isNull())
            throw std::bad_alloc();
        for (int y = 0; y < t.height(); ++y) {
            const auto* src = reinterpret_cast<const QRgb*>(t.constScanLine(y));
            for (int x = 0; x < t.width(); ++x)
                reinterpret_cast<QRgb*>(d.scanLine(x))[y] = src[x];
        }
        t = d;
    }
    if (flags & (FlipH | FlipV))
        t = t.mirrored(flags & FlipH, flags & FlipV);
    if (t.isNull())
        throw std::bad_alloc();
    return t;
}

} // namespace

// Reads the file a map or tileset names, relative to `dir`.
QString TilesetReader::external(const QString& dir, QStringView name) const
{
    if (dir.isEmpty())
        fail(QStringLiteral("the map names the file %1, but only a self-contained map can "
                            "be read here")
                 .arg(Quoted(name, MaxQuotedFileName)));
    const QString fileName = QDir(dir).filePath(name.toString());
    FFiles << fileName;
    return fileName;
}

void TilesetReader::read(QXmlStreamReader& xml, const QString& dir)
{
    const QXmlStreamAttributes a = xml.attributes();
    Tileset t;
    const int first = intAttribute(a, "firstgid", 1, 0x0fffffff, QStringLiteral("<tileset>"));
    t.FirstGid = uint32_t(first);
    const QStringView source = a.value(QLatin1String("source"));
    if (!source.isEmpty()) {
        xml.skipCurrentElement();
        const QString fileName = external(dir, source);
        QFile file(fileName);
        if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("cannot read the tileset file %1")
                     .arg(Quoted(fileName, MaxQuotedFileName)));
        TXmlGuard guard(file);
        QXmlStreamReader tsx(&guard);
        toDocumentElement(tsx);
        if (tsx.name() != u"tileset")
            fail(QStringLiteral("%1 is not a tileset file")
                     .arg(Quoted(fileName, MaxQuotedFileName)));
        readTilesetBody(tsx, tsx.attributes(), QFileInfo(fileName).absolutePath(), t,
                        Quoted(fileName, MaxQuotedFileName));
        if (tsx.hasError())
            xmlFail(tsx);
    } else {
        readTilesetBody(xml, a, dir, t, QStringLiteral("the map"));
    }
    for (const Tileset& other : FTilesets) {
        if (t.FirstGid < other.FirstGid + uint32_t(other.TileCount) &&
            other.FirstGid < t.FirstGid + uint32_t(t.TileCount))
            fail(QStringLiteral("two tilesets share gids"));
    }
    FTilesets.push_back(std::move(t));
}

void TilesetReader::readTilesetBody(QXmlStreamReader& xml, const QXmlStreamAttributes& a,
                                    const QString& dir, Tileset& t, const QString& where)
{
    const QString what = QStringLiteral("<tileset> in %1").arg(where);
    const int tw = intAttribute(a, "tilewidth", 1, 65535, what);
    const int th = intAttribute(a, "tileheight", 1, 65535, what);
    if (tw != FTileW || th != FTileH)
        fail(QStringLiteral("a tileset has tiles of %1 x %2 pixels, the map %3 x %4; mixed "
                            "tile sizes cannot be imported")
                 .arg(tw)
                 .arg(th)
                 .arg(FTileW)
                 .arg(FTileH));
    t.Margin = intAttribute(a, "margin", 0, 65535, what, 0);
    t.Spacing = intAttribute(a, "spacing", 0, 65535, what, 0);
    const int tileCount = intAttribute(a, "tilecount", 0, 0x0fffffff, what, -1);
    const int columns = intAttribute(a, "columns", 0, 65535, what, -1);
    while (xml.readNextStartElement()) {
        if (xml.name() == u"image")
            t.Picture = readImage(xml, dir);
        else if (xml.name() == u"tile")
            readTile(xml, t, what);
        else if (xml.name() == u"wangsets")
            readWangSets(xml, tileCount, t, where);
        else
            xml.skipCurrentElement();
    }
    if (xml.hasError())
        xmlFail(xml);
    if (!t.Picture)
        fail(QStringLiteral("a tileset in %1 has no picture; tilesets of single pictures "
                            "cannot be imported")
                 .arg(where));
    const int fitX = (t.Picture->width() - 2 * t.Margin + t.Spacing) / (tw + t.Spacing);
    const int fitY = (t.Picture->height() - 2 * t.Margin + t.Spacing) / (th + t.Spacing);
    t.Columns = columns > 0 ? columns : std::max(fitX, 0);
    t.TileCount = tileCount >= 0 ? tileCount : t.Columns * std::max(fitY, 0);
    if (t.TileCount > 0 &&
        (t.Columns == 0 || t.Columns > fitX || (t.TileCount + t.Columns - 1) / t.Columns > fitY))
        fail(QStringLiteral("a tileset in %1 has more tiles than its picture holds").arg(where));
    if (uint64_t(t.FirstGid) + uint64_t(t.TileCount) > 0x10000000u)
        fail(QStringLiteral("a tileset's gids go past the flag bits"));
}

void TilesetReader::readTile(QXmlStreamReader& xml, Tileset& t, const QString& where)
{
    const QXmlStreamAttributes a = xml.attributes();
    const QStringView p = a.value(QLatin1String("probability"));
    if (!p.isEmpty()) {
        const int id = intAttribute(a, "id", 0, 0x0fffffff, QStringLiteral("<tile>"));
        bool ok = false;
        const double v = p.toDouble(&ok);
        if (!ok || !(v >= 0) || v > 1e9)
            fail(QStringLiteral("a tile in %1 has the probability \"%2\"").arg(where, Quoted(p)));
        t.Probabilities.emplace_back(id, v);
    }
    while (xml.readNextStartElement()) {
        if (xml.name() == u"image")
            fail(QStringLiteral("a tileset is a collection of single pictures; only "
                                "tilesets made from one picture can be imported"));
        xml.skipCurrentElement();
    }
}

void TilesetReader::readWangSets(QXmlStreamReader& xml, int tileCount, Tileset& t,
                                 const QString& where)
{
    QString error;
    if (!ReadWangSets(xml, tileCount >= 0 ? tileCount : 0x0fffffff, FTerrainNodesLeft, t.Sets,
                      &error))
        fail(QStringLiteral("the terrain sets of a tileset in %1 cannot be read: %2")
                 .arg(where, error));
}

std::shared_ptr<const QImage> TilesetReader::readImage(QXmlStreamReader& xml, const QString& dir)
{
    const QXmlStreamAttributes a = xml.attributes();
    const QStringView source = a.value(QLatin1String("source"));
    if (!source.isEmpty()) {
        xml.skipCurrentElement();
        const QString fileName = external(dir, source);
        // Tilesets that share a picture share its one decoded copy.
        const QString key = QFileInfo(fileName).canonicalFilePath();
        const auto known = FPictures.find(key);
        if (!key.isEmpty() && known != FPictures.end())
            return known->second;
        if (!QFileInfo(fileName).isFile())
            fail(QStringLiteral("cannot read the tileset picture %1")
                     .arg(Quoted(fileName, MaxQuotedFileName)));
        std::shared_ptr<const QImage> picture =
            decoded(pictureFormats().LoadPicture(fileName, pictureLimits()),
                    Quoted(fileName, MaxQuotedFileName));
        FPictures.emplace(key, picture);
        return picture;
    }
    QByteArray bytes;
    bool found = false;
    while (xml.readNextStartElement()) {
        if (xml.name() != u"data") {
            xml.skipCurrentElement();
            continue;
        }
        if (xml.attributes().value(QLatin1String("encoding")) != u"base64")
            fail(QStringLiteral("an embedded tileset picture is not base64"));
        Base64In base64([&](const uint8_t* p, size_t n) {
            bytes.append(reinterpret_cast<const char*>(p), qsizetype(n));
        });
        base64.add(xml.readElementText());
        base64.finish();
        found = true;
    }
    if (xml.hasError())
        xmlFail(xml);
    if (!found)
        fail(QStringLiteral("the embedded tileset picture cannot be read"));
    QImage picture = ReadPictureData(bytes, pictureLimits());
    bytes.clear();
    return decoded(picture.isNull() ? std::nullopt : std::optional<QImage>(std::move(picture)),
                   QStringLiteral("embedded in the map"));
}

// What is left of the decoded pictures' bound for the next picture.
TPictureLimits TilesetReader::pictureLimits() const
{
    TPictureLimits limits;
    limits.MaxBytes = std::max<qint64>(MaxTilesetPictureBytes - FPictureBytes, 0);
    return limits;
}

// A decoded picture in ARGB32, counted against the bound.
std::shared_ptr<const QImage> TilesetReader::decoded(std::optional<QImage> picture,
                                                     const QString& what)
{
    if (!picture)
        fail(QStringLiteral("cannot read the tileset picture %1 (or it is larger than the "
                            "%2 MB left of the %3 MB an import decodes at most)")
                 .arg(what)
                 .arg(pictureLimits().MaxBytes >> 20)
                 .arg(MaxTilesetPictureBytes >> 20));
    QImage argb = std::move(*picture).convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull())
        throw std::bad_alloc();
    FPictureBytes += argb.sizeInBytes();
    if (FPictureBytes > MaxTilesetPictureBytes)
        fail(QStringLiteral("the tileset pictures take more than %1 MB decoded, the most an "
                            "import reads")
                 .arg(MaxTilesetPictureBytes >> 20));
    return std::make_shared<const QImage>(std::move(argb));
}

const Tileset& TilesetReader::tilesetOf(uint32_t base) const
{
    for (const Tileset& t : FTilesets) {
        if (base >= t.FirstGid && base - t.FirstGid < uint32_t(t.TileCount))
            return t;
    }
    fail(QStringLiteral("gid %1 is beyond the tilesets").arg(base));
}

QImage TilesetReader::tilePicture(uint32_t gid) const
{
    const uint32_t base = gid & ~FlagBits;
    const Tileset& t = tilesetOf(base);
    const int i = int(base - t.FirstGid);
    const int x = t.Margin + (i % t.Columns) * (FTileW + t.Spacing);
    const int y = t.Margin + (i / t.Columns) * (FTileH + t.Spacing);
    // Transparent pixels show white, as on the placeholder parts.
    QImage part(FTileW, FTileH, QImage::Format_RGB32);
    if (part.isNull())
        throw std::bad_alloc();
    part.fill(Qt::white);
    QPainter painter(&part);
    painter.drawImage(QPoint(0, 0), *t.Picture, QRect(x, y, FTileW, FTileH));
    painter.end();
    return gid & FlagBits ? flippedTile(part, gid) : part;
}

void TilesetReader::clear()
{
    FTilesets.clear();
    FPictures.clear();
}

} // namespace TmxDetail
