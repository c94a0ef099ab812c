#pragma once

// Writes small Aseprite files for the tests: the file header, frames, layer, palette and
// cel chunks, with raw, zlib-compressed, linked and tilemap cels.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>
#include <cstdint>
#include <vector>

struct TAseLayer
{
    uint16_t Flags = 1; // 1 visible, 8 background, 64 reference
    uint16_t Type = 0;  // 0 image, 1 group, 2 tilemap
    uint16_t Level = 0;
    uint16_t Blend = 0;
    uint8_t Opacity = 255;
};

enum class TCelKind
{
    Raw,
    Compressed,
    Linked,
    Tilemap,
};

struct TAseCel
{
    int Frame = 0;
    int Layer = 0;
    int X = 0;
    int Y = 0;
    uint8_t Opacity = 255;
    int16_t ZIndex = 0;
    TCelKind Kind = TCelKind::Compressed;
    int Width = 0;
    int Height = 0;
    QByteArray Pixels; // in the sprite's pixel format, row by row
    int LinkFrame = 0;
};

enum class TPaletteChunk
{
    New,   // 0x2019
    Old,   // 0x0004, 8-bit components
    Old64, // 0x0011, 6-bit components
};

struct TAseSprite
{
    int Width = 0;
    int Height = 0;
    int Depth = 32;
    int Frames = 1;
    uint32_t Flags = 1; // 1: layer opacity is valid
    uint8_t TransparentIndex = 0;
    std::vector<TAseLayer> Layers;
    std::vector<TAseCel> Cels;
    QList<QRgb> Palette; // written when not empty
    TPaletteChunk PaletteKind = TPaletteChunk::New;
};

QByteArray WriteAse(const TAseSprite& sprite);

// Pixel data of a picture in each of the three formats.
QByteArray RgbaPixels(const QImage& image);
QByteArray GrayPixels(const QImage& grayscale8); // value, alpha 255
QByteArray IndexPixels(const QImage& indexed8);

// One cel covering the whole picture.
TAseCel WholeCel(const QImage& image, const QByteArray& pixels, int layer = 0);
