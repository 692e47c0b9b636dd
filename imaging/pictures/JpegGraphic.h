// A JPEG image: the file as loaded, decoded as far as it is needed, or a raster assigned.
#pragma once

#include "imaging/pictures/PictureUtilUnit.h"

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
    // Unchanged since loading: the loaded bytes, byte for byte. Assigned
    // pixels that are a JPEG file turned: that file's blocks rearranged
    // (TransformJpeg) when the sides allow it, else compressed anew.
    std::vector<uint8_t> SaveToBytes(const std::wstring& extension) const override;
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TJpegImage>(*this); }
    void Assign(const TGraphic& source) override;
    Raster Pixels() const override;     // decoded on first use, then kept
    std::shared_ptr<const DisplaySource> Display() const override;
    // As loaded: the file, laid out upright.
    std::optional<TurnedJpeg> Turned() const override;

private:
    std::shared_ptr<const JpegSource> file_;        // as loaded; null after assigning a raster
    std::shared_ptr<const RasterSource> assigned_;  // the raster assigned
};
