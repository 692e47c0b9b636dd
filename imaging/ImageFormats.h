// The supported file formats and the extension rules.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/Text.h"

enum class GraphicKind { Raster, Jpeg, Png, Icon, Metafile };

// What a raster file holds, told by its content (imaging/RasterFiles).
enum class RasterFileType { Bitmap, Gif, Webp, Tiff, Avif, Heic, Heif, JpegXl };

// The extension of the last path component, from its last "." to the end
// (dot included); empty when there is no dot after the last "\", "/" or ":".
std::wstring ExtractExtension(std::wstring_view fileName);

// True for .png, .ico, .jpg, .jpeg, .bmp, .emf and .wmf and the newer
// formats' extensions (.gif, .webp, .tif, .tiff, .avif, .heic, .heif, .jxl),
// in any letter case.
bool IsSupportedImageFile(std::wstring_view fileName);

// The format registry: extension (without dot) to graphic kind. Looked up
// lower-cased, from the most recently registered entry backwards.
struct FileFormat {
    std::wstring extension;     // lower case, no dot
    std::wstring description;
    GraphicKind kind;
    // The newer formats are rasters read by content; Bitmap for the others.
    RasterFileType type = RasterFileType::Bitmap;
    bool writable = true;
};
// The newer formats' rows, in the order the dialogs list them; with
// writableOnly, those a picture can be saved as.
std::vector<const FileFormat*> NewerFileFormats(bool writableOnly);
// "*.gif;*.webp;..." for those rows.
std::wstring NewerFormatPatterns(bool writableOnly);
void RegisterFileFormat(std::wstring_view extension, std::wstring_view description, GraphicKind kind);
void UnregisterFileFormat(GraphicKind kind);
// Null when the extension (without dot, any case) is not registered.
const FileFormat* FindFileFormat(std::wstring_view extension);
// The registered format of a file by its name's extension; null when none.
const FileFormat* FileFormatOf(std::wstring_view fileName);
