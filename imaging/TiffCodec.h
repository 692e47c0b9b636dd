// TIFF through libtiff, from and to bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/Animation.h"

struct TiffImage : DecodedImage {
    int pageCount = 1;   // pages (directories) in the file
};

// The first page: grey and RGB of 3 to 32 bits per sample read from their
// samples (TiffSamples.h), the rest through libtiff's RGBA reading (bilevel,
// palette, CMYK, YCbCr, CIE Lab; 1, 2 and 4 bits per sample; JPEG); strips or
// tiles; uncompressed, PackBits, LZW, Deflate, JPEG. 32-bit pixels with
// straight alpha when the page has an alpha sample; otherwise 24-bit (32-bit
// without alpha from the RGBA reading). Rows as stored.
// The metadata holds the ICC profile and the Orientation tag. Fails with
// Failure("TIFF image is not valid: ...") saying in words what libtiff met
// (not a TIFF file, its data cut short, its compressed data or its tags
// damaged), ("TIFF image is not supported: ...") for kinds of pixels it
// cannot read (floating-point samples, for one), and as DecodeLimits says;
// throws WorkCancelled when cancelled, looking between rows, strips or tiles.
TiffImage DecodeTiff(std::span<const uint8_t> file);

// The first page's size from its tags, as it is shown: its sides swapped
// when its Orientation tag turns it a quarter. Fails as DecodeTiff.
struct TiffSize {
    uint32_t width = 0, height = 0;
};
TiffSize ReadTiffSize(std::span<const uint8_t> file);

// One page of 8-bit RGB (RGBA when the raster has alpha), Deflate with the
// horizontal predictor, with the metadata's ICC profile. Fails with Failure.
std::vector<uint8_t> EncodeTiff(const Raster& raster, const ImageMetadata& metadata = {});
