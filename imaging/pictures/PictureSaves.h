// Writing a picture as a raster file type (WebP, TIFF, bitmap) with what its
// record keeps: an animation's every frame, a TIFF's every page, a WebP's
// lossless kind, the Exif block, XMP and the colour profile.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "imaging/codecs/RasterCodecs.h"
#include "imaging/pictures/PictureRecord.h"

// The picture as a file of that type:
// - an animation (GIF, WebP) as WebP: every frame again, edited as the
//   record says, each for its own time, with the loop count, losslessly when
//   read from a lossless WebP;
// - a TIFF as TIFF: every page again, edited, each keeping its samples
//   (a bilevel page stays bilevel, a grey one grey) and, where libtiff can
//   write it, its compression;
// - unedited, either is its file as it was read;
// - else the pixels (asked for only then), losslessly when read from a
//   lossless WebP.
// With the Exif block, XMP and the profile (icc) where the type holds them.
// A type that cannot be written fails as EncodeRasterFile fails, before
// anything is asked of the pixels.
std::vector<uint8_t> EncodeRecordedPicture(RasterFileType type, const PictureRecord* record,
                                           std::span<const uint8_t> icc, const std::function<Raster()>& pixels);
