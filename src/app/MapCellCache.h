#pragma once

#include <QImage>
#include <QSize>
#include <array>

// The parts scaled to the map's cell size, so that a repaint copies each cell 1:1 instead of
// stretching its part again. An entry is rebuilt when its part's pixels change (the
// picture's cache key moves on) or the size changes. Sizes whose copies would take too much
// memory are not cached: the caller then stretches the part directly.
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

    // Part n's picture scaled to size (nearest neighbour). Only for Cacheable sizes.
    const QImage& Scaled(int n, const QImage& part, const QSize& size);

    void Clear();

private:
    QSize FSize;
    std::array<QImage, 256> FImages;
    std::array<qint64, 256> FKeys{};
};
