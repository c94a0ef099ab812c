#include "FileReload.h"

#include "DrawGrid.h"
#include "LupeUnit.h"
#include "MapFile.h"
#include "Parts.h"
#include "ProgramFixture.h"
#include "ProgressRun.h"
#include "main.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

namespace {

constexpr int Wait = 10000; // ms; a generous bound for the watch to act, not a speed

QRgb partColour(int part, int shade)
{
    return qRgb(part, 255 - part, shade);
}

// A sheet of 32 x 32 parts, each one plain colour, as the bytes of a BMP file.
QByteArray sheetBytes(int shade)
{
    QImage sheet(512, 512, QImage::Format_RGB32);
    for (int part = 0; part < 256; ++part) {
        for (int y = 0; y < 32; ++y) {
            auto* line = reinterpret_cast<QRgb*>(sheet.scanLine(part / 16 * 32 + y));
            std::fill(line + part % 16 * 32, line + part % 16 * 32 + 32, partColour(part, shade));
        }
    }
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    sheet.save(&out, "BMP");
    return bytes;
}

void writeInPlace(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Written beside the file under another name, then renamed over it.
void writeByRename(const QString& path, const QByteArray& bytes)
{
    const QString temporary = path + QStringLiteral(".tmp~");
    writeInPlace(temporary, bytes);
    ASSERT_EQ(
        std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()),
        0);
}

// Which shade all 256 parts show, or -1 when they do not show one shade of the sheets.
int shadeShown(const TPartsStore& parts)
{
    const int shade = qBlue(parts.PartBitmap(0).pixel(0, 0));
    for (int part = 0; part < 256; ++part) {
        const QImage& picture = parts.PartBitmap(part);
        if (picture.pixel(0, 0) != partColour(part, shade) ||
            picture.pixel(31, 31) != partColour(part, shade))
            return -1;
    }
    return shade;
}

} // namespace

class FileReloadTest : public ProgramTest
{
protected:
    void SetUp() override
    {
        Busy.reset();
        Script = {};
        Picture = Dir.filePath(QStringLiteral("sheet.bmp"));
        writeInPlace(Picture, sheetBytes(1));
        ProgramTest::SetUp();
        ASSERT_TRUE(Parts().LoadPartsPicture(Picture));
        Parts().SelectPart(37);
    }

    TPartsForm& Parts() { return *Forms().PartsForm; }
    TMainForm& Main() { return *Forms().MainForm; }
    TMapDocument& Doc() { return Program->Models().Document; }
    QString PartsStatus() { return Parts().StatusText->text(); }
    QString Name() const { return QFileInfo(Picture).fileName(); }
    // Waits for the parts to show the shade.
    bool PartsShow(int shade)
    {
        return QTest::qWaitFor([&] { return shadeShown(PartsStore()) == shade; }, Wait);
    }
    bool StatusSays(const QString& text)
    {
        return QTest::qWaitFor([&] { return PartsStatus() == text; }, Wait);
    }

    QString Picture;
    std::unique_ptr<QTimer> Busy; // another program saving beside the picture
};

// Every way another program saves a picture ends in one reload of the newest version, as
// undo steps back to the picture before, with the selection kept.
TEST_F(FileReloadTest, EachKindOfSaveReloadsThePartsAsUndoSteps)
{
    using TSave = std::function<void()>;
    const struct
    {
        const char* Kind;
        TSave Save;
        int Shade; // shown at the end
    } cases[] = {
        {"write in place", [this] { writeInPlace(Picture, sheetBytes(2)); }, 2},
        {"write then rename, twice in a row, then in place",
         [this] {
             writeByRename(Picture, sheetBytes(2));
             writeByRename(Picture, sheetBytes(3));
             ASSERT_TRUE(PartsShow(3));
             writeInPlace(Picture, sheetBytes(7));
         },
         7},
        {"copy over",
         [this] {
             const QString other = Dir.filePath(QStringLiteral("other.bmp"));
             writeInPlace(other, sheetBytes(4));
             std::filesystem::copy_file(QFile::encodeName(other).toStdString(),
                                        QFile::encodeName(Picture).toStdString(),
                                        std::filesystem::copy_options::overwrite_existing);
         },
         4},
        {"delete then create",
         [this] {
             ASSERT_TRUE(QFile::remove(Picture));
             ASSERT_TRUE(StatusSays(TFileReload::PartsGoneText.arg(Name())));
             EXPECT_EQ(shadeShown(PartsStore()), 1) << "nothing is dropped";
             writeInPlace(Picture, sheetBytes(5));
         },
         5},
        {"in place, beside a file saved by rename every 50 ms",
         [this] {
             Busy = std::make_unique<QTimer>();
             QObject::connect(Busy.get(), &QTimer::timeout, [this] {
                 writeByRename(Dir.filePath(QStringLiteral("autosave.txt")), QByteArray(64, 'x'));
             });
             Busy->start(50);
             writeInPlace(Picture, sheetBytes(8));
         },
         8},
        {"half-written, then whole",
         [this] {
             const QByteArray whole = sheetBytes(6);
             writeInPlace(Picture, whole.left(whole.size() / 2));
             ASSERT_TRUE(StatusSays(TFileReload::PartsUnreadableText.arg(Name())));
             EXPECT_EQ(shadeShown(PartsStore()), 1);
             writeInPlace(Picture, whole);
         },
         6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Kind);
        TearDown();
        SetUp();
        c.Save();
        ASSERT_TRUE(PartsShow(c.Shade));
        EXPECT_TRUE(StatusSays(TFileReload::PartsReloadedText.arg(Name())));
        EXPECT_FALSE(PartsStore().IsPartsModified());
        EXPECT_EQ(Parts().SelectedPartNumber(), 37);
        // Back to the first picture in at most one step per version, and forward again.
        int undone = 0;
        while (shadeShown(PartsStore()) != 1 && undone < 3 && Doc().Undo())
            ++undone;
        EXPECT_EQ(shadeShown(PartsStore()), 1);
        EXPECT_GE(undone, 1);
        while (undone-- > 0)
            Doc().Redo();
        EXPECT_EQ(shadeShown(PartsStore()), c.Shade);
    }
}

// Unsaved edits: one question per change; yes reloads with the edits one undo away, no
// keeps them.
TEST_F(FileReloadTest, UnsavedEditsAreAskedAboutOnce)
{
    const QString question = TFileReload::PartsQuestion.arg(Name());
    for (const TAnswer answer : {TAnswer::Yes, TAnswer::No}) {
        SCOPED_TRACE(answer == TAnswer::Yes ? "yes" : "no");
        TearDown();
        SetUp();
        PartsStore().EditParts({5}, [&] {
            PartsStore().PartBitmap(5).fill(Qt::black);
            return true;
        });
        Script.Confirm = [&](const QString&, TConfirmButtons) { return answer; };
        writeByRename(Picture, sheetBytes(2));
        writeByRename(Picture, sheetBytes(3));
        if (answer == TAnswer::Yes) {
            ASSERT_TRUE(PartsShow(3));
            ASSERT_TRUE(Doc().Undo());
            EXPECT_EQ(PartsStore().PartBitmap(5).pixel(0, 0), qRgb(0, 0, 0));
            EXPECT_TRUE(PartsStore().IsPartsModified());
        } else {
            ASSERT_TRUE(StatusSays(TFileReload::PartsKeptText.arg(Name())));
            EXPECT_EQ(PartsStore().PartBitmap(5).pixel(0, 0), qRgb(0, 0, 0));
            EXPECT_EQ(PartsStore().PartBitmap(6).pixel(0, 0), partColour(6, 1));
        }
        EXPECT_EQ(Script.Log.count(QStringLiteral("confirm[YesNo]: ") + question), 1)
            << Script.Log.join('\n').toStdString();
    }
}

// Edits in the magnifier not yet stored go into the history before a reload the user agreed
// to: the reload is not stored over later, and one undo brings the edits back.
TEST_F(FileReloadTest, AReloadOverMagnifierEditsKeepsThemOneUndoAway)
{
    Main().resize(900, 700);
    Main().NewMap(10, 10);
    Doc().SetCell(2, 2, 7);
    Settings().SetZoomLevel(zlZoom);
    Main().MapGrid->SetCol(2);
    Main().MapGrid->SetRow(2);
    Main().SetLupeMode();
    Settings().SetPixelTool(ptFreeLine);
    Settings().SetDrawingColor(QColor(0, 0, 0));
    QWidget* view = Main().Lupe->viewport();
    const int power = Main().Lupe->Power();
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(1, 1) * power);
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(1, 1) * power);
    ASSERT_TRUE(Main().LupeEdited());
    Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::Yes; };
    writeByRename(Picture, sheetBytes(2));
    ASSERT_TRUE(PartsShow(2));
    EXPECT_FALSE(Main().LupeEdited());
    ASSERT_TRUE(Doc().Undo());
    EXPECT_EQ(PartsStore().PartBitmap(7).pixel(1, 1), qRgb(0, 0, 0));
    EXPECT_EQ(PartsStore().PartBitmap(6).pixel(0, 0), partColour(6, 1));
    // The magnifier without edits follows its part: a store (any click on the map) after the
    // reload keeps the reloaded picture.
    ASSERT_TRUE(Doc().Redo());
    Main().StoreLupePart();
    EXPECT_EQ(PartsStore().PartBitmap(7).pixel(1, 1), partColour(7, 2));
}

// A change on disk waits while a long operation reads the parts on its second thread.
TEST_F(FileReloadTest, AReloadWaitsForALongOperation)
{
    writeByRename(Picture, sheetBytes(2));
    const int seen = RunWithProgress(&Main(), {}, [&](const TProgress&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * TFileWatch::SettleMs));
        return shadeShown(PartsStore());
    });
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(PartsShow(2));
}

// The program's own save is no outside change; the next outside one is.
TEST_F(FileReloadTest, OwnSavesAreNotReloaded)
{
    PartsStore().EditParts({5}, [&] {
        PartsStore().PartBitmap(5).fill(Qt::black);
        return true;
    });
    ASSERT_TRUE(Parts().SavePartsPicture());
    QTest::qWait(3 * TFileWatch::SettleMs);
    EXPECT_NE(PartsStatus(), TFileReload::PartsReloadedText.arg(Name()));
    EXPECT_TRUE(Script.Log.isEmpty()) << Script.Log.join('\n').toStdString();
    writeByRename(Picture, sheetBytes(2));
    EXPECT_TRUE(PartsShow(2));
}

// The map file: reloaded as an undo step with the view where it was, also when the map
// changed its size; a modified map is asked about.
TEST_F(FileReloadTest, MapReloadKeepsTheViewAndAsksOverUnsavedCells)
{
    const QString mapFile = Dir.filePath(QStringLiteral("map.mpd"));
    const auto writeMap = [&](int width, int height, uint8_t part) {
        TMapDocument other;
        other.NewMap(width, height);
        other.FillMapRect({0, 0, width - 1, height - 1}, part);
        const QString temporary = Dir.filePath(QStringLiteral("map.tmp"));
        ASSERT_TRUE(SaveMapFile(temporary, other, TMapFileType::Type2, 32, 32));
        ASSERT_EQ(std::rename(QFile::encodeName(temporary).constData(),
                              QFile::encodeName(mapFile).constData()),
                  0);
    };
    const struct
    {
        const char* Case;
        bool Modified;
        int Width; // of the new version
        uint8_t Part;
    } cases[] = {
        {"same size", false, 300, 7}, {"larger", false, 400, 8}, {"modified, kept", true, 300, 9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Case);
        TearDown();
        SetUp();
        writeMap(300, 300, 1);
        ASSERT_TRUE(Main().LoadMapFile(mapFile));
        TDrawGrid& grid = *Main().MapGrid;
        grid.SetLeftCol(50);
        grid.SetTopRow(60);
        if (c.Modified) {
            Doc().ReplaceParts({0, 0, 0, 0}, 1, 2);
            Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::No; };
        }
        writeMap(c.Width, c.Width, c.Part);
        const QString name = QFileInfo(mapFile).fileName();
        const QString expected =
            (c.Modified ? TFileReload::MapKeptText : TFileReload::MapReloadedText).arg(name);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Main().StatusPanel0->text() == expected; }, Wait));
        EXPECT_EQ(grid.LeftCol(), 50);
        EXPECT_EQ(grid.TopRow(), 60);
        if (c.Modified) {
            EXPECT_EQ(Doc().Cell(100, 100), 1);
            EXPECT_TRUE(Doc().MapModified());
            EXPECT_EQ(Script.Log.size(), 1);
            continue;
        }
        EXPECT_EQ(Doc().MapWidth(), c.Width);
        EXPECT_EQ(Doc().Cell(c.Width - 1, 100), c.Part);
        EXPECT_FALSE(Doc().MapModified());
        ASSERT_TRUE(Doc().Undo());
        EXPECT_EQ(Doc().MapWidth(), 300);
        EXPECT_EQ(Doc().Cell(100, 100), 1);
        EXPECT_TRUE(Doc().MapModified());
    }
}

// "外部プログラムで編集(&X)" offers to save unsaved parts first, then hands the picture to
// the program of the settings.
TEST_F(FileReloadTest, ExternalEditorGetsThePictureAfterTheSaveQuestion)
{
    const QString seen = Dir.filePath(QStringLiteral("seen.txt"));
    const QString editor = Dir.filePath(QStringLiteral("editor.sh"));
    writeInPlace(editor, QStringLiteral("#!/bin/sh\nprintf %s \"$1\" > '%1'\n").arg(seen).toUtf8());
    QFile::setPermissions(editor, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Settings().SetPartsEditor(editor);
    for (const TAnswer answer : {TAnswer::Cancel, TAnswer::Yes}) {
        PartsStore().EditParts({5}, [&] {
            PartsStore().PartBitmap(5).fill(Qt::black);
            return true;
        });
        Script.Confirm = [&](const QString&, TConfirmButtons) { return answer; };
        Parts().ExternalEdit1Click();
        EXPECT_EQ(PartsStore().IsPartsModified(), answer == TAnswer::Cancel);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(seen).size() > 0; }, Wait));
    QFile file(seen);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), QFileInfo(Picture).absoluteFilePath());
    EXPECT_EQ(Script.Log.size(), 2);
    // The program is kept in the settings file.
    RestartProgram();
    EXPECT_EQ(Settings().PartsEditor(), editor);
}
