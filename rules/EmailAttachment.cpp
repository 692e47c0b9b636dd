#include "rules/EmailAttachment.h"

#include "imaging/codecs/ImageFormats.h"

PixelSize EmailImageSize(int width, int height, EmailSize size)
{
    const int divisor = size == EmailSize::Small ? 4 : size == EmailSize::Medium ? 2 : 1;
    return {width / divisor, height / divisor};
}

std::wstring EmailAttachmentName(std::wstring_view fileName)
{
    // Bitmaps (uncompressed) and the formats this program cannot write go
    // as JPEG.
    const FileFormat* format = FileFormatNamed(fileName);
    const bool bitmap = format && format->kind == GraphicKind::Raster && format->type == RasterFileType::Bitmap;
    if (!format || (format->Writable() && !bitmap))
        return std::wstring(fileName);
    const std::wstring extension = ExtractExtension(fileName);
    return std::wstring(fileName.substr(0, fileName.size() - extension.size())) + L".jpg";
}
