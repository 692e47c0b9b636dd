// Turning, flipping and resizing graphics of every kind: each becomes a
// raster with its transparent and undrawn parts white.
#include <cstring>

#include "tests/host/jpeg_metadata_material.h"
#include "tests/win/PictureTestSupport.h"

namespace {

using namespace picture_test;

// Where the pixel at (x, y) of a W × H image lies after the mode: {x, y}.
POINT Moved(TransformMode mode, int x, int y, int W, int H)
{
    switch (mode) {
    case TransformMode::RotateClockwise: return {H - 1 - y, x};
    case TransformMode::Rotate180: return {W - 1 - x, H - 1 - y};
    case TransformMode::RotateCounterClockwise: return {y, W - 1 - x};
    case TransformMode::FlipHorizontal: return {W - 1 - x, y};
    case TransformMode::FlipVertical: return {x, H - 1 - y};
    }
    return {-1, -1};
}

// One graphic of each kind, with points of its natural size and the colour
// they show on white.
struct Sample {
    const wchar_t* name;
    std::vector<uint8_t> bytes;
    std::vector<std::pair<POINT, Bgra>> points;   // fractions of the size, in percent
    int tolerance;
};

std::vector<Sample> Samples()
{
    return {
        {L"r.bmp", EncodeBmp(TwoColourRaster(12, 8)), {{{10, 10}, kRed}, {{90, 90}, kBlue}}, 0},
        {L"j.jpg", EncodeJpeg(TwoColourRaster(32, 16)), {{{10, 10}, kRed}, {{90, 90}, kBlue}}, 24},
        {L"t.png", TransparentPng(10, 4), {{{10, 10}, kWhite}, {{90, 90}, kGreen}}, 0},
        {L"i.ico", IconFile({{32, 32}}), {{{10, 10}, kRed}, {{90, 90}, kWhite}}, 0},
        {L"m.emf", RecordedEmf(100, 50), {{{10, 10}, kRed}, {{90, 90}, kWhite}}, 0},
        {L"w.wmf", HandMadeWmf(96, 48), {{{10, 10}, kRed}, {{90, 90}, kWhite}}, 0},
    };
}

class TransformGraphics : public Picture {};

} // namespace

TEST_F(TransformGraphics, EveryKindTurnsAsItShowsOnWhite)
{
    const TransformMode modes[] = {TransformMode::RotateClockwise, TransformMode::Rotate180,
                                   TransformMode::RotateCounterClockwise, TransformMode::FlipHorizontal,
                                   TransformMode::FlipVertical};
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(Narrow(sample.name));
        const TPicture picture = Load(sample.name, sample.bytes);
        const TGraphic& graphic = *picture.Graphic();
        const GraphicKind kind = graphic.Kind();
        const int W = picture.Width(), H = picture.Height();
        for (TransformMode mode : modes) {
            SCOPED_TRACE(int(mode));
            std::unique_ptr<TBitmapGraphic> turned = TransformGraphic(graphic, mode);
            const Raster& r = turned->GetRaster();
            ASSERT_EQ(r.Format(), PixelFormat::Bit24);
            ASSERT_EQ(r.Width(), SwapsSides(mode) ? H : W);
            ASSERT_EQ(r.Height(), SwapsSides(mode) ? W : H);
            for (auto [at, colour] : sample.points) {
                const int x = W * at.x / 100, y = H * at.y / 100;
                const POINT to = Moved(mode, x, y, W, H);
                EXPECT_TRUE(Near(RasterAt(r, to.x, to.y), colour, sample.tolerance)) << x << "," << y;
            }
        }
        // The graphic itself is untouched.
        EXPECT_EQ(graphic.Kind(), kind);
        EXPECT_EQ(graphic.Width(), W);
        EXPECT_EQ(graphic.Height(), H);
    }
}

TEST_F(TransformGraphics, EveryKindResizesToExactlyTheSizeAsked)
{
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(Narrow(sample.name));
        const TPicture picture = Load(sample.name, sample.bytes);
        const int W = picture.Width(), H = picture.Height();
        // Wider and flatter, then smaller both ways.
        for (auto [w, h] : {std::pair{2 * W + 1, H / 2 + 1}, {W / 3 + 1, H / 3 + 1}}) {
            std::unique_ptr<TBitmapGraphic> resized = ResizeGraphic(*picture.Graphic(), w, h);
            const Raster& r = resized->GetRaster();
            ASSERT_EQ(r.Width(), w);
            ASSERT_EQ(r.Height(), h);
            for (auto [at, colour] : sample.points)
                EXPECT_TRUE(Near(RasterAt(r, w * at.x / 100, h * at.y / 100), colour, sample.tolerance))
                    << w << "x" << h << " at " << at.x << "%," << at.y << "%";
        }
        EXPECT_EQ(picture.Width(), W);
        for (auto [w, h] : {std::pair{0, 50}, {50, 0}})
            EXPECT_EQ(MessageOf([&] { ResizeGraphic(*picture.Graphic(), w, h); }), L"Invalid Image Size Constraints");
    }
    // Rows and columns are repeated, not blended: a one-pixel checkerboard
    // doubled is made of 2 × 2 squares of pure colours.
    Raster board(4, 4, PixelFormat::Bit24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            std::memset(board.MutableRow(y) + 3 * x, (x + y) % 2 ? 255 : 0, 3);
    std::unique_ptr<TBitmapGraphic> doubled = ResizeGraphic(TBitmapGraphic(board), 8, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(RasterAt(doubled->GetRaster(), x, y), (x / 2 + y / 2) % 2 ? kWhite : 0xFF000000u) << x << "," << y;
}

TEST_F(TransformGraphics, JpegMetadataFollowsTheTurnIntoTheSavedFile)
{
    using namespace jpeg_material;
    // Stored 64 × 48 with orientation 6: shown upright, 48 × 64.
    const JpegSegment exif{0xE1, ExifPayload({})}, icc{0xE2, IccChunk(1, 1, "RGB ")};
    const std::vector<uint8_t> original = WithSegments(EncodeJpeg(TwoColourRaster(64, 48)), {exif, icc}, false);
    const TPicture picture = Load(L"photo.jpg", original);
    ASSERT_EQ(picture.Graphic()->Width(), 48);

    // Turned a quarter more (a half turn of the stored pixels), converted on
    // the way to each format, and saved: as JPEG, the file's own blocks
    // rearranged, since its sides are whole blocks.
    std::unique_ptr<TBitmapGraphic> turned = TransformGraphic(*picture.Graphic(), TransformMode::RotateClockwise);
    SaveGraphicToFile(*turned, Path(L"photo.jpg"));
    SaveGraphicToFile(*turned, Path(L"copy.jpeg"));
    SaveGraphicToFile(*turned, Path(L"copy.png"));
    ExifFields fitted;
    fitted.orientation = 1;
    fitted.thumbnail = false;
    for (const wchar_t* name : {L"photo.jpg", L"copy.jpeg"}) {
        SCOPED_TRACE(Narrow(name));
        const std::vector<uint8_t> saved = Read(name);
        EXPECT_EQ(saved, TransformJpeg(original, Orientation::Rotate180).value());
        const JpegMetadata metadata = ReadJpegMetadata(saved);
        EXPECT_EQ(metadata.segments, (std::vector<JpegSegment>{{0xE1, ExifPayload(fitted)}, icc}));
        EXPECT_FALSE(metadata.jfif.has_value());
        const Raster pixels = DecodeJpeg(saved);
        EXPECT_EQ(pixels.Width(), 64);
        EXPECT_TRUE(Near(RasterAt(pixels, 60, 24), kRed, 24));    // the left half is now on the right
        EXPECT_TRUE(Near(RasterAt(pixels, 3, 24), kBlue, 24));
    }
    EXPECT_TRUE(ReadJpegMetadata(Read(L"copy.png")).Empty());
    // Turned back to the stored layout: the stored blocks, orientation 1.
    SaveGraphicToFile(*TransformGraphic(*turned, TransformMode::Rotate180), Path(L"back.jpg"));
    EXPECT_EQ(Read(L"back.jpg"), TransformJpeg(original, Orientation::Identity).value());

    // Resized, the pixels are compressed anew, upright: orientation 1 and no
    // thumbnail, which shows them as stored; so are they when turned after.
    std::unique_ptr<TBitmapGraphic> resized = ResizeGraphic(*picture.Graphic(), 24, 32);
    SaveGraphicToFile(*resized, Path(L"small.jpg"));
    ExifFields small = fitted;
    small.pixelX = 24;
    small.pixelY = 32;
    EXPECT_EQ(ReadJpegMetadata(Read(L"small.jpg")).segments, (std::vector<JpegSegment>{{0xE1, ExifPayload(small)}, icc}));
    EXPECT_TRUE(Near(RasterAt(DecodeJpeg(Read(L"small.jpg")), 12, 3), kRed, 24));   // upright: the left half on top
    SaveGraphicToFile(*TransformGraphic(*resized, TransformMode::Rotate180), Path(L"small.jpg"));
    EXPECT_TRUE(Near(RasterAt(DecodeJpeg(Read(L"small.jpg")), 12, 28), kRed, 24));

    // An unchanged JPEG saved under another name is the same file.
    SaveGraphicToFile(*picture.Graphic(), Path(L"same.jpg"));
    EXPECT_EQ(Read(L"same.jpg"), original);
}
