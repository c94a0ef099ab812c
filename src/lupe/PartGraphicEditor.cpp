#include "PartGraphicEditor.h"

#include "LupeUnit.h"
#include "PartsStore.h"
#include "Settings.h"

TPartGraphicEditor::TPartGraphicEditor(TLupe& lupe, TPartsStore& parts, TSettings& settings,
                                       QObject* parent)
    : QObject(parent), FLupe(lupe), FParts(parts), FSettings(settings), FTools(FStyle)
{
    FTools.SetBuffer(&FLupe.Bitmap());
    // The part changed under a copy without edits (an undo, a reload of the picture): the
    // copy follows, or a later store would put the old picture back.
    connect(&FParts, &TPartsStore::partChanged, this, [this](int part) {
        if (part == FPart)
            follow();
    });
    connect(&FParts, &TPartsStore::allPartsChanged, this, &TPartGraphicEditor::follow);
}

void TPartGraphicEditor::follow()
{
    const QImage& part = FParts.PartBitmap(FPart);
    if (FEdited || FStoring || FLupe.Bitmap().isNull() || part.size() != FLupe.Bitmap().size())
        return;
    FTools.Cancel();
    FLupe.SetBitmap(part);
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
    FLupe.hide();
}

void TPartGraphicEditor::Store()
{
    if (FLupe.Bitmap().isNull())
        return;
    const int part = FPart;
    FEdited = false; // the cells now show the stored part
    FStoring = true;
    FParts.EditParts({part}, [&] {
        FParts.CapturePart(part, FLupe.Bitmap(), 0, 0);
        return true;
    });
    FStoring = false;
}

void TPartGraphicEditor::Drop()
{
    FTools.Cancel();
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
        // The other cells that show the part show it as it is being drawn.
        FEdited = true;
        emit previewChanged(FPart);
    }
    if (result.PanelColor)
        emit colorShown(*result.PanelColor);
    if (result.PickedColor)
        FSettings.SetDrawingColor(*result.PickedColor);
}
