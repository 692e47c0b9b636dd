// Zoom and auto-fit of the main window: sizing the image control for a
// percentage or the fit, the zoom commands, the auto-fit toggle and its
// question, the percentage box and the mouse wheel.
#include "app/MainUnit.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include "base/Numbers.h"
#include "dialogs/HelpDlgUnit.h"
#include "rules/ZoomRules.h"

namespace {

// An image control larger than the visible part is first cut to it.
void ShrinkToVisibleArea(TScrollArea& area)
{
    RECT bounds = area.ContentBounds();
    if (bounds.right - bounds.left > area.VisibleWidth() || bounds.bottom - bounds.top > area.VisibleHeight())
        area.SetContentSize(area.VisibleWidth(), area.VisibleHeight());
}

// The auto-fit button's picture and the menu's check mark.
void ShowAutoFitState(TMainForm& form, bool autoFit)
{
    form.SBtnAutoFit.SetGlyph(form.ToggleBitmapList.Bitmap(autoFit ? TToggleBitmapList::AutoFitOn
                                                                   : TToggleBitmapList::AutoFitOff));
    form.ToggleAutofit1->SetChecked(autoFit);
}

} // namespace

void TMainForm::ApplyZoom(unsigned percent)
{
    if ((percent >= kMinZoom && percent <= kMaxZoom) || state_.AutoFit) {
        const double W = state_.CurrentPicture.Width(), H = state_.CurrentPicture.Height();
        // The scroll bars and the image control change on screen once, when
        // it is placed.
        std::optional<TScrollArea::MovesHeld> held(std::in_place, ScrollBox1);
        // Shrunk first, so the scroll bars of the old size do not narrow the
        // visible part that the new size is measured against.
        ShrinkToVisibleArea(ScrollBox1);
        ShownSize size;
        if (state_.AutoFit) {
            // Never enlarged; shrunk by the larger of the two overhangs. (A
            // picture inside the visible part has none.)
            size = AutoFitSize(W, H, ScrollBox1.FullWidth(), ScrollBox1.FullHeight());
        } else {
            state_.ZoomPercent = percent;
            size = PercentSize(W, H, percent);
        }
        // Sized at the visible origin first, so an offset left from the
        // previous size cannot bring up scroll bars that the placement
        // below would then have to work around.
        ScrollBox1.SetContentBounds(0, 0, size.width, size.height);
        PlaceImage();
        held.reset();
        Image1.PrepareDisplay();
    }
    RefreshImageInfo();
    // The next picture is read ahead for the size it will be shown at.
    ReadAheadNext();
}

void TMainForm::StepZoom(int step)
{
    if (int64_t(state_.ZoomPercent) + step < 0) {
        ShowZoomPercent();
        return;
    }
    // Between 1 and 10 the step is 9, so 10 steps down to 1 and back.
    if (state_.ZoomPercent == 1 && step == 10)
        step = 9;
    else if (state_.ZoomPercent == 10 && step == -10)
        step = -9;
    ApplyZoom(unsigned(uint64_t(int64_t(state_.ZoomPercent) + step)));
}

void TMainForm::ZoomToFit()
{
    std::optional<TScrollArea::MovesHeld> held(std::in_place, ScrollBox1);
    ShrinkToVisibleArea(ScrollBox1);
    const double W = state_.CurrentPicture.Width(), H = state_.CurrentPicture.Height();
    if (W > 0 && H > 0) {
        // Enlarges as well as shrinks.
        const auto [size, percent] = FitSize(W, H, ScrollBox1.FullWidth(), ScrollBox1.FullHeight());
        state_.ZoomPercent = percent;
        ScrollBox1.SetContentBounds(0, 0, size.width, size.height);
        PlaceImage();
        held.reset();
        Image1.PrepareDisplay();
    }
    RefreshImageInfo();
    // The next picture is read ahead for the size it will be shown at.
    ReadAheadNext();
}

void TMainForm::ToggleAutoFit()
{
    state_.AutoFit = !state_.AutoFit;
    ShowAutoFitState(*this, state_.AutoFit);
    // On: the image is fitted; off: it returns to the last percentage.
    StepZoom(0);
}

bool TMainForm::AskDisableAutoFit()
{
    if (!state_.AutoFit)
        return false;
    const ModalAnswer answer =
        HelpDlg->Prompt(L"Disable Auto-fit Mode?", L"Would you like to disable \"Auto-fit\" mode?",
                        {L"Zooming capabilities are disabled while \"Auto-fit\" mode is enabled."}, {L"Yes", L"No"});
    if (answer != ModalAnswer::Ok)
        return true;
    // The asking command zooms from ZoomPercent itself; no refit first.
    state_.AutoFit = false;
    ShowAutoFitState(*this, state_.AutoFit);
    return false;
}

void TMainForm::ZoomBy(int step)
{
    if (!AskDisableAutoFit())
        StepZoom(step);
}

void TMainForm::CmbZoomPercentChange()
{
    if (AskDisableAutoFit()) {
        ShowZoomPercent();
        return;
    }
    std::wstring text = CmbZoomPercent.Text();
    const size_t percentSign = text.find(L'%');
    if (percentSign != std::wstring::npos && percentSign + 1 == text.size())
        text.pop_back();
    // A 64-bit number, of which the low 32 bits count; out-of-range values
    // are refused by ApplyZoom and only restore the text.
    DWORD start = 0, end = 0;
    SendMessageW(CmbZoomPercent.Handle(), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    ApplyZoom(unsigned(uint64_t(ParseTypedNumber(text))));
    // The rewritten text keeps the caret where the user is typing, so the
    // next digit goes before the "%".
    const DWORD length = DWORD(CmbZoomPercent.Text().size());
    SendMessageW(CmbZoomPercent.Handle(), CB_SETEDITSEL, 0,
                 MAKELPARAM(std::min(start, length), std::min(end, length)));
}

bool TMainForm::FormMouseWheel(int delta, ShiftState shift, POINT)
{
    const bool zoom = shift == ssShift || shift == ssCtrl;
    const bool down = delta < 0;   // turned towards the user
    if (zoom) {
        if (AskDisableAutoFit())
            return false;
        StepZoom(down ? 10 : -10);
        return true;
    }
    ScrollViewBy(TScrollArea::Axis::Vertical, down ? 5 : -5);
    return true;
}
