// A raster graphic (Windows bitmap files).
#pragma once

#include "imaging/pictures/PictureUtilUnit.h"

class TBitmapGraphic : public TGraphic {
public:
    TBitmapGraphic() = default;
    explicit TBitmapGraphic(Raster raster) { SetRaster(std::move(raster)); }
    explicit TBitmapGraphic(std::shared_ptr<const RasterSource> source) : source_(std::move(source)) {}
    GraphicKind Kind() const override { return GraphicKind::Raster; }
    const wchar_t* KindName() const override { return L"TBitmap"; }
    // From the source, whose pixels may not be decoded yet.
    bool Empty() const override { return Width() == 0 || Height() == 0; }
    int Width() const override { return source_ ? source_->Width() : 0; }
    int Height() const override { return source_ ? source_->Height() : 0; }
    void Draw(HDC dc, const RECT& rect) const override;
    void LoadFromBytes(std::vector<uint8_t> bytes) override;
    std::vector<uint8_t> SaveToBytes(const std::wstring& extension) const override;
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TBitmapGraphic>(*this); }
    void Assign(const TGraphic& source) override;
    Raster Pixels() const override { return GetRaster(); }
    std::shared_ptr<const DisplaySource> Display() const override { return source_; }
    const Raster& GetRaster() const;
    void SetRaster(Raster raster, std::shared_ptr<const ColourProfile> colour = nullptr)
    {
        source_ = std::make_shared<const RasterSource>(std::move(raster), std::move(colour));
    }

private:
    std::shared_ptr<const RasterSource> source_;
};
