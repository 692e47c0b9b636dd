#include "imaging/pictures/GdiDrawing.h"

#include <algorithm>
#include <cstring>

#include "base/Failure.h"
#include "imaging/pictures/PictureUtilUnit.h"

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

} // namespace

ScreenInfo ScreenMetrics()
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

int ScreenBitsPerPixel()
{
    return ScreenMetrics().bits;
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
