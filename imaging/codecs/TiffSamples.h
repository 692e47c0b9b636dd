// TIFF pages of grey or RGB samples read from their strips or tiles by the
// program itself rather than through libtiff's RGBA reading, which takes
// only 1, 2, 4, 8 and 16 bits per sample: scanners and cameras also write
// 10, 12, 14, 24 and 32. Reading the samples also goes straight into the
// raster's pixels and looks at cancellation between strips (the rows of a
// large one) or tiles.
#pragma once

#include <cstdint>
#include <functional>

#include "imaging/pixels/Raster.h"

struct tiff;

// Whether the page libtiff is at is one ReadTiffSamples reads: min-is-black,
// min-is-white or RGB, with any extra samples, of unsigned or signed integer
// samples of 3 to 32 bits (1, 2 and 4 bits are left to the RGBA reading,
// which packs them better), in strips or tiles, contiguous or in separate
// planes, compressed by anything but JPEG.
bool ReadsTiffSamples(tiff* tif);

// The page's pixels, each sample scaled from the full range of its depth to
// 8 bits (rounded; min-is-white turned round, signed samples from their
// least value up): 24-bit BGR, or 32-bit BGRA with straight alpha when the
// first extra sample is alpha (associated alpha is divided out). Rows as
// stored. Buffers of more than maxBuffer bytes fail with "Out of memory", as
// pictures past DecodeLimits do; a strip or tile libtiff cannot read calls
// readFailed, which throws. Throws WorkCancelled when cancelled, looking
// before each strip of up to 1 MiB, each row of a larger one, each tile.
Raster ReadTiffSamples(tiff* tif, uint64_t maxBuffer, const std::function<void()>& readFailed);
