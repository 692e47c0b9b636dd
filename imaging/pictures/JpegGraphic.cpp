#include "imaging/pictures/JpegGraphic.h"

#include "base/Failure.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/pictures/GdiDrawing.h"

bool TJpegImage::Empty() const
{
    return !file_ && (!assigned_ || assigned_->Pixels().Empty());
}

int TJpegImage::Width() const
{
    return file_ ? file_->Width() : assigned_ ? assigned_->Width() : 0;
}

int TJpegImage::Height() const
{
    return file_ ? file_->Height() : assigned_ ? assigned_->Height() : 0;
}

void TJpegImage::Draw(HDC dc, const RECT& rect) const
{
    if (!Empty())
        DrawRaster(dc, rect, Pixels());
}

void TJpegImage::LoadFromBytes(std::vector<uint8_t> bytes)
{
    auto file = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    JpegMetadata metadata = ReadJpegMetadata(*file);
    file_ = std::make_shared<const JpegSource>(file, metadata);
    assigned_.reset();
    SetRecord(RecordOfJpeg(metadata.Empty() ? nullptr : std::make_shared<const JpegMetadata>(std::move(metadata)),
                           file_->Width(), file_->Height()));
}

std::vector<uint8_t> TJpegImage::SaveToBytes(const std::wstring&) const
{
    if (file_)
        return file_->File();
    if (const auto turned = Turned()) {
        // The blocks rearranged ahead, when the turn began that for exactly
        // this record; else rearranged here.
        if (turned->prepared)
            if (auto ready = turned->prepared->Take(*turned->file, turned->transform))
                return std::move(*ready);
        // Data the library cannot rearrange (or the memory to do it) leave
        // the pixels to be compressed anew.
        try {
            if (auto lossless = TransformJpeg(*turned->file, turned->transform))
                return std::move(*lossless);
        } catch (const Failure&) {
        }
    }
    const auto colour = assigned_ ? assigned_->Colour() : nullptr;
    return EncodeJpeg(assigned_ ? assigned_->Pixels() : Raster(),
                      JpegMetadataToWrite(Record().get(), colour ? colour->icc : std::vector<uint8_t>()));
}

void TJpegImage::Assign(const TGraphic& source)
{
    if (source.Kind() == GraphicKind::Jpeg) {
        *this = static_cast<const TJpegImage&>(source);
        return;
    }
    if (source.Kind() != GraphicKind::Raster)
        CannotAssign(source);
    file_.reset();
    assigned_ = std::make_shared<const RasterSource>(source.Pixels(), source.Colour());
    SetRecord(source.Record());
    SetTurned(source.Turned());
}

Raster TJpegImage::Pixels() const
{
    if (file_)
        return file_->Full();
    return assigned_ ? assigned_->Pixels() : Raster();
}

std::shared_ptr<const DisplaySource> TJpegImage::Display() const
{
    if (file_)
        return file_;
    return assigned_;
}

std::optional<TGraphic::TurnedJpeg> TJpegImage::Turned() const
{
    if (file_)
        return TurnedJpeg{file_->SharedFile(), file_->Upright()};
    return TGraphic::Turned();
}
