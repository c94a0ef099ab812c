#include "LupeUnit.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

TLupe::TLupe(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TLupe::SetBitmap(const QImage& bitmap)
{
    FBitmap = bitmap;
    update();
}

void TLupe::SetMagnification(int factor)
{
    FMagnification = std::max(1, factor);
    update();
}

void TLupe::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    if (FBitmap.isNull())
        return;
    // The painter stretches without smoothing and only over the clipped area.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(
        QRect(0, 0, FBitmap.width() * FMagnification, FBitmap.height() * FMagnification), FBitmap);
}
