#include "FileWrite.h"

#include <QSaveFile>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

TFileWriteResult failed(const QString& reason)
{
    return {false, reason.isEmpty() ? QStringLiteral("write failed") : reason};
}

// The device's own error when it has one, else the fallback.
QString reasonOf(const QSaveFile& file, const QString& fallback)
{
    return file.error() != QFileDevice::NoError ? file.errorString() : fallback;
}

// Writes out what the device still buffers. QSaveFile::commit() would write it too, but
// does not notice when that last write fails (a full disk), and then renames a cut-short
// file over the old one.
bool flushAll(QSaveFile& file)
{
    do {
        if (!file.flush())
            return false;
    } while (file.bytesToWrite() > 0);
    return file.error() == QFileDevice::NoError;
}

// Syncs the temporary file and checks the result, which commit() ignores: some file
// systems report a lack of space or an I/O error only here.
bool syncToDisk(QSaveFile& file, QString& reason)
{
#ifdef Q_OS_UNIX
    const int fd = file.handle();
    if (fd < 0)
        return true;
    int result;
    do {
        result = ::fsync(fd);
    } while (result != 0 && errno == EINTR);
    // A file that cannot be synced at all (EINVAL, ENOTSUP: special files) is not an error.
    if (result != 0 && errno != EINVAL && errno != ENOTSUP) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
#else
    Q_UNUSED(file);
    Q_UNUSED(reason);
#endif
    return true;
}

} // namespace

TFileWriteResult WriteFileWhole(const QString& fileName,
                                const std::function<bool(QIODevice&)>& body)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    // From here on, an early return destroys the file unsaved: its temporary file goes.
    if (!body(file) || file.error() != QFileDevice::NoError)
        return failed(reasonOf(file, QString()));
    if (!flushAll(file))
        return failed(reasonOf(file, QString()));
    QString reason;
    if (!syncToDisk(file, reason))
        return failed(reason);
    if (!file.commit())
        return failed(file.errorString());
    return {true, QString()};
}

TFileWriteResult WriteFileWhole(const QString& fileName, const QByteArray& contents)
{
    return WriteFileWhole(fileName, [&contents](QIODevice& device) {
        return device.write(contents) == contents.size();
    });
}
