// Pictures and their files: loading a picture from its file (whole, or as
// far as showing it needs), converting it to another kind, and saving a
// graphic as the kind its file name's extension asks for.
#include "imaging/PictureUtilUnit.h"

#include <algorithm>

#include "imaging/RasterFileGraphic.h"
#include "system/Failure.h"

namespace {

// The full path in the form the file functions take at any length, for a
// drive path or a share; other forms as they are.
std::wstring LongPathForm(const std::wstring& full)
{
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\"))
        return full;
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return L"\\\\?\\" + full;
    return full;
}

// Writes the bytes to a new file; false when the system refused some of them
// (or the test limit was reached). Flushed to the disk before it is closed.
bool WriteAndFlush(HANDLE file, const std::vector<uint8_t>& bytes)
{
    const std::optional<size_t> limit = SaveWriteLimit();
    size_t done = 0;
    while (done < bytes.size()) {
        size_t chunk = std::min<size_t>(bytes.size() - done, 1u << 26);
        if (limit) {
            if (done >= *limit)
                return false;
            chunk = std::min(chunk, *limit - done);
        }
        DWORD count = 0;
        if (!WriteFile(file, bytes.data() + done, DWORD(chunk), &count, nullptr) || count == 0)
            return false;
        done += count;
    }
    return FlushFileBuffers(file) != 0;
}

// The format a file is read as, by its name's extension.
const FileFormat& FormatToRead(const std::wstring& fileName)
{
    if (const FileFormat* format = FileFormatOf(fileName))
        return *format;
    std::wstring extension = ExtractExtension(fileName);
    if (!extension.empty())
        extension.erase(0, 1);
    throw Failure(FormatMessageText(L"Unknown picture file extension (.%s)", {extension}));
}

} // namespace

void LoadPictureFromFile(TPicture& picture, const std::wstring& fileName)
{
    const GraphicKind kind = FormatToRead(fileName).kind;
    std::vector<uint8_t> bytes = ReadWholeFile(fileName);
    std::unique_ptr<TGraphic> graphic = NewGraphic(kind);
    graphic->LoadFromBytes(std::move(bytes));
    picture.TakeGraphic(std::move(graphic));
}

void LoadPictureForDisplay(TPicture& picture, const std::wstring& fileName, const ShownSizeRule& shownSize)
{
    const GraphicKind kind = FormatToRead(fileName).kind;
    std::vector<uint8_t> bytes = ReadWholeFile(fileName);
    if (kind == GraphicKind::Icon || kind == GraphicKind::Metafile) {
        // Made ready to draw when they are read.
        std::unique_ptr<TGraphic> graphic = NewGraphic(kind);
        graphic->LoadFromBytes(std::move(bytes));
        picture.TakeGraphic(std::move(graphic));
        return;
    }
    picture.TakeGraphic(GraphicFromPrepared(PreparePicture(kind, std::move(bytes), shownSize)));
}

std::unique_ptr<TGraphic> GraphicFromPrepared(const PreparedPicture& prepared)
{
    std::unique_ptr<TGraphic> graphic;
    switch (prepared.kind) {
    case GraphicKind::Jpeg:
        if (auto source = std::dynamic_pointer_cast<const JpegSource>(prepared.source))
            graphic = std::make_unique<TJpegImage>(std::move(source));
        break;
    case GraphicKind::Png:
        if (auto source = std::dynamic_pointer_cast<const PngSource>(prepared.source))
            graphic = std::make_unique<TPngImage>(std::move(source));
        break;
    case GraphicKind::Raster:
        if (auto source = std::dynamic_pointer_cast<const RasterSource>(prepared.source))
            graphic = std::make_unique<TBitmapGraphic>(std::move(source));
        break;
    case GraphicKind::Icon:
    case GraphicKind::Metafile:
        break;
    }
    if (!graphic)
        throw Failure(L"Invalid picture");
    graphic->SetMetadata(prepared.metadata);
    return graphic;
}

void ConvertPictureToBitmap(TPicture& picture)
{
    const TGraphic* graphic = picture.Graphic();
    if (graphic && graphic->Kind() == GraphicKind::Raster)
        return;
    auto bitmap = std::make_unique<TBitmapGraphic>();
    if (graphic) {
        // Kinds that hold pixels give them directly (transparent parts
        // composed on white); the others are drawn onto white.
        if (graphic->Kind() == GraphicKind::Jpeg || graphic->Kind() == GraphicKind::Png)
            bitmap->Assign(*graphic);
        else
            bitmap->SetRaster(DrawOnWhite(*graphic, graphic->Width(), graphic->Height()));
    }
    picture.TakeGraphic(std::move(bitmap));
}

void ConvertPictureToMetafile(TPicture& picture)
{
    const TGraphic* graphic = picture.Graphic();
    if (graphic && graphic->Kind() == GraphicKind::Metafile)
        return;
    if (!graphic) {
        picture.TakeGraphic(std::make_unique<TMetafileGraphic>());
        return;
    }
    picture.TakeGraphic(std::make_unique<TMetafileGraphic>(TMetafileGraphic::Record(*graphic)));
}

void ConvertPicture(TPicture& picture, GraphicKind target)
{
    for (;;) {
        const TGraphic* graphic = picture.Graphic();
        if (!graphic) {
            picture.TakeGraphic(NewGraphic(target));
            return;
        }
        try {
            if (target == GraphicKind::Raster && graphic->Kind() != GraphicKind::Raster) {
                ConvertPictureToBitmap(picture);
            } else if (target == GraphicKind::Metafile && graphic->Kind() != GraphicKind::Metafile) {
                ConvertPictureToMetafile(picture);
            } else if (graphic->Kind() != target) {
                std::unique_ptr<TGraphic> converted = NewGraphic(target);
                converted->Assign(*graphic);
                picture.TakeGraphic(std::move(converted));
            }
            return;
        } catch (const Failure&) {
            if (target == GraphicKind::Raster || picture.Graphic()->Kind() == GraphicKind::Raster)
                throw;
            ConvertPicture(picture, GraphicKind::Raster);
        }
    }
}

void SaveGraphicToFile(const TGraphic& graphic, const std::wstring& fileName)
{
    const std::wstring extension = LowerAscii(ExtractExtension(fileName));
    if (const FileFormat* format = FileFormatOf(fileName); format && format->type != RasterFileType::Bitmap) {
        SaveAsRasterFile(graphic, format->type, fileName);
        return;
    }
    GraphicKind target = GraphicKind::Raster;
    if (extension == L".jpeg" || extension == L".jpg")
        target = GraphicKind::Jpeg;
    else if (extension == L".bmp")
        target = GraphicKind::Raster;
    else if (extension == L".ico")
        throw Failure(L"Saving as an Icon is not supported");
    else if (extension == L".wmf" || extension == L".emf")
        target = GraphicKind::Metafile;
    else if (extension == L".png")
        target = GraphicKind::Png;

    TPicture temporary;
    temporary.SetGraphic(&graphic);
    ConvertPicture(temporary, target);
    temporary.Graphic()->SaveToFile(fileName);
}

std::optional<size_t>& SaveWriteLimit()
{
    static std::optional<size_t> limit;
    return limit;
}

void WriteFileReplacing(const std::wstring& fileName, const std::vector<uint8_t>& bytes)
{
    const std::wstring full = FullPathName(fileName);
    const std::wstring target = LongPathForm(full);
    // A read-only file or a folder of that name is never replaced.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        throw Failure(FormatMessageText(L"Cannot create file %s", {full}));

    // The temporary file lies beside the target under a short name of its
    // own, so a target whose path is near the length limit still gets one.
    const size_t separator = target.find_last_of(L"\\/");
    const std::wstring folder = separator == std::wstring::npos ? std::wstring() : target.substr(0, separator + 1);
    std::wstring temp;
    FileHandle file;
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        temp = folder + L"~pixavo-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) +
               L".tmp";
        file.Reset(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (!file)
        throw Failure(FormatMessageText(L"Cannot create file %s", {full}));

    const bool written = WriteAndFlush(file.Get(), bytes);
    file.Reset();
    if (!written) {
        DeleteFileW(temp.c_str());
        throw Failure(L"Stream write error");
    }
    // The old file is replaced only by a whole new one, and the replacement
    // itself reaches the disk before the save counts as done.
    if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        throw Failure(FormatMessageText(L"Cannot create file %s", {full}));
    }
}
