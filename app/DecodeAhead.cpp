#include "app/DecodeAhead.h"

#include <windows.h>

#include <pthread.h>

#include <algorithm>

#include "base/Cancellation.h"
#include "base/Failure.h"
#include "base/Handles.h"
#include "imaging/codecs/BmpCodec.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/codecs/RasterCodecs.h"
#include "imaging/pictures/FileBytes.h"
#include "imaging/pixels/Levels.h"

namespace {

// What a picture of that kind and natural size will hold once prepared for
// its shown size, from the file's header; 0 when the header cannot be read
// (the preparation then fails, holding nothing).
uint64_t PreparedSize(GraphicKind kind, const std::vector<uint8_t>& file, const ShownSizeRule& shownSize)
{
    int width = 0, height = 0, bytesPerPixel = 3;
    try {
        switch (kind) {
        case GraphicKind::Jpeg: {
            const JpegHeader header = ReadJpegHeader(file);
            width = header.width, height = header.height;
            break;
        }
        case GraphicKind::Png: {
            const PngImage header = DecodePngHeader(file);
            width = int(header.width), height = int(header.height), bytesPerPixel = 4;
            break;
        }
        default: {
            if (DecodesLevelsFromFile(file)) {
                const RasterFileDimensions size = RasterFileSize(file);
                width = size.width, height = size.height;
                break;
            }
            // A bitmap (or a newer format's raster) is held whole, at four
            // bytes a pixel at most; its size comes from its headers (a
            // compressed one holds far more than its file). Pictures only
            // the system decodes are left to the load.
            const RasterFileDimensions size = RasterFileSize(file);
            if (size.width == 0 || size.height == 0)
                return UINT64_MAX;
            return file.size() + uint64_t(size.width) * uint64_t(size.height) * 4;
        }
        }
    } catch (const Failure&) {
        return 0;
    }
    const auto [shownWidth, shownHeight] = shownSize(width, height);
    const int level = LevelFor(width, height, shownWidth, shownHeight);
    const uint64_t pixels = uint64_t(LevelSide(width, level)) * uint64_t(LevelSide(height, level));
    return file.size() + pixels * uint64_t(bytesPerPixel);
}

// The tiles an opaque picture shows first at its shown size, in the job's
// colours: its top left, as far as the job's area goes. Nothing for
// transparent pictures (their tiles depend on the background) and pictures
// drawn straight from their pixels.
std::shared_ptr<DisplayTiles> FirstTiles(const std::shared_ptr<const DisplaySource>& source,
                                         const ShownSizeRule& shownSize, const ReadAhead::Job& job)
{
    if (!source || source->Transparent())
        return nullptr;
    const auto [width, height] = shownSize(source->Width(), source->Height());
    auto tiles = std::make_shared<DisplayTiles>();
    tiles->SetColours(job.colours);
    tiles->SetSource(source);
    tiles->SetShownSize(width, height);
    if (width <= 0 || height <= 0 || tiles->DrawnStraight())
        return nullptr;
    constexpr int side = DisplayTiles::kTileSide;
    const int columns = (std::min(width, job.areaWidth) + side - 1) / side;
    const int rows = (std::min(height, job.areaHeight) + side - 1) / side;
    if (size_t(columns) * size_t(rows) > DisplayTiles::kDefaultMaxTiles)
        return nullptr;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column) {
            ThrowIfCancelled();
            tiles->Tile(column, row);
        }
    return tiles;
}

// Nothing when the picture would hold too much to be kept ahead.
std::optional<ReadAhead::Result> Prepare(const ReadAhead::Job& job)
{
    // A file larger than what may be held ahead is left unread.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(job.path.c_str(), GetFileExInfoStandard, &data) ||
        (uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow) > TDecodeAhead::kMaxPreparedBytes)
        return std::nullopt;
    const ShownSizeRule shownSize = ShownSizeRuleFor(job.zoom);
    std::vector<uint8_t> bytes = ReadWholeFile(job.path);
    if (PreparedSize(job.kind, bytes, shownSize) > TDecodeAhead::kMaxPreparedBytes)
        return std::nullopt;   // the load reads it itself
    ReadAhead::Result result;
    result.picture = PreparePicture(job.kind, std::move(bytes), shownSize);
    result.width = result.picture.source->Width();
    result.height = result.picture.source->Height();
    result.tiles = FirstTiles(result.picture.source, shownSize, job);
    return result;
}

int LevelAt(const ZoomState& zoom, int width, int height)
{
    const ShownSize shown = ShownSizeFor(zoom, width, height);
    return LevelFor(width, height, shown.width, shown.height);
}

void SetPriority(std::thread& thread, bool urgent)
{
    // Below the user-interface thread, which paints what is on screen; as
    // high while that thread waits for it.
    SetThreadPriority(pthread_gethandle(thread.native_handle()),
                      urgent ? THREAD_PRIORITY_NORMAL : THREAD_PRIORITY_BELOW_NORMAL);
}

// FNV-1a over some bytes, from a running value.
uint64_t Fnv1a(uint64_t hash, const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001B3u;
    return hash;
}

} // namespace

FileIdentity IdentifyFile(const std::wstring& path)
{
    // Shared as a load reads it: never in the way of anyone writing the file.
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    FileIdentity identity;
    if (!file || !GetFileInformationByHandle(file.Get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return identity;
    identity.size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    identity.written = uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32 | info.ftLastWriteTime.dwLowDateTime;
    // The first and the last block: a header rewritten (another size of the
    // same number of pixels) or a tail appended shows there, where the size
    // and the time may not (a file rewritten within the same tick).
    constexpr DWORD kBlock = 4096;
    uint8_t block[kBlock];
    uint64_t hash = 0xCBF29CE484222325u;
    for (const uint64_t offset : {uint64_t(0), identity.size > kBlock ? identity.size - kBlock : uint64_t(0)}) {
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(offset);
        DWORD read = 0;
        if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) || !ReadFile(file.Get(), block, kBlock, &read, nullptr))
            return identity;   // not valid: cannot be read now
        hash = Fnv1a(hash, block, read);
    }
    identity.content = hash;
    identity.valid = true;
    return identity;
}

TDecodeAhead::TDecodeAhead() : ReadAhead(Hooks{IdentifyFile, Prepare, LevelAt, SetPriority}) {}

void TDecodeAhead::Request(const std::wstring& path, GraphicKind kind, const ZoomState& zoom, int areaWidth,
                           int areaHeight, bool urgent)
{
    if (kind != GraphicKind::Jpeg && kind != GraphicKind::Png && kind != GraphicKind::Raster) {
        Drop();
        return;
    }
    ReadAhead::Request(Job{path, kind, zoom, areaWidth, areaHeight, colours_, urgent});
}
