// Helpers for tests that drive the main window with real folders, files,
// clicks and messages.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MainUnit.h"
#include "imaging/BmpCodec.h"
#include "imaging/ImageFormats.h"
#include "imaging/JpegCodec.h"
#include "imaging/PngCodec.h"

namespace viewer_test {

inline void Pump()
{
    for (int i = 0; i < 3; ++i) {
        Application::ProcessMessages();
        Sleep(5);
    }
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

// One colour all over.
inline Raster Solid(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    Raster raster(width, height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = raster.MutableRow(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = b;
            row[3 * x + 1] = g;
            row[3 * x + 2] = r;
        }
    }
    return raster;
}

inline void WriteBmp(const std::wstring& path, int width, int height)
{
    WriteBytes(path, EncodeBmp(Solid(width, height, 200, 60, 20)));
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

inline RECT BoundsIn(const TWindow& control, const TWindow& parent)
{
    RECT r{};
    GetWindowRect(control.Handle(), &r);
    MapWindowPoints(HWND_DESKTOP, parent.Handle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// A real click posted to a window, handled by the event loop.
inline void PostClick(HWND window)
{
    PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

inline void ClickButton(TButton& button)
{
    PostClick(button.Handle());
    Pump();
}

// A menu entry chosen: the command the menu sends to its owner.
inline void ChooseMenu(TMainForm& form, TMenuItem* item)
{
    SendMessageW(form.Handle(), WM_COMMAND, MAKEWPARAM(item->Id(), 0), 0);
    Pump();
}

// What the prompt and error dialogs showed, and how they were answered.
struct DialogRecord {
    std::wstring caption, headline;
    std::vector<std::wstring> details, buttons;
    bool secondVisible = false;
};

class ViewerTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!FindFileFormat(L"png"))
            png_ = std::make_unique<PngFormatRegistration>();
        Application::ModalShownHook() = [this](TForm& form) {
            HWND button = nullptr;
            if (auto* error = dynamic_cast<TErrorDlg*>(&form)) {
                failures.push_back(error->MmoError.Text());
                button = error->SbtnOkay.Handle();
            } else if (auto* help = dynamic_cast<THelpDlg*>(&form)) {
                DialogRecord record;
                record.caption = help->Text();
                record.headline = help->LblHelpText.Caption();
                record.details = help->MmoHelpDetail.Lines();
                record.buttons = {help->SbtnOkay.Text(), help->SBtnCancel.Text()};
                record.secondVisible = help->SBtnCancel.Visible();
                prompts.push_back(record);
                button = answerYes ? help->SbtnOkay.Handle() : help->SBtnCancel.Handle();
            }
            if (button)
                PostClick(button);
        };
    }
    void TearDown() override
    {
        Application::ModalShownHook() = nullptr;
        png_.reset();
    }

    // A main window whose image area is width × height, shown.
    std::unique_ptr<TMainForm> MakeForm(int width, int height)
    {
        auto form = std::make_unique<TMainForm>(std::vector<std::wstring>{});
        form->SetClientSize(width, height + form->Panel2.Height() + form->StatusBar1.Height());
        form->Show();
        Pump();
        EXPECT_EQ(form->ScrollBox1.ClientWidth(), width);
        EXPECT_EQ(form->ScrollBox1.ClientHeight(), height);
        return form;
    }

    std::vector<std::wstring> failures;
    std::vector<DialogRecord> prompts;
    bool answerYes = true;

private:
    std::unique_ptr<PngFormatRegistration> png_;
};

} // namespace viewer_test
