#include "TmxFile.h"

#include "ChildPeak.h"
#include "FifoWatch.h"
#include "PictureBombs.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <zlib.h>

namespace {

constexpr int TileW = 4;
constexpr int TileH = 4;

QImage randomSheet(int pw, int ph, uint32_t seed)
{
    std::mt19937 rng(seed);
    QImage sheet(16 * pw, 16 * ph, QImage::Format_RGB32);
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x)
            sheet.setPixel(x, y, 0xff000000u | (rng() & 0xffffffu));
    return sheet;
}

QImage sheetPart(const QImage& sheet, int n, int pw, int ph)
{
    return sheet.copy(n % 16 * pw, n / 16 * ph, pw, ph);
}

QByteArray csvOf(const TMapDocument& doc)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(WriteCsvData(buffer, doc));
    return data;
}

TEST(TmxFile, RoundTripsKeepEveryCellAndPart)
{
    struct Row
    {
        int W, H;
        TTmxEncoding Encoding;
    };
    const Row rows[] = {
        {1, 1, TTmxEncoding::Csv},     {1, 1, TTmxEncoding::Base64Zlib},
        {1, 9999, TTmxEncoding::Csv},  {1, 9999, TTmxEncoding::Base64Zlib},
        {9999, 1, TTmxEncoding::Csv},  {9999, 1, TTmxEncoding::Base64Zlib},
        {300, 200, TTmxEncoding::Csv}, {300, 200, TTmxEncoding::Base64Zlib},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const int pw = 3, ph = 2;
    const QImage sheet = randomSheet(pw, ph, 7);
    std::mt19937 rng(42);
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.W << " x " << row.H << " encoding " << int(row.Encoding));
        TMapDocument doc;
        doc.NewMap(row.W, row.H);
        for (uint8_t& c : doc.MapCells())
            c = uint8_t(rng());
        // Both ends of the range, whose gids (1 and 256) differ in byte count.
        doc.SetCell(0, 0, 255);
        doc.SetCell(row.W - 1, row.H - 1, 0);

        const QString tmx = dir.filePath(QStringLiteral("map.tmx"));
        ASSERT_TRUE(ExportTmxFile(tmx, doc, sheet, pw, ph, row.Encoding).Ok);
        EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("map.png"))));
        TTmxImport back;
        QString error;
        ASSERT_TRUE(ImportTmxFile(tmx, 0, back, &error)) << error.toStdString();
        EXPECT_EQ(back.PartWidth, pw);
        EXPECT_EQ(back.PartHeight, ph);
        ASSERT_EQ(back.Stores.Width, row.W);
        ASSERT_EQ(back.Stores.Height, row.H);
        const auto cells = doc.MapCells();
        EXPECT_TRUE(std::equal(cells.begin(), cells.end(), back.Stores.Cells.begin(),
                               back.Stores.Cells.end()));
        for (int n = 0; n < 256; ++n)
            ASSERT_EQ(back.Parts[n], sheetPart(sheet, n, pw, ph)) << "part " << n;

        // CSV: the part numbers row by row, read back independently.
        const QList<QByteArray> lines = csvOf(doc).split('\n');
        ASSERT_EQ(lines.size(), row.H + 1); // the last line ends too
        EXPECT_TRUE(lines.last().isEmpty());
        for (int y = 0; y < row.H; ++y) {
            const QList<QByteArray> numbers = lines[y].split(',');
            ASSERT_EQ(numbers.size(), row.W);
            for (int x = 0; x < row.W; ++x)
                ASSERT_EQ(numbers[x].toInt(), doc.Cell(x, y)) << x << "," << y;
        }
    }
}

// The progress hears of the rows written and the bytes read; told to stop, the export
// leaves no file and the import gives nothing, both saying they were cancelled.
TEST(TmxFile, ProgressIsToldAndStopsExportAndImport)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TMapDocument doc;
    doc.NewMap(400, 300);
    std::mt19937 rng(5);
    for (uint8_t& c : doc.MapCells())
        c = uint8_t(rng());
    const QImage sheet = randomSheet(2, 2, 3);
    const QString tmx = dir.filePath(QStringLiteral("map.tmx"));
    for (const TTmxEncoding encoding : {TTmxEncoding::Csv, TTmxEncoding::Base64Zlib}) {
        SCOPED_TRACE(int(encoding));
        QFile::remove(tmx);
        QFile::remove(dir.filePath(QStringLiteral("map.png")));
        int calls = 0;
        qint64 lastDone = -1, lastTotal = -1;
        const auto stopAt = [&](int call) {
            calls = 0;
            return [&calls, call](qint64, qint64) { return ++calls < call; };
        };
        const auto toEnd = [&](qint64 done, qint64 total) {
            lastDone = done;
            lastTotal = total;
            return true;
        };
        const TFileWriteResult stopped =
            ExportTmxFile(tmx, doc, sheet, 2, 2, encoding, {}, stopAt(1));
        EXPECT_FALSE(stopped);
        EXPECT_TRUE(stopped.Cancelled);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList());
        const TFileWriteResult written = ExportTmxFile(tmx, doc, sheet, 2, 2, encoding, {}, toEnd);
        ASSERT_TRUE(written) << written.Error.toStdString();
        EXPECT_FALSE(written.Cancelled);
        EXPECT_EQ(lastDone, 300);
        EXPECT_EQ(lastTotal, 300);

        TTmxImport imported;
        QString error;
        EXPECT_FALSE(ImportTmxFile(tmx, 0, imported, &error, stopAt(2)));
        EXPECT_TRUE(imported.Cancelled);
        EXPECT_EQ(calls, 2);
        EXPECT_TRUE(imported.Stores.Cells.empty());
        EXPECT_TRUE(imported.Parts[0].isNull());
        ASSERT_TRUE(ImportTmxFile(tmx, 0, imported, &error, toEnd)) << error.toStdString();
        EXPECT_FALSE(imported.Cancelled);
        EXPECT_EQ(lastDone, QFileInfo(tmx).size());
        EXPECT_EQ(lastTotal, QFileInfo(tmx).size());
    }
}

// ------------------------------------------------------------------ hand-written maps

// A tileset picture of `count` 4 x 4 tiles, `columns` to a row: tile i is one colour with
// a black mark at (1, 0), so that every flip and rotation puts the mark somewhere else.
QImage tilesPicture(int count, int columns, int shade)
{
    const int rows = (count + columns - 1) / columns;
    QImage picture(columns * TileW, rows * TileH, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    for (int i = 0; i < count; ++i) {
        const int x0 = i % columns * TileW, y0 = i / columns * TileH;
        for (int y = 0; y < TileH; ++y)
            for (int x = 0; x < TileW; ++x)
                picture.setPixel(x0 + x, y0 + y, qRgb(i % 256, shade, 255 - i / 2));
        picture.setPixel(x0 + 1, y0, qRgb(0, 0, 0));
    }
    return picture;
}

QByteArray gidBytes(const std::vector<uint32_t>& gids)
{
    QByteArray raw;
    for (uint32_t g : gids)
        for (int b = 0; b < 4; ++b)
            raw.append(char(g >> (8 * b)));
    return raw;
}

QByteArray deflated(const QByteArray& raw, bool gzip)
{
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzip ? 31 : 15, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(raw.size())) + 32), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.constData()));
    z.avail_in = uInt(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(int(z.total_out));
    deflateEnd(&z);
    return out;
}

QString csvData(const std::vector<uint32_t>& gids)
{
    QStringList parts;
    for (uint32_t g : gids)
        parts << QString::number(g);
    return QStringLiteral("<data encoding=\"csv\">\n") + parts.join(QLatin1Char(',')) +
           QStringLiteral("\n</data>");
}

QString base64Data(const std::vector<uint32_t>& gids, const char* compression)
{
    QByteArray bytes = gidBytes(gids);
    QString attr;
    if (compression) {
        bytes = deflated(bytes, QByteArray(compression) == "gzip");
        attr = QStringLiteral(" compression=\"%1\"").arg(QLatin1String(compression));
    }
    return QStringLiteral("<data encoding=\"base64\"%1>\n   %2\n  </data>")
        .arg(attr, QString::fromLatin1(bytes.toBase64()));
}

QString tilesetXml(int firstGid, const QString& picture, int count, int columns, int tileW = TileW)
{
    return QStringLiteral("<tileset firstgid=\"%1\" name=\"t\" tilewidth=\"%2\" tileheight=\"%3\" "
                          "tilecount=\"%4\" columns=\"%5\"><image source=\"%6\"/></tileset>")
        .arg(firstGid)
        .arg(tileW)
        .arg(TileH)
        .arg(count)
        .arg(columns)
        .arg(picture);
}

QString mapXml(int w, int h, const QString& tilesets, const QString& data,
               const QString& extra = {})
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<map version=\"1.10\" orientation=\"orthogonal\" "
                          "renderorder=\"right-down\" width=\"%1\" height=\"%2\" "
                          "tilewidth=\"4\" tileheight=\"4\" infinite=\"0\">\n"
                          " %3\n <layer id=\"1\" name=\"Ground\" width=\"%1\" height=\"%2\">\n"
                          "  %4\n </layer>%5\n</map>\n")
        .arg(w)
        .arg(h)
        .arg(tilesets, data, extra);
}

class TmxImport : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        ASSERT_TRUE(tilesPicture(8, 4, 100).save(path("tiles.png")));
        ASSERT_TRUE(tilesPicture(8, 4, 200).save(path("more.png")));
        ASSERT_TRUE(tilesPicture(256, 16, 50).save(path("full.png")));
        ASSERT_TRUE(tilesPicture(300, 20, 150).save(path("huge.png")));
        write("tiles.tsx", QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                          "<tileset version=\"1.10\" name=\"ext\" "
                                          "tilewidth=\"4\" tileheight=\"4\" tilecount=\"8\" "
                                          "columns=\"4\">\n <image source=\"more.png\" "
                                          "width=\"16\" height=\"8\"/>\n</tileset>\n"));
    }
    QString path(const QString& name) const { return FDir.filePath(name); }
    void write(const QString& name, const QString& text) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
    }
    bool import(const QString& tmx, TTmxImport& result, QString& error, uint8_t empty = 0)
    {
        write(QStringLiteral("map.tmx"), tmx);
        return ImportTmxFile(path(QStringLiteral("map.tmx")), empty, result, &error);
    }

    QTemporaryDir FDir;
};

// Where the mark of a tile lands under the flags of its gid.
enum Mark
{
    Plain, // (1, 0)
    H,     // (2, 0)
    V,     // (1, 3)
    D,     // (0, 1)
    DH,    // (3, 1)
};

struct PartPicture
{
    int Part;
    int Tile;  // of the picture below
    int Shade; // 100 tiles.png, 200 more.png / tiles.tsx
    Mark Where;
};

TEST_F(TmxImport, HandWrittenMapsGiveTheirCellsAndPartPictures)
{
    const QString tiles = tilesetXml(1, QStringLiteral("tiles.png"), 8, 4);
    QByteArray png;
    {
        QBuffer b(&png);
        b.open(QIODevice::WriteOnly);
        tilesPicture(8, 4, 200).save(&b, "PNG");
    }
    const QString embedded =
        QStringLiteral("<tileset firstgid=\"1\" tilewidth=\"4\" tileheight=\"4\" tilecount=\"8\" "
                       "columns=\"4\"><image format=\"png\" width=\"16\" height=\"8\"><data "
                       "encoding=\"base64\">\n%1\n</data></image></tileset>")
            .arg(QString::fromLatin1(png.toBase64()));
    const std::vector<uint32_t> simple = {1, 2, 3, 8, 0, 5};
    const std::vector<uint8_t> simpleCells = {0, 1, 2, 7, 0, 4}; // row-major
    const std::vector<uint32_t> flips = {
        2 | 0x80000000u, 2 | 0x20000000u, 3, 2 | 0x40000000u | 0x10000000u, 2 | 0xa0000000u, 0};
    struct Row
    {
        const char* Name;
        QString Tmx;
        uint8_t Empty;
        std::vector<uint8_t> Cells; // row-major, 3 x 2
        std::vector<PartPicture> Parts;
    };
    const Row rows[] = {
        {"csv",
         mapXml(3, 2, tiles, csvData(simple)),
         0,
         simpleCells,
         {{0, 0, 100, Plain}, {7, 7, 100, Plain}, {4, 4, 100, Plain}}},
        {"empty cells as another part",
         mapXml(3, 2, tiles, csvData(simple)),
         6,
         {0, 1, 2, 7, 6, 4},
         {{6, 6, 100, Plain}}},
        {"base64",
         mapXml(3, 2, tiles, base64Data(simple, nullptr)),
         0,
         simpleCells,
         {{2, 2, 100, Plain}}},
        {"zlib",
         mapXml(3, 2, tiles, base64Data(simple, "zlib")),
         0,
         simpleCells,
         {{2, 2, 100, Plain}}},
        {"gzip",
         mapXml(3, 2, tiles, base64Data(simple, "gzip")),
         0,
         simpleCells,
         {{2, 2, 100, Plain}}},
        {"xml tiles",
         mapXml(3, 2, tiles,
                QStringLiteral("<data><tile gid=\"1\"/><tile gid=\"2\"/><tile gid=\"3\"/>"
                               "<tile gid=\"8\"/><tile/><tile gid=\"5\"/></data>")),
         0,
         simpleCells,
         {{1, 1, 100, Plain}}},
        {"external tsx",
         mapXml(3, 2, QStringLiteral("<tileset firstgid=\"1\" source=\"tiles.tsx\"/>"),
                csvData(simple)),
         0,
         simpleCells,
         {{0, 0, 200, Plain}, {7, 7, 200, Plain}}},
        {"embedded image",
         mapXml(3, 2, embedded, csvData(simple)),
         0,
         simpleCells,
         {{3, 3, 200, Plain}, {5, 5, 200, Plain}}},
        // Two tilesets: the used tiles in gid order, gid 3 (tiles.png tile 2), gid 9 and
        // gid 12 (tile 0 and 3 of the external tileset).
        {"two tilesets",
         mapXml(3, 2, tiles + QStringLiteral("<tileset firstgid=\"9\" source=\"tiles.tsx\"/>"),
                csvData({12, 3, 9, 9, 0, 3})),
         0,
         {2, 0, 1, 1, 0, 0},
         {{0, 2, 100, Plain}, {1, 0, 200, Plain}, {2, 3, 200, Plain}}},
        // One tileset of 8 tiles: the flipped copies take parts 8.. in gid order (D, V, H,
        // D+H); the hexagonal bit means nothing on an orthogonal map.
        {"flip bits",
         mapXml(3, 2, tiles, csvData(flips)),
         0,
         {10, 8, 2, 9, 11, 0},
         {{8, 1, 100, D}, {9, 1, 100, V}, {10, 1, 100, H}, {11, 1, 100, DH}, {1, 1, 100, Plain}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TTmxImport result;
        QString error;
        ASSERT_TRUE(import(row.Tmx, result, error, row.Empty)) << error.toStdString();
        ASSERT_EQ(result.Stores.Width, 3);
        ASSERT_EQ(result.Stores.Height, 2);
        EXPECT_EQ(result.PartWidth, TileW);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(result.Stores.Cells[size_t(x) * 2 + y], row.Cells[size_t(y) * 3 + x])
                    << "cell " << x << "," << y;
        for (const PartPicture& p : row.Parts) {
            const QImage& part = result.Parts[p.Part];
            ASSERT_FALSE(part.isNull()) << "part " << p.Part;
            ASSERT_EQ(part.size(), QSize(TileW, TileH));
            static const QPoint marks[] = {{1, 0}, {2, 0}, {1, 3}, {0, 1}, {3, 1}};
            const QPoint mark = marks[p.Where];
            for (int y = 0; y < TileH; ++y)
                for (int x = 0; x < TileW; ++x) {
                    const QRgb want = QPoint(x, y) == mark
                                          ? qRgb(0, 0, 0)
                                          : qRgb(p.Tile, p.Shade, 255 - p.Tile / 2);
                    ASSERT_EQ(part.pixel(x, y), want)
                        << "part " << p.Part << " pixel " << x << "," << y;
                }
        }
    }
}

TEST_F(TmxImport, RefusesWhatDoesNotFitAndBadInputWithItsReason)
{
    const QString tiles = tilesetXml(1, QStringLiteral("tiles.png"), 8, 4);
    const QString csv = csvData({1, 2, 3, 4, 5, 6});
    std::vector<uint32_t> many(257);
    for (uint32_t i = 0; i < 257; ++i)
        many[i] = i + 1;
    std::vector<uint32_t> tooLong(6 + 3, 1);
    QString badZlib = base64Data({1, 2, 3, 4, 5, 6}, "zlib");
    badZlib.replace(QStringLiteral("   eJ"), QStringLiteral("   eK"));
    QString manyAttributes;
    for (int i = 0; i < 5000; ++i)
        manyAttributes += QStringLiteral(" a%1=\"%1\"").arg(i);
    const QString longValue(1 << 20, QLatin1Char('x'));
    struct Row
    {
        const char* Name;
        QString Tmx;
        const char* Reason;
    };
    const Row rows[] = {
        {"malformed XML", mapXml(3, 2, tiles, csv).left(200), "malformed XML"},
        {"not a map", QStringLiteral("<tileset/>"), "not a TMX map"},
        {"bad base64", mapXml(3, 2, tiles, QStringLiteral("<data encoding=\"base64\">AA*A</data>")),
         "not base64"},
        {"zlib past the map", mapXml(3, 2, tiles, base64Data(tooLong, "zlib")),
         "inflates past the map's size"},
        {"damaged zlib", mapXml(3, 2, tiles, badZlib), "damaged"},
        {"too few cells", mapXml(3, 2, tiles, csvData({1, 2, 3, 4, 5})), "holds 5 cells"},
        {"gid beyond the tilesets", mapXml(3, 2, tiles, csvData({1, 2, 3, 4, 5, 9})),
         "gid 9 is beyond the tilesets"},
        {"two layers",
         mapXml(3, 2, tiles, csv,
                QStringLiteral("<layer id=\"2\" width=\"3\" height=\"2\">%1</layer>").arg(csv)),
         "more than one tile layer"},
        {"objects", mapXml(3, 2, tiles, csv, QStringLiteral("<objectgroup id=\"2\"/>")),
         "object layer"},
        {"more than 256 tiles",
         mapXml(257, 1, tilesetXml(1, QStringLiteral("huge.png"), 300, 20), csvData(many)),
         "more than 256 different tiles"},
        {"no free part for a flip",
         mapXml(3, 2, tilesetXml(1, QStringLiteral("full.png"), 256, 16),
                csvData({1, 2, 3, 4, 5, 6 | 0x80000000u})),
         "no free part is left for a flipped or rotated copy of gid 6"},
        {"mixed tile sizes", mapXml(3, 2, tilesetXml(1, QStringLiteral("tiles.png"), 4, 2, 8), csv),
         "mixed tile sizes"},
        {"over 9999", mapXml(10000, 1, tiles, csv), "10000 x 1 cells, more than 9999"},
        {"infinite",
         mapXml(3, 2, tiles, csv)
             .replace(QStringLiteral("infinite=\"0\""), QStringLiteral("infinite=\"1\"")),
         "infinite"},
        {"isometric",
         mapXml(3, 2, tiles, csv)
             .replace(QStringLiteral("orthogonal"), QStringLiteral("isometric")),
         "isometric, not orthogonal"},
        {"zstd",
         mapXml(3, 2, tiles,
                QStringLiteral("<data encoding=\"base64\" compression=\"zstd\">"
                               "AAAA</data>")),
         "zstd"},
        {"missing tileset file",
         mapXml(3, 2, QStringLiteral("<tileset firstgid=\"1\" source=\"gone.tsx\"/>"), csv),
         "cannot read the tileset file"},
        {"tiles past the picture",
         mapXml(3, 2, tilesetXml(1, QStringLiteral("tiles.png"), 12, 4), csv),
         "more tiles than its picture holds"},
        // Nested entities expand a small file to gigabytes.
        {"declared entities",
         QStringLiteral("<!DOCTYPE map [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;\">]>") +
             mapXml(3, 2, tiles, csv)
                 .mid(39)
                 .replace(QStringLiteral("Ground"), QStringLiteral("&b;")),
         "declares entities"},
        // Qt's reader takes time quadratic in the attributes of one element.
        {"too many attributes",
         mapXml(3, 2, tiles, csv, QStringLiteral("<properties %1/>").arg(manyAttributes)),
         "more than 256 attributes"},
        {"a long value",
         mapXml(3, 2, tiles, QStringLiteral("<data encoding=\"%1\"/>").arg(longValue)),
         "unknown encoding \"xxxxxxxx"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TTmxImport result;
        QString error;
        ASSERT_FALSE(import(row.Tmx, result, error));
        EXPECT_TRUE(error.contains(QLatin1String(row.Reason))) << error.left(200).toStdString();
        // A message quotes only the start of a value.
        EXPECT_LT(error.size(), 300);
        EXPECT_TRUE(result.Stores.Cells.empty());
    }
}

// A FIFO named as the map, its tileset file or its tileset picture is refused, not opened: a
// read of it would wait for a writer for ever.
TEST_F(TmxImport, FifosAreRefusedWithoutWaitingForAWriter)
{
    const QString csv = csvData({1, 2, 3, 4, 5, 6});
    struct Row
    {
        const char* Fifo;
        QString Tmx; // empty: the map itself is the FIFO
        const char* Reason;
    };
    const Row rows[] = {
        {"map.tmx", QString(), "cannot open"},
        {"fifo.tsx",
         mapXml(3, 2, QStringLiteral("<tileset firstgid=\"1\" source=\"fifo.tsx\"/>"), csv),
         "cannot read the tileset file"},
        {"fifo.png", mapXml(3, 2, tilesetXml(1, QStringLiteral("fifo.png"), 8, 4), csv),
         "cannot read the tileset picture"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Fifo);
        QFile::remove(path(QStringLiteral("map.tmx")));
        if (!row.Tmx.isEmpty())
            write(QStringLiteral("map.tmx"), row.Tmx);
        const QByteArray fifo = QFile::encodeName(path(QString::fromLatin1(row.Fifo)));
        ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
        TFifoWatch watch(fifo);
        TTmxImport result;
        QString error;
        const bool imported = ImportTmxFile(path(QStringLiteral("map.tmx")), 0, result, &error);
        EXPECT_FALSE(watch.Stop()) << "the import opened the FIFO to read it";
        EXPECT_FALSE(imported);
        EXPECT_TRUE(error.contains(QLatin1String(row.Reason))) << error.toStdString();
        ::unlink(fifo.constData());
    }
}

// Tileset pictures are read with the limits of parts pictures, and once however many
// tilesets share them.
TEST_F(TmxImport, TilesetPicturesCostWhatTheyDecodeToOnce)
{
    constexpr qint64 MB = 1024 * 1024;
    const QByteArray bomb = pngWithTextClaiming(2000000000u, false);
    const QByteArray black = blackPng(3000); // 36 MB decoded
    for (const auto& [name, data] : {std::pair{"bomb.png", bomb}, std::pair{"black.png", black}}) {
        QFile f(path(QLatin1String(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QString shared;
    for (int i = 0; i < 41; ++i)
        shared += tilesetXml(i + 1, QStringLiteral("black.png"), 1, 1);
    struct Row
    {
        const char* Name;
        QString Tmx;
        int Imported;
        qint64 MaxPeak;
    };
    const Row rows[] = {
        {"a PNG chunk claiming 2 GB",
         mapXml(3, 2, tilesetXml(1, QStringLiteral("bomb.png"), 1, 1), csvData({1, 1, 1, 1, 1, 1})),
         0, 200 * MB},
        {"41 tilesets of one picture", mapXml(3, 2, shared, csvData({1, 2, 3, 41, 1, 1})), 1,
         250 * MB},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        write(QStringLiteral("map.tmx"), row.Tmx);
        const TChildPeak peak = RunInChild([&] {
            TTmxImport result;
            QString error;
            return int(ImportTmxFile(path(QStringLiteral("map.tmx")), 0, result, &error));
        });
        ASSERT_TRUE(peak.Finished);
        EXPECT_EQ(peak.Result, row.Imported);
        EXPECT_LT(peak.PeakBytes, row.MaxPeak);
    }
}

// A picture that cannot be converted for want of memory fails the import with a message;
// it never gives white parts.
TEST_F(TmxImport, AConversionThatRunsOutOfMemoryFailsTheImport)
{
    QImage mono(4000, 4000, QImage::Format_Mono); // 2 MB, 64 MB once converted
    mono.setColorTable({qRgb(200, 0, 0), qRgb(0, 0, 200)});
    mono.fill(0);
    ASSERT_TRUE(mono.save(path(QStringLiteral("mono.png"))));
    TTmxImport warm;
    QString error;
    // The picture readers are set up before the cap.
    ASSERT_TRUE(import(
        mapXml(3, 2, tilesetXml(1, QStringLiteral("tiles.png"), 8, 4), csvData({1, 1, 1, 1, 1, 1})),
        warm, error));
    write(QStringLiteral("map.tmx"), mapXml(3, 2, tilesetXml(1, QStringLiteral("mono.png"), 1, 1),
                                            csvData({1, 1, 1, 1, 1, 1})));
    const TChildPeak peak = RunInChild([&] {
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly))
            return 9;
        const qint64 mapped = statm.readAll().split(' ').value(0).toLongLong() * getpagesize();
        const rlim_t cap = rlim_t(mapped + 48 * 1024 * 1024);
        const rlimit limit{cap, cap};
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            return 9;
        TTmxImport result;
        QString why;
        if (ImportTmxFile(path(QStringLiteral("map.tmx")), 0, result, &why))
            return result.Parts[0].pixel(0, 0) == qRgb(200, 0, 0) ? 1 : 2;
        return why.isEmpty() ? 3 : 0;
    });
    ASSERT_TRUE(peak.Finished);
    // 0: refused with a reason (2 would be white parts).
    EXPECT_EQ(peak.Result, 0);
}

// Without a folder the map must carry everything; it never reaches for other files.
TEST_F(TmxImport, SelfContainedReadingRefusesNamedFiles)
{
    QByteArray tmx = mapXml(3, 2, tilesetXml(1, path(QStringLiteral("tiles.png")), 8, 4),
                            csvData({1, 2, 3, 4, 5, 6}))
                         .toUtf8();
    QBuffer buffer(&tmx);
    buffer.open(QIODevice::ReadOnly);
    TTmxImport result;
    QString error;
    EXPECT_FALSE(ReadTmxData(buffer, QString(), 0, result, &error));
    EXPECT_TRUE(error.contains(QLatin1String("self-contained"))) << error.toStdString();
}

} // namespace
