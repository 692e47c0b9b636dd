#include "imaging/codecs/RasterCodecs.h"

#include <cstring>

#include "base/Failure.h"
#include "imaging/codecs/AvifCodec.h"
#include "imaging/codecs/AvifContainer.h"
#include "imaging/codecs/BmpCodec.h"
#include "imaging/codecs/GifCodec.h"
#include "imaging/codecs/JpegMetadata.h"
#include "imaging/codecs/TiffCodec.h"
#include "imaging/codecs/WebpCodec.h"
#include "imaging/pixels/Levels.h"
#include "imaging/pixels/Transform.h"

namespace {

bool StartsWith(std::span<const uint8_t> file, size_t at, const char* text)
{
    const size_t n = std::strlen(text);
    return file.size() >= at + n && std::memcmp(file.data() + at, text, n) == 0;
}

// The brands of an ISO base media file's leading ftyp box.
bool HasBrand(std::span<const uint8_t> file, const char* brand)
{
    if (!StartsWith(file, 4, "ftyp") || file.size() < 16)
        return false;
    const size_t size = std::min<size_t>(file.size(), size_t(file[0]) << 24 | size_t(file[1]) << 16 |
                                                          size_t(file[2]) << 8 | file[3]);
    for (size_t at = 8; at + 4 <= size; at += 4)
        if (at != 12 && std::memcmp(file.data() + at, brand, 4) == 0)
            return true;
    return false;
}


// The picture turned and mirrored as the orientation (numbered as Exif
// numbers it) says it is to be shown.
Raster Oriented(const Raster& pixels, int orientation)
{
    if (orientation < 2 || orientation > 8)
        return pixels;
    // Without alpha: the turning kernels, in one pass for any of the eight.
    if (pixels.Bits() != 32)
        return TransformRaster(pixels, *OrientationFromExif(orientation));
    // With alpha (the kernels move three bytes a pixel): pixel by pixel, each
    // shown pixel from its stored place.
    const int w = pixels.Width(), h = pixels.Height();
    const bool swap = orientation >= 5;
    Raster out(swap ? h : w, swap ? w : h, PixelFormat::Bit32, Raster::Unfilled{});
    out.SetAlpha(pixels.Alpha());
    for (int dy = 0; dy < out.Height(); ++dy) {
        uint32_t* row = reinterpret_cast<uint32_t*>(out.MutableRow(dy));
        for (int dx = 0; dx < out.Width(); ++dx) {
            int sx = dx, sy = dy;
            switch (orientation) {
            case 2: sx = w - 1 - dx; break;
            case 3: sx = w - 1 - dx, sy = h - 1 - dy; break;
            case 4: sy = h - 1 - dy; break;
            case 5: sx = dy, sy = dx; break;
            case 6: sx = dy, sy = h - 1 - dx; break;
            case 7: sx = w - 1 - dy, sy = h - 1 - dx; break;
            case 8: sx = w - 1 - dy, sy = dx; break;
            }
            std::memcpy(&row[dx], pixels.Row(sy) + size_t(sx) * 4, 4);
        }
    }
    return out;
}

// An animation's first frame, its metadata and frame count, and its file
// when there are frames to play.
void TakeFirstFrame(AnimationDecoder& decoder, SharedBytes bytes, RasterFile& file)
{
    file.frameCount = decoder.FrameCount();
    file.metadata = decoder.Metadata();
    if (std::optional<Raster> still = decoder.OpaqueStill()) {
        file.pixels = std::move(*still);
        return;
    }
    const AnimationFrame& first = decoder.Next();
    file.pixels = first.pixels;
    file.firstDelayMs = first.delayMs;
    if (file.frameCount > 1)
        file.animation = std::move(bytes);
}

// What shows a picture upright: the format's own field (a TIFF's Orientation
// tag, an AVIF's turn and mirror), else a still picture's Exif orientation
// (an animation's frames are shown as stored).
int ShownOrientation(const ImageMetadata& metadata, bool animated)
{
    if (metadata.orientation)
        return *metadata.orientation;
    if (animated)
        return 1;
    return int(OrientationFromExif(ExifBlockOrientation(metadata.exif).value_or(0)).value_or(Orientation::Identity));
}

// The picture's size as shown, from its stored size.
RasterFileDimensions Shown(int width, int height, const ImageMetadata& metadata, bool animated)
{
    if (SwapsSides(Orientation(ShownOrientation(metadata, animated))))
        return {height, width};
    return {width, height};
}

SystemDecoder& TheSystemDecoder()
{
    static SystemDecoder decoder;
    return decoder;
}

} // namespace

namespace {

bool IsTiff(std::span<const uint8_t> file)
{
    // Classic TIFF (42) and BigTIFF (43), in either byte order.
    return file.size() >= 4 && ((StartsWith(file, 0, "II") && (file[2] == 42 || file[2] == 43) && file[3] == 0) ||
                                (StartsWith(file, 0, "MM") && file[2] == 0 && (file[3] == 42 || file[3] == 43)));
}

bool IsHeic(std::span<const uint8_t> file)
{
    for (const char* brand : {"heic", "heix", "hevc", "heim", "heis"})
        if (HasBrand(file, brand))
            return true;
    return false;
}

void DecodeGif(std::vector<uint8_t> bytes, RasterFile& file)
{
    auto shared = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    auto gif = OpenGif(shared);
    TakeFirstFrame(*gif, std::move(shared), file);
}

void DecodeWebpFile(std::vector<uint8_t> bytes, RasterFile& file)
{
    const WebpInfo info = ReadWebpInfo(bytes);
    file.lossless = info.lossless;
    file.frameCount = info.frameCount;
    if (!info.animated) {
        DecodedImage image = DecodeWebp(bytes);
        file.pixels = std::move(image.pixels);
        file.metadata = std::move(image.metadata);
        return;
    }
    auto shared = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    auto webp = OpenWebpAnimation(shared);
    TakeFirstFrame(*webp, std::move(shared), file);
}

void DecodeTiffFile(std::vector<uint8_t> bytes, RasterFile& file)
{
    file.pages = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    TiffImage image = DecodeTiff(*file.pages);
    file.pixels = std::move(image.pixels);
    file.metadata = std::move(image.metadata);
    file.pageCount = image.pageCount;
}

void DecodeAvifFile(std::vector<uint8_t> bytes, RasterFile& file)
{
    AvifImage image = DecodeAvif(bytes);
    file.pixels = std::move(image.pixels);
    file.metadata = std::move(image.metadata);
    file.frameCount = image.frameCount;
}

void DecodeBySystem(std::vector<uint8_t> bytes, RasterFile& file)
{
    if (!TheSystemDecoder())
        ThrowNoSystemDecoder(file.type);
    DecodedImage image = TheSystemDecoder()(bytes, file.type);
    file.pixels = std::move(image.pixels);
    file.metadata = std::move(image.metadata);
}

const RasterCodec kCodecs[] = {
    {RasterFileType::Gif, L"GIF",
     [](std::span<const uint8_t> file) { return StartsWith(file, 0, "GIF87a") || StartsWith(file, 0, "GIF89a"); },
     [](std::span<const uint8_t> file) {
         // The logical screen, widened by a first frame reaching past it.
         const auto gif = OpenGif(std::make_shared<const std::vector<uint8_t>>(file.begin(), file.end()));
         return RasterFileDimensions{gif->Width(), gif->Height()};
     },
     DecodeGif, [](SharedBytes file) -> std::unique_ptr<AnimationDecoder> { return OpenGif(std::move(file)); },
     nullptr},
    {RasterFileType::Webp, L"WebP",
     [](std::span<const uint8_t> file) { return StartsWith(file, 0, "RIFF") && StartsWith(file, 8, "WEBP"); },
     [](std::span<const uint8_t> file) {
         const WebpInfo info = ReadWebpInfo(file);
         return Shown(info.width, info.height, {.exif = info.exif}, info.animated);
     },
     DecodeWebpFile, [](SharedBytes file) { return OpenWebpAnimation(std::move(file)); }, EncodeWebp},
    {RasterFileType::Tiff, L"TIFF", IsTiff,
     [](std::span<const uint8_t> file) {
         const TiffSize size = ReadTiffSize(file);
         return RasterFileDimensions{int(size.width), int(size.height)};
     },
     DecodeTiffFile, nullptr,
     [](const Raster& pixels, bool, const ImageMetadata& metadata) { return EncodeTiff(pixels, metadata); }},
    {RasterFileType::Avif, L"AVIF",
     [](std::span<const uint8_t> file) { return HasBrand(file, "avif") || HasBrand(file, "avis"); },
     [](std::span<const uint8_t> file) {
         const AvifPicture container = ReadAvifContainer(file);
         return Shown(int(container.width), int(container.height),
                      {.exif = container.exif, .orientation = AvifOrientation(container)}, false);
     },
     DecodeAvifFile, nullptr, nullptr},
    {RasterFileType::Heic, L"HEIC", IsHeic, nullptr, DecodeBySystem, nullptr, nullptr},
    {RasterFileType::Heif, L"HEIF",
     [](std::span<const uint8_t> file) { return HasBrand(file, "mif1") || HasBrand(file, "msf1"); }, nullptr,
     DecodeBySystem, nullptr, nullptr},
    {RasterFileType::JpegXl, L"JPEG XL",
     [](std::span<const uint8_t> file) {
         return StartsWith(file, 0, "\xFF\x0A") || StartsWith(file, 4, "JXL \r\n\x87\n");
     },
     nullptr, DecodeBySystem, nullptr, nullptr},
    // Whatever no other row claims.
    {RasterFileType::Bitmap, L"bitmap", [](std::span<const uint8_t>) { return false; },
     [](std::span<const uint8_t> file) {
         const BmpSize size = ReadBmpSize(file);
         return RasterFileDimensions{size.width, size.height};
     },
     [](std::vector<uint8_t> bytes, RasterFile& file) { file.pixels = DecodeBmp(bytes); }, nullptr,
     [](const Raster& pixels, bool, const ImageMetadata&) { return EncodeBmp(pixels); }},
};

} // namespace

std::span<const RasterCodec> RasterCodecs() { return kCodecs; }

const RasterCodec& RasterCodecOf(RasterFileType type)
{
    for (const RasterCodec& codec : kCodecs)
        if (codec.type == type)
            return codec;
    return kCodecs[std::size(kCodecs) - 1];
}

RasterFileType SniffRasterFile(std::span<const uint8_t> file)
{
    for (const RasterCodec& codec : kCodecs)
        if (codec.recognise(file))
            return codec.type;
    return RasterFileType::Bitmap;
}

const wchar_t* RasterFileTypeName(RasterFileType type) { return RasterCodecOf(type).name; }

bool DecodesLevelsFromFile(std::span<const uint8_t> file)
{
    if (SniffRasterFile(file) != RasterFileType::Webp)
        return false;
    try {
        const WebpInfo info = ReadWebpInfo(file);
        // Pixels to be turned as their Exif block says are decoded whole.
        return !info.animated && !info.alpha && ShownOrientation({.exif = info.exif}, false) == 1;
    } catch (const Failure&) {
        return false;
    }
}

RasterFileDimensions RasterFileSize(std::span<const uint8_t> file)
{
    const RasterCodec& codec = RasterCodecOf(SniffRasterFile(file));
    return codec.size ? codec.size(file) : RasterFileDimensions{};
}

RasterFile DecodeRasterFile(std::vector<uint8_t> bytes)
{
    RasterFile file;
    file.type = SniffRasterFile(bytes);
    // A bitmap is given as stored.
    const bool bitmap = file.type == RasterFileType::Bitmap;
    RasterCodecOf(file.type).decode(std::move(bytes), file);
    if (bitmap)
        return file;
    // Shown upright, as a JPEG is; the Exif block then says so too (a save
    // writes it back).
    if (const int orientation = ShownOrientation(file.metadata, file.frameCount > 1); orientation != 1) {
        file.pixels = Oriented(file.pixels, orientation);
        UpdateExifBlock(file.metadata.exif, file.pixels.Width(), file.pixels.Height(), false);
        if (!file.metadata.xmp.empty())
            UpdateXmpPacket(file.metadata.xmp, file.pixels.Width(), file.pixels.Height());
    }
    file.metadata.orientation = 1;
    file.pixels = WithoutAlphaWhenOpaque(std::move(file.pixels));
    return file;
}

std::unique_ptr<AnimationDecoder> OpenAnimation(RasterFileType type, SharedBytes file)
{
    const RasterCodec& codec = RasterCodecOf(type);
    if (!codec.openAnimation)
        throw Failure(L"Invalid picture");
    return codec.openAnimation(std::move(file));
}

std::vector<uint8_t> EncodeRasterFile(RasterFileType type, const Raster& pixels, bool lossless,
                                      const ImageMetadata& metadata)
{
    const RasterCodec& codec = RasterCodecOf(type);
    if (!codec.encode)
        throw Failure(std::wstring(FileFormatOfType(type)->refusal));
    return codec.encode(pixels, lossless, metadata);
}

Raster WithoutAlphaWhenOpaque(Raster pixels)
{
    if (pixels.Bits() != 32 || pixels.Alpha() != AlphaMode::Straight)
        return pixels;
    for (int y = 0; y < pixels.Height(); ++y) {
        const uint8_t* row = pixels.Row(y);
        for (int x = 0; x < pixels.Width(); ++x)
            if (row[4 * x + 3] != 255)
                return pixels;
    }
    pixels.SetAlpha(AlphaMode::None);
    return pixels;
}

void SetSystemDecoder(SystemDecoder decoder) { TheSystemDecoder() = std::move(decoder); }

void ThrowNoSystemDecoder(RasterFileType type)
{
    throw Failure(std::wstring(L"No decoder for ") + RasterFileTypeName(type) +
                  L" images is installed on this computer");
}
