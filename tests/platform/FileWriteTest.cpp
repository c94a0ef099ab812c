#include "FileWrite.h"

#include "NoRoom.h"

#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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

INSTANTIATE_TEST_SUITE_P(Kinds, FileWriteNoRoom, QM_NO_ROOM_KINDS);

} // namespace
