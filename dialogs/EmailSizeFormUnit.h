// The e-mail size dialog: the user picks the size at which the current
// image is sent (a quarter, a half or the full width and height). A choice
// runs the whole send while the dialog is open and closes it once the send
// returns; a failure leaves it open for another choice.
#pragma once

#include "dialogs/ImageCommands.h"
#include "widgets/Controls.h"
#include "widgets/Form.h"
#include "widgets/GraphicControls.h"

class TEmailSizeDlg : public TForm {
public:
    // Sends through the commands' SendImage.
    explicit TEmailSizeDlg(ImageCommands& commands);
    ~TEmailSizeDlg() override;

    // Designed sizes (96 dpi).
    static constexpr int kClientWidth = 286, kClientHeight = 185;

    void SBtnSmallClick();
    void SbtnMediumClick();
    void SbtnLargeClick();
    void SBtnCancelClick();
    // Esc closes the dialog.
    void FormKeyPress(wchar_t& key) override;

    TLabel Label1;          // the question
    TButton SBtnSmall;
    TButton SbtnMedium;
    TButton SbtnLarge;
    TBevel StaticText1Frame;
    TLabel StaticText1;     // the framed, word-wrapped explanation
    TButton SBtnCancel;

private:
    void SendAndClose(EmailSize size);
    ImageCommands& commands_;
};
