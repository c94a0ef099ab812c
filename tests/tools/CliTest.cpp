#include "CliCommands.h"
#include "IniFile.h"
#include "MapDocument.h"
#include "MapFile.h"
#include "MapPicture.h"
#include "NoRoom.h"
#include "PartsStore.h"
#include "PictureFormats.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

namespace {

struct CliRun
{
    int Code;
    QString Out;
    QString Err;
};

CliRun cli(const QStringList& args)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = RunCli(args, o, e);
    o.flush();
    e.flush();
    return {code, out, err};
}

class Cli : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }
    QString path(const QString& name) const { return FDir.filePath(name); }

    QByteArray read(const QString& name) const
    {
        QFile f(path(name));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }

    void write(const QString& name, const QByteArray& data) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }

    // Only the given files are in the folder: a failed command left nothing behind.
    void expectOnlyFiles(QStringList names) const
    {
        QStringList actual = QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden);
        actual.sort();
        names.sort();
        EXPECT_EQ(actual, names);
    }

    // A parts sheet whose part n is filled with the colour (n, 255 - n, 7).
    void writeSheet(const QString& name, int pw, int ph) const
    {
        QImage sheet(16 * pw, 16 * ph, QImage::Format_RGB32);
        QPainter p(&sheet);
        for (int n = 0; n < 256; ++n)
            p.fillRect((n % 16) * pw, (n / 16) * ph, pw, ph, QColor(n, 255 - n, 7));
        p.end();
        ASSERT_TRUE(sheet.save(path(name), "BMP"));
    }

    QTemporaryDir FDir;
};

TEST_F(Cli, NewWritesTheRequestedMapInEitherLayout)
{
    CliRun r = cli({"new", "3", "2", path("a.mpd"), "--type", "1", "--fill", "7"});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_EQ(read("a.mpd"), QByteArray::fromHex("03000200") + QByteArray(6, 7));

    r = cli({"new", "2", "1", path("b.mpd"), "--part=16x8"});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_EQ(read("b.mpd"), QByteArray("QuiltmapperDataFormat20") +
                                 QByteArray::fromHex("1000080002000100") + QByteArray(2, 0));
}

TEST_F(Cli, InfoCountsEachPartUsed)
{
    // 2 x 2: cells 1, 2 / 3, 1 (type 2, part size 16 x 24).
    write("m.mpd", QByteArray("QuiltmapperDataFormat20") + QByteArray::fromHex("1000180002000200") +
                       QByteArray::fromHex("01020301"));
    const CliRun r = cli({"info", path("m.mpd")});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains("map size: 2 x 2 cells"));
    EXPECT_TRUE(r.Out.contains("part size: 16 x 24 pixels"));
    EXPECT_TRUE(r.Out.contains("  1: 2\n"));
    EXPECT_TRUE(r.Out.contains("  2: 1\n"));
    EXPECT_TRUE(r.Out.contains("  3: 1\n"));
    EXPECT_FALSE(r.Out.contains("  0: "));

    EXPECT_TRUE(r.Out.contains("type: 2\n"));

    // The magic decides, whatever --type says; --type decides only headerless files.
    for (const char* type : {"auto", "1", "2"})
        EXPECT_EQ(cli({"info", path("m.mpd"), "--type", type}).Out, r.Out) << type;
    write("h.mpd", QByteArray::fromHex("0200020001030201"));
    const CliRun headerless = cli({"info", path("h.mpd")});
    ASSERT_EQ(headerless.Code, 0) << headerless.Err.toStdString();
    EXPECT_TRUE(headerless.Out.contains("type: 1\n"));
    EXPECT_EQ(cli({"info", path("h.mpd"), "--type", "1"}).Out, headerless.Out);
    const CliRun wrong = cli({"info", path("h.mpd"), "--type", "2"});
    EXPECT_EQ(wrong.Code, 1);
    EXPECT_EQ(wrong.Err.count('\n'), 1);
}

TEST_F(Cli, ConvertRoundTripsBetweenTheLayouts)
{
    ASSERT_EQ(cli({"new", "5", "4", path("one.mpd"), "--type", "1", "--fill", "9"}).Code, 0);
    CliRun r = cli(
        {"convert", path("one.mpd"), path("two.mpd"), "--from", "1", "--to", "2", "--part", "8x8"});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    TMapDocument doc;
    const TMapLoadResult loaded = LoadMapFile(path("two.mpd"), TMapFileType::Type2, doc);
    ASSERT_TRUE(loaded.Ok());
    EXPECT_EQ(loaded.PartWidth, 8);
    EXPECT_EQ(doc.MapWidth(), 5);
    EXPECT_EQ(doc.Cell(4, 3), 9);

    r = cli({"convert", path("two.mpd"), path("back.mpd"), "--from", "2", "--to", "1"});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_FALSE(r.Out.contains("note:")); // the cells are all there
    EXPECT_EQ(read("back.mpd"), read("one.mpd"));

    // Without --part a type 2 output keeps the input's part size.
    r = cli({"convert", path("two.mpd"), path("again.mpd"), "--from", "2", "--to", "2"});
    ASSERT_EQ(r.Code, 0);
    EXPECT_EQ(read("again.mpd"), read("two.mpd"));
}

TEST_F(Cli, RenderDrawsEveryCellWithItsPart)
{
    writeSheet("parts.bmp", 32, 32); // a type 1 map means 32 x 32 parts
    writeSheet("small.bmp", 4, 4);
    // 3 x 2 map: (0,0)=0 (1,0)=17 (2,0)=255 / (0,1)=5 (1,1)=5 (2,1)=128.
    write("m.mpd", QByteArray::fromHex("03000200") + QByteArray::fromHex("0005"
                                                                         "1105"
                                                                         "ff80"));
    CliRun r = cli({"render", path("m.mpd"), path("parts.bmp"), path("out.png"), "--type", "1",
                    "--cell", "3"});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    const QImage img(path("out.png"));
    ASSERT_EQ(img.size(), QSize(9, 6));
    const int parts[2][3] = {{0, 17, 255}, {5, 5, 128}};
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) {
            const int n = parts[y / 3][x / 3];
            EXPECT_EQ(img.pixelColor(x, y), QColor(n, 255 - n, 7)) << x << "," << y;
        }

    // Without --cell a type 2 map is drawn at its part size.
    ASSERT_EQ(
        cli({"convert", path("m.mpd"), path("m2.mpd"), "--from", "1", "--to", "2", "--part", "4x4"})
            .Code,
        0);
    r = cli({"render", path("m2.mpd"), path("small.bmp"), path("out.bmp")});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    const QImage bmp(path("out.bmp"), "BMP");
    ASSERT_EQ(bmp.size(), QSize(12, 8));
    EXPECT_EQ(bmp.pixelColor(11, 7), QColor(128, 127, 7));
}

// A parts sheet of pw x ph parts, every pixel a colour of its own, so that a pixel drawn
// from the wrong place shows.
void writeNoiseSheet(const QString& name, int pw, int ph)
{
    QImage sheet(16 * pw, 16 * ph, QImage::Format_RGB32);
    QRandomGenerator random(pw * 1000 + ph);
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x)
            sheet.setPixel(x, y, 0xff000000u | (random.generate() & 0xffffffu));
    ASSERT_TRUE(sheet.save(name, "BMP"));
}

// A type 2 map of mw x mh random cells made for pw x ph parts.
void writeRandomMap(const QString& name, int pw, int ph, int mw, int mh)
{
    QByteArray data("QuiltmapperDataFormat20");
    for (int v : {pw, ph, mw, mh}) {
        data += char(v & 0xff);
        data += char(v >> 8);
    }
    QRandomGenerator random(mw * 7 + mh);
    for (int i = 0; i < mw * mh; ++i)
        data += char(random.bounded(256));
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// The picture as the tool drew it in memory before it streamed: every part drawn once at
// the cell size by the parts store, then copied into each of its cells.
QImage cellByCell(const QString& mapName, const QString& sheetName, int cell)
{
    TMapDocument doc;
    const TMapLoadResult r = LoadMapFile(mapName, TMapFileType::Type2, doc);
    if (!r.Ok())
        return {};
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    TPartsStore parts(formats);
    parts.SetPartsSize(r.PartWidth, r.PartHeight);
    if (!parts.LoadPartsPicture(sheetName))
        return {};
    const int cw = cell ? cell : r.PartWidth;
    const int ch = cell ? cell : r.PartHeight;
    std::vector<QImage> scaled;
    for (int n = 0; n < 256; ++n) {
        QImage image(cw, ch, QImage::Format_RGB32);
        QPainter painter(&image);
        parts.DrawPart(painter, image.rect(), n, cmSrcCopy);
        painter.end();
        scaled.push_back(image);
    }
    QImage picture(doc.MapWidth() * cw, doc.MapHeight() * ch, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (int y = 0; y < doc.MapHeight(); ++y)
        for (int x = 0; x < doc.MapWidth(); ++x)
            painter.drawImage(x * cw, y * ch, scaled[doc.Cell(x, y)]);
    return picture;
}

// The first pixel where two pictures differ, as text; empty when they are the same.
std::string firstDifference(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return "size " + std::to_string(actual.width()) + "x" + std::to_string(actual.height());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if ((actual.pixel(x, y) & 0xffffff) != (expected.pixel(x, y) & 0xffffff))
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
    return {};
}

// A PNG read with libpng, whatever its width (Qt's reader stops at a million pixels).
struct WidePng
{
    qint64 Width = 0;
    qint64 Height = 0;
    std::vector<uchar> Rgb;
};

bool readWidePng(const QString& name, WidePng& out)
{
    FILE* file = std::fopen(QFile::encodeName(name).constData(), "rb");
    if (!file)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
        png_read_info(png, info);
        out.Width = png_get_image_width(png, info);
        out.Height = png_get_image_height(png, info);
        if (png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB &&
            png_get_bit_depth(png, info) == 8) {
            out.Rgb.resize(size_t(out.Width * out.Height * 3));
            for (qint64 y = 0; y < out.Height; ++y)
                png_read_row(png, out.Rgb.data() + y * out.Width * 3, nullptr);
            png_read_end(png, nullptr);
            ok = true;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return ok;
}

// The streamed picture is the one drawn cell by cell in memory, pixel for pixel: at the
// part size, smaller, larger (whole parts scaled once, or line by line for big cells), in
// bands whose height does not divide the picture's, and cut into tiles.
TEST_F(Cli, RenderIsPixelIdenticalToTheCellByCellPicture)
{
    struct Row
    {
        int PartW, PartH, MapW, MapH, Cell;
        const char* Out;
        QSize Tile;
    };
    const Row rows[] = {
        {8, 8, 37, 23, 0, "a.bmp", {}},
        {8, 8, 37, 23, 1, "b.png", {}},
        {8, 8, 37, 23, 5, "c.bmp", {}},
        {6, 4, 19, 11, 13, "d.png", {}},
        {8, 8, 3, 2, 300, "e.bmp", {}},
        {6, 4, 2, 3, 290, "f.png", {}},
        {5, 7, 2, 2, 333, "l.png", {}},
        // 1200 pixels wide: bands of 1165 rows, the second cut short.
        {8, 8, 400, 500, 3, "g.bmp", {}},
        {8, 8, 400, 500, 3, "h.png", {}},
        {8, 8, 37, 23, 0, "i.png", {100, 70}},
        {8, 8, 37, 23, 7, "j.bmp", {64, 1000}},
        {6, 4, 19, 11, 13, "k.jpg", {}}, // made in memory, compared loosely below
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Out);
        const QString map = path(
            QString("m%1x%2_%3x%4.mpd").arg(row.PartW).arg(row.PartH).arg(row.MapW).arg(row.MapH));
        const QString sheet = path(QString("parts%1x%2.bmp").arg(row.PartW).arg(row.PartH));
        writeRandomMap(map, row.PartW, row.PartH, row.MapW, row.MapH);
        writeNoiseSheet(sheet, row.PartW, row.PartH);
        QStringList args = {"render", map, sheet, path(row.Out)};
        if (row.Cell)
            args << "--cell" << QString::number(row.Cell);
        if (!row.Tile.isEmpty())
            args << "--split" << QString("%1x%2").arg(row.Tile.width()).arg(row.Tile.height());
        const CliRun r = cli(args);
        ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
        const QImage expected = cellByCell(map, sheet, row.Cell);
        ASSERT_FALSE(expected.isNull());
        if (QString(row.Out).endsWith(".jpg")) {
            EXPECT_EQ(QImage(path(row.Out)).size(), expected.size());
            continue;
        }
        if (row.Tile.isEmpty()) {
            EXPECT_EQ(firstDifference(QImage(path(row.Out)), expected), "");
            continue;
        }
        const int columns = (expected.width() + row.Tile.width() - 1) / row.Tile.width();
        const int tileRows = (expected.height() + row.Tile.height() - 1) / row.Tile.height();
        EXPECT_TRUE(r.Out.contains(QString("in %1 x %2 tiles").arg(columns).arg(tileRows)))
            << r.Out.toStdString();
        EXPECT_FALSE(QFile::exists(path(row.Out)));
        for (int ty = 0; ty < tileRows; ++ty)
            for (int tx = 0; tx < columns; ++tx) {
                const QRect area =
                    QRect(QPoint(tx * row.Tile.width(), ty * row.Tile.height()), row.Tile) &
                    expected.rect();
                EXPECT_EQ(firstDifference(QImage(MapPictureTileName(path(row.Out), tx, ty)),
                                          expected.copy(area)),
                          "")
                    << "tile " << tx << "," << ty;
            }
        EXPECT_FALSE(QFile::exists(MapPictureTileName(path(row.Out), columns, 0)));
        EXPECT_FALSE(QFile::exists(MapPictureTileName(path(row.Out), 0, tileRows)));
    }
}

// libpng refuses rows of more than a million pixels unless told; the writer tells it.
TEST_F(Cli, APngWiderThanAMillionPixelsIsWrittenAndReadsBack)
{
    writeRandomMap(path("wide.mpd"), 101, 1, 9999, 1);
    writeNoiseSheet(path("parts.bmp"), 101, 1);
    const CliRun r =
        cli({"render", path("wide.mpd"), path("parts.bmp"), path("wide.png"), "--png-level", "0"});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    WidePng png;
    ASSERT_TRUE(readWidePng(path("wide.png"), png));
    ASSERT_EQ(png.Width, 1009899);
    ASSERT_EQ(png.Height, 1);
    const QImage expected = cellByCell(path("wide.mpd"), path("parts.bmp"), 0);
    ASSERT_EQ(expected.width(), 1009899);
    for (int x = 0; x < expected.width(); ++x) {
        const QRgb p = expected.pixel(x, 0);
        const uchar* got = png.Rgb.data() + size_t(x) * 3;
        ASSERT_EQ(qRgb(got[0], got[1], got[2]), p | 0xff000000u) << x;
    }
}

TEST_F(Cli, BadInputGivesOneLineANonZeroExitAndNoFile)
{
    write("text.mpd", "this is not a map\n");
    writeSheet("parts.bmp", 2, 2);
    ASSERT_EQ(cli({"new", "2", "2", path("ok.mpd"), "--type", "1"}).Code, 0);
    write("junk.png", "no picture in here");
    write("huge.mpd", QByteArray::fromHex("0f270f27")); // 9999 x 9999, cells missing

    const QList<QStringList> cases = {
        {"frobnicate"},
        {"new", "0", "5", path("x.mpd")},
        {"new", "10000", "5", path("x.mpd")},
        {"new", "5", "abc", path("x.mpd")},
        {"new", "5", "5", path("x.mpd"), "--fill", "256"},
        {"new", "5", "5", path("x.mpd"), "--type", "3"},
        {"new", "5", "5", path("x.mpd"), "--part", "0x8"},
        {"new", "5", "5", path("x.mpd"), "--colour", "red"},
        {"new", "5", "5", path("x.mpd"), "--fill"},
        {"new", "5", "5", path("missing/dir/x.mpd")},
        {"info"},
        {"info", path("nothing.mpd")},
        {"info", path("text.mpd")},
        {"info", path("text.mpd"), "--type", "1"},
        {"convert", path("ok.mpd"), path("x.mpd"), "--from", "1"},
        {"convert", path("text.mpd"), path("x.mpd"), "--from", "2", "--to", "1"},
        {"render", path("ok.mpd"), path("parts.bmp"), path("x.xyz"), "--type", "1"},
        {"render", path("ok.mpd"), path("parts.bmp"), path("x"), "--type", "1"},
        {"render", path("ok.mpd"), path("junk.png"), path("x.png"), "--type", "1"},
        {"render", path("ok.mpd"), path("nothing.bmp"), path("x.png"), "--type", "1"},
        {"render", path("ok.mpd"), path("parts.bmp"), path("x.png"), "--type", "1", "--cell", "0"},
        // 9999 * 9999 cells of 5 x 5 pixels would be about 7 GB, more than a BMP holds, and
        // 10 GB as a JPEG made in memory: both refused before allocating.
        {"render", path("huge.mpd"), path("parts.bmp"), path("x.bmp"), "--type", "1", "--cell",
         "5"},
        {"render", path("huge.mpd"), path("parts.bmp"), path("x.jpg"), "--type", "1", "--cell",
         "5"},
        {"render", path("ok.mpd"), path("parts.bmp"), path("x.png"), "--type", "1", "--split",
         "0x5"},
        {"render", path("ok.mpd"), path("parts.bmp"), path("x.png"), "--type", "1", "--png-level",
         "10"},
        {"render", path("ok.mpd"), path("parts.bmp"), path("x.bmp"), "--type", "1", "--png-level",
         "1"},
        {"render", path("ok.mpd"), path("parts.bmp"), path("x.jpg"), "--type", "1", "--split",
         "5x5"},
        {"export", path("ok.mpd"), path("x.tmx"), "--parts", path("parts.bmp"), "--encoding",
         "zlib", "--level", "10"},
        {"export", path("ok.mpd"), path("x.tmx"), "--parts", path("parts.bmp"), "--level", "1"},
    };
    for (const QStringList& args : cases) {
        const CliRun r = cli(args);
        EXPECT_NE(r.Code, 0) << args.join(' ').toStdString();
        EXPECT_EQ(r.Err.count('\n'), 1) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.startsWith("quiltmapper-cli: ")) << r.Err.toStdString();
        EXPECT_TRUE(r.Out.isEmpty()) << r.Out.toStdString();
    }
    expectOnlyFiles({"text.mpd", "parts.bmp", "ok.mpd", "junk.png", "huge.mpd"});
    EXPECT_TRUE(cli({"render", path("huge.mpd"), path("parts.bmp"), path("x.bmp"), "--type", "1",
                     "--cell", "5"})
                    .Err.contains("4 GB"));
    EXPECT_TRUE(cli({"render", path("huge.mpd"), path("parts.bmp"), path("x.jpg"), "--type", "1",
                     "--cell", "5"})
                    .Err.contains("2^31"));
}

TEST_F(Cli, IconFormatsAreRefusedBeforeTheMapIsRead)
{
    for (const char* name : {"x.ico", "x.CUR", "x.icns"}) {
        const CliRun r = cli({"render", path("nothing.mpd"), path("nothing.bmp"), path(name)});
        EXPECT_EQ(r.Code, 2) << name;
        EXPECT_TRUE(r.Err.contains("icons")) << r.Err.toStdString();
        EXPECT_FALSE(r.Err.contains("ico,")) << "offered as a choice: " << r.Err.toStdString();
        EXPECT_EQ(r.Err.count('\n'), 1);
    }
    expectOnlyFiles({});
}

TEST_F(Cli, PartSizesTheEditorCannotHoldAreRefused)
{
    // 1448 x 1448 parts make a sheet just under 2 GB; one pixel wider is over.
    ASSERT_EQ(cli({"new", "1", "1", path("edge.mpd"), "--part", "1448x1448"}).Code, 0);
    ASSERT_EQ(cli({"new", "1", "1", path("one.mpd"), "--type", "1"}).Code, 0);
    const QList<QStringList> refused = {
        {"new", "1", "1", path("x.mpd"), "--part", "1449x1448"},
        {"new", "1", "1", path("x.mpd"), "--part", "4000x4000"},
        {"convert", path("one.mpd"), path("x.mpd"), "--from", "1", "--to", "2", "--part",
         "4000x4000"},
    };
    for (const QStringList& args : refused) {
        const CliRun r = cli(args);
        EXPECT_EQ(r.Code, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.Err.contains(QString("part size %1 is too large").arg(args.last())))
            << r.Err.toStdString();
    }

    // A type 2 map made for 4000 x 4000 parts: the same English line, even at a small --cell.
    write("big.mpd", QByteArray("QuiltmapperDataFormat20") +
                         QByteArray::fromHex("a00fa00f01000100") + QByteArray(1, 0));
    writeSheet("parts.bmp", 2, 2);
    const CliRun r =
        cli({"render", path("big.mpd"), path("parts.bmp"), path("x.png"), "--cell", "1"});
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains("part size 4000x4000 is too large")) << r.Err.toStdString();
    EXPECT_EQ(r.Err.count('\n'), 1);
    expectOnlyFiles({"edge.mpd", "one.mpd", "big.mpd", "parts.bmp"});
}

TEST_F(Cli, RenderChecksThePictureSizeFromTheHeader)
{
    // 9999 x 9999 cells of 8 x 8 pixels (the part size, no --cell): about 25 GB.
    write("huge.mpd",
          QByteArray("QuiltmapperDataFormat20") + QByteArray::fromHex("080008000f270f27"));
    writeSheet("parts.bmp", 8, 8);
    const CliRun r = cli({"render", path("huge.mpd"), path("parts.bmp"), path("x.bmp")});
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains("79992 x 79992 pixels")) << r.Err.toStdString();
}

// A 31-byte map can name 9999 x 9999 cells of 1448 x 1448 pixels: days of drawing and
// terabytes of PNG. Over 2^36 pixels, tiles or not, a render is refused from the header,
// before the parts picture is read, unless --allow-huge says otherwise.
TEST_F(Cli, HugePicturesAreRefusedUnlessAllowed)
{
    write("huge.mpd",
          QByteArray("QuiltmapperDataFormat20") + QByteArray::fromHex("a805a8050f270f27"));
    ASSERT_EQ(read("huge.mpd").size(), 31);
    ASSERT_EQ(cli({"new", "3", "2", path("ok.mpd"), "--part", "4x4"}).Code, 0);
    writeSheet("parts.bmp", 4, 4);
    const QString refusal = "14478552 x 14478552 pixels (209628468016704) are more than the "
                            "limit of 68719476736 pixels (2^36)";
    struct Row
    {
        QStringList Args;
        int Code;
        QString Says;
    };
    const Row rows[] = {
        {{"render", path("huge.mpd"), path("none.bmp"), path("x.png")}, 1, refusal},
        {{"render", path("huge.mpd"), path("none.bmp"), path("x.png"), "--split",
          "1000000x1000000"},
         1,
         refusal},
        {{"render", path("huge.mpd"), path("none.bmp"), path("x.png"), "--cell", "27"},
         1,
         "269973 x 269973 pixels (72885420729)"},
        // Just under the limit: on to reading the parts picture.
        {{"render", path("huge.mpd"), path("none.bmp"), path("x.png"), "--cell", "26"},
         1,
         "cannot read the parts picture"},
        {{"render", path("huge.mpd"), path("none.bmp"), path("x.bmp"), "--allow-huge"}, 1, "4 GB"},
        {{"render", path("ok.mpd"), path("parts.bmp"), path("x.png"), "--allow-huge=1"},
         2,
         "--allow-huge takes no value"},
        {{"render", path("ok.mpd"), path("parts.bmp"), path("ok.png"), "--allow-huge"}, 0, ""},
    };
    for (const Row& row : rows) {
        const CliRun r = cli(row.Args);
        SCOPED_TRACE(r.Err.toStdString());
        EXPECT_EQ(r.Code, row.Code) << row.Args.join(' ').toStdString();
        EXPECT_TRUE(r.Err.contains(row.Says));
        EXPECT_EQ(r.Err.count('\n'), row.Code ? 1 : 0);
        if (row.Says.contains("(2^36)") || row.Says.contains("(72885420729)")) {
            EXPECT_TRUE(r.Err.endsWith("or give --allow-huge\n"));
        }
    }
    EXPECT_EQ(QImage(path("ok.png")).size(), QSize(12, 8));
    expectOnlyFiles({"huge.mpd", "ok.mpd", "parts.bmp", "ok.png"});
}

TEST_F(Cli, CellDataThatEndsEarlyIsNotedAndReadAsPartZero)
{
    // 2 x 2 cells, type 1 (column by column), only the first column present: 4, 6.
    write("short.mpd", QByteArray::fromHex("02000200") + QByteArray::fromHex("0406"));
    writeSheet("parts.bmp", 32, 32);
    const QString note =
        QString("note: the cell data of %1 ends early; the missing cells are part 0\n")
            .arg(path("short.mpd"));

    CliRun r = cli({"convert", path("short.mpd"), path("full.mpd"), "--from", "1", "--to", "1"});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out.count(note), 1) << r.Out.toStdString();
    EXPECT_EQ(read("full.mpd"), QByteArray::fromHex("02000200") + QByteArray::fromHex("04060000"));

    r = cli({"render", path("short.mpd"), path("parts.bmp"), path("s.bmp"), "--type", "1", "--cell",
             "1"});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_EQ(r.Out.count(note), 1) << r.Out.toStdString();
    const QImage img(path("s.bmp"), "BMP");
    ASSERT_EQ(img.size(), QSize(2, 2));
    EXPECT_EQ(img.pixelColor(0, 1), QColor(6, 249, 7));
    EXPECT_EQ(img.pixelColor(1, 1), QColor(0, 255, 7));

    r = cli({"info", path("short.mpd"), "--type", "1"});
    EXPECT_EQ(r.Out.count(note), 1) << r.Out.toStdString();
}

TEST_F(Cli, DirectoriesAndSingleDashArgumentsAreNamedForWhatTheyAre)
{
    CliRun r = cli({"info", FDir.path()});
    EXPECT_EQ(r.Code, 1);
    EXPECT_TRUE(r.Err.contains("is not a file")) << r.Err.toStdString();

    r = cli({"info", "-x"});
    EXPECT_EQ(r.Code, 2);
    EXPECT_TRUE(r.Err.contains("unknown option -x")) << r.Err.toStdString();

    // After -- a name starting with - is a file again.
    ASSERT_EQ(cli({"new", "2", "3", path("-x.mpd")}).Code, 0);
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(FDir.path()));
    r = cli({"info", "--", "-x.mpd"});
    QDir::setCurrent(before);
    EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains("map size: 2 x 3 cells")) << r.Out.toStdString();
}

TEST_F(Cli, ADamagedPngPartsPictureGivesExactlyOneLine)
{
    QByteArray png;
    {
        QBuffer buffer(&png);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        QImage sheet(64, 64, QImage::Format_RGB32);
        sheet.fill(Qt::red);
        ASSERT_TRUE(sheet.save(&buffer, "PNG"));
    }
    const qsizetype idat = png.indexOf("IDAT");
    ASSERT_GT(idat, 0);
    png[idat + 3] = '['; // no longer a valid chunk type: libpng reports an error of its own
    write("bad.png", png);
    ASSERT_EQ(cli({"new", "2", "2", path("m.mpd"), "--part", "4x4"}).Code, 0);

    // The libraries write to file descriptor 2 directly, so only the real program shows it.
    QProcess p;
    p.start(QM_CLI_PATH, {"render", path("m.mpd"), path("bad.png"), path("out.png")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    const QByteArray err = p.readAllStandardError();
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.startsWith("quiltmapper-cli: cannot read the parts picture"))
        << err.toStdString();
}

TEST_F(Cli, AFailedConvertLeavesAnExistingOutputAlone)
{
    write("out.mpd", "precious");
    write("text.mpd", "this is not a map\n");
    EXPECT_NE(cli({"convert", path("text.mpd"), path("out.mpd"), "--from", "2", "--to", "1"}).Code,
              0);
    EXPECT_EQ(read("out.mpd"), QByteArray("precious"));
}

TEST_F(Cli, HelpExplainsEveryCommand)
{
    const CliRun r = cli({"--help"});
    EXPECT_EQ(r.Code, 0);
    for (const char* word : {"info MAP", "convert IN OUT", "render MAP PARTS_PICTURE OUT",
                             "new W H OUT", "--type", "--from", "--to", "--part", "--cell",
                             "--fill", "export MAP OUT.tmx|OUT.csv", "import IN.tmx OUT.mpd",
                             "--encoding", "--level", "--parts-out", "--empty", "--allow-huge"})
        EXPECT_TRUE(r.Out.contains(word)) << word;
    EXPECT_EQ(cli({}).Code, 2);
}

TEST_F(Cli, TmxAndCsvRoundTripsGiveTheSameMapAndParts)
{
    // A random 300 x 200 type 2 map with parts of 4 x 3 pixels.
    QByteArray map = QByteArray("QuiltmapperDataFormat20") + QByteArray::fromHex("04000300") +
                     QByteArray::fromHex("2c01c800");
    uint32_t x = 12345;
    for (int i = 0; i < 300 * 200; ++i) {
        x = x * 1103515245u + 12345u;
        map.append(char(x >> 24));
    }
    write("m.mpd", map);
    writeSheet("parts.bmp", 4, 3);
    const QImage sheet(path("parts.bmp"));

    for (const char* encoding : {"csv", "zlib"}) {
        SCOPED_TRACE(encoding);
        CliRun r = cli({"export", path("m.mpd"), path("m.tmx"), "--parts", path("parts.bmp"),
                        "--encoding", encoding});
        ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
        EXPECT_TRUE(QFile::exists(path("m.png")));
        r = cli({"import", path("m.tmx"), path("back.mpd")});
        ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
        EXPECT_EQ(read("back.mpd"), map);
        EXPECT_EQ(QImage(path("back.png")).convertToFormat(QImage::Format_RGB32), sheet);
    }

    // CSV: one map row a line, the part numbers as the file holds them.
    const CliRun r = cli({"export", path("m.mpd"), path("m.csv")});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    const QList<QByteArray> lines = read("m.csv").split('\n');
    ASSERT_EQ(lines.size(), 201);
    QByteArray cells;
    for (int y = 0; y < 200; ++y)
        for (const QByteArray& n : lines[y].split(','))
            cells.append(char(n.toInt()));
    EXPECT_EQ(cells, map.mid(31));
}

TEST_F(Cli, ImportOptionsAndRefusals)
{
    writeSheet("tiles.bmp", 2, 2);
    const QString tmx =
        QStringLiteral("<map orientation=\"orthogonal\" width=\"2\" height=\"1\" tilewidth=\"2\" "
                       "tileheight=\"2\"><tileset firstgid=\"1\" tilewidth=\"2\" tileheight=\"2\">"
                       "<image source=\"tiles.bmp\"/></tileset><layer width=\"2\" height=\"1\">"
                       "<data encoding=\"csv\">0,%1</data></layer></map>");
    write("empty.tmx", tmx.arg(3).toUtf8());
    CliRun r = cli({"import", path("empty.tmx"), path("e.mpd"), "--empty", "9", "--parts-out",
                    path("sheet.bmp")});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    // 256 tiles in the picture: gids 1.. are the parts' own numbers.
    EXPECT_EQ(read("e.mpd").mid(31), QByteArray::fromHex("0902"));
    EXPECT_EQ(QImage(path("sheet.bmp")).pixelColor(2 * 2 + 1, 1), QColor(2, 253, 7));
    expectOnlyFiles({"tiles.bmp", "empty.tmx", "e.mpd", "sheet.bmp"});

    // A gid past the tileset: one line, exit 1, nothing written.
    write("bad.tmx", tmx.arg(257).toUtf8());
    r = cli({"import", path("bad.tmx"), path("b.mpd")});
    EXPECT_EQ(r.Code, 1);
    EXPECT_EQ(r.Err.count('\n'), 1);
    EXPECT_TRUE(r.Err.contains("gid 257 is beyond the tilesets")) << r.Err.toStdString();
    expectOnlyFiles({"tiles.bmp", "empty.tmx", "e.mpd", "sheet.bmp", "bad.tmx"});

    EXPECT_EQ(cli({"export", path("e.mpd"), path("e.txt")}).Code, 2);
    EXPECT_EQ(cli({"export", path("e.mpd"), path("e.tmx")}).Code, 2); // no --parts
    EXPECT_EQ(cli({"import", path("empty.tmx"), path("x.mpd"), "--empty", "256"}).Code, 2);
    expectOnlyFiles({"tiles.bmp", "empty.tmx", "e.mpd", "sheet.bmp", "bad.tmx"});
}

TEST_F(Cli, TheProgramRunsWithoutADisplay)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    p.start(QM_CLI_PATH, {"new", "4", "4", path("p.mpd"), "--fill", "3"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(read("p.mpd").size(), 31 + 16);

    p.start(QM_CLI_PATH, {"info", path("nothing.mpd")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().startsWith("quiltmapper-cli: "));
}

class CliNoRoom : public ::testing::TestWithParam<TNoRoomKind>
{
};

// Out of room, every command that writes fails with one line and leaves no output file
// behind, and an existing file exactly as it was.
TEST_P(CliNoRoom, FailsLoudlyAndLeavesEveryFileAsItWas)
{
    TNoRoom noRoom(GetParam());
    if (!noRoom.Ready())
        GTEST_SKIP() << noRoom.WhyNotReady();
    const auto path = [&](const char* name) { return noRoom.Path(QString::fromLatin1(name)); };
    ASSERT_EQ(cli({"new", "20", "10", path("kept.mpd"), "--fill", "3"}).Code, 0);
    ASSERT_EQ(cli({"new", "200", "310", path("big.mpd"), "--fill", "5", "--part", "4x4"}).Code, 0);
    QImage sheet(64, 64, QImage::Format_RGB32);
    sheet.fill(Qt::darkGreen);
    ASSERT_TRUE(sheet.save(path("parts.bmp"), "BMP"));
    const QStringList before = noRoom.Files();
    QFile keptFile(path("kept.mpd"));
    ASSERT_TRUE(keptFile.open(QIODevice::ReadOnly));
    const QByteArray kept = keptFile.readAll();
    keptFile.close();
    ASSERT_EQ(kept.size(), 231);

    const QList<QStringList> commands = {
        {"new", "20", "10", path("kept.mpd"), "--fill", "5"},
        {"new", "20", "10", path("fresh.mpd")},
        {"convert", path("big.mpd"), path("converted.mpd"), "--from", "2", "--to", "1"},
        {"convert", path("big.mpd"), path("kept.mpd"), "--from", "2", "--to", "2"},
        {"render", path("big.mpd"), path("parts.bmp"), path("out.png")},
        {"render", path("big.mpd"), path("parts.bmp"), path("out.bmp")},
        {"render", path("big.mpd"), path("parts.bmp"), path("tiles.png"), "--split", "300x200",
         "--png-level", "0"},
    };
    for (const QStringList& command : commands) {
        SCOPED_TRACE(command.join(' ').toStdString());
        noRoom.Arm();
        const CliRun r = cli(command);
        noRoom.Disarm();
        EXPECT_NE(r.Code, 0);
        EXPECT_EQ(r.Err.count('\n'), 1) << r.Err.toStdString();
        EXPECT_FALSE(r.Out.contains("wrote")) << r.Out.toStdString();
        EXPECT_EQ(noRoom.Files(), before);
        ASSERT_TRUE(keptFile.open(QIODevice::ReadOnly));
        EXPECT_EQ(keptFile.readAll(), kept);
        keptFile.close();
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, CliNoRoom, QM_NO_ROOM_KINDS);

// Anything but a regular file is refused before it is opened: a FIFO would block the read
// for ever. Maps, parts pictures and the settings file alike.
TEST_F(Cli, AFifoIsRefusedInsteadOfReadForEver)
{
    for (const char* name : {"map.mpd", "parts.bmp", "settings.ini"})
        ASSERT_EQ(::mkfifo(QFile::encodeName(path(name)).constData(), 0600), 0) << name;
    ASSERT_EQ(cli({"new", "4", "4", path("real.mpd")}).Code, 0);
    writeSheet("real.bmp", 32, 32);

    const CliRun info = cli({"info", path("map.mpd")});
    EXPECT_NE(info.Code, 0);
    EXPECT_EQ(info.Err.count('\n'), 1);
    const CliRun render = cli({"render", path("real.mpd"), path("parts.bmp"), path("out.png")});
    EXPECT_NE(render.Code, 0);
    EXPECT_EQ(render.Err.count('\n'), 1);
    EXPECT_FALSE(QFile::exists(path("out.png")));

    TMapDocument doc;
    EXPECT_FALSE(LoadMapFile(path("map.mpd"), TMapFileType::Type2, doc).Ok());
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    TPartsStore parts(formats);
    EXPECT_FALSE(parts.LoadPartsPicture(path("parts.bmp")));
    TIniFile ini(path("settings.ini"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("options"), QStringLiteral("x"), QStringLiteral("d")),
              QStringLiteral("d"));
}

} // namespace
