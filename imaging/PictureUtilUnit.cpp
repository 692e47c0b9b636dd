#include "imaging/PictureUtilUnit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include "imaging/BmpCodec.h"
#include "imaging/JpegCodec.h"
#include "imaging/MetafileFormat.h"
#include "imaging/RasterFiles.h"
#include "system/Cancellation.h"
#include "system/Failure.h"

namespace {

// What the screen (the reference device of metafiles) reports; the
// fallbacks stand for a 96-dpi display when there is none.
struct ScreenInfo {
    int horzRes = 1280, vertRes = 1024;   // pixels
    int horzSize = 339, vertSize = 271;   // millimetres
    int logX = 96, logY = 96;             // pixels per inch
    int bits = 32;
};

ScreenInfo Screen()
{
    ScreenInfo s;
    WindowDc dc;
    if (!dc.Get())
        return s;
    auto take = [&](int index, int& value) {
        int v = GetDeviceCaps(dc.Get(), index);
        if (v > 0)
            value = v;
    };
    take(HORZRES, s.horzRes);
    take(VERTRES, s.vertRes);
    take(HORZSIZE, s.horzSize);
    take(VERTSIZE, s.vertSize);
    take(LOGPIXELSX, s.logX);
    take(LOGPIXELSY, s.logY);
    int bits = GetDeviceCaps(dc.Get(), BITSPIXEL) * GetDeviceCaps(dc.Get(), PLANES);
    if (bits > 0)
        s.bits = bits;
    return s;
}

// value × numerator / denominator, rounded half to even, kept in int range.
int RoundedScale(double value, double numerator, double denominator)
{
    if (denominator <= 0)
        return 0;
    double r = std::nearbyint(value * numerator / denominator);
    return int(std::clamp(r, 0.0, double(std::numeric_limits<int>::max() / 2)));
}

} // namespace

std::vector<uint8_t> ReadWholeFile(const std::wstring& fileName)
{
    // Reading (also ahead, on another thread) never keeps anyone, this
    // program's saves included, from writing, replacing or deleting the file.
    FileHandle file(CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw Failure(FormatMessageText(L"Cannot open file %s", {FullPathName(fileName)}));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size))
        throw Failure(L"Stream read error");
    if (size.QuadPart > 0x7FFFFFFF)
        throw Failure(L"Out of memory");
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size_t(size.QuadPart));
    } catch (const std::bad_alloc&) {
        throw Failure(L"Out of memory");
    }
    // In chunks small enough that a read nobody wants any more (ahead, from
    // a slow network folder) stops soon.
    size_t done = 0;
    while (done < bytes.size()) {
        ThrowIfCancelled();
        DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD read = 0;
        if (!ReadFile(file.Get(), bytes.data() + done, chunk, &read, nullptr) || read == 0)
            throw Failure(L"Stream read error");
        done += read;
    }
    return bytes;
}

namespace {

// A BITMAPINFO with room for a full 256-colour table (or three masks).
struct DibInfo {
    BITMAPINFOHEADER header{};
    RGBQUAD colors[256]{};
    const BITMAPINFO* Get() const { return reinterpret_cast<const BITMAPINFO*>(this); }
};

// Describes the raster's own rows: top-down (negative height), palette for
// the indexed formats, bit masks for 15 and 16 bits.
void DescribeRaster(const Raster& raster, DibInfo& info)
{
    BITMAPINFOHEADER& h = info.header;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = raster.Width();
    h.biHeight = -raster.Height();
    h.biPlanes = 1;
    h.biBitCount = WORD(raster.Bits());
    h.biCompression = BI_RGB;
    auto masks = [&](DWORD r, DWORD g, DWORD b) {
        h.biCompression = BI_BITFIELDS;
        DWORD m[3] = {r, g, b};
        std::memcpy(info.colors, m, sizeof m);
    };
    switch (raster.Format()) {
    case PixelFormat::Bit15: masks(0x7C00, 0x03E0, 0x001F); break;
    case PixelFormat::Bit16: masks(0xF800, 0x07E0, 0x001F); break;
    case PixelFormat::Bit1:
    case PixelFormat::Bit4:
    case PixelFormat::Bit8: {
        const auto& palette = raster.Palette();
        size_t count = std::min<size_t>(palette.size(), size_t(1) << raster.Bits());
        for (size_t i = 0; i < count; ++i)
            info.colors[i] = {palette[i].blue, palette[i].green, palette[i].red, 0};
        h.biClrUsed = DWORD(count ? count : size_t(1) << raster.Bits());
        break;
    }
    default: break;
    }
}

// A top-down DIB section of the given bit depth (24 or 32).
BitmapHandle CreateSection(int width, int height, int bits, void*& pixels)
{
    if (!DecodeLimits::Allows(uint64_t(std::max(width, 0)), uint64_t(std::max(height, 0))))
        throw Failure(L"Out of memory");
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = WORD(bits);
    info.bmiHeader.biCompression = BI_RGB;
    pixels = nullptr;
    BitmapHandle bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!bitmap || !pixels)
        throw Failure(L"Out of memory");
    return bitmap;
}

// A 32-bit DIB section with the pixels premultiplied by their alpha, as
// AlphaBlend wants them.
BitmapHandle PremultipliedSection(const Raster& straight)
{
    Raster source = straight.ConvertedTo(PixelFormat::Bit32);
    const int width = source.Width(), height = source.Height();
    void* bits = nullptr;
    BitmapHandle section = CreateSection(width, height, 32, bits);
    const bool premultiplied = source.Alpha() == AlphaMode::Premultiplied;
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = source.Row(y);
        uint8_t* d = static_cast<uint8_t*>(bits) + size_t(y) * source.Stride();
        for (int x = 0; x < width; ++x, s += 4, d += 4) {
            const unsigned a = source.Alpha() == AlphaMode::None ? 255u : s[3];
            for (int c = 0; c < 3; ++c)
                d[c] = premultiplied ? s[c] : uint8_t((s[c] * a + 127) / 255);
            d[3] = uint8_t(a);
        }
    }
    GdiFlush();
    return section;
}

// An icon handle from straight-alpha 32-bit pixels: colour bitmap with alpha
// plus an AND mask for the fully transparent pixels.
IconHandle CreateIconFromPixels(const Raster& decoded)
{
    Raster px = decoded.ConvertedTo(PixelFormat::Bit32);
    const int width = px.Width(), height = px.Height();
    if (width <= 0 || height <= 0)
        throw Failure(L"Icon image is not valid");
    const bool hasAlpha = px.Alpha() != AlphaMode::None;
    void* bits = nullptr;
    BitmapHandle colour = CreateSection(width, height, 32, bits);
    const size_t maskStride = ((size_t(width) + 15) / 16) * 2;
    std::vector<uint8_t> mask(maskStride * size_t(height), 0);
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = px.Row(y);
        uint8_t* d = static_cast<uint8_t*>(bits) + size_t(y) * px.Stride();
        for (int x = 0; x < width; ++x) {
            const uint8_t a = hasAlpha ? s[4 * x + 3] : 255;
            if (a == 0) {
                std::memset(d + 4 * x, 0, 4);   // black under a set mask bit leaves the background
                mask[size_t(y) * maskStride + size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
            } else {
                std::memcpy(d + 4 * x, s + 4 * x, 3);
                d[4 * x + 3] = a;
            }
        }
    }
    GdiFlush();
    BitmapHandle maskBitmap(CreateBitmap(width, height, 1, 1, mask.data()));
    if (!maskBitmap)
        throw Failure(L"Out of memory");
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = maskBitmap.Get();
    info.hbmColor = colour.Get();
    IconHandle icon(CreateIconIndirect(&info));
    if (!icon)
        throw Failure(L"Icon image is not valid");
    return icon;
}

// Blends a premultiplied 32-bit section stretched into the rectangle; a
// surface that cannot blend (mirrored rectangle, some printers) gets the
// straight-alpha pixels composed over white instead.
void BlendSection(HDC dc, const RECT& rect, HBITMAP premultiplied, const Raster& straight)
{
    BOOL blended = FALSE;
    {
        MemoryDcHandle source(CreateCompatibleDC(nullptr));
        if (source) {
            SelectedObject selected(source.Get(), premultiplied);
            const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
            BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            blended = AlphaBlend(dc, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                 source.Get(), 0, 0, straight.Width(), straight.Height(), blend);
            if (oldMode)
                SetStretchBltMode(dc, oldMode);
        }
    }
    if (!blended)
        DrawRaster(dc, rect, straight.ComposedOver(255, 255, 255));
}

[[noreturn]] void InvalidMetafile()
{
    throw Failure(L"Metafile is not valid");
}

} // namespace

int ScreenBitsPerPixel()
{
    return Screen().bits;
}

void DrawRaster(HDC dc, const RECT& rect, const Raster& raster)
{
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (raster.Empty() || width == 0 || height == 0)
        return;
    DibInfo info;
    DescribeRaster(raster, info);
    const int surfaceBits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    const bool halftone = surfaceBits <= 8 && surfaceBits < raster.Bits();
    const int oldMode = SetStretchBltMode(dc, halftone ? HALFTONE : COLORONCOLOR);
    POINT oldOrigin{};
    if (halftone)
        SetBrushOrgEx(dc, 0, 0, &oldOrigin);
    StretchDIBits(dc, rect.left, rect.top, width, height, 0, 0, raster.Width(), raster.Height(), raster.Bits0(),
                  info.Get(), DIB_RGB_COLORS, SRCCOPY);
    if (halftone)
        SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
    if (oldMode)
        SetStretchBltMode(dc, oldMode);
}

Raster DrawOnWhite(const TGraphic& graphic, int width, int height)
{
    if (width <= 0 || height <= 0)
        return {};
    void* bits = nullptr;
    BitmapHandle section = CreateSection(width, height, 24, bits);
    const size_t stride = Raster::StrideFor(width, PixelFormat::Bit24);
    std::memset(bits, 0xFF, stride * size_t(height));
    {
        MemoryDcHandle dc(CreateCompatibleDC(nullptr));
        if (!dc)
            throw Failure(L"Out of system resources");
        SelectedObject selected(dc.Get(), section.Get());
        graphic.Draw(dc.Get(), RECT{0, 0, width, height});
        GdiFlush();
    }
    Raster raster(width, height, PixelFormat::Bit24, Raster::Unfilled{});
    for (int y = 0; y < height; ++y)
        std::memcpy(raster.MutableRow(y), static_cast<const uint8_t*>(bits) + size_t(y) * stride, stride);
    return raster;
}

std::wstring FullPathName(const std::wstring& fileName)
{
    DWORD needed = GetFullPathNameW(fileName.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return fileName;
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(fileName.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return fileName;
    full.resize(length);
    return full;
}

// ---------------------------------------------------------------- TGraphic

void TGraphic::CannotAssign(const TGraphic& source) const
{
    throw ConversionError(FormatMessageText(L"Cannot assign a %s to a %s", {source.KindName(), KindName()}));
}

void TGraphic::SaveToFile(const std::wstring& fileName) const
{
    // Everything that can fail before writing happens first.
    WriteFileReplacing(fileName, SaveToBytes(LowerAscii(ExtractExtension(fileName))));
}

// ---------------------------------------------------------- TBitmapGraphic

void TBitmapGraphic::Draw(HDC dc, const RECT& rect) const
{
    DrawRaster(dc, rect, GetRaster());
}

const Raster& TBitmapGraphic::GetRaster() const
{
    static const Raster none;
    return source_ ? source_->Pixels() : none;
}

void TBitmapGraphic::LoadFromBytes(std::vector<uint8_t> bytes)
{
    source_ = std::make_shared<const RasterFileSource>(DecodeRasterFile(std::move(bytes)));
}

std::vector<uint8_t> TBitmapGraphic::SaveToBytes(const std::wstring&) const
{
    return EncodeBmp(GetRaster());
}

void TBitmapGraphic::Assign(const TGraphic& source)
{
    switch (source.Kind()) {
    case GraphicKind::Raster:
    case GraphicKind::Jpeg:
        SetRaster(source.Pixels());
        break;
    case GraphicKind::Png: {
        Raster pixels = source.Pixels();
        SetRaster(pixels.Alpha() == AlphaMode::None ? pixels : pixels.ComposedOver(255, 255, 255));
        break;
    }
    default:
        CannotAssign(source);
    }
    SetMetadata(source.Metadata());
}

// -------------------------------------------------------------- TJpegImage

bool TJpegImage::Empty() const
{
    return !file_ && (!assigned_ || assigned_->Pixels().Empty());
}

int TJpegImage::Width() const
{
    return file_ ? file_->Width() : assigned_ ? assigned_->Width() : 0;
}

int TJpegImage::Height() const
{
    return file_ ? file_->Height() : assigned_ ? assigned_->Height() : 0;
}

void TJpegImage::Draw(HDC dc, const RECT& rect) const
{
    if (!Empty())
        DrawRaster(dc, rect, Pixels());
}

void TJpegImage::LoadFromBytes(std::vector<uint8_t> bytes)
{
    auto file = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    auto source = std::make_shared<const JpegSource>(file);
    JpegMetadata metadata = ReadJpegMetadata(*file);
    file_ = std::move(source);
    assigned_.reset();
    SetMetadata(metadata.Empty() ? nullptr : std::make_shared<const JpegMetadata>(std::move(metadata)));
}

std::vector<uint8_t> TJpegImage::SaveToBytes(const std::wstring&) const
{
    if (file_)
        return file_->File();
    return EncodeJpeg(assigned_ ? assigned_->Pixels() : Raster(), Metadata() ? *Metadata() : JpegMetadata());
}

void TJpegImage::Assign(const TGraphic& source)
{
    if (source.Kind() == GraphicKind::Jpeg) {
        *this = static_cast<const TJpegImage&>(source);
        return;
    }
    if (source.Kind() != GraphicKind::Raster)
        CannotAssign(source);
    file_.reset();
    assigned_ = std::make_shared<const RasterSource>(source.Pixels());
    SetMetadata(source.Metadata());
}

Raster TJpegImage::Pixels() const
{
    if (file_)
        return file_->Full();
    return assigned_ ? assigned_->Pixels() : Raster();
}

std::shared_ptr<const DisplaySource> TJpegImage::Display() const
{
    if (file_)
        return file_;
    return assigned_;
}

// --------------------------------------------------------------- TPngImage

void TPngImage::Draw(HDC dc, const RECT& rect) const
{
    if (Empty())
        return;
    const Raster pixels = Pixels();
    if (!source_->Transparent()) {
        DrawRaster(dc, rect, pixels);
        return;
    }
    const BitmapHandle blend = PremultipliedSection(pixels);
    BlendSection(dc, rect, blend.Get(), pixels);
}

void TPngImage::LoadFromBytes(std::vector<uint8_t> bytes)
{
    source_ = std::make_shared<const PngSource>(std::make_shared<const PngImage>(DecodePng(bytes)));
}

std::vector<uint8_t> TPngImage::SaveToBytes(const std::wstring&) const
{
    return EncodePng(source_ ? source_->Image() : PngImage());
}

void TPngImage::Assign(const TGraphic& source)
{
    if (source.Kind() == GraphicKind::Png) {
        *this = static_cast<const TPngImage&>(source);
        return;
    }
    if (source.Kind() != GraphicKind::Raster)
        CannotAssign(source);
    source_ = std::make_shared<const PngSource>(std::make_shared<const PngImage>(PngFromRaster(source.Pixels())));
    SetMetadata(source.Metadata());
}

Raster TPngImage::Pixels() const
{
    return source_ ? PngToRaster(source_->Image()) : Raster();
}

// ------------------------------------------------------------ TIconGraphic

struct TIconGraphic::Image {
    std::vector<uint8_t> bytes;
    int width = 0, height = 0;
    IconHandle icon;
    // For surfaces that record rather than show (metafiles): the entry's
    // pixels and their premultiplied copy.
    Raster pixels;
    BitmapHandle premultiplied;
};

int TIconGraphic::Width() const
{
    return image_ ? image_->width : 0;
}

int TIconGraphic::Height() const
{
    return image_ ? image_->height : 0;
}

void TIconGraphic::Draw(HDC dc, const RECT& rect) const
{
    if (!image_)
        return;
    // Surfaces that record and printers get the pixels: some printer drivers
    // never finish icon drawing's mask operations.
    const DWORD type = GetObjectType(dc);
    const bool pixelsOnly =
        type == OBJ_ENHMETADC || type == OBJ_METADC || GetDeviceCaps(dc, TECHNOLOGY) == DT_RASPRINTER;
    if (!pixelsOnly &&
        DrawIconEx(dc, rect.left, rect.top, image_->icon.Get(), image_->width, image_->height, 0, nullptr, DI_NORMAL))
        return;
    BlendSection(dc, RECT{rect.left, rect.top, rect.left + image_->width, rect.top + image_->height},
                 image_->premultiplied.Get(), image_->pixels);
}

void TIconGraphic::LoadFromBytes(std::vector<uint8_t> bytes)
{
    const IconDirectory directory = ParseIcon(bytes);
    if (directory.entries.empty())
        throw Failure(L"Icon image is not valid");
    const IconEntry& entry = directory.entries.at(
        PickIconEntry(directory, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), ScreenBitsPerPixel()));
    auto image = std::make_shared<Image>();
    image->pixels = DecodeIconEntry(bytes, entry);
    // The size of the image itself: a directory entry may say otherwise.
    image->width = image->pixels.Width();
    image->height = image->pixels.Height();
    image->icon = CreateIconFromPixels(image->pixels);
    image->premultiplied = PremultipliedSection(image->pixels);
    image->bytes = std::move(bytes);
    image_ = std::move(image);
}

std::vector<uint8_t> TIconGraphic::SaveToBytes(const std::wstring&) const
{
    if (!image_)
        throw Failure(L"Icon image is not valid");
    return image_->bytes;
}

void TIconGraphic::Assign(const TGraphic& source)
{
    if (source.Kind() != GraphicKind::Icon)
        CannotAssign(source);
    image_ = static_cast<const TIconGraphic&>(source).image_;
}

// -------------------------------------------------------- TMetafileGraphic

struct TMetafileGraphic::Meta {
    EnhMetaFileHandle handle;
    int width = 0, height = 0;                  // natural size in screen pixels
    std::optional<PlaceableHeader> placeable;   // when loaded from an old-style file
};

namespace {

// A metafile drawing surface; closing it unfinished throws the recording away.
struct RecordingDcTraits {
    static HDC Invalid() { return nullptr; }
    static void Close(HDC dc) { DeleteEnhMetaFile(CloseEnhMetaFile(dc)); }
};
using RecordingDcHandle = UniqueHandle<HDC, RecordingDcTraits>;

// The natural size of an enhanced metafile: its frame (0.01 mm) in screen pixels.
void SizeFromFrame(HENHMETAFILE handle, int& width, int& height)
{
    ENHMETAHEADER header{};
    if (!GetEnhMetaFileHeader(handle, sizeof header, &header))
        InvalidMetafile();
    const ScreenInfo s = Screen();
    width = RoundedScale(double(header.rclFrame.right) - header.rclFrame.left, s.horzRes, s.horzSize * 100.0);
    height = RoundedScale(double(header.rclFrame.bottom) - header.rclFrame.top, s.vertRes, s.vertSize * 100.0);
}

} // namespace

int TMetafileGraphic::Width() const
{
    return meta_ ? meta_->width : 0;
}

int TMetafileGraphic::Height() const
{
    return meta_ ? meta_->height : 0;
}

HENHMETAFILE TMetafileGraphic::Handle() const
{
    return meta_ ? meta_->handle.Get() : nullptr;
}

void TMetafileGraphic::Draw(HDC dc, const RECT& rect) const
{
    if (meta_)
        PlayEnhMetaFile(dc, meta_->handle.Get(), &rect);
}

void TMetafileGraphic::LoadFromBytes(std::vector<uint8_t> bytes)
{
    auto meta = std::make_shared<Meta>();
    switch (DetectMetafile(bytes)) {
    case MetafileType::Placeable: {
        const PlaceableHeader header = CheckPlaceableMetafile(bytes);
        const double boxWidth = std::abs(int(header.right) - int(header.left));
        const double boxHeight = std::abs(int(header.bottom) - int(header.top));
        METAFILEPICT picture{};
        picture.mm = MM_ANISOTROPIC;
        picture.xExt = RoundedScale(boxWidth, 2540, header.inch);
        picture.yExt = RoundedScale(boxHeight, 2540, header.inch);
        WindowDc screen;
        meta->handle.Reset(SetWinMetaFileBits(UINT(bytes.size() - kPlaceableHeaderSize),
                                              bytes.data() + kPlaceableHeaderSize, screen.Get(), &picture));
        if (!meta->handle)
            InvalidMetafile();
        const ScreenInfo s = Screen();
        meta->width = RoundedScale(boxWidth, s.logX, header.inch);
        meta->height = RoundedScale(boxHeight, s.logY, header.inch);
        meta->placeable = header;
        break;
    }
    case MetafileType::Enhanced:
        CheckEnhancedMetafile(bytes);
        meta->handle.Reset(SetEnhMetaFileBits(UINT(bytes.size()), bytes.data()));
        if (!meta->handle)
            InvalidMetafile();
        SizeFromFrame(meta->handle.Get(), meta->width, meta->height);
        break;
    case MetafileType::None:
        InvalidMetafile();
    }
    meta_ = std::move(meta);
}

std::vector<uint8_t> TMetafileGraphic::SaveToBytes(const std::wstring& extension) const
{
    if (!meta_)
        InvalidMetafile();
    HENHMETAFILE handle = meta_->handle.Get();
    if (extension == L".wmf") {
        WindowDc screen;
        const UINT size = GetWinMetaFileBits(handle, 0, nullptr, MM_ANISOTROPIC, screen.Get());
        if (size == 0)
            InvalidMetafile();
        PlaceableHeader box;
        if (meta_->placeable) {
            box = *meta_->placeable;
        } else {
            box.right = int16_t(std::min(meta_->width, 0x7FFF));
            box.bottom = int16_t(std::min(meta_->height, 0x7FFF));
            box.inch = 96;
        }
        std::vector<uint8_t> out = MakePlaceableHeader(box);
        const size_t at = out.size();
        out.resize(at + size);
        if (GetWinMetaFileBits(handle, size, out.data() + at, MM_ANISOTROPIC, screen.Get()) != size)
            InvalidMetafile();
        return out;
    }
    const UINT size = GetEnhMetaFileBits(handle, 0, nullptr);
    if (size == 0)
        InvalidMetafile();
    std::vector<uint8_t> out(size);
    if (GetEnhMetaFileBits(handle, size, out.data()) != size)
        InvalidMetafile();
    return out;
}

void TMetafileGraphic::Assign(const TGraphic& source)
{
    if (source.Kind() != GraphicKind::Metafile)
        CannotAssign(source);
    meta_ = static_cast<const TMetafileGraphic&>(source).meta_;
}

TMetafileGraphic TMetafileGraphic::Record(const TGraphic& source)
{
    const ScreenInfo s = Screen();
    WindowDc screen;
    // The frame is passed explicitly: left out, some systems take the bounds
    // of what was drawn instead of the display area.
    const RECT frame{0, 0, s.horzSize * 100, s.vertSize * 100};
    RecordingDcHandle dc(CreateEnhMetaFileW(screen.Get(), nullptr, &frame, nullptr));
    if (!dc)
        throw Failure(L"Out of system resources");
    source.Draw(dc.Get(), RECT{0, 0, source.Width(), source.Height()});
    auto meta = std::make_shared<Meta>();
    meta->handle.Reset(CloseEnhMetaFile(dc.Release()));
    if (!meta->handle)
        throw Failure(L"Out of system resources");
    SizeFromFrame(meta->handle.Get(), meta->width, meta->height);
    TMetafileGraphic result;
    result.meta_ = std::move(meta);
    return result;
}

// ---------------------------------------------------------------- TPicture

void TPicture::SetGraphic(const TGraphic* graphic)
{
    graphic_ = graphic ? graphic->Clone() : nullptr;
}

std::unique_ptr<TGraphic> NewGraphic(GraphicKind kind)
{
    switch (kind) {
    case GraphicKind::Raster: return std::make_unique<TBitmapGraphic>();
    case GraphicKind::Jpeg: return std::make_unique<TJpegImage>();
    case GraphicKind::Png: return std::make_unique<TPngImage>();
    case GraphicKind::Icon: return std::make_unique<TIconGraphic>();
    case GraphicKind::Metafile: return std::make_unique<TMetafileGraphic>();
    }
    return std::make_unique<TBitmapGraphic>();
}

PngFormatRegistration::PngFormatRegistration()
{
    RegisterFileFormat(L"PNG", L"Portable Network Graphics", GraphicKind::Png);
}

PngFormatRegistration::~PngFormatRegistration()
{
    UnregisterFileFormat(GraphicKind::Png);
}
