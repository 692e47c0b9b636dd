// The rules of reading ahead: while the user looks at a picture, one worker
// thread prepares the file the next step will most likely show, so that the
// step shows it at once. What is asked for, what is kept, when work stops and
// what is handed over are decided here; reading the file, telling whether it
// changed and the thread's priority are the platform's, handed in as hooks.
//
// - One request at a time. A request is known by its file and by what decides
//   the work: the level the picture is decoded at for its zoom. A request for
//   work already done or under way is kept; any other lets the old one go.
// - Work let go stops at its next check point (its CancelFlag is set, see
//   base/Cancellation.h), and what it leaves is never handed over.
// - Only success is kept: work that fails, or leaves nothing, prepares
//   nothing, and the load that reaches the file reads it itself and reports
//   what it meets then.
// - What was prepared is handed over once, to a load of the same file at a
//   zoom that needs the same level, and only when the file is still what it
//   was when its reading began. Nothing stays prepared after a take.
// - The requester never waits on the worker at the worker's low priority:
//   while it waits, or while an urgent request is worked on, the worker runs
//   at its own.
// - Closing never waits long for work on a slow file: the work is cancelled,
//   and a worker that does not end within kStopWait is left to end by itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "imaging/codecs/ImageFormats.h"
#include "imaging/display/DisplaySource.h"
#include "imaging/display/DisplayTiles.h"
#include "rules/ZoomRules.h"

// What tells that a file is still the one that was read: its size and time of
// last writing, and a check of its content where those cannot tell (a file
// rewritten with the same size within the time's resolution).
struct FileIdentity {
    uint64_t size = 0, written = 0, content = 0;
    bool valid = false;   // the file was there and could be read
    bool operator==(const FileIdentity&) const = default;
};

class ReadAhead {
public:
    static constexpr std::chrono::milliseconds kStopWait{200};

    struct Job {
        std::wstring path;
        GraphicKind kind = GraphicKind::Raster;
        ZoomState zoom;                       // what the picture will be shown at
        int areaWidth = 0, areaHeight = 0;    // how far the first tiles go
        // The colours the first tiles are made in (null: the standard ones).
        std::shared_ptr<const MonitorColours> colours;
        // Asked for by the user while another picture is still being read
        // (a step taken during a load): not ahead but awaited, so its work
        // runs at the requester's priority and not kept to its own thread.
        bool urgent = false;
    };
    struct Result {
        int width = 0, height = 0;            // the picture's natural size
        PreparedPicture picture;
        // What an opaque picture shows first (its top left), or nothing.
        std::shared_ptr<DisplayTiles> tiles;
        // How long the work took when it was done ahead (zero when it was
        // urgent: it then shared the machine with the load it was taken for).
        std::chrono::milliseconds took{0};
    };
    struct Hooks {
        // The file as it is on disk now (invalid when it cannot be read).
        std::function<FileIdentity(const std::wstring& path)> identify;
        // The work, run in the worker under the request's CancelScope: the
        // prepared picture, or nothing when it is not to be held ahead. It may
        // throw (nothing is prepared then).
        std::function<std::optional<Result>(const Job&)> prepare;
        // What decides the work: the level a picture of that natural size is
        // decoded at for the zoom.
        std::function<int(const ZoomState&, int width, int height)> level;
        // Sets the worker's priority, called on the requester's thread: below
        // the requester's when urgent is false, as high while it waits.
        std::function<void(std::thread&, bool urgent)> priority;
    };

    explicit ReadAhead(Hooks hooks);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    void Request(Job job);
    // Lets go of what was prepared, and cancels work under way.
    void Drop();
    // What was prepared for the file at that zoom, once: waits for work under
    // way on it, and gives nothing when there is none, the level differs or
    // the file changed since it was read. Nothing stays prepared afterwards.
    // While it waits, the calling thread's own work may be cancelled
    // (WorkCancelled) and other work asked for, which the wait then leaves
    // as it is.
    std::optional<Result> Take(const std::wstring& path, const ZoomState& zoom);

    // Whether a request is waiting for the worker or being worked on.
    bool Busy() const;
    // Whether a picture of that file is prepared (a take may still find it
    // changed, or at another level).
    bool Ready(const std::wstring& path) const;
    // How many takes were served from what was prepared.
    int Taken() const { return taken_; }

private:
    struct Shared;
    static void Run(const std::shared_ptr<Shared>& shared) noexcept;

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    int taken_ = 0;
};
