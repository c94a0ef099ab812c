#include "PartsExternal.h"

#include "Dialogs.h"
#include "PartsStore.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>
#include <exception>

QString EditPartsPictureElsewhere(QWidget* parent, const TPartsStore& parts, const QString& editor,
                                  const std::function<bool()>& save,
                                  const std::function<QString()>& picture)
{
    // The other program sees the file, not the parts here.
    try {
        if (parts.IsPartsModified()) {
            switch (AskConfirm(parent, QStringLiteral("パーツデータを上書き保存しますか？"),
                               TConfirmButtons::YesNoCancel)) {
            case TAnswer::Yes:
                if (!save())
                    return {};
                break;
            case TAnswer::No:
                break;
            default:
                return {};
            }
        }
        if (picture().isEmpty() && !save())
            return {};
    } catch (const std::exception& e) {
        ShowError(parent, QString::fromUtf8(e.what()));
        return {};
    }
    const QString file = QFileInfo(picture()).absoluteFilePath();
    if (editor.isEmpty()) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
            return QStringLiteral("パーツ画像 %1 を開くプログラムがありません")
                .arg(QFileInfo(file).fileName());
        return {};
    }
    if (!QProcess::startDetached(editor, {file}))
        return QStringLiteral("%1 を起動できません").arg(editor);
    return {};
}
