#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QHBoxLayout;
class QWidget;

// Every message box, beep, file dialog and modal showing of the program goes through
// these functions, so that tests can answer them from a script and see what was asked.

enum class TAnswer
{
    Yes,
    No,
    Cancel,
    Ok
};

// The buttons a confirmation box offers.
enum class TConfirmButtons
{
    YesNoCancel,
    YesCancel,
    YesNo
};

// A confirmation box titled "確認"; returns the button chosen (Cancel when the box was
// closed otherwise).
TAnswer AskConfirm(QWidget* parent, const QString& text, TConfirmButtons buttons);

// An error box titled "エラー" with one OK button.
void ShowError(QWidget* parent, const QString& text);

// A warning box titled "警告" with one OK button.
void ShowWarning(QWidget* parent, const QString& text);

enum class TBeep
{
    Default,
    Exclamation
};
void Beep(TBeep kind = TBeep::Default);

struct TFileDialogRequest
{
    enum Mode
    {
        Open,
        Save
    } DialogMode = Open;
    QString Title;
    QStringList NameFilters; // Qt name filters, "text (*.ext)" or the program's own texts
    QString DefaultSuffix;   // without the period
    QString FileName;        // the file name the dialog starts with
    QString Directory;       // the folder it shows when FileName names none
    bool ConfirmOverwrite = true;
    bool PicturePreview = false; // an open dialog shows the chosen picture beside the files
};

// Runs a file dialog; the chosen file's full path, or nullopt when cancelled. A save
// dialog starts on the filter of FileName's extension, and choosing a filter of one
// extension gives the typed name that extension.
std::optional<QString> RunFileDialog(QWidget* parent, const TFileDialogRequest& request);

// Waits while a window that is not a dialog is shown modally: `wait` runs until the user
// closes it. Under a test script the script's ModalWindow acts as the user instead.
void RunModalWindow(QWidget* window, const std::function<void()>& wait);

// The row of "OK" (the default button, accepts) and "キャンセル" (rejects) under a dialog.
QHBoxLayout* OkCancelRow(QDialog* dialog);

// Makes a window wide enough for its title to show whole in its frame.
void FitTitle(QWidget* window);

// Shows a dialog modally and returns its result (QDialog::Accepted / Rejected).
int RunModal(QDialog* dialog);

// Keeps a window above the others, or lets it go; a shown window stays shown.
void SetStaysOnTop(QWidget* window, bool onTop);

// Scripting for tests: while a script is installed it answers in place of the user.
// Each call is recorded, in order, as one line of text.
struct TDialogScript
{
    std::function<TAnswer(const QString& text, TConfirmButtons)> Confirm;
    std::function<std::optional<QString>(const TFileDialogRequest&)> FileDialog;
    // Called in place of exec(); may change the dialog's controls, returns its result.
    std::function<int(QDialog*)> Modal;
    // Called in place of waiting on a modal window (RunModalWindow); may click it.
    std::function<void(QWidget*)> ModalWindow;
    QStringList Log;
};

// Installs a script (nullptr: back to the real dialogs). The caller keeps it alive.
void SetDialogScript(TDialogScript* script);
TDialogScript* DialogScript();

// "text|pattern|text|pattern" filters as written for the program's dialogs, turned into Qt
// name filters: "BMP|*.bmp" becomes "BMP (*.bmp)", patterns joined by ';' are listed with
// spaces. The file dialog hides the parenthesised patterns, so it shows each text exactly
// as written ("マップファイル(*.mpd)", "全てのファイル").
QStringList NameFiltersFromPairs(const QString& pairs);
