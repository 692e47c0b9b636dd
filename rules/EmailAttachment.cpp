#include "rules/EmailAttachment.h"

#include "imaging/ImageFormats.h"

PixelSize EmailImageSize(int width, int height, EmailSize size)
{
    const int divisor = size == EmailSize::Small ? 4 : size == EmailSize::Medium ? 2 : 1;
    return {width / divisor, height / divisor};
}

std::wstring EmailAttachmentName(std::wstring_view fileName)
{
    const std::wstring extension = ExtractExtension(fileName);
    const std::wstring lower = LowerAscii(extension);
    // Bitmaps, icons and the kinds this program cannot write go as JPEG.
    const FileFormat* format = lower.empty() ? nullptr : FindFileFormat(std::wstring_view(lower).substr(1));
    const bool unwritable = format && format->type != RasterFileType::Bitmap && !format->writable;
    if (lower != L".bmp" && lower != L".ico" && !unwritable)
        return std::wstring(fileName);
    return std::wstring(fileName.substr(0, fileName.size() - extension.size())) + L".jpg";
}
