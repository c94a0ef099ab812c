#pragma once

// A folder where file writes run out of room, for tests of what a failed save leaves behind.
// Two kinds:
// - FullDisk: a small tmpfs mounted over a temporary folder and filled up, the real thing
//   (ENOSPC). Mounting needs root; elsewhere Ready() is false and the test skips.
// - FileSizeLimit: the process may not write files past a given size (RLIMIT_FSIZE, with
//   SIGXFSZ ignored); such a write fails with EFBIG much as a full disk fails. Needs no root.
// Files made before Arm() stay as they are; Disarm() gives the room back.

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

enum class TNoRoomKind
{
    FullDisk,
    FileSizeLimit,
};

inline std::string NoRoomKindName(TNoRoomKind kind)
{
    return kind == TNoRoomKind::FullDisk ? "FullDisk" : "FileSizeLimit";
}

class TNoRoom
{
public:
    explicit TNoRoom(TNoRoomKind kind, qint64 diskBytes = 16 << 20) : FKind(kind)
    {
        if (!FDir.isValid()) {
            FWhyNot = "no temporary folder";
            return;
        }
        if (kind == TNoRoomKind::FullDisk) {
            if (::geteuid() != 0) {
                FWhyNot = "a full disk needs a tmpfs mounted, which needs root";
                return;
            }
            const std::string options = "size=" + std::to_string(diskBytes);
            if (::mount("tmpfs", QFile::encodeName(FDir.path()).constData(), "tmpfs", 0,
                        options.c_str()) != 0) {
                FWhyNot = "mounting a tmpfs failed: " + std::string(std::strerror(errno));
                return;
            }
            FMounted = true;
        }
        FReady = true;
    }

    ~TNoRoom()
    {
        Disarm();
        if (FMounted)
            ::umount2(QFile::encodeName(FDir.path()).constData(), MNT_DETACH);
    }

    TNoRoom(const TNoRoom&) = delete;
    TNoRoom& operator=(const TNoRoom&) = delete;

    bool Ready() const { return FReady; }
    std::string WhyNotReady() const { return FWhyNot; }
    QString Path(const QString& name) const { return FDir.filePath(name); }

    // From now on a write that would take more than `room` bytes fails: the disk is filled
    // until only `room` bytes (rounded down to whole pages) are free, or files may not grow
    // past `room` bytes.
    void Arm(qint64 room = 0)
    {
        if (FKind == TNoRoomKind::FullDisk)
            fill(room);
        else
            limitFileSize(room);
    }

    void Disarm()
    {
        if (FFillerFd >= 0) {
            ::close(FFillerFd);
            FFillerFd = -1;
            QFile::remove(fillerPath());
        }
        if (FLimited) {
            ::setrlimit(RLIMIT_FSIZE, &FOldLimit);
            std::signal(SIGXFSZ, FOldHandler);
            FLimited = false;
        }
    }

    // The files in the folder, but the filler.
    QStringList Files() const
    {
        QStringList names = QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(QStringLiteral("filler"));
        names.sort();
        return names;
    }

private:
    QString fillerPath() const { return FDir.filePath(QStringLiteral("filler")); }

    void fill(qint64 room)
    {
        FFillerFd =
            ::open(QFile::encodeName(fillerPath()).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (FFillerFd < 0)
            return;
        const std::vector<char> block(1 << 16, 'F');
        qint64 size = 0;
        for (size_t chunk = block.size(); chunk > 0; chunk /= 2) {
            ssize_t n;
            while ((n = ::write(FFillerFd, block.data(), chunk)) > 0)
                size += n;
        }
        if (room > 0)
            ::ftruncate(FFillerFd, std::max<qint64>(0, size - room));
    }

    void limitFileSize(qint64 room)
    {
        ::getrlimit(RLIMIT_FSIZE, &FOldLimit);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FOldLimit;
        limit.rlim_cur = rlim_t(room);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        FLimited = true;
    }

    TNoRoomKind FKind;
    QTemporaryDir FDir;
    bool FReady = false;
    bool FMounted = false;
    std::string FWhyNot;
    int FFillerFd = -1;
    bool FLimited = false;
    rlimit FOldLimit{};
    void (*FOldHandler)(int) = SIG_DFL;
};

// Both kinds, for INSTANTIATE_TEST_SUITE_P.
#define QM_NO_ROOM_KINDS                                                                           \
    ::testing::Values(TNoRoomKind::FullDisk, TNoRoomKind::FileSizeLimit),                          \
        [](const ::testing::TestParamInfo<TNoRoomKind>& info) {                                    \
            return NoRoomKindName(info.param);                                                     \
        }
