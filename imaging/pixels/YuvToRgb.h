// Y'CbCr planes (as video and AV1 store pictures) to BGR pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pixels/Raster.h"

enum class ChromaLayout { Monochrome, Yuv420, Yuv422, Yuv444 };

// Planes of 8-bit samples (bitDepth 8) or 16-bit words holding bitDepth bits
// (10 or 12). Strides are in bytes. u and v are unused for Monochrome.
struct YuvPlanes {
    int width = 0, height = 0;
    int bitDepth = 8;
    ChromaLayout layout = ChromaLayout::Yuv420;
    const void* y = nullptr;
    const void* u = nullptr;
    const void* v = nullptr;
    ptrdiff_t yStride = 0, uvStride = 0;
};

// How samples become colours: the matrix coefficients code point of ITU-T
// H.273 (0 identity/GBR, 1 BT.709, 5 and 6 BT.601, 8 YCgCo, 9 and 10 BT.2020,
// 12 and 13 from the colour primaries' code point; unspecified and others:
// BT.601) and the range (full, or limited to 16-235 and 16-240 at 8 bits).
struct YuvColour {
    int matrix = 2;
    int primaries = 2;
    bool fullRange = false;
};

// The part of the planes converted (x, y, width, height, in the planes) and
// where its top left corner lands in the raster written (outX, outY).
struct YuvArea {
    int x = 0, y = 0, width = 0, height = 0;
    int outX = 0, outY = 0;
};

// Writes the colours of every pixel into the first three bytes (blue, green,
// red) of each pixel of out, a 24- or 32-bit raster of the planes' size; a
// 32-bit raster's fourth bytes are left alone. Subsampled chroma is
// interpolated linearly between samples sited at the centre of the luma
// samples they cover.
void YuvToBgr(const YuvPlanes& planes, const YuvColour& colour, Raster& out);
// The same for the area's pixels only, which must lie inside the planes and,
// moved, inside out. Work that may be cancelled (base/Cancellation) is done
// on the calling thread alone, in bands of rows, stopping between bands;
// other work of a large area is shared with a second thread.
void YuvToBgr(const YuvPlanes& planes, const YuvColour& colour, const YuvArea& area, Raster& out);

// Writes the luma plane of planes (an alpha picture) into the fourth byte of
// each pixel of out, a 32-bit raster of the same size, scaled to 0-255.
void LumaToAlpha(const YuvPlanes& planes, bool fullRange, Raster& out);
void LumaToAlpha(const YuvPlanes& planes, bool fullRange, const YuvArea& area, Raster& out);
