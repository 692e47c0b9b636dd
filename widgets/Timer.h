// Timers whose ticks arrive through the event loop.
#pragma once

#include <windows.h>

#include <functional>

// A periodic timer whose ticks arrive through the event loop, also while a
// modal window is open.
class TTimer {
public:
    TTimer();
    ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    // Changing the interval of a running timer restarts its count.
    void SetInterval(unsigned milliseconds);
    unsigned Interval() const { return interval_; }
    std::function<void()> onTimer;

private:
    void Update();
    UINT_PTR id_;
    bool enabled_ = false;
    unsigned interval_ = 1000;
    friend class TimerWindow;
};
