// Little-endian byte building for tests that assemble image files by hand.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct ByteWriter {
    std::vector<uint8_t> bytes;

    ByteWriter& U8(uint32_t v)
    {
        bytes.push_back(uint8_t(v));
        return *this;
    }
    ByteWriter& U16(uint32_t v) { return U8(v).U8(v >> 8); }
    ByteWriter& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    ByteWriter& I32(int32_t v) { return U32(uint32_t(v)); }
    ByteWriter& Zeros(size_t n)
    {
        bytes.insert(bytes.end(), n, 0);
        return *this;
    }
    ByteWriter& Append(std::span<const uint8_t> data)
    {
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    size_t Size() const { return bytes.size(); }
};

inline void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

inline void PutU16(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

// Pixel rows as a DIB stores them: each value packed at the given bit depth
// (most significant bits first below 8 bits, little-endian above), rows padded
// to 4 bytes, bottom row first unless topDown.
template <class PixelFn>
std::vector<uint8_t> PackRows(int width, int height, int bits, bool topDown, PixelFn value)
{
    const size_t stride = ((size_t(width) * size_t(bits) + 31) / 32) * 4;
    std::vector<uint8_t> out(stride * size_t(height), 0);
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        uint8_t* r = out.data() + size_t(row) * stride;
        for (int x = 0; x < width; ++x) {
            const uint32_t v = value(x, y);
            if (bits < 8) {
                const int perByte = 8 / bits;
                const int shift = 8 - bits * (x % perByte + 1);
                r[x / perByte] |= uint8_t(v << shift);
            } else {
                for (int i = 0; i < bits / 8; ++i)
                    r[size_t(x) * size_t(bits / 8) + size_t(i)] = uint8_t(v >> (8 * i));
            }
        }
    }
    return out;
}
