// Decoding stops where it looks at its cancellation, and only on the thread
// whose work was cancelled.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>

#include "base/Cancellation.h"
#include "imaging/codecs/GifCodec.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/codecs/TiffCodec.h"
#include "imaging/codecs/WebpCodec.h"
#include "tests/host/format_writers.h"

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

// Noise, which compresses badly: files of many chunks of input.
Raster Noise(int width, int height)
{
    Raster raster(width, height, PixelFormat::Bit24);
    uint32_t state = 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x) {
            state = state * 1664525u + 1013904223u;
            raster.MutableRow(y)[x] = uint8_t(state >> 24);
        }
    return raster;
}

} // namespace

// How soon each decoder stops, counted rather than timed: a whole decode
// looks at its cancellation at least once per unit of work (a few rows, a
// strip, a frame, a part of compressed input), and a decode cancelled at any
// look throws there, looking at most once more.
TEST(Cancellation, EveryDecoderStopsAtItsNextLookWithinABoundOfWork)
{
    using namespace format_writers;
    const Raster picture = Gradient(320, 200), noise = Noise(600, 400), moreNoise = Noise(1000, 600);
    const std::vector<uint8_t> jpeg = EncodeJpeg(picture), png = EncodePng(PngFromRaster(picture));
    std::vector<uint32_t> grey(1500 * 600), inks(320 * 200 * 4);
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = uint32_t(i * 37 % 4096);
    for (size_t i = 0; i < inks.size(); ++i)
        inks[i] = uint32_t(i % 251);
    // Grey of 12 bits in one strip of 1.3 MiB, read a row at a time, and in
    // strips of 8 rows; CMYK through libtiff's RGBA reading, a strip at a time.
    TiffLayout page{.width = 1500, .height = 600, .bits = 12, .samples = 1, .photometric = PHOTOMETRIC_MINISBLACK,
                  .compression = COMPRESSION_ADOBE_DEFLATE, .rowsPerStrip = 600};
    const auto tiff = WriteTiff(page, grey);
    page.rowsPerStrip = 8;
    const auto strips = WriteTiff(page, grey);
    const Raster whole = DecodeTiff(tiff).pixels, inStrips = DecodeTiff(strips).pixels;
    for (int y = 0; y < 600; y += 7)
        ASSERT_EQ(std::memcmp(whole.Row(y), inStrips.Row(y), 1500 * 3), 0) << "row " << y;
    const auto cmyk = WriteTiff({.width = 320, .height = 200, .samples = 4, .photometric = PHOTOMETRIC_SEPARATED,
                                 .compression = COMPRESSION_ADOBE_DEFLATE, .rowsPerStrip = 8}, inks);
    std::vector<GifFrame> frames;
    for (int i = 0; i < 6; ++i)
        frames.push_back({0, 0, 300, 200, i % 3});
    const auto gif = std::make_shared<const std::vector<uint8_t>>(GifOfFrames(300, 200, frames));
    const std::vector<uint8_t> lossy = EncodeWebp(noise, false), lossless = EncodeWebp(moreNoise, true);
    const auto parts = [](const std::vector<uint8_t>& file, size_t part) { return int(file.size() / part); };
    const struct {
        const char* what;
        std::function<void()> decode;
        int leastLooks;
    } decoders[] = {
        {"JPEG, every 16 rows", [&] { DecodeJpeg(jpeg); }, 200 / 16},
        {"JPEG reduced", [&] { DecodeJpegReduced(jpeg, 2); }, 200 / 16},
        {"PNG, every row", [&] { DecodePng(png); }, 200},
        {"TIFF of one large strip, every row", [&] { DecodeTiff(tiff); }, 600},
        {"TIFF of small strips, every strip", [&] { DecodeTiff(strips); }, 600 / 8},
        {"TIFF through the RGBA reading, every strip", [&] { DecodeTiff(cmyk); }, 200 / 8},
        {"GIF, every row of every frame", [&] {
             auto animation = OpenGif(gif);
             for (int i = 0; i < 6; ++i)
                 animation->Next();
         }, 6 * 200},
        {"lossy WebP, every 32 KiB", [&] { DecodeWebp(lossy); }, parts(lossy, 32 << 10)},
        {"lossless WebP, every 256 KiB", [&] { DecodeWebp(lossless); }, parts(lossless, 256 << 10)},
        {"WebP scaled", [&] { DecodeWebpScaled(lossy, 150, 100); }, parts(lossy, 32 << 10)},
    };
    for (const auto& d : decoders) {
        SCOPED_TRACE(d.what);
        ASSERT_GE(d.leastLooks, 3);
        uint64_t looks = 0;
        {
            CancelFlag flag;
            const CancelScope scope(flag);
            EXPECT_NO_THROW(d.decode());
            looks = flag.Looks();
        }
        EXPECT_GE(looks, uint64_t(d.leastLooks));
        for (const uint64_t at : {uint64_t(1), looks / 2, looks}) {
            CancelFlag flag;
            const CancelScope scope(flag);
            flag.CancelAtLook(at);
            EXPECT_THROW(d.decode(), WorkCancelled) << "cancelled at look " << at;
            EXPECT_LE(flag.Looks(), at + 1) << "cancelled at look " << at;
        }
    }
}
