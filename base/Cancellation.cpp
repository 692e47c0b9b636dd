#include "base/Cancellation.h"

namespace {
thread_local const CancelFlag* current = nullptr;
} // namespace

CancelScope::CancelScope(const CancelFlag& flag) : outer_(current) { current = &flag; }

CancelScope::~CancelScope() { current = outer_; }

bool InCancelScope() noexcept { return current != nullptr; }

bool CancelRequested() noexcept { return current && current->Cancelled(); }

void ThrowIfCancelled()
{
    if (CancelRequested())
        throw WorkCancelled{};
}
