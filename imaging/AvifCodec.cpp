#include "imaging/AvifCodec.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <string>

#include <dav1d/dav1d.h>

#include "imaging/AvifContainer.h"
#include "imaging/ColourProfile.h"
#include "imaging/YuvToRgb.h"
#include "base/Cancellation.h"
#include "base/Failure.h"

namespace {

[[noreturn]] void Undecodable(int code)
{
    if (code == DAV1D_ERR(ENOMEM))
        throw Failure(L"Out of memory");
    throw Failure(L"AVIF image is not valid: the AV1 data cannot be decoded (error " + std::to_wstring(-code) + L")");
}

struct ContextCloser {
    void operator()(Dav1dContext* context) const { dav1d_close(&context); }
};

// A decoded picture, released with the object.
struct Av1Picture {
    Dav1dPicture picture{};
    bool held = false;
    Av1Picture() = default;
    Av1Picture(const Av1Picture&) = delete;
    Av1Picture& operator=(const Av1Picture&) = delete;
    ~Av1Picture()
    {
        if (held)
            dav1d_picture_unref(&picture);
    }
    const Dav1dPicture* operator->() const { return &picture; }
};

void NoFree(const uint8_t*, void*) {}

// The first picture of the AV1 data.
void DecodeAv1(const std::vector<uint8_t>& data, Av1Picture& out)
{
    Dav1dSettings settings;
    dav1d_default_settings(&settings);
    settings.n_threads = 0;          // as many as the machine has
    settings.max_frame_delay = 1;    // one picture: no frame threads
    settings.all_layers = 0;         // the best layer of a layered picture only
    settings.frame_size_limit = unsigned(std::min<uint64_t>(DecodeLimits::maxPixels, UINT_MAX));
    settings.logger.callback = nullptr;
    Dav1dContext* raw = nullptr;
    if (int code = dav1d_open(&raw, &settings); code < 0)
        Undecodable(code);
    std::unique_ptr<Dav1dContext, ContextCloser> context(raw);

    Dav1dData input{};
    if (int code = dav1d_data_wrap(&input, data.data(), data.size(), NoFree, nullptr); code < 0)
        Undecodable(code);
    struct InputGuard {
        Dav1dData& d;
        ~InputGuard() { dav1d_data_unref(&d); }
    } guard{input};

    ThrowIfCancelled();
    // Send the data and take the picture; once everything is sent, the
    // second request waits for work still under way.
    int drained = 0;
    for (int round = 0; round < 10000; ++round) {
        if (input.sz > 0) {
            int code = dav1d_send_data(context.get(), &input);
            if (code < 0 && code != DAV1D_ERR(EAGAIN))
                Undecodable(code);
        }
        int code = dav1d_get_picture(context.get(), &out.picture);
        if (code == 0) {
            out.held = true;
            break;
        }
        if (code != DAV1D_ERR(EAGAIN))
            Undecodable(code);
        if (input.sz == 0 && ++drained > 2)
            break;
    }
    ThrowIfCancelled();
    if (!out.held)
        throw Failure(L"AVIF image is not valid: the AV1 data holds no picture");
}

YuvPlanes PlanesOf(const Dav1dPicture& p)
{
    YuvPlanes planes;
    planes.width = p.p.w;
    planes.height = p.p.h;
    planes.bitDepth = p.p.bpc;
    switch (p.p.layout) {
    case DAV1D_PIXEL_LAYOUT_I400: planes.layout = ChromaLayout::Monochrome; break;
    case DAV1D_PIXEL_LAYOUT_I420: planes.layout = ChromaLayout::Yuv420; break;
    case DAV1D_PIXEL_LAYOUT_I422: planes.layout = ChromaLayout::Yuv422; break;
    case DAV1D_PIXEL_LAYOUT_I444: planes.layout = ChromaLayout::Yuv444; break;
    }
    planes.y = p.data[0];
    planes.u = p.data[1];
    planes.v = p.data[2];
    planes.yStride = p.stride[0];
    planes.uvStride = p.stride[1];
    return planes;
}

}  // namespace

DecodedImage DecodeAvif(std::span<const uint8_t> file)
{
    AvifPicture container = ReadAvifContainer(file);
    if (container.width && container.height && !DecodeLimits::Allows(container.width, container.height))
        throw Failure(L"Out of memory");

    Av1Picture colour;
    DecodeAv1(container.colour, colour);
    const int width = colour->p.w, height = colour->p.h;
    if (!DecodeLimits::Allows(uint64_t(width), uint64_t(height)))
        throw Failure(L"Out of memory");

    Av1Picture alpha;
    if (!container.alpha.empty()) {
        DecodeAv1(container.alpha, alpha);
        if (alpha->p.w != width || alpha->p.h != height)
            throw Failure(L"AVIF image is not valid: the alpha plane's size differs from the picture's");
    }

    const bool hasAlpha = alpha.held;
    Raster pixels(width, height, hasAlpha ? PixelFormat::Bit32 : PixelFormat::Bit24, Raster::Unfilled{});
    pixels.SetAlpha(hasAlpha ? AlphaMode::Straight : AlphaMode::None);

    YuvColour yuv;
    const Dav1dSequenceHeader* sequence = colour->seq_hdr;
    if (container.nclx) {
        yuv.matrix = container.nclx->matrix;
        yuv.primaries = container.nclx->primaries;
    } else if (sequence) {
        yuv.matrix = int(sequence->mtrx);
        yuv.primaries = int(sequence->pri);
    }
    // The samples' range is the bitstream's own.
    yuv.fullRange = sequence ? sequence->color_range != 0 : container.nclx && container.nclx->fullRange;
    YuvToBgr(PlanesOf(colour.picture), yuv, pixels);
    if (hasAlpha) {
        const bool full = alpha->seq_hdr ? alpha->seq_hdr->color_range != 0 : container.alphaFullRange.value_or(true);
        LumaToAlpha(PlanesOf(alpha.picture), full, pixels);
        if (container.alphaPremultiplied)
            DividePremultipliedAlpha(pixels);
    }

    DecodedImage image;
    image.pixels = std::move(pixels);
    image.metadata.icc = std::move(container.icc);
    if (image.metadata.icc.empty()) {
        const int primaries = container.nclx ? container.nclx->primaries : sequence ? int(sequence->pri) : 2;
        const int transfer = container.nclx ? container.nclx->transfer : sequence ? int(sequence->trc) : 2;
        image.metadata.icc = ColourDescriptionProfile(primaries, transfer);
    }
    image.metadata.exif = std::move(container.exif);
    image.metadata.orientation = AvifOrientation(container);
    return image;
}
