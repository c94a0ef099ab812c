#include "PictureFormats.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace {

QImage makePicture()
{
    QImage image(6, 4, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(40 * x, 60 * y, 200));
    }
    return image;
}

// A reader that marks its pictures, so a test can see which decoder ran.
TPictureReader markingReader(QRgb mark)
{
    return [mark](const QString&, const TPictureLimits&) {
        QImage image(1, 1, QImage::Format_RGB32);
        image.fill(mark);
        return image;
    };
}

QRgb decodedMark(const TPictureFormats& formats, const QString& fileName)
{
    const std::optional<QImage> image = formats.LoadPicture(fileName);
    return image ? image->pixel(0, 0) : 0;
}

class PictureFormatsFiles : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }

    QString path(const QString& name) const { return FDir.filePath(name); }

    QString writeFile(const QString& name, const QByteArray& data) const
    {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
        return path(name);
    }

    QByteArray fileData(const QImage& image, const char* format) const
    {
        const QString name = path(QStringLiteral("tmp.") + QString::fromLatin1(format));
        EXPECT_TRUE(image.save(name, format));
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }

    QTemporaryDir FDir;
};

} // namespace

TEST(PictureFormats, QtFormatsAreFoundWhateverTheSpelling)
{
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    for (const QString ext : {"bmp", "png"}) {
        const TPictureFormat* f = formats.Find(ext);
        ASSERT_NE(f, nullptr) << ext.toStdString();
        EXPECT_EQ(f->Owner, TPictureFormats::QtOwner);
        EXPECT_EQ(f->Extension, ext);
        EXPECT_EQ(formats.Find(ext.toUpper()), f);
        EXPECT_EQ(formats.Find(QStringLiteral(".") + ext), f);
        EXPECT_EQ(formats.Find(QStringLiteral(".") + ext.toUpper()), f);
    }
    EXPECT_EQ(formats.Find(QStringLiteral("qqq")), nullptr);
    EXPECT_EQ(formats.Find(QString()), nullptr);
}

TEST(PictureFormats, LatestRegistrationWinsUntilItsOwnerWithdraws)
{
    TPictureFormats formats = TPictureFormats::WithQtFormats();
    const qsizetype qtCount = formats.Extensions().size();

    formats.Register(QStringLiteral(".BMP"), QStringLiteral("first plug-in"),
                     markingReader(qRgb(1, 0, 0)), QStringLiteral("a.spi"));
    formats.Register(QStringLiteral("bmp"), QStringLiteral("second plug-in"),
                     markingReader(qRgb(2, 0, 0)), QStringLiteral("b.spi"));
    formats.Register(QStringLiteral("Pic"), QStringLiteral("pic"), markingReader(qRgb(3, 0, 0)),
                     QStringLiteral("b.spi"));

    EXPECT_EQ(formats.Find(QStringLiteral("bmp"))->Owner, QStringLiteral("b.spi"));
    EXPECT_EQ(formats.Find(QStringLiteral(".pic"))->Extension, QStringLiteral("pic"));
    EXPECT_EQ(decodedMark(formats, QStringLiteral("/nowhere/x.BMP")), qRgb(2, 0, 0));
    EXPECT_EQ(decodedMark(formats, QStringLiteral("x.pic")), qRgb(3, 0, 0));
    // Extensions are listed once each, in the order they first appeared.
    EXPECT_EQ(formats.Extensions().size(), qtCount + 1);
    EXPECT_EQ(formats.Extensions().last(), QStringLiteral("pic"));
    EXPECT_EQ(formats.NameFilters().size(), formats.Extensions().size() + 1);
    EXPECT_TRUE(formats.NameFilters().contains(QStringLiteral("second plug-in (*.bmp)")));

    formats.Unregister(QStringLiteral("b.spi"));
    EXPECT_EQ(formats.Find(QStringLiteral("bmp"))->Owner, QStringLiteral("a.spi"));
    EXPECT_EQ(formats.Find(QStringLiteral("pic")), nullptr);
    EXPECT_EQ(decodedMark(formats, QStringLiteral("x.bmp")), qRgb(1, 0, 0));

    formats.Unregister(QStringLiteral("a.spi"));
    EXPECT_EQ(formats.Find(QStringLiteral("bmp"))->Owner, TPictureFormats::QtOwner);
    EXPECT_EQ(formats.Extensions().size(), qtCount);
}

TEST(PictureFormats, EntriesWithoutExtensionOrReaderAreIgnored)
{
    TPictureFormats formats;
    formats.Register(QString(), QStringLiteral("none"), markingReader(1), QStringLiteral("p"));
    formats.Register(QStringLiteral("."), QStringLiteral("dot"), markingReader(1),
                     QStringLiteral("p"));
    formats.Register(QStringLiteral("abc"), QStringLiteral("no reader"), TPictureReader(),
                     QStringLiteral("p"));
    EXPECT_TRUE(formats.Entries().empty());
}

TEST_F(PictureFormatsFiles, GoodBmpAndPngLoad)
{
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    const QImage picture = makePicture();
    for (const char* format : {"bmp", "png"}) {
        const QString name = writeFile(QStringLiteral("good.") + QString::fromLatin1(format),
                                       fileData(picture, format));
        const std::optional<QImage> loaded = formats.LoadPicture(name);
        ASSERT_TRUE(loaded.has_value()) << format;
        EXPECT_EQ(loaded->convertToFormat(QImage::Format_RGB32), picture) << format;
    }
    // The extension's case does not matter.
    const QString upper = writeFile(QStringLiteral("GOOD.BMP"), fileData(picture, "bmp"));
    EXPECT_TRUE(formats.LoadPicture(upper).has_value());
}

TEST_F(PictureFormatsFiles, APartsSheetLargerThanQtsDefaultLimitLoads)
{
    // 16 parts of 363 x 363 a side: 5808 x 5808 pixels, about 135 MB once decoded, more
    // than Qt allows a picture unless told otherwise.
    QImage sheet(5808, 5808, QImage::Format_RGB32);
    sheet.fill(QColor(12, 34, 56));
    const QString name = writeFile(QStringLiteral("sheet.png"), fileData(sheet, "png"));
    sheet = QImage();
    const std::optional<QImage> loaded = TPictureFormats::WithQtFormats().LoadPicture(name);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->size(), QSize(5808, 5808));
    EXPECT_EQ(loaded->pixelColor(5807, 5807), QColor(12, 34, 56));
}

TEST_F(PictureFormatsFiles, UnreadableFilesGiveNothing)
{
    TPictureFormats formats = TPictureFormats::WithQtFormats();
    const QByteArray png = fileData(makePicture(), "png");
    const QByteArray bmp = fileData(makePicture(), "bmp");

    EXPECT_FALSE(formats.LoadPicture(writeFile(QStringLiteral("picture.qqq"), png)));
    EXPECT_FALSE(formats.LoadPicture(writeFile(QStringLiteral("noextension"), png)));
    EXPECT_FALSE(formats.LoadPicture(writeFile(QStringLiteral("png.bmp"), png)));
    EXPECT_FALSE(formats.LoadPicture(writeFile(QStringLiteral("bmp.png"), bmp)));
    EXPECT_FALSE(formats.LoadPicture(writeFile(QStringLiteral("garbage.bmp"), "BM garbage")));
    EXPECT_FALSE(formats.LoadPicture(writeFile(QStringLiteral("header.bmp"), bmp.left(30))));
    EXPECT_FALSE(formats.LoadPicture(writeFile(QStringLiteral("empty.png"), {})));
    EXPECT_FALSE(formats.LoadPicture(path(QStringLiteral("missing.bmp"))));

    formats.Register(
        QStringLiteral("bad"), QStringLiteral("throws"),
        [](const QString&, const TPictureLimits&) -> QImage {
            throw std::runtime_error("decoder broke");
        },
        QStringLiteral("p"));
    formats.Register(
        QStringLiteral("nul"), QStringLiteral("null"),
        [](const QString&, const TPictureLimits&) { return QImage(); }, QStringLiteral("p"));
    EXPECT_FALSE(formats.LoadPicture(writeFile(QStringLiteral("x.bad"), png)));
    EXPECT_FALSE(formats.LoadPicture(writeFile(QStringLiteral("x.nul"), png)));
}

// Qt's BMP reader stops where a cut file ends: the rows it never reached come out white
// (palette entry 0 for a palette picture), whatever the memory held before, whichever way
// up the rows are stored.
TEST_F(PictureFormatsFiles, ABmpCutShortGivesBlankRowsNotStrayMemory)
{
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    constexpr int W = 40;
    constexpr int H = 30;
    constexpr int KeptRows = 12; // a bottom-up file: the bottom rows come first
    QImage colours(W, H, QImage::Format_RGB32);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x)
            colours.setPixel(x, y, qRgb(6 * x, 8 * y, 90));
    }
    const QImage sources[] = {
        colours,                                                               // 24 bits
        colours.convertToFormat(QImage::Format_ARGB32),                        // 32 bits
        colours.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither), // palette
    };
    for (const bool topDown : {false, true}) {
        for (const QImage& source : sources) {
            SCOPED_TRACE(::testing::Message() << source.format() << (topDown ? " top down" : ""));
            QByteArray whole = fileData(source, "bmp");
            const qint64 dataStart = qFromLittleEndian<quint32>(whole.constData() + 10);
            const int bitsPerPixel = qFromLittleEndian<quint16>(whole.constData() + 28);
            const qint64 rowBytes = (qint64(W) * bitsPerPixel + 31) / 32 * 4;
            ASSERT_EQ(dataStart + rowBytes * H, whole.size());
            if (topDown) {
                // The same picture with its rows stored from the top: a negative height.
                qToLittleEndian<qint32>(-H, whole.data() + 22);
                QByteArray rows;
                for (int row = H - 1; row >= 0; --row)
                    rows += whole.mid(dataStart + row * rowBytes, rowBytes);
                whole = whole.left(dataStart) + rows;
            }
            const QString name =
                writeFile(QStringLiteral("cut.bmp"), whole.left(dataStart + rowBytes * KeptRows));

            // Memory of the picture's size, freed just before, full of a pattern.
            {
                const auto stray = std::make_unique<char[]>(size_t(W) * H * 4);
                std::memset(stray.get(), 0x5a, size_t(W) * H * 4);
                asm volatile("" : : "r"(stray.get()) : "memory");
            }
            const std::optional<QImage> loaded = formats.LoadPicture(name);
            ASSERT_TRUE(loaded.has_value());
            ASSERT_EQ(loaded->size(), QSize(W, H));
            const QRgb blank = loaded->colorCount() > 0 ? loaded->color(0) : qRgb(255, 255, 255);
            for (int y = 0; y < H; ++y) {
                for (int x = 0; x < W; ++x) {
                    const bool kept = topDown ? y < KeptRows : y >= H - KeptRows;
                    const QRgb want = kept ? source.pixel(x, y) : blank;
                    ASSERT_EQ(loaded->pixel(x, y) | 0xff000000u, want | 0xff000000u)
                        << "pixel " << x << ", " << y;
                }
            }
        }
    }
}
