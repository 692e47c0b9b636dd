// The benchmarks' entry: runs them, then prints the figures that compare the
// program with the libraries and with what it did before. With
// --write-inputs FOLDER it writes its pictures as files for the end-to-end
// measurements instead (bench/user_waits.sh).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchInputs.h"
#include "imaging/codecs/BmpCodec.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/PngCodec.h"

namespace bench {

namespace {

// Console output as usual, keeping each benchmark's real time per iteration.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times, cpuTimes;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration) {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
                cpuTimes[run.benchmark_name()] = run.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
};

RecordingReporter* reporter = nullptr;

// Names carry suffixes such as "/min_time:3.000".
double Lookup(const std::map<std::string, double>& table, const char* name)
{
    for (const auto& [key, value] : table)
        if (key == name || key.starts_with(std::string(name) + "/"))
            return value;
    return 0.0;
}

void Write(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Photos of each kind, for stepping from one to the other, and small ones.
int WriteInputs(const std::string& folder)
{
    for (int variant = 0; variant < 3; ++variant) {
        const Raster photo = variant == 0 ? GetInputs().photo : MakePhoto(kWidth, kHeight, variant);
        const std::string name = folder + "/photo" + char('a' + variant);
        Write(name + ".jpg", variant == 0 ? GetInputs().jpeg : EncodeJpeg(photo));
        Write(name + ".png", variant == 0 ? GetInputs().png : EncodePng(PngFromRaster(photo)));
    }
    // Twenty-four more JPEGs, each another picture, for holding Next down.
    for (int variant = 0; variant < 24; ++variant)
        Write(folder + "/step" + char('a' + variant) + ".jpg", EncodeJpeg(MakePhoto(kWidth, kHeight, 3 + variant)));
    Write(folder + "/small.jpg", EncodeJpeg(MakePhoto(100, 100)));
    Write(folder + "/smallb.jpg", EncodeJpeg(MakePhoto(100, 100, 1)));
    std::printf("wrote %s/photo{a,b,c}.{jpg,png}, step{a..x}.jpg (%dx%d) and small{,b}.jpg\n", folder.c_str(), kWidth,
                kHeight);
    return 0;
}

} // namespace

double TimeOf(const char* name) { return reporter ? Lookup(reporter->times, name) : 0.0; }
double CpuTimeOf(const char* name) { return reporter ? Lookup(reporter->cpuTimes, name) : 0.0; }

} // namespace bench

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--write-inputs") == 0)
        return bench::WriteInputs(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    bench::GetInputs();
    bench::RecordingReporter reporter;
    bench::reporter = &reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    using bench::TimeOf;
    using bench::CpuTimeOf;
    auto ratio = [&](const char* label, const char* program, const char* library) {
        double p = TimeOf(program), l = TimeOf(library), pc = CpuTimeOf(program), lc = CpuTimeOf(library);
        if (p > 0 && l > 0 && pc > 0 && lc > 0)
            std::printf("%s: %.3f real (%.1f / %.1f ms), %.3f CPU (%.1f / %.1f ms)\n", label, p / l, p, l, pc / lc, pc,
                        lc);
    };
    std::printf("\n");
    ratio("JPEG load, program/library", "ProgramJpeg", "LibraryJpeg");
    ratio("PNG load, program/library to RGB", "ProgramPng", "LibraryPng");
    ratio("PNG load, program/library to BGRA", "ProgramPng", "LibraryPngBgra");
    ratio("JPEG load to display at fit / bare full-size decode", "JpegLoadToFitDisplay", "LibraryJpeg");
    ratio("PNG load to display at fit / bare libpng decode to RGB", "PngLoadToFitDisplay", "LibraryPng");
    ratio("WebP load to display at fit / bare libwebp decode to BGR", "WebpLoadToFit", "LibraryWebp");
    ratio("TIFF load to display at fit / bare libtiff decode to RGBA", "TiffLoadToFit", "LibraryTiff");
    ratio("GIF load to display at fit / bare giflib decode to indices", "GifLoadToFit", "LibraryGif");
    ratio("AVIF load to display at fit / bare dav1d decode to YUV", "AvifLoadToFit", "LibraryAvif");
    if (double t = TimeOf("GifFrameStep"), c = CpuTimeOf("GifFrameStep"); t > 0)
        std::printf("GIF 480 x 270 frame made and shown: %.2f ms (CPU %.2f ms), %.1f %% of a core at 30 frames a "
                    "second (by CPU time)\n", t, c, c * 30 / 10);
    for (const char* name : {"DisplayFit", "Display90", "Display110", "DisplayPng110"})
        if (double t = TimeOf(name); t > 0)
            std::printf("%s: %.2f ms to make what a 1280 x 880 view shows\n", name, t);
    // bench/transform_bench.cpp: mode 1 is the clockwise quarter turn.
    const double turn = TimeOf("QuarterTurn24Mp/1"), copy = TimeOf("PlainCopy24Mp");
    if (turn > 0 && copy > 0)
        std::printf("Quarter turn of 24 MP: turn/copy = %.2f (%.1f / %.1f ms)\n", turn / copy, turn, copy);
    // bench/orientation_bench.cpp.
    ratio("JPEG quarter turn saved, blocks rearranged / compressed anew", "TurnSaveLossless", "TurnSaveEncode");
    ratio("Save's wait after a turn, rearranged ahead and finished / compressed anew", "TurnSaveWaitPrepared",
          "TurnSaveEncode");
    ratio("Save's wait at once after a turn, rearranged ahead / compressed anew", "TurnSaveWaitAtOnce",
          "TurnSaveEncode");
    ratio("Orientation 6 JPEG load to display at fit / stored upright", "SidewaysLoadToFit", "UprightLoadToFit");
    ratio("Orientation 6 JPEG whole decode / stored upright", "SidewaysWholeDecode", "UprightWholeDecode");
    // bench/colour_bench.cpp.
    ratio("JPEG with an Adobe RGB profile load to display at fit / without profile", "TaggedLoadToFit",
          "UntaggedLoadToFit");
    ratio("Tagged photo's 90 % view / untagged", "TaggedDisplay90", "Display90");
    ratio("Tagged photo's 110 % view / untagged", "TaggedDisplay110", "Display110");
    return 0;
}
