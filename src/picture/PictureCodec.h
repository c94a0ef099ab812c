#pragma once

// The codec behind TCompressedImage: a picture is stored as a zlib stream of one byte d
// followed by its BMP file, delta-encoded with distance d, so that neighbouring pixels of
// the same colour component compress well. The stored "CompressedData" value is a 32-bit
// little-endian length followed by that zlib stream.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <stdexcept>

class QIODevice;

// Raised for a compressed block or "CompressedData" value that cannot be decoded, and for
// a picture that cannot be stored.
class ECompressedDataError : public std::runtime_error
{
public:
    explicit ECompressedDataError(const QString& message);

    QString Message() const { return FMessage; }

private:
    QString FMessage;
};

// Decoding refuses to produce more than this many bytes, so that a small damaged or
// malicious block cannot exhaust memory.
inline constexpr qint64 MaxDecompressedSize = qint64(256) * 1024 * 1024;

// The delta distance for a file: from the bits per pixel of a BMP file's information
// header, 1 for 1 to 15 bits, 2 for 16, 3 for 24, 4 for 32, and 0 for deeper pictures and
// for anything that is not a BMP file.
int bmpDeltaDistance(const QByteArray& file);

// The picture as a BMP file; RGB pictures become 24-bit files. Throws
// ECompressedDataError for a null picture.
QByteArray pictureToBmpFile(const QImage& picture);

// Appends the compressed block of the picture to z.
void CompressPicture(const QImage& picture, QIODevice& z);
// Appends the compressed block of a whole file (normally a BMP file) to z.
void compressBmpFile(const QByteArray& file, QIODevice& z);

// Reads one compressed block from z, which is left just after the block, and returns the
// file it holds. Throws ECompressedDataError for a damaged, truncated or empty block, a
// delta distance above 4, or output beyond maxSize.
QByteArray decompressBmpFile(QIODevice& z, qint64 maxSize = MaxDecompressedSize);

// Reads one compressed block from z and decodes the BMP file it holds. Throws
// ECompressedDataError as decompressBmpFile does, and for a file that is not a readable
// BMP picture; b is changed only on success.
void DecompressPicture(QImage& b, QIODevice& z);
QImage DecompressPicture(QIODevice& z);

// Writes one "CompressedData" value: the block's length, then the block.
void WriteCompressedData(QIODevice& stream, const QByteArray& compressedBlock);
// Reads one "CompressedData" value and returns its block; an empty block when the length
// is 0 or negative (no stored picture). Throws ECompressedDataError when the length field
// or the block runs past the end of the stream.
QByteArray ReadCompressedData(QIODevice& stream);

// The whole "CompressedData" value of a picture; a null picture gives the value with
// length 0.
QByteArray compressedDataFromPicture(const QImage& picture);
// The picture of a whole "CompressedData" value; a null image when it holds no picture.
QImage pictureFromCompressedData(const QByteArray& value);
