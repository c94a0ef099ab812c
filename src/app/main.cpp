#include "main.h"

#include "CopyMode.h"
#include "Dialogs.h"
#include "DrawGrid.h"
#include "IniGT.h"
#include "LupeUnit.h"
#include "MainFormLinks.h"
#include "MainMenus.h"
#include "MapCellPainter.h"
#include "MapFileCommands.h"
#include "MapPictureJob.h"
#include "MapSession.h"
#include "MapViewController.h"
#include "PartGraphicEditor.h"
#include "PartsStore.h"
#include "TerrainTool.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QUrl>
#include <algorithm>

namespace {

const QString MainSection = QStringLiteral("MainWindow");
const QString Untitled = QStringLiteral("無題");

} // namespace

TMainForm::TMainForm(const TProgramModels& models, TMainFormLinks& links, QWidget* parent)
    : QMainWindow(parent), FModels(models), FLinks(links), FSettings(models.Settings),
      FDoc(models.Document), FParts(models.Parts), FCellPainter(std::make_unique<TMapCellPainter>())
{
    setObjectName(QStringLiteral("MainForm"));

    MapGrid = new TDrawGrid(this);
    MapGrid->setObjectName(QStringLiteral("MapGrid"));
    setCentralWidget(MapGrid);
    MapGrid->SetOptions(goVertLine | goHorzLine | goRangeSelect | goThumbTracking);
    // Every cell shows an opaque part; the cells are drawn into the grid's own picture.
    MapGrid->SetCellsOpaque(true);
    MapGrid->SetDoubleBuffered(true);
    MapGrid->OnBeginPaint = [this](QPainter& canvas) { MapGridBeginPaint(canvas); };
    MapGrid->OnDrawCell = [this](QPainter& canvas, int col, int row, const QRect& rect,
                                 TGridDrawState) { MapGridDrawCell(canvas, col, row, rect); };
    MapGrid->OnDrawCells = [this](QPainter& canvas, const TGridRect& cells, const QRect& first,
                                  int pitchX, int pitchY) {
        MapGridDrawCells(canvas, cells, first, pitchX, pitchY);
    };
    MapGrid->OnMouseDown = [this](Qt::MouseButton b, Qt::KeyboardModifiers s, const QPoint& p) {
        MapGridMouseDown(b, s, p);
    };
    MapGrid->OnMouseMove = [this](Qt::KeyboardModifiers s, const QPoint& p) {
        MapGridMouseMove(s, p);
    };
    MapGrid->OnMouseUp = [this](Qt::MouseButton b, Qt::KeyboardModifiers s, const QPoint& p) {
        MapGridMouseUp(b, s, p);
    };
    MapGrid->OnTopLeftChanged = [this] { MapGridTopLeftChanged(); };

    Lupe = new TLupe(MapGrid->viewport());
    Lupe->setObjectName(QStringLiteral("Lupe"));
    Lupe->resize(128, 128);
    Lupe->OnSourceMouseDown = [this](Qt::MouseButton b, Qt::KeyboardModifiers s, const QPoint& p) {
        LupeSourceMouseDown(b, s, p);
    };
    Lupe->OnSourceMouseMove = [this](Qt::KeyboardModifiers s, const QPoint& p) {
        LupeSourceMouseMove(s, p);
    };
    Lupe->OnSourceMouseUp = [this](Qt::MouseButton b, Qt::KeyboardModifiers s, const QPoint& p) {
        LupeSourceMouseUp(b, s, p);
    };
    Lupe->OnDblClick = [this] { LupeDblClick(); };
    FPartEditor = new TPartGraphicEditor(*Lupe, FParts, FSettings, this);
    connect(FPartEditor, &TPartGraphicEditor::previewChanged, this, &TMainForm::RedrawPart);
    connect(FPartEditor, &TPartGraphicEditor::colorShown, this, &TMainForm::lupeColorShown);

    StatusPanel0 = new QLabel(this);
    StatusPanel0->setFixedWidth(MapStatusPanelWidth(*StatusPanel0));
    StatusPanel1 = new QLabel(
        QStringLiteral("左ボタンドラッグでマップ描画・領域指定・スクロール、右ボタンでパーツ取得"),
        this);
    // The fixed hint takes the rest of the bar and may be cut, so that it never makes the
    // window wider.
    StatusPanel1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1, 1);

    createMenus();
    createTools();
    connectModels();
    // The settings' filter replaces the one the open dialog starts with.
    FOpenFilters = NameFiltersFromPairs(QStringLiteral("マップファイル|*.mpd|全てのファイル|*.*"));
    SetMapDialogExtension(FSettings.ExtName());

    resize(688, 434 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());

    FormCreate();
    // The view starts as the settings say: their zoom level, cell size and map tool.
    ApplyZoom();
    enterMapTool(FSettings.MapTool());
}

void TMainForm::FormCreate()
{
    SetMapCaption(Untitled);
    NewMap(101, 101);
    Lupe->hide();
    FModels.IniGT.ReadWindowPlacement(MainSection, QStringLiteral("WindowState"), this);
    MapGrid->SetGridLineWidth(
        FModels.IniGT.ReadInteger(MainSection, QStringLiteral("GridLineWidth"), 1) == 0 ? 0 : 1);
    G1->setChecked(MapGrid->GridLineWidth() != 0);
    FDoc.SetGroupSingle(0);
    setAcceptDrops(true);
}

void TMainForm::createTools()
{
    FToolContext = std::make_unique<TMapToolContext>(TMapToolContext{
        .Grid = *MapGrid,
        .Session = FModels.Session,
        .Document = FDoc,
        .Settings = FSettings,
        .PartEditor = *FPartEditor,
        .Links = FLinks,
        .Terrain = FModels.Terrain,
    });
    for (TMapTool kind : {mtPaint, mtRegion, mtScroll, mtLupe, mtTerrain}) {
        FTools[kind] = TMapGridTool::Make(kind, *FToolContext);
        connect(FTools[kind].get(), &TMapGridTool::statusChanged, StatusPanel0, &QLabel::setText);
        connect(FTools[kind].get(), &TMapGridTool::partPicked, this,
                [this](uint8_t part) { FLinks.SelectPart(part); });
    }
    FTool = FTools[FSettings.MapTool()].get();
}

void TMainForm::connectModels()
{
    FFileCommands = std::make_unique<TMapFileCommands>(*this, FModels.Session, FSettings, FLinks,
                                                       FMapExtension, FMapFilters, FOpenFilters);
    FFileCommands->StoreHeldPartEdits = [this] {
        if (LupeEdited())
            StoreLupePart();
    };
    // The view follows the zoom, the cells and the parts; outside the zoom level the map
    // goes back to scroll mode.
    FView = new TMapViewController(
        *MapGrid, FDoc, FParts, FSettings, [this] { SetScrollMode(); }, this);
    connect(&FSettings, &TSettings::mapToolChanged, this, &TMainForm::enterMapTool);
    connect(&FSettings, &TSettings::randomPlacementChanged, A1, &QAction::setChecked);
    connect(&FSettings, &TSettings::extNameChanged, this, &TMainForm::SetMapDialogExtension);
    connect(&FSettings, &TSettings::recentMapsChanged, this,
            [this] { FFileCommands->FillRecentMaps(*RecentMapsMenu); });
    FFileCommands->FillRecentMaps(*RecentMapsMenu);
    // The caption names the map's file.
    connect(&FModels.Session, &TMapSession::mapNamed, this,
            [this](const QString& name) { SetMapCaption(name.isEmpty() ? Untitled : name); });
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

void TMainForm::FormDestroy()
{
    // The program is ending: a settings file that cannot be written is
    // reported, and the rest of this window's writes are skipped.
    try {
        FModels.IniGT.WriteWindowPlacement(MainSection, QStringLiteral("WindowState"), this);
        FModels.IniGT.WriteInteger(MainSection, QStringLiteral("GridLineWidth"),
                                   MapGrid->GridLineWidth());
    } catch (const EIniGTWriteError& e) {
        ShowError(nullptr, e.message());
    }
}

void TMainForm::createMenus()
{
    menuBar()->setObjectName(QStringLiteral("MainMenu"));
    FToolGroup = new QActionGroup(this);
    const QString file = QStringLiteral("ファイル(&F)");
    const QString tool = QStringLiteral("ツール(&T)");
    const QString edit = QStringLiteral("編集(&E)");
    const QString view = QStringLiteral("表示(&V)");
    const QString jump = QStringLiteral("ジャンプ(&J)");
    const QString help = QStringLiteral("ヘルプ(&H)");
    using E = TMenuEntry;
    std::vector<TMenuEntry> entries = {
        E::Item(file, "N1", "マップデータの新規作成(&N)...", {Qt::CTRL | Qt::Key_N}, &N1,
                [this] { N1Click(); }),
        E::Item(file, "R1", "マップデータの読みこみ(&L)...", {Qt::CTRL | Qt::Key_O}, &R1,
                [this] { R1Click(); }),
        E::Submenu(file, "RecentMapsMenu", "最近使ったマップ(&M)", &RecentMapsMenu),
        E::Item(file, "N2", "マップデータを上書き保存(&S)", {Qt::CTRL | Qt::Key_S}, &N2,
                [this] { N2Click(); }),
        E::Item(file, "N3", "マップデータを名前を付けて保存(&R)...", {}, &N3,
                [this] { N3Click(); }),
        E::Separator(file),
        E::Item(file, "P1", "マップ全景を画像ファイルに保存(&P)", {}, &P1, [this] { P1Click(); }),
        E::Item(file, "TmxExport1", "TMX形式で書き出す(&T)...", {}, &TmxExport1,
                [this] { TmxExport1Click(); }),
        E::Item(file, "TmxImport1", "TMX形式を読み込む(&I)...", {}, &TmxImport1,
                [this] { TmxImport1Click(); }),
        E::Separator(file),
        E::Item(file, "Exit1", "終了(&X)", {}, &Exit1, [this] { Exit1Click(); }),

        E::Item(tool, "N17", "パーツ描画(&P)", {Qt::Key_F1}, &N17, [this] { N17Click(); })
            .Checks(false, FToolGroup),
        E::Item(tool, "N18", "特殊編集領域指定(&R)", {Qt::Key_F2}, &N18, [this] { N18Click(); })
            .Checks(false, FToolGroup),
        E::Item(tool, "N19", "スクロール(&S)", {Qt::Key_F3}, &N19, [this] { N19Click(); })
            .Checks(false, FToolGroup),
        // Pixels are edited only at the zoom level.
        E::Item(tool, "D1", "パーツグラフィック編集(&D)", {Qt::Key_F4}, &D1, [this] { D1Click(); })
            .Checks(false, FToolGroup)
            .EnabledWhen([this] { return FSettings.ZoomLevel() == zlZoom; }),
        E::Item(tool, "Terrain1", "地形描画(&E)", {Qt::Key_F5}, &Terrain1,
                [this] { SelectMapTool(mtTerrain); })
            .Checks(false, FToolGroup),

        E::Item(edit, "Cancel1", "取り消し(&U)", {Qt::CTRL | Qt::Key_Z}, &Cancel1,
                [this] { Cancel1Click(); })
            .EnabledWhen([this] { return FDoc.UndoAvailable(); }),
        E::Item(edit, "Redo1", "やり直し(&Y)", {Qt::CTRL | Qt::Key_Y}, &Redo1,
                [this] { Redo1Click(); })
            .EnabledWhen([this] { return FDoc.RedoAvailable(); }),
        E::Item(edit, "Replace1", "置換(&R)...", {}, &Replace1, [this] { Replace1Click(); }),
        // The group part is taken from the region selected in region mode.
        E::Item(edit, "G2", "グループパーツとして取得(&G)", {Qt::CTRL | Qt::Key_C}, &G2,
                [this] { G2Click(); })
            .EnabledWhen([this] { return FSettings.MapTool() == mtRegion; }),
        // The terrain fills the region selected in region mode.
        E::Item(edit, "TerrainFill1", "地形で埋める(&T)", {}, &TerrainFill1,
                [this] { TerrainFill1Click(); })
            .EnabledWhen([this] { return FSettings.MapTool() == mtRegion; }),
        E::Item(edit, "A1", "ランダムに配置(A)", {Qt::CTRL | Qt::Key_R}, &A1, [this] { A1Click(); })
            .Checks(FSettings.RandomPlacement()),
        E::Separator(edit),
        E::Item(edit, "A2", "全て選択(&A)", {Qt::CTRL | Qt::Key_A}, &A2, [this] { A2Click(); }),
        E::Item(edit, "F1", "グループパーツで全マップを埋める(&F)", {}, &F1, [this] { F1Click(); }),

        // Zoom keys, without menu items of their own: the tool box shows the zoom levels.
        E::Key("ZoomIn1", "拡大",
               {Qt::CTRL | Qt::Key_Plus, Qt::CTRL | Qt::Key_Equal,
                Qt::CTRL | Qt::SHIFT | Qt::Key_Semicolon},
               &ZoomIn1, [this] { ZoomIn1Click(); }),
        E::Key("ZoomOut1", "縮小", {Qt::CTRL | Qt::Key_Minus}, &ZoomOut1,
               [this] { ZoomOut1Click(); }),

        E::Item(view, "N12", "パーツウィンドウ(&P)", {Qt::CTRL | Qt::Key_F1}, &N12,
                [this] { N12Click(); })
            .Checks(true),
        E::Item(view, "N13", "ツールボックス(&T)", {Qt::CTRL | Qt::Key_F2}, &N13,
                [this] { N13Click(); })
            .Checks(true),
        E::Item(view, "Overview1", "全体図(&O)", {Qt::CTRL | Qt::Key_F3}, &Overview1,
                [this] { Overview1Click(); })
            .Checks(false),
        E::Separator(view),
        E::Item(view, "G1", "グリッドの表示(&G)", {Qt::CTRL | Qt::Key_G}, &G1,
                [this] { G1Click(); })
            .Checks(true),

        E::Submenu(jump, QString(), "ポイントの記録(&M)", &PointMemoryMenu),
        E::Submenu(jump, QString(), "ポイントへ移動(&R)", &PointRestoreMenu),
    };
    // The jump points: recorded with Ctrl+Shift+F1..F5, gone to with Shift+F1..F5.
    const char* memoryNames[] = {"N01", "N11", "N21", "N31", "N41"};
    const char* restoreNames[] = {"N02", "N110", "N22", "N32", "N42"};
    const Qt::Key fkeys[] = {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5};
    for (int k = 0; k < 10; ++k) {
        const bool memory = k < 5;
        const int n = k % 5;
        entries.push_back(
            E::Item(jump + (memory ? QStringLiteral("/ポイントの記録(&M)")
                                   : QStringLiteral("/ポイントへ移動(&R)")),
                    memory ? memoryNames[n] : restoreNames[n],
                    QStringLiteral("ポイント &%1").arg(n + 1),
                    {memory ? Qt::CTRL | Qt::SHIFT | fkeys[n] : Qt::SHIFT | fkeys[n]}, nullptr,
                    [this, memory, n] { memory ? PointMemoryClick(n) : PointRestoreClick(n); })
                .Checks(false));
    }
    // No help is installed.
    const auto never = [] { return false; };
    entries.insert(
        entries.end(),
        {E::Item("オプション(&O)", "N14", "環境設定(&E)...", {}, &N14, [this] { N14Click(); }),
         E::Item(help, "Contents1", "目次(&C)", {}, &Contents1).EnabledWhen(never),
         E::Item(help, "N7", "キーワード検索(&N)", {}, &N7).EnabledWhen(never), E::Separator(help),
         E::Item(help, "About1", "バージョン情報(&A)...", {}, &About1, [this] { ShowTitle(); })});

    const std::function<void()> refresh = BuildMenus(menuBar(), this, entries);
    connect(&FDoc, &TMapDocument::undoAvailableChanged, this, refresh);
    connect(&FDoc, &TMapDocument::redoAvailableChanged, this, refresh);
    connect(&FSettings, &TSettings::mapToolChanged, this, refresh);
    connect(&FSettings, &TSettings::zoomLevelChanged, this, refresh);
}

// ---------------------------------------------------------------------------------------
// Map files

void TMainForm::SetMapDialogExtension(const QString& extension)
{
    FMapExtension = extension;
    FMapFilters = NameFiltersFromPairs(
        QStringLiteral("マップファイル(*.%1)|*.%1|全てのファイル|*.*").arg(extension));
    FOpenFilters = FMapFilters;
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event)
{
    QStringList names;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            names << url.toLocalFile();
    }
    event->acceptProposedAction();
    // The questions and the load come after the drop has ended: the program the files were
    // dragged from does not wait on them.
    QMetaObject::invokeMethod(this, [this, names] { DropFiles(names); }, Qt::QueuedConnection);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    event->accept();
    // The main window's close ends the program, whatever other windows are open.
    QCoreApplication::quit();
}

// ---------------------------------------------------------------------------------------
// Other windows

void TMainForm::N12Click()
{
    const bool show = !N12->isChecked();
    FLinks.ShowPartsWindow(show);
    N12->setChecked(show);
}

void TMainForm::N13Click()
{
    const bool show = !N13->isChecked();
    FLinks.ShowToolBox(show);
    N13->setChecked(show);
}

void TMainForm::Overview1Click()
{
    const bool show = !Overview1->isChecked();
    FLinks.ShowOverview(show);
    Overview1->setChecked(show);
}

// ---------------------------------------------------------------------------------------
// The view

void TMainForm::SelectMapTool(TMapTool tool)
{
    if (FSettings.MapTool() == tool)
        enterMapTool(tool);
    else
        FSettings.SetMapTool(tool); // enters it through the change signal
}

void TMainForm::enterMapTool(TMapTool tool)
{
    TMapGridTool* next = FTools[tool].get();
    if (next != FTool)
        FTool->Deactivate();
    FTool = next;
    FTool->Activate();
    QAction* items[] = {N17, N18, N19, D1, Terrain1};
    items[tool]->setChecked(true);
}

void TMainForm::G1Click()
{
    const bool on = !G1->isChecked();
    MapGrid->SetGridLineWidth(on ? 1 : 0);
    G1->setChecked(on);
}

void TMainForm::MapGridBeginPaint(QPainter& canvas)
{
    TMapPaintState state;
    state.Doc = &FDoc;
    state.Parts = &FParts;
    state.Zoom = FSettings.ZoomLevel() == zlZoom;
    state.ZoomSize = FSettings.ZoomSize();
    state.CellSize = QSize(MapGrid->DefaultColWidth(), MapGrid->DefaultRowHeight());
    state.CellBrush[0] = MapGrid->palette().brush(QPalette::Base);
    state.CellBrush[1] = MapGrid->palette().brush(QPalette::Highlight);
    state.Selection = MapGrid->Selection();
    state.Preview = FTool->Preview();
    if (state.Preview == TDragPreview::Terrain) {
        const TMapGridTool* tool = FTool;
        state.PreviewPart = [tool](int col, int row) { return tool->PreviewPart(col, row); };
    }
    if (LupeEdited()) {
        state.EditedPart = FPartEditor->PartNumber();
        state.EditedPicture = FPartEditor->EditedPicture();
    }
    FCellPainter->Begin(canvas, state);
}

// ---------------------------------------------------------------------------------------
// Editing commands

void TMainForm::Cancel1Click()
{
    if (LupeEdited())
        StoreLupePart();
    FDoc.Undo();
}

void TMainForm::Redo1Click()
{
    if (LupeEdited())
        StoreLupePart();
    else
        FDoc.Redo();
}

void TMainForm::G2Click()
{
    StatusPanel0->setText(QStringLiteral("グループパーツ取得"));
    const TGridRect sel = MapGrid->Selection();
    FDoc.CaptureGroup(sel);
}

void TMainForm::F1Click()
{
    if (AskConfirm(this, QStringLiteral("グループパーツで全マップを埋めますか？"),
                   TConfirmButtons::YesCancel) != TAnswer::Yes)
        return;
    const TCellRect whole{0, 0, FDoc.MapWidth() - 1, FDoc.MapHeight() - 1};
    if (FSettings.RandomPlacement())
        FDoc.ScatterGroup(whole);
    else
        FDoc.StampGroup(whole);
}

void TMainForm::TerrainFill1Click()
{
    QString why;
    if (!FillWithTerrain(FDoc, FModels.Terrain, MapGrid->Selection(), FSettings.RandomPlacement(),
                         why))
        StatusPanel0->setText(why);
}

void TMainForm::A2Click()
{
    SetRegionMode();
    MapGrid->SetSelection({0, 0, MapGrid->ColCount() - 1, MapGrid->RowCount() - 1});
}

void TMainForm::Replace1Click()
{
    TGridRect area{0, 0, FDoc.MapWidth() - 1, FDoc.MapHeight() - 1};
    if (FSettings.MapTool() == mtRegion)
        area = MapGrid->Selection();
    const std::optional<TReplaceChoice> choice = FLinks.RunReplaceDialog();
    if (!choice)
        return;
    FDoc.ReplaceParts(area, choice->Before, choice->After);
}

void TMainForm::PointMemoryClick(int k)
{
    // Recording toggles: a second recording turns the point off again.
    QAction* record = PointMemoryMenu->actions()[k];
    record->setChecked(!record->isChecked());
    FView->RememberPoint(k);
    QAction* restore = PointRestoreMenu->actions()[k];
    restore->setChecked(!restore->isChecked());
}

void TMainForm::PointRestoreClick(int k)
{
    if (!PointRestoreMenu->actions()[k]->isChecked())
        return;
    const QPoint p = FView->ShowPoint(k);
    StatusPanel0->setText(QStringLiteral("ジャンプ先: (%1,%2)").arg(p.x()).arg(p.y()));
}
