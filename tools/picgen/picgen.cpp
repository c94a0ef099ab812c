// Draws the program's two built-in pictures and stores them as "CompressedData" values,
// with a resource file listing them:
//   qm_picgen <output folder> [<folder for PNG copies>]
// The program reads them at ":/pictures/title.cmp" and ":/pictures/settings.cmp".

#include "FileWrite.h"
#include "PictureCodec.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <array>
#include <cstdio>

namespace {

// A quilt's palette: muted indigo, madder, ochre, sage and cream.
const std::array<QColor, 6> QuiltColours = {
    QColor(0x2f, 0x4b, 0x7c), QColor(0xb5, 0x4a, 0x3c), QColor(0xd9, 0xa4, 0x41),
    QColor(0x6f, 0x91, 0x6b), QColor(0x4f, 0x86, 0xa8), QColor(0x8c, 0x5a, 0x85),
};
const QColor Cream(0xf7, 0xf1, 0xe3);
const QColor Ink(0x23, 0x2b, 0x45);

// One quilt block: a square split along a diagonal into two colours (a "half-square
// triangle"), with a running stitch just inside its edge.
void drawBlock(QPainter& p, const QRectF& r, const QColor& a, const QColor& b, int turn,
               bool stitch)
{
    p.fillRect(r, a);
    QPainterPath tri;
    const std::array<QPointF, 4> corners = {r.topLeft(), r.topRight(), r.bottomRight(),
                                            r.bottomLeft()};
    tri.moveTo(corners[turn % 4]);
    tri.lineTo(corners[(turn + 1) % 4]);
    tri.lineTo(corners[(turn + 2) % 4]);
    tri.closeSubpath();
    p.fillPath(tri, b);
    if (stitch) {
        QPen pen(QColor(255, 255, 255, 150), 1, Qt::CustomDashLine);
        pen.setDashPattern({2, 2});
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(2.5, 2.5, -2.5, -2.5));
    }
}

QImage drawTitle()
{
    QImage image(438, 207, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient paper(0, 0, 0, 207);
    paper.setColorAt(0, Cream);
    paper.setColorAt(1, QColor(0xee, 0xe4, 0xcf));
    p.fillRect(image.rect(), paper);

    // The quilt on the left: 3 x 3 pinwheels of four half-square blocks each, a colour
    // and cream, framed by a binding.
    const int block = 27;
    const QPointF origin(20, (207 - 6 * block) / 2.0);
    p.fillRect(QRectF(origin - QPointF(5, 5), QSizeF(6 * block + 10, 6 * block + 10)),
               QColor(0x5b, 0x3e, 0x2e));
    const std::array<int, 4> pinwheel = {0, 1, 3, 2};
    for (int row = 0; row < 6; ++row) {
        for (int col = 0; col < 6; ++col) {
            const QRectF r(origin.x() + col * block, origin.y() + row * block, block, block);
            const QColor a = QuiltColours[(row / 2 * 3 + col / 2) % QuiltColours.size()];
            drawBlock(p, r, Cream, a, pinwheel[(row % 2) * 2 + col % 2], true);
        }
    }
    // A grid of seams over the quilt, like the cells of a map.
    p.setPen(QPen(QColor(0x3b, 0x2a, 0x20, 160), 1));
    for (int i = 0; i <= 6; ++i) {
        p.drawLine(QPointF(origin.x() + i * block, origin.y()),
                   QPointF(origin.x() + i * block, origin.y() + 6 * block));
        p.drawLine(QPointF(origin.x(), origin.y() + i * block),
                   QPointF(origin.x() + 6 * block, origin.y() + i * block));
    }

    // The name and the subtitle on the right.
    const qreal textLeft = origin.x() + 6 * block + 24;
    QFont name(QStringLiteral("DejaVu Serif"));
    name.setPixelSize(34);
    name.setBold(true);
    // The name fills the space beside the quilt, whatever the font's width.
    const qreal room = image.width() - 20 - textLeft;
    while (name.pixelSize() > 12 &&
           QFontMetricsF(name).horizontalAdvance(QStringLiteral("Quiltmapper")) > room)
        name.setPixelSize(name.pixelSize() - 1);
    p.setFont(name);
    p.setPen(Ink);
    p.drawText(QPointF(textLeft, 92), QStringLiteral("Quiltmapper"));

    // A stitched rule under the name.
    QPen rule(QuiltColours[1], 2, Qt::CustomDashLine);
    rule.setDashPattern({3, 2});
    p.setPen(rule);
    p.drawLine(QPointF(textLeft + 2, 106), QPointF(image.width() - 22, 106));

    QFont subtitle(QStringLiteral("Noto Sans CJK JP"));
    subtitle.setPixelSize(17);
    p.setFont(subtitle);
    p.setPen(QColor(0x4a, 0x4f, 0x63));
    p.drawText(QPointF(textLeft + 2, 134), QStringLiteral("タイルマップエディタ"));

    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(11);
    p.setFont(small);
    p.setPen(QColor(0x7a, 0x73, 0x66));
    p.drawText(QPointF(textLeft + 2, 156), QStringLiteral("Version 0.1"));

    p.end();
    return image;
}

QImage drawSettings()
{
    // The bottom-left pixel is the flat background, which the dialog leaves out; the
    // classic button face, so that any blended edge pixels sit well on the dialog.
    const QColor face(0xf0, 0xf0, 0xf0);
    QImage image(89, 89, QImage::Format_RGB32);
    image.fill(face);
    QPainter p(&image);
    // No smoothing: edge pixels in between would not be left out with the background.
    p.setRenderHint(QPainter::Antialiasing, false);

    // A stack of three tiles, the top one a small four-block quilt.
    const int size = 46;
    const std::array<QPoint, 3> offsets = {QPoint(32, 10), QPoint(20, 22), QPoint(8, 34)};
    for (int i = 0; i < 3; ++i) {
        const QRect r(offsets[i], QSize(size, size));
        p.fillRect(r.translated(3, 3), QColor(0xa8, 0xa0, 0x94)); // shadow
        p.fillRect(r, QColor(0x5b, 0x3e, 0x2e));
        const QRect inner = r.adjusted(2, 2, -2, -2);
        if (i < 2) {
            drawBlock(p, inner, QuiltColours[i + 3], QuiltColours[i + 4], i, false);
            continue;
        }
        const int half = inner.width() / 2;
        for (int q = 0; q < 4; ++q) {
            const QRect cell(inner.left() + (q % 2) * half, inner.top() + (q / 2) * half, half,
                             half);
            drawBlock(p, cell, QuiltColours[q], Cream, q + 1, false);
        }
        p.setPen(QColor(0x5b, 0x3e, 0x2e));
        p.drawLine(inner.left() + half, inner.top(), inner.left() + half, inner.bottom());
        p.drawLine(inner.left(), inner.top() + half, inner.right(), inner.top() + half);
    }
    p.end();
    return image;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    if (!WriteFileWhole(path, data)) {
        std::fprintf(stderr, "qm_picgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Drawing text needs a GUI application, but never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: qm_picgen <output folder> [<folder for PNG copies>]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "qm_picgen: cannot create %s\n", argv[1]);
        return 1;
    }

    const QImage title = drawTitle();
    const QImage settings = drawSettings();
    try {
        if (!writeFile(out.filePath(QStringLiteral("title.cmp")),
                       compressedDataFromPicture(title)) ||
            !writeFile(out.filePath(QStringLiteral("settings.cmp")),
                       compressedDataFromPicture(settings)))
            return 1;
    } catch (const ECompressedDataError& e) {
        std::fprintf(stderr, "qm_picgen: %s\n", e.what());
        return 1;
    }
    const QByteArray qrc = "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n"
                           "<qresource prefix=\"/pictures\">\n"
                           "  <file>title.cmp</file>\n"
                           "  <file>settings.cmp</file>\n"
                           "</qresource>\n</RCC>\n";
    if (!writeFile(out.filePath(QStringLiteral("pictures.qrc")), qrc))
        return 1;

    if (argc >= 3) {
        const QDir png(QString::fromLocal8Bit(argv[2]));
        // Previews for the developer; a failure is noted but does not stop the build.
        for (const auto& [name, picture] :
             {std::pair{QStringLiteral("title.png"), &title},
              std::pair{QStringLiteral("settings.png"), &settings}}) {
            if (!WriteFileWhole(png.filePath(name),
                                [picture](QIODevice& d) { return picture->save(&d, "PNG"); }))
                std::fprintf(stderr, "qm_picgen: cannot write %s\n", qPrintable(name));
        }
    }
    return 0;
}
