#include "PartSize.h"
#include "TmxFile.h"
#include "TmxTilesets.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <algorithm>
#include <array>
#include <climits>
#include <map>
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
        FTilesets.emplace(FTileW, FTileH, FResult.Files);
        while (xml.readNextStartElement()) {
            report();
            const QStringView name = xml.name();
            if (name == u"tileset")
                readTileset(xml);
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

    void readTileset(QXmlStreamReader& xml)
    {
        if (!FTilesets->tilesets().empty() && FSink)
            fail(QStringLiteral("a tileset follows the tile layer"));
        FTilesets->read(xml, FBaseDir);
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
        FSink.emplace(FTilesets->tilesets(), FWidth, FHeight, FResult.Stores.Cells.data());
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

    void assignParts()
    {
        const std::vector<uint32_t>& gids = FSink->gids();
        std::vector<int> partOf(gids.size(), FEmpty);
        // The flipped gids, in gid order, take the free parts after the plain tiles.
        std::map<uint32_t, size_t> flipped;
        std::array<bool, 256> taken{};
        std::map<uint32_t, int> partOfGid; // with the flags of flipped copies
        const std::vector<Tileset>& tilesets = FTilesets->tilesets();
        const bool ownNumbers = tilesets.size() == 1 && tilesets[0].TileCount <= 256;
        if (ownNumbers) {
            const Tileset& t = tilesets[0];
            for (int i = 0; i < t.TileCount; ++i) {
                FResult.Parts[i] = FTilesets->tilePicture(t.FirstGid + uint32_t(i));
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
                partOf[id] = int(gid - tilesets[0].FirstGid);
        } else {
            if (plain.size() > 256)
                fail(QStringLiteral("the map uses more than 256 different tiles"));
            int next = 0;
            for (const auto& [gid, id] : plain) {
                FResult.Parts[next] = FTilesets->tilePicture(gid);
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
            FResult.Parts[free] = FTilesets->tilePicture(gid);
            taken[free] = true;
            partOf[id] = free;
            partOfGid.emplace(gid, free);
        }
        FResult.Terrain = TerrainInParts(tilesets, partOfGid);
        // The pictures are done with.
        FTilesets->clear();
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
    std::optional<TilesetReader> FTilesets; // once the map's tile size is known
    std::optional<GidSink> FSink;
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
