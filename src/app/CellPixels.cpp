#include "CellPixels.h"

#include <cstring>

namespace CellPixels {

namespace {

// Colour bits of an RGB32 pixel; the top byte stays 0xff.
constexpr quint32 ColourMask = 0x00ffffff;

template <class RowOp> void forRows(QImage& target, const QRect& rect, RowOp op)
{
    const QRect r = rect & target.rect();
    if (r.isEmpty())
        return;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* row = reinterpret_cast<quint32*>(target.scanLine(y)) + r.left();
        op(row, r.width(), y - rect.top(), r.left() - rect.left());
    }
}

} // namespace

void Copy(QImage& target, const QPoint& at, const QImage& source)
{
    forRows(target, QRect(at, source.size()), [&](quint32* row, int n, int sy, int sx) {
        std::memcpy(row, reinterpret_cast<const quint32*>(source.constScanLine(sy)) + sx,
                    size_t(n) * 4);
    });
}

void CopyInverted(QImage& target, const QPoint& at, const QImage& source)
{
    forRows(target, QRect(at, source.size()), [&](quint32* row, int n, int sy, int sx) {
        const quint32* in = reinterpret_cast<const quint32*>(source.constScanLine(sy)) + sx;
        for (int i = 0; i < n; ++i)
            row[i] = in[i] ^ ColourMask;
    });
}

void Fill(QImage& target, const QRect& rect, QRgb colour)
{
    const quint32 pixel = colour | 0xff000000u;
    forRows(target, rect, [&](quint32* row, int n, int, int) {
        for (int i = 0; i < n; ++i)
            row[i] = pixel;
    });
}

void Invert(QImage& target, const QRect& rect)
{
    forRows(target, rect, [&](quint32* row, int n, int, int) {
        for (int i = 0; i < n; ++i)
            row[i] ^= ColourMask;
    });
}

} // namespace CellPixels
