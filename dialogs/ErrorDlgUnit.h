// The program's own message window: the application-wide failure report,
// the error messages of commands that catch their own failures, and,
// reconfigured by a caller, yes/no confirmations.
#pragma once

#include <optional>
#include <string>

#include "widgets/Controls.h"
#include "widgets/Form.h"
#include "widgets/GraphicControls.h"

class TErrorDlg : public TForm {
public:
    // Installs the application-wide failure report; the destructor removes it.
    TErrorDlg();
    ~TErrorDlg() override;

    // Replaces the whole message (line breaks show as several lines).
    void SetErrorText(const std::wstring& message);
    // Asks a yes/no question under the caption, without the red frame;
    // true for Yes. The window takes its own look back when it closes.
    bool Confirm(const std::wstring& caption, const std::wstring& question);

    // The application-wide report: the failure's message, shown modally in
    // the default configuration. A failure that arrives while the window is
    // already shown waits (one deep, a newer one replaces a waiting one) and
    // is shown right after the window closes, once the event loop runs again.
    void ApplicationEvents1Exception(const Failure& failure);
    // The message waiting to be shown, if any.
    const std::optional<std::wstring>& PendingReport() const { return pending_; }

    void SbtnOkayClick();
    void SBtnCancelClick();
    void FormShow() override;
    void FormClose() override;
    void FormKeyPress(wchar_t& key) override;

    // Designed sizes (96 dpi).
    static constexpr int kClientWidth = 308, kClientHeight = 124;

    TGradientFill LMDFill1;
    TShape PnlRed;           // the 2-pixel red frame around the message
    class Memo : public TMemo {
    public:
        using TMemo::TMemo;

    protected:
        HBRUSH HandleControlColor(HDC dc) override;   // white although read-only
    };
    Memo MmoError;
    TButton SbtnOkay;
    TButton SBtnCancel;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowPendingReport();
    std::optional<std::wstring> pending_;
    bool reporting_ = false;
};
