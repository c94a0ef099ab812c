#include "DrawGrid.h"
#include "IniGT.h"
#include "LupeUnit.h"
#include "MapFile.h"
#include "Parts.h"
#include "ProgramFixture.h"
#include "env.h"
#include "main.h"
#include "new.h"
#include "tool.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

class MainFormTest : public ProgramTest
{
protected:
    TMainForm* Main() { return Forms().MainForm; }
    TDrawGrid* Grid() { return Main()->MapGrid; }
    QWidget* Viewport() { return Grid()->viewport(); }
    QString Status() { return Main()->StatusPanel0->text(); }

    QPoint CellCentre(int col, int row) { return Grid()->CellRect(col, row).center(); }

    void Press(Qt::MouseButton button, int col, int row, Qt::KeyboardModifiers mods = {})
    {
        FButtons |= button;
        QTest::mousePress(Viewport(), button, mods, CellCentre(col, row));
    }
    void MoveTo(int col, int row) { MoveToPoint(CellCentre(col, row)); }
    // QTest moves the system cursor for a move without buttons, which reaches whatever
    // window lies on top there; the event goes straight to the map instead.
    void MoveToPoint(const QPoint& pos)
    {
        QMouseEvent move(QEvent::MouseMove, pos, Viewport()->mapToGlobal(pos), Qt::NoButton,
                         FButtons, Qt::NoModifier);
        QApplication::sendEvent(Viewport(), &move);
    }
    void Release(Qt::MouseButton button, int col, int row, Qt::KeyboardModifiers mods = {})
    {
        FButtons &= ~button;
        QTest::mouseRelease(Viewport(), button, mods, CellCentre(col, row));
    }

    Qt::MouseButtons FButtons;

    // Part n of the parts window becomes a solid colour.
    void PaintPart(int n, QColor colour)
    {
        TPartsForm* parts = Forms().PartsForm;
        QImage solid(parts->PartWidth(), parts->PartHeight(), QImage::Format_RGB32);
        solid.fill(colour);
        parts->CapturePart(n, solid, 0, 0);
    }

    QImage GrabMap()
    {
        Viewport()->repaint();
        return Viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    void WriteIni(const QString& section, const QString& key, const QString& value)
    {
        Program.reset();
        TIniGT ini;
        ini.SetFileName(IniPath());
        ini.WriteString(section, key, value);
        StartProgram();
    }
};

TEST_F(MainFormTest, StartsInScrollModeWithAnUntitledMapAndTheMenusOfTheForm)
{
    EXPECT_EQ(Main()->windowTitle(), QStringLiteral("Quiltmapper - [無題]"));
    EXPECT_TRUE(Main()->N19->isChecked());
    EXPECT_FALSE(Main()->N17->isChecked());
    EXPECT_TRUE(Forms().ToolForm->Button_Scroll->isChecked());
    EXPECT_EQ(Grid()->ColCount(), 101);
    EXPECT_EQ(Grid()->RowCount(), 101);
    EXPECT_EQ(Grid()->DefaultColWidth(), 32);
    EXPECT_FALSE(Main()->Cancel1->isEnabled());
    EXPECT_FALSE(Main()->G2->isEnabled());
    EXPECT_FALSE(Main()->D1->isEnabled()); // only at the zoom view
    EXPECT_TRUE(Main()->P1->isEnabled()); // the full-map picture
    EXPECT_FALSE(Main()->Contents1->isEnabled());
    EXPECT_FALSE(Main()->N7->isEnabled());
    EXPECT_TRUE(Main()->N12->isChecked());
    EXPECT_TRUE(Main()->N13->isChecked());
    EXPECT_TRUE(Main()->G1->isChecked());
    EXPECT_FALSE(Main()->A1->isChecked());
    EXPECT_FALSE(Main()->Lupe->isVisible());
    EXPECT_EQ(Main()->Document().GroupWidth(), 1);
    EXPECT_EQ(
        Main()->StatusPanel1->text(),
        QStringLiteral("左ボタンドラッグでマップ描画・領域指定・スクロール、右ボタンでパーツ取得"));

    QStringList tops;
    for (QAction* a : Main()->menuBar()->actions())
        tops << a->text();
    EXPECT_EQ(tops, (QStringList{"ファイル(&F)", "ツール(&T)", "編集(&E)", "表示(&V)",
                                 "ジャンプ(&J)", "オプション(&O)", "ヘルプ(&H)"}));
    EXPECT_EQ(Main()->N2->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    EXPECT_EQ(Main()->D1->shortcut(), QKeySequence(QStringLiteral("F4")));
    EXPECT_EQ(Main()->G2->shortcut(), QKeySequence(QStringLiteral("Ctrl+C")));
    EXPECT_EQ(Main()->N13->shortcut(), QKeySequence(QStringLiteral("Ctrl+F2")));
    ASSERT_EQ(Main()->PointRestoreMenu->actions().size(), 5);
    EXPECT_EQ(Main()->PointRestoreMenu->actions()[4]->shortcut(),
              QKeySequence(QStringLiteral("Shift+F5")));
    EXPECT_EQ(Main()->PointMemoryMenu->actions()[0]->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+Shift+F1")));
    EXPECT_EQ(Main()->PointMemoryMenu->actions()[0]->text(), QStringLiteral("ポイント &1"));
}

TEST_F(MainFormTest, EachModeSwitchSetsGridMenuToolBoxAndG2)
{
    struct Mode
    {
        QAction* item;
        QToolButton* button;
        bool rangeSelect;
        Qt::CursorShape cursor;
        bool g2;
    };
    TToolForm* tool = Forms().ToolForm;
    const std::vector<Mode> modes = {
        {Main()->N17, tool->Button_Paint, true, Qt::ArrowCursor, false},
        {Main()->N18, tool->Button_Region, true, Qt::CrossCursor, true},
        {Main()->N19, tool->Button_Scroll, false, Qt::SizeAllCursor, false},
    };
    for (const Mode& m : modes) {
        m.item->trigger();
        EXPECT_TRUE(m.item->isChecked()) << m.item->text().toStdString();
        EXPECT_TRUE(m.button->isChecked()) << m.item->text().toStdString();
        EXPECT_EQ(bool(Grid()->Options() & goRangeSelect), m.rangeSelect);
        EXPECT_EQ(Viewport()->cursor().shape(), m.cursor);
        EXPECT_EQ(Main()->G2->isEnabled(), m.g2);
        EXPECT_FALSE(tool->LowerRowShown());
        int checked = 0;
        for (QAction* a : {Main()->N17, Main()->N18, Main()->N19, Main()->D1})
            checked += a->isChecked();
        EXPECT_EQ(checked, 1);
    }

    // Part-graphic mode exists only at the zoom view; there it lays the magnifier over the
    // current cell and shows the tool box's lower row.
    tool->ZoomRadio4->click();
    ASSERT_TRUE(Main()->D1->isEnabled());
    Main()->D1->trigger();
    EXPECT_TRUE(tool->Button_LupeMode->isChecked());
    EXPECT_TRUE(tool->LowerRowShown());
    EXPECT_TRUE(Main()->Lupe->isVisible());
    EXPECT_EQ(Main()->Lupe->geometry(), Grid()->CellRect(Grid()->Col(), Grid()->Row()));
    // It shows the cell's part enlarged by the cell's width over the part's width.
    QImage part(32, 32, QImage::Format_RGB32);
    part.fill(Qt::white);
    part.setPixelColor(3, 5, QColor(200, 10, 10));
    Forms().PartsForm->CapturePart(7, part, 0, 0);
    Main()->Document().SetCell(Grid()->Col(), Grid()->Row(), 7);
    Main()->D1->trigger();
    EXPECT_EQ(Main()->LupePartNumber(), 7);
    const QImage lupe = Main()->Lupe->grab().toImage();
    EXPECT_EQ(lupe.pixelColor(3 * 8 + 4, 5 * 8 + 4), QColor(200, 10, 10));
    EXPECT_EQ(lupe.pixelColor(2 * 8 + 4, 5 * 8 + 4), QColor(Qt::white));
    // Scrolling hides it; the mode stays.
    Grid()->SetTopRow(Grid()->TopRow() + 1);
    EXPECT_FALSE(Main()->Lupe->isVisible());
    EXPECT_TRUE(Main()->D1->isChecked());
    Main()->N17->trigger();
    EXPECT_FALSE(tool->LowerRowShown());
}

TEST_F(MainFormTest, ApplyZoomSetsTheCellSizeAndRecentresOnTheCurrentCell)
{
    TToolForm* tool = Forms().ToolForm;
    Grid()->SetCol(60);
    Grid()->SetRow(70);

    Main()->N17->trigger(); // paint mode
    Settings().SetZoomLevel(zlZoom);
    EXPECT_EQ(Grid()->DefaultColWidth(), 256);
    EXPECT_TRUE(Main()->N17->isChecked()); // zoom keeps the mode
    EXPECT_TRUE(Main()->D1->isEnabled());
    EXPECT_TRUE(tool->Button_LupeMode->isEnabled());
    EXPECT_EQ(Grid()->LeftCol(), std::max(0, 60 - Grid()->VisibleColCount() / 2));
    EXPECT_EQ(Grid()->TopRow(), std::max(0, 70 - Grid()->VisibleRowCount() / 2));

    Settings().SetZoomLevel(zlWide);
    EXPECT_EQ(Grid()->DefaultColWidth(), 8);
    EXPECT_TRUE(Main()->N19->isChecked()); // wide and nomal end in scroll mode
    EXPECT_FALSE(Main()->D1->isEnabled());
    EXPECT_EQ(Grid()->LeftCol(), std::max(0, 60 - Grid()->VisibleColCount() / 2));

    // The sizes come from the settings.
    Settings().SetNormalSize(20);
    Settings().SetZoomLevel(zlNormal);
    EXPECT_EQ(Grid()->DefaultColWidth(), 20);
    EXPECT_EQ(Grid()->DefaultRowHeight(), 20);
}

TEST_F(MainFormTest, StatusBarFollowsThePointerAndTheDrag)
{
    Main()->Document().SetCell(3, 5, 12);
    MoveTo(3, 5);
    EXPECT_EQ(Status(), QStringLiteral("(3,5)・パーツ番号:12"));

    Grid()->SetDefaultColWidth(400); // the last cell ends inside the window
    Main()->NewMap(2, 2);
    MoveToPoint(QPoint(Grid()->CellRect(1, 0).right() + 5, 5));
    EXPECT_EQ(Status(), QStringLiteral("マップ外"));
    // A press beyond the last cell starts no drag.
    QTest::mousePress(Viewport(), Qt::LeftButton, {},
                      QPoint(Grid()->CellRect(1, 0).right() + 5, 5));
    EXPECT_FALSE(Main()->MapDragActive());
    QTest::mouseRelease(Viewport(), Qt::LeftButton, {},
                        QPoint(Grid()->CellRect(1, 0).right() + 5, 5));
}

TEST_F(MainFormTest, PaintAndRightDragsReportTheirCells)
{
    Main()->N17->trigger();
    Press(Qt::LeftButton, 1, 2);
    EXPECT_TRUE(Main()->MapDragActive());
    EXPECT_EQ(Status(), QStringLiteral("(1,2)-"));
    MoveTo(4, 3);
    EXPECT_EQ(Status(), QStringLiteral("(1,2)-(4,3)"));
    EXPECT_EQ(Grid()->Col(), 1); // the current cell stays where the press was
    Release(Qt::LeftButton, 4, 3);
    EXPECT_FALSE(Main()->MapDragActive());
    EXPECT_EQ(Status(), QString());

    Press(Qt::RightButton, 2, 2);
    EXPECT_EQ(Status(), QStringLiteral("(2,2)"));
    MoveTo(3, 4);
    EXPECT_EQ(Status(), QStringLiteral("(3,4)"));
    Release(Qt::RightButton, 3, 4);

    // A tool chosen during a drag ends it: back in paint mode, no drag is left over and the
    // late release lays nothing.
    Main()->Document().SetGroupSingle(7);
    Press(Qt::LeftButton, 0, 0);
    Main()->N19->trigger();
    Main()->N17->trigger();
    EXPECT_FALSE(Main()->MapDragActive());
    Release(Qt::LeftButton, 0, 0);
    EXPECT_NE(Main()->Document().Cell(0, 0), 7);
}

TEST_F(MainFormTest, ScrollModeDragMovesTheMapWithThePointer)
{
    ASSERT_TRUE(Main()->N19->isChecked());
    Grid()->SetLeftCol(10);
    Grid()->SetTopRow(10);
    Press(Qt::LeftButton, 12, 12);
    MoveTo(13, 12); // one cell to the right: the left column goes one down
    EXPECT_EQ(Grid()->LeftCol(), 9);
    EXPECT_EQ(Grid()->TopRow(), 10);
    EXPECT_EQ(Status(), QStringLiteral("左上の座標:(9,10)"));
    // The grabbed cell is under the pointer again.
    EXPECT_EQ(Grid()->MouseToCell(CellCentre(12, 12)), QPoint(12, 12));
    Release(Qt::LeftButton, 12, 12);

    // Never beyond the top-left corner.
    Grid()->SetLeftCol(0);
    Grid()->SetTopRow(0);
    Press(Qt::LeftButton, 1, 1);
    MoveTo(4, 5);
    EXPECT_EQ(Grid()->LeftCol(), 0);
    EXPECT_EQ(Grid()->TopRow(), 0);
    EXPECT_EQ(Status(), QStringLiteral("左上の座標:(0,0)"));
    Release(Qt::LeftButton, 4, 5);
}

TEST_F(MainFormTest, DragFeedbackUsesTheCopyModesAndTheLatticeIsInverted)
{
    TPartsForm* parts = Forms().PartsForm;
    for (int n = 0; n < 4; ++n)
        PaintPart(n, QColor(40 + 50 * n, 200 - 40 * n, 90));
    Main()->Document().SetCell(0, 0, 1);

    // Plain copy when idle: the cell shows its part.
    QImage shot = GrabMap();
    const QRect c00 = Grid()->CellRect(0, 0);
    EXPECT_EQ(shot.pixelColor(c00.center()), QColor(90, 160, 90));

    // Paint drag with a 3 x 2 group part: the last column and last row of each tile show
    // the part inverted, the others the background brush.
    Main()->N17->trigger();
    Main()->Document().SetGroupPart(3, 2, [](int, int) { return uint8_t(0); });
    Press(Qt::LeftButton, 0, 0);
    MoveTo(5, 3);
    shot = GrabMap();
    const QColor part0(40, 200, 90);
    const QColor inverted0(255 - 40, 255 - 200, 255 - 90);
    const QColor brush = Grid()->palette().color(QPalette::Highlight);
    for (int col = 0; col < 6; ++col)
        for (int row = 0; row < 4; ++row) {
            if (col == 0 && row == 0)
                continue; // holds part 1
            const QPoint p = Grid()->CellRect(col, row).center();
            const bool inverted = col % 3 == 2 || row % 2 == 1;
            EXPECT_EQ(shot.pixelColor(p), inverted ? inverted0 : brush) << col << "," << row;
        }
    // Outside the rectangle: plain.
    EXPECT_EQ(shot.pixelColor(Grid()->CellRect(6, 0).center()), part0);
    Release(Qt::LeftButton, 5, 3);

    // After the release every cell is plain again.
    shot = GrabMap();
    EXPECT_EQ(shot.pixelColor(Grid()->CellRect(4, 2).center()), part0);

    // The lattice: the top-left pixel of cells in column 0, 3, ... and row 0, 2, ... is
    // drawn by the "not" pen; a pixel on a vertical line only shows the part inverted.
    const QRect c30 = Grid()->CellRect(3, 1);
    EXPECT_EQ(shot.pixelColor(c30.left(), c30.top() + 5), inverted0);
    const QRect c41 = Grid()->CellRect(4, 1);
    EXPECT_EQ(shot.pixelColor(c41.left(), c41.top() + 5), part0); // column 4: no line
    const QRect c42 = Grid()->CellRect(4, 2);
    EXPECT_EQ(shot.pixelColor(c42.left() + 5, c42.top()), inverted0); // row 2: a line
    EXPECT_EQ(parts->PartWidth(), 32);
}

TEST_F(MainFormTest, RegionDragShowsTheWholeRectangleInverted)
{
    PaintPart(0, QColor(10, 20, 30));
    const QColor plain(10, 20, 30);
    const QColor inverted(245, 235, 225);
    Main()->N18->trigger();
    Press(Qt::LeftButton, 1, 1);
    MoveTo(2, 2);
    const QImage shot = GrabMap();
    EXPECT_EQ(shot.pixelColor(CellCentre(2, 2)), inverted);
    EXPECT_EQ(shot.pixelColor(CellCentre(3, 3)), plain);
    Release(Qt::LeftButton, 2, 2);
    // The region stays the grid's selection for the editing commands.
    EXPECT_EQ(Grid()->Selection(), (TGridRect{1, 1, 2, 2}));

    // A press in part-graphic mode shows the pressed cell inverted; the scroll tool's drag
    // shows the cells as they are.
    const struct
    {
        void (TMainForm::*enter)();
        QColor shown;
    } tools[] = {{&TMainForm::SetLupeMode, inverted}, {&TMainForm::SetScrollMode, plain}};
    for (const auto& tool : tools) {
        (Main()->*tool.enter)();
        Press(Qt::LeftButton, 3, 2);
        const QImage pressed = GrabMap();
        EXPECT_EQ(pressed.pixelColor(CellCentre(3, 2)), tool.shown)
            << tool.shown.name().toStdString();
        EXPECT_EQ(pressed.pixelColor(CellCentre(3, 3)), plain);
        Release(Qt::LeftButton, 3, 2);
    }
}

TEST_F(MainFormTest, LargeZoomCellsAreDrawnThroughThePainterWithTheSameModes)
{
    // 300 x 300 cells are beyond the scaled-part cache: the painter stretches the parts.
    PaintPart(0, QColor(10, 20, 30));
    Settings().SetZoomSize(300);
    Settings().SetZoomLevel(zlZoom);
    Main()->N18->trigger();
    Grid()->SetLeftCol(0);
    Grid()->SetTopRow(0);
    Main()->Document().SetGroupPart(2, 1, [](int, int) { return uint8_t(0); });

    QImage shot = GrabMap();
    const QRect c00 = Grid()->CellRect(0, 0);
    EXPECT_EQ(shot.pixelColor(c00.center()), QColor(10, 20, 30));
    // Column 0 starts a group tile: its left edge carries an inverted line as long as the
    // part (32 pixels), not the cell.
    EXPECT_EQ(shot.pixelColor(c00.left(), c00.top() + 10), QColor(245, 235, 225));
    EXPECT_EQ(shot.pixelColor(c00.left(), c00.top() + 40), QColor(10, 20, 30));

    Press(Qt::LeftButton, 0, 0);
    shot = GrabMap();
    EXPECT_EQ(shot.pixelColor(c00.center()), QColor(245, 235, 225));
    Release(Qt::LeftButton, 0, 0);
}

TEST_F(MainFormTest, CloseAsksAboutTheMapThenThePartsAndStaysOpenOnCancel)
{
    Main()->Document().SetMapModified(true);
    Forms().PartsForm->SetPartsModified();
    Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::Cancel; };
    EXPECT_FALSE(Main()->close());
    EXPECT_EQ(Script.Log,
              (QStringList{"confirm[YesNoCancel]: マップデータを上書き保存しますか？",
                           "confirm[YesNoCancel]: パーツデータを上書き保存しますか？"}));

    // Yes to the map, but the save dialog is cancelled: still open, still asked about parts.
    Script.Log.clear();
    Script.Confirm = [](const QString& text, TConfirmButtons) {
        return text.startsWith(QStringLiteral("マップ")) ? TAnswer::Yes : TAnswer::No;
    };
    Script.FileDialog = [](const TFileDialogRequest&) { return std::optional<QString>(); };
    EXPECT_FALSE(Main()->close());
    EXPECT_EQ(Script.Log.size(), 3);
    EXPECT_EQ(Script.Log[1], QStringLiteral("file dialog[save]: マップデータの保存"));
    EXPECT_TRUE(Script.Log[2].contains(QStringLiteral("パーツデータ")));

    // No to both: it closes.
    Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::No; };
    EXPECT_TRUE(Main()->close());
}

TEST_F(MainFormTest, AnUnmodifiedProgramClosesWithoutQuestions)
{
    EXPECT_TRUE(Main()->close());
    EXPECT_TRUE(Script.Log.isEmpty());
}

TEST_F(MainFormTest, SaveAndLoadThroughTheDialogsSetCaptionAndFileName)
{
    const QString name = Dir.filePath(QStringLiteral("地図.mpd"));
    Main()->Document().SetCell(4, 7, 99);
    Main()->Document().SetMapModified(true);
    QStringList asked;
    Script.FileDialog = [&](const TFileDialogRequest& r) {
        asked << r.Title << r.NameFilters.join('|') << r.DefaultSuffix;
        return std::optional<QString>(name);
    };
    Main()->N2->trigger();
    EXPECT_EQ(asked, (QStringList{"マップデータの保存",
                                  "マップファイル(*.mpd) (*.mpd)|全てのファイル (*.*)", "mpd"}));
    EXPECT_EQ(Main()->windowTitle(), QStringLiteral("Quiltmapper - [") + name + "]");
    EXPECT_FALSE(Main()->Document().MapModified());
    EXPECT_EQ(QFile(name).size(), 31 + 101 * 101);

    // The second save goes to the same file without a dialog.
    asked.clear();
    Main()->Document().SetMapModified(true);
    Main()->N2->trigger();
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_FALSE(Main()->Document().MapModified());

    // A new map forgets the name; loading brings it and the cells back.
    Main()->NewMap(5, 5);
    EXPECT_EQ(Main()->windowTitle(), QStringLiteral("Quiltmapper - [無題]"));
    Main()->R1->trigger();
    EXPECT_EQ(asked.first(), QStringLiteral("マップデータの読み込み"));
    EXPECT_EQ(Main()->MapWidth(), 101);
    EXPECT_EQ(Main()->Document().Cell(4, 7), 99);
    EXPECT_EQ(Grid()->ColCount(), 101);
    EXPECT_EQ(Main()->windowTitle(), QStringLiteral("Quiltmapper - [") + name + "]");
    EXPECT_EQ(Main()->MapFileName(), name);
}

TEST_F(MainFormTest, LoadingSetsThePartSizeAndFailuresBeepAndChangeNothing)
{
    // A type 2 map of part size 16 x 24.
    TMapDocument doc;
    doc.NewMap(3, 4);
    const QString good = Dir.filePath("good.mpd");
    ASSERT_TRUE(SaveMapFile(good, doc, TMapFileType::Type2, 16, 24));
    ASSERT_TRUE(Main()->LoadMapFile(good));
    EXPECT_EQ(Forms().PartsForm->PartWidth(), 16);
    EXPECT_EQ(Forms().PartsForm->PartHeight(), 24);
    EXPECT_EQ(Grid()->RowCount(), 4);

    const QString text = Dir.filePath("text.mpd");
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a map at all");
    f.close();
    Script.Log.clear();
    EXPECT_FALSE(Main()->LoadMapFile(text));
    EXPECT_EQ(Script.Log, (QStringList{"beep: exclamation",
                                       "error: Quiltmapper タイプ２データではありません"}));
    EXPECT_EQ(Main()->MapWidth(), 3);
    EXPECT_EQ(Forms().PartsForm->PartWidth(), 16);
    EXPECT_EQ(Main()->MapFileName(), good);

    Script.Log.clear();
    EXPECT_FALSE(Main()->LoadMapFile(Dir.filePath("missing.mpd")));
    EXPECT_EQ(Script.Log, (QStringList{"beep: exclamation",
                                       "error: マップデータファイルを読み込む事ができません"}));
}

TEST_F(MainFormTest, NewMapRefusesPartsTooLargeToHold)
{
    TNewCreateDlg* dialog = Forms().NewCreateDlg;
    dialog->Spin_NewPartsWidth->setValue(2000);
    dialog->Spin_NewPartsHeight->setValue(2000);
    dialog->accept();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(Script.Log, QStringList{"error: パーツのサイズが大きすぎます"});

    // A type 2 map claiming such parts is refused before anything changes.
    TMapDocument doc;
    doc.NewMap(3, 3);
    const QString huge = Dir.filePath("huge-parts.mpd");
    ASSERT_TRUE(SaveMapFile(huge, doc, TMapFileType::Type2, 2000, 2000));
    Script.Log.clear();
    EXPECT_FALSE(Main()->LoadMapFile(huge));
    EXPECT_EQ(Script.Log.last(),
              QStringLiteral("error: マップデータファイルを読み込む事ができません"));
    EXPECT_EQ(Main()->MapWidth(), 101);
    EXPECT_EQ(Forms().PartsForm->PartWidth(), 32);
}

TEST_F(MainFormTest, AFailedSaveIsReportedKeepsTheMapModifiedAndStopsTheClose)
{
    Main()->Document().SetMapModified(true);
    Script.FileDialog = [&](const TFileDialogRequest&) {
        return std::optional<QString>(Dir.filePath("no/such/folder/a.mpd"));
    };
    EXPECT_FALSE(Main()->SaveMapOverwrite());
    EXPECT_TRUE(Main()->Document().MapModified());
    EXPECT_TRUE(
        Script.Log.last().startsWith(QStringLiteral("error: マップデータを保存できません")));
    EXPECT_EQ(Main()->windowTitle(), QStringLiteral("Quiltmapper - [無題]"));

    Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::Yes; };
    EXPECT_FALSE(Main()->close());
}

TEST_F(MainFormTest, DroppingFilesLoadsOnlyTheFirstAndBeepsOnce)
{
    TMapDocument doc;
    doc.NewMap(7, 3);
    const QString first = Dir.filePath("first.mpd");
    const QString second = Dir.filePath("second.mpd");
    ASSERT_TRUE(SaveMapFile(first, doc, TMapFileType::Type2, 32, 32));
    doc.NewMap(9, 9);
    ASSERT_TRUE(SaveMapFile(second, doc, TMapFileType::Type2, 32, 32));

    Main()->DropFiles({first, second, Dir.filePath("third.mpd")});
    EXPECT_EQ(Main()->MapWidth(), 7);
    EXPECT_EQ(Script.Log, QStringList{"beep: default"});
}

TEST_F(MainFormTest, NewMapCommandAsksOnlyWhenModifiedAndAppliesThePartSize)
{
    TNewCreateDlg* dialog = Forms().NewCreateDlg;
    Script.Modal = [&](QDialog* d) {
        if (d != dialog)
            return int(QDialog::Rejected);
        dialog->Spin_NewWidth->setValue(12);
        dialog->Spin_NewHeight->setValue(8);
        dialog->Spin_NewPartsWidth->setValue(16);
        dialog->Spin_NewPartsHeight->setValue(20);
        return int(QDialog::Accepted);
    };
    Main()->N1->trigger();
    EXPECT_EQ(Main()->MapWidth(), 12);
    EXPECT_EQ(Main()->MapHeight(), 8);
    EXPECT_EQ(Forms().PartsForm->PartWidth(), 16);
    EXPECT_EQ(Forms().PartsForm->PartHeight(), 20);
    EXPECT_EQ(Script.Log, QStringList{"modal: NewCreateDlg"});

    // Modified, Yes, and the save dialog cancelled: nothing changes, not even the part size.
    Main()->Document().SetCell(0, 0, 4);
    Main()->Document().SetMapModified(true);
    Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::Yes; };
    dialog->Spin_NewPartsWidth->setValue(64);
    Script.Modal = [](QDialog*) { return int(QDialog::Accepted); };
    Script.Log.clear();
    Main()->N1->trigger();
    EXPECT_EQ(Script.Log, (QStringList{"modal: NewCreateDlg",
                                       "confirm[YesNoCancel]: 変更データを上書き保存しますか？",
                                       "file dialog[save]: マップデータの保存"}));
    EXPECT_EQ(Main()->MapWidth(), 12);
    EXPECT_EQ(Forms().PartsForm->PartWidth(), 16);
    EXPECT_TRUE(Main()->Document().MapModified());

    // No: the new map replaces the old one.
    Script.Confirm = [](const QString&, TConfirmButtons) { return TAnswer::No; };
    Main()->N1->trigger();
    EXPECT_EQ(Forms().PartsForm->PartWidth(), 64);
    EXPECT_EQ(Main()->Document().Cell(0, 0), 0);
    EXPECT_FALSE(Main()->Document().MapModified());

    // Cancel in the dialog: no question, no change.
    Script.Log.clear();
    Main()->Document().SetMapModified(true);
    Script.Modal = [](QDialog*) { return int(QDialog::Rejected); };
    Main()->N1->trigger();
    EXPECT_EQ(Script.Log, QStringList{"modal: NewCreateDlg"});
    EXPECT_TRUE(Main()->Document().MapModified());
}

TEST_F(MainFormTest, ANewMapWithoutMemoryLeavesMapAndPartsAsTheyWere)
{
    TNewCreateDlg* dialog = Forms().NewCreateDlg;
    Script.Modal = [&](QDialog*) {
        dialog->Spin_NewWidth->setValue(TMapDocument::MaxMapSize);
        dialog->Spin_NewHeight->setValue(TMapDocument::MaxMapSize);
        dialog->Spin_NewPartsWidth->setValue(16);
        return int(QDialog::Accepted);
    };
    // Room for the parts, not for a 9999 x 9999 map.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    long pages = 0;
    {
        std::ifstream statm("/proc/self/statm");
        statm >> pages;
    }
    ASSERT_GT(pages, 0);
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(48) << 20);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    EXPECT_THROW(Main()->N1Click(), std::bad_alloc);
    setrlimit(RLIMIT_AS, &saved);

    EXPECT_EQ(Main()->MapWidth(), 101);
    EXPECT_EQ(Forms().PartsForm->PartWidth(), 32);
}

TEST_F(MainFormTest, GridLinesAndPlacementSurviveARestart)
{
    Main()->G1->trigger();
    EXPECT_EQ(Grid()->GridLineWidth(), 0);
    EXPECT_FALSE(Main()->G1->isChecked());
    Main()->setGeometry(120, 80, 700, 500);
    RestartProgram();
    EXPECT_EQ(Grid()->GridLineWidth(), 0);
    EXPECT_FALSE(Main()->G1->isChecked());
    EXPECT_EQ(Main()->normalGeometry(), QRect(120, 80, 700, 500));
    QSettings ini(IniPath(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("MainWindow/GridLineWidth").toInt(), 0);
    EXPECT_EQ(ini.value("MainWindow/WindowState.X").toInt(), 120);

    WriteIni(QStringLiteral("MainWindow"), QStringLiteral("GridLineWidth"), QStringLiteral("1"));
    EXPECT_EQ(Grid()->GridLineWidth(), 1);
    EXPECT_TRUE(Main()->G1->isChecked());
}

TEST_F(MainFormTest, ASettingsFileThatCannotBeWrittenIsReportedAtTheEnd)
{
    // The folder of the settings file is gone: the windows' keys, written together at the
    // end, are refused; that is reported once and the program still ends in order.
    ASSERT_TRUE(Dir.remove());
    Program.reset();
    ASSERT_EQ(Script.Log.size(), 1);
    for (const QString& line : Script.Log) {
        EXPECT_TRUE(line.startsWith(QStringLiteral("error: "))) << line.toStdString();
        EXPECT_TRUE(line.endsWith(QStringLiteral(" に書き込めません"))) << line.toStdString();
    }
    StartProgram(); // so that TearDown has a program to end
}

TEST_F(MainFormTest, ViewMenuShowsAndClosesTheOtherWindows)
{
    Main()->N12->trigger();
    EXPECT_FALSE(Forms().PartsForm->isVisible());
    EXPECT_FALSE(Main()->N12->isChecked());
    Main()->N12->trigger();
    EXPECT_TRUE(Forms().PartsForm->isVisible());

    Forms().ToolForm->close(); // its own close button
    EXPECT_FALSE(Main()->N13->isChecked());
    Main()->N13->trigger();
    EXPECT_TRUE(Forms().ToolForm->isVisible());
    EXPECT_TRUE(Main()->N13->isChecked());
}

TEST_F(MainFormTest, UndoRedrawsAndDisablesItself)
{
    Main()->Document().SetGroupSingle(3);
    Main()->Document().StampGroup({0, 0, 2, 2});
    EXPECT_TRUE(Main()->Cancel1->isEnabled());
    Main()->Cancel1->trigger();
    EXPECT_FALSE(Main()->Cancel1->isEnabled());
    EXPECT_EQ(Main()->Document().Cell(1, 1), 0);
}

TEST_F(MainFormTest, AnExceptionInAHandlerIsShownAndTheProgramGoesOn)
{
    class Throwing : public QObject
    {
    public:
        bool event(QEvent*) override { throw std::runtime_error("壊れたコマンド"); }
    } target;
    QEvent e(QEvent::User);
    QApplication::sendEvent(&target, &e);
    EXPECT_EQ(Script.Log, QStringList{"error: 壊れたコマンド"});
    EXPECT_TRUE(Main()->isVisible());
}

} // namespace
