#include "imaging/pixels/Raster.h"

#include <algorithm>
#include <cstring>

#include "base/Failure.h"

int BitsPerPixel(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Bit1: return 1;
    case PixelFormat::Bit4: return 4;
    case PixelFormat::Bit8: return 8;
    case PixelFormat::Bit15:
    case PixelFormat::Bit16: return 16;
    case PixelFormat::Bit24: return 24;
    case PixelFormat::Device:
    case PixelFormat::Bit32: return 32;
    }
    return 32;
}

bool IsIndexed(PixelFormat format)
{
    return format == PixelFormat::Bit1 || format == PixelFormat::Bit4 || format == PixelFormat::Bit8;
}

bool DecodeLimits::Allows(uint64_t width, uint64_t height)
{
    return width > 0 && height > 0 && width <= uint64_t(maxDimension) && height <= uint64_t(maxDimension) &&
           width * height <= maxPixels;
}

size_t Raster::StrideFor(int width, PixelFormat format)
{
    return ((size_t(width) * size_t(BitsPerPixel(format)) + 31) / 32) * 4;
}

Raster::Data::Data(const Data& other) : size(other.size), palette(other.palette)
{
    pixels.reset(new uint8_t[size]);
    std::memcpy(pixels.get(), other.pixels.get(), size);
}

void Raster::Allocate(int width, int height)
{
    if (!DecodeLimits::Allows(uint64_t(width), uint64_t(height)))
        throw Failure(L"Out of memory");
    width_ = width;
    height_ = height;
    stride_ = StrideFor(width, format_);
    data_ = std::make_shared<Data>();
    try {
        data_->size = stride_ * size_t(height);
        data_->pixels.reset(new uint8_t[data_->size]);
    } catch (const std::bad_alloc&) {
        throw Failure(L"Out of memory");
    }
}

Raster::Raster(int width, int height, PixelFormat format, Unfilled) : format_(format)
{
    if (width <= 0 || height <= 0)
        return;
    Allocate(width, height);
    size_t used = (size_t(width) * size_t(BitsPerPixel(format)) + 7) / 8;
    if (used < stride_)
        for (int y = 0; y < height; ++y)
            std::memset(data_->pixels.get() + size_t(y) * stride_ + used, 0, stride_ - used);
}

Raster::Raster(int width, int height, PixelFormat format) : format_(format)
{
    if (width <= 0 || height <= 0)
        return;
    Allocate(width, height);
    std::memset(data_->pixels.get(), 0xFF, data_->size);   // white in every format
    if (format == PixelFormat::Bit15) {
        // 0x7FFF: all five-bit channels set, the top bit clear.
        for (int y = 0; y < height; ++y) {
            uint8_t* row = data_->pixels.get() + size_t(y) * stride_;
            for (int x = 0; x < width; ++x)
                row[2 * x + 1] = 0x7F;
        }
    }
    if (IsIndexed(format)) {
        int count = 1 << BitsPerPixel(format);
        data_->palette.resize(size_t(count));
        for (int i = 0; i < count; ++i) {
            uint8_t v = uint8_t(i * 255 / (count - 1));
            data_->palette[size_t(i)] = {v, v, v, 0};
        }
    }
}

void Raster::Detach()
{
    if (data_ && data_.use_count() > 1)
        data_ = std::make_shared<Data>(*data_);
}

uint8_t* Raster::MutableRow(int y)
{
    Detach();
    return data_->pixels.get() + size_t(y) * stride_;
}

const std::vector<PaletteEntry>& Raster::Palette() const
{
    static const std::vector<PaletteEntry> none;
    return data_ ? data_->palette : none;
}

void Raster::SetPalette(std::vector<PaletteEntry> palette)
{
    if (!data_)
        return;
    Detach();
    data_->palette = std::move(palette);
}

PaletteEntry Raster::PixelAt(int x, int y) const
{
    const uint8_t* row = Row(y);
    auto fromPalette = [&](unsigned index) {
        const auto& pal = Palette();
        PaletteEntry e = index < pal.size() ? pal[index] : PaletteEntry{};
        e.reserved = 255;
        return e;
    };
    switch (format_) {
    case PixelFormat::Bit1: return fromPalette((row[x >> 3] >> (7 - (x & 7))) & 1);
    case PixelFormat::Bit4: return fromPalette((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F);
    case PixelFormat::Bit8: return fromPalette(row[x]);
    case PixelFormat::Bit15: {
        unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
        auto c5 = [](unsigned c) { return uint8_t((c << 3) | (c >> 2)); };
        return {c5(v & 0x1F), c5((v >> 5) & 0x1F), c5((v >> 10) & 0x1F), 255};
    }
    case PixelFormat::Bit16: {
        unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
        auto c5 = [](unsigned c) { return uint8_t((c << 3) | (c >> 2)); };
        unsigned g = (v >> 5) & 0x3F;
        return {c5(v & 0x1F), uint8_t((g << 2) | (g >> 4)), c5((v >> 11) & 0x1F), 255};
    }
    case PixelFormat::Bit24: return {row[3 * x], row[3 * x + 1], row[3 * x + 2], 255};
    case PixelFormat::Device:
    case PixelFormat::Bit32:
        return {row[4 * x], row[4 * x + 1], row[4 * x + 2], alpha_ == AlphaMode::None ? uint8_t(255) : row[4 * x + 3]};
    }
    return {};
}

Raster Raster::ConvertedTo(PixelFormat format) const
{
    if (format == format_ || (Empty() && format != PixelFormat::Bit24 && format != PixelFormat::Bit32))
        return *this;
    if (format != PixelFormat::Bit24 && format != PixelFormat::Bit32 && format != PixelFormat::Device)
        throw Failure(L"Invalid pixel format");
    if (Empty())
        return Raster(width_, height_, format);
    Raster out(width_, height_, format, Unfilled{});
    bool to32 = format != PixelFormat::Bit24;
    bool from32 = format_ == PixelFormat::Bit32 || format_ == PixelFormat::Device;
    for (int y = 0; y < height_; ++y) {
        uint8_t* dst = out.MutableRow(y);
        const uint8_t* src = Row(y);
        if (from32 && !to32) {
            for (int x = 0; x < width_; ++x)
                std::memcpy(dst + 3 * x, src + 4 * x, 3);
        } else if (format_ == PixelFormat::Bit24 && to32) {
            for (int x = 0; x < width_; ++x) {
                std::memcpy(dst + 4 * x, src + 3 * x, 3);
                dst[4 * x + 3] = 255;
            }
        } else {
            for (int x = 0; x < width_; ++x) {
                PaletteEntry p = PixelAt(x, y);
                if (to32) {
                    dst[4 * x] = p.blue; dst[4 * x + 1] = p.green; dst[4 * x + 2] = p.red; dst[4 * x + 3] = p.reserved;
                } else {
                    dst[3 * x] = p.blue; dst[3 * x + 1] = p.green; dst[3 * x + 2] = p.red;
                }
            }
        }
    }
    if (to32 && from32)
        out.SetAlpha(alpha_);
    return out;
}

Raster Raster::Part(const PixelRect& rect) const
{
    if (rect.Empty() || rect.x < 0 || rect.y < 0 || rect.x + rect.width > width_ || rect.y + rect.height > height_)
        throw Failure(L"Invalid pixel window");
    const bool direct = format_ == PixelFormat::Bit24 || format_ == PixelFormat::Bit32;
    Raster out(rect.width, rect.height, direct ? format_ : PixelFormat::Bit24, Unfilled{});
    out.SetAlpha(direct ? alpha_ : AlphaMode::None);
    const int c = direct ? BitsPerPixel(format_) / 8 : 3;
    for (int y = 0; y < rect.height; ++y) {
        uint8_t* to = out.MutableRow(y);
        if (direct) {
            std::memcpy(to, Row(rect.y + y) + size_t(rect.x) * c, size_t(rect.width) * c);
            continue;
        }
        for (int x = 0; x < rect.width; ++x, to += 3) {
            const PaletteEntry p = PixelAt(rect.x + x, rect.y + y);
            to[0] = p.blue;
            to[1] = p.green;
            to[2] = p.red;
        }
    }
    return out;
}

Raster Raster::ComposedOver(uint8_t red, uint8_t green, uint8_t blue) const
{
    Raster out = ConvertedTo(PixelFormat::Bit32);
    if (alpha_ == AlphaMode::None) {
        out.SetAlpha(AlphaMode::None);
        return out;
    }
    bool premultiplied = alpha_ == AlphaMode::Premultiplied;
    const uint8_t bg[3] = {blue, green, red};
    for (int y = 0; y < height_; ++y) {
        uint8_t* p = out.MutableRow(y);
        for (int x = 0; x < width_; ++x, p += 4) {
            unsigned a = p[3];
            for (int c = 0; c < 3; ++c) {
                unsigned fg = premultiplied ? p[c] * 255u : p[c] * a;
                p[c] = uint8_t((fg + bg[c] * (255u - a) + 127) / 255);
            }
            p[3] = 255;
        }
    }
    out.SetAlpha(AlphaMode::None);
    return out;
}
