#include "imaging/Resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

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

AxisWeights ComputeWeights(int sourceLength, int targetLength)
{
    AxisWeights axis;
    axis.spans.reserve(size_t(targetLength));
    const double scale = double(sourceLength) / targetLength;
    std::vector<double> exact;
    for (int i = 0; i < targetLength; ++i) {
        const double a = i * scale;
        const double b = std::min(double(sourceLength), (i + 1) * scale);
        int first = std::clamp(int(std::floor(a)), 0, sourceLength - 1);
        int end = std::clamp(int(std::ceil(b)), first + 1, sourceLength);
        exact.clear();
        for (int j = first; j < end; ++j) {
            double overlap = std::min(double(j + 1), b) - std::max(double(j), a);
            exact.push_back(std::max(0.0, overlap) / scale);
        }
        // Drop source pixels that only touch the target pixel's edge.
        while (exact.size() > 1 && exact.back() * kOne < 0.5)
            exact.pop_back();
        size_t skip = 0;
        while (exact.size() - skip > 1 && exact[skip] * kOne < 0.5)
            ++skip;
        first += int(skip);
        AxisWeights::Span span{first, int(exact.size() - skip), axis.weights.size()};
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

// One source row scaled horizontally; values carry 8 fractional bits.
template <int C>
void ScaleRow(const uint8_t* source, const AxisWeights& axis, uint16_t* target)
{
    for (const auto& span : axis.spans) {
        const uint8_t* p = source + size_t(span.first) * C;
        const uint16_t* w = axis.weights.data() + span.offset;
        uint32_t acc[C] = {};
        for (int k = 0; k < span.count; ++k, p += C)
            for (int c = 0; c < C; ++c)
                acc[c] += uint32_t(w[k]) * p[c];
        for (int c = 0; c < C; ++c)
            *target++ = uint16_t((acc[c] + (1u << (kWeightBits - 9))) >> (kWeightBits - 8));
    }
}

template <int C>
void Resample(const Raster& source, Raster& target)
{
    const int width = target.Width(), height = target.Height();
    const AxisWeights columns = ComputeWeights(source.Width(), width);
    const AxisWeights rows = ComputeWeights(source.Height(), height);

    // The horizontally scaled source rows that the current target row needs,
    // kept in a ring so each source row is scaled once.
    const size_t rowValues = size_t(width) * C;
    const int ringSize = std::max(rows.widest, 1);
    std::vector<uint16_t> ring(rowValues * size_t(ringSize));
    auto slot = [&](int sourceRow) { return ring.data() + size_t(sourceRow % ringSize) * rowValues; };
    int nextRow = 0;
    std::vector<uint32_t> acc(rowValues);
    constexpr int shift = kWeightBits + 8;

    for (int y = 0; y < height; ++y) {
        const auto& span = rows.spans[size_t(y)];
        nextRow = std::max(nextRow, span.first);
        for (; nextRow < span.first + span.count; ++nextRow)
            ScaleRow<C>(source.Row(nextRow), columns, slot(nextRow));
        std::fill(acc.begin(), acc.end(), 0u);
        for (int k = 0; k < span.count; ++k) {
            const uint32_t w = rows.weights[span.offset + size_t(k)];
            const uint16_t* row = slot(span.first + k);
            for (size_t i = 0; i < rowValues; ++i)
                acc[i] += w * row[i];
        }
        uint8_t* out = target.MutableRow(y);
        for (size_t i = 0; i < rowValues; ++i)
            out[i] = uint8_t(std::min<uint32_t>(255, (acc[i] + (1u << (shift - 1))) >> shift));
    }
}

} // namespace

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
    Raster target(width, height, input.Format(), Raster::Unfilled{});
    target.SetAlpha(input.Alpha());
    if (input.Format() == PixelFormat::Bit32)
        Resample<4>(input, target);
    else
        Resample<3>(input, target);
    return target;
}
