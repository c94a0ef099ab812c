#include "PartsPictureFiles.h"

#include "Dialogs.h"
#include "PartsFileNames.h"
#include "PartsStore.h"
#include "PictureFormats.h"
#include "Settings.h"

#include <QFileInfo>
#include <QImageReader>

namespace {

const QString SaveFilter = QStringLiteral("BMP|*.bmp|PNG|*.png|全てのファイル|*.*");
const QString OpenFilter =
    QStringLiteral("主要な画像ファイル|*.bmp;*.png;*.jpg;*.jpeg;*.gif|BMP (*.bmp)|*.bmp|"
                   "PNG (*.png)|*.png|GIF (*.gif)|*.gif|JPEG (*.jpg, *.jpeg)|*.jpg;*.jpeg|"
                   "全てのファイル|*.*");

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

} // namespace

TPartsPictureFiles::TPartsPictureFiles(TPartsStore& store, TSettings& settings,
                                       TPictureFormats* formats, QWidget* dialogParent)
    : FStore(store), FSettings(settings), FFormats(formats), FDialogParent(dialogParent)
{
}

void TPartsPictureFiles::showStatus(const QString& text)
{
    if (ShowStatus)
        ShowStatus(text);
}

void TPartsPictureFiles::setPictureInUse(const QString& fileName)
{
    FPictureInUse = fileName;
    if (PictureInUseChanged)
        PictureInUseChanged(fileName);
}

void TPartsPictureFiles::Forget()
{
    if (!FPictureInUse.isEmpty())
        setPictureInUse(QString());
}

void TPartsPictureFiles::Follow(const QString& fileName)
{
    setPictureInUse(fileName);
}

TPartsPictureUse TPartsPictureFiles::PictureUse() const
{
    TPartsPictureUse use;
    if (FPictureInUse.isEmpty())
        return use;
    use.Picture = QFileInfo(FPictureInUse).absoluteFilePath();
    use.PartWidth = FStore.PartWidth();
    use.PartHeight = FStore.PartHeight();
    // Only the header is read; a format only a plug-in reads has no size here.
    const QSize size = QImageReader(FPictureInUse).size();
    use.PictureWidth = size.isValid() ? size.width() : 0;
    use.PictureHeight = size.isValid() ? size.height() : 0;
    return use;
}

bool TPartsPictureFiles::Load(const QString& fileName)
{
    if (!FStore.LoadPartsPicture(fileName)) {
        // Nothing changed; the user learns why nothing happened without a box to close.
        showStatus(
            QStringLiteral("パーツ画像 %1 を読み込めません").arg(QFileInfo(fileName).fileName()));
        return false;
    }
    setPictureInUse(fileName);
    return true;
}

void TPartsPictureFiles::AskAndLoad()
{
    TFileDialogRequest OpenPictureDialog;
    OpenPictureDialog.DialogMode = TFileDialogRequest::Open;
    OpenPictureDialog.Title = QStringLiteral("パーツ画像の読み込み");
    OpenPictureDialog.NameFilters = OpenDialogFilters();
    OpenPictureDialog.PicturePreview = true;
    OpenPictureDialog.Directory = FSettings.PartsFolder();
    const std::optional<QString> name = RunFileDialog(FDialogParent, OpenPictureDialog);
    if (!name)
        return;
    FSettings.SetPartsFolder(QFileInfo(*name).absolutePath());
    Load(*name);
}

void TPartsPictureFiles::LoadForMap(const QString& mapFileName)
{
    loadRemembered(FSettings.PartsPictureFor(mapFileName));
}

void TPartsPictureFiles::LoadLast()
{
    loadRemembered(FSettings.LastPartsPicture());
}

void TPartsPictureFiles::loadRemembered(const TPartsPictureUse& use)
{
    if (use.IsEmpty())
        return;
    const QString name = QFileInfo(use.Picture).fileName();
    if (!QFileInfo(use.Picture).isFile()) {
        showStatus(QStringLiteral("パーツ画像 %1 が見つかりません").arg(name));
        return;
    }
    const QSize size = QImageReader(use.Picture).size();
    const bool resized = use.PictureWidth > 0 && size.isValid() &&
                         size != QSize(use.PictureWidth, use.PictureHeight);
    if (resized || use.PartWidth != FStore.PartWidth() || use.PartHeight != FStore.PartHeight()) {
        showStatus(QStringLiteral("パーツ画像 %1 は大きさが合わないため読み込みません").arg(name));
        return;
    }
    Load(use.Picture);
}

QString TPartsPictureFiles::mapSourceName() const
{
    return MapSourceName ? MapSourceName() : QString();
}

bool TPartsPictureFiles::isMapName(const QString& fileName) const
{
    return IsMapFileName(fileName, MapExtensions ? MapExtensions() : QStringList(),
                         mapSourceName());
}

std::optional<QString> TPartsPictureFiles::runSaveDialog(const QString& suggested)
{
    QString name = suggested;
    // Without a name of its own the picture is proposed beside the map it belongs to.
    const QString map = mapSourceName();
    if ((name.isEmpty() || isMapName(name)) && !map.isEmpty())
        name = PartsPictureBesideMap(map);
    for (;;) {
        const std::optional<QString> chosen =
            RunFileDialog(FDialogParent, SavePictureDialog(name, FSettings.PartsFolder()));
        if (!chosen)
            return std::nullopt;
        FSettings.SetPartsFolder(QFileInfo(*chosen).absolutePath());
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

void TPartsPictureFiles::writePicture(const QString& fileName)
{
    FStore.WritePartsPicture(fileName);
    setPictureInUse(fileName);
}

void TPartsPictureFiles::writeAs(const QString& fileName)
{
    // The dialog keeps the chosen name even when the write then fails.
    FStore.SetFileName(fileName);
    writePicture(fileName);
}

bool TPartsPictureFiles::Save()
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
    writeAs(*name);
    return true;
}

bool TPartsPictureFiles::SaveAs()
{
    const QString remembered = FStore.FileName();
    const std::optional<QString> name =
        runSaveDialog(FStore.SheetFormatFor(remembered).isEmpty() && !remembered.isEmpty()
                          ? WithBmpSuffix(remembered)
                          : remembered);
    if (!name)
        return false;
    writeAs(*name);
    return true;
}

QStringList TPartsPictureFiles::OpenDialogFilters() const
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
