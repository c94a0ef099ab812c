#pragma once

#include "Forms.h"
#include "PictureFormats.h"

#include <QString>

struct TProgramOptions
{
    // The settings file; empty for the program's own INI file beside it. Tests use their own.
    QString IniFileName;
};

// The program: creates its windows in their fixed order (each runs its creation handler),
// shows the ones visible at start, runs the event loop, and destroys the windows in the
// reverse order (each writes its settings), the main window with the settings store last.
class TQuiltmapperProgram
{
public:
    explicit TQuiltmapperProgram(const TProgramOptions& options = {});
    ~TQuiltmapperProgram();
    TQuiltmapperProgram(const TQuiltmapperProgram&) = delete;
    TQuiltmapperProgram& operator=(const TQuiltmapperProgram&) = delete;

    TForms& Forms() { return FForms; }
    const TPictureFormats& PictureFormats() const { return FFormats; }

    // Shows the main window, the parts window and the tool box.
    void ShowWindows();
    // ShowWindows, then the event loop until the main window closes; the exit code.
    int Run();

private:
    void destroyWindows();

    TPictureFormats FFormats;
    TForms FForms;
};
