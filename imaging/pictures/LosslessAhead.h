// Rearranging a turned JPEG file's blocks (TransformJpeg) ahead of its save:
// a turn starts the work on a thread of its own, so that a save soon after
// finds the file's bytes ready instead of waiting for them.
//
// - One preparation at a time: a newer one supersedes the older, whose work
//   is cancelled (base/Cancellation.h) and whose outcome is never used.
// - A preparation gives its bytes only for exactly the record it was made
//   for (the same file's bytes, the same transform); a save of that record
//   waits for work still under way on it.
// - Work that fails, is cancelled or cannot rearrange the blocks prepares
//   nothing: the save does the work itself, as without a preparation.
// - Closing never waits long: work that does not end within kStopWait of
//   being cancelled is left to end by itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "imaging/pixels/Orientation.h"

class LosslessAhead {
public:
    static constexpr std::chrono::milliseconds kStopWait{200};
    // The work: the file's blocks laid out by the transform, or nothing when
    // the sides do not allow it; it may throw.
    using Work = std::function<std::optional<std::vector<uint8_t>>(std::span<const uint8_t> file, Orientation)>;

    class Preparation {
    public:
        // The bytes prepared for exactly that file and transform, waiting for
        // work under way; nothing when superseded, failed or made for another.
        std::optional<std::vector<uint8_t>> Take(std::span<const uint8_t> file, Orientation transform) const;

    private:
        friend class LosslessAhead;
        struct State;
        std::shared_ptr<State> state_;
    };

    explicit LosslessAhead(Work work);
    ~LosslessAhead();
    LosslessAhead(const LosslessAhead&) = delete;
    LosslessAhead& operator=(const LosslessAhead&) = delete;

    // Starts preparing the file laid out by the transform, superseding the
    // preparation before; null when no thread could be started.
    std::shared_ptr<const Preparation> Prepare(std::shared_ptr<const std::vector<uint8_t>> file,
                                               Orientation transform);
    // Supersedes the preparation under way or made, leaving none.
    void Drop();

private:
    Work work_;
    std::shared_ptr<Preparation> current_;
    std::thread thread_;
};
