#include "Parts.h"

#include "CopyMode.h"
#include "Dialogs.h"
#include "DrawGrid.h"
#include "IniGT.h"
#include "MapDocument.h"
#include "MapSession.h"
#include "NkClipDetector.h"
#include "PartsExternal.h"
#include "PartsFileNames.h"
#include "PictureFormats.h"
#include "SPIs.h"
#include "Settings.h"
#include "TerrainEditor.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QUrl>
#include <algorithm>

namespace {

const QString PlacementSection = QStringLiteral("PartsWindow");
const QString PlacementPrefix = QStringLiteral("WindowState");
const QString PartNumberText = QStringLiteral("カーソル位置のパーツ番号:");
const QString DragSourceText = QStringLiteral("コピー又は交換元パーツ:");
const QString DragTargetText = QStringLiteral("カーソル位置パーツ:");
const QString SaveFilter = QStringLiteral("BMP|*.bmp|PNG|*.png|全てのファイル|*.*");
const QString OpenFilter =
    QStringLiteral("主要な画像ファイル|*.bmp;*.png;*.jpg;*.jpeg;*.gif|BMP (*.bmp)|*.bmp|"
                   "PNG (*.png)|*.png|GIF (*.gif)|*.gif|JPEG (*.jpg, *.jpeg)|*.jpg;*.jpeg|"
                   "全てのファイル|*.*");

QAction* addItem(QMenu* menu, const QString& caption, const QKeySequence& shortcut = {})
{
    QAction* item = menu->addAction(caption);
    item->setShortcut(shortcut);
    return item;
}

TFileDialogRequest SavePictureDialog(const QString& fileName, const QString& folder)
{
    TFileDialogRequest request;
    request.DialogMode = TFileDialogRequest::Save;
    request.Title = QStringLiteral("パーツ画像の保存");
    request.NameFilters = NameFiltersFromPairs(SaveFilter);
    // The extension added to a bare name is the one the suggested name has.
    request.DefaultSuffix = QFileInfo(fileName).suffix().compare(u"png", Qt::CaseInsensitive) == 0
                                ? QStringLiteral("png")
                                : QStringLiteral("bmp");
    request.FileName = fileName;
    request.Directory = folder;
    request.ConfirmOverwrite = true;
    return request;
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
    if (!FPictureInUse.isEmpty())
        setPictureInUse(QString());
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

bool TPartsForm::isMapName(const QString& fileName) const
{
    return IsMapFileName(fileName, MapExtensions ? MapExtensions() : QStringList(),
                         MapSourceName ? MapSourceName() : QString());
}

std::optional<QString> TPartsForm::runSaveDialog(const QString& suggested)
{
    QString name = suggested;
    // Without a name of its own the picture is proposed beside the map it belongs to.
    const QString map = MapSourceName ? MapSourceName() : QString();
    if ((name.isEmpty() || isMapName(name)) && !map.isEmpty())
        name = PartsPictureBesideMap(map);
    for (;;) {
        const std::optional<QString> chosen =
            RunFileDialog(this, SavePictureDialog(name, FModels.Settings.PartsFolder()));
        if (!chosen)
            return std::nullopt;
        FModels.Settings.SetPartsFolder(QFileInfo(*chosen).absolutePath());
        // A map's name would write the picture over the map: asked again.
        if (isMapName(*chosen)) {
            name = PartsPictureBesideMap(*chosen);
            continue;
        }
        if (!FStore.SheetFormatFor(*chosen).isEmpty())
            return chosen;
        // A name of a format the sheet cannot be written in: asked again, as a BMP.
        name = WithBmpSuffix(*chosen);
    }
}

void TPartsForm::writePicture(const QString& fileName)
{
    FStore.WritePartsPicture(fileName);
    setPictureInUse(fileName);
}

void TPartsForm::setPictureInUse(const QString& fileName)
{
    FPictureInUse = fileName;
    emit pictureInUseChanged(fileName);
}

TPartsPictureUse TPartsForm::PictureUse() const
{
    TPartsPictureUse use;
    if (FPictureInUse.isEmpty())
        return use;
    use.Picture = QFileInfo(FPictureInUse).absoluteFilePath();
    use.PartWidth = PartWidth();
    use.PartHeight = PartHeight();
    // Only the header is read; a format only a plug-in reads has no size here.
    const QSize size = QImageReader(FPictureInUse).size();
    use.PictureWidth = size.isValid() ? size.width() : 0;
    use.PictureHeight = size.isValid() ? size.height() : 0;
    return use;
}

void TPartsForm::LoadPictureForMap(const QString& mapFileName)
{
    loadRemembered(FModels.Settings.PartsPictureFor(mapFileName));
}

void TPartsForm::LoadLastPicture()
{
    loadRemembered(FModels.Settings.LastPartsPicture());
}

void TPartsForm::loadRemembered(const TPartsPictureUse& use)
{
    if (use.IsEmpty())
        return;
    const QString name = QFileInfo(use.Picture).fileName();
    if (!QFileInfo(use.Picture).isFile()) {
        StatusText->setText(QStringLiteral("パーツ画像 %1 が見つかりません").arg(name));
        return;
    }
    const QSize size = QImageReader(use.Picture).size();
    const bool resized = use.PictureWidth > 0 && size.isValid() &&
                         size != QSize(use.PictureWidth, use.PictureHeight);
    if (resized || use.PartWidth != PartWidth() || use.PartHeight != PartHeight()) {
        StatusText->setText(
            QStringLiteral("パーツ画像 %1 は大きさが合わないため読み込みません").arg(name));
        return;
    }
    LoadPartsPicture(use.Picture);
}

bool TPartsForm::SavePartsPicture()
{
    const QString remembered = FStore.FileName();
    if (!remembered.isEmpty() && !FStore.SheetFormatFor(remembered).isEmpty()) {
        writePicture(remembered);
        return true;
    }
    // A picture read from a format that cannot hold the sheet unchanged (JPEG, a plug-in's
    // format) is not written over: the user is offered the same name as a BMP.
    const std::optional<QString> name =
        runSaveDialog(remembered.isEmpty() ? QString() : WithBmpSuffix(remembered));
    if (!name)
        return false;
    // The dialog keeps the chosen name even when the write then fails.
    FStore.SetFileName(*name);
    writePicture(*name);
    return true;
}

bool TPartsForm::LoadPartsPicture(const QString& fileName)
{
    if (!FStore.LoadPartsPicture(fileName)) {
        // Nothing changed; the user learns why nothing happened without a box to close.
        StatusText->setText(
            QStringLiteral("パーツ画像 %1 を読み込めません").arg(QFileInfo(fileName).fileName()));
        return false;
    }
    setPictureInUse(fileName);
    return true;
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
    if (!FFormats)
        return NameFiltersFromPairs(OpenFilter);
    // One entry per description, with every extension registered under it, in the order
    // the extensions were first registered.
    QStringList all, descriptions;
    QList<QStringList> patterns;
    for (const QString& ext : FFormats->Extensions()) {
        const QString pattern = QStringLiteral("*.") + ext;
        all << pattern;
        // A bar would end the entry early.
        QString description = FFormats->Find(ext)->Description;
        description.replace(QLatin1Char('|'), QLatin1Char('/'));
        const qsizetype at = descriptions.indexOf(description);
        if (at >= 0) {
            patterns[at] << pattern;
        } else {
            descriptions << description;
            patterns << QStringList{pattern};
        }
    }
    QStringList pairs{QStringLiteral("主要な画像ファイル"), all.join(QLatin1Char(';'))};
    for (qsizetype i = 0; i < descriptions.size(); ++i) {
        pairs << QStringLiteral("%1 (%2)").arg(descriptions[i],
                                               patterns[i].join(QStringLiteral(", ")))
              << patterns[i].join(QLatin1Char(';'));
    }
    pairs << QStringLiteral("全てのファイル") << QStringLiteral("*.*");
    return NameFiltersFromPairs(pairs.join(QLatin1Char('|')));
}

void TPartsForm::N1Click()
{
    TFileDialogRequest OpenPictureDialog;
    OpenPictureDialog.DialogMode = TFileDialogRequest::Open;
    OpenPictureDialog.Title = QStringLiteral("パーツ画像の読み込み");
    OpenPictureDialog.NameFilters = OpenDialogFilters();
    OpenPictureDialog.PicturePreview = true;
    OpenPictureDialog.Directory = FModels.Settings.PartsFolder();
    const std::optional<QString> name = RunFileDialog(this, OpenPictureDialog);
    if (!name)
        return;
    FModels.Settings.SetPartsFolder(QFileInfo(*name).absolutePath());
    LoadPartsPicture(*name);
}

void TPartsForm::N2Click()
{
    SavePartsPicture();
}

void TPartsForm::N3Click()
{
    const QString remembered = FStore.FileName();
    const std::optional<QString> name =
        runSaveDialog(FStore.SheetFormatFor(remembered).isEmpty() && !remembered.isEmpty()
                          ? WithBmpSuffix(remembered)
                          : remembered);
    if (!name)
        return;
    FStore.SetFileName(*name);
    writePicture(*name);
}

void TPartsForm::ExternalEdit1Click()
{
    const QString message = EditPartsPictureElsewhere(
        this, FStore, FModels.Settings.PartsEditor(), [this] { return SavePartsPicture(); },
        [this] { return FPictureInUse; });
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
    if (N5->isChecked())
        ImportClipboardPicture();
}

void TPartsForm::PartsGridDrawCell(QPainter& canvas, int col, int row, const QRect& rect)
{
    ApplyCopyMode(canvas, PartsGrid->Selection().Contains(col, row) ? cmNotSrcCopy : cmSrcCopy);
    DrawPart(canvas, rect, (row * TPartsStore::SheetSide + col) % TPartsStore::PartCount);
}

void TPartsForm::PartsGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, const QPoint& pos)
{
    // A press beside or below the 16 x 16 cells picks nothing, so it starts no drag: its
    // release then only redraws the map.
    const QPoint cell = PartsGrid->MouseToCell(pos);
    DragActive = cell.x() >= 0 && cell.y() >= 0;
    if (DragActive) {
        DragCol = cell.x();
        DragRow = cell.y();
    }
}

// The cell under a viewport point, or the visible cell nearest to it when the point is over
// no cell: the same cell the grid's own range drag picks, so that the target never leaves
// the grid and the view does not jump.
QPoint TPartsForm::nearestCell(const QPoint& pos) const
{
    const QRect view = PartsGrid->viewport()->rect();
    const QPoint inside(std::clamp(pos.x(), 0, std::max(0, view.width() - 1)),
                        std::clamp(pos.y(), 0, std::max(0, view.height() - 1)));
    const QPoint cell = PartsGrid->MouseToCell(inside);
    return {cell.x() < 0 ? PartsGrid->ColCount() - 1 : cell.x(),
            cell.y() < 0 ? PartsGrid->RowCount() - 1 : cell.y()};
}

void TPartsForm::PartsGridMouseMove(Qt::KeyboardModifiers shift, const QPoint& pos)
{
    if (!DragActive || !(shift & (Qt::ShiftModifier | Qt::ControlModifier)))
        return; // the grid's own range selection follows the pointer
    // The target follows the pointer; setting the current cell collapses the selection, so
    // only the target shows inverted.
    const QPoint cell = nearestCell(pos);
    if (cell.x() != PartsGrid->Col())
        PartsGrid->SetCol(cell.x());
    if (cell.y() != PartsGrid->Row())
        PartsGrid->SetRow(cell.y());
    const int source = (DragRow * TPartsStore::SheetSide + DragCol) % TPartsStore::PartCount;
    StatusText->setText(DragSourceText + QString::number(source) + QStringLiteral(" / ") +
                        DragTargetText + QString::number(SelectedPartNumber()));
}

void TPartsForm::exchangeParts(int source, int target)
{
    // The map follows, so that it looks as before; one undo takes both back.
    FModels.Session.ExchangeParts(uint8_t(source), uint8_t(target));
    SetPartsModified();
}

void TPartsForm::copyPart(int source, int target)
{
    FStore.EditParts({target}, [&] {
        // Marked modified also when a part is copied onto itself.
        FStore.CapturePart(target, FStore.PartBitmap(source), 0, 0);
        return true;
    });
}

void TPartsForm::overlayParts(int source, int target)
{
    if (source == target || !RunOverlay)
        return;
    const std::optional<QImage> laid = RunOverlay(source, FStore.PartBitmap(target));
    if (laid) {
        FStore.EditParts({target}, [&] {
            FStore.CapturePart(target, *laid, 0, 0);
            return true;
        });
    } else {
        // Cancelled, the parts still count as modified.
        SetPartsModified();
    }
}

void TPartsForm::PartsGridMouseUp(Qt::MouseButton, Qt::KeyboardModifiers shift, const QPoint&)
{
    if (!DragActive)
        return;
    DragActive = false;

    // The keys held now decide, whatever was held when the button went down.
    const bool shiftKey = shift.testFlag(Qt::ShiftModifier);
    const bool ctrlKey = shift.testFlag(Qt::ControlModifier);
    const int source = (DragRow * TPartsStore::SheetSide + DragCol) % TPartsStore::PartCount;
    const int target = SelectedPartNumber();
    if (shiftKey && ctrlKey) {
        overlayParts(source, target);
    } else if (shiftKey) {
        // Also when source and target are the same part: it is then only marked modified.
        exchangeParts(source, target);
    } else if (ctrlKey) {
        copyPart(source, target);
    } else {
        const TGridRect sel = PartsGrid->Selection();
        FModels.Document.SetGroupPart(
            sel.Right - sel.Left + 1, sel.Bottom - sel.Top + 1, [&sel](int gx, int gy) {
                return uint8_t((sel.Top + gy) * TPartsStore::SheetSide + sel.Left + gx);
            });
        FModels.Settings.SetMapTool(mtPaint);
    }
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
