#include "imaging/pictures/BitmapGraphic.h"

#include "imaging/codecs/BmpCodec.h"
#include "imaging/display/RasterFiles.h"
#include "imaging/pictures/GdiDrawing.h"

void TBitmapGraphic::Draw(HDC dc, const RECT& rect) const
{
    DrawRaster(dc, rect, GetRaster());
}

const Raster& TBitmapGraphic::GetRaster() const
{
    static const Raster none;
    return source_ ? source_->Pixels() : none;
}

void TBitmapGraphic::LoadFromBytes(std::vector<uint8_t> bytes)
{
    auto source = std::make_shared<const RasterFileSource>(DecodeRasterFile(std::move(bytes)));
    SetRecord(RecordOfRasterFile(source->File()));
    source_ = std::move(source);
}

std::vector<uint8_t> TBitmapGraphic::SaveToBytes(const std::wstring&) const
{
    // A bitmap file has no transparency that readers agree on: transparent
    // parts (kept through turns and resizes) are white, as drawn pictures' are.
    const Raster& raster = GetRaster();
    if (raster.Bits() == 32 && raster.Alpha() != AlphaMode::None)
        return EncodeBmp(raster.ComposedOver(255, 255, 255).ConvertedTo(PixelFormat::Bit24));
    return EncodeBmp(raster);
}

void TBitmapGraphic::Assign(const TGraphic& source)
{
    switch (source.Kind()) {
    case GraphicKind::Raster:
    case GraphicKind::Jpeg:
        SetRaster(source.Pixels(), source.Colour());
        break;
    case GraphicKind::Png: {
        Raster pixels = source.Pixels();
        SetRaster(pixels.Alpha() == AlphaMode::None ? pixels : pixels.ComposedOver(255, 255, 255), source.Colour());
        break;
    }
    default:
        CannotAssign(source);
    }
    SetRecord(source.Record());
    SetTurned(source.Turned());
}
