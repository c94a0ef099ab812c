#pragma once

#include <QColor>
#include <cstdint>

// The tool that draws on a part in the magnifier.
enum TPixelTool : std::uint8_t
{
    ptFreeLine,
    ptLine,
    ptBox,
    ptBoxFill,
    ptPaint, // fills a closed area
};

// How the pixel tools draw: the tool, the pen width and the drawing colour.
struct TStrokeStyle
{
    // The pen widths, in pixels.
    static constexpr int ThinPenWidth = 1;
    static constexpr int ThickPenWidth = 3;

    TPixelTool Tool = ptFreeLine;
    int PenWidth = ThinPenWidth;
    QColor Color = Qt::black;
};
