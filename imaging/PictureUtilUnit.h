// Pictures and their five graphic kinds (raster, JPEG image, PNG image, icon,
// metafile): natural size, stretched drawing, load, save, assignment, and the
// conversions between kinds.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "imaging/DisplaySource.h"
#include "imaging/IconCodec.h"
#include "imaging/ImageFormats.h"
#include "imaging/JpegMetadata.h"
#include "imaging/PngCodec.h"
#include "imaging/Raster.h"
#include "imaging/Transform.h"

class TGraphic {
public:
    virtual ~TGraphic() = default;
    virtual GraphicKind Kind() const = 0;
    // The class name used in conversion messages ("Cannot assign a %s to a %s").
    virtual const wchar_t* KindName() const = 0;
    virtual bool Empty() const = 0;
    virtual int Width() const = 0;          // natural size in pixels
    virtual int Height() const = 0;
    // Draws stretched into the rectangle (icons at natural size at its top-left).
    virtual void Draw(HDC dc, const RECT& rect) const = 0;
    // Reads the whole file's bytes; fails with the kind's own message.
    virtual void LoadFromBytes(std::vector<uint8_t> bytes) = 0;
    // The bytes of the file this graphic writes for the given lower-case
    // extension (".wmf" matters to metafiles only).
    virtual std::vector<uint8_t> SaveToBytes(const std::wstring& extension) const = 0;
    // A copy of the same kind; pixel data are shared, not copied.
    virtual std::unique_ptr<TGraphic> Clone() const = 0;
    // Conversion from another graphic; fails with ConversionError.
    virtual void Assign(const TGraphic& source) = 0;
    // The decoded pixels when the kind holds a raster (raster, JPEG, PNG),
    // shared with the graphic (a PNG image's are converted from its rows
    // afresh); an empty raster for icons and metafiles.
    virtual Raster Pixels() const { return {}; }
    // What the display shows a raster kind from (shared by the graphic's
    // copies); null for icons and metafiles.
    virtual std::shared_ptr<const DisplaySource> Display() const { return nullptr; }

    // Writes SaveToBytes to the file through a temporary file beside it,
    // then replaces the file ("Cannot create file %s", "Stream write error").
    void SaveToFile(const std::wstring& fileName) const;

    // The metadata of the JPEG file the pixels came from, if any. It travels
    // with the pixels through conversions, turns and resizes, and a JPEG
    // image compressed anew writes it into its file.
    const std::shared_ptr<const JpegMetadata>& Metadata() const { return metadata_; }
    void SetMetadata(std::shared_ptr<const JpegMetadata> metadata) { metadata_ = std::move(metadata); }

protected:
    [[noreturn]] void CannotAssign(const TGraphic& source) const;

private:
    std::shared_ptr<const JpegMetadata> metadata_;
};

class TBitmapGraphic : public TGraphic {
public:
    TBitmapGraphic() = default;
    explicit TBitmapGraphic(Raster raster) { SetRaster(std::move(raster)); }
    explicit TBitmapGraphic(std::shared_ptr<const RasterSource> source) : source_(std::move(source)) {}
    GraphicKind Kind() const override { return GraphicKind::Raster; }
    const wchar_t* KindName() const override { return L"TBitmap"; }
    bool Empty() const override { return GetRaster().Empty(); }
    int Width() const override { return GetRaster().Width(); }
    int Height() const override { return GetRaster().Height(); }
    void Draw(HDC dc, const RECT& rect) const override;
    void LoadFromBytes(std::vector<uint8_t> bytes) override;
    std::vector<uint8_t> SaveToBytes(const std::wstring& extension) const override;
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TBitmapGraphic>(*this); }
    void Assign(const TGraphic& source) override;
    Raster Pixels() const override { return GetRaster(); }
    std::shared_ptr<const DisplaySource> Display() const override { return source_; }
    const Raster& GetRaster() const;
    void SetRaster(Raster raster) { source_ = std::make_shared<const RasterSource>(std::move(raster)); }

private:
    std::shared_ptr<const RasterSource> source_;
};

class TJpegImage : public TGraphic {
public:
    TJpegImage() = default;
    explicit TJpegImage(std::shared_ptr<const JpegSource> file) : file_(std::move(file)) {}
    GraphicKind Kind() const override { return GraphicKind::Jpeg; }
    const wchar_t* KindName() const override { return L"TJPEGImage"; }
    bool Empty() const override;
    int Width() const override;
    int Height() const override;
    void Draw(HDC dc, const RECT& rect) const override;
    void LoadFromBytes(std::vector<uint8_t> bytes) override;
    // Unchanged since loading: the loaded bytes, byte for byte.
    std::vector<uint8_t> SaveToBytes(const std::wstring& extension) const override;
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TJpegImage>(*this); }
    void Assign(const TGraphic& source) override;
    Raster Pixels() const override;     // decoded on first use, then kept
    std::shared_ptr<const DisplaySource> Display() const override;

private:
    std::shared_ptr<const JpegSource> file_;        // as loaded; null after assigning a raster
    std::shared_ptr<const RasterSource> assigned_;  // the raster assigned
};

class TPngImage : public TGraphic {
public:
    TPngImage() = default;
    explicit TPngImage(std::shared_ptr<const PngSource> source) : source_(std::move(source)) {}
    GraphicKind Kind() const override { return GraphicKind::Png; }
    const wchar_t* KindName() const override { return L"TPNGObject"; }
    bool Empty() const override { return !source_ || source_->Width() == 0 || source_->Height() == 0; }
    int Width() const override { return source_ ? source_->Width() : 0; }
    int Height() const override { return source_ ? source_->Height() : 0; }
    // Blended over what the surface shows where the image is transparent.
    void Draw(HDC dc, const RECT& rect) const override;
    void LoadFromBytes(std::vector<uint8_t> bytes) override;
    std::vector<uint8_t> SaveToBytes(const std::wstring& extension) const override;
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TPngImage>(*this); }
    void Assign(const TGraphic& source) override;
    // 32-bit, straight alpha when transparent: made from the rows on each
    // call, so the picture is held once, as its rows.
    Raster Pixels() const override;
    std::shared_ptr<const DisplaySource> Display() const override { return source_; }
    // The rows (decoded first when the picture was read for display only).
    const PngImage* Data() const { return source_ ? &source_->Image() : nullptr; }

private:
    std::shared_ptr<const PngSource> source_;
};

class TIconGraphic : public TGraphic {
public:
    GraphicKind Kind() const override { return GraphicKind::Icon; }
    const wchar_t* KindName() const override { return L"TIcon"; }
    bool Empty() const override { return !image_; }
    int Width() const override;
    int Height() const override;
    // At natural size at the rectangle's top-left corner.
    void Draw(HDC dc, const RECT& rect) const override;
    void LoadFromBytes(std::vector<uint8_t> bytes) override;
    std::vector<uint8_t> SaveToBytes(const std::wstring& extension) const override;   // the icon file as loaded
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TIconGraphic>(*this); }
    void Assign(const TGraphic& source) override;

private:
    struct Image;
    std::shared_ptr<const Image> image_;
};

class TMetafileGraphic : public TGraphic {
public:
    GraphicKind Kind() const override { return GraphicKind::Metafile; }
    const wchar_t* KindName() const override { return L"TMetafile"; }
    bool Empty() const override { return !meta_; }
    int Width() const override;
    int Height() const override;
    void Draw(HDC dc, const RECT& rect) const override;
    void LoadFromBytes(std::vector<uint8_t> bytes) override;
    // ".wmf": an old-style metafile with the placeable header; else enhanced.
    std::vector<uint8_t> SaveToBytes(const std::wstring& extension) const override;
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TMetafileGraphic>(*this); }
    void Assign(const TGraphic& source) override;
    // Records a drawing: the frame is the screen's display area (0.01 mm).
    static TMetafileGraphic Record(const TGraphic& source);
    HENHMETAFILE Handle() const;

private:
    struct Meta;
    std::shared_ptr<const Meta> meta_;
};

// A picture owns at most one graphic.
class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture& other) { Assign(other); }
    TPicture& operator=(const TPicture& other) { Assign(other); return *this; }
    TPicture(TPicture&&) noexcept = default;
    TPicture& operator=(TPicture&&) noexcept = default;

    TGraphic* Graphic() const { return graphic_.get(); }
    // Copies the graphic into a new object of its kind (pixel data shared).
    void SetGraphic(const TGraphic* graphic);
    void TakeGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
    void Assign(const TPicture& other) { SetGraphic(other.Graphic()); }
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

private:
    std::unique_ptr<TGraphic> graphic_;
};

// A new, empty graphic of a kind.
std::unique_ptr<TGraphic> NewGraphic(GraphicKind kind);

// Registers the PNG kind (extension "PNG", "Portable Network Graphics") at
// start and removes it at the end, as a scope.
class PngFormatRegistration {
public:
    PngFormatRegistration();
    ~PngFormatRegistration();
};

void LoadPictureFromFile(TPicture& picture, const std::wstring& fileName);
// The same for showing the picture at the size the rule gives: a raster kind
// is decoded only as far as that needs (a JPEG at a reduced scale, a PNG into
// a reduced level without keeping its rows), but all of its data is read, so
// data that cannot be decoded fails here with the decoder's message. The rest
// is decoded when something needs it.
void LoadPictureForDisplay(TPicture& picture, const std::wstring& fileName, const ShownSizeRule& shownSize);
// A graphic for a picture prepared from its file (PreparePicture).
std::unique_ptr<TGraphic> GraphicFromPrepared(const PreparedPicture& prepared);
// The whole file's bytes ("Cannot open file %s", "Stream read error").
std::vector<uint8_t> ReadWholeFile(const std::wstring& fileName);
// Writes the bytes into a temporary file beside the file, flushed to the
// disk, which then replaces the file: a failure leaves the old file as it
// was and no temporary file ("Cannot create file %s", "Stream write error").
void WriteFileReplacing(const std::wstring& fileName, const std::vector<uint8_t>& bytes);
// Test seam: while set, a save writes this many bytes of its file and then
// fails as a full disk does.
std::optional<size_t>& SaveWriteLimit();
// The graphic drawn at width × height onto white (24 bits per pixel).
Raster DrawOnWhite(const TGraphic& graphic, int width, int height);
void ConvertPictureToBitmap(TPicture& picture);
void ConvertPictureToMetafile(TPicture& picture);
void ConvertPicture(TPicture& picture, GraphicKind target);
void SaveGraphicToFile(const TGraphic& graphic, const std::wstring& fileName);
// The file name made full (relative to the current folder); the name as
// given when that fails.
std::wstring FullPathName(const std::wstring& fileName);
// The screen's bits per pixel and size (the reference device of metafiles).
int ScreenBitsPerPixel();
// Draws the raster's pixels stretched into the rectangle (rows and columns
// dropped or repeated; halftoned onto a surface of 8 bits or fewer that has
// fewer bits than the raster).
void DrawRaster(HDC dc, const RECT& rect, const Raster& raster);
// The graphic drawn stretched into a new white 24-bit raster of width ×
// height (an icon at its natural size in the top-left corner); empty when a
// side is not positive.
Raster DrawOnWhite(const TGraphic& graphic, int width, int height);

// A new 24-bit raster: the graphic at its natural size on white (transparent
// and undrawn parts white), turned or flipped, with the graphic's JPEG
// metadata made to fit (orientation 1, new size). The graphic is not changed.
std::unique_ptr<TBitmapGraphic> TransformGraphic(const TGraphic& graphic, TransformMode mode);
// A new raster of exactly width × height: rasters and JPEG images stretched
// by dropping or repeating rows and columns, PNG images and metafiles by
// their own stretched drawing onto white, icons drawn on white at natural
// size first; the graphic's JPEG metadata follows with the new size. A side
// of 0 (or less) fails with "Invalid Image Size Constraints". The graphic is
// not changed.
std::unique_ptr<TBitmapGraphic> ResizeGraphic(const TGraphic& graphic, int width, int height);
