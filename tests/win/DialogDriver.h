// Drives the system's modal dialogs (file dialogs, message boxes) from a
// thread timer that their own message loops dispatch, with steps for the
// file dialogs' name box, list and picture preview.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/OpenPictureDialog.h"
#include "tests/win/TestSupport.h"

namespace dialog_driver {

// Runs steps against the system dialog on screen from a thread timer, which
// the dialog's own message loop dispatches. Each step returns true when it is
// done; the next tick runs the next step.
class DialogDriver {
public:
    using Step = std::function<bool(HWND dialog)>;
    explicit DialogDriver(std::vector<Step> steps) : steps_(std::move(steps))
    {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 50, Tick);
    }
    ~DialogDriver()
    {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    int DialogsSeen() const { return int(seen_.size()); }
    bool Finished() const { return next_ == steps_.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        DialogDriver* self = current_;
        if (!self)
            return;
        HWND dialog = test_support::FindThreadDialog();
        if (!dialog)
            return;
        if (std::find(self->seen_.begin(), self->seen_.end(), dialog) == self->seen_.end())
            self->seen_.push_back(dialog);
        if (self->next_ < self->steps_.size() && self->steps_[self->next_](dialog))
            ++self->next_;
    }

    static inline DialogDriver* current_ = nullptr;
    std::vector<Step> steps_;
    size_t next_ = 0;
    std::vector<HWND> seen_;
    UINT_PTR timer_ = 0;
};

// The file-name box of the system dialog (a combo box or an edit).
inline HWND FileNameBox(HWND dialog)
{
    if (HWND combo = GetDlgItem(dialog, cmb13))
        return combo;
    return GetDlgItem(dialog, edt1);
}

inline std::wstring TextOf(HWND window)
{
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

inline DialogDriver::Step TypeAndConfirm(const std::wstring& text)
{
    return [text](HWND dialog) {
        SetWindowTextW(FileNameBox(dialog), text.c_str());
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(dialog, IDOK)));
        return true;
    };
}

inline DialogDriver::Step Cancel()
{
    return [](HWND dialog) {
        if (!FileNameBox(dialog))
            return false;   // a question above it is still closing
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), LPARAM(GetDlgItem(dialog, IDCANCEL)));
        return true;
    };
}

inline HWND FileListView(HWND dialog)
{
    HWND view = FindWindowExW(dialog, nullptr, L"SHELLDLL_DefView", nullptr);
    return view ? FindWindowExW(view, nullptr, L"SysListView32", nullptr) : nullptr;
}

// Selects the list entry that shows name (with or without its extension);
// waits until the list holds it.
inline DialogDriver::Step SelectInList(const std::wstring& name)
{
    return [name](HWND dialog) {
        HWND list = FileListView(dialog);
        if (!list)
            return false;
        int index = -1;
        for (const std::wstring& shown : {name, name.substr(0, name.rfind(L'.'))}) {
            LVFINDINFOW find{LVFI_STRING};
            find.psz = shown.c_str();
            index = int(SendMessageW(list, LVM_FINDITEMW, WPARAM(-1), reinterpret_cast<LPARAM>(&find)));
            if (index >= 0)
                break;
        }
        if (index < 0)
            return false;
        LVITEMW clear{};
        clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&clear));
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, WPARAM(index), reinterpret_cast<LPARAM>(&item));
        return true;
    };
}

inline HWND PreviewArea(HWND dialog) { return FindWindowExW(dialog, nullptr, L"#32770", nullptr); }

// Waits until the preview's size line reads the expected text, then notes
// the colour in the middle of the pane.
inline DialogDriver::Step ExpectPreview(const std::wstring& sizeText, COLORREF* middle)
{
    return [sizeText, middle](HWND dialog) {
        HWND area = PreviewArea(dialog);
        if (!area || TextOf(GetDlgItem(area, TOpenPictureDialog::kPreviewSizeId)) != sizeText)
            return false;
        HWND pane = GetDlgItem(area, TOpenPictureDialog::kPreviewPaneId);
        UpdateWindow(pane);
        RECT r{};
        GetClientRect(pane, &r);
        HDC dc = GetDC(pane);
        *middle = GetPixel(dc, r.right / 2, r.bottom / 2);
        ReleaseDC(pane, dc);
        return true;
    };
}

// The message box on screen (not a file dialog): its texts are noted and
// its OK button pressed.
inline DialogDriver::Step AcceptMessage(std::vector<std::wstring>& texts)
{
    return [&texts](HWND dialog) {
        if (FileNameBox(dialog) || !GetDlgItem(dialog, IDOK))
            return false;
        std::wstring text;
        EnumChildWindows(
            dialog,
            [](HWND child, LPARAM data) noexcept -> BOOL {
                wchar_t name[32] = {};
                GetClassNameW(child, name, 32);
                try {
                    if (_wcsicmp(name, L"Static") == 0)
                        *reinterpret_cast<std::wstring*>(data) += TextOf(child);
                    return TRUE;
                } catch (...) {
                    return FALSE;   // out of memory: the texts read so far
                }
            },
            reinterpret_cast<LPARAM>(&text));
        texts.push_back(text);
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(dialog, IDOK)));
        return true;
    };
}

// Answers the question whether an existing file is to be replaced, which
// shows above the file dialog, with Yes (IDYES) or No (IDNO); its text is
// noted in texts when given.
inline DialogDriver::Step AnswerReplace(int button, std::vector<std::wstring>* texts = nullptr)
{
    return [button, texts](HWND) {
        const HWND found =
            test_support::FindThreadDialog([](HWND dialog) { return GetDlgItem(dialog, IDYES) != nullptr; });
        if (!found)
            return false;
        if (texts)
            texts->push_back(TextOf(GetDlgItem(found, 0xFFFF)));
        PostMessageW(found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(found, button)));
        return true;
    };
}

inline DialogDriver::Step ConfirmReplace() { return AnswerReplace(IDYES); }

// Chooses an entry of the file-type list (counted from 0), as the user does.
inline DialogDriver::Step ChooseFileType(int index)
{
    return [index](HWND dialog) {
        HWND types = GetDlgItem(dialog, cmb1);
        if (!types)
            return false;
        SendMessageW(types, CB_SETCURSEL, WPARAM(index), 0);
        for (WORD code : {CBN_SELCHANGE, CBN_SELENDOK})
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(cmb1, code), LPARAM(types));
        return true;
    };
}

// Notes the folder the file dialog shows and the text of its name box.
inline DialogDriver::Step NoteFolderAndName(std::wstring& folder, std::wstring& name)
{
    return [&folder, &name](HWND dialog) {
        wchar_t path[MAX_PATH] = {};
        if (SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(path)) <= 0)
            return false;
        folder = path;
        name = TextOf(FileNameBox(dialog));
        return true;
    };
}

} // namespace dialog_driver
