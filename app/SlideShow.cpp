// The slide show: the folder stepped through at a fixed interval in full
// screen, pause and continue, stop, command locking while it runs, and the
// options dialog with its two stored settings.
#include "app/MainUnit.h"

#include <cstdint>
#include <limits>

#include "base/Failure.h"
#include "base/Numbers.h"
#include "dialogs/SlideShowFormUnit.h"
#include "dialogs/ToolsFormUnit.h"
#include "system/RegistryUnit.h"
#include "system/SettingsNames.h"

namespace {

const wchar_t kRunningHint[] = L"Slide Show Running|Slide Show Running (Press [H] to Pause or [S] to Stop)";
const wchar_t kPausedHint[] = L"Slide Show Paused|Slide Show Paused (Press [H] to Continue)";
const wchar_t kPauseCaption[] = L"Pause (&Hold) Silde Show [H]";
const wchar_t kContinueCaption[] = L"Continue (Un&hold) Silde Show [H]";
const wchar_t kStartCaption[] = L"&Start Slide Show [S]";
const wchar_t kStopCaption[] = L"&Stop Slide Show [S]";

// The longest pause a timer keeps, which is also the largest number the
// stored setting reads back.
constexpr int64_t kLongestInterval = std::numeric_limits<int32_t>::max();

} // namespace

void TMainForm::SetFormHint(const std::wstring& hint)
{
    SetHint(hint);
    // The status bar follows at once when the pointer rests on a part of the
    // window that shows this hint.
    Application::RefreshHint();
}

void TMainForm::ToggleSlideShow()
{
    if (state_.SlideShowActive)
        StopSlideShow();
    else
        StartSlideShow();
}

void TMainForm::StartSlideShow()
{
    if (SlideShowTimer.Enabled())
        return;
    if (!CurrentIndexValid())
        return;
    if (ConfirmLeaveModifiedImage())
        return;
    if (ToolBox)
        ToolBox->Hide();
    state_.SlideShowActive = true;
    HidePointer();
    SetFormHint(kRunningHint);
    PauseHoldH1->SetCaption(kPauseCaption);
    SlideShow1->SetCaption(kStopCaption);
    if (state_.FullScreen) {
        state_.FullScreenBeforeShow = true;
    } else {
        state_.FullScreenBeforeShow = false;
        ToggleFullScreen();
    }
    if (state_.StartAtBeginning) {
        // Loaded again even when it is the image on screen.
        state_.CurrentIndex = 0;
        LoadCurrentImage();
    }
    SBtnSlideShow.SetGlyph(ToggleBitmapList.Bitmap(TToggleBitmapList::SlideShowRunning));
    PauseHoldH1->SetEnabled(true);
    // The first step comes one interval from now.
    SlideShowTimer.SetEnabled(true);
    HidePointer();
    UpdateSlideShowCommands();
}

void TMainForm::SlideShowTimerTimer()
{
    // Ticks keep coming while a modal window is open. None starts a step
    // while the program waits for the user in one (a step's own question or
    // load error, any other question, message or dialog): the show goes on
    // with the first tick after it closed.
    if (Application::ModalWindowOpen())
        return;
    ShowNextImage();
    HidePointer();
}

void TMainForm::PauseOrContinueSlideShow()
{
    if (!state_.SlideShowActive)
        return;
    if (SlideShowTimer.Enabled()) {
        PauseHoldH1->SetCaption(kContinueCaption);
        SlideShowTimer.SetEnabled(false);
        SetFormHint(kPausedHint);
        ShowPointer();
    } else {
        PauseHoldH1->SetCaption(kPauseCaption);
        // The next step comes one full interval from now.
        SlideShowTimer.SetEnabled(true);
        SetFormHint(kRunningHint);
        HidePointer();
        if (ToolBox)
            ToolBox->Hide();
    }
    UpdateSlideShowCommands();
}

void TMainForm::StopSlideShow()
{
    if (state_.SlideShowActive) {
        SlideShow1->SetCaption(kStartCaption);
        SBtnSlideShow.SetGlyph(ToggleBitmapList.Bitmap(TToggleBitmapList::SlideShowStopped));
        PauseHoldH1->SetEnabled(false);
        SlideShowTimer.SetEnabled(false);
        // Full screen is left only when the show entered it and it is still on.
        if (!state_.FullScreenBeforeShow && state_.FullScreen)
            ToggleFullScreen();
        SetFormHint(L"");
        ShowPointer();
    }
    state_.SlideShowActive = false;
    UpdateSlideShowCommands();
}

// Locked while a show runs, unlocked while it is paused or over. Unlocked
// commands that need an image stay disabled while there is none, as a load
// leaves them; opening a folder, which a show refuses also while paused,
// waits for the show to end.
void TMainForm::UpdateSlideShowCommands()
{
    const bool unlocked = !SlideShowTimer.Enabled();
    const bool image = CurrentIndexValid();
    SBtnOpen.SetEnabled(!state_.SlideShowActive);
    OpenImage1->SetEnabled(!state_.SlideShowActive);
    SetEditingEnabled(unlocked && image);
    SetSaveEnabled(unlocked && image && state_.Modified);
}

void TMainForm::ShowSlideShowOptions()
{
    if (!SlideShowForm)
        return;
    TSlideShowForm& dialog = *SlideShowForm;
    dialog.SetOptions(SlideShowTimer.Interval(), state_.StartAtBeginning);
    // Until OK with a usable interval, or anything but OK; the dialog comes
    // back as the user left it.
    while (dialog.ShowModal() == ModalAnswer::Ok) {
        try {
            const int64_t milliseconds = dialog.TypedInterval();
            if (milliseconds <= 0)
                throw Failure(L"Slide Show Interval Must be Greater than 0");
            if (milliseconds > kLongestInterval)
                throw Failure(L"Slide Show Interval Must be Less than 35791 Minutes");
            // A new interval restarts the count, also during a running show.
            SlideShowTimer.SetInterval(unsigned(milliseconds));
            state_.StartAtBeginning = dialog.StartAtBeginning();
            WriteSettingValue(EncodeSettingName(kSlideShowIntervalSetting), std::to_wstring(milliseconds));
            WriteSettingValue(EncodeSettingName(kStartAtBeginningSetting), state_.StartAtBeginning ? L"-1" : L"0");
            return;
        } catch (const std::exception&) {
            // Owned by this window, which stays disabled while the box is open.
            Application::ShowErrorBox(handle_, CaughtFailureText());
        }
    }
}
