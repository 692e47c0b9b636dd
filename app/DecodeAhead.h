// Reading ahead: while the user looks at a picture, the file the next step
// will most likely show is read and decoded on a thread of its own, as far as
// showing it at the size it will be shown needs, so that stepping to it after
// a pause shows it at once.
//
// The thread touches no window and no viewer state: it is handed a path, the
// picture's kind and the zoom it will be shown at, and leaves a prepared
// picture (with the tiles an opaque one shows first at that zoom), or the
// message of its failure, to be taken by the load that reaches the file. Every visible change stays on the user-interface thread:
// a failure is reported when the file is reached, as a load would report it;
// a file changed on disk since it was read (its size or time of last
// writing), or reached at another zoom, is read again by the load.
//
// At most one prepared picture is held, and none that would hold more than
// kMaxPreparedBytes: the picture on screen and the next one are never both
// large.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/ZoomRules.h"
#include "imaging/DisplaySource.h"
#include "imaging/DisplayTiles.h"

class TDecodeAhead {
public:
    static constexpr uint64_t kMaxPreparedBytes = uint64_t(64) << 20;

    TDecodeAhead();
    ~TDecodeAhead();   // waits for work under way to end
    TDecodeAhead(const TDecodeAhead&) = delete;
    TDecodeAhead& operator=(const TDecodeAhead&) = delete;

    // Starts reading the file ahead for that zoom, letting go of whatever
    // was prepared or under way for another file or zoom. Only rasters, JPEG
    // and PNG images are read ahead; for other kinds it is as Drop. The tiles
    // made ahead cover the top left of the picture as far as the area.
    void Request(const std::wstring& path, GraphicKind kind, const ZoomState& zoom, int areaWidth,
                 int areaHeight);
    // Lets go of what was prepared; work under way is let go when it ends.
    void Drop();

    struct Prepared {
        PreparedPicture picture;
        // What an opaque picture shows first at the zoom (its top left), or
        // nothing.
        std::shared_ptr<DisplayTiles> tiles;
        std::wstring failure;   // the message a load would fail with; empty on success
    };
    // What was prepared for path at that zoom, once: waits for work under
    // way on it, and gives nothing when there is none, the file has changed
    // since it was read or the zoom differs. Whatever it gives or not,
    // nothing stays prepared.
    std::optional<Prepared> Take(const std::wstring& path, const ZoomState& zoom);

    // Whether a file is waiting to be read or being read.
    bool Busy() const;
    // How many loads were served from what was prepared.
    int Taken() const { return taken_; }

private:
    struct Identity {
        uint64_t size = 0, written = 0;
        bool valid = false;
        bool operator==(const Identity&) const = default;
    };
    static Identity IdentityOf(const std::wstring& path);
    void Run() noexcept;
    void Work(std::unique_lock<std::mutex>& lock);
    // Nothing when the picture would hold too much to be kept ahead.
    static std::optional<Prepared> Prepare(const std::wstring& path, GraphicKind kind, const ZoomState& zoom,
                                           int areaWidth, int areaHeight);
    void DropLocked();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // The file asked for, and whether its work is waiting, under way or done.
    enum class State { Idle, Waiting, Working, Done } state_ = State::Idle;
    std::wstring path_;
    GraphicKind kind_ = GraphicKind::Raster;
    ZoomState zoom_;
    int areaWidth_ = 0, areaHeight_ = 0;
    uint64_t request_ = 0;   // counts requests, so late results of old ones are dropped
    Identity identity_;      // of the file when its reading began
    std::optional<Prepared> prepared_;
    bool stopping_ = false;
    int taken_ = 0;
    std::thread thread_;
};
