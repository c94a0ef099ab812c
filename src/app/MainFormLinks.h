#pragma once

#include "Settings.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>

// The new-map dialog's answer.
struct TNewMapChoice
{
    int MapWidth = 0;
    int MapHeight = 0;
    uint16_t PartWidth = 0;
    uint16_t PartHeight = 0;
};

// The replace dialog's answer.
struct TReplaceChoice
{
    uint8_t Before = 0;
    uint8_t After = 0;
};

// What the full-map picture's options dialog shows and starts from.
struct TMapPictureRequest
{
    QString FileName;
    bool Png = false;
    int MapWidth = 0;
    int MapHeight = 0;
    QSize PartSize;
    int ViewCellSize = 0; // the map view's cell size now
    TMapPictureChoice Choice;
};

// The size every cell is drawn at for a choice.
inline QSize MapPictureCellSize(const TMapPictureRequest& request, const TMapPictureChoice& choice)
{
    switch (choice.CellKind) {
    case TMapPictureChoice::ckViewSize:
        return {request.ViewCellSize, request.ViewCellSize};
    case TMapPictureChoice::ckCustom:
        return {choice.CellSize, choice.CellSize};
    default:
        return request.PartSize;
    }
}

// The main window's commands that other windows carry out. The program answers them, so
// that the main window knows no other window.
class TMainFormLinks
{
public:
    virtual ~TMainFormLinks() = default;

    // The command dialogs, modal; nullopt when cancelled.
    virtual std::optional<TNewMapChoice> RunNewMapDialog() = 0;
    // The part to replace with starts as the parts window's current part.
    virtual std::optional<TReplaceChoice> RunReplaceDialog() = 0;
    // The settings dialog; true when its changes were taken (OK).
    virtual bool RunSettingsDialog() = 0;
    // The full-map picture's options dialog.
    virtual std::optional<TMapPictureChoice>
    RunMapPictureDialog(const TMapPictureRequest& request) = 0;
    virtual void ShowAbout() = 0;

    virtual void ShowPartsWindow(bool shown) = 0;
    virtual void ShowToolBox(bool shown) = 0;
    virtual void ShowOverview(bool) {}
    // The parts window's current part, and a part picked on the map made current there.
    virtual uint8_t SelectedPartNumber() = 0;
    virtual void SelectPart(uint8_t part) = 0;
    // The transparency dialog for laying part `source` over the picture `target`: nullopt
    // on Cancel, else a copy of target with the source's opaque pixels laid over it.
    virtual std::optional<QImage> RunOverlay(uint8_t source, const QImage& target) = 0;
    // The parts window's overwrite-save, asking for a name when there is none; false when
    // the dialog was cancelled. A failed write throws with the message for the user.
    virtual bool SavePartsPicture() = 0;
    // A map file was loaded, or saved under the name: the parts picture remembered for it is
    // loaded, or the one in use is remembered for it.
    virtual void MapFileLoaded(const QString& fileName) = 0;
    virtual void MapFileSaved(const QString& fileName) = 0;
    // The parts picture file the parts window shows, empty when none: saves and exports
    // never write over it.
    virtual QString PartsPictureInUse() { return QString(); }
};
