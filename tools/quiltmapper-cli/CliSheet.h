#pragma once

// The parts sheet (16 x 16 parts in one RGB32 picture) of an export or import, made
// without a parts store: a store holds all 256 parts and composes the sheet beside them,
// twice the sheet's memory. Here the sheet is the only whole-sheet picture (at most 2 GB,
// for parts of 1448 x 1448 pixels). Each throws std::bad_alloc when memory runs out.

#include "PictureFormats.h"

#include <QImage>
#include <array>
#include <cstdint>

// The sheet of a parts picture, as a parts store of this part size would show it: the
// picture's pixels where it covers the sheet; parts whose top-left corner lies beyond it
// are placeholders. A picture the size of the sheet becomes the sheet in place.
QImage SheetFromPicture(QImage picture, uint16_t partWidth, uint16_t partHeight,
                        const TPictureFormats& formats);

// The sheet of these part pictures (each RGB32 or convertible, at least the part size);
// null parts are placeholders.
QImage SheetFromParts(const std::array<QImage, 256>& parts, uint16_t partWidth, uint16_t partHeight,
                      const TPictureFormats& formats);
