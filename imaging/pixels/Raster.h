// A pixel grid in one of the raster pixel formats. Rows are stored top-down,
// each padded to a multiple of 4 bytes, so the bytes can be handed to the
// Windows DIB functions as they are. Copies share their pixel data until one
// of them is written to (copy on write).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

enum class PixelFormat { Device, Bit1, Bit4, Bit8, Bit15, Bit16, Bit24, Bit32 };

// Bits per pixel of a format; Device is the display's format, 32 bits here.
int BitsPerPixel(PixelFormat format);
bool IsIndexed(PixelFormat format);

struct PaletteEntry {
    uint8_t blue = 0, green = 0, red = 0, reserved = 0;   // RGBQUAD order
    bool operator==(const PaletteEntry&) const = default;
};

// How the fourth byte of a 32-bit raster is to be read.
enum class AlphaMode { None, Straight, Premultiplied };

// Upper bound for the pixels a decoder may allocate; fuzzers lower it.
struct DecodeLimits {
    static inline uint64_t maxPixels = uint64_t(1) << 28;   // 268 megapixels
    static inline int maxDimension = 1 << 16;
    // True when a width × height image may be allocated.
    static bool Allows(uint64_t width, uint64_t height);
};

// A rectangle of pixels: left, top, width and height.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool Empty() const { return width <= 0 || height <= 0; }
    bool operator==(const PixelRect&) const = default;
};

class Raster {
public:
    Raster() = default;
    // A new raster of the given size; every pixel white. Indexed formats get
    // a grey ramp palette (1 bit: black and white). Throws Failure("Out of
    // memory") when the size passes DecodeLimits.
    Raster(int width, int height, PixelFormat format);
    // The same, but the pixels are left for the caller to write (only the
    // row padding is cleared): for decoders that fill every pixel.
    struct Unfilled {};
    Raster(int width, int height, PixelFormat format, Unfilled);

    bool Empty() const { return width_ == 0 || height_ == 0; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    PixelFormat Format() const { return format_; }
    int Bits() const { return BitsPerPixel(format_); }
    size_t Stride() const { return stride_; }
    static size_t StrideFor(int width, PixelFormat format);

    const uint8_t* Row(int y) const { return data_->pixels.get() + size_t(y) * stride_; }
    uint8_t* MutableRow(int y);   // detaches shared pixel data first
    const uint8_t* Bits0() const { return data_ ? data_->pixels.get() : nullptr; }
    size_t ByteSize() const { return data_ ? data_->size : 0; }

    const std::vector<PaletteEntry>& Palette() const;
    void SetPalette(std::vector<PaletteEntry> palette);   // detaches

    AlphaMode Alpha() const { return alpha_; }
    void SetAlpha(AlphaMode mode) { alpha_ = mode; }

    // True when both rasters use the same pixel memory (no copy was made).
    bool SharesPixelsWith(const Raster& other) const { return data_ && data_ == other.data_; }

    // The pixel at (x, y) as blue, green, red, alpha (alpha 255 without alpha).
    PaletteEntry PixelAt(int x, int y) const;

    // A copy in 24-bit BGR or 32-bit BGRA. Indexed and 15/16-bit pixels are
    // expanded; converting 32 to 24 bits drops alpha without blending.
    Raster ConvertedTo(PixelFormat format) const;

    // A copy of the pixels of rect (which must lie inside the raster): 24 and
    // 32 bits per pixel keep their format and alpha, the others become 24-bit.
    Raster Part(const PixelRect& rect) const;

    // Straight-alpha 32-bit copy composed over a solid colour: every pixel
    // opaque afterwards (used to put transparent parts onto white).
    Raster ComposedOver(uint8_t red, uint8_t green, uint8_t blue) const;

private:
    struct Data {
        std::unique_ptr<uint8_t[]> pixels;   // not value-initialised: no needless fill
        size_t size = 0;
        std::vector<PaletteEntry> palette;
        Data() = default;
        Data(const Data& other);
    };
    void Allocate(int width, int height);
    void Detach();

    int width_ = 0;
    int height_ = 0;
    PixelFormat format_ = PixelFormat::Bit24;
    size_t stride_ = 0;
    AlphaMode alpha_ = AlphaMode::None;
    std::shared_ptr<Data> data_;
};

// Some of an image's pixels: pixel (0, 0) of the raster is pixel (x, y) of
// the image.
struct PixelWindow {
    Raster pixels;
    int x = 0, y = 0;
};
