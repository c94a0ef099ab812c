#include "PictureCodec.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>
#include <QtEndian>
#include <algorithm>
#include <limits>
#include <zlib.h>

ECompressedDataError::ECompressedDataError(const QString& message)
    : std::runtime_error(message.toStdString()), FMessage(message)
{
}

namespace {

constexpr qsizetype BufferSize = 16384;
// zlib counts in 32-bit unsigned; larger inputs go in pieces.
constexpr qsizetype MaxZlibPiece = qsizetype(1) << 20;

constexpr int FileHeaderSize = 14;
constexpr int CoreHeaderSize = 12;
constexpr int InfoHeaderSize = 40;

[[noreturn]] void fail(const QString& message)
{
    throw ECompressedDataError(message);
}

void writeAll(QIODevice& z, const char* data, qint64 size)
{
    if (size > 0 && z.write(data, size) != size)
        fail(QStringLiteral("圧縮データを書き込めません"));
}

// Releases the zlib state however the coder is left.
class DeflateStream
{
public:
    DeflateStream()
    {
        if (deflateInit(&FStream, Z_DEFAULT_COMPRESSION) != Z_OK)
            fail(QStringLiteral("圧縮を開始できません"));
    }
    ~DeflateStream() { deflateEnd(&FStream); }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;

    // Compresses data into z; the last call finishes the zlib stream.
    void write(QIODevice& z, const uchar* data, qsizetype size, bool last)
    {
        char out[BufferSize];
        qsizetype offset = 0;
        do {
            const qsizetype piece = std::min(size - offset, MaxZlibPiece);
            FStream.next_in = const_cast<Bytef*>(data + offset);
            FStream.avail_in = uInt(piece);
            offset += piece;
            const int flush = last && offset == size ? Z_FINISH : Z_NO_FLUSH;
            do {
                FStream.next_out = reinterpret_cast<Bytef*>(out);
                FStream.avail_out = uInt(sizeof out);
                if (deflate(&FStream, flush) == Z_STREAM_ERROR)
                    fail(QStringLiteral("圧縮に失敗しました"));
                writeAll(z, out, qint64(sizeof out - FStream.avail_out));
            } while (FStream.avail_out == 0);
        } while (offset < size);
    }

private:
    z_stream FStream{};
};

class InflateStream
{
public:
    InflateStream()
    {
        if (inflateInit(&FStream) != Z_OK)
            fail(QStringLiteral("展開を開始できません"));
    }
    ~InflateStream() { inflateEnd(&FStream); }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    z_stream& stream() { return FStream; }

private:
    z_stream FStream{};
};

quint32 readLE32(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

quint16 readLE16(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

} // namespace

int bmpDeltaDistance(const QByteArray& file)
{
    if (file.size() < FileHeaderSize + CoreHeaderSize || !file.startsWith("BM"))
        return 0;
    const quint32 headerSize = readLE32(file, FileHeaderSize);
    int bitsPerPixel;
    if (headerSize == CoreHeaderSize) {
        bitsPerPixel = readLE16(file, FileHeaderSize + 10); // OS/2 bitmaps
    } else if (headerSize >= InfoHeaderSize && file.size() >= FileHeaderSize + InfoHeaderSize) {
        bitsPerPixel = readLE16(file, FileHeaderSize + 14);
    } else {
        return 0;
    }
    const int d = bitsPerPixel / 8;
    if (d == 0)
        return 1;
    return d <= 4 ? d : 0;
}

QByteArray pictureToBmpFile(const QImage& picture)
{
    if (picture.isNull())
        fail(QStringLiteral("圧縮する画像がありません"));
    // Qt writes every RGB picture, with or without alpha, as a 24-bit file, and indexed and
    // monochrome pictures with their colour tables.
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "BMP"))
        fail(QStringLiteral("画像をビットマップにできません"));
    return file;
}

void CompressPicture(const QImage& picture, QIODevice& z)
{
    compressBmpFile(pictureToBmpFile(picture), z);
}

void compressBmpFile(const QByteArray& file, QIODevice& z)
{
    QByteArray t = file;
    const int d = bmpDeltaDistance(t);
    if (d > 0) {
        // Downwards, so that each difference is taken against a byte not yet encoded.
        auto* p = reinterpret_cast<uchar*>(t.data());
        for (qsizetype i = t.size() - 1; i >= d; --i)
            p[i] = uchar(p[i] - p[i - d]);
    }
    DeflateStream deflater;
    const uchar head = uchar(d);
    deflater.write(z, &head, 1, false);
    deflater.write(z, reinterpret_cast<const uchar*>(t.constData()), t.size(), true);
}

QByteArray decompressBmpFile(QIODevice& z, qint64 maxSize)
{
    InflateStream inflater;
    z_stream& s = inflater.stream();
    QByteArray t;
    char in[BufferSize];
    char out[BufferSize];
    qint64 consumedTotal = 0;
    bool ended = false;
    while (!ended) {
        // Peek and then skip only what zlib used, so the device is left right after the
        // block even when more data follows it.
        const qint64 got = z.peek(in, sizeof in);
        if (got <= 0)
            break;
        s.next_in = reinterpret_cast<Bytef*>(in);
        s.avail_in = uInt(got);
        do {
            s.next_out = reinterpret_cast<Bytef*>(out);
            s.avail_out = uInt(sizeof out);
            const int ret = inflate(&s, Z_NO_FLUSH);
            if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_STREAM_ERROR)
                fail(QStringLiteral("圧縮データが壊れています"));
            if (ret == Z_MEM_ERROR)
                fail(QStringLiteral("圧縮データを展開するメモリが足りません"));
            const qint64 produced = qint64(sizeof out - s.avail_out);
            if (t.size() + produced > maxSize)
                fail(QStringLiteral("圧縮データの展開結果が大きすぎます"));
            t.append(out, produced);
            if (ret == Z_STREAM_END) {
                ended = true;
                break;
            }
        } while (s.avail_out == 0);
        const qint64 used = got - s.avail_in;
        consumedTotal += used;
        if (z.skip(used) != used)
            fail(QStringLiteral("圧縮データを読み込めません"));
    }
    if (!ended) {
        fail(consumedTotal == 0 ? QStringLiteral("圧縮データがありません")
                                : QStringLiteral("圧縮データが途中で終わっています"));
    }
    if (t.isEmpty())
        fail(QStringLiteral("圧縮データが空です"));

    const int d = uchar(t.at(0));
    if (d > 4)
        fail(QStringLiteral("圧縮データの差分間隔 %1 は不正です").arg(d));
    t.remove(0, 1);
    if (d != 0 && t.size() > d) {
        auto* p = reinterpret_cast<uchar*>(t.data());
        for (qsizetype i = d; i < t.size(); ++i)
            p[i] = uchar(p[i] + p[i - d]);
    }
    return t;
}

void DecompressPicture(QImage& b, QIODevice& z)
{
    QByteArray file = decompressBmpFile(z);
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    // The block holds a bitmap; anything else is as unreadable as a broken bitmap.
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    QImage image = reader.read();
    if (image.isNull())
        fail(QStringLiteral("圧縮データのビットマップを読み込めません"));
    b = std::move(image);
}

QImage DecompressPicture(QIODevice& z)
{
    QImage image;
    DecompressPicture(image, z);
    return image;
}

void WriteCompressedData(QIODevice& stream, const QByteArray& compressedBlock)
{
    if (compressedBlock.size() > std::numeric_limits<qint32>::max())
        fail(QStringLiteral("圧縮データが大きすぎます"));
    const qint32 n = qint32(compressedBlock.size());
    char length[4];
    qToLittleEndian(n, length);
    writeAll(stream, length, sizeof length);
    writeAll(stream, compressedBlock.constData(), n);
}

QByteArray ReadCompressedData(QIODevice& stream)
{
    char length[4];
    if (stream.read(length, sizeof length) != qint64(sizeof length))
        fail(QStringLiteral("圧縮データの長さを読み込めません"));
    const qint32 n = qFromLittleEndian<qint32>(length);
    if (n <= 0)
        return {};
    // In pieces, so that a forged length costs no more memory than the stream holds.
    QByteArray block;
    while (block.size() < n) {
        const QByteArray piece = stream.read(std::min<qint64>(n - block.size(), BufferSize));
        if (piece.isEmpty())
            fail(QStringLiteral("圧縮データの長さがデータの大きさを超えています"));
        block.append(piece);
    }
    return block;
}

QByteArray compressedDataFromPicture(const QImage& picture)
{
    // The compressed data, held only while the value is made.
    QByteArray CompressedStream;
    if (!picture.isNull()) {
        QBuffer blockBuffer(&CompressedStream);
        blockBuffer.open(QIODevice::WriteOnly);
        CompressPicture(picture, blockBuffer);
    }
    QByteArray value;
    QBuffer valueBuffer(&value);
    valueBuffer.open(QIODevice::WriteOnly);
    WriteCompressedData(valueBuffer, CompressedStream);
    return value;
}

QImage pictureFromCompressedData(const QByteArray& value)
{
    QByteArray copy = value;
    QBuffer valueBuffer(&copy);
    valueBuffer.open(QIODevice::ReadOnly);
    QByteArray CompressedStream = ReadCompressedData(valueBuffer);
    if (CompressedStream.isEmpty())
        return {};
    QBuffer blockBuffer(&CompressedStream);
    blockBuffer.open(QIODevice::ReadOnly);
    return DecompressPicture(blockBuffer);
}
