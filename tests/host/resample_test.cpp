#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/Failure.h"
#include "imaging/pixels/Resample.h"

namespace {

Raster Filled(int width, int height, PixelFormat format, uint8_t blue, uint8_t green, uint8_t red)
{
    Raster raster(width, height, format);
    const int c = BitsPerPixel(format) / 8;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = raster.MutableRow(y);
        for (int x = 0; x < width; ++x) {
            row[x * c] = blue;
            row[x * c + 1] = green;
            row[x * c + 2] = red;
        }
    }
    return raster;
}

// A grey raster from one row of values, repeated on every row.
Raster GreyRow(const std::vector<uint8_t>& values, int height)
{
    Raster raster(int(values.size()), height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y)
        for (size_t x = 0; x < values.size(); ++x)
            for (int c = 0; c < 3; ++c)
                raster.MutableRow(y)[3 * x + size_t(c)] = values[x];
    return raster;
}

} // namespace

TEST(Resample, ShrinkingKeepsAFlatColourExactly)
{
    // Odd ratios in both directions must not let rounding drift the colour.
    for (auto [w, h] : {std::pair{5, 7}, {1, 1}, {36, 22}, {13, 3}}) {
        Raster out = ResampleArea(Filled(37, 23, PixelFormat::Bit24, 10, 128, 250), w, h);
        ASSERT_EQ(out.Width(), w);
        ASSERT_EQ(out.Height(), h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                PaletteEntry p = out.PixelAt(x, y);
                ASSERT_EQ(p, (PaletteEntry{10, 128, 250, 255})) << w << "x" << h << " at " << x << "," << y;
            }
    }
}

TEST(Resample, ShrinkingAveragesInsteadOfDroppingPixels)
{
    // A one-pixel checkerboard halved is mid grey everywhere; dropping pixels
    // would give pure black or pure white.
    Raster board(64, 64, PixelFormat::Bit24);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c)
                board.MutableRow(y)[3 * x + c] = ((x + y) & 1) ? 255 : 0;
    Raster half = ResampleArea(board, 32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            uint8_t v = half.PixelAt(x, y).red;
            ASSERT_GE(v, 127);
            ASSERT_LE(v, 128);
        }
}

TEST(Resample, FractionalRatiosWeighByCoveredArea)
{
    // Three source pixels into two: each target pixel covers one and a half.
    Raster out = ResampleArea(GreyRow({0, 90, 180}, 1), 2, 1);
    EXPECT_EQ(out.PixelAt(0, 0).green, 30);    // (0 * 1 + 90 * 0.5) / 1.5
    EXPECT_EQ(out.PixelAt(1, 0).green, 150);   // (90 * 0.5 + 180 * 1) / 1.5

    // A long row into one pixel is its plain mean.
    std::vector<uint8_t> ramp;
    int sum = 0;
    for (int i = 0; i < 1000; ++i) {
        ramp.push_back(uint8_t(i % 256));
        sum += i % 256;
    }
    Raster mean = ResampleArea(GreyRow(ramp, 3), 1, 1);
    EXPECT_NEAR(mean.PixelAt(0, 0).blue, sum / 1000.0, 0.5);
}

TEST(Resample, EnlargingRepeatsPixels)
{
    Raster two = GreyRow({20, 200}, 2);
    two.MutableRow(1)[0] = 77;   // blue of the lower left pixel
    Raster out = ResampleArea(two, 4, 6);
    ASSERT_EQ(out.Width(), 4);
    ASSERT_EQ(out.Height(), 6);
    for (int y = 0; y < 6; ++y) {
        EXPECT_EQ(out.PixelAt(0, y).green, 20);
        EXPECT_EQ(out.PixelAt(1, y).green, 20);
        EXPECT_EQ(out.PixelAt(2, y).green, 200);
        EXPECT_EQ(out.PixelAt(3, y).green, 200);
        EXPECT_EQ(out.PixelAt(1, y).blue, y < 3 ? 20 : 77);
    }
}

TEST(Resample, ShrinkOneAxisWhileEnlargingTheOther)
{
    Raster out = ResampleArea(GreyRow({0, 100, 200, 40}, 1), 2, 3);
    ASSERT_EQ(out.Width(), 2);
    ASSERT_EQ(out.Height(), 3);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(out.PixelAt(0, y).red, 50);
        EXPECT_EQ(out.PixelAt(1, y).red, 120);
    }
}

TEST(Resample, FormatsAndAlpha)
{
    // 32-bit keeps its format and alpha mode; the alpha is averaged too.
    Raster rgba(2, 1, PixelFormat::Bit32);
    rgba.SetAlpha(AlphaMode::Straight);
    uint8_t* row = rgba.MutableRow(0);
    const uint8_t pixels[8] = {0, 0, 200, 255, 0, 0, 100, 0};
    std::copy(pixels, pixels + 8, row);
    Raster out = ResampleArea(rgba, 1, 1);
    EXPECT_EQ(out.Format(), PixelFormat::Bit32);
    EXPECT_EQ(out.Alpha(), AlphaMode::Straight);
    EXPECT_EQ(out.PixelAt(0, 0).red, 150);
    EXPECT_EQ(out.PixelAt(0, 0).reserved, 128);   // (255 + 0) / 2, rounded

    // An indexed raster comes back as 24-bit in its palette's colours.
    Raster indexed(4, 4, PixelFormat::Bit8);
    std::vector<PaletteEntry> palette(256);
    palette[3] = {30, 60, 90, 0};
    indexed.SetPalette(palette);
    for (int y = 0; y < 4; ++y)
        std::fill(indexed.MutableRow(y), indexed.MutableRow(y) + 4, uint8_t(3));
    Raster converted = ResampleArea(indexed, 2, 2);
    EXPECT_EQ(converted.Format(), PixelFormat::Bit24);
    EXPECT_EQ(converted.PixelAt(1, 1), (PaletteEntry{30, 60, 90, 255}));
    // Same size but another format: converted, not shared.
    EXPECT_EQ(ResampleArea(indexed, 4, 4).Format(), PixelFormat::Bit24);
}

TEST(Resample, SameSizeSharesAndDegenerateSizesAreEmpty)
{
    Raster source = Filled(8, 5, PixelFormat::Bit24, 1, 2, 3);
    EXPECT_TRUE(ResampleArea(source, 8, 5).SharesPixelsWith(source));
    EXPECT_TRUE(ResampleArea(source, 0, 5).Empty());
    EXPECT_TRUE(ResampleArea(source, 8, -1).Empty());
    EXPECT_TRUE(ResampleArea(Raster(), 4, 4).Empty());
    // A target beyond the allocation limit fails instead of allocating.
    EXPECT_THROW(ResampleArea(source, 1 << 20, 1 << 20), Failure);
}
