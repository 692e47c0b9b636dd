#include "imaging/codecs/WebpCodec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include "base/Cancellation.h"
#include "base/Failure.h"

namespace {

const wchar_t* StatusText(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: return L"out of memory";
    case VP8_STATUS_INVALID_PARAM: return L"invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR: return L"damaged data";
    case VP8_STATUS_UNSUPPORTED_FEATURE: return L"unsupported feature";
    case VP8_STATUS_NOT_ENOUGH_DATA: return L"the file is cut short";
    default: return L"cannot be decoded";
    }
}

[[noreturn]] void Invalid(const std::wstring& why) { throw Failure(L"WebP image is not valid: " + why); }

[[noreturn]] void ThrowStatus(VP8StatusCode status)
{
    if (status == VP8_STATUS_OUT_OF_MEMORY)
        throw Failure(L"Out of memory");
    Invalid(StatusText(status));
}

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
using DemuxPtr = std::unique_ptr<WebPDemuxer, DemuxDeleter>;

DemuxPtr Demux(std::span<const uint8_t> file)
{
    WebPData data{file.data(), file.size()};
    DemuxPtr demux(WebPDemux(&data));
    if (!demux) {
        // The demuxer only says no: the bitstream reader tells why.
        WebPBitstreamFeatures features;
        VP8StatusCode status = WebPGetFeatures(file.data(), file.size(), &features);
        Invalid(StatusText(status == VP8_STATUS_OK ? VP8_STATUS_BITSTREAM_ERROR : status));
    }
    return demux;
}

// One frame of the demuxer; released with the object.
class Frame {
public:
    Frame(const WebPDemuxer* demux, int number)
    {
        if (!WebPDemuxGetFrame(demux, number, &iter_))
            Invalid(L"a frame is missing");
    }
    ~Frame() { WebPDemuxReleaseIterator(&iter_); }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    const WebPIterator* operator->() const { return &iter_; }

private:
    WebPIterator iter_{};
};

ImageMetadata ReadMetadata(const WebPDemuxer* demux)
{
    ImageMetadata metadata;
    auto chunk = [&](const char* fourcc) {
        std::vector<uint8_t> bytes;
        WebPChunkIterator iter{};
        if (WebPDemuxGetChunk(demux, fourcc, 1, &iter))
            bytes.assign(iter.chunk.bytes, iter.chunk.bytes + iter.chunk.size);
        WebPDemuxReleaseChunkIterator(&iter);
        return bytes;
    };
    metadata.icc = chunk("ICCP");
    metadata.exif = chunk("EXIF");
    metadata.xmp = chunk("XMP ");
    // Some writers keep the "Exif\0\0" of JPEG's segment in front.
    static constexpr uint8_t kExifId[] = {'E', 'x', 'i', 'f', 0, 0};
    if (metadata.exif.size() >= 6 && std::equal(kExifId, kExifId + 6, metadata.exif.begin()))
        metadata.exif.erase(metadata.exif.begin(), metadata.exif.begin() + 6);
    return metadata;
}

struct IncrementalDeleter {
    void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

// The compressed data is handed to libwebp's incremental decoder a part at
// a time, with a look at cancellation before each: a few milliseconds of
// decoding (6 to 8 ms here). Lossy data costs about five times as much
// decoding a byte as lossless, and lossless decoding loses speed when it is
// handed its data in smaller parts.
constexpr size_t kLossyChunk = 32 * 1024, kLosslessChunk = 256 * 1024;

// Decodes one compressed image (a VP8 or VP8L bitstream, with its ALPH) of
// width × height into the 24- or 32-bit pixels given, rows `stride` bytes
// apart, scaled to outWidth × outHeight as it decodes when that differs.
void DecodeInto(std::span<const uint8_t> data, uint8_t* pixels, size_t stride, int width, int height, bool alpha,
                int outWidth, int outHeight)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        Invalid(L"library version mismatch");
    VP8StatusCode status = WebPGetFeatures(data.data(), data.size(), &config.input);
    if (status != VP8_STATUS_OK)
        ThrowStatus(status);
    if (config.input.width != width || config.input.height != height)
        Invalid(L"a frame's size does not match its header");
    if (outWidth != width || outHeight != height) {
        config.options.use_scaling = 1;
        config.options.scaled_width = outWidth;
        config.options.scaled_height = outHeight;
    }
    config.output.colorspace = alpha ? MODE_BGRA : MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = pixels;
    config.output.u.RGBA.stride = int(stride);
    config.output.u.RGBA.size = stride * size_t(outHeight - 1) + size_t(outWidth) * (alpha ? 4 : 3);
    // The features are those read above; the data is handed over below,
    // in place (it only grows), so none of it is copied.
    std::unique_ptr<WebPIDecoder, IncrementalDeleter> decoder(WebPIDecode(nullptr, 0, &config));
    if (!decoder)
        throw Failure(L"Out of memory");
    const size_t chunk = config.input.format == 2 ? kLosslessChunk : kLossyChunk;
    status = VP8_STATUS_SUSPENDED;
    for (size_t given = 0; status == VP8_STATUS_SUSPENDED && given < data.size();) {
        ThrowIfCancelled();
        given = std::min(data.size(), given + chunk);
        status = WebPIUpdate(decoder.get(), data.data(), given);
    }
    decoder.reset();
    WebPFreeDecBuffer(&config.output);
    if (status == VP8_STATUS_SUSPENDED)
        status = VP8_STATUS_NOT_ENOUGH_DATA;
    if (status != VP8_STATUS_OK)
        ThrowStatus(status);
}

// src over dst, both straight-alpha BGRA.
inline void BlendOver(const uint8_t* src, uint8_t* dst)
{
    const uint32_t sa = src[3];
    if (sa == 255) {
        std::memcpy(dst, src, 4);
        return;
    }
    if (sa == 0)
        return;
    // Weights in 1/65025ths: the source's alpha and what the destination keeps.
    const uint32_t ws = sa * 255, wd = uint32_t(dst[3]) * (255 - sa);
    const uint32_t total = ws + wd;
    for (int c = 0; c < 3; ++c)
        dst[c] = uint8_t((src[c] * ws + dst[c] * wd + total / 2) / total);
    dst[3] = uint8_t((total + 127) / 255);
}

class WebpDecoder : public AnimationDecoder {
public:
    explicit WebpDecoder(SharedBytes file) : file_(std::move(file))
    {
        if (!file_)
            Invalid(L"no data");
        demux_ = Demux(*file_);
        width_ = int(WebPDemuxGetI(demux_.get(), WEBP_FF_CANVAS_WIDTH));
        height_ = int(WebPDemuxGetI(demux_.get(), WEBP_FF_CANVAS_HEIGHT));
        frameCount_ = int(WebPDemuxGetI(demux_.get(), WEBP_FF_FRAME_COUNT));
        loopCount_ = int(WebPDemuxGetI(demux_.get(), WEBP_FF_LOOP_COUNT));
        if (frameCount_ < 1)
            Invalid(L"no frames");
        if (!DecodeLimits::Allows(uint64_t(width_), uint64_t(height_)))
            throw Failure(L"Out of memory");
        AnimationLimits::Check(uint64_t(frameCount_), uint64_t(width_), uint64_t(height_));
        metadata_ = ReadMetadata(demux_.get());
    }

    std::unique_ptr<AnimationDecoder> Reopen() const override { return std::make_unique<WebpDecoder>(file_); }

protected:
    int ComposeFrame(int index, Raster& canvas) override
    {
        if (index > 0) {
            Frame before(demux_.get(), index);
            if (before->dispose_method == WEBP_MUX_DISPOSE_BACKGROUND)
                ClearToTransparent(canvas, Place(canvas, before));
        }
        Frame frame(demux_.get(), index + 1);
        const PixelRect rect = Place(canvas, frame);
        std::span<const uint8_t> data(frame->fragment.bytes, frame->fragment.size);
        if (frame->blend_method == WEBP_MUX_NO_BLEND || !frame->has_alpha) {
            // The frame replaces what it covers: decoded straight into the canvas.
            DecodeInto(data, canvas.MutableRow(rect.y) + size_t(rect.x) * 4, canvas.Stride(), rect.width,
                       rect.height, true, rect.width, rect.height);
        } else {
            Raster part(rect.width, rect.height, PixelFormat::Bit32, Raster::Unfilled{});
            DecodeInto(data, part.MutableRow(0), part.Stride(), rect.width, rect.height, true, rect.width,
                       rect.height);
            for (int y = 0; y < rect.height; ++y) {
                const uint8_t* src = part.Row(y);
                uint8_t* dst = canvas.MutableRow(rect.y + y) + size_t(rect.x) * 4;
                for (int x = 0; x < rect.width; ++x)
                    BlendOver(src + 4 * x, dst + 4 * x);
            }
        }
        return frame->duration;
    }

    void Restart() override {}

private:
    // Where a frame lies on the canvas; the demuxer has made sure it lies inside.
    static PixelRect Place(const Raster& canvas, const Frame& frame)
    {
        PixelRect rect = ClipToCanvas(canvas, frame->x_offset, frame->y_offset, frame->width, frame->height);
        if (rect.width != frame->width || rect.height != frame->height)
            Invalid(L"a frame lies outside the canvas");
        return rect;
    }

    SharedBytes file_;
    DemuxPtr demux_;
};

// Lossless when every frame is.
bool AllLossless(const WebPDemuxer* demux, int frames)
{
    for (int n = 1; n <= frames; ++n) {
        Frame frame(demux, n);
        WebPBitstreamFeatures features;
        if (WebPGetFeatures(frame->fragment.bytes, frame->fragment.size, &features) != VP8_STATUS_OK ||
            features.format != 2)
            return false;
    }
    return true;
}

}  // namespace

WebpInfo ReadWebpInfo(std::span<const uint8_t> file)
{
    DemuxPtr demux = Demux(file);
    WebpInfo info;
    info.width = int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH));
    info.height = int(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT));
    const uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
    info.animated = (flags & ANIMATION_FLAG) != 0;
    info.frameCount = int(WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT));
    if (info.frameCount < 1)
        Invalid(L"no frames");
    info.alpha = (flags & ALPHA_FLAG) != 0;
    if (!info.animated) {
        // A simple file has no flags: its bitstream says whether it has alpha.
        Frame frame(demux.get(), 1);
        info.alpha = info.alpha || frame->has_alpha;
    }
    info.lossless = AllLossless(demux.get(), info.frameCount);
    info.exif = ReadMetadata(demux.get()).exif;
    return info;
}

DecodedImage DecodeWebp(std::span<const uint8_t> file)
{
    DemuxPtr demux = Demux(file);
    const uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
    DecodedImage image;
    if (flags & ANIMATION_FLAG) {
        WebpDecoder animation(std::make_shared<const std::vector<uint8_t>>(file.begin(), file.end()));
        image.pixels = animation.Next().pixels;
        image.metadata = animation.Metadata();
        return image;
    }
    Frame frame(demux.get(), 1);
    const int width = frame->width, height = frame->height;
    if (!DecodeLimits::Allows(uint64_t(width), uint64_t(height)))
        throw Failure(L"Out of memory");
    const bool alpha = frame->has_alpha;
    Raster pixels(width, height, alpha ? PixelFormat::Bit32 : PixelFormat::Bit24, Raster::Unfilled{});
    pixels.SetAlpha(alpha ? AlphaMode::Straight : AlphaMode::None);
    DecodeInto({frame->fragment.bytes, frame->fragment.size}, pixels.MutableRow(0), pixels.Stride(), width, height,
               alpha, width, height);
    image.pixels = std::move(pixels);
    image.metadata = ReadMetadata(demux.get());
    return image;
}

DecodedImage DecodeWebpScaled(std::span<const uint8_t> file, int width, int height)
{
    DemuxPtr demux = Demux(file);
    if (WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG)
        Invalid(L"an animation has no single picture to scale");
    Frame frame(demux.get(), 1);
    if (frame->has_alpha)
        Invalid(L"a picture with alpha is not scaled as it is decoded");
    if (width < 1 || height < 1 || width > frame->width || height > frame->height)
        Invalid(L"a scaled size outside the picture's");
    Raster pixels(width, height, PixelFormat::Bit24, Raster::Unfilled{});
    DecodeInto({frame->fragment.bytes, frame->fragment.size}, pixels.MutableRow(0), pixels.Stride(), frame->width,
               frame->height, false, width, height);
    DecodedImage image;
    image.pixels = std::move(pixels);
    image.metadata = ReadMetadata(demux.get());
    return image;
}

std::unique_ptr<AnimationDecoder> OpenWebpAnimation(SharedBytes file)
{
    return std::make_unique<WebpDecoder>(std::move(file));
}

// ---------------------------------------------------------------- encoding

namespace {

const wchar_t* EncodingErrorText(WebPEncodingError error)
{
    switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return L"Out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION:
        return L"The picture is too large for a WebP image (at most 16383 x 16383 pixels)";
    case VP8_ENC_ERROR_FILE_TOO_BIG: return L"The picture is too large for a WebP image";
    default: return L"The picture could not be compressed as WebP";
    }
}

struct EncodeState {
    WebPPicture picture;
    WebPMemoryWriter writer;
    EncodeState()
    {
        WebPPictureInit(&picture);
        WebPMemoryWriterInit(&writer);
    }
    ~EncodeState()
    {
        WebPPictureFree(&picture);
        WebPMemoryWriterClear(&writer);
    }
    EncodeState(const EncodeState&) = delete;
    EncodeState& operator=(const EncodeState&) = delete;
};

int KeepGoing(int, const WebPPicture*) { return CancelRequested() ? 0 : 1; }

struct MuxDeleter {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

// Adds the profile, Exif and XMP chunks to a WebP: a still one's bitstream,
// or (animation) a whole file.
std::vector<uint8_t> WithMetadata(const uint8_t* image, size_t size, const ImageMetadata& metadata,
                                  bool animation = false)
{
    const WebPData bitstream{image, size};
    std::unique_ptr<WebPMux, MuxDeleter> mux(animation ? WebPMuxCreate(&bitstream, 0) : WebPMuxNew());
    if (!mux)
        throw Failure(L"Out of memory");
    const WebPData icc{metadata.icc.data(), metadata.icc.size()};
    const WebPData exif{metadata.exif.data(), metadata.exif.size()};
    const WebPData xmp{metadata.xmp.data(), metadata.xmp.size()};
    WebPData assembled{nullptr, 0};
    if ((!animation && WebPMuxSetImage(mux.get(), &bitstream, 0) != WEBP_MUX_OK) ||
        (!metadata.icc.empty() && WebPMuxSetChunk(mux.get(), "ICCP", &icc, 0) != WEBP_MUX_OK) ||
        (!metadata.exif.empty() && WebPMuxSetChunk(mux.get(), "EXIF", &exif, 0) != WEBP_MUX_OK) ||
        (!metadata.xmp.empty() && WebPMuxSetChunk(mux.get(), "XMP ", &xmp, 0) != WEBP_MUX_OK) ||
        WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) {
        WebPDataClear(&assembled);
        throw Failure(L"The picture could not be compressed as WebP");
    }
    std::vector<uint8_t> out(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    return out;
}

}  // namespace

namespace {

// The settings of every picture this program writes: lossless (keeping every
// pixel exactly, also under transparent ones) or lossy at quality 90.
WebPConfig ConfigFor(bool lossless)
{
    WebPConfig config;
    if (!WebPConfigInit(&config))
        throw Failure(L"The picture could not be compressed as WebP");
    if (lossless) {
        config.lossless = 1;
        config.exact = 1;   // keep the colours under transparent pixels too
        config.quality = 75;
    } else {
        config.quality = 90;
    }
    config.method = 4;
    return config;
}

// The pixels (as EncoderPixels gives them) put into the picture, in ARGB when asked.
void Import(WebPPicture& picture, const Raster& pixels, bool argb)
{
    picture.use_argb = argb ? 1 : 0;
    picture.width = pixels.Width();
    picture.height = pixels.Height();
    if (picture.width > WEBP_MAX_DIMENSION || picture.height > WEBP_MAX_DIMENSION)
        throw Failure(EncodingErrorText(VP8_ENC_ERROR_BAD_DIMENSION));
    const int stride = int(pixels.Stride());
    int imported = 0;
    if (pixels.Format() == PixelFormat::Bit24)
        imported = WebPPictureImportBGR(&picture, pixels.Bits0(), stride);
    else if (pixels.Alpha() == AlphaMode::Straight)
        imported = WebPPictureImportBGRA(&picture, pixels.Bits0(), stride);
    else
        imported = WebPPictureImportBGRX(&picture, pixels.Bits0(), stride);
    if (!imported)
        throw Failure(EncodingErrorText(picture.error_code));
}

}  // namespace

std::vector<uint8_t> EncodeWebp(const Raster& raster, bool lossless, const ImageMetadata& metadata)
{
    if (raster.Empty())
        throw Failure(L"The picture could not be compressed as WebP");
    const Raster pixels = EncoderPixels(raster);
    WebPConfig config = ConfigFor(lossless);

    EncodeState state;
    WebPPicture& picture = state.picture;
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &state.writer;
    picture.progress_hook = KeepGoing;
    Import(picture, pixels, lossless);
    if (!WebPEncode(&config, &picture)) {
        ThrowIfCancelled();
        throw Failure(EncodingErrorText(picture.error_code));
    }
    if (metadata.icc.empty() && metadata.exif.empty() && metadata.xmp.empty())
        return std::vector<uint8_t>(state.writer.mem, state.writer.mem + state.writer.size);
    return WithMetadata(state.writer.mem, state.writer.size, metadata);
}

struct WebpAnimationWriter::State {
    WebPAnimEncoder* encoder = nullptr;
    WebPConfig config{};
    int width = 0, height = 0;
    int64_t timestamp = 0;
    ~State()
    {
        if (encoder)
            WebPAnimEncoderDelete(encoder);
    }
};

WebpAnimationWriter::WebpAnimationWriter(int width, int height, bool lossless, int loopCount)
    : state_(std::make_unique<State>())
{
    if (width < 1 || height < 1 || width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION)
        throw Failure(EncodingErrorText(VP8_ENC_ERROR_BAD_DIMENSION));
    state_->config = ConfigFor(lossless);
    state_->width = width;
    state_->height = height;
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options))
        throw Failure(L"The picture could not be compressed as WebP");
    options.anim_params.loop_count = std::clamp(loopCount, 0, 65535);
    state_->encoder = WebPAnimEncoderNew(width, height, &options);
    if (!state_->encoder)
        throw Failure(L"Out of memory");
}

WebpAnimationWriter::~WebpAnimationWriter() = default;

void WebpAnimationWriter::Add(const Raster& canvas, int durationMs)
{
    if (canvas.Width() != state_->width || canvas.Height() != state_->height)
        throw Failure(L"The picture could not be compressed as WebP");
    const Raster pixels = EncoderPixels(canvas);
    EncodeState frame;
    Import(frame.picture, pixels, true);
    if (!WebPAnimEncoderAdd(state_->encoder, &frame.picture, int(state_->timestamp), &state_->config))
        throw Failure(EncodingErrorText(frame.picture.error_code));
    state_->timestamp += std::clamp(durationMs, 0, (1 << 24) - 1);
    if (state_->timestamp > INT32_MAX)
        throw Failure(L"The picture could not be compressed as WebP");
}

std::vector<uint8_t> WebpAnimationWriter::Finish(const ImageMetadata& metadata)
{
    WebPData data{nullptr, 0};
    if (!WebPAnimEncoderAdd(state_->encoder, nullptr, int(state_->timestamp), nullptr) ||
        !WebPAnimEncoderAssemble(state_->encoder, &data)) {
        WebPDataClear(&data);
        throw Failure(L"The picture could not be compressed as WebP");
    }
    std::vector<uint8_t> out;
    try {
        out = metadata.icc.empty() && metadata.exif.empty() && metadata.xmp.empty()
                  ? std::vector<uint8_t>(data.bytes, data.bytes + data.size)
                  : WithMetadata(data.bytes, data.size, metadata, true);
    } catch (...) {
        WebPDataClear(&data);
        throw;
    }
    WebPDataClear(&data);
    return out;
}
