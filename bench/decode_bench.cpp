// Loading a 24-megapixel JPEG and PNG through the program's codecs and
// through libjpeg-turbo / libpng alone with the same settings (bench_main.cpp
// prints the program/library time ratios at the end).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <jpeglib.h>
}
#include <png.h>

#include "bench/BenchInputs.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/PngCodec.h"

namespace bench {

Raster MakePhoto(int width, int height, int variant)
{
    Raster raster(width, height, PixelFormat::Bit24);
    uint32_t seed = 12345 + uint32_t(variant) * 7919;
    const int shift = variant * 97;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = raster.MutableRow(y);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            int noise = int((seed >> 24) & 15) - 8;
            int wave = (((x + shift) / 7 + y / 11) % 64) - 32;
            int base[3] = {x * 200 / width + 20, y * 180 / height + 40, (x + y + shift) * 150 / (width + height) + 60};
            if (variant % 2)
                std::swap(base[0], base[2]);
            for (int c = 0; c < 3; ++c) {
                int v = base[c] + (c == 1 ? wave / 2 : wave / 4) + noise;
                row[3 * x + c] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return raster;
}

const Inputs& GetInputs()
{
    static const Inputs inputs = [] {
        Inputs in;
        in.photo = MakePhoto(kWidth, kHeight);
        in.jpeg = EncodeJpeg(in.photo);
        in.png = EncodePng(PngFromRaster(in.photo));
        std::printf("Inputs: %dx%d JPEG %zu bytes (quality 90), PNG %zu bytes (RGB 8-bit)\n", kWidth, kHeight,
                    in.jpeg.size(), in.png.size());
        return in;
    }();
    return inputs;
}

} // namespace bench

namespace {

using bench::GetInputs;

void ProgramJpeg(benchmark::State& state)
{
    const auto& file = GetInputs().jpeg;
    for (auto _ : state) {
        Raster raster = DecodeJpeg(file);
        benchmark::DoNotOptimize(raster.Bits0());
    }
}

void LibraryJpeg(benchmark::State& state)
{
    const auto& file = GetInputs().jpeg;
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.dct_method = JDCT_FLOAT;
        cinfo.do_block_smoothing = TRUE;
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        size_t stride = (size_t(cinfo.output_width) * 3 + 3) & ~size_t(3);
        std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * cinfo.output_height]);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels.get() + size_t(cinfo.output_scanline) * stride;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels.get());
    }
}

// What the program keeps of a PNG it shows at natural size: its rows (the
// display converts the part it shows).
void ProgramPng(benchmark::State& state)
{
    const auto& file = GetInputs().png;
    for (auto _ : state) {
        PngImage image = DecodePng(file);
        benchmark::DoNotOptimize(image.rows.data());
    }
}

struct MemoryReader {
    const uint8_t* data;
    size_t pos;
};

// libpng alone, either stopping at the file's own rows (RGB, what DecodePng
// gives) or going on to the 32-bit BGRA pixels PngToRaster gives, with
// libpng's own transforms into one buffer.
void DecodeWithLibpng(benchmark::State& state, bool bgra)
{
    const auto& file = GetInputs().png;
    for (auto _ : state) {
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        MemoryReader reader{file.data(), 0};
        png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, png_size_t n) {
            auto* r = static_cast<MemoryReader*>(png_get_io_ptr(p));
            std::memcpy(out, r->data + r->pos, n);
            r->pos += n;
        });
        png_read_info(png, info);
        png_set_interlace_handling(png);
        if (bgra) {
            png_set_bgr(png);
            png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        }
        png_read_update_info(png, info);
        size_t rowBytes = png_get_rowbytes(png, info);
        uint32_t height = png_get_image_height(png, info);
        std::unique_ptr<uint8_t[]> pixels(new uint8_t[rowBytes * height]);
        std::vector<png_bytep> rows(height);
        for (uint32_t y = 0; y < height; ++y)
            rows[y] = pixels.get() + y * rowBytes;
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels.get());
    }
}

void LibraryPng(benchmark::State& state) { DecodeWithLibpng(state, false); }
void LibraryPngBgra(benchmark::State& state) { DecodeWithLibpng(state, true); }

BENCHMARK(ProgramJpeg)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(LibraryJpeg)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(ProgramPng)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(LibraryPng)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(LibraryPngBgra)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
