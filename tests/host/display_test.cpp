#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/Failure.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/display/DisplayTiles.h"
#include "imaging/pixels/Levels.h"
#include "imaging/pixels/Resample.h"
#include "imaging/pixels/Transform.h"
#include "tests/host/jpeg_metadata_material.h"

namespace {

// Photo-like: smooth gradients and waves with a little noise.
Raster Photo(int width, int height, PixelFormat format = PixelFormat::Bit24)
{
    Raster raster(width, height, format);
    const int c = BitsPerPixel(format) / 8;
    uint32_t seed = 1;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = raster.MutableRow(y);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int((seed >> 24) & 15) - 8;
            const double wave = 40 * std::sin(x / 37.0) * std::cos(y / 23.0);
            const int base[3] = {x * 200 / width + 20, y * 180 / height + 40, (x + y) * 150 / (width + height) + 60};
            for (int i = 0; i < 3; ++i)
                row[c * x + i] = uint8_t(std::clamp(int(base[i] + (i == 1 ? wave : wave / 2) + noise), 0, 255));
            if (c == 4)   // alpha from opaque to clear and back, in bands
                row[c * x + 3] = uint8_t(std::min(255, std::abs(((x + 2 * y) % 512) - 256)));
        }
    }
    if (c == 4)
        raster.SetAlpha(AlphaMode::Straight);
    return raster;
}

// The whole shown picture put together from its tiles.
Raster FromTiles(DisplayTiles& tiles)
{
    const int side = DisplayTiles::kTileSide;
    Raster whole(tiles.ShownWidth(), tiles.ShownHeight(), PixelFormat::Bit24);
    for (int row = 0; row * side < tiles.ShownHeight(); ++row)
        for (int column = 0; column * side < tiles.ShownWidth(); ++column) {
            const Raster& tile = tiles.Tile(column, row);
            EXPECT_FALSE(tile.Empty());
            for (int y = 0; y < tile.Height(); ++y)
                for (int x = 0; x < tile.Width(); ++x) {
                    const PaletteEntry p = tile.PixelAt(x, y);
                    uint8_t* to = whole.MutableRow(row * side + y) + 3 * size_t(column * side + x);
                    to[0] = p.blue, to[1] = p.green, to[2] = p.red;
                }
        }
    return whole;
}

struct Difference {
    double mean = 0;
    int max = 0;
};

Difference Compare(const Raster& a, const Raster& b)
{
    Difference d;
    EXPECT_EQ(a.Width(), b.Width());
    EXPECT_EQ(a.Height(), b.Height());
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Empty())
        return {1e9, 255};
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const PaletteEntry p = a.PixelAt(x, y), q = b.PixelAt(x, y);
            for (int v : {p.blue - q.blue, p.green - q.green, p.red - q.red}) {
                sum += std::abs(v);
                d.max = std::max(d.max, std::abs(v));
            }
        }
    d.mean = sum / (3.0 * a.Width() * a.Height());
    return d;
}

// The straight-alpha picture composed over a colour, as the display shows it.
Raster Over(const Raster& picture, uint8_t red, uint8_t green, uint8_t blue)
{
    return picture.Alpha() == AlphaMode::Straight ? picture.ComposedOver(red, green, blue) : picture;
}

} // namespace

TEST(DisplayTiles, TilesPutTogetherAreTheWholeResampledPicture)
{
    // Shown at natural size or near it the tiles come from the picture
    // itself and must be exactly what resampling all of it gives; further
    // down, exactly what one part the size of the whole made from the level
    // gives, and close to resampling the whole level. Formats: 24-bit, 32-bit
    // with straight alpha over a background, and an indexed raster.
    Raster indexed(613, 411, PixelFormat::Bit8);
    std::vector<PaletteEntry> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[size_t(i)] = {uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
    indexed.SetPalette(palette);
    for (int y = 0; y < 411; ++y)
        for (int x = 0; x < 613; ++x)
            indexed.MutableRow(y)[x] = uint8_t(x * y + x);
    const Raster pictures[] = {Photo(613, 411), Photo(613, 411, PixelFormat::Bit32), indexed};
    const std::pair<int, int> sizes[] = {{613, 411}, {551, 370}, {674, 452}, {1839, 1233}, {300, 200}, {97, 65}};
    for (const Raster& picture : pictures)
        for (const auto& [width, height] : sizes) {
            SCOPED_TRACE(::testing::Message() << picture.Bits() << " bits shown at " << width << "x" << height);
            DisplayTiles tiles;
            tiles.SetBackground(30, 60, 90);
            tiles.SetSource(std::make_shared<RasterSource>(picture));
            tiles.SetShownSize(width, height);
            const int level = LevelFor(613, 411, width, height);
            ASSERT_EQ(tiles.Level(), level);
            const Raster expected =
                ResampleArea(level == 0 ? Over(picture, 30, 60, 90)
                                        : MakeLevel(picture, level).ComposedOver(30, 60, 90),
                             width, height);
            const Raster shown = FromTiles(tiles);
            if (level == 0) {
                EXPECT_EQ(Compare(shown, expected.ConvertedTo(PixelFormat::Bit24)).max, 0);
            } else {
                EXPECT_EQ(Compare(shown, tiles.MakePart({0, 0, width, height})).max, 0);
                // A level's last column and row stand for part of a block:
                // resampling the level as a raster stretches them a little.
                if (picture.Bits() != 8)
                    EXPECT_LT(Compare(shown, expected.ConvertedTo(PixelFormat::Bit24)).mean, 1.0);
            }
        }
}

TEST(DisplayTiles, ReducedLevelsLookLikeTheAreaAveragedShrinkOfTheWholePicture)
{
    // What is shown from a reduced level (a JPEG decoded at a smaller scale,
    // a raster or PNG halved) against the area average of the whole picture:
    // on photo-like content the mean difference stays below a step or two of
    // 255, and far below what dropping pixels would give.
    const Raster photo = Photo(1203, 799);
    const Raster transparent = Photo(1203, 799, PixelFormat::Bit32);
    auto jpeg = std::make_shared<const std::vector<uint8_t>>(EncodeJpeg(photo));
    const Raster decoded = DecodeJpeg(*jpeg);
    auto png = std::make_shared<const std::vector<uint8_t>>(EncodePng([&] {
        PngImage image;
        image.width = 1203, image.height = 799, image.colorType = 6, image.rowBytes = 1203 * 4;
        image.rows.resize(image.rowBytes * 799);
        for (int y = 0; y < 799; ++y)
            for (int x = 0; x < 1203; ++x) {
                const uint8_t* p = transparent.Row(y) + 4 * x;
                uint8_t* q = image.rows.data() + size_t(y) * image.rowBytes + 4 * size_t(x);
                q[0] = p[2], q[1] = p[1], q[2] = p[0], q[3] = p[3];
            }
        return image;
    }()));
    for (const double scale : {0.45, 0.3, 0.2, 0.1, 0.03}) {
        const int width = int(std::lround(1203 * scale)), height = int(std::lround(799 * scale));
        SCOPED_TRACE(::testing::Message() << "scale " << scale);
        const struct {
            const char* kind;
            std::shared_ptr<const DisplaySource> source;
            Raster whole;
        } cases[] = {
            {"raster", std::make_shared<RasterSource>(photo), photo},
            {"JPEG", std::make_shared<JpegSource>(jpeg), decoded},
            {"PNG", std::make_shared<PngSource>(png, LevelFor(1203, 799, width, height)), Over(transparent, 0, 0, 0)},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.kind);
            DisplayTiles tiles;
            tiles.SetSource(c.source);
            tiles.SetShownSize(width, height);
            ASSERT_GT(tiles.Level(), 0);
            const Raster reference = ResampleArea(c.whole, width, height).ConvertedTo(PixelFormat::Bit24);
            const Difference shown = Compare(FromTiles(tiles), reference);
            const Difference dropped = Compare(ResizeNearest(c.whole, width, height), reference);
            EXPECT_LT(shown.mean, scale < 0.05 ? 2.6 : 1.2);
            if (scale >= 0.1)
                EXPECT_LT(shown.mean, dropped.mean / 2);
            EXPECT_LE(shown.max, 16);
        }
    }
}

TEST(Resample, EveryRatioGivesTheExactAreaAverage)
{
    // Against the area average worked out in floating point for each target
    // pixel, over narrow spans (the fixed-length kernel) and wide ones.
    const Raster photo = Photo(97, 61);
    for (const auto& [width, height] : {std::pair{96, 60}, {83, 50}, {50, 31}, {31, 19}, {7, 5}, {150, 97}}) {
        const Raster out = ResampleArea(photo, width, height);
        const double sx = 97.0 / width, sy = 61.0 / height;
        int worst = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c) {
                    double sum = 0;
                    for (int j = int(y * sy); j < std::min(61, int(std::ceil((y + 1) * sy))); ++j)
                        for (int i = int(x * sx); i < std::min(97, int(std::ceil((x + 1) * sx))); ++i) {
                            const double wy = std::min<double>(j + 1, (y + 1) * sy) - std::max<double>(j, y * sy);
                            const double wx = std::min<double>(i + 1, (x + 1) * sx) - std::max<double>(i, x * sx);
                            sum += std::max(0.0, wx) * std::max(0.0, wy) * photo.Row(j)[3 * i + c];
                        }
                    const double exact = sum / (sx * sy);
                    worst = std::max(worst, int(std::ceil(std::abs(out.Row(y)[3 * x + c] - exact) - 0.5)));
                }
        EXPECT_LE(worst, 1) << width << "x" << height;
    }
}

TEST(Levels, SizesAndBlockMeansWithCutBlocksAndAlpha)
{
    // The deepest level that still covers the shown size.
    EXPECT_EQ(LevelFor(6000, 4000, 1280, 853), 2);    // 1500 x 1000
    EXPECT_EQ(LevelFor(6000, 4000, 1500, 1000), 2);
    EXPECT_EQ(LevelFor(6000, 4000, 1501, 1000), 1);
    EXPECT_EQ(LevelFor(6000, 4000, 5400, 3600), 0);   // 90 %
    EXPECT_EQ(LevelFor(6000, 4000, 6600, 4400), 0);
    EXPECT_EQ(LevelFor(6001, 4001, 751, 501), 3);     // sides rounded up: 751 x 501
    EXPECT_EQ(LevelFor(6000, 4000, 1, 1), 11);        // blocks no larger than the picture
    EXPECT_EQ(LevelFor(3, 1, 1, 1), 0);
    EXPECT_EQ(LevelFor(60000, 40000, 1, 1), 12);      // nor than the sums allow
    EXPECT_EQ(LevelSide(5, 1), 3);

    // 5 x 3 at level 1: blocks of 2 x 2, cut to 1 wide and 1 high at the edges.
    Raster grey(5, 3, PixelFormat::Bit24);
    const uint8_t values[3][5] = {{0, 10, 20, 30, 40}, {100, 110, 120, 130, 140}, {200, 201, 202, 203, 255}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            std::fill_n(grey.MutableRow(y) + 3 * x, 3, values[y][x]);
    const Raster level = MakeLevel(grey, 1);
    ASSERT_EQ(level.Width(), 3);
    ASSERT_EQ(level.Height(), 2);
    const uint8_t expected[2][3] = {{55, 75, 90}, {201, 203, 255}};   // means, halves rounded up
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(level.PixelAt(x, y).green, expected[y][x]) << x << "," << y;

    // With alpha the colours are weighed by it (premultiplied): a clear
    // pixel's colour counts for nothing.
    Raster rgba(2, 1, PixelFormat::Bit32);
    rgba.SetAlpha(AlphaMode::Straight);
    const uint8_t pixels[8] = {0, 0, 200, 255, 255, 255, 0, 0};   // opaque red, clear cyan
    std::copy(pixels, pixels + 8, rgba.MutableRow(0));
    const Raster half = MakeLevel(rgba, 1);
    EXPECT_EQ(half.Alpha(), AlphaMode::Premultiplied);
    EXPECT_EQ(half.PixelAt(0, 0), (PaletteEntry{0, 0, 100, 128}));
    EXPECT_EQ(half.ComposedOver(0, 0, 0).PixelAt(0, 0), (PaletteEntry{0, 0, 100, 255}));
}

TEST(DisplaySource, PicturesShownSmallKeepOnlyTheirFileAndTheLevel)
{
    const Raster photo = Photo(640, 480);
    const std::vector<uint8_t> jpegFile = EncodeJpeg(photo);
    const std::vector<uint8_t> pngFile = EncodePng(PngFromRaster(photo));
    const ShownSizeRule quarter = [](int width, int height) { return std::pair{width / 4, height / 4}; };

    const PreparedPicture jpeg = PreparePicture(GraphicKind::Jpeg, jpegFile, quarter);
    const auto& jpegSource = static_cast<const JpegSource&>(*jpeg.source);
    EXPECT_FALSE(jpegSource.FullDecoded());
    EXPECT_EQ(jpeg.source->MemoryUse(), jpegFile.size() + Raster::StrideFor(160, PixelFormat::Bit24) * 120);
    // What needs the whole decodes it, with the settings of a full load.
    const Raster full = jpeg.source->Whole();
    EXPECT_TRUE(jpegSource.FullDecoded());
    EXPECT_EQ(Compare(full, DecodeJpeg(jpegFile)).max, 0);

    const PreparedPicture png = PreparePicture(GraphicKind::Png, pngFile, quarter);
    EXPECT_EQ(png.source->MemoryUse(), pngFile.size() + Raster::StrideFor(160, PixelFormat::Bit24) * 120);
    const auto& pngSource = static_cast<const PngSource&>(*png.source);
    // The rows once they are needed, and then not the file besides.
    EXPECT_EQ(pngSource.Image().rows, DecodePng(pngFile).rows);
    EXPECT_EQ(png.source->MemoryUse(), size_t(640 * 3 * 480) + Raster::StrideFor(160, PixelFormat::Bit24) * 120);
    // Shown at natural size: the rows at once, no level.
    const PreparedPicture natural =
        PreparePicture(GraphicKind::Png, pngFile, [](int width, int height) { return std::pair{width, height}; });
    EXPECT_EQ(natural.source->MemoryUse(), size_t(640 * 3 * 480));
}

TEST(DisplaySource, DataThatCannotBeDecodedFailsWhenPreparedForAnySize)
{
    // Showing small still reads all of a file: what a full decode refuses,
    // the reduced one refuses too.
    std::vector<uint8_t> noTable = EncodeJpeg(Photo(64, 48));
    for (size_t i = 2; i + 1 < noTable.size(); ++i)
        if (noTable[i] == 0xFF && noTable[i + 1] == 0xC0) {
            noTable[i + 2 + 2 + 1 + 4 + 1 + 1 + 1] = 3;   // the first component names table 3
            break;
        }
    std::vector<uint8_t> cutPng = EncodePng(PngFromRaster(Photo(64, 48)));
    cutPng.resize(cutPng.size() / 2);
    for (const std::pair<int, int> shown : {std::pair{64, 48}, {16, 12}, {4, 3}}) {
        const ShownSizeRule rule = [shown](int, int) { return shown; };
        EXPECT_THROW(PreparePicture(GraphicKind::Jpeg, noTable, rule), Failure) << shown.first;
        EXPECT_THROW(PreparePicture(GraphicKind::Png, cutPng, rule), Failure) << shown.first;
    }
}

TEST(DisplaySource, JpegIsShownAsItsExifOrientationSaysAndDamagedTagsAsStored)
{
    // Taller than a decoding band and cut unevenly by it.
    const std::vector<uint8_t> plain = EncodeJpeg(Photo(240, 150));
    const Raster stored = DecodeJpeg(plain);
    const ShownSizeRule quarter = [](int width, int height) { return std::pair{width / 4, height / 4}; };
    using jpeg_material::ExifPayload, jpeg_material::WithSegments;
    auto withExif = [&](std::vector<uint8_t> exif) { return WithSegments(plain, {{0xE1, std::move(exif)}}); };

    for (int value = 1; value <= 8; ++value) {
        SCOPED_TRACE(value);
        const PreparedPicture prepared =
            PreparePicture(GraphicKind::Jpeg, withExif(ExifPayload({.orientation = value})), quarter);
        const Raster upright = TransformRaster(stored, Orientation(value));
        ASSERT_EQ(prepared.source->Width(), upright.Width());
        ASSERT_EQ(prepared.source->Height(), upright.Height());
        // The reduced level decoded small and then turned; the whole picture
        // laid out band by band as it is decoded.
        EXPECT_LT(Compare(prepared.source->Level(2), RasterSource(upright).Level(2)).mean, 2.0);
        EXPECT_EQ(Compare(prepared.source->Whole(), upright).max, 0);
    }

    // Values outside 1 to 8, another type, more than one value: as stored.
    // (The little-endian orientation entry: tag, type, count, value.)
    for (const auto [type, count, value] : {std::tuple{3, 1, 0}, {3, 1, 9}, {4, 1, 6}, {3, 2, 6}}) {
        std::vector<uint8_t> exif = ExifPayload({});
        const uint8_t entry[] = {0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0};
        const auto at = std::search(exif.begin(), exif.end(), entry, entry + sizeof entry);
        ASSERT_NE(at, exif.end());
        at[2] = uint8_t(type), at[4] = uint8_t(count), at[8] = uint8_t(value);
        const PreparedPicture prepared = PreparePicture(GraphicKind::Jpeg, withExif(exif), quarter);
        EXPECT_EQ(Compare(prepared.source->Whole(), stored).max, 0) << type << " " << count << " " << value;
    }
}
