#include "PictureFormats.h"

#include <QFileInfo>
#include <QImageReader>

const QString TPictureFormats::QtOwner = QStringLiteral("Qt");

namespace {

QImage readWithQt(const QString& fileName, const QByteArray& format, const TPictureLimits&)
{
    QImageReader reader(fileName, format);
    // The extension chose the decoder; a file that is not of that format fails.
    reader.setDecideFormatFromContent(false);
    // Qt refuses pictures over 128 MB by default, less than a parts sheet of large parts
    // takes (up to 2 GB); beyond 2 GB the sheet could never be held anyway.
    reader.setAllocationLimit(2048);
    return reader.read();
}

} // namespace

TPictureFormats TPictureFormats::WithQtFormats()
{
    TPictureFormats formats;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        const QString ext = QString::fromLatin1(format).toLower();
        formats.Register(
            ext, ext.toUpper() + QStringLiteral(" 画像"),
            [format](const QString& fileName, const TPictureLimits& limits) {
                return readWithQt(fileName, format, limits);
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
