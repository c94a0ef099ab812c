#pragma once

#include <cstdint>

// The tool box's transforms of the picture in the magnifier.
enum TLupeTransform : std::uint8_t
{
    ltFlipHorizontal,
    ltFlipVertical,
    ltRotateLeft,
    ltRotateRight,
};
