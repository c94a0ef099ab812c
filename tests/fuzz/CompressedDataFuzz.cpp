// The "CompressedData" decoder against arbitrary bytes. The first byte's low two bits say
// what the rest is:
//  0  a whole stored value (a length, then a zlib stream);
//  1  the inflated content of a block (the delta distance, then the delta-encoded file),
//     compressed here, so that the search works on the bitmap rather than on zlib's bits;
//  2  a file, compressed and decompressed again: every file must come back byte for byte;
//  3  a bare zlib block, decompressed with a small output limit.
// Whatever decodes to a picture must store and read back as the same picture.

#include "FuzzCheck.h"
#include "PictureCodec.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QtEndian>
#include <cstdint>
#include <new>
#include <zlib.h>

namespace {

constexpr qint64 SmallLimit = 64 * 1024;
// A few bytes of bitmap header can declare a picture of hundreds of megabytes that decodes
// in no time (its memory is never touched); storing it again would take seconds per input.
// The encoder takes the same paths for 128 x 128 pixels as for more.
constexpr qint64 MaxStoredBackPixels = qint64(1) << 14;

QByteArray zlibCompressed(const QByteArray& content)
{
    uLongf size = compressBound(uLong(content.size()));
    QByteArray out(qsizetype(size), '\0');
    QM_FUZZ_CHECK(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                            reinterpret_cast<const Bytef*>(content.constData()),
                            uLong(content.size()), Z_BEST_SPEED) == Z_OK);
    out.truncate(qsizetype(size));
    return out;
}

QByteArray storedValue(const QByteArray& block)
{
    QByteArray value(4, '\0');
    qToLittleEndian(qint32(block.size()), value.data());
    return value + block;
}

// A decoded picture stores and decodes again as itself (in colour: the stored bitmap has
// no alpha), and the second generation is stable to the last bit.
void checkStoresBack(const QImage& picture)
{
    if (picture.isNull() || qint64(picture.width()) * picture.height() > MaxStoredBackPixels)
        return;
    const QImage again = pictureFromCompressedData(compressedDataFromPicture(picture));
    QM_FUZZ_CHECK(!again.isNull());
    QM_FUZZ_CHECK(again.size() == picture.size());
    if (!picture.hasAlphaChannel())
        QM_FUZZ_CHECK(again.convertToFormat(QImage::Format_RGB32) ==
                      picture.convertToFormat(QImage::Format_RGB32));
    const QImage third = pictureFromCompressedData(compressedDataFromPicture(again));
    QM_FUZZ_CHECK(third == again);
}

QImage decodeValue(const QByteArray& value)
{
    try {
        return pictureFromCompressedData(value);
    } catch (const ECompressedDataError& e) {
        QM_FUZZ_CHECK(!e.Message().isEmpty());
    } catch (const std::bad_alloc&) {
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    switch (data[0] & 3) {
    case 0:
        checkStoresBack(decodeValue(rest));
        break;
    case 1:
        checkStoresBack(decodeValue(storedValue(zlibCompressed(rest))));
        break;
    case 2: {
        QByteArray block;
        QBuffer out(&block);
        out.open(QIODevice::WriteOnly);
        compressBmpFile(rest, out);
        // Followed by other data, which the decoder must leave unread.
        block += "tail";
        QBuffer in(&block);
        in.open(QIODevice::ReadOnly);
        QM_FUZZ_CHECK(decompressBmpFile(in) == rest);
        QM_FUZZ_CHECK(in.read(5) == "tail");
        break;
    }
    case 3: {
        QByteArray block = rest;
        QBuffer in(&block);
        in.open(QIODevice::ReadOnly);
        try {
            const QByteArray file = decompressBmpFile(in, SmallLimit);
            QM_FUZZ_CHECK(file.size() < SmallLimit);
            QM_FUZZ_CHECK(in.pos() <= block.size());
        } catch (const ECompressedDataError&) {
        }
        break;
    }
    }
    return 0;
}
