// AVIF: the container read by imaging/codecs/AvifContainer, the AV1 pictures
// decoded by dav1d (8, 10 and 12 bits; 4:2:0, 4:2:2, 4:4:4, monochrome),
// their samples turned into colours as the file's nclx colour box (or else
// the AV1 sequence header) says.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/codecs/Animation.h"

// The primary picture (of an image sequence: its first frame), with its
// alpha plane when it has one: 24-bit pixels, or 32-bit with straight alpha,
// as stored (the rotation and mirror are in the metadata's orientation,
// always set; the ICC profile and Exif block as the file has them). Fails
// with Failure("AVIF image is not valid: ...") or ("AVIF image is not
// supported: ...") and as DecodeLimits says; throws WorkCancelled when
// cancelled.
struct AvifImage : DecodedImage {
    int frameCount = 1;   // an image sequence's frames (only the first is shown)
};
AvifImage DecodeAvif(std::span<const uint8_t> file);
