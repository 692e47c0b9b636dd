#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "imaging/pixels/Transform.h"

namespace {

using Mode = TransformMode;
constexpr Mode kModes[] = {Mode::RotateClockwise, Mode::Rotate180, Mode::RotateCounterClockwise,
                           Mode::FlipHorizontal, Mode::FlipVertical};

// Pixel number n (1 to 255) as three distinct bytes.
void PutPixel(uint8_t* at, int n)
{
    at[0] = uint8_t(n);
    at[1] = uint8_t(n + 100);
    at[2] = uint8_t(255 - n);
}

int PixelNumber(const uint8_t* at)
{
    const int n = at[0];
    return at[1] == uint8_t(n + 100) && at[2] == uint8_t(255 - n) ? n : -1;
}

// 24-bit rows in a buffer of their own, stored top-down or bottom-up, with
// padding bytes between rows that must stay untouched.
struct Rows {
    int width, height;
    bool bottomUp;
    size_t stride;
    std::vector<uint8_t> bytes;

    Rows(int w, int h, bool up) : width(w), height(h), bottomUp(up), stride(3 * size_t(w) + 5),
                                  bytes(stride * size_t(h), 0xEE) {}
    ptrdiff_t Stride() const { return bottomUp ? -ptrdiff_t(stride) : ptrdiff_t(stride); }
    size_t Offset(int y) const { return (bottomUp ? size_t(height - 1 - y) : size_t(y)) * stride; }
    ConstPixelRows View() const { return {bytes.data() + Offset(0), Stride(), width, height}; }
    PixelRows MutableView() { return {bytes.data() + Offset(0), Stride(), width, height}; }
    uint8_t* At(int x, int y) { return bytes.data() + Offset(y) + 3 * size_t(x); }
    // Row by row, the pixel numbers.
    std::vector<std::vector<int>> Numbers()
    {
        std::vector<std::vector<int>> out(size_t(height), std::vector<int>(size_t(width), 0));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                out[size_t(y)][size_t(x)] = PixelNumber(At(x, y));
        return out;
    }
    bool PaddingUntouched() const
    {
        for (int y = 0; y < height; ++y)
            for (size_t i = 3 * size_t(width); i < stride; ++i)
                if (bytes[size_t(y) * stride + i] != 0xEE)
                    return false;
        return true;
    }
};

Rows Numbered(int w, int h, bool bottomUp)
{
    Rows rows(w, h, bottomUp);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            PutPixel(rows.At(x, y), (y * w + x) % 250 + 1);
    return rows;
}

Rows Transformed(const Rows& source, Mode mode, bool bottomUp)
{
    const bool swap = SwapsSides(mode);
    Rows out(swap ? source.height : source.width, swap ? source.width : source.height, bottomUp);
    TransformPixels(source.View(), out.MutableView(), mode);
    return out;
}

// Where source row y, column x of a W × H image goes: {row, column}.
std::pair<int, int> Destination(Mode mode, int x, int y, int W, int H)
{
    switch (mode) {
    case Mode::RotateClockwise: return {x, H - 1 - y};
    case Mode::Rotate180: return {H - 1 - y, W - 1 - x};
    case Mode::RotateCounterClockwise: return {W - 1 - x, y};
    case Mode::FlipHorizontal: return {y, W - 1 - x};
    case Mode::FlipVertical: return {H - 1 - y, x};
    }
    return {-1, -1};
}

Raster RasterOf(int w, int h)
{
    Raster raster(w, h, PixelFormat::Bit24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            PutPixel(raster.MutableRow(y) + 3 * x, y * w + x + 1);
    return raster;
}

} // namespace

TEST(Transform, ThreeByTwoTableInBothRowOrders)
{
    // Top row p1 p2 p3, bottom row p4 p5 p6.
    struct Case {
        Mode mode;
        std::vector<std::vector<int>> expected;
    };
    const Case cases[] = {
        {Mode::RotateClockwise, {{4, 1}, {5, 2}, {6, 3}}},
        {Mode::Rotate180, {{6, 5, 4}, {3, 2, 1}}},
        {Mode::RotateCounterClockwise, {{3, 6}, {2, 5}, {1, 4}}},
        {Mode::FlipHorizontal, {{3, 2, 1}, {6, 5, 4}}},
        {Mode::FlipVertical, {{4, 5, 6}, {1, 2, 3}}},
    };
    for (const Case& c : cases)
        for (bool sourceUp : {false, true})
            for (bool destUp : {false, true}) {
                SCOPED_TRACE(testing::Message() << "mode " << int(c.mode) << (sourceUp ? " from bottom-up" : "")
                                                << (destUp ? " to bottom-up" : ""));
                const Rows source = Numbered(3, 2, sourceUp);
                Rows out = Transformed(source, c.mode, destUp);
                EXPECT_EQ(out.Numbers(), c.expected);
                EXPECT_TRUE(out.PaddingUntouched());
            }
}

TEST(Transform, EachExifOrientationLaysOutPixelsAsItSaysAndTheyCompose)
{
    // Top row 1 2 3, bottom row 4 5 6 as stored: what shows them upright.
    const std::vector<std::vector<int>> expected[] = {
        {{1, 2, 3}, {4, 5, 6}}, {{3, 2, 1}, {6, 5, 4}}, {{6, 5, 4}, {3, 2, 1}}, {{4, 5, 6}, {1, 2, 3}},
        {{1, 4}, {2, 5}, {3, 6}}, {{4, 1}, {5, 2}, {6, 3}}, {{6, 3}, {5, 2}, {4, 1}}, {{3, 6}, {2, 5}, {1, 4}},
    };
    auto transformed = [](const Rows& source, Orientation o) {
        const bool swap = SwapsSides(o);
        Rows out(swap ? source.height : source.width, swap ? source.width : source.height, false);
        TransformPixels(source.View(), out.MutableView(), o);
        return out;
    };
    for (int value = 1; value <= 8; ++value) {
        SCOPED_TRACE(value);
        const Orientation o = OrientationFromExif(value).value();
        EXPECT_EQ(transformed(Numbered(3, 2, true), o).Numbers(), expected[value - 1]);

        // Any two in turn are what Then names, across the kernels' blocks.
        const Rows start = Numbered(70, 9, false);
        for (int second = 1; second <= 8; ++second) {
            const Orientation b = Orientation(second);
            EXPECT_EQ(transformed(transformed(start, o), b).Numbers(), transformed(start, Then(o, b)).Numbers());
        }
        EXPECT_EQ(Then(o, Inverse(o)), Orientation::Identity);

        // Laid out in bands of 4 rows as a decoder gives them, the same.
        Rows banded(SwapsSides(o) ? 9 : 70, SwapsSides(o) ? 70 : 9, false);
        for (int first = 0; first < 9; first += 4) {
            const int count = std::min(4, 9 - first);
            const ConstPixelRows band{start.View().Row(first), start.View().stride, 70, count};
            TransformPixels(band, BandDestination(banded.MutableView(), o, 9, first, count), o);
        }
        EXPECT_EQ(banded.Numbers(), transformed(start, o).Numbers());
    }
    EXPECT_FALSE(OrientationFromExif(0));
    EXPECT_FALSE(OrientationFromExif(9));
}

TEST(Transform, EveryModeMovesEveryPixelAcrossBlockEdges)
{
    // Sizes that cut the blocks unevenly, and thin ones.
    const std::pair<int, int> sizes[] = {{1, 1}, {5, 1}, {1, 5}, {131, 70}, {64, 64}, {65, 129}, {200, 3}, {17, 33}};
    for (auto [W, H] : sizes)
        for (Mode mode : kModes)
            for (bool up : {false, true}) {
                SCOPED_TRACE(testing::Message() << W << "x" << H << " mode " << int(mode) << (up ? " bottom-up" : ""));
                const Rows source = Numbered(W, H, up);
                Rows out = Transformed(source, mode, !up);
                const bool swap = SwapsSides(mode);
                ASSERT_EQ(out.width, swap ? H : W);
                ASSERT_EQ(out.height, swap ? W : H);
                int wrong = 0;
                Rows copy = source;
                for (int y = 0; y < H; ++y)
                    for (int x = 0; x < W; ++x) {
                        auto [row, column] = Destination(mode, x, y, W, H);
                        wrong += PixelNumber(out.At(column, row)) != PixelNumber(copy.At(x, y));
                    }
                EXPECT_EQ(wrong, 0);
                EXPECT_TRUE(out.PaddingUntouched());
            }
}

TEST(Transform, TurnsAndFlipsGiveTheStartBack)
{
    const Raster start = RasterOf(37, 23);
    const std::vector<std::vector<Mode>> identities = {
        {Mode::RotateClockwise, Mode::RotateClockwise, Mode::RotateClockwise, Mode::RotateClockwise},
        {Mode::FlipHorizontal, Mode::FlipHorizontal},
        {Mode::FlipVertical, Mode::FlipVertical},
        {Mode::Rotate180, Mode::Rotate180},
        {Mode::RotateClockwise, Mode::RotateCounterClockwise},
        {Mode::FlipHorizontal, Mode::FlipVertical, Mode::Rotate180},
    };
    for (const auto& steps : identities) {
        Raster r = start;
        for (Mode m : steps)
            r = TransformRaster(r, m);
        ASSERT_EQ(r.Width(), start.Width());
        ASSERT_EQ(r.Height(), start.Height());
        for (int y = 0; y < r.Height(); ++y)
            ASSERT_EQ(0, std::memcmp(r.Row(y), start.Row(y), 3 * size_t(r.Width()))) << "row " << y;
    }
    // A 1 × 1 image comes back unchanged from every mode; 5 × 1 turns into 1 × 5.
    for (Mode m : kModes) {
        Raster one = TransformRaster(RasterOf(1, 1), m);
        ASSERT_EQ(one.Width(), 1);
        EXPECT_EQ(PixelNumber(one.Row(0)), 1);
    }
    Raster tall = TransformRaster(RasterOf(5, 1), Mode::RotateClockwise);
    EXPECT_EQ(tall.Width(), 1);
    EXPECT_EQ(tall.Height(), 5);
    EXPECT_EQ(PixelNumber(tall.Row(4)), 5);
}

TEST(Transform, OtherFormatsAreTurnedAs24Bit)
{
    Raster grey(2, 1, PixelFormat::Bit8);
    grey.SetPalette({{10, 10, 10, 0}, {200, 200, 200, 0}});
    grey.MutableRow(0)[0] = 0;
    grey.MutableRow(0)[1] = 1;
    Raster turned = TransformRaster(grey, Mode::RotateClockwise);
    EXPECT_EQ(turned.Format(), PixelFormat::Bit24);
    EXPECT_EQ(turned.PixelAt(0, 0), (PaletteEntry{10, 10, 10, 255}));
    EXPECT_EQ(turned.PixelAt(0, 1), (PaletteEntry{200, 200, 200, 255}));
}

TEST(Transform, MismatchedDestinationIsRefused)
{
    const Rows source = Numbered(3, 2, false);
    Rows same(3, 2, false);
    EXPECT_THROW(TransformPixels(source.View(), same.MutableView(), Mode::RotateClockwise), Failure);
    Rows turned(2, 3, false);
    EXPECT_THROW(TransformPixels(source.View(), turned.MutableView(), Mode::FlipVertical), Failure);
}

TEST(Resize, NearestNeighbourRepeatsAndDropsPixels)
{
    // 100 × 50 to 200 × 200: every source pixel becomes a 2 × 4 block.
    const Raster source = RasterOf(100, 50);
    Raster big = ResizeNearest(source, 200, 200);
    ASSERT_EQ(big.Width(), 200);
    ASSERT_EQ(big.Height(), 200);
    int wrong = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            wrong += std::memcmp(big.Row(y) + 3 * x, source.Row(y / 4) + 3 * (x / 2), 3) != 0;
    EXPECT_EQ(wrong, 0);

    // Shrinking takes the pixel under each target centre, unblended.
    Raster small = ResizeNearest(source, 3, 2);
    const int columns[] = {16, 50, 83}, rows[] = {12, 37};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(0, std::memcmp(small.Row(y) + 3 * x, source.Row(rows[y]) + 3 * columns[x], 3)) << x << "," << y;

    for (auto [w, h] : {std::pair{0, 50}, {50, 0}, {-1, 5}}) {
        try {
            ResizeNearest(source, w, h);
            ADD_FAILURE() << w << "x" << h << " was accepted";
        } catch (const Failure& f) {
            EXPECT_EQ(f.Message(), L"Invalid Image Size Constraints");
        }
    }
}

TEST(Transform, PixelsOfAnySizeMoveAsTheTurningAndResizingKernelsMoveThem)
{
    // The kernels' own moves, read from pictures whose pixels are their
    // numbers: destination pixel → the source pixel it came from.
    const int W = 13, H = 7;
    auto origins = [](const Raster& moved) {
        std::vector<int> from;
        for (int y = 0; y < moved.Height(); ++y)
            for (int x = 0; x < moved.Width(); ++x)
                from.push_back(PixelNumber(moved.Row(y) + 3 * x) - 1);
        return from;
    };
    const Raster numbered = RasterOf(W, H);   // numbers 1 to 91
    for (int bits : {1, 2, 4, 8, 16, 24, 32, 48}) {
        SCOPED_TRACE(bits);
        // Rows of odd length, so that pixels of fewer than 8 bits straddle
        // bytes and every row ends part-way through one.
        const size_t stride = (size_t(W) * size_t(bits) + 7) / 8 + 1;
        std::vector<uint8_t> source(stride * H);
        for (size_t i = 0; i < source.size(); ++i)
            source[i] = uint8_t(i * 37 + 11);
        auto value = [&](const std::vector<uint8_t>& rows, size_t rowStride, int width, int index) {
            const int x = index % width, y = index / width;
            uint64_t v = 0;
            for (int b = 0; b < bits; ++b) {
                const size_t bit = size_t(x) * size_t(bits) + size_t(b);
                v = v << 1 | ((rows[size_t(y) * rowStride + bit / 8] >> (7 - bit % 8)) & 1);
            }
            return v;
        };
        auto check = [&](const std::vector<int>& from, int width, int height, auto move) {
            const size_t outStride = (size_t(width) * size_t(bits) + 7) / 8;
            std::vector<uint8_t> out(outStride * size_t(height));
            move(MutableSampleRows{out.data(), outStride, width, height, bits});
            int wrong = 0;
            for (int i = 0; i < width * height; ++i)
                wrong += value(out, outStride, width, i) != value(source, stride, W, from[size_t(i)]);
            return wrong;
        };
        const SampleRows rows{source.data(), stride, W, H, bits};
        for (int o = 1; o <= 8; ++o) {
            const Orientation orientation = Orientation(o);
            const Raster moved = TransformRaster(numbered, orientation);
            EXPECT_EQ(check(origins(moved), moved.Width(), moved.Height(),
                            [&](const MutableSampleRows& out) { TransformSamples(rows, out, orientation); }),
                      0)
                << "orientation " << o;
        }
        for (auto [w, h] : {std::pair{5, 3}, {29, 16}, {13, 1}}) {
            const Raster resized = ResizeNearest(numbered, w, h);
            EXPECT_EQ(check(origins(resized), w, h, [&](const MutableSampleRows& out) { ResizeSamples(rows, out); }), 0)
                << w << "x" << h;
        }
    }
}
