#include "Program.h"

#include "Dialogs.h"
#include "FileReload.h"
#include "MapPictureDlg.h"
#include "OverviewForm.h"
#include "Parts.h"
#include "SPIBmp.h"
#include "env.h"
#include "main.h"
#include "new.h"
#include "replace.h"
#include "title.h"
#include "tool.h"
#include "transparts.h"

#include <QAction>
#include <QApplication>
#include <QPointer>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <algorithm>

namespace {

// Destroys one window and clears its entry, so that the windows still alive never reach it.
template <class T> void destroy(T*& window)
{
    delete window;
    window = nullptr;
}

} // namespace

TQuiltmapperProgram::TQuiltmapperProgram(const TProgramOptions& options)
    : FFormats(TPictureFormats::WithQtFormats()), FSession(FFormats),
      FDocument(FSession.Document()),
      FParts(FSession.Parts()), FModels{FIniGT, FSettings, FSession, FDocument, FParts, FTerrain}
{
    // The terrain sets follow the parts picture: loaded, saved under a new name, reloaded.
    QObject::connect(&FParts, &TPartsStore::pictureFileMatched, &FTerrain,
                     [this](const QString& fileName) {
                         FTerrain.Read(fileName, QSize(FParts.PartWidth(), FParts.PartHeight()));
                     });
    // Saved under a name without terrain sets, the parts take theirs along; new parts have none.
    QObject::connect(&FParts, &TPartsStore::pictureSaved, &FTerrain, &TTerrainStore::PartsSaved);
    QObject::connect(&FParts, &TPartsStore::partsResized, &FTerrain, [this] {
        FTerrain.Read(QString(), QSize(FParts.PartWidth(), FParts.PartHeight()));
    });
    // An imported map's parts bring its terrain sets, kept until the parts are saved.
    QObject::connect(&FSession, &TMapSession::tmxTerrainPlaced, &FTerrain, &TTerrainStore::Adopt);
    // Sets edited before the parts have a file, or whose write failed, are saved with the
    // parts: closing asks about them.
    QObject::connect(&FTerrain, &TTerrainStore::setsUnwritten, &FParts,
                     [this] { FParts.SetPartsModified(); });
    if (!options.IniFileName.isEmpty())
        FIniGT.SetFileName(options.IniFileName);
    FIniGT.Loaded();
    // The preferences are in force before any window is made.
    FSettings.ReadFrom(FIniGT);
    // The terrain chosen last time is chosen again when its set is read; each choice is kept.
    FTerrain.Prefer(FSettings.TerrainChoice().Set, FSettings.TerrainChoice().Color);
    // Terrain edits are steps of the one history, beside those of the map and the parts.
    FTerrain.SetHistory(&FSession.History());
    QObject::connect(&FTerrain, &TTerrainStore::choiceChanged, &FSettings, [this] {
        if (const TWangSet* set = FTerrain.ChosenSet())
            FSettings.SetTerrainChoice({set->Name, FTerrain.Color()});
    });
    FSession.History().SetBudget(FSettings.UndoBudget());
    // Picture plug-ins register their formats to be read through the plug-in bitmap.
    TSPIBitmap::InitializeUnit();
    try {
        createWindows();
    } catch (...) {
        // A window that cannot be created stops the start: the program does not run
        // half-built. The ones already made are taken down in order.
        destroyWindows();
        throw;
    }
    connectWindows();
    // The parts picture of the last run comes back.
    FForms.PartsForm->LoadLastPicture();
}

TQuiltmapperProgram::~TQuiltmapperProgram()
{
    destroyWindows();
    TSPIBitmap::FinalizeUnit(FFormats);
}

void TQuiltmapperProgram::createWindows()
{
    FForms.MainForm = new TMainForm(FModels, *this);
    FForms.PartsForm = new TPartsForm(FModels, &FFormats);
    FForms.TitleForm = new TTitleForm(FSettings.ShowTitle());
    FForms.ToolForm = new TToolForm(FModels);
    // Its buttons explain themselves while the user works in the map, too.
    FForms.ToolForm->setAttribute(Qt::WA_AlwaysShowToolTips);
    FForms.OverviewForm = new TOverviewForm(FModels, FForms.MainForm->View());
    FForms.EnvDlg = new TEnvDlg(FSettings, FForms.MainForm);
    FForms.ReplaceDlg = new TReplaceDlg(FForms.MainForm);
    FForms.NewCreateDlg = new TNewCreateDlg(FForms.MainForm);
    FForms.TranslucenPartsDlg = new TTranslucenPartsDlg(FParts, FForms.MainForm);
}

void TQuiltmapperProgram::connectWindows()
{
    TMainForm* main = FForms.MainForm;
    FParts.SetFilesToKeep([main = QPointer<TMainForm>(main)] {
        return main ? QStringList{main->MapFileName()} : QStringList();
    });
    QObject::connect(FForms.PartsForm, &TPartsForm::closed, main, &TMainForm::PartsWindowClosed);
    QObject::connect(FForms.ToolForm, &TToolForm::closed, main, &TMainForm::ToolBoxClosed);
    QObject::connect(FForms.OverviewForm, &TOverviewForm::closed, main, &TMainForm::OverviewClosed);
    QObject::connect(FForms.ToolForm, &TToolForm::mapToolClicked, main, &TMainForm::SelectMapTool);
    QObject::connect(FForms.ToolForm, &TToolForm::transformClicked, main,
                     &TMainForm::TransformLupe);
    QObject::connect(main, &TMainForm::lupeColorShown, FForms.ToolForm, &TToolForm::ShowPanelColor);
    QObject::connect(FForms.EnvDlg, &TEnvDlg::settingsApplied, main, &TMainForm::ApplyZoom);
    FForms.PartsForm->RunOverlay = [this](int source, const QImage& target) {
        return RunOverlay(uint8_t(source), target);
    };
    shareMainWindowKeys();
    FForms.PartsForm->MapSourceName = [this] { return FForms.MainForm->MapSourceName(); };
    FForms.PartsForm->MapExtensions = [this] { return QStringList{FSettings.ExtName()}; };
    QObject::connect(&FSettings, &TSettings::undoBudgetChanged, &FDocument,
                     &TMapDocument::SetUndoBudget);
    QObject::connect(FForms.PartsForm, &TPartsForm::pictureInUseChanged, main,
                     [this] { rememberPartsPicture(FForms.MainForm->MapFileName()); });
    // Other programs' saves of the map and the parts picture come back by themselves.
    TFileReloadView reloadView;
    reloadView.PartsWindow = FForms.PartsForm;
    reloadView.PartsStatus = FForms.PartsForm->StatusText;
    reloadView.MainWindow = main;
    reloadView.MapStatus = main->StatusPanel0;
    reloadView.MapGrid = main->MapGrid;
    reloadView.LupeEdited = [main] { return main->LupeEdited(); };
    new TFileReload(FSession, FSettings, reloadView);
}

void TQuiltmapperProgram::shareMainWindowKeys()
{
    // The tool box and the overview are palettes: while one is active the main window's keys
    // act as in the main window. The parts window takes those its own menus leave free.
    QList<QKeySequence> partsKeys;
    for (const QAction* item : FForms.PartsForm->findChildren<QAction*>())
        partsKeys << item->shortcuts();
    for (QAction* item : FForms.MainForm->findChildren<QAction*>()) {
        const QList<QKeySequence> keys = item->shortcuts();
        if (keys.isEmpty())
            continue;
        FForms.ToolForm->addAction(item);
        FForms.OverviewForm->addAction(item);
        if (std::none_of(keys.begin(), keys.end(),
                         [&](const QKeySequence& key) { return partsKeys.contains(key); }))
            FForms.PartsForm->addAction(item);
    }
}

void TQuiltmapperProgram::rememberPartsPicture(const QString& mapFileName)
{
    const TPartsPictureUse use = FForms.PartsForm->PictureUse();
    if (use.IsEmpty())
        return;
    FSettings.SetLastPartsPicture(use);
    FSettings.RememberPartsPicture(mapFileName, use);
}

TFirstStartLayout TQuiltmapperProgram::FirstStartLayout(const QRect& available, const QSize& main,
                                                        const QSize& parts, const QSize& tool)
{
    // Room for a window manager's frames: the borders and the title bar above each window.
    constexpr int Border = 6;
    constexpr int Title = 30;
    constexpr int Gap = 4;
    constexpr int MinMainWidth = 320;
    constexpr int MinMainHeight = 160;
    constexpr int MinPartsWidth = 120;
    const int across = available.width() - 4 * Border - Gap;
    int mainWidth = main.width();
    int partsWidth = std::min(parts.width(), std::max(MinPartsWidth, across - mainWidth));
    mainWidth = std::max(MinMainWidth, std::min(mainWidth, across - partsWidth));
    partsWidth = std::max(1, std::min(partsWidth, across - mainWidth));
    const int top = available.top() + Title;
    const int down = available.height() - 2 * Title - 2 * Border - Gap - tool.height();
    const int mainHeight = std::max(MinMainHeight, std::min(main.height(), down));
    const int partsHeight =
        std::max(1, std::min(parts.height(), available.height() - Title - Border));

    TFirstStartLayout layout;
    layout.Main = QRect(available.left() + Border, top, mainWidth, mainHeight);
    layout.Parts = QRect(layout.Main.right() + 1 + 2 * Border + Gap, top, partsWidth, partsHeight);
    const int toolTop = layout.Main.bottom() + 1 + Border + Gap + Title;
    layout.Tool = QPoint(layout.Main.left(),
                         std::min(toolTop, available.bottom() + 1 - Border - tool.height()));
    return layout;
}

void TQuiltmapperProgram::PlaceNewWindows()
{
    const bool main =
        FIniGT.HasPlacement(QStringLiteral("MainWindow"), QStringLiteral("WindowState"));
    const bool parts =
        FIniGT.HasPlacement(QStringLiteral("PartsWindow"), QStringLiteral("WindowState"));
    const bool tool = FIniGT.HasPlacement(QStringLiteral("ToolBox"), QStringLiteral("WindowState"));
    const bool overview =
        FIniGT.HasPlacement(QStringLiteral("Overview"), QStringLiteral("WindowState"));
    const QScreen* screen = QGuiApplication::primaryScreen();
    if ((main && parts && tool && overview) || !screen)
        return;
    // The parts window shows all its parts, with room for a scroll bar should the screen be
    // too low for all the rows.
    QSize partsSize = FForms.PartsForm->WholeSheetSize();
    partsSize.rwidth() += FForms.PartsForm->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const TFirstStartLayout layout = FirstStartLayout(
        screen->availableGeometry(), FForms.MainForm->size(), partsSize, FForms.ToolForm->size());
    if (!main)
        FForms.MainForm->setGeometry(layout.Main);
    if (!parts)
        FForms.PartsForm->setGeometry(layout.Parts);
    if (!tool)
        FForms.ToolForm->move(layout.Tool);
    if (!overview)
        placeOverview(screen->availableGeometry());
}

void TQuiltmapperProgram::placeOverview(const QRect& available)
{
    // Right of the tool box, its top level with the tool box's, as large as the default
    // when the screen allows, never smaller than a third of that.
    constexpr int Border = 6;
    constexpr int Gap = 4;
    TOverviewForm* overview = FForms.OverviewForm;
    const QRect tool = FForms.ToolForm->geometry();
    const QPoint topLeft(tool.right() + 1 + 2 * Border + Gap, tool.top());
    const QSize wanted = overview->size();
    const int width = std::min(wanted.width(), available.right() - Border - topLeft.x() + 1);
    const int height = std::min(wanted.height(), available.bottom() - Border - topLeft.y() + 1);
    if (width < wanted.width() / 3 || height < wanted.height() / 3) {
        overview->SetShownAtStart(false);
        return;
    }
    overview->setGeometry(QRect(topLeft, QSize(width, height)));
}

void TQuiltmapperProgram::destroyWindows()
{
    // Reverse order of creation; each window writes its own settings as it goes, the
    // settings dialog's keys where the dialog goes. The dialogs are the main window's
    // children: take them down explicitly first, so they go in order too. All their keys
    // reach the file in one write, at the end.
    TIniGT::TWriteBatch batch(FIniGT);
    destroy(FForms.TranslucenPartsDlg);
    destroy(FForms.NewCreateDlg);
    destroy(FForms.ReplaceDlg);
    if (FForms.EnvDlg) {
        destroy(FForms.EnvDlg);
        writeSettings();
    }
    destroy(FForms.OverviewForm);
    destroy(FForms.ToolForm);
    destroy(FForms.TitleForm);
    destroy(FForms.PartsForm);
    destroy(FForms.MainForm);
    try {
        batch.Commit();
    } catch (const EIniGTWriteError& e) {
        ShowError(nullptr, e.message());
    }
}

void TQuiltmapperProgram::writeSettings()
{
    // The program is ending: a settings file that cannot be written is reported, and the
    // rest of these writes are skipped.
    try {
        FSettings.WriteTo(FIniGT);
    } catch (const EIniGTWriteError& e) {
        ShowError(nullptr, e.message());
    }
}

void TQuiltmapperProgram::ShowWindows()
{
    FForms.MainForm->show();
    FForms.PartsForm->show();
    FForms.ToolForm->show();
    FForms.OverviewForm->setVisible(FForms.OverviewForm->ShownAtStart());
    FForms.MainForm->Overview1->setChecked(FForms.OverviewForm->ShownAtStart());
    // The title window, shown at its creation, stays in front of the windows shown after
    // it, also where no window manager keeps it on top.
    if (FForms.TitleForm->isVisible())
        FForms.TitleForm->raise();
}

int TQuiltmapperProgram::Run()
{
    PlaceNewWindows();
    ShowWindows();
    return QApplication::exec();
}

std::optional<TNewMapChoice> TQuiltmapperProgram::RunNewMapDialog()
{
    TNewCreateDlg* dialog = FForms.NewCreateDlg;
    if (RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    return TNewMapChoice{dialog->Spin_NewWidth->value(), dialog->Spin_NewHeight->value(),
                         uint16_t(dialog->Spin_NewPartsWidth->value()),
                         uint16_t(dialog->Spin_NewPartsHeight->value())};
}

std::optional<TReplaceChoice> TQuiltmapperProgram::RunReplaceDialog()
{
    TReplaceDlg* dialog = FForms.ReplaceDlg;
    dialog->Spin_AfterParts->setValue(FForms.PartsForm->SelectedPartNumber());
    if (RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    return TReplaceChoice{uint8_t(dialog->Spin_BeforParts->value()),
                          uint8_t(dialog->Spin_AfterParts->value())};
}

std::optional<TMapPictureChoice>
TQuiltmapperProgram::RunMapPictureDialog(const TMapPictureRequest& request)
{
    TMapPictureDlg dialog(request, FForms.MainForm);
    if (RunModal(&dialog) != QDialog::Accepted)
        return std::nullopt;
    return dialog.Choice();
}

bool TQuiltmapperProgram::RunSettingsDialog()
{
    return FForms.EnvDlg->Edit();
}

void TQuiltmapperProgram::ShowAbout()
{
    FForms.TitleForm->ShowAbout();
}

void TQuiltmapperProgram::ShowPartsWindow(bool shown)
{
    FForms.PartsForm->setVisible(shown);
}

void TQuiltmapperProgram::ShowToolBox(bool shown)
{
    FForms.ToolForm->setVisible(shown);
}

void TQuiltmapperProgram::ShowOverview(bool shown)
{
    FForms.OverviewForm->setVisible(shown);
}

uint8_t TQuiltmapperProgram::SelectedPartNumber()
{
    return FForms.PartsForm->SelectedPartNumber();
}

std::optional<QImage> TQuiltmapperProgram::RunOverlay(uint8_t source, const QImage& target)
{
    TTranslucenPartsDlg* dialog = FForms.TranslucenPartsDlg;
    dialog->SetSourcePart(source);
    if (RunModal(dialog) != QDialog::Accepted)
        return std::nullopt;
    QImage laid = target.copy();
    dialog->OverlayOnto(laid);
    return laid;
}

void TQuiltmapperProgram::SelectPart(uint8_t part)
{
    FForms.PartsForm->SelectPart(part);
}

bool TQuiltmapperProgram::SavePartsPicture()
{
    return FForms.PartsForm->SavePartsPicture();
}

void TQuiltmapperProgram::MapFileLoaded(const QString& fileName)
{
    FForms.PartsForm->LoadPictureForMap(fileName);
}

QString TQuiltmapperProgram::PartsPictureInUse()
{
    return FForms.PartsForm->PictureInUse();
}

void TQuiltmapperProgram::MapFileSaved(const QString& fileName)
{
    rememberPartsPicture(fileName);
}

void TQuiltmapperProgram::OpenMapFile(const QString& fileName)
{
    FForms.MainForm->LoadMapFile(fileName);
}
