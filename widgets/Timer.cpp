#include "widgets/Timer.h"

#include <map>

#include "widgets/Window.h"

class TimerWindow : public TWindow {
public:
    static TimerWindow& Instance()
    {
        static TimerWindow window;
        return window;
    }
    std::map<UINT_PTR, TTimer*> timers;

private:
    TimerWindow() { CreateOwn(0, WS_POPUP, L"", HWND_MESSAGE, 0, 0, 0, 0); }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_TIMER) {
            auto it = timers.find(wParam);
            if (it != timers.end() && it->second->enabled_ && it->second->onTimer)
                it->second->onTimer();
            return 0;
        }
        return TWindow::HandleMessage(message, wParam, lParam);
    }
};

TTimer::TTimer()
{
    static UINT_PTR next = 1;
    id_ = next++;
    TimerWindow::Instance().timers[id_] = this;
}

TTimer::~TTimer()
{
    auto& window = TimerWindow::Instance();
    if (window.Handle())
        KillTimer(window.Handle(), id_);
    window.timers.erase(id_);
}

void TTimer::SetEnabled(bool enabled)
{
    if (enabled_ != enabled) {
        enabled_ = enabled;
        Update();
    }
}

void TTimer::SetInterval(unsigned milliseconds)
{
    if (interval_ != milliseconds) {
        interval_ = milliseconds;
        Update();
    }
}

void TTimer::Update()
{
    HWND window = TimerWindow::Instance().Handle();
    KillTimer(window, id_);
    if (enabled_ && interval_ > 0)
        SetTimer(window, id_, interval_, nullptr);
}
