// libFuzzer target: turning, flipping and resizing rasters of any size and
// pixel format made from arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/Failure.h"
#include "imaging/pixels/Transform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6)
        return 0;
    const int width = data[0] % 97 + 1, height = data[1] % 97 + 1;
    const auto mode = TransformMode(data[2] % 5 + 1);
    const PixelFormat formats[] = {PixelFormat::Bit8, PixelFormat::Bit16, PixelFormat::Bit24, PixelFormat::Bit32};
    const PixelFormat format = formats[data[3] % 4];
    const int newWidth = data[4] % 200, newHeight = data[5] % 200;
    data += 6;
    size -= 6;

    Raster source(width, height, format);
    for (int y = 0; y < height && size; ++y) {
        const size_t n = std::min(size, source.Stride());
        std::memcpy(source.MutableRow(y), data, n);
        data += n;
        size -= n;
    }
    const Raster bgr = source.ConvertedTo(PixelFormat::Bit24);
    // Every turn has its way back.
    TransformMode back = mode;
    if (mode == TransformMode::RotateClockwise)
        back = TransformMode::RotateCounterClockwise;
    else if (mode == TransformMode::RotateCounterClockwise)
        back = TransformMode::RotateClockwise;
    const Raster again = TransformRaster(TransformRaster(source, mode), back);
    if (again.Width() != width || again.Height() != height)
        __builtin_trap();
    for (int y = 0; y < height; ++y)
        if (std::memcmp(again.Row(y), bgr.Row(y), 3 * size_t(width)) != 0)
            __builtin_trap();
    try {
        const Raster resized = ResizeNearest(source, newWidth, newHeight);
        if (resized.Width() != newWidth || resized.Height() != newHeight)
            __builtin_trap();
    } catch (const Failure&) {
        if (newWidth > 0 && newHeight > 0)
            __builtin_trap();
    }
    return 0;
}
