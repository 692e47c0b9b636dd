// The image area's windows: the image control that shows the current
// picture, the scrolling area that holds it and the message panel above it.
#pragma once

#include <windows.h>

#include <memory>

#include "app/AnimationPlayer.h"
#include "imaging/display/DisplayTiles.h"
#include "imaging/pictures/PictureUtilUnit.h"
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

// The image control: shows its picture stretched to its own size. It may be
// far larger than the part of it that is seen: only what is seen is made.
// Rasters, JPEG and PNG images are shown at natural size and larger straight
// from their pixels when they can be, and otherwise a tile at a time from the
// reduced level that suits the size, averaged down to it
// (imaging/display/DisplayTiles.h); icons and metafiles are drawn once per size.
class TImageView : public TPointerWindow {
public:
    explicit TImageView(TWindow& parent);
    // Takes a copy of the picture (the pixels are shared, not copied).
    void SetPicture(const TPicture& picture);
    const TPicture& Picture() const { return picture_; }
    // Tiles made elsewhere for the picture just set, kept as if made here
    // (ignored when they are of another picture or background).
    void TakeTiles(DisplayTiles tiles);
    // Transparent parts of the picture are shown over this colour.
    void SetBackground(COLORREF color);
    // The colours pictures are shown in (DisplayTiles::SetColours).
    void SetColours(std::shared_ptr<const MonitorColours> colours);
    // Decodes what showing the picture at the control's size needs now, so
    // that a failure comes from the command that sized it, not from a paint.
    void PrepareDisplay();
    // Keeps what is seen of the picture on screen as it is and lets the
    // picture go, while the next one is read: until SetPicture, paints show
    // the pixels kept, over the background elsewhere.
    void Freeze();
    bool Frozen() const { return frozen_ || frozenTiles_; }
    // How many times what is shown was made anew for a picture, size or
    // background (it is kept while nothing changes).
    int DisplayCopiesMade() const { return copiesMade_; }
    // Tiles made so far (DisplayTiles), and whether the picture is drawn
    // straight from its pixels at its present size.
    int TilesMade() const { return tiles_.TilesMade(); }
    bool DrawnStraight() const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PaintWindow(HDC dc, const RECT& area) override;

private:
    void Draw(HDC dc, const RECT& area);
    void DrawStraight(HDC dc, const Raster& pixels);
    void DrawTiles(HDC dc, const RECT& area);
    bool MakeDrawnCopy(int width, int height);
    void Changed();
    // An animation: its next frame shown when its time is up.
    void Play();
    void ShowNextFrame();
    bool Covered() const;
    void FillBackground(HDC dc, const RECT& area) const;
    RECT SeenPart() const;

    TPicture picture_;
    COLORREF background_ = RGB(0, 0, 0);
    DisplayTiles tiles_;        // rasters, JPEG and PNG images
    BitmapHandle drawn_;        // icons and metafiles: the drawing
    int copyWidth_ = -1, copyHeight_ = -1;
    bool copyValid_ = false;
    BitmapHandle frozen_;       // what was seen when the picture was let go
    RECT frozenPart_{};
    bool frozenTiles_ = false;  // or the tiles that were seen
    bool changed_ = true;       // not yet shown since a change
    int shownWidth_ = -1, shownHeight_ = -1;   // the size last shown
    bool failed_ = false;       // what the size needs could not be decoded
    int copiesMade_ = 0;
    std::unique_ptr<TAnimationPlayer> player_;   // while an animation plays
};

// The scrolling image area. It holds one content window; the content's left
// and top are given relative to the visible part, as scrolling moves it.
class TScrollArea : public TPointerWindow {
public:
    enum class Axis { Horizontal, Vertical };
    explicit TScrollArea(TWindow& parent);

    // Holds the scroll bars and the content window back while the content is
    // placed in several steps (sizes, positions and the visible part follow
    // each step arithmetically), and shows the end state once, when the last
    // such scope ends: every scroll bar shown or hidden and every move of a
    // window costs a round of the system's window management.
    class MovesHeld {
    public:
        explicit MovesHeld(TScrollArea& area) : area_(area) { ++area_.movesHeld_; }
        ~MovesHeld();
        MovesHeld(const MovesHeld&) = delete;
        MovesHeld& operator=(const MovesHeld&) = delete;

    private:
        TScrollArea& area_;
    };
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
    bool ScrollBarShown(Axis axis) const { return wanted_[int(axis)]; }
    // The full size less the scroll bars that are, or are to be, shown.
    int VisibleWidth() const;
    int VisibleHeight() const;
    int FullWidth() const { return Width(); }
    int FullHeight() const { return Height(); }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void UpdateScrollBars();
    void ApplyScrollBars();
    void MoveContent();
    void Scroll(Axis axis, WORD code);

    TWindow* content_ = nullptr;
    int contentX_ = 0, contentY_ = 0, contentWidth_ = 0, contentHeight_ = 0;   // in content coordinates
    int position_[2] = {0, 0};
    bool wanted_[2] = {false, false};   // the scroll bars the content needs
    bool shown_[2] = {false, false};    // and those shown
    bool updating_ = false;
    int movesHeld_ = 0;
    bool movePending_ = false;
};

// The message panel over the image area.
class TMessagePanel : public TPointerWindow {
public:
    explicit TMessagePanel(TWindow& parent);

protected:
    void PaintWindow(HDC dc, const RECT& area) override;
};
