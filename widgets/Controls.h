// Plain Win32 controls standing in for the skinned ones: windowed controls
// (TWindow and its kin), graphic controls painted by their parent window
// (labels, frames, gradient fills), forms, timers and menus. Sizes are
// device pixels; forms lay out with Scale() from their designed 96-dpi sizes.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Handles.h"
#include "widgets/Application.h"

class TWindow;
class TForm;

// The program's default font: 8-point sans serif.
HFONT DefaultFont();
// A font of the given pixel height (cached for the run).
HFONT MakeFont(const wchar_t* face, int pixelHeight, bool bold = false, bool underline = false);
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
    std::function<void()> onClick;

protected:
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

private:
    static LRESULT CALLBACK OwnProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR data);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void Attach(HWND window);
};

// A top-level window.
class TForm : public TWindow {
public:
    enum class Border { Sizeable, Dialog, None };
    // Creates the window hidden, centred on the screen, before the derived
    // form's member controls are made; client sizes are device pixels.
    TForm(const std::wstring& caption, Border border, int clientWidth, int clientHeight, DWORD extraExStyle = 0);
    ~TForm() override;

    static TForm* FromChild(HWND window);   // the form a window belongs to

    void SetClientSize(int width, int height);
    void CenterOnScreen();
    void SetBorder(Border border);
    Border GetBorder() const { return border_; }

    void Show();
    void Hide();
    // Closes the form: FormClose runs; the main form is destroyed, others hidden.
    void Close();
    // Shows the form modally: other windows of the program are disabled, the
    // event loop runs (timers keep firing) until ModalResult is set.
    int ShowModal();
    bool Modal() const { return modal_; }
    void SetModalResult(int result) { modalResult_ = result; }
    int ModalResult() const { return modalResult_; }

    // Enter closes the form with the answer enter, Escape with escape; the
    // key is swallowed (for forms that see keys before their controls).
    void AnswerEnterAndEscape(wchar_t& key, int enter, int escape);
    // Escape closes the form as Close does; the key is swallowed.
    void CloseOnEscape(wchar_t& key);
    bool KeyPreview() const { return keyPreview_; }
    void SetKeyPreview(bool preview) { keyPreview_ = preview; }
    void SetShowHint(bool show);
    bool ShowHint() const { return showHint_; }
    void SetAlwaysOnTop(bool onTop);

    // The tooltip window that shows the short hints of this form's controls.
    HWND ToolTip() const { return tooltip_; }
    void RegisterHint(TWindow& control);
    // The control moved: its hint follows it.
    void MoveHint(TWindow& control);

    // Handlers, named as the forms name them.
    virtual void FormShow() {}
    virtual void FormClose() {}
    virtual void FormResize() {}
    virtual void FormKeyDown(WORD& key, ShiftState shift) {}
    virtual void FormKeyPress(wchar_t& key) {}
    // A mouse-wheel turn; return true when handled.
    virtual bool FormMouseWheel(int delta, ShiftState shift, POINT screenPoint) { return false; }
    // The long part of the hint of the control under the pointer changed.
    virtual void ApplicationHint(const std::wstring& longHint) {}

    // Key preview entry points used by the event loop; false: key consumed.
    bool PreviewKeyDown(WORD& key);
    bool PreviewChar(wchar_t& key);
    // Wheel preview used by the event loop: a wheel turn over one of the
    // form's controls goes to FormMouseWheel first; true: handled, and the
    // control does not get it. Otherwise the control gets it and the form
    // does not see it a second time until EndWheelPreview.
    bool PreviewMouseWheel(WPARAM wParam, LPARAM lParam);
    void EndWheelPreview() { wheelPreviewed_ = false; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    DWORD StyleFor(Border border) const;

    Border border_ = Border::Sizeable;
    bool keyPreview_ = false;
    bool showHint_ = true;
    bool modal_ = false;
    int modalResult_ = 0;
    bool wheelPreviewed_ = false;
    HWND tooltip_ = nullptr;
    FontHandle hintFont_;
};

// A push button drawn by the program: caption or glyph, optional face
// colour, hover highlight, greyed when disabled.
class TButton : public TWindow {
public:
    TButton(TWindow& parent, int left, int top, int width, int height, const std::wstring& caption = L"");
    void SetGlyph(HBITMAP glyph);       // 32-bit premultiplied BGRA; not owned
    HBITMAP Glyph() const { return glyph_; }
    void SetFaceColor(COLORREF color) { faceColor_ = color; hasFace_ = true; Invalidate(); }
    void Click();                       // as if the user clicked (when enabled)

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void HandleCommand(WORD code) override;
    void HandleDrawItem(DRAWITEMSTRUCT* item) override;

private:
    HBITMAP glyph_ = nullptr;
    COLORREF faceColor_ = 0;
    bool hasFace_ = false;
    bool hot_ = false;
};

class TEdit : public TWindow {
public:
    TEdit(TWindow& parent, int left, int top, int width, int height, DWORD extraStyle = 0);
    void SelectAll();
    std::function<void()> onChange;
    std::function<bool(wchar_t&)> onKeyPress;   // return false to swallow the character

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void HandleCommand(WORD code) override;
    HBRUSH HandleControlColor(HDC dc) override;
};

class TMemo : public TEdit {
public:
    TMemo(TWindow& parent, int left, int top, int width, int height, bool readOnly);
    void SetLines(const std::vector<std::wstring>& lines);
    void AddLine(const std::wstring& line);
    std::vector<std::wstring> Lines() const;
    void Clear();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class TComboBox : public TWindow {
public:
    // editable: a drop-down with an edit field; otherwise a drop-down list.
    TComboBox(TWindow& parent, int left, int top, int width, bool editable, const std::vector<std::wstring>& items);
    void SetItemIndex(int index);
    int ItemIndex() const;
    std::vector<std::wstring> Items() const;
    // Replaces the whole list; nothing is selected afterwards.
    void SetItems(const std::vector<std::wstring>& items);
    // Runs on every change the user makes (typed or chosen), never on SetText.
    std::function<void()> onChange;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void HandleCommand(WORD code) override;

private:
    void NarrowMargins();
};

class TCheckBox : public TWindow {
public:
    TCheckBox(TWindow& parent, int left, int top, int width, int height, const std::wstring& caption);
    void SetChecked(bool checked);
    bool Checked() const;

protected:
    void HandleCommand(WORD code) override;
    HBRUSH HandleControlColor(HDC dc) override;
};

// A panel: a window of our own class with a face colour, an optional
// centred caption and an optional raised bevel; a parent for other controls.
class TPanel : public TWindow {
public:
    enum class Bevel { None, Raised, Lowered };
    TPanel(TWindow& parent, int left, int top, int width, int height);
    void SetBevel(Bevel outer, int width = 1) { bevel_ = outer; bevelWidth_ = width; Invalidate(); }
    void SetBorderWidth(int width) { borderWidth_ = width; Invalidate(); }

protected:
    void PaintWindow(HDC dc, const RECT& area) override;
    Bevel bevel_ = Bevel::None;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
};

class TStatusBar : public TWindow {
public:
    TStatusBar(TWindow& parent);
    void SetPanelWidths(const std::vector<int>& widths);   // -1: the rest
    void SetPanelText(int panel, const std::wstring& text);
    std::wstring PanelText(int panel) const;
};

// The answer buttons of a dialog whose outer width is outerWidth, R(x)
// rounding halves to the even neighbour: with a second button, the first
// ends 5 pixels left of R(width / 2) and the second starts 5 pixels right of
// it; alone, the first is centred at R((width - its width) / 2).
void PlaceAnswerButtons(int outerWidth, int top, TButton& first, TButton* second);

// Label painted by its parent; transparent unless a colour is set.
class TLabel : public TGraphicControl {
public:
    enum class Align { Left, Right, Center };
    TLabel(TWindow& parent, int left, int top, const std::wstring& caption, HFONT font = nullptr);
    void SetCaption(const std::wstring& caption);
    const std::wstring& Caption() const { return caption_; }
    void SetFont(HFONT font);
    HFONT Font() const { return font_; }
    void SetColor(COLORREF color) { color_ = color; Invalidate(); }
    void SetAlignment(Align align) { align_ = align; }
    // With auto size on, the label's size follows its text; with word wrap
    // the width is kept and the height follows.
    void SetWordWrap(bool wrap);
    void SetRightEdge(int right);       // right-aligned labels keep this edge
    void AdjustSize();
    void Paint(HDC dc) override;

private:
    std::wstring caption_;
    HFONT font_ = nullptr;
    COLORREF color_ = RGB(0, 0, 0);
    Align align_ = Align::Left;
    bool wordWrap_ = false;
    int rightEdge_ = -1;
};

// A frame line around an area.
class TBevel : public TGraphicControl {
public:
    TBevel(TWindow& parent, int left, int top, int width, int height);
    void Paint(HDC dc) override;
};

// A horizontal gradient from one colour to another in a number of steps.
class TGradientFill : public TGraphicControl {
public:
    TGradientFill(TWindow& parent, int left, int top, int width, int height, COLORREF from, COLORREF to,
                  int steps);
    void Paint(HDC dc) override;

private:
    COLORREF from_, to_;
    int steps_;
};

// A solid rectangle of one colour.
class TShape : public TGraphicControl {
public:
    TShape(TWindow& parent, int left, int top, int width, int height, COLORREF color);
    void Paint(HDC dc) override;
    COLORREF color;
};

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

// Menus: a tree of items with captions, check marks and enabled states.
class TMenuItem {
public:
    explicit TMenuItem(const std::wstring& caption = L"");
    ~TMenuItem();
    TMenuItem(const TMenuItem&) = delete;
    TMenuItem& operator=(const TMenuItem&) = delete;

    TMenuItem& Add(const std::wstring& caption, std::function<void()> onClick = nullptr);
    void AddSeparator();
    void SetCaption(const std::wstring& caption);
    const std::wstring& Caption() const { return caption_; }
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    void SetChecked(bool checked);
    bool Checked() const { return checked_; }
    bool IsSeparator() const { return separator_; }
    const std::vector<std::unique_ptr<TMenuItem>>& Items() const { return items_; }
    UINT Id() const { return id_; }
    HMENU SubMenu() const { return submenu_.Get(); }
    void Click();
    std::function<void()> onClick;

    static TMenuItem* FromId(UINT id);

private:
    void UpdateParent();
    void Rebuild();
    std::wstring caption_;
    bool enabled_ = true;
    bool checked_ = false;
    bool separator_ = false;
    UINT id_ = 0;
    TMenuItem* parent_ = nullptr;
    MenuHandle submenu_;
    std::vector<std::unique_ptr<TMenuItem>> items_;
};

class TPopupMenu : public TMenuItem {
public:
    // Shows the menu at a screen point, owned by the window; runs the chosen item.
    void Popup(HWND owner, POINT screen);
};
