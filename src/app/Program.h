#pragma once

#include "Forms.h"
#include "IniGT.h"
#include "MainFormLinks.h"
#include "MapDocument.h"
#include "MapSession.h"
#include "PartsStore.h"
#include "PictureFormats.h"
#include "ProgramModels.h"
#include "Settings.h"
#include "TerrainStore.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

// Where the windows go when the settings file holds no placement for them: client
// rectangles (the tool box: its client's top left) on the screen's free area.
struct TFirstStartLayout
{
    QRect Main;
    QRect Parts;
    QPoint Tool;
};

struct TProgramOptions
{
    // The settings file; empty for the program's own INI file beside it. Tests use their own.
    QString IniFileName;
};

// The program: owns what the windows share (the settings file, the settings model, the map
// session with its document and parts), creates the windows in their fixed order (each reads its
// own settings), shows the ones visible at start, runs the event loop, and destroys the windows in
// the reverse order (each writes its settings). It is the one place that knows every window: it
// connects them and carries out the main window's commands on the others.
class TQuiltmapperProgram : private TMainFormLinks
{
public:
    explicit TQuiltmapperProgram(const TProgramOptions& options = {});
    ~TQuiltmapperProgram() override;
    TQuiltmapperProgram(const TQuiltmapperProgram&) = delete;
    TQuiltmapperProgram& operator=(const TQuiltmapperProgram&) = delete;

    TForms& Forms() { return FForms; }
    const TPictureFormats& PictureFormats() const { return FFormats; }
    const TProgramModels& Models() const { return FModels; }

    // The main window at the left of the free area, the parts window right of it, wide
    // enough for all its columns when the screen allows (it gives way first, then the main
    // window), the tool box below the main window; room is left for window frames.
    static TFirstStartLayout FirstStartLayout(const QRect& available, const QSize& main,
                                              const QSize& parts, const QSize& tool);

    // Lays out the windows whose placement the settings file does not hold, on the primary
    // screen (FirstStartLayout). Run does it before it shows them.
    void PlaceNewWindows();
    // The overview beside the tool box when it has no placement of its own; on a screen
    // without room for it there, it starts hidden.
    void placeOverview(const QRect& available);

    // Loads a map file as a drop on the main window does, without the beep.
    void OpenMapFile(const QString& fileName);

    // Shows the main window, the parts window and the tool box.
    void ShowWindows();
    // ShowWindows, then the event loop until the main window closes; the exit code.
    int Run();

private:
    void createWindows();
    void connectWindows();
    void destroyWindows();
    // The settings dialog's keys, written where the dialog is taken down.
    void writeSettings();

    // TMainFormLinks
    std::optional<TNewMapChoice> RunNewMapDialog() override;
    std::optional<TReplaceChoice> RunReplaceDialog() override;
    bool RunSettingsDialog() override;
    std::optional<TMapPictureChoice>
    RunMapPictureDialog(const TMapPictureRequest& request) override;
    void ShowAbout() override;
    void ShowPartsWindow(bool shown) override;
    void ShowToolBox(bool shown) override;
    void ShowOverview(bool shown) override;
    uint8_t SelectedPartNumber() override;
    void SelectPart(uint8_t part) override;
    std::optional<QImage> RunOverlay(uint8_t source, const QImage& target) override;
    bool SavePartsPicture() override;
    void MapFileLoaded(const QString& fileName) override;
    void MapFileSaved(const QString& fileName) override;
    QString PartsPictureInUse() override;
    // The parts picture now in use is the last one, and the map file's.
    void rememberPartsPicture(const QString& mapFileName);
    // The main window's keys also act in the tool box and, where free, in the parts window.
    void shareMainWindowKeys();

    TPictureFormats FFormats;
    TIniGT FIniGT;
    TSettings FSettings;
    TMapSession FSession;
    TMapDocument& FDocument;
    TPartsStore& FParts;
    TTerrainStore FTerrain;
    TProgramModels FModels;
    TForms FForms;
};
