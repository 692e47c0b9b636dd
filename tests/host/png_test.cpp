#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/pixels/Levels.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSuite = fs::path(PIXAVO_PNG_SRC) / "contrib" / "pngsuite";
const fs::path kTestPngs = fs::path(PIXAVO_PNG_SRC) / "contrib" / "testpngs";

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> PngFiles(const fs::path& dir)
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().extension() == ".png")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

bool IsBroken(const fs::path& file) { return file.filename().string().starts_with("x"); }

// Every good image of the suite, with its interlaced subfolder and libpng's
// own test set of colour types, depths and tRNS variants.
std::vector<fs::path> GoodImages()
{
    std::vector<fs::path> files;
    for (const fs::path& dir : {kSuite, kSuite / "interlaced", kTestPngs})
        for (const fs::path& f : PngFiles(dir))
            if (!IsBroken(f))
                files.push_back(f);
    return files;
}

// ---- chunk-level editing of PNG files

struct Chunk {
    std::string type;
    std::vector<uint8_t> data;
};

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
void PutBe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(uint8_t(v >> s));
}

std::vector<Chunk> ParseChunks(const std::vector<uint8_t>& file)
{
    std::vector<Chunk> chunks;
    for (size_t i = 8; i + 12 <= file.size();) {
        uint32_t length = Be32(&file[i]);
        if (i + 12 + length > file.size())
            break;
        chunks.push_back({std::string(file.begin() + long(i) + 4, file.begin() + long(i) + 8),
                          std::vector<uint8_t>(file.begin() + long(i) + 8, file.begin() + long(i + 8 + length))});
        i += 12 + length;
    }
    return chunks;
}

// Assembles a PNG file with correct CRCs (unless a chunk's CRC is to be spoilt).
std::vector<uint8_t> BuildPng(const std::vector<Chunk>& chunks, const std::string& badCrcChunk = "")
{
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Chunk& c : chunks) {
        PutBe32(out, uint32_t(c.data.size()));
        size_t start = out.size();
        out.insert(out.end(), c.type.begin(), c.type.end());
        out.insert(out.end(), c.data.begin(), c.data.end());
        uint32_t crc = uint32_t(crc32(0, out.data() + start, uInt(out.size() - start)));
        PutBe32(out, c.type == badCrcChunk ? crc ^ 1 : crc);
    }
    return out;
}

std::vector<uint8_t> Ihdr(uint32_t width, uint32_t height, int depth, int colorType)
{
    std::vector<uint8_t> d;
    PutBe32(d, width);
    PutBe32(d, height);
    d.insert(d.end(), {uint8_t(depth), uint8_t(colorType), 0, 0, 0});
    return d;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw)
{
    uLongf size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9);
    out.resize(size);
    return out;
}

// ---- independent decode through libpng's simplified API

struct Reference {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> bgra;
};

Reference DecodeWithSimplifiedApi(const std::vector<uint8_t>& file)
{
    // The colour-management chunks are dropped so that the library hands
    // back the stored samples instead of gamma-corrected ones.
    std::vector<Chunk> chunks = ParseChunks(file);
    std::erase_if(chunks, [](const Chunk& c) {
        return c.type == "gAMA" || c.type == "cHRM" || c.type == "sRGB" || c.type == "iCCP" || c.type == "sBIT";
    });
    std::vector<uint8_t> plain = BuildPng(chunks);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Reference ref;
    if (!png_image_begin_read_from_memory(&image, plain.data(), plain.size())) {
        ADD_FAILURE() << image.message;
        return ref;
    }
    image.format = PNG_FORMAT_BGRA;
    image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    ref.width = image.width;
    ref.height = image.height;
    ref.bgra.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, ref.bgra.data(), 0, nullptr))
        ADD_FAILURE() << image.message;
    return ref;
}

std::wstring DecodeError(const std::vector<uint8_t>& file)
{
    try {
        DecodePng(file);
    } catch (const Failure& f) {
        return f.Message();
    }
    return L"(decoded)";
}

void ExpectSameImage(const PngImage& a, const PngImage& b)
{
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.bitDepth, b.bitDepth);
    EXPECT_EQ(a.colorType, b.colorType);
    EXPECT_EQ(a.palette, b.palette);
    EXPECT_EQ(a.paletteAlpha, b.paletteAlpha);
    EXPECT_EQ(a.transparentGray, b.transparentGray);
    EXPECT_EQ(a.transparentRgb, b.transparentRgb);
    EXPECT_EQ(a.rowBytes, b.rowBytes);
    EXPECT_TRUE(a.rows == b.rows);
}

}  // namespace

TEST(PngSuite, EveryImageDecodesWithItsOwnHeader)
{
    std::vector<fs::path> files = GoodImages();
    ASSERT_GE(files.size(), 150u);
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        std::vector<uint8_t> bytes = ReadFile(f);
        PngImage image;
        ASSERT_NO_THROW(image = DecodePng(bytes));
        const std::vector<uint8_t> ihdr = ParseChunks(bytes).front().data;
        EXPECT_EQ(image.width, Be32(&ihdr[0]));
        EXPECT_EQ(image.height, Be32(&ihdr[4]));
        EXPECT_EQ(image.bitDepth, ihdr[8]);
        EXPECT_EQ(image.colorType, ihdr[9]);
        EXPECT_EQ(image.rows.size(), image.rowBytes * image.height);
        if (image.colorType == PNG_COLOR_TYPE_PALETTE)
            EXPECT_FALSE(image.palette.empty());
    }
}

TEST(PngSuite, PixelsMatchLibpngsOwnDecoder)
{
    for (const fs::path& f : GoodImages()) {
        SCOPED_TRACE(f.string());
        std::vector<uint8_t> bytes = ReadFile(f);
        PngImage image = DecodePng(bytes);
        Raster raster = PngToRaster(image);
        // libpng's simplified reader mis-scales interlaced 16-bit images
        // without alpha (it shifts the levels of ibasn0g16, for one); those are
        // checked against the decode of their plain twin, which holds the
        // same picture.
        fs::path twin = f.parent_path() / f.filename().string().substr(1);
        bool useTwin = bytes[28] == 1 && image.bitDepth == 16 && f.filename().string()[0] == 'i' && fs::exists(twin);
        Reference ref = DecodeWithSimplifiedApi(useTwin ? ReadFile(twin) : bytes);
        ASSERT_EQ(raster.Format(), PixelFormat::Bit32);
        ASSERT_EQ(uint32_t(raster.Width()), ref.width);
        ASSERT_EQ(uint32_t(raster.Height()), ref.height);
        EXPECT_EQ(raster.Alpha(), image.HasTransparency() ? AlphaMode::Straight : AlphaMode::None);
        // We keep the high byte of 16-bit samples, libpng rounds: one step apart at most.
        const int tolerance = image.bitDepth == 16 ? 1 : 0;
        int mismatches = 0;
        for (int y = 0; y < raster.Height(); ++y) {
            const uint8_t* ours = raster.Row(y);
            const uint8_t* theirs = ref.bgra.data() + size_t(y) * ref.width * 4;
            for (int x = 0; x < raster.Width(); ++x, ours += 4, theirs += 4) {
                bool same = theirs[3] == 0 ? ours[3] == 0
                                           : std::abs(ours[0] - theirs[0]) <= tolerance &&
                                                 std::abs(ours[1] - theirs[1]) <= tolerance &&
                                                 std::abs(ours[2] - theirs[2]) <= tolerance &&
                                                 std::abs(ours[3] - theirs[3]) <= tolerance;
                if (!same && mismatches++ < 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": ours " << int(ours[0]) << " " << int(ours[1])
                                  << " " << int(ours[2]) << " " << int(ours[3]) << ", libpng " << int(theirs[0])
                                  << " " << int(theirs[1]) << " " << int(theirs[2]) << " " << int(theirs[3]);
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(PngSuite, TransparencyKindsAreRecognised)
{
    auto decode = [](const char* name) { return DecodePng(ReadFile(kSuite / name)); };
    EXPECT_FALSE(decode("basn2c08.png").HasTransparency());
    EXPECT_FALSE(decode("basn3p08.png").HasTransparency());
    EXPECT_TRUE(decode("basn4a08.png").HasTransparency());
    EXPECT_TRUE(decode("basn6a16.png").HasTransparency());

    PngImage grey = decode("ftbbn0g04.png");
    ASSERT_TRUE(grey.transparentGray.has_value());
    EXPECT_TRUE(grey.HasTransparency());
    PngImage rgb = decode("ftbrn2c08.png");
    ASSERT_TRUE(rgb.transparentRgb.has_value());
    EXPECT_EQ(PngToRaster(rgb).Alpha(), AlphaMode::Straight);
    PngImage palette = decode("ftbbn3p08.png");
    EXPECT_FALSE(palette.paletteAlpha.empty());
    EXPECT_TRUE(palette.HasTransparency());
}

TEST(PngSuite, InterlacedAndPlainVariantsGiveTheSameRows)
{
    int pairs = 0;
    for (const fs::path& dir : {kSuite, kSuite / "interlaced"}) {
        for (const fs::path& f : PngFiles(dir)) {
            std::string name = f.filename().string();
            if (name[0] != 'i' || !fs::exists(dir / name.substr(1)))
                continue;
            SCOPED_TRACE(name);
            ++pairs;
            PngImage interlaced = DecodePng(ReadFile(f));
            PngImage plain = DecodePng(ReadFile(dir / name.substr(1)));
            EXPECT_EQ(interlaced.width, plain.width);
            EXPECT_EQ(interlaced.height, plain.height);
            EXPECT_EQ(interlaced.bitDepth, plain.bitDepth);
            EXPECT_EQ(interlaced.colorType, plain.colorType);
            // The palette files of a pair were written by different encoders
            // that ordered their palettes differently: compare pixels there.
            if (plain.colorType != PNG_COLOR_TYPE_PALETTE)
                ExpectSameImage(interlaced, plain);
            Raster a = PngToRaster(interlaced), b = PngToRaster(plain);
            for (int y = 0; y < a.Height(); ++y)
                EXPECT_EQ(0, std::memcmp(a.Row(y), b.Row(y), size_t(a.Width()) * 4)) << "row " << y;
        }
    }
    EXPECT_EQ(pairs, 21);
}

TEST(PngSuite, LevelsReadRowByRowAndPartsAgreeWithTheWholePicture)
{
    // Every colour type, depth, transparency and interlacing: a level made
    // while the file is read, without its rows, is the level of the whole
    // picture; a part of the picture is that part of the whole.
    for (const fs::path& f : GoodImages()) {
        SCOPED_TRACE(f.string());
        const std::vector<uint8_t> bytes = ReadFile(f);
        const PngImage image = DecodePng(bytes);
        const Raster whole = PngToRaster(image);
        for (int level : {1, 2, 3}) {
            const PngLevel read = DecodePngLevel(bytes, level);
            EXPECT_TRUE(read.header.rows.empty());
            EXPECT_EQ(read.header.width, image.width);
            EXPECT_EQ(read.header.HasTransparency(), image.HasTransparency());
            const Raster expected = MakeLevel(whole, level);
            ASSERT_EQ(read.level.Width(), expected.Width());
            ASSERT_EQ(read.level.Height(), expected.Height());
            ASSERT_EQ(read.level.Format(), expected.Format());
            for (int y = 0; y < expected.Height(); ++y)
                ASSERT_EQ(0, std::memcmp(read.level.Row(y), expected.Row(y), expected.Stride())) << "level " << level;
        }
        const PixelRect part{int(image.width) / 3, int(image.height) / 4, std::max(1, int(image.width) / 2),
                             std::max(1, int(image.height) / 2)};
        const Raster region = PngRegionToRaster(image, part);
        EXPECT_EQ(region.Format(), image.HasTransparency() ? PixelFormat::Bit32 : PixelFormat::Bit24);
        for (int y = 0; y < part.height; ++y)
            for (int x = 0; x < part.width; ++x) {
                PaletteEntry a = region.PixelAt(x, y), b = whole.PixelAt(part.x + x, part.y + y);
                ASSERT_EQ(a, b) << x << "," << y;
            }
    }
}

TEST(PngSuite, BrokenFilesFailWithAMessage)
{
    // The suite's own x*.png files where the tree has them, plus damage of
    // each kind made from good files.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> cases;
    for (const fs::path& f : PngFiles(kSuite))
        if (IsBroken(f))
            cases.emplace_back(f.filename().string(), ReadFile(f));

    const std::vector<uint8_t> grey = ReadFile(kSuite / "basn0g08.png");
    const std::vector<uint8_t> pal = ReadFile(kSuite / "basn3p08.png");
    const std::vector<Chunk> greyChunks = ParseChunks(grey);
    const std::vector<Chunk> palChunks = ParseChunks(pal);
    auto edited = [](std::vector<Chunk> chunks, auto edit) {
        edit(chunks);
        return BuildPng(chunks);
    };
    auto find = [](std::vector<Chunk>& chunks, const char* type) -> Chunk& {
        return *std::find_if(chunks.begin(), chunks.end(), [&](const Chunk& c) { return c.type == type; });
    };

    std::vector<uint8_t> signature = grey;
    signature[1] = 'Q';
    cases.emplace_back("bad signature", signature);
    cases.emplace_back("empty file", std::vector<uint8_t>{});
    cases.emplace_back("signature only", std::vector<uint8_t>(grey.begin(), grey.begin() + 8));
    cases.emplace_back("IHDR CRC", BuildPng(greyChunks, "IHDR"));
    cases.emplace_back("IDAT CRC", BuildPng(greyChunks, "IDAT"));
    cases.emplace_back("colour type 1", edited(greyChunks, [&](auto& c) { find(c, "IHDR").data[9] = 1; }));
    cases.emplace_back("bit depth 0", edited(greyChunks, [&](auto& c) { find(c, "IHDR").data[8] = 0; }));
    cases.emplace_back("bit depth 3", edited(greyChunks, [&](auto& c) { find(c, "IHDR").data[8] = 3; }));
    cases.emplace_back("16-bit palette", edited(palChunks, [&](auto& c) { find(c, "IHDR").data[8] = 16; }));
    cases.emplace_back("zero width", edited(greyChunks, [&](auto& c) { std::fill_n(find(c, "IHDR").data.begin(), 4, 0); }));
    cases.emplace_back("interlace method 2", edited(greyChunks, [&](auto& c) { find(c, "IHDR").data[12] = 2; }));
    cases.emplace_back("no IDAT", edited(greyChunks, [&](auto& c) {
        std::erase_if(c, [](const Chunk& k) { return k.type == "IDAT"; });
    }));
    cases.emplace_back("no PLTE", edited(palChunks, [&](auto& c) {
        std::erase_if(c, [](const Chunk& k) { return k.type == "PLTE"; });
    }));
    cases.emplace_back("bad zlib header", edited(greyChunks, [&](auto& c) { find(c, "IDAT").data[0] = 0x7F; }));
    cases.emplace_back("short image data", edited(greyChunks, [&](auto& c) {
        find(c, "IDAT").data = Deflate(std::vector<uint8_t>(100, 0));
    }));
    cases.emplace_back("filter type 9", edited(greyChunks, [&](auto& c) {
        std::vector<uint8_t> raw(33 * 32, 0);
        raw[33 * 5] = 9;
        find(c, "IDAT").data = Deflate(raw);
    }));
    cases.emplace_back("cut in IDAT", std::vector<uint8_t>(grey.begin(), grey.begin() + long(grey.size() / 2)));

    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        std::wstring message = DecodeError(bytes);
        EXPECT_NE(message, L"(decoded)");
        EXPECT_FALSE(message.empty());
    }
    EXPECT_EQ(DecodeError(BuildPng(greyChunks, "IHDR")), L"IHDR: CRC error");
    EXPECT_EQ(DecodeError(std::vector<uint8_t>(grey.begin(), grey.begin() + long(grey.size() / 2))), L"Read Error");
}

TEST(PngSuite, LibpngCrashersNeverCrash)
{
    for (const fs::path& f : PngFiles(kTestPngs / "crashers")) {
        SCOPED_TRACE(f.string());
        try {
            PngImage image = DecodePng(ReadFile(f));
            Raster raster = PngToRaster(image);
            EXPECT_EQ(uint32_t(raster.Width()), image.width);
        } catch (const Failure& failure) {
            EXPECT_FALSE(failure.Message().empty());
        }
    }
}

TEST(PngSuite, CutAndDamagedFilesDecodeOrFail)
{
    std::mt19937 random(1234);
    int decoded = 0, failed = 0;
    auto attempt = [&](const std::vector<uint8_t>& bytes) {
        try {
            PngImage image = DecodePng(bytes);
            Raster raster = PngToRaster(image);
            EXPECT_EQ(uint32_t(raster.Height()), image.height);
            ++decoded;
        } catch (const Failure& failure) {
            EXPECT_FALSE(failure.Message().empty());
            ++failed;
        }
    };
    for (const fs::path& f : PngFiles(kSuite)) {
        SCOPED_TRACE(f.string());
        const std::vector<uint8_t> bytes = ReadFile(f);
        for (size_t cut = 0; cut < bytes.size(); cut += std::max<size_t>(1, bytes.size() / 24))
            attempt(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)));
        // Random damage with the CRCs made right again, so it reaches the
        // header checks, the inflater and the row filters.
        for (int i = 0; i < 24; ++i) {
            std::vector<uint8_t> damaged = bytes;
            for (int k = 0; k < 1 + i % 3; ++k)
                damaged[8 + random() % (damaged.size() - 8)] ^= uint8_t(1 + random() % 255);
            attempt(BuildPng(ParseChunks(damaged)));
        }
    }
    EXPECT_GT(decoded, 100);
    EXPECT_GT(failed, 1000);
}

TEST(PngSuite, DecompressionBombsFailBeforeAllocating)
{
    std::vector<uint8_t> tinyIdat = Deflate(std::vector<uint8_t>(4096, 0));
    auto bomb = [&](uint32_t width, uint32_t height) {
        return BuildPng({{"IHDR", Ihdr(width, height, 8, PNG_COLOR_TYPE_RGB)}, {"IDAT", tinyIdat}, {"IEND", {}}});
    };
    // Too many pixels for the decoder's limit.
    EXPECT_EQ(DecodeError(bomb(60000, 60000)), L"Out of memory");
    // Within the pixel limit, but the file is far too small to inflate to it.
    EXPECT_EQ(DecodeError(bomb(16000, 16000)), L"Not enough image data");
    // Wider than any dimension libpng is allowed to accept.
    EXPECT_EQ(DecodeError(bomb(70000, 1)), L"Invalid IHDR data");
}

TEST(PngCodec, EncodeThenDecodeKeepsEverything)
{
    std::vector<fs::path> files = PngFiles(kSuite);
    const std::vector<fs::path> interlaced = PngFiles(kSuite / "interlaced");
    files.insert(files.end(), interlaced.begin(), interlaced.end());
    int interlacedSeen = 0;
    for (const fs::path& f : files) {
        if (IsBroken(f))
            continue;
        SCOPED_TRACE(f.string());
        const std::vector<uint8_t> original = ReadFile(f);
        PngImage image = DecodePng(original);
        std::vector<uint8_t> encoded = EncodePng(image);
        PngImage back = DecodePng(encoded);
        ExpectSameImage(back, image);
        EXPECT_EQ(back.interlaced, image.interlaced);

        // The file's own interlacing is written back.
        std::vector<Chunk> chunks = ParseChunks(encoded);
        ASSERT_EQ(chunks.front().type, "IHDR");
        EXPECT_EQ(chunks.front().data[12], ParseChunks(original).front().data[12]);
        if (image.interlaced) {
            ++interlacedSeen;
            continue;
        }
        // Plain images: every row with the Sub filter.
        std::vector<uint8_t> idat;
        for (const Chunk& c : chunks)
            if (c.type == "IDAT")
                idat.insert(idat.end(), c.data.begin(), c.data.end());
        std::vector<uint8_t> raw((image.rowBytes + 1) * image.height);
        uLongf rawSize = uLongf(raw.size());
        ASSERT_EQ(uncompress(raw.data(), &rawSize, idat.data(), uLong(idat.size())), Z_OK);
        ASSERT_EQ(rawSize, raw.size());
        for (uint32_t y = 0; y < image.height; ++y)
            EXPECT_EQ(raw[y * (image.rowBytes + 1)], PNG_FILTER_VALUE_SUB) << "row " << y;
    }
    EXPECT_GE(interlacedSeen, 20);
}

TEST(PngCodec, EncodeRefusesRowsShorterThanTheHeader)
{
    PngImage image;
    image.width = 10;
    image.height = 4;
    image.colorType = PNG_COLOR_TYPE_RGB;
    image.rowBytes = 30;
    image.rows.resize(30 * 3);
    EXPECT_THROW(EncodePng(image), Failure);
    EXPECT_THROW(PngToRaster(image), Failure);
    image.rows.resize(30 * 4);
    image.bitDepth = 4;   // RGB has no 4-bit form
    EXPECT_THROW(EncodePng(image), Failure);
}

TEST(PngCodec, RasterOfSixteenBitsOrMoreBecomesRgb)
{
    Raster raster(5, 3, PixelFormat::Bit32);
    for (int y = 0; y < 3; ++y) {
        uint8_t* row = raster.MutableRow(y);
        for (int x = 0; x < 5; ++x) {
            uint8_t px[4] = {uint8_t(x * 50), uint8_t(y * 80), uint8_t(x * y * 10), uint8_t(x * 60)};
            std::memcpy(row + 4 * x, px, 4);
        }
    }
    raster.SetAlpha(AlphaMode::Straight);
    PngImage png = PngFromRaster(raster);
    EXPECT_EQ(png.colorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_FALSE(png.HasTransparency());
    // R, G, B order in the rows.
    EXPECT_EQ(png.rows[3 * 4 + 0], 4 * 0 * 10);
    EXPECT_EQ(png.rows[3 * 4 + 2], 4 * 50);

    Raster back = PngToRaster(DecodePng(EncodePng(png)));
    EXPECT_EQ(back.Alpha(), AlphaMode::None);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            PaletteEntry want = raster.PixelAt(x, y), got = back.PixelAt(x, y);
            EXPECT_EQ(got.blue, want.blue);
            EXPECT_EQ(got.green, want.green);
            EXPECT_EQ(got.red, want.red);
            EXPECT_EQ(got.reserved, 255);
        }

    Raster sixteen(2, 2, PixelFormat::Bit16);
    EXPECT_EQ(PngFromRaster(sixteen).colorType, PNG_COLOR_TYPE_RGB);
}

TEST(PngCodec, IndexedRasterKeepsPaletteAndDepth)
{
    for (PixelFormat format : {PixelFormat::Bit1, PixelFormat::Bit4, PixelFormat::Bit8}) {
        SCOPED_TRACE(BitsPerPixel(format));
        const int w = 13, h = 7, colours = 1 << BitsPerPixel(format);
        Raster raster(w, h, format);
        std::vector<PaletteEntry> palette;
        for (int i = 0; i < colours; ++i)
            palette.push_back({uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3 + 1), 0});
        raster.SetPalette(palette);
        for (int y = 0; y < h; ++y) {
            uint8_t* row = raster.MutableRow(y);
            for (int x = 0; x < w; ++x) {
                unsigned index = unsigned(x * 5 + y * 3) % unsigned(colours);
                if (format == PixelFormat::Bit8)
                    row[x] = uint8_t(index);
                else if (format == PixelFormat::Bit4)
                    row[x / 2] = uint8_t((row[x / 2] & (x % 2 ? 0xF0 : 0x0F)) | (index << (x % 2 ? 0 : 4)));
                else
                    row[x / 8] = uint8_t((row[x / 8] & ~(0x80 >> (x % 8))) | (index << (7 - x % 8)));
            }
        }
        PngImage png = PngFromRaster(raster);
        EXPECT_EQ(png.colorType, PNG_COLOR_TYPE_PALETTE);
        EXPECT_EQ(png.bitDepth, BitsPerPixel(format));
        EXPECT_EQ(png.palette, palette);

        PngImage back = DecodePng(EncodePng(png));
        EXPECT_EQ(back.palette, palette);
        Raster pixels = PngToRaster(back);
        EXPECT_EQ(pixels.Alpha(), AlphaMode::None);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                EXPECT_EQ(pixels.PixelAt(x, y), raster.PixelAt(x, y)) << x << "," << y;
    }
}

TEST(PngCodec, PaletteIndexPastThePaletteShowsOpaqueBlack)
{
    PngImage image;
    image.width = 3;
    image.height = 1;
    image.bitDepth = 8;
    image.colorType = PNG_COLOR_TYPE_PALETTE;
    image.palette = {{10, 20, 30, 0}, {40, 50, 60, 0}};
    image.paletteAlpha = {0};
    image.rowBytes = 3;
    image.rows = {0, 1, 7};
    Raster raster = PngToRaster(image);
    EXPECT_EQ(raster.Alpha(), AlphaMode::Straight);
    EXPECT_EQ(raster.PixelAt(0, 0).reserved, 0);
    EXPECT_EQ(raster.PixelAt(1, 0), (PaletteEntry{40, 50, 60, 255}));
    EXPECT_EQ(raster.PixelAt(2, 0), (PaletteEntry{0, 0, 0, 255}));
}
