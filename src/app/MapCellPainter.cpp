#include "MapCellPainter.h"

#include "CellPixels.h"
#include "MapDocument.h"
#include "PartsStore.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cstring>

void TMapCellPainter::Begin(QPainter& canvas, const TMapPaintState& state)
{
    F = state;
    FPicture = nullptr;
    FCached = false;
    if (!F.Doc || !F.Parts)
        return;
    FPartWidth = F.Parts->PartWidth();
    FPartHeight = F.Parts->PartHeight();
    if (canvas.device()->devType() == QInternal::Image) {
        auto* picture = static_cast<QImage*>(canvas.device());
        if (picture->format() == QImage::Format_RGB32 && picture->devicePixelRatio() == 1.0)
            FPicture = picture;
    }
    const QSize drawn = F.Zoom ? QSize(F.ZoomSize, F.ZoomSize) : F.CellSize;
    FCached = FPicture && TMapCellCache::Cacheable(drawn);
    if (FCached) {
        FCache.Prepare(drawn, [this](int n) -> const QImage& { return partPicture(n); });
    }
}

TCopyMode TMapCellPainter::CopyMode(int col, int row) const
{
    if (F.Preview == TDragPreview::None || F.Preview == TDragPreview::Terrain ||
        !F.Selection.Contains(col, row))
        return cmSrcCopy;
    if (F.Preview == TDragPreview::Inverted)
        return cmNotSrcCopy;
    // The group part's tiles: the background brush, but the part inverted in the last column and
    // the last row of every group-part-sized tile.
    const int gw = F.Doc->GroupWidth();
    const int gh = F.Doc->GroupHeight();
    if ((col - F.Selection.Left) % gw == gw - 1 || (row - F.Selection.Top) % gh == gh - 1)
        return cmNotSrcCopy;
    return cmPatCopy;
}

void TMapCellPainter::DrawCell(QPainter& canvas, int col, int row, const QRect& rect)
{
    if (!F.Doc || !F.Parts)
        return;
    const TCopyMode mode = CopyMode(col, row);
    const int part = partAt(col, row);
    // At the zoom view the part is drawn at the zoom size from the cell's corner, which is
    // the cell's size except while the settings dialog holds an edited size.
    const QRect target = F.Zoom ? QRect(rect.topLeft(), QSize(F.ZoomSize, F.ZoomSize)) : rect;
    const QBrush& background = F.CellBrush[F.Selection.Contains(col, row) ? 1 : 0];
    if (F.Zoom && (F.ZoomSize < rect.width() || F.ZoomSize < rect.height()))
        canvas.fillRect(rect, background);

    if (mode == cmPatCopy) {
        if (FPicture)
            CellPixels::Fill(*FPicture, target, background.color().rgb());
        else
            canvas.fillRect(target, background);
    } else if (FCached) {
        const QImage& scaled = FCache.Scaled(part, partPicture(part));
        if (mode == cmNotSrcCopy)
            CellPixels::CopyInverted(*FPicture, target.topLeft(), scaled);
        else
            CellPixels::Copy(*FPicture, target.topLeft(), scaled);
    } else {
        ApplyCopyMode(canvas, mode);
        if (part == F.EditedPart)
            canvas.drawImage(target, *F.EditedPicture);
        else if (F.Zoom)
            F.Parts->DrawPartZoomed(canvas, rect, part, F.ZoomSize);
        else
            F.Parts->DrawPart(canvas, rect, part);
    }
    drawLattice(canvas, col, row, rect);
}

// The group part's lattice, from map cell (0, 0), where a whole-map fill starts tiling:
// one-pixel lines in the "not" pen, as long as the part's pixel size. A pixel where the two
// lines meet is inverted twice, as with two separate pen strokes. Where the part is larger
// than the cell (the wide view) the cells drawn after this one cover the rest of the line,
// so it is drawn only within the cell.
void TMapCellPainter::drawLattice(QPainter& canvas, int col, int row, const QRect& rect)
{
    const int gw = F.Doc->GroupWidth();
    const int gh = F.Doc->GroupHeight();
    if (gw < 2 && gh < 2)
        return;
    QRect lines[2];
    int count = 0;
    if (col % gw == 0)
        lines[count++] = QRect(rect.left(), rect.top(), 1, FPartHeight) & rect;
    if (row % gh == 0)
        lines[count++] = QRect(rect.left(), rect.top(), FPartWidth, 1) & rect;
    if (FPicture) {
        for (int i = 0; i < count; ++i)
            CellPixels::Invert(*FPicture, lines[i]);
    } else {
        canvas.setCompositionMode(QPainter::RasterOp_NotDestination);
        for (int i = 0; i < count; ++i)
            canvas.fillRect(lines[i], Qt::black);
    }
}

uint8_t TMapCellPainter::partAt(int col, int row) const
{
    return F.Preview == TDragPreview::Terrain && F.PreviewPart ? F.PreviewPart(col, row)
                                                               : F.Doc->Cell(col, row);
}

const QImage& TMapCellPainter::partPicture(int n) const
{
    return n == F.EditedPart && F.EditedPicture ? *F.EditedPicture : F.Parts->PartBitmap(n);
}

void TMapCellPainter::DrawCells(QPainter& canvas, const TGridRect& cells, const QRect& first,
                                int pitchX, int pitchY)
{
    if (!F.Doc || !F.Parts)
        return;
    const QSize size = first.size();
    // The common case, every cell its cached part at 1:1 with no preview: the cells
    // are copied straight into the grid's picture. Everything else, and cells the
    // picture's edge cuts, go through DrawCell.
    const bool direct = FCached &&
                        (F.Preview == TDragPreview::None || F.Preview == TDragPreview::Terrain) &&
                        (!F.Zoom || size == QSize(F.ZoomSize, F.ZoomSize));
    std::array<const uchar*, 256> scaled{};
    qsizetype scaledStride = 0;
    if (direct) {
        for (int n = 0; n < 256; ++n) {
            const QImage& image = FCache.Scaled(n, partPicture(n));
            scaled[size_t(n)] = image.constBits();
            scaledStride = image.bytesPerLine();
        }
    }
    uchar* bits = direct ? FPicture->bits() : nullptr;
    const qsizetype stride = direct ? FPicture->bytesPerLine() : 0;
    const QRect inside = direct ? FPicture->rect() : QRect();
    const int gw = F.Doc->GroupWidth();
    const int gh = F.Doc->GroupHeight();
    const bool lattice = gw >= 2 || gh >= 2;
    const int lineHeight = std::min(size.height(), FPartHeight);
    const int lineWidth = std::min(size.width(), FPartWidth);
    const size_t rowBytes = size_t(size.width()) * 4;

    for (int row = cells.Top; row <= cells.Bottom; ++row) {
        const int y = first.top() + (row - cells.Top) * pitchY;
        for (int col = cells.Left; col <= cells.Right; ++col) {
            const QRect rect(first.left() + (col - cells.Left) * pitchX, y, size.width(),
                             size.height());
            if (!direct || !inside.contains(rect)) {
                DrawCell(canvas, col, row, rect);
                continue;
            }
            const uchar* src = scaled[partAt(col, row)];
            uchar* dst = bits + rect.top() * stride + qsizetype(rect.left()) * 4;
            if (size.width() <= 16) {
                // Narrow cells: a plain loop beats a call to memcpy for every line.
                for (int line = 0; line < size.height(); ++line) {
                    auto* out = reinterpret_cast<quint32*>(dst + line * stride);
                    const auto* in = reinterpret_cast<const quint32*>(src + line * scaledStride);
                    for (int i = 0; i < size.width(); ++i)
                        out[i] = in[i];
                }
            } else {
                for (int line = 0; line < size.height(); ++line)
                    std::memcpy(dst + line * stride, src + line * scaledStride, rowBytes);
            }
            if (!lattice)
                continue;
            // The lattice as drawLattice draws it.
            if (col % gw == 0) {
                for (int line = 0; line < lineHeight; ++line)
                    reinterpret_cast<quint32*>(dst + line * stride)[0] ^= 0x00ffffffu;
            }
            if (row % gh == 0) {
                auto* top = reinterpret_cast<quint32*>(dst);
                for (int i = 0; i < lineWidth; ++i)
                    top[i] ^= 0x00ffffffu;
            }
        }
    }
}
