#include "IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    QString path(const QString& name = QStringLiteral("test.ini")) const
    {
        return dir.filePath(name);
    }

    void put(const QByteArray& bytes, const QString& name = QStringLiteral("test.ini"))
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray bytes(const QString& name = QStringLiteral("test.ini")) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault)
{
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString("A", "x", "def"), "def");
    EXPECT_FALSE(ini.ReadValue("A", "x").has_value());
    EXPECT_FALSE(QFile::exists(path())); // reading creates nothing

    put("[A]\nx=1\n");
    EXPECT_EQ(ini.ReadString("A", "x", "def"), "1");
    EXPECT_EQ(ini.ReadString("A", "y", "def"), "def");
    EXPECT_EQ(ini.ReadString("B", "x", "def"), "def");
    EXPECT_EQ(TIniFile().ReadString("A", "x", "def"), "def");
}

TEST_F(IniFileTest, NamesMatchWithoutCaseAndBlanksAreNotPartOfNamesOrValues)
{
    put("[ MainWindow ]\n  GridLineWidth \t=  3 \t\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString("mainwindow", "GRIDLINEWIDTH", ""), "3");

    ASSERT_TRUE(ini.WriteString("MAINWINDOW", "gridlinewidth", "5"));
    EXPECT_EQ(bytes(), "[ MainWindow ]\ngridlinewidth=5\n"); // replaced, not added
}

TEST_F(IniFileTest, WriteCreatesFileSectionAndKey)
{
    TIniFile ini(path());
    ASSERT_TRUE(ini.WriteString("A", "x", "1"));
    ASSERT_TRUE(ini.WriteString("A", "y", "2"));
    ASSERT_TRUE(ini.WriteString("B", "x", "3"));
    ASSERT_TRUE(ini.WriteString("A", "x", "4"));
    EXPECT_EQ(bytes(), "[A]\nx=4\ny=2\n[B]\nx=3\n");
}

TEST_F(IniFileTest, WriteKeepsEveryOtherLineAsItWas)
{
    const QByteArray before = "; settings\r\n[A]\r\nx=1\r\nodd line\r\n\r\n[B]\r\ny = 2\r\n# end";
    put(before);
    TIniFile ini(path());

    ASSERT_TRUE(ini.WriteString("A", "x", "10"));
    EXPECT_EQ(bytes(), "; settings\r\n[A]\r\nx=10\r\nodd line\r\n\r\n[B]\r\ny = 2\r\n# end");

    // A new key goes after the section's last line, in the file's own line breaks.
    ASSERT_TRUE(ini.WriteString("A", "z", "3"));
    EXPECT_EQ(bytes(), "; settings\r\n[A]\r\nx=10\r\nodd line\r\nz=3\r\n\r\n[B]\r\ny = 2\r\n# end");

    // A new section follows a last line that had no line break.
    ASSERT_TRUE(ini.WriteString("C", "w", "4"));
    EXPECT_TRUE(bytes().endsWith("# end\r\n[C]\r\nw=4\r\n"));
    EXPECT_EQ(ini.ReadString("B", "y", ""), "2");
    EXPECT_EQ(ini.ReadString("A", "z", ""), "3");
    EXPECT_EQ(ini.ReadString("C", "w", ""), "4");
}

TEST_F(IniFileTest, KeyIsAddedToASectionThatEndsTheFileWithoutLineBreak)
{
    put("[A]");
    TIniFile ini(path());
    ASSERT_TRUE(ini.WriteString("A", "x", "1"));
    EXPECT_EQ(bytes(), "[A]\nx=1\n");
}

// A last line that ends in a lone CR reads as a whole line; what is written after it
// completes the line break instead of adding a CR to that line.
TEST_F(IniFileTest, WritesAfterALastLineEndingInACarriageReturn)
{
    struct Row
    {
        QByteArray before;
        const char* section;
        QByteArray after;
    };
    const Row rows[] = {
        {"[A]\r", "A", "[A]\r\nx=1\n"},
        {"\r\n[A ]\r", "A", "\r\n[A ]\r\nx=1\r\n"},
        {"[A]\ny=2\r", "A", "[A]\ny=2\r\nx=1\n"},
        {"[B]\r", "A", "[B]\r\n[A]\nx=1\n"},
        {"[B]\r\n; end\r", "A", "[B]\r\n; end\r\n[A]\r\nx=1\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.before.toStdString());
        put(row.before);
        TIniFile ini(path());
        ASSERT_TRUE(ini.WriteString(row.section, "x", "1"));
        EXPECT_EQ(bytes(), row.after);
        EXPECT_EQ(ini.ReadString(row.section, "x", ""), "1");
    }
}

TEST_F(IniFileTest, FirstSectionAndFirstKeyOfAName)
{
    put("[A]\nx=1\nx=2\n[a]\nx=3\ny=4\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString("A", "x", ""), "1");
    EXPECT_EQ(ini.ReadString("A", "y", "none"), "none");

    // The write lands where reads look, so it is read back.
    ASSERT_TRUE(ini.WriteString("A", "y", "5"));
    EXPECT_EQ(ini.ReadString("A", "y", ""), "5");
    EXPECT_EQ(bytes(), "[A]\nx=1\nx=2\ny=5\n[a]\nx=3\ny=4\n");
}

TEST_F(IniFileTest, Utf8TextWithByteOrderMark)
{
    put("\xEF\xBB\xBF[options]\nDefaultExtName=マップ\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString("options", "DefaultExtName", ""), QStringLiteral("マップ"));
    ASSERT_TRUE(ini.WriteString("options", "Title", QStringLiteral("地図")));
    EXPECT_EQ(bytes(), "\xEF\xBB\xBF[options]\nDefaultExtName=マップ\nTitle=地図\n");
}

TEST_F(IniFileTest, ValuesAreCutAt2047Characters)
{
    TIniFile ini(path());
    ASSERT_TRUE(ini.WriteString("A", "long", QString(3000, u'x')));
    EXPECT_EQ(ini.ReadString("A", "long", ""), QString(2047, u'x'));
    EXPECT_EQ(ini.ReadValue("A", "long")->size(), 3000); // the file holds it all

    ASSERT_TRUE(ini.WriteString("A", "exact", QString(2047, u'y')));
    EXPECT_EQ(ini.ReadString("A", "exact", ""), QString(2047, u'y'));

    // Characters are counted, not UTF-16 units: a pair is neither split nor counted twice.
    const QString emoji = QStringLiteral("😀");
    EXPECT_EQ(TIniFile::CutValue(QString(2046, u'a') + emoji + u'b'), QString(2046, u'a') + emoji);
    EXPECT_EQ(TIniFile::CutValue(QString(2047, u'a') + emoji), QString(2047, u'a'));
}

TEST_F(IniFileTest, MalformedFilesReadAsDefaults)
{
    TIniFile ini(path());

    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk += char((i * 37 + 11) % 256);
    put(junk);
    EXPECT_EQ(ini.ReadString("A", "x", "def"), "def");

    put(QByteArray("[A]\0\0\nx\0=1\n\0\0\xFF\xFE", 16));
    EXPECT_EQ(ini.ReadString("A", "x", "def"), "def");

    put("x=1\ny=2\n"); // keys outside any section
    EXPECT_EQ(ini.ReadString("", "x", "def"), "def");
    EXPECT_EQ(ini.ReadString("A", "x", "def"), "def");

    put("[A]\n" + QByteArray(1024 * 1024, 'v') + "\nx=1\n" + QByteArray(1024 * 1024, '[') + "\n");
    EXPECT_EQ(ini.ReadString("A", "x", "def"), "1");
    EXPECT_EQ(ini.ReadString("A", "y", "def"), "def");

    put("[A\nx=1\n=2\n[]\ny=3\n"); // unclosed section, empty key, empty section name
    EXPECT_EQ(ini.ReadString("A", "x", "def"), "1");
    EXPECT_EQ(ini.ReadString("A", "", "def"), "def");
}

TEST_F(IniFileTest, WriteIntoJunkKeepsTheJunk)
{
    const QByteArray junk("\x01\x02\0\xFF\xFE binary\n\0\0", 15); // no final line break
    put(junk);
    TIniFile ini(path());
    ASSERT_TRUE(ini.WriteString("A", "x", "1"));
    EXPECT_EQ(bytes(), junk + "\n[A]\nx=1\n");
    EXPECT_EQ(ini.ReadString("A", "x", ""), "1");
}

TEST_F(IniFileTest, RefusedWritesLeaveTheFileAsItWas)
{
    put("[A]\nx=1\n");
    TIniFile ini(path());
    EXPECT_FALSE(ini.WriteString("A", "x", "two\nlines"));
    EXPECT_FALSE(ini.WriteString("A", "x", "cr\r"));
    EXPECT_FALSE(ini.WriteString("A", "k=v", "1"));
    EXPECT_FALSE(ini.WriteString("A", "[B]", "1"));
    EXPECT_FALSE(ini.WriteString("A]", "x", "1"));
    EXPECT_FALSE(ini.WriteString("A", "", "1"));
    EXPECT_FALSE(ini.WriteString("", "x", "1"));
    EXPECT_EQ(bytes(), "[A]\nx=1\n");

    EXPECT_FALSE(TIniFile().WriteString("A", "x", "1"));
    EXPECT_FALSE(TIniFile(path("missing/test.ini")).WriteString("A", "x", "1"));
    EXPECT_FALSE(QDir(path("missing")).exists());

    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    EXPECT_FALSE(TIniFile(path("sub")).WriteString("A", "x", "1"));
    EXPECT_EQ(TIniFile(path("sub")).ReadString("A", "x", "def"), "def");
}

TEST_F(IniFileTest, ChangesOnDiskAreSeenAtOnce)
{
    TIniFile ini(path());
    put("[A]\nx=1\n");
    EXPECT_EQ(ini.ReadString("A", "x", ""), "1");
    put("[A]\nx=2\n");
    EXPECT_EQ(ini.ReadString("A", "x", ""), "2");
    QFile::remove(path());
    EXPECT_EQ(ini.ReadString("A", "x", "gone"), "gone");
}

} // namespace
