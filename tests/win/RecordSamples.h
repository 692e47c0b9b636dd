// Files that hold more than their pixels, written by the libraries
// themselves: pictures with a profile, Exif and XMP, animations with their
// timing, TIFFs of several pages of several kinds; and how to tell where a
// picture's marked corner went.
#pragma once

#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/colour/ColourProfile.h"
#include "imaging/pixels/Raster.h"
#include "tests/FormatSamples.h"
#include "tests/host/jpeg_metadata_material.h"

namespace record_samples {

// A grey picture with a red square in its top-left corner.
inline Raster Photo(int width, int height, uint8_t shade)
{
    Raster raster(width, height, PixelFormat::Bit24);
    const int side = std::max(1, std::min(width, height) / 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = raster.MutableRow(y) + 3 * x;
            const bool marked = x < side && y < side;
            p[0] = marked ? 0 : shade;
            p[1] = marked ? 0 : shade;
            p[2] = marked ? 255 : shade;
        }
    return raster;
}

// The corner whose pixel differs most from the middle one: "TL", "TR", "BR", "BL".
inline std::string MarkedCorner(const Raster& raster)
{
    const int w = raster.Width(), h = raster.Height();
    const PaletteEntry middle = raster.PixelAt(w / 2, h / 2);
    const std::pair<const char*, POINT> corners[] = {{"TL", {0, 0}}, {"TR", {w - 1, 0}}, {"BR", {w - 1, h - 1}},
                                                     {"BL", {0, h - 1}}};
    std::string best;
    int most = 60;
    for (auto [name, at] : corners) {
        const PaletteEntry p = raster.PixelAt(at.x, at.y);
        const int difference = std::abs(p.red - middle.red) + std::abs(p.green - middle.green) +
                               std::abs(p.blue - middle.blue);
        if (difference > most) {
            most = difference;
            best = name;
        }
    }
    return best;
}

inline std::vector<uint8_t> Profile() { return MakeIccProfile(kSrgbPrimaries, ToneCurve{2.2}); }

// An Exif block (its TIFF structure) as a camera writes it, with a thumbnail
// linked unless it describes pixels written anew.
inline std::vector<uint8_t> ExifBlock(int orientation, int width, int height, bool thumbnail = true)
{
    jpeg_material::ExifFields fields;
    fields.orientation = orientation;
    fields.pixelX = uint32_t(width);
    fields.pixelY = uint32_t(height);
    fields.thumbnail = thumbnail;
    const std::vector<uint8_t> payload = jpeg_material::ExifPayload(fields);
    return {payload.begin() + 6, payload.end()};
}

inline std::vector<uint8_t> Xmp(int orientation, int width, int height)
{
    const std::string text =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
        "tiff:Orientation=\"" + std::to_string(orientation) + "\" exif:PixelXDimension=\"" + std::to_string(width) +
        "\" exif:PixelYDimension=\"" + std::to_string(height) + "\"/></rdf:RDF></x:xmpmeta>";
    return {text.begin(), text.end()};
}

// An animated WebP by libwebp's own animation encoder: each frame for its
// duration, the loop count, the profile and XMP in their chunks.
inline std::vector<uint8_t> AnimatedWebp(const std::vector<Raster>& frames, const std::vector<int>& durations,
                                         int loops, bool lossless, const std::vector<uint8_t>& icc,
                                         const std::vector<uint8_t>& xmp)
{
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    options.anim_params.loop_count = loops;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(frames[0].Width(), frames[0].Height(), &options);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = lossless;
    int timestamp = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        WebPPicture picture;
        WebPPictureInit(&picture);
        picture.use_argb = 1;
        picture.width = frames[i].Width();
        picture.height = frames[i].Height();
        WebPPictureImportBGR(&picture, frames[i].Bits0(), int(frames[i].Stride()));
        WebPAnimEncoderAdd(encoder, &picture, timestamp, &config);
        WebPPictureFree(&picture);
        timestamp += durations[i];
    }
    WebPAnimEncoderAdd(encoder, nullptr, timestamp, nullptr);
    WebPData data;
    WebPDataInit(&data);
    WebPAnimEncoderAssemble(encoder, &data);
    WebPAnimEncoderDelete(encoder);
    WebPMux* mux = WebPMuxCreate(&data, 1);
    const WebPData profile{icc.data(), icc.size()}, packet{xmp.data(), xmp.size()};
    if (!icc.empty())
        WebPMuxSetChunk(mux, "ICCP", &profile, 1);
    if (!xmp.empty())
        WebPMuxSetChunk(mux, "XMP ", &packet, 1);
    WebPData out;
    WebPDataInit(&out);
    WebPMuxAssemble(mux, &out);
    std::vector<uint8_t> bytes(out.bytes, out.bytes + out.size);
    WebPDataClear(&out);
    WebPDataClear(&data);
    WebPMuxDelete(mux);
    return bytes;
}

// A GIF of frames of width × height, each of one colour index of grey, red
// and blue with a red square top-left, shown 100 ms each without end.
inline std::vector<uint8_t> AnimatedGif(int width, int height, int frames)
{
    std::vector<uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, format_samples::Collect, &error);
    GifColorType colours[4] = {{128, 128, 128}, {255, 0, 0}, {0, 0, 255}, {0, 160, 0}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, width, height, 2, 0, map);
    const GifByteType loop[] = {1, 0, 0};
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
    EGifPutExtensionBlock(gif, 3, loop);
    EGifPutExtensionTrailer(gif);
    std::vector<GifPixelType> row(static_cast<size_t>(width));
    for (int f = 0; f < frames; ++f) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 10, NO_TRANSPARENT_COLOR};
        GifByteType block[4];
        EGifGCBToExtension(&gcb, block);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block);
        EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                row[size_t(x)] = GifPixelType(x < height / 4 && y < height / 4 ? 1 : f % 2 ? 2 : 3);
            EGifPutLine(gif, row.data(), width);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return out;
}

// A page of a TIFF: colour (RGB), grey or bilevel (black where the picture is
// dark), in a compression, with a profile and XMP when given.
struct TiffPageSample {
    Raster pixels;
    enum Kind { Colour, Grey, Bilevel } kind;
    uint16_t compression;
    std::vector<uint8_t> icc, xmp;
};

// The pages written by libtiff into the file.
inline void WriteTiff(const std::wstring& path, const std::vector<TiffPageSample>& pages)
{
    TIFF* tif = TIFFOpenW(path.c_str(), "w");
    for (const TiffPageSample& page : pages) {
        const uint32_t w = uint32_t(page.pixels.Width()), h = uint32_t(page.pixels.Height());
        const bool colour = page.kind == TiffPageSample::Colour, bilevel = page.kind == TiffPageSample::Bilevel;
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(colour ? 3 : 1));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(bilevel ? 1 : 8));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                     uint16_t(colour ? PHOTOMETRIC_RGB : bilevel ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK));
        TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, uint32_t(FILETYPE_PAGE));
        if (!page.icc.empty())
            TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(page.icc.size()), page.icc.data());
        if (!page.xmp.empty())
            TIFFSetField(tif, TIFFTAG_XMLPACKET, uint32_t(page.xmp.size()), page.xmp.data());
        std::vector<uint8_t> row(w * 3);
        for (uint32_t y = 0; y < h; ++y) {
            std::fill(row.begin(), row.end(), 0);
            for (uint32_t x = 0; x < w; ++x) {
                const PaletteEntry p = page.pixels.PixelAt(int(x), int(y));
                const int grey = (p.red * 299 + p.green * 587 + p.blue * 114) / 1000;
                if (colour) {
                    row[3 * x] = p.red, row[3 * x + 1] = p.green, row[3 * x + 2] = p.blue;
                } else if (bilevel) {
                    row[x / 8] |= uint8_t(grey < 128 ? 0x80 >> (x % 8) : 0);
                } else {
                    row[x] = uint8_t(grey);
                }
            }
            TIFFWriteScanline(tif, row.data(), y, 0);
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
}

} // namespace record_samples
