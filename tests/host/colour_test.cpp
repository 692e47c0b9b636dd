#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include <lcms2.h>

#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/JpegMetadata.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/codecs/RasterCodecs.h"
#include "imaging/colour/ColourTransform.h"
#include "imaging/display/DisplayTiles.h"

namespace {

// A profile whose red is sRGB's green and whose green is sRGB's red.
std::vector<uint8_t> SwappedProfile()
{
    const Chromaticities& s = kSrgbPrimaries;
    return MakeIccProfile({s.greenX, s.greenY, s.redX, s.redY, s.blueX, s.blueY, s.whiteX, s.whiteY}, kSrgbCurve);
}

std::vector<uint8_t> SrgbIcc()
{
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// Its header whole, its tag table cut off.
std::vector<uint8_t> Damaged(std::vector<uint8_t> icc)
{
    icc.resize(160);
    return icc;
}

Raster Red()
{
    Raster raster(64, 48, PixelFormat::Bit24);
    for (int y = 0; y < raster.Height(); ++y)
        for (int x = 0; x < raster.Width(); ++x) {
            uint8_t* p = raster.MutableRow(y) + 3 * x;
            p[0] = 0, p[1] = 0, p[2] = 230;   // blue, green, red
        }
    return raster;
}

// A solid picture of mid-tones, where the tone curves of sRGB and BT.709
// differ most.
constexpr uint8_t kMid[3] = {150, 60, 30};   // red, green, blue

Raster Mid(int width = 64, int height = 48)
{
    Raster raster(width, height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = raster.MutableRow(y) + 3 * x;
            p[0] = kMid[2], p[1] = kMid[1], p[2] = kMid[0];
        }
    return raster;
}

std::vector<uint8_t> Jpeg(const std::vector<uint8_t>& icc, const Raster& pixels = Red())
{
    JpegMetadata metadata;
    if (!icc.empty()) {
        std::vector<uint8_t> chunk{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1};
        chunk.insert(chunk.end(), icc.begin(), icc.end());
        metadata.segments.push_back({0xE2, chunk});
    }
    return EncodeJpeg(pixels, metadata);
}

std::vector<uint8_t> Png(const std::vector<uint8_t>& icc, bool srgbChunk = false, const Raster& pixels = Red())
{
    PngImage image = PngFromRaster(pixels);
    image.colour.icc = icc;
    if (srgbChunk)
        image.colour.srgbIntent = 0;
    return EncodePng(image);
}

std::vector<uint8_t> Other(RasterFileType type, const std::vector<uint8_t>& icc)
{
    ImageMetadata metadata;
    metadata.icc = icc;
    return EncodeRasterFile(type, Red(), true, metadata);
}

struct Case {
    const char* name;
    GraphicKind kind;
    std::function<std::vector<uint8_t>()> file;
    bool managed;
    std::vector<uint8_t> monitor;   // empty: sRGB
    int shownWidth;
    uint8_t red, green;             // what is shown (blue 0)
    bool converted;                 // a transform was made
};

TEST(ColourManagement, ShowsPicturesInTheirProfilesColours)
{
    const auto swapped = SwappedProfile(), srgb = SrgbIcc();
    ASSERT_FALSE(swapped.empty());
    const Case cases[] = {
        {"tagged JPEG", GraphicKind::Jpeg, [&] { return Jpeg(swapped); }, true, {}, 64, 0, 230, true},
        {"tagged JPEG reduced", GraphicKind::Jpeg, [&] { return Jpeg(swapped); }, true, {}, 32, 0, 230, true},
        {"tagged JPEG enlarged", GraphicKind::Jpeg, [&] { return Jpeg(swapped); }, true, {}, 128, 0, 230, true},
        {"tagged PNG", GraphicKind::Png, [&] { return Png(swapped); }, true, {}, 64, 0, 230, true},
        {"tagged WebP", GraphicKind::Raster, [&] { return Other(RasterFileType::Webp, swapped); }, true, {}, 64, 0, 230, true},
        {"tagged TIFF", GraphicKind::Raster, [&] { return Other(RasterFileType::Tiff, swapped); }, true, {}, 64, 0, 230, true},
        {"untagged JPEG", GraphicKind::Jpeg, [&] { return Jpeg({}); }, true, {}, 64, 230, 0, false},
        {"damaged profile JPEG", GraphicKind::Jpeg, [&] { return Jpeg(Damaged(swapped)); }, true, {}, 64, 230, 0, false},
        {"damaged profile TIFF", GraphicKind::Raster, [&] { return Other(RasterFileType::Tiff, Damaged(swapped)); }, true, {}, 64, 230, 0, false},
        {"management off", GraphicKind::Jpeg, [&] { return Jpeg(swapped); }, false, {}, 64, 230, 0, false},
        {"sRGB profile on sRGB", GraphicKind::Png, [&] { return Png(srgb); }, true, {}, 64, 230, 0, false},
        {"sRGB chunk on sRGB", GraphicKind::Png, [&] { return Png({}, true); }, true, {}, 64, 230, 0, false},
        {"sRGB on a swapped monitor", GraphicKind::Png, [&] { return Png(srgb); }, true, swapped, 64, 0, 230, true},
        {"untagged on a swapped monitor: sRGB", GraphicKind::Jpeg, [&] { return Jpeg({}); }, true, swapped, 64, 0, 230, true},
        {"damaged profile on a swapped monitor: sRGB", GraphicKind::Jpeg, [&] { return Jpeg(Damaged(swapped)); }, true, swapped, 64, 0, 230, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PreparedPicture prepared = PreparePicture(c.kind, c.file(), [&](int w, int h) {
            return std::pair{c.shownWidth, h * c.shownWidth / w};
        });
        DisplayTiles tiles;
        tiles.SetColours(std::make_shared<const MonitorColours>(c.managed, c.monitor));
        tiles.SetSource(prepared.source);
        tiles.SetShownSize(c.shownWidth, 48 * c.shownWidth / 64);
        EXPECT_EQ(tiles.Transform() != nullptr, c.converted);
        // Converted colours are never drawn straight from the picture's own pixels.
        if (c.converted)
            EXPECT_FALSE(tiles.DrawnStraight());
        const Raster& tile = tiles.Tile(0, 0);
        ASSERT_FALSE(tile.Empty());
        const uint8_t* p = tile.Row(tile.Height() / 2) + tile.Width() / 2 * tile.Bits() / 8;
        EXPECT_LE(std::abs(p[2] - c.red), 6) << int(p[2]);
        EXPECT_LE(std::abs(p[1] - c.green), 6) << int(p[1]);
        EXPECT_LE(p[0], 6);
    }
}

// The picture as avifenc writes it with that colour description, losslessly
// (RGB planes as they are: matrix 0).
std::vector<uint8_t> AvifWithCicp(const std::string& cicp)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("pixavo-cicp-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::vector<uint8_t> png = EncodePng(PngFromRaster(Mid()));
    std::ofstream(folder / "mid.png", std::ios::binary).write(reinterpret_cast<const char*>(png.data()), png.size());
    const std::string command = "avifenc --min 0 --max 0 -y 444 --cicp " + cicp + " " + (folder / "mid.png").string() +
                                " " + (folder / "mid.avif").string() + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream made(folder / "mid.avif", std::ios::binary);
    std::vector<uint8_t> avif{std::istreambuf_iterator<char>(made), std::istreambuf_iterator<char>()};
    fs::remove_all(folder);
    return avif;
}

// A profile with Adobe RGB's primaries and curve: a wide-gamut monitor's.
std::vector<uint8_t> WideProfile()
{
    return MakeIccProfile({0.64, 0.33, 0.21, 0.71, 0.15, 0.06, 0.3127, 0.3290}, {563.0 / 256});
}

// What Little CMS makes of that pixel (blue, green, red) from one profile to
// another (null: sRGB).
std::array<uint8_t, 3> LittleCms(const std::vector<uint8_t>* from, const std::vector<uint8_t>& to,
                                 std::array<uint8_t, 3> pixel)
{
    cmsHPROFILE source = from ? cmsOpenProfileFromMem(from->data(), cmsUInt32Number(from->size()))
                              : cmsCreate_sRGBProfile();
    cmsHPROFILE target = cmsOpenProfileFromMem(to.data(), cmsUInt32Number(to.size()));
    cmsHTRANSFORM transform = cmsCreateTransform(source, TYPE_BGR_8, target, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    cmsDoTransform(transform, pixel.data(), pixel.data(), 1);
    cmsDeleteTransform(transform);
    cmsCloseProfile(source);
    cmsCloseProfile(target);
    return pixel;
}

// A picture that says nothing of its colours, or says sRGB in any of the
// ways files say it, is converted from sRGB on a wide-gamut monitor, as a
// tagged one is from its profile; on an sRGB monitor nothing is converted
// and it is drawn straight from its pixels when enlarged. Expected colours
// come from Little CMS, from the raw numbers the decoder gave.
TEST(ColourManagement, WhatSaysNothingOrSrgbIsShownAsSrgb)
{
    const auto wide = WideProfile(), swapped = SwappedProfile();
    // BT.2020's primaries with sRGB's curve: what BT.2020 with BT.709's
    // transfer is shown as.
    const auto bt2020 = MakeIccProfile({0.708, 0.292, 0.170, 0.797, 0.131, 0.046, 0.3127, 0.3290}, kSrgbCurve);
    ASSERT_FALSE(wide.empty());
    auto jpeg = [](const std::vector<uint8_t>& icc) { return Jpeg(icc, Mid()); };
    auto png = [](bool srgbChunk) { return Png({}, srgbChunk, Mid()); };
    struct Row {
        const char* name;
        GraphicKind kind;
        std::vector<uint8_t> file;
        const std::vector<uint8_t>* from;   // the picture's colours; null: sRGB
    };
    const Row rows[] = {
        {"untagged JPEG", GraphicKind::Jpeg, jpeg({}), nullptr},
        {"untagged PNG", GraphicKind::Png, png(false), nullptr},
        {"PNG sRGB chunk", GraphicKind::Png, png(true), nullptr},
        {"AVIF sRGB (1/13)", GraphicKind::Raster, AvifWithCicp("1/13/0"), nullptr},
        {"AVIF unspecified (2/2)", GraphicKind::Raster, AvifWithCicp("2/2/0"), nullptr},
        {"AVIF BT.709 primaries, unspecified transfer (1/2)", GraphicKind::Raster, AvifWithCicp("1/2/0"), nullptr},
        {"AVIF BT.709 (1/1)", GraphicKind::Raster, AvifWithCicp("1/1/0"), nullptr},
        {"AVIF BT.601 transfer (1/6)", GraphicKind::Raster, AvifWithCicp("1/6/0"), nullptr},
        {"AVIF BT.2020 primaries, BT.709 transfer (9/1)", GraphicKind::Raster, AvifWithCicp("9/1/0"), &bt2020},
        {"AVIF BT.2020 10-bit transfer (9/14)", GraphicKind::Raster, AvifWithCicp("9/14/0"), &bt2020},
        {"tagged JPEG", GraphicKind::Jpeg, jpeg(swapped), &swapped},
        {"damaged profile: sRGB", GraphicKind::Jpeg, jpeg(Damaged(swapped)), nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const PreparedPicture prepared =
            PreparePicture(row.kind, row.file, [](int w, int h) { return std::pair{w * 2, h * 2}; });
        ASSERT_TRUE(prepared.source);
        const PixelWindow raw = prepared.source->Region({32, 24, 1, 1});
        ASSERT_FALSE(raw.pixels.Empty());
        const uint8_t* stored = raw.pixels.Row(24 - raw.y) + (32 - raw.x) * raw.pixels.Bits() / 8;
        const std::array<uint8_t, 3> numbers{stored[0], stored[1], stored[2]};
        for (const bool wideMonitor : {true, false}) {
            SCOPED_TRACE(wideMonitor ? "wide-gamut monitor" : "sRGB monitor");
            DisplayTiles tiles;
            tiles.SetColours(std::make_shared<const MonitorColours>(true, wideMonitor ? wide : SrgbIcc()));
            tiles.SetSource(prepared.source);
            tiles.SetShownSize(128, 96);
            const bool convert = wideMonitor || row.from;
            EXPECT_EQ(tiles.Transform() != nullptr, convert);
            // What needs no conversion costs nothing: drawn straight from its
            // pixels where the picture can be (a JPEG's or a raster's).
            EXPECT_EQ(tiles.DrawnStraight(), !convert && prepared.source->HasWhole());
            const Raster& tile = tiles.Tile(0, 0);
            ASSERT_FALSE(tile.Empty());
            const uint8_t* shown = tile.Row(48) + 64 * tile.Bits() / 8;
            const std::array<uint8_t, 3> expected =
                convert ? LittleCms(row.from, wideMonitor ? wide : SrgbIcc(), numbers) : numbers;
            for (int c = 0; c < 3; ++c)
                EXPECT_LE(std::abs(int(shown[c]) - int(expected[c])), 1)
                    << "channel " << c << ": " << int(shown[c]) << " for " << int(expected[c]);
        }
        // What the file's pixels are does not change: BT.709's numbers are
        // the picture's numbers.
        EXPECT_LE(std::abs(int(numbers[2]) - kMid[0]), 3);
    }
}

// The system's decoders (HEIC, HEIF, JPEG XL), stood in for: the
// orientation and profile they give with the pixels are applied as every
// format's are.
TEST(ColourManagement, SystemDecodedPicturesAreTurnedAndShownInTheirProfiles)
{
    const auto swapped = SwappedProfile();
    // Stored 8 × 4: a red column on the left, the rest blue.
    Raster stored(8, 4, PixelFormat::Bit24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            uint8_t* p = stored.MutableRow(y) + 3 * x;
            p[0] = x == 0 ? 0 : 200, p[1] = 0, p[2] = x == 0 ? 230 : 0;
        }
    // Exif blocks saying 6 (turn a quarter clockwise) and 8 (anti-clockwise).
    const std::vector<uint8_t> exif6 = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3,
                                        0,   1,   0,  0, 0, 6, 0, 0, 0, 0, 0,    0,    0};
    std::vector<uint8_t> exif8 = exif6;
    exif8[18] = 8;
    const std::vector<uint8_t> heic = {0, 0, 0, 20, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c',
                                       0, 0, 0, 0,  'm', 'i', 'f', '1', 0,   0,   0,   0};
    struct Row {
        const char* name;
        std::optional<int> orientation;   // the frame's own field
        std::vector<uint8_t> exif;
        std::vector<uint8_t> icc;
        bool turnedClockwise;             // else anti-clockwise, or not at all
        bool turned;
    };
    const Row rows[] = {
        {"as stored", std::nullopt, {}, {}, false, false},
        {"orientation 6", 6, {}, {}, true, true},
        {"orientation 8, profile", 8, {}, swapped, false, true},
        {"Exif 6 without orientation", std::nullopt, exif6, {}, true, true},
        {"orientation 8 over Exif 6", 8, exif6, swapped, false, true},
        {"Exif 8 without orientation, profile", std::nullopt, exif8, swapped, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetSystemDecoder([&](std::span<const uint8_t>, RasterFileType type) {
            EXPECT_EQ(type, RasterFileType::Heic);
            DecodedImage image;
            image.pixels = stored;
            image.metadata.orientation = row.orientation;
            image.metadata.exif = row.exif;
            image.metadata.icc = row.icc;
            return image;
        });
        const RasterFile file = DecodeRasterFile(heic);
        const PreparedPicture prepared = PreparePicture(GraphicKind::Raster, heic, [](int w, int h) {
            return std::pair{w, h};
        });
        SetSystemDecoder(nullptr);
        ASSERT_EQ(file.pixels.Width(), row.turned ? 4 : 8);
        // Where the red column went: the top row when turned clockwise, the
        // bottom row anti-clockwise, the left column as stored.
        const int redX = 0, redY = row.turned ? (row.turnedClockwise ? 0 : 7) : 2;
        EXPECT_EQ(file.pixels.PixelAt(redX, redY).red, 230);
        EXPECT_EQ(file.pixels.PixelAt(row.turned ? 3 : 7, row.turned ? 4 : 2).red, 0);
        // Upright now: the Exif block kept says so.
        if (!row.exif.empty())
            EXPECT_EQ(ExifBlockOrientation(file.metadata.exif), 1);
        // Shown in its profile's colours: the swapped profile shows red green.
        DisplayTiles tiles;
        tiles.SetSource(prepared.source);
        tiles.SetShownSize(prepared.source->Width(), prepared.source->Height());
        EXPECT_EQ(tiles.Transform() != nullptr, !row.icc.empty());
        const Raster& tile = tiles.Tile(0, 0);
        ASSERT_FALSE(tile.Empty());
        const uint8_t* red = tile.Row(redY) + redX * tile.Bits() / 8;
        EXPECT_LE(std::abs(int(red[row.icc.empty() ? 2 : 1]) - 230), 6);
        EXPECT_LE(red[row.icc.empty() ? 1 : 2], 6);
    }
}

// The conversion of photos' usual profiles (colorants and curves) agrees
// with Little CMS's own to a level, over a lattice of colours.
TEST(ColourManagement, ConvertsAsLittleCmsDoes)
{
    const auto wide = MakeIccProfile({0.64, 0.33, 0.21, 0.71, 0.15, 0.06, 0.3127, 0.3290}, {563.0 / 256});
    const auto transform = MonitorColours(true).TransformFor(IccProfile(wide).get());
    ASSERT_TRUE(transform);
    constexpr int kSide = 18;   // 0, 15, ... 255
    Raster mine(kSide * kSide * kSide, 1, PixelFormat::Bit24);
    uint8_t* p = mine.MutableRow(0);
    for (int i = 0; i < mine.Width(); ++i) {
        p[3 * i] = uint8_t(i % kSide * 15), p[3 * i + 1] = uint8_t(i / kSide % kSide * 15);
        p[3 * i + 2] = uint8_t(i / kSide / kSide * 15);
    }
    std::vector<uint8_t> theirs(p, p + 3 * mine.Width());
    transform->Apply(mine);

    cmsHPROFILE from = cmsOpenProfileFromMem(wide.data(), cmsUInt32Number(wide.size()));
    cmsHPROFILE to = cmsCreate_sRGBProfile();
    cmsHTRANSFORM lcms = cmsCreateTransform(from, TYPE_BGR_8, to, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    cmsDoTransform(lcms, theirs.data(), theirs.data(), cmsUInt32Number(mine.Width()));
    cmsDeleteTransform(lcms);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
    int worst = 0;
    for (size_t i = 0; i < theirs.size(); ++i)
        worst = std::max(worst, std::abs(int(mine.Row(0)[i]) - int(theirs[i])));
    EXPECT_LE(worst, 1);
}

} // namespace
