#include "CliText.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct RawRun
{
    int Code = -1;
    QByteArray Out;
    QByteArray Err;
};

// Reads a whole pipe into `into`.
void drain(int fd, QByteArray& into)
{
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        into.append(buffer, n);
    close(fd);
}

// Runs the command-line tool with arguments as bytes, exactly as a shell would pass them:
// QProcess would first turn them into text and back.
RawRun runTool(const std::vector<QByteArray>& args)
{
    std::vector<QByteArray> owned{QByteArrayLiteral(QM_CLI_PATH)};
    owned.insert(owned.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (QByteArray& a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    RawRun run;
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    // The outputs are a few lines: stdout first cannot fill stderr's pipe meanwhile.
    drain(outPipe[0], run.Out);
    drain(errPipe[0], run.Err);
    int status = 0;
    if (spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.Code = WEXITSTATUS(status);
    return run;
}

class CliNames : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }

    QByteArray path(const QByteArray& name) const
    {
        return QFile::encodeName(FDir.path()) + '/' + name;
    }

    // Some names cannot be handled as text: the folder is emptied by bytes.
    void TearDown() override
    {
        for (const QByteArray& name : files())
            unlink(path(name).constData());
    }

    // The names in the folder, as bytes, sorted.
    std::vector<QByteArray> files() const
    {
        std::vector<QByteArray> names;
        if (DIR* dir = opendir(QFile::encodeName(FDir.path()).constData())) {
            while (const dirent* entry = readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (name != "." && name != "..")
                    names.push_back(name);
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    QTemporaryDir FDir;
};

// Names with bytes that are not text in the system's encoding, and names with line breaks
// or other control characters: each error is one line that shows the name, and nothing
// is read or written under another name.
TEST_F(CliNames, EveryNameIsUsedAsGivenOrRefusedInOneLine)
{
    // A real 2 x 2 map under a name that is not UTF-8 ("café" in Latin-1).
    const RawRun made = runTool({"new", "2", "2", path("ok.mpd")});
    ASSERT_EQ(made.Code, 0) << made.Err.toStdString();
    ASSERT_EQ(rename(path("ok.mpd").constData(), path("caf\xe9.mpd").constData()), 0);

    struct Case
    {
        const char* what;
        std::vector<QByteArray> args;
        int code;
        QByteArray shown; // in the one line on stderr; empty when the command succeeds
    };
    const Case cases[] = {
        {"existing map, not UTF-8", {"info", path("caf\xe9.mpd")}, 2, "caf\\xe9.mpd"},
        {"output, not UTF-8", {"new", "2", "2", path("out\xff.mpd")}, 2, "out\\xff.mpd"},
        {"convert output, not UTF-8",
         {"convert", path("caf\xe9.mpd"), path("b\xc3.mpd"), "--to", "1"},
         2,
         "caf\\xe9.mpd"},
        {"option value, not UTF-8", {"new", "2", "2", path("o.mpd"), "--fill", "\xfe"}, 2, "\\xfe"},
        {"missing map with a line break", {"info", path("miss\ning.mpd")}, 1, "miss\\ning.mpd"},
        {"missing map with CR and tab", {"info", path("a\r\tb.mpd")}, 1, "a\\r\\tb.mpd"},
        {"missing map with escape", {"info", path("x\x1b[2Jy.mpd")}, 1, "x\\x1b[2Jy.mpd"},
        {"unknown option with a line break",
         {"info", "--ty\npe", "1", path("m.mpd")},
         2,
         "--ty\\npe"},
        {"unknown command with a line break", {"in\nfo"}, 2, "in\\nfo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<QByteArray> before = files();
        const RawRun r = runTool(c.args);
        EXPECT_EQ(r.Code, c.code) << r.Err.toStdString();
        EXPECT_TRUE(r.Out.isEmpty()) << r.Out.toStdString();
        EXPECT_TRUE(r.Err.startsWith("quiltmapper-cli: ")) << r.Err.toStdString();
        EXPECT_EQ(r.Err.count('\n'), 1) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.endsWith('\n'));
        EXPECT_TRUE(r.Err.contains(c.shown)) << r.Err.toStdString();
        EXPECT_EQ(files(), before);
    }
}

// Names that are text, however unusual, are used exactly as given, byte for byte.
TEST_F(CliNames, UnusualButValidNamesWorkByteForByte)
{
    const QByteArray names[] = {
        "\xe5\x9c\xb0\xe5\x9b\xb3.mpd", // 地図 in UTF-8
        "two\nlines.mpd",
        "tab\there.mpd",
        "-dash.mpd",
        "caf\xc3\xa9 \xf0\x9f\x97\xba.mpd", // café and a four-byte character
    };
    for (const QByteArray& name : names) {
        SCOPED_TRACE(name.toStdString());
        const RawRun made = runTool({"new", "3", "2", "--fill", "7", "--", path(name)});
        EXPECT_EQ(made.Code, 0) << made.Err.toStdString();
        struct stat st
        {
        };
        ASSERT_EQ(stat(path(name).constData(), &st), 0);
        EXPECT_EQ(st.st_size, 31 + 6);
        // What the tool prints about the file stays on one line too.
        EXPECT_EQ(made.Out.count('\n'), 1) << made.Out.toStdString();

        const RawRun info = runTool({"info", "--", path(name)});
        EXPECT_EQ(info.Code, 0) << info.Err.toStdString();
        EXPECT_TRUE(info.Out.contains("map size: 3 x 2 cells")) << info.Out.toStdString();
        EXPECT_TRUE(info.Out.contains("  7: 6\n")) << info.Out.toStdString();
        ASSERT_EQ(unlink(path(name).constData()), 0);
    }
    EXPECT_TRUE(files().empty());
}

TEST(CliText, OneLineEscapesEveryLineBreakAndControlCharacter)
{
    struct Case
    {
        QString text;
        QString line;
    };
    const Case cases[] = {
        {QStringLiteral("plain /path/x.mpd"), QStringLiteral("plain /path/x.mpd")},
        {QStringLiteral("a\nb"), QStringLiteral("a\\nb")},
        {QStringLiteral("a\r\n"), QStringLiteral("a\\r\\n")},
        {QString(QChar(0)) + QChar(0x7F) + QChar(0x1B), QStringLiteral("\\x00\\x7f\\x1b")},
        {QString(QChar(0x85)) + QChar(0x2028) + QChar(0x2029),
         QStringLiteral("\\u0085\\u2028\\u2029")},
        {QStringLiteral("地図 café"), QStringLiteral("地図 café")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OneLine(c.text), c.line) << c.text.toStdString();

    QString why;
    const auto ok = DecodeCliArguments({"a", "\xe5\x9c\xb0", "x\ny"}, &why);
    ASSERT_TRUE(ok);
    EXPECT_EQ(*ok, (QStringList{"a", QStringLiteral("地"), "x\ny"}));
    EXPECT_FALSE(DecodeCliArguments({"a", "b\xe9"}, &why));
    EXPECT_TRUE(why.contains("argument 2")) << why.toStdString();
    EXPECT_TRUE(why.contains("b\\xe9")) << why.toStdString();
}

} // namespace
