#pragma once

#include <QPainter>

// The three raster operations the program copies pictures with. Plain and inverted copy
// are painter composition modes; pattern copy ignores the source and fills the target
// with the painter's brush, which no composition mode expresses.
enum TCopyMode
{
    cmSrcCopy,    // target := source
    cmNotSrcCopy, // target := not source
    cmPatCopy,    // target := brush
};

// Sets the painter's composition mode for plain or inverted copy. Pattern copy keeps
// plain copy on the painter, so that a brush fill replaces the target's pixels.
void ApplyCopyMode(QPainter& canvas, TCopyMode mode);
