#include "SaveLoop.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int Rounds = 50;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// The save loop running in a child process, its stdout a pipe that gets a byte per save.
class SaveLoopProcess
{
public:
    SaveLoopProcess(const QString& kind, const QString& fileName)
    {
        QByteArray program(QM_SAVE_LOOP_PATH), k = kind.toLocal8Bit(),
                                               f = QFile::encodeName(fileName);
        char* argv[] = {program.data(), k.data(), f.data(), nullptr};
        int fds[2];
        if (pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        if (posix_spawn(&FPid, argv[0], &actions, nullptr, argv, environ) != 0)
            FPid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        FOut = fds[0];
    }
    ~SaveLoopProcess()
    {
        Kill();
        if (FOut >= 0)
            close(FOut);
    }

    // Waits for the next save to end; false when none ends within 20 seconds.
    bool WaitForSave()
    {
        pollfd p{FOut, POLLIN, 0};
        char byte;
        return FPid > 0 && poll(&p, 1, 20000) == 1 && read(FOut, &byte, 1) == 1;
    }

    // Kills the child at once, wherever it is; true when SIGKILL is what ended it.
    bool Kill()
    {
        if (FPid <= 0)
            return false;
        kill(FPid, SIGKILL);
        int status = 0;
        const bool killed =
            waitpid(FPid, &status, 0) == FPid && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        FPid = -1;
        return killed;
    }

private:
    pid_t FPid = -1;
    int FOut = -1;
};

class SaveKill : public ::testing::TestWithParam<std::string>
{
};

// A save killed at any point leaves the file as it was before or as the save made it,
// never a mix, and at most a whole copy beside it; the next start reads the file and saves
// over it as usual.
TEST_P(SaveKill, LeavesTheOldFileOrTheNewOneWholeNeverAMix)
{
    const QString kind = QString::fromStdString(GetParam());
    QTemporaryDir refDir, dir;
    ASSERT_TRUE(refDir.isValid() && dir.isValid());
    const QString name = SaveLoopFileName(kind);
    const QString target = dir.filePath(name);

    QByteArray version[2];
    for (int v = 0; v < 2; ++v) {
        const QString ref = refDir.filePath(QString::number(v) + name);
        if (kind == u"ini") {
            ASSERT_TRUE(writeAll(ref, SaveLoopIniBase()));
        }
        ASSERT_TRUE(SaveLoopVersion(kind, ref, v));
        version[v] = readAll(ref);
    }
    ASSERT_NE(version[0], version[1]);
    ASSERT_GT(version[0].size(), 100000);

    std::mt19937 random(20261208u + uint(qHash(kind)));
    int outcome[2] = {};
    int leftOver = 0;
    const QRegularExpression temporaryName(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(name) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(writeAll(target, version[0]));
        SaveLoopProcess child(kind, target);
        // One whole save first: how long one takes sets the range of the kill's moment,
        // which then falls anywhere in the next three saves.
        ASSERT_TRUE(child.WaitForSave());
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(child.WaitForSave());
        const auto save = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count();
        usleep(useconds_t(std::uniform_int_distribution<qint64>(0, 3 * save)(random)));
        ASSERT_TRUE(child.Kill());

        const QByteArray after = readAll(target);
        const bool old = after == version[0], fresh = after == version[1];
        EXPECT_TRUE(old || fresh) << after.size() << " bytes, neither version";
        ++outcome[fresh ? 1 : 0];
        // A kill between the save's last two steps (the finished temporary file linked
        // under a name of its own, then renamed over the target) leaves that name behind:
        // a whole copy of the new version, which nothing of the program ever reads.
        for (const QString& other : QDir(dir.path())
                                        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                   QDir::Hidden | QDir::System)) {
            if (other == name)
                continue;
            EXPECT_TRUE(temporaryName.match(other).hasMatch()) << other.toStdString();
            const QByteArray left = readAll(dir.filePath(other));
            EXPECT_TRUE(left == version[0] || left == version[1])
                << other.toStdString() << ": " << left.size() << " bytes, neither version";
            QFile::remove(dir.filePath(other));
            ++leftOver;
        }
    }
    // For the record: how often a kill fell in that last step.
    RecordProperty("kills", Rounds);
    RecordProperty("whole_temporaries_left", leftOver);
    // The kills fell in saves of both versions.
    EXPECT_GT(outcome[0], 0);
    EXPECT_GT(outcome[1], 0);

    // The next start: the file reads back with the program's own reader and saves again.
    if (kind.startsWith(u"map")) {
        TMapDocument doc;
        EXPECT_TRUE(
            LoadMapFile(target, kind == u"map1" ? TMapFileType::Type1 : TMapFileType::Type2, doc)
                .Ok());
    } else if (kind == u"ini") {
        const QString value =
            TIniFile(target).ReadString(QStringLiteral("Loop"), QStringLiteral("Value"), {});
        EXPECT_TRUE(value == QString(2000, u'A') || value == QString(1500, u'B'));
    } else {
        const TPictureFormats formats = TPictureFormats::WithQtFormats();
        TPartsStore parts(formats);
        EXPECT_TRUE(parts.LoadPartsPicture(target));
    }
    ASSERT_TRUE(SaveLoopVersion(kind, target, 0));
    EXPECT_EQ(readAll(target), version[0]);
}

std::vector<std::string> kindNames()
{
    std::vector<std::string> names;
    for (const QString& kind : SaveLoopKinds())
        names.push_back(kind.toStdString());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Kinds, SaveKill, ::testing::ValuesIn(kindNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

} // namespace
