#include "imaging/codecs/TiffCodec.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include <tiffio.h>

#include "base/Cancellation.h"
#include "base/Failure.h"
#include "imaging/codecs/TiffSamples.h"

namespace {

// The file libtiff reads or writes: bytes in memory.
struct MemoryFile {
    const uint8_t* data = nullptr;       // reading
    size_t size = 0;
    std::vector<uint8_t>* out = nullptr;  // writing
    uint64_t pos = 0;
    std::string error;                   // libtiff's first error message
};

MemoryFile& FileOf(thandle_t handle) { return *static_cast<MemoryFile*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count)
{
    MemoryFile& f = FileOf(handle);
    const size_t size = f.out ? f.out->size() : f.size;
    const uint8_t* data = f.out ? f.out->data() : f.data;
    if (count <= 0 || f.pos >= size)
        return 0;
    size_t n = std::min(size_t(count), size_t(size - f.pos));
    std::memcpy(buffer, data + f.pos, n);
    f.pos += n;
    return tmsize_t(n);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t count)
{
    MemoryFile& f = FileOf(handle);
    if (!f.out || count < 0)
        return 0;
    try {
        const uint64_t end = f.pos + uint64_t(count);
        if (end > f.out->size())
            f.out->resize(size_t(end));
        std::memcpy(f.out->data() + f.pos, buffer, size_t(count));
    } catch (...) {
        return 0;
    }
    f.pos += uint64_t(count);
    return count;
}

toff_t SizeProc(thandle_t handle)
{
    MemoryFile& f = FileOf(handle);
    return f.out ? f.out->size() : f.size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence)
{
    MemoryFile& f = FileOf(handle);
    uint64_t base = whence == SEEK_CUR ? f.pos : whence == SEEK_END ? SizeProc(handle) : 0;
    // Offsets are unsigned: a step backwards arrives as a huge value and wraps.
    uint64_t target = base + offset;
    if (whence != SEEK_SET && offset > (uint64_t(1) << 62) && target > base)
        return toff_t(-1);
    f.pos = target;
    return f.pos;
}

int CloseProc(thandle_t) { return 0; }

// Reading maps the bytes themselves, so libtiff reads strips in place.
int MapProc(thandle_t handle, void** base, toff_t* size)
{
    MemoryFile& f = FileOf(handle);
    if (f.out)
        return 0;
    *base = const_cast<uint8_t*>(f.data);   // libtiff only reads a mapped file opened for reading
    *size = f.size;
    return 1;
}

void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char* module, const char* format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    // The first is what went wrong; those after it follow from it.
    auto& error = static_cast<MemoryFile*>(user)->error;
    if (error.empty())
        error = text;
    (void)module;
    return 1;   // handled: libtiff's own handler (printing) is not called
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// No single allocation of libtiff's own (a strip, a tile, a tag's values),
// nor of a strip or tile read here, beyond what the largest picture allowed
// would need.
uint64_t MaxSingleAllocation()
{
    return std::clamp<uint64_t>(DecodeLimits::maxPixels * 8, uint64_t(64) << 20, uint64_t(1) << 30);
}

TiffPtr Open(MemoryFile& file, const char* mode)
{
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options)
        throw Failure(L"Out of memory");
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(MaxSingleAllocation()));
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &file);
    return TiffPtr(TIFFClientOpenExt("memory", mode, &file, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                     MapProc, UnmapProc, options.get()));
}

// What libtiff's message (which names strips, offsets and byte counts) comes
// to, in words: the file is not TIFF, is cut short, or is damaged.
[[noreturn]] void Invalid(const MemoryFile& file, const wchar_t* fallback)
{
    std::string text = file.error;
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    auto says = [&](std::initializer_list<const char*> words) {
        return std::ranges::any_of(words, [&](const char* w) { return text.find(w) != std::string::npos; });
    };
    if (says({"byte limit", "no space", "out of memory", "failed to allocate", "cannot allocate"}))
        throw Failure(L"Out of memory");
    const wchar_t* reason = L"its data is damaged";
    if (text.empty())
        reason = fallback;
    else if (says({"not a tiff", "cannot read tiff header", "bad magic", "not open for reading"}))
        reason = L"it is not a TIFF file";
    else if (says({"read error", "seek error", "got ", "not enough data", "file too short", "larger than file size",
                   "cannot read", "can not read", "eof", "premature", "unexpected end"}))
        reason = L"its data is cut short";
    else if (says({"decod", "zlib", "lzw", "code", "corrupt", "bogus", "packbits", "predictor", "huffman"}))
        reason = L"its compressed data is damaged";
    else if (says({"directory", "ifd", "tag", "sanity check", "byte count", "offset"}))
        reason = L"its list of tags is damaged";
    throw Failure(std::wstring(L"TIFF image is not valid: ") + reason);
}

// Why the page cannot be read, in words; empty when it can be, by
// ReadTiffSamples or libtiff's RGBA reading.
std::wstring Unsupported(TIFF* t)
{
    uint16_t format = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE, photometric = 0, bits = 1;
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    if (format == SAMPLEFORMAT_IEEEFP || format == SAMPLEFORMAT_COMPLEXIEEEFP)
        return L"its samples are floating-point numbers";
    if (format == SAMPLEFORMAT_COMPLEXINT)
        return L"its samples are complex numbers";
    if (!TIFFIsCODECConfigured(compression)) {
        const TIFFCodec* codec = TIFFFindCODEC(compression);
        return codec ? L"it is compressed with " + Widen(codec->name) + L", which this program does not read"
                     : L"it is compressed with a method TIFF does not define";
    }
    if (bits > 32)
        return L"its samples are wider than 32 bits";
    // (Only a codec that knows the tag has it set.)
    uint16_t predictor = PREDICTOR_NONE;
    if (TIFFGetField(t, TIFFTAG_PREDICTOR, &predictor) && predictor == PREDICTOR_HORIZONTAL && bits != 8 &&
        bits != 16 && bits != 32)
        return L"its horizontal differencing is not read for samples of this depth";
    char message[1024] = {};
    if (ReadsTiffSamples(t) || TIFFRGBAImageOK(t, message))
        return L"";
    if (TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) &&
        (photometric == PHOTOMETRIC_LOGL || photometric == PHOTOMETRIC_LOGLUV))
        return L"its pixels are stored as LogLuv light levels";
    return L"its kind of pixels cannot be read by this program";
}

// Makes page `page` (from 0) the directory read.
void SelectPage(const MemoryFile& file, TIFF* t, int page)
{
    if (page != 0 && (page < 0 || !TIFFSetDirectory(t, tdir_t(page))))
        Invalid(file, L"a page is missing");
}

// The page's XMP packet; empty without one.
std::vector<uint8_t> XmpOf(TIFF* t)
{
    uint32_t size = 0;
    void* xmp = nullptr;
    if (!TIFFGetField(t, TIFFTAG_XMLPACKET, &size, &xmp) || !xmp)
        return {};
    return {static_cast<const uint8_t*>(xmp), static_cast<const uint8_t*>(xmp) + size};
}

struct RgbaImage {
    TIFFRGBAImage img{};
    bool begun = false;
    ~RgbaImage()
    {
        if (begun)
            TIFFRGBAImageEnd(&img);
    }
};

// libtiff gives ABGR words (red in the lowest byte) with premultiplied alpha:
// made BGRA with straight alpha, or with the alpha byte 255.
void ToBgra(uint8_t* row, int width, bool alpha)
{
    for (int x = 0; x < width; ++x, row += 4) {
        const uint8_t r = row[0], b = row[2], a = row[3];
        if (!alpha || a == 255) {
            row[0] = b;
            row[2] = r;
            continue;
        }
        if (a == 0) {
            row[0] = row[1] = row[2] = 0;
            continue;
        }
        row[0] = uint8_t(std::min(255u, (b * 255u + a / 2) / a));
        row[1] = uint8_t(std::min(255u, (row[1] * 255u + a / 2) / a));
        row[2] = uint8_t(std::min(255u, (r * 255u + a / 2) / a));
    }
}

int PageCount(TIFF* t) { return std::max<int>(1, int(std::min<tdir_t>(TIFFNumberOfDirectories(t), INT32_MAX))); }

}  // namespace

TiffImage DecodeTiff(std::span<const uint8_t> data, int page)
{
    MemoryFile file;
    file.data = data.data();
    file.size = data.size();
    TiffPtr tif = Open(file, "r");
    if (!tif)
        Invalid(file, L"it is not a TIFF file");
    TIFF* t = tif.get();
    SelectPage(file, t, page);

    TiffImage image;
    uint32_t iccSize = 0;
    void* icc = nullptr;
    if (TIFFGetField(t, TIFFTAG_ICCPROFILE, &iccSize, &icc) && icc)
        image.metadata.icc.assign(static_cast<const uint8_t*>(icc), static_cast<const uint8_t*>(icc) + iccSize);
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (TIFFGetField(t, TIFFTAG_ORIENTATION, &orientation) && orientation >= 1 && orientation <= 8)
        image.metadata.orientation = orientation;
    image.metadata.xmp = XmpOf(t);

    if (const std::wstring why = Unsupported(t); !why.empty())
        throw Failure(L"TIFF image is not supported: " + why);
    if (ReadsTiffSamples(t)) {
        image.pixels = ReadTiffSamples(t, MaxSingleAllocation(), [&] { Invalid(file, L"its data is damaged"); });
        image.pageCount = PageCount(t);
        return image;
    }
    char message[1024] = {};
    RgbaImage rgba;
    if (!TIFFRGBAImageBegin(&rgba.img, t, 1, message))
        throw Failure(L"TIFF image is not supported: its kind of pixels cannot be read by this program");
    rgba.begun = true;
    const uint32_t width = rgba.img.width, height = rgba.img.height;
    if (!DecodeLimits::Allows(width, height))
        throw Failure(L"Out of memory");
    // The rows as stored: no flipping for the Orientation tag.
    rgba.img.req_orientation = rgba.img.orientation;
    const bool alpha = rgba.img.alpha != 0;

    Raster pixels(int(width), int(height), PixelFormat::Bit32, Raster::Unfilled{});
    pixels.SetAlpha(alpha ? AlphaMode::Straight : AlphaMode::None);
    // Strip by strip (or row of tiles), so that cancelled work stops soon.
    uint32_t band = 0;
    if (TIFFIsTiled(t))
        TIFFGetField(t, TIFFTAG_TILELENGTH, &band);
    else
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &band);
    band = std::clamp<uint32_t>(band, 1, height);
    // libtiff writes the ABGR words of row y at y × width words: the raster's stride.
    static_assert(sizeof(uint32_t) == 4);
    for (uint32_t y = 0; y < height; y += band) {
        ThrowIfCancelled();
        const uint32_t rows = std::min(band, height - y);
        rgba.img.row_offset = int(y);
        auto* out = reinterpret_cast<uint32_t*>(pixels.MutableRow(int(y)));
        if (!TIFFRGBAImageGet(&rgba.img, out, width, rows))
            Invalid(file, L"its data is damaged");
        for (uint32_t r = 0; r < rows; ++r)
            ToBgra(pixels.MutableRow(int(y + r)), int(width), alpha);
    }
    image.pixels = std::move(pixels);
    image.pageCount = PageCount(t);
    // Inks were made RGB by libtiff's plain rule: their profile describes them no more.
    if (uint16_t photometric = 0; TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) &&
                                  photometric == PHOTOMETRIC_SEPARATED)
        image.metadata.icc.clear();
    return image;
}

TiffSize ReadTiffSize(std::span<const uint8_t> data)
{
    MemoryFile file;
    file.data = data.data();
    file.size = data.size();
    TiffPtr tif = Open(file, "r");
    TiffSize size;
    if (!tif || !TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &size.width) ||
        !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &size.height))
        Invalid(file, L"it is not a TIFF file");
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (TIFFGetField(tif.get(), TIFFTAG_ORIENTATION, &orientation) && orientation >= ORIENTATION_LEFTTOP &&
        orientation <= ORIENTATION_LEFTBOT)
        std::swap(size.width, size.height);
    return size;
}

std::vector<uint8_t> EncodeTiff(const Raster& raster, const ImageMetadata& metadata)
{
    if (raster.Empty())
        throw Failure(L"The picture could not be written as TIFF");
    const Raster pixels = EncoderPixels(raster);
    const bool alpha = pixels.Alpha() == AlphaMode::Straight && pixels.Bits() == 32;
    const int channels = alpha ? 4 : 3;
    const int inStep = pixels.Bits() / 8;
    const uint32_t width = uint32_t(pixels.Width()), height = uint32_t(pixels.Height());

    std::vector<uint8_t> out;
    MemoryFile file;
    file.out = &out;
    TiffPtr tif = Open(file, "w");
    if (!tif)
        throw Failure(L"The picture could not be written as TIFF");
    TIFF* t = tif.get();
    // About 256 KiB per strip: Deflate works on large runs, readers on small ones.
    const uint32_t rowBytes = width * uint32_t(channels);
    const uint32_t rowsPerStrip = std::clamp<uint32_t>((256u << 10) / std::max<uint32_t>(rowBytes, 1), 1, height);
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, height) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(channels)) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(8)) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB)) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG)) &&
              TIFFSetField(t, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT)) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_ADOBE_DEFLATE)) &&
              TIFFSetField(t, TIFFTAG_PREDICTOR, uint16_t(PREDICTOR_HORIZONTAL)) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (ok && alpha) {
        const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        ok = TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
    }
    if (ok && !metadata.icc.empty())
        ok = TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(metadata.icc.size()), metadata.icc.data());
    if (ok && !metadata.xmp.empty())
        ok = TIFFSetField(t, TIFFTAG_XMLPACKET, uint32_t(metadata.xmp.size()), metadata.xmp.data());
    if (!ok)
        throw Failure(L"The picture could not be written as TIFF");

    std::vector<uint8_t> row(rowBytes);
    for (uint32_t y = 0; y < height; ++y) {
        ThrowIfCancelled();
        const uint8_t* src = pixels.Row(int(y));
        uint8_t* dst = row.data();
        for (uint32_t x = 0; x < width; ++x, src += inStep, dst += channels) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            if (alpha)
                dst[3] = src[3];
        }
        if (TIFFWriteScanline(t, row.data(), y, 0) < 0)
            throw Failure(L"The picture could not be written as TIFF");
    }
    if (!TIFFWriteDirectory(t))
        throw Failure(L"The picture could not be written as TIFF");
    tif.reset();
    return out;
}

// ------------------------------------------------------------------ pages

namespace {

// The texts a page keeps.
constexpr uint32_t kTextTags[] = {TIFFTAG_DOCUMENTNAME, TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE,
                                  TIFFTAG_MODEL,        TIFFTAG_PAGENAME,         TIFFTAG_SOFTWARE,
                                  TIFFTAG_DATETIME,     TIFFTAG_ARTIST,           TIFFTAG_HOSTCOMPUTER,
                                  TIFFTAG_COPYRIGHT};

struct Reader {
    MemoryFile file;
    TiffPtr tif;
    Reader(std::span<const uint8_t> data)
    {
        file.data = data.data();
        file.size = data.size();
        tif = Open(file, "r");
        if (!tif)
            Invalid(file, L"it is not a TIFF file");
    }
};

void ReadTags(TIFF* t, TiffPage& page)
{
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &page.bitsPerSample);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &page.samplesPerPixel);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &page.sampleFormat);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &page.compression);
    TIFFGetFieldDefaulted(t, TIFFTAG_PREDICTOR, &page.predictor);
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &page.photometric))
        page.photometric = page.samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (page.compression == COMPRESSION_CCITTFAX3)
        TIFFGetField(t, TIFFTAG_GROUP3OPTIONS, &page.group3Options);
    TIFFGetField(t, TIFFTAG_INKSET, &page.inkSet);
    uint16_t count = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &count, &extra) && extra)
        page.extraSamples.assign(extra, extra + count);
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (page.photometric == PHOTOMETRIC_PALETTE && page.bitsPerSample <= 16 &&
        TIFFGetField(t, TIFFTAG_COLORMAP, &red, &green, &blue) && red && green && blue) {
        const size_t n = size_t(1) << page.bitsPerSample;
        page.colourMap.assign(red, red + n);
        page.colourMap.insert(page.colourMap.end(), green, green + n);
        page.colourMap.insert(page.colourMap.end(), blue, blue + n);
    }
    page.hasResolution = TIFFGetField(t, TIFFTAG_XRESOLUTION, &page.xResolution) &&
                         TIFFGetField(t, TIFFTAG_YRESOLUTION, &page.yResolution);
    TIFFGetFieldDefaulted(t, TIFFTAG_RESOLUTIONUNIT, &page.resolutionUnit);
    for (uint32_t tag : kTextTags) {
        char* text = nullptr;
        if (TIFFGetField(t, tag, &text) && text)
            page.texts.emplace_back(tag, text);
    }
    uint32_t iccSize = 0;
    void* icc = nullptr;
    if (TIFFGetField(t, TIFFTAG_ICCPROFILE, &iccSize, &icc) && icc)
        page.icc.assign(static_cast<const uint8_t*>(icc), static_cast<const uint8_t*>(icc) + iccSize);
    page.xmp = XmpOf(t);
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (TIFFGetField(t, TIFFTAG_ORIENTATION, &orientation) && orientation >= 1 && orientation <= 8)
        page.orientation = orientation;
}

// Whether the page's samples can be moved as they are stored.
bool SamplesMovable(TIFF* t, const TiffPage& page)
{
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    const int bits = page.Bits();
    const uint16_t b = page.bitsPerSample;
    const bool photometric = page.photometric == PHOTOMETRIC_MINISWHITE ||
                             page.photometric == PHOTOMETRIC_MINISBLACK || page.photometric == PHOTOMETRIC_RGB ||
                             page.photometric == PHOTOMETRIC_SEPARATED ||
                             (page.photometric == PHOTOMETRIC_PALETTE && !page.colourMap.empty());
    return planar == PLANARCONFIG_CONTIG && photometric && page.compression != COMPRESSION_JPEG &&
           page.compression != COMPRESSION_OJPEG && TIFFIsCODECConfigured(page.compression) &&
           (b == 1 || b == 2 || b == 4 || b == 8 || b == 16 || b == 32 || b == 64) &&
           (bits <= 4 ? page.samplesPerPixel == 1 : bits % 8 == 0) && bits <= 64;
}

// The samples, strip by strip or tile by tile.
void ReadSamples(const MemoryFile& file, TIFF* t, TiffPage& page)
{
    page.rowBytes = (size_t(page.width) * size_t(page.Bits()) + 7) / 8;
    if (tmsize_t(page.rowBytes) != TIFFScanlineSize(t))
        Invalid(file, L"its data is damaged");
    page.samples.resize(page.rowBytes * page.height);
    if (TIFFIsTiled(t)) {
        uint32_t tileWidth = 0, tileHeight = 0;
        TIFFGetField(t, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(t, TIFFTAG_TILELENGTH, &tileHeight);
        const tmsize_t tileSize = TIFFTileSize(t), tileRow = TIFFTileRowSize(t);
        if (tileWidth == 0 || tileHeight == 0 || tileSize <= 0 || tileRow <= 0 ||
            uint64_t(tileRow) * tileHeight > uint64_t(tileSize) ||
            (uint64_t(tileWidth) * uint64_t(page.Bits())) % 8 != 0)
            Invalid(file, L"its data is damaged");
        std::vector<uint8_t> tile(static_cast<size_t>(tileSize));
        for (uint32_t y = 0; y < page.height; y += tileHeight)
            for (uint32_t x = 0; x < page.width; x += tileWidth) {
                if (TIFFReadEncodedTile(t, TIFFComputeTile(t, x, y, 0, 0), tile.data(), tileSize) < 0)
                    Invalid(file, L"its data is damaged");
                const size_t at = size_t(uint64_t(x) * uint64_t(page.Bits()) / 8);
                const size_t n = std::min(size_t(tileRow), page.rowBytes - at);
                for (uint32_t r = 0; r < tileHeight && y + r < page.height; ++r)
                    std::memcpy(page.samples.data() + size_t(y + r) * page.rowBytes + at,
                                tile.data() + size_t(r) * size_t(tileRow), n);
            }
    } else {
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<uint32_t>(rowsPerStrip, 1, page.height);
        for (uint32_t y = 0, strip = 0; y < page.height; y += rowsPerStrip, ++strip) {
            const uint32_t rows = std::min(rowsPerStrip, page.height - y);
            if (TIFFReadEncodedStrip(t, strip, page.samples.data() + size_t(y) * page.rowBytes,
                                     tmsize_t(size_t(rows) * page.rowBytes)) < 0)
                Invalid(file, L"its data is damaged");
        }
    }
    // The bits after a row's last pixel are nothing: cleared, so that pages
    // alike are alike byte for byte.
    if (const int used = int((uint64_t(page.width) * uint64_t(page.Bits())) % 8))
        for (uint32_t y = 0; y < page.height; ++y)
            page.samples[size_t(y + 1) * page.rowBytes - 1] &= uint8_t(0xFF << (8 - used));
}

// A page that cannot be moved as it is stored: as it is shown, 8-bit RGB(A).
void ShownSamples(std::span<const uint8_t> data, int index, TiffPage& page)
{
    const TiffImage image = DecodeTiff(data, index);
    const bool alpha = image.pixels.Alpha() == AlphaMode::Straight;
    // 24 or 32 bits a pixel, whichever way the page was read.
    const size_t step = size_t(image.pixels.Bits() / 8);
    page.width = uint32_t(image.pixels.Width());
    page.height = uint32_t(image.pixels.Height());
    page.bitsPerSample = 8;
    page.samplesPerPixel = alpha ? 4 : 3;
    page.photometric = PHOTOMETRIC_RGB;
    page.sampleFormat = SAMPLEFORMAT_UINT;
    page.predictor = PREDICTOR_NONE;
    page.inkSet = 0;
    page.colourMap.clear();
    page.extraSamples.assign(alpha ? 1 : 0, EXTRASAMPLE_UNASSALPHA);
    page.rowBytes = size_t(page.width) * page.samplesPerPixel;
    page.samples.resize(page.rowBytes * page.height);
    for (uint32_t y = 0; y < page.height; ++y) {
        const uint8_t* src = image.pixels.Row(int(y));
        uint8_t* dst = page.samples.data() + size_t(y) * page.rowBytes;
        for (uint32_t x = 0; x < page.width; ++x, src += step, dst += page.samplesPerPixel) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            if (alpha)
                dst[3] = src[3];
        }
    }
}

bool CanWrite(uint16_t compression, const TiffPage& page)
{
    switch (compression) {
    case COMPRESSION_NONE:
    case COMPRESSION_PACKBITS:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE: return TIFFIsCODECConfigured(compression);
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4: return page.Bilevel() && TIFFIsCODECConfigured(compression);
    default: return false;
    }
}

} // namespace

int TiffPageCount(std::span<const uint8_t> data)
{
    Reader reader(data);
    return std::max<int>(1, int(std::min<tdir_t>(TIFFNumberOfDirectories(reader.tif.get()), INT32_MAX)));
}

TiffPage ReadTiffPage(std::span<const uint8_t> data, int index)
{
    Reader reader(data);
    TIFF* t = reader.tif.get();
    SelectPage(reader.file, t, index);
    TiffPage page;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &page.width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &page.height))
        Invalid(reader.file, L"it is not a TIFF file");
    if (!DecodeLimits::Allows(page.width, page.height))
        throw Failure(L"Out of memory");
    ReadTags(t, page);
    if (SamplesMovable(t, page))
        ReadSamples(reader.file, t, page);
    else
        ShownSamples(data, index, page);
    return page;
}

struct TiffPageWriter::State {
    std::vector<uint8_t> out;
    MemoryFile file;
    TiffPtr tif;
    int count = 0, added = 0;
};

TiffPageWriter::TiffPageWriter(int pageCount) : state_(std::make_unique<State>())
{
    state_->count = pageCount;
    state_->file.out = &state_->out;
    state_->tif = Open(state_->file, "w");
    if (!state_->tif)
        throw Failure(L"The picture could not be written as TIFF");
}

TiffPageWriter::~TiffPageWriter() = default;

void TiffPageWriter::Add(const TiffPage& page)
{
    TIFF* t = state_->tif.get();
    const uint16_t compression = CanWrite(page.compression, page) ? page.compression : COMPRESSION_ADOBE_DEFLATE;
    const bool differences = compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
                             compression == COMPRESSION_DEFLATE;
    const uint16_t b = page.bitsPerSample;
    const uint16_t predictor =
        !differences ? PREDICTOR_NONE
        : page.predictor == PREDICTOR_HORIZONTAL && (b == 8 || b == 16 || b == 32) ? PREDICTOR_HORIZONTAL
        : page.predictor == PREDICTOR_FLOATINGPOINT && page.sampleFormat == SAMPLEFORMAT_IEEEFP
            ? PREDICTOR_FLOATINGPOINT
            : PREDICTOR_NONE;
    const bool fax = compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4;
    const uint32_t rowsPerStrip =
        fax ? page.height
            : std::clamp<uint32_t>(uint32_t((256u << 10) / std::max<size_t>(page.rowBytes, 1)), 1, page.height);
    bool ok = page.samples.size() >= page.rowBytes * page.height &&
              TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, page.bitsPerSample) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, page.photometric) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG)) &&
              TIFFSetField(t, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT)) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, compression) && TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (ok && page.sampleFormat != SAMPLEFORMAT_UINT)
        ok = TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, page.sampleFormat);
    if (ok && predictor != PREDICTOR_NONE)
        ok = TIFFSetField(t, TIFFTAG_PREDICTOR, predictor);
    if (ok && compression == COMPRESSION_CCITTFAX3)
        ok = TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, page.group3Options);
    if (ok && !page.extraSamples.empty())
        ok = TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(page.extraSamples.size()), page.extraSamples.data());
    if (ok && page.photometric == PHOTOMETRIC_PALETTE) {
        const size_t n = size_t(1) << page.bitsPerSample;
        ok = page.colourMap.size() == 3 * n &&
             TIFFSetField(t, TIFFTAG_COLORMAP, page.colourMap.data(), page.colourMap.data() + n,
                          page.colourMap.data() + 2 * n);
    }
    if (ok && page.inkSet)
        ok = TIFFSetField(t, TIFFTAG_INKSET, page.inkSet);
    if (ok && page.hasResolution)
        ok = TIFFSetField(t, TIFFTAG_XRESOLUTION, double(page.xResolution)) &&
             TIFFSetField(t, TIFFTAG_YRESOLUTION, double(page.yResolution)) &&
             TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, page.resolutionUnit);
    if (ok && state_->count > 1)
        ok = TIFFSetField(t, TIFFTAG_SUBFILETYPE, uint32_t(FILETYPE_PAGE)) &&
             TIFFSetField(t, TIFFTAG_PAGENUMBER, uint16_t(state_->added), uint16_t(state_->count));
    for (const auto& [tag, text] : page.texts)
        ok = ok && TIFFSetField(t, tag, text.c_str());
    if (ok && !page.icc.empty())
        ok = TIFFSetField(t, TIFFTAG_ICCPROFILE, uint32_t(page.icc.size()), page.icc.data());
    if (ok && !page.xmp.empty())
        ok = TIFFSetField(t, TIFFTAG_XMLPACKET, uint32_t(page.xmp.size()), page.xmp.data());
    if (!ok)
        throw Failure(L"The picture could not be written as TIFF");
    // The encoders may change the row they are given (predictors, byte order).
    std::vector<uint8_t> row(page.rowBytes);
    for (uint32_t y = 0; y < page.height; ++y) {
        std::memcpy(row.data(), page.samples.data() + size_t(y) * page.rowBytes, page.rowBytes);
        if (TIFFWriteScanline(t, row.data(), y, 0) < 0)
            throw Failure(L"The picture could not be written as TIFF");
    }
    if (!TIFFWriteDirectory(t))
        throw Failure(L"The picture could not be written as TIFF");
    ++state_->added;
}

std::vector<uint8_t> TiffPageWriter::Finish()
{
    state_->tif.reset();
    if (!state_->file.error.empty() || state_->added == 0)
        throw Failure(L"The picture could not be written as TIFF");
    return std::move(state_->out);
}
