// AVIF files made here by Debian's avifenc (some then altered box by box),
// each read through DecodeRasterFile and compared with what avifdec, the
// reference decoder, makes of the same file, cropped, turned and mirrored as
// the file's clap, irot and imir say.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "base/Cancellation.h"
#include "base/Failure.h"
#include "base/Text.h"
#include "imaging/codecs/AvifCodec.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/codecs/RasterCodecs.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kW = 192, kH = 128;   // 3 × 2 tiles of 64 for a grid

Bytes ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

const fs::path& Folder()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("pixavo-avifref-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// Smooth ramps across and down (so that every turn and mirror shows), a
// wave in blue and, with alpha, opacity falling towards the bottom right.
fs::path InputPng(bool alpha, int frame)
{
    PngImage png;
    png.width = kW, png.height = kH, png.colorType = alpha ? 6 : 2, png.rowBytes = size_t(kW) * (alpha ? 4 : 3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int t = (x + 2 * y + 40 * frame) % 128;
            png.rows.insert(png.rows.end(), {uint8_t(x * 255 / (kW - 1)), uint8_t(y * 255 / (kH - 1)),
                                             uint8_t(t < 64 ? 4 * t : 4 * (127 - t))});
            if (alpha)
                png.rows.push_back(uint8_t(255 - (x + y) / 2));
        }
    const fs::path path = Folder() / ("in" + std::to_string(alpha) + std::to_string(frame) + ".png");
    WriteAll(path, EncodePng(png));
    return path;
}

Bytes Avifenc(const std::string& options, bool alpha, int frames)
{
    std::string command = "avifenc " + options;
    for (int f = 0; f < frames; ++f)
        command += " " + InputPng(alpha, f).string();
    const fs::path out = Folder() / "out.avif";
    command += " " + out.string() + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadAll(out);
}

// avifdec's picture of the file, 8 bits a sample, as stored (avifdec
// applies no crop, turn or mirror); empty when avifdec refuses the file.
Raster Avifdec(const Bytes& file)
{
    const fs::path in = Folder() / "ref.avif", out = Folder() / "ref.png";
    WriteAll(in, file);
    fs::remove(out);
    const std::string command = "avifdec --no-strict -d 8 -u bilinear " + in.string() + " " + out.string() + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return Raster();
    return PngToRaster(DecodePng(ReadAll(out)));
}

// The file with bytes at the first place where `at` occurs, `skip` bytes on,
// changed by `change`.
Bytes Altered(Bytes file, const std::string& at, size_t skip, const std::function<void(uint8_t*)>& change)
{
    const Bytes pattern(at.begin(), at.end());
    const auto found = std::search(file.begin(), file.end(), pattern.begin(), pattern.end());
    EXPECT_NE(found, file.end()) << at;
    if (found != file.end())
        change(&*found + skip);
    return file;
}
std::function<void(uint8_t*)> Put(Bytes bytes)
{
    return [bytes](uint8_t* p) { std::memcpy(p, bytes.data(), bytes.size()); };
}

// The file with its picture's second property (pixi, as avifenc writes it)
// marked essential.
Bytes Essential(const Bytes& file) { return Altered(file, std::string("\1\2\x83", 3), 1, Put({0x82})); }

// The picture shown: crop, then quarter turns anti-clockwise, then the
// mirror (0 top and bottom exchanged, 1 left and right), pixel by pixel.
Raster Shown(const Raster& stored, int x0, int y0, int w, int h, int turns, int mirror)
{
    const int bytes = stored.Bits() / 8;
    auto remap = [&](const Raster& in, int outW, int outH, auto from) {
        Raster out(outW, outH, in.Bits() == 32 ? PixelFormat::Bit32 : PixelFormat::Bit24);
        out.SetAlpha(in.Alpha());
        for (int y = 0; y < outH; ++y)
            for (int x = 0; x < outW; ++x) {
                const auto [sx, sy] = from(x, y);
                std::memcpy(out.MutableRow(y) + x * bytes, in.Row(sy) + sx * bytes, size_t(bytes));
            }
        return out;
    };
    Raster r = remap(stored, w, h, [&](int x, int y) { return std::pair{x0 + x, y0 + y}; });
    for (int t = 0; t < turns; ++t) {
        const int iw = r.Width(), ih = r.Height();
        r = remap(r, ih, iw, [&](int x, int y) { return std::pair{iw - 1 - y, x}; });
    }
    const int mw = r.Width(), mh = r.Height();
    if (mirror == 0)
        r = remap(r, mw, mh, [&](int x, int y) { return std::pair{x, mh - 1 - y}; });
    else if (mirror == 1)
        r = remap(r, mw, mh, [&](int x, int y) { return std::pair{mw - 1 - x, y}; });
    return r;
}

// Peak signal to noise over every channel, 99 when equal; a picture
// without alpha counts as opaque.
double Psnr(const Raster& a, const Raster& b)
{
    const int aBytes = a.Bits() / 8, bBytes = b.Bits() / 8;
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            for (int i = 0; i < 4; ++i) {
                const int p = i < aBytes ? a.Row(y)[x * aBytes + i] : 255;
                const int q = i < bBytes ? b.Row(y)[x * bBytes + i] : 255;
                sum += double(p - q) * double(p - q);
            }
    if (sum == 0)
        return 99;
    return 10 * std::log10(255.0 * 255.0 / (sum / (double(a.Height()) * a.Width() * 4)));
}

std::string MessageOf(const Bytes& file)
{
    try {
        DecodeRasterFile(file);
    } catch (const Failure& failure) {
        return Narrow(failure.Message());
    }
    return "decoded";
}

} // namespace

TEST(Avif, ShownAsTheReferenceDecoderReadsIt)
{
    const Bytes lossy = Avifenc("-y 420 --min 10 --max 20", false, 1);
    const Bytes limited = Avifenc("-y 420 -r limited --min 10 --max 20", false, 1);
    const Bytes grid = Avifenc("-y 420 --grid 3x2 --min 10 --max 20", true, 1);
    const Bytes sequence = Avifenc("-y 444 --min 10 --max 20", true, 2);
    const Bytes cropped = Avifenc("-l --crop 20,10,100,64", false, 1);
    struct Case {
        const char* property;
        Bytes file;
        int width, height;   // as shown
        int cropX = 0, cropY = 0, turns = 0, mirror = -1;
        double psnr = 45;   // at least, against the reference; 99: exact
    };
    const Case cases[] = {
        {"8 bits 4:2:0", lossy, kW, kH},
        {"10 bits 4:4:4", Avifenc("-d 10 -y 444 --min 10 --max 20", false, 1), kW, kH},
        {"lossless, identity matrix", Avifenc("-l", false, 1), kW, kH, 0, 0, 0, -1, 99},
        {"monochrome", Avifenc("-y 400 --min 10 --max 20", false, 1), kW, kH},
        {"limited range", limited, kW, kH},
        {"nclx full range over a limited sequence header", Altered(limited, "colrnclx", 14, [](uint8_t* p) { *p |= 0x80; }), kW, kH},
        {"nclx matrix over the sequence header's", Altered(lossy, "colrnclx", 12, Put({0, 1})), kW, kH},
        {"lossless alpha", Avifenc("-l", true, 1), kW, kH, 0, 0, 0, -1, 99},
        {"premultiplied alpha", Avifenc("-y 444 -p --min 0 --max 0", true, 1), kW, kH},
        {"irot 1", Avifenc("-l --irot 1", false, 1), kH, kW, 0, 0, 1, -1, 99},
        {"irot 2", Avifenc("-l --irot 2", false, 1), kW, kH, 0, 0, 2, -1, 99},
        {"irot 3 with alpha", Avifenc("-l --irot 3", true, 1), kH, kW, 0, 0, 3, -1, 99},
        {"imir 0", Avifenc("-l --imir 0", false, 1), kW, kH, 0, 0, 0, 0, 99},
        {"imir 1", Avifenc("-l --imir 1", true, 1), kW, kH, 0, 0, 0, 1, 99},
        {"irot 1 then imir 0", Avifenc("-l --irot 1 --imir 0", false, 1), kH, kW, 0, 0, 1, 0, 99},
        {"irot 3 then imir 1", Avifenc("-l --irot 3 --imir 1", true, 1), kH, kW, 0, 0, 3, 1, 99},
        {"clap", Avifenc("-y 420 --min 10 --max 20 --crop 20,10,100,64", false, 1), 100, 64, 20, 10},
        {"clap at odd offsets", Avifenc("-l --crop 21,11,99,63", true, 1), 99, 63, 21, 11, 0, -1, 99},
        {"clap, then irot 1 and imir 1", Avifenc("-l --crop 20,10,100,64 --irot 1 --imir 1", false, 1), 64, 100, 20, 10, 1, 1, 99},
        {"clap not of whole pixels: ignored", Altered(cropped, "clap", 4, Put({0, 0, 0, 201, 0, 0, 0, 2})), kW, kH, 0, 0, 0, -1, 99},
        {"clap outside the picture: ignored", Altered(cropped, "clap", 20, Put({0, 0, 0, 100, 0, 0, 0, 1})), kW, kH, 0, 0, 0, -1, 99},
        {"grid of 3 x 2 with an alpha grid", grid, kW, kH},
        {"grid cut at the right and bottom",
         Altered(Altered(grid, std::string("\0\0\1\2\0\xC0\0\x80", 8), 4, Put({0, 180, 0, 120})), "ispe", 8,
                 Put({0, 0, 0, 180, 0, 0, 0, 120})),
         180, 120},
        {"a1op", Essential(Altered(lossy, "pixi", 0, Put({'a', '1', 'o', 'p', 0}))), kW, kH},
        {"lsel", Essential(Altered(lossy, "pixi", 0, Put({'l', 's', 'e', 'l', 0, 0}))), kW, kH},
        {"image sequence with alpha", sequence, kW, kH},
        {"image sequence of tracks alone", Altered(Altered(sequence, "meta", 0, Put({'f', 'r', 'e', 'e'})), "avif", 0, Put({'m', 'i', 'f', '1'})), kW, kH},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.property);
        const Raster stored = Avifdec(c.file);
        ASSERT_FALSE(stored.Empty());
        const bool sideways = c.turns % 2 == 1;
        const Raster expected = Shown(stored, c.cropX, c.cropY, sideways ? c.height : c.width,
                                      sideways ? c.width : c.height, c.turns, c.mirror);
        EXPECT_EQ(RasterFileSize(c.file).width, c.width);
        EXPECT_EQ(RasterFileSize(c.file).height, c.height);
        // Read as the picture waited for and as work ahead (one thread).
        const RasterFile now = DecodeRasterFile(c.file);
        CancelFlag flag;
        const CancelScope scope(flag);
        const RasterFile ahead = DecodeRasterFile(c.file);
        for (const RasterFile* file : {&now, &ahead}) {
            ASSERT_EQ(file->pixels.Width(), c.width);
            ASSERT_EQ(file->pixels.Height(), c.height);
            EXPECT_GE(Psnr(file->pixels, expected), c.psnr);
        }
        flag.Cancel();
        EXPECT_THROW(DecodeRasterFile(c.file), WorkCancelled);
    }
    // A sequence tells its frames (which a save of one picture leaves out),
    // shown from its tracks or from the still picture beside them.
    EXPECT_EQ(DecodeRasterFile(sequence).frameCount, 2);
    EXPECT_EQ(DecodeRasterFile(Altered(sequence, "ftypavis", 4, Put({'a', 'v', 'i', 'f'}))).frameCount, 2);
    EXPECT_EQ(DecodeRasterFile(lossy).frameCount, 1);

    // Refused as the reference decoder refuses them, in words.
    struct Refusal {
        const char* what;
        Bytes file;
        std::string message;
        bool byReference = true;   // avifdec refuses it too
    };
    const std::string invalid = "AVIF image is not valid: ";
    const Refusal refusals[] = {
        // Refused before the frame is made: its size is bounded by the declared one.
        {"declared 16 x 16", Altered(lossy, "ispe", 8, Put({0, 0, 0, 16, 0, 0, 0, 16})),
         invalid + "the picture is larger than its declared size", false},
        {"a layer the picture does not have", Essential(Altered(lossy, "pixi", 0, Put({'l', 's', 'e', 'l', 0, 1}))),
         invalid + "the AV1 data holds no picture"},
        {"a layer not marked essential", Altered(lossy, "pixi", 0, Put({'l', 's', 'e', 'l', 0, 0})),
         invalid + "the operating point or layer of a picture is not marked essential"},
        {"a grid short of a tile", Altered(grid, "dimg", 6, Put({0, 5})),
         invalid + "a grid has fewer tiles than its rows and columns"},
        {"damaged AV1 data", Altered(lossy, "mdat", 4, Put({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})),
         invalid + "the AV1 data cannot be decoded"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(Avifdec(r.file).Empty(), r.byReference);
        EXPECT_EQ(MessageOf(r.file), r.message);
    }
    fs::remove_all(Folder());
}
