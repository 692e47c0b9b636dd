// Zoom and auto-fit of the main window in a 600 × 400 image area, driven by
// real clicks, menu commands, typed characters, combo notifications and
// wheel messages; the auto-fit question answered by real clicks.
#include "base/Numbers.h"
#include "tests/win/ViewerTestSupport.h"

using namespace viewer_test;

namespace {

class Zoom : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        WriteBmp(folder / L"wide.bmp", 1200, 600);
        WriteBmp(folder / L"small.bmp", 300, 100);
        WriteBmp(folder / L"tiny.bmp", 30, 10);
        form = MakeForm(600, 400);
    }
    void TearDown() override
    {
        form.reset();
        ViewerTest::TearDown();
    }

    void Open(const wchar_t* name) { form->OpenImageFolder(folder / name); }
    RECT Image() const { return BoundsIn(form->Image1, form->ScrollBox1); }
    SIZE ImageSize() const
    {
        RECT r = Image();
        return {r.right - r.left, r.bottom - r.top};
    }

    // The text set the way an edit changes it, then the combo box's own
    // notification to its parent.
    void SetComboText(const std::wstring& text)
    {
        HWND edit = FindWindowExW(form->CmbZoomPercent.Handle(), nullptr, L"Edit", nullptr);
        SetWindowTextW(edit, text.c_str());
        SendMessageW(GetParent(form->CmbZoomPercent.Handle()), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(form->CmbZoomPercent.Handle()), CBN_EDITCHANGE),
                     reinterpret_cast<LPARAM>(form->CmbZoomPercent.Handle()));
        Pump();
    }
    // Typed character by character into the combo's edit field, replacing
    // its text.
    void TypeIntoCombo(const std::wstring& text)
    {
        HWND edit = FindWindowExW(form->CmbZoomPercent.Handle(), nullptr, L"Edit", nullptr);
        ASSERT_NE(edit, nullptr);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        for (wchar_t c : text)
            SendMessageW(edit, WM_CHAR, c, 1);
        Pump();
    }
    void Wheel(int delta, WORD keys)
    {
        // Posted to the control with the focus, as the system delivers it.
        PostMessageW(form->EdtKeyGrab.Handle(), WM_MOUSEWHEEL, MAKEWPARAM(keys, WORD(short(delta))),
                     MAKELPARAM(300, 200));
        Pump();
    }

    TempFolder folder{L"Pixavo zoom"};
    std::unique_ptr<TMainForm> form;
};

} // namespace

TEST_F(Zoom, AutoFitShrinksOnlyOversizedPictures)
{
    form->TestState().ZoomPercent = 100;
    Open(L"wide.bmp");
    // rh = 1/3, rw = 1/2: 600 × 300, the percentage untouched.
    EXPECT_EQ(ImageSize().cx, 600);
    EXPECT_EQ(ImageSize().cy, 300);
    EXPECT_EQ(Image().left, 0);
    EXPECT_EQ(Image().top, 50);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"100%");
    EXPECT_FALSE(form->ScrollBox1.ScrollBarShown(TScrollArea::Axis::Vertical));

    Open(L"small.bmp");
    EXPECT_EQ(ImageSize().cx, 300);
    EXPECT_EQ(ImageSize().cy, 100);
    EXPECT_EQ(Image().left, 150);
    EXPECT_EQ(Image().top, 150);

    // Toggled off by the button: the picture at the percentage; on again
    // from the menu: fitted. Picture and check mark follow.
    Open(L"wide.bmp");
    ClickButton(form->SBtnAutoFit);
    EXPECT_FALSE(form->TestState().AutoFit);
    EXPECT_EQ(form->SBtnAutoFit.Glyph(), form->ToggleBitmapList.Bitmap(TToggleBitmapList::AutoFitOff));
    EXPECT_FALSE(form->ToggleAutofit1->Checked());
    EXPECT_EQ(ImageSize().cx, 1200);
    EXPECT_EQ(ImageSize().cy, 600);
    EXPECT_TRUE(form->ScrollBox1.ScrollBarShown(TScrollArea::Axis::Vertical));
    ChooseMenu(*form, form->ToggleAutofit1);
    EXPECT_TRUE(form->TestState().AutoFit);
    EXPECT_EQ(form->SBtnAutoFit.Glyph(), form->ToggleBitmapList.Bitmap(TToggleBitmapList::AutoFitOn));
    EXPECT_TRUE(form->ToggleAutofit1->Checked());
    EXPECT_EQ(ImageSize().cx, 600);
    EXPECT_EQ(ImageSize().cy, 300);
    EXPECT_TRUE(NothingShown(prompts));   // the toggle never asks
}

TEST_F(Zoom, ZoomToFitEnlargesAndRecordsThePercentage)
{
    form->TestState().AutoFit = false;
    Open(L"small.bmp");
    ChooseMenu(*form, form->ZoomToFit1);   // rh = -3, rw = -1, r = -1
    EXPECT_EQ(ImageSize().cx, 600);
    EXPECT_EQ(ImageSize().cy, 200);
    EXPECT_EQ(form->TestState().ZoomPercent, 200u);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"200%");
    EXPECT_EQ(Image().top, 100);

    Open(L"wide.bmp");
    ChooseMenu(*form, form->ZoomToFit1);
    EXPECT_EQ(ImageSize().cx, 600);
    EXPECT_EQ(ImageSize().cy, 300);
    EXPECT_EQ(form->TestState().ZoomPercent, 50u);
    ChooseMenu(*form, form->ZoomTo1001);
    EXPECT_EQ(ImageSize().cx, 1200);
    EXPECT_EQ(form->TestState().ZoomPercent, 100u);

    // A fit above 10000 % is shown, but re-applying it changes nothing.
    WriteBmp(folder / L"dot.bmp", 1, 1);
    Open(L"dot.bmp");
    ChooseMenu(*form, form->ZoomToFit1);   // rh = -399 wins over rw = -599
    EXPECT_EQ(form->TestState().ZoomPercent, 40000u);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"40000%");
    EXPECT_EQ(ImageSize().cx, 400);
    form->StepZoom(0);
    EXPECT_EQ(ImageSize().cx, 400);
    EXPECT_EQ(form->TestState().ZoomPercent, 40000u);
    EXPECT_TRUE(NothingShown(prompts));
}

TEST_F(Zoom, ZoomCommandsAskToLeaveAutoFit)
{
    Open(L"wide.bmp");
    answerYes = false;
    ClickButton(form->SBtnZoomIn);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].caption, L"Disable Auto-fit Mode?");
    EXPECT_EQ(prompts[0].headline, L"Would you like to disable \"Auto-fit\" mode?");
    EXPECT_EQ(prompts[0].details,
              (std::vector<std::wstring>{L"Zooming capabilities are disabled while \"Auto-fit\" mode is enabled."}));
    EXPECT_EQ(prompts[0].buttons, (std::vector<std::wstring>{L"Yes", L"No"}));
    EXPECT_TRUE(prompts[0].secondVisible);
    // "No": nothing changes.
    EXPECT_TRUE(form->TestState().AutoFit);
    EXPECT_EQ(form->TestState().ZoomPercent, 100u);
    EXPECT_EQ(ImageSize().cx, 600);
    EXPECT_TRUE(form->ToggleAutofit1->Checked());
    EXPECT_EQ(form->SBtnAutoFit.Glyph(), form->ToggleBitmapList.Bitmap(TToggleBitmapList::AutoFitOn));
    // Each zoom command asks; "No" keeps auto-fit every time.
    ClickButton(form->SBtnZoomOut);
    ChooseMenu(*form, form->ZoomIn101);
    ChooseMenu(*form, form->ZoomOut101);
    ChooseMenu(*form, form->ZoomToFit1);
    ChooseMenu(*form, form->ZoomTo1001);
    EXPECT_EQ(prompts.size(), 6u);
    EXPECT_TRUE(form->TestState().AutoFit);
    EXPECT_EQ(form->TestState().ZoomPercent, 100u);
    EXPECT_EQ(ImageSize().cx, 600);

    // "Yes": auto-fit off and the zoom goes on from 100: 110 %.
    answerYes = true;
    ClickButton(form->SBtnZoomIn);
    EXPECT_EQ(prompts.size(), 7u);
    EXPECT_FALSE(form->TestState().AutoFit);
    EXPECT_FALSE(form->ToggleAutofit1->Checked());
    EXPECT_EQ(form->SBtnAutoFit.Glyph(), form->ToggleBitmapList.Bitmap(TToggleBitmapList::AutoFitOff));
    EXPECT_EQ(form->TestState().ZoomPercent, 110u);
    EXPECT_EQ(ImageSize().cx, 1320);
    EXPECT_EQ(ImageSize().cy, 660);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"110%");
    // Auto-fit off: no more questions.
    ClickButton(form->SBtnZoomOut);
    EXPECT_EQ(form->TestState().ZoomPercent, 100u);
    EXPECT_EQ(prompts.size(), 7u);
}

TEST_F(Zoom, StepsOfTenWithNineBetweenOneAndTen)
{
    form->TestState().AutoFit = false;
    Open(L"small.bmp");
    form->ApplyZoom(30);
    ClickButton(form->SBtnZoomOut);
    EXPECT_EQ(form->TestState().ZoomPercent, 20u);
    ChooseMenu(*form, form->ZoomOut101);
    EXPECT_EQ(form->TestState().ZoomPercent, 10u);
    ClickButton(form->SBtnZoomOut);
    EXPECT_EQ(form->TestState().ZoomPercent, 1u);
    EXPECT_EQ(ImageSize().cx, 3);
    EXPECT_EQ(ImageSize().cy, 1);
    ClickButton(form->SBtnZoomOut);   // 1 - 10 is negative
    EXPECT_EQ(form->TestState().ZoomPercent, 1u);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"1%");
    ClickButton(form->SBtnZoomIn);
    EXPECT_EQ(form->TestState().ZoomPercent, 10u);
    ChooseMenu(*form, form->ZoomIn101);
    EXPECT_EQ(form->TestState().ZoomPercent, 20u);

    // Remainders stay: 15, 25, 35; 5 cannot step down.
    form->ApplyZoom(15);
    ClickButton(form->SBtnZoomIn);
    ClickButton(form->SBtnZoomIn);
    EXPECT_EQ(form->TestState().ZoomPercent, 35u);
    form->ApplyZoom(5);
    ClickButton(form->SBtnZoomOut);
    EXPECT_EQ(form->TestState().ZoomPercent, 5u);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"5%");
    // Past 10000 is refused.
    Open(L"tiny.bmp");
    form->ApplyZoom(9995);
    ClickButton(form->SBtnZoomIn);
    EXPECT_EQ(form->TestState().ZoomPercent, 9995u);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"9995%");
    form->ApplyZoom(10000);
    EXPECT_EQ(ImageSize().cx, 3000);
    EXPECT_EQ(ImageSize().cy, 1000);
    // Halves of sizes go to the even neighbour: 30 × 1.05 = 31.5 → 32,
    // 10 × 1.05 = 10.5 → 10.
    form->ApplyZoom(105);
    EXPECT_EQ(ImageSize().cx, 32);
    EXPECT_EQ(ImageSize().cy, 10);
    EXPECT_TRUE(NothingShown(prompts));
}

TEST_F(Zoom, TypedAndChosenPercentages)
{
    form->TestState().AutoFit = false;
    Open(L"small.bmp");
    TypeIntoCombo(L"150");
    EXPECT_EQ(form->TestState().ZoomPercent, 150u);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"150%");
    EXPECT_EQ(ImageSize().cx, 450);
    TypeIntoCombo(L"75%");
    EXPECT_EQ(form->TestState().ZoomPercent, 75u);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"75%");

    SetComboText(L"150%");
    EXPECT_EQ(form->TestState().ZoomPercent, 150u);
    form->ApplyZoom(100);
    SetComboText(L" 150 ");
    EXPECT_EQ(form->TestState().ZoomPercent, 150u);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"150%");
    // Not numbers, zero, negative and too large: refused, text restored.
    for (const wchar_t* text : {L"15%0", L"abc", L"0", L"-20", L"10001", L"%150", L"150%%", L""}) {
        SetComboText(text);
        EXPECT_EQ(form->TestState().ZoomPercent, 150u) << Narrow(text);
        EXPECT_EQ(form->CmbZoomPercent.Text(), L"150%") << Narrow(text);
    }
    TypeIntoCombo(L"ab");
    EXPECT_EQ(form->TestState().ZoomPercent, 150u);
    // The low 32 bits of a 64-bit number count.
    SetComboText(L"4294967396");   // 2^32 + 100
    EXPECT_EQ(form->TestState().ZoomPercent, 100u);
    SetComboText(L"-4294967096");   // -(2^32) + 200
    EXPECT_EQ(form->TestState().ZoomPercent, 200u);
    SetComboText(L"99999999999999999999");   // beyond 64 bits: not a number
    EXPECT_EQ(form->TestState().ZoomPercent, 200u);

    // A choice from the list, as the combo box reports it.
    const auto items = form->CmbZoomPercent.Items();
    const int index = int(std::find(items.begin(), items.end(), L"25%") - items.begin());
    form->CmbZoomPercent.SetItemIndex(index);
    SendMessageW(GetParent(form->CmbZoomPercent.Handle()), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(form->CmbZoomPercent.Handle()), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(form->CmbZoomPercent.Handle()));
    Pump();
    EXPECT_EQ(form->TestState().ZoomPercent, 25u);
    EXPECT_EQ(ImageSize().cx, 75);

    // With auto-fit on, a typed percentage asks first; "No" puts the text back.
    form->ToggleAutoFit();
    answerYes = false;
    SetComboText(L"300");
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_TRUE(form->TestState().AutoFit);
    EXPECT_EQ(form->TestState().ZoomPercent, 25u);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"25%");
    EXPECT_EQ(ImageSize().cx, 300);   // fitted: natural size
    answerYes = true;
    SetComboText(L"300");
    EXPECT_FALSE(form->TestState().AutoFit);
    EXPECT_EQ(form->TestState().ZoomPercent, 300u);
    EXPECT_EQ(ImageSize().cx, 900);
}

TEST_F(Zoom, WheelZoomsWithShiftOrCtrlAndScrollsOtherwise)
{
    using Axis = TScrollArea::Axis;
    form->TestState().AutoFit = false;
    Open(L"wide.bmp");   // 1200 × 600 at 100 % in 600 × 400
    ASSERT_EQ(form->ScrollBox1.Range(Axis::Vertical), 600);

    Wheel(-120, MK_CONTROL);   // down: zoom in
    EXPECT_EQ(form->TestState().ZoomPercent, 110u);
    Wheel(120, MK_SHIFT);   // up: zoom out
    EXPECT_EQ(form->TestState().ZoomPercent, 100u);
    Wheel(-120, MK_SHIFT);
    EXPECT_EQ(form->TestState().ZoomPercent, 110u);
    Wheel(120, MK_CONTROL);
    EXPECT_EQ(form->TestState().ZoomPercent, 100u);
    EXPECT_EQ(form->ScrollBox1.Position(Axis::Vertical), 0);

    // Both, none, or a mouse button held: scroll by 5 % of the range.
    Wheel(-120, MK_SHIFT | MK_CONTROL);
    EXPECT_EQ(form->TestState().ZoomPercent, 100u);
    EXPECT_EQ(form->ScrollBox1.Position(Axis::Vertical), 30);
    Wheel(-120, 0);
    EXPECT_EQ(form->ScrollBox1.Position(Axis::Vertical), 60);
    Wheel(-120, MK_CONTROL | MK_LBUTTON);
    EXPECT_EQ(form->ScrollBox1.Position(Axis::Vertical), 90);
    EXPECT_EQ(form->TestState().ZoomPercent, 100u);
    Wheel(120, 0);
    EXPECT_EQ(form->ScrollBox1.Position(Axis::Vertical), 60);
    EXPECT_TRUE(NothingShown(prompts));

    // With auto-fit on the zoom wheel asks; "No" keeps everything.
    form->ToggleAutoFit();
    answerYes = false;
    Wheel(-120, MK_CONTROL);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_TRUE(form->TestState().AutoFit);
    EXPECT_EQ(form->TestState().ZoomPercent, 100u);
    EXPECT_EQ(ImageSize().cx, 600);
    EXPECT_FALSE(form->FormMouseWheel(-120, ssCtrl, POINT{0, 0}));   // not handled
    EXPECT_EQ(prompts.size(), 2u);
    answerYes = true;
    EXPECT_TRUE(form->FormMouseWheel(-120, ssCtrl, POINT{0, 0}));
    EXPECT_FALSE(form->TestState().AutoFit);
    EXPECT_EQ(form->TestState().ZoomPercent, 110u);
    // Alt with Ctrl is not exactly Ctrl: it scrolls.
    EXPECT_TRUE(form->FormMouseWheel(-120, ssCtrl | ssAlt, POINT{0, 0}));
    EXPECT_EQ(form->TestState().ZoomPercent, 110u);
}

TEST_F(Zoom, DisplayCopyIsRemadeOnlyWhenTheSizeChanges)
{
    form->TestState().AutoFit = false;
    Open(L"wide.bmp");
    form->Image1.Repaint();
    const int made = form->Image1.DisplayCopiesMade();
    form->Image1.Repaint();
    form->Image1.Repaint();
    EXPECT_EQ(form->Image1.DisplayCopiesMade(), made);
    ClickButton(form->SBtnZoomOut);
    form->Image1.Repaint();
    form->Image1.Repaint();
    EXPECT_EQ(form->Image1.DisplayCopiesMade(), made + 1);
    ClickButton(form->SBtnZoomIn);
    form->Image1.Repaint();
    EXPECT_EQ(form->Image1.DisplayCopiesMade(), made + 2);
    // Re-applying the same size keeps the copy.
    form->StepZoom(0);
    form->Image1.Repaint();
    EXPECT_EQ(form->Image1.DisplayCopiesMade(), made + 2);
}

TEST_F(Zoom, ANewZoomRedrawsTheWholeImageNotOnlyTheUncoveredPart)
{
    // 210 × 100: the left third red, the rest blue.
    Raster thirds = Solid(210, 100, 0, 0, 255);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 70; ++x) {
            uint8_t* p = thirds.MutableRow(y) + 3 * x;
            p[0] = 0;
            p[2] = 255;
        }
    WriteBytes(folder / L"thirds.bmp", EncodeBmp(thirds));
    form->TestState().AutoFit = false;
    Open(L"thirds.bmp");
    form->Image1.Repaint();
    // 100 %: centred at left 195, red up to 265, blue to 405. 400 %: 840 ×
    // 400 from the top-left corner with scroll bars, red up to 280.
    form->ApplyZoom(400);
    UpdateWindow(form->Handle());
    Pump();
    WindowDc dc(form->ScrollBox1.Handle());
    for (POINT p : {POINT{270, 200}, POINT{100, 20}, POINT{275, 350}}) {
        COLORREF c = GetPixel(dc.Get(), p.x, p.y);
        EXPECT_EQ(c, RGB(255, 0, 0)) << p.x << "," << p.y << " " << std::hex << c;
    }
    for (POINT p : {POINT{290, 200}, POINT{550, 20}, POINT{400, 350}}) {
        COLORREF c = GetPixel(dc.Get(), p.x, p.y);
        EXPECT_EQ(c, RGB(0, 0, 255)) << p.x << "," << p.y << " " << std::hex << c;
    }
}

TEST_F(Zoom, TheZoomBoxShowsItsWholeTextWithTheFocus)
{
    form->TestState().AutoFit = false;
    Open(L"small.bmp");
    HWND edit = FindWindowExW(form->CmbZoomPercent.Handle(), nullptr, L"Edit", nullptr);
    ASSERT_NE(edit, nullptr);
    form->CmbZoomPercent.SetFont(DefaultFont());   // a font set again keeps the room
    // The widest texts of one to three digits (the box is 55 pixels wide as
    // designed: four digits do not fit the font).
    for (unsigned percent : {8u, 90u, 210u, 888u}) {
        form->ApplyZoom(percent);
        form->CmbZoomPercent.SetFocus();
        Pump();
        const std::wstring text = form->CmbZoomPercent.Text();
        ASSERT_EQ(text, std::to_wstring(percent) + L"%");
        ASSERT_EQ(GetFocus(), edit);
        RECT shown{};
        SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&shown));
        // The first character is the first one shown, and the last one ends inside the box.
        EXPECT_EQ(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 0) << Narrow(text);
        const LRESULT last = SendMessageW(edit, EM_POSFROMCHAR, WPARAM(text.size() - 1), 0);
        WindowDc dc(edit);
        SelectedObject font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(edit, WM_GETFONT, 0, 0)));
        SIZE percentSign{};
        GetTextExtentPoint32W(dc.Get(), L"%", 1, &percentSign);
        EXPECT_LE(short(LOWORD(last)) + percentSign.cx, shown.right) << Narrow(text);
        EXPECT_GE(short(LOWORD(last)), shown.left) << Narrow(text);
        form->SetKeyFocus();
        Pump();
    }
}
