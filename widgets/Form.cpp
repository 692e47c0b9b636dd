// Top-level windows: borders, placement, hints, modal showing and the keys a
// form sees before its controls.
#include "widgets/Form.h"

#include <windowsx.h>

#include <algorithm>
#include <new>
#include <vector>

#include "rules/WindowPlacement.h"

// ---------------------------------------------------------------- TForm

namespace {

bool IsTopmost(HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

// A window of the program other than `except` that stays on top of other
// windows (the image tools window, the splash) and is shown. Tooltips do
// not count.
bool OtherTopmostWindowShown(HWND except)
{
    struct Search {
        HWND except;
        bool found;
    } search{except, false};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) noexcept -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            wchar_t name[32] = {};
            GetClassNameW(window, name, 32);
            if (window != s.except && IsWindowVisible(window) && IsTopmost(window) &&
                _wcsicmp(name, TOOLTIPS_CLASSW) != 0) {
                s.found = true;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Every window that comes forward while a modal window of the program is
// open (the modal window itself: a question, a message box, a system
// dialog, and what they open in turn) is put above the program's windows
// that stay on top of others, so none of them hides it.
LRESULT CALLBACK RaiseModalWindows(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        SystemDialogPlacement::Activating(window);
        if (!IsTopmost(window) && Application::ModalWindowOpen() && OtherTopmostWindowShown(window))
            SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

ScreenRect ScreenRectOf(const RECT& r) { return {int(r.left), int(r.top), int(r.right), int(r.bottom)}; }

// The monitors, the primary first; none when the system lists none.
std::vector<MonitorAreas> Monitors()
{
    struct Found {
        std::vector<MonitorAreas> monitors;
        bool failed = false;
    } found;
    // The callback only collects.
    auto collect = [](HMONITOR monitor, HDC, LPRECT, LPARAM data) noexcept -> BOOL {
        auto& f = *reinterpret_cast<Found*>(data);
        MONITORINFO info{sizeof(info)};
        if (!GetMonitorInfoW(monitor, &info))
            return TRUE;
        try {
            const MonitorAreas areas{ScreenRectOf(info.rcMonitor), ScreenRectOf(info.rcWork)};
            if (info.dwFlags & MONITORINFOF_PRIMARY)
                f.monitors.insert(f.monitors.begin(), areas);
            else
                f.monitors.push_back(areas);
            return TRUE;
        } catch (...) {
            f.failed = true;
            return FALSE;
        }
    };
    EnumDisplayMonitors(nullptr, nullptr, collect, reinterpret_cast<LPARAM>(&found));
    if (found.failed)
        throw std::bad_alloc();
    return std::move(found.monitors);
}

// The system's dialog box class: message boxes and common dialogs.
bool IsSystemDialog(HWND window)
{
    wchar_t name[16] = {};
    return GetClassNameW(window, name, 16) && wcscmp(name, L"#32770") == 0 && GetAncestor(window, GA_ROOT) == window &&
           !TWindow::FromHandle(window);
}

SystemDialogPlacement* innermostPlacement = nullptr;   // the user-interface thread's

} // namespace

RECT PlaceOnMainMonitor(HWND window, int width, int height)
{
    const std::vector<MonitorAreas> monitors = Monitors();
    ScreenRect main;
    bool haveMain = false;
    const TForm* mainForm = Application::MainForm();
    if (mainForm && mainForm->Handle() && mainForm->Handle() != window && IsWindow(mainForm->Handle())) {
        // A minimised main window stands where it would be restored.
        WINDOWPLACEMENT placement{sizeof(placement)};
        RECT r{};
        if (IsIconic(mainForm->Handle()) && GetWindowPlacement(mainForm->Handle(), &placement))
            r = placement.rcNormalPosition;
        else
            GetWindowRect(mainForm->Handle(), &r);
        main = ScreenRectOf(r);
        haveMain = true;
    }
    ScreenRect placed{0, 0, width, height};
    if (!monitors.empty())
        placed = PlaceOnMainWindowsMonitor(monitors, haveMain ? &main : nullptr, width, height);
    else {
        RECT work{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        placed = CentredOn(ScreenRectOf(work), width, height);
    }
    return {placed.left, placed.top, placed.right, placed.bottom};
}

SystemDialogPlacement::SystemDialogPlacement() : outer_(innermostPlacement) { innermostPlacement = this; }

SystemDialogPlacement::~SystemDialogPlacement() { innermostPlacement = outer_; }

void SystemDialogPlacement::Activating(HWND window) noexcept
{
    SystemDialogPlacement* scope = innermostPlacement;
    if (!scope || scope->placed_ || !IsSystemDialog(window))
        return;
    scope->placed_ = true;
    try {
        RECT r{};
        GetWindowRect(window, &r);
        const RECT placed = PlaceOnMainMonitor(window, r.right - r.left, r.bottom - r.top);
        SetWindowPos(window, nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    } catch (...) {
        // Left where the system put it.
    }
}

TForm::~TForm() { DestroyHandle(); }

TForm* TForm::FromChild(HWND window)
{
    if (!window)
        return nullptr;
    return dynamic_cast<TForm*>(FromHandle(GetAncestor(window, GA_ROOT)));
}

DWORD TForm::StyleFor(Border border) const
{
    switch (border) {
    case Border::Sizeable: return WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    case Border::Dialog: return WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    case Border::None: return WS_POPUP | WS_CLIPCHILDREN;
    }
    return WS_OVERLAPPEDWINDOW;
}

TForm::TForm(const std::wstring& caption, Border border, int clientWidth, int clientHeight, DWORD extraExStyle)
{
    // Watches the program's thread, where all its windows are, from the
    // first form on.
    static const HookHandle raiseModalWindows(
        SetWindowsHookExW(WH_CBT, RaiseModalWindows, nullptr, GetCurrentThreadId()));
    border_ = border;
    DWORD ex = WS_EX_CONTROLPARENT | extraExStyle | (border == Border::Dialog ? WS_EX_DLGMODALFRAME : 0);
    CreateOwn(ex, StyleFor(border), caption.c_str(), nullptr, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100);
    SetClientSize(clientWidth, clientHeight);
    CenterOnScreen();
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, handle_, nullptr,
                               Application::Instance(), nullptr);
    SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(MakeFont(L"MS Shell Dlg 2", Scale(13))), FALSE);
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Scale(400));
}

void TForm::SetClientSize(int width, int height)
{
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, GetWindowLongW(handle_, GWL_STYLE), FALSE, GetWindowLongW(handle_, GWL_EXSTYLE));
    SetWindowPos(handle_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::CenterOnScreen()
{
    const RECT placed = PlaceOnMainMonitor(handle_, Width(), Height());
    SetWindowPos(handle_, nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetBorder(Border border)
{
    border_ = border;
    LONG style = GetWindowLongW(handle_, GWL_STYLE);
    DWORD keep = style & (WS_VISIBLE | WS_MAXIMIZE | WS_MINIMIZE | WS_DISABLED);
    SetWindowLongW(handle_, GWL_STYLE, LONG(StyleFor(border) | keep));
    SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetAlwaysOnTop(bool onTop)
{
    SetWindowPos(handle_, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

namespace {

// The tool that stands for a control where its parent gets the mouse
// messages: over a disabled control.
TTTOOLINFOW ParentAreaTool(HWND control)
{
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    info.uFlags = TTF_SUBCLASS;
    info.hwnd = GetParent(control);
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = LPSTR_TEXTCALLBACKW;
    GetWindowRect(control, &info.rect);
    MapWindowPoints(HWND_DESKTOP, info.hwnd, reinterpret_cast<POINT*>(&info.rect), 2);
    return info;
}

} // namespace

void TForm::RegisterHint(TWindow& control)
{
    if (!tooltip_ || !control.Handle())
        return;
    auto send = [&](UINT message, TTTOOLINFOW info) {
        SendMessageW(tooltip_, message, 0, reinterpret_cast<LPARAM>(&info));
    };
    auto window = [&](HWND tool) {
        TTTOOLINFOW info{};
        info.cbSize = sizeof(info);
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = handle_;
        info.uId = reinterpret_cast<UINT_PTR>(tool);
        info.lpszText = LPSTR_TEXTCALLBACKW;
        return info;
    };
    // A disabled control gets no mouse messages, its parent does: the same
    // hint is shown for the control's area of the parent. That tool has the
    // control's handle as its id too, and a look-up that misses it finds the
    // window's tool by that id: it is taken away first and added last.
    const bool area = control.Handle() != handle_ && GetParent(control.Handle());
    if (area)
        send(TTM_DELTOOLW, ParentAreaTool(control.Handle()));
    send(TTM_DELTOOLW, window(control.Handle()));
    send(TTM_ADDTOOLW, window(control.Handle()));
    for (HWND child = GetWindow(control.Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (!TWindow::FromHandle(child)) {
            send(TTM_DELTOOLW, window(child));
            send(TTM_ADDTOOLW, window(child));
        }
    if (area)
        send(TTM_ADDTOOLW, ParentAreaTool(control.Handle()));
}

void TForm::MoveHint(TWindow& control)
{
    if (!tooltip_ || !control.Handle() || control.Handle() == handle_ || !GetParent(control.Handle()))
        return;
    TTTOOLINFOW info = ParentAreaTool(control.Handle());
    SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&info));
}

void TForm::SetShowHint(bool show)
{
    showHint_ = show;
    if (tooltip_)
        SendMessageW(tooltip_, TTM_ACTIVATE, show, 0);
}

void TForm::Show()
{
    if (!IsWindowVisible(handle_)) {
        FormShow();
        PlaceAsShown();
    }
    ShowWindow(handle_, SW_SHOW);
    SetForegroundWindow(handle_);
}

void TForm::PlaceAsShown()
{
    if (placement_ == Placement::EveryShow || (placement_ == Placement::FirstShow && !shownBefore_))
        CenterOnScreen();
    shownBefore_ = true;
}

void TForm::Hide() { ShowWindow(handle_, SW_HIDE); }

void TForm::Close()
{
    if (modal_) {
        if (modalResult_ == ModalAnswer::None)
            modalResult_ = ModalAnswer::Cancel;
        return;
    }
    FormClose();
    if (this == Application::MainForm())
        DestroyWindow(handle_);
    else
        Hide();
}

void TForm::AnswerEnterAndEscape(wchar_t& key, ModalAnswer enter, ModalAnswer escape)
{
    if (key == VK_RETURN || key == VK_ESCAPE) {
        SetModalResult(key == VK_RETURN ? enter : escape);
        key = 0;
    }
}

void TForm::CloseOnEscape(wchar_t& key)
{
    if (key == VK_ESCAPE) {
        Close();
        key = 0;
    }
}

ModalAnswer TForm::ShowModal()
{
    if (modal_ || IsWindowVisible(handle_))
        throw Failure(L"Cannot make a visible window modal");
    modal_ = true;
    modalResult_ = ModalAnswer::None;
    // Shown, it may be put above the windows that stay on top (by the hook
    // above); closed, it takes its own place again.
    const bool topmost = IsTopmost(handle_);
    HWND active = GetActiveWindow();
    std::vector<HWND> disabled;
    // The callback only collects; a failure to keep a window stops the
    // enumeration and is thrown here, outside it.
    struct Windows {
        std::vector<HWND> list;
        bool failed = false;
    } all;
    auto collect = [](HWND window, LPARAM data) noexcept -> BOOL {
        auto& windows = *reinterpret_cast<Windows*>(data);
        try {
            windows.list.push_back(window);
            return TRUE;
        } catch (...) {
            windows.failed = true;
            return FALSE;
        }
    };
    EnumThreadWindows(GetCurrentThreadId(), collect, reinterpret_cast<LPARAM>(&all));
    if (all.failed)
        throw std::bad_alloc();
    for (HWND w : all.list)
        if (w != handle_ && w != tooltip_ && IsWindowVisible(w) && IsWindowEnabled(w)) {
            EnableWindow(w, FALSE);
            disabled.push_back(w);
        }
    struct Restore {
        TForm& form;
        std::vector<HWND>& disabled;
        HWND active;
        bool topmost;
        ~Restore()
        {
            for (HWND w : disabled)
                if (IsWindow(w))
                    EnableWindow(w, TRUE);
            if (form.handle_)
                ShowWindow(form.handle_, SW_HIDE);
            if (form.handle_ && !topmost && IsTopmost(form.handle_))
                SetWindowPos(form.handle_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            if (active && IsWindow(active))
                SetActiveWindow(active);
            form.modal_ = false;
        }
    } restore{*this, disabled, active, topmost};

    FormShow();
    PlaceAsShown();
    ShowWindow(handle_, SW_SHOW);
    SetForegroundWindow(handle_);
    if (HWND first = GetNextDlgTabItem(handle_, nullptr, FALSE))
        ::SetFocus(first);
    if (auto& hook = Application::ModalShownHook())
        hook(*this);
    while (modalResult_ == ModalAnswer::None && handle_) {
        if (!Application::HandleMessage(true))
            break;
    }
    if (modalResult_ == ModalAnswer::None)
        modalResult_ = ModalAnswer::Cancel;
    FormClose();
    return modalResult_;
}

bool TForm::PreviewKeyDown(WORD& key)
{
    if (keyPreview_)
        Guarded([&] { FormKeyDown(key, CurrentShiftState()); });
    return key != 0;
}

bool TForm::PreviewMouseWheel(WPARAM wParam, LPARAM lParam)
{
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ShiftState shift = 0;
    WORD keys = GET_KEYSTATE_WPARAM(wParam);
    if (keys & MK_SHIFT) shift |= ssShift;
    if (keys & MK_CONTROL) shift |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
    if (keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) shift |= 0x100;   // a mouse button held
    bool handled = false;
    Guarded([&] { handled = FormMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam), shift, p); });
    wheelPreviewed_ = !handled;
    return handled;
}

bool TForm::PreviewChar(wchar_t& key)
{
    if (keyPreview_)
        Guarded([&] { FormKeyPress(key); });
    return key != 0;
}

LRESULT TForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_SIZE:
        FormResize();
        break;
    case WM_MOUSEWHEEL:
        if (wheelPreviewed_)
            break;   // seen already, passed up by the control
        if (PreviewMouseWheel(wParam, lParam)) {
            wheelPreviewed_ = false;
            return 0;
        }
        wheelPreviewed_ = false;
        break;
    case WM_DPICHANGED: {
        // The system suggests the place and size for the new scale; the
        // controls follow the scale from what they are now.
        const int dpi = LOWORD(wParam), old = dpi_;
        if (dpi > 0 && dpi != old) {
            dpi_ = dpi;
            if (font_)
                SetFont(scaleMemo_.Font(font_, dpi, old));
            RescaleChildren(dpi, old);
            FormDpiChanged(old);
        }
        if (const auto* r = reinterpret_cast<const RECT*>(lParam))
            SetWindowPos(handle_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_DESTROY:
        if (this == Application::MainForm())
            PostQuitMessage(0);
        break;
    default:
        break;
    }
    return TWindow::HandleMessage(message, wParam, lParam);
}
