#include "imaging/pictures/LosslessAhead.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "base/Cancellation.h"

struct LosslessAhead::Preparation::State {
    std::shared_ptr<const std::vector<uint8_t>> file;
    Orientation transform = Orientation::Identity;
    CancelFlag cancel;
    mutable std::mutex mutex;
    mutable std::condition_variable ended;
    bool done = false;                          // guarded by mutex, as is bytes
    std::optional<std::vector<uint8_t>> bytes;
};

std::optional<std::vector<uint8_t>> LosslessAhead::Preparation::Take(std::span<const uint8_t> file,
                                                                     Orientation transform) const
{
    const State& s = *state_;
    const bool sameFile = (file.data() == s.file->data() && file.size() == s.file->size()) ||
                          std::ranges::equal(file, *s.file);
    if (s.cancel.Cancelled() || transform != s.transform || !sameFile)
        return std::nullopt;
    std::unique_lock lock(s.mutex);
    s.ended.wait(lock, [&] { return s.done; });
    if (s.cancel.Cancelled())
        return std::nullopt;
    return s.bytes;
}

LosslessAhead::LosslessAhead(Work work) : work_(std::move(work)) {}

LosslessAhead::~LosslessAhead()
{
    Drop();
}

std::shared_ptr<const LosslessAhead::Preparation> LosslessAhead::Prepare(
    std::shared_ptr<const std::vector<uint8_t>> file, Orientation transform)
{
    Drop();
    auto prepared = std::make_shared<Preparation>();
    prepared->state_ = std::make_shared<Preparation::State>();
    prepared->state_->file = std::move(file);
    prepared->state_->transform = transform;
    try {
        thread_ = std::thread([state = prepared->state_, work = work_]() noexcept {
            std::optional<std::vector<uint8_t>> bytes;
            try {
                CancelScope scope(state->cancel);
                bytes = work(*state->file, state->transform);
            } catch (...) {
                // Cancelled or failed: nothing is prepared, the save does it itself.
                bytes.reset();
            }
            std::lock_guard lock(state->mutex);
            state->bytes = std::move(bytes);
            state->done = true;
            state->ended.notify_all();
        });
    } catch (const std::system_error&) {
        return nullptr;   // no thread to spare: the save does the work itself
    }
    current_ = std::move(prepared);
    return current_;
}

void LosslessAhead::Drop()
{
    if (!current_)
        return;
    Preparation::State& s = *current_->state_;
    s.cancel.Cancel();
    bool ended;
    {
        std::unique_lock lock(s.mutex);
        ended = s.ended.wait_for(lock, kStopWait, [&] { return s.done; });
        s.bytes.reset();   // never used now: its memory goes at once
    }
    // Work stuck where it cannot look at its flag keeps what it needs and
    // ends by itself; nobody waits for it.
    if (ended)
        thread_.join();
    else
        thread_.detach();
    current_.reset();
}
