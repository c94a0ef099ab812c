#include "Parts.h"

#include "CopyMode.h"
#include "Dialogs.h"
#include "DrawGrid.h"
#include "IniGT.h"
#include "MapDocument.h"
#include "MapSession.h"
#include "NkClipDetector.h"
#include "PartsExternal.h"
#include "PartsGridDrag.h"
#include "PartsPictureFiles.h"
#include "ProgressRun.h"
#include "SPIs.h"
#include "Settings.h"
#include "TerrainEditor.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

namespace {

const QString PlacementSection = QStringLiteral("PartsWindow");
const QString PlacementPrefix = QStringLiteral("WindowState");
const QString PartNumberText = QStringLiteral("カーソル位置のパーツ番号:");

QAction* addItem(QMenu* menu, const QString& caption, const QKeySequence& shortcut = {})
{
    QAction* item = menu->addAction(caption);
    item->setShortcut(shortcut);
    return item;
}

QStringList localFiles(const QMimeData* data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    return files;
}

} // namespace

TPartsForm::TPartsForm(const TProgramModels& models, TPictureFormats* formats, QWidget* parent)
    : QMainWindow(parent, Qt::Tool), FModels(models), FStore(models.Parts), FFormats(formats)
{
    setWindowTitle(QStringLiteral("パーツウィンドウ"));
    setAcceptDrops(true);
    resize(328, 338);

    createGrid();
    // The picture files and the drag between parts reach the window through these.
    FPictureFiles = std::make_unique<TPartsPictureFiles>(FStore, FModels.Settings, FFormats, this);
    FPictureFiles->ShowStatus = [this](const QString& text) { StatusText->setText(text); };
    FPictureFiles->PictureInUseChanged = [this](const QString& fileName) {
        emit pictureInUseChanged(fileName);
    };
    connect(&FStore, &TPartsStore::fileNameRestored, this,
            [this](const QString& fileName) { FPictureFiles->Follow(fileName); });
    FPictureFiles->MapSourceName = [this] { return MapSourceName ? MapSourceName() : QString(); };
    FPictureFiles->MapExtensions = [this] {
        return MapExtensions ? MapExtensions() : QStringList();
    };
    FGridDrag = std::make_unique<TPartsGridDrag>(*PartsGrid, FModels, RunOverlay);
    FGridDrag->ShowStatus = [this](const QString& text) { StatusText->setText(text); };
    createMenus();

    StatusText = new QLabel(PartNumberText + QStringLiteral("0"));
    // The panel takes the whole bar: the drag texts of the modifier drags are longer than
    // the part number.
    StatusText->setMinimumWidth(100);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->addWidget(StatusText, 1);

    connect(&FStore, &TPartsStore::partsModifiedChanged, this, [this](bool modified) {
        N2->setEnabled(modified);
        N3->setEnabled(modified);
    });
    connect(&FStore, &TPartsStore::copyBufferChanged, this, [this](bool available) {
        Paste1->setEnabled(available);
        P2->setEnabled(available);
    });

    connect(&FStore, &TPartsStore::partChanged, this, [this](int n) {
        PartsGrid->InvalidateRect({n % TPartsStore::SheetSide, n / TPartsStore::SheetSide,
                                   n % TPartsStore::SheetSide, n / TPartsStore::SheetSide});
    });
    connect(&FStore, &TPartsStore::allPartsChanged, this, &TPartsForm::RedrawPartsGrid);
    connect(&FStore, &TPartsStore::partsResized, this, &TPartsForm::partsResized);
    SetStaysOnTop(this, FModels.Settings.PartsOnTop());
    connect(&FModels.Settings, &TSettings::partsOnTopChanged, this,
            [this](bool onTop) { SetStaysOnTop(this, onTop); });

    ClipDetector = new TNkClipDetector(this);
    ClipDetector->SetOnClipChange([this](QObject* sender) { ClipDetectorClipChange(sender); });

    if (FFormats && !TSPIs::ActiveSPIs()) {
        SPIs = std::make_unique<TSPIs>(*FFormats);
        // The current folder counts only when it is the Susie folder or the program's.
        SPIs->SearchOptions = {spsSusieDir, spsAppDir, spsCurrentDir};
        SPIs->Loaded();
    }

    FormCreate();
}

void TPartsForm::FormCreate()
{
    FModels.IniGT.ReadWindowPlacement(PlacementSection, PlacementPrefix, this);
    SetPartsSize(32, 32);
}

TPartsForm::~TPartsForm()
{
    FormDestroy();
}

void TPartsForm::FormDestroy()
{
    // No clipboard change may reach a window that is half taken down.
    delete ClipDetector;
    ClipDetector = nullptr;
    // The program is ending: a settings file that cannot be written is reported.
    try {
        FModels.IniGT.WriteWindowPlacement(PlacementSection, PlacementPrefix, this);
    } catch (const EIniGTWriteError& e) {
        ShowError(nullptr, e.message());
    }
}

void TPartsForm::createGrid()
{
    PartsGrid = new TDrawGrid(this);
    PartsGrid->SetColCount(TPartsStore::SheetSide);
    PartsGrid->SetRowCount(TPartsStore::SheetSide);
    PartsGrid->SetOptions(goVertLine | goHorzLine | goRangeSelect);
    PartsGrid->SetGridLineWidth(1);
    PartsGrid->OnDrawCell = [this](QPainter& canvas, int col, int row, const QRect& rect,
                                   TGridDrawState) { PartsGridDrawCell(canvas, col, row, rect); };
    PartsGrid->OnMouseDown = [this](Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                    const QPoint& pos) { PartsGridMouseDown(button, shift, pos); };
    PartsGrid->OnMouseMove = [this](Qt::KeyboardModifiers shift, const QPoint& pos) {
        PartsGridMouseMove(shift, pos);
    };
    PartsGrid->OnMouseUp = [this](Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                  const QPoint& pos) {
        PartsGridMouseUp(button, shift, pos);
        // The right button's release ends its drag like any other, then opens the popup.
        if (button == Qt::RightButton)
            PartsPopupMenu->popup(PartsGrid->viewport()->mapToGlobal(pos));
    };
    // The popup is opened by the release rather than through the widget's context-menu
    // policy, which opens it at the press on this platform (see eventFilter).
    PartsGrid->installEventFilter(this);
    PartsGrid->viewport()->installEventFilter(this);
    setCentralWidget(PartsGrid);
}

void TPartsForm::createMenus()
{
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    N1 = addItem(fileMenu, QStringLiteral("パーツ画像の読み込み(&R)..."));
    N2 = addItem(fileMenu, QStringLiteral("パーツ画像を上書き保存(&S)"), Qt::CTRL | Qt::Key_S);
    N3 = addItem(fileMenu, QStringLiteral("パーツ画像を名前を付けて保存(&N)..."));
    N2->setEnabled(false);
    N3->setEnabled(false);
    connect(N1, &QAction::triggered, this, &TPartsForm::N1Click);
    connect(N2, &QAction::triggered, this, &TPartsForm::N2Click);
    connect(N3, &QAction::triggered, this, &TPartsForm::N3Click);
    fileMenu->addSeparator();
    ExternalEdit1 = addItem(fileMenu, QStringLiteral("外部プログラムで編集(&X)"));
    connect(ExternalEdit1, &QAction::triggered, this, &TPartsForm::ExternalEdit1Click);

    QMenu* editMenu = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    Copy1 = addItem(editMenu, QStringLiteral("パーツグラフィックコピー(&C)"), Qt::CTRL | Qt::Key_C);
    Paste1 =
        addItem(editMenu, QStringLiteral("パーツグラフィック貼り付け(&V)"), Qt::CTRL | Qt::Key_V);
    X1 =
        addItem(editMenu, QStringLiteral("パーツグラフィックの切り取り(&X)"), Qt::CTRL | Qt::Key_X);
    D1 = addItem(editMenu, QStringLiteral("パーツグラフィック削除(&D)"), Qt::Key_Delete);
    editMenu->addSeparator()->setObjectName(QStringLiteral("N4"));
    P1 = addItem(editMenu, QStringLiteral("クリップボードに貼り付ける(&P)"), Qt::CTRL | Qt::Key_P);
    N6 = addItem(editMenu, QStringLiteral("クリップボードから取り込む(&B)"), Qt::CTRL | Qt::Key_B);
    N5 = addItem(editMenu, QStringLiteral("クリップボードの監視(&W)"), Qt::CTRL | Qt::Key_W);
    N5->setCheckable(true);
    Paste1->setEnabled(FStore.HasCopyBuffer());
    connect(Copy1, &QAction::triggered, this, &TPartsForm::Copy1Click);
    connect(Paste1, &QAction::triggered, this, &TPartsForm::Paste1Click);
    connect(X1, &QAction::triggered, this, &TPartsForm::X1Click);
    connect(D1, &QAction::triggered, this, &TPartsForm::D1Click);
    connect(P1, &QAction::triggered, this, &TPartsForm::P1Click);
    connect(N6, &QAction::triggered, this, &TPartsForm::N6Click);
    // N5 is checkable: the menu flips its check itself.

    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    G1 = addItem(viewMenu, QStringLiteral("グリッドの表示(&G)"), Qt::CTRL | Qt::Key_G);
    G1->setCheckable(true);
    G1->setChecked(true);
    connect(G1, &QAction::triggered, this, &TPartsForm::G1Click);
    TerrainEditor = new TTerrainEditor(*PartsGrid, FModels.Terrain, this);
    viewMenu->addAction(TerrainEditor->toggleViewAction());

    PartsPopupMenu = new QMenu(this);
    C1 = addItem(PartsPopupMenu, QStringLiteral("パーツグラフィックのコピー(&C)"));
    P2 = addItem(PartsPopupMenu, QStringLiteral("パーツグラフィックの貼り付け(&V)"));
    X2 = addItem(PartsPopupMenu, QStringLiteral("パーツグラフィックの切り取り(&X)"));
    D2 = addItem(PartsPopupMenu, QStringLiteral("パーツグラフィック削除(&D)"));
    P2->setEnabled(FStore.HasCopyBuffer());
    connect(C1, &QAction::triggered, this, &TPartsForm::Copy1Click);
    connect(P2, &QAction::triggered, this, &TPartsForm::Paste1Click);
    connect(X2, &QAction::triggered, this, &TPartsForm::X1Click);
    connect(D2, &QAction::triggered, this, &TPartsForm::D1Click);
}

void TPartsForm::SetPartsSize(uint16_t width, uint16_t height)
{
    // Through the session: the steps of the old parts end with them.
    FModels.Session.SetPartSize(width, height);
}

void TPartsForm::partsResized()
{
    PartsGrid->SetDefaultColWidth(FStore.PartWidth());
    PartsGrid->SetDefaultRowHeight(FStore.PartHeight());
    PartsGrid->SetCol(0);
    PartsGrid->SetRow(0);
    showPartNumberStatus();
    // Fresh placeholders: the parts come from no picture any more.
    FPictureFiles->Forget();
}

void TPartsForm::DrawPart(QPainter& canvas, const QRect& rect, int part) const
{
    FStore.DrawPart(canvas, rect, part);
}

void TPartsForm::DrawPartZoomed(QPainter& canvas, const QRect& rect, int part) const
{
    FStore.DrawPartZoomed(canvas, rect, part, FModels.Settings.ZoomSize());
}

void TPartsForm::CapturePart(int part, const QImage& source, int x, int y)
{
    FStore.CapturePart(part, source, x, y);
}

uint8_t TPartsForm::SelectedPartNumber() const
{
    return uint8_t(PartsGrid->Row() * TPartsStore::SheetSide + PartsGrid->Col());
}

void TPartsForm::SelectPart(int part)
{
    PartsGrid->SetCol(part % TPartsStore::SheetSide);
    PartsGrid->SetRow(part / TPartsStore::SheetSide);
    showPartNumberStatus();
}

QString TPartsForm::PictureInUse() const
{
    return FPictureFiles->PictureInUse();
}

TPartsPictureUse TPartsForm::PictureUse() const
{
    return FPictureFiles->PictureUse();
}

void TPartsForm::LoadPictureForMap(const QString& mapFileName)
{
    FPictureFiles->LoadForMap(mapFileName);
}

void TPartsForm::LoadLastPicture()
{
    FPictureFiles->LoadLast();
}

bool TPartsForm::SavePartsPicture()
{
    return FPictureFiles->Save();
}

bool TPartsForm::LoadPartsPicture(const QString& fileName)
{
    return FPictureFiles->Load(fileName);
}

QSize TPartsForm::WholeSheetSize() const
{
    const int line = PartsGrid->GridLineWidth();
    const int frame = 2 * PartsGrid->frameWidth();
    const int width = TPartsStore::SheetSide * (PartWidth() + line) + line + frame;
    const int height = TPartsStore::SheetSide * (PartHeight() + line) + line + frame;
    return {width, height + menuBar()->sizeHint().height() + statusBar()->sizeHint().height()};
}

void TPartsForm::RedrawPartsGrid()
{
    PartsGrid->InvalidateGrid();
}

void TPartsForm::showPartNumberStatus()
{
    StatusText->setText(PartNumberText + QString::number(SelectedPartNumber()));
}

void TPartsForm::ImportClipboardPicture()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard->mimeData();
    if (!data || !data->hasImage())
        return;
    const QImage picture = clipboard->image();
    if (picture.isNull())
        return;
    // Only the sheet's area is read, so a huge picture is not converted whole.
    const QRect sheet(0, 0, TPartsStore::SheetSide * PartWidth(),
                      TPartsStore::SheetSide * PartHeight());
    const QImage taken = picture.copy(sheet & picture.rect()).convertToFormat(QImage::Format_RGB32);
    FStore.EditAllParts([&] {
        FStore.SlicePartsPicture(taken);
        return true;
    });
    Beep(TBeep::Default);
}

QStringList TPartsForm::OpenDialogFilters() const
{
    return FPictureFiles->OpenDialogFilters();
}

void TPartsForm::N1Click()
{
    FPictureFiles->AskAndLoad();
}

void TPartsForm::N2Click()
{
    SavePartsPicture();
}

void TPartsForm::N3Click()
{
    FPictureFiles->SaveAs();
}

void TPartsForm::ExternalEdit1Click()
{
    const QString message = EditPartsPictureElsewhere(
        this, FStore, FModels.Settings.PartsEditor(), [this] { return SavePartsPicture(); },
        [this] { return PictureInUse(); });
    if (!message.isEmpty())
        StatusText->setText(message);
}

void TPartsForm::G1Click()
{
    // Decided by the grid, not by the item: a menu click has already flipped the check mark.
    const bool show = PartsGrid->GridLineWidth() == 0;
    PartsGrid->SetGridLineWidth(show ? 1 : 0);
    G1->setChecked(show);
}

void TPartsForm::Copy1Click()
{
    const TGridRect sel = PartsGrid->Selection();
    FStore.CopySelectedParts(sel.Left, sel.Top, sel.Right, sel.Bottom);
}

void TPartsForm::Paste1Click()
{
    const TGridRect sel = PartsGrid->Selection();
    FStore.PasteIntoSelection(sel.Left, sel.Top, sel.Right, sel.Bottom);
}

void TPartsForm::X1Click()
{
    const TGridRect sel = PartsGrid->Selection();
    FStore.CopySelectedParts(sel.Left, sel.Top, sel.Right, sel.Bottom);
    FStore.DeleteSelectedParts(sel.Left, sel.Top, sel.Right, sel.Bottom);
}

void TPartsForm::D1Click()
{
    const TGridRect sel = PartsGrid->Selection();
    FStore.DeleteSelectedParts(sel.Left, sel.Top, sel.Right, sel.Bottom);
}

void TPartsForm::P1Click()
{
    QImage sheet;
    FStore.ComposePartsPicture(sheet);
    // With watching on, this comes straight back through the detector, inside the call.
    QGuiApplication::clipboard()->setImage(sheet);
}

void TPartsForm::N6Click()
{
    ImportClipboardPicture();
}

void TPartsForm::N5Click()
{
    N5->toggle();
}

void TPartsForm::ClipDetectorClipChange(QObject*)
{
    if (!N5->isChecked())
        return;
    // A long operation reads the parts on its second thread: the picture is taken in once
    // it has ended, as the clipboard holds it then.
    if (ProgressWorkRunning()) {
        if (!FClipWaiting)
            QTimer::singleShot(200, this, [this] {
                FClipWaiting = false;
                ClipDetectorClipChange(nullptr);
            });
        FClipWaiting = true;
        return;
    }
    ImportClipboardPicture();
}

void TPartsForm::PartsGridDrawCell(QPainter& canvas, int col, int row, const QRect& rect)
{
    ApplyCopyMode(canvas, PartsGrid->Selection().Contains(col, row) ? cmNotSrcCopy : cmSrcCopy);
    DrawPart(canvas, rect, (row * TPartsStore::SheetSide + col) % TPartsStore::PartCount);
}

void TPartsForm::PartsGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint& pos)
{
    FGridDrag->Press(pos);
}

void TPartsForm::PartsGridMouseMove(Qt::KeyboardModifiers shift, const QPoint& pos)
{
    FGridDrag->Move(shift, pos);
}

void TPartsForm::PartsGridMouseUp(Qt::MouseButton, Qt::KeyboardModifiers shift, const QPoint&)
{
    if (FGridDrag->Release(shift))
        showPartNumberStatus();
}

void TPartsForm::DropFiles(const QStringList& fileNames)
{
    if (fileNames.isEmpty())
        return;
    LoadPartsPicture(fileNames.first());
    // The beep tells that the drop arrived, whether or not the picture could be read.
    Beep();
}

void TPartsForm::closeEvent(QCloseEvent* event)
{
    event->accept();
    FormClose();
}

void TPartsForm::FormClose()
{
    // Only hidden: the window lives as long as the program.
    emit closed();
}

void TPartsForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TPartsForm::FormActivate()
{
    // The window takes dropped files whenever it is active (also from its creation on).
    setAcceptDrops(true);
}

void TPartsForm::dragEnterEvent(QDragEnterEvent* event)
{
    if (!localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TPartsForm::dropEvent(QDropEvent* event)
{
    const QStringList files = localFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    DropFiles(files);
}

bool TPartsForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ContextMenu &&
        (watched == PartsGrid || watched == PartsGrid->viewport())) {
        // From the mouse the popup waits for the button's release; from the keyboard it
        // opens now.
        const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        if (menuEvent->reason() != QContextMenuEvent::Mouse)
            PartsPopupMenu->popup(menuEvent->globalPos());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
