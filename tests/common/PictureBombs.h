#pragma once

// Small picture files that declare huge pictures, made in memory for tests.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>
#include <gtest/gtest.h>
#include <zlib.h>

// A picture whose every pixel differs from its neighbours.
inline QImage pattern(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 7) & 255, (y * 5) & 255, ((x + y) * 3) & 255));
    }
    return image;
}

inline QByteArray encode(const QImage& image, const char* format, bool progressive = false)
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
inline QByteArray jpegClaiming(int width, int height, bool progressive)
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

inline void pngChunk(QByteArray& png, const char* type, const QByteArray& body)
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
inline QByteArray blackPng(int side)
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

// A small valid PNG followed by the start of a text chunk that claims `length` bytes, of
// which the file holds a few: libpng sets aside the claimed length before it reads.
// Before the end chunk, the decoder reads it; after it, nothing does.
inline QByteArray pngWithTextClaiming(quint32 length, bool afterEnd)
{
    QByteArray png = blackPng(20);
    QByteArray text(4, '\0');
    qToBigEndian<quint32>(length, text.data());
    text += QByteArray("tEXtComment\0short", 17);
    png.insert(afterEnd ? png.size() : png.size() - 12, text);
    return png;
}
