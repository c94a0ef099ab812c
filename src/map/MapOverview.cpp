#include "MapOverview.h"

#include "MapDocument.h"
#include "PartsStore.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr int FieldBits = 21;
constexpr uint64_t FieldMask = (uint64_t(1) << FieldBits) - 1;

// A block's sum of one channel must fit its field.
constexpr int LargestBlock =
    (TMapDocument::MaxMapSize + TMapOverview::MaxPictureSide - 1) / TMapOverview::MaxPictureSide;
static_assert(uint64_t(255) * LargestBlock * LargestBlock <= FieldMask);

uint64_t packColor(QRgb c)
{
    return (uint64_t(qRed(c)) << (2 * FieldBits)) | (uint64_t(qGreen(c)) << FieldBits) |
           uint64_t(qBlue(c));
}

// Below this many cells a recompute stays on the calling thread.
constexpr size_t ThreadedCells = size_t(1) << 20;

// One recompute: the map's cells (column-major), the packed part colours, the picture.
struct TBlockPass
{
    const uint8_t* Cells;
    int Width;
    int Height;
    int Block;
    const uint64_t* Packed;
    uchar* Bits;
    qsizetype BytesPerLine;
    // Rounded division by a block's cell count n as a multiply and a shift: exact for the
    // sums a block can reach.
    std::vector<uint64_t> Reciprocal;

    uint32_t average(uint64_t sum, int n) const
    {
        const uint64_t half = uint64_t(n / 2);
        const uint64_t m = Reciprocal[size_t(n)];
        const uint64_t r = (((sum >> (2 * FieldBits)) & FieldMask) + half) * m >> 32;
        const uint64_t g = (((sum >> FieldBits) & FieldMask) + half) * m >> 32;
        const uint64_t b = ((sum & FieldMask) + half) * m >> 32;
        return 0xff000000u | uint32_t(r << 16) | uint32_t(g << 8) | uint32_t(b);
    }

    // The blocks by0..by1 - 1 of block column bx; with Filter, only those holding `part`,
    // whose span grows by the first and last block recomputed.
    template <int FixedBlock, bool Filter>
    void column(int bx, int by0, int by1, uint8_t part, QRect* span) const
    {
        int firstHit = -1;
        int lastHit = -1;
        const auto hit = [&](int by) {
            if (firstHit < 0)
                firstHit = by;
            lastHit = by;
        };
        const int block = FixedBlock > 0 ? FixedBlock : Block;
        const int x0 = bx * block;
        const int cols = std::min(Width, x0 + block) - x0;
        const uint8_t* first = Cells + size_t(x0) * size_t(Height);
        const uint8_t* end = Cells + size_t(Width) * size_t(Height);
        auto* pixel = reinterpret_cast<uint32_t*>(Bits) + bx;
        const qsizetype pitch = BytesPerLine / qsizetype(sizeof(uint32_t));
        for (int by = by0; by < by1; ++by) {
            const int y0 = by * block;
            const int rows = std::min(Height, y0 + block) - y0;
            const uint8_t* top = first + size_t(y0);
            uint32_t& out = pixel[by * pitch];
            if constexpr (FixedBlock > 0) {
                // A whole block whose last column can be read 8 bytes at a time.
                if (rows == FixedBlock && cols == FixedBlock &&
                    end - (top + size_t(cols - 1) * size_t(Height)) >= 8) {
                    if constexpr (Filter) {
                        if (wholeBlock<FixedBlock, Filter>(top, part, out))
                            hit(by);
                    } else {
                        wholeBlock<FixedBlock, Filter>(top, part, out);
                    }
                    continue;
                }
            }
            if constexpr (Filter) {
                bool holds = false;
                for (int c = 0; c < cols && !holds; ++c)
                    holds = std::memchr(top + size_t(c) * size_t(Height), part, size_t(rows));
                if (!holds)
                    continue;
                hit(by);
            }
            uint64_t sum = 0;
            for (int c = 0; c < cols; ++c) {
                const uint8_t* p = top + size_t(c) * size_t(Height);
                for (int k = 0; k < rows; ++k)
                    sum += Packed[p[k]];
            }
            out = average(sum, cols * rows);
        }
        if constexpr (Filter) {
            if (firstHit >= 0)
                *span |= QRect(bx, firstHit, 1, lastHit - firstHit + 1);
        }
    }

    // A whole block, its columns 8 bytes at a time; a block of one part takes its colour
    // without a look-up per cell, and the sums go in two chains so that the additions
    // overlap. With Filter, false for a block without `part`, which is left alone.
    template <int B, bool Filter>
    bool wholeBlock(const uint8_t* top, uint8_t part, uint32_t& out) const
    {
        constexpr uint64_t Ones = 0x0101010101010101ull;
        constexpr uint64_t Highs = 0x8080808080808080ull;
        constexpr uint64_t Used = B < 8 ? (uint64_t(1) << (8 * B)) - 1 : ~0ull;
        uint64_t v[B];
        for (int c = 0; c < B; ++c)
            std::memcpy(&v[c], top + size_t(c) * size_t(Height), sizeof v[c]);
        if constexpr (Filter) {
            const uint64_t pattern = Ones * part;
            uint64_t found = 0;
            for (int c = 0; c < B; ++c) {
                const uint64_t x = v[c] ^ pattern; // a zero byte where the part is
                found |= (x - Ones) & ~x & Highs & Used;
            }
            if (!found)
                return false;
        }
        // The first column decides whether the others are looked at: on a map of mixed
        // cells the test costs one compare a block.
        const uint64_t one = (v[0] & 0xff) * Ones & Used;
        if ((v[0] & Used) == one) {
            uint64_t differs = 0;
            for (int c = 1; c < B; ++c)
                differs |= (v[c] & Used) ^ one;
            if (!differs) {
                out = average(Packed[v[0] & 0xff] * uint64_t(B * B), B * B);
                return true;
            }
        }
        uint64_t s0 = 0, s1 = 0;
        for (int c = 0; c < B; ++c) {
            const uint8_t* p = top + size_t(c) * size_t(Height);
            for (int k = 0; k + 1 < B; k += 2) {
                s0 += Packed[p[k]];
                s1 += Packed[p[k + 1]];
            }
            if (B % 2)
                s0 += Packed[p[B - 1]];
        }
        out = average(s0 + s1, B * B);
        return true;
    }

    // Block columns bx0..bx1 - 1, rows by0..by1 - 1; with a span, only the blocks holding
    // `part`.
    //
    // The picture is row-major and the map column-major: the blocks go in tiles of
    // StripColumns x StripRows, so that the picture lines a tile writes stay in the cache
    // until each is whole, while the map is still read down its columns.
    static constexpr int StripColumns = 16; // 64 bytes of a picture line
    static constexpr int StripRows = 256;

    void columns(int bx0, int bx1, int by0, int by1, uint8_t part = 0, QRect* span = nullptr) const
    {
        for (int sx = bx0; sx < bx1; sx += StripColumns) {
            const int sxEnd = std::min(bx1, sx + StripColumns);
            for (int sy = by0; sy < by1; sy += StripRows) {
                const int syEnd = std::min(by1, sy + StripRows);
                for (int bx = sx; bx < sxEnd; ++bx) {
                    if (span)
                        columnOf<true>(bx, sy, syEnd, part, span);
                    else
                        columnOf<false>(bx, sy, syEnd, part, span);
                }
            }
        }
    }

    // The blocks of columns bx0..bx1 - 1 that hold `part`, recomputed; the span grows by
    // them. A part on few cells is found by memchr, which skips the rest of the column at
    // memory speed; where it is on many, the blocks are looked through one by one.
    void partColumns(int bx0, int bx1, uint8_t part, QRect* span) const
    {
        const int blockRows = (Height + Block - 1) / Block;
        std::vector<int> rows;
        for (int sx = bx0; sx < bx1; sx += StripColumns) {
            const int sxEnd = std::min(bx1, sx + StripColumns);
            int bx = sx;
            while (bx < sxEnd && sparseColumn(bx, part, rows, span))
                ++bx;
            if (bx < sxEnd)
                columns(bx, sxEnd, 0, blockRows, part, span);
        }
    }

    // Block column bx by memchr; false, with nothing written, when the part is in more
    // blocks than that is quick for.
    bool sparseColumn(int bx, uint8_t part, std::vector<int>& rows, QRect* span) const
    {
        const int x0 = bx * Block;
        const int cols = std::min(Width, x0 + Block) - x0;
        const size_t most = size_t(Height / Block) / 4 + 1;
        rows.clear();
        for (int c = 0; c < cols; ++c) {
            const uint8_t* column = Cells + size_t(x0 + c) * size_t(Height);
            for (int y = 0; y < Height;) {
                const auto* hit =
                    static_cast<const uint8_t*>(std::memchr(column + y, part, size_t(Height - y)));
                if (!hit)
                    break;
                const int by = int(hit - column) / Block;
                rows.push_back(by);
                if (rows.size() > most)
                    return false;
                y = (by + 1) * Block; // the rest of this block is summed anyway
            }
        }
        if (rows.empty())
            return true;
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        for (const int by : rows)
            columnOf<false>(bx, by, by + 1, part, nullptr);
        *span |= QRect(bx, rows.front(), 1, rows.back() - rows.front() + 1);
        return true;
    }

    template <bool Filter> void columnOf(int bx, int by0, int by1, uint8_t part, QRect* span) const
    {
        switch (Block) {
        case 1:
            column<1, Filter>(bx, by0, by1, part, span);
            break;
        case 2:
            column<2, Filter>(bx, by0, by1, part, span);
            break;
        case 3:
            column<3, Filter>(bx, by0, by1, part, span);
            break;
        case 4:
            column<4, Filter>(bx, by0, by1, part, span);
            break;
        case 5:
            column<5, Filter>(bx, by0, by1, part, span);
            break;
        case 6:
            column<6, Filter>(bx, by0, by1, part, span);
            break;
        case 7:
            column<7, Filter>(bx, by0, by1, part, span);
            break;
        default:
            column<0, Filter>(bx, by0, by1, part, span);
            break;
        }
    }
};

TBlockPass blockPass(const TMapDocument& doc, int block, const uint64_t* packed, QImage& picture)
{
    TBlockPass pass{doc.MapCells().data(),
                    doc.MapWidth(),
                    doc.MapHeight(),
                    block,
                    packed,
                    picture.bits(),
                    picture.bytesPerLine(),
                    {}};
    pass.Reciprocal.resize(size_t(block * block) + 1);
    for (uint64_t n = 1; n < pass.Reciprocal.size(); ++n)
        pass.Reciprocal[n] = ((uint64_t(1) << 32) + n - 1) / n;
    return pass;
}

constexpr int MaxBands = 8;

// Runs work(band, first, last) over 0..count - 1 in bands, one per core (at most
// MaxBands), when `large`.
template <class Work> void inBands(int count, bool large, const Work& work)
{
    const int threads =
        large ? std::clamp(int(std::thread::hardware_concurrency()), 1, std::min(count, MaxBands))
              : 1;
    if (threads <= 1) {
        work(0, 0, count);
        return;
    }
    std::vector<std::thread> helpers;
    const auto bandStart = [&](int i) { return int(int64_t(count) * i / threads); };
    for (int i = 1; i < threads; ++i)
        helpers.emplace_back([&, i] { work(i, bandStart(i), bandStart(i + 1)); });
    work(0, 0, bandStart(1));
    for (std::thread& t : helpers)
        t.join();
}

} // namespace

TMapOverview::TMapOverview(const TMapDocument& doc, const TPartsStore& parts, QObject* parent)
    : QObject(parent), FDoc(doc), FParts(parts)
{
    connect(&doc, &TMapDocument::cellsChanged, this, &TMapOverview::cellsChanged);
    connect(&doc, &TMapDocument::mapReplaced, this, &TMapOverview::Rebuild);
    connect(&parts, &TPartsStore::partChanged, this, &TMapOverview::partChanged);
    connect(&parts, &TPartsStore::allPartsChanged, this, &TMapOverview::allPartsChanged);
    FPartTimer.setSingleShot(true);
    FPartTimer.setInterval(PartDelayMs);
    connect(&FPartTimer, &QTimer::timeout, this, &TMapOverview::Flush);
    Rebuild();
}

int TMapOverview::BlockSizeFor(int mapWidth, int mapHeight)
{
    const int side = std::max({mapWidth, mapHeight, 1});
    return (side + MaxPictureSide - 1) / MaxPictureSide;
}

QRgb TMapOverview::AverageColor(const QImage& picture)
{
    if (picture.isNull())
        return qRgb(0, 0, 0);
    const QImage rgb =
        picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
            ? picture
            : picture.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width();
    const int height = rgb.height();
    uint64_t r = 0, g = 0, b = 0;
    // Summed in runs of 256 pixels: red and blue together in the two halves of one 32-bit
    // sum, which neither half can overflow in a run, so that the compiler can add several
    // pixels at a time.
    constexpr int Run = 256;
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x0 = 0; x0 < width; x0 += Run) {
            const int x1 = std::min(width, x0 + Run);
            uint32_t redBlue = 0, green = 0;
            for (int x = x0; x < x1; ++x) {
                redBlue += line[x] & 0x00ff00ffu;
                green += (line[x] >> 8) & 0xffu;
            }
            r += redBlue >> 16, g += green, b += redBlue & 0xffffu;
        }
    }
    const uint64_t n = uint64_t(width) * uint64_t(height);
    return qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n));
}

QRect TMapOverview::BlocksOf(const TCellRect& cells) const
{
    const TCellRect r = cells.NormalizeRect();
    const int left = std::max(0, r.Left) / FBlock;
    const int top = std::max(0, r.Top) / FBlock;
    const int right = std::min(FPicture.width() - 1, r.Right / FBlock);
    const int bottom = std::min(FPicture.height() - 1, r.Bottom / FBlock);
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

void TMapOverview::setPartColor(int part, QRgb color)
{
    FPartColors[size_t(part)] = color;
    FPacked[size_t(part)] = packColor(color);
}

void TMapOverview::Rebuild()
{
    FPendingParts.reset();
    FPartTimer.stop();
    for (int n = 0; n < TPartsStore::PartCount; ++n)
        setPartColor(n, AverageColor(FParts.PartBitmap(n)));
    FBlock = BlockSizeFor(FDoc.MapWidth(), FDoc.MapHeight());
    const int w = (FDoc.MapWidth() + FBlock - 1) / FBlock;
    const int h = (FDoc.MapHeight() + FBlock - 1) / FBlock;
    if (FPicture.width() != w || FPicture.height() != h) {
        FPicture = QImage(); // the old picture goes before the new one is made
        FPicture = QImage(std::max(1, w), std::max(1, h), QImage::Format_RGB32);
    }
    if (w > 0 && h > 0)
        computeBlocks(FPicture.rect());
    emit pictureChanged(FPicture.rect());
}

void TMapOverview::computeBlocks(const QRect& blocks)
{
    // Without memory for the picture there is nothing to draw into; the next new map tries
    // again.
    if (blocks.isEmpty() || FDoc.MapCells().empty() || FPicture.isNull())
        return;
    const TBlockPass pass = blockPass(FDoc, FBlock, FPacked.data(), FPicture);
    const size_t cells = size_t(blocks.width()) * size_t(blocks.height()) * size_t(FBlock * FBlock);
    inBands(blocks.width(), cells >= ThreadedCells, [&](int, int first, int last) {
        pass.columns(blocks.left() + first, blocks.left() + last, blocks.top(),
                     blocks.bottom() + 1);
    });
}

void TMapOverview::cellsChanged(const TCellRect& rect)
{
    const QRect blocks = BlocksOf(rect);
    if (blocks.isEmpty())
        return;
    computeBlocks(blocks);
    emit pictureChanged(blocks);
}

void TMapOverview::partChanged(int part)
{
    const QRgb color = AverageColor(FParts.PartBitmap(part));
    if (color == FPartColors[size_t(part)])
        return;
    setPartColor(part, color);
    FPendingParts.set(size_t(part));
    if (!FPartTimer.isActive())
        FPartTimer.start();
}

void TMapOverview::Flush()
{
    FPartTimer.stop();
    if (FPendingParts.none())
        return;
    QRect changed;
    if (FPendingParts.count() == 1) {
        size_t part = 0;
        while (!FPendingParts.test(part))
            ++part;
        changed = recomputePart(uint8_t(part));
    } else {
        computeBlocks(FPicture.rect());
        changed = FPicture.rect();
    }
    FPendingParts.reset();
    if (!changed.isEmpty())
        emit pictureChanged(changed);
}

void TMapOverview::allPartsChanged()
{
    std::vector<int> changed;
    for (int n = 0; n < TPartsStore::PartCount; ++n) {
        const QRgb color = AverageColor(FParts.PartBitmap(n));
        if (color != FPartColors[size_t(n)] || FPendingParts.test(size_t(n))) {
            setPartColor(n, color);
            changed.push_back(n);
        }
    }
    FPendingParts.reset();
    FPartTimer.stop();
    if (changed.empty())
        return;
    if (changed.size() == 1) {
        const QRect rect = recomputePart(uint8_t(changed.front()));
        if (!rect.isEmpty())
            emit pictureChanged(rect);
        return;
    }
    computeBlocks(FPicture.rect());
    emit pictureChanged(FPicture.rect());
}

QRect TMapOverview::recomputePart(uint8_t part)
{
    const auto cells = FDoc.MapCells();
    if (cells.empty() || FPicture.isNull())
        return {};
    // One pass: the blocks that hold the part are found and summed again.
    const TBlockPass pass = blockPass(FDoc, FBlock, FPacked.data(), FPicture);
    std::array<QRect, MaxBands> spans;
    inBands(FPicture.width(), cells.size() >= ThreadedCells, [&](int band, int first, int last) {
        pass.partColumns(first, last, part, &spans[size_t(band)]);
    });
    QRect all;
    for (const QRect& span : spans)
        all |= span;
    return all;
}
