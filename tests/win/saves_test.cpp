// What a save keeps of what the picture's file held, through turns and
// resizes and from one format to another: the lossless kind, the profile,
// Exif and XMP made to fit, an animation's frames and timing, a TIFF's pages
// each in its own kind of pixels and compression.
#include "tests/win/PictureTestSupport.h"

#include "imaging/codecs/PngCodec.h"
#include "imaging/codecs/TiffCodec.h"
#include "imaging/codecs/WebpCodec.h"
#include "tests/win/RecordSamples.h"

namespace {

using namespace picture_test;
using namespace record_samples;

struct Source {
    const char* what;
    std::wstring name;
    std::vector<uint8_t> bytes;
    bool icc = false, exif = false, xmp = false;
    bool lossless = false;          // a lossless WebP
    std::vector<int> delays;        // an animation's, as stored (ms)
    int loops = 0;
    struct Page {
        int bits;
        uint16_t compression;
    };
    std::vector<Page> pages;        // a TIFF's
    bool marked = true;             // a red square top-left
};

std::vector<Source> Sources(const std::function<std::wstring(const std::wstring&)>& path)
{
    const Raster photo = Photo(40, 30, 200);
    // Stored 40 × 30 and turned a quarter on the camera: shown 30 × 40.
    const std::vector<uint8_t> exif = ExifBlock(6, 40, 30), xmp = Xmp(6, 40, 30), icc = Profile();
    const ImageMetadata still{exif, icc, xmp};
    PngImage png = PngFromRaster(photo);
    png.colour.icc = icc;
    png.exif = ExifBlock(1, 40, 30);
    png.xmp = Xmp(1, 40, 30);
    const std::vector<Raster> frames = {Photo(40, 30, 200), Photo(40, 30, 150), Photo(40, 30, 100)};
    WriteTiff(path(L"pages.tif"), {{photo, TiffPageSample::Colour, COMPRESSION_LZW, icc, Xmp(1, 40, 30)},
                                   {photo, TiffPageSample::Bilevel, COMPRESSION_CCITTFAX4, {}, {}},
                                   {Photo(20, 14, 200), TiffPageSample::Grey, COMPRESSION_ADOBE_DEFLATE, {}, {}}});
    return {
        {"JPEG", L"in.jpg", EncodeJpeg(photo, JpegMetadataHolding(exif, xmp, icc)), true, true, true},
        {"PNG", L"in.png", EncodePng(png), true, true, true},
        {"bitmap", L"in.bmp", EncodeBmp(photo)},
        {"lossy WebP", L"in.webp", EncodeWebp(photo, false, still), true, true, true},
        {"lossless WebP", L"in.webp", EncodeWebp(photo, true, still), true, true, true, true},
        {"animated lossless WebP", L"in.webp", AnimatedWebp(frames, {40, 80, 120}, 2, true, icc, Xmp(1, 40, 30)),
         true, false, true, true, {40, 80, 120}, 2},
        {"animated lossy WebP", L"in.webp", AnimatedWebp(frames, {40, 80, 120}, 0, false, {}, {}), false, false,
         false, false, {40, 80, 120}, 0},
        {"animated GIF", L"in.gif", AnimatedGif(40, 30, 2), false, false, false, false, {100, 100}, 0},
        {"TIFF of a colour, a fax and a grey page", L"pages.tif", {}, true, false, true, false, {}, 0,
         {{24, COMPRESSION_LZW}, {1, COMPRESSION_CCITTFAX4}, {8, COMPRESSION_ADOBE_DEFLATE}}},
    };
}

// Turned a quarter clockwise and resized to half, every source saved as every
// writable format: the picture, what its file held where the format holds
// it, fitted to the new pixels, its frames and its pages.
TEST_F(Picture, TurnedAndResizedPicturesSaveWhatTheirFilesHeldAsEveryFormat)
{
    const std::vector<uint8_t> icc = Profile();
    for (const Source& source : Sources([&](const std::wstring& name) { return Path(name); }))
        for (const std::wstring& target : std::vector<std::wstring>{L"jpg", L"png", L"bmp", L"webp", L"tif"}) {
            SCOPED_TRACE(testing::Message() << source.what << " as " << Narrow(target));
            TPicture picture;
            LoadPictureFromFile(picture, source.bytes.empty() ? Path(source.name) : Write(source.name, source.bytes));
            const int width = picture.Height() / 2, height = picture.Width() / 2;
            // Where a quarter turn clockwise takes the square (top-right for a
            // file stored upright, bottom-right for one turned on the camera).
            const std::string marked = MarkedCorner(picture.Graphic()->Pixels());
            const std::string corner = marked == "TL" ? "TR" : marked == "TR" ? "BR" : marked;
            const auto turned = TransformGraphic(*picture.Graphic(), TransformMode::RotateClockwise);
            const auto edited = ResizeGraphic(*turned, width, height);
            const std::wstring out = L"out." + target;
            SaveGraphicToFile(*edited, Path(out));
            const std::vector<uint8_t> bytes = Read(out);

            TPicture saved;
            LoadPictureFromFile(saved, Path(out));
            ASSERT_EQ(saved.Width(), width);
            ASSERT_EQ(saved.Height(), height);
            if (source.marked) {
                EXPECT_EQ(MarkedCorner(saved.Graphic()->Pixels()), corner);
            }
            const bool bitmap = target == L"bmp", tiff = target == L"tif", webp = target == L"webp";
            const auto colour = saved.Graphic()->Colour();
            const std::vector<uint8_t> none;
            EXPECT_EQ(colour ? colour->icc : none, source.icc && !bitmap ? icc : none);
            const ImageMetadata kept = MetadataToWrite(saved.Graphic()->Record().get(), {});
            EXPECT_EQ(kept.exif, source.exif && !bitmap && !tiff ? ExifBlock(1, width, height, false)
                                                                 : std::vector<uint8_t>());
            EXPECT_EQ(kept.xmp, source.xmp && !bitmap ? Xmp(1, width, height) : std::vector<uint8_t>());

            if (webp) {
                const WebpInfo info = ReadWebpInfo(bytes);
                EXPECT_EQ(info.lossless, source.lossless);
                EXPECT_EQ(info.frameCount, std::max<int>(1, int(source.delays.size())));
                if (!source.delays.empty()) {
                    const auto animation = OpenWebpAnimation(std::make_shared<const std::vector<uint8_t>>(bytes));
                    EXPECT_EQ(animation->LoopCount(), source.loops);
                    for (int delay : source.delays) {
                        const AnimationFrame& frame = animation->Next();
                        EXPECT_EQ(frame.storedDelayMs, delay);
                        EXPECT_EQ(frame.pixels.Width(), width);
                        EXPECT_EQ(MarkedCorner(frame.pixels), corner) << "frame " << frame.index;
                    }
                }
            }
            if (tiff) {
                const size_t pages = std::max<size_t>(1, source.pages.size());
                ASSERT_EQ(TiffPageCount(bytes), int(pages));
                for (size_t n = 0; n < source.pages.size(); ++n) {
                    SCOPED_TRACE(testing::Message() << "page " << n + 1);
                    const TiffPage page = ReadTiffPage(bytes, int(n));
                    EXPECT_EQ(page.Bits(), source.pages[n].bits);
                    EXPECT_EQ(page.compression, source.pages[n].compression);
                    EXPECT_EQ(page.orientation, 1);
                    const Raster shown = DecodeTiff(bytes, int(n)).pixels;
                    // The grey page is 20 × 14: resized in the same proportions.
                    EXPECT_EQ(shown.Width(), n == 2 ? 7 : width);
                    EXPECT_EQ(shown.Height(), n == 2 ? 10 : height);
                    EXPECT_EQ(MarkedCorner(shown), corner);
                }
            }
        }
}

// A transparent WebP keeps its transparency through a turn: saved as a PNG
// it stays, in the formats that hold none it is white.
TEST_F(Picture, TransparencyTurnedStaysInAPngAndIsWhiteElsewhere)
{
    const std::vector<uint8_t> webp = EncodeWebp(PngToRaster(DecodePng(TransparentPng(40, 30))), true);
    for (const std::wstring target : {L"png", L"jpg", L"bmp"}) {
        SCOPED_TRACE(Narrow(target));
        TPicture picture;
        LoadPictureFromFile(picture, Write(L"clear.webp", webp));
        // The transparent left half goes to the top.
        const auto turned = TransformGraphic(*picture.Graphic(), TransformMode::RotateClockwise);
        SaveGraphicToFile(*turned, Path(L"out." + target));
        TPicture saved;
        LoadPictureFromFile(saved, Path(L"out." + target));
        const Raster pixels = saved.Graphic()->Pixels();
        ASSERT_EQ(pixels.Width(), 30);
        if (target == L"png")
            EXPECT_EQ(pixels.PixelAt(15, 5).reserved, 0);
        else
            EXPECT_TRUE(Near(RasterAt(pixels, 15, 5), kWhite, 4));
        EXPECT_TRUE(Near(RasterAt(pixels, 15, 35), kGreen, 8));
    }
}

} // namespace
