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
        {L"gif", L"GIF Image", GraphicKind::Raster, RasterFileType::Gif, false},
        {L"webp", L"WebP Image", GraphicKind::Raster, RasterFileType::Webp, true},
        {L"tif", L"TIFF Image", GraphicKind::Raster, RasterFileType::Tiff, true},
        {L"tiff", L"TIFF Image", GraphicKind::Raster, RasterFileType::Tiff, true},
        {L"avif", L"AVIF Image", GraphicKind::Raster, RasterFileType::Avif, false},
        {L"heic", L"HEIC Image", GraphicKind::Raster, RasterFileType::Heic, false},
        {L"heif", L"HEIF Image", GraphicKind::Raster, RasterFileType::Heif, false},
        {L"jxl", L"JPEG XL Image", GraphicKind::Raster, RasterFileType::JpegXl, false},
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
    if (ext == L".png" || ext == L".ico" || ext == L".jpg" || ext == L".jpeg" || ext == L".bmp" || ext == L".emf" ||
        ext == L".wmf")
        return true;
    const FileFormat* format = ext.empty() ? nullptr : FindFileFormat(std::wstring_view(ext).substr(1));
    return format && format->type != RasterFileType::Bitmap;
}

std::vector<const FileFormat*> NewerFileFormats(bool writableOnly)
{
    std::vector<const FileFormat*> rows;
    for (const FileFormat& format : Registry())
        if (format.type != RasterFileType::Bitmap && (format.writable || !writableOnly))
            rows.push_back(&format);
    return rows;
}

std::wstring NewerFormatPatterns(bool writableOnly)
{
    std::wstring patterns;
    for (const FileFormat* format : NewerFileFormats(writableOnly))
        patterns += (patterns.empty() ? L"*." : L";*.") + format->extension;
    return patterns;
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
