#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <vector>

// One row's run of pixels, first and last column included.
struct TPixelSpan
{
    int Y;
    int X0;
    int X1;
};

// The line and the closed-area fill on a picture of Format_RGB32 pixels (colour in the low
// 24 bits), apart from any window. Shared by the pixel tools and the overlay's mask. Keeps
// scratch space so that repeated shapes allocate nothing.
class TPixelShapes
{
public:
    // The pen's line from a to b as one run per row, each pixel once: the Bresenham line
    // with both ends, with the thick pen the 3 x 3 block around each of its pixels, except
    // that a line of no length covers only its pixel. The runs may lie outside any picture.
    void Line(QPoint a, QPoint b, bool thick, std::vector<TPixelSpan>& spans);

    // Writes value into, or XORs it onto, every pixel of the spans inside the picture;
    // returns the bounding rectangle of what it touched.
    static QRect Paint(QImage& image, const std::vector<TPixelSpan>& spans, quint32 value,
                       bool xorMode);

    // The 4-connected area around seed of exactly the seed's colour becomes value; returns
    // the bounding rectangle of what changed, empty when the seed lies outside the picture
    // or already has value's colour.
    QRect Fill(QImage& image, QPoint seed, quint32 value);

private:
    // A run of row Y - Dy, columns X0 to X1, that was filled; row Y is still to be looked
    // at next to it.
    struct TFillSeed
    {
        int Y;
        int X0;
        int X1;
        int Dy;
    };

    std::vector<int> FRowMin;
    std::vector<int> FRowMax;
    std::vector<TFillSeed> FFillStack;
};
