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
    if (lower != L".bmp" && lower != L".ico")
        return std::wstring(fileName);
    return std::wstring(fileName.substr(0, fileName.size() - extension.size())) + L".jpg";
}
