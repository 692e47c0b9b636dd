// The newer formats on Windows: the system's decoders against the libraries,
// loading by extension and content, and saving as WebP and TIFF.
#include "tests/win/PictureTestSupport.h"

#include "imaging/codecs/TiffCodec.h"
#include "imaging/codecs/WebpCodec.h"
#include "imaging/pictures/RasterFileGraphic.h"
#include "tests/FormatSamples.h"

namespace {

using namespace picture_test;

TEST_F(Picture, SystemDecodersGiveWhatTheLibrariesGive)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        RasterFileType type;
    };
    const Case cases[] = {
        {"GIF, first frame", format_samples::TwoFrameGif(), RasterFileType::Gif},
        {"TIFF", EncodeTiff(TwoColourRaster(12, 8)), RasterFileType::Tiff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Raster ours = DecodeRasterFile(c.file).pixels;
        const Raster system = DecodeWithSystem(c.file, c.type).pixels;
        ASSERT_EQ(system.Width(), ours.Width());
        ASSERT_EQ(system.Height(), ours.Height());
        int differing = 0;
        for (int y = 0; y < ours.Height(); ++y)
            for (int x = 0; x < ours.Width(); ++x)
                differing += !(RasterAt(system, x, y) == RasterAt(ours, x, y));
        EXPECT_EQ(differing, 0);
    }

    // Under Wine the system has no HEIC decoder: the load says so.
    SystemDecoderRegistration decoders;
    const std::vector<uint8_t> heic = {0, 0, 0, 20, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c',
                                       0, 0, 0, 0,  'm', 'i', 'f', '1', 0,   0,   0,   0};
    TPicture picture;
    EXPECT_EQ(MessageOf([&] { LoadPictureFromFile(picture, Write(L"phone.HEIC", heic)); }),
              L"No decoder for HEIC images is installed on this computer");
}

TEST_F(Picture, NewerFormatsLoadByExtensionAndSaveAsWebpAndTiff)
{
    TPicture picture;
    LoadPictureFromFile(picture, Write(L"in.webp", EncodeWebp(TwoColourRaster(12, 8), true)));
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Width(), 12);

    // A lossless WebP stays lossless; a TIFF keeps every pixel.
    SaveGraphicToFile(*picture.Graphic(), Path(L"out.webp"));
    EXPECT_TRUE(ReadWebpInfo(Read(L"out.webp")).lossless);
    SaveGraphicToFile(*picture.Graphic(), Path(L"out.tiff"));
    const Raster back = DecodeTiff(Read(L"out.tiff")).pixels;
    EXPECT_TRUE(RasterAt(back, 11, 7) == RasterAt(TwoColourRaster(12, 8), 11, 7));

    // A GIF loaded is not written back as anything.
    LoadPictureFromFile(picture, Write(L"anim.gif", format_samples::TwoFrameGif()));
    const std::vector<uint8_t> before = Read(L"anim.gif");
    EXPECT_EQ(MessageOf([&] { SaveGraphicToFile(*picture.Graphic(), Path(L"anim.gif")); }),
              L"Saving as a GIF image is not supported");
    EXPECT_EQ(Read(L"anim.gif"), before);
}

} // namespace
