#include "CmprsImg.h"

#include "PictureCodec.h"

#include <QFile>
#include <QMouseEvent>
#include <QPainter>

TCompressedImage::TCompressedImage(QWidget* parent) : QWidget(parent) {}

void TCompressedImage::ReadCompressedData(const QByteArray& value)
{
    // Decode first: a damaged value throws before anything shown is touched.
    SetPicture(pictureFromCompressedData(value));
}

void TCompressedImage::LoadResource(const QString& resourcePath)
{
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly))
        throw ECompressedDataError(
            QStringLiteral("画像リソース %1 がありません").arg(resourcePath));
    ReadCompressedData(file.readAll());
}

void TCompressedImage::SetPicture(const QImage& picture)
{
    FPicture = picture;
    FShown = QImage();
    if (!FPicture.isNull()) {
        if (FTransparent) {
            // The bottom-left pixel names the colour left out, as picture controls
            // traditionally do with bitmaps.
            FShown = FPicture.convertToFormat(QImage::Format_ARGB32);
            const QRgb key = FShown.pixel(0, FShown.height() - 1) | 0xff000000u;
            for (int y = 0; y < FShown.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(FShown.scanLine(y));
                for (int x = 0; x < FShown.width(); ++x) {
                    if ((line[x] | 0xff000000u) == key)
                        line[x] = 0;
                }
            }
        } else {
            FShown = FPicture;
        }
    }
    if (FAutoSize && !FPicture.isNull())
        resize(FPicture.size());
    updateGeometry();
    update();
}

void TCompressedImage::SetAutoSize(bool autoSize)
{
    FAutoSize = autoSize;
    if (FAutoSize && !FPicture.isNull())
        resize(FPicture.size());
}

void TCompressedImage::SetTransparent(bool transparent)
{
    if (FTransparent == transparent)
        return;
    FTransparent = transparent;
    SetPicture(FPicture); // rebuilds the drawn copy
}

QSize TCompressedImage::sizeHint() const
{
    return FPicture.isNull() ? QSize(105, 105) : FPicture.size();
}

void TCompressedImage::paintEvent(QPaintEvent*)
{
    if (FShown.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, FShown);
}

void TCompressedImage::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit clicked();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}
