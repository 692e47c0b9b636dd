// The window base of every control and form: TWindow (our own window class
// or a standard control subclassed), the light-weight graphic controls that
// a window paints (TGraphicControl), the program's fonts and hints. Sizes are
// device pixels; forms lay out with Scale() from their designed 96-dpi sizes.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "widgets/Application.h"

class TWindow;

// The program's default font: 8-point sans serif.
HFONT DefaultFont();
// A font of the given pixel height (cached for the run).
HFONT MakeFont(const wchar_t* face, int pixelHeight, bool bold = false, bool underline = false);
// The same font at another size: its pixel height times num / den (cached
// like MakeFont's). Null stays null.
HFONT ScaledFont(HFONT font, int num, int den);

// A control's place, size and font as they were at one scale, so that a
// control moved through several scales is each time scaled from there (no
// rounding piles up): what it was last given is taken as the new start when
// anything else has moved it or changed its font since.
class ScaleMemo {
public:
    // The place and font for the new scale, from what they are now (at
    // oldDpi).
    RECT Bounds(const RECT& now, int newDpi, int oldDpi);
    HFONT Font(HFONT now, int newDpi, int oldDpi);

private:
    RECT baseBounds_{}, lastBounds_{};
    int boundsDpi_ = 0;
    HFONT baseFont_ = nullptr, lastFont_ = nullptr;
    int fontDpi_ = 0;
};
// The first of the faces that the system has installed; the first face
// when none is (the system then picks its nearest).
const wchar_t* InstalledFace(std::initializer_list<const wchar_t*> faces);
// True when the system has a font of that face.
bool FontInstalled(const wchar_t* face);

// The hint of a window, or, when it has none of its own, of the nearest
// window above it up to its form.
std::wstring NearestHint(HWND window);

// Splits "short|long" hint text; without a bar both parts are the whole text.
std::wstring ShortHint(const std::wstring& hint);
std::wstring LongHint(const std::wstring& hint);

// A control without a window of its own, painted by its parent.
class TGraphicControl {
public:
    explicit TGraphicControl(TWindow& parent);
    virtual ~TGraphicControl();
    TGraphicControl(const TGraphicControl&) = delete;
    TGraphicControl& operator=(const TGraphicControl&) = delete;

    void SetBounds(int left, int top, int width, int height);
    RECT BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetVisible(bool visible);
    bool Visible() const { return visible_; }
    void SetCursor(HCURSOR cursor) { cursor_ = cursor; }
    HCURSOR Cursor() const { return cursor_; }
    void Invalidate() const;
    TWindow& Parent() const { return parent_; }

    virtual void Paint(HDC dc) = 0;
    // The display's scale changed from oldDpi to newDpi: place, size and
    // type follow.
    virtual void Rescale(int newDpi, int oldDpi);
    std::function<void()> onClick;

protected:
    ScaleMemo scaleMemo_;
    TWindow& parent_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    HCURSOR cursor_ = nullptr;
};

// Any window of the program: our own window class or a standard control
// subclassed, with its messages routed to HandleMessage inside Guarded.
class TWindow {
public:
    virtual ~TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    HWND Handle() const { return handle_; }
    static TWindow* FromHandle(HWND window);

    void SetBounds(int left, int top, int width, int height);
    RECT BoundsRect() const;        // in the parent's client coordinates
    int Left() const { return BoundsRect().left; }
    int Top() const { return BoundsRect().top; }
    int Width() const;
    int Height() const;
    int ClientWidth() const;
    int ClientHeight() const;
    void SetEnabled(bool enabled);
    bool Enabled() const;
    void SetVisible(bool visible);
    bool Visible() const;
    void SetText(const std::wstring& text);
    std::wstring Text() const;
    void SetFont(HFONT font);
    void SetFocus();
    bool Focused() const;
    void Invalidate(bool erase = true) const;
    void Repaint() const;           // invalidate and paint now

    // "short|long": the short part pops up next to the pointer, the long
    // part goes to the status bar of the form under the pointer.
    void SetHint(const std::wstring& hint);
    const std::wstring& Hint() const { return hint_; }

    // Background colour (0x00BBGGRR) for windows that paint their own face.
    void SetColor(COLORREF color);
    COLORREF Color() const { return color_; }
    void SetFontColor(COLORREF color);
    COLORREF FontColor() const { return fontColor_; }
    HBRUSH BackgroundBrush();
    // Stops routing messages to this object and destroys the window (and
    // its children). Forms call it first thing in their destructors.
    void DestroyHandle();

    // The display's scale changed from oldDpi to newDpi: the controls of
    // this window (windows of the program's and painted ones), their places,
    // sizes and fonts, and theirs in turn.
    void RescaleChildren(int newDpi, int oldDpi);

    // Graphic controls painted on this window, in z-order.
    void AddGraphic(TGraphicControl* control) { graphics_.push_back(control); }
    void RemoveGraphic(TGraphicControl* control);
    TGraphicControl* GraphicAt(POINT clientPoint) const;

    std::function<void()> onClick;
    std::function<void(int x, int y)> onMouseMove;
    std::function<void(int x, int y, UINT button)> onMouseDown;
    // Replaces the window's own context menu (the WM_CONTEXTMENU lParam).
    std::function<void(LPARAM screenPoint)> onContextMenu;

protected:
    TWindow() = default;
    // Our own window class ("PixavoWindow"): CS_DBLCLKS, arrow cursor, no background brush.
    void CreateOwn(DWORD exStyle, DWORD style, const wchar_t* caption, HWND parent, int x, int y, int w, int h);
    // A standard control class, subclassed.
    void CreateStandard(const wchar_t* className, DWORD exStyle, DWORD style, const wchar_t* caption, HWND parent,
                        int x, int y, int w, int h);

    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
    // Reflected notifications from the parent (WM_COMMAND code, WM_NOTIFY, owner draw, colours).
    virtual void HandleCommand(WORD code) {}
    virtual LRESULT HandleNotify(NMHDR* header) { return 0; }
    virtual void HandleDrawItem(DRAWITEMSTRUCT* item) {}
    virtual HBRUSH HandleControlColor(HDC dc);   // null: default colours
    // Paints the background and the graphic controls; windows of our own class.
    virtual void PaintWindow(HDC dc, const RECT& area);
    void PaintGraphics(HDC dc);

    HWND handle_ = nullptr;
    bool standard_ = false;
    std::wstring hint_;
    HFONT font_ = nullptr;          // our own class: what WM_SETFONT set
    COLORREF color_ = GetSysColor(COLOR_BTNFACE);
    COLORREF fontColor_ = GetSysColor(COLOR_BTNTEXT);
    BrushHandle brush_;
    std::vector<TGraphicControl*> graphics_;
    TGraphicControl* pressedGraphic_ = nullptr;
    ScaleMemo scaleMemo_;

private:
    static LRESULT CALLBACK OwnProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR data);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void Attach(HWND window);
};
