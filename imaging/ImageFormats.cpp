#include "imaging/ImageFormats.h"

#include <vector>

namespace {

std::vector<FileFormat>& Registry()
{
    static std::vector<FileFormat> formats = {
        {L"bmp", L"Bitmaps", GraphicKind::Raster},
        {L"ico", L"Icons", GraphicKind::Icon},
        {L"wmf", L"Metafiles", GraphicKind::Metafile},
        {L"emf", L"Enhanced Metafiles", GraphicKind::Metafile},
        {L"jpeg", L"JPEG Image File", GraphicKind::Jpeg},
        {L"jpg", L"JPEG Image File", GraphicKind::Jpeg},
    };
    return formats;
}

} // namespace

std::wstring ExtractExtension(std::wstring_view fileName)
{
    size_t dot = fileName.find_last_of(L".\\/:");
    if (dot == std::wstring_view::npos || fileName[dot] != L'.')
        return {};
    return std::wstring(fileName.substr(dot));
}

bool IsSupportedImageFile(std::wstring_view fileName)
{
    std::wstring ext = LowerAscii(ExtractExtension(fileName));
    return ext == L".png" || ext == L".ico" || ext == L".jpg" || ext == L".jpeg" || ext == L".bmp" ||
           ext == L".emf" || ext == L".wmf";
}

void RegisterFileFormat(std::wstring_view extension, std::wstring_view description, GraphicKind kind)
{
    Registry().push_back({LowerAscii(extension), std::wstring(description), kind});
}

void UnregisterFileFormat(GraphicKind kind)
{
    auto& formats = Registry();
    std::erase_if(formats, [kind](const FileFormat& f) { return f.kind == kind; });
}

const FileFormat* FindFileFormat(std::wstring_view extension)
{
    std::wstring ext = LowerAscii(extension);
    const auto& formats = Registry();
    for (auto it = formats.rbegin(); it != formats.rend(); ++it)
        if (it->extension == ext)
            return &*it;
    return nullptr;
}

const FileFormat* FileFormatOf(std::wstring_view fileName)
{
    const std::wstring extension = ExtractExtension(fileName);
    return FindFileFormat(std::wstring_view(extension).substr(extension.empty() ? 0 : 1));
}
