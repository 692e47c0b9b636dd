// PNG through libpng, from and to bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "imaging/colour/ColourProfile.h"
#include "imaging/pixels/Raster.h"

// What a PNG file says of its colours, as it says it (written back by
// EncodePng): an embedded profile (iCCP), sRGB with a rendering intent, and
// gamma and chromaticities (gAMA, cHRM) in the file's units of 1/100000.
struct PngColour {
    std::string iccName;
    std::vector<uint8_t> icc;
    std::optional<int> srgbIntent;
    std::optional<int32_t> gamma;
    // White x, y, then red, green and blue x, y.
    std::optional<std::array<int32_t, 8>> chromaticities;
    bool operator==(const PngColour&) const = default;
};

// The PNG data a PNG picture keeps: its header, palette, transparency and
// unfiltered pixel rows in the file's own colour type and bit depth.
struct PngImage {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 8;
    int colorType = 2;          // PNG_COLOR_TYPE_*
    bool interlaced = false;    // Adam7; the rows below are always whole
    std::vector<PaletteEntry> palette;
    std::vector<uint8_t> paletteAlpha;             // tRNS for palette images
    std::optional<uint16_t> transparentGray;       // tRNS for grey images
    std::optional<std::array<uint16_t, 3>> transparentRgb;   // tRNS for RGB images (r, g, b)
    size_t rowBytes = 0;
    PngColour colour;
    std::vector<uint8_t> exif;  // the Exif block (eXIf), its TIFF structure
    std::vector<uint8_t> xmp;   // the XMP packet (iTXt "XML:com.adobe.xmp")
    std::vector<uint8_t> rows;  // height × rowBytes

    bool Empty() const { return width == 0 || height == 0; }
    bool HasTransparency() const;
};

// Decodes a PNG file (interlaced ones too). Fails with Failure carrying
// libpng's own message.
PngImage DecodePng(std::span<const uint8_t> file);

// The header fields of a PNG file (rows left empty); fails as DecodePng
// would on a damaged header.
PngImage DecodePngHeader(std::span<const uint8_t> file);

// A PNG file read for display: its header fields (rows left empty) and level
// `level` of its pixels (see imaging/pixels/Levels.h), made while the rows are read
// one by one without keeping them. The whole file is read, so it fails as
// DecodePng would.
struct PngLevel {
    PngImage header;
    Raster level;
};
PngLevel DecodePngLevel(std::span<const uint8_t> file, int level);
// The same from rows already decoded.
Raster MakePngLevel(const PngImage& image, int level);

// The colours the image's numbers stand for: its profile, else sRGB when it
// says sRGB, else a profile made from its gamma and chromaticities (sRGB's
// where it gives one of them only); null when it says nothing. A gamma of
// about 1/2.2 with sRGB's chromaticities or none, what writers put for
// ordinary sRGB pictures, is taken as sRGB.
std::shared_ptr<const ColourProfile> PngColourProfile(const PngColour& colour);
// What a PNG file says of pixels of those colours (nothing for untagged).
PngColour PngColourFor(const ColourProfile* profile);

// Writes the image with its own header (interlacing included), palette,
// colour type, what it says of its colours (as far as libpng finds it
// consistent), Exif block and XMP, zlib level 7, every row with the Sub
// filter.
std::vector<uint8_t> EncodePng(const PngImage& image);

// PNG data for a raster: 8-bit RGB without alpha for 16 or more bits per
// pixel, palette colour with the raster's palette for fewer; not interlaced.
// With keepAlpha, a raster with straight alpha gives 8-bit RGBA instead.
PngImage PngFromRaster(const Raster& raster, bool keepAlpha = false);

// The pixels as a 32-bit raster: straight alpha when the image has
// transparency (alpha channel or tRNS), no alpha otherwise (every fourth
// byte 255).
Raster PngToRaster(const PngImage& image);
// The pixels of rect only, as PngToRaster gives them, but 24-bit when the
// image has no transparency unless fourBytes asks for 32 bits.
Raster PngRegionToRaster(const PngImage& image, const PixelRect& rect, bool fourBytes = false);
