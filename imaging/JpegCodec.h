// JPEG (JFIF) through libjpeg-turbo, from and to bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/JpegMetadata.h"
#include "imaging/Raster.h"

struct JpegHeader {
    int width = 0;
    int height = 0;
    bool grayscale = false;
};

// Reads the frame header only. Fails with Failure("JPEG error #%d").
JpegHeader ReadJpegHeader(std::span<const uint8_t> file);

// Full size, floating-point DCT, block smoothing, 24-bit colour output; a
// greyscale JPEG gives an 8-bit palette raster quantised to 236 grey levels
// with the library's default dithering. Fails with Failure("JPEG error #%d")
// carrying the library's message number.
Raster DecodeJpeg(std::span<const uint8_t> file);

// The picture at 1/2, 1/4 or 1/8 of its size (reduction 1, 2 or 3; sides
// rounded up), scaled while the library decodes it, for showing it small: the
// whole file is read, so data that cannot be decoded fails here as well. The
// library's integer inverse transforms and no colour quantisation: a
// greyscale JPEG gives an 8-bit raster with a full grey ramp palette.
Raster DecodeJpegReduced(std::span<const uint8_t> file, int reduction);

// The raster converted to 24 bits, compressed with the library's defaults,
// then quality 90 with baseline forced, floating-point DCT, not progressive.
// The metadata's segments follow the JFIF header, which is written with the
// metadata's resolution, or left out when metadata came from a file that had
// none; without any metadata the library's default JFIF header is written.
std::vector<uint8_t> EncodeJpeg(const Raster& raster, const JpegMetadata& metadata = {});
