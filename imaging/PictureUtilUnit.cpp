#include "imaging/PictureUtilUnit.h"

#include "base/Failure.h"
#include "imaging/BitmapGraphic.h"
#include "imaging/FileBytes.h"
#include "imaging/IconGraphic.h"
#include "imaging/JpegGraphic.h"
#include "imaging/MetafileGraphic.h"
#include "imaging/PngGraphic.h"

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
