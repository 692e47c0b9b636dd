#include "imaging/pictures/PictureSaves.h"

#include <optional>

#include "base/Failure.h"
#include "imaging/codecs/TiffCodec.h"
#include "imaging/codecs/WebpCodec.h"
#include "imaging/pixels/Transform.h"

namespace {

std::vector<uint8_t> RewriteAnimation(const PictureRecord& record, const ImageMetadata& metadata)
{
    const std::unique_ptr<AnimationDecoder> decoder = OpenAnimation(record.type, record.file);
    std::optional<WebpAnimationWriter> writer;
    for (int n = 0; n < decoder->FrameCount(); ++n) {
        const AnimationFrame& frame = decoder->Next();
        const Raster edited = ApplyEdits(frame.pixels, record.edits);
        if (!writer)
            writer.emplace(edited.Width(), edited.Height(), record.lossless, decoder->LoopCount());
        writer->Add(edited, frame.storedDelayMs);
    }
    return writer->Finish(metadata);
}

// The page's samples laid out anew, size and resolution following.
void TurnPage(TiffPage& page, Orientation orientation)
{
    if (orientation == Orientation::Identity)
        return;
    const bool swap = SwapsSides(orientation);
    const uint32_t width = swap ? page.height : page.width, height = swap ? page.width : page.height;
    const size_t rowBytes = (size_t(width) * size_t(page.Bits()) + 7) / 8;
    std::vector<uint8_t> samples(rowBytes * height);
    TransformSamples({page.samples.data(), page.rowBytes, int(page.width), int(page.height), page.Bits()},
                     {samples.data(), rowBytes, int(width), int(height), page.Bits()}, orientation);
    page.samples = std::move(samples);
    page.rowBytes = rowBytes;
    page.width = width;
    page.height = height;
    if (swap)
        std::swap(page.xResolution, page.yResolution);
}

void ResizePage(TiffPage& page, const PictureEdit& edit)
{
    const auto [width, height] = edit.SizeFor(int(page.width), int(page.height));
    if (!DecodeLimits::Allows(uint64_t(width), uint64_t(height)))
        throw Failure(L"Out of memory");
    const size_t rowBytes = (size_t(width) * size_t(page.Bits()) + 7) / 8;
    std::vector<uint8_t> samples(rowBytes * size_t(height));
    ResizeSamples({page.samples.data(), page.rowBytes, int(page.width), int(page.height), page.Bits()},
                  {samples.data(), rowBytes, width, height, page.Bits()});
    page.samples = std::move(samples);
    page.rowBytes = rowBytes;
    page.width = uint32_t(width);
    page.height = uint32_t(height);
}

std::vector<uint8_t> RewritePages(const PictureRecord& record)
{
    const int count = TiffPageCount(*record.file);
    TiffPageWriter writer(count);
    for (int n = 0; n < count; ++n) {
        TiffPage page = ReadTiffPage(*record.file, n);
        // Shown upright as its own tag says, then edited as the picture was.
        TurnPage(page, OrientationFromExif(page.orientation).value_or(Orientation::Identity));
        page.orientation = 1;
        for (const PictureEdit& edit : record.edits) {
            if (edit.IsResize())
                ResizePage(page, edit);
            else
                TurnPage(page, edit.turn);
        }
        if (!page.xmp.empty())
            UpdateXmpPacket(page.xmp, int(page.width), int(page.height));
        writer.Add(page);
    }
    return writer.Finish();
}

} // namespace

std::vector<uint8_t> EncodeRecordedPicture(RasterFileType type, const PictureRecord* record,
                                           std::span<const uint8_t> icc, const std::function<Raster()>& pixels)
{
    if (const FileFormat* format = FileFormatOfType(type); format && !format->Writable())
        throw Failure(std::wstring(format->refusal));
    const ImageMetadata metadata = MetadataToWrite(record, icc);
    if (record && type == RasterFileType::Webp && record->Animated()) {
        if (record->type == type && record->edits.empty())
            return *record->file;
        return RewriteAnimation(*record, metadata);
    }
    if (record && type == RasterFileType::Tiff && record->type == type && record->file) {
        if (record->edits.empty())
            return *record->file;
        return RewritePages(*record);
    }
    return EncodeRasterFile(type, pixels(), record && record->lossless, metadata);
}
