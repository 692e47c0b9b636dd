// Helpers for tests that drive the main window with real folders, files,
// clicks and messages.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/MainUnit.h"
#include "imaging/codecs/BmpCodec.h"
#include "imaging/codecs/ImageFormats.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/PngCodec.h"
#include "tests/win/TestSupport.h"

namespace viewer_test {

using test_support::AnswerModals;
using test_support::BoundsIn;
using test_support::NothingShown;
using test_support::PostClick;
using test_support::Press;
using test_support::PumpUntil;
using test_support::RegisterPngIfMissing;
using test_support::ReadBytes;
using test_support::Render;
using test_support::Shot;
using test_support::StopAnsweringModals;
using test_support::TempFolder;
using test_support::WriteBytes;

// The event loop run with short pauses.
inline void Pump() { test_support::Pump(5); }

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

inline void PrintTo(const DialogRecord& shown, std::ostream* os)
{
    *os << '"' << Narrow(shown.caption) << "\": \"" << Narrow(shown.headline) << '"';
}

class ViewerTest : public testing::Test {
protected:
    void SetUp() override
    {
        png_ = RegisterPngIfMissing();
        AnswerModals(failures, [this](THelpDlg& help) {
            DialogRecord record;
            record.caption = help.Text();
            record.headline = help.LblHelpText.Caption();
            record.details = help.MmoHelpDetail.Lines();
            record.buttons = {help.SbtnOkay.Text(), help.SBtnCancel.Text()};
            record.secondVisible = help.SBtnCancel.Visible();
            prompts.push_back(record);
            return answerYes ? help.SbtnOkay.Handle() : help.SBtnCancel.Handle();
        });
    }
    void TearDown() override
    {
        StopAnsweringModals();
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
