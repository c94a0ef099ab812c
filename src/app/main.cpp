#include "main.h"

#include "CopyMode.h"
#include "Dialogs.h"
#include "DrawGrid.h"
#include "IniGT.h"
#include "LupeUnit.h"
#include "MainFormLinks.h"
#include "MapCellPainter.h"
#include "MapPicture.h"
#include "PartsStore.h"
#include "TmxFile.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProgressDialog>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <future>
#include <vector>

namespace {

// The widest texts the left status panel shows, on the largest map: the cell under the
// pointer with its part, a dragged rectangle, the scroll position, a jump target.
int statusPanelWidth(const QLabel& panel)
{
    const QFontMetrics metrics = panel.fontMetrics();
    QChar widest = u'0';
    for (char16_t digit = u'0'; digit <= u'9'; ++digit) {
        if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widest))
            widest = QChar(digit);
    }
    const QString n(4, widest);
    const QString cell = QStringLiteral("(%1,%1)").arg(n);
    const QStringList texts = {
        cell + QStringLiteral("・パーツ番号:") + QString(3, widest),
        cell + QStringLiteral("-") + cell,
        QStringLiteral("左上の座標:") + cell,
        QStringLiteral("ジャンプ先: ") + cell,
    };
    int width = 0;
    for (const QString& text : texts)
        width = std::max(width, metrics.horizontalAdvance(text));
    // The label's own margins and frame, and a little air.
    return width + 2 * (panel.frameWidth() + panel.margin()) + metrics.averageCharWidth();
}

const QString MainSection = QStringLiteral("MainWindow");
const QString Untitled = QStringLiteral("無題");

QAction* addItem(QMenu* menu, const QString& name, const QString& caption,
                 const QKeySequence& shortcut = QKeySequence())
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

// The handlers set their items' check marks themselves: the toggle Qt makes when a
// checkable item is clicked is taken back before the handler runs.
void onTriggered(QAction* action, QObject* context, const std::function<void()>& handler)
{
    QObject::connect(action, &QAction::triggered, context, [action, handler](bool checked) {
        if (action->isCheckable())
            action->setChecked(!checked);
        handler();
    });
}

TStrokeStyle strokeStyleOf(const TSettings& settings)
{
    return {settings.PixelTool(), settings.PenWidth(), settings.DrawingColor()};
}

} // namespace

TMainForm::TMainForm(const TProgramModels& models, TMainFormLinks& links, QWidget* parent)
    : QMainWindow(parent), FModels(models), FLinks(links), FSettings(models.Settings),
      FDoc(models.Document), FParts(models.Parts),
      FCellPainter(std::make_unique<TMapCellPainter>()), FPixelTools(FStrokeStyle)
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
    // Ctrl+wheel zooms instead of scrolling.
    MapGrid->viewport()->installEventFilter(this);

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
    FPixelTools.SetBuffer(&Lupe->Bitmap());

    StatusPanel0 = new QLabel(this);
    StatusPanel0->setFixedWidth(statusPanelWidth(*StatusPanel0));
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
    SetMapDialogExtension(FSettings.ExtName());
    FOpenFilters = NameFiltersFromPairs(QStringLiteral("マップファイル|*.mpd|全てのファイル|*.*"));

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
    // The magnifier and the overlay are still the window's: the tools ask for them.
    FToolContext = std::make_unique<TMapToolContext>(TMapToolContext{
        .Grid = *MapGrid,
        .Document = FDoc,
        .Settings = FSettings,
        .ShowMagnifier =
            [this] {
                Lupe->hide();
                showMagnifier();
            },
        .HideMagnifier =
            [this] {
                Lupe->hide();
                dropLupeEdits();
            },
        .CommitMagnifier = [this] { commitMagnifier(); },
        .OverlayOnCell = [this](bool selectedOverCell) { overlayOnCell(selectedOverCell); },
    });
    for (TMapTool kind : {mtPaint, mtRegion, mtScroll, mtLupe}) {
        FTools[kind] = TMapGridTool::Make(kind, *FToolContext);
        connect(FTools[kind].get(), &TMapGridTool::statusChanged, StatusPanel0, &QLabel::setText);
        connect(FTools[kind].get(), &TMapGridTool::partPicked, this,
                [this](uint8_t part) { FLinks.SelectPart(part); });
    }
    FTool = FTools[FSettings.MapTool()].get();
}

void TMainForm::connectModels()
{
    connect(&FSettings, &TSettings::zoomLevelChanged, this, [this] { ApplyZoom(); });
    // The grid's cell size follows the settings only through ApplyZoom; the zoom view's
    // cells are drawn at the zoom size as it is, also while the settings dialog edits it.
    connect(&FSettings, &TSettings::zoomSizeChanged, this, [this] {
        if (FSettings.ZoomLevel() == zlZoom)
            RepaintMap();
    });
    connect(&FSettings, &TSettings::mapToolChanged, this, &TMainForm::enterMapTool);
    connect(&FSettings, &TSettings::randomPlacementChanged, A1, &QAction::setChecked);
    connect(&FSettings, &TSettings::extNameChanged, this, &TMainForm::SetMapDialogExtension);
    connect(&FSettings, &TSettings::recentMapsChanged, this, &TMainForm::fillRecentMaps);
    fillRecentMaps();
    connect(&FParts, &TPartsStore::partChanged, this, &TMainForm::RedrawPart);
    connect(&FParts, &TPartsStore::allPartsChanged, this, &TMainForm::RepaintMap);
    connect(&FDoc, &TMapDocument::cellsChanged, this,
            [this](const TCellRect& rect) { MapGrid->InvalidateRect(rect); });
    connect(&FDoc, &TMapDocument::mapReplaced, this, &TMainForm::showNewMap);
    // The lattice follows the group part.
    connect(&FDoc, &TMapDocument::groupPartChanged, this, &TMainForm::RepaintMap);
    connect(&FDoc, &TMapDocument::undoAvailableChanged, Cancel1, &QAction::setEnabled);
    connect(&FDoc, &TMapDocument::redoAvailableChanged, Redo1, &QAction::setEnabled);
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
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    N1 = addItem(file, QStringLiteral("N1"), QStringLiteral("マップデータの新規作成(&N)..."),
                 QKeySequence(Qt::CTRL | Qt::Key_N));
    R1 = addItem(file, QStringLiteral("R1"), QStringLiteral("マップデータの読みこみ(&L)..."),
                 QKeySequence(Qt::CTRL | Qt::Key_O));
    RecentMapsMenu = file->addMenu(QStringLiteral("最近使ったマップ(&M)"));
    RecentMapsMenu->setObjectName(QStringLiteral("RecentMapsMenu"));
    N2 = addItem(file, QStringLiteral("N2"), QStringLiteral("マップデータを上書き保存(&S)"),
                 QKeySequence(Qt::CTRL | Qt::Key_S));
    N3 = addItem(file, QStringLiteral("N3"),
                 QStringLiteral("マップデータを名前を付けて保存(&R)..."));
    file->addSeparator();
    P1 = addItem(file, QStringLiteral("P1"), QStringLiteral("マップ全景を画像ファイルに保存(&P)"));
    TmxExport1 =
        addItem(file, QStringLiteral("TmxExport1"), QStringLiteral("TMX形式で書き出す(&T)..."));
    TmxImport1 =
        addItem(file, QStringLiteral("TmxImport1"), QStringLiteral("TMX形式を読み込む(&I)..."));
    file->addSeparator();
    Exit1 = addItem(file, QStringLiteral("Exit1"), QStringLiteral("終了(&X)"));

    QMenu* tool = menuBar()->addMenu(QStringLiteral("ツール(&T)"));
    N17 = addItem(tool, QStringLiteral("N17"), QStringLiteral("パーツ描画(&P)"), Qt::Key_F1);
    N18 = addItem(tool, QStringLiteral("N18"), QStringLiteral("特殊編集領域指定(&R)"), Qt::Key_F2);
    N19 = addItem(tool, QStringLiteral("N19"), QStringLiteral("スクロール(&S)"), Qt::Key_F3);
    D1 = addItem(tool, QStringLiteral("D1"), QStringLiteral("パーツグラフィック編集(&D)"),
                 Qt::Key_F4);
    FToolGroup = new QActionGroup(this);
    for (QAction* a : {N17, N18, N19, D1}) {
        a->setCheckable(true);
        FToolGroup->addAction(a);
    }

    QMenu* edit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    Cancel1 = addItem(edit, QStringLiteral("Cancel1"), QStringLiteral("取り消し(&U)"),
                      QKeySequence(Qt::CTRL | Qt::Key_Z));
    Cancel1->setEnabled(false);
    Redo1 = addItem(edit, QStringLiteral("Redo1"), QStringLiteral("やり直し(&Y)"),
                    QKeySequence(Qt::CTRL | Qt::Key_Y));
    Redo1->setEnabled(false);
    Replace1 = addItem(edit, QStringLiteral("Replace1"), QStringLiteral("置換(&R)..."));
    G2 = addItem(edit, QStringLiteral("G2"), QStringLiteral("グループパーツとして取得(&G)"),
                 QKeySequence(Qt::CTRL | Qt::Key_C));
    G2->setEnabled(false);
    A1 = addItem(edit, QStringLiteral("A1"), QStringLiteral("ランダムに配置(A)"),
                 QKeySequence(Qt::CTRL | Qt::Key_R));
    A1->setCheckable(true);
    A1->setChecked(FSettings.RandomPlacement());
    edit->addSeparator();
    A2 = addItem(edit, QStringLiteral("A2"), QStringLiteral("全て選択(&A)"),
                 QKeySequence(Qt::CTRL | Qt::Key_A));
    F1 =
        addItem(edit, QStringLiteral("F1"), QStringLiteral("グループパーツで全マップを埋める(&F)"));

    // Zoom keys, without menu items of their own: the tool box shows the zoom levels.
    ZoomIn1 = new QAction(QStringLiteral("拡大"), this);
    ZoomIn1->setObjectName(QStringLiteral("ZoomIn1"));
    ZoomIn1->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus),
                           QKeySequence(Qt::CTRL | Qt::Key_Equal),
                           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Semicolon)});
    ZoomOut1 = new QAction(QStringLiteral("縮小"), this);
    ZoomOut1->setObjectName(QStringLiteral("ZoomOut1"));
    ZoomOut1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    addAction(ZoomIn1);
    addAction(ZoomOut1);
    connect(ZoomIn1, &QAction::triggered, this, &TMainForm::ZoomIn1Click);
    connect(ZoomOut1, &QAction::triggered, this, &TMainForm::ZoomOut1Click);

    QMenu* view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    N12 = addItem(view, QStringLiteral("N12"), QStringLiteral("パーツウィンドウ(&P)"),
                  QKeySequence(Qt::CTRL | Qt::Key_F1));
    N13 = addItem(view, QStringLiteral("N13"), QStringLiteral("ツールボックス(&T)"),
                  QKeySequence(Qt::CTRL | Qt::Key_F2));
    view->addSeparator();
    G1 = addItem(view, QStringLiteral("G1"), QStringLiteral("グリッドの表示(&G)"),
                 QKeySequence(Qt::CTRL | Qt::Key_G));
    for (QAction* a : {N12, N13, G1}) {
        a->setCheckable(true);
        a->setChecked(true);
    }

    QMenu* jump = menuBar()->addMenu(QStringLiteral("ジャンプ(&J)"));
    PointMemoryMenu = jump->addMenu(QStringLiteral("ポイントの記録(&M)"));
    PointRestoreMenu = jump->addMenu(QStringLiteral("ポイントへ移動(&R)"));
    const char* memoryNames[] = {"N01", "N11", "N21", "N31", "N41"};
    const char* restoreNames[] = {"N02", "N110", "N22", "N32", "N42"};
    const Qt::Key fkeys[] = {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5};
    for (int k = 0; k < 5; ++k) {
        const QString caption = QStringLiteral("ポイント &%1").arg(k + 1);
        QAction* memory = addItem(PointMemoryMenu, QString::fromLatin1(memoryNames[k]), caption,
                                  QKeySequence(Qt::CTRL | Qt::SHIFT | fkeys[k]));
        QAction* restore = addItem(PointRestoreMenu, QString::fromLatin1(restoreNames[k]), caption,
                                   QKeySequence(Qt::SHIFT | fkeys[k]));
        memory->setCheckable(true);
        restore->setCheckable(true);
        onTriggered(memory, this, [this, k] { PointMemoryClick(k); });
        onTriggered(restore, this, [this, k] { PointRestoreClick(k); });
    }

    QMenu* options = menuBar()->addMenu(QStringLiteral("オプション(&O)"));
    N14 = addItem(options, QStringLiteral("N14"), QStringLiteral("環境設定(&E)..."));

    QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    Contents1 = addItem(help, QStringLiteral("Contents1"), QStringLiteral("目次(&C)"));
    N7 = addItem(help, QStringLiteral("N7"), QStringLiteral("キーワード検索(&N)"));
    Contents1->setEnabled(false);
    N7->setEnabled(false);
    help->addSeparator();
    About1 = addItem(help, QStringLiteral("About1"), QStringLiteral("バージョン情報(&A)..."));

    connect(N1, &QAction::triggered, this, [this] { N1Click(); });
    connect(R1, &QAction::triggered, this, [this] { R1Click(); });
    connect(N2, &QAction::triggered, this, [this] { N2Click(); });
    connect(N3, &QAction::triggered, this, [this] { N3Click(); });
    connect(P1, &QAction::triggered, this, [this] { P1Click(); });
    connect(TmxExport1, &QAction::triggered, this, [this] { TmxExport1Click(); });
    connect(TmxImport1, &QAction::triggered, this, [this] { TmxImport1Click(); });
    connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
    onTriggered(N17, this, [this] { N17Click(); });
    onTriggered(N18, this, [this] { N18Click(); });
    onTriggered(N19, this, [this] { N19Click(); });
    onTriggered(D1, this, [this] { D1Click(); });
    connect(Cancel1, &QAction::triggered, this, [this] { Cancel1Click(); });
    connect(Redo1, &QAction::triggered, this, [this] { Redo1Click(); });
    onTriggered(N12, this, [this] { N12Click(); });
    onTriggered(N13, this, [this] { N13Click(); });
    onTriggered(G1, this, [this] { G1Click(); });
    connect(N14, &QAction::triggered, this, [this] { N14Click(); });
    connect(About1, &QAction::triggered, this, [this] { ShowTitle(); });
    connect(Replace1, &QAction::triggered, this, [this] { Replace1Click(); });
    connect(G2, &QAction::triggered, this, [this] { G2Click(); });
    connect(A2, &QAction::triggered, this, [this] { A2Click(); });
    connect(F1, &QAction::triggered, this, [this] { F1Click(); });
    onTriggered(A1, this, [this] { A1Click(); });
}

// ---------------------------------------------------------------------------------------
// Document and caption

void TMainForm::NewMap(int width, int height)
{
    FDoc.NewMap(width, height);
    becomeUntitled();
}

void TMainForm::becomeUntitled()
{
    FMapFileName.clear();
    FImportedFrom.clear();
    SetMapCaption(Untitled);
}

void TMainForm::showNewMap()
{
    MapGrid->SetColCount(FDoc.MapWidth());
    MapGrid->SetRowCount(FDoc.MapHeight());
    MapGrid->SetCol(0);
    MapGrid->SetRow(0);
    MapGrid->InvalidateGrid();
}

void TMainForm::SetMapCaption(const QString& name)
{
    setWindowTitle(QStringLiteral("Quiltmapper - [") + name + QStringLiteral("]"));
}

// ---------------------------------------------------------------------------------------
// Map files

TMapFileType TMainForm::saveType() const
{
    return FSettings.SaveFormatType() == 1 ? TMapFileType::Type1 : TMapFileType::Type2;
}

TMapFileType TMainForm::loadType() const
{
    return FSettings.LoadFormatType() == 1 ? TMapFileType::Type1 : TMapFileType::Type2;
}

bool TMainForm::SaveMapFile(const QString& fileName)
{
    QString why;
    if (!::SaveMapFile(fileName, FDoc, saveType(), FParts.PartWidth(), FParts.PartHeight(), &why,
                       {FLinks.PartsPictureInUse()})) {
        // Nothing was written over the old file; the map stays modified.
        ShowError(this, QStringLiteral("マップデータを保存できません\n%1\n%2").arg(fileName, why));
        return false;
    }
    SetMapCaption(fileName);
    FSettings.RememberRecentMap(fileName);
    FLinks.MapFileSaved(fileName);
    return true;
}

std::optional<QString> TMainForm::runMapSaveDialog()
{
    TFileDialogRequest SaveDialog;
    SaveDialog.DialogMode = TFileDialogRequest::Save;
    SaveDialog.Title = QStringLiteral("マップデータの保存");
    SaveDialog.NameFilters = FMapFilters;
    SaveDialog.DefaultSuffix = FMapExtension;
    SaveDialog.FileName = FMapFileName;
    SaveDialog.Directory = FSettings.MapFolder();
    std::optional<QString> name = RunFileDialog(this, SaveDialog);
    // The dialog keeps the chosen name: later saves go to it.
    if (name) {
        FMapFileName = *name;
        FSettings.SetMapFolder(QFileInfo(*name).absolutePath());
    }
    return name;
}

bool TMainForm::SaveMapOverwrite()
{
    if (FMapFileName.isEmpty() && !runMapSaveDialog())
        return false;
    return SaveMapFile(FMapFileName);
}

void TMainForm::N2Click()
{
    SaveMapOverwrite();
}

void TMainForm::N3Click()
{
    if (runMapSaveDialog())
        SaveMapFile(FMapFileName);
}

bool TMainForm::LoadMapFile(const QString& fileName)
{
    // The parts take the map's part size before the map is replaced; parts that cannot be
    // made (too large for memory) fail the load with nothing changed.
    const auto applyPartSize = [this](uint16_t width, uint16_t height) {
        try {
            FParts.SetPartsSize(width, height);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    };
    // A load that fails leaves the document as it was; one that succeeds announces its map.
    const TMapLoadResult result = ::LoadMapFile(fileName, loadType(), FDoc, applyPartSize);
    if (!result.Ok()) {
        Beep(TBeep::Exclamation);
        ShowError(this, result.Message());
        return false;
    }
    SetMapCaption(fileName);
    FMapFileName = fileName;
    FSettings.RememberRecentMap(fileName);
    FLinks.MapFileLoaded(fileName);
    return true;
}

void TMainForm::R1Click()
{
    TFileDialogRequest OpenDialog;
    OpenDialog.DialogMode = TFileDialogRequest::Open;
    OpenDialog.Title = QStringLiteral("マップデータの読み込み");
    OpenDialog.NameFilters = FOpenFilters;
    OpenDialog.DefaultSuffix = FMapExtension;
    OpenDialog.Directory = FSettings.MapFolder();
    const std::optional<QString> name = RunFileDialog(this, OpenDialog);
    if (!name)
        return;
    FSettings.SetMapFolder(QFileInfo(*name).absolutePath());
    // A load replaces the map and the parts: their changes are offered for saving first.
    if (!queryUnsavedChanges())
        return;
    LoadMapFile(*name);
}

void TMainForm::fillRecentMaps()
{
    RecentMapsMenu->clear();
    const QStringList& maps = FSettings.RecentMaps();
    for (int i = 0; i < maps.size(); ++i) {
        const QString map = maps[i];
        // "&1" to "&9", then "1&0".
        const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&0");
        QAction* item =
            RecentMapsMenu->addAction(number + QLatin1Char(' ') + QDir::toNativeSeparators(map));
        connect(item, &QAction::triggered, this, [this, map] { OpenRecentMap(map); });
    }
    RecentMapsMenu->setEnabled(!maps.isEmpty());
}

void TMainForm::OpenRecentMap(const QString& fileName)
{
    // As a map chosen in the open dialog: the changes are offered for saving first.
    if (!queryUnsavedChanges())
        return;
    LoadMapFile(fileName);
}

void TMainForm::SetMapDialogExtension(const QString& extension)
{
    FMapExtension = extension;
    FMapFilters = NameFiltersFromPairs(
        QStringLiteral("マップファイル(*.%1)|*.%1|全てのファイル|*.*").arg(extension));
    FOpenFilters = FMapFilters;
}

namespace {

// Writes the map picture on a second thread while a progress dialog with a Cancel button
// shows the rows done. The dialog is application-modal, so the map and the parts cannot
// change under the writer: edits wait until it is done.
TFileWriteResult writeMapPictureWithProgress(QWidget* parent, const QString& fileName,
                                             const TMapDocument& doc,
                                             const std::array<QImage, 256>& parts,
                                             const TMapPictureOptions& options)
{
    QProgressDialog progress(QStringLiteral("マップ全景を保存しています"),
                             QStringLiteral("キャンセル"), 0, 1000, parent);
    progress.setObjectName(QStringLiteral("MapPictureProgress"));
    progress.setWindowTitle(QStringLiteral("マップ全景を画像ファイルに保存"));
    FitTitle(&progress);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{0};
    std::atomic<bool> cancelled{false};
    QObject::connect(&progress, &QProgressDialog::canceled, &progress,
                     [&cancelled] { cancelled = true; });
    std::future<TFileWriteResult> writing = std::async(std::launch::async, [&] {
        return WriteMapPicture(fileName, doc.MapCells(), doc.MapWidth(), doc.MapHeight(), parts,
                               options, [&](qint64 rows, qint64 all) {
                                   done = rows;
                                   total = all;
                                   return !cancelled;
                               });
    });
    QEventLoop loop;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        if (progress.wasCanceled())
            cancelled = true;
        const qint64 all = total;
        if (all > 0 && !cancelled) {
            progress.setValue(int(done * 1000 / all));
            progress.setLabelText(
                QStringLiteral("マップ全景を保存しています: %1 / %2 行").arg(done).arg(all));
        }
        if (writing.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
            loop.quit();
    });
    progress.show();
    timer.start(20);
    loop.exec();
    return writing.get();
}

// Why a picture cannot be written, for the user.
QString refusalText(const TMapPicturePlan& plan)
{
    switch (plan.Why) {
    case TMapPictureRefusal::TooManyTiles:
        return QStringLiteral("分割した画像が多すぎます。１枚を大きくして下さい");
    case TMapPictureRefusal::BmpTooLarge:
        return QStringLiteral("BMP ファイルは 4 GB までです。PNG にするか、セルを小さくするか、"
                              "分割して下さい");
    case TMapPictureRefusal::PngTooLarge:
        return QStringLiteral("PNG の幅と高さは 2147483647 ピクセルまでです。セルを小さくするか、"
                              "分割して下さい");
    case TMapPictureRefusal::NoRoom:
        return QStringLiteral("%1 バイト必要ですが、空きは %2 バイトです")
            .arg(plan.Bytes)
            .arg(plan.FreeBytes);
    default:
        return plan.Refusal;
    }
}

} // namespace

void TMainForm::P1Click()
{
    TFileDialogRequest SaveFullMapPicDialog;
    SaveFullMapPicDialog.DialogMode = TFileDialogRequest::Save;
    SaveFullMapPicDialog.Title = QStringLiteral("マップ全景を画像ファイルに保存");
    SaveFullMapPicDialog.NameFilters = NameFiltersFromPairs(
        QStringLiteral("BMP (*.bmp)|*.bmp|PNG (*.png)|*.png|全てのファイル(*.*)|*.*"));
    SaveFullMapPicDialog.DefaultSuffix = QStringLiteral("bmp");
    const std::optional<QString> fileName = RunFileDialog(this, SaveFullMapPicDialog);
    if (!fileName)
        return;
    const QString suffix = QFileInfo(*fileName).suffix().toLower();
    if (suffix != u"bmp" && suffix != u"png") {
        ShowError(this, QStringLiteral("マップ全景は BMP (.bmp) か PNG (.png) で保存します"));
        return;
    }
    TPartsStore& store = FModels.Parts;
    TMapPictureRequest ask;
    ask.FileName = *fileName;
    ask.Png = suffix == u"png";
    ask.MapWidth = FDoc.MapWidth();
    ask.MapHeight = FDoc.MapHeight();
    ask.PartSize = QSize(store.PartWidth(), store.PartHeight());
    ask.ViewCellSize = FSettings.CellSize();
    ask.Choice = FSettings.MapPictureChoice();
    const std::optional<TMapPictureChoice> choice = FLinks.RunMapPictureDialog(ask);
    if (!choice)
        return;
    FSettings.SetMapPictureChoice(*choice);

    TMapPictureOptions options;
    options.Format = ask.Png ? TMapPictureFormat::Png : TMapPictureFormat::Bmp;
    options.Cell = MapPictureCellSize(ask, *choice);
    options.PngLevel = choice->PngLevel;
    if (choice->Split)
        options.Tile = QSize(choice->TileWidth, choice->TileHeight);
    // Here the question below, with the picture's size, stands in for the command line's
    // explicit permission.
    options.AllowHuge = true;
    const TMapPicturePlan plan =
        PlanMapPictureFile(*fileName, ask.MapWidth, ask.MapHeight, options);
    const QString size = QStringLiteral("%1 x %2 ピクセル").arg(plan.Width).arg(plan.Height);
    if (!plan.Ok()) {
        ShowError(this,
                  QStringLiteral("%1 の画像は保存できません。%2").arg(size, refusalText(plan)));
        return;
    }
    // Billions of pixels take hours and gigabytes: nothing starts unless the user says so.
    constexpr qint64 LargePicturePixels = 4'000'000'000;
    if (plan.Width * plan.Height > LargePicturePixels &&
        AskConfirm(this,
                   QStringLiteral("%1 (約 %2 億ピクセル) の画像になります。保存には長い時間と"
                                  "大きな空き容量が必要です。保存しますか？")
                       .arg(size)
                       .arg(plan.Width * plan.Height / 100'000'000),
                   TConfirmButtons::YesNo) != TAnswer::Yes)
        return;
    std::array<QImage, 256> parts;
    for (int n = 0; n < 256; ++n)
        parts[size_t(n)] = store.PartBitmap(n);
    options.Inputs = {FMapFileName, FLinks.PartsPictureInUse()};
    const TFileWriteResult written =
        writeMapPictureWithProgress(this, *fileName, FDoc, parts, options);
    if (written.Error == MapPictureCancelled())
        ShowWarning(this, QStringLiteral("保存を取り消しました。画像ファイルは残っていません"));
    else if (!written)
        ShowError(this, QStringLiteral("%1 の画像を保存できませんでした。画像ファイルは残って"
                                       "いません\n%2\n%3")
                            .arg(size, written.FileName, written.Error));
}

void TMainForm::N1Click()
{
    const std::optional<TNewMapChoice> choice = FLinks.RunNewMapDialog();
    if (!choice)
        return;
    if (FDoc.MapModified()) {
        switch (AskConfirm(this, QStringLiteral("変更データを上書き保存しますか？"),
                           TConfirmButtons::YesNoCancel)) {
        case TAnswer::Yes:
            if (!SaveMapOverwrite())
                return;
            break;
        case TAnswer::No:
            break;
        default:
            return;
        }
    }
    // The new part size resets the parts: their changes are offered too.
    if (!queryUnsavedParts())
        return;
    // The new map's memory is taken first: if it cannot be had, the parts stay as they are.
    TMapDocument::TMapStores stores =
        TMapDocument::AllocateStores(choice->MapWidth, choice->MapHeight);
    FParts.SetPartsSize(choice->PartWidth, choice->PartHeight);
    FDoc.NewMap(std::move(stores));
    becomeUntitled();
}

void TMainForm::DropFiles(const QStringList& fileNames)
{
    if (fileNames.isEmpty())
        return;
    if (!queryUnsavedChanges())
        return;
    LoadMapFile(fileNames.first());
    Beep(TBeep::Default);
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
    DropFiles(names);
}

// ---------------------------------------------------------------------------------------
// Closing

bool TMainForm::queryUnsavedChanges()
{
    bool canClose = true;
    if (FDoc.MapModified()) {
        switch (AskConfirm(this, QStringLiteral("マップデータを上書き保存しますか？"),
                           TConfirmButtons::YesNoCancel)) {
        case TAnswer::Yes:
            canClose = SaveMapOverwrite();
            break;
        case TAnswer::No:
            break;
        default:
            canClose = false;
            break;
        }
    }
    // The parts question comes whatever the map question decided.
    return queryUnsavedParts() && canClose;
}

bool TMainForm::queryUnsavedParts()
{
    if (!FParts.IsPartsModified())
        return true;
    switch (AskConfirm(this, QStringLiteral("パーツデータを上書き保存しますか？"),
                       TConfirmButtons::YesNoCancel)) {
    case TAnswer::Yes:
        try {
            return FLinks.SavePartsPicture();
        } catch (const std::exception& e) {
            ShowError(this, QString::fromUtf8(e.what()));
            return false;
        }
    case TAnswer::No:
        return true;
    default:
        return false;
    }
}

bool TMainForm::FormCloseQuery()
{
    return queryUnsavedChanges();
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

void TMainForm::Exit1Click()
{
    close();
}

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

void TMainForm::PartsWindowClosed()
{
    N12->setChecked(false);
}

void TMainForm::ToolBoxClosed()
{
    N13->setChecked(false);
}

void TMainForm::N14Click()
{
    // OK applies the settings, and with them the zoom, whatever changed: the view is
    // re-centred, and outside the zoom level the map goes back to scroll mode.
    FLinks.RunSettingsDialog();
}

void TMainForm::ShowTitle()
{
    FLinks.ShowAbout();
}

// ---------------------------------------------------------------------------------------
// The view

void TMainForm::ApplyZoom()
{
    MapGrid->setUpdatesEnabled(false);
    const bool zoom = FSettings.ZoomLevel() == zlZoom;
    applyCellSize();
    D1->setEnabled(zoom);
    if (!zoom)
        SetScrollMode();
    // Centre the view on the current cell.
    MapGrid->SetLeftCol(std::max(0, MapGrid->Col() - MapGrid->VisibleColCount() / 2));
    MapGrid->SetTopRow(std::max(0, MapGrid->Row() - MapGrid->VisibleRowCount() / 2));
    MapGrid->setUpdatesEnabled(true);
    MapGrid->InvalidateGrid();
}

void TMainForm::StepZoom(int step, const QPoint& anchor)
{
    const int level = std::clamp(int(FSettings.ZoomLevel()) + step, int(zlWide), int(zlZoom));
    if (level == int(FSettings.ZoomLevel()))
        return;
    // The cell under the anchor, also past the map's last cell, stays under it.
    const auto cellAt = [](int pos, int first, int pitch, int count) {
        return std::clamp(first + pos / std::max(1, pitch), 0, count - 1);
    };
    const int oldPitchX = MapGrid->DefaultColWidth() + MapGrid->GridLineWidth();
    const int oldPitchY = MapGrid->DefaultRowHeight() + MapGrid->GridLineWidth();
    const int col = cellAt(anchor.x(), MapGrid->LeftCol(), oldPitchX, MapGrid->ColCount());
    const int row = cellAt(anchor.y(), MapGrid->TopRow(), oldPitchY, MapGrid->RowCount());
    FSettings.SetZoomLevel(TZoomLevel(level)); // ApplyZoom follows through the change signal
    const int pitchX = MapGrid->DefaultColWidth() + MapGrid->GridLineWidth();
    const int pitchY = MapGrid->DefaultRowHeight() + MapGrid->GridLineWidth();
    MapGrid->SetLeftCol(col - anchor.x() / std::max(1, pitchX));
    MapGrid->SetTopRow(row - anchor.y() / std::max(1, pitchY));
}

void TMainForm::ZoomIn1Click()
{
    StepZoom(1, MapGrid->viewport()->rect().center());
}

void TMainForm::ZoomOut1Click()
{
    StepZoom(-1, MapGrid->viewport()->rect().center());
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == MapGrid->viewport() && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            // One level per notch, whichever way; what is left of a notch is dropped.
            const int delta = wheel->angleDelta().y();
            if (delta != 0)
                StepZoom(delta > 0 ? 1 : -1, wheel->position().toPoint());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::applyCellSize()
{
    MapGrid->SetDefaultColWidth(FSettings.CellSize());
    MapGrid->SetDefaultRowHeight(FSettings.CellSize());
}

void TMainForm::SelectMapTool(TMapTool tool)
{
    if (FSettings.MapTool() == tool)
        enterMapTool(tool);
    else
        FSettings.SetMapTool(tool); // enters it through the change signal
}

void TMainForm::SetPaintMode()
{
    SelectMapTool(mtPaint);
}

void TMainForm::SetRegionMode()
{
    SelectMapTool(mtRegion);
}

void TMainForm::SetScrollMode()
{
    SelectMapTool(mtScroll);
}

void TMainForm::SetLupeMode()
{
    SelectMapTool(mtLupe);
}

void TMainForm::N17Click()
{
    SetPaintMode();
}

void TMainForm::N18Click()
{
    SetRegionMode();
}

void TMainForm::N19Click()
{
    SetScrollMode();
}

void TMainForm::D1Click()
{
    SetLupeMode();
}

void TMainForm::enterMapTool(TMapTool tool)
{
    TMapGridTool* next = FTools[tool].get();
    if (next != FTool)
        FTool->Deactivate();
    FTool = next;
    FTool->Activate();
    QAction* items[] = {N17, N18, N19, D1};
    items[tool]->setChecked(true);
    G2->setEnabled(tool == mtRegion);
}

void TMainForm::showMagnifier()
{
    // The magnifier lies exactly over the current cell, as large as the cell, and holds a
    // copy of the cell's part, enlarged as far as the cell allows (a factor below 2 is
    // refused: the magnifier keeps its previous one and scrolls).
    const QRect cell = MapGrid->CellRect(MapGrid->Col(), MapGrid->Row());
    if (cell.isEmpty())
        return;
    dropLupeEdits();
    LupePartNumber = FDoc.Cell(MapGrid->Col(), MapGrid->Row());
    Lupe->setGeometry(
        QRect(cell.topLeft(), QSize(MapGrid->DefaultColWidth(), MapGrid->DefaultRowHeight())));
    Lupe->SetPower(MapGrid->DefaultColWidth() / FParts.PartWidth());
    Lupe->SetBitmap(FParts.PartBitmap(LupePartNumber));
    FPixelTools.SetBuffer(&Lupe->Bitmap());
    Lupe->show();
}

void TMainForm::commitMagnifier()
{
    StoreLupePart();
    showMagnifier();
}

void TMainForm::StoreLupePart()
{
    if (Lupe->Bitmap().isNull())
        return;
    const int part = LupePartNumber;
    FLupeEdited = false; // the cells now show the stored part
    FParts.EditParts({part}, [&] {
        FParts.CapturePart(part, Lupe->Bitmap(), 0, 0);
        return true;
    });
}

void TMainForm::LupeSourceMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                    const QPoint& pos)
{
    FStrokeStyle = strokeStyleOf(FSettings);
    pixelToolsDid(FPixelTools.Press(pos, button, shift));
}

void TMainForm::LupeSourceMouseMove(Qt::KeyboardModifiers, const QPoint& pos)
{
    FStrokeStyle = strokeStyleOf(FSettings);
    pixelToolsDid(FPixelTools.Move(pos));
}

void TMainForm::LupeSourceMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint& pos)
{
    FStrokeStyle = strokeStyleOf(FSettings);
    pixelToolsDid(FPixelTools.Release(pos));
}

void TMainForm::LupeDblClick()
{
    StoreLupePart();
}

void TMainForm::TransformLupe(TLupeTransform transform)
{
    QRect changed;
    switch (transform) {
    case ltFlipHorizontal:
        changed = FPixelTools.FlipHorizontal();
        break;
    case ltFlipVertical:
        changed = FPixelTools.FlipVertical();
        break;
    case ltRotateLeft:
        changed = FPixelTools.RotateLeft();
        break;
    case ltRotateRight:
        changed = FPixelTools.RotateRight();
        break;
    }
    pixelToolsDid({changed, std::nullopt, std::nullopt});
}

void TMainForm::pixelToolsDid(const TPixelToolResult& result)
{
    if (!result.Changed.isEmpty()) {
        Lupe->InvalidateSourceRect(result.Changed);
        lupeEdited();
    }
    if (result.PanelColor)
        emit lupeColorShown(*result.PanelColor);
    if (result.PickedColor)
        FSettings.SetDrawingColor(*result.PickedColor);
}

void TMainForm::lupeEdited()
{
    // The other cells that show the part show it as it is being drawn.
    FLupeEdited = true;
    RedrawPart(LupePartNumber);
}

void TMainForm::dropLupeEdits()
{
    FPixelTools.Cancel();
    if (!FLupeEdited)
        return;
    FLupeEdited = false;
    RedrawPart(LupePartNumber);
}

void TMainForm::overlayOnCell(bool selectedOverCell)
{
    const int col = MapGrid->Col();
    const int row = MapGrid->Row();
    const uint8_t selected = FLinks.SelectedPartNumber();
    const uint8_t cellPart = FDoc.Cell(col, row);
    // The picture laid over, and the one it is laid on; the result becomes the selected
    // part, which the cell then shows.
    const uint8_t source = selectedOverCell ? selected : cellPart;
    const uint8_t under = selectedOverCell ? cellPart : selected;
    const std::optional<QImage> laid = FLinks.RunOverlay(source, FParts.PartBitmap(under));
    if (!laid)
        return;
    {
        // The part and the cell change as one step of the history.
        const TUndoGroup step(FDoc.History());
        FParts.EditParts({selected}, [&] {
            FParts.CapturePart(selected, *laid, 0, 0);
            return true;
        });
        FDoc.FillMapRect({col, row, col, row}, selected);
    }
    FDoc.SetMapModified(true);
}

void TMainForm::RepaintMap()
{
    MapGrid->InvalidateGrid();
}

void TMainForm::RedrawMapRect(int left, int top, int right, int bottom)
{
    // Only the cells on screen are drawn again; the grid skips the others.
    MapGrid->InvalidateRect(TCellRect{left, top, right, bottom}.NormalizeRect());
}

void TMainForm::RedrawPart(int part)
{
    // Only the cells on screen that hold the part; past a few dozen, one repaint of the
    // whole view costs less than the bookkeeping.
    constexpr size_t MaxSingleCells = 64;
    const int left = MapGrid->LeftCol();
    const int top = MapGrid->TopRow();
    const int right = std::min(MapGrid->ColCount() - 1, left + MapGrid->VisibleColCount());
    const int bottom = std::min(MapGrid->RowCount() - 1, top + MapGrid->VisibleRowCount());
    std::vector<QPoint> cells;
    for (int x = left; x <= right; ++x) {
        for (int y = top; y <= bottom; ++y) {
            if (FDoc.Cell(x, y) != part)
                continue;
            if (cells.size() == MaxSingleCells) {
                RepaintMap();
                return;
            }
            cells.emplace_back(x, y);
        }
    }
    for (const QPoint& cell : cells)
        MapGrid->InvalidateRect({cell.x(), cell.y(), cell.x(), cell.y()});
}

void TMainForm::G1Click()
{
    const bool on = !G1->isChecked();
    MapGrid->SetGridLineWidth(on ? 1 : 0);
    G1->setChecked(on);
}

void TMainForm::Cancel1Click()
{
    FDoc.Undo();
}

void TMainForm::Redo1Click()
{
    FDoc.Redo();
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
    if (FLupeEdited) {
        state.EditedPart = LupePartNumber;
        state.EditedPicture = &Lupe->Bitmap();
    }
    FCellPainter->Begin(canvas, state);
}

void TMainForm::MapGridDrawCell(QPainter& canvas, int col, int row, const QRect& rect)
{
    FCellPainter->DrawCell(canvas, col, row, rect);
}

void TMainForm::MapGridDrawCells(QPainter& canvas, const TGridRect& cells, const QRect& first,
                                 int pitchX, int pitchY)
{
    FCellPainter->DrawCells(canvas, cells, first, pitchX, pitchY);
}

// ---------------------------------------------------------------------------------------
// The mouse on the map

void TMainForm::MapGridMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                 const QPoint& pos)
{
    FTool->Press(button, shift, pos);
}

void TMainForm::MapGridMouseMove(Qt::KeyboardModifiers shift, const QPoint& pos)
{
    FTool->Move(shift, pos);
}

void TMainForm::MapGridMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift,
                               const QPoint& pos)
{
    FTool->Release(button, shift, pos);
}

bool TMainForm::MapDragActive() const
{
    return FTool->Dragging();
}

// ---------------------------------------------------------------------------------------
// Editing commands

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

void TMainForm::A1Click()
{
    FSettings.SetRandomPlacement(!FSettings.RandomPlacement());
}

void TMainForm::PointMemoryClick(int k)
{
    // Recording toggles: a second recording turns the point off again.
    QAction* record = PointMemoryMenu->actions()[k];
    record->setChecked(!record->isChecked());
    FJumpPoints[size_t(k)] = QPoint(MapGrid->Col(), MapGrid->Row());
    QAction* restore = PointRestoreMenu->actions()[k];
    restore->setChecked(!restore->isChecked());
}

void TMainForm::PointRestoreClick(int k)
{
    if (!PointRestoreMenu->actions()[k]->isChecked())
        return;
    const QPoint p = FJumpPoints[size_t(k)];
    MapGrid->SetLeftCol(std::max(0, p.x() - MapGrid->VisibleColCount() / 2));
    MapGrid->SetTopRow(std::max(0, p.y() - MapGrid->VisibleRowCount() / 2));
    StatusPanel0->setText(QStringLiteral("ジャンプ先: (%1,%2)").arg(p.x()).arg(p.y()));
}

void TMainForm::MapGridTopLeftChanged()
{
    Lupe->hide();
}

// ---------------------------------------------------------------------------------------
// TMX interchange

namespace {

const QString TmxFilter = QStringLiteral("TMXファイル(*.tmx)|*.tmx|全てのファイル|*.*");
// Larger maps get compressed layer data: as text their TMX file would run to gigabytes.
constexpr qint64 TmxCsvCellLimit = 1024 * 1024;

// Asks which part the empty cells of an imported map become; nullopt on Cancel.
std::optional<uint8_t> askEmptyPart(QWidget* parent)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("EmptyPartDlg"));
    dialog.setWindowTitle(QStringLiteral("TMX形式を読み込む"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(QStringLiteral("空のセルに置くパーツ番号(&E):"), &dialog);
    layout->addWidget(label);
    auto* spin = new QSpinBox(&dialog);
    spin->setObjectName(QStringLiteral("Spin_EmptyPart"));
    spin->setRange(0, 255);
    // Alt+E goes to the number; the label shows its mnemonic underlined.
    label->setBuddy(spin);
    layout->addWidget(spin);
    layout->addLayout(OkCancelRow(&dialog));
    FitTitle(&dialog);
    if (RunModal(&dialog) != QDialog::Accepted)
        return std::nullopt;
    return uint8_t(spin->value());
}

} // namespace

void TMainForm::TmxExport1Click()
{
    TFileDialogRequest request;
    request.DialogMode = TFileDialogRequest::Save;
    request.Title = QStringLiteral("TMX形式で書き出す");
    request.NameFilters = NameFiltersFromPairs(TmxFilter);
    request.DefaultSuffix = QStringLiteral("tmx");
    request.Directory = FSettings.MapFolder();
    const std::optional<QString> name = RunFileDialog(this, request);
    if (!name)
        return;
    QImage sheet;
    FParts.ComposePartsPicture(sheet);
    const TTmxEncoding encoding = qint64(FDoc.MapWidth()) * FDoc.MapHeight() > TmxCsvCellLimit
                                      ? TTmxEncoding::Base64Zlib
                                      : TTmxEncoding::Csv;
    // Neither the TMX nor its sheet may replace the map file or the parts picture in use.
    const TFileWriteResult written =
        ExportTmxFile(*name, FDoc, sheet, FParts.PartWidth(), FParts.PartHeight(), encoding,
                      {FMapFileName, FLinks.PartsPictureInUse()});
    if (!written)
        ShowError(
            this,
            QStringLiteral("TMX形式で書き出せません\n%1\n%2").arg(written.FileName, written.Error));
}

void TMainForm::TmxImport1Click()
{
    TFileDialogRequest request;
    request.DialogMode = TFileDialogRequest::Open;
    request.Title = QStringLiteral("TMX形式を読み込む");
    request.NameFilters = NameFiltersFromPairs(TmxFilter);
    request.DefaultSuffix = QStringLiteral("tmx");
    request.Directory = FSettings.MapFolder();
    const std::optional<QString> name = RunFileDialog(this, request);
    if (!name)
        return;
    // The import replaces the map and the parts: their changes are offered for saving first.
    if (!queryUnsavedChanges())
        return;
    const std::optional<uint8_t> empty = askEmptyPart(this);
    if (!empty)
        return;
    TTmxImport imported;
    QString why;
    if (!ImportTmxFile(*name, *empty, imported, &why)) {
        Beep(TBeep::Exclamation);
        ShowError(this, QStringLiteral("TMX形式を読み込めません\n%1\n%2").arg(*name, why));
        return;
    }
    // Everything that can fail is done: the parts take the tiles, the document the cells.
    FParts.SetPartsSize(imported.PartWidth, imported.PartHeight);
    for (int n = 0; n < TPartsStore::PartCount; ++n) {
        if (!imported.Parts[n].isNull())
            FParts.CapturePart(n, imported.Parts[n], 0, 0);
    }
    FDoc.NewMap(std::move(imported.Stores));
    becomeUntitled();
    FImportedFrom = *name;
    // Neither is in the program's own files yet.
    FDoc.SetMapModified(true);
    FParts.SetPartsModified();
}
