#pragma once

#include "MapFile.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QMenu;
class QWidget;
class TMainFormLinks;
class TMapSession;
class TSettings;

// The map-file commands of the main window with their dialogs and questions: new, open,
// save, save as, the recent maps, a dropped file, the questions of closing, TMX export and
// import. The work itself is the session's; this adds what the user sees around it. The
// dialogs' extension and filters are the window's, read at each dialog.
class TMapFileCommands
{
public:
    TMapFileCommands(QWidget& window, TMapSession& session, TSettings& settings,
                     TMainFormLinks& links, const QString& extension, const QStringList& mapFilters,
                     const QStringList& openFilters);

    // Stores part edits held outside the parts (the magnifier's), so that the parts question
    // covers them.
    std::function<void()> StoreHeldPartEdits;

    // "新規作成": the new-map dialog, then the map's and the parts' changes offered for
    // saving, then the new map with parts of the chosen size.
    void NewMapClick();
    // "開く": the open dialog, the changes offered for saving, the load.
    void OpenClick();
    // A map of the recent maps or a dropped file: the changes offered, then the load.
    void OpenRecentMap(const QString& fileName);
    void DropFiles(const QStringList& fileNames);

    // Saves under the name, telling the user when it fails.
    bool SaveMapFile(const QString& fileName);
    // Saves under the map's name, asking for one when there is none; false when nothing
    // was saved (the dialog cancelled or the save failed).
    bool SaveOverwrite();
    void SaveAsClick();
    // Loads the map, telling the user when it fails.
    bool LoadMapFile(const QString& fileName);

    // The questions of closing: the map's changes, then the parts' (also after Cancel on
    // the first). False when either was cancelled or its save did not happen.
    bool QueryUnsavedChanges();
    // The parts question alone; false when it was cancelled or the save did not happen.
    bool QueryUnsavedParts();

    // TMX interchange: the map and the current parts out, or a TMX map and its tiles in.
    void TmxExportClick();
    void TmxImportClick();

    // The recent maps as items of the menu, "&1" to "1&0".
    void FillRecentMaps(QMenu& menu);

private:
    std::optional<QString> runSaveDialog();
    TMapFileType saveType() const;
    TMapFileType loadType() const;

    QWidget& FWindow;
    TMapSession& FSession;
    TSettings& FSettings;
    TMainFormLinks& FLinks;
    const QString& FExtension;
    const QStringList& FMapFilters;
    const QStringList& FOpenFilters;
};
