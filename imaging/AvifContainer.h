// The AVIF container (ISO base media file format with HEIF items): where the
// primary picture's AV1 data is and the properties that say how to show it.
// Nothing here decodes AV1.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Colour description of the "nclx" kind (code points of ITU-T H.273).
struct AvifNclx {
    uint16_t primaries = 2;    // 2: unspecified
    uint16_t transfer = 2;
    uint16_t matrix = 2;
    bool fullRange = false;
};

struct AvifPicture {
    // The AV1 data (sequence header and frame) of the colour picture and of
    // its alpha plane (empty without one).
    std::vector<uint8_t> colour;
    std::vector<uint8_t> alpha;
    bool alphaPremultiplied = false;
    // The size the container gives (ispe); 0 when it gives none.
    uint32_t width = 0, height = 0;
    std::optional<AvifNclx> nclx;          // of the colour picture
    std::optional<bool> alphaFullRange;    // from the alpha item's nclx, if any
    std::vector<uint8_t> icc;
    std::vector<uint8_t> exif;             // the TIFF structure of its Exif item
    // Rotation anti-clockwise in quarter turns (irot), then mirroring (imir:
    // about the vertical axis (0, left and right exchanged) or the
    // horizontal one (1, top and bottom exchanged)), in that order.
    int quarterTurns = 0;
    std::optional<int> mirror;
};

// Reads the container of an AVIF file (still picture or image sequence: the
// sequence's primary picture, its first frame, as its writers store it).
// Fails with Failure("AVIF image is not valid: ...") for damaged structure,
// ("AVIF image is not supported: ...") for pictures made of tiles or data
// stored in ways this reader does not follow.
AvifPicture ReadAvifContainer(std::span<const uint8_t> file);

// The Exif orientation (1 to 8) that shows the stored picture as the
// container's rotation and mirror say; none when it has neither (its Exif
// item may then tell).
std::optional<int> AvifOrientation(const AvifPicture& picture);
