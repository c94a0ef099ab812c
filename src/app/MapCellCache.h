#pragma once

#include <QImage>
#include <QSize>
#include <array>
#include <functional>
#include <memory>

class QPainter;

// The parts scaled to the map's cell size, so that a repaint copies each cell 1:1 instead of
// stretching its part again. Before each repaint Prepare drops the entries whose part
// changed (its picture's cache key moved on) or whose size is not the one drawn now;
// entries are made again when first drawn. Sizes whose copies would take too much memory
// are not cached: the caller then stretches the part directly.
class TMapCellCache
{
public:
    // Largest cached cell area in pixels: 256 parts of 256 x 256 take 64 MB.
    static constexpr qint64 MaxCachedArea = 256 * 256;

    static bool Cacheable(const QSize& size)
    {
        return size.width() > 0 && size.height() > 0 &&
               qint64(size.width()) * size.height() <= MaxCachedArea;
    }

    TMapCellCache();
    ~TMapCellCache();
    TMapCellCache(const TMapCellCache&) = delete;
    TMapCellCache& operator=(const TMapCellCache&) = delete;

    void Prepare(const QSize& size, const std::function<const QImage&(int)>& partAt);
    // Part n scaled (nearest neighbour) to the prepared size.
    const QImage& Scaled(int n, const QImage& part)
    {
        QImage& entry = FImages[size_t(n)];
        if (entry.isNull())
            make(n, part);
        return entry;
    }

    void Clear();

private:
    void make(int n, const QImage& part);

    QSize FSize;
    std::array<QImage, 256> FImages;
    std::array<qint64, 256> FKeys{};
    // Where copies are scaled, with one painter for all copies of a size: starting a
    // painter costs more than scaling a part, and all 256 are made again after a new sheet.
    QImage FScratch;
    std::unique_ptr<QPainter> FPainter;
};
