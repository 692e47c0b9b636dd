#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <lcms2.h>

#include "imaging/ColourTransform.h"
#include "imaging/DisplayTiles.h"
#include "imaging/JpegCodec.h"
#include "imaging/PngCodec.h"
#include "imaging/RasterFiles.h"

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

std::vector<uint8_t> Jpeg(const std::vector<uint8_t>& icc)
{
    JpegMetadata metadata;
    if (!icc.empty()) {
        std::vector<uint8_t> chunk{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1};
        chunk.insert(chunk.end(), icc.begin(), icc.end());
        metadata.segments.push_back({0xE2, chunk});
    }
    return EncodeJpeg(Red(), metadata);
}

std::vector<uint8_t> Png(const std::vector<uint8_t>& icc, bool srgbChunk = false)
{
    PngImage image = PngFromRaster(Red());
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
        {"untagged on a swapped monitor", GraphicKind::Jpeg, [&] { return Jpeg({}); }, true, swapped, 64, 230, 0, false},
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
