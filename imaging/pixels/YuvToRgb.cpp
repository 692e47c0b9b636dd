#include "imaging/pixels/YuvToRgb.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <thread>
#include <vector>

#include "base/Cancellation.h"

namespace {

constexpr int kShift = 20;   // fraction bits of the fixed-point coefficients

// Colour = y + the chroma terms, each channel: y is the scaled luma,
// cb and cr the chroma samples upsampled at 16 times their scale.
struct Coefficients {
    int32_t yMul = 0, yOffset = 0, cOffset16 = 0;
    int32_t rCb = 0, rCr = 0, gCb = 0, gCr = 0, bCb = 0, bCr = 0;
    bool identity = false;   // G, B, R stored as Y, U, V
};

// Luma weights of red and blue for a matrix (H.273's matrix coefficients).
void Weights(const YuvColour& colour, double& kr, double& kb)
{
    int matrix = colour.matrix;
    if (matrix == 12 || matrix == 13)   // derived from the primaries: the usual ones
        matrix = colour.primaries == 1 ? 1 : colour.primaries == 9 ? 9 : colour.primaries == 12 ? 100 : 5;
    switch (matrix) {
    case 1: kr = 0.2126, kb = 0.0722; break;
    case 4: kr = 0.30, kb = 0.11; break;
    case 7: kr = 0.212, kb = 0.087; break;
    case 9:
    case 10: kr = 0.2627, kb = 0.0593; break;
    case 100: kr = 0.2289746, kb = 0.0792869; break;   // Display P3
    default: kr = 0.299, kb = 0.114; break;
    }
}

Coefficients MakeCoefficients(const YuvColour& colour, int bitDepth)
{
    const double one = double(1 << kShift);
    const double max = double((1 << bitDepth) - 1);
    const double unit = double(1 << (bitDepth - 8));
    const double yScale = colour.fullRange ? 255.0 / max : 255.0 / (219.0 * unit);
    // Chroma samples arrive 16 times larger.
    const double cScale = (colour.fullRange ? 255.0 / max : 255.0 / (224.0 * unit)) / 16.0;
    auto fixed = [&](double v) { return int32_t(std::lround(v * one)); };

    Coefficients c;
    c.yMul = fixed(yScale);
    c.yOffset = colour.fullRange ? 0 : int32_t(16 * (1 << (bitDepth - 8)));
    c.cOffset16 = (1 << (bitDepth - 1)) * 16;
    if (colour.matrix == 0) {
        c.identity = true;
        return c;
    }
    if (colour.matrix == 8) {   // YCgCo: Cg in the blue-difference place, Co in the red
        const int32_t m = fixed(cScale);
        c.rCb = -m, c.rCr = m;
        c.gCb = m, c.gCr = 0;
        c.bCb = -m, c.bCr = -m;
        return c;
    }
    double kr = 0, kb = 0;
    Weights(colour, kr, kb);
    const double kg = 1.0 - kr - kb;
    c.rCr = fixed(2.0 * (1.0 - kr) * cScale);
    c.bCb = fixed(2.0 * (1.0 - kb) * cScale);
    c.gCr = -fixed(2.0 * kr * (1.0 - kr) / kg * cScale);
    c.gCb = -fixed(2.0 * kb * (1.0 - kb) / kg * cScale);
    return c;
}

template <class T>
const T* PlaneRow(const void* plane, ptrdiff_t stride, int row)
{
    return reinterpret_cast<const T*>(static_cast<const uint8_t*>(plane) + stride * row);
}

// One row of a chroma plane at full width and 16 times its scale: centred
// samples interpolated linearly (weights 3/4 and 1/4 along each halved axis).
template <class T>
void ChromaRow(const YuvPlanes& p, const void* plane, int y, int32_t* out, std::vector<int32_t>& column)
{
    const bool halfWidth = p.layout != ChromaLayout::Yuv444;
    const int cw = halfWidth ? (p.width + 1) / 2 : p.width;
    int32_t* v = column.data();
    if (p.layout == ChromaLayout::Yuv420) {
        const int ch = (p.height + 1) / 2;
        const int j = y / 2;
        const int k = std::clamp(y % 2 ? j + 1 : j - 1, 0, ch - 1);
        const T* near = PlaneRow<T>(plane, p.uvStride, j);
        const T* far = PlaneRow<T>(plane, p.uvStride, k);
        for (int i = 0; i < cw; ++i)
            v[i] = 3 * int32_t(near[i]) + int32_t(far[i]);
    } else {
        const T* row = PlaneRow<T>(plane, p.uvStride, y);
        for (int i = 0; i < cw; ++i)
            v[i] = 4 * int32_t(row[i]);
    }
    if (!halfWidth) {
        for (int x = 0; x < p.width; ++x)
            out[x] = 4 * v[x];
        return;
    }
    for (int i = 0; i < cw; ++i) {
        const int32_t here = 3 * v[i];
        out[2 * i] = here + v[std::max(i - 1, 0)];
        if (2 * i + 1 < p.width)
            out[2 * i + 1] = here + v[std::min(i + 1, cw - 1)];
    }
}

inline uint8_t Clamp(int32_t v) { return uint8_t(std::clamp(v >> kShift, 0, 255)); }

// Rows first to last - 1 of the area into pixels, rows stride bytes apart.
template <class T, int Step>
void ConvertRows(const YuvPlanes& p, const Coefficients& c, const YuvArea& a, uint8_t* pixels, size_t stride, int first,
                 int last)
{
    std::vector<int32_t> cb(size_t(p.width)), cr(size_t(p.width)), column(size_t(p.width));
    const int32_t half = 1 << (kShift - 1);
    const int x0 = a.x, x1 = a.x + a.width;
    for (int y = first; y < last; ++y) {
        const T* luma = PlaneRow<T>(p.y, p.yStride, y);
        // Pixel x of the planes' row lands at at(x), inside the raster.
        uint8_t* row = pixels + size_t(a.outY + y - a.y) * stride + size_t(Step) * size_t(a.outX);
        const auto at = [&](int x) { return row + size_t(Step) * size_t(x - x0); };
        if (p.layout == ChromaLayout::Monochrome) {
            for (int x = x0; x < x1; ++x) {
                const uint8_t v = Clamp(c.yMul * (int32_t(luma[x]) - c.yOffset) + half);
                uint8_t* d = at(x);
                d[0] = d[1] = d[2] = v;
            }
            continue;
        }
        ChromaRow<T>(p, p.u, y, cb.data(), column);
        ChromaRow<T>(p, p.v, y, cr.data(), column);
        const int32_t* u = cb.data();
        const int32_t* w = cr.data();
        if (c.identity) {
            // Every channel scaled as luma; chroma arrives 16 times larger.
            for (int x = x0; x < x1; ++x) {
                uint8_t* d = at(x);
                d[0] = Clamp(c.yMul * ((u[x] + 8) / 16 - c.yOffset) + half);
                d[1] = Clamp(c.yMul * (int32_t(luma[x]) - c.yOffset) + half);
                d[2] = Clamp(c.yMul * ((w[x] + 8) / 16 - c.yOffset) + half);
            }
            continue;
        }
        for (int x = x0; x < x1; ++x) {
            const int32_t l = c.yMul * (int32_t(luma[x]) - c.yOffset) + half;
            const int32_t b = u[x] - c.cOffset16, r = w[x] - c.cOffset16;
            uint8_t* d = at(x);
            d[0] = Clamp(l + c.bCb * b + c.bCr * r);
            d[1] = Clamp(l + c.gCb * b + c.gCr * r);
            d[2] = Clamp(l + c.rCb * b + c.rCr * r);
        }
    }
}

constexpr int kBand = 64;   // rows converted between looks at the cancellation

// Cancellable work in bands on this thread; else the rows of a large area in
// two halves, the second on a thread of its own when there is a second core.
template <class T, int Step>
void ConvertPicture(const YuvPlanes& p, const Coefficients& c, const YuvArea& a, Raster& out)
{
    if (a.height <= 0 || a.width <= 0)
        return;
    uint8_t* pixels = out.MutableRow(0);
    const size_t stride = out.Stride();
    const int top = a.y, bottom = a.y + a.height;
    if (WorkAhead()) {
        for (int first = top; first < bottom; first += kBand) {
            ThrowIfCancelled();
            ConvertRows<T, Step>(p, c, a, pixels, stride, first, std::min(first + kBand, bottom));
        }
        return;
    }
    const bool split = uint64_t(a.width) * uint64_t(a.height) >= (uint64_t(1) << 20) &&
                       std::thread::hardware_concurrency() > 1;
    if (!split) {
        ConvertRows<T, Step>(p, c, a, pixels, stride, top, bottom);
        return;
    }
    const int middle = top + a.height / 2;
    std::exception_ptr failure;
    std::thread lower([&]() noexcept {
        try {
            ConvertRows<T, Step>(p, c, a, pixels, stride, middle, bottom);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        ConvertRows<T, Step>(p, c, a, pixels, stride, top, middle);
    } catch (...) {
        lower.join();
        throw;
    }
    lower.join();
    if (failure)
        std::rethrow_exception(failure);
}

YuvArea Whole(const YuvPlanes& planes) { return {0, 0, planes.width, planes.height, 0, 0}; }

}  // namespace

void YuvToBgr(const YuvPlanes& planes, const YuvColour& colour, Raster& out)
{
    YuvToBgr(planes, colour, Whole(planes), out);
}

void YuvToBgr(const YuvPlanes& planes, const YuvColour& colour, const YuvArea& area, Raster& out)
{
    const Coefficients c = MakeCoefficients(colour, planes.bitDepth);
    const bool wide = planes.bitDepth > 8;
    if (out.Bits() == 32)
        wide ? ConvertPicture<uint16_t, 4>(planes, c, area, out) : ConvertPicture<uint8_t, 4>(planes, c, area, out);
    else
        wide ? ConvertPicture<uint16_t, 3>(planes, c, area, out) : ConvertPicture<uint8_t, 3>(planes, c, area, out);
}

void LumaToAlpha(const YuvPlanes& planes, bool fullRange, Raster& out)
{
    LumaToAlpha(planes, fullRange, Whole(planes), out);
}

void LumaToAlpha(const YuvPlanes& planes, bool fullRange, const YuvArea& area, Raster& out)
{
    YuvColour colour;
    colour.fullRange = fullRange;
    const Coefficients c = MakeCoefficients(colour, planes.bitDepth);
    const int32_t half = 1 << (kShift - 1);
    for (int y = area.y; y < area.y + area.height; ++y) {
        if ((y - area.y) % kBand == 0)
            ThrowIfCancelled();
        uint8_t* dst = out.MutableRow(area.outY + y - area.y) + 4 * size_t(area.outX) + 3;
        if (planes.bitDepth > 8) {
            const uint16_t* a = PlaneRow<uint16_t>(planes.y, planes.yStride, y) + area.x;
            for (int x = 0; x < area.width; ++x)
                dst[4 * x] = Clamp(c.yMul * (int32_t(a[x]) - c.yOffset) + half);
        } else {
            const uint8_t* a = PlaneRow<uint8_t>(planes.y, planes.yStride, y) + area.x;
            for (int x = 0; x < area.width; ++x)
                dst[4 * x] = Clamp(c.yMul * (int32_t(a[x]) - c.yOffset) + half);
        }
    }
}
