#include "imaging/display/DisplaySource.h"

#include <algorithm>

#include "base/Failure.h"
#include "imaging/codecs/BmpCodec.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/display/RasterFiles.h"
#include "imaging/pixels/Levels.h"
#include "imaging/pixels/Transform.h"

namespace {

// Levels kept per picture: the one shown and the one before (a window
// resized back and forth, or fit and a small zoom).
constexpr size_t kKeptLevels = 2;

// The deepest level the JPEG library makes while it decodes.
constexpr int kDeepestScaledDecode = 3;

} // namespace

// ---------------------------------------------------------------- DisplaySource

Raster DisplaySource::Level(int level) const
{
    if (level <= 0)
        return Whole();
    for (size_t i = 0; i < levels_.size(); ++i)
        if (levels_[i].first == level) {
            std::rotate(levels_.begin(), levels_.begin() + ptrdiff_t(i), levels_.begin() + ptrdiff_t(i) + 1);
            return levels_.front().second;
        }
    Raster made = MakeLevel(level);
    KeepLevel(level, made);
    return made;
}

void DisplaySource::KeepLevel(int level, Raster pixels) const
{
    std::erase_if(levels_, [&](const auto& kept) { return kept.first == level; });
    levels_.insert(levels_.begin(), {level, std::move(pixels)});
    if (levels_.size() > kKeptLevels)
        levels_.resize(kKeptLevels);
}

void DisplaySource::Prepare(int level) const
{
    if (level > 0)
        Level(level);
    else
        Region({0, 0, width_, height_});
}

size_t DisplaySource::MemoryUse() const
{
    size_t bytes = 0;
    for (const auto& kept : levels_)
        bytes += kept.second.ByteSize();
    return bytes;
}

// ---------------------------------------------------------------- RasterSource

RasterSource::RasterSource(Raster raster, std::shared_ptr<const ColourProfile> colour) : raster_(std::move(raster))
{
    colour_ = std::move(colour);
    width_ = raster_.Width();
    height_ = raster_.Height();
}

RasterSource::RasterSource(int width, int height) : decoded_(false)
{
    width_ = width;
    height_ = height;
}

const Raster& RasterSource::Pixels() const
{
    if (!decoded_) {
        raster_ = DecodePixels();
        decoded_ = true;
    }
    return raster_;
}

PixelWindow RasterSource::Region(const PixelRect& rect) const
{
    const Raster& pixels = Pixels();
    // Rasters the resampler reads as they are need no copy.
    if (pixels.Format() == PixelFormat::Bit24 || pixels.Format() == PixelFormat::Bit32 || rect.Empty())
        return {pixels, 0, 0};
    return {pixels.Part(rect), rect.x, rect.y};
}

Raster RasterSource::Whole() const
{
    return Transparent() ? Raster() : Pixels();
}

size_t RasterSource::MemoryUse() const
{
    return DisplaySource::MemoryUse() + raster_.ByteSize();
}

Raster RasterSource::MakeLevel(int level) const
{
    return ::MakeLevel(Pixels(), level);
}

// ---------------------------------------------------------------- JpegSource

JpegSource::JpegSource(std::shared_ptr<const std::vector<uint8_t>> file) : JpegSource(file, ReadJpegMetadata(*file))
{
}

JpegSource::JpegSource(std::shared_ptr<const std::vector<uint8_t>> file, const JpegMetadata& metadata)
    : file_(std::move(file)), upright_(UprightOrientation(metadata))
{
    colour_ = JpegColourProfile(metadata);
    const JpegHeader header = ReadJpegHeader(*file_);
    const bool swap = SwapsSides(upright_);
    width_ = swap ? header.height : header.width;
    height_ = swap ? header.width : header.height;
}

Raster JpegSource::Full() const
{
    if (!full_)
        full_ = std::make_shared<const Raster>(DecodeJpeg(*file_, upright_));
    return *full_;
}

size_t JpegSource::MemoryUse() const
{
    return DisplaySource::MemoryUse() + file_->size() + (full_ ? full_->ByteSize() : 0);
}

Raster JpegSource::MakeLevel(int level) const
{
    if (full_)
        return ::MakeLevel(*full_, level);
    const int scaled = std::min(level, kDeepestScaledDecode);
    return TransformRaster(::MakeLevel(DecodeJpegReduced(*file_, scaled), level - scaled), upright_);
}

// ---------------------------------------------------------------- PngSource

namespace {

// Everything of an image but its rows.
PngImage WithoutRows(const PngImage& image)
{
    PngImage header;
    header.width = image.width;
    header.height = image.height;
    header.bitDepth = image.bitDepth;
    header.colorType = image.colorType;
    header.interlaced = image.interlaced;
    header.palette = image.palette;
    header.paletteAlpha = image.paletteAlpha;
    header.transparentGray = image.transparentGray;
    header.transparentRgb = image.transparentRgb;
    header.rowBytes = image.rowBytes;
    header.colour = image.colour;
    header.exif = image.exif;
    header.xmp = image.xmp;
    return header;
}

} // namespace

PngSource::PngSource(std::shared_ptr<const PngImage> image) : header_(WithoutRows(*image)), image_(std::move(image))
{
    width_ = int(header_.width);
    height_ = int(header_.height);
    colour_ = PngColourProfile(header_.colour);
}

PngSource::PngSource(std::shared_ptr<const std::vector<uint8_t>> file, int level) : file_(std::move(file))
{
    if (level <= 0) {
        image_ = std::make_shared<const PngImage>(DecodePng(*file_));
        file_.reset();
        header_ = WithoutRows(*image_);
    } else {
        PngLevel read = DecodePngLevel(*file_, level);
        header_ = WithoutRows(read.header);
        if (!read.level.Empty())
            KeepLevel(level, std::move(read.level));
    }
    width_ = int(header_.width);
    height_ = int(header_.height);
    colour_ = PngColourProfile(header_.colour);
}

const PngImage& PngSource::Image() const
{
    if (!image_) {
        image_ = std::make_shared<const PngImage>(DecodePng(*file_));
        file_.reset();
    }
    return *image_;
}

PixelWindow PngSource::Region(const PixelRect& rect) const
{
    const PixelRect whole{0, 0, width_, height_};
    if (rect.Empty() || whole.Empty())
        return {};
    return {PngRegionToRaster(Image(), rect), rect.x, rect.y};
}

void PngSource::Prepare(int level) const
{
    if (level > 0)
        Level(level);
    else
        Image();
}

size_t PngSource::MemoryUse() const
{
    return DisplaySource::MemoryUse() + (file_ ? file_->size() : 0) + (image_ ? image_->rows.size() : 0);
}

Raster PngSource::MakeLevel(int level) const
{
    if (image_)
        return MakePngLevel(*image_, level);
    return DecodePngLevel(*file_, level).level;
}

// ---------------------------------------------------------------- preparing

PreparedPicture PreparePicture(GraphicKind kind, std::vector<uint8_t> bytes, const ShownSizeRule& shownSize)
{
    PreparedPicture prepared;
    prepared.kind = kind;
    auto levelFor = [&](int width, int height) {
        const auto [shownWidth, shownHeight] = shownSize(width, height);
        return LevelFor(width, height, shownWidth, shownHeight);
    };
    switch (kind) {
    case GraphicKind::Jpeg: {
        auto file = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
        JpegMetadata metadata = ReadJpegMetadata(*file);
        auto source = std::make_shared<JpegSource>(file, metadata);
        if (!metadata.Empty())
            prepared.metadata = std::make_shared<const JpegMetadata>(std::move(metadata));
        source->Prepare(levelFor(source->Width(), source->Height()));
        prepared.source = std::move(source);
        break;
    }
    case GraphicKind::Png: {
        const PngImage header = DecodePngHeader(bytes);
        const int level = levelFor(int(header.width), int(header.height));
        prepared.source =
            std::make_shared<PngSource>(std::make_shared<const std::vector<uint8_t>>(std::move(bytes)), level);
        break;
    }
    case GraphicKind::Raster: {
        prepared.source = RasterFileSource::ShownFrom(std::move(bytes), levelFor);
        break;
    }
    case GraphicKind::Icon:
    case GraphicKind::Metafile:
        throw Failure(L"Not a raster picture");
    }
    return prepared;
}
