// Recognising and checking metafile bytes; playback is the Windows side's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

enum class MetafileType { None, Placeable, Enhanced };

// Told apart by content, whatever the file's name.
MetafileType DetectMetafile(std::span<const uint8_t> file);

// Bytes of the placeable header in front of an old-style metafile.
inline constexpr size_t kPlaceableHeaderSize = 22;

struct PlaceableHeader {
    int16_t left = 0, top = 0, right = 0, bottom = 0;   // bounding box in metafile units
    uint16_t inch = 96;                                  // metafile units per inch
};

// Checks a placeable Windows metafile (header, checksum, record chain inside
// the file) and returns its header. Fails with Failure("Metafile is not valid").
PlaceableHeader CheckPlaceableMetafile(std::span<const uint8_t> file);

// Checks an enhanced metafile (header record, every record's size inside the
// file, ending with EMR_EOF). Fails with Failure("Metafile is not valid").
void CheckEnhancedMetafile(std::span<const uint8_t> file);

// The 22-byte placeable header (key, box, units per inch, checksum).
std::vector<uint8_t> MakePlaceableHeader(const PlaceableHeader& header);
