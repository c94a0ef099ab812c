#include "MapCellCache.h"

#include <QPainter>

const QImage& TMapCellCache::Scaled(int n, const QImage& part, const QSize& size)
{
    if (size != FSize) {
        Clear();
        FSize = size;
    }
    QImage& entry = FImages[size_t(n)];
    if (entry.isNull() || FKeys[size_t(n)] != part.cacheKey()) {
        if (part.size() == size) {
            entry = part;
        } else {
            entry = QImage(size, QImage::Format_RGB32);
            QPainter p(&entry);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.setRenderHint(QPainter::SmoothPixmapTransform, false);
            p.drawImage(QRect(QPoint(0, 0), size), part);
        }
        FKeys[size_t(n)] = part.cacheKey();
    }
    return entry;
}

void TMapCellCache::Clear()
{
    for (QImage& image : FImages)
        image = QImage();
    FKeys.fill(0);
    FSize = QSize();
}
