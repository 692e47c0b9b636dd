// Scaling a raster to another size for display. Shrinking averages every
// source pixel by the area it covers in the target pixel (a photo shrunk to a
// tenth keeps its tones instead of dropping nine pixels of ten); enlarging
// repeats pixels, with the pixel boundaries blended.
#pragma once

#include "imaging/pixels/Raster.h"

// A width × height copy of source. 24-bit and 32-bit rasters keep their
// format (and alpha mode; the fourth byte is averaged like the others); any
// other format comes back as 24-bit. Same size: the source itself, shared.
// An empty source or a size below 1 gives an empty raster. Throws
// Failure("Out of memory") when the target passes DecodeLimits.
Raster ResampleArea(const Raster& source, int width, int height);

// The pixels of `part` of ResampleArea(image, width, height), exactly as the
// whole would have them, for an imageWidth × imageHeight image of which
// source holds at least SourceRectFor(...) of part. The source must be 24 or
// 32 bits per pixel; the result has its format and alpha mode. An image whose
// last column or row stands for less than a whole pixel (a reduced level of
// a picture whose sides it does not divide) gives its true extent, between
// its side − 1 and its side; 0 means the whole side.
Raster ResampleAreaPart(const PixelWindow& source, int imageWidth, int imageHeight, int width, int height,
                        const PixelRect& part, double extentX = 0, double extentY = 0);

// The image pixels that `part` of a width × height copy is made from.
PixelRect SourceRectFor(int imageWidth, int imageHeight, int width, int height, const PixelRect& part,
                        double extentX = 0, double extentY = 0);
