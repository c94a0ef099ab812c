#include "MapPicture.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

// ---- the renderer -------------------------------------------------------------------------

namespace {

// Where each of `to` target pixels takes its source pixel from when `from` pixels in a row
// (or column) are stretched without smoothing.
std::vector<int> stretchedIndices(int from, int to, Qt::Orientation orientation)
{
    const bool across = orientation == Qt::Horizontal;
    QImage indices(across ? from : 1, across ? 1 : from, QImage::Format_RGB32);
    for (int i = 0; i < from; ++i)
        indices.setPixel(across ? i : 0, across ? 0 : i, 0xff000000u | quint32(i));
    QImage stretched(across ? to : 1, across ? 1 : to, QImage::Format_RGB32);
    {
        QPainter painter(&stretched);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(stretched.rect(), indices);
    }
    std::vector<int> map(static_cast<size_t>(to));
    for (int i = 0; i < to; ++i)
        map[size_t(i)] = int(stretched.pixel(across ? i : 0, across ? 0 : i) & 0xffffffu);
    return map;
}

} // namespace

TMapPictureRenderer::TMapPictureRenderer(std::span<const uint8_t> cells, int mapWidth,
                                         int mapHeight, const std::array<QImage, 256>& parts,
                                         QSize cell, TPixelOrder order)
    : FCells(cells), FMapWidth(mapWidth), FMapHeight(mapHeight), FParts(parts), FCell(cell),
      FOrder(order), FWholeParts(qint64(cell.width()) * cell.height() <= MaxCachedCellArea)
{
    FScaledLine.fill(-1);
    if (FWholeParts)
        return;
    // Big cells are drawn a line at a time from each part's own pixels. Which source column
    // and row every target pixel takes is asked of the same painter that stretches whole
    // parts, by stretching pictures of the source indices, so the two ways agree.
    const QSize partSize = FParts[0].size();
    for (QImage& part : FParts) {
        if (part.format() != QImage::Format_RGB32 && part.format() != QImage::Format_ARGB32)
            part = part.convertToFormat(QImage::Format_RGB32);
    }
    FColumnMap = stretchedIndices(partSize.width(), cell.width(), Qt::Horizontal);
    FRowMap = stretchedIndices(partSize.height(), cell.height(), Qt::Vertical);
}

namespace {

// One line of RGB32 pixels as 3 bytes each.
void packLine(const QImage& image, int line, uchar* out, TPixelOrder order)
{
    const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(line));
    const int width = image.width();
    for (int x = 0; x < width; ++x, out += 3) {
        const QRgb p = in[x];
        const uchar r = uchar(qRed(p)), g = uchar(qGreen(p)), b = uchar(qBlue(p));
        out[0] = order == TPixelOrder::Bgr ? b : r;
        out[1] = g;
        out[2] = order == TPixelOrder::Bgr ? r : b;
    }
}

// Part stretched into `target` (offset so that only the wanted lines land in the image),
// as the map view draws a part: every pixel one source pixel, no smoothing.
void drawPart(QImage& image, const QImage& part, const QRect& target)
{
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target, part);
}

} // namespace

const uchar* TMapPictureRenderer::partLine(int part, int line)
{
    std::vector<uchar>& scaled = FScaled[size_t(part)];
    const size_t lineBytes = size_t(FCell.width()) * 3;
    if (FWholeParts) {
        if (scaled.empty()) {
            QImage image(FCell, QImage::Format_RGB32);
            if (image.isNull())
                throw std::bad_alloc();
            drawPart(image, FParts[size_t(part)], image.rect());
            scaled.resize(lineBytes * size_t(FCell.height()));
            for (int y = 0; y < FCell.height(); ++y)
                packLine(image, y, scaled.data() + lineBytes * size_t(y), FOrder);
        }
        return scaled.data() + lineBytes * size_t(line);
    }
    if (FScaledLine[size_t(part)] != line) {
        const QImage& picture = FParts[size_t(part)];
        scaled.resize(lineBytes);
        const auto* in =
            reinterpret_cast<const QRgb*>(picture.constScanLine(FRowMap[size_t(line)]));
        uchar* out = scaled.data();
        const bool bgr = FOrder == TPixelOrder::Bgr;
        for (int x = 0; x < FCell.width(); ++x, out += 3) {
            const QRgb p = in[FColumnMap[size_t(x)]];
            out[0] = uchar(bgr ? qBlue(p) : qRed(p));
            out[1] = uchar(qGreen(p));
            out[2] = uchar(bgr ? qRed(p) : qBlue(p));
        }
        FScaledLine[size_t(part)] = line;
    }
    return scaled.data();
}

void TMapPictureRenderer::loadCellRow(int row)
{
    if (row == FRow)
        return;
    FRowCells.resize(size_t(FMapWidth));
    const uint8_t* column = FCells.data() + row;
    for (int x = 0; x < FMapWidth; ++x, column += FMapHeight)
        FRowCells[size_t(x)] = *column;
    FRow = row;
}

void TMapPictureRenderer::RenderRows(qint64 top, int count, uchar* dst, qsizetype stride,
                                     qint64 left, qint64 width)
{
    const int cellW = FCell.width();
    const int cellH = FCell.height();
    for (int i = 0; i < count; ++i, dst += stride) {
        const qint64 y = top + i;
        const int line = int(y % cellH);
        loadCellRow(int(y / cellH));
        uchar* out = dst;
        qint64 x = left;
        const qint64 end = left + width;
        while (x < end) {
            const int col = int(x / cellW);
            const int offset = int(x % cellW);
            const int n = int(std::min<qint64>(cellW - offset, end - x));
            const uchar* src = partLine(FRowCells[size_t(col)], line) + size_t(offset) * 3;
            if (n <= 4) {
                // One- to four-pixel cells: a plain loop beats a call to memcpy.
                for (int b = 0; b < n * 3; ++b)
                    out[b] = src[b];
            } else {
                std::memcpy(out, src, size_t(n) * 3);
            }
            out += size_t(n) * 3;
            x += n;
        }
    }
}
