// Pictures: the graphic of one of the kinds (raster, JPEG image, PNG image,
// icon, metafile, each in a module of its own) with its natural size,
// stretched drawing, load, save and assignment, and the picture that owns one.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/codecs/ImageFormats.h"
#include "imaging/codecs/JpegMetadata.h"
#include "imaging/display/DisplaySource.h"
#include "imaging/pictures/LosslessAhead.h"
#include "imaging/pictures/PictureRecord.h"
#include "imaging/pixels/Orientation.h"
#include "imaging/pixels/Raster.h"

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

    // What the pixels were read with and the edits made since
    // (imaging/pictures/PictureRecord.h): set when a file is read, it travels with the
    // pixels through conversions, turns and resizes, and every save writes
    // what it keeps. Null for pictures not read from a file.
    const std::shared_ptr<const PictureRecord>& Record() const { return record_; }
    void SetRecord(std::shared_ptr<const PictureRecord> record) { record_ = std::move(record); }
    // The colours the pixels stand for (DisplaySource::Colour); they travel
    // with the pixels like the metadata.
    std::shared_ptr<const ColourProfile> Colour() const
    {
        const auto display = Display();
        return display ? display->Colour() : nullptr;
    }

    // Set while the pixels are a JPEG file's, only turned and flipped since
    // it was read: the file and what lays its stored pixels out as these. A
    // JPEG image saved from such pixels rearranges the file's compressed
    // blocks instead of compressing them again, where the sides allow it.
    // It travels with the pixels through turns and conversions to and from
    // a raster; any other edit makes pixels without it. The rearranged
    // blocks may be under way already (LosslessAhead).
    struct TurnedJpeg {
        std::shared_ptr<const std::vector<uint8_t>> file;
        Orientation transform = Orientation::Identity;
        std::shared_ptr<const LosslessAhead::Preparation> prepared;
    };
    virtual std::optional<TurnedJpeg> Turned() const { return turned_; }
    void SetTurned(std::optional<TurnedJpeg> turned) { turned_ = std::move(turned); }

protected:
    [[noreturn]] void CannotAssign(const TGraphic& source) const;

private:
    std::shared_ptr<const PictureRecord> record_;
    std::optional<TurnedJpeg> turned_;
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
