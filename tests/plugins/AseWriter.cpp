#include "AseWriter.h"

#include <zlib.h>

namespace {

void Put(QByteArray& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        // Fields wider than four bytes are zero beyond them (a shift by 32 would be undefined).
        out.append(char(i < 4 ? v >> (8 * i) : 0));
    }
}

void PutString(QByteArray& out, const QByteArray& s)
{
    Put(out, uint32_t(s.size()), 2);
    out.append(s);
}

QByteArray Deflate(const QByteArray& raw)
{
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray out(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(raw.constData()), uLong(raw.size()), 6);
    out.resize(qsizetype(size));
    return out;
}

QByteArray Chunk(uint16_t type, const QByteArray& data)
{
    QByteArray out;
    Put(out, uint32_t(data.size() + 6), 4);
    Put(out, type, 2);
    out.append(data);
    return out;
}

QByteArray LayerChunk(const TAseLayer& layer, int index)
{
    QByteArray d;
    Put(d, layer.Flags, 2);
    Put(d, layer.Type, 2);
    Put(d, layer.Level, 2);
    Put(d, 0, 2);
    Put(d, 0, 2);
    Put(d, layer.Blend, 2);
    Put(d, layer.Opacity, 1);
    Put(d, 0, 3);
    PutString(d, "Layer " + QByteArray::number(index));
    if (layer.Type == 2) {
        Put(d, 0, 4); // tileset index
    }
    return Chunk(0x2004, d);
}

QByteArray CelChunk(const TAseCel& cel)
{
    static const uint16_t types[] = {0, 2, 1, 3};
    QByteArray d;
    Put(d, uint32_t(cel.Layer), 2);
    Put(d, uint16_t(int16_t(cel.X)), 2);
    Put(d, uint16_t(int16_t(cel.Y)), 2);
    Put(d, cel.Opacity, 1);
    Put(d, types[int(cel.Kind)], 2);
    Put(d, uint16_t(cel.ZIndex), 2);
    Put(d, 0, 5);
    switch (cel.Kind) {
    case TCelKind::Raw:
        Put(d, uint32_t(cel.Width), 2);
        Put(d, uint32_t(cel.Height), 2);
        d.append(cel.Pixels);
        break;
    case TCelKind::Compressed:
        Put(d, uint32_t(cel.Width), 2);
        Put(d, uint32_t(cel.Height), 2);
        d.append(Deflate(cel.Pixels));
        break;
    case TCelKind::Linked:
        Put(d, uint32_t(cel.LinkFrame), 2);
        break;
    case TCelKind::Tilemap:
        Put(d, uint32_t(cel.Width), 2);
        Put(d, uint32_t(cel.Height), 2);
        Put(d, 32, 2);
        Put(d, 0x1fffffff, 4);
        Put(d, 0x20000000, 4);
        Put(d, 0x40000000, 4);
        Put(d, 0x80000000, 4);
        Put(d, 0, 10);
        d.append(Deflate(QByteArray(cel.Width * cel.Height * 4, '\0')));
        break;
    }
    return Chunk(0x2005, d);
}

QByteArray PaletteChunk(const TAseSprite& sprite)
{
    QByteArray d;
    const int n = int(sprite.Palette.size());
    if (sprite.PaletteKind == TPaletteChunk::New) {
        Put(d, uint32_t(n), 4);
        Put(d, 0, 4);
        Put(d, uint32_t(n - 1), 4);
        Put(d, 0, 8);
        for (int i = 0; i < n; ++i) {
            const QRgb c = sprite.Palette[i];
            const bool named = i % 7 == 3; // some entries carry a name to skip
            Put(d, named ? 1 : 0, 2);
            Put(d, uint32_t(qRed(c)), 1);
            Put(d, uint32_t(qGreen(c)), 1);
            Put(d, uint32_t(qBlue(c)), 1);
            Put(d, uint32_t(qAlpha(c)), 1);
            if (named) {
                PutString(d, "colour " + QByteArray::number(i));
            }
        }
        return Chunk(0x2019, d);
    }
    // Old palettes: two packets, the second after a skip of none, so indices run on.
    const bool six = sprite.PaletteKind == TPaletteChunk::Old64;
    const int first = n / 2;
    Put(d, 2, 2);
    int at = 0;
    for (int count : {first, n - first}) {
        Put(d, 0, 1);
        Put(d, uint32_t(count == 256 ? 0 : count), 1);
        for (int i = 0; i < count; ++i, ++at) {
            const QRgb c = sprite.Palette[at];
            for (int v : {qRed(c), qGreen(c), qBlue(c)}) {
                Put(d, uint32_t(six ? (v * 63 + 127) / 255 : v), 1);
            }
        }
    }
    return Chunk(six ? 0x0011 : 0x0004, d);
}

} // namespace

QByteArray WriteAse(const TAseSprite& sprite)
{
    QByteArray frames;
    for (int f = 0; f < sprite.Frames; ++f) {
        QByteArray chunks;
        int count = 0;
        if (f == 0) {
            if (!sprite.Palette.isEmpty()) {
                chunks.append(PaletteChunk(sprite));
                ++count;
            }
            for (size_t i = 0; i < sprite.Layers.size(); ++i) {
                chunks.append(LayerChunk(sprite.Layers[i], int(i)));
                ++count;
            }
        }
        for (const TAseCel& cel : sprite.Cels) {
            if (cel.Frame == f) {
                chunks.append(CelChunk(cel));
                ++count;
            }
        }
        QByteArray frame;
        Put(frame, uint32_t(chunks.size() + 16), 4);
        Put(frame, 0xF1FA, 2);
        Put(frame, uint32_t(count), 2);
        Put(frame, 100, 2);
        Put(frame, 0, 2);
        Put(frame, uint32_t(count), 4);
        frames.append(frame).append(chunks);
    }
    QByteArray head;
    Put(head, uint32_t(128 + frames.size()), 4);
    Put(head, 0xA5E0, 2);
    Put(head, uint32_t(sprite.Frames), 2);
    Put(head, uint32_t(sprite.Width), 2);
    Put(head, uint32_t(sprite.Height), 2);
    Put(head, uint32_t(sprite.Depth), 2);
    Put(head, sprite.Flags, 4);
    Put(head, 100, 2);
    Put(head, 0, 8);
    Put(head, sprite.TransparentIndex, 1);
    Put(head, 0, 3);
    Put(head, uint32_t(sprite.Palette.size()), 2);
    Put(head, 1, 1);
    Put(head, 1, 1);
    head.append(QByteArray(128 - head.size(), '\0'));
    return head + frames;
}

QByteArray RgbaPixels(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray out;
    out.reserve(argb.width() * argb.height() * 4);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            for (int v : {qRed(row[x]), qGreen(row[x]), qBlue(row[x]), qAlpha(row[x])}) {
                out.append(char(v));
            }
        }
    }
    return out;
}

QByteArray GrayPixels(const QImage& grayscale8)
{
    QByteArray out;
    for (int y = 0; y < grayscale8.height(); ++y) {
        const uchar* row = grayscale8.constScanLine(y);
        for (int x = 0; x < grayscale8.width(); ++x) {
            out.append(char(row[x])).append(char(255));
        }
    }
    return out;
}

QByteArray IndexPixels(const QImage& indexed8)
{
    QByteArray out;
    for (int y = 0; y < indexed8.height(); ++y) {
        out.append(reinterpret_cast<const char*>(indexed8.constScanLine(y)), indexed8.width());
    }
    return out;
}

TAseCel WholeCel(const QImage& image, const QByteArray& pixels, int layer)
{
    TAseCel cel;
    cel.Layer = layer;
    cel.Width = image.width();
    cel.Height = image.height();
    cel.Pixels = pixels;
    return cel;
}
