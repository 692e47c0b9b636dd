#include "imaging/codecs/IconCodec.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <new>

#include "base/Failure.h"
#include "imaging/codecs/BmpCodec.h"
#include "imaging/codecs/PngCodec.h"

namespace {

constexpr size_t kDirHeaderSize = 6;
constexpr size_t kDirEntrySize = 16;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

[[noreturn]] void Invalid()
{
    throw Failure(L"Icon image is not valid");
}

uint16_t U16(std::span<const uint8_t> d, size_t offset)
{
    if (offset > d.size() || d.size() - offset < 2)
        Invalid();
    return uint16_t(d[offset] | (d[offset + 1] << 8));
}

uint32_t U32(std::span<const uint8_t> d, size_t offset)
{
    if (offset > d.size() || d.size() - offset < 4)
        Invalid();
    return uint32_t(d[offset]) | (uint32_t(d[offset + 1]) << 8) | (uint32_t(d[offset + 2]) << 16) |
           (uint32_t(d[offset + 3]) << 24);
}

uint32_t U32BigEndian(std::span<const uint8_t> d, size_t offset)
{
    if (offset > d.size() || d.size() - offset < 4)
        Invalid();
    return (uint32_t(d[offset]) << 24) | (uint32_t(d[offset + 1]) << 16) | (uint32_t(d[offset + 2]) << 8) |
           uint32_t(d[offset + 3]);
}

bool IsPng(std::span<const uint8_t> image)
{
    return image.size() >= sizeof kPngSignature &&
           std::equal(std::begin(kPngSignature), std::end(kPngSignature), image.begin());
}

// Bits per pixel from the PNG header: bit depth × channels.
int PngBitCount(std::span<const uint8_t> image)
{
    // Signature, then the IHDR chunk: length, type, width, height, depth, colour type.
    if (image.size() < 8 + 8 + 13 || U32BigEndian(image, 8) != 13 || image[12] != 'I' || image[13] != 'H' ||
        image[14] != 'D' || image[15] != 'R')
        Invalid();
    const int depth = image[24];
    int channels = 0;
    switch (image[25]) {
    case 0: channels = 1; break;   // grey
    case 2: channels = 3; break;   // RGB
    case 3: channels = 1; break;   // palette
    case 4: channels = 2; break;   // grey and alpha
    case 6: channels = 4; break;   // RGBA
    default: Invalid();
    }
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)
        Invalid();
    return depth * channels;
}

int DibBitCount(std::span<const uint8_t> image)
{
    const uint32_t headerSize = U32(image, 0);
    if (headerSize == 12) {
        return U16(image, 10);
    }
    if (headerSize >= 40 && headerSize <= image.size())
        return U16(image, 14);
    Invalid();
}

std::span<const uint8_t> EntryBytes(std::span<const uint8_t> file, const IconEntry& entry)
{
    if (entry.offset > file.size() || entry.size > file.size() - entry.offset)
        Invalid();
    return file.subspan(entry.offset, entry.size);
}

Raster DecodePngEntry(std::span<const uint8_t> image)
{
    // 32 bits, every alpha byte 255 where the image has no transparency.
    Raster r = PngToRaster(DecodePng(image));
    r.SetAlpha(AlphaMode::Straight);
    return r;
}

Raster DecodeDibEntry(std::span<const uint8_t> image)
{
    DibFacts facts;
    Raster colour = DecodeDib(image, true, facts);
    if (facts.compression != 0 && facts.compression != 3 && facts.compression != 6)
        Invalid();   // icons are never run-length encoded
    const int width = colour.Width(), height = colour.Height();

    if (colour.Format() == PixelFormat::Bit32) {
        // A 32-bit entry with any alpha at all uses its alpha channel.
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = colour.Row(y);
            for (int x = 0; x < width; ++x) {
                if (row[4 * x + 3] != 0) {
                    colour.SetAlpha(AlphaMode::Straight);
                    return colour;
                }
            }
        }
    }

    // Otherwise the AND mask: one bit per pixel, set where the icon is transparent.
    const size_t maskStride = ((size_t(width) + 31) / 32) * 4;
    const size_t maskRowBytes = (size_t(width) + 7) / 8;
    const size_t maskStart = facts.pixelEnd;
    if (maskStart > image.size() || image.size() - maskStart < maskStride * size_t(height - 1) + maskRowBytes)
        Invalid();
    const uint8_t* mask = image.data() + maskStart;

    Raster out = colour.Format() == PixelFormat::Bit32 ? std::move(colour) : colour.ConvertedTo(PixelFormat::Bit32);
    for (int y = 0; y < height; ++y) {
        const uint8_t* m = mask + size_t(facts.topDown ? y : height - 1 - y) * maskStride;
        uint8_t* row = out.MutableRow(y);
        for (int x = 0; x < width; ++x)
            row[4 * x + 3] = ((m[x >> 3] >> (7 - (x & 7))) & 1) ? 0 : 255;
    }
    out.SetAlpha(AlphaMode::Straight);
    return out;
}

}   // namespace

IconDirectory ParseIcon(std::span<const uint8_t> file)
{
    if (U16(file, 0) != 0 || U16(file, 2) != 1)
        Invalid();
    const size_t count = U16(file, 4);
    if (count == 0 || file.size() < kDirHeaderSize + count * kDirEntrySize)
        Invalid();
    IconDirectory dir;
    dir.entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const size_t at = kDirHeaderSize + i * kDirEntrySize;
        IconEntry e;
        e.width = file[at] ? file[at] : 256;
        e.height = file[at + 1] ? file[at + 1] : 256;
        e.size = U32(file, at + 8);
        e.offset = U32(file, at + 12);
        std::span<const uint8_t> image = EntryBytes(file, e);
        e.png = IsPng(image);
        e.bitCount = e.png ? PngBitCount(image) : DibBitCount(image);
        dir.entries.push_back(e);
    }
    return dir;
}

size_t PickIconEntry(const IconDirectory& dir, int cx, int cy, int displayBits)
{
    // The best total size difference, as the first entry that reaches it has it...
    long bestTotal = std::numeric_limits<long>::max();
    long bestDx = 0, bestDy = 0;
    for (const IconEntry& e : dir.entries) {
        const long dx = std::labs(long(e.width) - cx), dy = std::labs(long(e.height) - cy);
        if (dx + dy < bestTotal) {
            bestTotal = dx + dy;
            bestDx = dx;
            bestDy = dy;
        }
    }
    // ...then the closest colour depth among the entries with that same difference.
    size_t best = 0;
    long bestBits = std::numeric_limits<long>::max();
    for (size_t i = 0; i < dir.entries.size(); ++i) {
        const IconEntry& e = dir.entries[i];
        if (std::labs(long(e.width) - cx) != bestDx || std::labs(long(e.height) - cy) != bestDy)
            continue;
        const long bits = std::labs(long(e.bitCount) - displayBits);
        if (bits < bestBits) {
            bestBits = bits;
            best = i;
        }
    }
    return best;
}

Raster DecodeIconEntry(std::span<const uint8_t> file, const IconEntry& entry)
{
    std::span<const uint8_t> image = EntryBytes(file, entry);
    try {
        return IsPng(image) ? DecodePngEntry(image) : DecodeDibEntry(image);
    } catch (const Failure&) {
        Invalid();
    } catch (const std::bad_alloc&) {
        Invalid();
    }
}
