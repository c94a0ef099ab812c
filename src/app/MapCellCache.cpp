#include "MapCellCache.h"

#include <QPainter>

TMapCellCache::TMapCellCache() = default;

TMapCellCache::~TMapCellCache() = default;

void TMapCellCache::Prepare(const QSize& size, const std::function<const QImage&(int)>& partAt)
{
    if (size != FSize) {
        Clear();
        FSize = size;
    }
    for (int n = 0; n < 256; ++n) {
        if (!FImages[size_t(n)].isNull() && FKeys[size_t(n)] != partAt(n).cacheKey())
            FImages[size_t(n)] = QImage();
    }
}

void TMapCellCache::make(int n, const QImage& part)
{
    QImage& entry = FImages[size_t(n)];
    if (part.size() == FSize) {
        entry = part;
    } else {
        if (!FPainter) {
            FScratch = QImage(FSize, QImage::Format_RGB32);
            FPainter = std::make_unique<QPainter>(&FScratch);
            FPainter->setCompositionMode(QPainter::CompositionMode_Source);
            FPainter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        }
        FPainter->drawImage(QRect(QPoint(0, 0), FSize), part);
        entry = FScratch.copy();
    }
    FKeys[size_t(n)] = part.cacheKey();
}

void TMapCellCache::Clear()
{
    FPainter.reset();
    FScratch = QImage();
    for (QImage& image : FImages)
        image = QImage();
    FKeys.fill(0);
    FSize = QSize();
}
