// libFuzzer target: the JPEG header reader, decoder, metadata reader and
// lossless transform on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/Failure.h"
#include "imaging/codecs/JpegCodec.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DecodeLimits::maxPixels = uint64_t(1) << 22;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> file(data, size);
    // The metadata of any header, updated for turned pixels and written into
    // a new file, reads back as it was written.
    const JpegMetadata metadata = MetadataForNewPixels(ReadJpegMetadata(file), 3, 2, (size & 1) != 0);
    if (!metadata.Empty()) {
        Raster tiny(3, 2, PixelFormat::Bit24);
        if (ReadJpegMetadata(EncodeJpeg(tiny, metadata)) != metadata)
            std::abort();
    }
    try {
        JpegHeader header = ReadJpegHeader(file);
        Raster raster = DecodeJpeg(file);
        // The decoder never changes the frame's size.
        if (raster.Width() != header.width || raster.Height() != header.height)
            std::abort();
        // Nor does a lossless transform, but to swap the sides.
        const auto orientation = Orientation(size % 8 + 1);
        if (const auto moved = TransformJpeg(file, orientation)) {
            const JpegHeader turned = ReadJpegHeader(*moved);
            const bool swap = SwapsSides(orientation);
            if (turned.width != (swap ? header.height : header.width) ||
                turned.height != (swap ? header.width : header.height))
                std::abort();
        }
    } catch (const Failure&) {
    }
    return 0;
}
