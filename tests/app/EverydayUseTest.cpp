#include "DrawGrid.h"
#include "MapFile.h"
#include "OverviewForm.h"
#include "Parts.h"
#include "ProgramFixture.h"
#include "main.h"
#include "new.h"
#include "tool.h"
#include "transparts.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>

namespace {

const QString MapQuestion =
    QStringLiteral("confirm[YesNoCancel]: マップデータを上書き保存しますか？");
const QString PartsQuestion =
    QStringLiteral("confirm[YesNoCancel]: パーツデータを上書き保存しますか？");
const QString NewMapQuestion =
    QStringLiteral("confirm[YesNoCancel]: 変更データを上書き保存しますか？");

// A parts sheet of 32 x 32 parts, each part one colour of its own.
QImage sheetPicture(int shade, int parts = 16)
{
    QImage sheet(parts * 32, parts * 32, QImage::Format_RGB32);
    for (int y = 0; y < sheet.height(); ++y) {
        for (int x = 0; x < sheet.width(); ++x)
            sheet.setPixel(x, y, qRgb(x / 32 * 16, y / 32 * 16, shade));
    }
    return sheet;
}

QStringList questions(const QStringList& log)
{
    QStringList asked;
    for (const QString& line : log) {
        if (line.startsWith(QStringLiteral("confirm")))
            asked << line;
    }
    return asked;
}

} // namespace

class EverydayUseTest : public ProgramTest
{
protected:
    TMainForm* Main() { return Forms().MainForm; }
    TPartsForm* PartsWindow() { return Forms().PartsForm; }
    TMapDocument& Doc() { return Main()->Document(); }
    QString PartsStatus() { return PartsWindow()->StatusText->text(); }

    QString SaveSheet(const QString& name, int shade, int parts = 16)
    {
        const QString path = Dir.filePath(name);
        EXPECT_TRUE(sheetPicture(shade, parts).save(path));
        return path;
    }

    QString SaveMap(const QString& name, int width, int height)
    {
        TMapDocument doc;
        doc.NewMap(width, height);
        const QString path = Dir.filePath(name);
        EXPECT_TRUE(SaveMapFile(path, doc, TMapFileType::Type2, 32, 32));
        return path;
    }

    QImage Sheet()
    {
        QImage sheet;
        PartsStore().ComposePartsPicture(sheet);
        return sheet;
    }
};

TEST_F(EverydayUseTest, OpeningMakingOrDroppingAMapAsksAboutTheMapThenTheParts)
{
    const QString other = SaveMap(QStringLiteral("other.mpd"), 7, 3);
    Script.FileDialog = [&](const TFileDialogRequest&) { return std::optional<QString>(other); };
    TNewCreateDlg* dialog = Forms().NewCreateDlg;
    Script.Modal = [&](QDialog* d) {
        if (d != dialog)
            return int(QDialog::Rejected);
        dialog->Spin_NewWidth->setValue(12);
        dialog->Spin_NewHeight->setValue(8);
        return int(QDialog::Accepted);
    };
    struct Command
    {
        const char* name;
        std::function<void()> run;
        int newWidth;
        QString mapQuestion;
        bool partsAfterCancel; // the parts question also after Cancel on the map's
    };
    // The new-map command asks its own question, and stops at its Cancel.
    const Command commands[] = {
        {"R1", [&] { Main()->R1->trigger(); }, 7, MapQuestion, true},
        {"N1", [&] { Main()->N1->trigger(); }, 12, NewMapQuestion, false},
        {"drop", [&] { Main()->DropFiles({other}); }, 7, MapQuestion, true},
    };
    struct Answers
    {
        TAnswer map;
        TAnswer parts;
        bool goesOn;
    };
    const Answers answers[] = {
        {TAnswer::Cancel, TAnswer::No, false},
        {TAnswer::No, TAnswer::Cancel, false},
        {TAnswer::No, TAnswer::No, true},
    };
    for (const Command& command : commands) {
        for (const Answers& a : answers) {
            Main()->NewMap(101, 101);
            Doc().SetCell(0, 0, 4);
            Doc().SetMapModified(true);
            PartsStore().ResetPart(3);
            PartsStore().SetPartsModified();
            Script.Log.clear();
            Script.Confirm = [&a](const QString& text, TConfirmButtons) {
                return text.startsWith(QStringLiteral("パーツ")) ? a.parts : a.map;
            };
            command.run();
            const std::string what = std::string(command.name) + (a.goesOn ? " goes on" : " stops");
            // The map first, then the parts.
            QStringList asked{command.mapQuestion};
            if (a.map != TAnswer::Cancel || command.partsAfterCancel)
                asked << PartsQuestion;
            EXPECT_EQ(questions(Script.Log), asked) << what;
            if (a.goesOn) {
                EXPECT_EQ(Main()->MapWidth(), command.newWidth) << what;
                EXPECT_FALSE(Doc().MapModified()) << what;
            } else {
                EXPECT_EQ(Main()->MapWidth(), 101) << what;
                EXPECT_EQ(Doc().Cell(0, 0), 4) << what;
                EXPECT_TRUE(Doc().MapModified()) << what;
                EXPECT_TRUE(PartsStore().IsPartsModified()) << what;
            }
        }
    }

    // Nothing unsaved: no question at all.
    Main()->NewMap(101, 101);
    Doc().SetMapModified(false);
    PartsStore().ClearPartsModified();
    Script.Log.clear();
    Main()->DropFiles({other});
    EXPECT_TRUE(questions(Script.Log).isEmpty());
    EXPECT_EQ(Main()->MapWidth(), 7);
}

TEST_F(EverydayUseTest, OverwriteSavingPartsKeepsThePictureFormatOrAsksForABmp)
{
    // A PNG stays a PNG that the program reads back, without a dialog.
    const QString png = SaveSheet(QStringLiteral("tiles.png"), 10);
    ASSERT_TRUE(PartsWindow()->LoadPartsPicture(png));
    PartsStore().ResetPart(5);
    PartsStore().SetPartsModified();
    const QImage edited = Sheet();
    Script.Log.clear();
    PartsWindow()->N2->trigger();
    EXPECT_TRUE(Script.Log.filter(QStringLiteral("file dialog")).isEmpty());
    EXPECT_FALSE(PartsStore().IsPartsModified());
    EXPECT_EQ(QImageReader(png).format(), QByteArray("png"));
    ASSERT_TRUE(PartsWindow()->LoadPartsPicture(png));
    EXPECT_EQ(Sheet(), edited);

    // A JPEG is never written over: the save dialog offers the same name as a BMP, and a
    // JPEG name chosen there is offered again as a BMP.
    const QString jpeg = SaveSheet(QStringLiteral("tiles.jpg"), 20);
    QFile jpegFile(jpeg);
    ASSERT_TRUE(jpegFile.open(QIODevice::ReadOnly));
    const QByteArray jpegBytes = jpegFile.readAll();
    jpegFile.close();
    ASSERT_TRUE(PartsWindow()->LoadPartsPicture(jpeg));
    PartsStore().ResetPart(5);
    PartsStore().SetPartsModified();
    QStringList offered;
    Script.FileDialog = [&](const TFileDialogRequest& request) {
        offered << QFileInfo(request.FileName).fileName() + QLatin1Char('|') +
                       request.DefaultSuffix;
        return std::optional<QString>(offered.size() == 1 ? Dir.filePath("again.jpeg")
                                                          : request.FileName);
    };
    PartsWindow()->N2->trigger();
    EXPECT_EQ(offered, (QStringList{"tiles.bmp|bmp", "again.bmp|bmp"}));
    EXPECT_EQ(QImageReader(Dir.filePath("again.bmp")).format(), QByteArray("bmp"));
    EXPECT_EQ(PartsStore().FileName(), Dir.filePath("again.bmp"));
    ASSERT_TRUE(jpegFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(jpegFile.readAll(), jpegBytes);
    EXPECT_FALSE(PartsStore().IsPartsModified());
}

TEST_F(EverydayUseTest, EachMapBringsBackItsPartsPictureAndTheLastOneReturnsAtStart)
{
    const QString first = SaveSheet(QStringLiteral("first.png"), 30);
    const QString second = SaveSheet(QStringLiteral("second.bmp"), 60);
    const QString mapA = Dir.filePath(QStringLiteral("a.mpd"));
    const QString mapB = Dir.filePath(QStringLiteral("b.mpd"));

    // A map saved while a picture is in use, and a picture loaded while a map is open.
    ASSERT_TRUE(PartsWindow()->LoadPartsPicture(first));
    const QImage firstSheet = Sheet();
    ASSERT_TRUE(Main()->SaveMapFile(mapA));
    ASSERT_TRUE(Main()->SaveMapFile(mapB));
    ASSERT_TRUE(Main()->LoadMapFile(mapB));
    ASSERT_TRUE(PartsWindow()->LoadPartsPicture(second));
    const QImage secondSheet = Sheet();

    ASSERT_TRUE(Main()->LoadMapFile(mapA));
    EXPECT_EQ(PartsStore().FileName(), first);
    EXPECT_EQ(Sheet(), firstSheet);
    EXPECT_FALSE(Doc().UndoAvailable()); // no undo back to the parts before the open
    ASSERT_TRUE(Main()->LoadMapFile(mapB));
    EXPECT_EQ(Sheet(), secondSheet);

    // The next start begins with the picture last used.
    RestartProgram();
    EXPECT_EQ(PartsStore().FileName(), second);
    EXPECT_EQ(Sheet(), secondSheet);
    EXPECT_FALSE(PartsStore().IsPartsModified());

    // A picture that changed its size, or is gone, is skipped with a note.
    ASSERT_TRUE(sheetPicture(30, 8).save(first));
    ASSERT_TRUE(Main()->LoadMapFile(mapA));
    EXPECT_EQ(PartsStatus(),
              QStringLiteral("パーツ画像 first.png は大きさが合わないため読み込みません"));
    EXPECT_NE(Sheet(), firstSheet);
    ASSERT_TRUE(QFile::remove(second));
    ASSERT_TRUE(Main()->LoadMapFile(mapB));
    EXPECT_EQ(PartsStatus(), QStringLiteral("パーツ画像 second.bmp が見つかりません"));
    EXPECT_NE(Sheet(), secondSheet);
}

TEST_F(EverydayUseTest, ThePartsStatusFollowsPicksNewMapsAndLoadsAndTellsOfUnreadablePictures)
{
    Doc().SetCell(2, 1, 37);
    Main()->SetPaintMode();
    QWidget* viewport = Main()->MapGrid->viewport();
    const QPoint cell = Main()->MapGrid->CellRect(2, 1).center();
    QTest::mousePress(viewport, Qt::RightButton, {}, cell);
    QTest::mouseRelease(viewport, Qt::RightButton, {}, cell);
    EXPECT_EQ(PartsStatus(), QStringLiteral("カーソル位置のパーツ番号:37"));

    Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::No; };
    Script.Modal = [](QDialog*) { return int(QDialog::Accepted); };
    Main()->N1->trigger();
    EXPECT_EQ(PartsStatus(), QStringLiteral("カーソル位置のパーツ番号:0"));

    PartsWindow()->SelectPart(20);
    ASSERT_TRUE(Main()->LoadMapFile(SaveMap(QStringLiteral("m.mpd"), 4, 4)));
    EXPECT_EQ(PartsStatus(), QStringLiteral("カーソル位置のパーツ番号:0"));

    // Not a picture, a damaged one, a format nothing reads: nothing changes, no box.
    const QImage before = Sheet();
    const QByteArray png = [] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        sheetPicture(1).save(&buffer, "PNG");
        return bytes.left(bytes.size() / 3);
    }();
    const std::pair<const char*, QByteArray> files[] = {
        {"notes.png", "just text"}, {"cut.png", png}, {"tiles.xyz", "xyz"}};
    for (const auto& [name, bytes] : files) {
        QFile file(Dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        Script.Log.clear();
        PartsWindow()->DropFiles({file.fileName()});
        EXPECT_EQ(PartsStatus(), QStringLiteral("パーツ画像 %1 を読み込めません").arg(name));
        EXPECT_EQ(Script.Log, QStringList{"beep: default"}) << name;
        EXPECT_EQ(Sheet(), before) << name;
    }
}

TEST_F(EverydayUseTest, TheLeftStatusPanelHoldsTheLongestTextsOfTheLargestMap)
{
    Main()->NewMap(9999, 9999);
    Doc().SetCell(9998, 9998, 255);
    TDrawGrid* grid = Main()->MapGrid;
    QWidget* viewport = grid->viewport();
    grid->SetLeftCol(9999);
    grid->SetTopRow(9999);
    const QLabel* panel = Main()->StatusPanel0;
    const auto fits = [panel](const char* what) {
        const QString text = panel->text();
        EXPECT_LE(panel->fontMetrics().horizontalAdvance(text), panel->contentsRect().width())
            << what << ": " << text.toStdString();
    };
    // Sent straight to the map: QTest's moves go through the system cursor.
    const auto move = [viewport](const QPoint& pos, Qt::MouseButtons buttons) {
        QMouseEvent event(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    const QPoint last = grid->CellRect(9998, 9998).center();
    const QPoint earlier = grid->CellRect(grid->LeftCol(), grid->TopRow()).center();

    move(last, Qt::NoButton);
    EXPECT_EQ(panel->text(), QStringLiteral("(9998,9998)・パーツ番号:255"));
    fits("pointer");

    Main()->SetRegionMode();
    QTest::mousePress(viewport, Qt::LeftButton, {}, earlier);
    move(last, Qt::LeftButton);
    EXPECT_EQ(panel->text().size(), 23);
    fits("region");
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, last);

    Main()->SetScrollMode();
    const QPoint away = earlier + QPoint(70, 70);
    QTest::mousePress(viewport, Qt::LeftButton, {}, earlier);
    move(away, Qt::LeftButton);
    EXPECT_TRUE(panel->text().startsWith(QStringLiteral("左上の座標:(99")))
        << panel->text().toStdString();
    fits("scroll");
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, away);

    grid->SetCol(9998);
    grid->SetRow(9998);
    Main()->PointMemoryClick(0);
    Main()->PointRestoreClick(0);
    fits("jump");

    // The hint beside it gives way rather than widen the window.
    EXPECT_LE(Main()->minimumSizeHint().width(), 688);
}

TEST_F(EverydayUseTest, CtrlWheelAndCtrlPlusMinusStepTheZoomKeepingTheAnchoredCell)
{
    Main()->NewMap(500, 500);
    TDrawGrid* grid = Main()->MapGrid;
    QWidget* viewport = grid->viewport();
    ASSERT_EQ(Settings().ZoomLevel(), zlNormal);
    grid->SetLeftCol(100);
    grid->SetTopRow(200);
    const QPoint pointer = grid->CellRect(105, 203).center();

    const auto wheel = [&](int delta) {
        QWheelEvent event(pointer, viewport->mapToGlobal(pointer), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    };
    wheel(-120);
    EXPECT_EQ(Settings().ZoomLevel(), zlWide);
    EXPECT_EQ(grid->MouseToCell(pointer), QPoint(105, 203));
    wheel(-120); // no farther level
    EXPECT_EQ(Settings().ZoomLevel(), zlWide);
    wheel(120);
    wheel(120);
    EXPECT_EQ(Settings().ZoomLevel(), zlZoom);
    EXPECT_EQ(grid->MouseToCell(pointer), QPoint(105, 203));

    // A plain wheel still scrolls.
    const int top = grid->TopRow();
    QWheelEvent plain(pointer, viewport->mapToGlobal(pointer), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &plain);
    EXPECT_GT(grid->TopRow(), top);
    EXPECT_EQ(Settings().ZoomLevel(), zlZoom);

    // The keys step around the middle of the view.
    const QPoint middle = viewport->rect().center();
    const QPoint centred = grid->MouseToCell(middle);
    Main()->activateWindow();
    QApplication::setActiveWindow(Main());
    QTest::keyClick(Main(), Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(Settings().ZoomLevel(), zlNormal);
    EXPECT_EQ(grid->MouseToCell(middle), centred);
    QTest::keyClick(Main(), Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(Settings().ZoomLevel(), zlZoom);
    EXPECT_EQ(grid->MouseToCell(middle), centred);
}

TEST_F(EverydayUseTest, TheMapMovesWhenAScrollBarThumbIsReleasedButThePartFollowsIt)
{
    Main()->NewMap(2000, 2000);
    for (auto enter :
         {&TMainForm::SetScrollMode, &TMainForm::SetPaintMode, &TMainForm::SetRegionMode}) {
        (Main()->*enter)();
        QScrollBar* bar = Main()->MapGrid->horizontalScrollBar();
        bar->setSliderDown(true);
        const int before = Main()->MapGrid->LeftCol();
        bar->setSliderPosition(bar->sliderPosition() + bar->pageStep());
        EXPECT_EQ(Main()->MapGrid->LeftCol(), before);
        bar->setSliderDown(false);
        EXPECT_GT(Main()->MapGrid->LeftCol(), before);
    }
    // The transparency dialog's enlarged part follows the thumb while it is dragged.
    auto* box = Forms().TranslucenPartsDlg->findChild<QScrollArea*>(QStringLiteral("ScrollBox1"));
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->horizontalScrollBar()->hasTracking());
    EXPECT_TRUE(box->verticalScrollBar()->hasTracking());
}

TEST_F(EverydayUseTest, UndoAndRedoAfterASaveLeaveTheMapAndThePartsModified)
{
    Script.FileDialog = [&](const TFileDialogRequest& request) {
        return std::optional<QString>(Dir.filePath(request.Title.contains(QStringLiteral("マップ"))
                                                       ? QStringLiteral("m.mpd")
                                                       : QStringLiteral("p.bmp")));
    };
    Doc().SetGroupSingle(5);
    Doc().StampGroup({0, 0, 2, 2});
    PartsStore().EditParts({5}, [&] {
        PartsStore().ResetPart(5);
        PartsStore().CapturePart(5, sheetPicture(1), 0, 0);
        return true;
    });
    Main()->N2->trigger();
    PartsWindow()->N2->trigger();
    ASSERT_FALSE(Doc().MapModified());
    ASSERT_FALSE(PartsStore().IsPartsModified());

    Main()->Cancel1->trigger(); // the part's edit
    Main()->Cancel1->trigger(); // the stamp
    EXPECT_TRUE(Doc().MapModified());
    EXPECT_TRUE(PartsStore().IsPartsModified());
    EXPECT_TRUE(PartsWindow()->N2->isEnabled());
    // Redone back to the saved cells and pictures: still modified.
    Main()->Redo1->trigger();
    Main()->Redo1->trigger();
    EXPECT_TRUE(Doc().MapModified());
    EXPECT_TRUE(PartsStore().IsPartsModified());
}

TEST_F(EverydayUseTest, TheFileMenuListsTheLastTenMapsAcrossARestart)
{
    EXPECT_EQ(Main()->N1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(Main()->R1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_FALSE(Main()->RecentMapsMenu->isEnabled());
    EXPECT_EQ(Main()->RecentMapsMenu->title(), QStringLiteral("最近使ったマップ(&M)"));
    QStringList maps;
    for (int i = 0; i < 12; ++i)
        maps << SaveMap(QStringLiteral("m%1&.mpd").arg(i), i + 1, 1);
    for (const QString& map : maps)
        ASSERT_TRUE(Main()->LoadMapFile(map));
    Main()->SaveMapFile(maps[3]); // a saved map comes first too
    RestartProgram();

    const QList<QAction*> items = Main()->RecentMapsMenu->actions();
    ASSERT_EQ(items.size(), 10);
    // An ampersand of a name is shown as itself.
    const auto shown = [](const QString& map) {
        return QDir::toNativeSeparators(map).replace(QLatin1Char('&'), QStringLiteral("&&"));
    };
    EXPECT_EQ(items[0]->text(), QStringLiteral("&1 ") + shown(maps[3]));
    EXPECT_EQ(items[1]->text(), QStringLiteral("&2 ") + shown(maps[11]));
    EXPECT_EQ(items[9]->text(), QStringLiteral("1&0 ") + shown(maps[2]));
    items[9]->trigger();
    EXPECT_EQ(Main()->MapWidth(), 3);
    EXPECT_EQ(Main()->RecentMapsMenu->actions().first()->text(),
              QStringLiteral("&1 ") + shown(maps[2]));
    EXPECT_EQ(IniGT().ReadInteger(QStringLiteral("RecentMaps"), QStringLiteral("Count"), 0), 10);
}

TEST_F(EverydayUseTest, TheMainWindowsKeysActInTheToolBoxAndWhereFreeInThePartsWindow)
{
    Doc().SetGroupSingle(4);
    Doc().StampGroup({0, 0, 0, 0});
    const auto press = [](QWidget* window, int key, Qt::KeyboardModifiers modifiers) {
        window->activateWindow();
        QApplication::setActiveWindow(window);
        QTest::keyClick(window, Qt::Key(key), modifiers);
    };
    for (QWidget* window :
         {static_cast<QWidget*>(Forms().ToolForm), static_cast<QWidget*>(PartsWindow())}) {
        SCOPED_TRACE(window->objectName().toStdString());
        const bool random = Settings().RandomPlacement();
        press(window, Qt::Key_R, Qt::ControlModifier);
        EXPECT_NE(Settings().RandomPlacement(), random);
        press(window, Qt::Key_F2, Qt::NoModifier);
        EXPECT_EQ(Settings().MapTool(), mtRegion);
        press(window, Qt::Key_F3, Qt::NoModifier);
        EXPECT_EQ(Settings().MapTool(), mtScroll);
        press(window, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(Doc().Cell(0, 0), 0);
        press(window, Qt::Key_Y, Qt::ControlModifier);
        EXPECT_EQ(Doc().Cell(0, 0), 4);
    }
    // A key of the parts window's own menus stays its own: Ctrl+S saves the parts picture.
    PartsStore().SetPartsModified();
    Script.Log.clear();
    press(PartsWindow(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(Script.Log.value(0), QStringLiteral("file dialog[save]: パーツ画像の保存"));
}

TEST_F(EverydayUseTest, FileDialogsOpenInTheFolderLastUsedForTheirKindOfFile)
{
    QDir(Dir.path()).mkpath(QStringLiteral("maps"));
    QDir(Dir.path()).mkpath(QStringLiteral("pictures"));
    const QString map = SaveMap(QStringLiteral("maps/a.mpd"), 3, 3);
    const QString picture = SaveSheet(QStringLiteral("pictures/p.bmp"), 5);
    QStringList folders;
    QStringList mapFilters;
    Script.FileDialog = [&](const TFileDialogRequest& request) {
        folders << QDir(request.Directory).dirName();
        if (request.Title.contains(QStringLiteral("マップ")))
            mapFilters << request.NameFilters.value(0);
        return std::optional<QString>(request.Title.contains(QStringLiteral("マップ")) ? map
                                                                                       : picture);
    };
    Main()->R1->trigger();
    PartsWindow()->N1->trigger();
    RestartProgram();
    Main()->R1->trigger();
    Main()->N3->trigger();
    PartsWindow()->N1->trigger();
    EXPECT_EQ(folders, (QStringList{".", ".", "maps", "maps", "pictures"}));
    // Open and save alike carry the settings' filter from the start.
    EXPECT_EQ(mapFilters, QStringList(3, QStringLiteral("マップファイル(*.mpd) (*.mpd)")));
}

TEST(FirstStartLayout, WindowsSideBySideInsideTheScreenWithAllPartsWhereItAllows)
{
    const QSize main(688, 480);
    const QSize parts(546, 590);
    const QSize tool(362, 82);
    struct Screen
    {
        QRect available;
        bool allParts; // wide enough for the main window and every column of parts
    };
    const Screen screens[] = {
        {QRect(0, 0, 1920, 1080), true},    {QRect(0, 27, 1366, 741), true},
        {QRect(1920, 0, 1280, 1024), true}, {QRect(0, 0, 1024, 768), false},
        {QRect(0, 0, 800, 600), false},
    };
    // Each window with room for a frame and a title bar around it.
    const auto framed = [](const QRect& client) { return client.adjusted(-6, -30, 6, 6); };
    for (const Screen& s : screens) {
        const TFirstStartLayout l =
            TQuiltmapperProgram::FirstStartLayout(s.available, main, parts, tool);
        const QRect toolRect(l.Tool, tool);
        const std::string what = QStringLiteral("%1x%2")
                                     .arg(s.available.width())
                                     .arg(s.available.height())
                                     .toStdString();
        for (const QRect& r : {l.Main, l.Parts, toolRect})
            EXPECT_TRUE(s.available.contains(framed(r))) << what;
        EXPECT_FALSE(framed(l.Main).intersects(framed(l.Parts))) << what;
        EXPECT_FALSE(framed(toolRect).intersects(framed(l.Main))) << what;
        EXPECT_FALSE(framed(toolRect).intersects(framed(l.Parts))) << what;
        EXPECT_LT(l.Main.left(), l.Parts.left()) << what;
        EXPECT_GT(l.Tool.y(), l.Main.bottom()) << what;
        EXPECT_EQ(l.Parts.width() == parts.width(), s.allParts) << what;
        if (s.allParts) {
            EXPECT_EQ(l.Main.size(), main) << what;
        }
    }
}

TEST_F(EverydayUseTest, WindowsWithoutAStoredPlacementAreLaidOutAndStoredOnesKept)
{
    Program->PlaceNewWindows();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect main = Main()->geometry();
    const QRect parts = PartsWindow()->geometry();
    const QRect tool = Forms().ToolForm->geometry();
    for (const QRect& r : {main, parts, tool})
        EXPECT_TRUE(screen.contains(r));
    EXPECT_FALSE(main.intersects(parts));
    EXPECT_FALSE(tool.intersects(main));
    EXPECT_FALSE(tool.intersects(parts));
    EXPECT_NE(main.topLeft(), QPoint(0, 0));
    // The overview goes beside the tool box where the screen has room, else starts hidden.
    const TOverviewForm* overview = Forms().OverviewForm;
    const QRect beside = overview->geometry();
    if (overview->ShownAtStart()) {
        EXPECT_TRUE(screen.contains(beside));
        EXPECT_GT(beside.left(), tool.right());
        EXPECT_FALSE(beside.intersects(main) || beside.intersects(parts));
    } else {
        EXPECT_LT(std::min(screen.right() - tool.right(), screen.bottom() - tool.top()),
                  beside.width());
    }

    Main()->setGeometry(40, 50, 300, 200);
    PartsWindow()->setGeometry(400, 60, 200, 150);
    RestartProgram();
    Program->PlaceNewWindows();
    EXPECT_EQ(Main()->geometry(), QRect(40, 50, 300, 200));
    EXPECT_EQ(PartsWindow()->geometry(), QRect(400, 60, 200, 150));
}

TEST_F(EverydayUseTest, AMapNamedOnTheCommandLineOpensWithItsPartsPicture)
{
    const QString picture = SaveSheet(QStringLiteral("tiles.png"), 40);
    const QString map = Dir.filePath(QStringLiteral("double-clicked.mpd"));
    ASSERT_TRUE(PartsWindow()->LoadPartsPicture(picture));
    const QImage sheet = Sheet();
    ASSERT_TRUE(Main()->SaveMapFile(map));
    Main()->NewMap(5, 5);
    PartsStore().SetPartsSize(32, 32);

    Program->OpenMapFile(map);
    EXPECT_EQ(Main()->windowTitle(), QStringLiteral("Quiltmapper - [%1]").arg(map));
    EXPECT_EQ(Main()->MapWidth(), 101);
    EXPECT_EQ(Sheet(), sheet);
}
