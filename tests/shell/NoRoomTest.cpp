#include "NoRoom.h"

#include "DrawGrid.h"
#include "Parts.h"
#include "ProgramFixture.h"
#include "main.h"

#include <QFile>
#include <QTest>
#include <cstring>
#include <functional>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The editor's saves out of room: each shows its message, keeps the work marked modified,
// and leaves the file on disk exactly as it was.
class NoRoomTest : public ProgramTest, public ::testing::WithParamInterface<TNoRoomKind>
{
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        Room = std::make_unique<TNoRoom>(GetParam());
        if (!Room->Ready())
            GTEST_SKIP() << Room->WhyNotReady();
    }

    void TearDown() override
    {
        Room.reset();
        ProgramTest::TearDown();
    }

    // Ctrl+S in a window, as the user types it.
    static void pressSave(QWidget* window, QWidget* focus)
    {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(focus, Qt::Key_S, Qt::ControlModifier);
    }

    std::unique_ptr<TNoRoom> Room;
};

TEST_P(NoRoomTest, MapSaveReportsKeepsTheMapModifiedAndTheOldFileWhole)
{
    TMainForm& main = *Forms().MainForm;
    const QString name = Room->Path("kept.mpd");
    Script.FileDialog = [&](const TFileDialogRequest&) { return std::optional(name); };
    main.Document().SetCell(4, 4, 9);
    main.Document().SetMapModified(true);
    ASSERT_TRUE(main.SaveMapOverwrite()); // the 101 x 101 map, about 10 KB
    const QByteArray saved = readAll(name);
    ASSERT_GT(saved.size(), 10000);

    main.Document().SetCell(5, 5, 7);
    main.Document().SetMapModified(true);
    Script.Log.clear();
    Room->Arm();
    pressSave(&main, main.MapGrid);
    Room->Disarm();
    ASSERT_FALSE(Script.Log.isEmpty());
    EXPECT_TRUE(Script.Log.last().startsWith(QStringLiteral("error: マップデータを保存できません")))
        << Script.Log.last().toStdString();
    EXPECT_TRUE(main.Document().MapModified());
    EXPECT_EQ(readAll(name), saved);
    EXPECT_EQ(Room->Files(), QStringList{"kept.mpd"});

    // Closing still asks about the map.
    Script.Log.clear();
    Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::Cancel; };
    EXPECT_FALSE(main.close());
    EXPECT_TRUE(Script.Log.value(0).endsWith(QStringLiteral("マップデータを上書き保存しますか？")))
        << Script.Log.value(0).toStdString();
}

TEST_P(NoRoomTest, PartsSaveReportsKeepsThePartsModifiedAndTheOldFileWhole)
{
    TPartsForm& parts = *Forms().PartsForm;
    const QString name = Room->Path("tiles.bmp");
    Script.FileDialog = [&](const TFileDialogRequest&) { return std::optional(name); };
    parts.SetPartsModified();
    ASSERT_TRUE(parts.SavePartsPicture());
    const QByteArray saved = readAll(name);
    ASSERT_GT(saved.size(), 700000);

    QImage red(32, 32, QImage::Format_RGB32);
    red.fill(Qt::red);
    parts.CapturePart(3, red, 0, 0);
    // No room at all, and room for all but the last bytes of the sheet.
    for (const qint64 room : {qint64(0), qint64(saved.size() - 1)}) {
        SCOPED_TRACE(room);
        parts.SetPartsModified();
        Script.Log.clear();
        Room->Arm(room);
        pressSave(&parts, parts.PartsGrid);
        Room->Disarm();
        ASSERT_EQ(Script.Log.size(), 1);
        EXPECT_TRUE(
            Script.Log.last().startsWith(QStringLiteral("error: パーツ画像を保存できません")))
            << Script.Log.last().toStdString();
        EXPECT_TRUE(parts.IsPartsModified());
        EXPECT_TRUE(parts.N2->isEnabled());
        EXPECT_EQ(readAll(name), saved);
    }
    EXPECT_EQ(Room->Files(), QStringList{"tiles.bmp"});
}

TEST_P(NoRoomTest, SettingsWrittenAtTheEndAreReportedAndTheFileStaysWhole)
{
    // The settings file lives in the folder that runs out of room.
    Program.reset();
    const QString ini = Room->Path("Quiltmapper.ini");
    Program = std::make_unique<TQuiltmapperProgram>(TProgramOptions{ini});
    Program->ShowWindows();
    Program.reset(); // writes the whole file once
    const QByteArray written = readAll(ini);
    ASSERT_GT(written.size(), 200);

    Program = std::make_unique<TQuiltmapperProgram>(TProgramOptions{ini});
    Program->ShowWindows();
    Forms().MainForm->G1Click(); // a setting that differs from the file
    Script.Log.clear();
    Room->Arm();
    Program.reset();
    Room->Disarm();
    ASSERT_EQ(Script.Log.size(), 1); // every window's keys go in one write
    for (const QString& line : Script.Log)
        EXPECT_TRUE(line.endsWith(QStringLiteral(" に書き込めません"))) << line.toStdString();
    EXPECT_EQ(readAll(ini), written);
    EXPECT_EQ(Room->Files(), QStringList{"Quiltmapper.ini"});
    StartProgram(); // so that TearDown has a program to end
}

// Each message says the system's reason and names the file that failed: for the TMX
// export with no room at all, the sheet, written first.
TEST_P(NoRoomTest, MessagesSayWhyAndNameTheFileThatFailed)
{
    TMainForm& main = *Forms().MainForm;
    const QString reason =
        QString::fromLocal8Bit(std::strerror(GetParam() == TNoRoomKind::FullDisk ? ENOSPC : EFBIG));
    struct Row
    {
        const char* Chosen; // the name the file dialog gives
        const char* Fails;  // the file the message names
        std::function<void()> Run;
    };
    const Row rows[] = {
        {"kept.mpd", "kept.mpd", [&] { main.SaveMapOverwrite(); }},
        {"out.tmx", "out.png", [&] { main.TmxExport1->trigger(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Chosen);
        const QString chosen = Room->Path(QString::fromLatin1(row.Chosen));
        Script.FileDialog = [&](const TFileDialogRequest&) { return std::optional(chosen); };
        main.Document().SetMapModified(true);
        Script.Log.clear();
        Room->Arm();
        row.Run();
        Room->Disarm();
        ASSERT_FALSE(Script.Log.isEmpty());
        EXPECT_TRUE(Script.Log.last().contains(reason)) << Script.Log.last().toStdString();
        EXPECT_TRUE(Script.Log.last().contains(Room->Path(QString::fromLatin1(row.Fails))))
            << Script.Log.last().toStdString();
    }
    EXPECT_TRUE(Room->Files().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, NoRoomTest, QM_NO_ROOM_KINDS);

} // namespace
