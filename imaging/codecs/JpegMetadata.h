// The metadata of a JPEG file that stays with its picture when the picture is
// compressed anew: the camera's Exif block, XMP, the colour profile,
// comments and the other application segments, and the JFIF resolution.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "imaging/colour/ColourProfile.h"
#include "imaging/pixels/Orientation.h"

// One marker segment as it is in the file, without its marker and length.
struct JpegSegment {
    uint8_t marker = 0;              // 0xE1 to 0xEF (APP1 to APP15), or 0xFE (comment)
    std::vector<uint8_t> data;       // at most 65533 bytes
    bool operator==(const JpegSegment&) const = default;
};

// The resolution of the JFIF header.
struct JfifDensity {
    uint8_t unit = 0;                // 0 aspect ratio only, 1 dots per inch, 2 per cm
    uint16_t x = 1, y = 1;
    bool operator==(const JfifDensity&) const = default;
};

struct JpegMetadata {
    std::vector<JpegSegment> segments;   // in file order
    // Present when the file began with a JFIF header; a file without one
    // (as cameras write them) is written again without one.
    std::optional<JfifDensity> jfif;
    bool Empty() const { return segments.empty() && !jfif; }
    bool operator==(const JpegMetadata&) const = default;
};

// The segments before the first scan that describe the picture rather than
// its old encoding: Exif and XMP, the ICC profile when it is an RGB profile
// (the pixels are compressed as colour again), comments and the other
// application segments. Left out: the JFIF header (its resolution is kept in
// `jfif`) and its thumbnail extension, the Adobe segment (it describes the old
// colour transform) and the multi-picture index (it points into the old file).
// Never fails: damaged or truncated headers give what was read before the
// damage.
JpegMetadata ReadJpegMetadata(std::span<const uint8_t> file);

// The metadata for new pixels of width × height made from the old ones as
// they were shown (upright, as their Exif orientation says): the Exif and XMP
// pixel sizes follow and the orientation tags say 1, since the new pixels are
// shown as they are stored. The Exif thumbnail, which lies as the old stored
// pixels did, is dropped when the new ones lie otherwise: when they were
// turned or flipped, or the old orientation turned or flipped them.
JpegMetadata MetadataForNewPixels(const JpegMetadata& metadata, int width, int height, bool turned);

// The value of the Exif orientation tag (one SHORT), if the metadata carries
// one, whatever the value.
std::optional<int> ExifOrientation(const JpegMetadata& metadata);

// The colour profile the metadata keeps (its ICC chunks put together), or
// null when it keeps none or its chunks do not make one whole profile.
std::shared_ptr<const ColourProfile> JpegColourProfile(const JpegMetadata& metadata);

// The Exif orientation of an Exif block that is the TIFF structure alone (as WebP, AVIF
// and TIFF files carry it).
std::optional<int> ExifBlockOrientation(std::span<const uint8_t> block);
// Such a block made to describe new pixels, as MetadataForNewPixels does
// with a JPEG's Exif segment.
void UpdateExifBlock(std::vector<uint8_t>& block, int width, int height, bool turned);

// An XMP packet alone (as PNG, WebP and TIFF files carry it) made to
// describe new pixels: orientation 1 and the new sizes.
void UpdateXmpPacket(std::vector<uint8_t>& packet, int width, int height);

// The Exif block (its TIFF structure), the XMP packet and the ICC profile
// that JPEG metadata keeps; empty for what it does not.
std::vector<uint8_t> ExifBlockOf(const JpegMetadata& metadata);
std::vector<uint8_t> XmpPacketOf(const JpegMetadata& metadata);
// JPEG metadata carrying them, as a JPEG file written anew holds them: a
// JFIF header, the Exif block and the XMP packet in APP1 segments where
// they fit one, the profile in APP2 chunks.
JpegMetadata JpegMetadataHolding(const std::vector<uint8_t>& exif, const std::vector<uint8_t>& xmp,
                                 const std::vector<uint8_t>& icc);

// What shows the stored pixels upright: the Exif orientation when it is one
// of the eight, else Identity (a missing, damaged or unknown tag is ignored).
Orientation UprightOrientation(const JpegMetadata& metadata);
