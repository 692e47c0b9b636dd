#include "imaging/pictures/PictureRecord.h"

#include <algorithm>

#include "base/Numbers.h"

#include "imaging/codecs/PngCodec.h"
#include "imaging/codecs/RasterCodecs.h"
#include "imaging/pixels/Transform.h"

std::pair<int, int> PictureEdit::SizeFor(int pixelsWidth, int pixelsHeight) const
{
    if (pixelsWidth == fromWidth && pixelsHeight == fromHeight)
        return {width, height};
    auto scaled = [](int side, int to, int from) {
        return from > 0 ? int(std::max<int64_t>(1, RoundHalfEven(double(side) * to / from))) : to;
    };
    return {scaled(pixelsWidth, width, fromWidth), scaled(pixelsHeight, height, fromHeight)};
}

Raster ApplyEdits(Raster pixels, std::span<const PictureEdit> edits)
{
    for (const PictureEdit& edit : edits) {
        if (edit.IsResize()) {
            const auto [width, height] = edit.SizeFor(pixels.Width(), pixels.Height());
            pixels = ResizeKeepingAlpha(pixels, width, height);
        } else {
            pixels = TransformKeepingAlpha(pixels, edit.turn);
        }
    }
    return pixels;
}

std::shared_ptr<const PictureRecord> RecordOfJpeg(std::shared_ptr<const JpegMetadata> metadata, int width,
                                                  int height)
{
    auto record = std::make_shared<PictureRecord>();
    record->kind = GraphicKind::Jpeg;
    if (metadata && UprightOrientation(*metadata) != Orientation::Identity)
        metadata = std::make_shared<const JpegMetadata>(MetadataForNewPixels(*metadata, width, height, false));
    record->jpeg = std::move(metadata);
    return record;
}

std::shared_ptr<const PictureRecord> RecordOfPng(const PngImage& image)
{
    auto record = std::make_shared<PictureRecord>();
    record->kind = GraphicKind::Png;
    record->exif = image.exif;
    record->xmp = image.xmp;
    return record;
}

std::shared_ptr<const PictureRecord> RecordOfRasterFile(const RasterFile& file)
{
    auto record = std::make_shared<PictureRecord>();
    record->type = file.type;
    record->lossless = file.type == RasterFileType::Webp && file.lossless;
    record->exif = file.metadata.exif;
    record->xmp = file.metadata.xmp;
    record->frames = file.frameCount;
    record->pages = file.pageCount;
    record->firstDelayMs = file.firstDelayMs;
    record->file = file.type == RasterFileType::Tiff ? file.pages : file.animation;
    return record;
}

std::shared_ptr<const PictureRecord> RecordOfKind(GraphicKind kind)
{
    auto record = std::make_shared<PictureRecord>();
    record->kind = kind;
    return record;
}

std::shared_ptr<const PictureRecord> AfterEdit(const PictureRecord& record, const PictureEdit& edit, int width,
                                               int height)
{
    auto after = std::make_shared<PictureRecord>(record);
    std::vector<PictureEdit>& edits = after->edits;
    if (!edit.IsResize() && !edits.empty() && !edits.back().IsResize())
        edits.back().turn = Then(edits.back().turn, edit.turn);
    else
        edits.push_back(edit);
    if (!edits.back().IsResize() && edits.back().turn == Orientation::Identity)
        edits.pop_back();
    // New pixels are stored as they are shown; a turn leaves the Exif
    // thumbnail lying otherwise.
    const bool turned = !edit.IsResize();
    if (after->jpeg)
        after->jpeg = std::make_shared<const JpegMetadata>(MetadataForNewPixels(*after->jpeg, width, height, turned));
    UpdateExifBlock(after->exif, width, height, turned);
    if (!after->xmp.empty())
        UpdateXmpPacket(after->xmp, width, height);
    return after;
}

ImageMetadata MetadataToWrite(const PictureRecord* record, std::span<const uint8_t> icc)
{
    ImageMetadata metadata;
    metadata.icc.assign(icc.begin(), icc.end());
    if (!record)
        return metadata;
    if (record->jpeg) {
        metadata.exif = ExifBlockOf(*record->jpeg);
        metadata.xmp = XmpPacketOf(*record->jpeg);
    } else {
        metadata.exif = record->exif;
        metadata.xmp = record->xmp;
    }
    return metadata;
}

JpegMetadata JpegMetadataToWrite(const PictureRecord* record, std::span<const uint8_t> icc)
{
    if (record && record->jpeg)
        return *record->jpeg;
    const ImageMetadata metadata = MetadataToWrite(record, icc);
    if (metadata.exif.empty() && metadata.xmp.empty() && metadata.icc.empty())
        return {};
    return JpegMetadataHolding(metadata.exif, metadata.xmp, metadata.icc);
}

LeftOut LeftOutBySaving(const PictureRecord* record, const FileFormat* format)
{
    if (!record)
        return {};
    const RasterFileType target = format ? format->type : RasterFileType::Bitmap;
    if (record->frames > 1 && !(target == RasterFileType::Webp && record->Animated()))
        return {record->frames - 1, false};
    if (record->pages > 1 && !(target == RasterFileType::Tiff && record->type == RasterFileType::Tiff && record->file))
        return {record->pages - 1, true};
    return {};
}
