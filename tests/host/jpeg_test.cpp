#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <vector>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include <lcms2.h>

#include "base/Failure.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/JpegMetadata.h"
#include "imaging/pixels/Transform.h"

namespace fs = std::filesystem;

namespace {

const fs::path kImages = fs::path(PIXAVO_JPEG_SRC) / "testimages";

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A binary PPM (P6, maxval 255) as a 24-bit raster.
Raster ReadPpm(const fs::path& path)
{
    std::vector<uint8_t> bytes = ReadFile(path);
    std::string text(bytes.begin(), bytes.begin() + long(std::min<size_t>(bytes.size(), 64)));
    int width = 0, height = 0, maxval = 0, consumed = 0;
    if (std::sscanf(text.c_str(), "P6 %d %d %d%n", &width, &height, &maxval, &consumed) != 3 || maxval != 255)
        return Raster();
    const uint8_t* p = bytes.data() + consumed + 1;
    Raster raster(width, height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = raster.MutableRow(y);
        for (int x = 0; x < width; ++x, p += 3) {
            row[3 * x] = p[2];
            row[3 * x + 1] = p[1];
            row[3 * x + 2] = p[0];
        }
    }
    return raster;
}

// Mean absolute difference over the colour channels of two same-sized rasters.
double MeanAbsDiff(const Raster& a, const Raster& b)
{
    EXPECT_EQ(a.Width(), b.Width());
    EXPECT_EQ(a.Height(), b.Height());
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Empty())
        return 1e9;
    uint64_t sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            PaletteEntry p = a.PixelAt(x, y), q = b.PixelAt(x, y);
            sum += uint64_t(std::abs(p.blue - q.blue) + std::abs(p.green - q.green) + std::abs(p.red - q.red));
        }
    return double(sum) / (3.0 * a.Width() * a.Height());
}

int JpegErrorNumber(const std::vector<uint8_t>& file)
{
    try {
        DecodeJpeg(file);
    } catch (const Failure& f) {
        std::wsmatch m;
        const std::wstring& text = f.Message();
        // The library's message number, then its message in words.
        if (std::regex_match(text, m, std::wregex(L"JPEG error #(\\d+): [A-Z][^#]+")))
            return std::stoi(m[1].str());
        ADD_FAILURE() << "unexpected message " << f.what();
        return -1;
    }
    return 0;
}

// How inks (four components) are written: as YCCK, with Adobe's segment,
// at a quality, with a profile.
struct Inks {
    bool ycck = false, adobe = true;
    std::vector<uint8_t> profile = {};
};

// Compresses pixels with libjpeg directly: greyscale, RGB or inks (CMYK at
// quality 100), optionally progressive.
std::vector<uint8_t> CompressDirectly(int width, int height, int components, const std::vector<uint8_t>& pixels,
                                      bool progressive, const Inks& inks = {})
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (components == 4) {
        if (inks.ycck)
            jpeg_set_colorspace(&cinfo, JCS_YCCK);
        jpeg_set_quality(&cinfo, 100, TRUE);
        cinfo.write_Adobe_marker = inks.adobe;
    }
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (!inks.profile.empty())
        jpeg_write_icc_profile(&cinfo, inks.profile.data(), unsigned(inks.profile.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + size_t(cinfo.next_scanline) * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

std::vector<uint8_t> Gradient(int width, int height, int components)
{
    std::vector<uint8_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                pixels.push_back(uint8_t((x * 255 / (width - 1) + y * 2 + c * 40) % 256));
    return pixels;
}

// Offset of the first marker of the given type, or npos.
size_t FindMarker(const std::vector<uint8_t>& file, uint8_t marker)
{
    for (size_t i = 2; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == marker)
            return i;
    return std::string::npos;
}

// The inks (cyan, magenta, yellow, black; 0 for none) of the four 16 × 16
// blocks of a 32 × 32 picture: paper, full cyan, magenta with some black, a
// mix.
constexpr uint8_t kInks[4][4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 128, 0, 64}, {30, 60, 200, 0}};

// The picture as a CMYK (or YCCK) JPEG, its values inverted (255 for no
// ink) when Adobe's segment is written.
std::vector<uint8_t> InkJpeg(const Inks& inks)
{
    std::vector<uint8_t> pixels;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            for (int c = 0; c < 4; ++c)
                pixels.push_back(uint8_t(kInks[y / 16 * 2 + x / 16][c] ^ (inks.adobe ? 0xFF : 0)));
    return CompressDirectly(32, 32, 4, pixels, false, inks);
}

// What white paper shows of inks, each 0 to 1: the usual rule, or (swapped)
// cyan taking away blue, magenta red and yellow green.
struct Shown {
    double red, green, blue;
};
Shown UsualRule(const double ink[4])
{
    const double k = 1 - ink[3];
    return {(1 - ink[0]) * k, (1 - ink[1]) * k, (1 - ink[2]) * k};
}
Shown SwappedRule(const double ink[4])
{
    const double k = 1 - ink[3];
    return {(1 - ink[1]) * k, (1 - ink[2]) * k, (1 - ink[0]) * k};
}

// A CMYK profile whose inks give the colours of the swapped rule in sRGB:
// a picture read through it is told apart from one read by the usual rule.
std::vector<uint8_t> SwappedInksProfile()
{
    cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, 11, 4, 3, nullptr);
    auto sample = [](const cmsUInt16Number in[], cmsUInt16Number out[], void* transform) -> cmsInt32Number {
        const double ink[4] = {in[0] / 65535.0, in[1] / 65535.0, in[2] / 65535.0, in[3] / 65535.0};
        const Shown s = SwappedRule(ink);
        const double rgb[3] = {s.red, s.green, s.blue};
        cmsCIELab colour;
        cmsDoTransform(static_cast<cmsHTRANSFORM>(transform), rgb, &colour, 1);
        cmsFloat2LabEncoded(out, &colour);
        return TRUE;
    };
    cmsStageSampleCLut16bit(table, sample, toLab, 0);
    // As lutAtoBType lays it out: curves, the table, curves.
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(pipeline, cmsAT_END, table);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsPipelineFree(pipeline);
    cmsCloseProfile(profile);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return bytes;
}

struct PixelLimit {
    uint64_t saved = DecodeLimits::maxPixels;
    explicit PixelLimit(uint64_t limit) { DecodeLimits::maxPixels = limit; }
    ~PixelLimit() { DecodeLimits::maxPixels = saved; }
};

}  // namespace

TEST(JpegDecode, ReferenceImageMatchesTheLibrarysOwnDecode)
{
    std::vector<uint8_t> file = ReadFile(kImages / "testorig.jpg");
    JpegHeader header = ReadJpegHeader(file);
    EXPECT_EQ(header.width, 227);
    EXPECT_EQ(header.height, 149);
    EXPECT_FALSE(header.grayscale);

    Raster raster = DecodeJpeg(file);
    ASSERT_EQ(raster.Format(), PixelFormat::Bit24);
    EXPECT_EQ(raster.Width(), 227);
    EXPECT_EQ(raster.Height(), 149);
    // testorig.ppm is the library's integer-DCT decode; the float DCT
    // differs by rounding only (measured: 0.186).
    double mad = MeanAbsDiff(raster, ReadPpm(kImages / "testorig.ppm"));
    RecordProperty("mean_abs_diff", std::to_string(mad));
    EXPECT_LT(mad, 0.25);
}

TEST(JpegDecode, HuffmanAndArithmeticCodingsOfOneImageAgree)
{
    // testimgint.jpg (Huffman) and testimgari.jpg (arithmetic) carry the same
    // coefficients: the library's own tests transcode one into the other.
    // Both were compressed from testorig.ppm with the integer DCT.
    Raster huffman = DecodeJpeg(ReadFile(kImages / "testimgint.jpg"));
    Raster arithmetic = DecodeJpeg(ReadFile(kImages / "testimgari.jpg"));
    ASSERT_EQ(huffman.Width(), 227);
    ASSERT_EQ(huffman.Height(), 149);
    ASSERT_EQ(arithmetic.Width(), 227);
    ASSERT_EQ(arithmetic.Height(), 149);
    for (int y = 0; y < huffman.Height(); ++y)
        ASSERT_EQ(0, std::memcmp(huffman.Row(y), arithmetic.Row(y), size_t(huffman.Width()) * 3)) << "row " << y;
    double mad = MeanAbsDiff(huffman, ReadPpm(kImages / "testorig.ppm"));
    RecordProperty("mean_abs_diff", std::to_string(mad));
    EXPECT_LT(mad, 0.6);   // a quality 75 compression of it (measured: 0.468)
}

TEST(JpegDecode, TwelveBitAndForeignFilesFailWithTheLibrarysNumber)
{
    EXPECT_EQ(JpegErrorNumber(ReadFile(kImages / "testorig12.jpg")), JERR_BAD_PRECISION);
    EXPECT_EQ(JpegErrorNumber({}), JERR_INPUT_EMPTY);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
    EXPECT_EQ(JpegErrorNumber(png), JERR_NO_SOI);
    EXPECT_THROW(ReadJpegHeader(png), Failure);
    try {
        DecodeJpeg(png);
    } catch (const Failure& f) {
        EXPECT_EQ(f.Message(), L"JPEG error #" + std::to_wstring(JERR_NO_SOI) + L": Not a JPEG file: starts with 0x89 0x50");
    }
}

TEST(JpegDecode, GreyscaleBecomesAPaletteOfAtMost236Greys)
{
    const int w = 97, h = 41;
    std::vector<uint8_t> grey = Gradient(w, h, 1);
    std::vector<uint8_t> file = CompressDirectly(w, h, 1, grey, false);
    EXPECT_TRUE(ReadJpegHeader(file).grayscale);

    Raster raster = DecodeJpeg(file);
    ASSERT_EQ(raster.Format(), PixelFormat::Bit8);
    ASSERT_EQ(raster.Width(), w);
    ASSERT_EQ(raster.Height(), h);
    const auto& palette = raster.Palette();
    EXPECT_GE(palette.size(), 200u);
    EXPECT_LE(palette.size(), 236u);
    for (const PaletteEntry& e : palette) {
        EXPECT_EQ(e.red, e.green);
        EXPECT_EQ(e.green, e.blue);
    }
    uint64_t diff = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            ASSERT_LT(raster.Row(y)[x], palette.size());
            diff += uint64_t(std::abs(raster.PixelAt(x, y).green - grey[size_t(y * w + x)]));
        }
    EXPECT_LT(double(diff) / (w * h), 2.0);
}

TEST(JpegDecode, CutAndDamagedFilesDecodeOrFailWithANumber)
{
    std::vector<std::vector<uint8_t>> files = {ReadFile(kImages / "testorig.jpg"), ReadFile(kImages / "testimgint.jpg"),
                                               ReadFile(kImages / "testimgari.jpg"),
                                               CompressDirectly(64, 48, 3, Gradient(64, 48, 3), true)};
    std::mt19937 random(99);
    int decoded = 0, failed = 0;
    auto attempt = [&](const std::vector<uint8_t>& bytes) {
        int number = JpegErrorNumber(bytes);
        EXPECT_GE(number, 0);
        (number == 0 ? decoded : failed)++;
    };
    for (const auto& file : files) {
        ASSERT_GT(file.size(), 500u);
        for (size_t cut = 0; cut < file.size(); cut += file.size() / 50 + 1)
            attempt(std::vector<uint8_t>(file.begin(), file.begin() + long(cut)));
        for (int i = 0; i < 60; ++i) {
            std::vector<uint8_t> damaged = file;
            for (int k = 0; k < 1 + i % 4; ++k)
                damaged[random() % damaged.size()] = uint8_t(random());
            attempt(damaged);
        }
    }
    // A cut after the frame header still decodes, the rest filled in.
    EXPECT_GT(decoded, 150);
    EXPECT_GT(failed, 20);
}

TEST(JpegDecode, ProgressiveFileWithTooManyScansIsRefused)
{
    std::vector<uint8_t> file = CompressDirectly(32, 32, 3, Gradient(32, 32, 3), true);
    // Repeat the last scan (from its SOS to the EOI) over and over.
    size_t lastSos = std::string::npos;
    for (size_t i = 2; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xDA)
            lastSos = i;
    ASSERT_NE(lastSos, std::string::npos);
    ASSERT_EQ(file[file.size() - 2], 0xFF);
    ASSERT_EQ(file[file.size() - 1], 0xD9);
    std::vector<uint8_t> scan(file.begin() + long(lastSos), file.end() - 2);
    auto withScans = [&](int extra) {
        std::vector<uint8_t> out(file.begin(), file.end() - 2);
        for (int i = 0; i < extra; ++i)
            out.insert(out.end(), scan.begin(), scan.end());
        out.push_back(0xFF);
        out.push_back(0xD9);
        return out;
    };
    EXPECT_EQ(JpegErrorNumber(withScans(100)), 0);
    EXPECT_EQ(JpegErrorNumber(withScans(600)), JERR_NOTIMPL);
}

TEST(JpegDecode, FramesPastThePixelLimitFailBeforeDecoding)
{
    std::vector<uint8_t> file = ReadFile(kImages / "testorig.jpg");
    {
        PixelLimit limit(227 * 149 - 1);
        EXPECT_EQ(JpegErrorNumber(file), JERR_IMAGE_TOO_BIG);
    }
    {
        PixelLimit limit(227 * 149);
        EXPECT_EQ(JpegErrorNumber(file), 0);
    }
    // A frame header claiming 60000 × 60000 pixels over the same small data.
    size_t sof = FindMarker(file, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    file[sof + 5] = 60000 >> 8;
    file[sof + 6] = 60000 & 0xFF;
    file[sof + 7] = 60000 >> 8;
    file[sof + 8] = 60000 & 0xFF;
    EXPECT_EQ(ReadJpegHeader(file).width, 60000);
    EXPECT_EQ(JpegErrorNumber(file), JERR_IMAGE_TOO_BIG);
}

// CMYK and YCCK files (as print work writes them) are shown in sRGB: through
// their CMYK profile, or by the usual rule without one, with the values
// inverted where Adobe's segment says so; at every reduced scale, after a
// lossless turn, and with no profile kept for the RGB pixels.
TEST(JpegDecode, InksAreShownAsTheirProfileOrTheUsualRuleSays)
{
    const std::vector<uint8_t> swapped = SwappedInksProfile();
    struct Case {
        const char* what;
        bool ycck, adobe, profiled;
    };
    const Case cases[] = {
        {"CMYK, inverted (Adobe)", false, true, false},
        {"CMYK, not inverted", false, false, false},
        {"YCCK (Adobe)", true, true, false},
        {"CMYK with its profile", false, true, true},
        {"YCCK with its profile", true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> file = InkJpeg({c.ycck, c.adobe, c.profiled ? swapped : std::vector<uint8_t>{}});
        // Block b's colour at (x, y) of a picture reduced 2^r times.
        auto expectBlocks = [&](const Raster& picture, int r, bool turned) {
            ASSERT_EQ(picture.Width(), 32 >> r);
            for (int b = 0; b < 4; ++b) {
                const double ink[4] = {kInks[b][0] / 255.0, kInks[b][1] / 255.0, kInks[b][2] / 255.0,
                                       kInks[b][3] / 255.0};
                const Shown s = c.profiled ? SwappedRule(ink) : UsualRule(ink);
                const int at = turned ? 3 - b : b;
                const PaletteEntry p = picture.PixelAt(((at % 2) * 16 + 8) >> r, ((at / 2) * 16 + 8) >> r);
                EXPECT_NEAR(p.red, s.red * 255, 6) << "block " << b << ", scale 1/" << (1 << r);
                EXPECT_NEAR(p.green, s.green * 255, 6) << "block " << b << ", scale 1/" << (1 << r);
                EXPECT_NEAR(p.blue, s.blue * 255, 6) << "block " << b << ", scale 1/" << (1 << r);
            }
        };
        expectBlocks(DecodeJpeg(file), 0, false);
        for (int r = 1; r <= 3; ++r)
            expectBlocks(DecodeJpegReduced(file, r), r, false);
        const auto turned = TransformJpeg(file, Orientation::Rotate180);
        ASSERT_TRUE(turned);
        expectBlocks(DecodeJpeg(*turned), 0, true);
        // The pixels are RGB now: the metadata kept for them carries no CMYK profile.
        EXPECT_EQ(JpegColourProfile(ReadJpegMetadata(file)), nullptr);
    }
}

TEST(JpegEncode, RoundTripStaysCloseToTheSource)
{
    Raster source = ReadPpm(kImages / "testorig.ppm");
    ASSERT_EQ(source.Width(), 227);
    std::vector<uint8_t> file = EncodeJpeg(source);
    ASSERT_GT(file.size(), 4u);
    EXPECT_EQ(file[0], 0xFF);
    EXPECT_EQ(file[1], 0xD8);
    // Baseline, not progressive.
    EXPECT_NE(FindMarker(file, 0xC0), std::string::npos);
    EXPECT_EQ(FindMarker(file, 0xC2), std::string::npos);
    // Quality 90 scales the standard luminance table to 20 %: its first entry 16 becomes 3.
    size_t dqt = FindMarker(file, 0xDB);
    ASSERT_NE(dqt, std::string::npos);
    EXPECT_EQ(file[dqt + 5], 3);

    Raster decoded = DecodeJpeg(file);
    double mad = MeanAbsDiff(decoded, source);
    RecordProperty("mean_abs_diff", std::to_string(mad));
    EXPECT_LT(mad, 1.2);   // measured: 0.935
}

TEST(JpegEncode, OtherPixelFormatsAreEncodedAsTheirColours)
{
    Raster indexed(40, 30, PixelFormat::Bit4);
    std::vector<PaletteEntry> palette(16);
    for (int i = 0; i < 16; ++i)
        palette[size_t(i)] = {uint8_t(i * 16), uint8_t(200 - i * 8), uint8_t(i * 10), 0};
    indexed.SetPalette(palette);
    for (int y = 0; y < 30; ++y) {
        uint8_t* row = indexed.MutableRow(y);
        for (int x = 0; x < 20; ++x)
            row[x] = uint8_t(((y / 10) << 4) | (y / 10));   // bands of flat colour
    }
    Raster decoded = DecodeJpeg(EncodeJpeg(indexed));
    EXPECT_EQ(decoded.Format(), PixelFormat::Bit24);
    EXPECT_LT(MeanAbsDiff(decoded, indexed.ConvertedTo(PixelFormat::Bit24)), 2.0);

    Raster tiny(1, 1, PixelFormat::Bit32);
    std::memcpy(tiny.MutableRow(0), "\x20\x80\xE0\x00", 4);
    PaletteEntry p = DecodeJpeg(EncodeJpeg(tiny)).PixelAt(0, 0);
    EXPECT_NEAR(p.blue, 0x20, 4);
    EXPECT_NEAR(p.green, 0x80, 4);
    EXPECT_NEAR(p.red, 0xE0, 4);

    EXPECT_THROW(EncodeJpeg(Raster()), Failure);
}

TEST(LosslessJpeg, EveryTransformRearrangesTheBlocksOrIsRefusedWhenTheyWouldBeCut)
{
    using O = Orientation;
    // What moves the right edge to the left or top, and the bottom edge.
    const std::vector<O> movesRight = {O::FlipHorizontal, O::Rotate180, O::Transverse, O::RotateCounterClockwise};
    const std::vector<O> movesBottom = {O::Rotate180, O::FlipVertical, O::RotateClockwise, O::Transverse};
    struct Sample {
        int width, height, components;
        bool progressive, rightCut, bottomCut;   // an edge ends in part of a block (16 at 4:2:0, 8 in grey)
    };
    for (const Sample s : {Sample{64, 48, 3, false, false, false}, Sample{72, 40, 3, false, true, true},
                           Sample{48, 32, 3, true, false, false}, Sample{20, 16, 1, false, true, false}}) {
        const std::vector<uint8_t> file =
            CompressDirectly(s.width, s.height, s.components, Gradient(s.width, s.height, s.components), s.progressive);
        const Raster original = DecodeJpeg(file);
        for (int value = 1; value <= 8; ++value) {
            SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << " orientation " << value);
            const O o = O(value);
            const auto out = TransformJpeg(file, o);
            const bool cut = (s.rightCut && std::ranges::count(movesRight, o)) ||
                             (s.bottomCut && std::ranges::count(movesBottom, o));
            ASSERT_EQ(!out, cut);
            if (cut)
                continue;
            // What the decoder makes of the moved blocks differs from the
            // decoded pixels moved only by rounding along other axes.
            EXPECT_LT(MeanAbsDiff(DecodeJpeg(*out), TransformRaster(original, o)), 1.0);
            // Undone, the blocks are the file's, bit for bit.
            EXPECT_EQ(MeanAbsDiff(DecodeJpeg(TransformJpeg(*out, Inverse(o)).value()), original), 0.0);
            EXPECT_EQ(FindMarker(*out, 0xC2) != std::string::npos, s.progressive);
            if (!s.progressive)   // Huffman tables made for the data
                EXPECT_LT(out->size(), file.size());
        }
    }

    // Four quarter turns saved in turn give back the file's pixels.
    const std::vector<uint8_t> file = CompressDirectly(64, 48, 3, Gradient(64, 48, 3), false);
    std::vector<uint8_t> turned = file;
    for (int i = 0; i < 4; ++i)
        turned = TransformJpeg(turned, Orientation::RotateClockwise).value();
    EXPECT_EQ(MeanAbsDiff(DecodeJpeg(turned), DecodeJpeg(file)), 0.0);
    EXPECT_THROW(TransformJpeg(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xD9}, Orientation::Rotate180), Failure);
}
