// The formats the program knows, one row each, and the rules that read them:
// which names are listed and opened, what the format registry holds, what a
// save writes or refuses, the file dialogs' filters, what -install does with
// each type and the name an e-mailed picture gets. Adding a format is a row
// here and a codec.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Text.h"

enum class GraphicKind { Raster, Jpeg, Png, Icon, Metafile };

// What a raster file holds, told by its content (imaging/display/RasterFiles).
enum class RasterFileType { Bitmap, Gif, Webp, Tiff, Avif, Heic, Heif, JpegXl };

// What -install does with a format's extensions.
enum class Association {
    TakeOver,   // the program becomes the type's handler (its own class per extension)
    OpenWith,   // the program is offered under the type's "Open with"
};

struct FileFormat {
    // Lower case, without the dot; the second is empty for a format with one.
    std::array<std::wstring_view, 2> extensions;
    GraphicKind kind;
    // The newer formats are rasters whose codec their content chooses;
    // Bitmap for the others.
    RasterFileType type;
    std::wstring_view description;   // in the file dialogs and the format registry
    std::wstring_view typeName;      // the file type's description in the system's registry
    Association association;
    // False for a format registered when its codec starts (PNG), not built in.
    bool builtIn;
    // The message of a refused save ("Saving as a GIF image is not
    // supported"); empty for the formats that can be written.
    std::wstring_view refusal;

    bool Writable() const { return refusal.empty(); }
    std::span<const std::wstring_view> Extensions() const
    {
        return {extensions.data(), extensions[1].empty() ? 1u : 2u};
    }
};

// Every row, in the order the file dialogs list them and -install takes
// them.
std::span<const FileFormat> FileFormats();
// The row of a newer raster type (not Bitmap); null for none.
const FileFormat* FileFormatOfType(RasterFileType type);

// The extension of the last path component, from its last "." to the end
// (dot included); empty when there is no dot after the last "\", "/" or ":".
std::wstring ExtractExtension(std::wstring_view fileName);

// The row whose extension the file name ends in (any letter case), whether
// registered or not; null for none.
const FileFormat* FileFormatNamed(std::wstring_view fileName);

// True for the names a row's extension ends, in any letter case.
bool IsSupportedImageFile(std::wstring_view fileName);

// The format registry, what loading goes by: extension to row, looked up
// lower-cased from the most recently registered entry backwards. It holds
// the built-in rows from the start; the others come and go with their codec.
void RegisterCodecFormats(GraphicKind kind);
void UnregisterCodecFormats(GraphicKind kind);
// Null when the extension (without dot, any case) is not registered.
const FileFormat* FindFileFormat(std::wstring_view extension);
// The registered format of a file by its name's extension; null when none.
const FileFormat* FileFormatOf(std::wstring_view fileName);

// A file type as the system's registry names it.
struct FileTypeEntry {
    std::wstring extension;     // ".webp"
    std::wstring description;   // "WebP Image"
};
// Each extension of the rows -install treats so, in the table's order.
std::vector<FileTypeEntry> AssociatedFileTypes(Association association);

// An entry of a file dialog's type list: "Bitmaps (*.bmp)" and "*.bmp".
struct FileDialogEntry {
    std::wstring description;   // the entry shown
    std::wstring patterns;      // "*.png;*.jpg"
};
// "All (...)" first, then one entry per extension; with writableOnly only the
// formats a picture can be saved as.
std::vector<FileDialogEntry> FileDialogEntries(bool writableOnly);
