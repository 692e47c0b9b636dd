#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "base/Failure.h"
#include "byte_writer.h"
#include "imaging/codecs/BmpCodec.h"

namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kFields = 3, kAlphaFields = 6;

// The parts of a .bmp file; MakeBmp lays them out as Windows expects.
struct BmpParts {
    uint32_t headerSize = 40;
    int32_t width = 0;
    int32_t height = 0;   // negative: top-down
    uint16_t bits = 24;
    uint32_t compression = kRgb;
    uint32_t masks[4] = {};   // red, green, blue, alpha
    std::vector<PaletteEntry> palette;
    uint32_t clrUsed = 0;
    size_t gap = 0;           // unused bytes between colour table and pixels
    bool zeroOffBits = false;
    std::vector<uint8_t> pixels;
};

std::vector<uint8_t> MakeBmp(const BmpParts& p)
{
    const bool core = p.headerSize == 12;
    const size_t maskBytes = p.headerSize != 40 ? 0 : p.compression == kFields ? 12 : p.compression == kAlphaFields ? 16 : 0;
    const size_t offBits = 14 + p.headerSize + maskBytes + p.palette.size() * (core ? 3 : 4) + p.gap;
    ByteWriter w;
    w.U8('B').U8('M').U32(uint32_t(offBits + p.pixels.size())).U32(0).U32(p.zeroOffBits ? 0 : uint32_t(offBits));
    if (core) {
        w.U32(12).U16(uint32_t(p.width)).U16(uint32_t(p.height)).U16(1).U16(p.bits);
    } else {
        w.U32(p.headerSize).I32(p.width).I32(p.height).U16(1).U16(p.bits).U32(p.compression);
        w.U32(uint32_t(p.pixels.size())).U32(2835).U32(2835).U32(p.clrUsed).U32(0);
        if (p.headerSize >= 52 || maskBytes)
            w.U32(p.masks[0]).U32(p.masks[1]).U32(p.masks[2]);
        if (p.headerSize >= 56 || maskBytes == 16)
            w.U32(p.masks[3]);
        if (p.headerSize > 56)
            w.Zeros(p.headerSize - 56);
    }
    for (const PaletteEntry& e : p.palette) {
        w.U8(e.blue).U8(e.green).U8(e.red);
        if (!core)
            w.U8(0);
    }
    w.Zeros(p.gap);
    w.Append(p.pixels);
    return w.bytes;
}

unsigned IndexAt(const Raster& r, int x, int y)
{
    const uint8_t* row = r.Row(y);
    switch (r.Format()) {
    case PixelFormat::Bit1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case PixelFormat::Bit4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
    case PixelFormat::Bit8: return row[x];
    default: ADD_FAILURE() << "not indexed"; return 0;
    }
}

std::vector<PaletteEntry> TestPalette(int count)
{
    std::vector<PaletteEntry> pal;
    for (int i = 0; i < count; ++i)
        pal.push_back({uint8_t(i * 3 + 1), uint8_t(255 - i), uint8_t(i * 11), 0});
    return pal;
}

PaletteEntry Bgra(uint8_t b, uint8_t g, uint8_t r, uint8_t a = 255)
{
    return {b, g, r, a};
}

void ExpectInvalid(std::span<const uint8_t> file, const std::string& what)
{
    try {
        Raster r = DecodeBmp(file);
        ADD_FAILURE() << what << ": decoded as " << r.Width() << "x" << r.Height();
    } catch (const Failure& f) {
        EXPECT_EQ(f.Message(), L"Bitmap image is not valid") << what;
    }
}

// Decoding must either work or fail with the bitmap message; never anything else.
void ExpectNoCrash(std::span<const uint8_t> file)
{
    try {
        Raster r = DecodeBmp(file);
        if (!r.Empty())
            (void)r.PixelAt(r.Width() - 1, r.Height() - 1);
    } catch (const Failure& f) {
        EXPECT_EQ(f.Message(), L"Bitmap image is not valid");
    }
}

std::vector<uint8_t> Indexed8File()
{
    BmpParts p;
    p.width = 7;
    p.height = 3;
    p.bits = 8;
    p.palette = TestPalette(256);
    p.pixels = PackRows(7, 3, 8, false, [](int x, int y) { return uint32_t(x * 30 + y); });
    return MakeBmp(p);
}

std::vector<uint8_t> Rgb24File()
{
    BmpParts p;
    p.width = 5;
    p.height = 4;
    p.pixels = PackRows(5, 4, 24, false, [](int x, int y) { return uint32_t(x * 0x102030 + y * 0x050607); });
    return MakeBmp(p);
}

// RLE8, 6 × 4: run, odd absolute run (padded), end of line, delta, end of bitmap.
std::vector<uint8_t> Rle8Stream()
{
    return {3, 5,   0, 3, 1, 2, 3, 0,   0, 0,          // row 0: 5 5 5 1 2 3
            2, 7,   0, 2, 2, 1,   2, 9,   0, 0,        // row 1: 7 7, delta to row 2, x 4: 9 9
            0, 4, 4, 4, 6, 6,   0, 1};                 // row 3: 4 4 6 6
}

const unsigned kRle8Rows[4][6] = {{5, 5, 5, 1, 2, 3}, {7, 7, 0, 0, 0, 0}, {0, 0, 0, 0, 9, 9}, {4, 4, 6, 6, 0, 0}};

// RLE4, 7 × 3: nibble runs, absolute runs of 3 and 5 nibbles, delta.
std::vector<uint8_t> Rle4Stream()
{
    return {4, 0x12,   0, 3, 0x34, 0x50,   0, 0,                    // row 0: 1 2 1 2 3 4 5
            0, 5, 0x67, 0x89, 0xA0, 0,   0, 2, 0, 1,   2, 0xBC,     // row 1: 6 7 8 9 A, delta to row 2, x 5: B C
            0, 1};
}

const unsigned kRle4Rows[3][7] = {{1, 2, 1, 2, 3, 4, 5}, {6, 7, 8, 9, 10, 0, 0}, {0, 0, 0, 0, 0, 11, 12}};

std::vector<uint8_t> RleFile(bool rle8, std::vector<uint8_t> stream, bool topDown = false)
{
    BmpParts p;
    p.width = rle8 ? 6 : 7;
    p.height = (rle8 ? 4 : 3) * (topDown ? -1 : 1);
    p.bits = rle8 ? 8 : 4;
    p.compression = rle8 ? kRle8 : kRle4;
    p.palette = TestPalette(rle8 ? 256 : 16);
    p.pixels = std::move(stream);
    return MakeBmp(p);
}

}   // namespace

TEST(BmpDecode, IndexedFormatsInEveryHeaderKindAndRowOrder)
{
    for (int bits : {1, 4, 8}) {
        for (uint32_t header : {12u, 40u, 52u, 56u, 108u, 124u}) {
            for (bool topDown : {false, true}) {
                if (header == 12 && topDown)
                    continue;   // core headers have no sign
                SCOPED_TRACE("bits " + std::to_string(bits) + " header " + std::to_string(header) +
                             (topDown ? " top-down" : " bottom-up"));
                const int n = 1 << bits, w = 13, h = 5;
                auto value = [n](int x, int y) { return uint32_t((x * 7 + y * 3) % n); };
                BmpParts p;
                p.headerSize = header;
                p.width = w;
                p.height = topDown ? -h : h;
                p.bits = uint16_t(bits);
                p.palette = TestPalette(n);
                p.pixels = PackRows(w, h, bits, topDown, value);
                Raster r = DecodeBmp(MakeBmp(p));
                ASSERT_EQ(r.Width(), w);
                ASSERT_EQ(r.Height(), h);
                EXPECT_EQ(r.Format(), bits == 1 ? PixelFormat::Bit1 : bits == 4 ? PixelFormat::Bit4 : PixelFormat::Bit8);
                EXPECT_EQ(r.Palette(), p.palette);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        ASSERT_EQ(IndexAt(r, x, y), value(x, y)) << x << "," << y;
            }
        }
    }
}

TEST(BmpDecode, ShortColourTableLeavesHigherIndicesBlack)
{
    BmpParts p;
    p.width = 10;
    p.height = 2;
    p.bits = 8;
    p.clrUsed = 4;
    p.palette = TestPalette(4);
    p.pixels = PackRows(10, 2, 8, false, [](int x, int y) { return uint32_t(x + 200 * y); });
    Raster r = DecodeBmp(MakeBmp(p));
    for (int x = 0; x < 10; ++x) {
        PaletteEntry expected = x < 4 ? p.palette[size_t(x)] : PaletteEntry{};
        expected.reserved = 255;
        EXPECT_EQ(r.PixelAt(x, 0), expected) << x;
        EXPECT_EQ(r.PixelAt(x, 1), Bgra(0, 0, 0)) << x;   // indices 200.. are past the table
    }

    // A 4-bit core file whose pixels start after two colours reads only those two.
    BmpParts c;
    c.headerSize = 12;
    c.width = 3;
    c.height = 1;
    c.bits = 4;
    c.palette = TestPalette(2);
    c.pixels = {0x01, 0x20, 0, 0};
    Raster rc = DecodeBmp(MakeBmp(c));
    EXPECT_EQ(rc.PixelAt(0, 0), Bgra(1, 255, 0));
    EXPECT_EQ(rc.PixelAt(1, 0), Bgra(4, 254, 11));
    EXPECT_EQ(rc.PixelAt(2, 0), Bgra(0, 0, 0));
}

TEST(BmpDecode, TwentyFourBitsInEveryHeaderKindAndRowOrder)
{
    for (uint32_t header : {12u, 40u, 52u, 56u, 108u, 124u}) {
        for (bool topDown : {false, true}) {
            if (header == 12 && topDown)
                continue;
            SCOPED_TRACE("header " + std::to_string(header) + (topDown ? " top-down" : " bottom-up"));
            const int w = 5, h = 3;
            auto value = [](int x, int y) { return uint32_t(x * 40 | (y * 50) << 8 | ((x + y) * 9) << 16); };
            BmpParts p;
            p.headerSize = header;
            p.width = w;
            p.height = topDown ? -h : h;
            p.pixels = PackRows(w, h, 24, topDown, value);
            const std::vector<uint8_t> file = MakeBmp(p);
            Raster r = DecodeBmp(file);
            ASSERT_EQ(r.Format(), PixelFormat::Bit24);
            const BmpSize size = ReadBmpSize(file);
            EXPECT_EQ(size.width, w);
            EXPECT_EQ(size.height, h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(r.PixelAt(x, y), Bgra(uint8_t(x * 40), uint8_t(y * 50), uint8_t((x + y) * 9)));
        }
    }
}

// 16- and 32-bit layouts: 4 raw pixels in the top row, the same reversed in
// the bottom row, and the colours they must give.
struct FieldCase {
    const char* name;
    uint32_t headerSize;
    uint16_t bits;
    uint32_t compression;
    uint32_t masks[4];
    PixelFormat format;
    AlphaMode alpha;
    uint32_t raw[4];
    PaletteEntry expected[4];
};

TEST(BmpDecode, SixteenAndThirtyTwoBitLayouts)
{
    const FieldCase cases[] = {
        {"16 plain is 5-5-5", 40, 16, kRgb, {}, PixelFormat::Bit15, AlphaMode::None,
         {0x7C00, 0x03E0, 0x001F, 0x4210}, {Bgra(0, 0, 255), Bgra(0, 255, 0), Bgra(255, 0, 0), Bgra(132, 132, 132)}},
        {"16 fields 5-6-5", 40, 16, kFields, {0xF800, 0x07E0, 0x001F}, PixelFormat::Bit16, AlphaMode::None,
         {0xF800, 0x07E0, 0x001F, 0x8410}, {Bgra(0, 0, 255), Bgra(0, 255, 0), Bgra(255, 0, 0), Bgra(132, 130, 132)}},
        {"16 fields 5-6-5 in V4", 108, 16, kFields, {0xF800, 0x07E0, 0x001F}, PixelFormat::Bit16, AlphaMode::None,
         {0xF800, 0x07E0, 0x001F, 0x8410}, {Bgra(0, 0, 255), Bgra(0, 255, 0), Bgra(255, 0, 0), Bgra(132, 130, 132)}},
        {"16 fields 5-5-5 in V3", 56, 16, kFields, {0x7C00, 0x03E0, 0x001F}, PixelFormat::Bit15, AlphaMode::None,
         {0x7C00, 0x03E0, 0x001F, 0x4210}, {Bgra(0, 0, 255), Bgra(0, 255, 0), Bgra(255, 0, 0), Bgra(132, 132, 132)}},
        {"16 fields 4-4-4-4 with alpha", 124, 16, kFields, {0x0F00, 0x00F0, 0x000F, 0xF000}, PixelFormat::Bit32,
         AlphaMode::Straight, {0xFF00, 0x80F0, 0x000F, 0x1234},
         {Bgra(0, 0, 255, 255), Bgra(0, 255, 0, 136), Bgra(255, 0, 0, 0), Bgra(68, 51, 34, 17)}},
        {"16 fields 6-5-5", 40, 16, kFields, {0xFC00, 0x03E0, 0x001F}, PixelFormat::Bit24, AlphaMode::None,
         {0xFC00, 0x8000, 0x03E0, 0x0001}, {Bgra(0, 0, 255), Bgra(0, 0, 130), Bgra(0, 255, 0), Bgra(8, 0, 0)}},
        {"32 plain ignores the fourth byte", 40, 32, kRgb, {}, PixelFormat::Bit32, AlphaMode::None,
         {0x00112233, 0x80445566, 0xFFFFFFFF, 0x01000000},
         {Bgra(0x33, 0x22, 0x11), Bgra(0x66, 0x55, 0x44), Bgra(255, 255, 255), Bgra(0, 0, 0)}},
        {"32 plain V5 with alpha mask", 124, 32, kRgb, {0, 0, 0, 0xFF000000}, PixelFormat::Bit32,
         AlphaMode::Straight, {0x80112233, 0x00445566, 0xFFFFFFFF, 0x01000000},
         {Bgra(0x33, 0x22, 0x11, 0x80), Bgra(0x66, 0x55, 0x44, 0), Bgra(255, 255, 255, 255), Bgra(0, 0, 0, 1)}},
        {"32 fields V5 with alpha", 124, 32, kFields, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, PixelFormat::Bit32,
         AlphaMode::Straight, {0x80112233, 0x00445566, 0xFFFFFFFF, 0x01000000},
         {Bgra(0x33, 0x22, 0x11, 0x80), Bgra(0x66, 0x55, 0x44, 0), Bgra(255, 255, 255, 255), Bgra(0, 0, 0, 1)}},
        {"32 fields V5, alpha mask but all alpha zero", 124, 32, kFields, {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
         PixelFormat::Bit32, AlphaMode::None, {0x00112233, 0x00445566, 0x00FFFFFF, 0},
         {Bgra(0x33, 0x22, 0x11), Bgra(0x66, 0x55, 0x44), Bgra(255, 255, 255), Bgra(0, 0, 0)}},
        {"32 fields without alpha mask", 40, 32, kFields, {0xFF0000, 0xFF00, 0xFF}, PixelFormat::Bit32,
         AlphaMode::None, {0x80112233, 0x00445566, 0xFFFFFFFF, 0},
         {Bgra(0x33, 0x22, 0x11), Bgra(0x66, 0x55, 0x44), Bgra(255, 255, 255), Bgra(0, 0, 0)}},
        {"32 alpha fields after info header", 40, 32, kAlphaFields, {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
         PixelFormat::Bit32, AlphaMode::Straight, {0x80112233, 0x00445566, 0xFFFFFFFF, 0x01000000},
         {Bgra(0x33, 0x22, 0x11, 0x80), Bgra(0x66, 0x55, 0x44, 0), Bgra(255, 255, 255, 255), Bgra(0, 0, 0, 1)}},
        {"32 fields RGBA byte order", 108, 32, kFields, {0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF},
         PixelFormat::Bit32, AlphaMode::Straight, {0x112233F0, 0x44556600, 0xFFFFFFFF, 0},
         {Bgra(0x33, 0x22, 0x11, 0xF0), Bgra(0x66, 0x55, 0x44, 0), Bgra(255, 255, 255, 255), Bgra(0, 0, 0, 0)}},
        {"32 fields 10-10-10", 40, 32, kFields, {0x3FF00000, 0x000FFC00, 0x000003FF}, PixelFormat::Bit24,
         AlphaMode::None, {0x3FF00000, 0x000FFC00, 0x00000200, 0xC0000000},
         {Bgra(0, 0, 255), Bgra(0, 255, 0), Bgra(128, 0, 0), Bgra(0, 0, 0)}},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        BmpParts p;
        p.headerSize = c.headerSize;
        p.width = 4;
        p.height = 2;
        p.bits = c.bits;
        p.compression = c.compression;
        std::copy(std::begin(c.masks), std::end(c.masks), p.masks);
        p.pixels = PackRows(4, 2, c.bits, false, [&](int x, int y) { return c.raw[y == 0 ? x : 3 - x]; });
        Raster r = DecodeBmp(MakeBmp(p));
        ASSERT_EQ(r.Format(), c.format);
        EXPECT_EQ(r.Alpha(), c.alpha);
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(r.PixelAt(x, 0), c.expected[x]) << "top " << x;
            EXPECT_EQ(r.PixelAt(3 - x, 1), c.expected[x]) << "bottom " << x;
        }
    }
}

TEST(BmpDecode, RunLengthEncodedBothRowOrders)
{
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
        const std::vector<uint8_t> file8 = RleFile(true, Rle8Stream(), topDown);
        Raster r8 = DecodeBmp(file8);
        ASSERT_EQ(r8.Format(), PixelFormat::Bit8);
        // The size without decoding the runs.
        EXPECT_EQ(ReadBmpSize(file8).width, 6);
        EXPECT_EQ(ReadBmpSize(file8).height, 4);
        EXPECT_EQ(r8.Palette(), TestPalette(256));
        for (int row = 0; row < 4; ++row)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(IndexAt(r8, x, topDown ? row : 3 - row), kRle8Rows[row][x]) << "RLE8 " << x << "," << row;

        Raster r4 = DecodeBmp(RleFile(false, Rle4Stream(), topDown));
        ASSERT_EQ(r4.Format(), PixelFormat::Bit4);
        for (int row = 0; row < 3; ++row)
            for (int x = 0; x < 7; ++x)
                EXPECT_EQ(IndexAt(r4, x, topDown ? row : 2 - row), kRle4Rows[row][x]) << "RLE4 " << x << "," << row;
    }
}

TEST(BmpDecode, PixelOffsetFromFileHeader)
{
    BmpParts p;
    p.width = 2;
    p.height = 1;
    p.bits = 8;
    p.clrUsed = 2;
    p.palette = TestPalette(2);
    p.pixels = {1, 0, 0, 0};
    p.gap = 10;   // pixels start where bfOffBits says, not right after the table
    Raster r = DecodeBmp(MakeBmp(p));
    EXPECT_EQ(IndexAt(r, 0, 0), 1u);
    EXPECT_EQ(IndexAt(r, 1, 0), 0u);

    p.gap = 0;
    p.zeroOffBits = true;   // no offset at all: right after the colour table
    r = DecodeBmp(MakeBmp(p));
    EXPECT_EQ(IndexAt(r, 0, 0), 1u);
}

TEST(BmpRoundTrip, EveryPixelFormatKeepsItsPixels)
{
    const PixelFormat formats[] = {PixelFormat::Device, PixelFormat::Bit1,  PixelFormat::Bit4,  PixelFormat::Bit8,
                                   PixelFormat::Bit15,  PixelFormat::Bit16, PixelFormat::Bit24, PixelFormat::Bit32};
    for (PixelFormat format : formats) {
        SCOPED_TRACE(int(format));
        const int w = 13, h = 7;
        Raster src(w, h, format);
        const size_t rowBytes = (size_t(w) * size_t(src.Bits()) + 7) / 8;
        for (int y = 0; y < h; ++y) {
            uint8_t* row = src.MutableRow(y);
            for (size_t i = 0; i < rowBytes; ++i)
                row[i] = uint8_t(i * 37 + size_t(y) * 101 + 5);
        }
        if (IsIndexed(format))
            src.SetPalette(TestPalette(1 << src.Bits()));

        std::vector<uint8_t> file = EncodeBmp(src);
        ASSERT_GE(file.size(), 54u);
        EXPECT_EQ(file[14], 40);                               // info header
        EXPECT_EQ(file[25] & 0x80, 0);                          // positive height: bottom-up
        EXPECT_EQ(file[28], src.Bits());
        EXPECT_EQ(file[30], format == PixelFormat::Bit16 ? kFields : kRgb);

        Raster back = DecodeBmp(file);
        ASSERT_EQ(back.Width(), w);
        ASSERT_EQ(back.Height(), h);
        EXPECT_EQ(back.Format(), format == PixelFormat::Device ? PixelFormat::Bit32 : format);
        EXPECT_EQ(back.Palette(), src.Palette());
        for (int y = 0; y < h; ++y)
            ASSERT_EQ(0, std::memcmp(back.Row(y), src.Row(y), rowBytes)) << "row " << y;
    }
    EXPECT_THROW(EncodeBmp(Raster()), Failure);
}

TEST(BmpDecode, LibjpegTestImages)
{
    struct Expect {
        const char* name;
        int width, height;
    };
    for (Expect e : {Expect{"nightshot_iso_100.bmp", 192, 144}, Expect{"vgl_5674_0098.bmp", 120, 96},
                     Expect{"vgl_6434_0018a.bmp", 119, 96}, Expect{"vgl_6548_0026a.bmp", 128, 95}}) {
        SCOPED_TRACE(e.name);
        std::ifstream in(std::string(PIXAVO_JPEG_SRC) + "/testimages/" + e.name, std::ios::binary);
        ASSERT_TRUE(in) << "missing test image";
        std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Raster r = DecodeBmp(file);
        EXPECT_EQ(r.Width(), e.width);
        EXPECT_EQ(r.Height(), e.height);
        EXPECT_EQ(r.Format(), PixelFormat::Bit24);
        // Bottom-up: the first stored pixel is the bottom-left one.
        EXPECT_EQ(r.PixelAt(0, e.height - 1), Bgra(file[54], file[55], file[56]));
    }
}

TEST(BmpDecode, SampleFilesInTestData)
{
    for (const char* name : {"sample-8bit.bmp", "sample-24bit.bmp", "sample-rle8.bmp"}) {
        SCOPED_TRACE(name);
        std::ifstream in(std::string(PIXAVO_TEST_DATA) + "/" + name, std::ios::binary);
        ASSERT_TRUE(in);
        std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Raster r = DecodeBmp(file);
        EXPECT_EQ(r.Width(), 40);
        EXPECT_EQ(r.Height(), 30);
        // Every sample has a red top-left and a blue bottom-right corner.
        EXPECT_EQ(r.PixelAt(0, 0), Bgra(0, 0, 255));
        EXPECT_EQ(r.PixelAt(39, 29), Bgra(255, 0, 0));
    }
    // The run-length sample holds the same pixels as the plain 8-bit one.
    auto read = [](const char* name) {
        std::ifstream in(std::string(PIXAVO_TEST_DATA) + "/" + name, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    Raster plain = DecodeBmp(read("sample-8bit.bmp"));
    Raster rle = DecodeBmp(read("sample-rle8.bmp"));
    ASSERT_EQ(rle.Format(), PixelFormat::Bit8);
    EXPECT_EQ(rle.Palette(), plain.Palette());
    for (int y = 0; y < 30; ++y)
        ASSERT_EQ(0, std::memcmp(rle.Row(y), plain.Row(y), 40)) << "row " << y;
}

TEST(BmpCorrupt, TruncatedFilesFail)
{
    std::vector<std::vector<uint8_t>> files = {Indexed8File(), Rgb24File(), RleFile(true, Rle8Stream()),
                                               RleFile(false, Rle4Stream())};
    BmpParts core;
    core.headerSize = 12;
    core.width = 9;
    core.height = 2;
    core.bits = 1;
    core.palette = TestPalette(2);
    core.pixels = PackRows(9, 2, 1, false, [](int x, int y) { return uint32_t((x + y) & 1); });
    files.push_back(MakeBmp(core));
    BmpParts v5;
    v5.headerSize = 124;
    v5.width = 3;
    v5.height = -2;
    v5.bits = 32;
    v5.compression = kFields;
    v5.masks[0] = 0xFF0000, v5.masks[1] = 0xFF00, v5.masks[2] = 0xFF, v5.masks[3] = 0xFF000000;
    v5.pixels = PackRows(3, 2, 32, true, [](int x, int y) { return uint32_t(x * 0x11223344 + y); });
    files.push_back(MakeBmp(v5));

    for (size_t f = 0; f < files.size(); ++f) {
        const std::vector<uint8_t>& file = files[f];
        ASSERT_NO_THROW(DecodeBmp(file)) << "file " << f;
        for (size_t len = 0; len < file.size(); ++len) {
            std::vector<uint8_t> cut(file.begin(), file.begin() + std::ptrdiff_t(len));
            if (len + 3 < file.size())
                ExpectInvalid(cut, "file " + std::to_string(f) + " cut at " + std::to_string(len));
            else
                ExpectNoCrash(cut);   // only the last row's padding is missing
        }
    }
}

TEST(BmpCorrupt, BrokenHeaderFieldsFail)
{
    struct Flip {
        const char* what;
        bool rgb24;        // else the 8-bit file
        size_t offset;
        uint32_t value;
        int bytes;
    };
    const Flip flips[] = {
        {"signature", true, 0, 'B' | 'A' << 8, 2},
        {"zero width", true, 18, 0, 4},
        {"negative width", true, 18, uint32_t(-5), 4},
        {"huge width", true, 18, 0x7FFFFFFF, 4},
        {"width over the dimension limit", true, 18, 70000, 4},
        {"zero height", true, 22, 0, 4},
        {"most negative height", true, 22, 0x80000000, 4},
        {"huge height", true, 22, 0x7FFFFFFF, 4},
        {"pixel offset past the end", true, 10, 0xFFFFFFFF, 4},
        {"pixel offset inside the header", true, 10, 20, 4},
        {"header size zero", true, 14, 0, 4},
        {"header size 20", true, 14, 20, 4},
        {"header size 64", true, 14, 64, 4},
        {"header size huge", true, 14, 0xFFFFFFFF, 4},
        {"bit count 0", true, 28, 0, 2},
        {"bit count 2", true, 28, 2, 2},
        {"bit count 64", true, 28, 64, 2},
        {"compression JPEG", true, 30, 4, 4},
        {"compression PNG", true, 30, 5, 4},
        {"compression unknown", true, 30, 0xFFFFFFFF, 4},
        {"RLE8 on 24 bits", true, 30, kRle8, 4},
        {"bit fields on 24 bits", true, 30, kFields, 4},
        {"RLE4 on 8 bits", false, 30, kRle4, 4},
        {"palette count huge", false, 46, 0x40000000, 4},
        {"palette count 257", false, 46, 257, 4},
        {"more rows than data", false, 22, 4, 4},
        {"wider than data", false, 18, 9, 4},
    };
    for (const Flip& f : flips) {
        std::vector<uint8_t> file = f.rgb24 ? Rgb24File() : Indexed8File();
        if (f.bytes == 2)
            PutU16(file, f.offset, f.value);
        else
            PutU32(file, f.offset, f.value);
        ExpectInvalid(file, f.what);
    }

    // Sizes inside the limits but far beyond the data fail before any allocation.
    std::vector<uint8_t> big = Rgb24File();
    PutU32(big, 18, 15000);
    PutU32(big, 22, 15000);
    ExpectInvalid(big, "15000 x 15000 in a few bytes");
    PutU32(big, 18, 60000);
    PutU32(big, 22, 60000);
    ExpectInvalid(big, "more pixels than the limit");
}

TEST(BmpCorrupt, RunLengthCodesLeavingTheBitmapFail)
{
    struct Bad {
        const char* what;
        bool rle8;
        std::vector<uint8_t> stream;
    };
    const Bad bad[] = {
        {"run past the row end", true, {7, 1, 0, 1}},
        {"absolute run past the row end", true, {2, 1, 0, 5, 1, 2, 3, 4, 5, 0, 0, 1}},
        {"delta past the right edge", true, {0, 2, 7, 0, 0, 1}},
        {"delta past the last row", true, {0, 2, 0, 5, 0, 1}},
        {"pixels after the last row", true, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1}},
        {"no end of bitmap", true, {3, 5, 0, 0}},
        {"absolute run cut short", true, {0, 5, 1, 2}},
        {"delta cut short", true, {0, 2, 1}},
        {"empty stream", true, {}},
        {"RLE4 run past the row end", false, {8, 0x11, 0, 1}},
        {"RLE4 absolute run past the row end", false, {4, 0x11, 0, 4, 0x12, 0x34, 0, 1}},
    };
    for (const Bad& b : bad)
        ExpectInvalid(RleFile(b.rle8, b.stream), b.what);
}

TEST(BmpCorrupt, MutatedBytesNeverCrash)
{
    std::vector<std::vector<uint8_t>> files = {Indexed8File(), Rgb24File(), RleFile(true, Rle8Stream()),
                                               RleFile(false, Rle4Stream())};
    // Keep the 8-bit file short: only its header and part of the table matter.
    for (const std::vector<uint8_t>& file : files) {
        const size_t span = std::min<size_t>(file.size(), 120);
        for (size_t i = 0; i < span; ++i) {
            for (uint8_t v : {uint8_t(0), uint8_t(0xFF), uint8_t(file[i] ^ 0x80), uint8_t(file[i] + 1)}) {
                std::vector<uint8_t> m = file;
                m[i] = v;
                ExpectNoCrash(m);
                ExpectNoCrash(std::span<const uint8_t>(m).subspan(0, m.size() / 2));
                try {
                    (void)DecodeDib(std::span<const uint8_t>(m).subspan(14), i % 2 == 0);
                } catch (const Failure& f) {
                    EXPECT_EQ(f.Message(), L"Bitmap image is not valid");
                }
            }
        }
    }
}

TEST(BmpDecode, PackedDibWithIconHeight)
{
    // A packed DIB as in an icon: the header's height counts colour and mask rows.
    std::vector<uint8_t> file = Rgb24File();
    std::vector<uint8_t> dib(file.begin() + 14, file.end());
    PutU32(dib, 8, 8);   // 4 colour rows + 4 mask rows
    dib.resize(dib.size() + 4 * 4, 0);
    DibFacts facts;
    Raster r = DecodeDib(dib, true, facts);
    EXPECT_EQ(r.Height(), 4);
    EXPECT_EQ(facts.bitCount, 24);
    EXPECT_FALSE(facts.topDown);
    EXPECT_EQ(facts.pixelEnd, 40u + 4 * 16);
    Raster plain = DecodeBmp(file);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(r.PixelAt(x, y), plain.PixelAt(x, y));
}
