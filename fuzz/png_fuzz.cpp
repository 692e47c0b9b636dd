// libFuzzer target: the PNG decoder, the conversion to a raster, and the
// encoder on whatever decoded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/Failure.h"
#include "imaging/codecs/PngCodec.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DecodeLimits::maxPixels = uint64_t(1) << 22;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        PngImage image = DecodePng(std::span<const uint8_t>(data, size));
        Raster raster = PngToRaster(image);
        if (uint32_t(raster.Width()) != image.width || uint32_t(raster.Height()) != image.height)
            std::abort();
        // Whatever decodes must survive a write and a read unchanged.
        if (image.rows.size() <= (size_t(1) << 20)) {
            PngImage back = DecodePng(EncodePng(image));
            if (back.rows != image.rows || back.palette != image.palette || back.colorType != image.colorType ||
                back.bitDepth != image.bitDepth || back.paletteAlpha != image.paletteAlpha ||
                back.transparentGray != image.transparentGray || back.transparentRgb != image.transparentRgb)
                std::abort();
        }
    } catch (const Failure&) {
    }
    return 0;
}
