#include "base/Cancellation.h"

namespace {
thread_local const CancelFlag* current = nullptr;
thread_local bool ahead = false;
thread_local LookOutScope* lookOut = nullptr;
} // namespace

CancelScope::CancelScope(const CancelFlag& flag, bool isAhead) : outer_(current), outerAhead_(ahead)
{
    current = &flag;
    ahead = isAhead;
}

CancelScope::~CancelScope()
{
    current = outer_;
    ahead = outerAhead_;
}

LookOutScope::LookOutScope(std::function<bool()> look)
    : look_(std::move(look)), nextLook_(std::chrono::steady_clock::now() + kLookInterval), outer_(lookOut)
{
    lookOut = this;
}

LookOutScope::~LookOutScope() { lookOut = outer_; }

bool LookOutScope::Look() noexcept
{
    const auto now = std::chrono::steady_clock::now();
    // Not again from within the look itself.
    if (gaveWay_ || now < nextLook_ || looking_)
        return gaveWay_;
    nextLook_ = now + kLookInterval;
    looking_ = true;
    try {
        gaveWay_ = look_();
    } catch (...) {
        // A look that fails changes nothing.
    }
    looking_ = false;
    return gaveWay_;
}

bool WorkAhead() noexcept { return current && ahead; }

bool CancelRequested() noexcept
{
    if (lookOut && lookOut->Look())
        return true;
    return current && current->Cancelled();
}

void ThrowIfCancelled()
{
    if (CancelRequested())
        throw WorkCancelled{};
}
