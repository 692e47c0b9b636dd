#include "imaging/codecs/TiffSamples.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include <tiffio.h>

#include "base/Cancellation.h"
#include "base/Failure.h"
#include "imaging/codecs/Animation.h"

// libtiff hands samples of 16, 24 and 32 bits over in the host's byte order.
static_assert(std::endian::native == std::endian::little);

namespace {

struct Page {
    uint32_t width = 0, height = 0;
    int bits = 0;
    int samples = 0;           // per pixel
    int colours = 0;           // 1 grey, 3 RGB
    int alpha = -1;            // the alpha sample's index, or -1
    bool associated = false;   // the colours are premultiplied by alpha
    bool separate = false;     // one plane per sample
    bool whiteIsZero = false;
    bool isSigned = false;
};

bool Describe(TIFF* t, Page& p)
{
    uint16_t bits = 0, samples = 0, format = 0, photometric = 0, planar = 0, compression = 0;
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) || !TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &p.width) ||
        !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &p.height))
        return false;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE &&
        photometric != PHOTOMETRIC_RGB)
        return false;
    if (bits < 3 || bits == 4 || bits > 32)
        return false;
    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_INT && format != SAMPLEFORMAT_VOID)
        return false;
    if (compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG)
        return false;
    p.bits = bits;
    p.samples = samples;
    p.colours = photometric == PHOTOMETRIC_RGB ? 3 : 1;
    if (p.samples < p.colours)
        return false;
    p.separate = planar == PLANARCONFIG_SEPARATE && p.samples > 1;
    p.whiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
    p.isSigned = format == SAMPLEFORMAT_INT;
    if (p.samples > p.colours) {
        // The first extra sample is alpha when it says so; one of no stated
        // kind after RGB is taken as libtiff takes it, as associated alpha.
        uint16_t count = 0;
        uint16_t* kinds = nullptr;
        TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &count, &kinds);
        const uint16_t kind = count > 0 && kinds ? kinds[0] : uint16_t(EXTRASAMPLE_UNSPECIFIED);
        if (kind == EXTRASAMPLE_ASSOCALPHA || kind == EXTRASAMPLE_UNASSALPHA ||
            (kind == EXTRASAMPLE_UNSPECIFIED && p.samples > 3)) {
            p.alpha = p.colours;
            p.associated = kind != EXTRASAMPLE_UNASSALPHA;
        }
    }
    return true;
}

// A sample of the page's depth to 8 bits: round(v × 255 / (2^bits − 1)),
// signed samples counted from their least value. Through a table up to 16
// bits; above, in doubles, which are exact here: v × 255 is never a half
// away from a multiple of the odd 2^bits − 1, and lies at least
// 1 / (2 × (2^bits − 1)) from one, far beyond a double's error.
class Scale {
public:
    explicit Scale(const Page& page)
        : bits_(page.bits), sign_(page.isSigned ? 1u << (page.bits - 1) : 0u),
          factor_(255.0 / double((uint64_t(1) << page.bits) - 1))
    {
        if (bits_ <= 16) {
            table_.resize(size_t(1) << bits_);
            const uint64_t max = (uint64_t(1) << bits_) - 1;
            for (uint32_t v = 0; v <= max; ++v)
                table_[v] = uint8_t(((v ^ sign_) * uint64_t(255) + max / 2) / max);
        }
    }

    // Whether 8-bit samples are their own values.
    bool Identity() const { return bits_ == 8 && sign_ == 0; }

    // count samples packed from the start of in (a row's start) to out.
    void Unpack(const uint8_t* in, size_t count, uint8_t* out) const
    {
        switch (bits_) {
        case 8:
            for (size_t i = 0; i < count; ++i)
                out[i] = table_[in[i]];
            return;
        case 16:
            for (size_t i = 0; i < count; ++i, in += 2) {
                uint16_t v;
                std::memcpy(&v, in, 2);
                out[i] = table_[v];
            }
            return;
        case 24:
            for (size_t i = 0; i < count; ++i, in += 3)
                out[i] = Wide(uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16);
            return;
        case 32:
            for (size_t i = 0; i < count; ++i, in += 4) {
                uint32_t v;
                std::memcpy(&v, in, 4);
                out[i] = Wide(v);
            }
            return;
        default: {
            // Packed from the most significant bit of each byte on.
            const uint64_t mask = (uint64_t(1) << bits_) - 1;
            uint64_t held = 0;
            int have = 0;
            for (size_t i = 0; i < count; ++i) {
                while (have < bits_) {
                    held = held << 8 | *in++;
                    have += 8;
                }
                have -= bits_;
                const auto v = uint32_t((held >> have) & mask);
                out[i] = bits_ <= 16 ? table_[v] : Wide(v);
            }
        }
        }
    }

private:
    uint8_t Wide(uint32_t v) const { return uint8_t(double(v ^ sign_) * factor_ + 0.5); }

    int bits_;
    uint32_t sign_;
    double factor_;
    std::vector<uint8_t> table_;
};

// Where a sample lands in a BGR(A) pixel: red, green, blue, alpha; a grey
// sample in all three colours; -1 for samples not shown.
int Channel(const Page& p, int sample)
{
    if (sample == p.alpha)
        return 3;
    if (sample >= p.colours)
        return -1;
    return p.colours == 1 ? 4 : 2 - sample;
}

// Puts count pixels of unpacked samples (every sample of each pixel, or the
// one sample of plane) into out, a raster row from the first pixel on.
void Place(const Page& p, const uint8_t* in, size_t count, int plane, uint8_t* out, int step)
{
    const uint8_t white = p.whiteIsZero ? 0xFF : 0;
    if (p.separate) {
        const int channel = Channel(p, plane);
        if (channel == 3)
            for (size_t x = 0; x < count; ++x)
                out[x * size_t(step) + 3] = in[x];
        else if (channel == 4)
            for (size_t x = 0; x < count; ++x, out += step)
                out[0] = out[1] = out[2] = uint8_t(in[x] ^ white);
        else if (channel >= 0)
            for (size_t x = 0; x < count; ++x)
                out[x * size_t(step) + size_t(channel)] = in[x];
        return;
    }
    const size_t n = size_t(p.samples);
    const size_t alpha = p.alpha >= 0 ? size_t(p.alpha) : 0;
    for (size_t x = 0; x < count; ++x, in += n, out += step) {
        if (p.colours == 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        } else {
            out[0] = out[1] = out[2] = uint8_t(in[0] ^ white);
        }
        if (step == 4)
            out[3] = in[alpha];
    }
}

[[noreturn]] void TooLarge() { throw Failure(L"Out of memory"); }

// Strips of up to this many bytes decoded are read whole; larger ones a row
// at a time. A megabyte of Deflate takes a few milliseconds.
constexpr uint64_t kWholeStrip = uint64_t(1) << 20;

} // namespace

bool ReadsTiffSamples(TIFF* tif)
{
    Page page;
    return Describe(tif, page);
}

Raster ReadTiffSamples(TIFF* t, uint64_t maxBuffer, const std::function<void()>& readFailed)
{
    Page p;
    if (!Describe(t, p))
        throw Failure(L"Invalid picture");
    if (!DecodeLimits::Allows(p.width, p.height))
        TooLarge();
    const int step = p.alpha >= 0 ? 4 : 3;
    Raster out(int(p.width), int(p.height), step == 4 ? PixelFormat::Bit32 : PixelFormat::Bit24, Raster::Unfilled{});
    out.SetAlpha(step == 4 ? AlphaMode::Straight : AlphaMode::None);
    const Scale scale(p);
    // The planes read: the colours and alpha.
    const int planes = p.separate ? (p.alpha >= 0 ? p.alpha + 1 : p.colours) : 1;
    const size_t perPixel = p.separate ? 1 : size_t(p.samples);

    std::vector<uint8_t> unpacked;
    // One row of count pixels of plane, from in, to (x, y).
    auto row = [&](const uint8_t* in, uint32_t count, int plane, uint32_t x, uint32_t y) {
        const uint8_t* values = in;
        if (!scale.Identity()) {
            scale.Unpack(in, count * perPixel, unpacked.data());
            values = unpacked.data();
        }
        Place(p, values, count, plane, out.MutableRow(int(y)) + size_t(x) * size_t(step), step);
    };

    if (TIFFIsTiled(t)) {
        uint32_t tileWidth = 0, tileLength = 0;
        TIFFGetField(t, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(t, TIFFTAG_TILELENGTH, &tileLength);
        const uint64_t tileBytes = TIFFTileSize64(t), rowBytes = TIFFTileRowSize64(t);
        if (tileWidth == 0 || tileLength == 0 || rowBytes == 0 || rowBytes * tileLength > tileBytes)
            readFailed();
        if (tileBytes > maxBuffer || uint64_t(tileWidth) * perPixel > maxBuffer)
            TooLarge();
        std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
        unpacked.resize(size_t(tileWidth) * perPixel);
        for (int plane = 0; plane < planes; ++plane)
            for (uint32_t y = 0; y < p.height; y += tileLength)
                for (uint32_t x = 0; x < p.width; x += tileWidth) {
                    ThrowIfCancelled();
                    const uint32_t index = TIFFComputeTile(t, x, y, 0, uint16_t(plane));
                    if (TIFFReadEncodedTile(t, index, tile.data(), tmsize_t(tileBytes)) < 0)
                        readFailed();
                    const uint32_t columns = std::min(tileWidth, p.width - x);
                    const uint32_t rows = std::min(tileLength, p.height - y);
                    for (uint32_t r = 0; r < rows; ++r)
                        row(tile.data() + r * rowBytes, columns, plane, x, y + r);
                }
    } else {
        const uint64_t lineBytes = TIFFScanlineSize64(t);
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, p.height);
        if (lineBytes == 0)
            readFailed();
        if (lineBytes > maxBuffer)
            TooLarge();
        unpacked.resize(size_t(p.width) * perPixel);
        if (lineBytes * rowsPerStrip <= kWholeStrip) {
            // A strip at a time: libtiff decodes whole strips fastest.
            std::vector<uint8_t> strip(static_cast<size_t>(lineBytes * rowsPerStrip));
            for (int plane = 0; plane < planes; ++plane)
                for (uint32_t y = 0; y < p.height; y += rowsPerStrip) {
                    ThrowIfCancelled();
                    const uint32_t rows = std::min(rowsPerStrip, p.height - y);
                    if (TIFFReadEncodedStrip(t, TIFFComputeStrip(t, y, uint16_t(plane)), strip.data(),
                                             tmsize_t(rows * lineBytes)) < 0)
                        readFailed();
                    for (uint32_t r = 0; r < rows; ++r)
                        row(strip.data() + r * lineBytes, p.width, plane, 0, y + r);
                }
        } else {
            // Larger strips row by row: libtiff decodes a strip as far as it
            // is asked, so work stops between the rows of one strip too.
            std::vector<uint8_t> line(static_cast<size_t>(lineBytes));
            for (int plane = 0; plane < planes; ++plane)
                for (uint32_t y = 0; y < p.height; ++y) {
                    ThrowIfCancelled();
                    if (TIFFReadScanline(t, line.data(), y, uint16_t(plane)) < 0)
                        readFailed();
                    row(line.data(), p.width, plane, 0, y);
                }
        }
    }
    if (p.associated)
        DividePremultipliedAlpha(out);
    return out;
}
