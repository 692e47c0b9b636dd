#include "imaging/codecs/Animation.h"

#include <algorithm>
#include <cstring>

#include "base/Cancellation.h"
#include "base/Failure.h"

void AnimationLimits::Check(uint64_t frames, uint64_t width, uint64_t height)
{
    if (frames > uint64_t(maxFrames))
        throw Failure(L"The animation has too many frames");
    // Width and height are below 2^32 and frames below 2^31: no product overflows.
    if (width * height > maxTotalPixels || frames * (width * height) > maxTotalPixels)
        throw Failure(L"The animation is too large");
}

int FrameDelay(int storedMs) { return storedMs <= 10 ? 100 : storedMs; }

const AnimationFrame& AnimationDecoder::Next()
{
    try {
        if (next_ == 0) {
            if (started_)
                Restart();
            started_ = true;
            // A new canvas: a frame handed out before keeps its own pixels.
            Raster canvas(width_, height_, PixelFormat::Bit32, Raster::Unfilled{});
            canvas.SetAlpha(AlphaMode::Straight);
            ClearToTransparent(canvas, {0, 0, width_, height_});
            frame_.pixels = std::move(canvas);
        }
        frame_.storedDelayMs = ComposeFrame(next_, frame_.pixels);
        frame_.delayMs = FrameDelay(frame_.storedDelayMs);
    } catch (...) {
        // The canvas may hold half a frame: the next call starts again.
        next_ = 0;
        throw;
    }
    frame_.index = next_;
    next_ = next_ + 1 < frameCount_ ? next_ + 1 : 0;
    return frame_;
}

void AnimationDecoder::Rewind() { next_ = 0; }

void AnimationDecoder::ContinueAfterFirst(const AnimationFrame& first)
{
    if (first.pixels.Width() != width_ || first.pixels.Height() != height_ || first.pixels.Bits() != 32)
        throw Failure(L"Invalid picture");
    frame_ = first;
    frame_.index = 0;
    // Frames after it may bring transparency back.
    frame_.pixels.SetAlpha(AlphaMode::Straight);
    started_ = true;
    next_ = frameCount_ > 1 ? 1 : 0;
    FirstFrameTaken(frame_.pixels);
}

void ClearToTransparent(Raster& canvas, const PixelRect& rect)
{
    for (int y = rect.y; y < rect.y + rect.height; ++y)
        std::memset(canvas.MutableRow(y) + size_t(rect.x) * 4, 0, size_t(rect.width) * 4);
}

PixelRect ClipToCanvas(const Raster& canvas, int64_t left, int64_t top, int64_t width, int64_t height)
{
    const int64_t x0 = std::max<int64_t>(left, 0), y0 = std::max<int64_t>(top, 0);
    const int64_t x1 = std::min<int64_t>(left + width, canvas.Width());
    const int64_t y1 = std::min<int64_t>(top + height, canvas.Height());
    if (x1 <= x0 || y1 <= y0)
        return {};
    return {int(x0), int(y0), int(x1 - x0), int(y1 - y0)};
}

void PasteRect(Raster& canvas, const Raster& part, int x, int y)
{
    for (int row = 0; row < part.Height(); ++row)
        std::memcpy(canvas.MutableRow(y + row) + size_t(x) * 4, part.Row(row), size_t(part.Width()) * 4);
}

void DividePremultipliedAlpha(Raster& pixels)
{
    for (int y = 0; y < pixels.Height(); ++y) {
        if (y % 64 == 0)
            ThrowIfCancelled();
        uint8_t* p = pixels.MutableRow(y);
        for (int x = 0; x < pixels.Width(); ++x, p += 4) {
            const unsigned a = p[3];
            if (a == 255)
                continue;
            for (int c = 0; c < 3; ++c)
                p[c] = a == 0 ? 0 : uint8_t(std::min(255u, (p[c] * 255u + a / 2) / a));
        }
    }
}

Raster EncoderPixels(const Raster& raster)
{
    if (raster.Format() == PixelFormat::Bit24 ||
        (raster.Bits() == 32 && raster.Alpha() != AlphaMode::Premultiplied))
        return raster;
    if (raster.Bits() != 32)
        return raster.ConvertedTo(PixelFormat::Bit24);
    Raster straight(raster.Width(), raster.Height(), PixelFormat::Bit32, Raster::Unfilled{});
    straight.SetAlpha(AlphaMode::Straight);
    for (int y = 0; y < raster.Height(); ++y) {
        const uint8_t* src = raster.Row(y);
        uint8_t* dst = straight.MutableRow(y);
        for (int x = 0; x < raster.Width(); ++x, src += 4, dst += 4) {
            const unsigned a = src[3];
            for (int c = 0; c < 3; ++c)
                dst[c] = a == 0 ? 0 : uint8_t(std::min(255u, (src[c] * 255u + a / 2) / a));
            dst[3] = uint8_t(a);
        }
    }
    return straight;
}
