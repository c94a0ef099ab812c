#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;
class TPartsStore;
class TPictureFormats;
class TSettings;
struct TPartsPictureUse;

// Which picture the parts come from, and the files behind the parts window's picture
// commands: loading one (asked for, dropped, remembered for a map or the last one used) and
// saving under the remembered name or a name asked for. Reaches the window only through
// its callbacks; its dialogs open over `dialogParent`.
class TPartsPictureFiles
{
public:
    TPartsPictureFiles(TPartsStore& store, TSettings& settings, TPictureFormats* formats,
                       QWidget* dialogParent);

    // A note for the status bar (a picture that could not be read, was skipped, ...).
    std::function<void(const QString& text)> ShowStatus;
    // The parts now come from this picture (loaded or saved), or from none (empty).
    std::function<void(const QString& fileName)> PictureInUseChanged;
    // The file the map comes from, empty when none, and the map files' extensions.
    std::function<QString()> MapSourceName;
    std::function<QStringList()> MapExtensions;

    // The picture the parts were last loaded from or saved to.
    QString PictureInUse() const { return FPictureInUse; }
    // How the picture in use is used now (part size, its own size); empty without one.
    TPartsPictureUse PictureUse() const;
    // The parts are fresh placeholders: they come from no picture any more.
    void Forget();
    // The parts took this file's name again (a load undone or redone): it is the one in use.
    void Follow(const QString& fileName);

    // Loads a picture into the parts; false when it could not, which the status bar says.
    bool Load(const QString& fileName);
    // Asks for a picture in the open dialog and loads it.
    void AskAndLoad();
    // Loads a remembered picture unless it is gone or no longer fits the parts.
    void LoadForMap(const QString& mapFileName);
    void LoadLast();
    // Writes under the remembered name, or asks for one; false when the dialog was cancelled.
    bool Save();
    // Asks for a name, then writes; false when the dialog was cancelled.
    bool SaveAs();
    // The open dialog's filters: every format the picture formats hold now.
    QStringList OpenDialogFilters() const;

private:
    void loadRemembered(const TPartsPictureUse& use);
    void setPictureInUse(const QString& fileName);
    // The save dialog, until it gives a name the sheet can be written under.
    std::optional<QString> runSaveDialog(const QString& suggested);
    // Whether the name is a map's: the map's own file, or a map file extension.
    bool isMapName(const QString& fileName) const;
    QString mapSourceName() const;
    // Remembers the chosen name, even when the write then fails, and writes.
    void writeAs(const QString& fileName);
    void writePicture(const QString& fileName);
    void showStatus(const QString& text);

    TPartsStore& FStore;
    TSettings& FSettings;
    TPictureFormats* FFormats;
    QWidget* FDialogParent;
    QString FPictureInUse;
};
