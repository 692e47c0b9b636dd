// Keyboard, full screen and background colour of the main window.
#include "app/MainUnit.h"

#include <cmath>

#include <commdlg.h>

#include "dialogs/NewAboutFrmUnit.h"
#include "system/RegistryUnit.h"
#include "system/SettingsNames.h"

namespace {

using Axis = TScrollArea::Axis;

bool IsKey(WORD key, char letter) { return key == WORD(letter); }

// The monitor the window is on: its whole area and its work area.
MONITORINFO MonitorOf(HWND window)
{
    MONITORINFO info{sizeof(info)};
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) {
        RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        info.rcMonitor = screen;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
    }
    return info;
}

} // namespace

// The key map. Every key passes through here before the focused control gets
// it, and it is never consumed: the key is left as it came. The first row
// that matches acts; rows whose command is not there yet still match, so
// that the rows below them never see that key.
void TMainForm::FormKeyDown(WORD& key, ShiftState shift)
{
    const bool ctrl = shift == ssCtrl;          // Ctrl alone
    const bool timerRunning = SlideShowTimer.Enabled();

    if (ctrl && key == VK_LEFT)
        ScrollViewBy(Axis::Horizontal, -1);
    else if (ctrl && key == VK_RIGHT)
        ScrollViewBy(Axis::Horizontal, 1);
    else if (ctrl && key == VK_UP)
        ScrollViewBy(Axis::Vertical, -1);
    else if (ctrl && key == VK_DOWN)
        ScrollViewBy(Axis::Vertical, 1);
    else if (ctrl && key == VK_HOME)
        ScrollViewBy(Axis::Vertical, -100);
    else if (ctrl && key == VK_END)
        ScrollViewBy(Axis::Vertical, 100);
    else if (ctrl && key == VK_PRIOR)
        ScrollViewBy(Axis::Vertical, -10);
    else if (ctrl && key == VK_NEXT)
        ScrollViewBy(Axis::Vertical, 10);
    else if (ctrl && key == VK_RETURN)
        RenameCurrentImage();
    else if (ctrl && IsKey(key, 'O'))
        ChooseImageFolder();
    else if (ctrl && IsKey(key, 'P'))
        PrintCurrentImage();
    else if ((ctrl && IsKey(key, 'H')) || key == VK_F1)
        NewAboutBox->ShowModal();
    else if (ctrl && IsKey(key, 'E'))
        EmailCurrentImage();
    else if (ctrl && IsKey(key, 'T'))
        ShowToolBox();
    else if (ctrl && IsKey(key, 'R'))
        TransformCurrentImage(TransformMode::RotateClockwise);
    else if (ctrl && IsKey(key, 'L'))
        TransformCurrentImage(TransformMode::RotateCounterClockwise);
    else if (const int step = StepOfKey(key, shift); step < 0)
        ShowPreviousImage();
    else if (step > 0)
        ShowNextImage();
    else if (key == VK_OEM_MINUS || key == VK_SUBTRACT)
        ZoomBy(-10);
    else if (key == VK_OEM_PLUS || key == VK_ADD)
        ZoomBy(10);
    else if (key == VK_F11)
        ToggleFullScreen();
    else if (key == VK_DELETE && !timerRunning)
        DeleteCurrentImage();
    else if (key == VK_F5 && !timerRunning)
        LoadCurrentImage();
    else if (key == VK_PAUSE)
        Close();
    else if (ctrl && IsKey(key, 'A'))
        ToggleAutoFit();
    else if (ctrl && IsKey(key, 'S') && !timerRunning)
        SaveCurrentImage();
    else if (IsKey(key, 'S'))
        ToggleSlideShow();
    else if (IsKey(key, 'Q'))
        StopSlideShow();
    else if (key == VK_ESCAPE) {
        if (state_.SlideShowActive)
            StopSlideShow();
        else if (state_.FullScreen)
            ToggleFullScreen();
        else
            Close();
    } else if (IsKey(key, 'H'))
        PauseOrContinueSlideShow();
    else if (IsKey(key, 'V'))
        ShowSlideShowOptions();
}

int TMainForm::StepOfKey(WORD key, ShiftState shift)
{
    const bool ctrl = shift == ssCtrl;
    // Ctrl with P or an arrow prints or scrolls (the rows above in FormKeyDown).
    if (ctrl && (IsKey(key, 'P') || key == VK_LEFT || key == VK_RIGHT))
        return 0;
    if (IsKey(key, 'P') || (ctrl && key == VK_SPACE) || (!ctrl && key == VK_LEFT))
        return -1;
    if (IsKey(key, 'N') || (!ctrl && key == VK_SPACE) || (!ctrl && key == VK_RIGHT))
        return 1;
    return 0;
}

void TMainForm::SetKeyFocus() { EdtKeyGrab.SetFocus(); }

void TMainForm::SetBarHeights(int bar, int strip, int status)
{
    barHeight_ = bar;
    stripHeight_ = strip;
    statusHeight_ = status;
    LayOut();
}

// A maximised window fills the work area, or the whole monitor when it has
// no border; its sizing frame, but not its title bar, lies outside.
void TMainForm::FitMaximised()
{
    if (!IsZoomed(handle_))
        return;
    const MONITORINFO monitor = MonitorOf(handle_);
    RECT r = GetBorder() == Border::None ? monitor.rcMonitor : monitor.rcWork;
    if (GetBorder() == Border::Sizeable) {
        const int padding = GetSystemMetrics(SM_CXPADDEDBORDER);
        InflateRect(&r, GetSystemMetrics(SM_CXFRAME) + padding, GetSystemMetrics(SM_CYFRAME) + padding);
    }
    SetWindowPos(handle_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainForm::ToggleFullScreen()
{
    if (!state_.FullScreen) {
        state_.SavedWindowState = IsZoomed(handle_)   ? WindowState::Maximized
                           : IsIconic(handle_) ? WindowState::Minimized
                                               : WindowState::Normal;
        // Panel1, then Panel2, then StatusBar1.
        SetBarHeights(0, stripHeight_, statusHeight_);
        SetBarHeights(0, 0, statusHeight_);
        SetBarHeights(0, 0, 0);
        SetBorder(Border::None);
        ShowWindow(handle_, SW_MAXIMIZE);
        FitMaximised();
        SetKeyFocus();
        SetShowHint(false);
        ViewFullScreen1->SetChecked(true);
        state_.FullScreen = true;
    } else {
        switch (state_.SavedWindowState) {
        case WindowState::Maximized: break;    // it stays maximised
        case WindowState::Minimized: ShowWindow(handle_, SW_MINIMIZE); break;
        case WindowState::Normal: ShowWindow(handle_, SW_RESTORE); break;
        }
        // StatusBar1, then Panel2, then Panel1.
        SetBarHeights(0, 0, FormScale(19));
        SetBarHeights(0, FormScale(33), FormScale(19));
        SetBarHeights(FormScale(29), FormScale(33), FormScale(19));
        SetShowHint(true);
        SetBorder(Border::Sizeable);
        FitMaximised();
        ViewFullScreen1->SetChecked(false);
        state_.FullScreen = false;
    }
    // The image area changed size: the zoom is applied to the new size.
    FormResize();
}

void TMainForm::SetBackgroundColor(COLORREF color)
{
    if (color == PnlPleaseWait.Color())
        return;
    // Stored first: a value that cannot be written stops the change here.
    WriteSettingValue(EncodeSettingName(kBackGroundColorSetting), std::to_wstring(int32_t(color)));
    PnlPleaseWait.SetColor(color);
    ScrollBox1.SetColor(color);
    Image1.SetBackground(color);
    PnlPleaseWait.SetFontColor(TextColorOn(color));
}

COLORREF TMainForm::TextColorOn(COLORREF background)
{
    // Black text wherever it reads better than white: on backgrounds whose
    // relative luminance lies above the point where both contrast alike.
    // Black gets white text, grey and white get black, and a dark blue gets
    // white, where black would hardly show.
    auto linear = [](BYTE c) {
        const double v = c / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double luminance = 0.2126 * linear(GetRValue(background)) + 0.7152 * linear(GetGValue(background)) +
                             0.0722 * linear(GetBValue(background));
    return luminance > 0.179 ? RGB(0, 0, 0) : RGB(255, 255, 255);
}

void TMainForm::Custom1Click()
{
    CHOOSECOLORW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = handle_;
    dialog.rgbResult = PnlPleaseWait.Color();
    dialog.lpCustColors = customColors_;
    dialog.Flags = CC_RGBINIT | CC_FULLOPEN;
    BOOL chosen = FALSE;
    {
        const SystemDialogPlacement placed;
        chosen = ChooseColorW(&dialog);
    }
    if (chosen)
        SetBackgroundColor(dialog.rgbResult);
}
