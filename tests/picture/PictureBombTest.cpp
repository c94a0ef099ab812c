#include "ChildPeak.h"
#include "PartsStore.h"
#include "PictureBombs.h"
#include "PictureFormats.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

constexpr qint64 MB = 1024 * 1024;
// Far below the 2 GB such pictures would cost if decoded whole.
constexpr qint64 PeakBound = 300 * MB;

class PictureBombs : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The readers' plug-ins load once here, not in each child.
        QImageReader::supportedImageFormats();
    }
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }

    QString write(const QString& name, const QByteArray& data) const
    {
        QFile file(FDir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(data), data.size());
        return file.fileName();
    }

    QTemporaryDir FDir;
};

// Pictures that declare gigabytes are clipped to the sheet or refused, and loading them
// costs far less memory than decoding them whole would (or than the chunk they claim).
TEST_F(PictureBombs, LoadingAPictureThatDeclaresGigabytesStaysSmall)
{
    // The makers make what they say: small ones decode in full.
    const QImage smallPng = QImage::fromData(blackPng(20), "PNG");
    ASSERT_EQ(smallPng.size(), QSize(20, 20));
    EXPECT_EQ(smallPng.pixel(19, 19), qRgb(0, 0, 0));
    for (const bool progressive : {false, true})
        EXPECT_EQ(QImage::fromData(jpegClaiming(40, 30, progressive), "JPEG").size(),
                  QSize(40, 30));

    enum Outcome
    {
        LoadedWhole,
        Clipped,
        Refused
    };
    struct Case
    {
        const char* name;
        QByteArray data;
        Outcome outcome;
    };
    // Only a JPEG read row by row can be clipped cheaply; a progressive one is gathered
    // whole before any row comes out.
    const Case cases[] = {
        {"claims.jpg", jpegClaiming(23000, 23000, false), Clipped},
        {"claims-progressive.jpg", jpegClaiming(23000, 23000, true), Refused},
        {"black.png", blackPng(23170), Refused},
        // A text chunk of 2 GB claimed by a file of 300 bytes.
        {"text-claims.png", pngWithTextClaiming(0x7ffffff0, false), Refused},
        {"text-claims-after-end.png", pngWithTextClaiming(0x7ffffff0, true), LoadedWhole},
    };
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LT(c.data.size(), 4 * MB);
        const QString file = write(QString::fromLatin1(c.name), c.data);
        const QSize sheet(16 * 32, 16 * 32);

        const TChildPeak picture = RunInChild([&] {
            const auto image = formats.LoadPicture(file, {sheet, 512 * MB});
            if (!image)
                return int(Refused);
            return int(image->size() == sheet ? Clipped : LoadedWhole);
        });
        ASSERT_TRUE(picture.Finished);
        EXPECT_EQ(picture.Result, c.outcome);
        EXPECT_LT(picture.PeakBytes, PeakBound);

        const TChildPeak store = RunInChild([&] {
            TPartsStore parts(formats);
            parts.SetPartsSize(32, 32);
            return int(parts.LoadPartsPicture(file) ? Clipped : Refused);
        });
        ASSERT_TRUE(store.Finished);
        EXPECT_EQ(store.Result, c.outcome == LoadedWhole ? Clipped : c.outcome);
        EXPECT_LT(store.PeakBytes, PeakBound);
    }
}

// The limits decide by the size a picture declares: the used area is all that is decoded
// where the reader can clip, and otherwise the whole must fit the largest size.
TEST_F(PictureBombs, LimitsClipOrRefuseByTheDeclaredSize)
{
    struct Case
    {
        const char* format;
        QSize picture;
        QSize used;
        qint64 maxBytes;
        QSize expected; // empty: refused
    };
    const Case cases[] = {
        // PNG cannot clip: the whole picture against the largest size, to the byte.
        {"png", {100, 60}, {}, 100 * 60 * 4, {100, 60}},
        {"png", {100, 60}, {}, 100 * 60 * 4 - 1, {}},
        {"png", {100, 60}, {32, 32}, 100 * 60 * 4, {100, 60}},
        {"png", {100, 60}, {32, 32}, 100 * 60 * 4 - 1, {}},
        {"bmp", {100, 60}, {32, 32}, 100 * 60 * 4 - 1, {}},
        // JPEG decodes only the used area, however small the limit is for the whole.
        {"jpeg", {100, 60}, {32, 20}, 32 * 20 * 4, {32, 20}},
        {"jpeg", {100, 60}, {200, 20}, 100 * 20 * 4, {100, 20}},
        {"jpeg", {100, 60}, {200, 200}, 100 * 60 * 4, {100, 60}},
        {"jpeg", {100, 60}, {200, 200}, 100 * 60 * 4 - 1, {}},
        {"jpeg", {100, 60}, {}, 100 * 60 * 4, {100, 60}},
    };
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.format << " " << c.picture.width() << "x"
                                          << c.picture.height() << " used " << c.used.width() << "x"
                                          << c.used.height() << " max " << c.maxBytes);
        const QImage source = pattern(c.picture.width(), c.picture.height());
        const QString file =
            write(QStringLiteral("p.") + QString::fromLatin1(c.format), encode(source, c.format));
        const auto image = formats.LoadPicture(file, {c.used, c.maxBytes});
        if (c.expected.isEmpty()) {
            EXPECT_FALSE(image);
            continue;
        }
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), c.expected);
        // The clipped area holds the picture's top-left pixels (JPEG: within its loss).
        const QImage whole = QImage(file).convertToFormat(QImage::Format_RGB32);
        for (const QPoint p :
             {QPoint(0, 0), QPoint(c.expected.width() - 1, c.expected.height() - 1)}) {
            const QRgb got = image->pixel(p), want = whole.pixel(p);
            EXPECT_LE(std::abs(qRed(got) - qRed(want)), 2);
            EXPECT_LE(std::abs(qGreen(got) - qGreen(want)), 2);
            EXPECT_LE(std::abs(qBlue(got) - qBlue(want)), 2);
        }
    }
}

// A sheet that is larger than the parts use, or smaller, slices as it always did: clipping
// the decode changes nothing the parts show.
TEST_F(PictureBombs, ClippedSheetsSliceLikeWholeOnes)
{
    struct Case
    {
        const char* format;
        QSize picture;
        int part;
    };
    const Case cases[] = {
        {"jpeg", {600, 560}, 32}, {"jpeg", {70, 50}, 32},   {"jpeg", {512, 512}, 32},
        {"png", {600, 560}, 32},  {"jpeg", {300, 300}, 16}, {"jpeg", {17, 300}, 16},
    };
    const TPictureFormats formats = TPictureFormats::WithQtFormats();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.format << " " << c.picture.width() << "x"
                                          << c.picture.height() << " part " << c.part);
        const QString file =
            write(QStringLiteral("sheet.") + QString::fromLatin1(c.format),
                  encode(pattern(c.picture.width(), c.picture.height()), c.format));
        TPartsStore parts(formats);
        parts.SetPartsSize(uint16_t(c.part), uint16_t(c.part));
        TPartsStore whole(formats);
        whole.SetPartsSize(uint16_t(c.part), uint16_t(c.part));
        ASSERT_TRUE(parts.LoadPartsPicture(file));
        whole.SlicePartsPicture(QImage(file));
        for (int n = 0; n < 256; ++n)
            ASSERT_EQ(parts.PartBitmap(n), whole.PartBitmap(n)) << "part " << n;
    }
}

} // namespace
