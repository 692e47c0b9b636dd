// The prompt dialog: a title, a bold headline, a box of detail lines and up
// to three buttons, filled in by each caller and shown modally.
//
// Callers fill it in this order: SetText (title); SetHeadline (which first
// narrows the headline to the minimum width less 12, then sets the text);
// SetDetailLines; the captions of the buttons to be shown, and SBtnCancel /
// SbtnOptional made visible; ShowModal. Answers: Ok SbtnOkay or Enter,
// Cancel SBtnCancel or the close box, Optional SbtnOptional. Prompt() does all of it.
#pragma once

#include <string>
#include <vector>

#include "widgets/Controls.h"
#include "widgets/Form.h"
#include "widgets/GraphicControls.h"

class THelpDlg : public TForm {
public:
    THelpDlg();
    ~THelpDlg() override;

    // Designed sizes (96 dpi).
    static constexpr int kClientWidth = 410, kClientHeight = 161;
    static constexpr int kMinWidth = 350, kMinHeight = 150;   // outer size

    // Headline width to wrap at: the minimum window width less 12.
    static int HeadlineWrapWidth();
    void SetHeadline(const std::wstring& text);
    void SetDetailLines(const std::vector<std::wstring>& lines);

    // The whole caller sequence: up to three button captions (the first is
    // always shown); returns the answer.
    ModalAnswer Prompt(const std::wstring& title, const std::wstring& headline,
                       const std::vector<std::wstring>& details, const std::vector<std::wstring>& buttonCaptions);

    void SbtnOkayClick();
    void SBtnCancelClick();
    void SbtnOptionalClick();
    void FormShow() override;
    void FormClose() override;
    void FormResize() override;
    void FormKeyPress(wchar_t& key) override;

    TGradientFill LMDFill1;
    TBevel Bevel1;
    TLabel LblHelpText;
    TMemo MmoHelpDetail;
    TButton SbtnOkay;
    TButton SBtnCancel;
    TButton SbtnOptional;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// The start-up message for a command-line argument whose extension is not a
// supported image format: shown modally, one OK button.
void ShowUnsupportedFormatMessage(THelpDlg& dialog, const std::wstring& argument);
