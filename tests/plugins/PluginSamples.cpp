// Writes a picture as the two plug-in formats, for the end-to-end test:
//   qm_plugin_samples <picture> <out.webp> <out.aseprite>
// The WebP file is lossless; the Aseprite sprite holds the picture in two layers (the left
// half raw, the right half compressed) under a hidden layer that would spoil it if drawn.

#include "AseWriter.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <webp/encode.h>

namespace {

bool Write(const char* name, const QByteArray& data)
{
    QFile file(QString::fromLocal8Bit(name));
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: qm_plugin_samples <picture> <out.webp> <out.aseprite>\n");
        return 2;
    }
    const QImage picture =
        QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_RGB32);
    if (picture.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }

    uint8_t* webp = nullptr;
    const size_t webpSize = WebPEncodeLosslessBGRA(
        picture.constBits(), picture.width(), picture.height(), int(picture.bytesPerLine()), &webp);
    const bool webpOk = webpSize > 0 && Write(argv[2], QByteArray(reinterpret_cast<char*>(webp),
                                                                  qsizetype(webpSize)));
    WebPFree(webp);

    const int half = picture.width() / 2;
    const QImage left = picture.copy(0, 0, half, picture.height());
    const QImage right = picture.copy(half, 0, picture.width() - half, picture.height());
    QImage spoiler(picture.size(), QImage::Format_RGB32);
    spoiler.fill(Qt::magenta);
    TAseSprite sprite;
    sprite.Width = picture.width();
    sprite.Height = picture.height();
    sprite.Layers = {TAseLayer{}, TAseLayer{}, TAseLayer{0}};
    sprite.Cels = {WholeCel(left, RgbaPixels(left), 0), WholeCel(right, RgbaPixels(right), 1),
                   WholeCel(spoiler, RgbaPixels(spoiler), 2)};
    sprite.Cels[0].Kind = TCelKind::Raw;
    sprite.Cels[1].X = half;
    const bool aseOk = Write(argv[3], WriteAse(sprite));

    if (!webpOk || !aseOk) {
        std::fprintf(stderr, "cannot write the samples\n");
        return 1;
    }
    return 0;
}
