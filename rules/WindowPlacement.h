// Where the program's own windows open: centred on the work area of the
// monitor the main window is on (not on the primary screen), chosen as the
// system chooses a window's monitor.
#pragma once

#include <cstddef>
#include <span>

// A rectangle of the virtual screen (right and bottom outside it).
struct ScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const ScreenRect&) const = default;
};

// A monitor: its whole area and its work area (without the taskbar).
struct MonitorAreas {
    ScreenRect whole, work;
};

// The monitor a window with that rectangle is on: the one it overlaps most
// (the first of those when several tie), else the nearest to it; the first
// (the primary monitor, as the system lists it first) when there are none.
// Index into monitors; 0 when monitors is empty.
size_t MonitorOfWindow(std::span<const MonitorAreas> monitors, const ScreenRect& window);

// A window of that size centred on the work area, moved (no further than it
// must) to lie inside it; a window larger than the work area starts at its
// left or top edge.
ScreenRect CentredOn(const ScreenRect& work, int width, int height);

// Both: where a window of that size opens when the main window has that
// rectangle (none: the primary monitor's work area).
ScreenRect PlaceOnMainWindowsMonitor(std::span<const MonitorAreas> monitors, const ScreenRect* mainWindow, int width,
                                     int height);
