#include "imaging/pictures/PictureFiles.h"

#include <algorithm>

#include "base/Failure.h"
#include "imaging/display/RasterFiles.h"
#include "imaging/pictures/BitmapGraphic.h"
#include "imaging/pictures/FileBytes.h"
#include "imaging/pictures/GdiDrawing.h"
#include "imaging/pictures/JpegGraphic.h"
#include "imaging/pictures/MetafileGraphic.h"
#include "imaging/pictures/PngGraphic.h"
#include "imaging/pictures/RasterFileGraphic.h"

namespace {

// The format a file is read as, by its name's extension.
const FileFormat& FormatToRead(const std::wstring& fileName)
{
    if (const FileFormat* format = FileFormatOf(fileName))
        return *format;
    std::wstring extension = ExtractExtension(fileName);
    if (!extension.empty())
        extension.erase(0, 1);
    throw Failure(FormatMessageText(L"Unknown picture file extension (.%s)", {extension}));
}

} // namespace

void LoadPictureFromFile(TPicture& picture, const std::wstring& fileName)
{
    const GraphicKind kind = FormatToRead(fileName).kind;
    std::vector<uint8_t> bytes = ReadWholeFile(fileName);
    std::unique_ptr<TGraphic> graphic = NewGraphic(kind);
    graphic->LoadFromBytes(std::move(bytes));
    picture.TakeGraphic(std::move(graphic));
}

void LoadPictureForDisplay(TPicture& picture, const std::wstring& fileName, const ShownSizeRule& shownSize)
{
    const GraphicKind kind = FormatToRead(fileName).kind;
    std::vector<uint8_t> bytes = ReadWholeFile(fileName);
    if (kind == GraphicKind::Icon || kind == GraphicKind::Metafile) {
        // Made ready to draw when they are read.
        std::unique_ptr<TGraphic> graphic = NewGraphic(kind);
        graphic->LoadFromBytes(std::move(bytes));
        picture.TakeGraphic(std::move(graphic));
        return;
    }
    picture.TakeGraphic(GraphicFromPrepared(PreparePicture(kind, std::move(bytes), shownSize)));
}

std::unique_ptr<TGraphic> GraphicFromPrepared(const PreparedPicture& prepared)
{
    std::unique_ptr<TGraphic> graphic;
    switch (prepared.kind) {
    case GraphicKind::Jpeg:
        if (auto source = std::dynamic_pointer_cast<const JpegSource>(prepared.source))
            graphic = std::make_unique<TJpegImage>(std::move(source));
        break;
    case GraphicKind::Png:
        if (auto source = std::dynamic_pointer_cast<const PngSource>(prepared.source))
            graphic = std::make_unique<TPngImage>(std::move(source));
        break;
    case GraphicKind::Raster:
        if (auto source = std::dynamic_pointer_cast<const RasterSource>(prepared.source))
            graphic = std::make_unique<TBitmapGraphic>(std::move(source));
        break;
    case GraphicKind::Icon:
    case GraphicKind::Metafile:
        break;
    }
    if (!graphic)
        throw Failure(L"Invalid picture");
    switch (prepared.kind) {
    case GraphicKind::Jpeg:
        graphic->SetRecord(RecordOfJpeg(prepared.metadata, graphic->Width(), graphic->Height()));
        break;
    case GraphicKind::Png:
        graphic->SetRecord(RecordOfPng(static_cast<const PngSource&>(*prepared.source).Header()));
        break;
    default:
        if (auto file = std::dynamic_pointer_cast<const RasterFileSource>(prepared.source))
            graphic->SetRecord(RecordOfRasterFile(file->File()));
        break;
    }
    return graphic;
}

void ConvertPictureToBitmap(TPicture& picture)
{
    const TGraphic* graphic = picture.Graphic();
    if (graphic && graphic->Kind() == GraphicKind::Raster)
        return;
    auto bitmap = std::make_unique<TBitmapGraphic>();
    if (graphic) {
        // Kinds that hold pixels give them directly (transparent parts
        // composed on white); the others are drawn onto white.
        if (graphic->Kind() == GraphicKind::Jpeg || graphic->Kind() == GraphicKind::Png)
            bitmap->Assign(*graphic);
        else
            bitmap->SetRaster(DrawOnWhite(*graphic, graphic->Width(), graphic->Height()));
    }
    picture.TakeGraphic(std::move(bitmap));
}

void ConvertPictureToMetafile(TPicture& picture)
{
    const TGraphic* graphic = picture.Graphic();
    if (graphic && graphic->Kind() == GraphicKind::Metafile)
        return;
    if (!graphic) {
        picture.TakeGraphic(std::make_unique<TMetafileGraphic>());
        return;
    }
    picture.TakeGraphic(std::make_unique<TMetafileGraphic>(TMetafileGraphic::Record(*graphic)));
}

void ConvertPicture(TPicture& picture, GraphicKind target)
{
    for (;;) {
        const TGraphic* graphic = picture.Graphic();
        if (!graphic) {
            picture.TakeGraphic(NewGraphic(target));
            return;
        }
        try {
            if (target == GraphicKind::Raster && graphic->Kind() != GraphicKind::Raster) {
                ConvertPictureToBitmap(picture);
            } else if (target == GraphicKind::Metafile && graphic->Kind() != GraphicKind::Metafile) {
                ConvertPictureToMetafile(picture);
            } else if (graphic->Kind() != target) {
                std::unique_ptr<TGraphic> converted = NewGraphic(target);
                converted->Assign(*graphic);
                picture.TakeGraphic(std::move(converted));
            }
            return;
        } catch (const Failure&) {
            if (target == GraphicKind::Raster || picture.Graphic()->Kind() == GraphicKind::Raster)
                throw;
            ConvertPicture(picture, GraphicKind::Raster);
        }
    }
}

void SaveGraphicToFile(const TGraphic& graphic, const std::wstring& fileName)
{
    // The format the name's extension says, registered or not; a name of
    // no known format gets a bitmap.
    const FileFormat* format = FileFormatNamed(fileName);
    if (format && !format->Writable())
        throw Failure(std::wstring(format->refusal));
    if (format && format->type != RasterFileType::Bitmap) {
        SaveAsRasterFile(graphic, format->type, fileName);
        return;
    }
    TPicture temporary;
    temporary.SetGraphic(&graphic);
    ConvertPicture(temporary, format ? format->kind : GraphicKind::Raster);
    temporary.Graphic()->SaveToFile(fileName);
}
