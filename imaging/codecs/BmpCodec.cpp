#include "imaging/codecs/BmpCodec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <optional>

#include "base/Failure.h"

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kCoreHeaderSize = 12;
constexpr size_t kInfoHeaderSize = 40;

[[noreturn]] void Invalid()
{
    throw Failure(L"Bitmap image is not valid");
}

// Bounds-checked little-endian reads; anything outside the bytes is a broken file.
class Bytes {
public:
    explicit Bytes(std::span<const uint8_t> data) : data_(data) {}
    size_t Size() const { return data_.size(); }
    const uint8_t* At(size_t offset, size_t count) const
    {
        if (offset > data_.size() || count > data_.size() - offset)
            Invalid();
        return data_.data() + offset;
    }
    uint8_t U8(size_t offset) const { return *At(offset, 1); }
    uint16_t U16(size_t offset) const
    {
        const uint8_t* p = At(offset, 2);
        return uint16_t(p[0] | (p[1] << 8));
    }
    uint32_t U32(size_t offset) const
    {
        const uint8_t* p = At(offset, 4);
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
    int32_t I32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }

private:
    std::span<const uint8_t> data_;
};

struct Masks {
    uint32_t red = 0, green = 0, blue = 0, alpha = 0;
};

// Everything the header, bit masks and colour table say about a DIB.
struct Layout {
    uint32_t headerSize = 0;
    int width = 0;
    int height = 0;                 // rows to decode (the colour part of an icon)
    bool topDown = false;
    int bits = 0;
    uint32_t compression = kBiRgb;
    Masks masks;
    std::vector<PaletteEntry> palette;   // padded to the full size for indexed formats
    uint64_t defaultPixelOffset = 0;     // just past the colour table
};

// Reads header, masks and colour table of the DIB at the start of dib.
// pixelOffset, when known (files), limits a core header's colour table.
Layout ReadLayout(const Bytes& dib, bool iconHeight, std::optional<uint64_t> pixelOffset)
{
    Layout l;
    l.headerSize = dib.U32(0);
    int64_t width = 0, height = 0;
    uint32_t clrUsed = 0;
    size_t entrySize = 4;
    uint64_t paletteOffset = 0;
    if (l.headerSize == kCoreHeaderSize) {
        width = dib.U16(4);
        height = dib.U16(6);
        l.bits = dib.U16(10);
        if (l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 24)
            Invalid();
        entrySize = 3;
        paletteOffset = kCoreHeaderSize;
    } else if (l.headerSize == 40 || l.headerSize == 52 || l.headerSize == 56 || l.headerSize == 108 ||
               l.headerSize == 124) {
        dib.At(0, l.headerSize);
        width = dib.I32(4);
        height = dib.I32(8);
        l.bits = dib.U16(14);
        l.compression = dib.U32(16);
        clrUsed = dib.U32(32);
        paletteOffset = l.headerSize;
        if (l.headerSize >= 52)
            l.masks = {dib.U32(40), dib.U32(44), dib.U32(48), 0};
        if (l.headerSize >= 56)
            l.masks.alpha = dib.U32(52);
        bool fields = l.compression == kBiBitfields || l.compression == kBiAlphaBitfields;
        if (fields && l.headerSize == kInfoHeaderSize) {
            // The masks follow a plain info header.
            l.masks = {dib.U32(40), dib.U32(44), dib.U32(48), 0};
            paletteOffset += 12;
            if (l.compression == kBiAlphaBitfields) {
                l.masks.alpha = dib.U32(52);
                paletteOffset += 4;
            }
        }
        switch (l.compression) {
        case kBiRgb:
            if (l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 16 && l.bits != 24 && l.bits != 32)
                Invalid();
            break;
        case kBiRle8:
            if (l.bits != 8)
                Invalid();
            break;
        case kBiRle4:
            if (l.bits != 4)
                Invalid();
            break;
        case kBiBitfields:
        case kBiAlphaBitfields:
            if (l.bits != 16 && l.bits != 32)
                Invalid();
            break;
        default:
            Invalid();
        }
    } else {
        Invalid();
    }

    if (l.compression == kBiRgb && l.bits == 16)
        l.masks = {0x7C00, 0x03E0, 0x001F, 0};
    else if (l.compression == kBiRgb && l.bits == 32)
        // Only the usual alpha byte counts without bit fields.
        l.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, l.masks.alpha == 0xFF000000u ? 0xFF000000u : 0u};

    if (height < 0) {
        l.topDown = true;
        height = -height;
    }
    if (iconHeight)
        height /= 2;
    if (width <= 0 || height <= 0 || !DecodeLimits::Allows(uint64_t(width), uint64_t(height)))
        Invalid();
    l.width = int(width);
    l.height = int(height);

    uint64_t tableCount = clrUsed;
    if (l.bits <= 8) {
        uint64_t full = uint64_t(1) << l.bits;
        if (l.headerSize == kCoreHeaderSize) {
            tableCount = full;
            if (pixelOffset && *pixelOffset >= paletteOffset)
                tableCount = std::min(full, (*pixelOffset - paletteOffset) / entrySize);
        } else if (tableCount == 0) {
            tableCount = full;
        } else if (tableCount > full) {
            Invalid();
        }
        const uint8_t* table = dib.At(size_t(paletteOffset), size_t(tableCount * entrySize));
        l.palette.resize(size_t(full));   // entries the file leaves out are black
        for (uint64_t i = 0; i < tableCount; ++i) {
            const uint8_t* e = table + i * entrySize;
            l.palette[size_t(i)] = {e[0], e[1], e[2], 0};
        }
    }
    l.defaultPixelOffset = paletteOffset + tableCount * entrySize;
    return l;
}

bool IsStandard32(const Masks& m)
{
    return m.red == 0x00FF0000 && m.green == 0x0000FF00 && m.blue == 0x000000FF &&
           (m.alpha == 0 || m.alpha == 0xFF000000u);
}

bool AnyAlpha(const Raster& raster)
{
    for (int y = 0; y < raster.Height(); ++y) {
        const uint8_t* row = raster.Row(y);
        for (int x = 0; x < raster.Width(); ++x)
            if (row[4 * x + 3] != 0)
                return true;
    }
    return false;
}

// One channel of a bit-field pixel scaled to 0..255.
struct Channel {
    explicit Channel(uint32_t mask) : mask(mask), shift(mask ? std::countr_zero(mask) : 0), max(mask >> shift) {}
    uint8_t operator()(uint32_t value) const
    {
        if (max == 0)
            return 0;
        uint64_t v = (value & mask) >> shift;
        return uint8_t((v * 255 + max / 2) / max);
    }
    uint32_t mask;
    int shift;
    uint64_t max;
};

Raster DecodeUncompressed(const Bytes& dib, const Layout& l, uint64_t pixelOffset, DibFacts& facts)
{
    const uint64_t srcStride = ((uint64_t(l.width) * uint64_t(l.bits) + 31) / 32) * 4;
    const uint64_t rowBytes = (uint64_t(l.width) * uint64_t(l.bits) + 7) / 8;
    // The last row may lack its padding; everything else must be there.
    const uint64_t need = srcStride * uint64_t(l.height - 1) + rowBytes;
    if (pixelOffset > dib.Size() || need > dib.Size() - pixelOffset)
        Invalid();
    facts.pixelEnd = size_t(pixelOffset + srcStride * uint64_t(l.height));
    const uint8_t* pixels = dib.At(size_t(pixelOffset), size_t(need));
    auto srcRow = [&](int y) { return pixels + size_t(l.topDown ? y : l.height - 1 - y) * size_t(srcStride); };

    PixelFormat format = PixelFormat::Bit24;
    bool generic = false;
    switch (l.bits) {
    case 1: format = PixelFormat::Bit1; break;
    case 4: format = PixelFormat::Bit4; break;
    case 8: format = PixelFormat::Bit8; break;
    case 16:
        if (l.masks.red == 0x7C00 && l.masks.green == 0x03E0 && l.masks.blue == 0x001F)
            format = PixelFormat::Bit15;
        else if (l.masks.red == 0xF800 && l.masks.green == 0x07E0 && l.masks.blue == 0x001F)
            format = PixelFormat::Bit16;
        else
            generic = true;
        break;
    case 24: format = PixelFormat::Bit24; break;
    case 32:
        format = PixelFormat::Bit32;
        generic = !IsStandard32(l.masks);
        break;
    }

    if (!generic) {
        Raster out(l.width, l.height, format, Raster::Unfilled{});
        for (int y = 0; y < l.height; ++y)
            std::memcpy(out.MutableRow(y), srcRow(y), size_t(rowBytes));
        if (IsIndexed(format))
            out.SetPalette(l.palette);
        if (format == PixelFormat::Bit32 && l.masks.alpha != 0 && AnyAlpha(out))
            out.SetAlpha(AlphaMode::Straight);
        return out;
    }

    // Other bit-field layouts: expanded to 24 bits, or 32 with an alpha mask.
    const bool withAlpha = l.masks.alpha != 0;
    Raster out(l.width, l.height, withAlpha ? PixelFormat::Bit32 : PixelFormat::Bit24, Raster::Unfilled{});
    const Channel red(l.masks.red), green(l.masks.green), blue(l.masks.blue), alpha(l.masks.alpha);
    const int outBytes = withAlpha ? 4 : 3;
    bool anyAlpha = false;
    for (int y = 0; y < l.height; ++y) {
        const uint8_t* s = srcRow(y);
        uint8_t* d = out.MutableRow(y);
        for (int x = 0; x < l.width; ++x, d += outBytes) {
            uint32_t v;
            if (l.bits == 16) {
                v = uint32_t(s[2 * x] | (s[2 * x + 1] << 8));
            } else {
                const uint8_t* p = s + 4 * size_t(x);
                v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
            }
            d[0] = blue(v);
            d[1] = green(v);
            d[2] = red(v);
            if (withAlpha) {
                d[3] = alpha(v);
                anyAlpha = anyAlpha || d[3] != 0;
            }
        }
    }
    if (anyAlpha)
        out.SetAlpha(AlphaMode::Straight);
    return out;
}

// RLE8 and RLE4: runs, absolute runs, end of line, delta and end of bitmap.
// Pixels no code reaches keep index 0; codes that leave the bitmap or data
// that ends before the end-of-bitmap code make the file invalid.
Raster DecodeRle(const Bytes& dib, const Layout& l, uint64_t pixelOffset, DibFacts& facts)
{
    if (pixelOffset > dib.Size())
        Invalid();
    const bool rle8 = l.compression == kBiRle8;
    const size_t n = dib.Size() - size_t(pixelOffset);
    const uint8_t* d = n ? dib.At(size_t(pixelOffset), n) : nullptr;

    Raster out(l.width, l.height, rle8 ? PixelFormat::Bit8 : PixelFormat::Bit4, Raster::Unfilled{});
    for (int y = 0; y < l.height; ++y)
        std::memset(out.MutableRow(y), 0, out.Stride());
    out.SetPalette(l.palette);

    int64_t x = 0, r = 0;   // r counts rows from the first stored one
    uint8_t* row = nullptr;
    int64_t rowOf = -1;
    auto put = [&](uint8_t index) {
        if (x >= l.width || r >= l.height)
            Invalid();
        if (rowOf != r) {
            row = out.MutableRow(int(l.topDown ? r : l.height - 1 - r));
            rowOf = r;
        }
        if (rle8) {
            row[x] = index;
        } else {
            uint8_t& b = row[x >> 1];
            b = (x & 1) ? uint8_t((b & 0xF0) | (index & 0x0F)) : uint8_t((b & 0x0F) | (index << 4));
        }
        ++x;
    };

    size_t p = 0;
    for (;;) {
        if (n - p < 2)
            Invalid();
        const uint8_t count = d[p], code = d[p + 1];
        p += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(rle8 ? code : ((i & 1) ? code & 0x0F : code >> 4));
        } else if (code == 0) {
            x = 0;
            ++r;
        } else if (code == 1) {
            break;
        } else if (code == 2) {
            if (n - p < 2)
                Invalid();
            x += d[p];
            r += d[p + 1];
            p += 2;
            if (x > l.width || r > l.height)
                Invalid();
        } else {
            const size_t bytes = rle8 ? code : (size_t(code) + 1) / 2;
            if (n - p < bytes)
                Invalid();
            for (int i = 0; i < code; ++i)
                put(rle8 ? d[p + i] : ((i & 1) ? d[p + i / 2] & 0x0F : d[p + i / 2] >> 4));
            p += bytes + (bytes & 1);   // absolute runs end on a word boundary
            p = std::min(p, n);
        }
    }
    facts.pixelEnd = size_t(pixelOffset) + p;
    return out;
}

Raster DecodeAt(const Bytes& dib, const Layout& l, uint64_t pixelOffset, DibFacts& facts)
{
    facts.bitCount = l.bits;
    facts.compression = l.compression;
    facts.topDown = l.topDown;
    try {
        if (l.compression == kBiRle8 || l.compression == kBiRle4)
            return DecodeRle(dib, l, pixelOffset, facts);
        return DecodeUncompressed(dib, l, pixelOffset, facts);
    } catch (const std::bad_alloc&) {
        Invalid();
    }
}

class Writer {
public:
    void U16(uint32_t v)
    {
        bytes.push_back(uint8_t(v));
        bytes.push_back(uint8_t(v >> 8));
    }
    void U32(uint32_t v)
    {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    std::vector<uint8_t> bytes;
};

}   // namespace

Raster DecodeDib(std::span<const uint8_t> dib, bool iconHeight, DibFacts& facts)
{
    Bytes bytes(dib);
    Layout l = ReadLayout(bytes, iconHeight, std::nullopt);
    return DecodeAt(bytes, l, l.defaultPixelOffset, facts);
}

Raster DecodeDib(std::span<const uint8_t> dib, bool iconHeight)
{
    DibFacts facts;
    return DecodeDib(dib, iconHeight, facts);
}

namespace {

// The layout of a .bmp file's DIB and where its pixels start in the DIB.
Layout ReadFileLayout(std::span<const uint8_t> file, uint64_t& pixelOffset)
{
    Bytes header(file);
    if (header.U8(0) != 'B' || header.U8(1) != 'M')
        Invalid();
    const uint32_t offBits = header.U32(10);
    header.At(0, kFileHeaderSize + 4);
    Bytes dib(file.subspan(kFileHeaderSize));
    std::optional<uint64_t> given;
    if (offBits != 0) {
        if (offBits < kFileHeaderSize + dib.U32(0) || offBits > file.size())
            Invalid();
        given = uint64_t(offBits) - kFileHeaderSize;
    }
    Layout l = ReadLayout(dib, false, given);
    pixelOffset = given.value_or(l.defaultPixelOffset);
    return l;
}

} // namespace

Raster DecodeBmp(std::span<const uint8_t> file)
{
    uint64_t pixelOffset = 0;
    const Layout l = ReadFileLayout(file, pixelOffset);
    DibFacts facts;
    return DecodeAt(Bytes(file.subspan(kFileHeaderSize)), l, pixelOffset, facts);
}

BmpSize ReadBmpSize(std::span<const uint8_t> file)
{
    uint64_t pixelOffset = 0;
    const Layout l = ReadFileLayout(file, pixelOffset);
    return {l.width, l.height};
}

std::vector<uint8_t> EncodeBmp(const Raster& raster)
{
    if (raster.Empty())
        Invalid();
    PixelFormat format = raster.Format() == PixelFormat::Device ? PixelFormat::Bit32 : raster.Format();
    const int bits = BitsPerPixel(format);
    const size_t stride = Raster::StrideFor(raster.Width(), format);
    const size_t rowBytes = (size_t(raster.Width()) * size_t(bits) + 7) / 8;

    std::vector<PaletteEntry> palette;
    if (IsIndexed(format)) {
        const size_t full = size_t(1) << bits;
        palette = raster.Palette();
        if (palette.size() > full)
            palette.resize(full);
        if (palette.empty()) {
            for (size_t i = 0; i < full; ++i) {
                uint8_t v = uint8_t(i * 255 / (full - 1));
                palette.push_back({v, v, v, 0});
            }
        }
    }
    const bool fields = format == PixelFormat::Bit16;
    const size_t offBits = kFileHeaderSize + kInfoHeaderSize + (fields ? 12 : 0) + palette.size() * 4;
    const size_t imageSize = stride * size_t(raster.Height());

    Writer w;
    w.bytes.reserve(offBits + imageSize);
    w.U16('B' | ('M' << 8));
    w.U32(uint32_t(offBits + imageSize));
    w.U32(0);
    w.U32(uint32_t(offBits));
    w.U32(kInfoHeaderSize);
    w.U32(uint32_t(raster.Width()));
    w.U32(uint32_t(raster.Height()));   // positive: bottom-up
    w.U16(1);
    w.U16(uint32_t(bits));
    w.U32(fields ? kBiBitfields : kBiRgb);
    w.U32(uint32_t(imageSize));
    w.U32(0);
    w.U32(0);
    w.U32(uint32_t(palette.size()));
    w.U32(0);
    if (fields) {
        w.U32(0xF800);
        w.U32(0x07E0);
        w.U32(0x001F);
    }
    for (const PaletteEntry& e : palette) {
        w.bytes.push_back(e.blue);
        w.bytes.push_back(e.green);
        w.bytes.push_back(e.red);
        w.bytes.push_back(0);
    }
    const size_t start = w.bytes.size();
    w.bytes.resize(start + imageSize, 0);
    for (int y = 0; y < raster.Height(); ++y)
        std::memcpy(w.bytes.data() + start + size_t(raster.Height() - 1 - y) * stride, raster.Row(y), rowBytes);
    return std::move(w.bytes);
}
