#include "imaging/pictures/PictureUtilUnit.h"

#include "base/Failure.h"
#include "imaging/pictures/BitmapGraphic.h"
#include "imaging/pictures/FileBytes.h"
#include "imaging/pictures/IconGraphic.h"
#include "imaging/pictures/JpegGraphic.h"
#include "imaging/pictures/MetafileGraphic.h"
#include "imaging/pictures/PngGraphic.h"

void TGraphic::CannotAssign(const TGraphic& source) const
{
    throw ConversionError(FormatMessageText(L"Cannot assign a %s to a %s", {source.KindName(), KindName()}));
}

void TGraphic::SaveToFile(const std::wstring& fileName) const
{
    // Everything that can fail before writing happens first.
    WriteFileReplacing(fileName, SaveToBytes(LowerAscii(ExtractExtension(fileName))));
}

void TPicture::SetGraphic(const TGraphic* graphic)
{
    graphic_ = graphic ? graphic->Clone() : nullptr;
}

std::unique_ptr<TGraphic> NewGraphic(GraphicKind kind)
{
    switch (kind) {
    case GraphicKind::Raster: return std::make_unique<TBitmapGraphic>();
    case GraphicKind::Jpeg: return std::make_unique<TJpegImage>();
    case GraphicKind::Png: return std::make_unique<TPngImage>();
    case GraphicKind::Icon: return std::make_unique<TIconGraphic>();
    case GraphicKind::Metafile: return std::make_unique<TMetafileGraphic>();
    }
    return std::make_unique<TBitmapGraphic>();
}

PngFormatRegistration::PngFormatRegistration()
{
    RegisterCodecFormats(GraphicKind::Png);
}

PngFormatRegistration::~PngFormatRegistration()
{
    UnregisterCodecFormats(GraphicKind::Png);
}
