// Windows bitmap files and device-independent bitmaps, from and to bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/pixels/Raster.h"

// Decodes a whole .bmp file (BITMAPFILEHEADER first). Reads what Windows
// reads: 1/4/8 bits with palettes, RLE4, RLE8, 16 bits 5-5-5 and 5-6-5
// (bit fields), 24, 32 (with and without bit fields or alpha), top-down and
// bottom-up, core, info, V4 and V5 headers. The raster keeps the file's pixel
// format where one of ours matches (RLE gives 4 or 8 bits, other bit-field
// layouts 24 or 32 bits). Fails with Failure("Bitmap image is not valid").
Raster DecodeBmp(std::span<const uint8_t> file);

// The width and height a .bmp file's headers give, checked as DecodeBmp
// checks them, without decoding its pixels (a compressed bitmap may decode to
// far more than its file). Fails as DecodeBmp fails on such headers.
struct BmpSize {
    int width = 0, height = 0;
};
BmpSize ReadBmpSize(std::span<const uint8_t> file);

// Decodes a packed DIB (header, colour table, pixels, no file header), as
// found in icon entries. With iconHeight set, the header's height counts the
// colour and mask rows together and only the colour part is decoded.
Raster DecodeDib(std::span<const uint8_t> dib, bool iconHeight = false);

// What DecodeDib found out about a packed DIB beyond its pixels.
struct DibFacts {
    int bitCount = 0;          // the header's own bit count
    uint32_t compression = 0;  // BI_RGB 0, BI_RLE8 1, BI_RLE4 2, BI_BITFIELDS 3, BI_ALPHABITFIELDS 6
    bool topDown = false;      // rows stored top row first
    size_t pixelEnd = 0;       // offset in the DIB just past the colour rows (an icon's AND mask starts there)
};
Raster DecodeDib(std::span<const uint8_t> dib, bool iconHeight, DibFacts& facts);

// A .bmp file of the raster in its own pixel format (15 bits as plain 16-bit
// 5-5-5, 16 bits as bit fields 5-6-5, Device as 32 bits), bottom-up, info
// header. An empty raster fails with Failure("Bitmap image is not valid").
std::vector<uint8_t> EncodeBmp(const Raster& raster);
