#include "PartSize.h"
#include "PictureFormats.h"
#include "TmxFile.h"
#include "TmxLayerData.h"
#include "TransposeBytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QXmlStreamReader>
#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <vector>

namespace {

using namespace TmxDetail;

// Cells given their part numbers between two reports of progress.
constexpr size_t ReportCells = size_t(4) << 20;

// Bytes of the map read between two reports of progress.
constexpr qint64 ReportBytes = 256 * 1024;

// Thrown when the progress says stop.
struct TmxStopped
{
};

// The decoded tileset pictures of one import, in all: a picture shared by several tilesets
// counts once, and they are let go once the parts are cut from them.
constexpr qint64 MaxTilesetPictureBytes = qint64(1024) << 20;

// The XML nodes of the terrain sets of all the tilesets of one import, as many as one
// terrain file may hold.
constexpr qint64 MaxTerrainNodes = 500000;

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

class TmxReader
{
public:
    TmxReader(const QString& baseDir, uint8_t emptyPart, TTmxImport& result,
              const TProgress& progress)
        : FBaseDir(baseDir), FEmpty(emptyPart), FResult(result), FProgress(progress)
    {
    }

    void read(QIODevice& in)
    {
        FIn = &in;
        FTotal = in.size();
        TXmlGuard guard(in);
        FGuard = &guard;
        QXmlStreamReader xml(&guard);
        toDocumentElement(xml);
        if (xml.name() != u"map")
            fail(QStringLiteral("not a TMX map: the document is <%1>, not <map>")
                     .arg(Quoted(xml.name())));
        readMapAttributes(xml.attributes());
        while (xml.readNextStartElement()) {
            report();
            const QStringView name = xml.name();
            if (name == u"tileset")
                readTileset(xml, FBaseDir);
            else if (name == u"layer")
                readLayer(xml);
            else if (name == u"objectgroup")
                fail(QStringLiteral("the map has an object layer; only one tile layer can be "
                                    "imported"));
            else if (name == u"imagelayer")
                fail(QStringLiteral("the map has an image layer; only one tile layer can be "
                                    "imported"));
            else if (name == u"group")
                fail(QStringLiteral("the map has a group of layers; only one tile layer can be "
                                    "imported"));
            else
                xml.skipCurrentElement();
        }
        if (xml.hasError())
            xmlFail(xml);
        if (!FSink)
            fail(QStringLiteral("the map has no tile layer"));
        assignParts();
    }

private:
    // Tells the progress how far the map is read, now and then, or with `always` each time;
    // stops the import when it says so.
    void report(bool always = false)
    {
        if (!FProgress)
            return;
        const qint64 at = FIn->pos();
        if (!always && FReported >= 0 && at - FReported < ReportBytes)
            return;
        FReported = at;
        if (!FProgress(at, std::max(FTotal, at)))
            throw TmxStopped{};
    }

    [[noreturn]] static void xmlFail(const QXmlStreamReader& xml)
    {
        const auto* guard = dynamic_cast<const TXmlGuard*>(xml.device());
        if (guard && guard->Refused())
            fail(QStringLiteral("an element has more than %1 attributes").arg(MaxXmlAttributes));
        if (xml.hasError())
            fail(QStringLiteral("malformed XML at line %1: %2")
                     .arg(xml.lineNumber())
                     .arg(Quoted(xml.errorString())));
        fail(QStringLiteral("malformed XML: no document element"));
    }

    static void toDocumentElement(QXmlStreamReader& xml)
    {
        const QString refusal = ReadToDocumentElement(xml);
        if (!refusal.isEmpty())
            fail(refusal);
        if (xml.tokenType() != QXmlStreamReader::StartElement)
            xmlFail(xml);
    }

    void readMapAttributes(const QXmlStreamAttributes& a)
    {
        const QStringView orientation = a.value(QLatin1String("orientation"));
        if (orientation != u"orthogonal")
            fail(QStringLiteral("the map is %1, not orthogonal")
                     .arg(orientation.isEmpty() ? QStringLiteral("of no orientation")
                                                : Quoted(orientation)));
        if (a.value(QLatin1String("infinite")) == u"1")
            fail(QStringLiteral("the map is infinite; only maps of a fixed size can be imported"));
        const QString where = QStringLiteral("<map>");
        FWidth = intAttribute(a, "width", 1, INT_MAX, where);
        FHeight = intAttribute(a, "height", 1, INT_MAX, where);
        if (FWidth > TMapDocument::MaxMapSize || FHeight > TMapDocument::MaxMapSize)
            fail(QStringLiteral("the map is %1 x %2 cells, more than %3 on a side")
                     .arg(FWidth)
                     .arg(FHeight)
                     .arg(TMapDocument::MaxMapSize));
        FTileW = intAttribute(a, "tilewidth", 1, 65535, where);
        FTileH = intAttribute(a, "tileheight", 1, 65535, where);
        if (!PartSizeAllowed(FTileW, FTileH))
            fail(QStringLiteral("tiles of %1 x %2 pixels are too large for parts")
                     .arg(FTileW)
                     .arg(FTileH));
    }

    // Reads the file a map or tileset names, relative to `dir`.
    QString external(const QString& dir, QStringView name) const
    {
        if (dir.isEmpty())
            fail(QStringLiteral("the map names the file %1, but only a self-contained map can "
                                "be read here")
                     .arg(Quoted(name, MaxQuotedFileName)));
        const QString fileName = QDir(dir).filePath(name.toString());
        FResult.Files << fileName;
        return fileName;
    }

    void readTileset(QXmlStreamReader& xml, const QString& dir)
    {
        const QXmlStreamAttributes a = xml.attributes();
        if (!FTilesets.empty() && FSink)
            fail(QStringLiteral("a tileset follows the tile layer"));
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

    void readTilesetBody(QXmlStreamReader& xml, const QXmlStreamAttributes& a, const QString& dir,
                         Tileset& t, const QString& where)
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
        if (t.TileCount > 0 && (t.Columns == 0 || t.Columns > fitX ||
                                (t.TileCount + t.Columns - 1) / t.Columns > fitY))
            fail(
                QStringLiteral("a tileset in %1 has more tiles than its picture holds").arg(where));
        if (uint64_t(t.FirstGid) + uint64_t(t.TileCount) > 0x10000000u)
            fail(QStringLiteral("a tileset's gids go past the flag bits"));
    }

    void readTile(QXmlStreamReader& xml, Tileset& t, const QString& where)
    {
        const QXmlStreamAttributes a = xml.attributes();
        const QStringView p = a.value(QLatin1String("probability"));
        if (!p.isEmpty()) {
            const int id = intAttribute(a, "id", 0, 0x0fffffff, QStringLiteral("<tile>"));
            bool ok = false;
            const double v = p.toDouble(&ok);
            if (!ok || !(v >= 0) || v > 1e9)
                fail(QStringLiteral("a tile in %1 has the probability \"%2\"")
                         .arg(where, Quoted(p)));
            t.Probabilities.emplace_back(id, v);
        }
        while (xml.readNextStartElement()) {
            if (xml.name() == u"image")
                fail(QStringLiteral("a tileset is a collection of single pictures; only "
                                    "tilesets made from one picture can be imported"));
            xml.skipCurrentElement();
        }
    }

    void readWangSets(QXmlStreamReader& xml, int tileCount, Tileset& t, const QString& where)
    {
        QString error;
        if (!ReadWangSets(xml, tileCount >= 0 ? tileCount : 0x0fffffff, FTerrainNodesLeft, t.Sets,
                          &error))
            fail(QStringLiteral("the terrain sets of a tileset in %1 cannot be read: %2")
                     .arg(where, error));
    }

    std::shared_ptr<const QImage> readImage(QXmlStreamReader& xml, const QString& dir)
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
    TPictureLimits pictureLimits() const
    {
        TPictureLimits limits;
        limits.MaxBytes = std::max<qint64>(MaxTilesetPictureBytes - FPictureBytes, 0);
        return limits;
    }

    // A decoded picture in ARGB32, counted against the bound.
    std::shared_ptr<const QImage> decoded(std::optional<QImage> picture, const QString& what)
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

    void readLayer(QXmlStreamReader& xml)
    {
        if (FSink)
            fail(QStringLiteral("the map has more than one tile layer"));
        const QXmlStreamAttributes a = xml.attributes();
        const QString where = QStringLiteral("<layer>");
        if (intAttribute(a, "width", 1, INT_MAX, where, FWidth) != FWidth ||
            intAttribute(a, "height", 1, INT_MAX, where, FHeight) != FHeight)
            fail(QStringLiteral("the tile layer's size differs from the map's"));
        if (a.hasAttribute(QLatin1String("offsetx")) || a.hasAttribute(QLatin1String("offsety")))
            if (a.value(QLatin1String("offsetx")).toDouble() != 0 ||
                a.value(QLatin1String("offsety")).toDouble() != 0)
                fail(QStringLiteral("the tile layer is offset"));
        // The cells take the layer's ids as they come; the parts are known only at its end.
        FResult.Stores = TMapDocument::AllocateStores(FWidth, FHeight);
        FSink.emplace(FTilesets, FWidth, FHeight, FResult.Stores.Cells.data());
        bool data = false;
        while (xml.readNextStartElement()) {
            if (xml.name() == u"data") {
                if (data)
                    fail(QStringLiteral("the tile layer has two <data> elements"));
                readData(xml);
                data = true;
            } else {
                xml.skipCurrentElement();
            }
        }
        if (xml.hasError())
            xmlFail(xml);
        FSink->finish();
        if (FSink->count() != FSink->expected())
            fail(QStringLiteral("the layer holds %1 cells, the map %2")
                     .arg(FSink->count())
                     .arg(FSink->expected()));
    }

    void readData(QXmlStreamReader& xml)
    {
        const QXmlStreamAttributes a = xml.attributes();
        const QStringView encoding = a.value(QLatin1String("encoding"));
        const QStringView compression = a.value(QLatin1String("compression"));
        GidSink& sink = *FSink;
        if (encoding.isEmpty()) {
            if (!compression.isEmpty())
                fail(QStringLiteral("the layer data is compressed but not base64"));
            readTileElements(xml, sink);
            return;
        }
        if (encoding == u"csv") {
            if (!compression.isEmpty())
                fail(QStringLiteral("the layer data is compressed but not base64"));
            CsvIn csv(sink);
            readText(xml, csv);
            csv.finish();
            return;
        }
        if (encoding != u"base64")
            fail(QStringLiteral("the layer data has the unknown encoding \"%1\"")
                     .arg(Quoted(encoding)));
        GidBytes bytes(sink);
        if (compression.isEmpty()) {
            Base64In base64([&](const uint8_t* p, size_t n) { bytes.add(p, n); });
            readText(xml, base64);
            base64.finish();
        } else if (compression == u"zlib" || compression == u"gzip") {
            Inflater inflater(bytes, sink.expected() * 4, compression == u"gzip");
            Base64In base64([&](const uint8_t* p, size_t n) { inflater.add(p, n); });
            readText(xml, base64);
            base64.finish();
            inflater.finish();
        } else {
            fail(QStringLiteral("the layer data is compressed with %1; only zlib and gzip can "
                                "be read")
                     .arg(Quoted(compression)));
        }
        if (bytes.partial())
            fail(QStringLiteral("the layer data ends inside a gid"));
    }

    // Hands the text of the current element on in pieces, so that a large layer is never
    // held as one string: `text` takes add(QStringView) and addBytes(const char*, size_t).
    template <typename T> void readText(QXmlStreamReader& xml, T& text)
    {
        // The text the guard held back comes straight from the file, a piece at a time.
        const bool held = FGuard->Holding();
        qint64 delivered = -1;
        if (held) {
            std::vector<char> bytes(256 * 1024);
            while (const qint64 n = FGuard->ReadHeldText(bytes.data(), qint64(bytes.size()))) {
                text.addBytes(bytes.data(), size_t(n));
                report();
            }
        }
        for (;;) {
            const auto token = xml.readNext();
            report();
            // The reader found nothing while the text was held: it goes on from the '<', as
            // long as the file gives it more.
            if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && held) {
                if (FGuard->Delivered() == delivered)
                    xmlFail(xml);
                delivered = FGuard->Delivered();
                continue;
            }
            if (xml.atEnd())
                break;
            if (token == QXmlStreamReader::Characters)
                text.add(xml.text());
            else if (token == QXmlStreamReader::EndElement)
                return;
            else if (token == QXmlStreamReader::StartElement)
                fail(QStringLiteral("the layer data holds <%1>").arg(Quoted(xml.name())));
        }
        xmlFail(xml);
    }

    void readTileElements(QXmlStreamReader& xml, GidSink& sink)
    {
        while (xml.readNextStartElement()) {
            if (xml.name() == u"chunk")
                fail(QStringLiteral("the layer is made of chunks, as in infinite maps"));
            if (xml.name() != u"tile")
                fail(QStringLiteral("the layer data holds <%1>").arg(Quoted(xml.name())));
            const QStringView text = xml.attributes().value(QLatin1String("gid"));
            bool ok = true;
            const uint32_t gid = text.isEmpty() ? 0 : text.toUInt(&ok);
            if (!ok)
                fail(QStringLiteral("a <tile> has the gid \"%1\"").arg(Quoted(text)));
            sink.add(gid);
            xml.skipCurrentElement();
            report();
        }
        if (xml.hasError())
            xmlFail(xml);
    }

    const Tileset& tilesetOf(uint32_t base) const
    {
        for (const Tileset& t : FTilesets) {
            if (base >= t.FirstGid && base - t.FirstGid < uint32_t(t.TileCount))
                return t;
        }
        fail(QStringLiteral("gid %1 is beyond the tilesets").arg(base));
    }

    QImage tilePicture(uint32_t base) const
    {
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
        return part;
    }

    void assignParts()
    {
        const std::vector<uint32_t>& gids = FSink->gids();
        std::vector<int> partOf(gids.size(), FEmpty);
        // The flipped gids, in gid order, take the free parts after the plain tiles.
        std::map<uint32_t, size_t> flipped;
        std::array<bool, 256> taken{};
        std::map<uint32_t, int> partOfGid; // with the flags of flipped copies
        const bool ownNumbers = FTilesets.size() == 1 && FTilesets[0].TileCount <= 256;
        if (ownNumbers) {
            const Tileset& t = FTilesets[0];
            for (int i = 0; i < t.TileCount; ++i) {
                FResult.Parts[i] = tilePicture(t.FirstGid + uint32_t(i));
                taken[i] = true;
                partOfGid.emplace(t.FirstGid + uint32_t(i), i);
            }
        }
        std::map<uint32_t, size_t> plain;
        for (size_t id = 0; id < gids.size(); ++id) {
            const uint32_t gid = gids[id] & ~FlipHex;
            if (gid == 0)
                continue;
            if (gid & FlagBits)
                flipped.emplace(gid, id);
            else
                plain.emplace(gid, id);
        }
        if (ownNumbers) {
            for (const auto& [gid, id] : plain)
                partOf[id] = int(gid - FTilesets[0].FirstGid);
        } else {
            if (plain.size() > 256)
                fail(QStringLiteral("the map uses more than 256 different tiles"));
            int next = 0;
            for (const auto& [gid, id] : plain) {
                FResult.Parts[next] = tilePicture(gid);
                taken[next] = true;
                partOfGid.emplace(gid, next);
                partOf[id] = next++;
            }
        }
        int free = 0;
        for (const auto& [gid, id] : flipped) {
            while (free < 256 && taken[free])
                ++free;
            if (free == 256)
                fail(QStringLiteral("no free part is left for a flipped or rotated copy of "
                                    "gid %1")
                         .arg(gid & ~FlagBits));
            FResult.Parts[free] = flippedTile(tilePicture(gid & ~FlagBits), gid);
            taken[free] = true;
            partOf[id] = free;
            partOfGid.emplace(gid, free);
        }
        FResult.Terrain = TerrainInParts(FTilesets, partOfGid);
        // The pictures are done with.
        FTilesets.clear();
        FPictures.clear();
        putParts(partOf);
    }

    // Turns the ids in the cells into part numbers.
    void putParts(const std::vector<int>& partOf)
    {
        std::array<uint8_t, 256> lut{};
        for (size_t id = 0; id < std::min<size_t>(partOf.size(), 256); ++id)
            lut[id] = uint8_t(partOf[id]);
        FResult.PartWidth = uint16_t(FTileW);
        FResult.PartHeight = uint16_t(FTileH);
        uint8_t* cells = FResult.Stores.Cells.data();
        const size_t count = size_t(FWidth) * size_t(FHeight);
        for (size_t at = 0; at < count; at += ReportCells) {
            report(true);
            const size_t end = std::min(count, at + ReportCells);
            for (size_t i = at; i < end; ++i)
                cells[i] = lut[cells[i]];
        }
        const std::vector<uint8_t>& high = FSink->high();
        if (high.empty())
            return;
        const uint8_t part = uint8_t(partOf[256]);
        for (size_t k = 0; k < count; ++k) {
            if (high[k / 8] & (1 << (k % 8)))
                cells[(k % size_t(FWidth)) * size_t(FHeight) + k / size_t(FWidth)] = part;
        }
    }

    QString FBaseDir;
    int FEmpty;
    TTmxImport& FResult;
    int FWidth = 0;
    int FHeight = 0;
    int FTileW = 0;
    int FTileH = 0;
    std::vector<Tileset> FTilesets;
    std::optional<GidSink> FSink;
    std::map<QString, std::shared_ptr<const QImage>> FPictures; // by canonical file name
    qint64 FPictureBytes = 0;
    qint64 FTerrainNodesLeft = MaxTerrainNodes;
    const TProgress& FProgress;
    QIODevice* FIn = nullptr;
    TXmlGuard* FGuard = nullptr;
    qint64 FTotal = 0;
    qint64 FReported = -1; // where the last report was; none yet
};

} // namespace

bool ReadTmxData(QIODevice& in, const QString& baseDir, uint8_t emptyPart, TTmxImport& result,
                 QString* error, const TProgress& progress)
{
    try {
        result = TTmxImport{};
        TmxReader(baseDir, emptyPart, result, progress).read(in);
        return true;
    } catch (const TmxStopped&) {
        result = TTmxImport{};
        result.Cancelled = true;
        if (error)
            *error = QStringLiteral("cancelled");
        return false;
    } catch (const TmxError& e) {
        if (error)
            *error = e.Message;
    } catch (const std::bad_alloc&) {
        if (error)
            *error = QStringLiteral("not enough memory for the map");
    }
    result = TTmxImport{};
    return false;
}

bool ImportTmxFile(const QString& fileName, uint8_t emptyPart, TTmxImport& result, QString* error,
                   const TProgress& progress)
{
    // Only a regular file: a FIFO or a device would block, or never end.
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly)) {
        result = TTmxImport{};
        if (error)
            *error = QStringLiteral("cannot open %1").arg(Quoted(fileName, MaxQuotedFileName));
        return false;
    }
    return ReadTmxData(file, QFileInfo(fileName).absolutePath(), emptyPart, result, error,
                       progress);
}
