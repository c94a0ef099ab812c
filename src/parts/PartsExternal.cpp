#include "Dialogs.h"
#include "Parts.h"
#include "Settings.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QUrl>
#include <exception>

void TPartsForm::ExternalEdit1Click()
{
    // The other program sees the file, not the parts here: unsaved parts are offered to be
    // saved first, as on closing; without a picture of their own they are saved first.
    try {
        if (FStore.IsPartsModified()) {
            switch (AskConfirm(this, QStringLiteral("パーツデータを上書き保存しますか？"),
                               TConfirmButtons::YesNoCancel)) {
            case TAnswer::Yes:
                if (!SavePartsPicture())
                    return;
                break;
            case TAnswer::No:
                break;
            default:
                return;
            }
        }
        if (FPictureInUse.isEmpty() && !SavePartsPicture())
            return;
    } catch (const std::exception& e) {
        ShowError(this, QString::fromUtf8(e.what()));
        return;
    }
    const QString picture = QFileInfo(FPictureInUse).absoluteFilePath();
    const QString editor = FModels.Settings.PartsEditor();
    if (editor.isEmpty()) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(picture)))
            StatusText->setText(QStringLiteral("パーツ画像 %1 を開くプログラムがありません")
                                    .arg(QFileInfo(picture).fileName()));
        return;
    }
    if (!QProcess::startDetached(editor, {picture}))
        StatusText->setText(QStringLiteral("%1 を起動できません").arg(editor));
}
