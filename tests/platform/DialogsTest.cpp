#include "Dialogs.h"

#include "FifoWatch.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(NameFiltersFromPairs, MapBmpAndPartsFilters)
{
    // The patterns go in parentheses after the text, which the dialog then shows unchanged.
    EXPECT_EQ(
        NameFiltersFromPairs(QStringLiteral("マップファイル(*.mpd)|*.mpd|全てのファイル|*.*")),
        (QStringList{QStringLiteral("マップファイル(*.mpd) (*.mpd)"),
                     QStringLiteral("全てのファイル (*.*)")}));
    EXPECT_EQ(NameFiltersFromPairs(QStringLiteral("BMP|*.bmp|全てのファイル|*.*")),
              (QStringList{QStringLiteral("BMP (*.bmp)"), QStringLiteral("全てのファイル (*.*)")}));
    // Several patterns joined by ';' become the space-separated list Qt reads.
    EXPECT_EQ(NameFiltersFromPairs(QStringLiteral(
                  "主要な画像ファイル|*.bmp;*.png;*.jpg;*.jpeg;*.gif|BMP (*.bmp)|*.bmp|"
                  "JPEG (*.jpg, *.jpeg)|*.jpg;*.jpeg|全てのファイル|*.*")),
              (QStringList{QStringLiteral("主要な画像ファイル (*.bmp *.png *.jpg *.jpeg *.gif)"),
                           QStringLiteral("BMP (*.bmp) (*.bmp)"),
                           QStringLiteral("JPEG (*.jpg, *.jpeg) (*.jpg *.jpeg)"),
                           QStringLiteral("全てのファイル (*.*)")}));
}

TEST(DialogScript, AnswersInPlaceOfTheUserAndLogsInOrder)
{
    TDialogScript script;
    SetDialogScript(&script);
    script.Confirm = [](const QString&, TConfirmButtons buttons) {
        return buttons == TConfirmButtons::YesNoCancel ? TAnswer::No : TAnswer::Yes;
    };
    script.FileDialog = [](const TFileDialogRequest& request) -> std::optional<QString> {
        return QStringLiteral("/tmp/a.") + request.DefaultSuffix;
    };
    script.Modal = [](QDialog* dialog) {
        return dialog->objectName() == QStringLiteral("NewDlg") ? int(QDialog::Accepted)
                                                                : int(QDialog::Rejected);
    };
    QDialog dialog;
    dialog.setObjectName(QStringLiteral("NewDlg"));
    TFileDialogRequest request;
    request.DialogMode = TFileDialogRequest::Save;
    request.Title = QStringLiteral("マップデータの保存");
    request.DefaultSuffix = QStringLiteral("mpd");

    EXPECT_EQ(AskConfirm(nullptr, QStringLiteral("保存しますか?"), TConfirmButtons::YesNoCancel),
              TAnswer::No);
    ShowError(nullptr, QStringLiteral("読めません"));
    Beep(TBeep::Exclamation);
    EXPECT_EQ(RunFileDialog(nullptr, request),
              std::optional<QString>(QStringLiteral("/tmp/a.mpd")));
    EXPECT_EQ(RunModal(&dialog), int(QDialog::Accepted));
    EXPECT_EQ(AskConfirm(nullptr, QStringLiteral("消しますか?"), TConfirmButtons::YesNo),
              TAnswer::Yes);
    // A script without answers cancels.
    script.Confirm = nullptr;
    script.FileDialog = nullptr;
    EXPECT_EQ(AskConfirm(nullptr, QStringLiteral("q"), TConfirmButtons::YesCancel),
              TAnswer::Cancel);
    request.DialogMode = TFileDialogRequest::Open;
    EXPECT_EQ(RunFileDialog(nullptr, request), std::nullopt);
    SetDialogScript(nullptr);

    EXPECT_EQ(
        script.Log,
        (QStringList{QStringLiteral("confirm[YesNoCancel]: 保存しますか?"),
                     QStringLiteral("error: 読めません"), QStringLiteral("beep: exclamation"),
                     QStringLiteral("file dialog[save]: マップデータの保存"),
                     QStringLiteral("modal: NewDlg"), QStringLiteral("confirm[YesNo]: 消しますか?"),
                     QStringLiteral("confirm[YesCancel]: q"),
                     QStringLiteral("file dialog[open]: マップデータの保存")}));
    EXPECT_EQ(DialogScript(), nullptr);
}

TEST(RunFileDialog, ASaveDialogsNameFollowsItsFilter)
{
    SetDialogScript(nullptr);
    TFileDialogRequest request;
    request.DialogMode = TFileDialogRequest::Save;
    request.NameFilters =
        NameFiltersFromPairs(QStringLiteral("BMP|*.bmp|PNG|*.png|全てのファイル|*.*"));
    request.DefaultSuffix = QStringLiteral("bmp");
    request.FileName = QDir::temp().filePath(QStringLiteral("tiles.png"));
    QString startFilter;
    QString afterBmp;
    QString afterAll;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(edit);
        startFilter = dialog->selectedNameFilter();
        auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_TRUE(combo);
        // As the user picks them, through the combo box.
        combo->setCurrentIndex(0);
        emit combo->activated(0);
        emit combo->textActivated(combo->itemText(0));
        afterBmp = edit->text();
        combo->setCurrentIndex(2);
        emit combo->activated(2);
        emit combo->textActivated(combo->itemText(2));
        afterAll = edit->text();
        dialog->reject();
    });
    EXPECT_FALSE(RunFileDialog(nullptr, request));
    EXPECT_TRUE(startFilter.startsWith(QStringLiteral("PNG"))) << startFilter.toStdString();
    EXPECT_EQ(afterBmp, QStringLiteral("tiles.bmp"));
    EXPECT_EQ(afterAll, QStringLiteral("tiles.bmp"));
}

// The open dialog's preview shows the picture under the cursor, and never opens a FIFO: a
// read of it would freeze the dialog until something writes to it.
TEST(RunFileDialog, ThePreviewShowsPicturesAndLeavesFifosAlone)
{
    SetDialogScript(nullptr);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString picture = dir.filePath(QStringLiteral("tiles.png"));
    QImage red(40, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(picture));
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo.png")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);

    TFileDialogRequest request;
    request.DialogMode = TFileDialogRequest::Open;
    request.Directory = dir.path();
    request.PicturePreview = true;
    TFifoWatch watch(fifo);
    QSize shownForPicture;
    bool shownForFifo = true;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        QLabel* preview = nullptr;
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (label->frameShape() == QFrame::StyledPanel && label->size() == QSize(160, 160))
                preview = label;
        }
        ASSERT_TRUE(preview);
        emit dialog->currentChanged(picture);
        shownForPicture = preview->pixmap().size();
        emit dialog->currentChanged(QFile::decodeName(fifo));
        shownForFifo = !preview->pixmap().isNull();
        dialog->reject();
    });
    EXPECT_FALSE(RunFileDialog(nullptr, request));
    EXPECT_FALSE(watch.Stop()) << "the preview opened the FIFO to read it";
    EXPECT_EQ(shownForPicture, QSize(40, 20));
    EXPECT_FALSE(shownForFifo);
}
