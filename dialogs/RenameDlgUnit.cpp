#include "dialogs/RenameDlgUnit.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

} // namespace

TRenameDlg::TRenameDlg()
    : TForm(L"Rename Image File", Border::Dialog, Scale(kClientWidth), Scale(kClientHeight)),
      LMDFill1(*this, Scale(-100), 0, Scale(350), Scale(kClientHeight), RGB(0, 0, 255), kWhite, 236),
      Bevel1(*this, Scale(8), Scale(8), Scale(297), Scale(81)),
      Label1(*this, Scale(24), Scale(24), L"New File Name"),
      EdtNewFileName(*this, Scale(24), Scale(40), Scale(265), Scale(21)),
      SBtnOkay(*this, Scale(80), Scale(104), Scale(73), Scale(25), L"OK"),
      SBtnCancel(*this, Scale(160), Scale(104), Scale(73), Scale(25), L"Cancel")
{
    SetColor(kWhite);
    SetKeyPreview(true);
    SBtnOkay.onClick = [this] { SBtnOkayClick(); };
    SBtnCancel.onClick = [this] { SBtnCancelClick(); };
}

TRenameDlg::~TRenameDlg() { DestroyHandle(); }

std::optional<std::wstring> TRenameDlg::Ask(const std::wstring& name)
{
    EdtNewFileName.SetText(name);
    if (ShowModal() != ModalAnswer::Ok)
        return std::nullopt;
    return EdtNewFileName.Text();
}

void TRenameDlg::SBtnOkayClick() { SetModalResult(ModalAnswer::Ok); }
void TRenameDlg::SBtnCancelClick() { SetModalResult(ModalAnswer::Cancel); }

void TRenameDlg::FormShow()
{
    EdtNewFileName.SelectAll();
}

void TRenameDlg::FormResize()
{
    LMDFill1.SetBounds(LMDFill1.Left(), LMDFill1.Top(), LMDFill1.Width(), ClientHeight());
}

void TRenameDlg::FormKeyPress(wchar_t& key)
{
    AnswerEnterAndEscape(key, ModalAnswer::Ok, ModalAnswer::Cancel);
}
