#include <gtest/gtest.h>

#include <zlib.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "base/Failure.h"
#include "byte_writer.h"
#include "imaging/codecs/IconCodec.h"

namespace {

struct IcoImage {
    uint8_t dirWidth = 0, dirHeight = 0;   // 0 means 256
    uint16_t dirBits = 0;                  // what the directory claims; readers must not trust it
    std::vector<uint8_t> data;
};

std::vector<uint8_t> MakeIco(const std::vector<IcoImage>& images)
{
    ByteWriter w;
    w.U16(0).U16(1).U16(uint32_t(images.size()));
    size_t offset = 6 + 16 * images.size();
    for (const IcoImage& im : images) {
        w.U8(im.dirWidth).U8(im.dirHeight).U8(0).U8(0).U16(1).U16(im.dirBits);
        w.U32(uint32_t(im.data.size())).U32(uint32_t(offset));
        offset += im.data.size();
    }
    for (const IcoImage& im : images)
        w.Append(im.data);
    return w.bytes;
}

std::vector<PaletteEntry> IconPalette(int count)
{
    std::vector<PaletteEntry> pal;
    for (int i = 0; i < count; ++i)
        pal.push_back({uint8_t(i * 5 + 2), uint8_t(i * 13), uint8_t(250 - i), 0});
    return pal;
}

using PixelFn = std::function<uint32_t(int, int)>;
using MaskFn = std::function<bool(int, int)>;

// A DIB icon image: info header with doubled height, colour table, colour rows, AND mask.
std::vector<uint8_t> DibImage(int w, int h, int bits, const PixelFn& colour, const MaskFn& transparent,
                              bool withMask = true)
{
    ByteWriter b;
    b.U32(40).I32(w).I32(2 * h).U16(1).U16(uint32_t(bits)).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
    if (bits <= 8) {
        for (const PaletteEntry& e : IconPalette(1 << bits))
            b.U8(e.blue).U8(e.green).U8(e.red).U8(0);
    }
    b.Append(PackRows(w, h, bits, false, colour));
    if (withMask)
        b.Append(PackRows(w, h, 1, false, [&](int x, int y) { return transparent(x, y) ? 1u : 0u; }));
    return b.bytes;
}

void Chunk(ByteWriter& w, const char* type, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    const uint32_t n = uint32_t(data.size());
    w.U8(n >> 24).U8(n >> 16).U8(n >> 8).U8(n);
    w.Append(body);
    const uint32_t crc = uint32_t(crc32(0, body.data(), uInt(body.size())));
    w.U8(crc >> 24).U8(crc >> 16).U8(crc >> 8).U8(crc);
}

// An 8-bit PNG of the given colour type (0 grey, 2 RGB, 6 RGBA), samples from sample(x, y, channel).
std::vector<uint8_t> MakePng(int w, int h, int colourType, const std::function<uint8_t(int, int, int)>& sample)
{
    const int channels = colourType == 0 ? 1 : colourType == 2 ? 3 : 4;
    std::vector<uint8_t> raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);   // filter: none
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                raw.push_back(sample(x, y, c));
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    compress(packed.data(), &packedSize, raw.data(), uLong(raw.size()));
    packed.resize(packedSize);

    ByteWriter out;
    for (int c : {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A})   // \x89 P N G ...
        out.U8(c);
    ByteWriter ihdr;
    ihdr.U8(0).U8(0).U8(0).U8(uint32_t(w)).U8(0).U8(0).U8(0).U8(uint32_t(h));
    ihdr.U8(8).U8(uint32_t(colourType)).U8(0).U8(0).U8(0);
    Chunk(out, "IHDR", ihdr.bytes);
    Chunk(out, "IDAT", packed);
    Chunk(out, "IEND", {});
    return out.bytes;
}

Raster DecodeEntry(const std::vector<uint8_t>& file, size_t index)
{
    IconDirectory dir = ParseIcon(file);
    return DecodeIconEntry(file, dir.entries.at(index));
}

void ExpectInvalidIcon(const std::vector<uint8_t>& file, const std::string& what)
{
    try {
        IconDirectory dir = ParseIcon(file);
        for (const IconEntry& e : dir.entries)
            (void)DecodeIconEntry(file, e);
        ADD_FAILURE() << what << ": accepted";
    } catch (const Failure& f) {
        EXPECT_EQ(f.Message(), L"Icon image is not valid") << what;
    }
}

void ExpectIconNoCrash(const std::vector<uint8_t>& file)
{
    try {
        IconDirectory dir = ParseIcon(file);
        for (const IconEntry& e : dir.entries) {
            Raster r = DecodeIconEntry(file, e);
            EXPECT_EQ(r.Format(), PixelFormat::Bit32);
        }
    } catch (const Failure& f) {
        EXPECT_EQ(f.Message(), L"Icon image is not valid");
    }
}

PaletteEntry Bgra(uint8_t b, uint8_t g, uint8_t r, uint8_t a)
{
    return {b, g, r, a};
}

bool Diagonals(int x, int y)
{
    return (x + y) % 3 == 0;
}

// A two-entry icon used by the corruption tests: a 4-bit DIB and an RGBA PNG.
std::vector<uint8_t> TwoEntryIcon()
{
    IcoImage dib{5, 3, 4, DibImage(5, 3, 4, [](int x, int y) { return uint32_t(x + y); }, Diagonals)};
    IcoImage png{4, 4, 32, MakePng(4, 4, 6, [](int x, int y, int c) { return uint8_t(x * 60 + y * 3 + c); })};
    return MakeIco({dib, png});
}

}   // namespace

TEST(IcoDecode, EveryDepthWithAndMask)
{
    for (int bits : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE("bits " + std::to_string(bits));
        const int w = 9, h = 5;
        const std::vector<PaletteEntry> pal = IconPalette(bits <= 8 ? 1 << bits : 0);
        auto colour = [&](int x, int y) -> uint32_t {
            if (bits <= 8)
                return uint32_t((x + 2 * y) % (1 << bits));
            return uint32_t(x * 20 | (y * 40) << 8 | 0x80 << 16);   // fourth byte 0: the mask decides
        };
        auto expected = [&](int x, int y) {
            if (bits <= 8) {
                PaletteEntry e = pal[colour(x, y)];
                e.reserved = 255;
                return e;
            }
            return Bgra(uint8_t(x * 20), uint8_t(y * 40), 0x80, 255);
        };
        std::vector<uint8_t> file = MakeIco({{w, h, 0, DibImage(w, h, bits, colour, Diagonals)}});
        IconDirectory dir = ParseIcon(file);
        ASSERT_EQ(dir.entries.size(), 1u);
        EXPECT_EQ(dir.entries[0].bitCount, bits);
        EXPECT_FALSE(dir.entries[0].png);
        EXPECT_EQ(dir.entries[0].width, w);
        Raster r = DecodeIconEntry(file, dir.entries[0]);
        ASSERT_EQ(r.Format(), PixelFormat::Bit32);
        ASSERT_EQ(r.Width(), w);
        ASSERT_EQ(r.Height(), h);
        EXPECT_EQ(r.Alpha(), AlphaMode::Straight);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                PaletteEntry p = r.PixelAt(x, y);
                if (Diagonals(x, y)) {
                    EXPECT_EQ(p.reserved, 0) << x << "," << y;
                } else {
                    EXPECT_EQ(p, expected(x, y)) << x << "," << y;
                }
            }
        }
    }
}

TEST(IcoDecode, ThirtyTwoBitsWithAlphaIgnoreTheMask)
{
    auto colour = [](int x, int y) { return uint32_t((x * 25 + y) << 24 | 0x102030); };
    auto allTransparent = [](int, int) { return true; };
    std::vector<uint8_t> file = MakeIco({{6, 2, 32, DibImage(6, 2, 32, colour, allTransparent)}});
    Raster r = DecodeEntry(file, 0);
    EXPECT_EQ(r.Alpha(), AlphaMode::Straight);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(r.PixelAt(x, y), Bgra(0x30, 0x20, 0x10, uint8_t(x * 25 + y)));

    // With its alpha in use, a 32-bit entry needs no mask at all.
    file = MakeIco({{6, 2, 32, DibImage(6, 2, 32, colour, allTransparent, false)}});
    EXPECT_EQ(DecodeEntry(file, 0).PixelAt(5, 1).reserved, 126);
}

TEST(IcoDecode, SizeZeroMeans256)
{
    auto colour = [](int x, int y) { return uint32_t(x | y << 8); };
    auto corner = [](int x, int y) { return x < 8 && y < 8; };
    std::vector<uint8_t> file = MakeIco({{0, 0, 32, DibImage(256, 256, 32, colour, corner)}});
    IconDirectory dir = ParseIcon(file);
    EXPECT_EQ(dir.entries[0].width, 256);
    EXPECT_EQ(dir.entries[0].height, 256);
    Raster r = DecodeIconEntry(file, dir.entries[0]);
    ASSERT_EQ(r.Width(), 256);
    ASSERT_EQ(r.Height(), 256);
    EXPECT_EQ(r.PixelAt(0, 0).reserved, 0);
    EXPECT_EQ(r.PixelAt(255, 255), Bgra(255, 255, 0, 255));
    EXPECT_EQ(r.PixelAt(200, 7), Bgra(200, 7, 0, 255));
}

TEST(IcoDecode, PngEntries)
{
    auto rgba = [](int x, int y, int c) { return uint8_t(c == 3 ? x * 80 : 10 * c + x + 4 * y); };
    auto grey = [](int x, int y, int) { return uint8_t(x * 30 + y); };
    std::vector<uint8_t> file =
        MakeIco({{4, 3, 0, MakePng(4, 3, 6, rgba)}, {5, 2, 0, MakePng(5, 2, 0, grey)}});
    IconDirectory dir = ParseIcon(file);
    ASSERT_EQ(dir.entries.size(), 2u);
    EXPECT_TRUE(dir.entries[0].png);
    EXPECT_EQ(dir.entries[0].bitCount, 32);
    EXPECT_EQ(dir.entries[1].bitCount, 8);

    Raster r = DecodeIconEntry(file, dir.entries[0]);
    ASSERT_EQ(r.Format(), PixelFormat::Bit32);
    ASSERT_EQ(r.Width(), 4);
    ASSERT_EQ(r.Height(), 3);
    EXPECT_EQ(r.Alpha(), AlphaMode::Straight);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(r.PixelAt(x, y), Bgra(rgba(x, y, 2), rgba(x, y, 1), rgba(x, y, 0), rgba(x, y, 3)));

    // No transparency in the PNG: every pixel opaque.
    Raster g = DecodeIconEntry(file, dir.entries[1]);
    ASSERT_EQ(g.Format(), PixelFormat::Bit32);
    EXPECT_EQ(g.Alpha(), AlphaMode::Straight);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(g.PixelAt(x, 1), Bgra(uint8_t(x * 30 + 1), uint8_t(x * 30 + 1), uint8_t(x * 30 + 1), 255));
}

TEST(IcoPick, SizeFirstThenColourDepth)
{
    auto entry = [](int w, int h, int bits) {
        IconEntry e;
        e.width = w;
        e.height = h;
        e.bitCount = bits;
        return e;
    };
    IconDirectory dir;
    dir.entries = {entry(16, 16, 32), entry(32, 32, 4), entry(32, 32, 32), entry(48, 48, 32), entry(32, 32, 8)};
    EXPECT_EQ(PickIconEntry(dir, 32, 32, 32), 2u);
    EXPECT_EQ(PickIconEntry(dir, 32, 32, 8), 4u);
    EXPECT_EQ(PickIconEntry(dir, 32, 32, 4), 1u);
    EXPECT_EQ(PickIconEntry(dir, 32, 32, 16), 4u);    // 8 bits is closer than 32
    EXPECT_EQ(PickIconEntry(dir, 16, 16, 4), 0u);     // size wins over depth
    EXPECT_EQ(PickIconEntry(dir, 64, 64, 4), 3u);
    EXPECT_EQ(PickIconEntry(dir, 40, 40, 32), 2u);    // 32 and 48 equally far: the first of equals
    EXPECT_EQ(PickIconEntry(dir, 40, 40, 4), 1u);

    // Same total but a different split: only entries with the first best split compete on depth.
    dir.entries = {entry(24, 48, 32), entry(48, 24, 32), entry(48, 24, 8)};
    EXPECT_EQ(PickIconEntry(dir, 32, 32, 8), 0u);
    dir.entries = {entry(48, 24, 32), entry(24, 48, 32), entry(48, 24, 8)};
    EXPECT_EQ(PickIconEntry(dir, 32, 32, 8), 2u);

    dir.entries = {entry(32, 32, 32), entry(32, 32, 32)};
    EXPECT_EQ(PickIconEntry(dir, 32, 32, 32), 0u);
}

TEST(IcoPick, DepthComesFromTheImagesNotTheDirectory)
{
    auto colour = [](int x, int y) { return uint32_t(x ^ y); };
    auto none = [](int, int) { return false; };
    std::vector<IcoImage> images;
    for (int size : {16, 32, 48})
        for (int bits : {4, 8, 32})
            images.push_back({uint8_t(size), uint8_t(size), 24, DibImage(size, size, bits, colour, none)});
    std::vector<uint8_t> file = MakeIco(images);
    IconDirectory dir = ParseIcon(file);
    ASSERT_EQ(dir.entries.size(), 9u);
    EXPECT_EQ(PickIconEntry(dir, 32, 32, 32), 5u);
    EXPECT_EQ(PickIconEntry(dir, 32, 32, 8), 4u);
    EXPECT_EQ(PickIconEntry(dir, 16, 16, 4), 0u);
    EXPECT_EQ(PickIconEntry(dir, 48, 48, 24), 8u);
    EXPECT_EQ(DecodeIconEntry(file, dir.entries[5]).Width(), 32);
}

TEST(IcoDecode, SampleFile)
{
    std::ifstream in(std::string(PIXAVO_TEST_DATA) + "/sample.ico", std::ios::binary);
    ASSERT_TRUE(in);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    IconDirectory dir = ParseIcon(file);
    ASSERT_EQ(dir.entries.size(), 2u);
    for (const IconEntry& e : dir.entries) {
        SCOPED_TRACE(e.width);
        EXPECT_EQ(e.bitCount, 32);
        Raster r = DecodeIconEntry(file, e);
        ASSERT_EQ(r.Width(), e.width);
        EXPECT_EQ(r.PixelAt(0, 0).reserved, 0);
        EXPECT_EQ(r.PixelAt(r.Width() - 1, r.Height() - 1).reserved, 0);
        EXPECT_EQ(r.PixelAt(r.Width() / 2, r.Height() / 2).reserved, 255);
    }
    EXPECT_EQ(PickIconEntry(dir, 32, 32, 32), 1u);
}

TEST(IcoCorrupt, TruncatedFilesFail)
{
    std::vector<uint8_t> file = TwoEntryIcon();
    ExpectIconNoCrash(file);
    ASSERT_NO_THROW(DecodeEntry(file, 1));
    for (size_t len = 0; len < file.size(); ++len)
        ExpectInvalidIcon(std::vector<uint8_t>(file.begin(), file.begin() + std::ptrdiff_t(len)),
                          "cut at " + std::to_string(len));
}

TEST(IcoCorrupt, BrokenFieldsFail)
{
    const std::vector<uint8_t> good = TwoEntryIcon();
    const size_t dibAt = 6 + 2 * 16;
    const size_t pngAt = dibAt + (good[6 + 8] | good[6 + 9] << 8);
    struct Flip {
        const char* what;
        size_t offset;
        uint32_t value;
        int bytes;
    };
    const Flip flips[] = {
        {"reserved word", 0, 1, 2},
        {"cursor type", 2, 2, 2},
        {"no entries", 4, 0, 2},
        {"more entries than the file holds", 4, 500, 2},
        {"entry size past the end", 6 + 8, 0xFFFFFFF0, 4},
        {"entry offset past the end", 6 + 12, 0xFFFFFFF0, 4},
        {"entry size zero", 6 + 8, 0, 4},
        {"second entry overlapping the end", 6 + 16 + 8, 0x10000, 4},
        {"DIB header size 0", dibAt, 0, 4},
        {"DIB header size 20", dibAt, 20, 4},
        {"DIB header longer than the entry", dibAt, 4000, 4},
        {"DIB bit count 0", dibAt + 14, 0, 2},
        {"DIB zero width", dibAt + 4, 0, 4},
        {"DIB height 1 (no colour rows)", dibAt + 8, 1, 4},
        {"DIB run-length encoded", dibAt + 16, 2, 4},
        {"DIB taller than its data", dibAt + 8, 40, 4},
        {"PNG header chunk renamed", pngAt + 12, 'X', 1},
        {"PNG colour type 5", pngAt + 25, 5, 1},
        {"PNG pixel data damaged", pngAt + 8 + 25 + 10, 0xEE, 1},
    };
    for (const Flip& f : flips) {
        std::vector<uint8_t> file = good;
        if (f.bytes == 1)
            file[f.offset] = uint8_t(f.value);
        else if (f.bytes == 2)
            PutU16(file, f.offset, f.value);
        else
            PutU32(file, f.offset, f.value);
        ExpectInvalidIcon(file, f.what);
    }

    // A 24-bit entry without its AND mask.
    auto colour = [](int x, int y) { return uint32_t(x + y); };
    std::vector<uint8_t> noMask = MakeIco({{4, 4, 24, DibImage(4, 4, 24, colour, Diagonals, false)}});
    ExpectInvalidIcon(noMask, "missing mask");

    // An entry record that points outside the file.
    IconEntry forged;
    forged.offset = good.size() - 4;
    forged.size = 100;
    try {
        (void)DecodeIconEntry(good, forged);
        ADD_FAILURE() << "forged entry accepted";
    } catch (const Failure& f) {
        EXPECT_EQ(f.Message(), L"Icon image is not valid");
    }
}

TEST(IcoCorrupt, MutatedBytesNeverCrash)
{
    const std::vector<uint8_t> good = TwoEntryIcon();
    for (size_t i = 0; i < good.size(); ++i) {
        for (uint8_t v : {uint8_t(0), uint8_t(0xFF), uint8_t(good[i] ^ 0x40)}) {
            std::vector<uint8_t> m = good;
            m[i] = v;
            ExpectIconNoCrash(m);
        }
    }
}
