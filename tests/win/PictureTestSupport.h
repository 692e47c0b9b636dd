// Test material for the picture tests: rasters, PNGs, icons and metafiles
// made in memory, a surface to draw on, colour checks, and a fixture with a
// temporary folder to load from and save to.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../host/byte_writer.h"
#include "base/Failure.h"
#include "imaging/codecs/BmpCodec.h"
#include "imaging/codecs/IconCodec.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/MetafileFormat.h"
#include "imaging/pictures/BitmapGraphic.h"
#include "imaging/pictures/FileBytes.h"
#include "imaging/pictures/GdiDrawing.h"
#include "imaging/pictures/IconGraphic.h"
#include "imaging/pictures/JpegGraphic.h"
#include "imaging/pictures/MetafileGraphic.h"
#include "imaging/pictures/PictureFiles.h"
#include "imaging/pictures/PictureTransforms.h"
#include "imaging/pictures/PictureUtilUnit.h"
#include "imaging/pictures/PngGraphic.h"

namespace picture_test {

// ------------------------------------------------------------ test material

using Bgra = uint32_t;   // 0xAARRGGBB
inline constexpr Bgra kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

// A 24-bit raster: left half red, right half blue.
inline Raster TwoColourRaster(int width, int height)
{
    Raster r(width, height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = r.MutableRow(y);
        for (int x = 0; x < width; ++x) {
            const bool left = x < width / 2;
            row[3 * x] = left ? 0 : 255;
            row[3 * x + 1] = 0;
            row[3 * x + 2] = left ? 255 : 0;
        }
    }
    return r;
}

// An RGBA PNG: left half fully transparent, right half opaque green, with a
// half-transparent green column in the middle when asked.
inline std::vector<uint8_t> TransparentPng(int width, int height, bool halfColumn = false)
{
    PngImage png;
    png.width = uint32_t(width);
    png.height = uint32_t(height);
    png.bitDepth = 8;
    png.colorType = 6;
    png.rowBytes = size_t(width) * 4;
    png.rows.assign(png.rowBytes * size_t(height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = png.rows.data() + size_t(y) * png.rowBytes + size_t(x) * 4;
            if (x >= width / 2) {
                p[1] = 255;
                p[3] = 255;
            } else if (halfColumn && x == width / 2 - 1) {
                p[1] = 255;
                p[3] = 128;
            }
        }
    return EncodePng(png);
}

// An icon entry as a DIB: 32 bits with alpha, or 24 bits relying on the AND
// mask. The top half is red, the bottom half transparent.
inline std::vector<uint8_t> IconDib(int size, int bits)
{
    ByteWriter b;
    b.U32(40).I32(size).I32(2 * size).U16(1).U16(uint32_t(bits)).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
    auto transparent = [&](int, int y) { return y >= size / 2; };
    b.Append(PackRows(size, size, bits, false, [&](int x, int y) -> uint32_t {
        if (transparent(x, y))
            return 0;
        return bits == 32 ? 0xFFFF0000u : 0xFF0000u;
    }));
    b.Append(PackRows(size, size, 1, false, [&](int x, int y) { return transparent(x, y) ? 1u : 0u; }));
    return b.bytes;
}

inline std::vector<uint8_t> IconFile(const std::vector<std::pair<int, int>>& entries)   // (size, bits)
{
    std::vector<std::vector<uint8_t>> images;
    for (auto [size, bits] : entries)
        images.push_back(IconDib(size, bits));
    ByteWriter w;
    w.U16(0).U16(1).U16(uint32_t(images.size()));
    size_t offset = 6 + 16 * images.size();
    for (size_t i = 0; i < images.size(); ++i) {
        const int size = entries[i].first;
        w.U8(uint32_t(size & 0xFF)).U8(uint32_t(size & 0xFF)).U8(0).U8(0).U16(1).U16(uint32_t(entries[i].second));
        w.U32(uint32_t(images[i].size())).U32(uint32_t(offset));
        offset += images[i].size();
    }
    for (const auto& im : images)
        w.Append(im);
    return w.bytes;
}

struct ScreenFacts {
    int horzRes, vertRes, horzSize, vertSize, logX, logY;
};

inline ScreenFacts Facts()
{
    HDC dc = GetDC(nullptr);
    ScreenFacts f{GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, HORZSIZE),
                  GetDeviceCaps(dc, VERTSIZE), GetDeviceCaps(dc, LOGPIXELSX), GetDeviceCaps(dc, LOGPIXELSY)};
    ReleaseDC(nullptr, dc);
    return f;
}

// An enhanced metafile recorded with GDI: a frame of about width × height
// screen pixels, its left half filled red, the rest left undrawn.
inline std::vector<uint8_t> RecordedEmf(int width, int height)
{
    const ScreenFacts s = Facts();
    RECT frame{0, 0, MulDiv(width, s.horzSize * 100, s.horzRes), MulDiv(height, s.vertSize * 100, s.vertRes)};
    HDC screen = GetDC(nullptr);
    HDC dc = CreateEnhMetaFileW(screen, nullptr, &frame, nullptr);
    ReleaseDC(nullptr, screen);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT half{0, 0, width / 2, height};
    FillRect(dc, &half, red);
    DeleteObject(red);
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    std::vector<uint8_t> bytes(GetEnhMetaFileBits(emf, 0, nullptr));
    GetEnhMetaFileBits(emf, UINT(bytes.size()), bytes.data());
    DeleteEnhMetaFile(emf);
    return bytes;
}

// A placeable Windows metafile written record by record: a box of
// width × height units at 96 per inch, the left half filled with a red brush.
inline std::vector<uint8_t> HandMadeWmf(int width, int height)
{
    ByteWriter body;
    uint32_t maxRecord = 0;
    auto record = [&](uint16_t function, std::vector<uint16_t> params) {
        body.U32(3 + uint32_t(params.size())).U16(function);
        for (uint16_t p : params)
            body.U16(p);
        maxRecord = std::max<uint32_t>(maxRecord, 3 + uint32_t(params.size()));
    };
    record(0x020B, {0, 0});                                        // SetWindowOrg
    record(0x020C, {uint16_t(height), uint16_t(width)});           // SetWindowExt (y, x)
    record(0x02FC, {0, 0x00FF, 0x0000, 0});                        // CreateBrushIndirect: solid, red
    record(0x012D, {0});                                           // SelectObject
    record(0x02FA, {5, 0, 0, 0, 0});                               // CreatePenIndirect: no outline
    record(0x012D, {1});                                           // SelectObject
    record(0x041B, {uint16_t(height + 1), uint16_t(width / 2 + 1), 0, 0});   // Rectangle b, r, t, l
    record(0x0000, {});                                            // EOF
    ByteWriter w;
    const std::vector<uint8_t> placeable = MakePlaceableHeader({0, 0, int16_t(width), int16_t(height), 96});
    w.Append(placeable);
    w.U16(1).U16(9).U16(0x0300).U32(9 + uint32_t(body.Size() / 2)).U16(2).U32(maxRecord).U16(0);
    w.Append(body.bytes);
    return w.bytes;
}

// A 32-bit DIB section with a memory DC, to draw onto and read back.
class Surface {
public:
    Surface(int width, int height, Bgra fill) : width_(width), height_(height)
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap_.Reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        bits_ = static_cast<uint32_t*>(bits);
        dc_.Reset(CreateCompatibleDC(nullptr));
        old_ = SelectObject(dc_.Get(), bitmap_.Get());
        for (int i = 0; i < width * height; ++i)
            bits_[i] = fill & 0xFFFFFF;
    }
    ~Surface() { SelectObject(dc_.Get(), old_); }
    HDC Dc() const { return dc_.Get(); }
    Bgra At(int x, int y) const
    {
        GdiFlush();
        return bits_[y * width_ + x] | 0xFF000000;
    }

private:
    int width_, height_;
    BitmapHandle bitmap_;
    MemoryDcHandle dc_;
    HGDIOBJ old_ = nullptr;
    uint32_t* bits_ = nullptr;
};

inline void PutU16Row(Raster& r, const std::vector<uint16_t>& values)
{
    uint8_t* row = r.MutableRow(0);
    for (size_t i = 0; i < values.size(); ++i) {
        row[2 * i] = uint8_t(values[i]);
        row[2 * i + 1] = uint8_t(values[i] >> 8);
    }
}

inline Bgra RasterAt(const Raster& r, int x, int y)
{
    PaletteEntry p = r.PixelAt(x, y);
    return 0xFF000000u | (uint32_t(p.red) << 16) | (uint32_t(p.green) << 8) | p.blue;
}

// Colour comparison with room for lossy compression.
inline ::testing::AssertionResult Near(Bgra actual, Bgra expected, int tolerance = 0)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int a = int((actual >> shift) & 0xFF), e = int((expected >> shift) & 0xFF);
        if (std::abs(a - e) > tolerance) {
            char text[64];
            snprintf(text, sizeof text, "%06X instead of %06X", actual & 0xFFFFFFu, expected & 0xFFFFFFu);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

inline std::wstring MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Failure& f) {
        return f.Message();
    }
    return L"(no failure)";
}

// ------------------------------------------------------------------ fixture

class Picture : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"pixavo-picture-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        if (!FindFileFormat(L"png"))
            png_ = std::make_unique<PngFormatRegistration>();
    }
    void TearDown() override
    {
        for (const std::wstring& name : Names()) {
            const std::wstring path = Path(name);
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(path.c_str());
        }
        RemoveDirectoryW(folder_.c_str());
        png_.reset();
    }

    std::wstring Path(const std::wstring& name) const { return folder_ + L"\\" + name; }

    std::wstring Write(const std::wstring& name, const std::vector<uint8_t>& bytes) const
    {
        const std::wstring path = Path(name);
        HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(f);
        return path;
    }

    std::vector<uint8_t> Read(const std::wstring& name) const
    {
        HANDLE f = CreateFileW(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE)
            return {};
        std::vector<uint8_t> bytes(GetFileSize(f, nullptr));
        DWORD read = 0;
        ReadFile(f, bytes.data(), DWORD(bytes.size()), &read, nullptr);
        CloseHandle(f);
        return bytes;
    }

    // Every name in the folder (temporary files included).
    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(Path(L"*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0)
                names.push_back(data.cFileName);
        } while (FindNextFileW(find, &data));
        FindClose(find);
        return names;
    }

    TPicture Load(const std::wstring& name, const std::vector<uint8_t>& bytes) const
    {
        TPicture picture;
        LoadPictureFromFile(picture, Write(name, bytes));
        return picture;
    }

    static Raster AsRaster(const TPicture& picture)
    {
        TPicture copy(picture);
        ConvertPictureToBitmap(copy);
        EXPECT_EQ(copy.Graphic()->Kind(), GraphicKind::Raster);
        return copy.Graphic()->Pixels();
    }

    std::wstring folder_;
    std::unique_ptr<PngFormatRegistration> png_;
};

} // namespace picture_test
