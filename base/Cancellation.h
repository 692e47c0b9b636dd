// Work that may be abandoned. Whoever asks for the work keeps a CancelFlag it
// may set at any time; the thread doing the work holds a CancelScope with that
// flag, and long work looks at it where it can stop cheaply (the JPEG
// decoder's progress, each PNG row, each chunk of a file read, each tile), by
// ThrowIfCancelled. A thread without a scope is never cancelled.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

class CancelFlag {
public:
    void Cancel() noexcept { set_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const noexcept
    {
        const uint64_t look = looks_.fetch_add(1, std::memory_order_relaxed) + 1;
        const uint64_t at = cancelAt_.load(std::memory_order_relaxed);
        return set_.load(std::memory_order_relaxed) || (at != 0 && look >= at);
    }

    // How soon work stops, counted rather than timed: the flag counts the
    // times it is looked at, and with CancelAtLook(n) it is set from its
    // nth look on (1 is the first).
    uint64_t Looks() const noexcept { return looks_.load(std::memory_order_relaxed); }
    void CancelAtLook(uint64_t n) noexcept { cancelAt_.store(n, std::memory_order_relaxed); }

private:
    std::atomic<bool> set_{false};
    mutable std::atomic<uint64_t> looks_{0};
    std::atomic<uint64_t> cancelAt_{0};
};

// Thrown where cancelled work stops. Not a failure: nobody reports it.
struct WorkCancelled {};

// The flag the calling thread's work answers to while the scope lasts. Work
// done ahead (nobody waits for it yet) keeps to its own thread and priority;
// work someone waits for, though it may still be cancelled, does not.
class CancelScope {
public:
    explicit CancelScope(const CancelFlag& flag, bool ahead = true);
    ~CancelScope();
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

private:
    const CancelFlag* outer_;
    bool outerAhead_;
};

// Work the user waits for, on a thread that learns of newer requests only
// by looking for them itself (keys waiting in its own message queue): look
// is called at the work's check points, at most every kLookInterval, while
// the scope lasts, and the work is cancelled once it answers true (it has
// given way to what it found). It must not start other work on this thread.
class LookOutScope {
public:
    static constexpr std::chrono::milliseconds kLookInterval{2};
    explicit LookOutScope(std::function<bool()> look);
    ~LookOutScope();
    LookOutScope(const LookOutScope&) = delete;
    LookOutScope& operator=(const LookOutScope&) = delete;

private:
    friend bool CancelRequested() noexcept;
    bool Look() noexcept;

    std::function<bool()> look_;
    std::chrono::steady_clock::time_point nextLook_;
    LookOutScope* outer_;
    bool looking_ = false, gaveWay_ = false;
};

// Whether the work on this thread is done ahead (see CancelScope).
bool WorkAhead() noexcept;
// Whether the work on this thread is no longer wanted.
bool CancelRequested() noexcept;
// Throws WorkCancelled when it is not.
void ThrowIfCancelled();
