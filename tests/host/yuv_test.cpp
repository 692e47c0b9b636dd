// Y'CbCr samples to colours: each matrix, range and depth against colours
// worked out from the standards' equations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/Cancellation.h"
#include "imaging/pixels/YuvToRgb.h"

namespace {

struct Case {
    const char* what;
    int matrix, bitDepth;
    bool fullRange;
    ChromaLayout layout;
    int y, cb, cr;           // one sample each, every pixel alike
    int red, green, blue;    // the colour expected, within 2
};

// A 4 × 2 picture of the case's samples, converted into 24 bits.
Raster Convert(const Case& c)
{
    const int w = 4, h = 2;
    const bool wide = c.bitDepth > 8;
    const int chromaW = c.layout == ChromaLayout::Yuv444 ? w : w / 2;
    const int chromaH = c.layout == ChromaLayout::Yuv420 ? h / 2 : h;
    auto plane = [&](int value, int pw, int ph) {
        std::vector<uint16_t> words(size_t(pw * ph), uint16_t(value));
        std::vector<uint8_t> bytes(size_t(pw * ph), uint8_t(value));
        return wide ? std::vector<uint8_t>(reinterpret_cast<uint8_t*>(words.data()),
                                           reinterpret_cast<uint8_t*>(words.data() + words.size()))
                    : bytes;
    };
    const std::vector<uint8_t> y = plane(c.y, w, h), u = plane(c.cb, chromaW, chromaH), v = plane(c.cr, chromaW, chromaH);
    YuvPlanes planes;
    planes.width = w;
    planes.height = h;
    planes.bitDepth = c.bitDepth;
    planes.layout = c.layout;
    planes.y = y.data();
    planes.u = u.data();
    planes.v = v.data();
    planes.yStride = w * (wide ? 2 : 1);
    planes.uvStride = chromaW * (wide ? 2 : 1);
    Raster out(w, h, PixelFormat::Bit24);
    YuvToBgr(planes, YuvColour{c.matrix, 1, c.fullRange}, out);
    return out;
}

} // namespace

TEST(YuvToRgb, MatricesRangesAndDepths)
{
    using enum ChromaLayout;
    const Case cases[] = {
        {"BT.601 limited, white", 6, 8, false, Yuv420, 235, 128, 128, 255, 255, 255},
        {"BT.601 limited, black", 6, 8, false, Yuv420, 16, 128, 128, 0, 0, 0},
        {"BT.601 limited, red", 6, 8, false, Yuv420, 81, 90, 240, 255, 0, 0},
        {"BT.709 limited, red", 1, 8, false, Yuv422, 63, 102, 240, 255, 0, 0},
        {"BT.709 limited, blue", 1, 8, false, Yuv444, 32, 240, 118, 0, 0, 255},
        {"BT.601 full, red", 5, 8, true, Yuv444, 76, 85, 255, 255, 0, 0},
        {"BT.2020 limited, green", 9, 8, false, Yuv444, 165, 47, 25, 0, 255, 0},
        {"identity, full: G, B, R", 0, 8, true, Yuv444, 10, 20, 30, 30, 10, 20},
        {"YCgCo, full: grey", 8, 8, true, Yuv444, 100, 128, 128, 100, 100, 100},
        {"BT.709 limited, 10 bits, white", 1, 10, false, Yuv420, 940, 512, 512, 255, 255, 255},
        {"BT.709 limited, 10 bits, red", 1, 10, false, Yuv444, 250, 409, 960, 255, 0, 0},
        {"monochrome, limited, mid grey", 6, 8, false, Monochrome, 126, 0, 0, 128, 128, 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Raster out = Convert(c);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x) {
                const PaletteEntry p = out.PixelAt(x, y);
                EXPECT_LE(std::abs(p.red - c.red), 2) << x << "," << y << ": " << int(p.red);
                EXPECT_LE(std::abs(p.green - c.green), 2) << x << "," << y << ": " << int(p.green);
                EXPECT_LE(std::abs(p.blue - c.blue), 2) << x << "," << y << ": " << int(p.blue);
            }
    }
}

TEST(YuvToRgb, LargePicturesComeOutWholeRowByRow)
{
    // Large enough to be converted in two halves: each row its own grey.
    const int w = 1024, h = 1200;
    std::vector<uint8_t> y(size_t(w) * h), chroma(size_t(w / 2) * (h / 2), 128);
    for (int row = 0; row < h; ++row)
        std::fill_n(y.begin() + ptrdiff_t(row) * w, w, uint8_t(row * 7));
    YuvPlanes planes;
    planes.width = w;
    planes.height = h;
    planes.bitDepth = 8;
    planes.layout = ChromaLayout::Yuv420;
    planes.y = y.data();
    planes.u = planes.v = chroma.data();
    planes.yStride = w;
    planes.uvStride = w / 2;
    Raster out(w, h, PixelFormat::Bit32, Raster::Unfilled{});
    YuvToBgr(planes, YuvColour{6, 1, true}, out);
    for (int row = 0; row < h; ++row)
        for (int x : {0, w / 2, w - 1}) {
            const PaletteEntry p = out.PixelAt(x, row);
            ASSERT_EQ(int(p.red), row * 7 % 256) << x << "," << row;
            ASSERT_EQ(int(p.blue), row * 7 % 256) << x << "," << row;
        }
    // As work that may be cancelled: the same on this thread, in bands, and
    // none of it once cancelled.
    Raster ahead(w, h, PixelFormat::Bit32);
    CancelFlag flag;
    const CancelScope scope(flag);
    YuvToBgr(planes, YuvColour{6, 1, true}, ahead);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(std::memcmp(ahead.Row(row) + 4 * x, out.Row(row) + 4 * x, 3), 0) << x << "," << row;
    flag.Cancel();
    EXPECT_THROW(YuvToBgr(planes, YuvColour{6, 1, true}, ahead), WorkCancelled);
}
