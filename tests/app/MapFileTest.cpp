#include "MapFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

namespace {

// The 2 x 2 map of the worked example: (0,0)=1, (1,0)=2, (0,1)=3, (1,1)=4.
void exampleMap(TMapDocument& doc)
{
    doc.NewMap(2, 2);
    doc.SetCell(0, 0, 1);
    doc.SetCell(1, 0, 2);
    doc.SetCell(0, 1, 3);
    doc.SetCell(1, 1, 4);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray written(const TMapDocument& doc, TMapFileType type, uint16_t pw = 32, uint16_t ph = 32)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(WriteMapData(buffer, doc, type, pw, ph));
    return data;
}

QByteArray writtenExample(TMapFileType type)
{
    TMapDocument doc;
    exampleMap(doc);
    return written(doc, type);
}

TMapLoadResult readInto(TMapDocument& doc, QByteArray data, TMapFileType type)
{
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return ReadMapData(buffer, type, doc);
}

// A map whose every cell differs from its neighbours, to catch transposition errors.
void patternedMap(TMapDocument& doc, int w, int h)
{
    doc.NewMap(w, h);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y)
            doc.SetCell(x, y, uint8_t(x * 7 + y * 13));
}

QByteArray writtenPattern(int w, int h, TMapFileType type, uint16_t pw = 32, uint16_t ph = 32)
{
    TMapDocument doc;
    patternedMap(doc, w, h);
    return written(doc, type, pw, ph);
}

bool sameCells(const TMapDocument& a, const TMapDocument& b)
{
    return a.MapWidth() == b.MapWidth() && a.MapHeight() == b.MapHeight() &&
           std::equal(a.MapCells().begin(), a.MapCells().end(), b.MapCells().begin());
}

// A device that stores only the first `capacity` bytes, as a full disk does.
class ShortDevice : public QIODevice
{
public:
    explicit ShortDevice(qint64 capacity) : FCapacity(capacity) { open(WriteOnly); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 len) override
    {
        const qint64 n = std::min(len, FCapacity - FWritten);
        FWritten += n;
        return n;
    }

private:
    qint64 FCapacity;
    qint64 FWritten = 0;
};

TEST(MapFile, WorkedExampleGivesExactlyTheDocumentedBytes)
{
    TMapDocument doc;
    exampleMap(doc);
    EXPECT_EQ(written(doc, TMapFileType::Type1), bytes({2, 0, 2, 0, 1, 3, 2, 4}));
    EXPECT_EQ(written(doc, TMapFileType::Type2),
              QByteArray("QuiltmapperDataFormat20") +
                  bytes({0x20, 0, 0x20, 0, 2, 0, 2, 0, 1, 2, 3, 4}));
    EXPECT_EQ(written(doc, TMapFileType::Type2).size(), 35);
}

TEST(MapFile, EachTypeReadsBackTheSameMapAndPartSize)
{
    TMapDocument original;
    patternedMap(original, 131, 77); // more than one band of rows
    for (TMapFileType type : {TMapFileType::Type1, TMapFileType::Type2}) {
        TMapDocument doc;
        doc.SetMapModified(true);
        const TMapLoadResult r = readInto(doc, written(original, type, 16, 24), type);
        ASSERT_TRUE(r.Ok());
        EXPECT_FALSE(r.Truncated);
        EXPECT_TRUE(r.Message().isEmpty());
        EXPECT_TRUE(sameCells(doc, original));
        EXPECT_FALSE(doc.MapModified());
        EXPECT_FALSE(doc.UndoAvailable());
        if (type == TMapFileType::Type2) {
            EXPECT_EQ(r.PartWidth, 16);
            EXPECT_EQ(r.PartHeight, 24);
        } else {
            EXPECT_EQ(r.PartWidth, 32); // type 1 always means 32 x 32
            EXPECT_EQ(r.PartHeight, 32);
        }
    }
}

TEST(MapFile, LoadKeepsTheGroupSizeWithPart0)
{
    TMapDocument doc;
    doc.SetGroupPart(3, 2, [](int, int) { return uint8_t(5); });
    ASSERT_TRUE(readInto(doc, writtenExample(TMapFileType::Type2), TMapFileType::Type2).Ok());
    EXPECT_EQ(doc.GroupWidth(), 3);
    EXPECT_EQ(doc.GroupHeight(), 2);
    EXPECT_EQ(doc.GroupCell(2, 1), 0);
}

TEST(MapFile, CellDataThatEndsEarlyLeavesTheRestAtPart0)
{
    TMapDocument original;
    patternedMap(original, 9, 5);
    // Type 2 cut after the first row and two cells of the second.
    QByteArray type2 = written(original, TMapFileType::Type2);
    type2.truncate(31 + 9 + 2);
    TMapDocument doc;
    TMapLoadResult r = readInto(doc, type2, TMapFileType::Type2);
    ASSERT_TRUE(r.Ok());
    EXPECT_TRUE(r.Truncated);
    for (int x = 0; x < 9; ++x)
        for (int y = 0; y < 5; ++y) {
            const bool present = y == 0 || (y == 1 && x < 2);
            EXPECT_EQ(doc.Cell(x, y), present ? original.Cell(x, y) : 0) << x << "," << y;
        }

    // Type 1 cut inside the second column.
    QByteArray type1 = written(original, TMapFileType::Type1);
    type1.truncate(4 + 5 + 3);
    r = readInto(doc, type1, TMapFileType::Type1);
    ASSERT_TRUE(r.Ok());
    EXPECT_TRUE(r.Truncated);
    for (int x = 0; x < 9; ++x)
        for (int y = 0; y < 5; ++y) {
            const bool present = x == 0 || (x == 1 && y < 3);
            EXPECT_EQ(doc.Cell(x, y), present ? original.Cell(x, y) : 0) << x << "," << y;
        }
}

TEST(MapFile, BadHeadersChangeNothing)
{
    const QByteArray magic("QuiltmapperDataFormat20");
    struct Case
    {
        const char* what;
        QByteArray data;
        TMapFileType type;
        TMapLoadStatus status;
    };
    const std::vector<Case> cases = {
        {"empty type 2", QByteArray(), TMapFileType::Type2, TMapLoadStatus::NotType2},
        {"short magic", magic.left(22), TMapFileType::Type2, TMapLoadStatus::NotType2},
        {"text file", QByteArray("hello, this is a text file\n"), TMapFileType::Type2,
         TMapLoadStatus::NotType2},
        {"wrong magic case",
         QByteArray("quiltmapperDataFormat20") + bytes({32, 0, 32, 0, 1, 0, 1, 0, 5}),
         TMapFileType::Type2, TMapLoadStatus::NotType2},
        {"header ends in part size", magic + bytes({32, 0, 32}), TMapFileType::Type2,
         TMapLoadStatus::Unreadable},
        {"header ends in map size", magic + bytes({32, 0, 32, 0, 2, 0, 2}), TMapFileType::Type2,
         TMapLoadStatus::Unreadable},
        {"part width 0", magic + bytes({0, 0, 32, 0, 1, 0, 1, 0, 5}), TMapFileType::Type2,
         TMapLoadStatus::Unreadable},
        {"part height 0", magic + bytes({32, 0, 0, 0, 1, 0, 1, 0, 5}), TMapFileType::Type2,
         TMapLoadStatus::Unreadable},
        {"width 0", magic + bytes({32, 0, 32, 0, 0, 0, 1, 0}), TMapFileType::Type2,
         TMapLoadStatus::Unreadable},
        {"height 10000", bytes({1, 0, 0x10, 0x27, 7}), TMapFileType::Type1,
         TMapLoadStatus::Unreadable},
        {"width 65535", bytes({0xff, 0xff, 1, 0, 7}), TMapFileType::Type1,
         TMapLoadStatus::Unreadable},
        {"type 1 header of 3 bytes", bytes({2, 0, 2}), TMapFileType::Type1,
         TMapLoadStatus::Unreadable},
        {"empty type 1", QByteArray(), TMapFileType::Type1, TMapLoadStatus::Unreadable},
        // Not quite the magic: read as type 1, "Qu" and "il" make a map far beyond 9999.
        {"nearly type 2 read as type 1", "QuiltmapperDataFormat21" + bytes({32, 0, 32, 0, 1, 0}),
         TMapFileType::Type1, TMapLoadStatus::Unreadable},
    };
    for (const Case& c : cases) {
        TMapDocument doc;
        exampleMap(doc);
        doc.SetMapModified(true);
        doc.StampGroup({0, 0, 0, 0});
        const TMapLoadResult r = readInto(doc, c.data, c.type);
        EXPECT_EQ(r.Status, c.status) << c.what;
        EXPECT_FALSE(r.Ok()) << c.what;
        EXPECT_EQ(r.Message(), c.status == TMapLoadStatus::NotType2
                                   ? QStringLiteral("Quiltmapper タイプ２データではありません")
                                   : QStringLiteral("マップデータファイルを読み込む事ができません"))
            << c.what;
        EXPECT_EQ(doc.MapWidth(), 2) << c.what;
        EXPECT_EQ(doc.Cell(1, 1), 4) << c.what;
        EXPECT_TRUE(doc.MapModified()) << c.what;
        EXPECT_TRUE(doc.UndoAvailable()) << c.what;
    }
}

TEST(MapFile, TheMagicMakesTypeTwoWhateverTheSettingAndTheSettingDecidesTheRest)
{
    const QByteArray type1 = writtenExample(TMapFileType::Type1);
    const QByteArray type2 = writtenExample(TMapFileType::Type2);
    struct Case
    {
        const char* what;
        QByteArray data;
        TMapFileType setting;
        TMapLoadStatus status;
        TMapFileType read;
    };
    const Case cases[] = {
        {"type 2, setting 2", type2, TMapFileType::Type2, TMapLoadStatus::Loaded,
         TMapFileType::Type2},
        {"type 2, setting 1", type2, TMapFileType::Type1, TMapLoadStatus::Loaded,
         TMapFileType::Type2},
        {"type 1, setting 1", type1, TMapFileType::Type1, TMapLoadStatus::Loaded,
         TMapFileType::Type1},
        {"type 1, setting 2", type1, TMapFileType::Type2, TMapLoadStatus::NotType2,
         TMapFileType::Type2},
    };
    for (const Case& c : cases) {
        TMapDocument doc;
        const TMapLoadResult r = readInto(doc, c.data, c.setting);
        EXPECT_EQ(r.Status, c.status) << c.what;
        EXPECT_EQ(r.Type, c.read) << c.what;
        if (!r.Ok())
            continue;
        EXPECT_EQ(doc.MapWidth(), 2) << c.what;
        EXPECT_EQ(doc.Cell(0, 1), 3) << c.what;
        EXPECT_EQ(doc.Cell(1, 0), 2) << c.what;
        // The header alone is read in the same layout.
        QBuffer buffer(const_cast<QByteArray*>(&c.data));
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        const std::optional<TMapHeader> header = ReadMapHeader(buffer, c.setting);
        ASSERT_TRUE(header) << c.what;
        EXPECT_EQ(header->MapWidth, 2) << c.what;
    }
}

TEST(MapFile, ThePartSizeIsAppliedAfterTheHeaderAndBeforeTheMap)
{
    const QByteArray data = writtenPattern(3, 3, TMapFileType::Type2, 2000, 24);
    TMapDocument doc;
    exampleMap(doc);
    std::vector<std::pair<int, int>> applied;
    const auto refuse = [&](uint16_t w, uint16_t h) {
        applied.emplace_back(w, h);
        EXPECT_EQ(doc.MapWidth(), 2); // the map is not replaced yet
        return false;
    };
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    const TMapLoadResult r = ReadMapData(buffer, TMapFileType::Type2, doc, refuse);
    EXPECT_EQ(r.Status, TMapLoadStatus::Unreadable);
    EXPECT_EQ(applied, (std::vector<std::pair<int, int>>{{2000, 24}}));
    EXPECT_EQ(doc.Cell(1, 1), 4); // untouched

    // A bad header never reaches it; a type 1 map applies 32 x 32.
    applied.clear();
    QByteArray bad = data.left(30);
    QBuffer badBuffer(&bad);
    badBuffer.open(QIODevice::ReadOnly);
    ReadMapData(badBuffer, TMapFileType::Type2, doc, refuse);
    EXPECT_TRUE(applied.empty());
    QByteArray type1 = writtenPattern(3, 3, TMapFileType::Type1);
    QBuffer type1Buffer(&type1);
    type1Buffer.open(QIODevice::ReadOnly);
    EXPECT_TRUE(ReadMapData(type1Buffer, TMapFileType::Type1, doc, [&](uint16_t w, uint16_t h) {
                    applied.emplace_back(w, h);
                    return true;
                }).Ok());
    EXPECT_EQ(applied, (std::vector<std::pair<int, int>>{{32, 32}}));
}

TEST(MapFile, ExtremeSizesAtTheLimitLoad)
{
    // 9999 x 1 and 1 x 9999 are the thinnest largest maps; both layouts must agree.
    for (auto [w, h] : {std::pair{9999, 1}, std::pair{1, 9999}, std::pair{1, 1}}) {
        TMapDocument original;
        patternedMap(original, w, h);
        for (TMapFileType type : {TMapFileType::Type1, TMapFileType::Type2}) {
            TMapDocument doc;
            ASSERT_TRUE(readInto(doc, written(original, type), type).Ok());
            EXPECT_TRUE(sameCells(doc, original)) << w << "x" << h;
        }
    }
}

TEST(MapFile, RandomBytesEitherLoadConsistentlyOrChangeNothing)
{
    std::mt19937 rng(20261207);
    int loaded = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray data;
        if (round % 2)
            data = QByteArray("QuiltmapperDataFormat20");
        const int length = int(rng() % 64);
        for (int i = 0; i < length; ++i)
            data.append(char(rng()));
        // Small sizes now and then, so that some headers are good and the cells short.
        if (round % 3 == 0 && data.size() >= 35) {
            const int at = round % 2 ? 27 : 0;
            data[at] = char(1 + rng() % 20);
            data[at + 1] = 0;
            data[at + 2] = char(1 + rng() % 20);
            data[at + 3] = 0;
        }
        for (TMapFileType type : {TMapFileType::Type1, TMapFileType::Type2}) {
            TMapDocument doc;
            exampleMap(doc);
            const TMapLoadResult r = readInto(doc, data, type);
            if (r.Ok()) {
                ++loaded;
                EXPECT_GE(doc.MapWidth(), 1);
                EXPECT_LE(doc.MapWidth(), TMapDocument::MaxMapSize);
                EXPECT_EQ(doc.MapCells().size(), size_t(doc.MapWidth()) * doc.MapHeight());
                EXPECT_FALSE(doc.MapModified());
            } else {
                EXPECT_EQ(doc.MapWidth(), 2) << round;
                EXPECT_EQ(doc.Cell(1, 1), 4) << round;
            }
        }
    }
    // Both outcomes were exercised.
    EXPECT_GT(loaded, 20);
    EXPECT_LT(loaded, 700);
}

TEST(MapFile, TrailingBytesAreIgnored)
{
    QByteArray data = writtenExample(TMapFileType::Type1) + QByteArray(100, 'x');
    TMapDocument doc;
    const TMapLoadResult r = readInto(doc, data, TMapFileType::Type1);
    ASSERT_TRUE(r.Ok());
    EXPECT_FALSE(r.Truncated);
    TMapDocument expected;
    exampleMap(expected);
    EXPECT_TRUE(sameCells(doc, expected));
}

TEST(MapFile, AShortWriteIsAFailure)
{
    TMapDocument doc;
    patternedMap(doc, 100, 100);
    for (TMapFileType type : {TMapFileType::Type1, TMapFileType::Type2}) {
        for (qint64 capacity : {0, 3, 30, 5000, 10003}) {
            ShortDevice device(capacity);
            EXPECT_FALSE(WriteMapData(device, doc, type, 32, 32)) << capacity;
        }
        ShortDevice roomy(1 << 20);
        EXPECT_TRUE(WriteMapData(roomy, doc, type, 32, 32));
    }
}

TEST(MapFile, SaveAndLoadThroughFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("マップ.mpd"));

    TMapDocument doc;
    patternedMap(doc, 40, 30);
    doc.SetMapModified(true);
    ASSERT_TRUE(SaveMapFile(name, doc, TMapFileType::Type2, 16, 8));
    EXPECT_FALSE(doc.MapModified());
    EXPECT_EQ(QFile(name).size(), 31 + 40 * 30);

    TMapDocument loaded;
    const TMapLoadResult r = LoadMapFile(name, TMapFileType::Type2, loaded);
    ASSERT_TRUE(r.Ok());
    EXPECT_EQ(r.PartWidth, 16);
    EXPECT_EQ(r.PartHeight, 8);
    EXPECT_TRUE(sameCells(doc, loaded));

    // A missing file changes nothing.
    const TMapLoadResult missing =
        LoadMapFile(dir.filePath("nope.mpd"), TMapFileType::Type1, loaded);
    EXPECT_EQ(missing.Status, TMapLoadStatus::Unreadable);
    EXPECT_TRUE(sameCells(doc, loaded));
    // So does a folder.
    EXPECT_EQ(LoadMapFile(dir.path(), TMapFileType::Type1, loaded).Status,
              TMapLoadStatus::Unreadable);
}

TEST(MapFile, AFailedSaveKeepsTheModifiedFlagAndASuccessfulOneReplacesTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TMapDocument doc;
    exampleMap(doc);
    doc.SetMapModified(true);

    EXPECT_FALSE(
        SaveMapFile(dir.filePath("missing/folder/a.mpd"), doc, TMapFileType::Type1, 32, 32));
    EXPECT_TRUE(doc.MapModified());
    EXPECT_FALSE(SaveMapFile(dir.path(), doc, TMapFileType::Type1, 32, 32)); // a folder
    EXPECT_TRUE(doc.MapModified());

    // An existing longer file is replaced whole, not overwritten in part.
    const QString name = dir.filePath("a.mpd");
    {
        QFile old(name);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1000, 'z'));
    }
    ASSERT_TRUE(SaveMapFile(name, doc, TMapFileType::Type1, 32, 32));
    const QByteArray before = [&] {
        QFile f(name);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    EXPECT_EQ(before, bytes({2, 0, 2, 0, 1, 3, 2, 4}));
}

} // namespace
