#include "imaging/codecs/ImageFormats.h"

#include <algorithm>

namespace {

using enum GraphicKind;
using enum Association;
using Type = RasterFileType;

constexpr FileFormat kFormats[] = {
    // extensions, kind, type, description, type name, association, built in, refusal
    {{L"png"}, Png, Type::Bitmap, L"Portable Network Graphics", L"PNG Image", TakeOver, false, {}},
    {{L"jpg", L"jpeg"}, Jpeg, Type::Bitmap, L"JPEG Image File", L"JPEG Image", TakeOver, true, {}},
    {{L"bmp"}, Raster, Type::Bitmap, L"Bitmaps", L"Bitmap", TakeOver, true, {}},
    {{L"ico"}, Icon, Type::Bitmap, L"Icons", L"Windows Icon", TakeOver, true,
     L"Saving as an Icon is not supported"},
    {{L"emf"}, Metafile, Type::Bitmap, L"Enhanced Metafiles", L"Enhanced Metafile Image", TakeOver, true, {}},
    {{L"wmf"}, Metafile, Type::Bitmap, L"Metafiles", L"Windows Metafile Image", TakeOver, true, {}},
    {{L"gif"}, Raster, Type::Gif, L"GIF Image", L"GIF Image", OpenWith, true,
     L"Saving as a GIF image is not supported"},
    {{L"webp"}, Raster, Type::Webp, L"WebP Image", L"WebP Image", OpenWith, true, {}},
    {{L"tif", L"tiff"}, Raster, Type::Tiff, L"TIFF Image", L"TIFF Image", OpenWith, true, {}},
    {{L"avif"}, Raster, Type::Avif, L"AVIF Image", L"AVIF Image", OpenWith, true,
     L"Saving as an AVIF image is not supported"},
    {{L"heic"}, Raster, Type::Heic, L"HEIC Image", L"HEIC Image", OpenWith, true,
     L"Saving as a HEIC image is not supported"},
    {{L"heif"}, Raster, Type::Heif, L"HEIF Image", L"HEIF Image", OpenWith, true,
     L"Saving as a HEIF image is not supported"},
    {{L"jxl"}, Raster, Type::JpegXl, L"JPEG XL Image", L"JPEG XL Image", OpenWith, true,
     L"Saving as a JPEG XL image is not supported"},
};

struct Registered {
    std::wstring_view extension;
    const FileFormat* format;
};

std::vector<Registered> RegisteredRows(bool builtIn, GraphicKind kind)
{
    std::vector<Registered> rows;
    for (const FileFormat& format : kFormats)
        if (format.builtIn == builtIn && (builtIn || format.kind == kind))
            for (std::wstring_view extension : format.Extensions())
                rows.push_back({extension, &format});
    return rows;
}

std::vector<Registered>& Registry()
{
    static std::vector<Registered> registry = RegisteredRows(true, Raster);
    return registry;
}

// The extension without its dot, lower-cased.
std::wstring ExtensionOf(std::wstring_view fileName)
{
    const std::wstring extension = LowerAscii(ExtractExtension(fileName));
    return extension.empty() ? extension : extension.substr(1);
}

} // namespace

std::span<const FileFormat> FileFormats() { return kFormats; }

const FileFormat* FileFormatOfType(RasterFileType type)
{
    for (const FileFormat& format : kFormats)
        if (format.type == type && type != RasterFileType::Bitmap)
            return &format;
    return nullptr;
}

std::wstring ExtractExtension(std::wstring_view fileName)
{
    size_t dot = fileName.find_last_of(L".\\/:");
    if (dot == std::wstring_view::npos || fileName[dot] != L'.')
        return {};
    return std::wstring(fileName.substr(dot));
}

const FileFormat* FileFormatNamed(std::wstring_view fileName)
{
    const std::wstring extension = ExtensionOf(fileName);
    for (const FileFormat& format : kFormats)
        if (std::ranges::find(format.Extensions(), extension) != format.Extensions().end())
            return &format;
    return nullptr;
}

bool IsSupportedImageFile(std::wstring_view fileName) { return FileFormatNamed(fileName) != nullptr; }

void RegisterCodecFormats(GraphicKind kind)
{
    for (const Registered& row : RegisteredRows(false, kind))
        Registry().push_back(row);
}

void UnregisterCodecFormats(GraphicKind kind)
{
    std::erase_if(Registry(), [kind](const Registered& row) { return row.format->kind == kind; });
}

const FileFormat* FindFileFormat(std::wstring_view extension)
{
    const std::wstring wanted = LowerAscii(extension);
    const auto& registry = Registry();
    for (auto it = registry.rbegin(); it != registry.rend(); ++it)
        if (it->extension == wanted)
            return it->format;
    return nullptr;
}

const FileFormat* FileFormatOf(std::wstring_view fileName)
{
    const std::wstring extension = ExtensionOf(fileName);
    return extension.empty() ? nullptr : FindFileFormat(extension);
}

std::vector<FileTypeEntry> AssociatedFileTypes(Association association)
{
    std::vector<FileTypeEntry> types;
    for (const FileFormat& format : kFormats)
        if (format.association == association)
            for (std::wstring_view extension : format.Extensions())
                types.push_back({L"." + std::wstring(extension), std::wstring(format.typeName)});
    return types;
}

std::vector<FileDialogEntry> FileDialogEntries(bool writableOnly)
{
    std::vector<FileDialogEntry> entries(1);
    std::wstring all;
    for (const FileFormat& format : kFormats) {
        if (writableOnly && !format.Writable())
            continue;
        for (std::wstring_view extension : format.Extensions()) {
            const std::wstring pattern = L"*." + std::wstring(extension);
            all += (all.empty() ? L"" : L";") + pattern;
            entries.push_back({std::wstring(format.description) + L" (" + pattern + L")", pattern});
        }
    }
    entries.front() = {L"All (" + all + L")", all};
    return entries;
}
