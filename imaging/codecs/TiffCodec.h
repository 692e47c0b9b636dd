// TIFF through libtiff, from and to bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "imaging/codecs/Animation.h"

struct TiffImage : DecodedImage {
    int pageCount = 1;   // pages (directories) in the file
};

// The first page (or, with page, from 0, that page): grey and RGB of 3 to
// 32 bits per sample read from their samples (TiffSamples.h), the rest
// through libtiff's RGBA reading (bilevel, palette, CMYK, YCbCr, CIE Lab; 1,
// 2 and 4 bits per sample; JPEG); strips or tiles; uncompressed, PackBits,
// LZW, Deflate, JPEG. 32-bit pixels with straight alpha when the page has an
// alpha sample; otherwise 24-bit (32-bit without alpha from the RGBA
// reading). Rows as stored. The metadata holds the ICC profile, XMP and the
// Orientation tag. Fails with Failure("TIFF image is not valid: ...") saying
// in words what libtiff met (not a TIFF file, its data cut short, its
// compressed data or its tags damaged), ("TIFF image is not supported: ...")
// for kinds of pixels it cannot read (floating-point samples, for one), and
// as DecodeLimits says; throws WorkCancelled when cancelled, looking between
// rows, strips or tiles.
TiffImage DecodeTiff(std::span<const uint8_t> file, int page = 0);

// The first page's size from its tags, as it is shown: its sides swapped
// when its Orientation tag turns it a quarter. Fails as DecodeTiff.
struct TiffSize {
    uint32_t width = 0, height = 0;
};
TiffSize ReadTiffSize(std::span<const uint8_t> file);

// One page of 8-bit RGB (RGBA when the raster has alpha), Deflate with the
// horizontal predictor, with the metadata's ICC profile and XMP. Fails with
// Failure.
std::vector<uint8_t> EncodeTiff(const Raster& raster, const ImageMetadata& metadata = {});

// A page of a TIFF as writing it again needs it. Its samples as stored
// (decompressed, one sample after another, rows of width × the pixel's bits
// each padded to a whole byte), where they can be moved as they are: bilevel,
// grey, palette, RGB and CMYK pages of 1, 2, 4, 8, 16, 32 or 64 bits a sample
// whose samples lie together and are not JPEG-compressed. Any other page
// (YCbCr, JPEG, planes stored apart, ...) as it is shown: 8-bit RGB, or RGBA
// with its alpha. With the tags a page keeps: its compression, predictor and
// fax options, resolution, texts (description, software, date, ...), ICC
// profile and XMP, and the orientation its pixels are to be shown in.
struct TiffPage {
    uint32_t width = 0, height = 0;
    uint16_t bitsPerSample = 8, samplesPerPixel = 3;
    uint16_t photometric = 2;   // RGB
    uint16_t sampleFormat = 1;  // unsigned integers
    uint16_t compression = 1, predictor = 1;
    uint32_t group3Options = 0;
    uint16_t inkSet = 0;
    std::vector<uint16_t> extraSamples;
    std::vector<uint16_t> colourMap;   // palette pages: red, green then blue, 2^bits entries each
    bool hasResolution = false;
    float xResolution = 0, yResolution = 0;
    uint16_t resolutionUnit = 2;
    std::vector<std::pair<uint32_t, std::string>> texts;   // tag, ASCII value
    std::vector<uint8_t> icc, xmp;
    int orientation = 1;        // numbered as Exif numbers it
    size_t rowBytes = 0;
    std::vector<uint8_t> samples;   // height × rowBytes

    // A pixel's bits (a large nonsense count kept below 2^20).
    int Bits() const { return int(std::min<uint32_t>(uint32_t(bitsPerSample) * samplesPerPixel, 1u << 20)); }
    bool Bilevel() const { return bitsPerSample == 1 && samplesPerPixel == 1 && photometric <= 1; }
};

// The number of pages (directories). Fails as DecodeTiff.
int TiffPageCount(std::span<const uint8_t> file);
// Page `index` (from 0). Fails as DecodeTiff.
TiffPage ReadTiffPage(std::span<const uint8_t> file, int index);

// A TIFF of pages added one after another: each with its samples and tags as
// the page gives them, upright (orientation 1), in its own compression where
// libtiff can write it for such a page (none, PackBits, LZW, Deflate; CCITT
// Group 3 and 4 for bilevel pages), else Deflate. Fails with Failure.
class TiffPageWriter {
public:
    explicit TiffPageWriter(int pageCount);
    ~TiffPageWriter();
    TiffPageWriter(const TiffPageWriter&) = delete;
    TiffPageWriter& operator=(const TiffPageWriter&) = delete;
    void Add(const TiffPage& page);
    std::vector<uint8_t> Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};
