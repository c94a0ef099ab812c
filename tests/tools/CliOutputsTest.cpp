#include "CliCommands.h"
#include "NoRoom.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// What the commands write: only regular files, never a file they read, and a set of files
// (a TMX and its sheet, an imported map and its sheet, the tiles of a picture) whole or
// not at all.

namespace {

struct CliResult
{
    int Code;
    QString Err;
};

CliResult cli(const QStringList& args)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = RunCli(args, o, e);
    e.flush();
    return {code, err};
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// Every name in the folder, links and nodes included, with the contents of the regular
// files.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        files[info.fileName()] =
            info.isSymLink() || !info.isFile() ? QByteArray("<node>") : readAll(info.filePath());
    return files;
}

mode_t kindAt(const QString& path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

// A TMX map of w x h cells, all gid 1, whose tileset is the picture `picture` of 2 x 2
// tiles, or the tileset file `tsx` when given.
QByteArray tmxText(int w, int h, const QString& picture, const QString& tsx = QString())
{
    QByteArray cells;
    for (int i = 0; i < w * h; ++i)
        cells += i ? ",1" : "1";
    const QString tileset =
        tsx.isEmpty()
            ? QStringLiteral("<tileset firstgid=\"1\" tilewidth=\"2\" tileheight=\"2\"><image "
                             "source=\"%1\"/></tileset>")
                  .arg(picture)
            : QStringLiteral("<tileset firstgid=\"1\" source=\"%1\"/>").arg(tsx);
    return QStringLiteral("<map orientation=\"orthogonal\" width=\"%1\" height=\"%2\" "
                          "tilewidth=\"2\" tileheight=\"2\">%3<layer width=\"%1\" height=\"%2\">"
                          "<data encoding=\"csv\">")
               .arg(w)
               .arg(h)
               .arg(tileset)
               .toUtf8() +
           cells + "</data></layer></map>";
}

class CliOutputs : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return FDir.filePath(name); }

    // A 4 x 4 map of 2 x 2 parts, its parts sheet and a TMX map using it.
    void makeInputs()
    {
        ASSERT_EQ(cli({"new", "4", "4", path("m.mpd"), "--part", "2x2", "--fill", "3"}).Code, 0);
        QImage sheet(32, 32, QImage::Format_RGB32);
        sheet.fill(Qt::darkCyan);
        ASSERT_TRUE(sheet.save(path("parts.png"), "PNG"));
        writeAll(path("in.tmx"), tmxText(4, 4, "parts.png"));
    }

    QTemporaryDir FDir;
};

// Outputs that are a FIFO, a symlink to a device, a folder or (as root) a device node of
// its own: refused with one line naming the file, before anything is written.
TEST_F(CliOutputs, NothingButRegularFilesIsWritten)
{
    struct Row
    {
        QStringList Args; // OUT stands for the output under test
        const char* Node;
    };
    const Row rows[] = {
        {{"convert", "m.mpd", "OUT", "--to", "1"}, "out.mpd"},
        {{"new", "4", "4", "OUT"}, "out.mpd"},
        {{"render", "m.mpd", "parts.png", "OUT"}, "out.png"},
        {{"render", "m.mpd", "parts.png", "t.bmp", "--split", "4x4"}, "t_1_1.bmp"},
        {{"export", "m.mpd", "out.tmx", "--parts", "parts.png"}, "out.png"},
        {{"export", "m.mpd", "OUT"}, "out.csv"},
        {{"import", "in.tmx", "OUT"}, "out.mpd"},
        {{"import", "in.tmx", "x.mpd", "--parts-out", "OUT"}, "out.png"},
    };
    makeInputs();
    const QMap<QString, QByteArray> inputs = snapshot(FDir.path());
    const bool root = ::geteuid() == 0;
    for (const char* kind : {"fifo", "null-link", "folder", "device"}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(kind) + " " + row.Args.join(' ').toStdString());
            const QString node = path(row.Node);
            const QByteArray encoded = QFile::encodeName(node);
            mode_t expected = S_IFIFO;
            if (kind == std::string("fifo")) {
                ASSERT_EQ(::mkfifo(encoded.constData(), 0600), 0);
            } else if (kind == std::string("null-link")) {
                ASSERT_EQ(::symlink("/dev/null", encoded.constData()), 0);
                expected = S_IFLNK;
            } else if (kind == std::string("folder")) {
                ASSERT_TRUE(QDir(FDir.path()).mkdir(row.Node));
                expected = S_IFDIR;
            } else if (root) {
                ASSERT_EQ(::mknod(encoded.constData(), S_IFCHR | 0666, makedev(1, 3)), 0);
                expected = S_IFCHR;
            } else {
                continue;
            }
            QStringList args;
            for (const QString& a : row.Args)
                args << (a == u"OUT" ? node : a.contains('.') ? path(a) : a);
            const CliResult r = cli(args);
            EXPECT_EQ(r.Code, 1);
            EXPECT_EQ(r.Err.count('\n'), 1);
            EXPECT_TRUE(r.Err.contains(node + ": it is ")) << r.Err.toStdString();
            EXPECT_TRUE(r.Err.contains("not a regular file")) << r.Err.toStdString();
            EXPECT_EQ(kindAt(node), expected);
            EXPECT_EQ(kindAt("/dev/null"), mode_t(S_IFCHR));
            QMap<QString, QByteArray> after = snapshot(FDir.path());
            after.remove(row.Node);
            EXPECT_EQ(after, inputs);
            if (expected == S_IFDIR)
                QDir(node).removeRecursively();
            else
                QFile::remove(node);
        }
    }
}

// A command never writes over a file it reads, nor two of its outputs to one file: it
// fails with one line and every file stays as it was.
TEST_F(CliOutputs, NoOutputIsAnInputOrAnotherOutput)
{
    makeInputs();
    writeAll(path("tiles.tsx"), "<tileset name=\"t\" tilewidth=\"2\" tileheight=\"2\" "
                                "tilecount=\"256\" columns=\"16\"><image source=\"parts.png\"/>"
                                "</tileset>");
    writeAll(path("world.tmx"), tmxText(4, 4, "world.png"));
    writeAll(path("ext.tmx"), tmxText(4, 4, QString(), "tiles.tsx"));
    ASSERT_TRUE(QFile::copy(path("parts.png"), path("world.png")));
    ASSERT_TRUE(QFile::copy(path("parts.png"), path("level.png")));
    ASSERT_TRUE(QFile::copy(path("parts.png"), path("o_0_0.png")));
    ASSERT_TRUE(QFile::copy(path("m.mpd"), path("level.mpd")));
    const QStringList rows[] = {
        {"export", "level.mpd", "level.tmx", "--parts", "level.png"},
        {"import", "world.tmx", "world.mpd"},
        {"import", "ext.tmx", "tiles.tsx"},
        {"import", "in.tmx", "x.png"},
        {"render", "m.mpd", "o_0_0.png", "o.png", "--split", "4x4"},
        {"convert", "m.mpd", "m.mpd", "--to", "1"},
    };
    const QMap<QString, QByteArray> before = snapshot(FDir.path());
    for (const QStringList& row : rows) {
        SCOPED_TRACE(row.join(' ').toStdString());
        QStringList args;
        for (const QString& a : row)
            args << (a.contains('.') && !a.startsWith("--") ? path(a) : a);
        const CliResult r = cli(args);
        EXPECT_EQ(r.Code, 1);
        EXPECT_EQ(r.Err.count('\n'), 1);
        EXPECT_TRUE(r.Err.contains("this operation also")) << r.Err.toStdString();
        EXPECT_EQ(snapshot(FDir.path()), before);
    }
}

class CliOutputsNoRoom : public ::testing::TestWithParam<TNoRoomKind>
{
};

// The second file of a set does not fit: the command fails naming that file and the
// system's reason, and the files an earlier run wrote are all as they were.
TEST_P(CliOutputsNoRoom, ASetIsReplacedWholeOrNotAtAll)
{
    TNoRoom noRoom(GetParam());
    if (!noRoom.Ready())
        GTEST_SKIP() << noRoom.WhyNotReady();
    const auto path = [&](const QString& name) { return noRoom.Path(name); };
    QImage sheet(32, 32, QImage::Format_RGB32);
    sheet.fill(Qt::darkCyan);
    ASSERT_TRUE(sheet.save(path("parts.png"), "PNG"));
    // An earlier run's files, from a small map; then a large one that does not fit.
    ASSERT_EQ(cli({"new", "4", "4", path("small.mpd"), "--part", "2x2"}).Code, 0);
    ASSERT_EQ(cli({"new", "4", "4", path("other.mpd"), "--part", "2x2", "--fill", "9"}).Code, 0);
    ASSERT_EQ(cli({"new", "300", "200", path("big.mpd"), "--part", "2x2", "--fill", "5"}).Code, 0);
    writeAll(path("small.tmx"), tmxText(4, 4, "parts.png"));
    writeAll(path("big.tmx"), tmxText(300, 200, "parts.png"));
    const QString reason =
        QString::fromLocal8Bit(std::strerror(GetParam() == TNoRoomKind::FullDisk ? ENOSPC : EFBIG));
    struct Row
    {
        QStringList Earlier, Now;
        QString Fails; // the file the message names
        qint64 Room;
    };
    const Row rows[] = {
        {{"export", "small.mpd", "out.tmx", "--parts", "parts.png"},
         {"export", "big.mpd", "out.tmx", "--parts", "parts.png"},
         "out.tmx",
         8192},
        {{"import", "small.tmx", "out.mpd"}, {"import", "big.tmx", "out.mpd"}, "out.mpd", 8192},
        {{"render", "small.mpd", "parts.png", "t.png", "--split", "100x100", "--cell", "50",
          "--png-level", "0"},
         {"render", "other.mpd", "parts.png", "t.png", "--split", "100x100", "--cell", "50",
          "--png-level", "0"},
         GetParam() == TNoRoomKind::FullDisk ? "t_1_0.png" : "t_0_0.png",
         GetParam() == TNoRoomKind::FullDisk ? 45000 : 20000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Now.join(' ').toStdString());
        const auto withPaths = [&](const QStringList& args) {
            QStringList result;
            for (const QString& a : args)
                result << (a.contains('.') && !a.startsWith("--") ? path(a) : a);
            return result;
        };
        ASSERT_EQ(cli(withPaths(row.Earlier)).Code, 0);
        const QMap<QString, QByteArray> before = snapshot(QFileInfo(path("x")).absolutePath());
        noRoom.Arm(row.Room);
        const CliResult r = cli(withPaths(row.Now));
        noRoom.Disarm();
        EXPECT_EQ(r.Code, 1);
        EXPECT_EQ(
            r.Err,
            QStringLiteral("quiltmapper-cli: cannot write %1: %2\n").arg(path(row.Fails), reason));
        EXPECT_EQ(snapshot(QFileInfo(path("x")).absolutePath()), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, CliOutputsNoRoom, QM_NO_ROOM_KINDS);

} // namespace
