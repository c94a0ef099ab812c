#include "FileWrite.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

TFileWriteResult failed(const QString& fileName, const QString& reason)
{
    return {false, reason, fileName};
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("something other than a file");
}

// Where a name leads: the file it names when there is one (symlinks followed), else the
// absolute name a new file would get.
struct TPlace
{
    QString Given; // as the caller gave it
    QString Path;  // the file to replace or create: symlinks resolved
    bool Exists = false;
    struct stat Stat
    {
    };
};

std::optional<TPlace> locate(const QString& fileName, QString& why)
{
    TPlace place;
    place.Given = fileName;
    place.Path = fileName;
    const QByteArray encoded = QFile::encodeName(fileName);
    struct stat link
    {
    };
    if (::lstat(encoded.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        const QFileInfo info(fileName);
        const QString canonical = info.canonicalFilePath();
        place.Path = canonical.isEmpty() ? info.symLinkTarget() : canonical;
    }
    if (::stat(QFile::encodeName(place.Path).constData(), &place.Stat) == 0) {
        place.Exists = true;
        if (!S_ISREG(place.Stat.st_mode)) {
            why = QStringLiteral("it is %1, not a regular file; nothing was written")
                      .arg(kindOf(place.Stat.st_mode));
            return std::nullopt;
        }
    } else if (errno != ENOENT) {
        why = systemReason(errno);
        return std::nullopt;
    }
    if (!place.Exists) {
        // The folder's real name, so that two spellings of one new file compare equal.
        const QFileInfo info(place.Path);
        const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        place.Path = QDir::cleanPath((folder.isEmpty() ? info.absolutePath() : folder) +
                                     QLatin1Char('/') + info.fileName());
    }
    return place;
}

bool samePlace(const TPlace& a, const TPlace& b)
{
    if (a.Exists && b.Exists)
        return a.Stat.st_dev == b.Stat.st_dev && a.Stat.st_ino == b.Stat.st_ino;
    return !a.Exists && !b.Exists && a.Path == b.Path;
}

// The temporary file as the body sees it: writes are gathered and handed to the system in
// large pieces, each written to the end (a short write is retried), and the first failure
// keeps the system's own reason. (QFile takes a short write for success and loses errno.)
class TTemporaryDevice : public QIODevice
{
public:
    explicit TTemporaryDevice(int fd) : FFd(fd) { open(QIODevice::WriteOnly); }

    // Hands everything gathered to the system; false with Reason() set on failure.
    bool Drain()
    {
        if (!FReason.isEmpty())
            return false;
        const char* data = FBuffer.constData();
        qsizetype left = FBuffer.size();
        while (left > 0) {
            const ssize_t n = ::write(FFd, data, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                FReason = systemReason(n < 0 ? errno : EIO);
                return false;
            }
            data += n;
            left -= n;
        }
        FBuffer.clear();
        return true;
    }

    // Syncs the file and checks the result: some file systems report a lack of space or
    // an I/O error only here.
    bool Sync()
    {
        int result;
        do {
            result = ::fsync(FFd);
        } while (result != 0 && errno == EINTR);
        if (result != 0 && errno != EINVAL && errno != ENOTSUP) {
            FReason = systemReason(errno);
            return false;
        }
        return true;
    }

    const QString& Reason() const { return FReason; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (!FReason.isEmpty())
            return -1;
        FBuffer.append(data, qsizetype(size));
        if (FBuffer.size() >= BufferSize && !Drain())
            return -1;
        return size;
    }

private:
    static constexpr qsizetype BufferSize = 1 << 16;
    int FFd;
    QByteArray FBuffer;
    QString FReason;
};

// A name for the finished temporary file of `target`: the target's name and six letters
// or digits.
QString temporaryName(const TPlace& target)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString name = target.Path + QLatin1Char('.');
    for (int i = 0; i < 6; ++i)
        name += QLatin1Char(letters[QRandomGenerator::global()->bounded(62)]);
    return name;
}

// Opens a new file under a fresh temporary name (O_EXCL); -1 with errno set on failure.
int createNamed(const TPlace& target, QString& tempName)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = temporaryName(target);
        const int fd = ::open(QFile::encodeName(tempName).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Gives the finished, unnamed file a temporary name beside its target.
bool linkTemporary(int fd, const TPlace& target, QString& tempName, QString& reason)
{
#ifdef O_TMPFILE
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = temporaryName(target);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, QFile::encodeName(tempName).constData(),
                     AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    reason = systemReason(errno);
#else
    Q_UNUSED(fd);
    Q_UNUSED(target);
    Q_UNUSED(tempName);
    Q_UNUSED(reason);
#endif
    return false;
}

// Writes one output to a temporary file beside it; false with the reason when it did not
// all reach the disk. The file has no name while it is written (where the system allows),
// so that a program killed meanwhile leaves nothing; once complete and synced it is given
// `tempName`, the target's name and six letters. On failure nothing is left.
bool writeTemporary(const TPlace& target, const TFileWriteSet::TBody& body, QString& tempName,
                    QString& reason)
{
    const QFileInfo info(target.Path);
    bool unnamed = false;
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(QFile::encodeName(info.absolutePath()).constData(),
                O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    unnamed = fd >= 0;
#endif
    if (fd < 0)
        fd = createNamed(target, tempName);
    if (fd < 0) {
        reason = systemReason(errno);
        return false;
    }
    if (target.Exists)
        ::fchmod(fd, target.Stat.st_mode & 07777);
    bool ok = false;
    {
        TTemporaryDevice device(fd);
        const bool made = body(device);
        // The device's own reason, a full disk say, before the body's failure: the last
        // bytes may tell it only now.
        if (!device.Drain())
            reason = device.Reason();
        else if (!made)
            reason = FileContentsNotMade();
        else
            ok = device.Sync();
        if (!ok && reason.isEmpty())
            reason = device.Reason();
    }
    if (ok && unnamed)
        ok = linkTemporary(fd, target, tempName, reason);
    if (::close(fd) != 0 && ok) {
        reason = systemReason(errno);
        ok = false;
    }
    if (!ok && !unnamed)
        ::unlink(QFile::encodeName(tempName).constData());
    return ok;
}

void syncFolder(const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

QString FileContentsNotMade()
{
    return QStringLiteral("the contents could not be made");
}

TFileWriteResult TFileWriteResult::Stopped(const QString& fileName)
{
    return {false, QStringLiteral("cancelled"), fileName, true};
}

void TFileWriteSet::AddInput(const QString& fileName)
{
    FInputs << fileName;
}

void TFileWriteSet::AddInputs(const QStringList& fileNames)
{
    FInputs << fileNames;
}

void TFileWriteSet::AddOutput(const QString& fileName, TBody body)
{
    FOutputs.push_back({fileName, std::move(body)});
}

void TFileWriteSet::AddOutput(const QString& fileName, const QByteArray& contents)
{
    AddOutput(fileName,
              [contents](QIODevice& device) { return device.write(contents) == contents.size(); });
}

TFileWriteResult TFileWriteSet::Check() const
{
    std::vector<TPlace> inputs;
    for (const QString& name : FInputs) {
        QString ignored;
        if (std::optional<TPlace> place = locate(name, ignored); place && place->Exists)
            inputs.push_back(*place);
    }
    std::vector<TPlace> outputs;
    for (const TOutput& output : FOutputs) {
        QString why;
        const std::optional<TPlace> place = locate(output.FileName, why);
        if (!place)
            return failed(output.FileName, why);
        // Another name of the same file is given too, so that the user can see why.
        const auto sameAs = [&output](const TPlace& other, const char* what) {
            const QString also = QString::fromLatin1(what);
            return failed(
                output.FileName,
                other.Given == output.FileName
                    ? QStringLiteral("this operation also %1 it; nothing was written").arg(also)
                    : QStringLiteral("it is %1, which this operation also %2; nothing "
                                     "was written")
                          .arg(other.Given, also));
        };
        for (const TPlace& input : inputs) {
            if (samePlace(*place, input))
                return sameAs(input, "reads");
        }
        for (const TPlace& other : outputs) {
            if (samePlace(*place, other))
                return sameAs(other, "writes");
        }
        outputs.push_back(*place);
    }
    return {true, QString(), QString()};
}

TFileWriteResult TFileWriteSet::Write()
{
    if (const TFileWriteResult checked = Check(); !checked)
        return checked;
    struct TDone
    {
        QString Temporary;
        QString Target;
    };
    std::vector<TDone> done;
    const auto removeTemporaries = [&done](size_t from) {
        for (size_t i = from; i < done.size(); ++i)
            ::unlink(QFile::encodeName(done[i].Temporary).constData());
    };
    for (const TOutput& output : FOutputs) {
        QString why;
        const std::optional<TPlace> place = locate(output.FileName, why);
        QString tempName;
        if (!place || !writeTemporary(*place, output.Body, tempName, why)) {
            removeTemporaries(0);
            return failed(output.FileName, why);
        }
        done.push_back({tempName, place->Path});
    }
    QSet<QString> folders;
    for (size_t i = 0; i < done.size(); ++i) {
        if (::rename(QFile::encodeName(done[i].Temporary).constData(),
                     QFile::encodeName(done[i].Target).constData()) != 0) {
            const int error = errno;
            removeTemporaries(i);
            return failed(FOutputs[i].FileName, systemReason(error));
        }
        folders.insert(QFileInfo(done[i].Target).absolutePath());
    }
    for (const QString& folder : folders)
        syncFolder(folder);
    return {true, QString(), QString()};
}

TFileWriteResult WriteFileWhole(const QString& fileName,
                                const std::function<bool(QIODevice&)>& body)
{
    TFileWriteSet set;
    set.AddOutput(fileName, body);
    return set.Write();
}

TFileWriteResult WriteFileWhole(const QString& fileName, const QByteArray& contents)
{
    TFileWriteSet set;
    set.AddOutput(fileName, contents);
    return set.Write();
}
