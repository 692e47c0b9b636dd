// Turning, mirroring and resizing pixels: quarter and half turns and flips of
// 24-bit rows, and nearest-neighbour resizing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/Raster.h"

// The transforms, by the one-byte code every caller passes.
enum class TransformMode : uint8_t {
    RotateClockwise = 1,          // 90° clockwise: H × W
    Rotate180 = 2,
    RotateCounterClockwise = 3,   // 90° counter-clockwise: H × W
    FlipHorizontal = 4,           // mirror left-right
    FlipVertical = 5,             // upside down
};

// True for the quarter turns, whose result has width and height swapped.
constexpr bool SwapsSides(TransformMode mode)
{
    return mode == TransformMode::RotateClockwise || mode == TransformMode::RotateCounterClockwise;
}

// 24-bit rows (blue, green, red) as they lie in memory: row 0 is the top row
// and stride is the signed distance from one row to the next, negative when
// the rows are stored bottom-up.
struct ConstPixelRows {
    const uint8_t* row0 = nullptr;
    ptrdiff_t stride = 0;
    int width = 0, height = 0;
    const uint8_t* Row(int y) const { return row0 + ptrdiff_t(y) * stride; }
};
struct PixelRows {
    uint8_t* row0 = nullptr;
    ptrdiff_t stride = 0;
    int width = 0, height = 0;
    uint8_t* Row(int y) const { return row0 + ptrdiff_t(y) * stride; }
};

// Writes every pixel of source to its place in destination. The destination
// must be the result size of the mode (height × width for the quarter turns)
// and must not overlap the source. Quarter turns go through the pixels in
// square blocks, so both sides stay in the cache whatever the row length.
// Throws Failure("Invalid Image Size Constraints") on mismatched sizes.
void TransformPixels(const ConstPixelRows& source, const PixelRows& destination, TransformMode mode);

// A new 24-bit raster: source (any format, converted to 24 bits first)
// transformed. Throws Failure("Out of memory") when it cannot be allocated.
Raster TransformRaster(const Raster& source, TransformMode mode);

// A new 24-bit raster of exactly width × height: each target pixel takes the
// source pixel under its centre, rows and columns dropped or repeated, no
// averaging. A zero or negative side fails with "Invalid Image Size
// Constraints".
Raster ResizeNearest(const Raster& source, int width, int height);
