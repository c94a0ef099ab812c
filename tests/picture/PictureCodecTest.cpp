#include "PictureCodec.h"

#include <QBuffer>
#include <QtEndian>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <zlib.h>

namespace {

// Colours whose components are 0 or 255, so that 5-bit channels can hold them.
const QList<QRgb> Colours = {qRgb(0, 0, 0),     qRgb(255, 255, 255), qRgb(255, 0, 0),
                             qRgb(0, 255, 0),   qRgb(0, 0, 255),     qRgb(255, 255, 0),
                             qRgb(0, 255, 255), qRgb(255, 0, 255)};

void appendLE16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void appendLE32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

int colourCount(int bpp)
{
    return bpp == 1 ? 2 : int(Colours.size());
}

QRgb expectedColour(int bpp, int x, int y)
{
    return Colours[(3 * x + y) % colourCount(bpp)];
}

// An uncompressed bottom-up BMP file built byte by byte, so that every depth the format
// knows can be stored, not only the ones Qt writes.
QByteArray makeBmp(int bpp, int width, int height)
{
    const int paletteSize = bpp <= 8 ? colourCount(bpp) : 0;
    const int rowBytes = (width * bpp + 31) / 32 * 4;
    const int offBits = 14 + 40 + paletteSize * 4;
    QByteArray f;
    f.append("BM");
    appendLE32(f, offBits + rowBytes * height);
    appendLE32(f, 0);
    appendLE32(f, offBits);
    appendLE32(f, 40);
    appendLE32(f, width);
    appendLE32(f, height);
    appendLE16(f, 1);
    appendLE16(f, bpp);
    appendLE32(f, 0); // BI_RGB
    appendLE32(f, rowBytes * height);
    appendLE32(f, 2835);
    appendLE32(f, 2835);
    appendLE32(f, paletteSize);
    appendLE32(f, 0);
    for (int i = 0; i < paletteSize; ++i) {
        const QRgb c = Colours[i];
        f.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append('\0');
    }
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(rowBytes, '\0');
        auto* p = reinterpret_cast<uchar*>(row.data());
        for (int x = 0; x < width; ++x) {
            const int index = (3 * x + y) % colourCount(bpp);
            const QRgb c = expectedColour(bpp, x, y);
            switch (bpp) {
            case 1:
                p[x / 8] |= uchar(index << (7 - x % 8));
                break;
            case 4:
                p[x / 2] |= uchar(x % 2 ? index : index << 4);
                break;
            case 8:
                p[x] = uchar(index);
                break;
            case 16:
                qToLittleEndian(
                    quint16((qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | qBlue(c) >> 3),
                    p + 2 * x);
                break;
            case 24:
            case 32:
                p[x * bpp / 8] = uchar(qBlue(c));
                p[x * bpp / 8 + 1] = uchar(qGreen(c));
                p[x * bpp / 8 + 2] = uchar(qRed(c));
                break;
            }
        }
        f.append(row);
    }
    return f;
}

QImage makePicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 5 % 256, y * 3 % 256, (x ^ y) % 256));
    }
    return image;
}

// Decodes a block with zlib alone, independently of the codec.
QByteArray inflateAll(const QByteArray& block)
{
    QByteArray out(qMax<qsizetype>(block.size() * 8, 1024), '\0');
    for (;;) {
        uLongf length = uLongf(out.size());
        const int ret =
            uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                       reinterpret_cast<const Bytef*>(block.constData()), uLong(block.size()));
        if (ret == Z_OK)
            return out.left(qsizetype(length));
        if (ret != Z_BUF_ERROR)
            return {};
        out.resize(out.size() * 2);
    }
}

// A block made with zlib alone from content chosen by the test.
QByteArray deflateAll(const QByteArray& content)
{
    uLongf length = compressBound(uLong(content.size()));
    QByteArray out(qsizetype(length), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &length,
              reinterpret_cast<const Bytef*>(content.constData()), uLong(content.size()),
              Z_DEFAULT_COMPRESSION);
    return out.left(qsizetype(length));
}

QByteArray withDistance(int d, const QByteArray& body)
{
    return QByteArray(1, char(d)) + body;
}

QByteArray deltaDecode(const QByteArray& encoded, int d)
{
    QByteArray f = encoded;
    for (qsizetype i = d; d > 0 && i < f.size(); ++i)
        f[i] = char(uchar(f[i]) + uchar(f[i - d]));
    return f;
}

QByteArray compressed(const QByteArray& file)
{
    QByteArray block;
    QBuffer z(&block);
    z.open(QIODevice::WriteOnly);
    compressBmpFile(file, z);
    return block;
}

QByteArray decompressed(QByteArray block, qint64 maxSize = MaxDecompressedSize)
{
    QBuffer z(&block);
    z.open(QIODevice::ReadOnly);
    return decompressBmpFile(z, maxSize);
}

QImage decodedPicture(QByteArray block)
{
    QBuffer z(&block);
    z.open(QIODevice::ReadOnly);
    return DecompressPicture(z);
}

int bitsPerPixel(const QByteArray& bmp)
{
    return qFromLittleEndian<quint16>(bmp.constData() + 28);
}

// Reads like a pipe: peeking works only through QIODevice's own buffer.
class SequentialSource : public QIODevice
{
public:
    explicit SequentialSource(QByteArray data) : FData(std::move(data)) { open(ReadOnly); }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, qint64(FData.size()) - FPos);
        if (n <= 0)
            return -1;
        std::memcpy(data, FData.constData() + FPos, size_t(n));
        FPos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray FData;
    qint64 FPos = 0;
};

} // namespace

TEST(PictureCodec, TwentyFourBitPictureRoundTripsToTheIdenticalBmpFile)
{
    for (const QSize size : {QSize(438, 207), QSize(89, 89), QSize(5, 3), QSize(1, 1)}) {
        SCOPED_TRACE(size.width());
        const QImage picture = makePicture(size.width(), size.height());
        const QByteArray bmp = pictureToBmpFile(picture);
        ASSERT_EQ(bitsPerPixel(bmp), 24);
        EXPECT_EQ(pictureToBmpFile(picture.convertToFormat(QImage::Format_RGB888)), bmp);

        QByteArray block;
        QBuffer z(&block);
        z.open(QIODevice::WriteOnly);
        CompressPicture(picture, z);
        ASSERT_GE(block.size(), 2);
        EXPECT_EQ(uchar(block[0]), 0x78);
        EXPECT_EQ(uchar(block[1]), 0x9C);

        const QByteArray content = inflateAll(block);
        ASSERT_EQ(content.size(), bmp.size() + 1);
        EXPECT_EQ(content[0], 3);
        EXPECT_EQ(deltaDecode(content.mid(1), 3), bmp);

        EXPECT_EQ(decompressed(block), bmp);
        const QImage back = decodedPicture(block);
        EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), picture);
        EXPECT_EQ(pictureToBmpFile(back), bmp);
    }
}

class PictureCodecDepth : public ::testing::TestWithParam<std::pair<int, int>>
{
};

TEST_P(PictureCodecDepth, DistanceFollowsBitsPerPixel)
{
    const auto [bpp, d] = GetParam();
    const QByteArray bmp = makeBmp(bpp, 13, 5);
    EXPECT_EQ(bmpDeltaDistance(bmp), d);

    const QByteArray block = compressed(bmp);
    const QByteArray content = inflateAll(block);
    ASSERT_FALSE(content.isEmpty());
    EXPECT_EQ(content[0], d);
    EXPECT_EQ(content.mid(1, d), bmp.left(d));
    EXPECT_NE(content.mid(1), bmp);
    EXPECT_EQ(deltaDecode(content.mid(1), d), bmp);
    EXPECT_EQ(decompressed(block), bmp);

    // Qt widens 5-bit channels by shifting, so 31 reads as 248.
    const QRgb mask = bpp == 16 ? 0xF8F8F8 : 0xFFFFFF;
    const QImage picture = decodedPicture(block);
    ASSERT_EQ(picture.size(), QSize(13, 5));
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(picture.pixel(x, y) & mask, expectedColour(bpp, x, y) & mask)
                << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(AllDepths, PictureCodecDepth,
                         ::testing::Values(std::pair(1, 1), std::pair(4, 1), std::pair(8, 1),
                                           std::pair(16, 2), std::pair(24, 3), std::pair(32, 4)));

TEST(PictureCodec, FilesThatAreNotBitmapsAreStoredWithoutDelta)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(makePicture(20, 10).save(&buffer, "PNG"));
    EXPECT_EQ(bmpDeltaDistance(png), 0);
    const QByteArray block = compressed(png);
    EXPECT_EQ(inflateAll(block), withDistance(0, png));
    EXPECT_EQ(decompressed(block), png);
    // The stored file must be a bitmap to become a picture.
    EXPECT_THROW(decodedPicture(block), ECompressedDataError);

    QByteArray deep = makeBmp(24, 4, 4);
    qToLittleEndian(quint16(64), deep.data() + 28);
    EXPECT_EQ(bmpDeltaDistance(deep), 0);
    QByteArray oddHeader = makeBmp(24, 4, 4);
    qToLittleEndian(quint32(20), oddHeader.data() + 14);
    EXPECT_EQ(bmpDeltaDistance(oddHeader), 0);
    EXPECT_EQ(bmpDeltaDistance(makeBmp(24, 4, 4).left(30)), 0);
}

TEST(PictureCodec, FilesNotLongerThanTheDistanceAreRestoredAsStored)
{
    EXPECT_EQ(decompressed(deflateAll(withDistance(3, "BM"))), "BM");
    EXPECT_EQ(decompressed(deflateAll(withDistance(4, "ABCD"))), "ABCD");
    EXPECT_EQ(decompressed(deflateAll(withDistance(3, {}))), QByteArray());
    // One byte longer than the distance does take the delta step.
    EXPECT_EQ(decompressed(deflateAll(withDistance(2, "ABC"))), QByteArray("AB") + char('C' + 'A'));

    for (const QByteArray& tiny : {QByteArray(), QByteArray("B"), QByteArray("BM")})
        EXPECT_EQ(decompressed(compressed(tiny)), tiny);
}

TEST(PictureCodec, EmptyAndInvalidStreamsThrow)
{
    EXPECT_THROW(decompressed({}), ECompressedDataError);
    EXPECT_THROW(decompressed(deflateAll({})), ECompressedDataError);
    EXPECT_THROW(decompressed("not a zlib stream at all"), ECompressedDataError);
    for (int d : {5, 6, 255})
        EXPECT_THROW(decompressed(deflateAll(withDistance(d, "BM0123456789"))),
                     ECompressedDataError);

    try {
        decompressed(deflateAll(withDistance(9, "BM")));
        FAIL() << "no error";
    } catch (const ECompressedDataError& e) {
        EXPECT_FALSE(e.Message().isEmpty());
        EXPECT_EQ(QString::fromUtf8(e.what()), e.Message());
    }
}

TEST(PictureCodec, EveryTruncationThrows)
{
    const QByteArray block = compressed(pictureToBmpFile(makePicture(31, 17)));
    for (qsizetype length = 0; length < block.size(); ++length)
        EXPECT_THROW(decompressed(block.left(length)), ECompressedDataError) << length;
}

TEST(PictureCodec, CorruptedBlocksAreRefusedOrHarmless)
{
    const QImage picture = makePicture(40, 30);
    const QByteArray block = compressed(pictureToBmpFile(picture));
    std::mt19937 random(1234);
    auto below = [&](qsizetype n) { return qsizetype(random() % quint32(n)); };

    int refused = 0;
    const int rounds = 3000;
    for (int round = 0; round < rounds; ++round) {
        QByteArray damaged = block;
        const int flips = 1 + int(below(4));
        for (int i = 0; i < flips; ++i)
            damaged[below(damaged.size())] ^= char(1 + below(255));
        if (round % 7 == 0)
            damaged.truncate(below(damaged.size()));
        try {
            // Padding bits at the end of the deflate data are ignored, so a change there
            // may decode; it must then give the very same picture.
            EXPECT_EQ(decodedPicture(damaged), picture) << round;
        } catch (const ECompressedDataError&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, rounds * 9 / 10);

    // Plain noise behind a valid zlib header.
    for (int round = 0; round < 500; ++round) {
        QByteArray noise("\x78\x9C");
        const qsizetype length = below(300);
        for (qsizetype i = 0; i < length; ++i)
            noise.append(char(random()));
        try {
            decodedPicture(noise);
        } catch (const ECompressedDataError&) {
        }
    }
}

TEST(PictureCodec, BrokenBitmapsInsideAValidStreamThrow)
{
    QByteArray huge = makeBmp(24, 4, 4);
    qToLittleEndian(quint32(200000), huge.data() + 18);
    qToLittleEndian(quint32(200000), huge.data() + 22);
    EXPECT_THROW(decodedPicture(compressed(huge)), ECompressedDataError);
    EXPECT_THROW(decodedPicture(compressed(makeBmp(24, 4, 4).left(40))), ECompressedDataError);
}

TEST(PictureCodec, OutputBeyondTheLimitIsRefused)
{
    const QByteArray bomb = deflateAll(withDistance(0, QByteArray(1 << 20, '\0')));
    EXPECT_LT(bomb.size(), 4096);
    EXPECT_THROW(decompressed(bomb, 65536), ECompressedDataError);
    EXPECT_EQ(decompressed(bomb).size(), 1 << 20);
}

TEST(PictureCodec, ReadingStopsAtTheEndOfTheBlock)
{
    const QImage first = makePicture(12, 9);
    const QImage second = makePicture(3, 21);
    QByteArray stream;
    {
        QBuffer z(&stream);
        z.open(QIODevice::WriteOnly);
        CompressPicture(first, z);
        CompressPicture(second, z);
        z.write("TAIL");
    }

    QBuffer buffer(&stream);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_EQ(DecompressPicture(buffer), first);
    EXPECT_EQ(DecompressPicture(buffer), second);
    EXPECT_EQ(buffer.readAll(), "TAIL");

    SequentialSource pipe(stream);
    EXPECT_EQ(DecompressPicture(pipe), first);
    EXPECT_EQ(DecompressPicture(pipe), second);
    EXPECT_EQ(pipe.readAll(), "TAIL");
}

TEST(PictureCodec, FailureLeavesThePictureAlone)
{
    const QImage before = makePicture(7, 7);
    QImage b = before;
    QByteArray damaged = compressed(pictureToBmpFile(makePicture(8, 8)));
    damaged.chop(3);
    QBuffer z(&damaged);
    z.open(QIODevice::ReadOnly);
    EXPECT_THROW(DecompressPicture(b, z), ECompressedDataError);
    EXPECT_EQ(b, before);
}

TEST(PictureCodec, StoringFailuresThrow)
{
    QByteArray sink;
    QBuffer z(&sink);
    z.open(QIODevice::WriteOnly);
    EXPECT_THROW(CompressPicture(QImage(), z), ECompressedDataError);
    QBuffer readOnly(&sink);
    readOnly.open(QIODevice::ReadOnly);
    EXPECT_THROW(CompressPicture(makePicture(2, 2), readOnly), ECompressedDataError);
    EXPECT_THROW(WriteCompressedData(readOnly, "abc"), ECompressedDataError);
}

TEST(CompressedData, ValueIsTheLengthThenTheBlock)
{
    const QByteArray block = compressed(makeBmp(8, 6, 6));
    QByteArray value;
    QBuffer out(&value);
    out.open(QIODevice::WriteOnly);
    WriteCompressedData(out, block);
    out.write("next");
    ASSERT_EQ(value.size(), 4 + block.size() + 4);
    EXPECT_EQ(qFromLittleEndian<qint32>(value.constData()), block.size());
    EXPECT_EQ(value.mid(4, block.size()), block);

    QBuffer in(&value);
    in.open(QIODevice::ReadOnly);
    EXPECT_EQ(ReadCompressedData(in), block);
    EXPECT_EQ(in.readAll(), "next");
}

TEST(CompressedData, ZeroOrNegativeLengthMeansNoPicture)
{
    for (qint32 n : {0, -1, -4096, std::numeric_limits<qint32>::min()}) {
        QByteArray value(4, '\0');
        qToLittleEndian(n, value.data());
        value.append("rest");
        QBuffer in(&value);
        in.open(QIODevice::ReadOnly);
        EXPECT_TRUE(ReadCompressedData(in).isEmpty()) << n;
        EXPECT_EQ(in.pos(), 4);
        EXPECT_TRUE(pictureFromCompressedData(value).isNull());
    }
}

TEST(CompressedData, LengthBeyondTheDataThrows)
{
    auto read = [](qint32 n, const QByteArray& rest) {
        QByteArray value(4, '\0');
        qToLittleEndian(n, value.data());
        value.append(rest);
        QBuffer in(&value);
        in.open(QIODevice::ReadOnly);
        return ReadCompressedData(in);
    };
    EXPECT_EQ(read(5, "12345"), "12345");
    EXPECT_THROW(read(6, "12345"), ECompressedDataError);
    EXPECT_THROW(read(std::numeric_limits<qint32>::max(), "abc"), ECompressedDataError);

    for (const QByteArray& shortField : {QByteArray(), QByteArray("\x05\x00", 2)}) {
        QByteArray copy = shortField;
        QBuffer in(&copy);
        in.open(QIODevice::ReadOnly);
        EXPECT_THROW(ReadCompressedData(in), ECompressedDataError);
    }
}

TEST(CompressedData, PictureGoesToAValueAndBack)
{
    const QImage picture = makePicture(89, 89);
    const QByteArray value = compressedDataFromPicture(picture);
    ASSERT_GT(value.size(), 6);
    EXPECT_EQ(qFromLittleEndian<qint32>(value.constData()), value.size() - 4);
    EXPECT_EQ(uchar(value[4]), 0x78);
    EXPECT_EQ(uchar(value[5]), 0x9C);
    EXPECT_EQ(pictureFromCompressedData(value), picture);

    const QByteArray none = compressedDataFromPicture(QImage());
    EXPECT_EQ(none, QByteArray(4, '\0'));
    EXPECT_TRUE(pictureFromCompressedData(none).isNull());

    QByteArray damaged = value;
    damaged[value.size() / 2] = char(damaged[value.size() / 2] ^ 0x55);
    EXPECT_THROW(pictureFromCompressedData(damaged), ECompressedDataError);
}
