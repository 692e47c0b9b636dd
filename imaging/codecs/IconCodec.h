// Windows icon files (.ico), from bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/pixels/Raster.h"

struct IconEntry {
    int width = 0;         // 256 for a stored 0
    int height = 0;
    int bitCount = 0;      // from the image itself (DIB header or PNG header)
    bool png = false;      // PNG-compressed entry
    size_t offset = 0;     // of the image data in the file
    size_t size = 0;
};

struct IconDirectory {
    std::vector<IconEntry> entries;
};

// Reads and checks the directory (every entry inside the file, its image
// header readable). Fails with Failure("Icon image is not valid").
IconDirectory ParseIcon(std::span<const uint8_t> file);

// The entry Windows would pick for a cx × cy icon on a display of
// displayBits bits per pixel: the smallest size difference first, then the
// closest colour depth; the first of equals.
size_t PickIconEntry(const IconDirectory& dir, int cx, int cy, int displayBits);

// Decodes one entry into a 32-bit raster with straight alpha: the AND mask
// (or the entry's own alpha) makes transparent parts alpha 0.
// Fails with Failure("Icon image is not valid").
Raster DecodeIconEntry(std::span<const uint8_t> file, const IconEntry& entry);
