#include "PixelTools.h"

#include <algorithm>

namespace {

constexpr quint32 ColorMask = 0x00FFFFFF;
constexpr quint32 OpaqueAlpha = 0xFF000000;
// XOR with white inverts a pixel; inverting it again restores it.
constexpr quint32 InvertMask = ColorMask;

quint32 opaque(const QColor& color)
{
    return OpaqueAlpha | (color.rgb() & ColorMask);
}

quint32* row(QImage& image, int y)
{
    return reinterpret_cast<quint32*>(image.bits() + qsizetype(y) * image.bytesPerLine());
}

const quint32* constRow(const QImage& image, int y)
{
    return reinterpret_cast<const quint32*>(image.constScanLine(y));
}

} // namespace

TPixelTools::TPixelTools(const TStrokeStyle& style) : FStyle(style) {}

void TPixelTools::SetBuffer(QImage* buffer)
{
    Cancel();
    FBuffer = buffer;
    hasBuffer();
}

bool TPixelTools::hasBuffer() const
{
    if (!FBuffer || FBuffer->isNull())
        return false;
    // Everything below addresses the pixels as 32-bit words with the colour in the low
    // 24 bits.
    if (FBuffer->format() != QImage::Format_RGB32)
        *FBuffer = FBuffer->convertToFormat(QImage::Format_RGB32);
    return true;
}

QRect TPixelTools::bufferRect() const
{
    return hasBuffer() ? FBuffer->rect() : QRect();
}

TPixelToolResult TPixelTools::Press(QPoint pixel, Qt::MouseButton button,
                                    Qt::KeyboardModifiers /*modifiers*/)
{
    TPixelToolResult result;
    if (LupeDrag.Dragging)
        result.Changed = Cancel();

    LupeDrag = TStroke{};
    LupeDrag.Dragging = true;
    LupeDrag.Button = button;
    LupeDrag.Tool = FStyle.Tool;
    LupeDrag.Thick = FStyle.PenWidth == TStrokeStyle::ThickPenWidth;
    LupeDrag.Start = LupeDrag.Last = pixel;

    if (button == Qt::LeftButton && LupeDrag.Tool == ptFreeLine)
        result.Changed |= setPixel(pixel, opaque(FStyle.Color));
    else if (button == Qt::RightButton && bufferRect().contains(pixel))
        result.PanelColor = QColor(FBuffer->pixel(pixel));
    return result;
}

TPixelToolResult TPixelTools::Move(QPoint pixel)
{
    TPixelToolResult result;
    if (!LupeDrag.Dragging)
        return result;

    if (LupeDrag.Button == Qt::RightButton) {
        if (bufferRect().contains(pixel))
            result.PanelColor = QColor(FBuffer->pixel(pixel));
        return result;
    }
    if (LupeDrag.Button != Qt::LeftButton)
        return result;

    switch (LupeDrag.Tool) {
    case ptFreeLine: {
        // Each move joins the last point to this one, so the stroke stays connected.
        const quint32 color = opaque(FStyle.Color);
        if (pixel != LupeDrag.Last) {
            FShapes.Line(LupeDrag.Last, pixel, LupeDrag.Thick, FSpans);
            result.Changed = paintSpans(FSpans, color, false);
        } else {
            result.Changed = setPixel(pixel, color);
        }
        LupeDrag.Last = pixel;
        break;
    }
    case ptLine:
    case ptBox:
    case ptBoxFill: {
        const TPreview kind = LupeDrag.Tool == ptLine ? TPreview::Line : TPreview::Box;
        result.Changed = removePreview();
        result.Changed |= togglePreview(kind, pixel);
        LupeDrag.Shown = kind;
        LupeDrag.Last = pixel;
        break;
    }
    case ptPaint:
        break;
    }
    return result;
}

TPixelToolResult TPixelTools::Release(QPoint pixel)
{
    TPixelToolResult result;
    if (!LupeDrag.Dragging)
        return result;
    LupeDrag.Dragging = false;

    const QColor drawing = FStyle.Color;
    const quint32 color = opaque(drawing);
    if (LupeDrag.Button == Qt::LeftButton) {
        switch (LupeDrag.Tool) {
        case ptFreeLine:
            break;
        case ptLine:
            // The preview goes first, so a release away from the last previewed pixel leaves
            // none of it behind.
            result.Changed = removePreview();
            FShapes.Line(LupeDrag.Start, pixel, LupeDrag.Thick, FSpans);
            result.Changed |= paintSpans(FSpans, color, false);
            break;
        case ptBox:
        case ptBoxFill:
            result.Changed = removePreview();
            boxOutlineSpans(LupeDrag.Start, pixel, LupeDrag.Thick, FSpans);
            result.Changed |= paintSpans(FSpans, color, false);
            if (LupeDrag.Tool == ptBoxFill) {
                boxInteriorSpans(LupeDrag.Start, pixel, LupeDrag.Thick, FSpans);
                result.Changed |= paintSpans(FSpans, color, false);
            }
            break;
        case ptPaint:
            result.Changed = fill(pixel, color);
            break;
        }
    } else if (LupeDrag.Button == Qt::RightButton) {
        if (bufferRect().contains(pixel)) {
            result.PickedColor = QColor(FBuffer->pixel(pixel));
            result.PanelColor = result.PickedColor;
        } else {
            result.PanelColor = drawing;
        }
    }
    LupeDrag.Shown = TPreview::None;
    FBrushColor = drawing;
    return result;
}

QRect TPixelTools::Cancel()
{
    const QRect changed = removePreview();
    LupeDrag.Dragging = false;
    return changed;
}

QRect TPixelTools::setPixel(QPoint pixel, quint32 value)
{
    if (!bufferRect().contains(pixel))
        return {};
    row(*FBuffer, pixel.y())[pixel.x()] = value;
    return QRect(pixel, QSize(1, 1));
}

QRect TPixelTools::paintSpans(const std::vector<TPixelSpan>& spans, quint32 value, bool xorMode)
{
    return hasBuffer() ? TPixelShapes::Paint(*FBuffer, spans, value, xorMode) : QRect();
}

void TPixelTools::boxOutlineSpans(QPoint a, QPoint b, bool thick,
                                  std::vector<TPixelSpan>& spans) const
{
    spans.clear();
    if (a.x() == b.x() || a.y() == b.y())
        return;
    const int pen = thick ? 1 : 0;
    // The box's own columns and rows, last ones included.
    const int left = std::min(a.x(), b.x());
    const int right = std::max(a.x(), b.x()) - 1;
    const int top = std::min(a.y(), b.y());
    const int bottom = std::max(a.y(), b.y()) - 1;
    // The outline is the ring between these two, the border line widened by the pen.
    const QRect outer(QPoint(left - pen, top - pen), QPoint(right + pen, bottom + pen));
    const QRect inner(QPoint(left + pen + 1, top + pen + 1),
                      QPoint(right - pen - 1, bottom - pen - 1));
    for (int y = outer.top(); y <= outer.bottom(); ++y) {
        if (!inner.isEmpty() && y >= inner.top() && y <= inner.bottom()) {
            spans.push_back({y, outer.left(), inner.left() - 1});
            spans.push_back({y, inner.right() + 1, outer.right()});
        } else {
            spans.push_back({y, outer.left(), outer.right()});
        }
    }
}

void TPixelTools::boxInteriorSpans(QPoint a, QPoint b, bool thick,
                                   std::vector<TPixelSpan>& spans) const
{
    spans.clear();
    if (a.x() == b.x() || a.y() == b.y())
        return;
    const int pen = thick ? 1 : 0;
    const int left = std::min(a.x(), b.x()) + pen + 1;
    const int right = std::max(a.x(), b.x()) - 1 - pen - 1;
    const int top = std::min(a.y(), b.y()) + pen + 1;
    const int bottom = std::max(a.y(), b.y()) - 1 - pen - 1;
    if (left > right)
        return;
    for (int y = top; y <= bottom; ++y)
        spans.push_back({y, left, right});
}

QRect TPixelTools::togglePreview(TPreview kind, QPoint end)
{
    QRect changed;
    if (kind == TPreview::Line) {
        FShapes.Line(LupeDrag.Start, end, LupeDrag.Thick, FSpans);
        changed = paintSpans(FSpans, InvertMask, true);
    } else if (kind == TPreview::Box) {
        boxOutlineSpans(LupeDrag.Start, end, LupeDrag.Thick, FSpans);
        changed = paintSpans(FSpans, InvertMask, true);
        if (LupeDrag.Tool == ptBoxFill) {
            // The interior mixes in the brush colour; white would invert it too, black
            // leaves it as it is.
            boxInteriorSpans(LupeDrag.Start, end, LupeDrag.Thick, FSpans);
            changed |= paintSpans(FSpans, FBrushColor.rgb() & ColorMask, true);
        }
    }
    return changed;
}

QRect TPixelTools::removePreview()
{
    if (LupeDrag.Shown == TPreview::None)
        return {};
    const QRect changed = togglePreview(LupeDrag.Shown, LupeDrag.Last);
    LupeDrag.Shown = TPreview::None;
    return changed;
}

QRect TPixelTools::fill(QPoint seed, quint32 value)
{
    return hasBuffer() ? FShapes.Fill(*FBuffer, seed, value) : QRect();
}

QRect TPixelTools::FlipHorizontal()
{
    if (!hasBuffer())
        return {};
    const QRect changed = removePreview() | bufferRect();
    *FBuffer = FBuffer->mirrored(true, false);
    return changed;
}

QRect TPixelTools::FlipVertical()
{
    if (!hasBuffer())
        return {};
    const QRect changed = removePreview() | bufferRect();
    *FBuffer = FBuffer->mirrored(false, true);
    return changed;
}

QRect TPixelTools::RotateLeft()
{
    if (!hasBuffer() || !CanRotate(FBuffer->size()))
        return {};
    removePreview();
    const QImage source = *FBuffer;
    const int n = source.width();
    QImage turned(n, n, QImage::Format_RGB32);
    // Anticlockwise: the right column becomes the top row.
    for (int y = 0; y < n; ++y) {
        quint32* out = row(turned, y);
        for (int x = 0; x < n; ++x)
            out[x] = constRow(source, x)[n - 1 - y];
    }
    *FBuffer = turned;
    return bufferRect();
}

QRect TPixelTools::RotateRight()
{
    if (!hasBuffer() || !CanRotate(FBuffer->size()))
        return {};
    removePreview();
    const QImage source = *FBuffer;
    const int n = source.width();
    QImage turned(n, n, QImage::Format_RGB32);
    // Clockwise: the left column becomes the top row.
    for (int y = 0; y < n; ++y) {
        quint32* out = row(turned, y);
        for (int x = 0; x < n; ++x)
            out[x] = constRow(source, n - 1 - x)[y];
    }
    *FBuffer = turned;
    return bufferRect();
}
