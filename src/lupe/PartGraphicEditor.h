#pragma once

#include "LupeTransform.h"
#include "PixelTools.h"

#include <QObject>
#include <QPoint>
#include <QRect>

class QColor;
class QImage;
class TLupe;
class TPartsStore;
class TSettings;

// Part-graphic editing in the magnifier: it holds a copy of one part, the pixel tools draw
// on the copy with the settings' tool, pen and colour, and a store writes the copy back
// into the part as one undo step. Until then the cells of the part show the copy in place
// (EditedPicture); dropping the edits shows the stored part again.
class TPartGraphicEditor : public QObject
{
    Q_OBJECT

public:
    // The magnifier, the parts and the settings are the caller's and outlive the editor.
    TPartGraphicEditor(TLupe& lupe, TPartsStore& parts, TSettings& settings,
                       QObject* parent = nullptr);

    // The part whose copy the magnifier holds.
    int PartNumber() const { return FPart; }
    // Whether the magnifier holds edits not yet stored into its part.
    bool Edited() const { return FEdited; }
    // The picture the cells of PartNumber show while Edited; null otherwise.
    const QImage* EditedPicture() const;

    // Drops the edits not stored, and shows the magnifier at `cell` (in its parent's
    // coordinates) with a copy of `part`, enlarged as far as the cell allows (a factor
    // below 2 is refused: the magnifier keeps its previous one and scrolls).
    void Show(int part, const QRect& cell);
    // Hides the magnifier, ending a stroke under way; its edits stay until dropped or
    // stored.
    void Hide();
    // Writes the magnifier's picture back into its part, as one undo step; the parts count
    // as modified even when nothing was drawn (then without a step).
    void Store();
    // Ends a stroke under way and drops the edits not stored.
    void Drop();
    // The tool box's flips and turns of the magnifier's picture (stored with it later).
    void Transform(TLupeTransform transform);

    // The magnifier's mouse, in source pixels.
    void SourceMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void SourceMouseMove(const QPoint& pos);
    void SourceMouseUp(const QPoint& pos);

signals:
    // The cells that show the part are to be drawn again: its edits changed or went.
    void previewChanged(int part);
    // During a right-button pick, the colour under the pointer.
    void colorShown(const QColor& color);

private:
    // The settings' tool, pen and colour, taken before each call of the pixel tools.
    void takeStyle();
    void toolsDid(const TPixelToolResult& result);
    // Takes the part's picture again when the copy holds no edits.
    void follow();
    bool differsFromPart() const;
    // Ends a stroke under way, its rubber band taken out of the picture.
    void endStroke();

    TLupe& FLupe;
    TPartsStore& FParts;
    TSettings& FSettings;
    TStrokeStyle FStyle;
    TPixelTools FTools;
    int FPart = 0;
    bool FEdited = false;
    bool FStoring = false; // the part changes by this editor's own store
};
