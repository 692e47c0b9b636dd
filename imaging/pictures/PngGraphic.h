// A PNG image, held as its rows.
#pragma once

#include "imaging/codecs/PngCodec.h"
#include "imaging/pictures/PictureUtilUnit.h"

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
