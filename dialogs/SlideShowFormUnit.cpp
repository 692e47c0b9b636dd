#include "dialogs/SlideShowFormUnit.h"

#include "base/Numbers.h"

std::vector<std::wstring> TSlideShowForm::MinutesList()
{
    std::vector<std::wstring> items;
    for (int minutes = 0; minutes <= 10; ++minutes)
        items.push_back(std::to_wstring(minutes));
    return items;
}

std::vector<std::wstring> TSlideShowForm::SecondsList()
{
    return {L"0", L"1", L"2", L"3", L"4", L"5", L"10", L"15", L"20", L"30", L"45"};
}

TSlideShowForm::TSlideShowForm()
    : TForm(L"Slide Show Options", Border::Dialog, Scale(kClientWidth), Scale(kClientHeight)),
      Bevel1(*this, Scale(8), Scale(8), Scale(249), Scale(105)),
      Label1(*this, Scale(24), Scale(24), L"Pause Between Slides"),
      CmbMinutes(*this, Scale(24), Scale(40), Scale(41), true, MinutesList()),
      LblMinutes(*this, Scale(72), Scale(48), L"Minutes"),
      CmbSeconds(*this, Scale(136), Scale(40), Scale(41), true, SecondsList()),
      LblSeconds(*this, Scale(184), Scale(48), L"Seconds"),
      CBStartFromBeg(*this, Scale(24), Scale(72), Scale(217), Scale(25), L"Always Start Slide Show At First Image"),
      SBtnOkay(*this, Scale(56), Scale(118), Scale(73), Scale(25), L"OK"),
      SBtnCancel(*this, Scale(136), Scale(118), Scale(73), Scale(25), L"Cancel")
{
    SetColor(RGB(255, 255, 255));
    SetKeyPreview(true);
    CmbMinutes.SetText(L"0");
    CmbSeconds.SetText(L"3");
    SBtnOkay.onClick = [this] { SBtnOkayClick(); };
    SBtnCancel.onClick = [this] { SBtnCancelClick(); };
}

TSlideShowForm::~TSlideShowForm() { DestroyHandle(); }

void TSlideShowForm::SetOptions(unsigned intervalMilliseconds, bool startAtBeginning)
{
    CmbMinutes.SetText(std::to_wstring(intervalMilliseconds / 60000u));
    CmbSeconds.SetText(std::to_wstring(intervalMilliseconds % 60000u / 1000u));
    CBStartFromBeg.SetChecked(startAtBeginning);
}

int64_t TSlideShowForm::TypedInterval() const
{
    return TypedIntervalMilliseconds(CmbMinutes.Text(), CmbSeconds.Text());
}

void TSlideShowForm::SBtnOkayClick() { SetModalResult(ModalAnswer::Ok); }
void TSlideShowForm::SBtnCancelClick() { SetModalResult(ModalAnswer::Cancel); }

// The form sees the keys first, wherever the focus is.
void TSlideShowForm::FormKeyPress(wchar_t& key)
{
    AnswerEnterAndEscape(key, ModalAnswer::Ok, ModalAnswer::Cancel);
}
