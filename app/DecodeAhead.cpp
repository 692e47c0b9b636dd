#include "app/DecodeAhead.h"

#include <new>

#include "imaging/BmpCodec.h"
#include "imaging/JpegCodec.h"
#include "imaging/Levels.h"
#include "imaging/PictureUtilUnit.h"
#include "system/Failure.h"
#include "widgets/Application.h"

namespace {

// What a picture of that kind and natural size will hold once prepared for
// its shown size, from the file's header; 0 when the header cannot be read
// (the preparation then fails with the decoder's message, holding nothing).
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
            // A bitmap is held whole, at four bytes a pixel at most; its size
            // comes from its headers (a compressed one holds far more than
            // its file).
            const BmpSize bitmap = ReadBmpSize(file);
            return file.size() + uint64_t(bitmap.width) * uint64_t(bitmap.height) * 4;
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

// The tiles an opaque picture shows first at its shown size: its top left,
// as far as the area goes. Nothing for transparent pictures (their tiles
// depend on the background) and pictures drawn straight from their pixels.
std::shared_ptr<DisplayTiles> FirstTiles(const std::shared_ptr<const DisplaySource>& source,
                                         const ShownSizeRule& shownSize, int areaWidth, int areaHeight)
{
    if (!source || source->Transparent())
        return nullptr;
    const auto [width, height] = shownSize(source->Width(), source->Height());
    auto tiles = std::make_shared<DisplayTiles>();
    tiles->SetSource(source);
    tiles->SetShownSize(width, height);
    if (width <= 0 || height <= 0 || (tiles->Enlarged() && source->HasWhole()))
        return nullptr;
    constexpr int side = DisplayTiles::kTileSide;
    const int columns = (std::min(width, areaWidth) + side - 1) / side;
    const int rows = (std::min(height, areaHeight) + side - 1) / side;
    if (size_t(columns) * size_t(rows) > DisplayTiles::kDefaultMaxTiles)
        return nullptr;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            tiles->Tile(column, row);
    return tiles;
}

} // namespace

TDecodeAhead::TDecodeAhead() : thread_([this] { Run(); }) {}

TDecodeAhead::~TDecodeAhead()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

TDecodeAhead::Identity TDecodeAhead::IdentityOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    Identity identity;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return identity;
    identity.size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    identity.written = uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
    identity.valid = true;
    return identity;
}

void TDecodeAhead::Request(const std::wstring& path, GraphicKind kind, const ZoomState& zoom, int areaWidth,
                           int areaHeight)
{
    if (kind != GraphicKind::Jpeg && kind != GraphicKind::Png && kind != GraphicKind::Raster) {
        Drop();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        // Already read or being read for that zoom: kept (a change on disk
        // is found when it is taken).
        if (state_ != State::Idle && path == path_ && zoom == zoom_)
            return;
        DropLocked();
        path_ = path;
        kind_ = kind;
        zoom_ = zoom;
        areaWidth_ = areaWidth;
        areaHeight_ = areaHeight;
        state_ = State::Waiting;
    }
    changed_.notify_all();
}

void TDecodeAhead::Drop()
{
    std::lock_guard lock(mutex_);
    DropLocked();
}

void TDecodeAhead::DropLocked()
{
    // A result of work under way is dropped when it comes, as it belongs to
    // an older request.
    ++request_;
    prepared_.reset();
    path_.clear();
    state_ = State::Idle;
}

bool TDecodeAhead::Busy() const
{
    std::lock_guard lock(mutex_);
    return state_ == State::Waiting || state_ == State::Working;
}

std::optional<TDecodeAhead::Prepared> TDecodeAhead::Take(const std::wstring& path, const ZoomState& zoom)
{
    std::unique_lock lock(mutex_);
    if (state_ == State::Idle || path != path_ || !(zoom == zoom_)) {
        DropLocked();
        return std::nullopt;
    }
    // Work under way on this very file is nearer its end than a new start.
    changed_.wait(lock, [&] { return state_ != State::Waiting && state_ != State::Working; });
    std::optional<Prepared> prepared = std::move(prepared_);
    const Identity identity = identity_;
    DropLocked();
    lock.unlock();
    if (!prepared || !identity.valid || !(IdentityOf(path) == identity))
        return std::nullopt;
    ++taken_;
    return prepared;
}

void TDecodeAhead::Run() noexcept
{
    // Below the user-interface thread, which paints what is on screen.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || state_ == State::Waiting; });
        if (stopping_)
            return;
        try {
            Work(lock);
        } catch (...) {
            // Nothing is prepared then: the load reads the file itself.
            if (!lock.owns_lock())
                lock.lock();
            if (state_ == State::Working) {
                prepared_.reset();
                state_ = State::Done;
                identity_ = {};
            }
        }
        changed_.notify_all();
    }
}

void TDecodeAhead::Work(std::unique_lock<std::mutex>& lock)
{
    const uint64_t request = request_;
    const std::wstring path = path_;
    const GraphicKind kind = kind_;
    const ZoomState zoom = zoom_;
    const int areaWidth = areaWidth_, areaHeight = areaHeight_;
    state_ = State::Working;
    lock.unlock();
    const Identity identity = IdentityOf(path);
    // A file that is not there is left to the load, which says so; so is a
    // file larger than what may be held ahead, unread.
    std::optional<Prepared> prepared;
    if (identity.valid && identity.size <= kMaxPreparedBytes)
        prepared = Prepare(path, kind, zoom, areaWidth, areaHeight);
    lock.lock();
    if (request != request_)
        return;   // dropped, or another file asked for meanwhile
    identity_ = identity;
    prepared_ = std::move(prepared);
    state_ = State::Done;
}

std::optional<TDecodeAhead::Prepared> TDecodeAhead::Prepare(const std::wstring& path, GraphicKind kind,
                                                           const ZoomState& zoom, int areaWidth, int areaHeight)
{
    // The same messages as a load that fails.
    Prepared prepared;
    try {
        const ShownSizeRule shownSize = ShownSizeRuleFor(zoom);
        std::vector<uint8_t> bytes = ReadWholeFile(path);
        if (PreparedSize(kind, bytes, shownSize) > kMaxPreparedBytes)
            return std::nullopt;   // the load reads it itself
        prepared.picture = PreparePicture(kind, std::move(bytes), shownSize);
        prepared.tiles = FirstTiles(prepared.picture.source, shownSize, areaWidth, areaHeight);
    } catch (...) {
        prepared.failure = Application::FailureText();
    }
    return prepared;
}
