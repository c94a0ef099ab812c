#include "PictureFormats.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>
#include <algorithm>
#include <limits>

const QString TPictureFormats::QtOwner = QStringLiteral("Qt");

namespace {

// Whether a JPEG decodes row by row, so that a clip rectangle bounds its memory. A
// progressive picture, or one whose first scan lacks some components, is first gathered
// whole (as coefficients of about the size of its pixels), clip or not.
bool jpegDecodesRowByRow(QIODevice& file)
{
    if (!file.seek(0))
        return false;
    uchar marker[4];
    if (file.read(reinterpret_cast<char*>(marker), 2) != 2 || marker[0] != 0xFF ||
        marker[1] != 0xD8)
        return false;
    int frameComponents = -1;
    while (file.read(reinterpret_cast<char*>(marker), 4) == 4) {
        if (marker[0] != 0xFF)
            return false;
        const uchar type = marker[1];
        const int length = (marker[2] << 8) | marker[3];
        if (length < 2)
            return false;
        const QByteArray body = file.read(length - 2);
        if (body.size() != length - 2)
            return false;
        const bool frame =
            type >= 0xC0 && type <= 0xCF && type != 0xC4 && type != 0xC8 && type != 0xCC;
        if (frame) {
            // Only baseline and extended sequential frames are decoded scan line by line.
            if (type != 0xC0 && type != 0xC1)
                return false;
            if (body.size() < 6)
                return false;
            frameComponents = uchar(body[5]);
        } else if (type == 0xDA) {
            return frameComponents > 0 && !body.isEmpty() && uchar(body[0]) == frameComponents;
        }
    }
    return false;
}

// Whether every chunk of a PNG, up to its end chunk, lies within the file. libpng sets
// aside a chunk's declared length before it reads the chunk, so a few hundred bytes that
// declare a 2 GB text chunk would cost 2 GB; such a file is cut short and fails to decode
// anyway. Whatever follows the end chunk is never read.
bool pngChunksWithinFile(QIODevice& file)
{
    constexpr qint64 SignatureSize = 8;
    constexpr qint64 ChunkFrame = 12; // length, type and checksum
    const qint64 size = file.size();
    for (qint64 pos = SignatureSize; pos + ChunkFrame <= size;) {
        uchar head[8];
        if (!file.seek(pos) || file.read(reinterpret_cast<char*>(head), 8) != 8)
            return false;
        const qint64 length = qFromBigEndian<quint32>(head);
        if (length > size - pos - ChunkFrame)
            return false;
        if (std::equal(head + 4, head + 8, "IEND"))
            return true;
        pos += ChunkFrame + length;
    }
    return true;
}

// The size a picture's header declares. A BMP stored top down declares a negative height,
// which Qt's reader passes on as it is.
QSize declaredSize(QImageReader& reader, const QByteArray& format)
{
    QSize size = reader.size();
    if (format == "bmp" && size.height() < 0 && size.height() > std::numeric_limits<int>::min())
        size.setHeight(-size.height());
    return size;
}

// Qt's BMP reader stops at the end of the file and leaves the rows it did not reach as they
// happened to be in memory: a cut file would bring stray bytes into the parts. It decodes
// into the image it is given when that has the right size and format, so it is given one
// that starts out white (index 0 for a palette picture). Other readers get a null image.
QImage blankBmpCanvas(QImageReader& reader, const QByteArray& format, const QSize& declared)
{
    if (format != "bmp" || !declared.isValid())
        return QImage();
    const QImage::Format pixels = reader.imageFormat();
    if (pixels == QImage::Format_Invalid)
        return QImage();
    QImage canvas(declared, pixels);
    if (canvas.isNull())
        return canvas;
    const bool palette = pixels == QImage::Format_Indexed8 || pixels == QImage::Format_Mono ||
                         pixels == QImage::Format_MonoLSB;
    if (palette)
        canvas.fill(0);
    else
        canvas.fill(Qt::white);
    return canvas;
}

QImage readWithQt(QIODevice& device, const QByteArray& format, const TPictureLimits& limits)
{
    QImageReader reader(&device, format);
    // The extension chose the decoder; a file that is not of that format fails.
    reader.setDecideFormatFromContent(false);
    // Qt's own limit (in whole megabytes) also stops decoders that cannot tell the size
    // before decoding; 2 GB is as much as one picture can hold anyway.
    constexpr qint64 MB = 1024 * 1024;
    const qint64 maxBytes = std::clamp<qint64>(limits.MaxBytes, 0, 2048 * MB);
    reader.setAllocationLimit(int((maxBytes + MB - 1) / MB));

    // A few bytes can declare a picture of gigabytes: what the header says is checked
    // before anything is decoded.
    // The checks read the device before the decoder does, and leave it at its start.
    if (format == "png" && (!pngChunksWithinFile(device) || !device.seek(0)))
        return QImage();
    const bool jpeg = format == "jpeg" || format == "jpg";
    const bool jpegRowByRow = jpeg && jpegDecodesRowByRow(device);
    if (jpeg && !device.seek(0))
        return QImage();
    const QSize declared = declaredSize(reader, format);
    if (declared.isValid()) {
        const QRect all(QPoint(0, 0), declared);
        const QRect used = limits.Used.isEmpty() ? all : all & QRect(QPoint(0, 0), limits.Used);
        bool clipped = false;
        if (used != all && reader.supportsOption(QImageIOHandler::ClipRect)) {
            reader.setClipRect(used);
            // Only the top-left area is decoded then, but only a decoder that works row by
            // row also spares the memory of the whole.
            clipped = jpegRowByRow;
        }
        if (!clipped && qint64(declared.width()) * declared.height() * 4 > maxBytes)
            return QImage();
    }
    QImage image = blankBmpCanvas(reader, format, declared);
    if (!reader.read(&image))
        return QImage();
    return image;
}

} // namespace

QImage ReadPictureData(const QByteArray& data, const TPictureLimits& limits)
{
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly))
        return QImage();
    const QByteArray format = QImageReader::imageFormat(&buffer).toLower();
    if (format.isEmpty() || !buffer.seek(0))
        return QImage();
    try {
        return readWithQt(buffer, format, limits);
    } catch (...) {
        return QImage();
    }
}

TPictureFormats TPictureFormats::WithQtFormats()
{
    TPictureFormats formats;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        const QString ext = QString::fromLatin1(format).toLower();
        formats.Register(
            ext, ext.toUpper() + QStringLiteral(" 画像"),
            [format](const QString& fileName, const TPictureLimits& limits) {
                QFile file(fileName);
                if (!file.open(QIODevice::ReadOnly))
                    return QImage();
                return readWithQt(file, format, limits);
            },
            QtOwner);
    }
    return formats;
}

void TPictureFormats::Register(const QString& extension, const QString& description,
                               TPictureReader reader, const QString& owner)
{
    QString ext = extension.toLower();
    if (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    if (ext.isEmpty() || !reader)
        return;
    FEntries.push_back({ext, description, std::move(reader), owner});
}

void TPictureFormats::Unregister(const QString& owner)
{
    std::erase_if(FEntries, [&](const TPictureFormat& f) { return f.Owner == owner; });
}

const TPictureFormat* TPictureFormats::Find(const QString& extension) const
{
    QString ext = extension.toLower();
    if (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it) {
        if (it->Extension == ext)
            return &*it;
    }
    return nullptr;
}

std::optional<QImage> TPictureFormats::LoadPicture(const QString& fileName,
                                                   const TPictureLimits& limits) const
{
    const TPictureFormat* format = Find(QFileInfo(fileName).suffix());
    if (!format)
        return std::nullopt;
    QImage image;
    try {
        image = format->Reader(fileName, limits);
    } catch (...) {
        // A decoder's failure is the same to the caller as an unreadable file.
        return std::nullopt;
    }
    if (image.isNull())
        return std::nullopt;
    return image;
}

QStringList TPictureFormats::Extensions() const
{
    QStringList result;
    for (const TPictureFormat& f : FEntries) {
        if (!result.contains(f.Extension))
            result << f.Extension;
    }
    return result;
}

QStringList TPictureFormats::NameFilters() const
{
    const QStringList exts = Extensions();
    QStringList patterns;
    for (const QString& e : exts)
        patterns << QStringLiteral("*.") + e;
    QStringList filters;
    filters << QStringLiteral("すべての画像 (%1)").arg(patterns.join(QLatin1Char(' ')));
    for (const QString& e : exts)
        filters << QStringLiteral("%1 (*.%2)").arg(Find(e)->Description, e);
    return filters;
}
