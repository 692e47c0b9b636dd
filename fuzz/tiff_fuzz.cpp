// libFuzzer target: the TIFF reader and, for what decodes, the writer, whose
// file must read back with the same pixels; and the pages read and written
// again one at a time, as a save of the edited picture does, each reading
// back with the samples it had.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/Failure.h"
#include "imaging/codecs/TiffCodec.h"
#include "imaging/pictures/PictureSaves.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DecodeLimits::maxPixels = uint64_t(1) << 22;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        TiffImage image = DecodeTiff(std::span<const uint8_t>(data, size));
        if (image.pageCount < 1 || image.pixels.Empty())
            std::abort();
        if (image.pixels.Width() * image.pixels.Height() <= 4096 && image.pixels.Alpha() != AlphaMode::Straight) {
            const Raster back = DecodeTiff(EncodeTiff(image.pixels)).pixels;
            for (int y = 0; y < back.Height(); ++y)
                for (int x = 0; x < back.Width(); ++x)
                    if (back.PixelAt(x, y) != image.pixels.PixelAt(x, y))
                        std::abort();
        }
    } catch (const Failure&) {
    }
    try {
        // Resized to their own size: every page written again as it was.
        PictureRecord record;
        record.type = RasterFileType::Tiff;
        record.file = std::make_shared<const std::vector<uint8_t>>(data, data + size);
        record.pages = TiffPageCount(*record.file);
        if (record.pages > 4)
            return 0;
        const TiffPage first = ReadTiffPage(*record.file, 0);
        if (uint64_t(first.width) * first.height > 4096)
            return 0;
        record.edits = {{Orientation::Identity, int(first.width), int(first.height), int(first.width),
                         int(first.height)}};
        const std::vector<uint8_t> out = EncodeRecordedPicture(RasterFileType::Tiff, &record, {}, nullptr);
        if (TiffPageCount(out) != record.pages)
            std::abort();
        for (int n = 0; n < record.pages; ++n) {
            const TiffPage before = ReadTiffPage(*record.file, n), after = ReadTiffPage(out, n);
            if (before.orientation == 1 &&
                (after.Bits() != before.Bits() || after.photometric != before.photometric ||
                 after.samples != before.samples))
                std::abort();
        }
    } catch (const Failure&) {
    }
    return 0;
}
