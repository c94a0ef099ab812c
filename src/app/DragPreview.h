#pragma once

#include <cstdint>

// What the dragged rectangle (the map grid's selection) shows while a mouse button drags
// on the map, until the release.
enum class TDragPreview : std::uint8_t
{
    None,       // the cells as they are
    Inverted,   // every cell's part inverted
    GroupTiles, // the group part's tiling: the cell background, with the part inverted in
                // the last column and the last row of every group-part-sized tile
    Terrain,    // the cells as the terrain being painted leaves them
};
