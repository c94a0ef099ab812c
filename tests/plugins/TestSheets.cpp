#include "TestSheets.h"

#include <QBuffer>
#include <QPainter>
#include <cstdlib>
#include <webp/encode.h>

QImage DrawPartsSheet(int side, bool withAlpha)
{
    QImage sheet(side * 16, side * 16, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int part = 0; part < 256; ++part) {
        const int px = part % 16 * side;
        const int py = part / 16 * side;
        const int r = part * 37 % 256, g = part * 91 % 256, b = part * 173 % 256;
        for (int y = 0; y < side; ++y) {
            auto* row = reinterpret_cast<QRgb*>(sheet.scanLine(py + y));
            for (int x = 0; x < side; ++x) {
                int cr = (r + x * 255 / side) % 256, cg = (g + y * 255 / side) % 256, cb = b;
                if (x == 0 || y == 0 || x == side - 1 || y == side - 1) {
                    cr = cg = cb = part % 2 == 0 ? 0 : 255;
                } else if (x == y) {
                    cr = 255 - cr;
                }
                int a = 255;
                if (withAlpha) {
                    a = part % 5 == 0 ? 0 : std::max(0, 255 - (x + y) * 255 / (2 * side));
                }
                row[px + x] = qRgba(cr, cg, cb, a);
            }
        }
    }
    return sheet;
}

QImage ThroughPng(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    QImage back;
    back.loadFromData(png, "PNG");
    return back;
}

QImage OverWhite(const QImage& image)
{
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(0, 0, image);
    return out;
}

int MaxDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size()) {
        return -1;
    }
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            worst = std::max({worst, std::abs(qRed(p[col]) - qRed(q[col])),
                              std::abs(qGreen(p[col]) - qGreen(q[col])),
                              std::abs(qBlue(p[col]) - qBlue(q[col]))});
        }
    }
    return worst;
}

QByteArray EncodeWebp(const QImage& image, bool lossless, float quality)
{
    const QImage bgra = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                      : QImage::Format_RGB32);
    uint8_t* out = nullptr;
    const size_t size = lossless
                            ? WebPEncodeLosslessBGRA(bgra.constBits(), bgra.width(), bgra.height(),
                                                     int(bgra.bytesPerLine()), &out)
                            : WebPEncodeBGRA(bgra.constBits(), bgra.width(), bgra.height(),
                                             int(bgra.bytesPerLine()), quality, &out);
    QByteArray file(reinterpret_cast<const char*>(out), qsizetype(size));
    WebPFree(out);
    return file;
}
