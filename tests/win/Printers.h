// How a failed Windows test shows windows, rectangles and points: readable
// text instead of a pointer or raw bytes. The build includes this file first
// in every Windows test source (cmake).
#pragma once

#include <windows.h>

#include <ostream>

#include "base/Failure.h"
#include "tests/Printers.h"

// A window as its handle, class and title (read without sending it a
// message, so printing never waits on the window's thread).
inline void PrintTo(HWND__* window, std::ostream* os)
{
    if (!window) {
        *os << "no window (null)";
        return;
    }
    *os << "window " << static_cast<const void*>(window);
    if (!IsWindow(window)) {
        *os << " (destroyed)";
        return;
    }
    wchar_t kind[128] = {}, title[256] = {};
    GetClassNameW(window, kind, 128);
    InternalGetWindowText(window, title, 256);
    *os << " of class \"" << Narrow(kind) << "\" titled \"" << Narrow(title) << "\"";
}

inline void PrintTo(const RECT& r, std::ostream* os)
{
    *os << "(" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom << ")";
}

inline void PrintTo(const POINT& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }

inline void PrintTo(const SIZE& s, std::ostream* os) { *os << s.cx << " x " << s.cy; }
