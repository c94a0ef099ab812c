#include "Program.h"

#include "Parts.h"
#include "env.h"
#include "main.h"
#include "new.h"
#include "replace.h"
#include "title.h"
#include "tool.h"
#include "transparts.h"

#include <QApplication>

namespace {

// Destroys one window and clears its entry, so that the windows still alive never reach it.
template <class T> void destroy(T*& window)
{
    delete window;
    window = nullptr;
}

} // namespace

TQuiltmapperProgram::TQuiltmapperProgram(const TProgramOptions& options)
    : FFormats(TPictureFormats::WithQtFormats())
{
    try {
        FForms.MainForm = new TMainForm(FForms, options.IniFileName);
        FForms.PartsForm = new TPartsForm(FForms, FFormats);
        FForms.TitleForm = new TTitleForm(FForms);
        FForms.ToolForm = new TToolForm(FForms);
        FForms.EnvDlg = new TEnvDlg(FForms);
        FForms.ReplaceDlg = new TReplaceDlg(FForms.MainForm);
        FForms.NewCreateDlg = new TNewCreateDlg(FForms.MainForm);
        FForms.TranslucenPartsDlg = new TTranslucenPartsDlg(FForms.MainForm);
    } catch (...) {
        // A window that cannot be created stops the start: the program does not run
        // half-built. The ones already made are taken down in order.
        destroyWindows();
        throw;
    }
}

TQuiltmapperProgram::~TQuiltmapperProgram()
{
    destroyWindows();
}

void TQuiltmapperProgram::destroyWindows()
{
    // Reverse order of creation; each destructor writes its settings through the main
    // window's store, so the main window goes last. The dialogs are its children: take
    // them down explicitly first, so they go in order too.
    destroy(FForms.TranslucenPartsDlg);
    destroy(FForms.NewCreateDlg);
    destroy(FForms.ReplaceDlg);
    destroy(FForms.EnvDlg);
    destroy(FForms.ToolForm);
    destroy(FForms.TitleForm);
    destroy(FForms.PartsForm);
    destroy(FForms.MainForm);
}

void TQuiltmapperProgram::ShowWindows()
{
    FForms.MainForm->show();
    FForms.PartsForm->show();
    FForms.ToolForm->show();
    // The title window, shown at its creation, stays in front of the windows shown after
    // it, also where no window manager keeps it on top.
    if (FForms.TitleForm->isVisible())
        FForms.TitleForm->raise();
}

int TQuiltmapperProgram::Run()
{
    ShowWindows();
    return QApplication::exec();
}
