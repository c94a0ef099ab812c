#include "ToolGlyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygon>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

// The classic sixteen-colour palette, plus a few tints where a motif needs them.
const QColor cBlack(0, 0, 0);
const QColor cMaroon(128, 0, 0);
const QColor cOlive(128, 128, 0);
const QColor cNavy(0, 0, 128);
const QColor cGrey(128, 128, 128);
const QColor cSilver(192, 192, 192);
const QColor cRed(255, 0, 0);
const QColor cYellow(255, 255, 0);
const QColor cBlue(0, 0, 255);
const QColor cWhite(255, 255, 255);
const QColor cWood(240, 200, 136);
const QColor cGlass(176, 224, 255);
const QColor cGreen(0, 128, 0);

QImage blankImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

bool opaqueAt(const QImage& image, int x, int y)
{
    return x >= 0 && y >= 0 && x < image.width() && y < image.height() &&
           qAlpha(image.pixel(x, y)) != 0;
}

bool touchesOpaque(const QImage& image, int x, int y)
{
    return opaqueAt(image, x - 1, y) || opaqueAt(image, x + 1, y) || opaqueAt(image, x, y - 1) ||
           opaqueAt(image, x, y + 1);
}

// Every pixel the function gives a colour (an invalid colour leaves it transparent).
QImage imageFromFunction(int size, const std::function<QColor(int x, int y)>& colourAt)
{
    QImage image = blankImage(size);
    QPainter p(&image);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const QColor c = colourAt(x, y);
            if (c.isValid()) {
                p.setPen(c);
                p.drawPoint(x, y);
            }
        }
    }
    return image;
}

// A black edge on the shape's own border pixels.
void outlineInside(QImage& image)
{
    const QImage shape = image;
    QPainter p(&image);
    p.setPen(cBlack);
    for (int y = 0; y < shape.height(); ++y)
        for (int x = 0; x < shape.width(); ++x)
            if (opaqueAt(shape, x, y) &&
                (!opaqueAt(shape, x - 1, y) || !opaqueAt(shape, x + 1, y) ||
                 !opaqueAt(shape, x, y - 1) || !opaqueAt(shape, x, y + 1)))
                p.drawPoint(x, y);
}

// A black edge around the shape, on the transparent pixels next to it; also fills one-pixel
// gaps, which separates the fingers of the hand.
void outlineOutside(QImage& image)
{
    const QImage shape = image;
    QPainter p(&image);
    p.setPen(cBlack);
    for (int y = 0; y < shape.height(); ++y)
        for (int x = 0; x < shape.width(); ++x)
            if (!opaqueAt(shape, x, y) && touchesOpaque(shape, x, y))
                p.drawPoint(x, y);
}

QImage pencil()
{
    // Lies on the diagonal x + y = 31, tip at the bottom left: s is the distance across the
    // pencil, t the distance along it, both in diagonal steps.
    QImage image = imageFromFunction(32, [](int x, int y) -> QColor {
        const int s = x + y - 31;
        const int t = x - y;
        if (t < -26 || t > 23)
            return {};
        if (t <= -12) { // the sharpened cone
            if (std::abs(s) * 14 > (t + 26) * 4)
                return {};
            return t < -20 ? cBlack : cWood;
        }
        if (std::abs(s) > 4 || (t > 21 && std::abs(s) > 4 - (t - 21)))
            return {};
        if (t <= 12)
            return s >= 2 ? cOlive : cYellow;
        if (t <= 16)
            return t == 14 ? cGrey : cSilver;
        return s >= 2 ? cMaroon : cRed;
    });
    outlineInside(image);
    return image;
}

QImage sheet()
{
    QImage image = blankImage(32);
    QPainter p(&image);
    p.setPen(cBlack);
    p.setBrush(cWhite);
    p.drawPolygon(
        QPolygon({QPoint(5, 2), QPoint(19, 2), QPoint(26, 9), QPoint(26, 29), QPoint(5, 29)}));
    p.setBrush(cSilver);
    p.drawPolygon(QPolygon({QPoint(19, 2), QPoint(19, 9), QPoint(26, 9)}));
    // Lines of writing.
    p.setPen(cNavy);
    p.drawLine(9, 7, 15, 7);
    for (int y = 13; y <= 25; y += 3)
        p.drawLine(9, y, y == 25 ? 17 : 22, y);
    return image;
}

QImage hand()
{
    QImage image = blankImage(32);
    {
        QPainter p(&image);
        auto fill = [&p](int x0, int y0, int x1, int y1) {
            p.fillRect(QRect(QPoint(x0, y0), QPoint(x1, y1)), cWhite);
        };
        // Four fingers, one pixel apart so that the outline separates them; rounded tips.
        const int tops[4] = {7, 4, 5, 9};
        for (int i = 0; i < 4; ++i) {
            const int x = 8 + 5 * i;
            fill(x + 1, tops[i], x + 2, tops[i]);
            fill(x, tops[i] + 1, x + 3, 17);
        }
        // Palm with rounded lower corners.
        fill(8, 16, 26, 25);
        fill(9, 26, 25, 27);
        fill(11, 28, 23, 28);
        // The thumb, spread out to the lower left.
        for (int x = 2; x <= 8; ++x) {
            const int top = x + (x == 2 ? 12 : 11);
            const int bottom = x + (x == 2 ? 14 : 15);
            fill(x, top, x, bottom);
        }
    }
    outlineOutside(image);
    return image;
}

QImage magnifier()
{
    QImage image = imageFromFunction(32, [](int x, int y) -> QColor {
        // Handle on the diagonal x = y, out from the lower right of the lens.
        const int across = x - y;
        const int along = x + y;
        if (along >= 36 && along <= 60 && std::abs(across) <= 3 &&
            !(along >= 59 && std::abs(across) >= 2)) {
            if (along <= 40)
                return cGrey;
            return across <= -1 ? cRed : cMaroon;
        }
        const double dx = x + 0.5 - 12.0;
        const double dy = y + 0.5 - 12.0;
        const double d = std::hypot(dx, dy);
        if (d > 10.6)
            return {};
        if (d > 7.8)
            return d > 9.2 ? cGrey : cSilver;
        // A highlight on the glass towards the upper left.
        const double angle = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
        if (d >= 4.2 && d <= 5.8 && angle >= -160 && angle <= -110)
            return cWhite;
        return cGlass;
    });
    outlineInside(image);
    return image;
}

QImage freeLine()
{
    QImage image = blankImage(16);
    QPainter p(&image);
    p.setPen(cBlack);
    QPainterPath path(QPointF(1.5, 12.5));
    path.cubicTo(QPointF(3.5, 1.5), QPointF(8.5, 17.5), QPointF(14.5, 2.5));
    p.drawPath(path);
    return image;
}

QImage line()
{
    QImage image = blankImage(16);
    QPainter p(&image);
    p.setPen(cBlack);
    p.drawLine(2, 13, 13, 2);
    return image;
}

QImage box(bool filled)
{
    QImage image = blankImage(16);
    QPainter p(&image);
    p.setPen(cBlack);
    if (filled)
        p.setBrush(cGrey);
    p.drawRect(2, 3, 11, 9);
    return image;
}

QImage bucket()
{
    QImage image = blankImage(16);
    QPainter p(&image);
    // The handle over the tipped pail.
    p.setPen(cBlack);
    p.drawLine(2, 7, 2, 4);
    p.drawLine(3, 3, 4, 2);
    p.drawLine(5, 2, 6, 2);
    p.drawLine(7, 3, 8, 4);
    // The pail, tipped to the right, its mouth at the upper right.
    p.setBrush(cSilver);
    p.drawPolygon(QPolygon({QPoint(1, 8), QPoint(6, 3), QPoint(11, 8), QPoint(6, 13)}));
    p.setPen(cGrey);
    p.drawLine(6, 12, 10, 8);
    // Paint running over the lip and dripping down.
    p.setPen(cBlue);
    p.drawLine(7, 4, 11, 8);
    p.drawLine(8, 4, 12, 8);
    p.drawLine(12, 9, 12, 13);
    p.drawLine(13, 9, 13, 12);
    p.drawPoint(11, 9);
    return image;
}

QImage penWidth(int width)
{
    QImage image = blankImage(16);
    QPainter p(&image);
    p.fillRect(2, 8 - (width + 1) / 2, 12, width, cBlack);
    return image;
}

QImage flipHorizontal()
{
    return imageFromFunction(16, [](int x, int y) -> QColor {
        const int fromEnd = std::min(x - 1, 14 - x); // 0 at each arrow tip
        if (fromEnd < 0)
            return {};
        const int fromMiddle = y < 8 ? 7 - y : y - 8; // 0 on the two centre rows
        if (fromEnd <= 3)
            return fromMiddle <= fromEnd ? cNavy : QColor();
        return fromMiddle == 0 ? cNavy : QColor();
    });
}

QImage rotateLeft()
{
    // Three quarters of a ring from the lower right over the top to the left, where the
    // arrowhead points down: the turn goes anticlockwise.
    return imageFromFunction(16, [](int x, int y) -> QColor {
        const double cx = 8.0;
        const double cy = 8.5;
        const double dx = x + 0.5 - cx;
        const double dy = y + 0.5 - cy;
        const double mid = 4.6;
        // Arrowhead: a triangle under the left end of the ring.
        const int row = y - 8;
        if (row >= 0 && row <= 3 && std::abs(x + 0.5 - (cx - mid)) <= 3.0 - row)
            return cNavy;
        const double d = std::hypot(dx, dy);
        if (std::abs(d - mid) > 1.05)
            return {};
        // The whole upper half, and the right side of the lower half down to the tail.
        const double angle = std::atan2(-dy, dx) * 180.0 / std::numbers::pi;
        if (y < 8 || (dx > 0 && angle >= -50.0))
            return cNavy;
        return {};
    });
}

QImage terrain()
{
    // Four cells of water, a shore of sand round the land that reaches in from the top left,
    // the cells' lines across it all.
    QImage image = imageFromFunction(32, [](int x, int y) -> QColor {
        if (x < 3 || y < 3 || x > 28 || y > 28)
            return {};
        if (x == 3 || y == 3 || x == 28 || y == 28)
            return cBlack;
        if (x == 16 || y == 16)
            return cGrey;
        const double d = std::hypot(x - 3.0, y - 3.0);
        if (d < 17)
            return cGreen;
        if (d < 20)
            return cYellow;
        return cGlass;
    });
    return image;
}

// The picture of a disabled button: the dark pixels in grey over a white copy one pixel down
// and to the right, the light ones left out.
QImage embossed(const QImage& image)
{
    QImage result = blankImage(image.width());
    QPainter p(&result);
    auto dark = [&image](int x, int y) {
        if (!opaqueAt(image, x, y))
            return false;
        return qGray(image.pixel(x, y)) < 160;
    };
    p.setPen(cWhite);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (dark(x, y))
                p.drawPoint(x + 1, y + 1);
    p.setPen(cGrey);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (dark(x, y))
                p.drawPoint(x, y);
    return result;
}

} // namespace

int toolGlyphSize(TToolGlyph glyph)
{
    return glyph <= TToolGlyph::Terrain ? 32 : 16;
}

QImage toolGlyphImage(TToolGlyph glyph)
{
    switch (glyph) {
    case TToolGlyph::Pencil:
        return pencil();
    case TToolGlyph::Sheet:
        return sheet();
    case TToolGlyph::Hand:
        return hand();
    case TToolGlyph::Magnifier:
        return magnifier();
    case TToolGlyph::Terrain:
        return terrain();
    case TToolGlyph::FreeLine:
        return freeLine();
    case TToolGlyph::Line:
        return line();
    case TToolGlyph::Box:
        return box(false);
    case TToolGlyph::BoxFill:
        return box(true);
    case TToolGlyph::Bucket:
        return bucket();
    case TToolGlyph::ThinLine:
        return penWidth(1);
    case TToolGlyph::ThickLine:
        return penWidth(3);
    case TToolGlyph::FlipHorizontal:
        return flipHorizontal();
    case TToolGlyph::FlipVertical:
        return flipHorizontal().transformed(QTransform().rotate(90));
    case TToolGlyph::RotateLeft:
        return rotateLeft();
    case TToolGlyph::RotateRight:
        return rotateLeft().mirrored(true, false);
    }
    return {};
}

QImage disabledToolGlyphImage(TToolGlyph glyph)
{
    return embossed(toolGlyphImage(glyph));
}

QIcon toolGlyphIcon(TToolGlyph glyph)
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(toolGlyphImage(glyph)), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(disabledToolGlyphImage(glyph)), QIcon::Disabled);
    return icon;
}
