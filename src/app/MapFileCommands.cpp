#include "MapFileCommands.h"

#include "Dialogs.h"
#include "MainFormLinks.h"
#include "MapSession.h"
#include "ProgressRun.h"
#include "Settings.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QVBoxLayout>
#include <exception>

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

TFileDialogRequest tmxDialog(TFileDialogRequest::Mode mode, const QString& title,
                             const QString& folder)
{
    TFileDialogRequest request;
    request.DialogMode = mode;
    request.Title = title;
    request.NameFilters = NameFiltersFromPairs(TmxFilter);
    request.DefaultSuffix = QStringLiteral("tmx");
    request.Directory = folder;
    return request;
}

} // namespace

TMapFileCommands::TMapFileCommands(QWidget& window, TMapSession& session, TSettings& settings,
                                   TMainFormLinks& links, const QString& extension,
                                   const QStringList& mapFilters, const QStringList& openFilters)
    : FWindow(window), FSession(session), FSettings(settings), FLinks(links), FExtension(extension),
      FMapFilters(mapFilters), FOpenFilters(openFilters)
{
}

TMapFileType TMapFileCommands::saveType() const
{
    return FSettings.SaveFormatType() == 1 ? TMapFileType::Type1 : TMapFileType::Type2;
}

TMapFileType TMapFileCommands::loadType() const
{
    return FSettings.LoadFormatType() == 1 ? TMapFileType::Type1 : TMapFileType::Type2;
}

// ---------------------------------------------------------------------------------------
// New, open, save

void TMapFileCommands::NewMapClick()
{
    const std::optional<TNewMapChoice> choice = FLinks.RunNewMapDialog();
    if (!choice)
        return;
    if (FSession.Document().MapModified()) {
        switch (AskConfirm(&FWindow, QStringLiteral("変更データを上書き保存しますか？"),
                           TConfirmButtons::YesNoCancel)) {
        case TAnswer::Yes:
            if (!SaveOverwrite())
                return;
            break;
        case TAnswer::No:
            break;
        default:
            return;
        }
    }
    // The new part size resets the parts: their changes are offered too.
    if (!QueryUnsavedParts())
        return;
    FSession.NewMap(choice->MapWidth, choice->MapHeight, choice->PartWidth, choice->PartHeight);
}

bool TMapFileCommands::SaveMapFile(const QString& fileName)
{
    const TSessionResult saved =
        FSession.SaveMap(fileName, saveType(), {FLinks.PartsPictureInUse()});
    if (!saved) {
        // Nothing was written over the old file; the map stays modified.
        ShowError(
            &FWindow,
            QStringLiteral("マップデータを保存できません\n%1\n%2").arg(fileName, saved.Error));
        return false;
    }
    FSettings.RememberRecentMap(fileName);
    FLinks.MapFileSaved(fileName);
    return true;
}

std::optional<QString> TMapFileCommands::runSaveDialog()
{
    TFileDialogRequest SaveDialog;
    SaveDialog.DialogMode = TFileDialogRequest::Save;
    SaveDialog.Title = QStringLiteral("マップデータの保存");
    SaveDialog.NameFilters = FMapFilters;
    SaveDialog.DefaultSuffix = FExtension;
    SaveDialog.FileName = FSession.MapFileName();
    SaveDialog.Directory = FSettings.MapFolder();
    std::optional<QString> name = RunFileDialog(&FWindow, SaveDialog);
    // The dialog keeps the chosen name: later saves go to it.
    if (name) {
        FSession.SetMapFileName(*name);
        FSettings.SetMapFolder(QFileInfo(*name).absolutePath());
    }
    return name;
}

bool TMapFileCommands::SaveOverwrite()
{
    if (FSession.MapFileName().isEmpty() && !runSaveDialog())
        return false;
    return SaveMapFile(FSession.MapFileName());
}

void TMapFileCommands::SaveAsClick()
{
    if (runSaveDialog())
        SaveMapFile(FSession.MapFileName());
}

bool TMapFileCommands::LoadMapFile(const QString& fileName)
{
    // A load that fails leaves the map and the parts as they were.
    const TMapLoadResult result = FSession.LoadMap(fileName, loadType());
    if (!result.Ok()) {
        Beep(TBeep::Exclamation);
        ShowError(&FWindow, result.Message());
        return false;
    }
    FSettings.RememberRecentMap(fileName);
    FLinks.MapFileLoaded(fileName);
    // The map's parts picture came with it: no undo goes back to the parts before the load.
    FSession.History().Clear();
    return true;
}

void TMapFileCommands::OpenClick()
{
    TFileDialogRequest OpenDialog;
    OpenDialog.DialogMode = TFileDialogRequest::Open;
    OpenDialog.Title = QStringLiteral("マップデータの読み込み");
    OpenDialog.NameFilters = FOpenFilters;
    OpenDialog.DefaultSuffix = FExtension;
    OpenDialog.Directory = FSettings.MapFolder();
    const std::optional<QString> name = RunFileDialog(&FWindow, OpenDialog);
    if (!name)
        return;
    FSettings.SetMapFolder(QFileInfo(*name).absolutePath());
    // A load replaces the map and the parts: their changes are offered for saving first.
    if (!QueryUnsavedChanges())
        return;
    LoadMapFile(*name);
}

void TMapFileCommands::OpenRecentMap(const QString& fileName)
{
    // As a map chosen in the open dialog: the changes are offered for saving first.
    if (!QueryUnsavedChanges())
        return;
    LoadMapFile(fileName);
}

void TMapFileCommands::DropFiles(const QStringList& fileNames)
{
    if (fileNames.isEmpty())
        return;
    if (!QueryUnsavedChanges())
        return;
    LoadMapFile(fileNames.first());
    Beep(TBeep::Default);
}

void TMapFileCommands::FillRecentMaps(QMenu& menu)
{
    menu.clear();
    const QStringList& maps = FSettings.RecentMaps();
    for (int i = 0; i < maps.size(); ++i) {
        const QString map = maps[i];
        // "&1" to "&9", then "1&0".
        const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&0");
        // An ampersand of the path is shown, not taken as the item's key.
        QString shown = QDir::toNativeSeparators(map);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = menu.addAction(number + QLatin1Char(' ') + shown);
        QObject::connect(item, &QAction::triggered, &FWindow, [this, map] { OpenRecentMap(map); });
    }
    menu.setEnabled(!maps.isEmpty());
}

// ---------------------------------------------------------------------------------------
// Closing

bool TMapFileCommands::QueryUnsavedChanges()
{
    bool canClose = true;
    if (FSession.Document().MapModified()) {
        switch (AskConfirm(&FWindow, QStringLiteral("マップデータを上書き保存しますか？"),
                           TConfirmButtons::YesNoCancel)) {
        case TAnswer::Yes:
            canClose = SaveOverwrite();
            break;
        case TAnswer::No:
            break;
        default:
            canClose = false;
            break;
        }
    }
    // The parts question comes whatever the map question decided.
    return QueryUnsavedParts() && canClose;
}

bool TMapFileCommands::QueryUnsavedParts()
{
    if (StoreHeldPartEdits)
        StoreHeldPartEdits();
    if (!FSession.Parts().IsPartsModified())
        return true;
    switch (AskConfirm(&FWindow, QStringLiteral("パーツデータを上書き保存しますか？"),
                       TConfirmButtons::YesNoCancel)) {
    case TAnswer::Yes:
        try {
            return FLinks.SavePartsPicture();
        } catch (const std::exception& e) {
            ShowError(&FWindow, QString::fromUtf8(e.what()));
            return false;
        }
    case TAnswer::No:
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------
// TMX interchange

void TMapFileCommands::TmxExportClick()
{
    const std::optional<QString> name = RunFileDialog(
        &FWindow, tmxDialog(TFileDialogRequest::Save, QStringLiteral("TMX形式で書き出す"),
                            FSettings.MapFolder()));
    if (!name)
        return;
    const TMapDocument& doc = FSession.Document();
    TTmxWriteOptions options(qint64(doc.MapWidth()) * doc.MapHeight() > TmxCsvCellLimit
                                 ? TTmxEncoding::Base64Zlib
                                 : TTmxEncoding::Csv);
    // The tileset carries the terrain sets of the parts picture in use.
    options.PartsPicture = FLinks.PartsPictureInUse();
    // Neither the TMX nor its sheet may replace the map file or the parts picture in use.
    const QStringList keep = {FSession.MapFileName(), FLinks.PartsPictureInUse()};
    const TProgressWindow window{
        QStringLiteral("TmxProgress"), QStringLiteral("TMX形式で書き出す"),
        QStringLiteral("TMX形式で書き出しています"), [](qint64 done, qint64 all) {
            return QStringLiteral("TMX形式で書き出しています: %1 / %2 行").arg(done).arg(all);
        }};
    // The window is modal: the map and the parts stay as they are while they are written.
    const TFileWriteResult written =
        RunWithProgress(&FWindow, window, [&](const TProgress& progress) {
            return FSession.ExportTmx(*name, options, keep, progress);
        });
    if (written.Cancelled)
        ShowWarning(&FWindow, QStringLiteral("書き出しを取り消しました。ファイルは残っていません"));
    else if (!written)
        ShowError(
            &FWindow,
            QStringLiteral("TMX形式で書き出せません\n%1\n%2").arg(written.FileName, written.Error));
}

void TMapFileCommands::TmxImportClick()
{
    const std::optional<QString> name = RunFileDialog(
        &FWindow, tmxDialog(TFileDialogRequest::Open, QStringLiteral("TMX形式を読み込む"),
                            FSettings.MapFolder()));
    if (!name)
        return;
    // The import replaces the map and the parts: their changes are offered for saving first.
    if (!QueryUnsavedChanges())
        return;
    const std::optional<uint8_t> empty = askEmptyPart(&FWindow);
    if (!empty)
        return;
    const TProgressWindow window{QStringLiteral("TmxProgress"), QStringLiteral("TMX形式を読み込む"),
                                 QStringLiteral("TMX形式を読み込んでいます"),
                                 [](qint64 done, qint64 all) {
                                     return QStringLiteral("TMX形式を読み込んでいます: %1%")
                                         .arg(all > 0 ? done * 100 / all : 100);
                                 }};
    // The file is read on a second thread; the map and the parts change afterwards, here.
    TTmxImport imported;
    const TSessionResult read = RunWithProgress(&FWindow, window, [&](const TProgress& progress) {
        return TMapSession::ReadTmx(*name, *empty, imported, progress);
    });
    if (read.Cancelled) {
        ShowWarning(&FWindow,
                    QStringLiteral("読み込みを取り消しました。マップとパーツは元のままです"));
        return;
    }
    if (!read) {
        Beep(TBeep::Exclamation);
        ShowError(&FWindow,
                  QStringLiteral("TMX形式を読み込めません\n%1\n%2").arg(*name, read.Error));
        return;
    }
    FSession.PlaceTmx(std::move(imported), *name);
}
