// Picture files read into rasters, told apart by their content: bitmaps and
// the newer formats (GIF, WebP, TIFF, AVIF), with HEIC, HEIF and JPEG XL
// handed to the system's own decoders where it has any. Each type has one
// row, its codec (RasterCodecOf): what tells its content, reads its size,
// decodes it, plays it and writes it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/codecs/Animation.h"
#include "imaging/codecs/ImageFormats.h"
#include "imaging/pixels/Raster.h"

struct RasterFile;
struct RasterFileDimensions {
    int width = 0, height = 0;
};

// A raster type's codec. Only the bitmap's is never recognised: it reads
// whatever no other row claims, and says what is wrong with it.
struct RasterCodec {
    RasterFileType type;
    const wchar_t* name;   // in messages: "GIF", "WebP", "HEIC", ...
    bool (*recognise)(std::span<const uint8_t> file);
    // Null for the types only the system decodes (RasterFileSize: 0 × 0).
    RasterFileDimensions (*size)(std::span<const uint8_t> file);
    // Fills the file's pixels, as stored, and what the file says of them.
    void (*decode)(std::vector<uint8_t> bytes, RasterFile& file);
    // Null for the types that hold no animation.
    std::unique_ptr<AnimationDecoder> (*openAnimation)(SharedBytes file);
    // Null for the types the program does not write.
    std::vector<uint8_t> (*encode)(const Raster& pixels, bool lossless, const ImageMetadata& metadata);
};
// Every type's row, in the order their content is looked for.
std::span<const RasterCodec> RasterCodecs();
const RasterCodec& RasterCodecOf(RasterFileType type);

// The type the file's first bytes announce; Bitmap when none does (the
// bitmap decoder then says what is wrong).
RasterFileType SniffRasterFile(std::span<const uint8_t> file);
// The type's name in messages: "GIF", "WebP", "TIFF", "AVIF", "HEIC", ...
const wchar_t* RasterFileTypeName(RasterFileType type);

struct RasterFile {
    RasterFileType type = RasterFileType::Bitmap;
    // The picture (an animation's first frame, a TIFF's first page) turned
    // and mirrored as the TIFF's Orientation or the AVIF's turn and mirror
    // say (the metadata's orientation is then 1): 24 or 32 bits, with
    // straight alpha when some pixel is transparent.
    Raster pixels;
    ImageMetadata metadata;
    bool lossless = false;   // a WebP compressed losslessly
    int pageCount = 1;       // a TIFF's pages
    int frameCount = 1;
    int firstDelayMs = 100;   // how long an animation's first frame is shown
    // The file, kept for playing when it has more than one frame.
    SharedBytes animation;
    // A TIFF's file, kept for writing its pages again.
    SharedBytes pages;
};

// The picture's size from the file's headers, as DecodeRasterFile would give
// it (an animation's canvas, a TIFF's first page); 0 × 0 for the types only
// the system decodes. Fails with the decoder's Failure when the headers are
// damaged.
RasterFileDimensions RasterFileSize(std::span<const uint8_t> file);

// Decodes the file as its content says. Fails with the decoder's Failure.
RasterFile DecodeRasterFile(std::vector<uint8_t> bytes);

// The same pixels, marked as without alpha when no pixel is transparent:
// the display then draws them straight, with no blending.
Raster WithoutAlphaWhenOpaque(Raster pixels);

// A new decoder of an animated GIF or WebP file (RasterFile::animation).
std::unique_ptr<AnimationDecoder> OpenAnimation(RasterFileType type, SharedBytes file);

// Encodes pixels (any raster) as a writable type (WebP, TIFF); WebP
// losslessly when asked, else at quality 90. Other types fail with
// Failure("Saving as a GIF image is not supported").
std::vector<uint8_t> EncodeRasterFile(RasterFileType type, const Raster& pixels, bool lossless,
                                      const ImageMetadata& metadata);

// The system's decoders of the types this program has none for (HEIC, HEIF,
// JPEG XL); without one set, or when it has no decoder for the type, the
// load fails with "No decoder for HEIC images is installed on this computer".
// The decoder gives the pixels as stored and what the file says of them (its
// orientation, colour profile and Exif block), which are applied as any
// other format's are.
using SystemDecoder = std::function<DecodedImage(std::span<const uint8_t> file, RasterFileType type)>;
void SetSystemDecoder(SystemDecoder decoder);
[[noreturn]] void ThrowNoSystemDecoder(RasterFileType type);

// Whether the file's levels are decoded straight from it, at their own size,
// so that a picture shown reduced keeps only its file and a level (a still,
// opaque WebP shown as it is stored). False for files that cannot be read.
bool DecodesLevelsFromFile(std::span<const uint8_t> file);
