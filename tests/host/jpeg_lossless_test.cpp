#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "imaging/JpegCodec.h"
#include "imaging/Transform.h"
#include "system/Failure.h"
#include "tests/host/jpeg_metadata_material.h"

using namespace jpeg_material;

namespace {

constexpr Orientation kAll[] = {Orientation::Identity,  Orientation::FlipHorizontal,  Orientation::Rotate180,
                                Orientation::FlipVertical, Orientation::Transpose,   Orientation::RotateClockwise,
                                Orientation::Transverse, Orientation::RotateCounterClockwise};

// How a sample is compressed: the sampling of the first component (the
// others 1 × 1), progressive or not, greyscale or colour.
struct Coding {
    int h = 2, v = 2;
    bool progressive = false;
    bool grey = false;
};

// Photo-like content with nothing symmetric about it.
Raster Picture(int width, int height)
{
    Raster raster(width, height, PixelFormat::Bit24);
    uint32_t seed = 7;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            uint8_t* p = raster.MutableRow(y) + 3 * x;
            p[0] = uint8_t(x * 255 / width);
            p[1] = uint8_t(y * 200 / height + (seed >> 28));
            p[2] = uint8_t((x * x + 3 * y) % 256);
        }
    return raster;
}

// A JPEG made by libjpeg as coding says, quality 85.
std::vector<uint8_t> Compress(const Raster& picture, const Coding& coding)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(picture.Width());
    c.image_height = JDIMENSION(picture.Height());
    c.input_components = coding.grey ? 1 : 3;
    c.in_color_space = coding.grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    if (!coding.grey) {
        c.comp_info[0].h_samp_factor = coding.h;
        c.comp_info[0].v_samp_factor = coding.v;
    }
    if (coding.progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> grey(size_t(picture.Width()));
    while (c.next_scanline < c.image_height) {
        const uint8_t* row = picture.Row(int(c.next_scanline));
        for (size_t x = 0; x < grey.size(); ++x)
            grey[x] = row[3 * x + 1];
        JSAMPROW rows[1] = {const_cast<JSAMPROW>(coding.grey ? grey.data() : row)};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> file(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return file;
}

int MaxDifference(const Raster& a, const Raster& b)
{
    EXPECT_EQ(a.Width(), b.Width());
    EXPECT_EQ(a.Height(), b.Height());
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return 256;
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const PaletteEntry p = a.PixelAt(x, y), q = b.PixelAt(x, y);
            worst = std::max({worst, std::abs(p.blue - q.blue), std::abs(p.green - q.green), std::abs(p.red - q.red)});
        }
    return worst;
}

bool SamePixels(const Raster& a, const Raster& b)
{
    return a.Width() == b.Width() && a.Height() == b.Height() && MaxDifference(a, b) == 0;
}

bool Progressive(const std::vector<uint8_t>& file)
{
    for (size_t i = 0; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xC2)
            return true;
    return false;
}

} // namespace

TEST(LosslessJpeg, EveryTransformMovesTheBlocksWithoutLoss)
{
    struct Sample {
        const char* what;
        int width, height;
        Coding coding;
    };
    const Sample samples[] = {
        {"4:2:0", 64, 48, {}},
        {"4:2:2", 48, 32, {2, 1}},
        {"4:4:4 progressive", 40, 24, {1, 1, true}},
        {"greyscale", 24, 40, {1, 1, false, true}},
    };
    for (const Sample& s : samples) {
        const std::vector<uint8_t> file = Compress(Picture(s.width, s.height), s.coding);
        const Raster original = DecodeJpeg(file);
        for (const Orientation o : kAll) {
            SCOPED_TRACE(testing::Message() << s.what << ", orientation " << int(o));
            const auto out = TransformJpeg(file, o);
            ASSERT_TRUE(out);
            const JpegHeader header = ReadJpegHeader(*out);
            EXPECT_EQ(header.width, SwapsSides(o) ? s.height : s.width);
            EXPECT_EQ(header.height, SwapsSides(o) ? s.width : s.height);
            // The blocks themselves are moved: what the decoder makes of them
            // differs from the decoded pixels moved only by the rounding of
            // its transforms and smoothing, which run along other axes.
            EXPECT_LE(MaxDifference(DecodeJpeg(*out), TransformRaster(original, o)), 3);
            // Undone, the blocks are those of the file, bit for bit.
            const auto back = TransformJpeg(*out, Inverse(o));
            ASSERT_TRUE(back);
            EXPECT_TRUE(SamePixels(DecodeJpeg(*back), original));
            EXPECT_EQ(Progressive(*out), s.coding.progressive);
            // Huffman tables made for the data: never larger than the file.
            if (!s.coding.progressive)
                EXPECT_LT(out->size(), file.size());
        }
    }

    // Four quarter turns saved in turn give back the pixels of the file.
    const std::vector<uint8_t> file = Compress(Picture(64, 48), {});
    std::vector<uint8_t> turned = file;
    for (int i = 0; i < 4; ++i)
        turned = TransformJpeg(turned, Orientation::RotateClockwise).value();
    EXPECT_TRUE(SamePixels(DecodeJpeg(turned), DecodeJpeg(file)));
}

TEST(LosslessJpeg, SidesThatWouldCutBlocksAreRefused)
{
    using O = Orientation;
    // Refused: the transforms that move an edge ending in part of a block
    // (16 pixels at 4:2:0, 8 at 4:4:4 and in greyscale) to the left or top.
    struct Case {
        const char* what;
        int width, height;
        Coding coding;
        std::vector<O> refused;
    };
    const std::vector<O> widthCut = {O::FlipHorizontal, O::Rotate180, O::Transverse, O::RotateCounterClockwise};
    const std::vector<O> heightCut = {O::Rotate180, O::FlipVertical, O::RotateClockwise, O::Transverse};
    const Case cases[] = {
        {"4:2:0, width cut", 72, 48, {}, widthCut},
        {"4:2:0, height cut", 64, 40, {}, heightCut},
        {"4:4:4, whole blocks", 72, 40, {1, 1}, {}},
        {"greyscale, both cut", 20, 12, {1, 1, false, true},
         {O::FlipHorizontal, O::Rotate180, O::FlipVertical, O::RotateClockwise, O::Transverse,
          O::RotateCounterClockwise}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> file = Compress(Picture(c.width, c.height), c.coding);
        for (const O o : kAll) {
            SCOPED_TRACE(testing::Message() << c.what << ", orientation " << int(o));
            const bool refused = std::find(c.refused.begin(), c.refused.end(), o) != c.refused.end();
            EXPECT_EQ(!TransformJpeg(file, o), refused);
        }
    }

    // Camera and video sizes whose height is not a multiple of 16, told from
    // the header alone: 4000 × 3000 and 1920 × 1080 at 4:2:0.
    for (const auto [width, height] : {std::pair{4000, 3000}, {1920, 1080}}) {
        std::vector<uint8_t> file = Compress(Picture(16, 16), {});
        for (size_t i = 2; i + 8 < file.size(); ++i)
            if (file[i] == 0xFF && file[i + 1] == 0xC0) {
                file[i + 5] = uint8_t(height >> 8), file[i + 6] = uint8_t(height);
                file[i + 7] = uint8_t(width >> 8), file[i + 8] = uint8_t(width);
                break;
            }
        ASSERT_EQ(ReadJpegHeader(file).width, width);
        for (const O o : heightCut)
            EXPECT_FALSE(TransformJpeg(file, o)) << width << "x" << height << " orientation " << int(o);
    }
}

TEST(LosslessJpeg, MetadataFollowsAsWhenCompressedAgain)
{
    // A camera file: Exif with orientation 6, its thumbnail and sizes, an
    // RGB profile, a comment, no JFIF header.
    const JpegSegment exif{0xE1, ExifPayload({})}, icc{0xE2, IccChunk(1, 1, "RGB ")};
    const JpegSegment comment{0xFE, Bytes("taken on holiday")};
    const std::vector<uint8_t> plain = Compress(Picture(64, 48), {});
    const std::vector<uint8_t> camera = WithSegments(plain, {exif, icc, comment}, false);
    ExifFields fitted;
    fitted.orientation = 1;
    fitted.thumbnail = false;
    struct Case {
        Orientation transform;
        uint32_t pixelX, pixelY;
    };
    for (const Case& c : {Case{Orientation::RotateClockwise, 48, 64}, Case{Orientation::Identity, 64, 48}}) {
        SCOPED_TRACE(int(c.transform));
        const auto out = TransformJpeg(camera, c.transform);
        ASSERT_TRUE(out);
        fitted.pixelX = c.pixelX;
        fitted.pixelY = c.pixelY;
        const JpegMetadata metadata = ReadJpegMetadata(*out);
        EXPECT_EQ(metadata.segments, (std::vector<JpegSegment>{{0xE1, ExifPayload(fitted)}, icc, comment}));
        EXPECT_FALSE(metadata.jfif);
    }
    // Pixels shown as stored keep the thumbnail; the JFIF resolution stays.
    ExifFields upright;
    upright.orientation = 1;
    JpegMetadata withJfif = ReadJpegMetadata(WithSegments(plain, {{0xE1, ExifPayload(upright)}}));
    withJfif.jfif = JfifDensity{1, 300, 300};
    const std::vector<uint8_t> scanned = EncodeJpeg(Picture(64, 48), withJfif);
    EXPECT_EQ(ReadJpegMetadata(TransformJpeg(scanned, Orientation::Identity).value()), withJfif);

    EXPECT_THROW(TransformJpeg(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xD9}, Orientation::Rotate180), Failure);
}
