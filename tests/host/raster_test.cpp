#include <gtest/gtest.h>

#include "base/Failure.h"
#include "imaging/pixels/Raster.h"

namespace {

bool IsWhite(const PaletteEntry& p) { return p.red == 255 && p.green == 255 && p.blue == 255; }

} // namespace

TEST(Raster, NewRastersAreWhiteInEveryFormat)
{
    for (PixelFormat f : {PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8, PixelFormat::Bit15,
                          PixelFormat::Bit16, PixelFormat::Bit24, PixelFormat::Bit32, PixelFormat::Device}) {
        Raster r(7, 3, f);
        SCOPED_TRACE(int(f));
        ASSERT_EQ(r.Width(), 7);
        EXPECT_EQ(r.Stride() % 4, 0u);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x)
                EXPECT_TRUE(IsWhite(r.PixelAt(x, y))) << x << "," << y;
    }
}

TEST(Raster, CopiesSharePixelsUntilOneIsWritten)
{
    Raster a(4, 4, PixelFormat::Bit24);
    Raster b = a;
    EXPECT_TRUE(b.SharesPixelsWith(a));
    b.MutableRow(1)[0] = 0;   // blue of pixel (0, 1)
    EXPECT_FALSE(b.SharesPixelsWith(a));
    EXPECT_EQ(a.PixelAt(0, 1).blue, 255);
    EXPECT_EQ(b.PixelAt(0, 1).blue, 0);

    Raster c(2, 2, PixelFormat::Bit8);
    Raster d = c;
    d.SetPalette(std::vector<PaletteEntry>(256, PaletteEntry{1, 2, 3, 0}));
    EXPECT_EQ(c.Palette()[255].red, 255);   // the copy's palette change stays its own
}

TEST(Raster, ConversionsKeepPixelsAndAlpha)
{
    Raster r(3, 2, PixelFormat::Bit32);
    r.SetAlpha(AlphaMode::Straight);
    uint8_t* p = r.MutableRow(1) + 4 * 2;
    p[0] = 10; p[1] = 20; p[2] = 30; p[3] = 0;   // transparent
    Raster bgr = r.ConvertedTo(PixelFormat::Bit24);
    EXPECT_EQ(bgr.Format(), PixelFormat::Bit24);
    EXPECT_EQ(bgr.PixelAt(2, 1).red, 30);
    Raster back = bgr.ConvertedTo(PixelFormat::Bit32);
    EXPECT_EQ(back.PixelAt(2, 1).reserved, 255);
    EXPECT_EQ(r.ConvertedTo(PixelFormat::Bit32).SharesPixelsWith(r), true);   // same format: no copy

    // Over white: the transparent pixel turns white, opaque ones keep their colour.
    Raster white = r.ComposedOver(255, 255, 255);
    EXPECT_TRUE(IsWhite(white.PixelAt(2, 1)));
    EXPECT_EQ(white.Alpha(), AlphaMode::None);
    // Half alpha, premultiplied 100 over black stays 100.
    Raster pm(1, 1, PixelFormat::Bit32);
    pm.SetAlpha(AlphaMode::Premultiplied);
    uint8_t* q = pm.MutableRow(0);
    q[0] = q[1] = q[2] = 100;
    q[3] = 128;
    EXPECT_EQ(pm.ComposedOver(0, 0, 0).PixelAt(0, 0).red, 100);
    EXPECT_EQ(pm.ComposedOver(255, 255, 255).PixelAt(0, 0).red, 100 + (255 * 127 + 127) / 255);
}

TEST(Raster, SizesBeyondTheLimitFailWithoutAllocating)
{
    try {
        Raster huge(70000, 2, PixelFormat::Bit24);
        FAIL() << "no failure";
    } catch (const Failure& f) {
        EXPECT_EQ(f.Message(), L"Out of memory");
    }
    EXPECT_THROW(Raster(60000, 60000, PixelFormat::Bit8), Failure);
    EXPECT_TRUE(Raster(0, 5, PixelFormat::Bit24).Empty());
}

TEST(Raster, UnfilledRastersClearTheirRowPadding)
{
    Raster r(5, 3, PixelFormat::Bit24, Raster::Unfilled{});
    ASSERT_EQ(r.Stride(), 16u);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(r.Row(y)[15], 0);
}
