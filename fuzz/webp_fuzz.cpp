// libFuzzer target: the WebP reader (facts, still decode, every frame of an
// animation) and, for what decodes, a lossless write that reads back alike
// and an animation turned and written again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "base/Failure.h"
#include "imaging/codecs/WebpCodec.h"
#include "imaging/pictures/PictureSaves.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DecodeLimits::maxPixels = uint64_t(1) << 22;
    AnimationLimits::maxFrames = 1000;
    AnimationLimits::maxTotalPixels = uint64_t(1) << 24;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> bytes(data, size);
    try {
        const WebpInfo info = ReadWebpInfo(bytes);
        DecodedImage image = DecodeWebp(bytes);
        if (image.pixels.Width() != info.width || image.pixels.Height() != info.height)
            std::abort();
        if (image.pixels.Width() * image.pixels.Height() <= 4096) {
            const Raster back = DecodeWebp(EncodeWebp(image.pixels, true, image.metadata)).pixels;
            if (back.Width() != image.pixels.Width() || back.Height() != image.pixels.Height())
                std::abort();
        }
        if (info.animated) {
            auto file = std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end());
            auto animation = OpenWebpAnimation(file);
            for (int n = 0; n < animation->FrameCount(); ++n)
                (void)animation->Next();
            // Turned and written again a frame at a time, as a save does.
            if (info.width * info.height <= 4096 && info.frameCount > 1 && info.frameCount <= 8) {
                PictureRecord record;
                record.type = RasterFileType::Webp;
                record.file = file;
                record.frames = info.frameCount;
                record.edits = {{Orientation::RotateClockwise}};
                const WebpInfo turned = ReadWebpInfo(EncodeRecordedPicture(RasterFileType::Webp, &record, {}, nullptr));
                if (turned.width != info.height || turned.height != info.width || turned.frameCount > info.frameCount)
                    std::abort();
            }
        }
    } catch (const Failure&) {
    }
    return 0;
}
