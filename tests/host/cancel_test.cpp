// Decoding stops where it looks at its cancellation, and only on the thread
// whose work was cancelled.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "base/Cancellation.h"
#include "imaging/JpegCodec.h"
#include "imaging/PngCodec.h"

namespace {

Raster Gradient(int width, int height)
{
    Raster raster(width, height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = raster.MutableRow(y) + 3 * x;
            p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(x ^ y);
        }
    return raster;
}

TEST(Cancellation, DecodersStopForCancelledWorkAndOnlyForIt)
{
    const Raster picture = Gradient(320, 200);
    const std::vector<uint8_t> jpeg = EncodeJpeg(picture), png = EncodePng(PngFromRaster(picture));
    const struct {
        const char* what;
        std::function<void()> decode;
    } decoders[] = {
        {"JPEG at full size", [&] { DecodeJpeg(jpeg); }},
        {"JPEG reduced", [&] { DecodeJpegReduced(jpeg, 2); }},
        {"JPEG blocks rearranged", [&] { EXPECT_TRUE(TransformJpeg(jpeg, Orientation::FlipHorizontal)); }},
        {"PNG", [&] { DecodePng(png); }},
        {"PNG level", [&] { DecodePngLevel(png, 1); }},
    };
    for (const auto& d : decoders) {
        SCOPED_TRACE(d.what);
        CancelFlag flag;
        const CancelScope scope(flag);
        EXPECT_NO_THROW(d.decode());
        flag.Cancel();
        EXPECT_THROW(d.decode(), WorkCancelled);
        // Another thread's work goes on: the flag is this thread's.
        std::thread other([&] { EXPECT_NO_THROW(d.decode()); });
        other.join();
    }
    EXPECT_FALSE(CancelRequested());
}

} // namespace
