#include "imaging/codecs/PngCodec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include <png.h>

#include "imaging/pixels/Levels.h"

#include "base/Cancellation.h"
#include "base/Failure.h"

// libpng reports errors through error_fn, which must not return. As with the
// JPEG codec, each call into the library sits in a "stage" function whose
// only locals are plain data; error_fn copies libpng's text and longjmps back
// there, and the C++ caller turns the text into a Failure.

namespace {

// Largest ancillary chunk (and decompressed zTXt/iTXt/iCCP) libpng may allocate.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
// libpng only warns about an ancillary chunk longer than that and then tries
// to allocate all of it; no single allocation of its own may pass this.
constexpr png_alloc_size_t kMaxLibpngAllocation = 16u << 20;
// deflate cannot expand a byte to more than about 1032 bytes.
constexpr uint64_t kMaxInflateRatio = 1100;

struct PngContext {
    png_structp png;
    png_infop info;
    std::jmp_buf jump;
    char message[256];
    // Reading
    const uint8_t* data;
    size_t size;
    size_t pos;
    // Writing
    std::vector<uint8_t>* out;
    bool outOfMemory;
};

void OnError(png_structp png, png_const_charp message)
{
    auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
    const char* text = message && *message ? message : "PNG error";
    std::strncpy(ctx->message, text, sizeof ctx->message - 1);
    ctx->message[sizeof ctx->message - 1] = 0;
    std::longjmp(ctx->jump, 1);
}

void OnWarning(png_structp, png_const_charp) {}

png_voidp LimitedMalloc(png_structp, png_alloc_size_t size)
{
    return size <= kMaxLibpngAllocation ? std::malloc(size) : nullptr;
}

void FreeMemory(png_structp, png_voidp memory) { std::free(memory); }

[[noreturn]] void ThrowPngError(const PngContext& ctx)
{
    throw Failure(Widen(ctx.message));
}

void ReadFromSpan(png_structp png, png_bytep dest, png_size_t length)
{
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    if (ctx->size - ctx->pos < length)
        png_error(png, "Read Error");
    std::memcpy(dest, ctx->data + ctx->pos, length);
    ctx->pos += length;
}

void WriteToVector(png_structp png, png_bytep data, png_size_t length)
{
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    try {
        ctx->out->insert(ctx->out->end(), data, data + length);
    } catch (...) {
        ctx->outOfMemory = true;
    }
    if (ctx->outOfMemory)
        png_error(png, "Out of memory");
}

void FlushNothing(png_structp) {}

int Channels(int colorType)
{
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
    }
}

size_t MinRowBytes(const PngImage& image)
{
    return (size_t(image.width) * size_t(Channels(image.colorType) * image.bitDepth) + 7) / 8;
}

// The colour type and bit depth combinations PNG allows.
bool ValidFormat(int colorType, int depth)
{
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case PNG_COLOR_TYPE_PALETTE: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
    case PNG_COLOR_TYPE_RGB_ALPHA: return depth == 8 || depth == 16;
    default: return false;
    }
}

// True when the image's rows hold at least what its header describes (or,
// without withRows, when rows of its rowBytes would).
bool RowsFit(const PngImage& image, bool withRows = true)
{
    if (!ValidFormat(image.colorType, image.bitDepth))
        return false;
    if (image.Empty())
        return true;
    return image.rowBytes >= MinRowBytes(image) && (!withRows || image.rows.size() / image.rowBytes >= image.height);
}

// The colour chunks libpng accepted (it drops a profile it finds damaged).
void ReadColour(png_structp png, png_infop info, PngColour& colour)
{
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) & PNG_INFO_iCCP) {
        colour.iccName = name ? name : "";
        colour.icc.assign(profile, profile + length);
    }
    int intent = 0;
    if (png_get_sRGB(png, info, &intent) & PNG_INFO_sRGB)
        colour.srgbIntent = intent;
    png_fixed_point gamma = 0;
    if (png_get_gAMA_fixed(png, info, &gamma) & PNG_INFO_gAMA)
        colour.gamma = gamma;
    std::array<png_fixed_point, 8> c{};
    if (png_get_cHRM_fixed(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) & PNG_INFO_cHRM)
        colour.chromaticities = c;
}

// Called inside the write stage, with benign errors made warnings: what
// libpng finds inconsistent is left out rather than failing the save.
void WriteColour(png_structp png, png_infop info, const PngColour& colour)
{
    if (const auto& c = colour.chromaticities)
        png_set_cHRM_fixed(png, info, (*c)[0], (*c)[1], (*c)[2], (*c)[3], (*c)[4], (*c)[5], (*c)[6], (*c)[7]);
    if (colour.gamma)
        png_set_gAMA_fixed(png, info, *colour.gamma);
    if (colour.srgbIntent)
        png_set_sRGB(png, info, *colour.srgbIntent);
    if (!colour.icc.empty() && colour.icc.size() <= 0xFFFFFFFFu)
        png_set_iCCP(png, info, colour.iccName.empty() ? "ICC profile" : colour.iccName.c_str(),
                     PNG_COMPRESSION_TYPE_BASE, colour.icc.data(), png_uint_32(colour.icc.size()));
}

constexpr char kXmpKey[] = "XML:com.adobe.xmp";

// The Exif block (eXIf) and XMP packet (iTXt) before the pixels.
void ReadMetadata(png_structp png, png_infop info, PngImage& image)
{
    png_uint_32 size = 0;
    png_bytep exif = nullptr;
    if ((png_get_eXIf_1(png, info, &size, &exif) & PNG_INFO_eXIf) && exif)
        image.exif.assign(exif, exif + size);
    png_textp texts = nullptr;
    int count = 0;
    png_get_text(png, info, &texts, &count);
    for (int i = 0; i < count; ++i)
        if (texts[i].key && std::strcmp(texts[i].key, kXmpKey) == 0 && texts[i].text) {
            const size_t length = texts[i].compression >= PNG_ITXT_COMPRESSION_NONE ? texts[i].itxt_length
                                                                                     : texts[i].text_length;
            image.xmp.assign(texts[i].text, texts[i].text + length);
        }
}

void WriteMetadata(png_structp png, png_infop info, const PngImage& image)
{
    if (!image.exif.empty() && image.exif.size() <= 0xFFFFFFFFu)
        png_set_eXIf_1(png, info, png_uint_32(image.exif.size()), const_cast<png_bytep>(image.exif.data()));
    // A packet holds no NUL: the text ends at the first.
    const std::string xmp(image.xmp.begin(), std::find(image.xmp.begin(), image.xmp.end(), uint8_t(0)));
    if (!xmp.empty()) {
        png_text text{};
        text.compression = PNG_ITXT_COMPRESSION_NONE;
        text.key = const_cast<char*>(kXmpKey);
        text.text = const_cast<char*>(xmp.c_str());
        png_set_text(png, info, &text, 1);
    }
}

struct ReadGuard {
    explicit ReadGuard(PngContext& context) : ctx(context) {}
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;
    PngContext& ctx;
    ~ReadGuard() { png_destroy_read_struct(&ctx.png, ctx.info ? &ctx.info : nullptr, nullptr); }
};

struct WriteGuard {
    PngContext& ctx;
    ~WriteGuard() { png_destroy_write_struct(&ctx.png, ctx.info ? &ctx.info : nullptr); }
};

int ReadInfoStage(PngContext* ctx, uint32_t maxDimension)
{
    if (setjmp(ctx->jump))
        return 1;
    png_structp png = ctx->png;
    png_set_read_fn(png, ctx, ReadFromSpan);
    png_set_user_limits(png, maxDimension, maxDimension);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_chunk_cache_max(png, 1000);
    png_read_info(png, ctx->info);
    if (png_get_interlace_type(png, ctx->info) != PNG_INTERLACE_NONE)
        png_set_interlace_handling(png);
    png_read_update_info(png, ctx->info);
    return 0;
}

int ReadRowsStage(PngContext* ctx, png_bytepp rows)
{
    if (setjmp(ctx->jump))
        return 1;
    png_read_image(ctx->png, rows);
    return 0;
}

int ReadRowStage(PngContext* ctx, png_bytep row)
{
    if (setjmp(ctx->jump))
        return 1;
    png_read_row(ctx->png, row, nullptr);
    return 0;
}

int ReadEndStage(PngContext* ctx)
{
    if (setjmp(ctx->jump))
        return 1;
    png_read_end(ctx->png, nullptr);
    return 0;
}

int WriteStage(PngContext* ctx, const PngImage* image, const png_color* palette, int paletteCount,
               png_bytepp rows)
{
    if (setjmp(ctx->jump))
        return 1;
    png_structp png = ctx->png;
    png_infop info = ctx->info;
    png_set_write_fn(png, ctx, WriteToVector, FlushNothing);
    png_set_IHDR(png, info, image->width, image->height, image->bitDepth, image->colorType,
                 image->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (paletteCount > 0 && (image->colorType & PNG_COLOR_MASK_COLOR))
        png_set_PLTE(png, info, palette, paletteCount);
    if (image->colorType == PNG_COLOR_TYPE_PALETTE && !image->paletteAlpha.empty()) {
        int count = int(std::min(image->paletteAlpha.size(), size_t(PNG_MAX_PALETTE_LENGTH)));
        png_set_tRNS(png, info, image->paletteAlpha.data(), count, nullptr);
    } else if (image->colorType == PNG_COLOR_TYPE_GRAY && image->transparentGray) {
        png_color_16 colour{};
        colour.gray = *image->transparentGray;
        png_set_tRNS(png, info, nullptr, 0, &colour);
    } else if (image->colorType == PNG_COLOR_TYPE_RGB && image->transparentRgb) {
        png_color_16 colour{};
        colour.red = (*image->transparentRgb)[0];
        colour.green = (*image->transparentRgb)[1];
        colour.blue = (*image->transparentRgb)[2];
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    png_set_benign_errors(png, 1);
    WriteColour(png, info, image->colour);
    WriteMetadata(png, info, *image);
    png_set_compression_level(png, 7);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_write_info(png, info);
    png_write_image(png, rows);   // all passes of an interlaced image
    png_write_end(png, info);
    return 0;
}

std::vector<png_bytep> RowPointers(const uint8_t* rows, size_t rowBytes, uint32_t height)
{
    std::vector<png_bytep> pointers(height);
    for (uint32_t y = 0; y < height; ++y)
        pointers[y] = const_cast<png_bytep>(rows + size_t(y) * rowBytes);   // libpng only reads them when writing
    return pointers;
}

[[noreturn]] void OutOfMemory() { throw Failure(L"Out of memory"); }

// A sample of 1, 2 or 4 bits, most significant first.
inline unsigned PackedSample(const uint8_t* row, uint32_t x, int depth)
{
    size_t bit = size_t(x) * size_t(depth);
    unsigned shift = 8 - unsigned(depth) - unsigned(bit & 7);
    return (row[bit >> 3] >> shift) & ((1u << depth) - 1);
}

// The row converters below build each BGRA pixel as one little-endian word.
static_assert(std::endian::native == std::endian::little);

// 8-bit RGB to BGRA with opaque alpha, a whole pixel per store.
void RgbRow(const uint8_t* __restrict src, uint8_t* __restrict dst, uint32_t width)
{
    for (uint32_t x = 0; x < width; ++x, src += 3, dst += 4) {
        uint32_t pixel = 0xFF000000u | uint32_t(src[0]) << 16 | uint32_t(src[1]) << 8 | src[2];
        std::memcpy(dst, &pixel, 4);
    }
}

// 8-bit RGBA to BGRA.
void RgbaRow(const uint8_t* __restrict src, uint8_t* __restrict dst, uint32_t width)
{
    for (uint32_t x = 0; x < width; ++x, src += 4, dst += 4) {
        uint32_t pixel = uint32_t(src[3]) << 24 | uint32_t(src[0]) << 16 | uint32_t(src[1]) << 8 | src[2];
        std::memcpy(dst, &pixel, 4);
    }
}


// Pixels [x0, x0 + count) of one of the image's rows as 32-bit BGRA: straight
// alpha when the image has transparency, 255 otherwise.
void ConvertRow(const PngImage& image, const uint8_t* src, uint32_t x0, uint32_t count, uint8_t* dst)
{
    const int depth = image.bitDepth;
    const bool wide = depth == 16;
    const unsigned maxSample = depth >= 8 ? 255u : (1u << depth) - 1;
    const uint32_t x1 = x0 + count;

    // Full-precision sample c of pixel x (16-bit samples are big-endian).
    auto sample = [&](uint32_t x, int channels, int c) -> unsigned {
        if (wide) {
            const uint8_t* p = src + (size_t(x) * channels + c) * 2;
            return (unsigned(p[0]) << 8) | p[1];
        }
        if (depth == 8)
            return src[size_t(x) * channels + c];
        return PackedSample(src, x, depth);
    };
    // The top eight bits of a sample, low-depth grey stretched to 0..255.
    auto eight = [&](uint32_t x, int channels, int c) -> uint8_t {
        if (wide)
            return src[(size_t(x) * channels + c) * 2];
        if (depth == 8)
            return src[size_t(x) * channels + c];
        return uint8_t(PackedSample(src, x, depth) * 255u / maxSample);
    };

    switch (image.colorType) {
    case PNG_COLOR_TYPE_GRAY:
        for (uint32_t x = x0; x < x1; ++x, dst += 4) {
            uint8_t v = eight(x, 1, 0);
            dst[0] = dst[1] = dst[2] = v;
            dst[3] = image.transparentGray && sample(x, 1, 0) == *image.transparentGray ? 0 : 255;
        }
        break;
    case PNG_COLOR_TYPE_RGB:
        if (depth == 8 && !image.transparentRgb) {
            RgbRow(src + size_t(x0) * 3, dst, count);
            break;
        }
        for (uint32_t x = x0; x < x1; ++x, dst += 4) {
            dst[0] = eight(x, 3, 2);
            dst[1] = eight(x, 3, 1);
            dst[2] = eight(x, 3, 0);
            const auto& key = image.transparentRgb;
            dst[3] = key && sample(x, 3, 0) == (*key)[0] && sample(x, 3, 1) == (*key)[1] &&
                             sample(x, 3, 2) == (*key)[2]
                         ? 0
                         : 255;
        }
        break;
    case PNG_COLOR_TYPE_PALETTE:
        for (uint32_t x = x0; x < x1; ++x, dst += 4) {
            unsigned index = depth == 8 ? src[x] : PackedSample(src, x, depth);
            // Indices past the palette show black, as libpng shows them.
            PaletteEntry entry = index < image.palette.size() ? image.palette[index] : PaletteEntry{};
            dst[0] = entry.blue;
            dst[1] = entry.green;
            dst[2] = entry.red;
            dst[3] = index < image.paletteAlpha.size() ? image.paletteAlpha[index] : 255;
        }
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        for (uint32_t x = x0; x < x1; ++x, dst += 4) {
            dst[0] = dst[1] = dst[2] = eight(x, 2, 0);
            dst[3] = eight(x, 2, 1);
        }
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        if (depth == 8) {
            RgbaRow(src + size_t(x0) * 4, dst, count);
            break;
        }
        for (uint32_t x = x0; x < x1; ++x, dst += 4) {
            dst[0] = eight(x, 4, 2);
            dst[1] = eight(x, 4, 1);
            dst[2] = eight(x, 4, 0);
            dst[3] = eight(x, 4, 3);
        }
        break;
    }
}
}  // namespace

bool PngImage::HasTransparency() const
{
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA:
    case PNG_COLOR_TYPE_RGB_ALPHA: return true;
    case PNG_COLOR_TYPE_PALETTE:
        return std::any_of(paletteAlpha.begin(), paletteAlpha.end(), [](uint8_t a) { return a < 255; });
    case PNG_COLOR_TYPE_GRAY: return transparentGray.has_value();
    case PNG_COLOR_TYPE_RGB: return transparentRgb.has_value();
    default: return false;
    }
}

namespace {

// A PNG file being read: libpng's state and the image's header fields.
class PngReader {
public:
    explicit PngReader(std::span<const uint8_t> file)
    {
        ctx_->data = file.data();
        ctx_->size = file.size();
        ctx_->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, ctx_.get(), OnError, OnWarning, nullptr,
                                             LimitedMalloc, FreeMemory);
        if (!ctx_->png)
            OutOfMemory();
        guard_.emplace(*ctx_);
        ctx_->info = png_create_info_struct(ctx_->png);
        if (!ctx_->info)
            OutOfMemory();
        ReadHeader();
    }

    const PngImage& Header() const { return image_; }

    // Every row, into the image's own rows.
    PngImage ReadImage()
    {
        PngImage image = image_;
        if (image.interlaced) {
            // Later passes fill in rows of earlier ones: the whole image at once.
            ThrowIfCancelled();
            std::vector<png_bytep> pointers;
            try {
                image.rows.resize(image.rowBytes * image.height);
                pointers = RowPointers(image.rows.data(), image.rowBytes, image.height);
            } catch (const std::bad_alloc&) {
                OutOfMemory();
            }
            if (ReadRowsStage(ctx_.get(), pointers.data()))
                ThrowPngError(*ctx_);
        } else {
            // Row by row through a small buffer appended to reserved space: the
            // image's bytes are written once, not cleared first and then read in.
            try {
                image.rows.reserve(image.rowBytes * image.height);
            } catch (const std::bad_alloc&) {
                OutOfMemory();
            }
            ReadEachRow([&](const uint8_t* row) { image.rows.insert(image.rows.end(), row, row + image.rowBytes); });
        }
        Finish();
        return image;
    }

    // Every row of a non-interlaced image in turn, each given to use() and
    // then overwritten by the next.
    template <class Use>
    void ReadEachRow(Use&& use)
    {
        std::vector<uint8_t> row;
        try {
            row.resize(image_.rowBytes);
        } catch (const std::bad_alloc&) {
            OutOfMemory();
        }
        for (uint32_t y = 0; y < image_.height; ++y) {
            ThrowIfCancelled();
            if (ReadRowStage(ctx_.get(), row.data()))
                ThrowPngError(*ctx_);
            use(row.data());
        }
    }

    // Every row is in: a damaged tail after the image data (a missing IEND,
    // a bad checksum of a trailing chunk) does not spoil the picture.
    void Finish() { ReadEndStage(ctx_.get()); }

private:
    void ReadHeader()
    {
        uint32_t maxDimension = uint32_t(std::clamp(DecodeLimits::maxDimension, 1, int(PNG_USER_WIDTH_MAX)));
        if (ReadInfoStage(ctx_.get(), maxDimension))
            ThrowPngError(*ctx_);

        png_structp png = ctx_->png;
        png_infop info = ctx_->info;
        PngImage& image = image_;
        image.width = png_get_image_width(png, info);
        image.height = png_get_image_height(png, info);
        image.bitDepth = png_get_bit_depth(png, info);
        image.colorType = png_get_color_type(png, info);
        image.rowBytes = png_get_rowbytes(png, info);
        if (!DecodeLimits::Allows(image.width, image.height))
            OutOfMemory();
        // A header that promises far more pixels than the rest of the file could
        // inflate to is refused before its rows are allocated.
        uint64_t needed = (uint64_t(image.rowBytes) + 1) * image.height;
        if (needed / kMaxInflateRatio > ctx_->size - ctx_->pos)
            throw Failure(L"Not enough image data");

        png_colorp palette = nullptr;
        int paletteCount = 0;
        if (png_get_PLTE(png, info, &palette, &paletteCount) & PNG_INFO_PLTE) {
            image.palette.resize(size_t(paletteCount));
            for (int i = 0; i < paletteCount; ++i)
                image.palette[size_t(i)] = {palette[i].blue, palette[i].green, palette[i].red, 0};
        }
        png_bytep transAlpha = nullptr;
        int transCount = 0;
        png_color_16p transColour = nullptr;
        if (png_get_tRNS(png, info, &transAlpha, &transCount, &transColour) & PNG_INFO_tRNS) {
            if (image.colorType == PNG_COLOR_TYPE_PALETTE && transAlpha && transCount > 0)
                image.paletteAlpha.assign(transAlpha, transAlpha + transCount);
            else if (image.colorType == PNG_COLOR_TYPE_GRAY && transColour)
                image.transparentGray = transColour->gray;
            else if (image.colorType == PNG_COLOR_TYPE_RGB && transColour)
                image.transparentRgb =
                    std::array<uint16_t, 3>{transColour->red, transColour->green, transColour->blue};
        }
        image.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
        ReadColour(png, info, image.colour);
        ReadMetadata(png, info, image);
    }

    std::unique_ptr<PngContext> ctx_ = std::make_unique<PngContext>();
    std::optional<ReadGuard> guard_;
    PngImage image_;
};

}  // namespace

PngImage DecodePng(std::span<const uint8_t> file)
{
    PngReader reader(file);
    return reader.ReadImage();
}

PngImage DecodePngHeader(std::span<const uint8_t> file)
{
    PngReader reader(file);
    return reader.Header();
}

PngLevel DecodePngLevel(std::span<const uint8_t> file, int level)
{
    PngReader reader(file);
    PngLevel result;
    result.header = reader.Header();
    const PngImage& header = result.header;
    if (header.Empty())
        return result;
    if (header.interlaced) {
        // Every pass has to be in before any row is whole.
        PngImage image = reader.ReadImage();
        result.level = MakePngLevel(image, level);
        return result;
    }
    if (!RowsFit(header, false))
        throw Failure(L"Invalid PNG image");
    LevelMaker maker(int(header.width), int(header.height), level, PixelFormat::Bit32,
                     header.HasTransparency() ? AlphaMode::Straight : AlphaMode::None);
    std::vector<uint8_t> bgra(size_t(header.width) * 4);
    reader.ReadEachRow([&](const uint8_t* row) {
        ConvertRow(header, row, 0, header.width, bgra.data());
        maker.AddRow(bgra.data());
    });
    reader.Finish();
    result.level = maker.Finish();
    return result;
}

Raster MakePngLevel(const PngImage& image, int level)
{
    if (image.Empty())
        return {};
    if (!RowsFit(image))
        throw Failure(L"Invalid PNG image");
    LevelMaker maker(int(image.width), int(image.height), level, PixelFormat::Bit32,
                     image.HasTransparency() ? AlphaMode::Straight : AlphaMode::None);
    std::vector<uint8_t> bgra(size_t(image.width) * 4);
    for (uint32_t y = 0; y < image.height; ++y) {
        ConvertRow(image, image.rows.data() + size_t(y) * image.rowBytes, 0, image.width, bgra.data());
        maker.AddRow(bgra.data());
    }
    return maker.Finish();
}

std::vector<uint8_t> EncodePng(const PngImage& image)
{
    if (!RowsFit(image))
        throw Failure(L"Invalid PNG image");
    std::vector<png_color> palette(std::min(image.palette.size(), size_t(PNG_MAX_PALETTE_LENGTH)));
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = {image.palette[i].red, image.palette[i].green, image.palette[i].blue};
    std::vector<png_bytep> pointers = RowPointers(image.rows.data(), image.rowBytes, image.height);

    std::vector<uint8_t> out;
    auto ctx = std::make_unique<PngContext>();
    ctx->out = &out;
    ctx->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, ctx.get(), OnError, OnWarning);
    if (!ctx->png)
        OutOfMemory();
    WriteGuard guard{*ctx};
    ctx->info = png_create_info_struct(ctx->png);
    if (!ctx->info)
        OutOfMemory();
    if (WriteStage(ctx.get(), &image, palette.data(), int(palette.size()), pointers.data()))
        ThrowPngError(*ctx);
    return out;
}

PngImage PngFromRaster(const Raster& raster, bool keepAlpha)
{
    PngImage image;
    if (raster.Empty())
        return image;
    image.width = uint32_t(raster.Width());
    image.height = uint32_t(raster.Height());
    image.bitDepth = 8;
    // Straight alpha kept, or any other depth of 16 bits and more as RGB;
    // both from B, G, R (and A) order.
    const bool alpha = keepAlpha && raster.Bits() == 32 && raster.Alpha() == AlphaMode::Straight;
    if (alpha || raster.Bits() >= 16) {
        const Raster converted = alpha || raster.Bits() == 24 ? Raster() : raster.ConvertedTo(PixelFormat::Bit24);
        const Raster& source = converted.Empty() ? raster : converted;
        const size_t channels = alpha ? 4 : 3;
        image.colorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
        image.rowBytes = size_t(image.width) * channels;
        image.rows.resize(image.rowBytes * image.height);
        for (uint32_t y = 0; y < image.height; ++y) {
            const uint8_t* src = source.Row(int(y));
            uint8_t* dst = image.rows.data() + size_t(y) * image.rowBytes;
            for (uint32_t x = 0; x < image.width; ++x, src += channels, dst += channels) {
                dst[0] = src[2];
                dst[1] = src[1];
                dst[2] = src[0];
                if (alpha)
                    dst[3] = src[3];
            }
        }
        return image;
    }
    const int bits = raster.Bits();
    image.colorType = PNG_COLOR_TYPE_PALETTE;
    image.bitDepth = bits;
    image.palette = raster.Palette();
    if (image.palette.size() > (size_t(1) << bits))
        image.palette.resize(size_t(1) << bits);
    if (image.palette.empty())
        image.palette = {PaletteEntry{0, 0, 0, 0}, PaletteEntry{255, 255, 255, 0}};
    for (PaletteEntry& entry : image.palette)
        entry.reserved = 0;
    image.rowBytes = (size_t(image.width) * size_t(bits) + 7) / 8;
    image.rows.resize(image.rowBytes * image.height);
    for (uint32_t y = 0; y < image.height; ++y)
        std::memcpy(image.rows.data() + size_t(y) * image.rowBytes, raster.Row(int(y)), image.rowBytes);
    return image;
}

Raster PngToRaster(const PngImage& image)
{
    if (image.Empty())
        return Raster();
    return PngRegionToRaster(image, {0, 0, int(image.width), int(image.height)}, true);
}

Raster PngRegionToRaster(const PngImage& image, const PixelRect& rect, bool fourBytes)
{
    if (image.Empty())
        return Raster();
    if (!RowsFit(image))
        throw Failure(L"Invalid PNG image");
    if (image.width > uint32_t(INT32_MAX) || image.height > uint32_t(INT32_MAX))
        OutOfMemory();
    if (rect.Empty() || rect.x < 0 || rect.y < 0 || uint32_t(rect.x) + uint32_t(rect.width) > image.width ||
        uint32_t(rect.y) + uint32_t(rect.height) > image.height)
        throw Failure(L"Invalid pixel window");
    const bool transparent = image.HasTransparency();
    Raster raster(rect.width, rect.height, transparent || fourBytes ? PixelFormat::Bit32 : PixelFormat::Bit24,
                  Raster::Unfilled{});
    raster.SetAlpha(transparent ? AlphaMode::Straight : AlphaMode::None);
    std::vector<uint8_t> bgra(raster.Format() == PixelFormat::Bit24 ? size_t(rect.width) * 4 : 0);
    for (int y = 0; y < rect.height; ++y) {
        const uint8_t* src = image.rows.data() + size_t(rect.y + y) * image.rowBytes;
        uint8_t* dst = raster.MutableRow(y);
        if (bgra.empty()) {
            ConvertRow(image, src, uint32_t(rect.x), uint32_t(rect.width), dst);
            continue;
        }
        ConvertRow(image, src, uint32_t(rect.x), uint32_t(rect.width), bgra.data());
        for (int x = 0; x < rect.width; ++x)
            std::memcpy(dst + 3 * size_t(x), bgra.data() + 4 * size_t(x), 3);
    }
    return raster;
}

std::shared_ptr<const ColourProfile> PngColourProfile(const PngColour& colour)
{
    if (!colour.icc.empty())
        return IccProfile(colour.icc);
    if (colour.srgbIntent)
        return SrgbProfile();
    if (!colour.gamma && !colour.chromaticities)
        return nullptr;
    constexpr double kUnit = 100000;
    Chromaticities primaries = kSrgbPrimaries;
    if (const auto& c = colour.chromaticities)
        primaries = {(*c)[2] / kUnit, (*c)[3] / kUnit, (*c)[4] / kUnit, (*c)[5] / kUnit,
                     (*c)[6] / kUnit, (*c)[7] / kUnit, (*c)[0] / kUnit, (*c)[1] / kUnit};
    const double given[8] = {primaries.redX, primaries.redY, primaries.greenX, primaries.greenY,
                             primaries.blueX, primaries.blueY, primaries.whiteX, primaries.whiteY};
    const double srgb[8] = {kSrgbPrimaries.redX, kSrgbPrimaries.redY, kSrgbPrimaries.greenX, kSrgbPrimaries.greenY,
                            kSrgbPrimaries.blueX, kSrgbPrimaries.blueY, kSrgbPrimaries.whiteX, kSrgbPrimaries.whiteY};
    bool srgbPrimaries = true;
    for (int i = 0; i < 8; ++i)
        srgbPrimaries = srgbPrimaries && std::abs(given[i] - srgb[i]) <= 0.01;
    // 1/2.2 stands for sRGB's curve in most files that give it.
    constexpr int32_t kSrgbGamma = 45455, kSrgbGammaTolerance = 1000;
    if (srgbPrimaries && (!colour.gamma || std::abs(int64_t(*colour.gamma) - kSrgbGamma) <= kSrgbGammaTolerance))
        return SrgbProfile();
    const ToneCurve curve = colour.gamma && *colour.gamma > 0 ? ToneCurve{kUnit / *colour.gamma} : kSrgbCurve;
    return IccProfile(MakeIccProfile(primaries, curve));
}

PngColour PngColourFor(const ColourProfile* profile)
{
    PngColour colour;
    if (profile && profile->srgb)
        colour.srgbIntent = PNG_sRGB_INTENT_PERCEPTUAL;
    else if (profile)
        colour.icc = profile->icc;
    return colour;
}
