// A top-level window: borders, placement, hints, modal showing and the keys
// a form sees before its controls.
#pragma once

#include "widgets/Window.h"

// How a modal form was answered: its first button or Enter (Ok), its second
// button, Escape or the close box (Cancel), or a third button (Optional).
enum class ModalAnswer { None, Ok, Cancel, Optional };

// Where a window of the program opens: centred on the work area of the
// monitor the main window is on (rules/WindowPlacement.h).
RECT PlaceOnMainMonitor(HWND window, int width, int height);

// While it lives, the first dialog box the system opens for this thread (a
// message box, a common dialog) is centred as the program's own windows
// are, once the system has placed it. Scopes nest: a message box a system
// dialog opens in turn is placed by its own.
class SystemDialogPlacement {
public:
    SystemDialogPlacement();
    ~SystemDialogPlacement();
    SystemDialogPlacement(const SystemDialogPlacement&) = delete;
    SystemDialogPlacement& operator=(const SystemDialogPlacement&) = delete;
    // The window coming forward, if it is the dialog this scope waits for.
    static void Activating(HWND window) noexcept;

private:
    SystemDialogPlacement* outer_;
    bool placed_ = false;
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
    // Centres the form on the work area of the monitor the main window is on
    // (the primary monitor's while there is no main window, and for the main
    // window itself).
    void CenterOnScreen();
    // When the form is centred so as it shows: each time (the dialogs), the
    // first time only (a window the user may move and find there again), or
    // never (the main window).
    enum class Placement { EveryShow, FirstShow, Never };
    void SetPlacement(Placement placement) { placement_ = placement; }
    void SetBorder(Border border);
    Border GetBorder() const { return border_; }

    void Show();
    void Hide();
    // Closes the form: FormClose runs; the main form is destroyed, others hidden.
    void Close();
    // Shows the form modally: other windows of the program are disabled, the
    // event loop runs (timers keep firing) until ModalResult is set.
    ModalAnswer ShowModal();
    bool Modal() const { return modal_; }
    void SetModalResult(ModalAnswer result) { modalResult_ = result; }
    ModalAnswer ModalResult() const { return modalResult_; }

    // Enter closes the form with the answer enter, Escape with escape; the
    // key is swallowed (for forms that see keys before their controls).
    void AnswerEnterAndEscape(wchar_t& key, ModalAnswer enter, ModalAnswer escape);
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

    // The dots per inch of the display the form is on, and a designed size
    // (pixels at 96 dpi) in its pixels.
    int Dpi() const { return dpi_; }
    int FormScale(int designed) const { return MulDiv(designed, dpi_, 96); }

    // Handlers, named as the forms name them.
    virtual void FormShow() {}
    virtual void FormClose() {}
    virtual void FormResize() {}
    virtual void FormKeyDown(WORD& key, ShiftState shift) {}
    virtual void FormKeyPress(wchar_t& key) {}
    // A mouse-wheel turn; return true when handled.
    virtual bool FormMouseWheel(int delta, ShiftState shift, POINT screenPoint) { return false; }
    // Moved to a display of another scale: the controls and their fonts have
    // followed; what the form works out from designed sizes is done again.
    virtual void FormDpiChanged(int oldDpi) {}
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
    void PlaceAsShown();

    Border border_ = Border::Sizeable;
    int dpi_ = SystemDpi();
    bool keyPreview_ = false;
    bool showHint_ = true;
    bool modal_ = false;
    ModalAnswer modalResult_ = ModalAnswer::None;
    bool wheelPreviewed_ = false;
    Placement placement_ = Placement::EveryShow;
    bool shownBefore_ = false;
    HWND tooltip_ = nullptr;
    FontHandle hintFont_;
};
