#include "imaging/codecs/AvifCodec.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <memory>
#include <string>

#include <dav1d/dav1d.h>

#include "base/Cancellation.h"
#include "base/Failure.h"
#include "imaging/codecs/AvifContainer.h"
#include "imaging/colour/ColourProfile.h"
#include "imaging/pixels/YuvToRgb.h"

namespace {

[[noreturn]] void Invalid(const wchar_t* why) { throw Failure(std::wstring(L"AVIF image is not valid: ") + why); }

[[noreturn]] void Undecodable(int code)
{
    if (code == DAV1D_ERR(ENOMEM))
        throw Failure(L"Out of memory");
    Invalid(L"the AV1 data cannot be decoded");
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
    ~Av1Picture() { Release(); }
    void Release()
    {
        if (held)
            dav1d_picture_unref(&picture);
        held = false;
    }
    const Dav1dPicture* operator->() const { return &picture; }
};

void NoFree(const uint8_t*, void*) {}

// The tiles of a coded picture, decoded one after the other by one dav1d
// context as the picture says (operating point, layer), none larger than
// declared. Work that may be cancelled decodes on the calling thread alone:
// it then runs at that thread's priority and leaves the other cores alone.
class TileDecoder {
public:
    explicit TileDecoder(const AvifCoded& coded) : coded_(coded)
    {
        if (coded.operatingPoint >= DAV1D_MAX_OPERATING_POINTS)
            Invalid(L"the picture names an operating point AV1 does not have");
        Dav1dSettings settings;
        dav1d_default_settings(&settings);
        settings.n_threads = WorkAhead() ? 1 : 0;   // 0: as many as the machine has
        settings.max_frame_delay = 1;                    // one picture: no frame threads
        settings.operating_point = coded.operatingPoint;
        // A chosen layer is looked for among all; else the best one only.
        settings.all_layers = coded.layer ? 1 : 0;
        limit_ = std::min<uint64_t>(DecodeLimits::maxPixels, UINT_MAX);
        if (coded.tileWidth && coded.tileHeight)
            limit_ = std::min<uint64_t>(limit_, uint64_t(coded.tileWidth) * coded.tileHeight);
        settings.frame_size_limit = unsigned(limit_);
        settings.logger.callback = nullptr;
        Dav1dContext* raw = nullptr;
        if (int code = dav1d_open(&raw, &settings); code < 0)
            Undecodable(code);
        context_.reset(raw);
    }

    // Tile i's picture.
    void Decode(size_t i, Av1Picture& out)
    {
        ThrowIfCancelled();
        const std::vector<uint8_t>& data = *coded_.tiles[i];
        DecodeData(data, out);
        ThrowIfCancelled();
        if (!out.held)
            Invalid(L"the AV1 data holds no picture");
        const uint32_t w = uint32_t(out->p.w), h = uint32_t(out->p.h);
        const bool larger = w > coded_.tileWidth || h > coded_.tileHeight;
        if (coded_.tileWidth && coded_.tileHeight && (coded_.upToSize ? larger : w != coded_.tileWidth || h != coded_.tileHeight))
            Invalid(L"the picture's size differs from its declared size");
        dav1d_flush(context_.get());
    }

private:
    void DecodeData(const std::vector<uint8_t>& data, Av1Picture& out)
    {
        Dav1dData input{};
        if (int code = dav1d_data_wrap(&input, data.data(), data.size(), NoFree, nullptr); code < 0)
            Undecodable(code);
        struct InputGuard {
            Dav1dData& d;
            ~InputGuard() { dav1d_data_unref(&d); }
        } guard{input};
        // Send the data and take the pictures until the one wanted; once
        // everything is sent, the second request waits for work under way.
        int drained = 0;
        for (int round = 0; round < 10000 && !out.held; ++round) {
            if (input.sz > 0) {
                int code = dav1d_send_data(context_.get(), &input);
                if (code < 0 && code != DAV1D_ERR(EAGAIN))
                    Failed(code, data);
            }
            int code = dav1d_get_picture(context_.get(), &out.picture);
            if (code == 0) {
                out.held = true;
                if (coded_.layer && out->frame_hdr->spatial_id != *coded_.layer)
                    out.Release();   // another layer than the one chosen
                continue;
            }
            if (code != DAV1D_ERR(EAGAIN))
                Failed(code, data);
            if (input.sz == 0 && ++drained > 2)
                break;
        }
    }

    // A refusal: a frame larger than its declared size says so.
    [[noreturn]] void Failed(int code, const std::vector<uint8_t>& data) const
    {
        Dav1dSequenceHeader sequence;
        if (code != DAV1D_ERR(ENOMEM) && dav1d_parse_sequence_header(&sequence, data.data(), data.size()) == 0 &&
            uint64_t(sequence.max_width) * uint64_t(sequence.max_height) > limit_)
            Invalid(limit_ < DecodeLimits::maxPixels ? L"the picture is larger than its declared size"
                                                     : L"the picture is too large");
        Undecodable(code);
    }

    const AvifCoded& coded_;
    uint64_t limit_ = 0;
    std::unique_ptr<Dav1dContext, ContextCloser> context_;
};

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

// The canvas of a coded picture whose first tile is first: a grid's, which
// its tiles must cover with their last column and row reaching into it, or
// the picture's own.
void CanvasOf(const AvifCoded& coded, const Dav1dPicture& first, uint32_t& width, uint32_t& height)
{
    const uint64_t tileWidth = uint64_t(first.p.w), tileHeight = uint64_t(first.p.h);
    if (!coded.grid) {
        width = uint32_t(tileWidth), height = uint32_t(tileHeight);
        return;
    }
    width = coded.width, height = coded.height;
    if (tileWidth * coded.columns < width || tileHeight * coded.rows < height ||
        tileWidth * (coded.columns - 1) >= width || tileHeight * (coded.rows - 1) >= height)
        Invalid(L"a grid's tiles do not fit its size");
}

// Decodes each tile of coded that reaches into the crop, first (tile 0)
// already decoded, and hands it to draw with the area it gives, in the
// crop's coordinates. Tiles must agree with the first in size and format.
template <class Draw>
void DrawTiles(const AvifCoded& coded, TileDecoder& decoder, Av1Picture& first, const AvifCrop& crop, Draw draw)
{
    const int64_t tileWidth = first->p.w, tileHeight = first->p.h;
    Av1Picture other;
    for (size_t i = 0; i < coded.tiles.size(); ++i) {
        const int64_t left = int64_t(i % coded.columns) * tileWidth, top = int64_t(i / coded.columns) * tileHeight;
        const int64_t x0 = std::max<int64_t>(left, crop.x), x1 = std::min<int64_t>(left + tileWidth, crop.x + crop.width);
        const int64_t y0 = std::max<int64_t>(top, crop.y), y1 = std::min<int64_t>(top + tileHeight, crop.y + crop.height);
        if (x0 >= x1 || y0 >= y1)
            continue;
        Av1Picture& tile = i == 0 ? first : other;
        if (i > 0) {
            other.Release();
            decoder.Decode(i, other);
            if (other->p.w != first->p.w || other->p.h != first->p.h || other->p.layout != first->p.layout ||
                other->p.bpc != first->p.bpc)
                Invalid(L"a grid's tiles differ in size or format");
        }
        draw(tile.picture, YuvArea{int(x0 - left), int(y0 - top), int(x1 - x0), int(y1 - y0), int(x0 - crop.x),
                                   int(y0 - crop.y)});
    }
}

}  // namespace

AvifImage DecodeAvif(std::span<const uint8_t> file)
{
    ThrowIfCancelled();
    AvifPicture container = ReadAvifContainer(file);
    if (container.width && container.height && !DecodeLimits::Allows(container.width, container.height))
        throw Failure(L"Out of memory");

    TileDecoder colourDecoder(container.colour);
    Av1Picture colour;
    colourDecoder.Decode(0, colour);
    uint32_t canvasWidth = 0, canvasHeight = 0;
    CanvasOf(container.colour, colour.picture, canvasWidth, canvasHeight);
    // The clean aperture, when whole pixels inside the canvas, else all of it.
    const AvifCrop crop = (container.clap ? AvifCleanAperture(*container.clap, canvasWidth, canvasHeight) : std::nullopt)
                              .value_or(AvifCrop{0, 0, canvasWidth, canvasHeight});
    if (!DecodeLimits::Allows(crop.width, crop.height))
        throw Failure(L"Out of memory");

    const bool hasAlpha = container.alpha.Present();
    Raster pixels(int(crop.width), int(crop.height), hasAlpha ? PixelFormat::Bit32 : PixelFormat::Bit24,
                  Raster::Unfilled{});
    pixels.SetAlpha(hasAlpha ? AlphaMode::Straight : AlphaMode::None);

    // The nclx box's description wins over the AV1 sequence header's.
    YuvColour yuv;
    const Dav1dSequenceHeader* sequence = colour->seq_hdr;
    const std::optional<AvifNclx>& nclx = container.nclx;
    yuv.matrix = nclx ? nclx->matrix : sequence ? int(sequence->mtrx) : 2;
    yuv.primaries = nclx ? nclx->primaries : sequence ? int(sequence->pri) : 2;
    yuv.fullRange = nclx ? nclx->fullRange : sequence && sequence->color_range != 0;
    const int transfer = nclx ? nclx->transfer : sequence ? int(sequence->trc) : 2;
    DrawTiles(container.colour, colourDecoder, colour, crop, [&](const Dav1dPicture& tile, const YuvArea& area) {
        YuvToBgr(PlanesOf(tile), yuv, area, pixels);
    });
    colour.Release();

    if (hasAlpha) {
        TileDecoder alphaDecoder(container.alpha);
        Av1Picture alpha;
        alphaDecoder.Decode(0, alpha);
        uint32_t alphaWidth = 0, alphaHeight = 0;
        CanvasOf(container.alpha, alpha.picture, alphaWidth, alphaHeight);
        if (alphaWidth != canvasWidth || alphaHeight != canvasHeight)
            Invalid(L"the alpha plane's size differs from the picture's");
        // Alpha samples are full range, whatever their sequence header says.
        DrawTiles(container.alpha, alphaDecoder, alpha, crop, [&](const Dav1dPicture& tile, const YuvArea& area) {
            LumaToAlpha(PlanesOf(tile), true, area, pixels);
        });
        alpha.Release();
        if (container.alphaPremultiplied)
            DividePremultipliedAlpha(pixels);
    }

    AvifImage image;
    image.frameCount = container.frameCount;
    image.pixels = std::move(pixels);
    image.metadata.icc = std::move(container.icc);
    if (image.metadata.icc.empty())
        image.metadata.icc = ColourDescriptionProfile(yuv.primaries, transfer);
    image.metadata.exif = std::move(container.exif);
    image.metadata.orientation = AvifOrientation(container);
    return image;
}
