// The plug-in bitmap: the order of the readers, what the plug-ins are given, the retry after
// a header, progress, every colour depth, and plug-ins whose results lie.
#include "SPIBmp.h"

#include "SPIs.h"
#include "SpiTestSupport.h"

#include <QBuffer>
#include <QFileInfo>
#include <limits>
#include <memory>

using namespace spitest;

namespace {

const QString Unrecognised = QStringLiteral("認識できない画像形式です");

struct BitmapFixture : ::testing::Test
{
    void SetUp() override
    {
        TSPIBitmap::InitializeUnit();
        Formats = TPictureFormats::WithQtFormats();
        Manager = std::make_unique<TSPIs>(Formats);
        Manager->AppDir = App.path();
    }
    void TearDown() override { Manager.reset(); }

    TSPI* add(const char* name)
    {
        Manager->Add(TSPIs::LoadPlugin(builtPlugin(QString::fromLatin1(name))));
        return Manager->Item(Manager->Count() - 1);
    }
    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = Files.filePath(name);
        writeFile(path, bytes);
        return path;
    }
    // Loads the file and gives the error text, empty when it loaded.
    QString load(TSPIBitmap& bitmap, const QString& fileName)
    {
        try {
            bitmap.LoadFromFile(fileName);
            return {};
        } catch (const EInvalidGraphic& e) {
            return e.message();
        }
    }

    TPictureFormats Formats;
    std::unique_ptr<TSPIs> Manager;
    QTemporaryDir App, Files;
    CallLog Log;
};

Script scriptOf(const Dib& dib)
{
    Script s;
    s.Picture = dib;
    return s;
}

QString hexOf(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

TEST_F(BitmapFixture, ShortDataIsPaddedToTwoKilobytesForIsSupportedOnly)
{
    add("tp_in");
    QByteArray data = scriptOf(dib24(4, 3)).bytes();
    ASSERT_LT(data.size(), 1000);
    data.append(QByteArray(1000 - data.size(), '\x5a'));
    TSPIBitmap bitmap;
    EXPECT_EQ(load(bitmap, file(QStringLiteral("p.tpic"), data)), QString());
    EXPECT_EQ(bitmap.Image().size(), QSize(4, 3));

    const auto lines = Log.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].Call, QStringLiteral("IS"));
    EXPECT_EQ(lines[0].Args[0], Files.filePath(QStringLiteral("p.tpic")));
    QByteArray padded = data;
    padded.append(QByteArray(2048 - 1000, '\0'));
    EXPECT_EQ(lines[0].Args[2], hexOf(padded));
    // The same buffer, with the true length.
    EXPECT_EQ(lines[1].Call, QStringLiteral("INFO"));
    EXPECT_EQ(lines[1].Args, (QStringList{lines[0].Args[1], "1000"}));
    EXPECT_EQ(lines[2].Call, QStringLiteral("PIC"));
    EXPECT_EQ(lines[2].Args.mid(0, 2), (QStringList{lines[0].Args[1], "1000"}));
}

TEST_F(BitmapFixture, RejectedDataIsRetriedAfterItsFirst128BytesWhenLonger)
{
    add("tp_in");
    struct Row
    {
        int Size;
        bool Retry;
        int ExpectedIsCalls;
    };
    const Row rows[] = {{1, true, 1},    {128, true, 1},   {129, true, 2},
                        {3000, true, 2}, {3000, false, 1}, {129, false, 1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Size);
        Log.clear();
        QByteArray junk(r.Size, '\0');
        for (int i = 0; i < r.Size; ++i)
            junk[i] = char(i * 3 + 1);
        TSPIBitmap bitmap;
        bitmap.SkipHeaderRetry = r.Retry;
        EXPECT_EQ(load(bitmap, file(QStringLiteral("junk.tpic"), junk)), Unrecognised);
        const auto lines = Log.lines();
        ASSERT_EQ(int(lines.size()), r.ExpectedIsCalls);
        if (r.ExpectedIsCalls == 2) {
            // The retry sees the data from byte 128 (padded when short).
            QByteArray rest = junk.mid(128);
            if (rest.size() < 2048)
                rest.append(QByteArray(2048 - rest.size(), '\0'));
            EXPECT_EQ(lines[1].Args[2], hexOf(rest.left(2048)));
        }
    }

    // A picture behind a 128-byte header is read on the retry, with the shorter length.
    Log.clear();
    const QByteArray picture = QByteArray(128, 'h') + scriptOf(dib24(2, 2)).bytes();
    TSPIBitmap bitmap;
    EXPECT_EQ(load(bitmap, file(QStringLiteral("header.tpic"), picture)), QString());
    EXPECT_EQ(bitmap.Image().size(), QSize(2, 2));
    EXPECT_EQ(Log.calls(), (QStringList{"IS tp_in", "IS tp_in", "INFO tp_in", "PIC tp_in"}));
    EXPECT_EQ(Log.lines()[3].Args[1], QString::number(picture.size() - 128));
}

TEST_F(BitmapFixture, TheExtensionDecidesWhetherTheNativeReaderOrThePluginsGoFirst)
{
    add("tp_bmp"); // claims bmp, but reads only its own scripts
    add("tp_in");
    const QByteArray bmp = bmpFile(20, 10);
    ASSERT_GT(bmp.size(), 128);
    QByteArray damaged = bmp;
    damaged[0] = 'X';
    struct Row
    {
        const char* Name;
        QByteArray Data;
        QStringList Calls;
        bool Loads;
    };
    const Row rows[] = {
        // A valid BMP by name is the native reader's, whatever plug-in claims bmp.
        {"a.bmp", bmp, {}, true},
        {"a.BMP", bmp, {}, true},
        // A damaged one goes to the plug-ins, those claiming bmp first.
        {"b.bmp", damaged, {"IS tp_bmp", "IS tp_bmp", "IS tp_in", "IS tp_in"}, false},
        // Any other name: the plug-ins first, then the native reader.
        {"c.tpic", bmp, {"IS tp_in", "IS tp_in", "IS tp_bmp", "IS tp_bmp"}, true},
        {"noext", bmp, {}, true},
        {"d.tpic", scriptOf(dib24(1, 1)).bytes(), {"IS tp_in", "INFO tp_in", "PIC tp_in"}, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Name);
        Log.clear();
        TSPIBitmap bitmap;
        const QString error = load(bitmap, file(QString::fromLatin1(r.Name), r.Data));
        EXPECT_EQ(error.isEmpty(), r.Loads) << qPrintable(error);
        EXPECT_EQ(Log.calls(), r.Calls);
    }
}

TEST_F(BitmapFixture, StreamsAreReadFromTheirStartAndWithoutANameTheNativeReaderGoesFirst)
{
    add("tp_in");
    for (const QByteArray& data : {bmpFile(), scriptOf(dib24(2, 1)).bytes()}) {
        Log.clear();
        QByteArray bytes = data;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        buffer.seek(bytes.size()); // wherever it stands
        TSPIBitmap bitmap;
        bitmap.LoadFromStream(buffer);
        EXPECT_FALSE(bitmap.Image().isNull());
        if (data.startsWith("BM")) {
            EXPECT_TRUE(Log.calls().isEmpty());
        } else {
            ASSERT_FALSE(Log.lines().empty());
            EXPECT_EQ(Log.lines()[0].Args[0], QString()) << "no name";
        }
    }
    // With a name, as if read from such a file; a file stream is read once, from its start.
    // Through the load-by-name handler, which is the bitmap's own load.
    Log.clear();
    const QString path = file(QStringLiteral("s.bin"), scriptOf(dib24(3, 1)).bytes());
    QFile stream(path);
    ASSERT_TRUE(stream.open(QIODevice::ReadOnly));
    stream.seek(10);
    TSPIBitmap bitmap;
    bitmap.OnLoadFromStreamWithName()(stream, QStringLiteral("/x/named.tpic"));
    EXPECT_EQ(bitmap.Image().size(), QSize(3, 1));
    EXPECT_EQ(Log.lines()[0].Args[0], QStringLiteral("/x/named.tpic"));
}

TEST_F(BitmapFixture, ForcedPluginIsTheOnlyOneTriedAndTheNativeReaderStillFollows)
{
    TSPI* other = add("tp_other");
    add("tp_in");
    auto* forced = dynamic_cast<TInSPI*>(other);
    ASSERT_TRUE(forced);
    struct Row
    {
        const char* Name;
        QByteArray Data;
        bool Loads;
    };
    const Row rows[] = {
        {"a.tpic", bmpFile(), true},                      // rejected, then the native reader
        {"b.tpic", scriptOf(dib24(1, 1)).bytes(), false}, // tp_in could, but is not asked
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Name);
        Log.clear();
        TSPIBitmap bitmap;
        bitmap.ForcedSPI = forced;
        TSPIBitmap copy;
        copy.Assign(bitmap);
        EXPECT_EQ(copy.ForcedSPI, forced);
        const QString error = load(copy, file(QString::fromLatin1(r.Name), r.Data));
        EXPECT_EQ(error.isEmpty(), r.Loads);
        for (const QString& call : Log.calls())
            EXPECT_EQ(call, QStringLiteral("IS tp_other"));
    }
}

TEST(SPIBitmapAlone, WithoutAManagerOnlyTheNativeReaderIsTried)
{
    ASSERT_EQ(TSPIs::ActiveSPIs(), nullptr);
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("a.tpic"));
    writeFile(script, scriptOf(dib24(1, 1)).bytes());
    const QString bmp = dir.filePath(QStringLiteral("b.tpic"));
    writeFile(bmp, bmpFile(5, 4));
    TSPIBitmap bitmap;
    try {
        bitmap.LoadFromFile(script);
        ADD_FAILURE() << "loaded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.message(), Unrecognised);
    }
    bitmap.LoadFromFile(bmp);
    EXPECT_EQ(bitmap.Image().size(), QSize(5, 4));
    EXPECT_EQ(QRgb(bitmap.Image().pixel(4, 3)) & 0xffffff, colourAt(4, 3) & 0xffffff);
    EXPECT_THROW(bitmap.LoadFromFile(dir.filePath(QStringLiteral("missing.tpic"))), EFOpenError);
}

TEST_F(BitmapFixture, FailureCodesMoveOnToTheNextPluginAndInformationIsOptional)
{
    add("tp_png_a");
    add("tp_png_b");
    struct Row
    {
        const char* Name;
        uint32_t InfoResult, PictureResult;
        QByteArray Text;
        bool Loads;
        bool HasInfo;
        QString Info;
    };
    const Row rows[] = {
        {"plain", 0, 0, {}, true, true, {}},
        {"info fails", SPI_NOT_SUPPORT, 0, {}, true, false, {}},
        {"picture fails", 0, SPI_OUT_OF_ORDER, {}, false, true, {}},
        {"no memory", 0, SPI_NO_MEMORY, {}, false, true, {}},
        {"text with a NUL", 0, 0, QByteArray("about\0rest", 10), true, true, "about"},
        {"text without a NUL", 0, 0, QByteArray("whole"), true, true, "whole"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Name);
        Log.clear();
        Script s = scriptOf(dib24(2, 3));
        s.InfoResult = r.InfoResult;
        s.PictureResult = r.PictureResult;
        s.Text = r.Text;
        s.Width = 2;
        s.Height = 3;
        s.Depth = 24;
        s.XDensity = 72;
        TSPIBitmap bitmap;
        const QString error = load(bitmap, file(QStringLiteral("x.png"), s.bytes()));
        EXPECT_EQ(error.isEmpty(), r.Loads);
        if (r.Loads) {
            EXPECT_EQ(Log.calls(), (QStringList{"IS tp_png_b", "INFO tp_png_b", "PIC tp_png_b"}));
            const TPictureInfoRec& info = bitmap.LastPictureInfo();
            EXPECT_EQ(info.HasInfo, r.HasInfo);
            EXPECT_EQ(info.Info, r.Info);
            if (r.HasInfo) {
                EXPECT_EQ(info.Width, 2);
                EXPECT_EQ(info.Height, 3);
                EXPECT_EQ(info.ColorDepth, 24);
                EXPECT_EQ(info.XDensity, 72);
            }
        } else {
            // Each plug-in in turn; then Qt's own reader.
            EXPECT_EQ(Log.calls().filter(QStringLiteral("PIC")),
                      (QStringList{"PIC tp_png_b", "PIC tp_png_a"}));
        }
    }
}

struct ProgressEvent
{
    TProgressStage Stage;
    int Percent;
    bool Redraw;
    QRect Rect;
    bool operator==(const ProgressEvent&) const = default;
};

TEST_F(BitmapFixture, ProgressRunsFromStartThroughOneToNinetyNineToEnd)
{
    add("tp_in");
    Script s = scriptOf(dib24(6, 5));
    const int32_t big = std::numeric_limits<int32_t>::max();
    s.Progress = {{0, 100},       {50, 100}, {100, 100}, {1, 3},   {2, 3}, {big, big},
                  {big / 2, big}, {7, 0},    {-5, 10},   {20, 10}, {3, -4}};
    TSPIBitmap bitmap;
    bitmap.LoadFromFile(file(QStringLiteral("small.bmp"), bmpFile(2, 1)));
    std::vector<ProgressEvent> events;
    bitmap.OnProgress = [&](TProgressStage stage, int percent, bool redraw, const QRect& rect,
                            const QString& message) {
        EXPECT_TRUE(message.isEmpty());
        events.push_back({stage, percent, redraw, rect});
    };
    bitmap.LoadFromFile(file(QStringLiteral("p.tpic"), s.bytes()));
    const QRect before(0, 0, 2, 1), after(0, 0, 6, 5);
    const std::vector<ProgressEvent> expected = {
        {psStarting, 0, false, before},
        {psRunning, 1, false, before},
        {psRunning, 50, false, before},
        {psRunning, 99, false, before},
        {psRunning, 34, false, before}, // 32.67 rounds to 33
        {psRunning, 66, false, before}, // 65.33 rounds to 65
        {psRunning, 99, false, before},
        {psRunning, 50, false, before},
        // a zero total tells nothing; counts outside the total stay within 1 to 99
        {psRunning, 1, false, before},
        {psRunning, 99, false, before},
        {psRunning, 1, false, before},
        {psEnding, 100, true, after},
    };
    EXPECT_EQ(events, expected);
}

TEST_F(BitmapFixture, AHandlerCanStopThePluginAndOtherErrorsPassOnAfterTheEnd)
{
    add("tp_in");
    Script s = scriptOf(dib24(2, 2));
    s.Progress = {{1, 4}, {2, 4}, {3, 4}};
    const QString name = file(QStringLiteral("p.tpic"), s.bytes());

    std::vector<TProgressStage> stages;
    TSPIBitmap bitmap;
    bitmap.OnProgress = [&](TProgressStage stage, int percent, bool, const QRect&, const QString&) {
        stages.push_back(stage);
        if (stage == psRunning && percent > 40)
            throw EAbort();
    };
    EXPECT_EQ(load(bitmap, name), Unrecognised);
    // Going on at 26 %, stopped at 50 %.
    QStringList answers;
    for (const LogLine& line : Log.lines()) {
        if (line.Call == u"PROG")
            answers << line.Args;
    }
    EXPECT_EQ(answers, (QStringList{"0", "1"}));
    EXPECT_EQ(stages.front(), psStarting);
    EXPECT_EQ(stages.back(), psEnding);
    EXPECT_TRUE(bitmap.Image().isNull());

    Log.clear();
    stages.clear();
    bitmap.OnProgress = [&](TProgressStage stage, int, bool, const QRect&, const QString&) {
        stages.push_back(stage);
        if (stage == psRunning)
            throw std::runtime_error("handler failed");
    };
    try {
        bitmap.LoadFromFile(name);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "handler failed");
    }
    EXPECT_EQ(stages, (std::vector<TProgressStage>{psStarting, psRunning, psEnding}));
    EXPECT_EQ(Log.calls(), (QStringList{"IS tp_in", "INFO tp_in", "PIC tp_in", "PROG tp_in"}));
}

// A picture of every depth the native reader reads: w x h of palette indices or colours.
struct DepthCase
{
    const char* Name;
    int Depth;
    uint32_t Used;    // colours used, as the header says
    int TableEntries; // entries the block really holds
};

Dib dibOfDepth(const DepthCase& c, int w, int h, bool topDown, QImage& expected)
{
    QList<QRgb> table;
    for (int i = 0; i < c.TableEntries; ++i)
        table << qRgb(i * 3 % 256, 255 - i % 256, i * 11 % 256);
    Dib d{infoHeader(w, topDown ? -h : h, uint16_t(c.Depth), c.Used, table),
          QByteArray(rowBytes(w, c.Depth) * h, '\0')};
    expected = QImage(w, h, QImage::Format_RGB32);
    const int colours = c.Depth <= 8 ? (c.Used ? int(c.Used) : 1 << c.Depth) : 0;
    for (int y = 0; y < h; ++y) {
        char* row = d.Bits.data() + (topDown ? y : h - 1 - y) * rowBytes(w, c.Depth);
        for (int x = 0; x < w; ++x) {
            QRgb colour;
            if (c.Depth <= 8) {
                const int index = (x * 5 + y * 3) % colours;
                colour = table[index];
                const int perByte = 8 / c.Depth;
                const int shift = 8 - c.Depth * (x % perByte + 1);
                row[x / perByte] = char(uchar(row[x / perByte]) | (index << shift));
            } else if (c.Depth == 16) {
                // 5-5-5, each part at its ends so that no rounding can differ
                const int r = (x & 1) * 31, g = (y & 1) * 31, b = ((x + y) % 3 == 0) * 31;
                const uint16_t v = uint16_t(r << 10 | g << 5 | b);
                row[2 * x] = char(v & 0xff);
                row[2 * x + 1] = char(v >> 8);
                // the native reader keeps the 5 bits: 31 reads as 248
                colour = qRgb(r << 3, g << 3, b << 3);
            } else {
                colour = colourAt(x, y);
                const int bytes = c.Depth / 8;
                row[bytes * x] = char(qBlue(colour));
                row[bytes * x + 1] = char(qGreen(colour));
                row[bytes * x + 2] = char(qRed(colour));
            }
            expected.setPixel(x, y, colour);
        }
    }
    return d;
}

TEST_F(BitmapFixture, EveryColourDepthGivesTheSamePixelsBottomUpAndTopDown)
{
    add("tp_in");
    const DepthCase cases[] = {
        {"1 bit", 1, 0, 2},
        {"4 bits, count 0", 4, 0, 16},
        {"4 bits, 5 colours", 4, 5, 5},
        {"8 bits", 8, 0, 256},
        {"8 bits, 20 colours", 8, 20, 20},
        {"16 bits", 16, 0, 0},
        {"24 bits", 24, 0, 0},
        {"32 bits", 32, 0, 0},
        {"24 bits with a table", 24, 3, 3},
    };
    for (const DepthCase& c : cases) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(std::string(c.Name) + (topDown ? " top-down" : " bottom-up"));
            QImage expected;
            const int w = 13, h = 7;
            const Dib d = dibOfDepth(c, w, h, topDown, expected);
            TSPIBitmap bitmap;
            ASSERT_EQ(load(bitmap, file(QStringLiteral("d.tpic"), scriptOf(d).bytes())), QString());
            ASSERT_EQ(bitmap.Image().size(), QSize(w, h));
            const QImage got = bitmap.Image().convertToFormat(QImage::Format_RGB32);
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    ASSERT_EQ(got.pixel(x, y) & 0xffffff, expected.pixel(x, y) & 0xffffff)
                        << "at " << x << "," << y;
                }
            }
            if (c.Depth == 4 && c.Used == 0) {
                EXPECT_EQ(bitmap.Image().colorCount(), 16);
            }
            if (c.Depth == 8) {
                EXPECT_EQ(bitmap.Image().colorCount(), c.TableEntries);
            }
        }
    }
}

TEST_F(BitmapFixture, PluginsThatLieAboutTheirBlocksGiveUnrecognisedFormat)
{
    add("tp_in");
    const Dib good = dib24(8, 4);
    auto withHeader = [](Dib d, int offset, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            d.Info[offset + i] = char((value >> (8 * i)) & 0xff);
        return d;
    };
    struct Row
    {
        const char* Name;
        Dib Blocks;
    };
    const Row rows[] = {
        {"no header", {QByteArray(), good.Bits}},
        {"header cut short", {good.Info.left(39), good.Bits}},
        {"no bits", {good.Info, QByteArray()}},
        {"bits one byte short", {good.Info, good.Bits.left(good.Bits.size() - 1)}},
        {"wider than its bits", withHeader(good, 4, 9, 4)},
        {"taller than its bits", withHeader(good, 8, 5, 4)},
        {"top-down, taller than its bits", withHeader(good, 8, uint32_t(-5), 4)},
        {"huge width", withHeader(good, 4, 0x7fffffff, 4)},
        {"width zero", withHeader(good, 4, 0, 4)},
        {"negative width", withHeader(good, 4, uint32_t(-8), 4)},
        {"height zero", withHeader(good, 8, 0, 4)},
        {"lowest height", withHeader(good, 8, 0x80000000u, 4)},
        {"depth 7", withHeader(good, 14, 7, 2)},
        {"depth 0", withHeader(good, 14, 0, 2)},
        {"colours beyond the block", withHeader(good, 32, 2, 4)},
        {"colours beyond any block", withHeader(good, 32, 0xffffffffu, 4)},
        {"8 bits without their table", {infoHeader(8, 4, 8, 0), QByteArray(32, '\0')}},
        {"8 bits, 300 colours",
         {infoHeader(8, 4, 8, 300, QList<QRgb>(300, 0)), QByteArray(32, '\0')}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Name);
        TSPIBitmap bitmap;
        EXPECT_EQ(load(bitmap, file(QStringLiteral("l.tpic"), scriptOf(r.Blocks).bytes())),
                  Unrecognised);
        EXPECT_TRUE(bitmap.Image().isNull());
    }
    TSPIBitmap bitmap;
    EXPECT_EQ(load(bitmap, file(QStringLiteral("g.tpic"), scriptOf(good).bytes())), QString());
}

TEST_F(BitmapFixture, PicturesOverTheLimitAreRefused)
{
    add("tp_in");
    struct Row
    {
        int W, H;
        qint64 MaxBytes;
        bool Loads;
    };
    const Row rows[] = {
        {15, 15, 900, true}, {15, 16, 900, false}, {20, 20, 1600, true}, {20, 20, 1599, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.W << "x" << r.H << " in " << r.MaxBytes);
        TSPIBitmap bitmap;
        bitmap.Limits.MaxBytes = r.MaxBytes;
        const QString error =
            load(bitmap, file(QStringLiteral("big.tpic"), scriptOf(dib24(r.W, r.H)).bytes()));
        EXPECT_EQ(error.isEmpty(), r.Loads);
    }
    // 2 GB is the limit whatever the caller allows: the header alone is refused.
    TSPIBitmap bitmap;
    bitmap.Limits.MaxBytes = std::numeric_limits<qint64>::max();
    bool loaded = false;
    const QByteArray info = infoHeader(32768, 16385, 1, 0, {0, 0});
    const QByteArray bits(16, '\0');
    EXPECT_THROW(bitmap.AssignDIB(info.constData(), size_t(info.size()), bits.constData(),
                                  size_t(bits.size()), {}, loaded),
                 EInvalidGraphic);
    EXPECT_FALSE(loaded);
}

TEST_F(BitmapFixture, RegisteredExtensionsLoadThroughTheFormatsUntilWithdrawn)
{
    installPlugin(App.path(), QStringLiteral("tp_in"));
    Manager->Search();
    ASSERT_EQ(Manager->Count(), 1);
    const QString name = file(QStringLiteral("sheet.tpic"), scriptOf(dib24(9, 2)).bytes());
    const std::optional<QImage> image = Formats.LoadPicture(name);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(9, 2));
    EXPECT_EQ(image->pixel(8, 1) & 0xffffff, colourAt(8, 1) & 0xffffff);
    // The caller's limit reaches the plug-in path.
    TPictureLimits small;
    small.MaxBytes = 9 * 2 * 4 - 1;
    EXPECT_FALSE(Formats.LoadPicture(name, small));
    TSPIBitmap::FinalizeUnit(Formats);
    EXPECT_FALSE(Formats.LoadPicture(name));
}

} // namespace
