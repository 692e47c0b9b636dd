// What the decoders of the newer formats (GIF, WebP, TIFF, AVIF) have in
// common: the metadata they hand over, the limits on animations, and pictures
// with frames, read one composed frame at a time so that playing them holds
// the frame shown and the one being made, never all of them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "imaging/pixels/Raster.h"

// A file's bytes, shared by the decoders that read it while it plays.
using SharedBytes = std::shared_ptr<const std::vector<uint8_t>>;

// What a file says about showing its pixels, as it stores it. The pixels a
// decoder gives are as stored: nothing is turned and no colour is converted.
struct ImageMetadata {
    // The Exif block as a TIFF structure (starting "II*\0" or "MM\0*"),
    // without the "Exif\0\0" of JPEG segments; empty without one.
    std::vector<uint8_t> exif;
    // The embedded ICC colour profile; empty without one.
    std::vector<uint8_t> icc;
    // The XMP packet; empty without one.
    std::vector<uint8_t> xmp;
    // The orientation the format records in its own fields (TIFF's
    // Orientation tag, an AVIF's rotation and mirror), numbered as Exif
    // numbers it (1 as stored ... 8); none when the format has no such field,
    // where the Exif block (if any) tells.
    std::optional<int> orientation;
};

// A still picture: its pixels as stored (24 bits, or 32 bits with straight
// alpha when it has transparency) and what its file says about them.
struct DecodedImage {
    Raster pixels;
    ImageMetadata metadata;
};

// Bounds for animations beside the pixel bounds of DecodeLimits (which the
// canvas obeys); fuzzers lower them.
struct AnimationLimits {
    static inline int maxFrames = 20000;
    // Frames times canvas pixels: what playing it once composes.
    static inline uint64_t maxTotalPixels = uint64_t(1) << 32;
    // Fails with Failure("The animation has too many frames") or ("The
    // animation is too large") when frames of width × height pass them.
    static void Check(uint64_t frames, uint64_t width, uint64_t height);
};

// The time a frame is shown, from the delay its file gives: delays of 10 ms
// or less are shown for 100 ms, as browsers show them.
int FrameDelay(int storedMs);

struct AnimationFrame {
    // The whole canvas after this frame: 32-bit, straight alpha (transparent
    // where no frame has drawn yet).
    Raster pixels;
    int index = 0;        // 0 for the first frame
    int delayMs = 100;    // after FrameDelay
    int storedDelayMs = 100;   // as the file gives it
};

// A picture with frames. Frames come one at a time, composed with the
// disposal and blending of the frames before them.
class AnimationDecoder {
public:
    virtual ~AnimationDecoder() = default;
    AnimationDecoder(const AnimationDecoder&) = delete;
    AnimationDecoder& operator=(const AnimationDecoder&) = delete;

    int Width() const { return width_; }     // the canvas
    int Height() const { return height_; }
    int FrameCount() const { return frameCount_; }
    // How many times the whole animation is shown; 0 without end.
    int LoopCount() const { return loopCount_; }
    const ImageMetadata& Metadata() const { return metadata_; }

    // The next frame: the first after opening, after Rewind and after the
    // last. Its pixels share the decoder's canvas: keeping them costs nothing
    // until the next call, which then composes on a copy (so a player that
    // keeps the frame shown while asking for the next one holds two canvases,
    // and one after it lets the old one go). Fails with a Failure when the
    // frame's data is damaged; throws WorkCancelled when the calling thread's
    // work is cancelled (system/Cancellation.h).
    const AnimationFrame& Next();
    // The next call to Next gives the first frame.
    void Rewind();
    // Takes the first frame as a decoder of the same file made it (its
    // pixels shared, whatever their alpha mark), so that the next call to
    // Next composes the second frame on it: the first is not decoded again.
    void ContinueAfterFirst(const AnimationFrame& first);
    // Index of the frame the next call to Next gives.
    int NextIndex() const { return next_; }
    // Another decoder of the same file, at its first frame.
    virtual std::unique_ptr<AnimationDecoder> Reopen() const = 0;
    // The picture when it is one frame that covers the canvas with no
    // transparency, decoded straight into 24 bits (as the first frame would
    // be, without its canvas); none for any other, or when the format has no
    // such way.
    virtual std::optional<Raster> OpaqueStill() { return std::nullopt; }

protected:
    AnimationDecoder() = default;
    // Composes frame `index` onto canvas (which holds the frame before it,
    // or is fully transparent for the first frame) and returns its delay as
    // stored, in ms.
    virtual int ComposeFrame(int index, Raster& canvas) = 0;
    // Called when the first frame comes next after other frames.
    virtual void Restart() = 0;
    // Called when the first frame was taken as made elsewhere: what
    // composing it would have left behind for the next frame.
    virtual void FirstFrameTaken(const Raster& canvas) { (void)canvas; }

    int width_ = 0, height_ = 0;
    int frameCount_ = 0;
    int loopCount_ = 0;
    ImageMetadata metadata_;

private:
    AnimationFrame frame_;
    int next_ = 0;
    bool started_ = false;
};

// Canvas work shared by the animated formats. rect must lie inside the canvas.
void ClearToTransparent(Raster& canvas, const PixelRect& rect);
// The rectangle of the canvas a frame at (left, top) of width × height covers,
// clipped to the canvas; empty when it lies outside.
PixelRect ClipToCanvas(const Raster& canvas, int64_t left, int64_t top, int64_t width, int64_t height);
// Puts part (32-bit, taken from the canvas by Raster::Part) back at (x, y).
void PasteRect(Raster& canvas, const Raster& part, int x, int y);
// 32-bit pixels whose colours are premultiplied by their alpha made
// straight, in place (the colours of transparent pixels 0); throws
// WorkCancelled between row bands when the work is cancelled.
void DividePremultipliedAlpha(Raster& pixels);

// The raster as the encoders take it: 24 bits, or 32 bits without alpha or
// with straight alpha. Shared when it already is so, converted otherwise
// (indexed and 16-bit pixels to 24 bits, premultiplied alpha to straight).
Raster EncoderPixels(const Raster& raster);
