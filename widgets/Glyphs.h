// The pictures of the main window's and the image tools window's buttons,
// drawn by the program at start: 32-bit premultiplied BGRA bitmaps (what
// TButton::SetGlyph takes), smoothed by drawing each colour at four times the
// size and averaging it down.
#pragma once

#include <windows.h>

#include <array>

#include "base/Handles.h"

enum class GlyphId {
    Open, Save, Print, Email, Previous, Next, ZoomOut, ZoomIn, RotateCCW, RotateCW, Tools, FullScreen,
    // The image tools window's buttons.
    Rotate180, FlipHorizontal, FlipVertical, Resize, RevertSize
};

// A size × size glyph.
BitmapHandle MakeGlyph(GlyphId id, int size);

// The pictures that the two toggle buttons switch between.
class TToggleBitmapList {
public:
    enum Index { AutoFitOn = 0, AutoFitOff = 1, SlideShowStopped = 2, SlideShowRunning = 3 };
    explicit TToggleBitmapList(int size);
    HBITMAP Bitmap(int index) const;    // null outside 0 to 3
    int Count() const { return int(bitmaps_.size()); }

private:
    std::array<BitmapHandle, 4> bitmaps_;
};
