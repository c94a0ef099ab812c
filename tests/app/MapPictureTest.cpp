#include "MapPicture.h"

#include "ChildPeak.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>
#include <zlib.h>

namespace {

// 256 parts of the given size, every pixel a colour of its own.
std::array<QImage, 256> noiseParts(QSize size)
{
    std::array<QImage, 256> parts;
    QRandomGenerator random(size.width() * 100 + size.height());
    for (QImage& part : parts) {
        part = QImage(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                part.setPixel(x, y, 0xff000000u | (random.generate() & 0xffffffu));
    }
    return parts;
}

std::vector<uint8_t> randomCells(int w, int h)
{
    std::vector<uint8_t> cells(size_t(w) * size_t(h));
    QRandomGenerator random(w * 31 + h);
    for (uint8_t& c : cells)
        c = uint8_t(random.bounded(256));
    return cells;
}

// However the rows are asked for (bands of any height, top-down or upward, any columns),
// they are the rows of the picture drawn in one go.
TEST(MapPictureRenderer, AnyBandsInAnyOrderMakeThePictureDrawnInOneGo)
{
    struct Row
    {
        QSize Part, Cell;
        int Band;
        bool Upward;
        qint64 Left, Width; // -1: the whole width
    };
    const Row rows[] = {
        {{8, 8}, {8, 8}, 7, false, 0, -1},    {{8, 8}, {8, 8}, 5, true, 0, -1},
        {{8, 8}, {3, 3}, 1, true, 0, -1},     {{6, 4}, {13, 13}, 11, false, 0, -1},
        {{6, 4}, {13, 13}, 11, true, 17, 40}, {{8, 8}, {300, 300}, 97, true, 250, 400},
        {{8, 8}, {1, 1}, 3, false, 2, 6},
    };
    const int mapW = 9, mapH = 7;
    const std::vector<uint8_t> cells = randomCells(mapW, mapH);
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.Cell.width() << " band " << row.Band);
        const auto parts = noiseParts(row.Part);
        TMapPictureRenderer whole(cells, mapW, mapH, parts, row.Cell, TPixelOrder::Rgb);
        const qint64 w = whole.Width(), h = whole.Height();
        const qint64 left = row.Left, width = row.Width < 0 ? w : row.Width;
        std::vector<uchar> expected(size_t(w * h * 3));
        whole.RenderRows(0, int(h), expected.data(), qsizetype(w * 3), 0, w);

        TMapPictureRenderer banded(cells, mapW, mapH, parts, row.Cell, TPixelOrder::Rgb);
        const qsizetype stride = qsizetype(width * 3);
        std::vector<uchar> actual(size_t(stride * h), 0xaa);
        for (qint64 done = 0; done < h; done += row.Band) {
            const int count = int(std::min<qint64>(row.Band, h - done));
            const qint64 top = row.Upward ? h - done - count : done;
            // Upward: into a bottom-up buffer, the band's last row first, as a BMP file
            // takes them.
            if (row.Upward)
                banded.RenderRows(top, count, actual.data() + (h - 1 - top) * stride, -stride, left,
                                  width);
            else
                banded.RenderRows(top, count, actual.data() + top * stride, stride, left, width);
        }
        for (qint64 y = 0; y < h; ++y)
            ASSERT_EQ(0, std::memcmp(actual.data() + (row.Upward ? h - 1 - y : y) * stride,
                                     expected.data() + (y * w + left) * 3, size_t(stride)))
                << "row " << y;
    }
}

TEST(MapPictureRenderer, PixelOrderIsBgrOrRgb)
{
    std::array<QImage, 256> parts;
    for (int n = 0; n < 256; ++n) {
        parts[size_t(n)] = QImage(2, 2, QImage::Format_RGB32);
        parts[size_t(n)].fill(qRgb(n, 10, 200));
    }
    const std::vector<uint8_t> cells = {42};
    uchar pixel[3];
    TMapPictureRenderer rgb(cells, 1, 1, parts, {2, 2}, TPixelOrder::Rgb);
    rgb.RenderRows(1, 1, pixel, 3, 1, 1);
    EXPECT_EQ(std::vector<uchar>(pixel, pixel + 3), (std::vector<uchar>{42, 10, 200}));
    TMapPictureRenderer bgr(cells, 1, 1, parts, {2, 2}, TPixelOrder::Bgr);
    bgr.RenderRows(0, 1, pixel, 3, 0, 1);
    EXPECT_EQ(std::vector<uchar>(pixel, pixel + 3), (std::vector<uchar>{200, 10, 42}));
}

TEST(MapPicturePlan, RefusesWhatAFormatCannotHoldAndCountsTiles)
{
    struct Row
    {
        int MapW, MapH, Cell;
        TMapPictureFormat Format;
        QSize Tile;
        const char* Refusal; // a piece of it; empty: accepted
        int Columns, Rows;
        bool Huge = false; // huge pictures allowed
    };
    const Row rows[] = {
        // 9999 x 9999 cells of 32 pixels: 307 GB of pixels.
        {9999, 9999, 32, TMapPictureFormat::Bmp, {}, "4 GB", 1, 1, true},
        {9999, 9999, 32, TMapPictureFormat::Png, {}, "", 1, 1, true},
        {9999, 9999, 32, TMapPictureFormat::Png, {}, "2^36", 1, 1},
        {9999, 9999, 32, TMapPictureFormat::Bmp, {10000, 10000}, "", 32, 32, true},
        {9999, 9999, 32, TMapPictureFormat::Bmp, {10000, 10000}, "2^36", 1, 1},
        {9999, 9999, 65535, TMapPictureFormat::Png, {}, "", 1, 1, true},
        // 2^36 pixels exactly, and one cell column more.
        {8192, 8192, 32, TMapPictureFormat::Png, {}, "", 1, 1},
        {8193, 8192, 32, TMapPictureFormat::Png, {}, "2^36", 1, 1},
        // A 31-byte file can name 9999 x 9999 cells of the largest parts.
        {9999,
         9999,
         1448,
         TMapPictureFormat::Png,
         {},
         "14478552 x 14478552 pixels (209628468016704) are more than the limit of 68719476736",
         1,
         1},
        {40000, 1, 65535, TMapPictureFormat::Png, {}, "2^31 - 1", 1, 1},
        {40000, 1, 65535, TMapPictureFormat::Png, {1 << 30, 1 << 30}, "", 3, 1, true},
        {9999, 9999, 16, TMapPictureFormat::Png, {100, 100}, "too many", 1, 1},
        // Just under and just over 4 GB: 37000 x 38000 pixels are 4,218,000,054 bytes.
        {37000, 38000, 1, TMapPictureFormat::Bmp, {}, "", 1, 1},
        {37000, 39000, 1, TMapPictureFormat::Bmp, {}, "4 GB", 1, 1},
        {0, 5, 1, TMapPictureFormat::Bmp, {}, "empty", 1, 1},
    };
    for (const Row& row : rows) {
        TMapPictureOptions options;
        options.Format = row.Format;
        options.Cell = QSize(row.Cell, row.Cell);
        options.Tile = row.Tile;
        options.AllowHuge = row.Huge;
        const TMapPicturePlan plan = PlanMapPicture(row.MapW, row.MapH, options);
        SCOPED_TRACE(plan.Refusal.toStdString());
        EXPECT_EQ(plan.Ok(), QByteArray(row.Refusal).isEmpty());
        EXPECT_TRUE(plan.Refusal.contains(QLatin1String(row.Refusal)));
        EXPECT_EQ(plan.Why == TMapPictureRefusal::None, plan.Ok());
        if (plan.Ok()) {
            EXPECT_EQ(plan.TileColumns, row.Columns);
            EXPECT_EQ(plan.TileRows, row.Rows);
        }
    }
}

class MapPictureFile : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }
    QString path(const QString& name) const { return FDir.filePath(name); }
    QStringList files() const
    {
        QStringList names = QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden);
        names.sort();
        return names;
    }

    const std::array<QImage, 256> FParts = noiseParts({8, 8});
    const std::vector<uint8_t> FCells = randomCells(60, 50);
    QTemporaryDir FDir;
};

// The planned size of a BMP is the size of the files written, tiles and padding included;
// progress runs up to the total.
TEST_F(MapPictureFile, BmpBytesAsPlannedAndProgressToTheEnd)
{
    for (const QSize tile : {QSize(), QSize(101, 77)}) {
        TMapPictureOptions options;
        options.Cell = QSize(5, 5);
        options.Tile = tile;
        const TMapPicturePlan plan = PlanMapPicture(60, 50, options);
        qint64 last = -1, total = -1;
        bool increasing = true;
        const auto result = WriteMapPicture(path("p.bmp"), FCells, 60, 50, FParts, options,
                                            [&](qint64 done, qint64 all) {
                                                increasing = increasing && done > last;
                                                last = done;
                                                total = all;
                                                return true;
                                            });
        ASSERT_TRUE(result) << result.Error.toStdString();
        EXPECT_TRUE(increasing);
        EXPECT_EQ(last, total);
        qint64 bytes = 0;
        for (const QString& name : files()) {
            bytes += QFileInfo(path(name)).size();
            QFile::remove(path(name));
        }
        EXPECT_EQ(bytes, plan.Bytes);
    }
}

// Cancelled after some rows, or failing, nothing of the picture is left (tiles written
// before included) and a file it would have replaced is as it was.
TEST_F(MapPictureFile, CancelOrFailureLeavesNoFileAndTheOldOneWhole)
{
    struct Row
    {
        TMapPictureFormat Format;
        QSize Tile;
        int StopAfter; // progress calls before cancel
        const char* Out;
    };
    const Row rows[] = {
        {TMapPictureFormat::Bmp, {}, 1, "old.bmp"},
        {TMapPictureFormat::Png, {}, 1, "old.png"},
        {TMapPictureFormat::Png, {64, 64}, 5, "old.png"},
        {TMapPictureFormat::Bmp, {64, 3000}, 3, "old.bmp"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Out);
        QFile old(path(row.Out));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("precious");
        old.close();
        const QStringList before = files();
        TMapPictureOptions options;
        options.Format = row.Format;
        options.Cell = QSize(33, 33); // bands of a few rows: cancel comes early
        options.Tile = row.Tile;
        int calls = 0;
        const auto result =
            WriteMapPicture(path(row.Out), FCells, 60, 50, FParts, options,
                            [&](qint64, qint64) { return ++calls < row.StopAfter; });
        EXPECT_FALSE(result);
        EXPECT_TRUE(result.Cancelled);
        EXPECT_EQ(calls, row.StopAfter);
        EXPECT_EQ(files(), before);
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("precious"));
        old.close();
    }
    TMapPictureOptions options;
    options.Cell = QSize(8, 8);
    const auto missing =
        WriteMapPicture(path("no/such/folder/p.png"), FCells, 60, 50, FParts, options);
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.Error.isEmpty());
}

// The rows of a 24-bit BMP or an RGB PNG of unfiltered rows, top-down, RGB: for pictures
// wider than the picture readers take.
std::vector<QByteArray> readRows(const QString& name, TMapPictureFormat format)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    const auto u32 = [&data](qsizetype at, bool big) {
        quint32 v = 0;
        for (int i = 0; i < 4; ++i)
            v |= quint32(uchar(data[at + i])) << (big ? 24 - 8 * i : 8 * i);
        return v;
    };
    std::vector<QByteArray> rows;
    if (format == TMapPictureFormat::Bmp) {
        const qint64 width = u32(18, false), height = u32(22, false);
        const qint64 stride = (width * 3 + 3) & ~3;
        for (qint64 y = height - 1; y >= 0; --y) {
            QByteArray row = data.mid(54 + y * stride, width * 3);
            for (qsizetype x = 0; x < row.size(); x += 3)
                std::swap(row[x], row[x + 2]);
            rows.push_back(row);
        }
        return rows;
    }
    const qint64 width = u32(16, true), height = u32(20, true);
    QByteArray idat;
    for (qsizetype at = 8; at + 8 <= data.size();) {
        const qint64 length = u32(at, true);
        if (data.mid(at + 4, 4) == "IDAT")
            idat += data.mid(at + 8, length);
        at += 12 + length;
    }
    std::vector<uchar> raw(size_t((width * 3 + 1) * height));
    uLongf size = uLongf(raw.size());
    if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(idat.constData()),
                   uLong(idat.size())) != Z_OK ||
        size != raw.size())
        return {};
    for (qint64 y = 0; y < height; ++y) {
        const char* row = reinterpret_cast<const char*>(raw.data()) + y * (width * 3 + 1);
        if (row[0] != 0)
            return {};
        rows.emplace_back(row + 1, width * 3);
    }
    return rows;
}

// Rows of tens of megabytes (a wide map of wide cells) are drawn and written a piece of a
// row at a time: the memory stays far below one row, and the picture is the same.
TEST_F(MapPictureFile, RowsWiderThanABandTakeLittleMemory)
{
    const int mapW = 9999, mapH = 2;
    const QSize cell(3000, 1); // rows of 29,997,000 pixels, 90 MB each
    const std::vector<uint8_t> cells = randomCells(mapW, mapH);
    TMapPictureRenderer renderer(cells, mapW, mapH, FParts, cell, TPixelOrder::Rgb);
    const qint64 width = renderer.Width();
    for (const TMapPictureFormat format : {TMapPictureFormat::Bmp, TMapPictureFormat::Png}) {
        const QString name = path(format == TMapPictureFormat::Bmp ? "wide.bmp" : "wide.png");
        SCOPED_TRACE(name.toStdString());
        TMapPictureOptions options;
        options.Format = format;
        options.Cell = cell;
        const TChildPeak run = RunInChild(
            [&] { return WriteMapPicture(name, cells, mapW, mapH, FParts, options) ? 1 : 0; });
        ASSERT_TRUE(run.Finished);
        ASSERT_EQ(run.Result, 1);
        EXPECT_LT(run.PeakBytes, (90 << 20) + SanitizerPeakSlack);
        const std::vector<QByteArray> rows = readRows(name, format);
        ASSERT_EQ(rows.size(), size_t(mapH));
        std::vector<uchar> expected(size_t(width) * 3);
        for (int y = 0; y < mapH; ++y) {
            renderer.RenderRows(y, 1, expected.data(), 0, 0, width);
            ASSERT_EQ(rows[size_t(y)].size(), qsizetype(expected.size()));
            ASSERT_EQ(0, std::memcmp(rows[size_t(y)].constData(), expected.data(), expected.size()))
                << "row " << y;
        }
        QFile::remove(name);
    }
}

} // namespace
