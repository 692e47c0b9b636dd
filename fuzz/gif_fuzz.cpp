// libFuzzer target: the GIF reader, every frame of whatever opens, twice
// round (the second pass goes back to the file's start).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/Failure.h"
#include "imaging/codecs/GifCodec.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    DecodeLimits::maxPixels = uint64_t(1) << 22;
    AnimationLimits::maxFrames = 1000;
    AnimationLimits::maxTotalPixels = uint64_t(1) << 24;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        auto gif = OpenGif(std::make_shared<const std::vector<uint8_t>>(data, data + size));
        if (gif->FrameCount() < 1 || gif->Width() < 1 || gif->Height() < 1)
            std::abort();
        for (int n = 0; n < 2 * gif->FrameCount(); ++n) {
            try {
                const AnimationFrame& frame = gif->Next();
                if (frame.pixels.Width() != gif->Width() || frame.pixels.Height() != gif->Height())
                    std::abort();
            } catch (const Failure&) {
            }
        }
        (void)gif->Reopen()->Next();
    } catch (const Failure&) {
    }
    return 0;
}
