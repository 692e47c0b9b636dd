// libFuzzer target: recognising and checking metafiles on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/Failure.h"
#include "imaging/codecs/MetafileFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> bytes(data, size);
    const MetafileType type = DetectMetafile(bytes);
    try {
        PlaceableHeader header = CheckPlaceableMetafile(bytes);
        if (type != MetafileType::Placeable || header.inch == 0 || header.left == header.right ||
            header.top == header.bottom)
            __builtin_trap();
        // The header written back for what was read carries the same box,
        // units and checksum scheme, so it checks again in place of the old one.
        std::vector<uint8_t> copy = MakePlaceableHeader(header);
        copy.insert(copy.end(), bytes.begin() + 22, bytes.end());
        PlaceableHeader again = CheckPlaceableMetafile(copy);
        if (again.left != header.left || again.top != header.top || again.right != header.right ||
            again.bottom != header.bottom || again.inch != header.inch)
            __builtin_trap();
    } catch (const Failure&) {
    }
    try {
        CheckEnhancedMetafile(bytes);
        if (type != MetafileType::Enhanced)
            __builtin_trap();
    } catch (const Failure&) {
    }
    return 0;
}
