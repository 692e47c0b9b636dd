// JPEG (JFIF) through libjpeg-turbo, from and to bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "imaging/codecs/JpegMetadata.h"
#include "imaging/pixels/Orientation.h"
#include "imaging/pixels/Raster.h"

struct JpegHeader {
    int width = 0;
    int height = 0;
    bool grayscale = false;
};

// Reads the frame header only. Fails with Failure("JPEG error #%d: ..."):
// the library's message number, then its message.
JpegHeader ReadJpegHeader(std::span<const uint8_t> file);

// Full size, floating-point DCT, block smoothing, 24-bit colour output; a
// greyscale JPEG gives an 8-bit palette raster quantised to 236 grey levels
// with the library's default dithering. Printing inks (CMYK and YCCK, whose
// values are taken as inverted when Adobe's segment is there) are converted
// to sRGB through the file's CMYK profile, or by the usual rule without one
// (CmykToBgr). Fails with Failure("JPEG error #%d: ...") carrying the
// library's message number and message. The pixels are laid out as
// orientation says (as 24-bit ones for a greyscale JPEG laid out anew),
// colour ones a band at a time as they are decoded, so the picture is held
// once.
Raster DecodeJpeg(std::span<const uint8_t> file, Orientation orientation = Orientation::Identity);

// The picture at 1/2, 1/4 or 1/8 of its size (reduction 1, 2 or 3; sides
// rounded up), scaled while the library decodes it, for showing it small: the
// whole file is read, so data that cannot be decoded fails here as well. The
// library's integer inverse transforms and no colour quantisation: a
// greyscale JPEG gives an 8-bit raster with a full grey ramp palette; inks
// are converted as DecodeJpeg converts them.
Raster DecodeJpegReduced(std::span<const uint8_t> file, int reduction);

// The raster converted to 24 bits (transparent parts white), compressed with
// the library's defaults, then quality 90 with baseline forced,
// floating-point DCT, not progressive.
// The metadata's segments follow the JFIF header, which is written with the
// metadata's resolution, or left out when metadata came from a file that had
// none; without any metadata the library's default JFIF header is written.
std::vector<uint8_t> EncodeJpeg(const Raster& raster, const JpegMetadata& metadata = {});

// The file with its pixels laid out as orientation says, made by moving its
// compressed blocks (libjpeg-turbo's transupp) instead of decoding and
// compressing again: the pixels lose nothing, and four quarter turns give
// back the pixels the file had. Huffman tables are made for the data (a
// progressive file stays progressive); the metadata is what the encoder
// writes for the turned pixels (MetadataForNewPixels: orientation 1, the new
// sizes, no thumbnail, ICC and the other segments kept). Nothing when the
// picture's sides do not allow it: an edge that would move to the left or
// top ends in part of a block row or column (4000 × 3000 with 16-pixel
// blocks turned a quarter), which cannot move without being cut off. Inks
// stay inks, with their profile and what Adobe's segment says of them.
// Fails with Failure("JPEG error #%d: ...") on data that cannot be read.
std::optional<std::vector<uint8_t>> TransformJpeg(std::span<const uint8_t> file, Orientation orientation);
