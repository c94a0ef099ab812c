#pragma once

#include "FileWrite.h"
#include "TerrainFile.h"

// The terrain sets a map brought with it, written beside the parts picture they now belong
// to.

// Adds the terrain file of `owner`'s picture, holding the sets and parts' probabilities of
// `sheet`, to `set` as one more output: written with the others, or not at all. What an
// existing file of the picture's own keeps besides its sets is kept. An existing file that
// is another tileset's, or that cannot be read, is never replaced: nothing is added and the
// reason is returned. A sheet without sets adds nothing. Empty when nothing was refused.
QString AddTerrainOutput(TFileWriteSet& set, const TTerrainSheet& sheet,
                         const TTerrainOwner& owner);
