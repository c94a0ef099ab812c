#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTreeView>
#include <algorithm>

namespace {

TDialogScript* gScript = nullptr;

void log(const QString& line)
{
    if (gScript)
        gScript->Log << line;
}

QString buttonsText(TConfirmButtons buttons)
{
    switch (buttons) {
    case TConfirmButtons::YesNoCancel:
        return QStringLiteral("YesNoCancel");
    case TConfirmButtons::YesCancel:
        return QStringLiteral("YesCancel");
    case TConfirmButtons::YesNo:
        break;
    }
    return QStringLiteral("YesNo");
}

// A small picture of the file under the cursor, beside the file list.
void addPicturePreview(QFileDialog& dialog)
{
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid)
        return;
    constexpr int Side = 160;
    auto* preview = new QLabel(&dialog);
    preview->setFixedSize(Side, Side);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameShape(QFrame::StyledPanel);
    grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
    QObject::connect(
        &dialog, &QFileDialog::currentChanged, preview, [preview](const QString& path) {
            // A FIFO or a device under the cursor would block the dialog, or never end.
            if (!QFileInfo(path).isFile()) {
                preview->setPixmap(QPixmap());
                return;
            }
            QImageReader reader(path);
            const QSize size = reader.size();
            if (size.isValid() && (size.width() > Side || size.height() > Side))
                reader.setScaledSize(size.scaled(Side, Side, Qt::KeepAspectRatio));
            const QImage picture = reader.read();
            preview->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture));
        });
}

// The extension a name filter stands for: "bmp" for "BMP (*.bmp)"; empty for a filter of
// several patterns or of every file.
QString filterSuffix(const QString& filter)
{
    const qsizetype open = filter.lastIndexOf(u'(');
    const qsizetype close = filter.lastIndexOf(u')');
    if (open < 0 || close < open)
        return {};
    const QString pattern = filter.mid(open + 1, close - open - 1).trimmed();
    if (pattern.contains(u' ') || !pattern.startsWith(u"*.") || pattern == u"*.*")
        return {};
    return pattern.mid(2);
}

// A save dialog whose filters each stand for one extension: the name it suggests and the
// extension it adds follow the chosen filter, so that a name never says one format while
// the filter says another.
void followFilterSuffix(QFileDialog& dialog, const TFileDialogRequest& request)
{
    const QString suffix = QFileInfo(request.FileName).suffix();
    if (!suffix.isEmpty()) {
        for (const QString& filter : request.NameFilters) {
            if (filterSuffix(filter).compare(suffix, Qt::CaseInsensitive) == 0) {
                dialog.selectNameFilter(filter);
                dialog.setDefaultSuffix(filterSuffix(filter));
                break;
            }
        }
    }
    // The dialog names the filter without its patterns: it is found by its place.
    const QStringList filters = request.NameFilters;
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, filters](const QString& shown) {
                         auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                         QString filter = shown;
                         for (const QString& f : filters) {
                             if (f.startsWith(shown)) {
                                 filter = f;
                                 break;
                             }
                         }
                         const QString wanted = filterSuffix(filter);
                         if (!wanted.isEmpty())
                             dialog.setDefaultSuffix(wanted);
                         if (!edit || edit->text().isEmpty())
                             return;
                         const QFileInfo typed(edit->text());
                         if (typed.suffix().isEmpty())
                             return;
                         // The filter of every file keeps the extension the name had (Qt
                         // would give it the pattern's "*").
                         const QString suffix = wanted.isEmpty() ? dialog.defaultSuffix() : wanted;
                         if (!suffix.isEmpty())
                             edit->setText(typed.completeBaseName() + u'.' + suffix);
                     });
}

// Gives the keyboard focus back, when a dialog closes, to the window that was active when
// it opened. The main window and the parts window share shortcuts (Ctrl+S, Ctrl+C, Del)
// for different things: the next key must reach the window the user was working in, not
// whichever the window system activates.
class TFocusReturn
{
public:
    explicit TFocusReturn(QWidget* parent)
        : FWindow(QApplication::activeWindow() ? QApplication::activeWindow()
                  : parent                     ? parent->window()
                                               : nullptr)
    {
    }
    ~TFocusReturn()
    {
        if (!FWindow || !FWindow->isVisible())
            return;
        FWindow->raise();
        FWindow->activateWindow();
    }
    TFocusReturn(const TFocusReturn&) = delete;
    TFocusReturn& operator=(const TFocusReturn&) = delete;

private:
    QPointer<QWidget> FWindow;
};

} // namespace

void SetDialogScript(TDialogScript* script)
{
    gScript = script;
}

TDialogScript* DialogScript()
{
    return gScript;
}

TAnswer AskConfirm(QWidget* parent, const QString& text, TConfirmButtons buttons)
{
    log(QStringLiteral("confirm[%1]: %2").arg(buttonsText(buttons), text));
    if (gScript)
        return gScript->Confirm ? gScript->Confirm(text, buttons) : TAnswer::Cancel;

    const TFocusReturn focus(parent);
    QMessageBox box(QMessageBox::Question, QStringLiteral("確認"), text, QMessageBox::NoButton,
                    parent);
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = nullptr;
    QPushButton* cancel = nullptr;
    if (buttons != TConfirmButtons::YesCancel)
        no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    if (buttons != TConfirmButtons::YesNo)
        cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel ? static_cast<QAbstractButton*>(cancel) : no);
    box.exec();
    if (box.clickedButton() == yes)
        return TAnswer::Yes;
    if (no && box.clickedButton() == no)
        return TAnswer::No;
    return TAnswer::Cancel;
}

void ShowError(QWidget* parent, const QString& text)
{
    log(QStringLiteral("error: %1").arg(text));
    if (gScript)
        return;
    const TFocusReturn focus(parent);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("エラー"), text, QMessageBox::Ok, parent);
    box.exec();
}

void ShowWarning(QWidget* parent, const QString& text)
{
    log(QStringLiteral("warning: %1").arg(text));
    if (gScript)
        return;
    const TFocusReturn focus(parent);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("警告"), text, QMessageBox::Ok, parent);
    box.exec();
}

void Beep(TBeep kind)
{
    log(kind == TBeep::Exclamation ? QStringLiteral("beep: exclamation")
                                   : QStringLiteral("beep: default"));
    if (!gScript)
        QApplication::beep();
}

namespace {

// Wide enough that the detail view's columns (size, type, date) show whole beside the names.
void fitFileColumns(QFileDialog& dialog)
{
    const QFontMetrics metrics(dialog.font());
    dialog.resize(std::max(dialog.sizeHint().width(), metrics.averageCharWidth() * 110),
                  std::max(dialog.sizeHint().height(), metrics.height() * 28));
    if (auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView* header = view->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < header->count(); ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
}

} // namespace

std::optional<QString> RunFileDialog(QWidget* parent, const TFileDialogRequest& request)
{
    log(QStringLiteral("file dialog[%1]: %2")
            .arg(request.DialogMode == TFileDialogRequest::Open ? QStringLiteral("open")
                                                                : QStringLiteral("save"),
                 request.Title));
    if (gScript)
        return gScript->FileDialog ? gScript->FileDialog(request) : std::nullopt;

    const TFocusReturn focus(parent);
    QFileDialog dialog(parent, request.Title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(request.DialogMode == TFileDialogRequest::Open ? QFileDialog::AcceptOpen
                                                                        : QFileDialog::AcceptSave);
    dialog.setFileMode(request.DialogMode == TFileDialogRequest::Open ? QFileDialog::ExistingFile
                                                                      : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.ConfirmOverwrite);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // The filters' texts are shown as the program writes them, without Qt's pattern lists.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(request.NameFilters);
    dialog.setDefaultSuffix(request.DefaultSuffix);
    if (!request.Directory.isEmpty())
        dialog.setDirectory(request.Directory);
    if (!request.FileName.isEmpty())
        dialog.selectFile(request.FileName);
    if (request.DialogMode == TFileDialogRequest::Save)
        followFilterSuffix(dialog, request);
    if (request.PicturePreview)
        addPicturePreview(dialog);
    fitFileColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

void RunModalWindow(QWidget* window, const std::function<void()>& wait)
{
    log(QStringLiteral("modal: %1").arg(window->objectName()));
    if (gScript) {
        if (gScript->ModalWindow)
            gScript->ModalWindow(window);
        return;
    }
    const TFocusReturn focus(window->parentWidget());
    wait();
}

QHBoxLayout* OkCancelRow(QDialog* dialog)
{
    auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル"), dialog);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

void FitTitle(QWidget* window)
{
    // The frame's title font is the application's, a little larger under most window
    // managers; the rest is the icon and the frame's buttons.
    QFont font = window->font();
    font.setPointSizeF(font.pointSizeF() * 1.2);
    const int title = QFontMetrics(font).horizontalAdvance(window->windowTitle());
    window->setMinimumWidth(std::max(window->minimumWidth(), title + 140));
}

int RunModal(QDialog* dialog)
{
    log(QStringLiteral("modal: %1").arg(dialog->objectName()));
    if (gScript)
        return gScript->Modal ? gScript->Modal(dialog) : int(QDialog::Rejected);
    const TFocusReturn focus(dialog->parentWidget());
    return dialog->exec();
}

QStringList NameFiltersFromPairs(const QString& pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the last parentheses; the dialog hides them, so the
        // user sees the text exactly as written.
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters;
}

void SetStaysOnTop(QWidget* window, bool onTop)
{
    if (!window || window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop)
        return;
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (visible)
        window->show();
}
