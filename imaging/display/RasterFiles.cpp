#include "imaging/display/RasterFiles.h"

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

RasterFileType SniffRasterFile(std::span<const uint8_t> file)
{
    if (StartsWith(file, 0, "GIF87a") || StartsWith(file, 0, "GIF89a"))
        return RasterFileType::Gif;
    if (StartsWith(file, 0, "RIFF") && StartsWith(file, 8, "WEBP"))
        return RasterFileType::Webp;
    // Classic TIFF (42) and BigTIFF (43), in either byte order.
    if (file.size() >= 4 && ((StartsWith(file, 0, "II") && (file[2] == 42 || file[2] == 43) && file[3] == 0) ||
                             (StartsWith(file, 0, "MM") && file[2] == 0 && (file[3] == 42 || file[3] == 43))))
        return RasterFileType::Tiff;
    if (HasBrand(file, "avif") || HasBrand(file, "avis"))
        return RasterFileType::Avif;
    for (const char* brand : {"heic", "heix", "hevc", "heim", "heis"})
        if (HasBrand(file, brand))
            return RasterFileType::Heic;
    if (HasBrand(file, "mif1") || HasBrand(file, "msf1"))
        return RasterFileType::Heif;
    if (StartsWith(file, 0, "\xFF\x0A") || StartsWith(file, 4, "JXL \r\n\x87\n"))
        return RasterFileType::JpegXl;
    return RasterFileType::Bitmap;
}

const wchar_t* RasterFileTypeName(RasterFileType type)
{
    switch (type) {
    case RasterFileType::Bitmap: return L"bitmap";
    case RasterFileType::Gif: return L"GIF";
    case RasterFileType::Webp: return L"WebP";
    case RasterFileType::Tiff: return L"TIFF";
    case RasterFileType::Avif: return L"AVIF";
    case RasterFileType::Heic: return L"HEIC";
    case RasterFileType::Heif: return L"HEIF";
    case RasterFileType::JpegXl: return L"JPEG XL";
    }
    return L"";
}

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
    switch (SniffRasterFile(file)) {
    case RasterFileType::Bitmap: {
        const BmpSize size = ReadBmpSize(file);
        return {size.width, size.height};
    }
    case RasterFileType::Gif: {
        // The logical screen, widened by a first frame reaching past it.
        const auto gif = OpenGif(std::make_shared<const std::vector<uint8_t>>(file.begin(), file.end()));
        return {gif->Width(), gif->Height()};
    }
    case RasterFileType::Webp: {
        const WebpInfo info = ReadWebpInfo(file);
        return Shown(info.width, info.height, {.exif = info.exif}, info.animated);
    }
    case RasterFileType::Tiff: {
        const TiffSize size = ReadTiffSize(file);
        return {int(size.width), int(size.height)};
    }
    case RasterFileType::Avif: {
        const AvifPicture container = ReadAvifContainer(file);
        return Shown(int(container.width), int(container.height),
                     {.exif = container.exif, .orientation = AvifOrientation(container)}, false);
    }
    default: return {};
    }
}

RasterFile DecodeRasterFile(std::vector<uint8_t> bytes)
{
    RasterFile file;
    file.type = SniffRasterFile(bytes);
    switch (file.type) {
    case RasterFileType::Bitmap:
        file.pixels = DecodeBmp(bytes);
        return file;
    case RasterFileType::Gif: {
        auto shared = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
        auto gif = OpenGif(shared);
        TakeFirstFrame(*gif, std::move(shared), file);
        break;
    }
    case RasterFileType::Webp: {
        const WebpInfo info = ReadWebpInfo(bytes);
        file.lossless = info.lossless;
        file.frameCount = info.frameCount;
        if (!info.animated) {
            DecodedImage image = DecodeWebp(bytes);
            file.pixels = std::move(image.pixels);
            file.metadata = std::move(image.metadata);
            break;
        }
        auto shared = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
        auto webp = OpenWebpAnimation(shared);
        TakeFirstFrame(*webp, std::move(shared), file);
        break;
    }
    case RasterFileType::Tiff: {
        file.pages = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
        TiffImage image = DecodeTiff(*file.pages);
        file.pixels = std::move(image.pixels);
        file.metadata = std::move(image.metadata);
        file.pageCount = image.pageCount;
        break;
    }
    case RasterFileType::Avif: {
        AvifImage image = DecodeAvif(bytes);
        file.pixels = std::move(image.pixels);
        file.metadata = std::move(image.metadata);
        file.frameCount = image.frameCount;
        break;
    }
    case RasterFileType::Heic:
    case RasterFileType::Heif:
    case RasterFileType::JpegXl:
    {
        if (!TheSystemDecoder())
            ThrowNoSystemDecoder(file.type);
        DecodedImage image = TheSystemDecoder()(bytes, file.type);
        file.pixels = std::move(image.pixels);
        file.metadata = std::move(image.metadata);
        break;
    }
    }
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
    if (type == RasterFileType::Gif)
        return OpenGif(std::move(file));
    if (type == RasterFileType::Webp)
        return OpenWebpAnimation(std::move(file));
    throw Failure(L"Invalid picture");
}

std::vector<uint8_t> EncodeRasterFile(RasterFileType type, const Raster& pixels, bool lossless,
                                      const ImageMetadata& metadata)
{
    switch (type) {
    case RasterFileType::Webp: return EncodeWebp(pixels, lossless, metadata);
    case RasterFileType::Tiff: return EncodeTiff(pixels, metadata);
    case RasterFileType::Bitmap: return EncodeBmp(pixels);
    default: throw Failure(std::wstring(FileFormatOfType(type)->refusal));
    }
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

RasterFileSource::RasterFileSource(RasterFile file)
    : RasterSource(std::move(file.pixels), IccProfile(file.metadata.icc)), file_(std::move(file))
{
    file_.pixels = Raster();
}

RasterFileSource::RasterFileSource(SharedBytes bytes, RasterFile file, int width, int height, int level,
                                   Raster levelPixels)
    : RasterSource(width, height), file_(std::move(file)), bytes_(std::move(bytes))
{
    colour_ = IccProfile(file_.metadata.icc);
    KeepLevel(level, std::move(levelPixels));
}

std::shared_ptr<const RasterFileSource> RasterFileSource::ShownFrom(std::vector<uint8_t> bytes,
                                                                    const std::function<int(int, int)>& levelFor)
{
    if (DecodesLevelsFromFile(bytes)) {
        const WebpInfo info = ReadWebpInfo(bytes);
        const int level = levelFor(info.width, info.height);
        if (level > 0) {
            DecodedImage reduced = DecodeWebpScaled(bytes, LevelSide(info.width, level), LevelSide(info.height, level));
            RasterFile header;
            header.type = RasterFileType::Webp;
            header.metadata = std::move(reduced.metadata);
            header.metadata.orientation = 1;
            header.lossless = info.lossless;
            auto file = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
            return std::shared_ptr<const RasterFileSource>(new RasterFileSource(
                std::move(file), std::move(header), info.width, info.height, level, std::move(reduced.pixels)));
        }
    }
    auto source = std::make_shared<const RasterFileSource>(DecodeRasterFile(std::move(bytes)));
    source->Prepare(levelFor(source->Width(), source->Height()));
    return source;
}

Raster RasterFileSource::DecodePixels() const
{
    RasterFile decoded = DecodeRasterFile(*bytes_);
    bytes_.reset();
    return std::move(decoded.pixels);
}

Raster RasterFileSource::MakeLevel(int level) const
{
    if (Decoded() || !bytes_)
        return RasterSource::MakeLevel(level);
    return DecodeWebpScaled(*bytes_, LevelSide(Width(), level), LevelSide(Height(), level)).pixels;
}

size_t RasterFileSource::MemoryUse() const
{
    return RasterSource::MemoryUse() + (bytes_ ? bytes_->size() : 0) + (file_.pages ? file_.pages->size() : 0);
}
