// The plug-ins in the program: the parts window's manager loads them at start, its open
// dialog lists their formats, and its pictures and the command-line tool's are read through
// them.
#include "CliCommands.h"
#include "Dialogs.h"
#include "Parts.h"
#include "Program.h"
#include "SPIs.h"
#include "SpiTestSupport.h"

#include <QTextStream>
#include <memory>

using namespace spitest;

namespace {

// A parts sheet of 2 x 2 parts as the test plug-in's data: 32 x 32 pixels.
QByteArray sheetScript()
{
    Script s;
    s.Picture = dib24(32, 32);
    return s.bytes();
}

TEST(SPIProgram, PartsWindowLoadsThePluginsAtStartAndReadsTheirPictures)
{
    SusieSettings susie;
    QTemporaryDir plugins, work;
    installPlugin(plugins.path(), QStringLiteral("tp_in"));
    installPlugin(plugins.path(), QStringLiteral("tp_picmag"));
    susie.setPath(plugins.path());
    const QString sheet = work.filePath(QStringLiteral("sheet.tpic"));
    writeFile(sheet, sheetScript());

    TDialogScript script;
    TFileDialogRequest asked;
    script.FileDialog = [&](const TFileDialogRequest& request) -> std::optional<QString> {
        asked = request;
        return sheet;
    };
    SetDialogScript(&script);
    {
        TQuiltmapperProgram program(TProgramOptions{work.filePath(QStringLiteral("q.ini"))});
        TPartsForm* parts = program.Forms().PartsForm;
        ASSERT_TRUE(parts->SPIs);
        EXPECT_EQ(TSPIs::ActiveSPIs(), parts->SPIs.get());
        EXPECT_EQ(parts->SPIs->Count(), 2);
        ASSERT_TRUE(program.PictureFormats().Find(QStringLiteral("tpic")));

        parts->SetPartsSize(2, 2);
        parts->N1Click();
        EXPECT_EQ(asked.NameFilters, parts->OpenDialogFilters());
        const QStringList filters = asked.NameFilters;
        ASSERT_GE(filters.size(), 4);
        EXPECT_TRUE(filters.first().startsWith(QStringLiteral("主要な画像ファイル (")));
        for (const char* pattern : {"*.tpic", "*.pic", "*.mag", "*.mki", "*.png", "*.bmp"})
            EXPECT_TRUE(filters.first().contains(QString::fromLatin1(pattern))) << pattern;
        EXPECT_TRUE(filters.contains(QStringLiteral("Test pictures (*.tpic) (*.tpic)")));
        EXPECT_TRUE(filters.contains(QStringLiteral("MAG (*.mag, *.mki) (*.mag *.mki)")));
        EXPECT_EQ(filters.last(), QStringLiteral("全てのファイル (*.*)"));

        // Part 17 is column 1, row 1 of the sheet.
        const QImage& part = parts->PartBitmap(17);
        ASSERT_EQ(part.size(), QSize(2, 2));
        EXPECT_EQ(part.pixel(1, 0) & 0xffffff, colourAt(3, 2) & 0xffffff);
        EXPECT_EQ(parts->PartBitmap(0).pixel(0, 1) & 0xffffff, colourAt(0, 1) & 0xffffff);
        EXPECT_EQ(parts->PictureInUse(), sheet);
    }
    EXPECT_EQ(TSPIs::ActiveSPIs(), nullptr);
    SetDialogScript(nullptr);
}

int runCli(const QStringList& args, QString& errors)
{
    QString out;
    QTextStream outStream(&out), errStream(&errors);
    const int code = RunCli(args, outStream, errStream);
    errStream.flush();
    return code;
}

TEST(SPIProgram, CommandLineToolReadsPartsPicturesThroughThePluginsOfItsFolders)
{
    SusieSettings susie;
    QTemporaryDir plugins, work;
    installPlugin(plugins.path(), QStringLiteral("tp_in"));
    const QString map = work.filePath(QStringLiteral("m.mpd"));
    const QString sheet = work.filePath(QStringLiteral("sheet.tpic"));
    const QString picture = work.filePath(QStringLiteral("m.png"));
    writeFile(sheet, sheetScript());
    QString errors;
    ASSERT_EQ(runCli({"new", "2", "1", map, "--fill", "17", "--part", "2x2"}, errors), 0)
        << qPrintable(errors);

    struct Row
    {
        const char* Name;
        QStringList Args;
        int Code;
        const char* Error;
    };
    const Row rows[] = {
        {"no plug-ins", {"render", map, sheet, picture}, 1, "cannot read the parts picture"},
        {"--plugins DIR", {"--plugins", plugins.path(), "render", map, sheet, picture}, 0, ""},
        {"--plugins=DIR after",
         {"render", map, sheet, picture, "--plugins=" + plugins.path()},
         0,
         ""},
        {"no such folder",
         {"--plugins", plugins.filePath("gone"), "render", map, sheet, picture},
         1,
         "plug-in folder"},
        {"twice",
         {"--plugins", plugins.path(), "--plugins", plugins.path(), "render", map, sheet, picture},
         2,
         "given twice"},
        {"no value", {"render", map, sheet, picture, "--plugins"}, 2, "needs a value"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.Name);
        QFile::remove(picture);
        errors.clear();
        EXPECT_EQ(runCli(r.Args, errors), r.Code) << qPrintable(errors);
        EXPECT_TRUE(errors.contains(QString::fromLatin1(r.Error))) << qPrintable(errors);
        if (r.Code == 0) {
            const QImage out(picture);
            ASSERT_EQ(out.size(), QSize(4, 2));
            EXPECT_EQ(out.pixel(3, 1) & 0xffffff, colourAt(3, 3) & 0xffffff);
        }
    }
    // Found the way the editor finds them, too.
    susie.setPath(plugins.path());
    errors.clear();
    EXPECT_EQ(runCli({"render", map, sheet, picture}, errors), 0) << qPrintable(errors);
}

} // namespace
