#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/JpegMetadata.h"
#include "tests/host/jpeg_metadata_material.h"

using namespace jpeg_material;

namespace {

Raster Gradient(int width, int height)
{
    Raster raster(width, height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = raster.MutableRow(y) + 3 * x;
            p[0] = uint8_t(x * 4);
            p[1] = uint8_t(y * 4);
            p[2] = 128;
        }
    return raster;
}

const std::string kXmp = std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
                         "<x:xmpmeta><rdf:Description tiff:Orientation=\"6\" exif:PixelXDimension=\"64\">"
                         "<exif:PixelYDimension>48</exif:PixelYDimension></rdf:Description></x:xmpmeta>";

} // namespace

TEST(JpegMetadata, KeepsWhatDescribesThePictureInFileOrder)
{
    const std::vector<uint8_t> plain = EncodeJpeg(Gradient(64, 48));
    const JpegSegment exif{0xE1, ExifPayload({})}, xmp{0xE1, Bytes(kXmp)};
    const JpegSegment icc1{0xE2, IccChunk(1, 2, "RGB ")}, icc2{0xE2, IccChunk(2, 2, "RGB ")};
    const JpegSegment grey{0xE2, IccChunk(1, 1, "GRAY")}, mpf{0xE2, Bytes(std::string("MPF") + '\0' + "index")};
    const JpegSegment adobe{0xEE, Bytes("Adobe\x00\x64")}, comment{0xFE, Bytes("taken on holiday")};
    const JpegSegment iptc{0xED, Bytes("Photoshop 3.0")}, jfxx{0xE0, Bytes(std::string("JFXX") + '\0' + "thumb")};

    struct Case {
        const char* what;
        std::vector<JpegSegment> in, kept;
        bool keepJfif;
    };
    const Case cases[] = {
        {"everything", {exif, xmp, icc1, icc2, mpf, adobe, comment, iptc, jfxx}, {exif, xmp, icc1, icc2, comment, iptc},
         true},
        {"camera file without JFIF", {exif, icc1, icc2}, {exif, icc1, icc2}, false},
        {"grey profile", {exif, grey}, {exif}, true},
        {"profile without its first chunk", {icc2, comment}, {comment}, true},
        {"nothing", {}, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const JpegMetadata read = ReadJpegMetadata(WithSegments(plain, c.in, c.keepJfif));
        EXPECT_EQ(read.segments, c.kept);
        EXPECT_EQ(read.jfif.has_value(), c.keepJfif);
    }

    // A header cut or damaged in the middle gives what came before.
    std::vector<uint8_t> file = WithSegments(plain, {exif, comment, xmp});
    const std::string id = "http://ns.adobe.com";
    const size_t xmpAt = size_t(std::search(file.begin(), file.end(), id.begin(), id.end()) - file.begin()) - 4;
    std::vector<uint8_t> cut(file.begin(), file.begin() + std::ptrdiff_t(xmpAt + 10));
    EXPECT_EQ(ReadJpegMetadata(cut).segments, (std::vector<JpegSegment>{exif, comment}));
    file[xmpAt] = 0x12;   // no marker where the XMP segment starts
    EXPECT_EQ(ReadJpegMetadata(file).segments, (std::vector<JpegSegment>{exif, comment}));
    EXPECT_TRUE(ReadJpegMetadata({}).Empty());
}

TEST(JpegMetadata, NewPixelsResetOrientationAndFollowTheSize)
{
    // New pixels are written upright: the orientation says 1 whatever it
    // said. The thumbnail, laid out as the stored pixels were, stays only
    // when the new pixels lie the same way (neither turned nor shown turned).
    for (bool big : {false, true})
        for (bool longSizes : {false, true})
            for (int orientation : {1, 6})
                for (bool turned : {false, true}) {
                    SCOPED_TRACE(testing::Message() << (big ? "MM" : "II") << (longSizes ? " LONG" : " SHORT")
                                                    << " orientation " << orientation
                                                    << (turned ? " turned" : " resized"));
                    ExifFields before;
                    before.bigEndian = big;
                    before.longSizes = longSizes;
                    before.orientation = orientation;
                    ExifFields after = before;
                    after.pixelX = 48;
                    after.pixelY = 64;
                    after.orientation = 1;
                    after.thumbnail = !turned && orientation == 1;
                    JpegMetadata metadata;
                    metadata.segments = {{0xE1, ExifPayload(before)}, {0xFE, Bytes("note")}};
                    const JpegMetadata updated = MetadataForNewPixels(metadata, 48, 64, turned);
                    ASSERT_EQ(updated.segments.size(), 2u);
                    EXPECT_EQ(updated.segments[0].data, ExifPayload(after));
                    EXPECT_EQ(updated.segments[1], metadata.segments[1]);
                    EXPECT_EQ(ExifOrientation(updated), 1);
                }

    // A size that a SHORT cannot hold leaves the SHORT alone.
    JpegMetadata wide;
    wide.segments = {{0xE1, ExifPayload({})}};
    EXPECT_EQ(MetadataForNewPixels(wide, 70000, 48, true).segments[0].data, ExifPayload([] {
                  ExifFields f;
                  f.orientation = 1;
                  f.thumbnail = false;
                  f.pixelX = 64;   // unchanged
                  return f;
              }()));

    JpegMetadata xmp;
    xmp.segments = {{0xE1, Bytes(kXmp)}};
    const JpegMetadata turned = MetadataForNewPixels(xmp, 48, 64, true);
    std::string text(turned.segments[0].data.begin(), turned.segments[0].data.end());
    EXPECT_NE(text.find("tiff:Orientation=\"1\" exif:PixelXDimension=\"48\""), std::string::npos) << text;
    EXPECT_NE(text.find("<exif:PixelYDimension>64</exif:PixelYDimension>"), std::string::npos) << text;
}

TEST(JpegMetadata, DamagedExifIsKeptWithoutBeingReadPastItsEnd)
{
    const std::vector<uint8_t> exif = ExifPayload({});
    // Every cut of the block, and offsets pointing anywhere.
    for (size_t length = 0; length <= exif.size(); ++length) {
        JpegMetadata m;
        m.segments = {{0xE1, std::vector<uint8_t>(exif.begin(), exif.begin() + std::ptrdiff_t(length))}};
        const JpegMetadata out = MetadataForNewPixels(m, 10, 10, true);
        ASSERT_EQ(out.segments[0].data.size(), length);
    }
    for (size_t at = 6; at + 4 <= exif.size(); at += 2) {
        JpegMetadata m;
        m.segments = {{0xE1, exif}};
        m.segments[0].data[at] = 0xFF;
        m.segments[0].data[at + 1] = 0xFF;
        EXPECT_EQ(MetadataForNewPixels(m, 10, 10, true).segments[0].data.size(), exif.size());
    }
}

TEST(JpegMetadata, EncoderWritesTheSegmentsBack)
{
    JpegMetadata metadata;
    metadata.segments = {{0xE1, ExifPayload({})}, {0xE2, IccChunk(1, 1, "RGB ")}, {0xFE, Bytes("note")}};
    for (bool jfif : {true, false}) {
        SCOPED_TRACE(jfif);
        metadata.jfif = jfif ? std::optional<JfifDensity>(JfifDensity{1, 300, 300}) : std::nullopt;
        const std::vector<uint8_t> out = EncodeJpeg(Gradient(40, 30), metadata);
        EXPECT_EQ(ReadJpegMetadata(out), metadata);
        const Raster back = DecodeJpeg(out);
        EXPECT_EQ(back.Width(), 40);
        EXPECT_EQ(back.Height(), 30);
        // Exif first right after the start of image when there is no JFIF.
        EXPECT_EQ(out[3], jfif ? 0xE0 : 0xE1);
    }
    // No metadata at all: the library's own JFIF header, nothing else.
    const JpegMetadata none = ReadJpegMetadata(EncodeJpeg(Gradient(8, 8)));
    EXPECT_TRUE(none.segments.empty());
    EXPECT_EQ(none.jfif, (JfifDensity{0, 1, 1}));
}
