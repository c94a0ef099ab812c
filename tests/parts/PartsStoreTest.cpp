#include "PartsTestSupport.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

const QRgb Grey = qRgb(128, 128, 128);
const QRgb White = qRgb(255, 255, 255);

class PartsStoreTest : public ::testing::Test
{
protected:
    TPictureFormats Formats = TPictureFormats::WithQtFormats();
    TPartsStore Store{Formats};
    std::vector<bool> ModifiedSignals;

    void SetUp() override
    {
        QObject::connect(&Store, &TPartsStore::partsModifiedChanged,
                         [this](bool modified) { ModifiedSignals.push_back(modified); });
    }

    // The placeholders of a size, as a second store makes them.
    std::vector<QImage> placeholders(uint16_t width, uint16_t height)
    {
        TPartsStore fresh(Formats);
        fresh.SetPartsSize(width, height);
        return snapshotParts(fresh);
    }
};

TEST_F(PartsStoreTest, StartsWithNumberedPlaceholders)
{
    EXPECT_EQ(Store.PartWidth(), 32);
    EXPECT_EQ(Store.PartHeight(), 32);
    EXPECT_FALSE(Store.IsPartsModified());
    EXPECT_FALSE(Store.HasCopyBuffer());
    EXPECT_TRUE(Store.FileName().isEmpty());

    Store.SetPartsSize(64, 64);
    for (int n : {0, 123, 255}) {
        const QImage& part = Store.PartBitmap(n);
        ASSERT_EQ(part.size(), QSize(64, 64));
        EXPECT_EQ(part.format(), QImage::Format_RGB32);
        int greyNearCorner = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const QRgb pixel = part.pixel(x, y);
                ASSERT_TRUE(pixel == White || pixel == Grey) << n << " at " << x << "," << y;
                if (pixel == Grey && (x >= 40 || y >= 24))
                    ADD_FAILURE() << "grey far from the corner in part " << n << " at " << x << ","
                                  << y;
                if (pixel == Grey && x < 24 && y < 16)
                    ++greyNearCorner;
            }
        }
        EXPECT_GT(greyNearCorner, 5) << n;
    }
    // The number is what tells placeholders apart.
    EXPECT_NE(Store.PartBitmap(1), Store.PartBitmap(2));
    EXPECT_NE(Store.PartBitmap(12), Store.PartBitmap(21));

    // At a tiny size the number is clipped, not spilled.
    Store.SetPartsSize(3, 2);
    EXPECT_EQ(Store.PartBitmap(188).size(), QSize(3, 2));
}

TEST_F(PartsStoreTest, SetPartsSizeResetsEverything)
{
    fillWithGraphics(Store);
    Store.SetPartsModified();
    Store.SetFileName(QStringLiteral("parts.bmp"));
    ASSERT_TRUE(Store.CopySelectedParts(0, 0, 1, 1));
    std::vector<bool> bufferSignals;
    QObject::connect(&Store, &TPartsStore::copyBufferChanged,
                     [&](bool available) { bufferSignals.push_back(available); });

    // Also at the same size every part turns back into its placeholder.
    Store.SetPartsSize(32, 32);
    EXPECT_EQ(snapshotParts(Store), placeholders(32, 32));
    EXPECT_FALSE(Store.IsPartsModified());
    EXPECT_EQ(ModifiedSignals, (std::vector<bool>{true, false}));
    EXPECT_FALSE(Store.HasCopyBuffer());
    EXPECT_EQ(Store.CopyBufferWidth(), 0);
    EXPECT_TRUE(Store.CopyBuffer()[0].isNull());
    EXPECT_EQ(bufferSignals, std::vector<bool>{false});
    EXPECT_TRUE(Store.FileName().isEmpty());

    Store.SetPartsSize(16, 8);
    EXPECT_EQ(Store.PartWidth(), 16);
    EXPECT_EQ(Store.PartHeight(), 8);
    EXPECT_EQ(snapshotParts(Store), placeholders(16, 8));
    // Emptying an empty buffer is no change.
    EXPECT_EQ(bufferSignals, std::vector<bool>{false});
}

TEST_F(PartsStoreTest, ZeroPartSizeIsRefusedAndChangesNothing)
{
    fillWithGraphics(Store);
    Store.SetPartsModified();
    const auto before = snapshotParts(Store);

    EXPECT_THROW(Store.SetPartsSize(0, 32), std::invalid_argument);
    EXPECT_THROW(Store.SetPartsSize(32, 0), std::invalid_argument);
    EXPECT_EQ(Store.PartWidth(), 32);
    EXPECT_EQ(Store.PartHeight(), 32);
    EXPECT_EQ(snapshotParts(Store), before);
    EXPECT_TRUE(Store.IsPartsModified());
}

TEST_F(PartsStoreTest, PartNumbersOutsideTheSheetAreRefused)
{
    EXPECT_THROW(Store.PartBitmap(256), std::out_of_range);
    EXPECT_THROW(Store.ResetPart(-1), std::out_of_range);
    EXPECT_THROW(Store.CapturePart(300, patternPicture(32, 32), 0, 0), std::out_of_range);
}

TEST_F(PartsStoreTest, CaptureCopiesInPlace)
{
    const QImage source = patternPicture(100, 80);
    QImage& part = Store.PartBitmap(5);
    const QImage heldCopy = part;
    const QImage oldPixels = part.copy();

    Store.CapturePart(5, source, 10, 20);
    EXPECT_EQ(&Store.PartBitmap(5), &part);
    EXPECT_EQ(part, source.copy(10, 20, 32, 32));
    // A copy taken before shares nothing with the changed part.
    EXPECT_EQ(heldCopy, oldPixels);
}

TEST_F(PartsStoreTest, CaptureOutsideTheSourceChangesNothing)
{
    const QImage source = patternPicture(100, 80);
    const QImage before = Store.PartBitmap(7).copy();
    Store.CapturePart(7, source, 100, 0);
    Store.CapturePart(7, source, 0, 80);
    Store.CapturePart(7, source, -32, 0);
    Store.CapturePart(7, source, 0, -40);
    Store.CapturePart(7, source, std::numeric_limits<int>::min(), 0);
    Store.CapturePart(7, QImage(), 0, 0);
    EXPECT_EQ(Store.PartBitmap(7), before);
}

TEST_F(PartsStoreTest, CaptureReachingPastTheEdgeFillsWhite)
{
    const QImage source = patternPicture(40, 40);
    Store.CapturePart(1, source, 20, 30);
    EXPECT_EQ(Store.PartBitmap(1), expectedCapture(source, 20, 30, 32, 32));
    EXPECT_EQ(Store.PartBitmap(1).pixel(19, 9), source.pixel(39, 39));
    EXPECT_EQ(Store.PartBitmap(1).pixel(20, 0), White);

    // Above and left of the source as well.
    Store.CapturePart(2, source, -8, -4);
    EXPECT_EQ(Store.PartBitmap(2), expectedCapture(source, -8, -4, 32, 32));
}

TEST_F(PartsStoreTest, CaptureAcceptsAnySourceFormat)
{
    const QImage rgb = patternPicture(32, 32);
    for (QImage::Format format :
         {QImage::Format_ARGB32, QImage::Format_RGB888, QImage::Format_ARGB32_Premultiplied}) {
        Store.CapturePart(3, rgb.convertToFormat(format), 0, 0);
        EXPECT_EQ(Store.PartBitmap(3), rgb) << format;
    }
    const QImage indexed = rgb.convertToFormat(QImage::Format_Indexed8);
    Store.CapturePart(4, indexed, 0, 0);
    EXPECT_EQ(Store.PartBitmap(4), indexed.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(Store.PartBitmap(4).format(), QImage::Format_RGB32);
}

TEST_F(PartsStoreTest, CaptureFromThePartItself)
{
    fillWithGraphics(Store);
    const QImage original = Store.PartBitmap(3).copy();
    Store.CapturePart(3, Store.PartBitmap(3), 4, 2);
    EXPECT_EQ(Store.PartBitmap(3), expectedCapture(original, 4, 2, 32, 32));
}

TEST_F(PartsStoreTest, SliceFullSheetAndComposeRoundTrip)
{
    Store.SetPartsSize(8, 4);
    const QImage sheet = patternPicture(128, 64, 5);
    Store.SlicePartsPicture(sheet);
    for (int n = 0; n < 256; ++n)
        ASSERT_EQ(Store.PartBitmap(n), sheet.copy((n % 16) * 8, (n / 16) * 4, 8, 4)) << n;

    // Whatever the picture was, it becomes the sheet.
    QImage composed(5, 5, QImage::Format_ARGB32);
    Store.ComposePartsPicture(composed);
    EXPECT_EQ(composed.format(), QImage::Format_RGB32);
    EXPECT_EQ(composed, sheet);
}

TEST_F(PartsStoreTest, SliceSmallPictureTakesOnlyCoveredParts)
{
    const auto blank = placeholders(32, 32);
    const QImage picture = patternPicture(40, 40);
    Store.SlicePartsPicture(picture.convertToFormat(QImage::Format_RGB888));
    for (int n = 0; n < 256; ++n) {
        const int x = (n % 16) * 32;
        const int y = (n / 16) * 32;
        if (n == 0 || n == 1 || n == 16 || n == 17) {
            EXPECT_EQ(Store.PartBitmap(n), expectedCapture(picture, x, y, 32, 32)) << n;
        } else {
            EXPECT_EQ(Store.PartBitmap(n), blank[n]) << n;
        }
    }
}

TEST_F(PartsStoreTest, SliceLargePictureUsesTopLeftSheet)
{
    Store.SetPartsSize(4, 4);
    const QImage picture = patternPicture(20 * 4, 20 * 4, 2);
    Store.SlicePartsPicture(picture);
    QImage composed;
    Store.ComposePartsPicture(composed);
    EXPECT_EQ(composed, picture.copy(0, 0, 64, 64));
}

TEST_F(PartsStoreTest, SlicePartialSheetKeepsOtherGraphics)
{
    fillWithGraphics(Store, 1);
    const auto before = snapshotParts(Store);
    const QImage picture = patternPicture(4 * 32, 4 * 32, 9);
    Store.SlicePartsPicture(picture);
    for (int n = 0; n < 256; ++n) {
        const bool covered = n % 16 < 4 && n / 16 < 4;
        if (covered) {
            EXPECT_EQ(Store.PartBitmap(n), picture.copy((n % 16) * 32, (n / 16) * 32, 32, 32));
        } else {
            EXPECT_EQ(Store.PartBitmap(n), before[n]) << n;
        }
    }
}

class DrawPartTest : public PartsStoreTest
{
protected:
    const QRgb Background = qRgb(10, 200, 30);
    QImage Canvas{300, 300, QImage::Format_RGB32};

    void SetUp() override
    {
        PartsStoreTest::SetUp();
        Canvas.fill(Background);
    }

    // Checks that the canvas outside the rectangle was not touched.
    void expectUntouchedOutside(const QRect& drawn)
    {
        for (int y = 0; y < Canvas.height(); y += 3) {
            for (int x = 0; x < Canvas.width(); x += 3) {
                if (!drawn.contains(x, y)) {
                    ASSERT_EQ(Canvas.pixel(x, y), Background) << x << "," << y;
                }
            }
        }
    }
};

TEST_F(DrawPartTest, OneToOneReproducesThePart)
{
    fillWithGraphics(Store);
    {
        QPainter painter(&Canvas);
        Store.DrawPart(painter, QRect(16, 24, 32, 32), 77);
    }
    EXPECT_EQ(Canvas.copy(16, 24, 32, 32), Store.PartBitmap(77));
    expectUntouchedOutside(QRect(16, 24, 32, 32));
}

TEST_F(DrawPartTest, EnlargesWithoutSmoothing)
{
    fillWithGraphics(Store);
    const QImage& part = Store.PartBitmap(40);
    const QRect target(5, 7, 96, 96);
    {
        QPainter painter(&Canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        Store.DrawPart(painter, target, 40);
        EXPECT_TRUE(painter.testRenderHint(QPainter::SmoothPixmapTransform));
    }
    for (int y = 0; y < 96; ++y) {
        for (int x = 0; x < 96; ++x) {
            ASSERT_EQ(Canvas.pixel(target.x() + x, target.y() + y), part.pixel(x / 3, y / 3))
                << x << "," << y;
        }
    }
    expectUntouchedOutside(target);
}

TEST_F(DrawPartTest, CombinesByThePaintersMode)
{
    fillWithGraphics(Store);
    const QImage& part = Store.PartBitmap(9);
    {
        QPainter painter(&Canvas);
        Store.DrawPart(painter, QRect(0, 0, 32, 32), 9, cmNotSrcCopy);
        EXPECT_EQ(painter.compositionMode(), QPainter::CompositionMode_SourceOver);
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        Store.DrawPart(painter, QRect(40, 0, 32, 32), 9);
    }
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QRgb source = part.pixel(x, y) & 0xffffff;
            ASSERT_EQ(Canvas.pixel(x, y) & 0xffffff, ~source & 0xffffff);
            ASSERT_EQ(Canvas.pixel(40 + x, y) & 0xffffff, source ^ (Background & 0xffffff));
        }
    }
}

TEST_F(DrawPartTest, PatternCopyFillsWithTheBrush)
{
    const QRect target(50, 60, 20, 10);
    {
        QPainter painter(&Canvas);
        painter.setBrush(QColor(200, 0, 100));
        Store.DrawPart(painter, target, 0, cmPatCopy);
    }
    for (int y = target.top(); y <= target.bottom(); ++y) {
        for (int x = target.left(); x <= target.right(); ++x)
            ASSERT_EQ(Canvas.pixel(x, y), qRgb(200, 0, 100));
    }
    expectUntouchedOutside(target);
}

TEST_F(DrawPartTest, ZoomedIsSquareAtTheZoomSize)
{
    Store.SetPartsSize(32, 16);
    fillWithGraphics(Store);
    const QImage& part = Store.PartBitmap(200);
    {
        QPainter painter(&Canvas);
        // Only the target's top-left counts.
        Store.DrawPartZoomed(painter, QRect(10, 20, 5, 5), 200, 256);
    }
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x)
            ASSERT_EQ(Canvas.pixel(10 + x, 20 + y), part.pixel(x / 8, y / 16)) << x << "," << y;
    }
    expectUntouchedOutside(QRect(10, 20, 256, 256));
}

class PartsFileTest : public PartsStoreTest
{
protected:
    QTemporaryDir Dir;

    QString path(const QString& name) const { return Dir.filePath(name); }
};

TEST_F(PartsFileTest, LoadBmpSheetRemembersNameAndClearsModified)
{
    const QImage sheet = patternPicture(512, 512, 3);
    ASSERT_TRUE(sheet.save(path("sheet.bmp"), "BMP"));
    Store.SetPartsModified();

    ASSERT_TRUE(Store.LoadPartsPicture(path("sheet.bmp")));
    QImage composed;
    Store.ComposePartsPicture(composed);
    EXPECT_EQ(composed, sheet);
    EXPECT_EQ(Store.FileName(), path("sheet.bmp"));
    EXPECT_FALSE(Store.IsPartsModified());
    EXPECT_EQ(ModifiedSignals, (std::vector<bool>{true, false}));
}

TEST_F(PartsFileTest, LoadPngCoveringFourParts)
{
    const QImage picture = patternPicture(40, 40, 4);
    ASSERT_TRUE(picture.save(path("small.png"), "PNG"));
    const auto blank = placeholders(32, 32);

    ASSERT_TRUE(Store.LoadPartsPicture(path("small.png")));
    EXPECT_EQ(Store.PartBitmap(0), picture.copy(0, 0, 32, 32));
    EXPECT_EQ(Store.PartBitmap(17), expectedCapture(picture, 32, 32, 32, 32));
    EXPECT_EQ(Store.PartBitmap(2), blank[2]);
    EXPECT_EQ(Store.PartBitmap(32), blank[32]);
}

TEST_F(PartsFileTest, FailedLoadChangesNothing)
{
    fillWithGraphics(Store);
    Store.SetFileName(path("before.bmp"));
    Store.SetPartsModified();
    const auto before = snapshotParts(Store);
    ModifiedSignals.clear();

    ASSERT_TRUE(patternPicture(512, 512).save(path("sheet.qqq"), "BMP"));
    QFile damaged(path("damaged.bmp"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("BM this is no bitmap at all");
    damaged.close();
    // A PNG under a BMP name: the extension chooses the reader.
    ASSERT_TRUE(patternPicture(64, 64).save(path("png.bmp"), "PNG"));

    for (const QString& name : {QStringLiteral("sheet.qqq"), QStringLiteral("damaged.bmp"),
                                QStringLiteral("missing.png"), QStringLiteral("png.bmp")}) {
        EXPECT_FALSE(Store.LoadPartsPicture(path(name))) << name.toStdString();
        EXPECT_EQ(snapshotParts(Store), before) << name.toStdString();
        EXPECT_EQ(Store.FileName(), path("before.bmp"));
        EXPECT_TRUE(Store.IsPartsModified());
    }
    EXPECT_TRUE(ModifiedSignals.empty());
}

TEST_F(PartsFileTest, WriteUsesTheFormatTheNameSaysAndNeverWritesOverAnotherFormat)
{
    struct Case
    {
        const char* name;
        QByteArray format; // empty: refused
    };
    const Case cases[] = {
        {"sheet.png", "PNG"}, {"sheet.PNG", "PNG"}, {"sheet.bmp", "BMP"}, {"sheet", "BMP"},
        {"sheet.dat", "BMP"}, {"sheet.jpg", ""},    {"sheet.jpeg", ""},   {"sheet.gif", ""},
    };
    Store.SetPartsSize(8, 8);
    fillWithGraphics(Store, 6);
    QImage composed;
    Store.ComposePartsPicture(composed);
    for (const Case& c : cases) {
        const QString name = path(QString::fromLatin1(c.name));
        EXPECT_EQ(Store.SheetFormatFor(name), c.format) << c.name;
        Store.SetPartsModified();
        if (c.format.isEmpty()) {
            // A file of such a format stays as it was, and the parts stay modified.
            QFile old(name);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old");
            old.close();
            EXPECT_THROW(Store.WritePartsPicture(name), std::runtime_error) << c.name;
            EXPECT_TRUE(Store.IsPartsModified()) << c.name;
            QFile kept(name);
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), QByteArray("old")) << c.name;
            continue;
        }
        Store.WritePartsPicture(name);
        EXPECT_FALSE(Store.IsPartsModified()) << c.name;
        EXPECT_TRUE(Store.FileName().isEmpty()) << c.name;
        QImageReader reader(name);
        EXPECT_EQ(reader.format(), c.format.toLower()) << c.name;
        EXPECT_EQ(reader.read().convertToFormat(QImage::Format_RGB32), composed) << c.name;
    }
}

TEST_F(PartsFileTest, FailedWriteThrowsAndStaysModified)
{
    Store.SetPartsModified();
    const QString target = path("no-such-folder/sheet.bmp");
    try {
        Store.WritePartsPicture(target);
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        const QString text = QString::fromUtf8(error.what());
        EXPECT_TRUE(text.startsWith(QStringLiteral("パーツ画像を保存できません: ")))
            << error.what();
        EXPECT_TRUE(text.contains(QDir::toNativeSeparators(target))) << error.what();
    }
    EXPECT_TRUE(Store.IsPartsModified());
    EXPECT_FALSE(QFile::exists(target));
}

TEST_F(PartsStoreTest, ModifiedSignalOnlyOnChange)
{
    Store.SetPartsModified();
    Store.SetPartsModified();
    EXPECT_TRUE(Store.IsPartsModified());
    Store.ClearPartsModified();
    Store.ClearPartsModified();
    EXPECT_FALSE(Store.IsPartsModified());
    EXPECT_EQ(ModifiedSignals, (std::vector<bool>{true, false}));
}

} // namespace
