#include "imaging/display/RasterFiles.h"

#include "imaging/codecs/WebpCodec.h"
#include "imaging/pixels/Levels.h"

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
