// A main window over a folder of real image files, with every modal window
// it opens answered as the test asks: the prompt dialog by button number,
// the error dialog as a confirmation (Yes or No), the rename dialog with the
// names to type, and the system's dialogs by steps of a DialogDriver.
#pragma once

#include <deque>
#include <optional>

#include "tests/win/DialogDriver.h"
#include "tests/win/ViewerTestSupport.h"

namespace editing_test {

using namespace viewer_test;
using namespace dialog_driver;

struct ErrorRecord {
    std::wstring caption, message, okay, cancel;
    bool cancelVisible = false, redVisible = false;
};

// A grey picture with a red square in its top-left corner.
inline Raster Marked(int width, int height)
{
    Raster raster = Solid(width, height, 128, 128, 128);
    const int side = std::max(1, std::min({16, width / 4, height / 4}));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            uint8_t* p = raster.MutableRow(y) + 3 * x;
            p[0] = 0;
            p[1] = 0;
            p[2] = 255;
        }
    return raster;
}

// The two wordings of the question asked before a modified image is left.
inline const std::vector<std::wstring> kSmallWording = {
    L"Rotating or flipping an image of this small size can compromise its quality.",
    L"We recommend saving a rotated or flipped image of this size to a new file name so that the original file can "
    L"be reused without loss of quality.",
    L"Selecting \"Yes\" will cause the current file to be overwritten.",
    L"Selecting \"No\" will allow you to choose a new file name."};
inline const std::vector<std::wstring> kGeneralWording = {
    L"Whenever an image is resized or modified and then saved, its quality can diminish.",
    L"We recommend saving a modified image to a new file name so that the original file can be reused without loss "
    L"of quality.",
    L"Selecting \"Yes\" will cause the current file to be overwritten.",
    L"Selecting \"No\" will allow you to choose a new file name."};

// The corner the red square is in: "TL", "TR", "BR", "BL", or "" for none.
inline std::string RedCorner(const Raster& raster)
{
    const int w = raster.Width(), h = raster.Height();
    const std::pair<const char*, POINT> corners[] = {{"TL", {1, 1}}, {"TR", {w - 2, 1}}, {"BR", {w - 2, h - 2}},
                                                     {"BL", {1, h - 2}}};
    for (auto [name, at] : corners) {
        const PaletteEntry p = raster.PixelAt(at.x, at.y);
        if (p.red > 150 && p.green < 110 && p.blue < 110)
            return name;
    }
    return "";
}

class EditingTest : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        Application::ModalShownHook() = [this](TForm& form) {
            if (HWND button = Answer(form))
                PostClick(button);
        };
    }

    // Writes the files and opens the folder on current; the window shows an
    // image area of 400 × 300 and has its rename dialog, as the entry makes it.
    std::unique_ptr<TMainForm> Open(const std::vector<std::pair<std::wstring, std::vector<uint8_t>>>& files,
                                    const std::wstring& current)
    {
        for (const auto& [name, bytes] : files)
            WriteBytes(folder / name, bytes);
        auto form = MakeForm(400, 300);
        form->RenameDlg = std::make_unique<TRenameDlg>();
        form->OpenImageFolder(folder / current);
        form->SetKeyFocus();
        Pump();
        return form;
    }

    static std::wstring Status(TMainForm& form) { return form.StatusBar1.PanelText(1); }

    // What the picture on screen shows, as a raster.
    static Raster Shown(TMainForm& form)
    {
        TPicture picture = form.Image1.Picture();
        ConvertPictureToBitmap(picture);
        return picture.Graphic()->Pixels();
    }

    TempFolder folder{L"Pixavo editing"};
    int promptAnswer = 1;                            // 1 Yes, 2 No, 3 Discard Changes
    std::deque<int> promptAnswers;                   // given first, one a prompt, before promptAnswer
    bool confirm = true;                             // the error dialog's Yes
    std::deque<std::optional<std::wstring>> renames;   // typed and OK; none: Cancel
    std::vector<std::wstring> renameShown;           // the text each time it showed
    bool renameAllSelected = true;
    std::vector<ErrorRecord> errors;

private:
    HWND Answer(TForm& form)
    {
        if (auto* help = dynamic_cast<THelpDlg*>(&form)) {
            prompts.push_back({help->Text(), help->LblHelpText.Caption(), help->MmoHelpDetail.Lines(),
                               {help->SbtnOkay.Text(), help->SBtnCancel.Text(), help->SbtnOptional.Text()},
                               help->SBtnCancel.Visible() && help->SbtnOptional.Visible()});
            const HWND buttons[] = {help->SbtnOkay.Handle(), help->SBtnCancel.Handle(), help->SbtnOptional.Handle()};
            int answer = promptAnswer;
            if (!promptAnswers.empty()) {
                answer = promptAnswers.front();
                promptAnswers.pop_front();
            }
            return buttons[answer - 1];
        }
        if (auto* error = dynamic_cast<TErrorDlg*>(&form)) {
            errors.push_back({error->Text(), error->MmoError.Text(), error->SbtnOkay.Text(), error->SBtnCancel.Text(),
                              error->SBtnCancel.Visible(), error->PnlRed.Visible()});
            return confirm || !error->SBtnCancel.Visible() ? error->SbtnOkay.Handle() : error->SBtnCancel.Handle();
        }
        if (auto* rename = dynamic_cast<TRenameDlg*>(&form)) {
            const std::wstring text = rename->EdtNewFileName.Text();
            renameShown.push_back(text);
            DWORD start = 0, end = 0;
            SendMessageW(rename->EdtNewFileName.Handle(), EM_GETSEL, WPARAM(&start), LPARAM(&end));
            renameAllSelected = renameAllSelected && start == 0 && end == text.size();
            std::optional<std::wstring> next;
            if (!renames.empty()) {
                next = renames.front();
                renames.pop_front();
            }
            if (!next)
                return rename->SBtnCancel.Handle();
            rename->EdtNewFileName.SetText(*next);
            return rename->SBtnOkay.Handle();
        }
        return nullptr;
    }
};

} // namespace editing_test
