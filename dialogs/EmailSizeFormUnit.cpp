#include "dialogs/EmailSizeFormUnit.h"

#include "widgets/Application.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

} // namespace

TEmailSizeDlg::TEmailSizeDlg(ImageCommands& commands)
    : TForm(L"Email Image", Border::Dialog, Scale(kClientWidth), Scale(kClientHeight)),
      Label1(*this, Scale(8), Scale(8), L"Which size would you like to send the current image as?"),
      SBtnSmall(*this, Scale(8), Scale(32), Scale(75), Scale(25), L"Small"),
      SbtnMedium(*this, Scale(104), Scale(32), Scale(75), Scale(25), L"Medium"),
      SbtnLarge(*this, Scale(200), Scale(32), Scale(75), Scale(25), L"Large"),
      StaticText1Frame(*this, Scale(8), Scale(64), Scale(265), Scale(81)),
      StaticText1(*this, Scale(10), Scale(66),
                  L"Images can take a long time to send via email. The larger the image, the longer it takes to "
                  L"send. If necessary, you may choose to email this image as-is (Large). However, you may also "
                  L"choose to send the image in one of the two smaller sizes (Small or Medium)."),
      SBtnCancel(*this, Scale(104), Scale(152), Scale(73), Scale(25), L"Cancel"),
      commands_(commands)
{
    SetColor(kWhite);
    SetKeyPreview(true);
    // The text wraps inside its frame.
    StaticText1.SetBounds(StaticText1.Left(), StaticText1.Top(), Scale(261), Scale(77));
    StaticText1.SetWordWrap(true);
    SBtnSmall.SetHint(L"Small|One-fourth of the Current Image's Dimensions");
    SbtnMedium.SetHint(L"Medium|One-half of the Current Image's Dimensions");
    SbtnLarge.SetHint(L"Large|Retain Current Image's Dimensions");
    SBtnSmall.onClick = [this] { SBtnSmallClick(); };
    SbtnMedium.onClick = [this] { SbtnMediumClick(); };
    SbtnLarge.onClick = [this] { SbtnLargeClick(); };
    SBtnCancel.onClick = [this] { SBtnCancelClick(); };
}

TEmailSizeDlg::~TEmailSizeDlg() { DestroyHandle(); }

// A failure of the send leaves this function before the dialog closes: it
// is reported by the application-wide report and the dialog stays open.
void TEmailSizeDlg::SendAndClose(EmailSize size)
{
    commands_.SendImage(size);
    Close();
}

void TEmailSizeDlg::SBtnSmallClick() { SendAndClose(EmailSize::Small); }
void TEmailSizeDlg::SbtnMediumClick() { SendAndClose(EmailSize::Medium); }
void TEmailSizeDlg::SbtnLargeClick() { SendAndClose(EmailSize::Large); }
void TEmailSizeDlg::SBtnCancelClick() { Close(); }

void TEmailSizeDlg::FormKeyPress(wchar_t& key)
{
    CloseOnEscape(key);
}
