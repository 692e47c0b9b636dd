// Colour management's cost: a 24-megapixel JPEG carrying an Adobe-RGB-like
// profile loaded all the way to the picture on screen at fit (converted to
// the sRGB monitor's colours at the shown size), against the same file
// without profile (sRGB on sRGB: nothing converted); and the 90 % and 110 %
// views of the tagged photo, against Display90 and Display110
// (bench/display_bench.cpp). The same untagged photo on a wide-gamut
// monitor is converted from sRGB, at the tagged photo's cost. The conversion itself is
// made once and kept, as the program keeps it for a folder's pictures.
#include <benchmark/benchmark.h>

#include "bench/BenchInputs.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/display/DisplayTiles.h"

namespace {

using namespace bench;

// Adobe RGB's primaries and white, a plain 2.2 curve.
const std::vector<uint8_t>& WideProfile()
{
    static const auto icc = MakeIccProfile({0.64, 0.33, 0.21, 0.71, 0.15, 0.06, 0.3127, 0.3290}, {563.0 / 256});
    return icc;
}

const std::vector<uint8_t>& TaggedJpeg()
{
    static const std::vector<uint8_t> file = [] {
        std::vector<uint8_t> chunk{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1};
        chunk.insert(chunk.end(), WideProfile().begin(), WideProfile().end());
        JpegMetadata metadata;
        metadata.segments = {{0xE2, chunk}};
        return EncodeJpeg(GetInputs().photo, metadata);
    }();
    return file;
}

// 6000 × 4000 fitted into 1280 × 880.
constexpr int kFitWidth = 1280, kFitHeight = 853;

// A wide-gamut monitor's colours (the same Adobe-RGB-like profile).
const std::shared_ptr<const MonitorColours>& WideMonitor()
{
    static const auto colours = std::make_shared<const MonitorColours>(true, WideProfile());
    return colours;
}

void LoadToFit(benchmark::State& state, const std::vector<uint8_t>& file,
               const std::shared_ptr<const MonitorColours>& colours = MonitorColours::Standard())
{
    for (auto _ : state) {
        const PreparedPicture picture =
            PreparePicture(GraphicKind::Jpeg, file, [](int, int) { return std::pair{kFitWidth, kFitHeight}; });
        DisplayTiles tiles;
        tiles.SetColours(colours);
        tiles.SetSource(picture.source);
        tiles.SetShownSize(kFitWidth, kFitHeight);
        Raster seen = tiles.MakePart({0, 0, kFitWidth, kFitHeight});
        benchmark::DoNotOptimize(seen.Bits0());
    }
}

void UntaggedLoadToFit(benchmark::State& state) { LoadToFit(state, GetInputs().jpeg); }
void TaggedLoadToFit(benchmark::State& state) { LoadToFit(state, TaggedJpeg()); }
// An untagged photo is sRGB: on a wide-gamut monitor it is converted as a
// tagged one is.
void UntaggedOnWideLoadToFit(benchmark::State& state) { LoadToFit(state, GetInputs().jpeg, WideMonitor()); }

void ShownAt(benchmark::State& state, int percent, std::shared_ptr<const ColourProfile> colour,
             const std::shared_ptr<const MonitorColours>& colours = MonitorColours::Standard())
{
    const auto source = std::make_shared<RasterSource>(GetInputs().photo, std::move(colour));
    for (auto _ : state) {
        DisplayTiles tiles;
        tiles.SetColours(colours);
        tiles.SetSource(source);
        tiles.SetShownSize(kWidth * percent / 100, kHeight * percent / 100);
        Raster seen = tiles.MakePart({0, 0, kSeenWidth, kSeenHeight});
        benchmark::DoNotOptimize(seen.Bits0());
    }
}

void TaggedDisplay90(benchmark::State& state) { ShownAt(state, 90, IccProfile(WideProfile())); }
void TaggedDisplay110(benchmark::State& state) { ShownAt(state, 110, IccProfile(WideProfile())); }
void UntaggedOnWideDisplay90(benchmark::State& state) { ShownAt(state, 90, nullptr, WideMonitor()); }
void UntaggedOnWideDisplay110(benchmark::State& state) { ShownAt(state, 110, nullptr, WideMonitor()); }

BENCHMARK(UntaggedLoadToFit)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(TaggedLoadToFit)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(UntaggedOnWideLoadToFit)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(TaggedDisplay90)->Unit(benchmark::kMillisecond);
BENCHMARK(TaggedDisplay110)->Unit(benchmark::kMillisecond);
BENCHMARK(UntaggedOnWideDisplay90)->Unit(benchmark::kMillisecond);
BENCHMARK(UntaggedOnWideDisplay110)->Unit(benchmark::kMillisecond);

} // namespace
