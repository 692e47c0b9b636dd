#include "dialogs/ErrorDlgUnit.h"

#include "base/ScopedFlag.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
// Posted to the dialog when a failure waits to be shown.
constexpr UINT kShowPending = WM_APP + 1;

} // namespace

TErrorDlg::TErrorDlg()
    : TForm(L"Error", Border::Dialog, Scale(kClientWidth), Scale(kClientHeight)),
      LMDFill1(*this, Scale(-100), 0, Scale(350), Scale(kClientHeight), RGB(0, 0, 255), kWhite, 236),
      PnlRed(*this, Scale(6), Scale(6), Scale(293), Scale(77), RGB(255, 0, 0)),
      MmoError(*this, Scale(8), Scale(8), Scale(289), Scale(73), true),
      SbtnOkay(*this, Scale(83), Scale(93), Scale(73), Scale(25), L"OK"),
      SBtnCancel(*this, Scale(163), Scale(93), Scale(73), Scale(25), L"Cancel")
{
    SetColor(kWhite);
    SetKeyPreview(true);
    SBtnCancel.SetVisible(false);
    SbtnOkay.onClick = [this] { SbtnOkayClick(); };
    SBtnCancel.onClick = [this] { SBtnCancelClick(); };
    Application::SetExceptionHook([this](const Failure& failure) { ApplicationEvents1Exception(failure); });
}

TErrorDlg::~TErrorDlg()
{
    Application::SetExceptionHook(nullptr);
    DestroyHandle();
}

HBRUSH TErrorDlg::Memo::HandleControlColor(HDC dc)
{
    SetBkColor(dc, kWhite);
    return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

void TErrorDlg::SetErrorText(const std::wstring& message)
{
    MmoError.Clear();
    // The edit control breaks lines only at CR LF.
    std::wstring text;
    text.reserve(message.size());
    for (size_t i = 0; i < message.size(); ++i) {
        wchar_t c = message[i];
        if (c == L'\r' && i + 1 < message.size() && message[i + 1] == L'\n') {
            text += L"\r\n";
            ++i;
        } else if (c == L'\r' || c == L'\n') {
            text += L"\r\n";
        } else {
            text += c;
        }
    }
    MmoError.SetText(text);
}

void TErrorDlg::ApplicationEvents1Exception(const Failure& failure)
{
    if (reporting_ || Modal() || IsWindowVisible(Handle())) {
        // Already open (for a report or for a caller): keep the newest
        // message for when it closes.
        pending_ = failure.Message();
        return;
    }
    const ScopedFlag reporting(reporting_);
    SetErrorText(failure.Message());
    ShowModal();
}

bool TErrorDlg::Confirm(const std::wstring& caption, const std::wstring& question)
{
    SetText(caption);
    PnlRed.SetVisible(false);
    SbtnOkay.SetText(L"Yes");
    SBtnCancel.SetText(L"No");
    SBtnCancel.SetVisible(true);
    SetErrorText(question);
    return ShowModal() == ModalAnswer::Ok;
}

void TErrorDlg::ShowPendingReport()
{
    if (!pending_ || !Handle())
        return;
    if (reporting_ || Modal() || IsWindowVisible(Handle()))
        return;   // posted again when the window closes
    Failure waiting(*pending_);
    pending_.reset();
    ApplicationEvents1Exception(waiting);
}

void TErrorDlg::SbtnOkayClick() { SetModalResult(ModalAnswer::Ok); }
void TErrorDlg::SBtnCancelClick() { SetModalResult(ModalAnswer::Cancel); }

void TErrorDlg::FormKeyPress(wchar_t& key)
{
    AnswerEnterAndEscape(key, ModalAnswer::Ok, ModalAnswer::Cancel);
}

void TErrorDlg::FormShow()
{
    MessageBeep(MB_OK);
    PlaceAnswerButtons(Width(), SbtnOkay.Top(), SbtnOkay, SBtnCancel.Visible() ? &SBtnCancel : nullptr);
}

void TErrorDlg::FormClose()
{
    SetText(L"Error");
    PnlRed.SetVisible(true);
    SbtnOkay.SetText(L"OK");
    SBtnCancel.SetText(L"Cancel");
    SBtnCancel.SetVisible(false);
    if (pending_)
        PostMessageW(Handle(), kShowPending, 0, 0);
}

LRESULT TErrorDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kShowPending) {
        ShowPendingReport();
        return 0;
    }
    return TForm::HandleMessage(message, wParam, lParam);
}
