// Work that may be abandoned. Whoever asks for the work keeps a CancelFlag it
// may set at any time; the thread doing the work holds a CancelScope with that
// flag, and long work looks at it where it can stop cheaply (the JPEG
// decoder's progress, each PNG row, each chunk of a file read, each tile), by
// ThrowIfCancelled. A thread without a scope is never cancelled.
#pragma once

#include <atomic>
#include <cstdint>

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

// The flag the calling thread's work answers to while the scope lasts.
class CancelScope {
public:
    explicit CancelScope(const CancelFlag& flag);
    ~CancelScope();
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

private:
    const CancelFlag* outer_;
};

// Whether the work on this thread may be cancelled: someone may yet stop
// waiting for it (work done ahead), rather than waiting for it now.
bool InCancelScope() noexcept;
// Whether the work on this thread is no longer wanted.
bool CancelRequested() noexcept;
// Throws WorkCancelled when it is not.
void ThrowIfCancelled();
