// A 24-megapixel JPEG turned a quarter and saved: its compressed blocks
// rearranged (the lossless save) against compressing the turned pixels
// anew; and one taken with its camera on its side (Exif orientation 6)
// loaded to the picture on screen at fit and decoded whole (what zooming to
// 90 % and more needs), against the same file stored upright. Also what the
// user waits for at the save when the turn began rearranging the blocks on a
// worker (LosslessAhead): long after the turn, and at once after it (wall
// time). main() in bench_main.cpp prints the ratios.
#include <benchmark/benchmark.h>

#include "bench/BenchInputs.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/display/DisplayTiles.h"
#include "imaging/pictures/LosslessAhead.h"
#include "imaging/pixels/Transform.h"

namespace {

using namespace bench;

// The benchmarks' JPEG with an Exif block saying 6 (a quarter clockwise).
const std::vector<uint8_t>& SidewaysJpeg()
{
    static const std::vector<uint8_t> file = [] {
        JpegMetadata metadata;
        metadata.segments = {{0xE1, {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                                     0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0}}};
        return EncodeJpeg(GetInputs().photo, metadata);
    }();
    return file;
}

void TurnSaveLossless(benchmark::State& state)
{
    for (auto _ : state) {
        auto out = TransformJpeg(GetInputs().jpeg, Orientation::RotateClockwise);
        benchmark::DoNotOptimize(out->data());
    }
}

// The save's wait for blocks rearranged ahead: the preparation had finished.
void TurnSaveWaitPrepared(benchmark::State& state)
{
    LosslessAhead ahead(TransformJpeg);
    const auto file = std::make_shared<const std::vector<uint8_t>>(GetInputs().jpeg);
    const auto prepared = ahead.Prepare(file, Orientation::RotateClockwise);
    benchmark::DoNotOptimize(prepared->Take(*file, Orientation::RotateClockwise));   // finished now
    for (auto _ : state) {
        auto out = prepared->Take(*file, Orientation::RotateClockwise);
        benchmark::DoNotOptimize(out->data());
    }
}

// The turn's preparation begun and the save made at once: it waits for it.
void TurnSaveWaitAtOnce(benchmark::State& state)
{
    LosslessAhead ahead(TransformJpeg);
    const auto file = std::make_shared<const std::vector<uint8_t>>(GetInputs().jpeg);
    for (auto _ : state) {
        auto out = ahead.Prepare(file, Orientation::RotateClockwise)->Take(*file, Orientation::RotateClockwise);
        benchmark::DoNotOptimize(out->data());
    }
}

// What a save of the turned picture compressed it with before: the turned
// pixels are already there (the view shows them).
void TurnSaveEncode(benchmark::State& state)
{
    const Raster turned = TransformRaster(GetInputs().photo, Orientation::RotateClockwise);
    for (auto _ : state) {
        auto out = EncodeJpeg(turned);
        benchmark::DoNotOptimize(out.data());
    }
}

void LoadToFit(benchmark::State& state, const std::vector<uint8_t>& file)
{
    for (auto _ : state) {
        const PreparedPicture picture = PreparePicture(GraphicKind::Jpeg, file, [](int width, int height) {
            return std::pair{width * 880 / 6000, height * 880 / 6000};
        });
        DisplayTiles tiles;
        tiles.SetSource(picture.source);
        tiles.SetShownSize(picture.source->Width() * 880 / 6000, picture.source->Height() * 880 / 6000);
        Raster seen = tiles.MakePart({0, 0, tiles.ShownWidth(), tiles.ShownHeight()});
        benchmark::DoNotOptimize(seen.Bits0());
    }
}

void UprightLoadToFit(benchmark::State& state) { LoadToFit(state, GetInputs().jpeg); }
void SidewaysLoadToFit(benchmark::State& state) { LoadToFit(state, SidewaysJpeg()); }

void UprightWholeDecode(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeJpeg(GetInputs().jpeg).Bits0());
}

void SidewaysWholeDecode(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeJpeg(SidewaysJpeg(), Orientation::RotateClockwise).Bits0());
}

BENCHMARK(TurnSaveLossless)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(TurnSaveEncode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(TurnSaveWaitPrepared)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(TurnSaveWaitAtOnce)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(UprightLoadToFit)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(SidewaysLoadToFit)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(UprightWholeDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(SidewaysWholeDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
