// The zlib layer data of TMX maps: one stream whatever the threads and the level, read back
// cell for cell, and the import's memory.

#include "ChildPeak.h"
#include "TmxFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>
#include <vector>
#include <zlib.h>

namespace {

constexpr int PartSide = 2;

// The layer's bytes as a TMX reader expects them: row by row, little-endian part + 1.
std::vector<uint8_t> gidBytes(const TMapDocument& doc)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(size_t(doc.MapWidth()) * doc.MapHeight() * 4);
    for (int y = 0; y < doc.MapHeight(); ++y)
        for (int x = 0; x < doc.MapWidth(); ++x) {
            const uint32_t gid = doc.Cell(x, y) + 1u;
            bytes.insert(bytes.end(), {uint8_t(gid), uint8_t(gid >> 8), 0, 0});
        }
    return bytes;
}

QByteArray writeTmx(const TMapDocument& doc, const TTmxWriteOptions& options)
{
    QByteArray tmx;
    QBuffer buffer(&tmx);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(
        WriteTmxData(buffer, doc, PartSide, PartSide, QStringLiteral("sheet.png"), options));
    return tmx;
}

// Where the base64 text of the layer starts and how long it is.
std::pair<qsizetype, qsizetype> dataText(const QByteArray& tmx)
{
    const QByteArray start = "compression=\"zlib\">";
    const qsizetype at = tmx.indexOf(start) + start.size();
    return {at, tmx.indexOf("</data>", at) - at};
}

class TmxZlib : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        QImage sheet(16 * PartSide, 16 * PartSide, QImage::Format_RGB32);
        sheet.fill(Qt::darkCyan);
        ASSERT_TRUE(sheet.save(FDir.filePath(QStringLiteral("sheet.png"))));
    }

    bool read(const QByteArray& tmx, TTmxImport& back, QString& error) const
    {
        QByteArray copy = tmx;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        return ReadTmxData(buffer, FDir.path(), 0, back, &error);
    }

    QTemporaryDir FDir;
};

// Any thread count and level gives one zlib stream of the gid bytes that plain zlib
// inflates; one thread gives zlib's own single-call bytes (but for the stored blocks of
// level 0, cut where the data came in pieces). The import reads every cell back,
// and refuses the stream cut short anywhere.
TEST_F(TmxZlib, EveryThreadCountAndLevelGivesOneStreamThatReadsBack)
{
    struct Size
    {
        int W, H;
    };
    // The last is several blocks of rows, and its compressors' windows reach back over rows.
    const Size sizes[] = {{1, 1}, {1, 9999}, {9999, 1}, {500, 600}};
    std::mt19937 rng(11);
    for (const Size& size : sizes) {
        TMapDocument doc;
        doc.NewMap(size.W, size.H);
        for (uint8_t& c : doc.MapCells())
            c = uint8_t(rng() % 24 == 0 ? rng() : rng() % 6);
        doc.SetCell(0, 0, 255);
        doc.SetCell(size.W - 1, size.H - 1, 0);
        const std::vector<uint8_t> gids = gidBytes(doc);
        for (const int threads : {1, 2, 4}) {
            for (const int level : {0, 1, 6, 9}) {
                SCOPED_TRACE(testing::Message() << size.W << " x " << size.H << ", " << threads
                                                << " threads, level " << level);
                TTmxWriteOptions options(TTmxEncoding::Base64Zlib);
                options.Level = level;
                options.Threads = threads;
                const QByteArray tmx = writeTmx(doc, options);
                const auto [at, length] = dataText(tmx);
                const QByteArray data = QByteArray::fromBase64(tmx.mid(at, length));

                std::vector<uint8_t> inflated(gids.size() + 1);
                uLongf inflatedSize = uLongf(inflated.size());
                ASSERT_EQ(uncompress(inflated.data(), &inflatedSize,
                                     reinterpret_cast<const Bytef*>(data.constData()),
                                     uLong(data.size())),
                          Z_OK);
                inflated.resize(inflatedSize);
                EXPECT_TRUE(inflated == gids);
                // Stored blocks (level 0) follow the pieces the data came in.
                if (threads == 1 && level != 0) {
                    std::vector<uint8_t> single(compressBound(uLong(gids.size())));
                    uLongf singleSize = uLongf(single.size());
                    ASSERT_EQ(compress2(single.data(), &singleSize, gids.data(), uLong(gids.size()),
                                        level),
                              Z_OK);
                    EXPECT_EQ(data, QByteArray(reinterpret_cast<const char*>(single.data()),
                                               qsizetype(singleSize)));
                }

                TTmxImport back;
                QString error;
                ASSERT_TRUE(read(tmx, back, error)) << error.toStdString();
                const auto cells = doc.MapCells();
                EXPECT_TRUE(std::equal(cells.begin(), cells.end(), back.Stores.Cells.begin(),
                                       back.Stores.Cells.end()));

                if (level != 6 || threads == 4)
                    continue;
                // Cut in the header, inside the blocks, at block ends and in the checksum.
                for (int k = 1; k <= 29; ++k) {
                    const qsizetype keep = k == 29 ? data.size() - 1 : data.size() * k / 29 - k % 3;
                    QByteArray cut = tmx;
                    cut.replace(at, length, data.left(std::max<qsizetype>(keep, 1)).toBase64());
                    TTmxImport refused;
                    ASSERT_FALSE(read(cut, refused, error)) << keep;
                    EXPECT_TRUE(error.contains(QLatin1String("ends early"))) << keep;
                    EXPECT_TRUE(refused.Stores.Cells.empty());
                }
            }
        }
    }
}

// Compressed on several threads, the export still tells the progress of the rows written
// and stops when told, leaving no file.
TEST_F(TmxZlib, ParallelExportReportsRowsAndStops)
{
    TMapDocument doc;
    doc.NewMap(700, 800);
    std::mt19937 rng(3);
    for (uint8_t& c : doc.MapCells())
        c = uint8_t(rng() % 7);
    QImage sheet(16 * PartSide, 16 * PartSide, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    TTmxWriteOptions options(TTmxEncoding::Base64Zlib);
    options.Threads = 2;
    const QString tmx = FDir.filePath(QStringLiteral("map.tmx"));
    std::vector<qint64> rows;
    const TFileWriteResult stopped =
        ExportTmxFile(tmx, doc, sheet, PartSide, PartSide, options, {}, [&](qint64 done, qint64) {
            rows.push_back(done);
            return rows.size() < 2;
        });
    EXPECT_TRUE(stopped.Cancelled);
    EXPECT_EQ(rows.size(), 2u);
    EXPECT_FALSE(QFile::exists(tmx));
    rows.clear();
    ASSERT_TRUE(ExportTmxFile(tmx, doc, sheet, PartSide, PartSide, options, {},
                              [&](qint64 done, qint64 total) {
                                  rows.push_back(done);
                                  return total == 800;
                              }));
    EXPECT_GT(rows.size(), 2u);
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end()));
    EXPECT_EQ(rows.back(), 800);
}

// The import holds the map's cells and a few buffers, never the whole layer besides them.
TEST_F(TmxZlib, ImportPeakIsTheCellsAndAFewMegabytes)
{
    const QString tmx = FDir.filePath(QStringLiteral("big.tmx"));
    {
        TMapDocument doc;
        doc.NewMap(TMapDocument::MaxMapSize, TMapDocument::MaxMapSize);
        uint8_t* cells = doc.MapCells().data();
        for (int x = 0; x < doc.MapWidth(); ++x)
            for (int y = 0; y < doc.MapHeight(); ++y)
                cells[size_t(x) * doc.MapHeight() + y] = uint8_t((x / 7 + y / 5) % 40);
        QImage sheet(16 * PartSide, 16 * PartSide, QImage::Format_RGB32);
        sheet.fill(Qt::white);
        TTmxWriteOptions options(TTmxEncoding::Base64Zlib);
        options.Level = 1;
        ASSERT_TRUE(ExportTmxFile(tmx, doc, sheet, PartSide, PartSide, options));
    }
    const qint64 cells = qint64(TMapDocument::MaxMapSize) * TMapDocument::MaxMapSize;
    const TChildPeak idle = RunInChild([] { return 1; });
    const TChildPeak peak = RunInChild([&] {
        TTmxImport back;
        QString error;
        return int(ImportTmxFile(tmx, 0, back, &error) &&
                   back.Stores.Cells[cells - 1] == (9998 / 7 + 9998 / 5) % 40);
    });
    ASSERT_TRUE(idle.Finished && peak.Finished);
    EXPECT_EQ(peak.Result, 1);
    EXPECT_LT(peak.PeakBytes - idle.PeakBytes, cells + (qint64(32) << 20) + SanitizerPeakSlack);
}

} // namespace
