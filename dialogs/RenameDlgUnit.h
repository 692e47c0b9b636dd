// The rename dialog: the new name of the current image file, without its
// extension, in one edit box; OK answers Ok, Cancel Cancel.
#pragma once

#include <optional>
#include <string>

#include "widgets/Controls.h"
#include "widgets/Form.h"
#include "widgets/GraphicControls.h"

class TRenameDlg : public TForm {
public:
    TRenameDlg();
    ~TRenameDlg() override;

    // Designed sizes (96 dpi).
    static constexpr int kClientWidth = 313, kClientHeight = 142;

    // Shows the dialog modally with the name in its edit box; the text as
    // the user left it when OK answers, nothing otherwise.
    std::optional<std::wstring> Ask(const std::wstring& name);

    void SBtnOkayClick();
    void SBtnCancelClick();
    // The whole text of the edit is selected each time the dialog shows.
    void FormShow() override;
    void FormResize() override;
    // Enter answers OK and Escape Cancel, wherever the focus is.
    void FormKeyPress(wchar_t& key) override;

    TGradientFill LMDFill1;
    TBevel Bevel1;
    TLabel Label1;
    TEdit EdtNewFileName;
    TButton SBtnOkay;
    TButton SBtnCancel;
};
