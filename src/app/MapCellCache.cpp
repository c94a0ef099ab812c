#include "MapCellCache.h"

#include <QPainter>

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
        entry = QImage(FSize, QImage::Format_RGB32);
        QPainter p(&entry);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(QRect(QPoint(0, 0), FSize), part);
    }
    FKeys[size_t(n)] = part.cacheKey();
}

void TMapCellCache::Clear()
{
    for (QImage& image : FImages)
        image = QImage();
    FKeys.fill(0);
    FSize = QSize();
}
