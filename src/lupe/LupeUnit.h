#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QImage>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <functional>

class QMenu;
class QPainter;

enum TLupeStyle
{
    lsStandard,  // the control draws the picture and the grid itself
    lsOwnerDraw, // the owner takes part in every repaint through OnDrawLupe
};

// The stage of a repaint at which OnDrawLupe is called.
enum TLupeOwnerDrawState
{
    ldsImage = 0,   // before the magnified pixels are drawn
    ldsGrid = 1,    // before the grid lines
    ldsOverlay = 2, // after the grid, before the result reaches the screen
};

// The owner drawing handler: the canvas, the control rectangle being repainted, the source
// rectangle it shows, the stage, and whether the control goes on drawing.
using TDrawLupeEvent =
    std::function<void(QPainter& canvas, const QRect& destClip, const QRect& sorcClip,
                       TLupeOwnerDrawState state, bool& drawResult)>;

// What a scroll asked for, numbered as scroll bars number their requests.
enum TScrollCode
{
    scLineUp = 0,   // one line back
    scLineDown = 1, // one line forward
    scPageUp = 2,   // one page back
    scPageDown = 3, // one page forward
    scPosition = 4, // the thumb was released at a position
    scTrack = 5,    // the thumb is being dragged
    scTop = 6,
    scBottom = 7,
    scEndScroll = 8,
};

// Travels in the keys of the press that is the second click of a double click. It lies
// outside Qt's modifier bits, so it never clashes with a key.
inline constexpr Qt::KeyboardModifier ssDouble = Qt::KeyboardModifier(0x01000000);

// The magnifier: shows a window of its picture (the clip) enlarged by a whole factor, every
// source pixel a Power x Power block, optionally with a one-pixel grid in the last column and
// row of each block. Scroll bars appear when the magnified picture does not fit. Mouse events
// are also reported in source pixels, so that editing code learns which pixel was pressed.
// It edits nothing itself: the owner draws into Bitmap() and names the rectangle it changed.
//
// Control coordinates are those of the viewport, whose top-left corner is the control's.
// Rectangles in source pixels and in control pixels are QRects (right() inclusive).
class TLupe : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit TLupe(QWidget* parent = nullptr);
    ~TLupe() override;

    // The picture shown (Format_RGB32), owned by the control; empty after creation.
    const QImage& Bitmap() const { return FBitmap; }
    // For the owner to draw into; afterwards it calls InvalidateSourceRect (or ContentChanged
    // when the size or the whole picture changed).
    QImage& Bitmap() { return FBitmap; }
    // Copies the picture (converted to RGB32) and runs ContentChanged.
    void SetBitmap(const QImage& bitmap);
    // The whole picture changed: a non-empty picture of a new size is adopted (the layout
    // follows), the whole control repaints at the next paint cycle, OnChange fires.
    void ContentChanged();
    // Only the pixels of rect (source pixels) changed: as ContentChanged, but only the
    // control pixels showing them are repainted. However many rectangles are named before it,
    // the repaint happens once, at the next paint cycle.
    void InvalidateSourceRect(const QRect& rect);

    // Magnification, 8 after creation; a value below 2 or equal to the current one is refused.
    int Power() const { return FPower; }
    void SetPower(int power);

    // The pixel grid, on after creation.
    bool DrawGrid() const { return FDrawGrid; }
    void SetDrawGrid(bool on);

    TLupeStyle Style() const { return FStyle; }
    void SetStyle(TLupeStyle style);

    // The pen of the grid lines: black, 1 pixel, solid after creation. Setting it repaints and
    // fires OnChange.
    const QPen& GridPen() const { return FGridPen; }
    void SetGridPen(const QPen& pen);

    // The background beside and below the drawn area.
    QColor Color() const { return FColor; }
    void SetColor(const QColor& color);

    // Shown at the pointer on a right click; none after creation. Not owned.
    QMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(QMenu* menu) { FPopupMenu = menu; }

    // The clip origin: the source pixel at the control's top-left corner. Setting it is a
    // scroll to that position (the screen moves, OnScroll fires); a value outside
    // 0..SourceWidth - VisibleCols (SourceHeight - VisibleRows) is refused.
    int ClipLeft() const { return FClipLeft; }
    int ClipTop() const { return FClipTop; }
    void SetClipLeft(int left);
    void SetClipTop(int top);
    // Right and bottom, exclusive.
    int ClipRight() const { return FClipLeft + FVisibleCols; }
    int ClipBottom() const { return FClipTop + FVisibleRows; }
    // Source columns and rows shown; while the picture is empty, the control's size in whole
    // magnified pixels (rounded up). Setting them resizes the control to that many magnified
    // pixels, plus the scroll bar across when one is or will be shown; a value of 0 or less is
    // refused, a value larger than the picture is cut to it.
    int ClipWidth() const;
    int ClipHeight() const;
    void SetClipWidth(int width);
    void SetClipHeight(int height);

    // The source size as last seen (an emptied picture keeps it), 0 after creation.
    int SourceWidth() const { return FSourceWidth; }
    int SourceHeight() const { return FSourceHeight; }
    // Source columns and rows the drawn area covers.
    int VisibleCols() const { return FVisibleCols; }
    int VisibleRows() const { return FVisibleRows; }
    // The area covered by magnified pixels, from the top-left corner, a multiple of Power.
    int DrawnWidth() const { return FDrawnWidth; }
    int DrawnHeight() const { return FDrawnHeight; }
    // Scroll amounts in source pixels.
    int HorzLineStep() const { return FHorzLineStep; }
    int HorzPageStep() const { return FHorzPageStep; }
    int VertLineStep() const { return FVertLineStep; }
    int VertPageStep() const { return FVertPageStep; }

    // One scroll request on one bar, as the scroll bars send them: lines and pages move by the
    // steps above, scPosition and scTrack go to pos, the others move nothing. The origin
    // stops at the ends; the pixels on screen move by the distance actually scrolled and only
    // the uncovered band is repainted. OnScroll fires.
    void Scroll(Qt::Orientation bar, TScrollCode code, int pos = 0);

    // The source pixel under a control point, truncated toward zero, not clamped.
    QPoint SourcePoint(const QPoint& pos) const;

    // Owner drawing (Style lsOwnerDraw): called at each stage of a repaint with the back
    // buffer's painter (the control's own while the picture is empty), the control rectangle
    // being repainted (whole magnified pixels) and the source rectangle it shows. drawResult
    // is true on entry; leaving it false skips the control's drawing of this stage and all
    // later stages; what the back buffer holds for destClip still reaches the screen.
    TDrawLupeEvent OnDrawLupe;
    // After each scroll, either bar, with the request and the new origin on that axis.
    std::function<void(TScrollCode code, int scrollPos)> OnScroll;
    // After each layout recalculation.
    std::function<void()> OnResize;
    // After any change of the picture or of the grid pen.
    std::function<void()> OnChange;
    // Mouse events in control coordinates, each followed by the same event in source pixels.
    // The second press of a double click comes after OnDblClick, with ssDouble in shift.
    std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos)>
        OnMouseDown;
    std::function<void(Qt::KeyboardModifiers shift, const QPoint& pos)> OnMouseMove;
    std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos)>
        OnMouseUp;
    std::function<void()> OnDblClick;
    std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos)>
        OnSourceMouseDown;
    std::function<void(Qt::KeyboardModifiers shift, const QPoint& pos)> OnSourceMouseMove;
    std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos)>
        OnSourceMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void UpdateLayout();
    void barAction(Qt::Orientation bar, int action);
    void syncBars();
    void press(QMouseEvent* event, Qt::KeyboardModifiers shift);
    void paintPicture(QPainter& screen, const QRect& exposed);
    void paintEmpty(QPainter& screen, const QRect& exposed);
    void magnify(const QRect& dest, const QRect& source);
    void drawGridLines(QPainter& canvas, const QRect& dest);
    void drawThinGrid(const QRect& dest, QRgb color);

    QImage FBitmap;
    QImage BackBuffer;
    QPen FGridPen;
    QColor FColor;
    QMenu* FPopupMenu = nullptr;
    int FPower = 8;
    bool FDrawGrid = true;
    TLupeStyle FStyle = lsStandard;
    int FClipLeft = 0;
    int FClipTop = 0;
    int FSourceWidth = 0;
    int FSourceHeight = 0;
    int FVisibleCols = 0;
    int FVisibleRows = 0;
    int FDrawnWidth = 0;
    int FDrawnHeight = 0;
    int FHorzLineStep = 0;
    int FHorzPageStep = 0;
    int FVertLineStep = 0;
    int FVertPageStep = 0;
    bool FSyncingBars = false; // bar positions set by the control itself
};
