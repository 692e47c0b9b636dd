// The newer formats: each file loaded to what a fit view shows, against its
// library's bare decode of the same file (bench_main.cpp prints the ratios).
// A 24 MP WebP (quality 90) and TIFF (Deflate), a 24 MP GIF of 256 colours,
// and a 12 MP AVIF when avifenc is there to make one.
#include <benchmark/benchmark.h>

#include <dav1d/dav1d.h>
#include <gif_lib.h>
#include <tiffio.h>
#include <webp/decode.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "bench/BenchInputs.h"
#include "imaging/codecs/AvifContainer.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/codecs/RasterCodecs.h"
#include "imaging/codecs/TiffCodec.h"
#include "imaging/codecs/WebpCodec.h"
#include "imaging/display/DisplayTiles.h"

namespace {

using namespace bench;
using Bytes = std::vector<uint8_t>;

int Collect(GifFileType* gif, const GifByteType* data, int size)
{
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

// The photo in 3-3-2 bits of colour.
Bytes PhotoGif(const Raster& photo)
{
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, Collect, &error);
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = {uint8_t((i >> 5) * 255 / 7), uint8_t((i >> 2 & 7) * 255 / 7), uint8_t((i & 3) * 85)};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifPutScreenDesc(gif, photo.Width(), photo.Height(), 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, photo.Width(), photo.Height(), false, nullptr);
    std::vector<GifPixelType> line(size_t(photo.Width()));
    for (int y = 0; y < photo.Height(); ++y) {
        const uint8_t* p = photo.Row(y);
        for (int x = 0; x < photo.Width(); ++x, p += 3)
            line[size_t(x)] = GifPixelType((p[2] >> 5) << 5 | (p[1] >> 5) << 2 | p[0] >> 6);
        EGifPutLine(gif, line.data(), photo.Width());
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

// 30 frames of 480 × 270 at 30 ms each: a bar moving across a gradient,
// every frame whole, as screen recordings are written.
Bytes MovingBarGif()
{
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, Collect, &error);
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, 480, 270, 8, 0, map);
    std::vector<GifPixelType> line(480);
    for (int frame = 0; frame < 30; ++frame) {
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 3, NO_TRANSPARENT_COLOR};
        GifByteType block[4];
        EGifGCBToExtension(&control, block);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
        EGifPutImageDesc(gif, 0, 0, 480, 270, false, nullptr);
        for (int y = 0; y < 270; ++y) {
            for (int x = 0; x < 480; ++x)
                line[size_t(x)] = GifPixelType(std::abs(x - frame * 16) < 20 ? 255 : (x + y) * 200 / 750);
            EGifPutLine(gif, line.data(), 480);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

// avifenc's AVIF of a 4000 × 3000 photo (or the file PIXAVO_BENCH_AVIF names,
// for runs where avifenc cannot be started); empty when there is neither.
Bytes PhotoAvif()
{
    if (const char* given = std::getenv("PIXAVO_BENCH_AVIF")) {
        std::ifstream in(given, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const Raster photo = MakePhoto(4000, 3000, 1);
    const auto dir = std::filesystem::temp_directory_path() / "pixavo-bench-avif";
    std::filesystem::create_directories(dir);
    const Bytes png = EncodePng(PngFromRaster(photo));
    std::ofstream(dir / "in.png", std::ios::binary).write(reinterpret_cast<const char*>(png.data()), png.size());
    const std::string command = "avifenc -s 8 " + (dir / "in.png").string() + " " + (dir / "out.avif").string() +
                                " >/dev/null 2>&1";
    Bytes out;
    if (std::system(command.c_str()) == 0) {
        std::ifstream in(dir / "out.avif", std::ios::binary);
        out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove_all(dir);
    return out;
}

struct FormatInputs {
    Bytes webp, tiff, gif, avif, animation;
};

const FormatInputs& Files()
{
    static const FormatInputs files = [] {
        FormatInputs f;
        const Raster& photo = GetInputs().photo;
        f.webp = EncodeWebp(photo, false);
        f.tiff = EncodeTiff(photo);
        f.gif = PhotoGif(photo);
        f.avif = PhotoAvif();
        f.animation = MovingBarGif();
        std::printf("Formats: %dx%d WebP %zu bytes, TIFF %zu, GIF %zu; 4000x3000 AVIF %zu%s\n", kWidth, kHeight,
                    f.webp.size(), f.tiff.size(), f.gif.size(), f.avif.size(), f.avif.empty() ? " (no avifenc)" : "");
        return f;
    }();
    return files;
}

// Loaded as the viewer loads it, to what a 1280 × 853 fit view shows.
void LoadToFit(benchmark::State& state, const Bytes& file)
{
    if (file.empty()) {
        state.SkipWithError("no sample");
        return;
    }
    for (auto _ : state) {
        const PreparedPicture picture = PreparePicture(GraphicKind::Raster, file, [](int, int) {
            return std::pair{1280, 853};
        });
        DisplayTiles tiles;
        tiles.SetSource(picture.source);
        tiles.SetShownSize(1280, 853);
        Raster seen = tiles.MakePart({0, 0, 1280, 853});
        benchmark::DoNotOptimize(seen.Bits0());
    }
}

void WebpLoadToFit(benchmark::State& state) { LoadToFit(state, Files().webp); }
void TiffLoadToFit(benchmark::State& state) { LoadToFit(state, Files().tiff); }
void GifLoadToFit(benchmark::State& state) { LoadToFit(state, Files().gif); }
void AvifLoadToFit(benchmark::State& state) { LoadToFit(state, Files().avif); }

void LibraryWebp(benchmark::State& state)
{
    const Bytes& file = Files().webp;
    for (auto _ : state) {
        int width = 0, height = 0;
        uint8_t* pixels = WebPDecodeBGR(file.data(), file.size(), &width, &height);
        benchmark::DoNotOptimize(pixels);
        WebPFree(pixels);
    }
}

// A file read from memory by the libraries' own reading functions.
struct MemorySource {
    const Bytes* file;
    uint64_t pos = 0;
    // Copies up to n bytes from pos on and moves past them.
    size_t Read(void* out, size_t n)
    {
        const size_t count = size_t(std::min<uint64_t>(n, file->size() - std::min<uint64_t>(pos, file->size())));
        if (count)
            std::memcpy(out, file->data() + pos, count);
        pos += count;
        return count;
    }
};

void LibraryTiff(benchmark::State& state)
{
    for (auto _ : state) {
        MemorySource source{&Files().tiff};
        TIFF* tif = TIFFClientOpen(
            "bench", "r", &source,
            [](thandle_t h, void* buf, tmsize_t n) -> tmsize_t {
                return tmsize_t(static_cast<MemorySource*>(h)->Read(buf, size_t(n)));
            },
            [](thandle_t, void*, tmsize_t) -> tmsize_t { return 0; },
            [](thandle_t h, toff_t off, int whence) -> toff_t {
                auto* s = static_cast<MemorySource*>(h);
                s->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? s->pos + off : s->file->size() + off;
                return s->pos;
            },
            [](thandle_t) { return 0; }, [](thandle_t h) -> toff_t { return static_cast<MemorySource*>(h)->file->size(); },
            [](thandle_t h, void** base, toff_t* size) {
                auto* s = static_cast<MemorySource*>(h);
                *base = const_cast<uint8_t*>(s->file->data());
                *size = s->file->size();
                return 1;
            },
            [](thandle_t, void*, toff_t) {});
        uint32_t width = 0, height = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        std::unique_ptr<uint32_t[]> pixels(new uint32_t[size_t(width) * height]);
        TIFFReadRGBAImageOriented(tif, width, height, pixels.get(), ORIENTATION_TOPLEFT, 0);
        benchmark::DoNotOptimize(pixels.get());
        TIFFClose(tif);
    }
}

void LibraryGif(benchmark::State& state)
{
    for (auto _ : state) {
        MemorySource source{&Files().gif};
        int error = 0;
        GifFileType* gif = DGifOpen(&source, [](GifFileType* g, GifByteType* out, int n) {
            return int(static_cast<MemorySource*>(g->UserData)->Read(out, size_t(n)));
        }, &error);
        DGifSlurp(gif);
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &error);
    }
}

void LibraryAvif(benchmark::State& state)
{
    if (Files().avif.empty()) {
        state.SkipWithError("no sample");
        return;
    }
    const AvifPicture container = ReadAvifContainer(Files().avif);
    const std::vector<uint8_t>& colour = *container.colour.tiles.at(0);
    for (auto _ : state) {
        Dav1dSettings settings;
        dav1d_default_settings(&settings);
        settings.max_frame_delay = 1;
        Dav1dContext* context = nullptr;
        dav1d_open(&context, &settings);
        Dav1dData data{};
        uint8_t* buffer = dav1d_data_create(&data, colour.size());
        std::memcpy(buffer, colour.data(), colour.size());
        Dav1dPicture picture{};
        int code = dav1d_send_data(context, &data);
        while ((code = dav1d_get_picture(context, &picture)) == DAV1D_ERR(EAGAIN))
            ;
        benchmark::DoNotOptimize(picture.data[0]);
        dav1d_picture_unref(&picture);
        dav1d_data_unref(&data);
        dav1d_close(&context);
    }
}

// One step of a playing animation as the image control takes it: the next
// frame composed while the one shown is still held, and what a 480 × 270
// view shows made from it. At 30
// frames a second the share of one core is 3 % per millisecond.
void GifFrameStep(benchmark::State& state)
{
    auto decoder = OpenAnimation(RasterFileType::Gif, std::make_shared<const Bytes>(Files().animation));
    Raster shown = decoder->Next().pixels;
    for (auto _ : state) {
        shown = WithoutAlphaWhenOpaque(decoder->Next().pixels);
        DisplayTiles tiles;
        tiles.SetSource(std::make_shared<const RasterSource>(shown));
        tiles.SetShownSize(480, 270);
        Raster seen = tiles.MakePart({0, 0, 480, 270});
        benchmark::DoNotOptimize(seen.Bits0());
    }
}

BENCHMARK(GifFrameStep)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(WebpLoadToFit)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(LibraryWebp)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(TiffLoadToFit)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(LibraryTiff)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(GifLoadToFit)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(LibraryGif)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(AvifLoadToFit)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(LibraryAvif)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
