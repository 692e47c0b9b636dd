// The system's decoders (Windows Imaging Component) give the frame's
// orientation and colour profile with its pixels, and a picture they decode
// is loaded upright and in its profile's colours. Wine has no HEIC, HEIF or
// JPEG XL decoder: its TIFF decoder stands for them (its JPEG decoder gives
// neither orientation nor profile), with a file whose Orientation tag says
// to turn it and which carries an ICC profile.
#include "tests/win/PictureTestSupport.h"

#include "imaging/codecs/TiffCodec.h"
#include "imaging/colour/ColourProfile.h"
#include "imaging/pictures/RasterFileGraphic.h"

namespace {

using namespace picture_test;

// 40 × 20 as stored: the left quarter red, the rest blue; its Orientation
// tag says to turn it a quarter clockwise (6), an ICC profile (BT.2020's
// primaries) says what its numbers mean.
struct TurnedTaggedTiff {
    std::vector<uint8_t> icc = MakeIccProfile({0.708, 0.292, 0.170, 0.797, 0.131, 0.046, 0.3127, 0.3290}, kSrgbCurve);
    std::vector<uint8_t> file;
    TurnedTaggedTiff()
    {
        Raster pixels(40, 20, PixelFormat::Bit24);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x) {
                uint8_t* p = pixels.MutableRow(y) + 3 * x;
                p[0] = x < 10 ? 0 : 220, p[1] = 0, p[2] = x < 10 ? 220 : 0;
            }
        ImageMetadata metadata;
        metadata.icc = icc;
        file = EncodeRasterFile(RasterFileType::Tiff, pixels, true, metadata);
        // The first directory's Orientation (274) made 6 (little-endian, as
        // the encoder writes).
        auto word = [&](size_t at) { return size_t(file[at]) | size_t(file[at + 1]) << 8; };
        const size_t directory = word(4) | word(6) << 16;
        for (size_t i = 0, n = word(directory); i < n; ++i)
            if (const size_t entry = directory + 2 + 12 * i; word(entry) == 274)
                file[entry + 8] = 6;
    }
};

TEST_F(Picture, TheSystemDecoderGivesTheFramesOrientationAndProfile)
{
    const TurnedTaggedTiff tiff;
    ASSERT_EQ(DecodeTiff(tiff.file).metadata.orientation, 6);
    const DecodedImage decoded = DecodeWithSystem(tiff.file, RasterFileType::Heic);
    EXPECT_EQ(decoded.pixels.Width(), 40);   // as stored
    EXPECT_EQ(decoded.metadata.orientation, 6);
    EXPECT_EQ(decoded.metadata.icc, tiff.icc);

    // Loaded as a HEIC file whose decoding the system's TIFF decoder stands
    // in for: upright, and carrying its profile to the display.
    SetSystemDecoder([&](std::span<const uint8_t>, RasterFileType type) { return DecodeWithSystem(tiff.file, type); });
    TPicture picture;
    LoadPictureFromFile(picture, Write(L"phone.heic", {0, 0, 0, 20, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c', 0, 0, 0,
                                                       0, 'm', 'i', 'f', '1', 0, 0, 0, 0}));
    SetSystemDecoder(nullptr);
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Width(), 20);
    EXPECT_EQ(picture.Height(), 40);
    const Raster shown = picture.Graphic()->Pixels();
    EXPECT_GT(shown.PixelAt(10, 2).red, 150);    // the red quarter went to the top
    EXPECT_GT(shown.PixelAt(10, 30).blue, 150);
    const auto display = picture.Graphic()->Display();
    ASSERT_TRUE(display && display->Colour());
    EXPECT_EQ(display->Colour()->icc, tiff.icc);
}

} // namespace
