// The AVIF container (ISO base media file format with HEIF items): where the
// primary picture's AV1 data is and the properties that say how to show it.
// Nothing here decodes AV1.
#pragma once

#include <cstdint>
#include <memory>
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

// A coded picture: one AV1 picture, or a grid of AV1 tiles of one size laid
// row by row on a canvas (the tiles of the last column and row reaching past
// its right and bottom edges are cut there).
struct AvifCoded {
    // The AV1 data of each tile (one for a plain picture; tiles may share
    // their data); none when there is no such picture.
    std::vector<std::shared_ptr<const std::vector<uint8_t>>> tiles;
    bool grid = false;
    uint32_t columns = 1, rows = 1;
    // The canvas (a grid's output size, else the picture's ispe) and each
    // tile's declared size (ispe); 0 where the file declares none. Decoded
    // tiles of another size are refused.
    uint32_t width = 0, height = 0;
    uint32_t tileWidth = 0, tileHeight = 0;
    bool upToSize = false;   // tiles may be smaller than declared (a track's frames)
    // The operating point to decode (a1op) and the spatial layer to show
    // (lsel); without lsel, the best layer of the operating point.
    int operatingPoint = 0;
    std::optional<int> layer;
    bool Present() const { return !tiles.empty(); }
};

// The clean aperture (clap) as the file writes it: sizes and offsets of the
// centre as fractions.
struct AvifClap {
    int32_t widthN = 0, widthD = 0, heightN = 0, heightD = 0;
    int32_t horizOffN = 0, horizOffD = 0, vertOffN = 0, vertOffD = 0;
};

struct AvifCrop {
    uint32_t x = 0, y = 0, width = 0, height = 0;
};

struct AvifPicture {
    AvifCoded colour;
    AvifCoded alpha;   // the alpha plane's picture, absent without one
    bool alphaPremultiplied = false;
    // The size shown before turns (the clean aperture's, else the canvas's);
    // 0 when the file declares none.
    uint32_t width = 0, height = 0;
    std::optional<AvifNclx> nclx;          // of the colour picture
    std::vector<uint8_t> icc;
    std::vector<uint8_t> exif;             // the TIFF structure of its Exif item
    std::optional<AvifClap> clap;
    // Rotation anti-clockwise in quarter turns (irot), then mirroring (imir:
    // 0 exchanges top and bottom, 1 left and right), after the crop.
    int quarterTurns = 0;
    std::optional<int> mirror;
    // The frames of an image sequence (its colour track's samples), whether
    // its first frame or a still picture beside it is shown; 1 for a still
    // picture alone.
    int frameCount = 1;
};

// Reads the container of an AVIF file: its primary picture, or where the
// file is an image sequence by its major brand or has no primary picture,
// the first frame of its colour track with its alpha track's. Fails with
// Failure("AVIF image is not valid: ...") for damaged structure,
// ("AVIF image is not supported: ...") for data stored in ways this reader
// does not follow.
AvifPicture ReadAvifContainer(std::span<const uint8_t> file);

// The part of a canvas of that size the clean aperture keeps; none when the
// aperture is not whole pixels inside the canvas (it is then ignored).
std::optional<AvifCrop> AvifCleanAperture(const AvifClap& clap, uint32_t width, uint32_t height);

// The Exif orientation (1 to 8) that shows the stored picture as the
// container's rotation and mirror say; none when it has neither (its Exif
// item may then tell).
std::optional<int> AvifOrientation(const AvifPicture& picture);
