// Making what the image control shows of a 24-megapixel picture in a
// 1280 × 880 view: at fit (from the reduced level a load decodes), at 90 %
// and 110 % (from the full pixels), and a load all the way to the picture
// on screen against the library's bare decode of the whole file.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/BenchInputs.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/display/DisplayTiles.h"

namespace {

using namespace bench;

// 6000 × 4000 fitted into 1280 × 880.
constexpr int kFitWidth = 1280, kFitHeight = 853;

ShownSizeRule FitRule()
{
    return [](int, int) { return std::pair{kFitWidth, kFitHeight}; };
}

// What the view shows of the source at width × height, from its top left.
Raster Seen(const std::shared_ptr<const DisplaySource>& source, int width, int height)
{
    DisplayTiles tiles;
    tiles.SetSource(source);
    tiles.SetShownSize(width, height);
    return tiles.MakePart({0, 0, std::min(width, kSeenWidth), std::min(height, kSeenHeight)});
}

void DisplayFit(benchmark::State& state)
{
    const PreparedPicture picture = PreparePicture(GraphicKind::Jpeg, GetInputs().jpeg, FitRule());
    for (auto _ : state) {
        Raster seen = Seen(picture.source, kFitWidth, kFitHeight);
        benchmark::DoNotOptimize(seen.Bits0());
    }
}

void ShownAtPercent(benchmark::State& state, const std::shared_ptr<const DisplaySource>& source, int percent)
{
    for (auto _ : state) {
        Raster seen = Seen(source, kWidth * percent / 100, kHeight * percent / 100);
        benchmark::DoNotOptimize(seen.Bits0());
    }
}

void Display90(benchmark::State& state)
{
    ShownAtPercent(state, std::make_shared<RasterSource>(GetInputs().photo), 90);
}

// JPEG images and bitmaps are drawn straight from their pixels at 110 %;
// this is the tiled way, which transparent pictures take.
void Display110(benchmark::State& state)
{
    ShownAtPercent(state, std::make_shared<RasterSource>(GetInputs().photo), 110);
}

// A PNG image converts the part it shows from its rows.
void DisplayPng110(benchmark::State& state)
{
    const PreparedPicture picture = PreparePicture(GraphicKind::Png, GetInputs().png, [](int w, int h) {
        return std::pair{w, h};
    });
    ShownAtPercent(state, picture.source, 110);
}

void JpegLoadToFitDisplay(benchmark::State& state)
{
    for (auto _ : state) {
        const PreparedPicture picture = PreparePicture(GraphicKind::Jpeg, GetInputs().jpeg, FitRule());
        Raster seen = Seen(picture.source, kFitWidth, kFitHeight);
        benchmark::DoNotOptimize(seen.Bits0());
    }
}

void PngLoadToFitDisplay(benchmark::State& state)
{
    for (auto _ : state) {
        const PreparedPicture picture = PreparePicture(GraphicKind::Png, GetInputs().png, FitRule());
        Raster seen = Seen(picture.source, kFitWidth, kFitHeight);
        benchmark::DoNotOptimize(seen.Bits0());
    }
}

BENCHMARK(DisplayFit)->Unit(benchmark::kMillisecond);
BENCHMARK(Display90)->Unit(benchmark::kMillisecond);
BENCHMARK(Display110)->Unit(benchmark::kMillisecond);
BENCHMARK(DisplayPng110)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegLoadToFitDisplay)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(PngLoadToFitDisplay)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
