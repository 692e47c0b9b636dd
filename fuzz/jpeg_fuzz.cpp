// libFuzzer target: the JPEG header reader and decoder on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "imaging/JpegCodec.h"
#include "system/Failure.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DecodeLimits::maxPixels = uint64_t(1) << 22;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> file(data, size);
    try {
        JpegHeader header = ReadJpegHeader(file);
        Raster raster = DecodeJpeg(file);
        // The decoder never changes the frame's size.
        if (raster.Width() != header.width || raster.Height() != header.height)
            std::abort();
    } catch (const Failure&) {
    }
    return 0;
}
