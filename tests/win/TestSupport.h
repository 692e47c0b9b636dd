// Helpers shared by the Windows tests: the event loop run for a moment, files
// written and read back, a temporary folder, real clicks, and the modal
// dialogs answered from inside their own loops.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/MainUnit.h"
#include "dialogs/EmailSizeFormUnit.h"
#include "dialogs/ErrorDlgUnit.h"
#include "dialogs/HelpDlgUnit.h"
#include "dialogs/NewAboutFrmUnit.h"
#include "dialogs/RenameDlgUnit.h"
#include "dialogs/SlideShowFormUnit.h"
#include "dialogs/ToolsFormUnit.h"
#include "imaging/codecs/ImageFormats.h"
#include "imaging/codecs/PngCodec.h"
#include "imaging/pictures/FileBytes.h"
#include "imaging/pictures/PictureFiles.h"
#include "imaging/pictures/PictureTransforms.h"

namespace test_support {

// Lets the event loop handle what was posted, a few times over.
inline void Pump(DWORD pauseMs = 10)
{
    for (int i = 0; i < 3; ++i) {
        Application::ProcessMessages();
        Sleep(pauseMs);
    }
}

// Runs the event loop until the condition holds: what a test waits for is a
// state, never a time, so a busy machine only makes it wait longer. False
// when the state has not come after limitMs.
template <class Condition>
bool PumpUntil(Condition done, DWORD limitMs = 30000)
{
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < limitMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        Application::ProcessMessages();
    }
    return done();
}

// For a check that the program showed nothing (no error, no question): a
// failure names what it did show.
template <class List>
testing::AssertionResult NothingShown(const List& shown)
{
    if (shown.empty())
        return testing::AssertionSuccess();
    testing::AssertionResult failure = testing::AssertionFailure();
    failure << "shown:";
    for (const auto& item : shown) {
        if constexpr (std::is_same_v<std::decay_t<decltype(item)>, std::wstring>)
            failure << " \"" << Narrow(item) << "\"";
        else
            failure << " " << testing::PrintToString(item);
    }
    return failure;
}

inline void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
    DWORD written = 0;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

// The whole file; nothing when it cannot be opened.
inline std::vector<uint8_t> ReadBytes(const std::wstring& path)
{
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

// A folder of its own for each test, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& name)
    {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + name + L" " + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { Remove(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    static void Remove(const std::wstring& folder)
    {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = data.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                std::wstring full = folder + L"\\" + name;
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    Remove(full);
                else
                    DeleteFileW(full.c_str());
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(folder.c_str());
    }
    std::wstring path_;
};

// A control's rectangle in its parent's client coordinates.
inline RECT BoundsIn(const TWindow& control, const TWindow& parent)
{
    RECT r{};
    GetWindowRect(control.Handle(), &r);
    MapWindowPoints(HWND_DESKTOP, parent.Handle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// A real click posted to a window at (at, at) of its client area, handled by
// the event loop.
inline void PostClick(HWND window, int at = 5)
{
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at, at));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(at, at));
}

// A key pressed on the focused control (or the given window) with the given
// modifiers held: the key-down message goes through the event loop, so the
// window's preview sees it before the control does.
inline void Press(WORD key, ShiftState shift = 0, HWND target = nullptr)
{
    if (!target)
        target = GetFocus();
    BYTE saved[256], state[256];
    GetKeyboardState(saved);
    std::memcpy(state, saved, sizeof(state));
    auto hold = [&](bool down, std::initializer_list<int> keys) {
        for (int k : keys)
            state[k] = down ? 0x80 : 0;
    };
    hold(shift & ssCtrl, {VK_CONTROL, VK_LCONTROL});
    hold(shift & ssShift, {VK_SHIFT, VK_LSHIFT});
    hold(shift & ssAlt, {VK_MENU, VK_LMENU});
    SetKeyboardState(state);
    const LPARAM lParam = 1 | LPARAM(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16 | ((shift & ssAlt) ? 1 << 29 : 0);
    PostMessageW(target, (shift & ssAlt) ? WM_SYSKEYDOWN : WM_KEYDOWN, key, lParam);
    Pump();
    SetKeyboardState(saved);
}

// The modal windows of the code under test run for real and are answered
// with a posted click once they show. An error dialog's text is noted in
// `failures` and its button clicked; a prompt goes to `prompt` and any other
// window to `other`, which note what they need and return the button to click
// (none: no click). Application::ModalShownHook() is set until
// StopAnsweringModals().
inline void AnswerModals(std::vector<std::wstring>& failures, std::function<HWND(THelpDlg&)> prompt,
                         std::function<HWND(TForm&)> other = {})
{
    Application::ModalShownHook() = [&failures, prompt = std::move(prompt), other = std::move(other)](TForm& form) {
        HWND button = nullptr;
        if (auto* error = dynamic_cast<TErrorDlg*>(&form)) {
            failures.push_back(error->MmoError.Text());
            button = error->SbtnOkay.Handle();
        } else if (auto* help = dynamic_cast<THelpDlg*>(&form)) {
            if (prompt)
                button = prompt(*help);
        } else if (other) {
            button = other(form);
        }
        if (button)
            PostClick(button);
    };
}

inline void StopAnsweringModals() { Application::ModalShownHook() = nullptr; }

// Pixels read back from a drawing (0x00BBGGRR).
struct Shot {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    bool operator==(const Shot&) const = default;
};

// A drawing in a failed check: its size and its first few colours.
inline void PrintTo(const Shot& shot, std::ostream* os)
{
    *os << shot.width << " x " << shot.height << " pixels:";
    std::vector<COLORREF> colours;
    for (COLORREF c : shot.pixels)
        if (std::find(colours.begin(), colours.end(), c) == colours.end() && colours.size() < 5)
            colours.push_back(c);
    char text[16];
    for (COLORREF c : colours) {
        std::snprintf(text, sizeof(text), " #%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
        *os << text;
    }
    if (colours.size() == 5)
        *os << " ...";
}

// Draws into a new top-down 32-bit bitmap of the size and reads it back.
template <class Draw>
Shot Render(int width, int height, Draw draw)
{
    Shot shot{width, height, std::vector<COLORREF>(size_t(width) * size_t(height))};
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB}};
    void* bits = nullptr;
    WindowDc screen;
    BitmapHandle bitmap(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    MemoryDcHandle dc(CreateCompatibleDC(screen.Get()));
    SelectedObject keep(dc.Get(), bitmap.Get());
    draw(dc.Get());
    GdiFlush();
    for (size_t i = 0; i < shot.pixels.size(); ++i) {
        const uint32_t bgra = static_cast<const uint32_t*>(bits)[i];
        shot.pixels[i] = RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
    }
    return shot;
}

// The first visible dialog box (class "#32770") of this thread that matches
// says yes to; any, without matches.
inline HWND FindThreadDialog(bool (*matches)(HWND) = nullptr)
{
    struct Search {
        bool (*matches)(HWND);
        HWND found;
    } search{matches, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) noexcept -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (!IsWindowVisible(window) || wcscmp(name, L"#32770") != 0 || (s.matches && !s.matches(window)))
                return TRUE;
            s.found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// True when the system has a font of that face installed.
inline bool InstalledFont(const std::wstring& face) { return FontInstalled(face.c_str()); }

// Answers the system's print dialog from inside its own modal loop (a
// thread timer, which that loop dispatches): counts the dialogs shown and
// clicks OK (confirm) or Cancel in each.
class PrintDialogAnswer {
public:
    // before: what the user does in the dialog before answering it.
    explicit PrintDialogAnswer(bool confirm, std::function<void(HWND)> before = {})
        : confirm_(confirm), before_(std::move(before))
    {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 50, Tick);
    }
    ~PrintDialogAnswer()
    {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    PrintDialogAnswer(const PrintDialogAnswer&) = delete;
    PrintDialogAnswer& operator=(const PrintDialogAnswer&) = delete;
    int Shown() const { return shown_; }

private:
    // A dialog of this thread with the print dialog's printer list.
    static HWND FindPrintDialog()
    {
        return FindThreadDialog([](HWND dialog) { return GetDlgItem(dialog, 0x0473 /* cmb4 */) != nullptr; });
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        PrintDialogAnswer* self = current_;
        HWND dialog = self ? FindPrintDialog() : nullptr;
        if (!dialog || dialog == self->answered_)
            return;
        self->answered_ = dialog;
        ++self->shown_;
        if (self->before_)
            self->before_(dialog);
        const int button = self->confirm_ ? IDOK : IDCANCEL;
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(dialog, button)));
    }

    static inline PrintDialogAnswer* current_ = nullptr;
    bool confirm_;
    std::function<void(HWND)> before_;
    int shown_ = 0;
    HWND answered_ = nullptr;
    UINT_PTR timer_ = 0;
};

// The PNG format registered for the length of a test, unless the program has
// registered it already (then nothing).
inline std::unique_ptr<PngFormatRegistration> RegisterPngIfMissing()
{
    return FindFileFormat(L"png") ? nullptr : std::make_unique<PngFormatRegistration>();
}

} // namespace test_support
