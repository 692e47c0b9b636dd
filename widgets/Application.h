// The application object: message loop with key preview and hint routing,
// modal loops, timers, and the application-wide failure report.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "base/Failure.h"

class TForm;

// Modifier keys held: any combination of these bits.
enum ShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4 };
using ShiftState = unsigned;
ShiftState CurrentShiftState();

class Application {
public:
    static HINSTANCE Instance();
    static void SetTitle(const std::wstring& title);
    static const std::wstring& Title();

    // Runs the event loop until the main form is destroyed or Terminate.
    static void Run(TForm& mainForm);
    static TForm* MainForm();
    static void Terminate();
    static bool Terminated();
    // Handles every message that is waiting, then returns.
    static void ProcessMessages();
    // Waits for (wait) or peeks at one message and dispatches it with key
    // preview and hint routing. False once WM_QUIT was seen (it is re-posted).
    static bool HandleMessage(bool wait);

    // The application-wide report. Call from inside a catch block: a silent
    // abort is dropped, any other failure goes to the installed hook (or a
    // plain error box when there is none).
    static void HandleException() noexcept;
    static void ReportFailure(const Failure& failure) noexcept;
    // A message box with the error icon and the application's title, owned
    // by owner (which stays disabled while it is open).
    static void ShowErrorBox(HWND owner, const std::wstring& text);
    using ExceptionHook = std::function<void(const Failure&)>;
    static void SetExceptionHook(ExceptionHook hook);

    // True while a modal window of the program is open: a message box or a
    // system dialog keeps its owner disabled until it closes, and a form
    // shown modally every other window of the program.
    static bool ModalWindowOpen();

    // Test seam: called with a modal window's handle once it is shown.
    static std::function<void(TForm&)>& ModalShownHook();

    // Sends the long hint of the window under the pointer to its form again,
    // after a hint changed while the pointer rests.
    static void RefreshHint();

    // Turns the pop-up hints of every form on or off.
    static void SetShowHints(bool show);
    static bool ShowHints();
};

// Runs f, sending any failure to the application-wide report. Every window
// procedure, timer and callback goes through this: no exception ever leaves
// a Win32 callback.
template <class F>
bool Guarded(F&& f) noexcept
{
    try {
        f();
        return true;
    } catch (...) {
        Application::HandleException();
        return false;
    }
}

// Designed pixels (96 dpi) to device pixels of the system's DPI.
int Scale(int designed);
int SystemDpi();
