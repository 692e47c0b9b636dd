// Shrinking a whole 24-megapixel photo to the size the viewer shows it at
// fit, as the image control did before it made only what is seen (from a
// reduced level, bench/display_bench.cpp).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/BenchInputs.h"
#include "imaging/pixels/Resample.h"

namespace {

Raster MakeLargePhoto(PixelFormat format)
{
    constexpr int kWidth = 6000, kHeight = 4000;
    Raster raster(kWidth, kHeight, format);
    const int c = BitsPerPixel(format) / 8;
    uint32_t seed = 7;
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* row = raster.MutableRow(y);
        for (int x = 0; x < kWidth * c; ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[x] = uint8_t((x / c + y) / 40 + (seed >> 28));
        }
    }
    return raster;
}

void BM_Shrink24MpTo1280x853(benchmark::State& state)
{
    const Raster photo = MakeLargePhoto(state.range(0) == 24 ? PixelFormat::Bit24 : PixelFormat::Bit32);
    for (auto _ : state) {
        Raster out = ResampleArea(photo, 1280, 853);
        benchmark::DoNotOptimize(out.Bits0());
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(double(photo.Width()) * photo.Height() / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Shrink24MpTo1280x853)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

void BM_Enlarge640x480To1920x1440(benchmark::State& state)
{
    Raster small(640, 480, PixelFormat::Bit24);
    for (auto _ : state) {
        Raster out = ResampleArea(small, 1920, 1440);
        benchmark::DoNotOptimize(out.Bits0());
    }
}
BENCHMARK(BM_Enlarge640x480To1920x1440)->Unit(benchmark::kMillisecond);

} // namespace
