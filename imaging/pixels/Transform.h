// Turning, mirroring and resizing pixels: quarter and half turns, flips and
// the two diagonal mirrors of 24-bit rows, and nearest-neighbour resizing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pixels/Orientation.h"
#include "imaging/pixels/Raster.h"

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

constexpr Orientation OrientationOf(TransformMode mode)
{
    switch (mode) {
    case TransformMode::RotateClockwise: return Orientation::RotateClockwise;
    case TransformMode::Rotate180: return Orientation::Rotate180;
    case TransformMode::RotateCounterClockwise: return Orientation::RotateCounterClockwise;
    case TransformMode::FlipHorizontal: return Orientation::FlipHorizontal;
    case TransformMode::FlipVertical: return Orientation::FlipVertical;
    }
    return Orientation::Identity;
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
// must be the result size (height × width when the sides swap) and must not
// overlap the source. Quarter turns and diagonal mirrors go through the
// pixels in square blocks, so both sides stay in the cache whatever the row
// length. Throws Failure("Invalid Image Size Constraints") on mismatched
// sizes.
void TransformPixels(const ConstPixelRows& source, const PixelRows& destination, Orientation orientation);
inline void TransformPixels(const ConstPixelRows& source, const PixelRows& destination, TransformMode mode)
{
    TransformPixels(source, destination, OrientationOf(mode));
}

// The part of destination, the whole of a picture `height` rows high
// transformed, that its rows first to first + count − 1 go to: those rows
// transformed as a picture of their own into it land where transforming the
// whole picture puts them. So a picture can be transformed band by band as
// it is decoded.
PixelRows BandDestination(const PixelRows& destination, Orientation orientation, int height, int first, int count);

// A new 24-bit raster: source (any format, converted to 24 bits first)
// transformed; Identity gives the source itself, as it is. Throws
// Failure("Out of memory") when it cannot be allocated.
Raster TransformRaster(const Raster& source, Orientation orientation);
inline Raster TransformRaster(const Raster& source, TransformMode mode)
{
    return TransformRaster(source, OrientationOf(mode));
}

// A new 24-bit raster of exactly width × height: each target pixel takes the
// source pixel under its centre, rows and columns dropped or repeated, no
// averaging. A zero or negative side fails with "Invalid Image Size
// Constraints".
Raster ResizeNearest(const Raster& source, int width, int height);

// Rows of pixels of any size: 1, 2 or 4 bits a pixel packed from the most
// significant bit of each byte (as TIFF and bitmaps pack them), or a whole
// number of bytes a pixel, moved as they are whatever they mean.
struct SampleRows {
    const uint8_t* row0 = nullptr;
    size_t stride = 0;
    int width = 0, height = 0;
    int bits = 8;   // a pixel's
};
struct MutableSampleRows {
    uint8_t* row0 = nullptr;
    size_t stride = 0;
    int width = 0, height = 0;
    int bits = 8;
};

// The pixels of source laid out as orientation says into destination (its
// size the result's, its pixels as large). Throws Failure("Invalid Image
// Size Constraints") on mismatched sizes.
void TransformSamples(const SampleRows& source, const MutableSampleRows& destination, Orientation orientation);
// Each destination pixel the source pixel under its centre, as ResizeNearest
// picks them.
void ResizeSamples(const SampleRows& source, const MutableSampleRows& destination);

// TransformRaster and ResizeNearest for pictures whose transparency is kept:
// 32-bit pixels with straight alpha stay so; any other raster gives what
// those two give.
Raster TransformKeepingAlpha(const Raster& source, Orientation orientation);
Raster ResizeKeepingAlpha(const Raster& source, int width, int height);
