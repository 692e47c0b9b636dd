#include <gtest/gtest.h>

#include <vector>

#include "rules/WindowPlacement.h"

namespace {

// Where a 300 × 200 dialog opens for a main window at each place, over the
// monitors of a few desks. Work areas leave room for taskbars.
TEST(WindowPlacement, DialogsOpenCentredOnTheMainWindowsMonitor)
{
    // The primary (listed first) at the origin with its taskbar below; a
    // second monitor to its left, higher, with its taskbar on the left; a
    // third below the primary, taller than wide.
    const std::vector<MonitorAreas> desk = {
        {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
        {{-2560, -400, 0, 1040}, {-2500, -400, 0, 1040}},
        {{0, 1080, 1080, 3000}, {0, 1080, 1080, 3000}},
    };
    struct Row {
        const char* what;
        std::vector<MonitorAreas> monitors;
        ScreenRect mainWindow;
        bool noMainWindow;
        int width, height;
        ScreenRect expected;
    };
    const Row rows[] = {
        {"on the primary", desk, {100, 100, 800, 600}, false, 300, 200, {810, 420, 1110, 620}},
        {"on the left monitor", desk, {-2000, 0, -1000, 700}, false, 300, 200, {-1400, 220, -1100, 420}},
        {"mostly on the left monitor", desk, {-900, 100, 300, 700}, false, 300, 200, {-1400, 220, -1100, 420}},
        {"mostly on the primary", desk, {-300, 100, 900, 700}, false, 300, 200, {810, 420, 1110, 620}},
        {"on the monitor below", desk, {100, 2000, 700, 2500}, false, 300, 200, {390, 1940, 690, 2140}},
        {"off every monitor: the nearest", desk, {3000, 200, 3500, 500}, false, 300, 200, {810, 420, 1110, 620}},
        {"off every monitor, far left", desk, {-5000, 0, -4000, 500}, false, 300, 200, {-1400, 220, -1100, 420}},
        {"no main window: the primary", desk, {}, true, 300, 200, {810, 420, 1110, 620}},
        {"larger than the work area: from its corner", desk, {-2000, 0, -1000, 700}, false, 2700, 1500,
         {-2500, -400, 200, 1100}},
        {"no monitors listed", {}, {0, 0, 10, 10}, false, 300, 200, {0, 0, 300, 200}},
        {"odd room: halves go left", {{{0, 0, 101, 101}, {0, 0, 101, 101}}}, {0, 0, 10, 10}, false, 50, 50,
         {25, 25, 75, 75}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ScreenRect* main = row.noMainWindow ? nullptr : &row.mainWindow;
        const ScreenRect placed = PlaceOnMainWindowsMonitor(row.monitors, main, row.width, row.height);
        EXPECT_EQ(placed, row.expected) << placed.left << "," << placed.top << " " << placed.right << ","
                                        << placed.bottom;
    }
}

} // namespace
