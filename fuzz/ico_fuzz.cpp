// libFuzzer target: the icon reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/Failure.h"
#include "imaging/codecs/IconCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodeLimits::maxPixels = uint64_t(1) << 22;
    std::span<const uint8_t> bytes(data, size);
    try {
        IconDirectory dir = ParseIcon(bytes);
        (void)PickIconEntry(dir, 32, 32, 32);
        for (const IconEntry& e : dir.entries) {
            try {
                Raster r = DecodeIconEntry(bytes, e);
                if (r.Format() != PixelFormat::Bit32 || r.Alpha() != AlphaMode::Straight)
                    __builtin_trap();
            } catch (const Failure&) {
            }
        }
    } catch (const Failure&) {
    }
    return 0;
}
