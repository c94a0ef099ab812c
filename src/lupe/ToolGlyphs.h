#pragma once

#include <QIcon>
#include <QImage>

// The tool box's button pictures, drawn in code: small solid-colour pictures on a
// transparent background, without antialiasing so that they stay crisp at their size.
enum class TToolGlyph
{
    // 32 x 32, the mode buttons.
    Pencil,
    Sheet,
    Hand,
    Magnifier,
    Terrain,
    // 16 x 16, the part-graphic buttons.
    FreeLine,
    Line,
    Box,
    BoxFill,
    Bucket,
    ThinLine,
    ThickLine,
    FlipHorizontal,
    FlipVertical,
    RotateLeft,
    RotateRight,
};

constexpr int ToolGlyphCount = int(TToolGlyph::RotateRight) + 1;

// 32 for the mode buttons, 16 for the others.
int toolGlyphSize(TToolGlyph glyph);
// ARGB32 premultiplied, transparent where nothing is drawn.
QImage toolGlyphImage(TToolGlyph glyph);
// The greyed, embossed picture of a disabled button.
QImage disabledToolGlyphImage(TToolGlyph glyph);
// Both pictures, for a button.
QIcon toolGlyphIcon(TToolGlyph glyph);
