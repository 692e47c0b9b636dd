// Turning a 24-megapixel photo a quarter, against a plain copy of the same
// bytes (main() in decode_bench.cpp prints the ratio).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "imaging/pixels/Transform.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

const Raster& Photo()
{
    static const Raster photo = [] {
        Raster raster(kWidth, kHeight, PixelFormat::Bit24);
        uint32_t seed = 11;
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = raster.MutableRow(y);
            for (int x = 0; x < 3 * kWidth; ++x) {
                seed = seed * 1664525u + 1013904223u;
                row[x] = uint8_t(seed >> 24);
            }
        }
        return raster;
    }();
    return photo;
}

void QuarterTurn24Mp(benchmark::State& state)
{
    const Raster& photo = Photo();
    const auto mode = TransformMode(state.range(0));
    const bool swap = SwapsSides(mode);
    Raster out(swap ? kHeight : kWidth, swap ? kWidth : kHeight, PixelFormat::Bit24);
    const ConstPixelRows from{photo.Bits0(), ptrdiff_t(photo.Stride()), kWidth, kHeight};
    const PixelRows to{out.MutableRow(0), ptrdiff_t(out.Stride()), out.Width(), out.Height()};
    for (auto _ : state) {
        TransformPixels(from, to, mode);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(photo.ByteSize()));
}
BENCHMARK(QuarterTurn24Mp)->Arg(1)->Arg(3)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void PlainCopy24Mp(benchmark::State& state)
{
    const Raster& photo = Photo();
    Raster out(kWidth, kHeight, PixelFormat::Bit24);
    uint8_t* to = out.MutableRow(0);
    for (auto _ : state) {
        std::memcpy(to, photo.Bits0(), photo.ByteSize());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(photo.ByteSize()));
}
BENCHMARK(PlainCopy24Mp)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
