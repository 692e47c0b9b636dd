// The slide-show options dialog: the pause between slides in minutes and
// seconds, and whether every show starts at the first image. The main window
// fills it, shows it modally and reads it back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "widgets/Controls.h"
#include "widgets/Form.h"
#include "widgets/GraphicControls.h"

class TSlideShowForm : public TForm {
public:
    TSlideShowForm();
    ~TSlideShowForm() override;

    // Answers: OK (also Enter), Cancel (also Esc and the close box).
    // Designed sizes (96 dpi).
    static constexpr int kClientWidth = 265, kClientHeight = 149;

    // Shows the interval (milliseconds) in whole minutes and seconds, and
    // the start-at-beginning box.
    void SetOptions(unsigned intervalMilliseconds, bool startAtBeginning);
    // The interval as typed, in milliseconds (TypedIntervalMilliseconds).
    int64_t TypedInterval() const;
    bool StartAtBeginning() const { return CBStartFromBeg.Checked(); }

    static std::vector<std::wstring> MinutesList();
    static std::vector<std::wstring> SecondsList();

    void SBtnOkayClick();
    void SBtnCancelClick();
    void FormKeyPress(wchar_t& key) override;

    TBevel Bevel1;
    TLabel Label1;
    TComboBox CmbMinutes;
    TLabel LblMinutes;
    TComboBox CmbSeconds;
    TLabel LblSeconds;
    TCheckBox CBStartFromBeg;
    TButton SBtnOkay;
    TButton SBtnCancel;
};
