// The designed tables of the windows' buttons: place (designed pixels),
// state at start, caption and "short|long" hint. The layout check reads the
// program against them; the tests of how hints reach the user take their
// texts from here instead of restating them.
#pragma once

#include "app/MainUnit.h"
#include "dialogs/EmailSizeFormUnit.h"

namespace control_tables {

// The main window's button bar: 30 × 25 buttons, 4 pixels from its top.
struct BarButton {
    TButton TMainForm::*button;
    int left;
    bool enabledAtStart;
    const wchar_t* hint;
};
inline const BarButton kMainBar[] = {
    {&TMainForm::SBtnOpen, 5, true, L"Open Image Folder|Open a Folder of Images to Browse. [Ctrl+O]"},
    {&TMainForm::SBtnSave, 40, false, L"Save|Save Current Image. [Ctrl+S]"},
    {&TMainForm::SBtnPrint, 75, false, L"Print|Print Current Image. [Ctrl+P]"},
    {&TMainForm::SBtnEmail, 110, false, L"Email|Email Current Image. [Ctrl+E]"},
    {&TMainForm::SBtnPrevious, 150, false, L"Previous Image|View Previous Image. [P]"},
    {&TMainForm::SBtnNext, 185, false, L"Next Image|View Next Image. [N]"},
    {&TMainForm::SBtnSlideShow, 220, false,
     L"Start/Stop Slide Show.|Slide Show: Press [S] to Start and Stop, [H] to Pause, [V] to View Options."},
    {&TMainForm::SBtnZoomOut, 260, false, L"Zoom Out|Zoom Out from Image. [-]"},
    {&TMainForm::SBtnZoomIn, 295, false, L"Zoom In|Zoom In on Image. [+]"},
    {&TMainForm::SBtnRotateCCW, 395, false,
     L"Rotate 90\u00B0 Counter Clockwise|Rotate Image 90\u00B0 Counter Clockwise [Ctrl+L]"},
    {&TMainForm::SBtnRotateCW, 430, false, L"Rotate 90\u00B0 Clockwise|Rotate Image 90\u00B0 Clockwise [Ctrl+R]"},
    {&TMainForm::SBtnTools, 470, false,
     L"Open Tool Box Window|Use the Tool Box to Flip, Rotate, or Resize the Current Image. [Ctrl+T]"},
    {&TMainForm::SBtnAutoFit, 510, true, L"Auto-fit|Automatically Fit Image to Viewing Window. [Ctrl+A]"},
    {&TMainForm::SBtnHide, 545, true, L"Full Screen Mode|Hide Everything but the Currrent Image. [F11]"},
    {&TMainForm::SBtnHelpAbout, 585, true,
     L"About Pixavo Image Browser|View Details Regarding Pixavo Image Browser. [F1]"},
};
inline constexpr wchar_t kZoomBoxHint[] = L"Zoom Percentage|Adjust the Zoom Percentage.";

// The hint of a button of the bar, from the table.
inline const wchar_t* MainBarHint(TButton TMainForm::*button)
{
    for (const BarButton& row : kMainBar)
        if (row.button == button)
            return row.hint;
    return L"";
}

// The e-mail size dialog's buttons: 25 pixels high.
struct DialogButton {
    TButton TEmailSizeDlg::*button;
    int left, top, width;
    const wchar_t* caption;
    const wchar_t* hint;
};
inline const DialogButton kEmailSizeButtons[] = {
    {&TEmailSizeDlg::SBtnSmall, 8, 32, 75, L"Small", L"Small|One-fourth of the Current Image's Dimensions"},
    {&TEmailSizeDlg::SbtnMedium, 104, 32, 75, L"Medium", L"Medium|One-half of the Current Image's Dimensions"},
    {&TEmailSizeDlg::SbtnLarge, 200, 32, 75, L"Large", L"Large|Retain Current Image's Dimensions"},
    {&TEmailSizeDlg::SBtnCancel, 104, 152, 73, L"Cancel", L""},
};

} // namespace control_tables
