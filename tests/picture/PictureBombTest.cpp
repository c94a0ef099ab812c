#include "ChildPeak.h"
#include "PartsStore.h"
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

QImage pattern(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 7) & 255, (y * 5) & 255, ((x + y) * 3) & 255));
    }
    return image;
}

QByteArray encode(const QImage& image, const char* format, bool progressive = false)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(image));
    return data;
}

// A small real JPEG whose frame header then claims width x height pixels: a few hundred
// bytes that a decoder would expand to the claimed size, the missing data read as grey.
QByteArray jpegClaiming(int width, int height, bool progressive)
{
    QByteArray data = encode(pattern(16, 16), "jpeg", progressive);
    for (int i = 2; i + 9 < data.size(); ++i) {
        const uchar m = uchar(data[i + 1]);
        if (uchar(data[i]) == 0xFF && (m == 0xC0 || m == 0xC2)) {
            qToBigEndian<quint16>(quint16(height), data.data() + i + 5);
            qToBigEndian<quint16>(quint16(width), data.data() + i + 7);
            return data;
        }
    }
    ADD_FAILURE() << "no frame header in the encoded JPEG";
    return data;
}

void pngChunk(QByteArray& png, const char* type, const QByteArray& body)
{
    char length[4];
    qToBigEndian<quint32>(quint32(body.size()), length);
    png.append(length, 4);
    const QByteArray typed = QByteArray(type, 4) + body;
    png.append(typed);
    char crc[4];
    qToBigEndian<quint32>(
        quint32(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size()))),
        crc);
    png.append(crc, 4);
}

// A complete, valid RGB PNG of side x side black pixels, side a multiple of ten: about a
// megabyte and a half of file for 2 GB of decoded picture. Ten rows are deflated once and
// the piece repeated: a full flush ends each piece, so none refers back into another.
QByteArray blackPng(int side)
{
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(side), header.data());
    qToBigEndian<quint32>(quint32(side), header.data() + 4);
    header[8] = 8; // bits per sample
    header[9] = 2; // RGB
    pngChunk(png, "IHDR", header);

    constexpr int Rows = 10;
    // Each row: the filter byte, then the pixels.
    const QByteArray piece(Rows * (1 + 3 * qsizetype(side)), '\0');
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
    const auto deflateSome = [&z](const QByteArray& in, int flush) {
        QByteArray out(qsizetype(deflateBound(&z, uLong(in.size()))) + 64, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        z.avail_in = uInt(in.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = uInt(out.size());
        EXPECT_NE(deflate(&z, flush), Z_STREAM_ERROR);
        EXPECT_EQ(z.avail_in, 0u);
        out.truncate(out.size() - z.avail_out);
        return out;
    };
    const QByteArray deflatedPiece = deflateSome(piece, Z_FULL_FLUSH);
    const QByteArray end = deflateSome({}, Z_FINISH);
    deflateEnd(&z);

    QByteArray data("\x78\xda", 2);
    const uLong pieceSum =
        adler32(1, reinterpret_cast<const Bytef*>(piece.constData()), uInt(piece.size()));
    uLong sum = 1;
    for (int y = 0; y < side; y += Rows) {
        data += deflatedPiece;
        sum = adler32_combine(sum, pieceSum, z_off_t(piece.size()));
    }
    data += end;
    char trailer[4];
    qToBigEndian<quint32>(quint32(sum), trailer);
    data.append(trailer, 4);
    pngChunk(png, "IDAT", data);
    pngChunk(png, "IEND", {});
    return png;
}

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
// costs far less memory than decoding them whole would.
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
