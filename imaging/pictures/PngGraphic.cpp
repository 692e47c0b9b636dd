#include "imaging/pictures/PngGraphic.h"

#include "imaging/pictures/GdiDrawing.h"

void TPngImage::Draw(HDC dc, const RECT& rect) const
{
    if (Empty())
        return;
    const Raster pixels = Pixels();
    if (!source_->Transparent()) {
        DrawRaster(dc, rect, pixels);
        return;
    }
    const BitmapHandle blend = PremultipliedSection(pixels);
    BlendSection(dc, rect, blend.Get(), pixels);
}

void TPngImage::LoadFromBytes(std::vector<uint8_t> bytes)
{
    auto image = std::make_shared<const PngImage>(DecodePng(bytes));
    SetRecord(RecordOfPng(*image));
    source_ = std::make_shared<const PngSource>(std::move(image));
}

std::vector<uint8_t> TPngImage::SaveToBytes(const std::wstring&) const
{
    return EncodePng(source_ ? source_->Image() : PngImage());
}

void TPngImage::Assign(const TGraphic& source)
{
    if (source.Kind() == GraphicKind::Png) {
        *this = static_cast<const TPngImage&>(source);
        return;
    }
    if (source.Kind() != GraphicKind::Raster)
        CannotAssign(source);
    // Transparency a raster kept through turns and resizes stays.
    PngImage image = PngFromRaster(source.Pixels(), true);
    image.colour = PngColourFor(source.Colour().get());
    ImageMetadata metadata = MetadataToWrite(source.Record().get(), {});
    image.exif = std::move(metadata.exif);
    image.xmp = std::move(metadata.xmp);
    source_ = std::make_shared<const PngSource>(std::make_shared<const PngImage>(std::move(image)));
    SetRecord(source.Record());
}

Raster TPngImage::Pixels() const
{
    return source_ ? PngToRaster(source_->Image()) : Raster();
}
