#include "dialogs/HelpDlgUnit.h"

#include <algorithm>

#include "base/Numbers.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

HFONT HeadlineFont() { return MakeFont(L"MS Shell Dlg 2", Scale(13), true); }

} // namespace

THelpDlg::THelpDlg()
    : TForm(L"Helpful Hint", Border::Dialog, Scale(kClientWidth), Scale(kClientHeight)),
      LMDFill1(*this, Scale(-100), 0, Scale(350), Scale(kClientHeight), RGB(0, 0, 255), kWhite, 236),
      Bevel1(*this, Scale(4), Scale(4), Scale(305), Scale(113)),
      LblHelpText(*this, Scale(12), Scale(12), L"Help", HeadlineFont()),
      MmoHelpDetail(*this, Scale(12), Scale(40), Scale(281), Scale(65), false),
      SbtnOkay(*this, Scale(102), Scale(125), Scale(73), Scale(25), L"OK"),
      SBtnCancel(*this, Scale(182), Scale(125), Scale(73), Scale(25), L"Close"),
      SbtnOptional(*this, Scale(262), Scale(125), Scale(99), Scale(25), L"Cancel")
{
    SetColor(kWhite);
    SetKeyPreview(true);
    LblHelpText.SetWordWrap(true);
    SBtnCancel.SetVisible(false);
    SbtnOptional.SetVisible(false);
    SbtnOkay.onClick = [this] { SbtnOkayClick(); };
    SBtnCancel.onClick = [this] { SBtnCancelClick(); };
    SbtnOptional.onClick = [this] { SbtnOptionalClick(); };
}

THelpDlg::~THelpDlg() { DestroyHandle(); }

int THelpDlg::HeadlineWrapWidth() { return Scale(kMinWidth) - Scale(12); }

void THelpDlg::SetHeadline(const std::wstring& text)
{
    LblHelpText.SetBounds(LblHelpText.Left(), LblHelpText.Top(), HeadlineWrapWidth(), LblHelpText.Height());
    LblHelpText.SetCaption(text);
}

void THelpDlg::SetDetailLines(const std::vector<std::wstring>& lines)
{
    MmoHelpDetail.Clear();
    MmoHelpDetail.SetLines(lines);
}

ModalAnswer THelpDlg::Prompt(const std::wstring& title, const std::wstring& headline,
                             const std::vector<std::wstring>& details,
                             const std::vector<std::wstring>& buttonCaptions)
{
    // A question on screen is never rewritten for another one.
    if (Modal() || Visible())
        throw Failure(L"Cannot make a visible window modal");
    SetText(title);
    SetHeadline(headline);
    SetDetailLines(details);
    TButton* buttons[] = {&SbtnOkay, &SBtnCancel, &SbtnOptional};
    for (size_t i = 0; i < buttonCaptions.size() && i < 3; ++i) {
        buttons[i]->SetText(buttonCaptions[i]);
        if (i > 0)
            buttons[i]->SetVisible(true);
    }
    return ShowModal();
}

void THelpDlg::SbtnOkayClick() { SetModalResult(ModalAnswer::Ok); }
void THelpDlg::SBtnCancelClick() { SetModalResult(ModalAnswer::Cancel); }
void THelpDlg::SbtnOptionalClick() { SetModalResult(ModalAnswer::Optional); }

void THelpDlg::FormKeyPress(wchar_t& key)
{
    if (key == VK_RETURN) {
        SetModalResult(ModalAnswer::Ok);
        key = 0;
    }
}

void THelpDlg::FormShow()
{
    // The headline keeps at least the wrap width; a longer single word widens it.
    TLabel& head = LblHelpText;
    head.SetBounds(head.Left(), head.Top(), std::max(head.Width(), HeadlineWrapWidth()), head.Height());
    head.AdjustSize();
    Bevel1.SetBounds(Bevel1.Left(), Bevel1.Top(), head.Width() + Scale(16),
                     head.Height() + MmoHelpDetail.Height() + Scale(32));
    MmoHelpDetail.SetBounds(MmoHelpDetail.Left(), head.Top() + head.Height() + Scale(8), head.Width(),
                            MmoHelpDetail.Height());
    int buttonTop = Bevel1.Top() + Bevel1.Height() + Scale(8);
    for (TButton* b : {&SbtnOkay, &SBtnCancel, &SbtnOptional})
        b->SetBounds(b->Left(), buttonTop, b->Width(), b->Height());

    // The client area ends 6 pixels right of the frame and 8 below the buttons.
    int clientWidth = Bevel1.Left() + Bevel1.Width() + Scale(6);
    int clientHeight = buttonTop + SbtnOkay.Height() + Scale(8);
    int outerWidth = Width() + clientWidth - ClientWidth();
    int outerHeight = Height() + clientHeight - ClientHeight();
    outerWidth = std::max(outerWidth, Scale(kMinWidth));
    outerHeight = std::max(outerHeight, Scale(kMinHeight));
    SetWindowPos(Handle(), nullptr, 0, 0, outerWidth, outerHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    int w = Width();
    if (SbtnOptional.Visible()) {
        int row = SbtnOkay.Width() + SBtnCancel.Width() + SbtnOptional.Width();
        int left = int(RoundHalfEven((w - row) / 2.0)) - Scale(10);
        SbtnOkay.SetBounds(left, buttonTop, SbtnOkay.Width(), SbtnOkay.Height());
        left += SbtnOkay.Width() + Scale(5);
        SBtnCancel.SetBounds(left, buttonTop, SBtnCancel.Width(), SBtnCancel.Height());
        left += SBtnCancel.Width() + Scale(5);
        SbtnOptional.SetBounds(left, buttonTop, SbtnOptional.Width(), SbtnOptional.Height());
    } else {
        PlaceAnswerButtons(w, buttonTop, SbtnOkay, SBtnCancel.Visible() ? &SBtnCancel : nullptr);
    }
    CenterOnScreen();
    Invalidate();
}

void THelpDlg::FormResize()
{
    LMDFill1.SetBounds(LMDFill1.Left(), LMDFill1.Top(), LMDFill1.Width(), ClientHeight());
}

void THelpDlg::FormClose()
{
    SBtnCancel.SetVisible(false);
    SbtnOptional.SetVisible(false);
}

LRESULT THelpDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETMINMAXINFO) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = Scale(kMinWidth);
        info->ptMinTrackSize.y = Scale(kMinHeight);
        return 0;
    }
    return TForm::HandleMessage(message, wParam, lParam);
}

void ShowUnsupportedFormatMessage(THelpDlg& dialog, const std::wstring& argument)
{
    dialog.Prompt(L"Unsupported File Format", argument + L" is not in a supported image format.",
                  {L"The following image formats are supported:", L" - JPEG (.jpeg, .jpg)", L" - Bitmap (.bmp)",
                   L" - Icon (.ico) (Read-only)", L" - PNG (.png)", L" - Windows Metafile (.wmf)",
                   L" - Enhanced Metafile (.emf)"},
                  {L"OK"});
}
