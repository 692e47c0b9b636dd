// Sample files the decoders' tests write themselves: TIFF pages of any
// layout through libtiff, GIF frames through giflib, and GIF frames whose
// LZW data is compressed here at any minimum code size (giflib writes none
// above 8).
#pragma once

#include <gif_lib.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace format_writers {

using Bytes = std::vector<uint8_t>;

struct TiffLayout {
    uint32_t width = 0, height = 0;
    uint16_t bits = 8, samples = 3, photometric = PHOTOMETRIC_RGB;
    uint16_t planar = PLANARCONFIG_CONTIG, compression = COMPRESSION_NONE, predictor = PREDICTOR_NONE;
    uint16_t format = SAMPLEFORMAT_UINT, orientation = ORIENTATION_TOPLEFT;
    std::vector<uint16_t> extra = {};   // the ExtraSamples tag
    uint32_t tile = 0;                  // square tiles of this side, or strips
    uint32_t rowsPerStrip = 0;          // 0: libtiff's choice (about 8 KiB a strip)
};

// Appends count samples of the page's depth, packed as TIFF packs them: from
// the most significant bit on below 8 bits and at odd depths, else whole
// bytes in the file's (this machine's) order.
inline void Pack(const TiffLayout& page, const uint32_t* values, size_t count, Bytes& out)
{
    const size_t start = out.size();
    if (page.bits % 8 == 0) {
        for (size_t i = 0; i < count; ++i)
            for (int b = 0; b < page.bits / 8; ++b)
                out.push_back(uint8_t(values[i] >> (8 * b)));
        return;
    }
    out.resize(start + (count * page.bits + 7) / 8);
    for (size_t i = 0, bit = 0; i < count; ++i)
        for (int b = page.bits - 1; b >= 0; --b, ++bit)
            if (values[i] >> b & 1)
                out[start + bit / 8] |= uint8_t(0x80 >> (bit % 8));
}

// The page written by libtiff; values holds every sample of every pixel,
// pixel by pixel.
inline Bytes WriteTiff(const TiffLayout& page, const std::vector<uint32_t>& values)
{
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("pixavo-tiff-" + std::to_string(getpid()) + ".tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, page.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, page.planar);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, page.format);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, page.orientation);
    if (page.predictor != PREDICTOR_NONE)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, page.predictor);
    if (!page.extra.empty())
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(page.extra.size()), page.extra.data());
    const bool separate = page.planar == PLANARCONFIG_SEPARATE;
    const int planes = separate ? page.samples : 1;
    const size_t perPixel = separate ? 1 : page.samples;
    // The samples of plane p of the pixels (x, y) to (x + count, y).
    auto samples = [&](int p, uint32_t x, uint32_t y, uint32_t count) {
        std::vector<uint32_t> row;
        for (uint32_t i = 0; i < count; ++i)
            for (size_t s = 0; s < perPixel; ++s)
                row.push_back(values[(size_t(y) * page.width + x + i) * page.samples + (separate ? p : s)]);
        return row;
    };
    if (page.tile) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, page.tile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, page.tile);
        const size_t rowBytes = (page.tile * perPixel * page.bits + 7) / 8;
        for (int p = 0; p < planes; ++p)
            for (uint32_t y = 0; y < page.height; y += page.tile)
                for (uint32_t x = 0; x < page.width; x += page.tile) {
                    Bytes tile(rowBytes * page.tile);
                    for (uint32_t r = 0; r < page.tile && y + r < page.height; ++r) {
                        Bytes packed;
                        const auto row = samples(p, x, y + r, std::min(page.tile, page.width - x));
                        Pack(page, row.data(), row.size(), packed);
                        std::copy(packed.begin(), packed.end(), tile.begin() + ptrdiff_t(r * rowBytes));
                    }
                    TIFFWriteTile(tif, tile.data(), x, y, 0, uint16_t(p));
                }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, page.rowsPerStrip ? page.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
        for (int p = 0; p < planes; ++p)
            for (uint32_t y = 0; y < page.height; ++y) {
                Bytes packed;
                const auto row = samples(p, 0, y, page.width);
                Pack(page, row.data(), row.size(), packed);
                TIFFWriteScanline(tif, packed.data(), y, uint16_t(p));
            }
    }
    TIFFClose(tif);
    std::ifstream in(path, std::ios::binary);
    Bytes out{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::filesystem::remove(path);
    return out;
}

inline int Collect(GifFileType* gif, const GifByteType* data, int size)
{
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

struct GifFrame {
    int left, top, width, height;
    int index;             // the colour every pixel of the frame has
    int disposal = DISPOSAL_UNSPECIFIED;
    int delay = 10;        // hundredths of a second
};

// Frames of one colour each on a screen of the palette's first colours:
// 0 red, 1 blue, 2 green, 3 black.
inline Bytes GifOfFrames(int width, int height, const std::vector<GifFrame>& frames)
{
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, Collect, &error);
    GifColorType colours[4] = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}, {0, 0, 0}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, width, height, 2, 0, map);
    for (const GifFrame& f : frames) {
        GraphicsControlBlock gcb{f.disposal, false, f.delay, NO_TRANSPARENT_COLOR};
        GifByteType block[4];
        EGifGCBToExtension(&gcb, block);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
        EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, false, nullptr);
        std::vector<GifPixelType> row(size_t(f.width), GifPixelType(f.index));
        for (int y = 0; y < f.height; ++y)
            EGifPutLine(gif, row.data(), f.width);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

// A GIF of one frame of width × height colour indices, LZW-compressed here
// with the minimum code size given, and a colour table of 256 entries
// (index i: red i, green 255 − i, blue i / 2).
inline Bytes GifWithCodeSize(int width, int height, const std::vector<uint16_t>& indices, int codeSize)
{
    Bytes out = {'G', 'I', 'F', '8', '9', 'a', uint8_t(width), uint8_t(width >> 8), uint8_t(height),
                 uint8_t(height >> 8), 0xF7, 0, 0};
    for (int i = 0; i < 256; ++i)
        out.insert(out.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
    out.insert(out.end(), {',', 0, 0, 0, 0, uint8_t(width), uint8_t(width >> 8), uint8_t(height),
                           uint8_t(height >> 8), 0, uint8_t(codeSize)});
    // Codes from the least significant bit on; the width grows as the
    // reader's table does, one entry behind the writer's.
    const int clear = 1 << codeSize;
    Bytes data;
    uint32_t held = 0;
    int have = 0, bits = codeSize + 1, next = clear + 2;
    auto put = [&](int code) {
        held |= uint32_t(code) << have;
        for (have += bits; have >= 8; have -= 8, held >>= 8)
            data.push_back(uint8_t(held));
    };
    std::map<std::pair<int, int>, int> table;
    put(clear);
    int prefix = -1;
    for (uint16_t index : indices) {
        if (prefix < 0) {
            prefix = index;
            continue;
        }
        if (const auto found = table.find({prefix, index}); found != table.end()) {
            prefix = found->second;
            continue;
        }
        put(prefix);
        if (next < 4096) {
            table[{prefix, index}] = next++;
            if (next == (1 << bits) + 1 && bits < 12)
                ++bits;
        } else {
            put(clear);
            table.clear();
            next = clear + 2;
            bits = codeSize + 1;
        }
        prefix = index;
    }
    put(prefix);
    put(clear + 1);
    if (have > 0)
        data.push_back(uint8_t(held));
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + ptrdiff_t(at), data.begin() + ptrdiff_t(at + n));
    }
    out.insert(out.end(), {0, ';'});
    return out;
}

} // namespace format_writers
