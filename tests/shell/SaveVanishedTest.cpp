#include "CliCommands.h"
#include "ProgramFixture.h"
#include "main.h"

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Makes a file or folder unwritable while it lives. Root writes past permission bits, so
// for root the file system's immutable attribute does it, where the file system has one.
class Unwritable
{
public:
    explicit Unwritable(const QString& path) : FPath(QFile::encodeName(path))
    {
        if (geteuid() != 0) {
            struct stat st
            {
            };
            FReady = stat(FPath.constData(), &st) == 0 &&
                     chmod(FPath.constData(), st.st_mode & ~mode_t(0222)) == 0;
            FMode = st.st_mode;
            return;
        }
        const int fd = open(FPath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        int flags = 0;
        if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            FReady = FImmutable = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        if (fd >= 0)
            close(fd);
    }
    ~Unwritable()
    {
        if (FImmutable) {
            const int fd = open(FPath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            int flags = 0;
            if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            if (fd >= 0)
                close(fd);
        } else if (FReady) {
            chmod(FPath.constData(), FMode);
        }
    }
    Unwritable(const Unwritable&) = delete;
    Unwritable& operator=(const Unwritable&) = delete;
    bool Ready() const { return FReady; }

private:
    QByteArray FPath;
    bool FReady = false;
    bool FImmutable = false;
    mode_t FMode = 0;
};

enum class Loss
{
    FolderRemoved,
    FileReadOnly,
    FolderReadOnly,
};

struct LossCase
{
    const char* what;
    Loss loss;
};

const LossCase LossCases[] = {
    {"folder removed", Loss::FolderRemoved},
    {"file made read-only", Loss::FileReadOnly},
    {"folder made read-only", Loss::FolderReadOnly},
};

// Does to the map's file what the case says; the returned guard undoes a read-only state.
// Null when this machine cannot make it so (then the case is skipped).
std::unique_ptr<Unwritable> loseAccess(Loss loss, const QString& folder, const QString& file,
                                       bool* ready)
{
    *ready = true;
    if (loss == Loss::FolderRemoved) {
        *ready = QDir(folder).removeRecursively();
        return nullptr;
    }
    auto guard = std::make_unique<Unwritable>(loss == Loss::FileReadOnly ? file : folder);
    *ready = guard->Ready();
    return guard;
}

QStringList listing(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

class SaveVanished : public ProgramTest
{
};

// The map's file goes away or becomes unwritable after it was opened: saving says so in
// an error box, the map stays modified (closing still asks), and nothing is written.
TEST_F(SaveVanished, TheEditorSaysSoAndKeepsTheMapModified)
{
    TMainForm& main = *Forms().MainForm;
    for (const LossCase& c : LossCases) {
        SCOPED_TRACE(c.what);
        const QString folder = Dir.filePath(QStringLiteral("maps"));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString file = folder + QStringLiteral("/town.mpd");
        Script.FileDialog = [&](const TFileDialogRequest&) { return std::optional(file); };
        main.Document().SetCell(2, 3, 4);
        main.Document().SetMapModified(true);
        ASSERT_TRUE(main.SaveMapOverwrite());
        const QByteArray saved = readAll(file);

        bool ready = false;
        const auto guard = loseAccess(c.loss, folder, file, &ready);
        if (!ready) {
            ADD_FAILURE() << "cannot make the file unwritable here";
            continue;
        }
        const QStringList before = listing(folder);
        main.Document().SetCell(2, 3, 5);
        main.Document().SetMapModified(true);
        Script.Log.clear();
        EXPECT_FALSE(main.SaveMapOverwrite());
        ASSERT_EQ(Script.Log.size(), 1);
        EXPECT_TRUE(Script.Log[0].startsWith(QStringLiteral("error: マップデータを保存できません")))
            << Script.Log[0].toStdString();
        EXPECT_TRUE(Script.Log[0].contains(QStringLiteral("town.mpd")));
        EXPECT_TRUE(main.Document().MapModified());
        EXPECT_EQ(listing(folder), before);
        if (c.loss != Loss::FolderRemoved) {
            EXPECT_EQ(readAll(file), saved);
        } else {
            EXPECT_FALSE(QFileInfo::exists(folder));
        }

        // Closing still asks about the unsaved map.
        Script.Log.clear();
        Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::Cancel; };
        EXPECT_FALSE(main.close());
        EXPECT_EQ(Script.Log.size(), 1);
        Script.Confirm = nullptr;
    }
    main.Document().SetMapModified(false);
}

// The command-line tool in the same places: one line that names the file, exit code 1, and
// the file and folder as they were.
TEST(SaveVanishedCli, TheToolSaysSoInOneLine)
{
    for (const LossCase& c : LossCases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString source = dir.filePath(QStringLiteral("source.mpd"));
        const QString folder = dir.filePath(QStringLiteral("out"));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString file = folder + QStringLiteral("/out.mpd");
        QString out, err;
        QTextStream o(&out), e(&err);
        ASSERT_EQ(RunCli({"new", "30", "20", source, "--fill", "9"}, o, e), 0);
        ASSERT_EQ(RunCli({"new", "3", "2", file}, o, e), 0);
        const QByteArray saved = readAll(file);

        bool ready = false;
        const auto guard = loseAccess(c.loss, folder, file, &ready);
        if (!ready) {
            ADD_FAILURE() << "cannot make the file unwritable here";
            continue;
        }
        const QStringList before = listing(folder);
        err.clear();
        EXPECT_EQ(RunCli({"convert", source, file, "--to", "2"}, o, e), 1);
        e.flush();
        EXPECT_TRUE(err.startsWith(QStringLiteral("quiltmapper-cli: cannot write map ")))
            << err.toStdString();
        EXPECT_TRUE(err.contains(file)) << err.toStdString();
        EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << err.toStdString();
        EXPECT_EQ(listing(folder), before);
        if (c.loss != Loss::FolderRemoved) {
            EXPECT_EQ(readAll(file), saved);
        }
    }
}

} // namespace
