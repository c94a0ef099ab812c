#include "DrawGrid.h"
#include "Parts.h"
#include "PartsTestSupport.h"
#include "ProgramFixture.h"
#include "env.h"
#include "main.h"
#include "transparts.h"

#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QUrl>

namespace {

QRgb partColour(int part, int shade)
{
    return qRgb(part, 255 - part, shade);
}

// A full sheet of 32 x 32 parts, each one plain colour.
QString writeSheet(const QString& path, int shade)
{
    QImage sheet(512, 512, QImage::Format_RGB32);
    for (int part = 0; part < 256; ++part) {
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x)
                sheet.setPixel(part % 16 * 32 + x, part / 16 * 32 + y, partColour(part, shade));
        }
    }
    EXPECT_TRUE(sheet.save(path, "BMP"));
    return path;
}

QString statusOf(int part)
{
    return QStringLiteral("カーソル位置のパーツ番号:%1").arg(part);
}

} // namespace

class PartsFormTest : public ProgramTest
{
protected:
    TPartsForm& P() { return *Forms().PartsForm; }
    TMapDocument& Doc() { return Forms().MainForm->Document(); }
    QWidget* Viewport() { return P().PartsGrid->viewport(); }
    QPoint Centre(int col, int row) { return P().PartsGrid->CellRect(col, row).center(); }

    void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers keys = {})
    {
        QTest::mousePress(Viewport(), Qt::LeftButton, keys, Centre(from.x(), from.y()));
        QTest::mouseMove(Viewport(), Centre(to.x(), to.y()));
        QTest::mouseRelease(Viewport(), Qt::LeftButton, keys, Centre(to.x(), to.y()));
    }

    // The whole grid on screen, every part with graphics of its own.
    void ShowWholeGridWithGraphics()
    {
        P().resize(700, 700);
        QCoreApplication::processEvents();
        fillWithGraphics(P().Store());
    }

    // A pointer move with keys held, as the grid sees it during a drag.
    void MoveWithKeys(const QPoint& pos, Qt::KeyboardModifiers keys)
    {
        QMouseEvent move(QEvent::MouseMove, pos, Viewport()->mapToGlobal(pos), Qt::NoButton,
                         Qt::LeftButton, keys);
        QApplication::sendEvent(Viewport(), &move);
    }

    QImage MapCellShown(int col, int row)
    {
        TDrawGrid& grid = *Forms().MainForm->MapGrid;
        return grid.viewport()
            ->grab()
            .toImage()
            .convertToFormat(QImage::Format_RGB32)
            .copy(grid.CellRect(col, row));
    }

    void AnswerFileDialog(const QString& name)
    {
        Script.FileDialog = [name](const TFileDialogRequest&) { return std::optional(name); };
    }
};

TEST_F(PartsFormTest, StartsWithMenusStatusAndGrid)
{
    EXPECT_EQ(P().windowTitle(), QStringLiteral("パーツウィンドウ"));
    EXPECT_EQ(P().size(), QSize(328, 338));
    QStringList menus;
    for (QAction* menu : P().menuBar()->actions())
        menus << menu->text();
    EXPECT_EQ(menus, QStringList({"ファイル(&F)", "編集(&E)", "表示(&V)"}));

    struct Item
    {
        QAction* Action;
        const char* Caption;
        QKeySequence Shortcut;
        bool Enabled;
    };
    const Item items[] = {
        {P().N1, "パーツ画像の読み込み(&R)...", {}, true},
        {P().N2, "パーツ画像を上書き保存(&S)", QKeySequence("Ctrl+S"), false},
        {P().N3, "パーツ画像を名前を付けて保存(&N)...", {}, false},
        {P().Copy1, "パーツグラフィックコピー(&C)", QKeySequence("Ctrl+C"), true},
        {P().Paste1, "パーツグラフィック貼り付け(&V)", QKeySequence("Ctrl+V"), false},
        {P().X1, "パーツグラフィックの切り取り(&X)", QKeySequence("Ctrl+X"), true},
        {P().D1, "パーツグラフィック削除(&D)", QKeySequence(Qt::Key_Delete), true},
        {P().P1, "クリップボードに貼り付ける(&P)", QKeySequence("Ctrl+P"), true},
        {P().N6, "クリップボードから取り込む(&B)", QKeySequence("Ctrl+B"), true},
        {P().N5, "クリップボードの監視(&W)", QKeySequence("Ctrl+W"), true},
        {P().G1, "グリッドの表示(&G)", QKeySequence("Ctrl+G"), true},
        {P().C1, "パーツグラフィックのコピー(&C)", {}, true},
        {P().P2, "パーツグラフィックの貼り付け(&V)", {}, false},
        {P().X2, "パーツグラフィックの切り取り(&X)", {}, true},
        {P().D2, "パーツグラフィック削除(&D)", {}, true},
    };
    for (const Item& item : items) {
        EXPECT_EQ(item.Action->text(), QString::fromUtf8(item.Caption));
        EXPECT_EQ(item.Action->shortcut(), item.Shortcut) << item.Caption;
        EXPECT_EQ(item.Action->isEnabled(), item.Enabled) << item.Caption;
    }
    EXPECT_FALSE(P().N5->isChecked());
    EXPECT_TRUE(P().G1->isChecked());

    EXPECT_EQ(P().StatusText->text(), statusOf(0));
    const TDrawGrid& grid = *P().PartsGrid;
    EXPECT_EQ(QSize(grid.ColCount(), grid.RowCount()), QSize(16, 16));
    EXPECT_EQ(QSize(grid.DefaultColWidth(), grid.DefaultRowHeight()), QSize(32, 32));
    EXPECT_EQ(grid.GridLineWidth(), 1);
}

TEST_F(PartsFormTest, PlainClickAndDragPickTheGroupPart)
{
    QTest::mouseClick(Viewport(), Qt::LeftButton, {}, Centre(5, 2));
    EXPECT_EQ(Doc().GroupWidth(), 1);
    EXPECT_EQ(Doc().GroupHeight(), 1);
    EXPECT_EQ(Doc().GroupCell(0, 0), 37);
    EXPECT_TRUE(Forms().MainForm->N17->isChecked());
    EXPECT_EQ(P().StatusText->text(), statusOf(37));

    Drag({2, 1}, {4, 3});
    ASSERT_EQ(Doc().GroupWidth(), 3);
    ASSERT_EQ(Doc().GroupHeight(), 3);
    for (int gy = 0; gy < 3; ++gy) {
        for (int gx = 0; gx < 3; ++gx)
            EXPECT_EQ(Doc().GroupCell(gx, gy), 18 + gy * 16 + gx);
    }
    EXPECT_EQ(P().SelectedPartNumber(), 18);
    EXPECT_EQ(P().StatusText->text(), statusOf(18));

    // Selected cells show their part inverted, the others as they are.
    const QImage shown = Viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage inverted = P().PartBitmap(35).copy();
    inverted.invertPixels();
    EXPECT_EQ(shown.copy(P().PartsGrid->CellRect(3, 2)), inverted);
    EXPECT_EQ(shown.copy(P().PartsGrid->CellRect(5, 2)), P().PartBitmap(37));
}

TEST_F(PartsFormTest, ARightClickTakesTheSelectionAsTheGroupPartThenOpensThePopup)
{
    Drag({2, 1}, {3, 1});
    Doc().SetGroupSingle(0);
    Settings().SetMapTool(mtScroll);
    const TGridRect sel = P().PartsGrid->Selection();

    QTest::mousePress(Viewport(), Qt::RightButton, {}, Centre(3, 1));
    // Not at the press: the drag is still going.
    EXPECT_FALSE(P().PartsPopupMenu->isVisible());
    QTest::mouseRelease(Viewport(), Qt::RightButton, {}, Centre(3, 1));
    EXPECT_TRUE(P().PartsPopupMenu->isVisible());
    P().PartsPopupMenu->hide();

    // The release is a release like any other: the selection, which the right button
    // leaves as it is, becomes the brush.
    EXPECT_TRUE(P().PartsGrid->Selection() == sel);
    ASSERT_EQ(Doc().GroupWidth(), 2);
    ASSERT_EQ(Doc().GroupHeight(), 1);
    EXPECT_EQ(Doc().GroupCell(0, 0), 18);
    EXPECT_EQ(Doc().GroupCell(1, 0), 19);
    EXPECT_EQ(Settings().MapTool(), mtPaint);
}

TEST_F(PartsFormTest, ArrowKeysMoveTheCurrentPartOnly)
{
    QTest::mouseClick(Viewport(), Qt::LeftButton, {}, Centre(1, 0));
    QTest::keyClick(P().PartsGrid, Qt::Key_Right);
    QTest::keyClick(P().PartsGrid, Qt::Key_Down);
    EXPECT_EQ(P().SelectedPartNumber(), 18);
    EXPECT_EQ(Doc().GroupCell(0, 0), 1);
    EXPECT_EQ(P().StatusText->text(), statusOf(1));
}

TEST_F(PartsFormTest, LoadingFromTheMenuReplacesThePartsOrChangesNothing)
{
    const QString good = writeSheet(Dir.filePath("sheet.bmp"), 9);
    P().SetPartsModified();
    EXPECT_TRUE(P().N2->isEnabled() && P().N3->isEnabled());
    AnswerFileDialog(good);
    P().N1Click();
    EXPECT_EQ(P().PartBitmap(37).pixel(31, 31), partColour(37, 9));
    EXPECT_FALSE(P().IsPartsModified());
    EXPECT_FALSE(P().N2->isEnabled() || P().N3->isEnabled());
    EXPECT_EQ(Script.Log, QStringList({"file dialog[open]: パーツ画像の読み込み"}));

    QFile bad(Dir.filePath("bad.bmp"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("BM not really a picture");
    bad.close();
    P().SetPartsModified();
    Script.Log.clear();
    AnswerFileDialog(bad.fileName());
    P().N1Click();
    EXPECT_EQ(P().PartBitmap(37).pixel(0, 0), partColour(37, 9));
    EXPECT_TRUE(P().IsPartsModified());
    EXPECT_EQ(P().Store().FileName(), good);
    EXPECT_EQ(Script.Log.size(), 1);
}

TEST_F(PartsFormTest, DroppedFilesLoadOnlyTheFirstAndBeep)
{
    const QString first = writeSheet(Dir.filePath("first.bmp"), 1);
    const QString second = writeSheet(Dir.filePath("second.bmp"), 2);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(first), QUrl::fromLocalFile(second),
                  QUrl::fromLocalFile(Dir.filePath("missing.bmp"))});
    // Straight to the window's event handler: QApplication drops drag events that come
    // from no drag in progress.
    QMimeData text;
    text.setText(first);
    QDragEnterEvent enterText(QPoint(20, 20), Qt::CopyAction, &text, Qt::LeftButton, {});
    enterText.ignore();
    static_cast<QObject&>(P()).event(&enterText);
    EXPECT_FALSE(enterText.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, {});
    drop.ignore();
    static_cast<QObject&>(P()).event(&drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(P().PartBitmap(200).pixel(3, 3), partColour(200, 1));
    EXPECT_EQ(P().Store().FileName(), first);
    EXPECT_EQ(Script.Log, QStringList({"beep: default"}));

    P().DropFiles({Dir.filePath("missing.bmp")});
    EXPECT_EQ(P().PartBitmap(200).pixel(3, 3), partColour(200, 1));
    EXPECT_EQ(Script.Log, QStringList({"beep: default", "beep: default"}));
}

TEST_F(PartsFormTest, SavingWritesTheSheetUnderTheChosenOrRememberedName)
{
    EXPECT_FALSE(P().SavePartsPicture()); // the dialog is cancelled
    const QString path = Dir.filePath("saved.bmp");
    QImage red(32, 32, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    P().CapturePart(17, red, 0, 0);
    P().SetPartsModified();
    AnswerFileDialog(path);
    P().N3Click();
    const QImage written(path, "BMP");
    EXPECT_EQ(written.size(), QSize(512, 512));
    EXPECT_EQ(written.pixel(32 + 5, 32 + 5), qRgb(255, 0, 0));
    EXPECT_FALSE(P().N2->isEnabled());
    EXPECT_EQ(P().Store().FileName(), path);

    // Once named, overwrite-save asks nothing; a failed write leaves the parts modified.
    P().SetPartsModified();
    Script.Log.clear();
    P().N2Click();
    EXPECT_TRUE(Script.Log.isEmpty());
    EXPECT_FALSE(P().IsPartsModified());
    P().SetPartsModified();
    P().Store().SetFileName(Dir.filePath("no/such/folder/x.bmp"));
    EXPECT_ANY_THROW(P().SavePartsPicture());
    EXPECT_TRUE(P().N2->isEnabled());
}

TEST_F(PartsFormTest, NewPartsAreNeverSavedOverTheLastPicture)
{
    const QString path = Dir.filePath("sheet.bmp");
    QImage sheet(512, 512, QImage::Format_RGB32);
    sheet.fill(qRgb(10, 200, 30));
    ASSERT_TRUE(sheet.save(path, "BMP"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    ASSERT_TRUE(P().LoadPartsPicture(path));

    // A new map of the same or another part size: Ctrl+S asks for a name (cancelled here)
    // instead of writing placeholders under the picture's name.
    for (const QSize size : {QSize(32, 32), QSize(16, 16)}) {
        P().SetPartsSize(size.width(), size.height());
        P().SetPartsModified();
        Script.Log.clear();
        EXPECT_FALSE(P().SavePartsPicture());
        EXPECT_EQ(Script.Log, QStringList({"file dialog[save]: パーツ画像の保存"}));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), before);
        file.close();
    }
}

TEST_F(PartsFormTest, ShortcutsActInThePartsWindowOnly)
{
    P().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&P()));
    P().SetPartsModified();
    QTest::keyClick(P().PartsGrid, Qt::Key_S, Qt::ControlModifier);
    // Only the parts save dialog: the main window's Ctrl+S (map save) stays quiet.
    EXPECT_EQ(Script.Log, QStringList({"file dialog[save]: パーツ画像の保存"}));

    QTest::keyClick(P().PartsGrid, Qt::Key_G, Qt::ControlModifier);
    EXPECT_FALSE(P().G1->isChecked());
    EXPECT_EQ(P().PartsGrid->GridLineWidth(), 0);
    EXPECT_EQ(P().PartsGrid->DefaultColWidth(), 32);
    EXPECT_TRUE(Forms().MainForm->G1->isChecked());
    QSignalSpy partsCopy(P().Copy1, &QAction::triggered);
    QSignalSpy mainCapture(Forms().MainForm->G2, &QAction::triggered);
    Forms().MainForm->G2->setEnabled(true);
    QTest::keyClick(P().PartsGrid, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(partsCopy.count(), 1);
    EXPECT_EQ(mainCapture.count(), 0);
    P().G1Click();
    EXPECT_TRUE(P().G1->isChecked());
    EXPECT_EQ(P().PartsGrid->GridLineWidth(), 1);
}

TEST_F(PartsFormTest, PartSizeAndZoomSize)
{
    P().SelectPart(40);
    EXPECT_EQ(P().SelectedPartNumber(), 40);
    P().SetPartsSize(16, 8);
    EXPECT_EQ(P().PartsGrid->DefaultColWidth(), 16);
    EXPECT_EQ(P().PartsGrid->DefaultRowHeight(), 8);
    EXPECT_EQ(P().SelectedPartNumber(), 0);

    Settings().SetZoomSize(64);
    QImage target(100, 100, QImage::Format_RGB32);
    target.fill(Qt::black);
    QPainter painter(&target);
    P().DrawPartZoomed(painter, QRect(10, 10, 16, 8), 3);
    painter.end();
    EXPECT_EQ(target.pixel(10 + 63, 10 + 63), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(10 + 64, 10 + 64), qRgb(0, 0, 0));
}

TEST_F(PartsFormTest, ClosingHidesAndPlacementSurvivesARestart)
{
    P().close();
    EXPECT_FALSE(P().isVisible());
    EXPECT_FALSE(Forms().MainForm->N12->isChecked());

    P().setGeometry(140, 150, 400, 300);
    RestartProgram();
    EXPECT_EQ(P().geometry(), QRect(140, 150, 400, 300));
    QFile ini(IniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("[PartsWindow]"));
}

TEST_F(PartsFormTest, ShiftDragExchangesPartsAndTheMapFollows)
{
    ShowWholeGridWithGraphics();
    Doc().SetCell(0, 0, 5);
    Doc().SetCell(1, 0, 9);
    Doc().SetCell(0, 1, 9);
    Forms().MainForm->RepaintMap();
    const std::vector<QImage> before = snapshotParts(P().Store());
    const QImage mapBefore = Forms().MainForm->MapGrid->viewport()->grab().toImage();
    QTest::mouseClick(Viewport(), Qt::LeftButton, {}, Centre(3, 3)); // group part 51

    Drag({5, 0}, {9, 0}, Qt::ShiftModifier);
    EXPECT_EQ(P().PartBitmap(5), before[9]);
    EXPECT_EQ(P().PartBitmap(9), before[5]);
    EXPECT_EQ(P().PartBitmap(6), before[6]);
    EXPECT_EQ(Doc().Cell(0, 0), 9);
    EXPECT_EQ(Doc().Cell(1, 0), 5);
    EXPECT_EQ(Doc().Cell(0, 1), 5);
    EXPECT_EQ(Doc().Cell(2, 0), 0);
    EXPECT_EQ(Forms().MainForm->MapGrid->viewport()->grab().toImage(), mapBefore);
    EXPECT_TRUE(Doc().MapModified());
    EXPECT_TRUE(P().IsPartsModified());
    EXPECT_TRUE(P().N2->isEnabled());
    EXPECT_EQ(P().SelectedPartNumber(), 9);
    EXPECT_EQ(P().StatusText->text(), statusOf(9));
    EXPECT_EQ(Doc().GroupCell(0, 0), 51); // an exchange picks no group part

    // Onto itself: nothing moves, but the parts, and the map where it holds the part, count
    // as modified.
    P().ClearPartsModified();
    Doc().SetMapModified(false);
    Drag({4, 6}, {4, 6}, Qt::ShiftModifier);
    EXPECT_TRUE(P().IsPartsModified());
    EXPECT_FALSE(Doc().MapModified()); // part 100 is nowhere on the map
    Drag({5, 0}, {5, 0}, Qt::ShiftModifier);
    EXPECT_TRUE(Doc().MapModified());
    EXPECT_EQ(P().PartBitmap(5), before[9]);
    EXPECT_EQ(Doc().Cell(1, 0), 5);
}

TEST_F(PartsFormTest, AnExchangeIsUndoneAndRedoneWithItsPictures)
{
    ShowWholeGridWithGraphics();
    const std::vector<QImage> before = snapshotParts(P().Store());
    TMainForm& main = *Forms().MainForm;

    // Part 5 on the map: pictures and cells go back and forth together.
    Doc().SetCell(2, 2, 5);
    Doc().SetMapModified(false);
    Drag({5, 0}, {9, 0}, Qt::ShiftModifier);
    ASSERT_EQ(Doc().Cell(2, 2), 9);
    main.Cancel1->trigger();
    EXPECT_EQ(P().PartBitmap(5), before[5]);
    EXPECT_EQ(P().PartBitmap(9), before[9]);
    EXPECT_EQ(Doc().Cell(2, 2), 5);
    EXPECT_TRUE(Doc().MapModified()); // undone, not saved
    main.Redo1->trigger();
    EXPECT_EQ(P().PartBitmap(5), before[9]);
    EXPECT_EQ(Doc().Cell(2, 2), 9);
    main.Cancel1->trigger();

    // Parts the map does not hold: only the pictures, and the map stays unmodified.
    Doc().SetMapModified(false);
    Drag({0, 2}, {1, 2}, Qt::ShiftModifier);
    EXPECT_EQ(P().PartBitmap(32), before[33]);
    EXPECT_FALSE(Doc().MapModified());
    ASSERT_TRUE(main.Cancel1->isEnabled());
    main.Cancel1->trigger();
    EXPECT_EQ(P().PartBitmap(32), before[32]);
    EXPECT_EQ(P().PartBitmap(33), before[33]);
    EXPECT_FALSE(Doc().MapModified());
}

TEST_F(PartsFormTest, PartEditsAndMapEditsAreUndoneInTheOrderMade)
{
    ShowWholeGridWithGraphics();
    const std::vector<QImage> before = snapshotParts(P().Store());
    TMainForm& main = *Forms().MainForm;
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));

    Drag({5, 0}, {9, 0}, Qt::ControlModifier); // part 5 copied onto part 9
    Doc().SetGroupSingle(9);
    Doc().StampGroup({0, 0, 2, 2});
    P().Paste1Click(); // nothing copied: no step
    ASSERT_EQ(P().PartBitmap(9), before[5]);

    QTest::keyClick(main.MapGrid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(Doc().Cell(1, 1), 0);
    EXPECT_EQ(P().PartBitmap(9), before[5]);
    QTest::keyClick(main.MapGrid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(P().PartBitmap(9), before[9]);
    EXPECT_TRUE(P().IsPartsModified()); // undone, not saved
    EXPECT_TRUE(P().N2->isEnabled());
    QTest::keyClick(main.MapGrid, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(P().PartBitmap(9), before[5]);
    EXPECT_TRUE(P().IsPartsModified());
    // The parts grid shows the part again as it is (inverted: it is the current one).
    const QImage shown = Viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage inverted = before[5].copy();
    inverted.invertPixels();
    EXPECT_EQ(shown.copy(P().PartsGrid->CellRect(9, 0)), inverted);
}

TEST_F(PartsFormTest, CtrlAtReleaseCopiesThePart)
{
    ShowWholeGridWithGraphics();
    Doc().SetCell(0, 0, 5);
    Doc().SetCell(1, 0, 9);
    Forms().MainForm->RepaintMap();
    const std::vector<QImage> before = snapshotParts(P().Store());
    ASSERT_NE(MapCellShown(1, 0), MapCellShown(0, 0));

    // Begun without keys, released with Ctrl: the keys at the release decide.
    QTest::mousePress(Viewport(), Qt::LeftButton, {}, Centre(5, 0));
    QTest::mouseMove(Viewport(), Centre(9, 0));
    QTest::mouseRelease(Viewport(), Qt::LeftButton, Qt::ControlModifier, Centre(9, 0));
    EXPECT_EQ(P().PartBitmap(9), before[5]);
    EXPECT_EQ(P().PartBitmap(5), before[5]);
    EXPECT_EQ(Doc().Cell(1, 0), 9);
    EXPECT_FALSE(Doc().MapModified());
    EXPECT_EQ(MapCellShown(1, 0), MapCellShown(0, 0));
    EXPECT_TRUE(P().IsPartsModified());
    EXPECT_EQ(P().StatusText->text(), statusOf(9));

    // Begun with Ctrl, released without: a plain range pick, no copy.
    P().ClearPartsModified();
    QTest::mousePress(Viewport(), Qt::LeftButton, Qt::ControlModifier, Centre(1, 1));
    QTest::mouseMove(Viewport(), Centre(2, 1));
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {}, Centre(2, 1));
    EXPECT_EQ(Doc().GroupWidth(), 2);
    EXPECT_EQ(Doc().GroupCell(1, 0), 18);
    EXPECT_EQ(P().PartBitmap(18), before[18]);
    EXPECT_FALSE(P().IsPartsModified());
}

TEST_F(PartsFormTest, CtrlShiftReleaseLaysThePartOverTheTargetThroughTheDialog)
{
    ShowWholeGridWithGraphics();
    Doc().SetCell(0, 0, 5);
    const std::vector<QImage> before = snapshotParts(P().Store());
    QList<QDialog*> shown;
    int answer = QDialog::Rejected;
    Script.Modal = [&](QDialog* dialog) {
        shown << dialog;
        return answer;
    };

    // Cancelled: the parts stay as they were, yet count as modified.
    Drag({5, 0}, {9, 0}, Qt::ShiftModifier | Qt::ControlModifier);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], Forms().TranslucenPartsDlg);
    EXPECT_EQ(snapshotParts(P().Store()), before);
    EXPECT_TRUE(P().IsPartsModified());
    EXPECT_EQ(P().StatusText->text(), statusOf(9));

    // OK with nothing transparent: the source covers the target; the map is not touched.
    P().ClearPartsModified();
    answer = QDialog::Accepted;
    Drag({5, 0}, {9, 0}, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(P().PartBitmap(9), before[5]);
    EXPECT_EQ(P().PartBitmap(5), before[5]);
    EXPECT_TRUE(P().IsPartsModified());
    EXPECT_EQ(Doc().Cell(0, 0), 5);
    EXPECT_FALSE(Doc().MapModified());
    // One undo takes the overlay back.
    Forms().MainForm->Cancel1->trigger();
    EXPECT_EQ(P().PartBitmap(9), before[9]);

    // Onto itself: no dialog, nothing marked.
    P().ClearPartsModified();
    Drag({4, 4}, {4, 4}, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(shown.size(), 2);
    EXPECT_FALSE(P().IsPartsModified());
}

TEST_F(PartsFormTest, ModifierDragMovesTheTargetAndStaysOnTheGrid)
{
    ShowWholeGridWithGraphics();
    const std::vector<QImage> before = snapshotParts(P().Store());
    const auto dragText = [](int source, int target) {
        return QStringLiteral("コピー又は交換元パーツ:%1 / カーソル位置パーツ:%2")
            .arg(source)
            .arg(target);
    };
    QTest::mousePress(Viewport(), Qt::LeftButton, Qt::ShiftModifier, Centre(3, 0));
    MoveWithKeys(Centre(2, 1), Qt::ShiftModifier);
    EXPECT_EQ(P().StatusText->text(), dragText(3, 18));
    // Only the target is selected, so only it shows inverted.
    EXPECT_EQ(P().PartsGrid->Selection(), (TGridRect{2, 1, 2, 1}));

    // Without keys the grid's own range selection follows; the target stays.
    MoveWithKeys(Centre(4, 2), {});
    EXPECT_EQ(P().StatusText->text(), dragText(3, 18));
    EXPECT_EQ(P().PartsGrid->Selection(), (TGridRect{2, 1, 4, 2}));

    // Over no cell: below and right of the grid, then above and left of the window.
    const QRect last = P().PartsGrid->CellRect(15, 15);
    ASSERT_LT(last.bottom() + 20, Viewport()->height());
    MoveWithKeys(last.bottomRight() + QPoint(20, 20), Qt::ControlModifier);
    EXPECT_EQ(P().StatusText->text(), dragText(3, 255));
    MoveWithKeys(QPoint(-30, -30), Qt::ShiftModifier);
    EXPECT_EQ(P().StatusText->text(), dragText(3, 0));
    EXPECT_EQ(P().PartsGrid->Selection(), (TGridRect{0, 0, 0, 0}));

    // Released right of the last column in row 2: the target is part 47.
    const QPoint beside(last.right() + 20, Centre(0, 2).y());
    QTest::mouseRelease(Viewport(), Qt::LeftButton, Qt::ControlModifier, beside);
    EXPECT_EQ(P().PartBitmap(47), before[3]);
    EXPECT_EQ(P().PartBitmap(0), before[0]);
    EXPECT_EQ(P().StatusText->text(), statusOf(47));
}
