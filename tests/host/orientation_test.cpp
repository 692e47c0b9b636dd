#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "imaging/DisplaySource.h"
#include "imaging/JpegCodec.h"
#include "imaging/Transform.h"
#include "tests/host/jpeg_metadata_material.h"

using namespace jpeg_material;

namespace {

constexpr Orientation kAll[] = {Orientation::Identity,  Orientation::FlipHorizontal,  Orientation::Rotate180,
                                Orientation::FlipVertical, Orientation::Transpose,   Orientation::RotateClockwise,
                                Orientation::Transverse, Orientation::RotateCounterClockwise};

// Pixel n of a numbered picture: its blue byte n, green and red made from it.
Raster Numbered(int width, int height)
{
    Raster raster(width, height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int n = y * width + x + 1;
            uint8_t* p = raster.MutableRow(y) + 3 * x;
            p[0] = uint8_t(n), p[1] = uint8_t(n + 100), p[2] = uint8_t(255 - n);
        }
    return raster;
}

std::vector<std::vector<int>> Numbers(const Raster& raster)
{
    std::vector<std::vector<int>> rows(size_t(raster.Height()));
    for (int y = 0; y < raster.Height(); ++y)
        for (int x = 0; x < raster.Width(); ++x) {
            const uint8_t* p = raster.Row(y) + 3 * x;
            rows[size_t(y)].push_back(p[1] == uint8_t(p[0] + 100) && p[2] == uint8_t(255 - p[0]) ? p[0] : -1);
        }
    return rows;
}

// Smooth photo-like content with nothing symmetric about it.
Raster Photo(int width, int height)
{
    Raster raster(width, height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = raster.MutableRow(y) + 3 * x;
            p[0] = uint8_t(20 + x * 200 / width);
            p[1] = uint8_t(30 + y * 190 / height);
            p[2] = uint8_t(40 + (x + 2 * y) * 150 / (width + 2 * height));
        }
    return raster;
}

double MeanDifference(const Raster& a, const Raster& b)
{
    EXPECT_EQ(a.Width(), b.Width());
    EXPECT_EQ(a.Height(), b.Height());
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Empty())
        return 1e9;
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const PaletteEntry p = a.PixelAt(x, y), q = b.PixelAt(x, y);
            sum += std::abs(p.blue - q.blue) + std::abs(p.green - q.green) + std::abs(p.red - q.red);
        }
    return sum / (3.0 * a.Width() * a.Height());
}

// The little-endian Exif block with its orientation entry's type, count and
// value set.
std::vector<uint8_t> ExifWithEntry(int type, int count, int value)
{
    std::vector<uint8_t> exif = ExifPayload({});
    for (size_t i = 6 + 10; i + 12 <= exif.size(); ++i)
        if (exif[i] == 0x12 && exif[i + 1] == 0x01) {
            exif[i + 2] = uint8_t(type);
            exif[i + 4] = uint8_t(count);
            exif[i + 8] = uint8_t(value);
            break;
        }
    return exif;
}

} // namespace

TEST(Orientation, EachLaysOutPixelsAsTheExifValueSaysAndTheyCompose)
{
    // Top row 1 2 3, bottom row 4 5 6, as the camera stored it: what shows it
    // upright for each tag value.
    const std::vector<std::vector<int>> expected[] = {
        {{1, 2, 3}, {4, 5, 6}},       // 1
        {{3, 2, 1}, {6, 5, 4}},       // 2 mirrored
        {{6, 5, 4}, {3, 2, 1}},       // 3 half turn
        {{4, 5, 6}, {1, 2, 3}},       // 4 upside down
        {{1, 4}, {2, 5}, {3, 6}},     // 5 transpose
        {{4, 1}, {5, 2}, {6, 3}},     // 6 clockwise
        {{6, 3}, {5, 2}, {4, 1}},     // 7 transverse
        {{3, 6}, {2, 5}, {1, 4}},     // 8 counter-clockwise
    };
    for (const Orientation o : kAll) {
        SCOPED_TRACE(int(o));
        EXPECT_EQ(Numbers(TransformRaster(Numbered(3, 2), o)), expected[int(o) - 1]);
    }

    // Any two in turn are the one Then names, across the kernels' blocks and
    // in bands as the decoder lays rows out.
    const Raster start = Numbered(70, 9);
    for (const Orientation a : kAll)
        for (const Orientation b : kAll) {
            SCOPED_TRACE(testing::Message() << int(a) << " then " << int(b));
            const auto both = Numbers(TransformRaster(TransformRaster(start, a), b));
            EXPECT_EQ(both, Numbers(TransformRaster(start, Then(a, b))));
            EXPECT_EQ(Then(a, Inverse(a)), Orientation::Identity);
        }
    for (const Orientation o : kAll) {
        SCOPED_TRACE(int(o));
        const bool swap = SwapsSides(o);
        Raster whole(swap ? 9 : 70, swap ? 70 : 9, PixelFormat::Bit24);
        const PixelRows to{whole.MutableRow(0), ptrdiff_t(whole.Stride()), whole.Width(), whole.Height()};
        for (int first = 0; first < 9; first += 4) {
            const int count = std::min(4, 9 - first);
            TransformPixels({start.Row(first), ptrdiff_t(start.Stride()), 70, count},
                            BandDestination(to, o, 9, first, count), o);
        }
        EXPECT_EQ(Numbers(whole), Numbers(TransformRaster(start, o)));
    }
}

TEST(Orientation, OrientedJpegIsShownUprightAndDamagedTagsAsStored)
{
    // Taller than a decoding band and cut unevenly by it.
    const Raster photo = Photo(240, 150);
    const std::vector<uint8_t> plain = EncodeJpeg(photo);
    const Raster stored = DecodeJpeg(plain);
    const ShownSizeRule quarter = [](int width, int height) { return std::pair{width / 4, height / 4}; };

    for (const Orientation o : kAll) {
        SCOPED_TRACE(int(o));
        ExifFields fields;
        fields.orientation = int(o);
        const std::vector<uint8_t> file = WithSegments(plain, {{0xE1, ExifPayload(fields)}});
        const PreparedPicture prepared = PreparePicture(GraphicKind::Jpeg, file, quarter);
        const DisplaySource& source = *prepared.source;
        const Raster upright = TransformRaster(stored, o);
        EXPECT_EQ(source.Width(), upright.Width());
        EXPECT_EQ(source.Height(), upright.Height());
        // The reduced level is decoded small and then laid out upright.
        EXPECT_LT(MeanDifference(source.Level(2), RasterSource(upright).Level(2)), 2.0);
        // The whole picture, laid out band by band as it is decoded.
        EXPECT_EQ(MeanDifference(source.Whole(), upright), 0.0);
    }

    // Values outside 1 to 8, another type, more than one value: as stored.
    const std::vector<uint8_t> damaged[] = {ExifWithEntry(3, 1, 0), ExifWithEntry(3, 1, 9),
                                            ExifWithEntry(4, 1, 6), ExifWithEntry(3, 2, 6)};
    for (const auto& exif : damaged) {
        const std::vector<uint8_t> file = WithSegments(plain, {{0xE1, exif}});
        const PreparedPicture prepared = PreparePicture(GraphicKind::Jpeg, file, quarter);
        EXPECT_EQ(prepared.source->Width(), 240);
        EXPECT_EQ(MeanDifference(prepared.source->Whole(), stored), 0.0);
    }
}
