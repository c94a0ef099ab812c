#include "TmxFile.h"

#include "PartsStore.h"
#include "TransposeBytes.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <unordered_map>
#include <vector>
#include <zlib.h>

namespace {

// Rows handled per step of the export and of the import's final transpose.
constexpr int BandRows = 64;

constexpr uint32_t FlipH = 0x80000000u;
constexpr uint32_t FlipV = 0x40000000u;
constexpr uint32_t FlipD = 0x20000000u;
// Tiled's hexagonal 120-degree rotation; meaningless on an orthogonal map.
constexpr uint32_t FlipHex = 0x10000000u;
constexpr uint32_t FlagBits = FlipH | FlipV | FlipD | FlipHex;

// ----------------------------------------------------------------------------- export

// The row-major cells of rows [y0, y0 + rows).
void rowBand(const TMapDocument& doc, int y0, int rows, std::vector<uint8_t>& band)
{
    const int w = doc.MapWidth();
    const int h = doc.MapHeight();
    band.resize(size_t(w) * BandRows);
    TransposeBytes(doc.MapCells().data() + y0, size_t(h), band.data(), size_t(w), size_t(w),
                   size_t(rows));
}

// The decimal texts of 0..256 and their lengths, so a cell costs one table look-up.
struct NumberTexts
{
    std::array<std::array<char, 4>, 257> Text{};
    std::array<uint8_t, 257> Length{};
    NumberTexts()
    {
        for (int i = 0; i <= 256; ++i)
            Length[i] =
                uint8_t(std::to_chars(Text[i].data(), Text[i].data() + 4, i).ptr - Text[i].data());
    }
};

const NumberTexts& numberTexts()
{
    static const NumberTexts texts;
    return texts;
}

// Appends the numbers of one band, part + offset each, rows separated by `rowEnd`.
void appendBandText(QByteArray& text, const uint8_t* band, int w, int rows, int offset,
                    bool trailingComma, bool lastBand)
{
    const NumberTexts& nt = numberTexts();
    const qsizetype start = text.size();
    text.resize(start + qsizetype(w) * rows * 4 + rows);
    char* p = text.data() + start;
    for (int r = 0; r < rows; ++r) {
        const uint8_t* row = band + size_t(r) * w;
        for (int x = 0; x < w; ++x) {
            const int v = row[x] + offset;
            std::memcpy(p, nt.Text[v].data(), 4);
            p += nt.Length[v];
            *p++ = ',';
        }
        // Tiled ends every row but the last with a comma; CSV files end none.
        if (!trailingComma || (lastBand && r == rows - 1))
            --p;
        *p++ = '\n';
    }
    text.resize(p - text.data());
}

// Base64 text out of a stream of bytes, handed on in whole groups of three bytes.
class Base64Out
{
public:
    explicit Base64Out(QXmlStreamWriter& xml) : FXml(xml) {}
    void add(const char* data, size_t size)
    {
        FPending.append(data, qsizetype(size));
        if (FPending.size() >= 3 * 65536)
            flush(false);
    }
    void flush(bool last)
    {
        const qsizetype whole = last ? FPending.size() : FPending.size() / 3 * 3;
        if (whole == 0)
            return;
        FXml.writeCharacters(QString::fromLatin1(FPending.left(whole).toBase64()));
        FPending.remove(0, whole);
    }

private:
    QXmlStreamWriter& FXml;
    QByteArray FPending;
};

bool writeZlibData(QXmlStreamWriter& xml, const TMapDocument& doc)
{
    const int w = doc.MapWidth();
    const int h = doc.MapHeight();
    z_stream z{};
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK)
        return false;
    Base64Out base64(xml);
    std::vector<uint8_t> band;
    std::vector<uint8_t> gids;
    std::vector<char> out(256 * 1024);
    bool ok = true;
    const auto pump = [&](int flush) {
        do {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            const int rc = deflate(&z, flush);
            if (rc == Z_STREAM_ERROR) {
                ok = false;
                return;
            }
            base64.add(out.data(), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    };
    for (int y0 = 0; y0 < h && ok; y0 += BandRows) {
        const int rows = std::min(BandRows, h - y0);
        rowBand(doc, y0, rows, band);
        const size_t n = size_t(w) * rows;
        gids.resize(n * 4);
        // Little-endian 32-bit gids: part + 1 fits the low byte but for part 255.
        for (size_t i = 0; i < n; ++i) {
            const uint32_t g = uint32_t(band[i]) + 1;
            gids[4 * i] = uint8_t(g);
            gids[4 * i + 1] = uint8_t(g >> 8);
            gids[4 * i + 2] = 0;
            gids[4 * i + 3] = 0;
        }
        z.next_in = gids.data();
        z.avail_in = uInt(gids.size());
        pump(Z_NO_FLUSH);
    }
    if (ok)
        pump(Z_FINISH);
    deflateEnd(&z);
    base64.flush(true);
    return ok;
}

void writeCsvCells(QXmlStreamWriter& xml, const TMapDocument& doc)
{
    const int w = doc.MapWidth();
    const int h = doc.MapHeight();
    std::vector<uint8_t> band;
    QByteArray text("\n");
    for (int y0 = 0; y0 < h; y0 += BandRows) {
        const int rows = std::min(BandRows, h - y0);
        rowBand(doc, y0, rows, band);
        appendBandText(text, band.data(), w, rows, 1, true, y0 + rows == h);
        xml.writeCharacters(QString::fromLatin1(text));
        text.clear();
    }
}

// ----------------------------------------------------------------------------- import

// A reason the import stops; caught at the top and turned into the caller's message.
struct TmxError
{
    QString Message;
};

[[noreturn]] void fail(const QString& message)
{
    throw TmxError{message};
}

struct Tileset
{
    uint32_t FirstGid = 0;
    int TileCount = 0;
    int Columns = 0;
    int Margin = 0;
    int Spacing = 0;
    QImage Picture;
};

int intAttribute(const QXmlStreamAttributes& attrs, const char* name, int low, int high,
                 const QString& where, std::optional<int> fallback = std::nullopt)
{
    const QStringView text = attrs.value(QLatin1String(name));
    if (text.isEmpty()) {
        if (fallback)
            return *fallback;
        fail(QStringLiteral("%1 has no %2").arg(where, QLatin1String(name)));
    }
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < low || v > high)
        fail(QStringLiteral("%1 has %2=\"%3\", not a number from %4 to %5")
                 .arg(where, QLatin1String(name), text.toString())
                 .arg(low)
                 .arg(high));
    return int(v);
}

// Turns the gids of the layer, in row-major order, into small ids in order of first
// appearance, so that the cells take two bytes each however large the gids are.
class GidSink
{
public:
    GidSink(const std::vector<Tileset>& tilesets, int w, int h)
        : FTilesets(tilesets), FCount(qint64(w) * h)
    {
    }

    void add(uint32_t gid)
    {
        if (FDone == FCount)
            fail(QStringLiteral("the layer holds more than its %1 cells").arg(FCount));
        if (gid != FLastGid || FDone == 0) {
            FLastGid = gid;
            FLastId = idOf(gid);
        }
        // The store grows with the data, so that a large map that claims more cells than
        // its data holds costs no memory for them.
        if (size_t(FDone) == FIds.size())
            FIds.resize(size_t(std::min(FCount, std::max<qint64>(FDone * 2, 1 << 16))));
        FIds[size_t(FDone++)] = FLastId;
    }
    qint64 count() const { return FDone; }
    qint64 expected() const { return FCount; }
    const std::vector<uint16_t>& ids() const { return FIds; }
    const std::vector<uint32_t>& gids() const { return FGids; }

private:
    uint16_t idOf(uint32_t gid)
    {
        const auto found = FIdOf.find(gid);
        if (found != FIdOf.end())
            return found->second;
        check(gid);
        // 256 parts and the empty gid: anything beyond can never fit.
        if (FGids.size() == 257)
            fail(QStringLiteral("the map uses more than 256 different tiles"));
        const uint16_t id = uint16_t(FGids.size());
        FGids.push_back(gid);
        FIdOf.emplace(gid, id);
        return id;
    }
    void check(uint32_t gid) const
    {
        const uint32_t base = gid & ~FlagBits;
        if (base == 0)
            return;
        for (const Tileset& t : FTilesets) {
            if (base >= t.FirstGid && base - t.FirstGid < uint32_t(t.TileCount))
                return;
        }
        fail(QStringLiteral("gid %1 is beyond the tilesets").arg(base));
    }

    const std::vector<Tileset>& FTilesets;
    qint64 FCount;
    qint64 FDone = 0;
    std::vector<uint16_t> FIds;
    std::vector<uint32_t> FGids;
    std::unordered_map<uint32_t, uint16_t> FIdOf;
    uint32_t FLastGid = 0;
    uint16_t FLastId = 0;
};

// Gids as little-endian 32-bit numbers out of a byte stream.
class GidBytes
{
public:
    explicit GidBytes(GidSink& sink) : FSink(sink) {}
    void add(const uint8_t* data, size_t size)
    {
        for (size_t i = 0; i < size; ++i) {
            FGid |= uint32_t(data[i]) << (8 * FHave);
            if (++FHave == 4) {
                FSink.add(FGid);
                FGid = 0;
                FHave = 0;
            }
        }
    }
    bool partial() const { return FHave != 0; }

private:
    GidSink& FSink;
    uint32_t FGid = 0;
    int FHave = 0;
};

// The inflater of zlib or gzip data. Stops at the first byte beyond the map's cells.
class Inflater
{
public:
    Inflater(GidBytes& bytes, qint64 limit, bool gzip) : FBytes(bytes), FLimit(limit)
    {
        if (inflateInit2(&FZ, gzip ? 15 + 16 : 15) != Z_OK)
            throw std::bad_alloc();
    }
    ~Inflater() { inflateEnd(&FZ); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    void add(const uint8_t* data, size_t size)
    {
        if (size == 0)
            return;
        if (FEnded)
            fail(QStringLiteral("the layer data goes on after its compressed stream"));
        FZ.next_in = const_cast<Bytef*>(data);
        FZ.avail_in = uInt(size);
        while (FZ.avail_in > 0 && !FEnded) {
            FZ.next_out = FOut;
            FZ.avail_out = sizeof FOut;
            const int rc = inflate(&FZ, Z_NO_FLUSH);
            const size_t made = sizeof FOut - FZ.avail_out;
            if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && made > 0))
                fail(QStringLiteral("the compressed layer data is damaged (%1)")
                         .arg(QString::fromLatin1(FZ.msg ? FZ.msg : "zlib error")));
            FTotal += qint64(made);
            if (FTotal > FLimit)
                fail(QStringLiteral("the compressed layer data inflates past the map's size"));
            FBytes.add(FOut, made);
            FEnded = rc == Z_STREAM_END;
            if (made == 0 && rc != Z_STREAM_END && FZ.avail_in > 0)
                fail(QStringLiteral("the compressed layer data is damaged"));
        }
    }
    void finish()
    {
        if (!FEnded)
            fail(QStringLiteral("the compressed layer data ends early"));
    }

private:
    GidBytes& FBytes;
    qint64 FLimit;
    qint64 FTotal = 0;
    bool FEnded = false;
    z_stream FZ{};
    uint8_t FOut[64 * 1024];
};

// Base64 text, fed in pieces of any size; whitespace between the characters is allowed.
class Base64In
{
public:
    explicit Base64In(std::function<void(const uint8_t*, size_t)> out) : FOut(std::move(out)) {}
    void add(QStringView text)
    {
        for (const QChar c : text) {
            if (c.isSpace())
                continue;
            if (c.unicode() > 0x7f)
                badBase64();
            FPending.append(char(c.unicode()));
        }
        const qsizetype whole = FPending.size() / 4 * 4;
        if (whole >= 65536)
            decode(whole);
    }
    void finish()
    {
        if (FPending.size() % 4 != 0)
            badBase64();
        decode(FPending.size());
    }

private:
    [[noreturn]] static void badBase64() { fail(QStringLiteral("the layer data is not base64")); }
    void decode(qsizetype size)
    {
        if (size == 0)
            return;
        // Padding may only end the text.
        const qsizetype pad = FPending.left(size).indexOf('=');
        if (pad >= 0 && pad < size - 2)
            badBase64();
        if (FEnded)
            badBase64();
        const auto result = QByteArray::fromBase64Encoding(FPending.left(size),
                                                           QByteArray::AbortOnBase64DecodingErrors);
        if (!result)
            badBase64();
        FEnded = pad >= 0;
        FPending.remove(0, size);
        FOut(reinterpret_cast<const uint8_t*>(result.decoded.constData()),
             size_t(result.decoded.size()));
    }

    std::function<void(const uint8_t*, size_t)> FOut;
    QByteArray FPending;
    bool FEnded = false;
};

// Comma-separated gids, fed in pieces of any size.
class CsvIn
{
public:
    explicit CsvIn(GidSink& sink) : FSink(sink) {}
    void add(QStringView text)
    {
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u >= '0' && u <= '9') {
                if (FEnded)
                    bad();
                FValue = FValue * 10 + (u - '0');
                if (FValue > 0xffffffffull)
                    bad();
                FDigits = true;
            } else if (u == ',') {
                if (!FDigits)
                    bad();
                FSink.add(uint32_t(FValue));
                FValue = 0;
                FDigits = FEnded = false;
            } else if (c.isSpace()) {
                FEnded = FDigits;
            } else {
                bad();
            }
        }
    }
    void finish()
    {
        if (FDigits)
            FSink.add(uint32_t(FValue));
    }

private:
    [[noreturn]] static void bad()
    {
        fail(QStringLiteral("the CSV layer data holds something other than gids"));
    }
    GidSink& FSink;
    uint64_t FValue = 0;
    bool FDigits = false;
    bool FEnded = false;
};

QImage flippedTile(const QImage& tile, uint32_t flags)
{
    QImage t = tile;
    if (flags & FlipD) {
        if (t.width() != t.height())
            fail(QStringLiteral("a rotated tile needs square tiles"));
        QImage d(t.height(), t.width(), QImage::Format_RGB32);
        for (int y = 0; y < t.height(); ++y) {
            const auto* src = reinterpret_cast<const QRgb*>(t.constScanLine(y));
            for (int x = 0; x < t.width(); ++x)
                reinterpret_cast<QRgb*>(d.scanLine(x))[y] = src[x];
        }
        t = d;
    }
    if (flags & (FlipH | FlipV))
        t = t.mirrored(flags & FlipH, flags & FlipV);
    return t;
}

class TmxReader
{
public:
    TmxReader(const QString& baseDir, uint8_t emptyPart, TTmxImport& result)
        : FBaseDir(baseDir), FEmpty(emptyPart), FResult(result)
    {
    }

    void read(QIODevice& in)
    {
        QXmlStreamReader xml(&in);
        if (!xml.readNextStartElement())
            xmlFail(xml);
        if (xml.name() != u"map")
            fail(QStringLiteral("not a TMX map: the document is <%1>, not <map>")
                     .arg(xml.name().toString()));
        readMapAttributes(xml.attributes());
        while (xml.readNextStartElement()) {
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
    [[noreturn]] static void xmlFail(const QXmlStreamReader& xml)
    {
        if (xml.hasError())
            fail(QStringLiteral("malformed XML at line %1: %2")
                     .arg(xml.lineNumber())
                     .arg(xml.errorString()));
        fail(QStringLiteral("malformed XML: no document element"));
    }

    void readMapAttributes(const QXmlStreamAttributes& a)
    {
        const QStringView orientation = a.value(QLatin1String("orientation"));
        if (orientation != u"orthogonal")
            fail(QStringLiteral("the map is %1, not orthogonal")
                     .arg(orientation.isEmpty() ? QStringLiteral("of no orientation")
                                                : orientation.toString()));
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
        if (!TPartsStore::PartSizeAllowed(FTileW, FTileH))
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
                     .arg(name.toString()));
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
                fail(QStringLiteral("cannot read the tileset file %1").arg(fileName));
            QXmlStreamReader tsx(&file);
            if (!tsx.readNextStartElement())
                xmlFail(tsx);
            if (tsx.name() != u"tileset")
                fail(QStringLiteral("%1 is not a tileset file").arg(fileName));
            readTilesetBody(tsx, tsx.attributes(), QFileInfo(fileName).absolutePath(), t, fileName);
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
                readTile(xml);
            else
                xml.skipCurrentElement();
        }
        if (xml.hasError())
            xmlFail(xml);
        if (t.Picture.isNull())
            fail(QStringLiteral("a tileset in %1 has no picture; tilesets of single pictures "
                                "cannot be imported")
                     .arg(where));
        const int fitX = (t.Picture.width() - 2 * t.Margin + t.Spacing) / (tw + t.Spacing);
        const int fitY = (t.Picture.height() - 2 * t.Margin + t.Spacing) / (th + t.Spacing);
        t.Columns = columns > 0 ? columns : std::max(fitX, 0);
        t.TileCount = tileCount >= 0 ? tileCount : t.Columns * std::max(fitY, 0);
        if (t.TileCount > 0 && (t.Columns == 0 || t.Columns > fitX ||
                                (t.TileCount + t.Columns - 1) / t.Columns > fitY))
            fail(
                QStringLiteral("a tileset in %1 has more tiles than its picture holds").arg(where));
        if (uint64_t(t.FirstGid) + uint64_t(t.TileCount) > 0x10000000u)
            fail(QStringLiteral("a tileset's gids go past the flag bits"));
        t.Picture = t.Picture.convertToFormat(QImage::Format_ARGB32);
    }

    void readTile(QXmlStreamReader& xml)
    {
        while (xml.readNextStartElement()) {
            if (xml.name() == u"image")
                fail(QStringLiteral("a tileset is a collection of single pictures; only "
                                    "tilesets made from one picture can be imported"));
            xml.skipCurrentElement();
        }
    }

    QImage readImage(QXmlStreamReader& xml, const QString& dir)
    {
        const QXmlStreamAttributes a = xml.attributes();
        const QStringView source = a.value(QLatin1String("source"));
        QImage picture;
        if (!source.isEmpty()) {
            xml.skipCurrentElement();
            const QString fileName = external(dir, source);
            if (!QFileInfo(fileName).isFile() || !picture.load(fileName))
                fail(QStringLiteral("cannot read the tileset picture %1").arg(fileName));
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
        if (!found || !picture.loadFromData(bytes))
            fail(QStringLiteral("the embedded tileset picture cannot be read"));
        return picture;
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
        FSink.emplace(FTilesets, FWidth, FHeight);
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
            readText(xml, [&](QStringView text) { csv.add(text); });
            csv.finish();
            return;
        }
        if (encoding != u"base64")
            fail(QStringLiteral("the layer data has the unknown encoding \"%1\"")
                     .arg(encoding.toString()));
        GidBytes bytes(sink);
        if (compression.isEmpty()) {
            Base64In base64([&](const uint8_t* p, size_t n) { bytes.add(p, n); });
            readText(xml, [&](QStringView text) { base64.add(text); });
            base64.finish();
        } else if (compression == u"zlib" || compression == u"gzip") {
            Inflater inflater(bytes, sink.expected() * 4, compression == u"gzip");
            Base64In base64([&](const uint8_t* p, size_t n) { inflater.add(p, n); });
            readText(xml, [&](QStringView text) { base64.add(text); });
            base64.finish();
            inflater.finish();
        } else {
            fail(QStringLiteral("the layer data is compressed with %1; only zlib and gzip can "
                                "be read")
                     .arg(compression.toString()));
        }
        if (bytes.partial())
            fail(QStringLiteral("the layer data ends inside a gid"));
    }

    // Hands the text of the current element on in the pieces the reader delivers, so that a
    // large layer is never held as one string.
    template <typename F> void readText(QXmlStreamReader& xml, F&& take)
    {
        while (!xml.atEnd()) {
            const auto token = xml.readNext();
            if (token == QXmlStreamReader::Characters)
                take(xml.text());
            else if (token == QXmlStreamReader::EndElement)
                return;
            else if (token == QXmlStreamReader::StartElement)
                fail(QStringLiteral("the layer data holds <%1>").arg(xml.name().toString()));
        }
        xmlFail(xml);
    }

    void readTileElements(QXmlStreamReader& xml, GidSink& sink)
    {
        while (xml.readNextStartElement()) {
            if (xml.name() == u"chunk")
                fail(QStringLiteral("the layer is made of chunks, as in infinite maps"));
            if (xml.name() != u"tile")
                fail(QStringLiteral("the layer data holds <%1>").arg(xml.name().toString()));
            const QStringView text = xml.attributes().value(QLatin1String("gid"));
            bool ok = true;
            const uint32_t gid = text.isEmpty() ? 0 : text.toUInt(&ok);
            if (!ok)
                fail(QStringLiteral("a <tile> has the gid \"%1\"").arg(text.toString()));
            sink.add(gid);
            xml.skipCurrentElement();
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
        painter.drawImage(QPoint(0, 0), t.Picture, QRect(x, y, FTileW, FTileH));
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
        const bool ownNumbers = FTilesets.size() == 1 && FTilesets[0].TileCount <= 256;
        if (ownNumbers) {
            const Tileset& t = FTilesets[0];
            for (int i = 0; i < t.TileCount; ++i) {
                FResult.Parts[i] = tilePicture(t.FirstGid + uint32_t(i));
                taken[i] = true;
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
        }
        // Gids that differ only in the hexagonal bit are the same tile here.
        for (size_t id = 0; id < gids.size(); ++id) {
            if (gids[id] & FlipHex) {
                const uint32_t gid = gids[id] & ~FlipHex;
                const auto f = flipped.find(gid);
                const auto p = plain.find(gid);
                if (f != flipped.end())
                    partOf[id] = partOf[f->second];
                else if (p != plain.end())
                    partOf[id] = partOf[p->second];
            }
        }
        writeCells(partOf);
    }

    void writeCells(const std::vector<int>& partOf)
    {
        std::array<uint8_t, 257> lut{};
        for (size_t id = 0; id < partOf.size(); ++id)
            lut[id] = uint8_t(partOf[id]);
        FResult.Stores = TMapDocument::AllocateStores(FWidth, FHeight);
        FResult.PartWidth = uint16_t(FTileW);
        FResult.PartHeight = uint16_t(FTileH);
        const std::vector<uint16_t>& ids = FSink->ids();
        std::vector<uint8_t> band(size_t(FWidth) * BandRows);
        uint8_t* cells = FResult.Stores.Cells.data();
        for (int y0 = 0; y0 < FHeight; y0 += BandRows) {
            const int rows = std::min(BandRows, FHeight - y0);
            const uint16_t* src = ids.data() + size_t(y0) * FWidth;
            const size_t n = size_t(rows) * FWidth;
            for (size_t i = 0; i < n; ++i)
                band[i] = lut[src[i]];
            TransposeBytes(band.data(), size_t(FWidth), cells + y0, size_t(FHeight), size_t(rows),
                           size_t(FWidth));
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
};

} // namespace

bool WriteTmxData(QIODevice& out, const TMapDocument& doc, uint16_t partWidth, uint16_t partHeight,
                  const QString& sheetName, TTmxEncoding encoding)
{
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("map"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.10"));
    xml.writeAttribute(QStringLiteral("orientation"), QStringLiteral("orthogonal"));
    xml.writeAttribute(QStringLiteral("renderorder"), QStringLiteral("right-down"));
    xml.writeAttribute(QStringLiteral("width"), QString::number(doc.MapWidth()));
    xml.writeAttribute(QStringLiteral("height"), QString::number(doc.MapHeight()));
    xml.writeAttribute(QStringLiteral("tilewidth"), QString::number(partWidth));
    xml.writeAttribute(QStringLiteral("tileheight"), QString::number(partHeight));
    xml.writeAttribute(QStringLiteral("infinite"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("nextlayerid"), QStringLiteral("2"));
    xml.writeAttribute(QStringLiteral("nextobjectid"), QStringLiteral("1"));

    xml.writeStartElement(QStringLiteral("tileset"));
    xml.writeAttribute(QStringLiteral("firstgid"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("parts"));
    xml.writeAttribute(QStringLiteral("tilewidth"), QString::number(partWidth));
    xml.writeAttribute(QStringLiteral("tileheight"), QString::number(partHeight));
    xml.writeAttribute(QStringLiteral("tilecount"), QStringLiteral("256"));
    xml.writeAttribute(QStringLiteral("columns"), QStringLiteral("16"));
    xml.writeEmptyElement(QStringLiteral("image"));
    xml.writeAttribute(QStringLiteral("source"), sheetName);
    xml.writeAttribute(QStringLiteral("width"), QString::number(16 * int(partWidth)));
    xml.writeAttribute(QStringLiteral("height"), QString::number(16 * int(partHeight)));
    xml.writeEndElement(); // tileset

    xml.writeStartElement(QStringLiteral("layer"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("1"));
    xml.writeAttribute(QStringLiteral("name"), QStringLiteral("map"));
    xml.writeAttribute(QStringLiteral("width"), QString::number(doc.MapWidth()));
    xml.writeAttribute(QStringLiteral("height"), QString::number(doc.MapHeight()));
    xml.writeStartElement(QStringLiteral("data"));
    bool ok = true;
    if (encoding == TTmxEncoding::Csv) {
        xml.writeAttribute(QStringLiteral("encoding"), QStringLiteral("csv"));
        writeCsvCells(xml, doc);
    } else {
        xml.writeAttribute(QStringLiteral("encoding"), QStringLiteral("base64"));
        xml.writeAttribute(QStringLiteral("compression"), QStringLiteral("zlib"));
        ok = writeZlibData(xml, doc);
    }
    xml.writeEndElement(); // data
    xml.writeEndElement(); // layer
    xml.writeEndElement(); // map
    xml.writeEndDocument();
    return ok && !xml.hasError();
}

bool WriteCsvData(QIODevice& out, const TMapDocument& doc)
{
    const int w = doc.MapWidth();
    const int h = doc.MapHeight();
    std::vector<uint8_t> band;
    QByteArray text;
    for (int y0 = 0; y0 < h; y0 += BandRows) {
        const int rows = std::min(BandRows, h - y0);
        rowBand(doc, y0, rows, band);
        text.clear();
        appendBandText(text, band.data(), w, rows, 0, false, y0 + rows == h);
        if (out.write(text) != text.size())
            return false;
    }
    return true;
}

QString TmxSheetFileName(const QString& tmxFileName)
{
    const QFileInfo info(tmxFileName);
    const QString name = info.completeBaseName() + QStringLiteral(".png");
    return info.path() == u"." ? name : info.dir().filePath(name);
}

TFileWriteResult ExportTmxFile(const QString& fileName, const TMapDocument& doc,
                               const QImage& sheet, uint16_t partWidth, uint16_t partHeight,
                               TTmxEncoding encoding, const QStringList& inputs)
{
    const QString sheetFile = TmxSheetFileName(fileName);
    const QString sheetName = QFileInfo(sheetFile).fileName();
    TFileWriteSet set;
    set.AddInputs(inputs);
    set.AddOutput(sheetFile, [&](QIODevice& file) {
        QImageWriter writer(&file, "png");
        return writer.write(sheet);
    });
    set.AddOutput(fileName, [&](QIODevice& file) {
        return WriteTmxData(file, doc, partWidth, partHeight, sheetName, encoding);
    });
    return set.Write();
}

TFileWriteResult ExportCsvFile(const QString& fileName, const TMapDocument& doc,
                               const QStringList& inputs)
{
    TFileWriteSet set;
    set.AddInputs(inputs);
    set.AddOutput(fileName, [&](QIODevice& file) { return WriteCsvData(file, doc); });
    return set.Write();
}

bool ReadTmxData(QIODevice& in, const QString& baseDir, uint8_t emptyPart, TTmxImport& result,
                 QString* error)
{
    try {
        result = TTmxImport{};
        TmxReader(baseDir, emptyPart, result).read(in);
        return true;
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

bool ImportTmxFile(const QString& fileName, uint8_t emptyPart, TTmxImport& result, QString* error)
{
    // Only a regular file: a FIFO or a device would block, or never end.
    QFile file(fileName);
    if (!QFileInfo(fileName).isFile() || !file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1").arg(fileName);
        return false;
    }
    return ReadTmxData(file, QFileInfo(fileName).absolutePath(), emptyPart, result, error);
}
