// libFuzzer target: the AVIF container reader and the decoder behind it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/Failure.h"
#include "imaging/codecs/AvifCodec.h"
#include "imaging/codecs/AvifContainer.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DecodeLimits::maxPixels = uint64_t(1) << 22;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> bytes(data, size);
    try {
        const AvifPicture container = ReadAvifContainer(bytes);
        if (!container.colour.Present())
            std::abort();
        for (const auto& tile : container.colour.tiles)
            if (tile->empty() || tile->size() > size)
                std::abort();
        DecodedImage image = DecodeAvif(bytes);
        const int orientation = image.metadata.orientation.value_or(1);
        if (image.pixels.Empty() || orientation < 1 || orientation > 8)
            std::abort();
    } catch (const Failure&) {
    }
    return 0;
}
