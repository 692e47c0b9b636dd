// WebP through libwebp, still and animated, from and to bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "imaging/codecs/Animation.h"

struct WebpInfo {
    int width = 0, height = 0;   // the canvas of an animation
    bool animated = false;
    bool alpha = false;
    // Every frame is compressed losslessly (saving it again should be too).
    bool lossless = false;
    int frameCount = 1;
    std::vector<uint8_t> exif;   // the Exif block's TIFF structure; empty without one
};

// The header's facts, frames included, without decoding pixels. Fails with
// Failure("WebP image is not valid: ...").
WebpInfo ReadWebpInfo(std::span<const uint8_t> file);

// A still picture, or the first frame of an animation, with the file's ICC
// profile and Exif block: 24 bits without alpha, 32 bits with straight alpha
// when the picture has it. Fails with Failure("WebP image is not valid: ...")
// and as DecodeLimits says; throws WorkCancelled when cancelled (the data is
// decoded a part at a time, 32 KiB of lossy or 256 KiB of lossless data,
// with a look at cancellation before each).
DecodedImage DecodeWebp(std::span<const uint8_t> file);

// A still WebP without alpha decoded straight at a smaller size, width ×
// height, by libwebp's own scaling as it decodes (the picture at its own size
// is never held): 24 bits, with the file's ICC profile and Exif block. Fails
// and stops as DecodeWebp, and fails for animations and pictures with alpha.
DecodedImage DecodeWebpScaled(std::span<const uint8_t> file, int width, int height);

// An animated (or still) WebP as frames composed on a transparent canvas,
// with each frame's blending and disposal. The loop count is the file's (0:
// without end). Fails and stops as DecodeWebp (looking before each frame
// too), and fails as AnimationLimits says.
std::unique_ptr<AnimationDecoder> OpenWebpAnimation(SharedBytes file);

// A still WebP of the raster (any format; transparency kept when it has
// alpha): lossless (keeping every pixel exactly, also under transparent ones)
// or lossy at quality 90, with the metadata's ICC profile, Exif block and XMP.
// Fails with Failure, e.g. "The picture is too large for a WebP image";
// throws WorkCancelled when cancelled.
std::vector<uint8_t> EncodeWebp(const Raster& raster, bool lossless, const ImageMetadata& metadata = {});

// An animated WebP written a frame at a time: each frame the whole canvas
// (any raster, transparency kept), compressed as EncodeWebp compresses a
// picture, shown for its own time; the loop count as AnimationDecoder counts
// it (0: without end). Frames that repeat the one before lengthen it.
// Fails with Failure.
class WebpAnimationWriter {
public:
    WebpAnimationWriter(int width, int height, bool lossless, int loopCount);
    ~WebpAnimationWriter();
    WebpAnimationWriter(const WebpAnimationWriter&) = delete;
    WebpAnimationWriter& operator=(const WebpAnimationWriter&) = delete;
    void Add(const Raster& canvas, int durationMs);
    // The file, with the metadata's ICC profile, Exif block and XMP.
    std::vector<uint8_t> Finish(const ImageMetadata& metadata);

private:
    struct State;
    std::unique_ptr<State> state_;
};
