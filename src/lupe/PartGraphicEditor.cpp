#include "PartGraphicEditor.h"

#include "LupeUnit.h"
#include "PartsStore.h"
#include "Settings.h"

#include <QScopeGuard>

TPartGraphicEditor::TPartGraphicEditor(TLupe& lupe, TPartsStore& parts, TSettings& settings,
                                       QObject* parent)
    : QObject(parent), FLupe(lupe), FParts(parts), FSettings(settings), FTools(FStyle)
{
    FTools.SetBuffer(&FLupe.Bitmap());
    // Edits of the magnifier's part by anything else (a paste, a load, an exchange, a reload
    // of the picture) come after the edits held here: these are stored first, one undo away.
    connect(&FParts, &TPartsStore::partsToChange, this, [this](const QList<int>& parts) {
        if (FEdited && !FStoring && parts.contains(FPart))
            Store();
    });
    // The part changed under a copy without edits (an undo, a reload): the copy follows, or
    // a later store would put the old picture back.
    connect(&FParts, &TPartsStore::partChanged, this, [this](int part) {
        if (part == FPart)
            follow();
    });
    connect(&FParts, &TPartsStore::allPartsChanged, this, &TPartGraphicEditor::follow);
    // Parts of a new size: the copy is of none of them.
    connect(&FParts, &TPartsStore::partsResized, this, [this] {
        Drop();
        FLupe.hide();
        FLupe.SetBitmap(QImage());
    });
}

void TPartGraphicEditor::follow()
{
    const QImage& part = FParts.PartBitmap(FPart);
    if (FEdited || FStoring || FLupe.Bitmap().isNull() || part.size() != FLupe.Bitmap().size())
        return;
    FTools.Cancel();
    FLupe.SetBitmap(part);
}

bool TPartGraphicEditor::differsFromPart() const
{
    return FLupe.Bitmap() != FParts.PartBitmap(FPart);
}

void TPartGraphicEditor::endStroke()
{
    const QRect preview = FTools.Cancel();
    if (!preview.isEmpty())
        FLupe.InvalidateSourceRect(preview);
}

const QImage* TPartGraphicEditor::EditedPicture() const
{
    return FEdited ? &FLupe.Bitmap() : nullptr;
}

void TPartGraphicEditor::Show(int part, const QRect& cell)
{
    Drop();
    FPart = part;
    FLupe.setGeometry(cell);
    FLupe.SetPower(cell.width() / FParts.PartWidth());
    FLupe.SetBitmap(FParts.PartBitmap(FPart));
    FTools.SetBuffer(&FLupe.Bitmap());
    FLupe.show();
}

void TPartGraphicEditor::Hide()
{
    // A stroke the hiding cut short leaves no rubber band in the picture.
    endStroke();
    FLupe.hide();
}

void TPartGraphicEditor::Store()
{
    endStroke();
    if (FLupe.Bitmap().isNull() || FLupe.Bitmap().size() != FParts.PartBitmap(FPart).size())
        return;
    const bool edited = FEdited;
    FEdited = false; // the cells now show the stored part
    if (!edited && !differsFromPart()) {
        FParts.SetPartsModified(); // a store of nothing drawn is no step, but counts
        return;
    }
    const int part = FPart;
    FStoring = true;
    const auto stored = qScopeGuard([this] { FStoring = false; });
    FParts.EditParts({part}, [&] {
        FParts.CapturePart(part, FLupe.Bitmap(), 0, 0);
        return true;
    });
}

void TPartGraphicEditor::Drop()
{
    endStroke();
    if (!FEdited)
        return;
    FEdited = false;
    emit previewChanged(FPart);
}

void TPartGraphicEditor::Transform(TLupeTransform transform)
{
    QRect changed;
    switch (transform) {
    case ltFlipHorizontal:
        changed = FTools.FlipHorizontal();
        break;
    case ltFlipVertical:
        changed = FTools.FlipVertical();
        break;
    case ltRotateLeft:
        changed = FTools.RotateLeft();
        break;
    case ltRotateRight:
        changed = FTools.RotateRight();
        break;
    }
    toolsDid({changed, std::nullopt, std::nullopt});
}

void TPartGraphicEditor::SourceMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift,
                                         const QPoint& pos)
{
    takeStyle();
    toolsDid(FTools.Press(pos, button, shift));
}

void TPartGraphicEditor::SourceMouseMove(const QPoint& pos)
{
    takeStyle();
    toolsDid(FTools.Move(pos));
}

void TPartGraphicEditor::SourceMouseUp(const QPoint& pos)
{
    takeStyle();
    toolsDid(FTools.Release(pos));
}

void TPartGraphicEditor::takeStyle()
{
    FStyle = {FSettings.PixelTool(), FSettings.PenWidth(), FSettings.DrawingColor()};
}

void TPartGraphicEditor::toolsDid(const TPixelToolResult& result)
{
    if (!result.Changed.isEmpty()) {
        FLupe.InvalidateSourceRect(result.Changed);
        // The other cells that show the part show it as it is being drawn. A click that
        // puts back the colours already there (the second of a double click) is no edit.
        if (!FEdited)
            FEdited = differsFromPart();
        if (FEdited)
            emit previewChanged(FPart);
    }
    if (result.PanelColor)
        emit colorShown(*result.PanelColor);
    if (result.PickedColor)
        FSettings.SetDrawingColor(*result.PickedColor);
}
