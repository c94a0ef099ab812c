#pragma once

#include "PixelShapes.h"
#include "StrokeStyle.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>
#include <vector>

// What one call of the pixel tools did.
struct TPixelToolResult
{
    // The buffer pixels that may have changed, clipped to the buffer; empty when none did.
    QRect Changed;
    // During a right-button stroke: the colour the colour panel shows now (the pixel under
    // the pointer; after the release the drawing colour). Unset when the panel keeps what
    // it shows.
    std::optional<QColor> PanelColor;
    // At the release of a right-button stroke over a buffer pixel: that pixel's colour,
    // which becomes the drawing colour. A release outside the buffer picks nothing.
    std::optional<QColor> PickedColor;
};

// The pixel tools of part-graphic editing, apart from any window: freehand, line, box,
// filled box and closed-area fill with the thin or thick pen, the right-button colour pick,
// flips and quarter turns, all working directly on a buffer of Format_RGB32 pixels.
//
// A stroke is a press, any number of moves and a release, in buffer pixels that may lie
// outside the buffer (everything is clipped). The tool and the pen width are read from the
// stroke style at the press and hold for the stroke; the drawing colour is read when it is
// used. The line and box tools show their rubber band in the buffer itself by inverting
// pixels, and take it away again before anything else is drawn, so no preview pixel
// survives the stroke.
//
// Pixel rules: the thin pen's segment from A to B is the Bresenham line with both ends;
// the thick pen covers the 3 x 3 block around every pixel of that line (a round pen three
// pixels across), except that a segment of no length covers only its pixel. A box with
// corners (x0, y0) and (x1, y1) spans columns min(x0, x1) to max(x0, x1) - 1 and rows
// likewise, and is empty (draws nothing) when x0 = x1 or y0 = y1; its outline is the
// box's border line, thickened as a line is. The fill takes the release pixel's colour
// and covers its 4-connected area of exactly that colour, so lines drawn with the thin pen
// (whose pixels touch at corners) close an area.
class TPixelTools
{
public:
    // The style is the caller's, and must outlive the tools; the caller keeps it current.
    explicit TPixelTools(const TStrokeStyle& style);

    // The buffer the tools draw on, owned by the caller (the magnifier's picture); null or
    // an empty picture makes every operation do nothing. A picture in another format is
    // converted to Format_RGB32. Ends a stroke under way, taking its preview out of the old
    // buffer first. The caller may change the picture's contents or size between strokes.
    void SetBuffer(QImage* buffer);
    QImage* Buffer() const { return FBuffer; }

    // A mouse button went down at pixel. The modifiers are not consulted (a double-click's
    // second press acts as any press). A press during a stroke ends that stroke first
    // without drawing it.
    TPixelToolResult Press(QPoint pixel, Qt::MouseButton button,
                           Qt::KeyboardModifiers modifiers = {});
    // The pointer moved to pixel; nothing happens outside a stroke.
    TPixelToolResult Move(QPoint pixel);
    // A mouse button (any) went up at pixel: the stroke is drawn and ends.
    TPixelToolResult Release(QPoint pixel);
    // Takes a showing preview away and ends the stroke without drawing it.
    QRect Cancel();
    bool Dragging() const { return LupeDrag.Dragging; }

    // Mirror the buffer left-right or top-bottom; twice restores it.
    QRect FlipHorizontal();
    QRect FlipVertical();
    // Quarter turns need a square picture: a turned part must keep the part size.
    static bool CanRotate(QSize size) { return !size.isEmpty() && size.width() == size.height(); }
    // A quarter turn anticlockwise or clockwise; four restore the buffer. A buffer that
    // cannot be turned stays as it is and nothing is reported.
    QRect RotateLeft();
    QRect RotateRight();

private:
    enum class TPreview : std::uint8_t
    {
        None,
        Line,
        Box,
    };

    struct TStroke
    {
        bool Dragging = false;
        Qt::MouseButton Button = Qt::NoButton;
        TPixelTool Tool = ptFreeLine;
        bool Thick = false;
        QPoint Start;
        QPoint Last; // last previewed pixel, or the freehand pen position
        TPreview Shown = TPreview::None;
    };

    bool hasBuffer() const;
    QRect bufferRect() const;
    // Writes value into, or XORs it onto, every pixel of the spans inside the buffer;
    // returns the bounding rectangle of what it touched.
    QRect paintSpans(const std::vector<TPixelSpan>& spans, quint32 value, bool xorMode);
    // Each pixel of the shape once, as runs per row.
    void boxOutlineSpans(QPoint a, QPoint b, bool thick, std::vector<TPixelSpan>& spans) const;
    // The box's pixels inside its outline.
    void boxInteriorSpans(QPoint a, QPoint b, bool thick, std::vector<TPixelSpan>& spans) const;
    QRect setPixel(QPoint pixel, quint32 value);
    QRect togglePreview(TPreview kind, QPoint end);
    QRect removePreview();
    QRect fill(QPoint seed, quint32 value);

    const TStrokeStyle& FStyle;
    QImage* FBuffer = nullptr;
    TStroke LupeDrag; // the stroke under way
    // The brush keeps the drawing colour of the last finished stroke; the filled box's
    // preview mixes it into its interior. White until the first stroke ends.
    QColor FBrushColor = Qt::white;
    // The line and the fill, with scratch space reused by every shape, so that strokes
    // allocate nothing.
    TPixelShapes FShapes;
    std::vector<TPixelSpan> FSpans;
};
