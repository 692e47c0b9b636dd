#include "imaging/pixels/Resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/Failure.h"

namespace {

// Weights are fixed point with 14 fractional bits; every target pixel's
// weights add up to exactly kOne.
constexpr int kWeightBits = 14;
constexpr uint32_t kOne = 1u << kWeightBits;

// Which source pixels make up each target pixel along one axis, and by how much.
struct AxisWeights {
    struct Span {
        int first;          // first source pixel
        int count;          // number of source pixels
        size_t offset;      // into weights
    };
    std::vector<Span> spans;
    std::vector<uint16_t> weights;
    int widest = 0;
};

// The weights of target pixels [first, first + count) of targetLength. Each
// target pixel's weights depend on its own position only, so any run of
// target pixels gets the weights the whole axis would give it. The source
// covers `extent` (at most sourceLength, and more than sourceLength − 1) of
// its pixels: its last pixel may stand for less than a whole one.
AxisWeights ComputeWeights(int sourceLength, double extent, int targetLength, int first, int count)
{
    AxisWeights axis;
    axis.spans.reserve(size_t(count));
    const double scale = extent / targetLength;
    std::vector<double> exact;
    for (int i = first; i < first + count; ++i) {
        const double a = i * scale;
        const double b = std::min(extent, (i + 1) * scale);
        int from = std::clamp(int(std::floor(a)), 0, sourceLength - 1);
        int end = std::clamp(int(std::ceil(b)), from + 1, sourceLength);
        exact.clear();
        for (int j = from; j < end; ++j) {
            double overlap = std::min(double(j + 1), b) - std::max(double(j), a);
            exact.push_back(std::max(0.0, overlap) / scale);
        }
        // Drop source pixels that only touch the target pixel's edge.
        while (exact.size() > 1 && exact.back() * kOne < 0.5)
            exact.pop_back();
        size_t skip = 0;
        while (exact.size() - skip > 1 && exact[skip] * kOne < 0.5)
            ++skip;
        from += int(skip);
        AxisWeights::Span span{from, int(exact.size() - skip), axis.weights.size()};
        // Cumulative rounding: the weights add up to exactly kOne and the
        // rounding errors do not pile up however many pixels are averaged.
        double total = 0;
        for (size_t k = skip; k < exact.size(); ++k)
            total += exact[k];
        double running = 0;
        long previous = 0;
        for (size_t k = skip; k < exact.size(); ++k) {
            running += exact[k];
            long next = k + 1 == exact.size() ? long(kOne) : std::lround(running / total * kOne);
            axis.weights.push_back(uint16_t(next - previous));
            previous = next;
        }
        axis.widest = std::max(axis.widest, span.count);
        axis.spans.push_back(span);
    }
    return axis;
}

// The column weights laid out for a fixed number of source pixels per target
// pixel (the widest span; narrower ones padded with zero weights on pixels
// that exist), so the inner loop has a length known at compile time.
struct FixedSpans {
    int count = 0;
    std::vector<int> first;          // first source pixel, relative to the window
    std::vector<uint16_t> weights;   // count per target pixel
};

FixedSpans Fix(const AxisWeights& axis, int origin, int available, int count)
{
    FixedSpans fixed;
    fixed.count = count;
    fixed.first.reserve(axis.spans.size());
    fixed.weights.reserve(axis.spans.size() * size_t(count));
    for (const auto& span : axis.spans) {
        // Start early enough that every padded pixel lies inside the window.
        const int first = std::max(0, std::min(span.first - origin, available - count));
        fixed.first.push_back(first);
        for (int k = 0; k < count; ++k) {
            const int at = first + k - (span.first - origin);
            fixed.weights.push_back(at >= 0 && at < span.count ? axis.weights[span.offset + size_t(at)] : 0);
        }
    }
    return fixed;
}

constexpr uint32_t kRowRounding = 1u << (kWeightBits - 9);

// One source row scaled horizontally; values carry 8 fractional bits.
template <int C, int N>
void ScaleRowFixedScalar(const uint8_t* __restrict source, const FixedSpans& spans, size_t from, size_t to,
                         uint16_t* __restrict target)
{
    const uint16_t* __restrict w = spans.weights.data() + from * N;
    const int* __restrict first = spans.first.data();
    target += from * C;
    for (size_t i = from; i < to; ++i, w += N, target += C) {
        const uint8_t* __restrict p = source + size_t(first[i]) * C;
        uint32_t acc[C];
        for (int c = 0; c < C; ++c)
            acc[c] = kRowRounding;
        for (int k = 0; k < N; ++k)
            for (int c = 0; c < C; ++c)
                acc[c] += uint32_t(w[k]) * p[k * C + c];
        for (int c = 0; c < C; ++c)
            target[c] = uint16_t(acc[c] >> (kWeightBits - 8));
    }
}

#if defined(__SSE2__)
// Four bytes at p as four 16-bit values.
inline __m128i Widen4(const uint8_t* p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), _mm_setzero_si128());
}

// The same with SSE2: the four bytes of a pixel (a 24-bit pixel and the next
// one's first byte, which goes nowhere) in one register, two source pixels
// at a time through one multiply-add. Pixels whose last source pixel ends
// the row (where four bytes would read past a 24-bit row) are left to the
// scalar loop, as is any other row when target has no room for a 24-bit
// pixel's fourth value.
template <int C, int N>
void ScaleRowFixed(const uint8_t* __restrict source, const FixedSpans& spans, int available,
                   uint16_t* __restrict target)
{
    const size_t count = spans.first.size();
    const int* first = spans.first.data();
    size_t vectorEnd = count;
    while (vectorEnd > 0 && first[vectorEnd - 1] + N >= available)
        --vectorEnd;
    const uint16_t* w = spans.weights.data();
    const __m128i rounding = _mm_set1_epi32(int(kRowRounding));
    for (size_t i = 0; i < vectorEnd; ++i, w += N) {
        const uint8_t* p = source + size_t(first[i]) * C;
        __m128i acc = rounding;
        int k = 0;
        for (; k + 1 < N; k += 2) {
            const __m128i pair = _mm_unpacklo_epi16(Widen4(p + k * C), Widen4(p + (k + 1) * C));
            const __m128i weights = _mm_set1_epi32(int(uint32_t(w[k]) | uint32_t(w[k + 1]) << 16));
            acc = _mm_add_epi32(acc, _mm_madd_epi16(pair, weights));
        }
        if (k < N) {
            const __m128i single = _mm_unpacklo_epi16(Widen4(p + k * C), _mm_setzero_si128());
            acc = _mm_add_epi32(acc, _mm_madd_epi16(single, _mm_set1_epi32(int(w[k]))));
        }
        acc = _mm_srli_epi32(acc, kWeightBits - 8);
        // The low halves of the four sums, side by side.
        __m128i packed = _mm_shufflehi_epi16(_mm_shufflelo_epi16(acc, _MM_SHUFFLE(2, 0, 2, 0)), _MM_SHUFFLE(2, 0, 2, 0));
        packed = _mm_shuffle_epi32(packed, _MM_SHUFFLE(3, 1, 2, 0));
        if (C == 4 || i + 1 < count) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(target + i * C), packed);
        } else {
            uint16_t values[4];
            _mm_storel_epi64(reinterpret_cast<__m128i*>(values), packed);
            std::memcpy(target + i * C, values, C * sizeof(uint16_t));
        }
    }
    ScaleRowFixedScalar<C, N>(source, spans, vectorEnd, count, target);
}
#else
template <int C, int N>
void ScaleRowFixed(const uint8_t* source, const FixedSpans& spans, int, uint16_t* target)
{
    ScaleRowFixedScalar<C, N>(source, spans, 0, spans.first.size(), target);
}
#endif

// The same for spans of any width. The row pointer is at source pixel `origin`.
template <int C>
void ScaleRow(const uint8_t* source, int origin, const AxisWeights& axis, uint16_t* target)
{
    for (const auto& span : axis.spans) {
        const uint8_t* p = source + size_t(span.first - origin) * C;
        const uint16_t* w = axis.weights.data() + span.offset;
        uint32_t acc[C] = {};
        for (int k = 0; k < span.count; ++k, p += C)
            for (int c = 0; c < C; ++c)
                acc[c] += uint32_t(w[k]) * p[c];
        for (int c = 0; c < C; ++c)
            *target++ = uint16_t((acc[c] + kRowRounding) >> (kWeightBits - 8));
    }
}

constexpr int kShift = kWeightBits + 8;
constexpr uint32_t kRounding = 1u << (kShift - 1);

// One target row from `count` horizontally scaled rows.
void BlendRows(const uint16_t* const* rows, const uint16_t* weights, int count, size_t values,
               uint32_t* __restrict acc, uint8_t* __restrict out)
{
    if (count == 1) {
        const uint32_t w0 = weights[0];
        for (size_t i = 0; i < values; ++i)
            out[i] = uint8_t(std::min<uint32_t>(255, (w0 * rows[0][i] + kRounding) >> kShift));
        return;
    }
    if (count == 2) {
        const uint32_t w0 = weights[0], w1 = weights[1];
        const uint16_t* __restrict r0 = rows[0];
        const uint16_t* __restrict r1 = rows[1];
        for (size_t i = 0; i < values; ++i)
            out[i] = uint8_t(std::min<uint32_t>(255, (w0 * r0[i] + w1 * r1[i] + kRounding) >> kShift));
        return;
    }
    const uint32_t w0 = weights[0];
    for (size_t i = 0; i < values; ++i)
        acc[i] = w0 * rows[0][i] + kRounding;
    for (int k = 1; k < count; ++k) {
        const uint32_t w = weights[k];
        const uint16_t* row = rows[k];
        for (size_t i = 0; i < values; ++i)
            acc[i] += w * row[i];
    }
    for (size_t i = 0; i < values; ++i)
        out[i] = uint8_t(std::min<uint32_t>(255, acc[i] >> kShift));
}

template <int C>
void Resample(const PixelWindow& source, const AxisWeights& columns, const AxisWeights& rows, Raster& target)
{
    const int width = target.Width(), height = target.Height();
    // The horizontally scaled source rows that the current target row needs,
    // kept in a ring so each source row is scaled once.
    const size_t rowValues = size_t(width) * C;
    const int ringSize = std::max(rows.widest, 1);
    std::vector<uint16_t> ring(rowValues * size_t(ringSize));
    auto slot = [&](int sourceRow) { return ring.data() + size_t(sourceRow % ringSize) * rowValues; };
    int nextRow = 0;
    std::vector<uint32_t> acc(rowValues);
    std::vector<const uint16_t*> blended(static_cast<size_t>(ringSize), nullptr);

    // Narrow spans (shrinking by less than about three, and enlarging) go
    // through a kernel of fixed length.
    const int available = source.pixels.Width();
    const FixedSpans fixed = columns.widest <= 4 && columns.widest <= available
                                 ? Fix(columns, source.x, available, columns.widest)
                                 : FixedSpans{};
    auto scale = [&](const uint8_t* row, uint16_t* out) {
        switch (fixed.count) {
        case 1: ScaleRowFixed<C, 1>(row, fixed, available, out); return;
        case 2: ScaleRowFixed<C, 2>(row, fixed, available, out); return;
        case 3: ScaleRowFixed<C, 3>(row, fixed, available, out); return;
        case 4: ScaleRowFixed<C, 4>(row, fixed, available, out); return;
        default: ScaleRow<C>(row, source.x, columns, out); return;
        }
    };

    for (int y = 0; y < height; ++y) {
        const auto& span = rows.spans[size_t(y)];
        nextRow = std::max(nextRow, span.first);
        for (; nextRow < span.first + span.count; ++nextRow)
            scale(source.pixels.Row(nextRow - source.y), slot(nextRow));
        for (int k = 0; k < span.count; ++k)
            blended[size_t(k)] = slot(span.first + k);
        BlendRows(blended.data(), rows.weights.data() + span.offset, span.count, rowValues, acc.data(),
                  target.MutableRow(y));
    }
}

// The source pixels of target pixels [first, first + count) along one axis.
void SourceRange(int sourceLength, double extent, int targetLength, int first, int count, int& from, int& length)
{
    const AxisWeights start = ComputeWeights(sourceLength, extent, targetLength, first, 1);
    const AxisWeights end = ComputeWeights(sourceLength, extent, targetLength, first + count - 1, 1);
    from = start.spans[0].first;
    length = end.spans[0].first + end.spans[0].count - from;
}

} // namespace

namespace {

// What an image covers of its own pixels: all of them, or as little as its
// extent says (more than all but one).
double Extent(int length, double extent)
{
    return extent > length - 1 && extent < length ? extent : double(length);
}

} // namespace

PixelRect SourceRectFor(int imageWidth, int imageHeight, int width, int height, const PixelRect& part,
                        double extentX, double extentY)
{
    if (imageWidth < 1 || imageHeight < 1 || width < 1 || height < 1 || part.Empty())
        return {};
    PixelRect rect;
    SourceRange(imageWidth, Extent(imageWidth, extentX), width, part.x, part.width, rect.x, rect.width);
    SourceRange(imageHeight, Extent(imageHeight, extentY), height, part.y, part.height, rect.y, rect.height);
    return rect;
}

Raster ResampleAreaPart(const PixelWindow& source, int imageWidth, int imageHeight, int width, int height,
                        const PixelRect& part, double extentX, double extentY)
{
    const Raster& pixels = source.pixels;
    const bool direct = pixels.Format() == PixelFormat::Bit24 || pixels.Format() == PixelFormat::Bit32;
    if (!direct || pixels.Empty() || imageWidth < 1 || imageHeight < 1 || width < 1 || height < 1 ||
        part.Empty() || part.x < 0 || part.y < 0 || part.x + part.width > width || part.y + part.height > height)
        return {};
    // The window must hold every pixel the part is made from.
    const PixelRect needed = SourceRectFor(imageWidth, imageHeight, width, height, part, extentX, extentY);
    if (needed.x < source.x || needed.y < source.y || needed.x + needed.width > source.x + pixels.Width() ||
        needed.y + needed.height > source.y + pixels.Height())
        throw Failure(L"Invalid pixel window");
    Raster target(part.width, part.height, pixels.Format(), Raster::Unfilled{});
    target.SetAlpha(pixels.Alpha());
    const AxisWeights columns = ComputeWeights(imageWidth, Extent(imageWidth, extentX), width, part.x, part.width);
    const AxisWeights rows = ComputeWeights(imageHeight, Extent(imageHeight, extentY), height, part.y, part.height);
    if (pixels.Format() == PixelFormat::Bit32)
        Resample<4>(source, columns, rows, target);
    else
        Resample<3>(source, columns, rows, target);
    return target;
}

Raster ResampleArea(const Raster& source, int width, int height)
{
    if (source.Empty() || width < 1 || height < 1)
        return {};
    const bool direct = source.Format() == PixelFormat::Bit24 || source.Format() == PixelFormat::Bit32;
    if (direct && width == source.Width() && height == source.Height())
        return source;
    const Raster input = direct ? source : source.ConvertedTo(PixelFormat::Bit24);
    if (width == input.Width() && height == input.Height())
        return input;
    if (!DecodeLimits::Allows(uint64_t(width), uint64_t(height)))
        throw Failure(L"Out of memory");
    return ResampleAreaPart({input, 0, 0}, input.Width(), input.Height(), width, height, {0, 0, width, height});
}
