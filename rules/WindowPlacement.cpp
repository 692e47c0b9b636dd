#include "rules/WindowPlacement.h"

#include <algorithm>
#include <cstdint>

namespace {

int64_t Overlap(const ScreenRect& a, const ScreenRect& b)
{
    const int64_t w = int64_t(std::min(a.right, b.right)) - std::max(a.left, b.left);
    const int64_t h = int64_t(std::min(a.bottom, b.bottom)) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// The squared distance between the two rectangles (0 when they touch).
int64_t Distance(const ScreenRect& a, const ScreenRect& b)
{
    const int64_t dx = std::max<int64_t>({0, int64_t(b.left) - a.right, int64_t(a.left) - b.right});
    const int64_t dy = std::max<int64_t>({0, int64_t(b.top) - a.bottom, int64_t(a.top) - b.bottom});
    return dx * dx + dy * dy;
}

// The start of a length centred in [low, high), kept inside it where it fits.
int Centred(int low, int high, int length)
{
    const int64_t start = low + (int64_t(high) - low - length) / 2;
    return int(std::max<int64_t>(low, std::min<int64_t>(start, int64_t(high) - length)));
}

} // namespace

size_t MonitorOfWindow(std::span<const MonitorAreas> monitors, const ScreenRect& window)
{
    size_t best = 0;
    int64_t most = 0;
    for (size_t i = 0; i < monitors.size(); ++i)
        if (const int64_t overlap = Overlap(monitors[i].whole, window); overlap > most) {
            most = overlap;
            best = i;
        }
    if (most > 0)
        return best;
    for (size_t i = 1; i < monitors.size(); ++i)
        if (Distance(monitors[i].whole, window) < Distance(monitors[best].whole, window))
            best = i;
    return best;
}

ScreenRect CentredOn(const ScreenRect& work, int width, int height)
{
    const int left = Centred(work.left, work.right, width), top = Centred(work.top, work.bottom, height);
    return {left, top, left + width, top + height};
}

ScreenRect PlaceOnMainWindowsMonitor(std::span<const MonitorAreas> monitors, const ScreenRect* mainWindow, int width,
                                     int height)
{
    if (monitors.empty())
        return {0, 0, width, height};
    const size_t monitor = mainWindow ? MonitorOfWindow(monitors, *mainWindow) : 0;
    return CentredOn(monitors[monitor].work, width, height);
}
