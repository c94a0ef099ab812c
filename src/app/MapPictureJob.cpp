#include "MapPictureJob.h"

#include "Dialogs.h"
#include "MainFormLinks.h"
#include "MapDocument.h"
#include "MapPicture.h"
#include "PartsStore.h"
#include "ProgramModels.h"
#include "ProgressRun.h"
#include "Settings.h"

#include <QFileInfo>
#include <array>

namespace {

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

void RunMapPictureJob(QWidget* parent, const TProgramModels& models, TMainFormLinks& links,
                      const QString& mapFileName)
{
    const TMapDocument& doc = models.Document;
    TSettings& settings = models.Settings;
    TFileDialogRequest SaveFullMapPicDialog;
    SaveFullMapPicDialog.DialogMode = TFileDialogRequest::Save;
    SaveFullMapPicDialog.Title = QStringLiteral("マップ全景を画像ファイルに保存");
    SaveFullMapPicDialog.NameFilters = NameFiltersFromPairs(
        QStringLiteral("BMP (*.bmp)|*.bmp|PNG (*.png)|*.png|全てのファイル(*.*)|*.*"));
    SaveFullMapPicDialog.DefaultSuffix = QStringLiteral("bmp");
    const std::optional<QString> fileName = RunFileDialog(parent, SaveFullMapPicDialog);
    if (!fileName)
        return;
    const QString suffix = QFileInfo(*fileName).suffix().toLower();
    if (suffix != u"bmp" && suffix != u"png") {
        ShowError(parent, QStringLiteral("マップ全景は BMP (.bmp) か PNG (.png) で保存します"));
        return;
    }
    const TPartsStore& store = models.Parts;
    TMapPictureRequest ask;
    ask.FileName = *fileName;
    ask.Png = suffix == u"png";
    ask.MapWidth = doc.MapWidth();
    ask.MapHeight = doc.MapHeight();
    ask.PartSize = QSize(store.PartWidth(), store.PartHeight());
    ask.ViewCellSize = settings.CellSize();
    ask.Choice = settings.MapPictureChoice();
    const std::optional<TMapPictureChoice> choice = links.RunMapPictureDialog(ask);
    if (!choice)
        return;
    settings.SetMapPictureChoice(*choice);

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
        ShowError(parent,
                  QStringLiteral("%1 の画像は保存できません。%2").arg(size, refusalText(plan)));
        return;
    }
    // Billions of pixels take hours and gigabytes: nothing starts unless the user says so.
    constexpr qint64 LargePicturePixels = 4'000'000'000;
    if (plan.Width * plan.Height > LargePicturePixels &&
        AskConfirm(parent,
                   QStringLiteral("%1 (約 %2 億ピクセル) の画像になります。保存には長い時間と"
                                  "大きな空き容量が必要です。保存しますか？")
                       .arg(size)
                       .arg(plan.Width * plan.Height / 100'000'000),
                   TConfirmButtons::YesNo) != TAnswer::Yes)
        return;
    std::array<QImage, 256> parts;
    for (int n = 0; n < 256; ++n)
        parts[size_t(n)] = store.PartBitmap(n);
    options.Inputs = {mapFileName, links.PartsPictureInUse()};
    // The window is application-modal: the map and the parts cannot change under the writer.
    const TProgressWindow window{
        QStringLiteral("MapPictureProgress"), QStringLiteral("マップ全景を画像ファイルに保存"),
        QStringLiteral("マップ全景を保存しています"), [](qint64 done, qint64 all) {
            return QStringLiteral("マップ全景を保存しています: %1 / %2 行").arg(done).arg(all);
        }};
    const TFileWriteResult written =
        RunWithProgress(parent, window, [&](const TProgress& progress) {
            return WriteMapPicture(*fileName, doc.MapCells(), doc.MapWidth(), doc.MapHeight(),
                                   parts, options, progress);
        });
    if (written.Cancelled)
        ShowWarning(parent, QStringLiteral("保存を取り消しました。画像ファイルは残っていません"));
    else if (!written)
        ShowError(parent, QStringLiteral("%1 の画像を保存できませんでした。画像ファイルは残って"
                                         "いません\n%2\n%3")
                              .arg(size, written.FileName, written.Error));
}
