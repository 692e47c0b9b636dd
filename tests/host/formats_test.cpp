// The newer formats (GIF, WebP, TIFF, AVIF) read by content: samples made
// here with the libraries' own encoders (AVIF by Debian's avifenc), good and
// damaged, through DecodeRasterFile and the animation decoders.
#include <gtest/gtest.h>

#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "imaging/codecs/ImageFormats.h"
#include "imaging/codecs/JpegMetadata.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/codecs/TiffCodec.h"
#include "imaging/codecs/WebpCodec.h"
#include "imaging/display/RasterFiles.h"
#include "imaging/pixels/Levels.h"
#include "rules/EmailAttachment.h"
#include "tests/FormatSamples.h"
#include "tests/host/format_writers.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
using format_samples::TwoFrameGif;
using namespace format_writers;
constexpr int kW = 24, kH = 16;

// The sample picture: red left half, blue right half, the bottom right
// quarter transparent when alpha is asked for. BGRA or BGR bytes.
Raster Sample(bool alpha)
{
    Raster r(kW, kH, alpha ? PixelFormat::Bit32 : PixelFormat::Bit24);
    r.SetAlpha(alpha ? AlphaMode::Straight : AlphaMode::None);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint8_t* p = r.MutableRow(y) + x * (alpha ? 4 : 3);
            p[0] = x < kW / 2 ? 0 : 255;
            p[1] = 0;
            p[2] = x < kW / 2 ? 255 : 0;
            if (alpha)
                p[3] = x >= kW / 2 && y >= kH / 2 ? 0 : 255;
        }
    return r;
}

// ---------------------------------------------------------------- WebP writers

// Two 6 × 4 frames: green, then red, 50 ms each, looping without end.
Bytes AnimatedWebp()
{
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(6, 4, &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = 1;
    int timestamp = 0;
    for (uint32_t argb : {0xFF00FF00u, 0xFFFF0000u}) {
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.use_argb = 1;
        picture.width = 6;
        picture.height = 4;
        WebPPictureAlloc(&picture);
        for (int i = 0; i < 24; ++i)
            picture.argb[i] = argb;
        WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
        WebPPictureFree(&picture);
        timestamp += 50;
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
    WebPData data;
    WebPDataInit(&data);
    WebPAnimEncoderAssemble(encoder, &data);
    Bytes out(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    WebPAnimEncoderDelete(encoder);
    return out;
}

// ---------------------------------------------------------------- TIFF writer

// Three pages of 4 × 3 grey, written by libtiff itself.
Bytes ThreePageTiff()
{
    const fs::path path = fs::temp_directory_path() / ("pixavo-pages-" + std::to_string(getpid()) + ".tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    for (int page = 0; page < 3; ++page) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 4u);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 3u);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_MINISBLACK));
        TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
        uint8_t row[4] = {uint8_t(60 * page), 10, 20, 30};
        for (uint32_t y = 0; y < 3; ++y)
            TIFFWriteScanline(tif, row, y, 0);
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    std::ifstream in(path, std::ios::binary);
    Bytes out{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    fs::remove(path);
    return out;
}

// ---------------------------------------------------------------- AVIF by avifenc

// The sample as a PNG (RGBA) given to avifenc with the options (twice for
// an image sequence of two frames); its output.
Bytes Avifenc(bool alpha, const std::string& options, bool sequence = false)
{
    const Raster pixels = Sample(alpha);
    PngImage png;
    png.width = kW;
    png.height = kH;
    png.colorType = 6;
    png.rowBytes = kW * 4;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const PaletteEntry p = pixels.PixelAt(x, y);
            const uint8_t a = alpha ? pixels.Row(y)[4 * x + 3] : 255;
            png.rows.insert(png.rows.end(), {p.red, p.green, p.blue, a});
        }
    const fs::path dir = fs::temp_directory_path() / ("pixavo-avif-" + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        const Bytes file = EncodePng(png);
        std::ofstream(dir / "in.png", std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    }
    const std::string command =
        "avifenc " + options + " " + (dir / "in.png").string() + " " + (sequence ? (dir / "in.png").string() : "") + " " +
        (dir / "out.avif").string() + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(dir / "out.avif", std::ios::binary);
    Bytes out{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    fs::remove_all(dir);
    return out;
}

// The sample's RGB samples scaled to `bits` bits, as a TIFF writer takes
// them, with the page that holds them.
std::pair<TiffLayout, std::vector<uint32_t>> SampleTiff(uint16_t bits, uint16_t orientation = ORIENTATION_TOPLEFT,
                                                      uint16_t compression = COMPRESSION_NONE)
{
    const Raster pixels = Sample(false);
    std::vector<uint32_t> values;
    const uint64_t max = (uint64_t(1) << bits) - 1;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const PaletteEntry p = pixels.PixelAt(x, y);
            for (uint8_t v : {p.red, p.green, p.blue})
                values.push_back(uint32_t(v * max / 255));
        }
    return {{.width = kW, .height = kH, .bits = bits, .compression = compression, .orientation = orientation}, values};
}

Bytes SampleTiffFile(uint16_t bits, uint16_t orientation = ORIENTATION_TOPLEFT, uint16_t compression = COMPRESSION_NONE)
{
    const auto [page, values] = SampleTiff(bits, orientation, compression);
    return WriteTiff(page, values);
}

// Grey samples of 32-bit floats, 0.5 each.
Bytes FloatTiff()
{
    float half = 0.5f;
    uint32_t bits = 0;
    std::memcpy(&bits, &half, 4);
    return WriteTiff({.width = 4, .height = 2, .bits = 32, .samples = 1, .photometric = PHOTOMETRIC_MINISBLACK,
                      .format = SAMPLEFORMAT_IEEEFP},
                     std::vector<uint32_t>(8, bits));
}

// An Exif block (its TIFF structure) whose orientation is 6: shown turned a
// quarter clockwise.
const Bytes kExifTurned = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};

// The sample by avifenc with that Exif block (from which avifenc writes the
// turn too, unless the options say otherwise).
Bytes AvifTurnedByExif(const std::string& options)
{
    const fs::path exif = fs::temp_directory_path() / ("pixavo-exif-" + std::to_string(getpid()));
    std::ofstream(exif, std::ios::binary).write(reinterpret_cast<const char*>(kExifTurned.data()), kExifTurned.size());
    Bytes out = Avifenc(false, "--exif " + exif.string() + " " + options);
    fs::remove(exif);
    return out;
}

Bytes Cut(Bytes b, size_t keep)
{
    b.resize(std::min(b.size(), keep));
    return b;
}

Bytes Damaged(Bytes b, size_t from, size_t count)
{
    for (size_t i = from; i < std::min(b.size(), from + count); ++i)
        b[i] ^= 0x5A;
    return b;
}

// The colour at (x, y) as "r,g,b[,a]" with each channel rounded to a step
// of 32, which lossy coding stays within.
std::string Colour(const Raster& r, int x, int y)
{
    const uint8_t* p = r.Row(y) + x * (r.Bits() / 8);
    auto level = [](int v) { return std::to_string((v + 16) / 32 * 32); };
    std::string text = level(p[2]) + "," + level(p[1]) + "," + level(p[0]);
    if (r.Alpha() == AlphaMode::Straight)
        text += "," + level(p[3]);
    return text;
}

} // namespace

TEST(Formats, GoodAndDamagedSamplesOfEachKind)
{
    DecodeLimits::maxPixels = uint64_t(1) << 24;
    const Bytes gif = TwoFrameGif();
    const Bytes lossless = EncodeWebp(Sample(true), true);
    const Bytes lossy = EncodeWebp(Sample(false), false);
    const Bytes animatedWebp = AnimatedWebp();
    const Bytes tiff = EncodeTiff(Sample(true));
    const Bytes pages = ThreePageTiff();
    const Bytes avif = Avifenc(false, "--min 0 --max 10");
    const Bytes avif10 = Avifenc(true, "-d 10 -y 444 --min 0 --max 10");
    const Bytes webpTurned = EncodeWebp(Sample(false), true, {.exif = kExifTurned});
    // A GIF whose screen is 65535 × 65535.
    Bytes hugeGif = gif;
    hugeGif[6] = hugeGif[7] = hugeGif[8] = hugeGif[9] = 0xFF;

    struct Case {
        const char* what;
        Bytes file;
        RasterFileType type;
        std::string failure;       // the message's start when it is to fail
        int width = 0, height = 0, frames = 1, pages = 1;
        bool lossless = false;
        std::vector<std::string> colours = {};   // at (1, 1) and (w - 2, h - 2)
    };
    const std::string r = "256,0,0", b = "0,0,256";
    const Case cases[] = {
        {"animated GIF", gif, RasterFileType::Gif, "", 8, 6, 2, 1, false, {r, r}},
        {"GIF with its second frame cut", Cut(gif, gif.size() - 6), RasterFileType::Gif, "", 8, 6, 1, 1, false, {r, r}},
        {"GIF without frames", Cut(gif, 40), RasterFileType::Gif, "GIF image is not valid"},
        {"GIF larger than allowed", hugeGif, RasterFileType::Gif, "Out of memory"},
        {"lossless WebP with alpha", lossless, RasterFileType::Webp, "", kW, kH, 1, 1, true, {r + ",256", b + ",0"}},
        {"lossy WebP", lossy, RasterFileType::Webp, "", kW, kH, 1, 1, false, {r, b}},
        {"animated WebP", animatedWebp, RasterFileType::Webp, "", 6, 4, 2, 1, true, {"0,256,0", "0,256,0"}},
        // Shown upright as a JPEG is: 16 × 24, its left (red) edge on top.
        {"WebP with an Exif orientation", webpTurned, RasterFileType::Webp, "", kH, kW, 1, 1, true, {r, b}},
        {"WebP cut short", Cut(lossy, lossy.size() / 2), RasterFileType::Webp, "WebP image is not valid"},
        {"WebP with damaged data", Damaged(lossless, 30, 40), RasterFileType::Webp, "WebP image is not valid"},
        // Unassociated alpha stays straight: the colour under transparent pixels is kept.
        {"TIFF with alpha", tiff, RasterFileType::Tiff, "", kW, kH, 1, 1, false, {r + ",256", b + ",0"}},
        {"TIFF of three pages", pages, RasterFileType::Tiff, "", 4, 3, 1, 3, false, {"0,0,0", "32,32,32"}},
        {"TIFF cut short", Cut(tiff, 20), RasterFileType::Tiff, "TIFF image is not valid: its data is cut short"},
        {"TIFF with damaged compressed data", Damaged(SampleTiffFile(8, 1, COMPRESSION_ADOBE_DEFLATE), 10, 4),
         RasterFileType::Tiff, "TIFF image is not valid: its compressed data is damaged"},
        // Shown upright as its Orientation tag says: turned half round, a
        // quarter clockwise (its left edge on top), a quarter anti-clockwise.
        {"TIFF turned by its Orientation tag", SampleTiffFile(8, ORIENTATION_BOTRIGHT), RasterFileType::Tiff, "",
         kW, kH, 1, 1, false, {b, r}},
        {"TIFF turned a quarter by its tag", SampleTiffFile(8, ORIENTATION_RIGHTTOP), RasterFileType::Tiff, "",
         kH, kW, 1, 1, false, {r, b}},
        {"TIFF turned back a quarter by its tag", SampleTiffFile(8, ORIENTATION_LEFTBOT), RasterFileType::Tiff, "",
         kH, kW, 1, 1, false, {b, r}},
        {"TIFF of 12-bit samples", SampleTiffFile(12), RasterFileType::Tiff, "", kW, kH, 1, 1, false, {r, b}},
        {"TIFF of floating-point samples", FloatTiff(), RasterFileType::Tiff,
         "TIFF image is not supported: its samples are floating-point numbers"},
        {"TIFF of 12 bits with horizontal differencing",
         WriteTiff({.width = 4, .height = 2, .bits = 12, .samples = 1, .photometric = PHOTOMETRIC_MINISBLACK,
                    .compression = COMPRESSION_LZW, .predictor = PREDICTOR_HORIZONTAL},
                   std::vector<uint32_t>(8, 100)),
         RasterFileType::Tiff, "TIFF image is not supported: its horizontal differencing is not read"},
        {"GIF of codes wider than GIF allows", GifWithCodeSize(4, 2, std::vector<uint16_t>(8, 1), 12),
         RasterFileType::Gif, "GIF image is not valid: a frame's compressed data starts with codes wider than GIF allows"},
        {"AVIF, 8 bits 4:2:0", avif, RasterFileType::Avif, "", kW, kH, 1, 1, false, {r, b}},
        {"AVIF, 10 bits 4:4:4 with alpha", avif10, RasterFileType::Avif, "", kW, kH, 1, 1, false, {r + ",256", b + ",0"}},
        {"AVIF image sequence", Avifenc(false, "", true), RasterFileType::Avif, "", kW, kH, 2, 1, false, {r, b}},
        {"AVIF with an Exif orientation", AvifTurnedByExif("--irot 0"), RasterFileType::Avif, "", kH, kW, 1, 1, false, {r, b}},
        // The turn and the Exif block say the same: turned once.
        {"AVIF with a turn and an Exif orientation", AvifTurnedByExif(""), RasterFileType::Avif, "", kH, kW, 1, 1, false, {r, b}},
        {"AVIF cut short", Cut(avif, avif.size() - 40), RasterFileType::Avif, "AVIF image is not valid"},
        {"AVIF with damaged boxes", Damaged(avif, 40, 200), RasterFileType::Avif, "AVIF image is not"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.file.empty());
        EXPECT_EQ(SniffRasterFile(c.file), c.type);
        if (!c.failure.empty()) {
            try {
                DecodeRasterFile(c.file);
                ADD_FAILURE() << "decoded";
            } catch (const Failure& failure) {
                EXPECT_EQ(Narrow(failure.Message()).substr(0, c.failure.size()), c.failure) << Narrow(failure.Message());
            }
            continue;
        }
        RasterFile file = DecodeRasterFile(c.file);
        EXPECT_EQ(file.type, c.type);
        // The headers alone tell the size (reading ahead bounds its memory by it).
        EXPECT_EQ(RasterFileSize(c.file).width, c.width);
        EXPECT_EQ(RasterFileSize(c.file).height, c.height);
        EXPECT_EQ(file.pixels.Width(), c.width);
        EXPECT_EQ(file.pixels.Height(), c.height);
        EXPECT_EQ(file.frameCount, c.frames);
        EXPECT_EQ(file.pageCount, c.pages);
        EXPECT_EQ(file.lossless, c.lossless);
        // Animations are played from their file; an AVIF sequence shows its first frame.
        EXPECT_EQ(bool(file.animation), c.frames > 1 && c.type != RasterFileType::Avif);
        EXPECT_EQ(Colour(file.pixels, 1, 1), c.colours.at(0));
        EXPECT_EQ(Colour(file.pixels, c.width - 2, c.height - 2), c.colours.at(1));
        // The Exif block kept for a save says the pixels are upright now.
        if (!file.metadata.exif.empty())
            EXPECT_EQ(ExifBlockOrientation(file.metadata.exif), 1);
    }
    DecodeLimits::maxPixels = uint64_t(1) << 28;
}

// Pages of every layout at depths libtiff's RGBA reading does not take:
// each sample scaled from its depth's full range, min-is-white turned round,
// signed samples counted from their least value, alpha kept straight.
TEST(Formats, TiffSamplesOfEveryDepthAreScaledFromTheirFullRange)
{
    constexpr uint32_t w = 37, h = 21;   // odd, so packed rows end inside a byte; tiles of 16 cross both edges
    const uint16_t deflate = COMPRESSION_ADOBE_DEFLATE, grey = PHOTOMETRIC_MINISBLACK, rgb = PHOTOMETRIC_RGB;
    const uint16_t separate = PLANARCONFIG_SEPARATE, contig = PLANARCONFIG_CONTIG;
    const TiffLayout pages[] = {
        {.bits = 12, .samples = 1, .photometric = grey},
        {.bits = 10, .samples = 3, .photometric = rgb, .compression = COMPRESSION_LZW},
        {.bits = 14, .samples = 1, .photometric = PHOTOMETRIC_MINISWHITE, .compression = deflate, .tile = 16},
        {.bits = 24, .samples = 3, .photometric = rgb, .planar = separate, .compression = deflate},
        {.bits = 32, .samples = 4, .photometric = rgb, .compression = deflate, .predictor = PREDICTOR_HORIZONTAL,
         .extra = {EXTRASAMPLE_UNASSALPHA}, .tile = 16},
        {.bits = 16, .samples = 2, .photometric = grey, .compression = deflate, .predictor = PREDICTOR_HORIZONTAL,
         .extra = {EXTRASAMPLE_ASSOCALPHA}},
        {.bits = 8, .samples = 4, .photometric = rgb, .planar = separate, .extra = {EXTRASAMPLE_ASSOCALPHA}, .tile = 16},
        {.bits = 12, .samples = 1, .photometric = grey, .format = SAMPLEFORMAT_INT},
        {.bits = 6, .samples = 3, .photometric = rgb, .planar = contig, .compression = COMPRESSION_PACKBITS},
        {.bits = 12, .samples = 2, .photometric = grey, .extra = {EXTRASAMPLE_UNSPECIFIED}},
    };
    for (TiffLayout page : pages) {
        page.width = w, page.height = h;
        const bool alpha = !page.extra.empty() && page.extra[0] != EXTRASAMPLE_UNSPECIFIED;
        const bool associated = alpha && page.extra[0] == EXTRASAMPLE_ASSOCALPHA;
        const int colours = page.photometric == rgb ? 3 : 1;
        SCOPED_TRACE(testing::Message() << page.bits << " bits, " << page.samples << " samples, photometric "
                                        << page.photometric << ", planar " << page.planar << ", tile " << page.tile
                                        << ", format " << page.format);
        // Samples spread over the whole range, the first pixel's colours the
        // largest; pixel 1 transparent (its colours 0 when they are premultiplied).
        const uint64_t max = (uint64_t(1) << page.bits) - 1;
        std::vector<uint32_t> values(size_t(w) * h * page.samples);
        for (size_t i = 0; i < values.size(); ++i)
            values[i] = uint32_t(i < size_t(colours) ? max : (i * 2654435761u) & max);
        for (size_t p = 0; alpha && p < size_t(w) * h; ++p)
            for (int s = 0; s < page.samples; ++s)
                if (p == 1 && (s == colours || associated))
                    values[p * page.samples + size_t(s)] = 0;
                else if (s == colours)
                    values[p * page.samples + size_t(s)] = uint32_t(max);
        const RasterFile file = DecodeRasterFile(WriteTiff(page, values));
        ASSERT_EQ(file.pixels.Width(), int(w));
        ASSERT_EQ(file.pixels.Height(), int(h));
        ASSERT_EQ(file.pixels.Bits(), alpha ? 32 : 24);
        const uint32_t sign = page.format == SAMPLEFORMAT_INT ? uint32_t(1) << (page.bits - 1) : 0;
        auto scaled = [&](uint32_t v) { return int((uint64_t(v ^ sign) * 255 + max / 2) / max); };
        int mismatches = 0;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint32_t* in = &values[(size_t(y) * w + x) * page.samples];
                const uint8_t* out = file.pixels.Row(int(y)) + x * (alpha ? 4 : 3);
                for (int c = 0; c < 3; ++c) {
                    int expected = scaled(in[colours == 3 ? 2 - c : 0]);
                    if (page.photometric == PHOTOMETRIC_MINISWHITE)
                        expected = 255 - expected;
                    mismatches += out[c] != expected;
                }
                if (alpha)
                    mismatches += out[3] != scaled(in[colours]);
            }
        EXPECT_EQ(mismatches, 0);
        // The first pixel's colours are the largest values: white (black when
        // white is zero, mid-grey when they are signed).
        const int first = page.photometric == PHOTOMETRIC_MINISWHITE ? 0 : sign ? 127 : 255;
        EXPECT_EQ(file.pixels.PixelAt(0, 0), (PaletteEntry{uint8_t(first), uint8_t(first), uint8_t(first), 255}));
    }
}

TEST(Formats, AnimationsComposeTheirFramesWithTimingAndLoops)
{
    auto gif = OpenAnimation(RasterFileType::Gif, std::make_shared<const Bytes>(TwoFrameGif()));
    EXPECT_EQ(gif->LoopCount(), 3);
    const std::string red = "256,0,0,256", blue = "0,0,256,256";
    struct Step {
        int index, delayMs;
        std::string atSquareTop, atSquareBottom, outside;   // (2, 2), (2, 3), (0, 0)
    };
    // The third call starts again at the first frame.
    const Step steps[] = {{0, 100, red, red, red}, {1, 200, blue, blue, red}, {0, 100, red, red, red}};
    for (const Step& s : steps) {
        const AnimationFrame& frame = gif->Next();
        EXPECT_EQ(frame.index, s.index);
        EXPECT_EQ(frame.delayMs, s.delayMs);
        EXPECT_EQ(Colour(frame.pixels, 2, 2), s.atSquareTop);
        EXPECT_EQ(Colour(frame.pixels, 3, 2), red) << "transparent index leaves the canvas";
        EXPECT_EQ(Colour(frame.pixels, 2, 3), s.atSquareBottom);
        EXPECT_EQ(Colour(frame.pixels, 0, 0), s.outside);
    }

    // Playing goes on from the first frame the picture holds (opaque, so
    // marked without alpha): the second is composed on it, nothing decoded
    // twice. A green mark where the second frame does not draw stays.
    RasterFile still = DecodeRasterFile(TwoFrameGif());
    ASSERT_EQ(still.pixels.Alpha(), AlphaMode::None);
    Raster marked = still.pixels;
    uint8_t* mark = marked.MutableRow(0);
    mark[1] = 255, mark[2] = 0;
    auto player = OpenAnimation(RasterFileType::Gif, still.animation);
    player->ContinueAfterFirst({marked, 0, still.firstDelayMs});
    const AnimationFrame& afterFirst = player->Next();
    EXPECT_EQ(afterFirst.index, 1);
    EXPECT_EQ(afterFirst.pixels.Alpha(), AlphaMode::Straight);
    EXPECT_EQ(Colour(afterFirst.pixels, 0, 0), "0,256,0,256");
    EXPECT_EQ(Colour(afterFirst.pixels, 2, 3), blue);
    EXPECT_EQ(player->Next().index, 0);
    EXPECT_EQ(Colour(marked, 2, 3), "256,0,0");

    // The still picture knows how long its first frame stays.
    EXPECT_EQ(DecodeRasterFile(TwoFrameGif()).firstDelayMs, 100);
    EXPECT_EQ(DecodeRasterFile(AnimatedWebp()).firstDelayMs, 50);

    auto webp = OpenAnimation(RasterFileType::Webp, std::make_shared<const Bytes>(AnimatedWebp()));
    EXPECT_EQ(webp->LoopCount(), 0);
    EXPECT_EQ(Colour(webp->Next().pixels, 3, 2), "0,256,0,256");
    const AnimationFrame& second = webp->Next();
    EXPECT_EQ(second.delayMs, 50);
    EXPECT_EQ(Colour(second.pixels, 3, 2), "256,0,0,256");

    // Frames times canvas beyond the bound fail before any frame is made.
    const uint64_t bound = AnimationLimits::maxTotalPixels;
    AnimationLimits::maxTotalPixels = 6 * 4;
    EXPECT_THROW(OpenAnimation(RasterFileType::Webp, std::make_shared<const Bytes>(AnimatedWebp())), Failure);
    AnimationLimits::maxTotalPixels = bound;
}

// Red over the whole canvas; a blue square, disposed as the row says; then
// a green dot elsewhere. Under the dot's frame the square's place shows
// what the disposal left. Every frame is shown for its delay, at least
// 100 ms when the file says 10 ms or less.
TEST(Formats, FramesAreDisposedAndTimedAsTheirFilesSay)
{
    const std::string red = "256,0,0,256", blue = "0,0,256,256", clear = "0,0,0,0";
    auto gif = [](int disposal, std::vector<int> delays) {
        return GifOfFrames(8, 6, {{0, 0, 8, 6, 0, DISPOSAL_UNSPECIFIED, delays[0]},
                                  {2, 2, 4, 2, 1, disposal, delays[1]},
                                  {0, 0, 1, 1, 2, DISPOSAL_UNSPECIFIED, delays[2]}});
    };
    struct Case {
        const char* what;
        Bytes file;
        std::string square;        // at (3, 3) under the third frame
        std::vector<int> delaysMs;  // as shown
    };
    const Case cases[] = {
        {"GIF, not disposed", gif(DISPOSE_DO_NOT, {10, 10, 10}), blue, {100, 100, 100}},
        {"GIF, disposed to the background", gif(DISPOSE_BACKGROUND, {10, 10, 10}), clear, {100, 100, 100}},
        {"GIF, disposed to the previous frame", gif(DISPOSE_PREVIOUS, {10, 10, 10}), red, {100, 100, 100}},
        {"GIF of delays 0, 10 and 20 ms", gif(DISPOSE_DO_NOT, {0, 1, 2}), blue, {100, 100, 20}},
        {"GIF of delays 50, 200 and 70 ms", gif(DISPOSAL_UNSPECIFIED, {5, 20, 7}), blue, {50, 200, 70}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const RasterFile file = DecodeRasterFile(c.file);
        ASSERT_EQ(file.frameCount, 3);
        EXPECT_EQ(file.firstDelayMs, c.delaysMs[0]);
        auto animation = OpenAnimation(file.type, std::make_shared<const Bytes>(c.file));
        for (int i = 0; i < 3; ++i) {
            const AnimationFrame& frame = animation->Next();
            EXPECT_EQ(frame.delayMs, c.delaysMs[size_t(i)]) << "frame " << i;
            if (i == 2) {
                EXPECT_EQ(Colour(frame.pixels, 3, 3), c.square);
                EXPECT_EQ(Colour(frame.pixels, 0, 0), "0,256,0,256");
                EXPECT_EQ(Colour(frame.pixels, 7, 5), red);
            }
        }
    }
}

// Frames whose LZW minimum code size is above 8, which giflib refuses,
// decode as the same indices compressed at 8 bits, which giflib reads.
TEST(Formats, GifFramesOfWideCodesDecodeAsTheirEightBitTwins)
{
    constexpr int w = 211, h = 97;
    // Runs, repeats and noise: the code table fills, and is cleared, more than once.
    std::vector<uint16_t> indices(size_t(w) * h);
    uint32_t noise = 7;
    for (size_t i = 0; i < indices.size(); ++i) {
        noise = noise * 1103515245u + 12345u;
        indices[i] = uint16_t(i % 3 == 0 ? noise >> 24 : i / 40 % 256);
    }
    const RasterFile twin = DecodeRasterFile(GifWithCodeSize(w, h, indices, 8));
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = indices[size_t(y) * w + size_t(x)];
            wrong += twin.pixels.PixelAt(x, y) != PaletteEntry{uint8_t(i / 2), uint8_t(255 - i), uint8_t(i), 255};
        }
    ASSERT_EQ(wrong, 0) << "the sample's LZW data";
    for (int size : {9, 10, 11}) {
        SCOPED_TRACE(testing::Message() << size << "-bit minimum code size");
        const RasterFile wide = DecodeRasterFile(GifWithCodeSize(w, h, indices, size));
        ASSERT_EQ(wide.pixels.Width(), w);
        ASSERT_EQ(wide.pixels.Height(), h);
        for (int y = 0; y < h; ++y)
            ASSERT_EQ(std::memcmp(wide.pixels.Row(y), twin.pixels.Row(y), size_t(w) * 3), 0) << "row " << y;
    }
    // An index past the colour table has no colour: the canvas stays transparent there.
    indices[1] = 300;
    const RasterFile past = DecodeRasterFile(GifWithCodeSize(w, h, indices, 9));
    EXPECT_EQ(Colour(past.pixels, 1, 0), "0,0,0,0");
    EXPECT_EQ(past.pixels.PixelAt(2, 0).blue, twin.pixels.PixelAt(2, 0).blue);
}

TEST(Formats, AvifTurnsAndMirrorsAreApplied)
{
    // The sample's corners: top left opaque red, top right opaque blue,
    // bottom left opaque red, bottom right transparent.
    const std::string red = "256,0,0,256", blue = "0,0,256,256", clear = "0,0,256,0";
    struct Case {
        std::string options;
        int width, height;
        std::string topLeft, bottomRight;
    };
    const Case cases[] = {
        {"", kW, kH, red, clear},
        {"--irot 1", kH, kW, blue, red},           // a quarter turn anti-clockwise
        {"--irot 3", kH, kW, red, blue},
        {"--imir 0", kW, kH, red, blue},           // top and bottom exchanged
        {"--imir 1", kW, kH, blue, red},           // left and right exchanged
        {"--irot 1 --imir 0", kH, kW, red, clear},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const RasterFile file = DecodeRasterFile(Avifenc(true, c.options));
        EXPECT_EQ(file.metadata.orientation, 1);
        ASSERT_EQ(file.pixels.Width(), c.width);
        ASSERT_EQ(file.pixels.Height(), c.height);
        EXPECT_EQ(Colour(file.pixels, 1, 1), c.topLeft);
        EXPECT_EQ(Colour(file.pixels, c.width - 2, c.height - 2), c.bottomRight);
    }
    // Without alpha the picture takes the 24-bit path: turned, then flipped.
    const RasterFile opaque = DecodeRasterFile(Avifenc(false, "--irot 1 --imir 0"));
    EXPECT_EQ(Colour(opaque.pixels, 1, 1), "256,0,0");
    EXPECT_EQ(Colour(opaque.pixels, kH - 2, kW - 2), "0,0,256");
}

// Every raster row of the formats' table has its own codec, which reads it
// and writes it exactly when the row says it can be saved; no type has two.
TEST(Formats, EveryRasterFormatHasOneCodecThatReadsItAndWritesWhatItsRowWrites)
{
    for (const FileFormat& format : FileFormats()) {
        if (format.kind != GraphicKind::Raster)
            continue;
        SCOPED_TRACE(testing::Message() << std::string(format.extensions[0].begin(), format.extensions[0].end()));
        const RasterCodec& codec = RasterCodecOf(format.type);
        EXPECT_EQ(codec.type, format.type) << "no codec of its own";
        EXPECT_TRUE(codec.recognise && codec.decode);
        EXPECT_EQ(codec.encode != nullptr, format.Writable());
    }
    for (const RasterCodec& codec : RasterCodecs())
        EXPECT_EQ(&RasterCodecOf(codec.type), &codec) << "a type with two codecs";
}

TEST(Formats, SavingWritesWebpAndTiffAndRefusesTheRest)
{
    const Raster sample = Sample(false);
    for (RasterFileType type : {RasterFileType::Webp, RasterFileType::Tiff}) {
        const RasterFile back = DecodeRasterFile(EncodeRasterFile(type, sample, true, {}));
        EXPECT_EQ(back.type, type);
        EXPECT_EQ(Colour(back.pixels, 20, 10), "0,0,256");
    }
    struct Refusal {
        RasterFileType type;
        std::wstring message;
    };
    for (const Refusal& refusal : {Refusal{RasterFileType::Gif, L"Saving as a GIF image is not supported"},
                                   Refusal{RasterFileType::Avif, L"Saving as an AVIF image is not supported"}}) {
        try {
            EncodeRasterFile(refusal.type, sample, false, {});
            ADD_FAILURE() << "written";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.Message(), refusal.message);
        }
    }
    const Bytes heic = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'};
    try {
        DecodeRasterFile(heic);
        ADD_FAILURE() << "decoded";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Message(), L"No decoder for HEIC images is installed on this computer");
    }
}

// A still, opaque WebP shown reduced holds its file and the level, decoded
// straight at the level's size and close to the level of the whole picture;
// its pixels, once asked for, are the whole decode's, and the file goes.
// Pictures with alpha are decoded whole.
TEST(Formats, ReducedWebpKeepsItsFileAndLevelUntilItsPixelsAreNeeded)
{
    constexpr int w = 400, h = 300, level = 2;
    for (const bool alpha : {false, true})
        for (const bool lossless : {false, true}) {
            SCOPED_TRACE(testing::Message() << "alpha " << alpha << ", lossless " << lossless);
            Raster photo(w, h, alpha ? PixelFormat::Bit32 : PixelFormat::Bit24);
            photo.SetAlpha(alpha ? AlphaMode::Straight : AlphaMode::None);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    uint8_t* p = photo.MutableRow(y) + x * photo.Bits() / 8;
                    p[0] = uint8_t(x * 255 / w), p[1] = uint8_t(y * 255 / h), p[2] = uint8_t((x + y) % 256);
                    if (alpha)
                        p[3] = x < w / 2 ? 255 : 128;
                }
            const Bytes file = EncodeWebp(photo, lossless);
            const Raster whole = DecodeRasterFile(file).pixels;
            const auto source = RasterFileSource::ShownFrom(file, [](int, int) { return level; });
            ASSERT_EQ(source->Width(), w);
            ASSERT_EQ(source->Height(), h);
            EXPECT_EQ(source->File().lossless, lossless);
            if (alpha) {
                EXPECT_GE(source->MemoryUse(), whole.ByteSize());
                continue;
            }
            EXPECT_LT(source->MemoryUse(), file.size() + whole.ByteSize() / 4);
            const Raster reduced = source->Level(level), expected = MakeLevel(whole, level);
            ASSERT_EQ(reduced.Width(), expected.Width());
            ASSERT_EQ(reduced.Height(), expected.Height());
            uint64_t difference = 0;
            for (int y = 0; y < reduced.Height(); ++y)
                for (int x = 0; x < reduced.Width() * 3; ++x)
                    difference += uint64_t(std::abs(reduced.Row(y)[x] - expected.Row(y)[x]));
            EXPECT_LE(difference / (uint64_t(reduced.Width()) * reduced.Height() * 3), 3u);
            const Raster& pixels = source->Pixels();
            ASSERT_EQ(pixels.ByteSize(), whole.ByteSize());
            for (int y = 0; y < h; ++y)
                ASSERT_EQ(std::memcmp(pixels.Row(y), whole.Row(y), size_t(w) * 3), 0) << "row " << y;
            EXPECT_EQ(source->MemoryUse(), whole.ByteSize() + reduced.ByteSize());   // the file let go
        }
}

TEST(Formats, EveryRuleReadsTheOneTable)
{
    struct Case {
        const wchar_t* name;
        bool supported;            // listed and opened
        bool registeredBeforePng;  // in the format registry before the PNG codec registers
        const wchar_t* mailedAs;
        const wchar_t* refusal;    // a save's refusal, empty when it writes
        GraphicKind kind;
    };
    const Case cases[] = {
        {L"PHOTO.JPG", true, true, L"PHOTO.JPG", L"", GraphicKind::Jpeg},
        {L"photo.Jpeg", true, true, L"photo.Jpeg", L"", GraphicKind::Jpeg},
        {L"a.b.png", true, false, L"a.b.png", L"", GraphicKind::Png},
        {L"c.BMP", true, true, L"c.jpg", L"", GraphicKind::Raster},
        {L"x.ICO", true, true, L"x.jpg", L"Saving as an Icon is not supported", GraphicKind::Icon},
        {L"m.wmf", true, true, L"m.wmf", L"", GraphicKind::Metafile},
        {L"m.emf", true, true, L"m.emf", L"", GraphicKind::Metafile},
        {L"a.gif", true, true, L"a.jpg", L"Saving as a GIF image is not supported", GraphicKind::Raster},
        {L"a.webp", true, true, L"a.webp", L"", GraphicKind::Raster},
        {L"a.TIF", true, true, L"a.TIF", L"", GraphicKind::Raster},
        {L"a.tiff", true, true, L"a.tiff", L"", GraphicKind::Raster},
        {L"a.avif", true, true, L"a.jpg", L"Saving as an AVIF image is not supported", GraphicKind::Raster},
        {L"a.heic", true, true, L"a.jpg", L"Saving as a HEIC image is not supported", GraphicKind::Raster},
        {L"a.jxl", true, true, L"a.jpg", L"Saving as a JPEG XL image is not supported", GraphicKind::Raster},
        {L"photo", false, false, L"photo", L"", GraphicKind::Raster},
        {L"photo.jpg.txt", false, false, L"photo.jpg.txt", L"", GraphicKind::Raster},
        {L"dir.jpg\\photo", false, false, L"dir.jpg\\photo", L"", GraphicKind::Raster},
    };
    ASSERT_FALSE(FindFileFormat(L"png")) << "the PNG codec registers at program start";
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        EXPECT_EQ(IsSupportedImageFile(c.name), c.supported);
        EXPECT_EQ(FileFormatOf(c.name) != nullptr, c.registeredBeforePng);
        EXPECT_EQ(EmailAttachmentName(c.name), c.mailedAs);
        const FileFormat* format = FileFormatNamed(c.name);
        EXPECT_EQ(format ? std::wstring(format->refusal) : L"", c.refusal);
        EXPECT_EQ(format ? format->kind : GraphicKind::Raster, c.kind);
    }
    RegisterCodecFormats(GraphicKind::Png);
    EXPECT_EQ(FileFormatOf(L"A.PNG"), FileFormatNamed(L"a.png"));
    UnregisterCodecFormats(GraphicKind::Png);
    EXPECT_FALSE(FileFormatOf(L"a.png"));
    EXPECT_TRUE(FileFormatOf(L"a.jpg"));

    // The dialogs' lists: every extension (the save dialog's without those
    // that cannot be written), the original formats first as they always were.
    auto listed = [](bool writableOnly) {
        std::wstring text;
        for (const FileDialogEntry& entry : FileDialogEntries(writableOnly))
            text += entry.description + L"|" + entry.patterns + L"|";
        return text;
    };
    EXPECT_EQ(listed(false),
              L"All (*.png;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf;*.gif;*.webp;*.tif;*.tiff;*.avif;*.heic;*.heif;*.jxl)|"
              L"*.png;*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf;*.gif;*.webp;*.tif;*.tiff;*.avif;*.heic;*.heif;*.jxl|"
              L"Portable Network Graphics (*.png)|*.png|JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|"
              L"Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|Enhanced Metafiles (*.emf)|*.emf|Metafiles (*.wmf)|*.wmf|"
              L"GIF Image (*.gif)|*.gif|WebP Image (*.webp)|*.webp|TIFF Image (*.tif)|*.tif|"
              L"TIFF Image (*.tiff)|*.tiff|AVIF Image (*.avif)|*.avif|HEIC Image (*.heic)|*.heic|"
              L"HEIF Image (*.heif)|*.heif|JPEG XL Image (*.jxl)|*.jxl|");
    EXPECT_EQ(listed(true), L"All (*.png;*.jpg;*.jpeg;*.bmp;*.emf;*.wmf;*.webp;*.tif;*.tiff)|"
                            L"*.png;*.jpg;*.jpeg;*.bmp;*.emf;*.wmf;*.webp;*.tif;*.tiff|"
                            L"Portable Network Graphics (*.png)|*.png|JPEG Image File (*.jpg)|*.jpg|"
                            L"JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp|Enhanced Metafiles (*.emf)|*.emf|"
                            L"Metafiles (*.wmf)|*.wmf|WebP Image (*.webp)|*.webp|TIFF Image (*.tif)|*.tif|"
                            L"TIFF Image (*.tiff)|*.tiff|");

    // -install takes over the original seven and offers the others.
    auto associated = [](Association association) {
        std::wstring text;
        for (const FileTypeEntry& type : AssociatedFileTypes(association))
            text += type.extension + L"=" + type.description + L";";
        return text;
    };
    EXPECT_EQ(associated(Association::TakeOver),
              L".png=PNG Image;.jpg=JPEG Image;.jpeg=JPEG Image;.bmp=Bitmap;.ico=Windows Icon;"
              L".emf=Enhanced Metafile Image;.wmf=Windows Metafile Image;");
    EXPECT_EQ(associated(Association::OpenWith),
              L".gif=GIF Image;.webp=WebP Image;.tif=TIFF Image;.tiff=TIFF Image;.avif=AVIF Image;"
              L".heic=HEIC Image;.heif=HEIF Image;.jxl=JPEG XL Image;");
}
