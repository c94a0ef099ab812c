#include "LupeUnit.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// v rounded up to a multiple of power (toward zero for negative sums), never below 0.
int roundUp(int v, int power)
{
    const int t = v + power - 1;
    return std::max(0, t - t % power);
}

// visible / 10 + 0.5, rounded to the nearest whole number with halves to even, in integers:
// (visible + 5) / 10.
int lineStep(int visible)
{
    const int q = (visible + 5) / 10;
    const int r = (visible + 5) % 10;
    if (r > 5 || (r == 5 && q % 2 != 0))
        return q + 1;
    return q;
}

// A one-pixel solid pen is drawn as filled one-pixel rectangles, so that each line covers
// exactly the pixels from its start up to its end, whatever the rasteriser does with caps.
bool isThinSolid(const QPen& pen)
{
    return pen.style() == Qt::SolidLine && pen.width() <= 1;
}

void drawLine(QPainter& canvas, const QPen& pen, int x0, int y0, int x1, int y1)
{
    // (x1, y1) is excluded; lines are horizontal or vertical.
    if (isThinSolid(pen)) {
        if (x0 == x1)
            canvas.fillRect(x0, y0, 1, y1 - y0, pen.brush());
        else
            canvas.fillRect(x0, y0, x1 - x0, 1, pen.brush());
        return;
    }
    canvas.drawLine(x0, y0, x0 == x1 ? x1 : x1 - 1, y0 == y1 ? y1 : y1 - 1);
}

} // namespace

TLupe::TLupe(QWidget* parent) : QAbstractScrollArea(parent), FGridPen(Qt::black, 1, Qt::SolidLine)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    FColor = palette().color(QPalette::Window);
    // Every pixel of the viewport is painted by paintEvent: the background only beside and
    // below the magnified pixels, so the picture itself is never erased and never flickers.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);
    for (Qt::Orientation bar : {Qt::Horizontal, Qt::Vertical}) {
        QScrollBar* sb = bar == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
        connect(sb, &QScrollBar::actionTriggered, this,
                [this, bar](int action) { barAction(bar, action); });
        connect(sb, &QScrollBar::sliderReleased, this, [this, bar, sb] {
            if (!FSyncingBars)
                Scroll(bar, scPosition, sb->sliderPosition());
        });
    }
    resize(128, 128);
    UpdateLayout();
}

TLupe::~TLupe() = default;

void TLupe::SetBitmap(const QImage& bitmap)
{
    FBitmap = bitmap.isNull() ? QImage() : bitmap.convertToFormat(QImage::Format_RGB32);
    ContentChanged();
}

void TLupe::ContentChanged()
{
    if (!FBitmap.isNull()) {
        if (FBitmap.format() != QImage::Format_RGB32)
            FBitmap.convertTo(QImage::Format_RGB32);
        if (FBitmap.width() != FSourceWidth || FBitmap.height() != FSourceHeight) {
            FSourceWidth = FBitmap.width();
            FSourceHeight = FBitmap.height();
            UpdateLayout();
        }
    }
    viewport()->update();
    if (OnChange)
        OnChange();
}

void TLupe::InvalidateSourceRect(const QRect& rect)
{
    if (!FBitmap.isNull() &&
        (FBitmap.format() != QImage::Format_RGB32 || FBitmap.width() != FSourceWidth ||
         FBitmap.height() != FSourceHeight)) {
        ContentChanged();
        return;
    }
    const QRect shown = QRect((rect.left() - FClipLeft) * FPower, (rect.top() - FClipTop) * FPower,
                              rect.width() * FPower, rect.height() * FPower) &
                        QRect(0, 0, FDrawnWidth, FDrawnHeight);
    if (!shown.isEmpty())
        viewport()->update(shown);
    if (OnChange)
        OnChange();
}

void TLupe::SetPower(int power)
{
    if (power < 2 || power == FPower)
        return;
    FPower = power;
    UpdateLayout();
    viewport()->update();
}

void TLupe::SetDrawGrid(bool on)
{
    if (on == FDrawGrid)
        return;
    FDrawGrid = on;
    viewport()->update();
}

void TLupe::SetStyle(TLupeStyle style)
{
    if (style == FStyle)
        return;
    FStyle = style;
    viewport()->update();
}

void TLupe::SetGridPen(const QPen& pen)
{
    FGridPen = pen;
    ContentChanged();
}

void TLupe::SetColor(const QColor& color)
{
    if (color == FColor)
        return;
    FColor = color;
    viewport()->update();
}

void TLupe::SetClipLeft(int left)
{
    if (left < 0 || left > FSourceWidth - FVisibleCols)
        return;
    Scroll(Qt::Horizontal, scPosition, left);
}

void TLupe::SetClipTop(int top)
{
    if (top < 0 || top > FSourceHeight - FVisibleRows)
        return;
    Scroll(Qt::Vertical, scPosition, top);
}

int TLupe::ClipWidth() const
{
    if (FBitmap.isNull())
        return (width() + FPower - 1) / FPower;
    return FVisibleCols;
}

int TLupe::ClipHeight() const
{
    if (FBitmap.isNull())
        return (height() + FPower - 1) / FPower;
    return FVisibleRows;
}

void TLupe::SetClipWidth(int width)
{
    if (FSourceWidth != 0 && width > FSourceWidth)
        width = FSourceWidth;
    if (width <= 0)
        return;
    const bool vertBar = FSourceHeight != 0 && ClipHeight() < FSourceHeight;
    resize(width * FPower + (vertBar ? verticalScrollBar()->sizeHint().width() : 0), height());
    // A hidden control gets its resize event only when shown; its layout is wanted now.
    if (!isVisible())
        UpdateLayout();
}

void TLupe::SetClipHeight(int height)
{
    if (FSourceHeight != 0 && height > FSourceHeight)
        height = FSourceHeight;
    if (height <= 0)
        return;
    const bool horzBar = FSourceWidth != 0 && ClipWidth() < FSourceWidth;
    resize(width(), height * FPower + (horzBar ? horizontalScrollBar()->sizeHint().height() : 0));
    if (!isVisible())
        UpdateLayout();
}

QPoint TLupe::SourcePoint(const QPoint& pos) const
{
    // Integer division truncates toward zero: a point just left of the control still maps
    // to the first column.
    return QPoint(pos.x() / FPower + FClipLeft, pos.y() / FPower + FClipTop);
}

void TLupe::UpdateLayout()
{
    const int p = FPower;
    const int w = width();
    const int h = height();
    const int barW = verticalScrollBar()->sizeHint().width();
    const int barH = horizontalScrollBar()->sizeHint().height();

    FDrawnHeight = roundUp(h, p);
    FDrawnWidth = roundUp(w, p);
    FVisibleRows = FDrawnHeight / p;
    FVisibleCols = FDrawnWidth / p;
    // A bar takes room from the other direction, which may call for the other bar: two
    // rounds settle it, and a bar once needed stays.
    bool vertBar = false;
    bool horzBar = false;
    for (int round = 0; round < 2; ++round) {
        if (FSourceHeight > FVisibleRows)
            vertBar = true;
        if (FSourceWidth > FVisibleCols)
            horzBar = true;
        FDrawnHeight = roundUp(h - (horzBar ? barH : 0), p);
        FDrawnWidth = roundUp(w - (vertBar ? barW : 0), p);
        FVisibleRows = FDrawnHeight / p;
        FVisibleCols = FDrawnWidth / p;
    }
    // A source that fits is drawn at exactly its magnified size.
    if (!vertBar) {
        FVisibleRows = FSourceHeight;
        FDrawnHeight = FSourceHeight * p;
    }
    if (!horzBar) {
        FVisibleCols = FSourceWidth;
        FDrawnWidth = FSourceWidth * p;
    }
    if (FClipTop + FVisibleRows > FSourceHeight)
        FClipTop = std::max(0, FSourceHeight - FVisibleRows);
    if (FClipLeft + FVisibleCols > FSourceWidth)
        FClipLeft = std::max(0, FSourceWidth - FVisibleCols);

    FVertLineStep = lineStep(FVisibleRows);
    FVertPageStep = 9 * FVisibleRows / 10;
    FHorzLineStep = lineStep(FVisibleCols);
    FHorzPageStep = 9 * FVisibleCols / 10;

    FSyncingBars = true;
    setVerticalScrollBarPolicy(FSourceHeight > FVisibleRows ? Qt::ScrollBarAlwaysOn
                                                            : Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(FSourceWidth > FVisibleCols ? Qt::ScrollBarAlwaysOn
                                                             : Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setRange(0, std::max(0, FSourceHeight - FVisibleRows));
    verticalScrollBar()->setPageStep(std::max(1, FVisibleRows));
    verticalScrollBar()->setSingleStep(std::max(1, FVertLineStep));
    horizontalScrollBar()->setRange(0, std::max(0, FSourceWidth - FVisibleCols));
    horizontalScrollBar()->setPageStep(std::max(1, FVisibleCols));
    horizontalScrollBar()->setSingleStep(std::max(1, FHorzLineStep));
    FSyncingBars = false;
    syncBars();

    if (!FBitmap.isNull() && BackBuffer.size() != QSize(FDrawnWidth, FDrawnHeight)) {
        BackBuffer = QImage(FDrawnWidth, FDrawnHeight, QImage::Format_RGB32);
        BackBuffer.fill(FColor);
    }
    if (OnResize)
        OnResize();
}

void TLupe::syncBars()
{
    FSyncingBars = true;
    horizontalScrollBar()->setValue(FClipLeft);
    verticalScrollBar()->setValue(FClipTop);
    FSyncingBars = false;
}

void TLupe::barAction(Qt::Orientation bar, int action)
{
    if (FSyncingBars)
        return;
    QScrollBar* sb = bar == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
    TScrollCode code;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        code = scLineUp;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        code = scLineDown;
        break;
    case QAbstractSlider::SliderPageStepSub:
        code = scPageUp;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        code = scPageDown;
        break;
    case QAbstractSlider::SliderMove:
        code = scTrack;
        break;
    case QAbstractSlider::SliderToMinimum:
        code = scTop;
        break;
    case QAbstractSlider::SliderToMaximum:
        code = scBottom;
        break;
    default:
        code = scEndScroll;
        break;
    }
    Scroll(bar, code, sb->sliderPosition());
    // The bar takes the origin the control settled on, not the position it proposed.
    sb->setSliderPosition(bar == Qt::Horizontal ? FClipLeft : FClipTop);
}

void TLupe::Scroll(Qt::Orientation bar, TScrollCode code, int pos)
{
    const bool horz = bar == Qt::Horizontal;
    int& origin = horz ? FClipLeft : FClipTop;
    const int lineStep = horz ? FHorzLineStep : FVertLineStep;
    const int pageStep = horz ? FHorzPageStep : FVertPageStep;
    const int visible = horz ? FVisibleCols : FVisibleRows;
    const int source = horz ? FSourceWidth : FSourceHeight;
    const int old = origin;
    int d = 0;
    switch (code) {
    case scLineUp:
        d = -lineStep;
        break;
    case scLineDown:
        d = lineStep;
        break;
    case scPageUp:
        d = -pageStep;
        break;
    case scPageDown:
        d = pageStep;
        break;
    case scPosition:
    case scTrack:
        d = pos - old;
        break;
    default:
        break;
    }
    origin = std::max(0, old + d);
    if (origin + visible > source)
        origin = std::max(0, source - visible);
    // The pixels already on screen move by the distance actually scrolled; only the band they
    // uncover is painted anew.
    const int shift = (old - origin) * FPower;
    if (shift != 0) {
        const QRect drawn(0, 0, FDrawnWidth, FDrawnHeight);
        if (horz)
            viewport()->scroll(shift, 0, drawn);
        else
            viewport()->scroll(0, shift, drawn);
    }
    syncBars();
    if (OnScroll)
        OnScroll(code, origin);
}

void TLupe::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateLayout();
}

// The scroll bars move the clip through Scroll; nothing is left for the base to move.
void TLupe::scrollContentsBy(int, int) {}

void TLupe::paintEvent(QPaintEvent* event)
{
    QPainter screen(viewport());
    const QRect exposed = event->rect();
    if (FBitmap.isNull())
        paintEmpty(screen, exposed);
    else
        paintPicture(screen, exposed);
}

void TLupe::paintEmpty(QPainter& screen, const QRect& exposed)
{
    screen.fillRect(exposed, FColor);
    if (!FDrawGrid)
        return;
    const QRect client = viewport()->rect();
    const int cols = ClipWidth();
    const int rows = ClipHeight();
    bool drawResult = true;
    if (FStyle == lsOwnerDraw && OnDrawLupe)
        OnDrawLupe(screen, client, QRect(FClipLeft, FClipTop, cols, rows), ldsGrid, drawResult);
    if (!drawResult)
        return;
    screen.setPen(FGridPen);
    drawLine(screen, FGridPen, 0, 0, 0, client.height());
    for (int k = 1; k <= cols; ++k)
        drawLine(screen, FGridPen, k * FPower - 1, 0, k * FPower - 1, client.height());
    drawLine(screen, FGridPen, 0, 0, client.width(), 0);
    for (int k = 1; k <= rows; ++k)
        drawLine(screen, FGridPen, 0, k * FPower - 1, client.width(), k * FPower - 1);
}

void TLupe::paintPicture(QPainter& screen, const QRect& exposed)
{
    const int p = FPower;
    // The background shows only beside and below the magnified pixels.
    const QRect client = viewport()->rect();
    if (FDrawnHeight < client.height())
        screen.fillRect(exposed &
                            QRect(0, FDrawnHeight, client.width(), client.height() - FDrawnHeight),
                        FColor);
    if (FDrawnWidth < client.width())
        screen.fillRect(exposed & QRect(FDrawnWidth, 0, client.width() - FDrawnWidth, FDrawnHeight),
                        FColor);

    // Whole magnified pixels around the exposed area, within the drawn area.
    const int left = exposed.left() - exposed.left() % p;
    const int top = exposed.top() - exposed.top() % p;
    const int right = std::min(roundUp(exposed.left() + exposed.width(), p), FDrawnWidth);
    const int bottom = std::min(roundUp(exposed.top() + exposed.height(), p), FDrawnHeight);
    if (right <= left || bottom <= top)
        return;
    const QRect dest(left, top, right - left, bottom - top);
    const QRect source(left / p + FClipLeft, top / p + FClipTop, dest.width() / p,
                       dest.height() / p);

    // A picture resized by its owner without a word is shown as far as the buffer reaches.
    if (BackBuffer.size() != QSize(FDrawnWidth, FDrawnHeight)) {
        BackBuffer = QImage(FDrawnWidth, FDrawnHeight, QImage::Format_RGB32);
        BackBuffer.fill(FColor);
    }
    const bool owner = FStyle == lsOwnerDraw && OnDrawLupe;
    bool drawResult = true;
    if (owner) {
        QPainter canvas(&BackBuffer);
        OnDrawLupe(canvas, dest, source, ldsImage, drawResult);
    }
    if (drawResult)
        magnify(dest, source);
    if (drawResult && FDrawGrid && !owner && isThinSolid(FGridPen) &&
        FGridPen.color().alpha() == 255) {
        drawThinGrid(dest, FGridPen.color().rgb());
    } else if (drawResult && (FDrawGrid || owner)) {
        QPainter canvas(&BackBuffer);
        if (FDrawGrid) {
            if (owner)
                OnDrawLupe(canvas, dest, source, ldsGrid, drawResult);
            if (drawResult)
                drawGridLines(canvas, dest);
        }
        if (drawResult && owner)
            OnDrawLupe(canvas, dest, source, ldsOverlay, drawResult);
    }
    screen.drawImage(dest.topLeft(), BackBuffer, dest);
}

// Each source pixel of `source` becomes a Power x Power block of `dest` in the back buffer:
// one magnified row is built per source row and copied to the rows below it.
void TLupe::magnify(const QRect& dest, const QRect& source)
{
    const int p = FPower;
    const int bufferWidth = BackBuffer.width();
    const qsizetype stride = BackBuffer.bytesPerLine();
    uchar* bits = BackBuffer.bits();
    for (int row = 0; row < source.height(); ++row) {
        const int sy = source.top() + row;
        if (sy < 0 || sy >= FBitmap.height())
            continue;
        const auto* from = reinterpret_cast<const uint32_t*>(FBitmap.constScanLine(sy));
        const int y0 = dest.top() + row * p;
        auto* first = reinterpret_cast<uint32_t*>(bits + y0 * stride);
        int x = dest.left();
        for (int col = 0; col < source.width(); ++col, x += p) {
            const int sx = source.left() + col;
            if (sx < 0 || sx >= FBitmap.width())
                continue;
            std::fill_n(first + x, std::min(p, bufferWidth - x), from[sx]);
        }
        const size_t bytes = size_t(dest.width()) * sizeof(uint32_t);
        const uchar* line = reinterpret_cast<const uchar*>(first + dest.left());
        for (int k = 1; k < p; ++k)
            std::memcpy(bits + (y0 + k) * stride + dest.left() * sizeof(uint32_t), line, bytes);
    }
}

// The grid of drawGridLines for an opaque one-pixel pen, written straight into the back
// buffer: a painter's narrow column fills cost as much as the whole picture.
void TLupe::drawThinGrid(const QRect& dest, QRgb color)
{
    const int p = FPower;
    const qsizetype stride = BackBuffer.bytesPerLine();
    uchar* bits = BackBuffer.bits();
    const int right = dest.left() + dest.width();
    for (int y = dest.top(); y < dest.top() + dest.height(); ++y) {
        auto* line = reinterpret_cast<uint32_t*>(bits + y * stride);
        if (y % p == p - 1) {
            std::fill(line + dest.left(), line + right, color);
            continue;
        }
        for (int x = dest.left() + p - 1; x < right; x += p)
            line[x] = color;
    }
}

// The last column and row of every magnified pixel in dest carry the grid.
void TLupe::drawGridLines(QPainter& canvas, const QRect& dest)
{
    const int p = FPower;
    const int right = dest.left() + dest.width();
    const int bottom = dest.top() + dest.height();
    canvas.setPen(FGridPen);
    for (int k = dest.left() / p; k < right / p; ++k)
        drawLine(canvas, FGridPen, (k + 1) * p - 1, dest.top(), (k + 1) * p - 1, bottom);
    for (int k = dest.top() / p; k < bottom / p; ++k)
        drawLine(canvas, FGridPen, dest.left(), (k + 1) * p - 1, right, (k + 1) * p - 1);
}

void TLupe::press(QMouseEvent* event, Qt::KeyboardModifiers shift)
{
    const QPoint pos = event->position().toPoint();
    if (OnMouseDown)
        OnMouseDown(event->button(), shift, pos);
    if (OnSourceMouseDown)
        OnSourceMouseDown(event->button(), shift, SourcePoint(pos));
}

void TLupe::mousePressEvent(QMouseEvent* event)
{
    press(event, event->modifiers());
    event->accept();
}

// The second press of a double click: OnDblClick (left button only) comes first, then the
// press itself, marked with ssDouble.
void TLupe::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick();
    press(event, event->modifiers() | ssDouble);
    event->accept();
}

void TLupe::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (OnMouseMove)
        OnMouseMove(event->modifiers(), pos);
    if (OnSourceMouseMove)
        OnSourceMouseMove(event->modifiers(), SourcePoint(pos));
    event->accept();
}

void TLupe::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (OnMouseUp)
        OnMouseUp(event->button(), event->modifiers(), pos);
    if (OnSourceMouseUp)
        OnSourceMouseUp(event->button(), event->modifiers(), SourcePoint(pos));
    event->accept();
}

void TLupe::contextMenuEvent(QContextMenuEvent* event)
{
    if (!FPopupMenu) {
        event->ignore();
        return;
    }
    FPopupMenu->popup(event->globalPos());
    event->accept();
}
