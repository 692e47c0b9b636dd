// libFuzzer target: the bitmap decoders on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/Failure.h"
#include "imaging/codecs/BmpCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodeLimits::maxPixels = uint64_t(1) << 22;
    std::span<const uint8_t> bytes(data, size);
    try {
        Raster r = DecodeBmp(bytes);
        (void)r.PixelAt(r.Width() - 1, r.Height() - 1);
        // The headers alone give the size the pixels have.
        const BmpSize size = ReadBmpSize(bytes);
        if (size.width != r.Width() || size.height != r.Height())
            __builtin_trap();
        // What was read must also write and read back.
        Raster back = DecodeBmp(EncodeBmp(r));
        if (back.Width() != r.Width() || back.Height() != r.Height())
            __builtin_trap();
    } catch (const Failure&) {
    }
    if (size > 14) {
        try {
            Raster r = DecodeDib(bytes.subspan(14), (data[0] & 1) != 0);
            (void)r.PixelAt(0, 0);
        } catch (const Failure&) {
        }
    }
    return 0;
}
