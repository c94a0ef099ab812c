#pragma once

#include <cstdint>

// Whether parts of this size can be held: at least 1 x 1, and the whole parts sheet, all
// 256 parts in one picture of 4 bytes a pixel, within the 2 GB of one picture (about
// 1448 x 1448 pixels a part). Beyond it the parts could never be saved, and their memory
// alone would exhaust most machines.
constexpr bool PartSizeAllowed(int width, int height)
{
    constexpr std::int64_t partCount = 256;
    return width >= 1 && height >= 1 &&
           std::int64_t(width) * height * 4 * partCount < (std::int64_t(1) << 31);
}
