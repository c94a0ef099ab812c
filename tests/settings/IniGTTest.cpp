#include "IniGT.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class IniGTTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ini.SetDefaultDir(ddNone);
        ini.SetFileName(path());
    }

    QString path() const { return dir.filePath("Quiltmapper.ini"); }

    void put(const QByteArray& bytes)
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray bytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    TIniGT ini;
};

TEST(IniGTNames, DefaultFileNameFromTheExecutable)
{
    EXPECT_EQ(TIniGT::DefaultFileNameFor("EDITOR.EXE"), "Editor.ini");
    EXPECT_EQ(TIniGT::DefaultFileNameFor("editor"), "Editor.ini");
    EXPECT_EQ(TIniGT::DefaultFileNameFor("1MAP.EXE"), "1map.ini");
    EXPECT_EQ(TIniGT::DefaultFileNameFor("/usr/local/bin/quiltmapper"), "Quiltmapper.ini");
    EXPECT_EQ(TIniGT::DefaultFileNameFor("Map.Tool.exe"), "Map.tool.ini");
    // Only ASCII letters change case.
    EXPECT_EQ(TIniGT::DefaultFileNameFor(QStringLiteral("ÄMAP.EXE")), QStringLiteral("Ämap.ini"));
}

TEST(IniGTNames, StateAfterConstructionAndPathResolution)
{
    TIniGT ini;
    EXPECT_EQ(ini.DefaultDir(), ddApplication);
    EXPECT_EQ(ini.Fence(), fnNone);
    EXPECT_TRUE(ini.FenceUnset());
    EXPECT_TRUE(ini.FileName().isEmpty());
    EXPECT_TRUE(ini.FilePath().isEmpty());

    ini.SetFence(fnNone); // the same value still counts as assigned
    EXPECT_FALSE(ini.FenceUnset());

    const QString appDir = QCoreApplication::applicationDirPath();
    ini.SetFileName("a.ini");
    EXPECT_EQ(ini.FilePath(), appDir + "/a.ini");
    ini.SetDefaultDir(ddNone);
    EXPECT_EQ(ini.FileName(), "a.ini");
    EXPECT_EQ(ini.FilePath(), "a.ini");
    ini.SetDefaultDir(ddWindows);
    EXPECT_EQ(ini.FilePath(), "a.ini");
    ini.SetDefaultDir(ddApplication);
    EXPECT_EQ(ini.FilePath(), appDir + "/a.ini");

    // A name with a directory is used as it is.
    ini.SetFileName("/tmp/b.ini");
    EXPECT_EQ(ini.FilePath(), "/tmp/b.ini");
    ini.SetFileName("conf/c.ini");
    EXPECT_EQ(ini.FilePath(), "conf/c.ini");
}

TEST(IniGTNames, TheProgramsFolderHoldsTheFileWhenWritableElseTheUsersConfigFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = dir.filePath(QStringLiteral("bin"));
    const QString locked = dir.filePath(QStringLiteral("locked"));
    const QString config = dir.filePath(QStringLiteral("config/Quiltmapper"));
    ASSERT_TRUE(QDir().mkpath(program));
    ASSERT_TRUE(QDir().mkpath(locked));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    const bool canLock = !QFileInfo(locked).isWritable(); // not as root
    const QString name = QStringLiteral("Quiltmapper.ini");
    struct Case
    {
        const char* what;
        QString programDir;
        QString expected;
    };
    const Case cases[] = {
        {"writable: beside the program", program, program + u'/' + name},
        {"a folder that is not there", dir.filePath(QStringLiteral("gone")), config + u'/' + name},
        {"read-only", locked, config + u'/' + name},
    };
    for (const Case& c : cases) {
        if (c.programDir == locked && !canLock)
            continue;
        EXPECT_EQ(TIniGT::ApplicationFilePath(c.programDir, config, name), c.expected) << c.what;
    }
    EXPECT_TRUE(QFileInfo(config).isDir()); // made for the first write

    // What is written there is read from there by the next run.
    TIniGT first;
    first.SetFileName(
        TIniGT::ApplicationFilePath(dir.filePath(QStringLiteral("gone")), config, name));
    first.WriteInteger(QStringLiteral("MainWindow"), QStringLiteral("GridLineWidth"), 0);
    TIniGT second;
    second.SetFileName(
        TIniGT::ApplicationFilePath(dir.filePath(QStringLiteral("gone")), config, name));
    EXPECT_EQ(second.ReadInteger(QStringLiteral("MainWindow"), QStringLiteral("GridLineWidth"), 1),
              0);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(IniGTNames, LoadedAppliesTheDefaultNameOnlyWithoutAName)
{
    TIniGT ini;
    ini.Loaded();
    const QString expected = TIniGT::DefaultFileNameFor(QCoreApplication::applicationFilePath());
    EXPECT_EQ(ini.FileName(), expected);
    EXPECT_EQ(ini.FilePath(), QCoreApplication::applicationDirPath() + '/' + expected);

    TIniGT named;
    named.SetFileName("own.ini");
    named.Loaded();
    EXPECT_EQ(named.FileName(), "own.ini");
}

TEST_F(IniGTTest, MissingFileOrKeyGivesDefaults)
{
    EXPECT_EQ(ini.ReadString("options", "DefaultExtName", "mpd"), "mpd");
    EXPECT_EQ(ini.ReadInteger("MainWindow", "GridLineWidth", 1), 1);
    EXPECT_TRUE(ini.ReadBool("options", "isShowTitle", true));
    EXPECT_FALSE(ini.ReadBool("options", "isNonDim", false));

    put("[options]\nother=1\n");
    EXPECT_EQ(ini.ReadInteger("options", "SaveFormatType", 2), 2);
    EXPECT_EQ(ini.ReadInteger("ToolBox", "WindowState.X", -7), -7);
}

TEST_F(IniGTTest, IntegerTexts)
{
    put("[n]\n"
        "hex1=0x1F\nhex2=$1F\nhex3=0X1f\nneg=-42\nplus=+5\nzero=0\n"
        "max=2147483647\nmin=-2147483648\nover=2147483648\nunder=-2147483649\n"
        "allbits=$FFFFFFFF\nhexover=$100000000\nletters=abc\nempty=\nshort=0x\n"
        "dollar=$\nspace=1 2\ntrail=12a\nminus=-\nbadhex=$1G\n");
    EXPECT_EQ(ini.ReadInteger("n", "hex1", 0), 31);
    EXPECT_EQ(ini.ReadInteger("n", "hex2", 0), 31);
    EXPECT_EQ(ini.ReadInteger("n", "hex3", 0), 31);
    EXPECT_EQ(ini.ReadInteger("n", "neg", 0), -42);
    EXPECT_EQ(ini.ReadInteger("n", "plus", 0), 5);
    EXPECT_EQ(ini.ReadInteger("n", "zero", 9), 0);
    EXPECT_EQ(ini.ReadInteger("n", "max", 0), 2147483647);
    EXPECT_EQ(ini.ReadInteger("n", "min", 0), -2147483647 - 1);
    EXPECT_EQ(ini.ReadInteger("n", "allbits", 0), -1);
    for (const char* key : {"over", "under", "hexover", "letters", "empty", "short", "dollar",
                            "space", "trail", "minus", "badhex"})
        EXPECT_EQ(ini.ReadInteger("n", key, 77), 77) << key;
}

TEST_F(IniGTTest, IntegerAndBoolRoundTrip)
{
    for (qint32 value : {0, 1, -1, 123456, -2147483647 - 1, 2147483647}) {
        ini.WriteInteger("n", "v", value);
        EXPECT_EQ(ini.ReadInteger("n", "v", 5), value);
    }
    ini.WriteInteger("n", "v", -42);
    EXPECT_TRUE(bytes().contains("v=-42\n"));

    ini.WriteBool("b", "t", true);
    ini.WriteBool("b", "f", false);
    EXPECT_TRUE(bytes().contains("t=1\nf=0\n"));
    EXPECT_TRUE(ini.ReadBool("b", "t", false));
    EXPECT_FALSE(ini.ReadBool("b", "f", true));

    put("[b]\ntwo=2\nneg=-1\nhex=$10\nword=yes\n");
    EXPECT_TRUE(ini.ReadBool("b", "two", false));
    EXPECT_TRUE(ini.ReadBool("b", "neg", false));
    EXPECT_TRUE(ini.ReadBool("b", "hex", false));
    EXPECT_TRUE(ini.ReadBool("b", "word", true));
    EXPECT_FALSE(ini.ReadBool("b", "word", false));
}

TEST_F(IniGTTest, FencesWritten)
{
    ini.SetFence(fnDoubleQuote);
    ini.WriteString("s", "dq", " a ");
    ini.SetFence(fnParenthesis);
    ini.WriteString("s", "pa", " b ");
    ini.SetFence(fnVer11Mode);
    ini.WriteString("s", "v11", QStringLiteral("ｃ"));
    ini.SetFence(fnNone);
    ini.WriteString("s", "none", " d ");
    EXPECT_EQ(bytes(), QStringLiteral("[s]\ndq=\" a \"\npa=｢ b ｣\nv11=｢ｃ｣\nnone= d \n").toUtf8());

    // Enclosures keep the blanks that an unenclosed value loses.
    ini.SetFence(fnVer11Mode);
    EXPECT_EQ(ini.ReadString("s", "dq", ""), " a ");
    EXPECT_EQ(ini.ReadString("s", "pa", ""), " b ");
    ini.SetFence(fnNone);
    EXPECT_EQ(ini.ReadString("s", "none", ""), "d");
}

TEST_F(IniGTTest, FencesRead)
{
    put(QStringLiteral("[s]\nquoted=\"q\"\nbracketed=｢p｣\nlone=\"\nempty=\"\"\n"
                       "mixed=\"p｣\nplain=x\n")
            .toUtf8());
    struct Case
    {
        TIniGTFence fence;
        const char* quoted;
        const char16_t* bracketed;
    };
    const Case cases[] = {
        {fnDoubleQuote, "q", u"｢p｣"},
        {fnParenthesis, "\"q\"", u"p"},
        {fnVer11Mode, "q", u"p"},
        {fnNone, "\"q\"", u"｢p｣"},
    };
    for (const Case& c : cases) {
        ini.SetFence(c.fence);
        EXPECT_EQ(ini.ReadString("s", "quoted", ""), c.quoted) << c.fence;
        EXPECT_EQ(ini.ReadString("s", "bracketed", ""), QString::fromUtf16(c.bracketed)) << c.fence;
        EXPECT_EQ(ini.ReadString("s", "lone", ""), "\"") << c.fence;
        EXPECT_EQ(ini.ReadString("s", "mixed", ""), QStringLiteral("\"p｣")) << c.fence;
        EXPECT_EQ(ini.ReadString("s", "plain", ""), "x") << c.fence;
        // A missing key gives the default itself, whatever the enclosure.
        EXPECT_EQ(ini.ReadString("s", "missing", " \"d\" "), " \"d\" ") << c.fence;
    }
    ini.SetFence(fnVer11Mode);
    EXPECT_EQ(ini.ReadString("s", "empty", "x"), "");
}

TEST_F(IniGTTest, LongValuesAreCutAfterTheEnclosureIsRemoved)
{
    ini.SetFence(fnParenthesis);
    ini.WriteString("s", "exact", QString(2047, u'a'));
    EXPECT_EQ(ini.ReadString("s", "exact", ""), QString(2047, u'a'));
    ini.WriteString("s", "long", QString(2100, u'b'));
    EXPECT_EQ(ini.ReadString("s", "long", ""), QString(2047, u'b'));

    ini.SetFence(fnNone);
    ini.WriteString("s", "plain", QString(5000, u'c'));
    EXPECT_EQ(ini.ReadString("s", "plain", ""), QString(2047, u'c'));
}

TEST_F(IniGTTest, WritesAreInTheFileWhenTheCallReturns)
{
    put("[other]\nkeep=yes\n");
    ini.WriteString("options", "DefaultExtName", QStringLiteral("マップ"));

    TIniGT second;
    second.SetFileName(path());
    EXPECT_EQ(second.ReadString("options", "DefaultExtName", ""), QStringLiteral("マップ"));
    EXPECT_EQ(second.ReadString("other", "keep", ""), "yes");
    EXPECT_EQ(bytes(),
              QStringLiteral("[other]\nkeep=yes\n[options]\nDefaultExtName=マップ\n").toUtf8());

    second.WriteInteger("options", "SaveFormatType", 1);
    EXPECT_EQ(ini.ReadInteger("options", "SaveFormatType", 2), 1);
}

TEST_F(IniGTTest, RefusedWriteRaisesWithTheFullPath)
{
    const QString missing = dir.filePath("no/such/dir/Quiltmapper.ini");
    ini.SetFileName(missing);
    try {
        ini.WriteInteger("MainWindow", "GridLineWidth", 1);
        FAIL() << "no error raised";
    } catch (const EIniGTWriteError& e) {
        EXPECT_EQ(e.message(), missing + QStringLiteral(" に書き込めません"));
        EXPECT_EQ(QString::fromUtf8(e.what()), e.message());
    }
    EXPECT_THROW(ini.WriteBool("options", "isNonDim", true), EIniGTWriteError);
    EXPECT_THROW(ini.WriteString("options", "DefaultExtName", "mpd"), EIniGTWriteError);

    // A relative name is reported with its full path.
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub.ini"));
    const QString oldCurrent = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    ini.SetFileName("sub.ini");
    try {
        ini.WriteString("options", "DefaultExtName", "mpd");
        ADD_FAILURE() << "no error raised";
    } catch (const EIniGTWriteError& e) {
        EXPECT_EQ(e.message(), QDir(dir.path()).absoluteFilePath("sub.ini") +
                                   QStringLiteral(" に書き込めません"));
    }
    QDir::setCurrent(oldCurrent);

    // A value that cannot be one line is refused the same way, and nothing is written.
    ini.SetFileName(path());
    EXPECT_THROW(ini.WriteString("options", "DefaultExtName", "a\nb=c"), EIniGTWriteError);
    EXPECT_FALSE(QFile::exists(path()));
}

} // namespace
