// TIFF through libtiff, from and to bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/Animation.h"

struct TiffImage : DecodedImage {
    int pageCount = 1;   // pages (directories) in the file
};

// The first page, through libtiff's RGBA reading (bilevel, grey, palette,
// RGB, CMYK, YCbCr, CIE Lab; 1 to 16 bits per sample; strips or tiles;
// uncompressed, PackBits, LZW, Deflate, JPEG): 32-bit pixels, with straight
// alpha when the page has an alpha sample and without alpha otherwise, rows
// as stored. The metadata holds the ICC profile and the Orientation tag.
// Fails with Failure("TIFF image is not valid: ...") carrying libtiff's
// message, ("TIFF image is not supported: ...") for kinds of pixels it cannot
// read (floating-point samples, for one), and as DecodeLimits says; throws
// WorkCancelled when cancelled.
TiffImage DecodeTiff(std::span<const uint8_t> file);

// The first page's size from its tags. Fails as DecodeTiff.
struct TiffSize {
    uint32_t width = 0, height = 0;
};
TiffSize ReadTiffSize(std::span<const uint8_t> file);

// One page of 8-bit RGB (RGBA when the raster has alpha), Deflate with the
// horizontal predictor, with the metadata's ICC profile. Fails with Failure.
std::vector<uint8_t> EncodeTiff(const Raster& raster, const ImageMetadata& metadata = {});
