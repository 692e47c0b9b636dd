#include "rules/ReadAhead.h"

#include <condition_variable>
#include <mutex>

#include "base/Cancellation.h"

struct ReadAhead::Shared {
    explicit Shared(Hooks h) : hooks(std::move(h)) {}

    enum class State { Idle, Waiting, Working, Done };

    const Hooks hooks;
    std::mutex mutex;
    std::condition_variable changed;
    // The request, and whether its work is waiting, under way or done.
    State state = State::Idle;
    Job job;
    uint64_t request = 0;   // counts requests, so what old ones leave is told apart
    std::shared_ptr<CancelFlag> cancel;
    std::optional<Result> result;
    FileIdentity identity;  // of the file when its reading began
    bool stopping = false, ended = false;

    bool UnderWay() const { return state == State::Waiting || state == State::Working; }

    // Whether the request already asked for does the work `wanted` needs.
    bool SameWork(const Job& wanted) const
    {
        if (state == State::Idle || wanted.path != job.path)
            return false;
        if (state == State::Done && result)
            return hooks.level(job.zoom, result->width, result->height) ==
                   hooks.level(wanted.zoom, result->width, result->height);
        // The picture's size is not known yet (or nothing came of it).
        return wanted.zoom == job.zoom;
    }

    // Lets the request go: its work is cancelled, and what it prepared goes
    // into `discard`, to be freed once the lock is let go.
    void DropLocked(std::optional<Result>& discard)
    {
        ++request;
        if (cancel)
            cancel->Cancel();
        cancel.reset();
        discard = std::move(result);
        result.reset();
        job.path.clear();
        state = State::Idle;
    }
};

ReadAhead::ReadAhead(Hooks hooks)
    : shared_(std::make_shared<Shared>(std::move(hooks))), thread_([shared = shared_] { Run(shared); })
{
    if (shared_->hooks.priority)
        shared_->hooks.priority(thread_, false);
}

ReadAhead::~ReadAhead()
{
    bool ended;
    {
        std::unique_lock lock(shared_->mutex);
        shared_->stopping = true;
        if (shared_->cancel)
            shared_->cancel->Cancel();
        shared_->changed.notify_all();
        ended = shared_->changed.wait_for(lock, kStopWait, [&] { return shared_->ended; });
    }
    // A worker stuck in a read that does not return (a slow network folder)
    // keeps what it needs and ends by itself; the process does not wait.
    if (ended)
        thread_.join();
    else
        thread_.detach();
}

void ReadAhead::Request(Job job)
{
    Shared& s = *shared_;
    std::optional<Result> discarded;
    {
        std::lock_guard lock(s.mutex);
        const bool urgent = job.urgent;
        if (s.SameWork(job)) {
            // Asked for again, now awaited: the work goes on, higher.
            if (urgent && !s.job.urgent && s.UnderWay()) {
                s.job.urgent = true;
                if (s.hooks.priority)
                    s.hooks.priority(thread_, true);
            }
            return;
        }
        s.DropLocked(discarded);
        s.job = std::move(job);
        s.cancel = std::make_shared<CancelFlag>();
        s.state = Shared::State::Waiting;
        if (s.hooks.priority)
            s.hooks.priority(thread_, urgent);
    }
    s.changed.notify_all();
}

void ReadAhead::Drop()
{
    std::optional<Result> discarded;
    std::lock_guard lock(shared_->mutex);
    shared_->DropLocked(discarded);
}

bool ReadAhead::Busy() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->UnderWay();
}

bool ReadAhead::Ready(const std::wstring& path) const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->state == Shared::State::Done && shared_->result && shared_->job.path == path;
}

std::optional<ReadAhead::Result> ReadAhead::Take(const std::wstring& path, const ZoomState& zoom)
{
    Shared& s = *shared_;
    std::optional<Result> result, discarded;
    FileIdentity identity;
    ZoomState preparedFor;
    {
        std::unique_lock lock(s.mutex);
        const bool underWay = s.UnderWay();
        if (s.state == Shared::State::Idle || path != s.job.path || (underWay && !(zoom == s.job.zoom))) {
            s.DropLocked(discarded);
            return std::nullopt;
        }
        if (underWay) {
            // Work on this very file is nearer its end than a new start. The
            // worker runs as high as this thread while this thread waits;
            // this thread's own work may be cancelled meanwhile (it looks
            // with the lock let go, so that it may ask for other work).
            const uint64_t request = s.request;
            // Back to what the work under way then asks for (with the lock).
            const auto settle = [&] {
                if (s.hooks.priority)
                    s.hooks.priority(thread_, s.UnderWay() && s.job.urgent);
            };
            if (s.hooks.priority)
                s.hooks.priority(thread_, true);
            while (!s.changed.wait_for(lock, std::chrono::milliseconds(2), [&] { return !s.UnderWay(); })) {
                lock.unlock();
                try {
                    ThrowIfCancelled();
                } catch (...) {
                    lock.lock();
                    settle();
                    throw;
                }
                lock.lock();
                if (s.request != request) {
                    settle();
                    return std::nullopt;   // asked for something else meanwhile
                }
            }
            settle();
        }
        result = std::move(s.result);
        identity = s.identity;
        preparedFor = s.job.zoom;
        s.DropLocked(discarded);
    }
    if (!result)
        return std::nullopt;
    try {
        if (s.hooks.level(preparedFor, result->width, result->height) !=
                s.hooks.level(zoom, result->width, result->height) ||
            !(s.hooks.identify(path) == identity))
            return std::nullopt;
    } catch (...) {
        // Whatever cannot be told is read again.
        return std::nullopt;
    }
    ++taken_;
    return result;
}

void ReadAhead::Run(const std::shared_ptr<Shared>& shared) noexcept
{
    Shared& s = *shared;
    std::unique_lock lock(s.mutex);
    while (!s.stopping) {
        if (s.state != Shared::State::Waiting) {
            s.changed.wait(lock);
            continue;
        }
        const uint64_t request = s.request;
        const std::shared_ptr<CancelFlag> cancel = s.cancel;
        s.state = Shared::State::Working;
        std::optional<Result> result;
        FileIdentity identity;
        const auto started = std::chrono::steady_clock::now();
        try {
            const Job job = s.job;
            lock.unlock();
            const CancelScope scope(*cancel, !job.urgent);
            identity = s.hooks.identify(job.path);
            if (identity.valid) {
                result = s.hooks.prepare(job);
                // Changed while it was read: what was read may be neither.
                if (result && !(s.hooks.identify(job.path) == identity))
                    result.reset();
            }
        } catch (...) {
            // Failed or cancelled: nothing is prepared. The load that reaches
            // the file reads it itself and reports what it meets then.
            result.reset();
        }
        if (!lock.owns_lock())
            lock.lock();
        if (request == s.request) {
            if (result && !s.job.urgent)
                result->took =
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
            s.result = std::move(result);
            s.identity = identity;
            s.state = Shared::State::Done;
            s.changed.notify_all();
        } else if (result) {
            // Let go meanwhile: never handed over, and freed outside the lock.
            lock.unlock();
            result.reset();
            lock.lock();
        }
    }
    s.ended = true;
    s.changed.notify_all();
}
