#include "widgets/Application.h"

#include <windowsx.h>

#include <new>

#include "widgets/Form.h"

namespace {

struct AppState {
    std::wstring title;
    TForm* mainForm = nullptr;
    bool terminated = false;
    bool showHints = true;
    Application::ExceptionHook hook;
    std::function<void(TForm&)> modalShown;
    HWND lastHintWindow = nullptr;
};

AppState& State()
{
    static AppState state;
    return state;
}

void RouteHint(HWND window)
{
    if (window == State().lastHintWindow)
        return;
    State().lastHintWindow = window;
    if (TForm* form = window ? TForm::FromChild(window) : nullptr)
        Guarded([&] { form->ApplicationHint(LongHint(NearestHint(window))); });
}

void RouteHint(const MSG& msg)
{
    // A disabled control gets no mouse messages, its parent does: the hint
    // is the control's all the same.
    HWND window = msg.hwnd;
    POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
    if (HWND child = ChildWindowFromPointEx(window, p, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        child && child != window && !IsWindowEnabled(child))
        window = child;
    RouteHint(window);
}

// Tab moves the focus between the controls of a dialog-like form.
bool HandleTab(const MSG& msg, TForm* form)
{
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || !form || form == State().mainForm)
        return false;
    if (GetKeyState(VK_CONTROL) < 0)
        return false;
    HWND next = GetNextDlgTabItem(form->Handle(), GetFocus(), GetKeyState(VK_SHIFT) < 0);
    if (next)
        ::SetFocus(next);
    return true;
}

} // namespace

ShiftState CurrentShiftState()
{
    ShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    return s;
}

HINSTANCE Application::Instance() { return GetModuleHandleW(nullptr); }
void Application::SetTitle(const std::wstring& title) { State().title = title; }
const std::wstring& Application::Title() { return State().title; }
TForm* Application::MainForm() { return State().mainForm; }
void Application::Terminate() { State().terminated = true; PostQuitMessage(0); }
bool Application::Terminated() { return State().terminated; }
void Application::SetExceptionHook(ExceptionHook hook) { State().hook = std::move(hook); }
std::function<void(TForm&)>& Application::ModalShownHook() { return State().modalShown; }
bool Application::ShowHints() { return State().showHints; }

void Application::SetShowHints(bool show)
{
    State().showHints = show;
}

void Application::RefreshHint()
{
    POINT p{};
    if (!GetCursorPos(&p))
        return;
    State().lastHintWindow = nullptr;
    RouteHint(WindowFromPoint(p));
}

bool Application::HandleMessage(bool wait)
{
    MSG msg;
    if (wait) {
        BOOL r = GetMessageW(&msg, nullptr, 0, 0);
        if (r == 0 || r == -1) {
            State().terminated = true;
            PostQuitMessage(0);
            return false;
        }
    } else {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            return true;
        if (msg.message == WM_QUIT) {
            State().terminated = true;
            PostQuitMessage(0);
            return false;
        }
    }
    if (msg.message == WM_MOUSEMOVE)
        RouteHint(msg);
    TForm* form = (msg.hwnd ? TForm::FromChild(msg.hwnd) : nullptr);
    if (form && IsWindowEnabled(form->Handle())) {
        if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
            WORD key = WORD(msg.wParam);
            if (!form->PreviewKeyDown(key))
                return true;
            msg.wParam = key;
            if (HandleTab(msg, form))
                return true;
        } else if (msg.message == WM_CHAR) {
            wchar_t ch = wchar_t(msg.wParam);
            if (!form->PreviewChar(ch))
                return true;
            msg.wParam = ch;
        } else if (msg.message == WM_MOUSEWHEEL && msg.hwnd != form->Handle()) {
            // The form sees the wheel before the control under the focus.
            if (form->PreviewMouseWheel(msg.wParam, msg.lParam))
                return true;
            const HWND formWindow = form->Handle();
            DispatchMessageW(&msg);
            if (IsWindow(formWindow) && TWindow::FromHandle(formWindow) == form)
                form->EndWheelPreview();
            return true;
        }
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

bool Application::ModalWindowOpen()
{
    bool open = false;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) noexcept -> BOOL {
            if (IsWindowVisible(window) && !IsWindowEnabled(window)) {
                *reinterpret_cast<bool*>(data) = true;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&open));
    return open;
}

void Application::ProcessMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (!HandleMessage(false))
            break;
    }
}

void Application::Run(TForm& mainForm)
{
    State().mainForm = &mainForm;
    State().terminated = false;
    mainForm.Show();
    while (!State().terminated && IsWindow(mainForm.Handle()))
        if (!HandleMessage(true))
            break;
    State().mainForm = nullptr;
}

void Application::ReportFailure(const Failure& failure) noexcept
{
    try {
        if (State().hook) {
            State().hook(failure);
            return;
        }
        ShowErrorBox(nullptr, failure.Message());
    } catch (...) {
        // The report itself failed: nothing more can be shown.
    }
}

void Application::HandleException() noexcept
{
    if (GetCapture())
        ReleaseCapture();
    try {
        throw;
    } catch (const SilentAbort&) {
    } catch (const Failure& failure) {
        ReportFailure(failure);
    } catch (...) {
        try {
            ReportFailure(Failure(CaughtFailureText()));
        } catch (...) {
            // Not even the text could be made: nothing can be shown.
        }
    }
}


void Application::ShowErrorBox(HWND owner, const std::wstring& text)
{
    // Without a title the system's own caption ("Error") shows.
    const std::wstring& title = Title();
    const SystemDialogPlacement placed;
    MessageBoxW(owner, text.c_str(), title.empty() ? nullptr : title.c_str(), MB_OK | MB_ICONERROR);
}

int SystemDpi()
{
    static int dpi = [] {
        WindowDc screen;
        return GetDeviceCaps(screen.Get(), LOGPIXELSX);
    }();
    return dpi;
}

int Scale(int designed)
{
    return MulDiv(designed, SystemDpi(), 96);
}
