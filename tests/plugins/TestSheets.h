#pragma once

// Parts sheets drawn by code for the plug-in tests, and the comparisons they need.

#include <QByteArray>
#include <QImage>

// A 16 x 16 sheet of parts of side x side pixels: each part its own colour, a gradient, a
// frame and a diagonal, so that a swapped channel, a flipped row or a shifted part shows.
// With alpha, the parts fade out towards their bottom-right corner and some are clear.
QImage DrawPartsSheet(int side, bool withAlpha = false);

// The picture saved as PNG and read back: what the program would read from that file.
QImage ThroughPng(const QImage& image);

// The picture drawn over white, as a 24-bit picture shows it.
QImage OverWhite(const QImage& image);

// The largest difference of one colour component between two pictures of the same size,
// or -1 when the sizes differ. Both are compared as RGB32.
int MaxDifference(const QImage& a, const QImage& b);

// The picture as a WebP file from libwebp's encoder, lossless or lossy at a quality.
QByteArray EncodeWebp(const QImage& image, bool lossless, float quality = 90);
