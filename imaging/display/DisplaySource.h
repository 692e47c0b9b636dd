// The pixels a raster picture (a bitmap, a JPEG or a PNG image) holds, and
// what the display reads from them: parts of the picture at natural size,
// and reduced levels (imaging/pixels/Levels.h) for showing it well below that. A
// picture is decoded only as far as it is needed: a JPEG keeps its file and
// decodes the level it is shown from, and all of itself (with the decoder
// settings pictures are loaded with) when something needs the whole; a PNG
// shown reduced keeps its file and the level, and its rows once they are
// needed, but never both its rows and the file, nor its rows twice.
//
// A source is made on one thread and then used by one thread at a time: its
// caches are not locked.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "imaging/codecs/ImageFormats.h"
#include "imaging/codecs/JpegMetadata.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/colour/ColourProfile.h"
#include "imaging/pixels/Raster.h"

class DisplaySource {
public:
    virtual ~DisplaySource() = default;
    int Width() const { return width_; }
    int Height() const { return height_; }
    virtual bool Transparent() const = 0;
    // The colours the pixels' numbers stand for, as the file says; null when
    // it says nothing (imaging/colour/ColourProfile.h). What is shown is converted
    // from them (imaging/display/DisplayTiles.h); the pixels given here never are.
    const std::shared_ptr<const ColourProfile>& Colour() const { return colour_; }

    // Pixels of the picture at natural size covering at least rect, 24 or 32
    // bits per pixel (straight alpha when transparent).
    virtual PixelWindow Region(const PixelRect& rect) const = 0;
    // The picture at natural size when it can be drawn as it is (no alpha),
    // decoded if need be; empty for pictures that cannot.
    virtual Raster Whole() const { return {}; }
    // Whether Whole gives the picture (telling without decoding anything).
    virtual bool HasWhole() const { return false; }
    // Level `level` ≥ 1, colours premultiplied when transparent. Made on
    // first use and kept until two other levels have been asked for.
    Raster Level(int level) const;
    // Decodes what showing the picture from that level needs, so that data
    // which cannot be decoded fails here rather than when it is painted.
    virtual void Prepare(int level) const;
    // What is kept in memory, in bytes (the file, pixels and levels).
    virtual size_t MemoryUse() const;

protected:
    virtual Raster MakeLevel(int level) const = 0;
    // A level made elsewhere (while decoding), kept as if made here.
    void KeepLevel(int level, Raster pixels) const;

    int width_ = 0, height_ = 0;
    std::shared_ptr<const ColourProfile> colour_;

private:
    mutable std::vector<std::pair<int, Raster>> levels_;   // most recently used first
};

// A picture held as a raster, or (for a derived source that can decode its
// levels straight from its file) an opaque picture whose raster is decoded
// only once something needs it.
class RasterSource : public DisplaySource {
public:
    explicit RasterSource(Raster raster, std::shared_ptr<const ColourProfile> colour = nullptr);
    // The raster, decoded first when it was left for later.
    const Raster& Pixels() const;
    bool Transparent() const override { return raster_.Alpha() == AlphaMode::Straight; }
    PixelWindow Region(const PixelRect& rect) const override;
    Raster Whole() const override;
    bool HasWhole() const override { return !Transparent(); }
    size_t MemoryUse() const override;

protected:
    // An opaque picture of that size whose raster DecodePixels gives.
    RasterSource(int width, int height);
    virtual Raster DecodePixels() const { return {}; }
    bool Decoded() const { return decoded_; }
    Raster MakeLevel(int level) const override;

private:
    mutable Raster raster_;
    mutable bool decoded_ = true;
};

// A JPEG file, decoded as far as it is needed, and shown upright: its pixels
// laid out as its Exif orientation says (the size is the upright size).
class JpegSource : public DisplaySource {
public:
    // Reads the frame header ("JPEG error #%d" when it cannot) and the Exif
    // orientation and colour profile.
    explicit JpegSource(std::shared_ptr<const std::vector<uint8_t>> file);
    // The same with the file's metadata already read: the orientation and
    // the colour profile (JpegColourProfile) are taken from it.
    JpegSource(std::shared_ptr<const std::vector<uint8_t>> file, const JpegMetadata& metadata);
    const std::vector<uint8_t>& File() const { return *file_; }
    const std::shared_ptr<const std::vector<uint8_t>>& SharedFile() const { return file_; }
    // What was applied to the file's pixels to show them upright.
    Orientation Upright() const { return upright_; }
    // The whole picture upright at full size with the floating-point DCT
    // (DecodeJpeg), decoded on first use and kept.
    Raster Full() const;
    bool FullDecoded() const { return bool(full_); }
    bool Transparent() const override { return false; }
    PixelWindow Region(const PixelRect& rect) const override { return {Full(), 0, 0}; }
    Raster Whole() const override { return Full(); }
    bool HasWhole() const override { return true; }
    size_t MemoryUse() const override;

protected:
    // From the full picture once it is decoded; before, decoded at the
    // library's nearest scale (1/2, 1/4, 1/8), halved further if need be and
    // then laid out upright, so only the level is turned.
    Raster MakeLevel(int level) const override;

private:
    std::shared_ptr<const std::vector<uint8_t>> file_;
    Orientation upright_ = Orientation::Identity;
    mutable std::shared_ptr<const Raster> full_;
};

// A PNG image: its rows (PngImage), or its file and a level until the rows
// are needed. Its colours are what the file says (PngColourProfile).
class PngSource : public DisplaySource {
public:
    explicit PngSource(std::shared_ptr<const PngImage> image);
    // Reads the whole file, keeping level `level` of its pixels and the file
    // instead of the rows; fails as DecodePng would.
    PngSource(std::shared_ptr<const std::vector<uint8_t>> file, int level);
    // The rows: decoded from the kept file on first use, which is then let go.
    const PngImage& Image() const;
    // Everything of the image but its rows.
    const PngImage& Header() const { return header_; }
    bool Transparent() const override { return header_.HasTransparency(); }
    PixelWindow Region(const PixelRect& rect) const override;
    void Prepare(int level) const override;
    size_t MemoryUse() const override;

protected:
    Raster MakeLevel(int level) const override;

private:
    PngImage header_;   // without rows
    mutable std::shared_ptr<const PngImage> image_;
    mutable std::shared_ptr<const std::vector<uint8_t>> file_;
};

// The size a picture of a natural size will be shown at.
using ShownSizeRule = std::function<std::pair<int, int>(int width, int height)>;

// A raster picture made ready for display from its file's bytes: decoded as
// far as showing it at the size the rule gives needs (so data that cannot be
// decoded fails here), with its JPEG metadata; a JPEG upright, the rule
// asked with its upright size. Icons and metafiles are not
// raster pictures: they are refused (Failure).
struct PreparedPicture {
    GraphicKind kind = GraphicKind::Raster;
    std::shared_ptr<const DisplaySource> source;
    std::shared_ptr<const JpegMetadata> metadata;
};
PreparedPicture PreparePicture(GraphicKind kind, std::vector<uint8_t> bytes, const ShownSizeRule& shownSize);
