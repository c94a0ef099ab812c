#pragma once

#include "PartsStore.h"
#include "PictureFormats.h"

#include <QImage>
#include <cstdint>
#include <vector>

// A picture of hashed colours: every pixel differs from its neighbours and every part-sized
// block from every other, so that a shifted, scaled or mixed-up copy shows.
inline QImage patternPicture(int width, int height, int seed = 0)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t h =
                uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(seed + 1) * 83492791u;
            h ^= h >> 13;
            h *= 0x5bd1e995u;
            h ^= h >> 15;
            image.setPixel(x, y, 0xff000000u | (h & 0xffffffu));
        }
    }
    return image;
}

// The sub-picture at (x, y) of the part size, with white where it reaches past the source.
inline QImage expectedCapture(const QImage& source, int x, int y, int width, int height)
{
    QImage expected(width, height, QImage::Format_RGB32);
    expected.fill(Qt::white);
    for (int py = 0; py < height; ++py) {
        for (int px = 0; px < width; ++px) {
            if (source.rect().contains(x + px, y + py))
                expected.setPixel(px, py, source.pixel(x + px, y + py));
        }
    }
    return expected;
}

// Deep copies of all part pictures, to compare against after an operation.
inline std::vector<QImage> snapshotParts(const TPartsStore& store)
{
    std::vector<QImage> parts;
    for (int n = 0; n < TPartsStore::PartCount; ++n)
        parts.push_back(store.PartBitmap(n).copy());
    return parts;
}

// Fills all parts with distinct graphics through a full sheet.
inline void fillWithGraphics(TPartsStore& store, int seed = 1)
{
    store.SlicePartsPicture(patternPicture(16 * store.PartWidth(), 16 * store.PartHeight(), seed));
}
