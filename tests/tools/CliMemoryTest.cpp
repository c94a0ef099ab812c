#include "ChildPeak.h"
#include "CliCommands.h"
#include "PartsStore.h"
#include "PictureBombs.h"
#include "PictureFormats.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

constexpr qint64 MB = 1024 * 1024;

// A type 2 map file: the header for parts of pw x ph, then the cells row by row.
QByteArray mapFile(int pw, int ph, int mw, int mh, const std::vector<uint8_t>& cells)
{
    QByteArray data("QuiltmapperDataFormat20");
    for (const int v : {pw, ph, mw, mh}) {
        data += char(v & 0xff);
        data += char(v >> 8);
    }
    for (const uint8_t c : cells)
        data += char(c);
    return data;
}

QImage noise(int w, int h, QImage::Format format, quint32 seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    quint32 v = seed;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            v = v * 1664525u + 1013904223u;
            image.setPixel(x, y, 0xff000000u | (v >> 8));
        }
    }
    return image.convertToFormat(format);
}

class CliMemory : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { QImageReader::supportedImageFormats(); }
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }
    QString path(const QString& name) const { return FDir.filePath(name); }
    QString write(const QString& name, const QByteArray& data) const
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        return f.fileName();
    }

    // Runs the tool in a child; Result is its exit code, and its stderr is kept.
    TChildPeak runInChild(const QStringList& args)
    {
        return RunInChild([&] {
            QString out, err;
            QTextStream o(&out), e(&err);
            const int code = RunCli(args, o, e);
            e.flush();
            QFile file(path("stderr.txt"));
            if (file.open(QIODevice::WriteOnly))
                file.write(err.toUtf8());
            return code;
        });
    }
    QString childErr() const
    {
        QFile file(path("stderr.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir FDir;
};

// A 35-byte map of 2 x 2 cells that names the largest parts the program holds
// (1448 x 1448): its picture is drawn from the few parts it uses, not from a whole store of
// 256 such parts.
TEST_F(CliMemory, ATinyMapOfHugePartsRendersInLittleMemory)
{
    const QByteArray map = mapFile(1448, 1448, 2, 2, {0, 1, 17, 200});
    ASSERT_EQ(map.size(), 35);
    write("tiny.mpd", map);
    // The sheet covers part 0 in part, part 1 not at all.
    const QImage sheet = noise(2000, 700, QImage::Format_RGB32, 5);
    ASSERT_TRUE(sheet.save(path("sheet.bmp"), "BMP"));

    struct Case
    {
        const char* out;
        int cell; // 0: the part size
        QSize size;
    };
    const Case cases[] = {
        {"cell1.bmp", 1, {2, 2}},
        {"cell1.png", 1, {2, 2}},
        {"whole.bmp", 0, {2896, 2896}},
        {"whole.png", 0, {2896, 2896}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out);
        QStringList args = {"render", path("tiny.mpd"), path("sheet.bmp"), path(c.out)};
        if (c.cell)
            args << "--cell" << QString::number(c.cell);
        const TChildPeak run = runInChild(args);
        ASSERT_TRUE(run.Finished);
        EXPECT_EQ(run.Result, 0) << childErr().toStdString();
        // Far below the 2 to 4 GB a store of 256 such parts takes.
        EXPECT_LT(run.PeakBytes, 400 * MB);
        const QImage picture(path(c.out));
        ASSERT_EQ(picture.size(), c.size);
        if (c.cell)
            continue;
        // Part 0 is the sheet's corner; part 1 lies right of the sheet's 2000 columns only
        // from column 1448 + 552 on, so it is white there; part 200 is a placeholder.
        EXPECT_EQ(picture.pixel(10, 20), sheet.pixel(10, 20));
        EXPECT_EQ(picture.pixel(1447, 699), sheet.pixel(1447, 699));
        EXPECT_EQ(picture.pixel(1447, 700), qRgb(255, 255, 255));
        EXPECT_EQ(picture.pixel(1448 + 551, 5), sheet.pixel(1448 + 551, 5));
        EXPECT_EQ(picture.pixel(1448 + 552, 5), qRgb(255, 255, 255));
        EXPECT_EQ(picture.pixel(2895, 2895), qRgb(255, 255, 255));
    }
}

// Whatever the parts picture covers, the render shows each part as a parts store that
// loaded the picture holds it: whole parts, parts cut by the picture's edge (white beyond),
// placeholders, and pictures in formats other than 32-bit.
TEST_F(CliMemory, RenderedPartsAreThePartsAStoreLoads)
{
    struct Case
    {
        int pw, ph;
        QSize picture;
        QImage::Format format;
        const char* sheetName;
    };
    const Case cases[] = {
        {8, 8, {128, 128}, QImage::Format_RGB32, "full.bmp"},
        {70, 50, {300, 130}, QImage::Format_RGB32, "partial.bmp"},
        {70, 50, {300, 130}, QImage::Format_Indexed8, "indexed.png"},
        {100, 40, {5, 5}, QImage::Format_RGB888, "tiny.png"},
        {6, 9, {200, 200}, QImage::Format_ARGB32, "alpha.png"},
        {3, 2, {1, 1}, QImage::Format_RGB32, "dot.bmp"},
    };
    std::vector<uint8_t> all(256);
    for (int n = 0; n < 256; ++n)
        all[size_t(n)] = uint8_t(n);
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sheetName);
        write("all.mpd", mapFile(c.pw, c.ph, 16, 16, all)); // row by row: cell (x, y) is y * 16 + x
        ASSERT_TRUE(noise(c.picture.width(), c.picture.height(), c.format, c.pw * 31 + c.ph)
                        .save(path(c.sheetName)));
        QString out, err;
        QTextStream o(&out), e(&err);
        ASSERT_EQ(RunCli({"render", path("all.mpd"), path(c.sheetName), path("all.bmp")}, o, e), 0)
            << err.toStdString();

        TPartsStore store(formats);
        store.SetPartsSize(uint16_t(c.pw), uint16_t(c.ph));
        ASSERT_TRUE(store.LoadPartsPicture(path(c.sheetName)));
        const QImage picture = QImage(path("all.bmp")).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(picture.size(), QSize(16 * c.pw, 16 * c.ph));
        for (int x = 0; x < 16; ++x) {
            for (int y = 0; y < 16; ++y) {
                const int n = y * 16 + x;
                EXPECT_EQ(picture.copy(x * c.pw, y * c.ph, c.pw, c.ph), store.PartBitmap(n))
                    << "part " << n;
            }
        }
    }
}

// Export and import hold the parts sheet once: no store of 256 parts beside it.
TEST_F(CliMemory, ExportAndImportOfLargePartsHoldOneSheet)
{
    constexpr int Side = 362;
    constexpr qint64 SheetBytes = qint64(16 * Side) * (16 * Side) * 4; // 134 MB
    write("m.mpd", mapFile(Side, Side, 1, 1, {0}));
    ASSERT_TRUE(noise(20, 20, QImage::Format_RGB32, 3).save(path("small.png")));
    ASSERT_TRUE(noise(Side, Side, QImage::Format_RGB32, 4).save(path("tile.png")));
    write("in.tmx", QStringLiteral("<map orientation=\"orthogonal\" width=\"1\" height=\"1\" "
                                   "tilewidth=\"%1\" tileheight=\"%1\"><tileset firstgid=\"1\" "
                                   "tilewidth=\"%1\" tileheight=\"%1\"><image "
                                   "source=\"tile.png\"/></tileset><layer width=\"1\" "
                                   "height=\"1\"><data encoding=\"csv\">1</data></layer></map>")
                        .arg(Side)
                        .toUtf8());
    const QStringList runs[] = {
        {"export", path("m.mpd"), path("out.tmx"), "--parts", path("small.png")},
        {"import", path("in.tmx"), path("out.mpd")},
    };
    for (const QStringList& args : runs) {
        SCOPED_TRACE(args[0].toStdString());
        const TChildPeak run = runInChild(args);
        ASSERT_TRUE(run.Finished);
        EXPECT_EQ(run.Result, 0) << childErr().toStdString();
        EXPECT_LT(run.PeakBytes, SheetBytes * 3 / 2 + SanitizerPeakSlack);
    }
}

// The exported sheet is the sheet a parts store composes after loading the picture.
TEST_F(CliMemory, ExportedSheetIsTheSheetAStoreComposes)
{
    struct Case
    {
        int pw, ph;
        QSize picture;
        QImage::Format format;
        const char* sheetName;
    };
    const Case cases[] = {
        {8, 8, {128, 128}, QImage::Format_ARGB32, "full.png"},
        {70, 50, {300, 130}, QImage::Format_RGB32, "partial.bmp"},
        {70, 50, {300, 130}, QImage::Format_Indexed8, "indexed.png"},
        {100, 40, {5, 5}, QImage::Format_RGB888, "tiny.png"},
        {6, 9, {200, 200}, QImage::Format_ARGB32, "alpha.png"},
    };
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sheetName);
        write("m.mpd", mapFile(c.pw, c.ph, 1, 1, {0}));
        ASSERT_TRUE(noise(c.picture.width(), c.picture.height(), c.format, c.pw * 31 + c.ph)
                        .save(path(c.sheetName)));
        QString out, err;
        QTextStream o(&out), e(&err);
        ASSERT_EQ(
            RunCli({"export", path("m.mpd"), path("m.tmx"), "--parts", path(c.sheetName)}, o, e), 0)
            << err.toStdString();
        TPartsStore store(formats);
        store.SetPartsSize(uint16_t(c.pw), uint16_t(c.ph));
        ASSERT_TRUE(store.LoadPartsPicture(path(c.sheetName)));
        QImage composed;
        store.ComposePartsPicture(composed);
        EXPECT_EQ(QImage(path("m.png")).convertToFormat(QImage::Format_RGB32), composed);
    }
}

// A parts picture that declares gigabytes costs render no more than a sensible one: a JPEG
// is read only as far as the sheet, a (valid) PNG of 23170 x 23170 is refused in one line.
TEST_F(CliMemory, RenderWithAPictureBombStaysSmall)
{
    write("m.mpd", mapFile(32, 32, 4, 4, std::vector<uint8_t>(16, 3)));
    write("claims.jpg", jpegClaiming(23000, 23000, false));
    write("black.png", blackPng(23170));

    struct Case
    {
        const char* sheet;
        int code;
    };
    for (const Case c : {Case{"claims.jpg", 0}, Case{"black.png", 1}}) {
        SCOPED_TRACE(c.sheet);
        const TChildPeak run = runInChild(
            {"render", path("m.mpd"), path(QString::fromLatin1(c.sheet)), path("out.bmp")});
        ASSERT_TRUE(run.Finished);
        EXPECT_EQ(run.Result, c.code) << childErr().toStdString();
        EXPECT_LT(run.PeakBytes, 300 * MB);
        if (c.code != 0) {
            EXPECT_EQ(childErr().count('\n'), 1) << childErr().toStdString();
            EXPECT_TRUE(childErr().contains("cannot read the parts picture"));
        }
    }
}

} // namespace
