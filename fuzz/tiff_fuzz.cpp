// libFuzzer target: the TIFF reader and, for what decodes, the writer, whose
// file must read back with the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "imaging/TiffCodec.h"
#include "base/Failure.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DecodeLimits::maxPixels = uint64_t(1) << 22;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        TiffImage image = DecodeTiff(std::span<const uint8_t>(data, size));
        if (image.pageCount < 1 || image.pixels.Empty())
            std::abort();
        if (image.pixels.Width() * image.pixels.Height() <= 4096 && image.pixels.Alpha() != AlphaMode::Straight) {
            const Raster back = DecodeTiff(EncodeTiff(image.pixels)).pixels;
            for (int y = 0; y < back.Height(); ++y)
                for (int x = 0; x < back.Width(); ++x)
                    if (back.PixelAt(x, y) != image.pixels.PixelAt(x, y))
                        std::abort();
        }
    } catch (const Failure&) {
    }
    return 0;
}
