#include "FileWrite.h"

#include "NoRoom.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray pattern(qint64 size, char seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char(seed + i * 7 % 251);
    return data;
}

TEST(FileWrite, WritesReplacesAndLeavesNothingBehindOnARefusal)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("a.bin");
    ASSERT_TRUE(WriteFileWhole(target, QByteArray("first")));
    EXPECT_EQ(readAll(target), "first");

    // The body writes in pieces through the device; the last piece is still buffered when
    // the body returns.
    const TFileWriteResult pieces = WriteFileWhole(
        target, [](QIODevice& out) { return out.write("sec") == 3 && out.write("ond") == 3; });
    EXPECT_TRUE(pieces.Ok);
    EXPECT_TRUE(pieces.Error.isEmpty());
    EXPECT_EQ(readAll(target), "second");

    // A body that gives up, after writing or not: the old file stays, no temporary file.
    for (const bool writeFirst : {false, true}) {
        const TFileWriteResult refused = WriteFileWhole(target, [&](QIODevice& out) {
            if (writeFirst)
                out.write(pattern(100000, 'x'));
            return false;
        });
        EXPECT_FALSE(refused.Ok);
        EXPECT_FALSE(refused.Error.isEmpty());
        EXPECT_EQ(readAll(target), "second");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.bin"});
    }

    // A folder that does not exist, and a folder in the file's place.
    EXPECT_FALSE(WriteFileWhole(dir.filePath("no/such/x.bin"), QByteArray("x")).Ok);
    EXPECT_FALSE(WriteFileWhole(dir.path(), QByteArray("x")).Ok);
}

mode_t kindAt(const QString& path, bool followLinks)
{
    struct stat st
    {
    };
    const QByteArray name = QFile::encodeName(path);
    if ((followLinks ? ::stat(name.constData(), &st) : ::lstat(name.constData(), &st)) != 0)
        return 0;
    return st.st_mode & S_IFMT;
}

// Targets that are not regular files, or that are linked to: refused before anything is
// written, with the reason; the node stays what it was. Symlinks lead to the file they name.
TEST(FileWrite, OnlyRegularFilesAreReplaced)
{
    QTemporaryDir dir;
    const auto at = [&](const char* name) { return QFile::encodeName(dir.filePath(name)); };
    ASSERT_EQ(::mkfifo(at("fifo"), 0600), 0);
    ASSERT_EQ(::symlink("/dev/null", at("null")), 0);
    ASSERT_EQ(::symlink(at("fifo"), at("to-fifo")), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::mknod(at("chr"), S_IFCHR | 0666, makedev(1, 3)), 0);
    }
    struct Row
    {
        const char* Name;
        mode_t Kind; // what the name is, links not followed
        const char* Why;
    };
    const Row rows[] = {
        {"fifo", S_IFIFO, "FIFO"},
        {"null", S_IFLNK, "character device"},
        {"to-fifo", S_IFLNK, "FIFO"},
        {"folder", S_IFDIR, "folder"},
        {"chr", S_IFCHR, "character device"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        if (!root && row.Kind == S_IFCHR)
            continue;
        const QString target = dir.filePath(row.Name);
        const TFileWriteResult r = WriteFileWhole(target, QByteArray("x"));
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.FileName, target);
        EXPECT_TRUE(r.Error.contains(row.Why)) << r.Error.toStdString();
        EXPECT_EQ(kindAt(target, false), row.Kind);
    }
    EXPECT_EQ(kindAt("/dev/null", false), mode_t(S_IFCHR));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
              root ? 4 : 3);

    // A symlink to a regular file stays a symlink; the file it names is replaced.
    ASSERT_TRUE(WriteFileWhole(dir.filePath("real"), QByteArray("old")));
    ASSERT_EQ(::symlink(at("real"), at("link")), 0);
    ASSERT_TRUE(WriteFileWhole(dir.filePath("link"), QByteArray("new")));
    EXPECT_EQ(kindAt(dir.filePath("link"), false), mode_t(S_IFLNK));
    EXPECT_EQ(readAll(dir.filePath("real")), "new");
}

// Outputs that are inputs, or each other, by any name: refused, and nothing is written.
TEST(FileWrite, ASetNeverWritesOverWhatItReadsNorOneFileTwice)
{
    QTemporaryDir dir;
    const auto at = [&](const QString& name) { return dir.filePath(name); };
    ASSERT_TRUE(WriteFileWhole(at("in"), QByteArray("input")));
    ASSERT_EQ(::symlink(QFile::encodeName(at("in")), QFile::encodeName(at("in-link"))), 0);
    ASSERT_EQ(::link(QFile::encodeName(at("in")), QFile::encodeName(at("in-hard"))), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    struct Row
    {
        QStringList Inputs;
        QStringList Outputs;
        int Refused; // the output refused, -1 for none
    };
    const Row rows[] = {
        {{at("in")}, {at("a"), at("in")}, 1}, {{at("in")}, {at("in-link")}, 0},
        {{at("in-hard")}, {at("in")}, 0},     {{}, {at("new"), at("sub/../new")}, 1},
        {{}, {at("in"), at("in-link")}, 1},   {{at("missing")}, {at("a"), at("b")}, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE((row.Inputs + row.Outputs).join(' ').toStdString());
        TFileWriteSet set;
        set.AddInputs(row.Inputs);
        for (const QString& name : row.Outputs)
            set.AddOutput(name, QByteArray("out"));
        const TFileWriteResult r = set.Write();
        EXPECT_EQ(r.Ok, row.Refused < 0) << r.Error.toStdString();
        if (row.Refused >= 0) {
            EXPECT_EQ(r.FileName, row.Outputs[row.Refused]);
            for (const QString& name : row.Outputs)
                EXPECT_EQ(readAll(name),
                          QFileInfo(name).fileName().startsWith("in") ? "input" : "<missing>");
        }
        QFile::remove(at("a"));
        QFile::remove(at("b"));
    }
}

class FileWriteNoRoom : public ::testing::TestWithParam<TNoRoomKind>
{
};

// Files of a few bytes, just under and just over the 16 KB the file device buffers, and of
// several megabytes; the room left is none, or all but the last few kilobytes, so that the
// write that fails is the first or the last one.
TEST_P(FileWriteNoRoom, AFailedWriteKeepsTheOldFileByteForByte)
{
    struct Row
    {
        qint64 Size;
        qint64 Room;
    };
    const Row rows[] = {
        {5, 0},         {16383, 0},    {16384, 0},
        {16385, 0},     {5 << 20, 0},  {5 << 20, (5 << 20) - 8192},
        {40000, 32768}, {16385, 8192},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "size " << row.Size << ", room " << row.Room);
        TNoRoom noRoom(GetParam());
        if (!noRoom.Ready())
            GTEST_SKIP() << noRoom.WhyNotReady();
        const QString target = noRoom.Path("kept.bin");
        const QByteArray old = pattern(231, 'o');
        ASSERT_TRUE(WriteFileWhole(target, old));

        noRoom.Arm(row.Room);
        const TFileWriteResult result = WriteFileWhole(target, pattern(row.Size, 'n'));
        const TFileWriteResult fresh =
            WriteFileWhole(noRoom.Path("new.bin"), pattern(row.Size, 'n'));
        noRoom.Disarm();

        EXPECT_FALSE(result.Ok);
        EXPECT_FALSE(result.Error.isEmpty());
        EXPECT_FALSE(fresh.Ok);
        EXPECT_EQ(readAll(target), old);
        EXPECT_EQ(noRoom.Files(), QStringList{"kept.bin"});

        // With room again, the same write goes through.
        ASSERT_TRUE(WriteFileWhole(target, pattern(row.Size, 'n')));
        EXPECT_EQ(readAll(target), pattern(row.Size, 'n'));
    }
}

// The second file of a set does not fit: the first stays as it was too, the message says
// why and names the second.
TEST_P(FileWriteNoRoom, ASetIsWrittenWholeOrNotAtAll)
{
    TNoRoom noRoom(GetParam());
    if (!noRoom.Ready())
        GTEST_SKIP() << noRoom.WhyNotReady();
    const QString first = noRoom.Path("first.bin");
    const QString second = noRoom.Path("second.bin");
    ASSERT_TRUE(WriteFileWhole(first, QByteArray("old first")));
    ASSERT_TRUE(WriteFileWhole(second, QByteArray("old second")));
    noRoom.Arm(8192);
    TFileWriteSet set;
    set.AddOutput(first, pattern(100, 'n'));
    set.AddOutput(second, pattern(1 << 20, 'n'));
    const TFileWriteResult r = set.Write();
    noRoom.Disarm();
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.FileName, second);
    EXPECT_EQ(r.Error, QString::fromLocal8Bit(
                           std::strerror(GetParam() == TNoRoomKind::FullDisk ? ENOSPC : EFBIG)));
    EXPECT_EQ(readAll(first), "old first");
    EXPECT_EQ(readAll(second), "old second");
    EXPECT_EQ(noRoom.Files(), (QStringList{"first.bin", "second.bin"}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, FileWriteNoRoom, QM_NO_ROOM_KINDS);

} // namespace
