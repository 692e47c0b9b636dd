// Work that may be abandoned. Whoever asks for the work keeps a CancelFlag it
// may set at any time; the thread doing the work holds a CancelScope with that
// flag, and long work looks at it where it can stop cheaply (the JPEG
// decoder's progress, each PNG row, each chunk of a file read, each tile), by
// ThrowIfCancelled. A thread without a scope is never cancelled.
#pragma once

#include <atomic>

class CancelFlag {
public:
    void Cancel() noexcept { set_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const noexcept { return set_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> set_{false};
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
