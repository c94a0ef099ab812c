#include "CellPixels.h"

#include <cstring>

namespace CellPixels {

namespace {

// Colour bits of an RGB32 pixel; the top byte stays 0xff.
constexpr quint32 ColourMask = 0x00ffffff;

// Runs op(row, count, source row, source column) for each row of rect inside the target.
// The target's bits are taken once: scanLine() would check for sharing on every row.
template <class RowOp> void forRows(QImage& target, const QRect& rect, RowOp op)
{
    const QRect r = rect & target.rect();
    if (r.isEmpty())
        return;
    uchar* bits = target.bits();
    const qsizetype stride = target.bytesPerLine();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* row = reinterpret_cast<quint32*>(bits + y * stride) + r.left();
        op(row, r.width(), y - rect.top(), r.left() - rect.left());
    }
}

// A source picture's rows, looked up once per cell rather than once per row.
struct SourceRows
{
    explicit SourceRows(const QImage& source)
        : Bits(source.constBits()), Stride(source.bytesPerLine())
    {
    }
    const quint32* operator()(int y) const
    {
        return reinterpret_cast<const quint32*>(Bits + y * Stride);
    }
    const uchar* Bits;
    qsizetype Stride;
};

// Cells are narrow: a plain loop beats a call to memcpy for every row.
inline void copyRow(quint32* out, const quint32* in, int n)
{
    if (n > 64) {
        std::memcpy(out, in, size_t(n) * 4);
        return;
    }
    for (int i = 0; i < n; ++i)
        out[i] = in[i];
}

} // namespace

void Copy(QImage& target, const QPoint& at, const QImage& source)
{
    const SourceRows rows(source);
    forRows(target, QRect(at, source.size()),
            [&](quint32* row, int n, int sy, int sx) { copyRow(row, rows(sy) + sx, n); });
}

void CopyInverted(QImage& target, const QPoint& at, const QImage& source)
{
    const SourceRows rows(source);
    forRows(target, QRect(at, source.size()), [&](quint32* row, int n, int sy, int sx) {
        const quint32* in = rows(sy) + sx;
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
