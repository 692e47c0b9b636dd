// The image area's windows: the image control that shows the current
// picture, the scrolling area that holds it and the message panel above it.
#pragma once

#include <windows.h>

#include "imaging/PictureUtilUnit.h"
#include "widgets/Controls.h"

// What the mouse pointer looks like over a part of the image area.
enum class PointerShape { Default, Hourglass, Hidden };

// Windows of our own class that choose their own pointer.
class TPointerWindow : public TWindow {
public:
    void SetPointer(PointerShape shape);
    PointerShape Pointer() const { return pointer_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    PointerShape pointer_ = PointerShape::Default;
};

// The image control: shows its picture stretched to its own size. The
// stretched copy is made once per picture and size (area-averaged for rasters,
// drawn once for icons and metafiles) and each paint is one blit of it.
class TImageView : public TPointerWindow {
public:
    explicit TImageView(TWindow& parent);
    // Takes a copy of the picture (the pixels are shared, not copied).
    void SetPicture(const TPicture& picture);
    const TPicture& Picture() const { return picture_; }
    // Transparent parts of the picture are shown over this colour.
    void SetBackground(COLORREF color);
    // How many times the display copy was made (it is kept while nothing changes).
    int DisplayCopiesMade() const { return copiesMade_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PaintWindow(HDC dc, const RECT& area) override;

private:
    bool MakeDisplayCopy(int width, int height);
    void DropDisplayCopy();

    TPicture picture_;
    COLORREF background_ = RGB(0, 0, 0);
    Raster scaled_;             // rasters: the stretched pixels
    BitmapHandle drawn_;        // icons and metafiles: the drawing
    int copyWidth_ = -1, copyHeight_ = -1;
    bool copyValid_ = false;
    int copiesMade_ = 0;
};

// The scrolling image area. It holds one content window; the content's left
// and top are given relative to the visible part, as scrolling moves it.
class TScrollArea : public TPointerWindow {
public:
    enum class Axis { Horizontal, Vertical };
    explicit TScrollArea(TWindow& parent);
    void SetContent(TWindow* content);

    void SetContentSize(int width, int height);
    void SetContentLeft(int left);
    void SetContentTop(int top);
    // Left and top relative to the visible part, and size, in one step.
    void SetContentBounds(int left, int top, int width, int height);
    RECT ContentBounds() const;     // relative to the visible part

    int Position(Axis axis) const { return position_[int(axis)]; }
    void SetPosition(Axis axis, int position);
    int Range(Axis axis) const;     // the extent of the scrollable content
    bool ScrollBarShown(Axis axis) const { return shown_[int(axis)]; }
    int VisibleWidth() const { return ClientWidth(); }
    int VisibleHeight() const { return ClientHeight(); }
    int FullWidth() const { return Width(); }
    int FullHeight() const { return Height(); }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void UpdateScrollBars();
    void MoveContent();
    void Scroll(Axis axis, WORD code);

    TWindow* content_ = nullptr;
    int contentX_ = 0, contentY_ = 0, contentWidth_ = 0, contentHeight_ = 0;   // in content coordinates
    int position_[2] = {0, 0};
    bool shown_[2] = {false, false};
    bool updating_ = false;
};

// The message panel over the image area.
class TMessagePanel : public TPointerWindow {
public:
    explicit TMessagePanel(TWindow& parent);

protected:
    void PaintWindow(HDC dc, const RECT& area) override;
};
