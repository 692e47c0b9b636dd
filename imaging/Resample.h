// Scaling a raster to another size for display. Shrinking averages every
// source pixel by the area it covers in the target pixel (a photo shrunk to a
// tenth keeps its tones instead of dropping nine pixels of ten); enlarging
// repeats pixels, with the pixel boundaries blended.
#pragma once

#include "imaging/Raster.h"

// A width × height copy of source. 24-bit and 32-bit rasters keep their
// format (and alpha mode; the fourth byte is averaged like the others); any
// other format comes back as 24-bit. Same size: the source itself, shared.
// An empty source or a size below 1 gives an empty raster. Throws
// Failure("Out of memory") when the target passes DecodeLimits.
Raster ResampleArea(const Raster& source, int width, int height);
