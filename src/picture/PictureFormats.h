#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// What a caller needs of a picture, so that a decoder can avoid decoding (or refuse) far
// more than that. The parts store uses only the top-left sheet of a picture.
struct TPictureLimits
{
    // The top-left area the caller uses; an empty size means the whole picture.
    QSize Used;
    // The largest decoded picture accepted, in bytes of 32-bit pixels.
    qint64 MaxBytes = qint64(2048) * 1024 * 1024;
};

// Decodes one picture file. Returns a null image when the file cannot be read or decoded,
// or when the decoded picture would pass the limits.
using TPictureReader = std::function<QImage(const QString& fileName, const TPictureLimits& limits)>;

// Decodes a picture held in memory with Qt's reader for the format its bytes show, under
// the same checks and limits as the files Qt's readers decode. A null image on failure.
QImage ReadPictureData(const QByteArray& data, const TPictureLimits& limits = {});

struct TPictureFormat
{
    QString Extension;   // lower case, without the period
    QString Description; // shown in file dialogs
    TPictureReader Reader;
    QString Owner; // who registered it, so that it can withdraw its entries
};

// The table of picture file extensions the program can read, each with the decoder that
// reads it. A lookup returns the most recent registration of an extension, so a later
// decoder (a plug-in) takes over an extension from an earlier one.
class TPictureFormats
{
public:
    // The owner name of the entries for Qt's own image readers.
    static const QString QtOwner;

    // A table holding Qt's own readers (BMP, PNG, JPEG, GIF, ...).
    static TPictureFormats WithQtFormats();

    void Register(const QString& extension, const QString& description, TPictureReader reader,
                  const QString& owner);
    // Removes every entry registered by the owner.
    void Unregister(const QString& owner);

    const TPictureFormat* Find(const QString& extension) const;

    // Decodes the file with the reader of its extension; nullopt when no reader knows the
    // extension or the reader fails.
    std::optional<QImage> LoadPicture(const QString& fileName,
                                      const TPictureLimits& limits = {}) const;

    // Extensions in registration order, each once.
    QStringList Extensions() const;
    // File dialog name filters: one with every extension, then one per extension.
    QStringList NameFilters() const;

    const std::vector<TPictureFormat>& Entries() const { return FEntries; }

private:
    std::vector<TPictureFormat> FEntries;
};
