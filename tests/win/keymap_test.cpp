// The main window's key map driven by real key messages through the event
// loop's preview, full screen both ways, and the background colour with its
// stored setting in the real per-user registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/MainUnit.h"

#include <commdlg.h>
#include "imaging/codecs/BmpCodec.h"
#include "tests/win/settings_guard.h"
#include "tests/win/TestSupport.h"

namespace {

using namespace settings_test;
using namespace test_support;
using Axis = TScrollArea::Axis;

const std::wstring kColor = L"QmFja0dyb3VuZENvbG9y";

void ClickOn(HWND window)
{
    PostClick(window, 3);
    Pump();
}

class KeyMap : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteKey();
        AnswerModals(
            failures,
            [this](THelpDlg& help) {
                questions.push_back(help.LblHelpText.Caption());
                return help.SbtnOkay.Handle();
            },
            [this](TForm& form) -> HWND {
                if (auto* options = dynamic_cast<TSlideShowForm*>(&form)) {
                    ++optionsShown;
                    return options->SBtnCancel.Handle();
                }
                auto* about = dynamic_cast<TNewAboutBox*>(&form);
                if (!about)
                    return nullptr;
                ++aboutShown;
                return about->SBtnClose.Handle();
            });
    }
    void TearDown() override { StopAnsweringModals(); }

    // A shown main window with an image area of 500 x 400 and a folder of
    // three images, the first of them 1000 x 2000 at 100 %.
    void OpenFolder(TMainForm& form)
    {
        big = folder / L"big.bmp";
        WriteBytes(big, EncodeBmp(Raster(1000, 2000, PixelFormat::Bit24)));
        WriteBytes(folder / L"two.bmp", EncodeBmp(Raster(40, 30, PixelFormat::Bit24)));
        WriteBytes(folder / L"three.bmp", EncodeBmp(Raster(50, 20, PixelFormat::Bit24)));
        form.SetClientSize(500, 400 + form.Panel2.Height() + form.StatusBar1.Height());
        form.Show();
        form.TestState().AutoFit = false;
        form.OpenImageFolder(big);
        Pump();
        ASSERT_EQ(form.TestState().FileList.size(), 3u);
        ASSERT_EQ(form.TestState().CurrentFileName, L"big.bmp");
        form.SetKeyFocus();
        Pump();
        ASSERT_EQ(GetFocus(), form.EdtKeyGrab.Handle());
    }

    Guard guard;
    TempFolder folder{L"Pixavo key map"};
    std::wstring big;
    std::vector<std::wstring> failures;
    std::vector<std::wstring> questions;
    int aboutShown = 0;
    int optionsShown = 0;
};

} // namespace

TEST_F(KeyMap, CtrlWithArrowsAndPageKeysScrollsAndNeverSteps)
{
    TMainForm form({L"/nosplash"});
    OpenFolder(form);
    const int index = form.TestState().CurrentIndex;
    auto position = [&](Axis axis) { return form.ScrollBox1.Position(axis); };
    const int bottom = 2000 - form.ScrollBox1.VisibleHeight();

    Press(VK_DOWN, ssCtrl);
    EXPECT_EQ(position(Axis::Vertical), 20);
    Press(VK_NEXT, ssCtrl);
    EXPECT_EQ(position(Axis::Vertical), 220);
    Press(VK_UP, ssCtrl);
    EXPECT_EQ(position(Axis::Vertical), 200);
    Press(VK_PRIOR, ssCtrl);
    EXPECT_EQ(position(Axis::Vertical), 0);
    Press(VK_END, ssCtrl);
    EXPECT_EQ(position(Axis::Vertical), bottom);
    Press(VK_HOME, ssCtrl);
    EXPECT_EQ(position(Axis::Vertical), 0);
    Press(VK_RIGHT, ssCtrl);
    EXPECT_EQ(position(Axis::Horizontal), 10);
    Press(VK_RIGHT, ssCtrl);
    EXPECT_EQ(position(Axis::Horizontal), 20);
    // Ctrl+Left scrolls back instead of stepping to the previous image.
    Press(VK_LEFT, ssCtrl);
    EXPECT_EQ(position(Axis::Horizontal), 10);
    EXPECT_EQ(form.TestState().CurrentIndex, index);
    // Ctrl+P is the print row: the print dialog (cancelled here), no step back.
    {
        PrintDialogAnswer cancel(false);
        Press('P', ssCtrl);
        // The system's dialog shows once the printers have answered, which a
        // busy machine makes slow.
        EXPECT_TRUE(PumpUntil([&] { return cancel.Shown() == 1; }));
    }
    EXPECT_EQ(form.TestState().CurrentIndex, index);
    // Home and End without Ctrl are no rows of the map.
    Press(VK_END);
    EXPECT_EQ(position(Axis::Vertical), 0);
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(KeyMap, StepKeysWithTheirModifiers)
{
    TMainForm form({L"/nosplash"});
    OpenFolder(form);
    int expected = form.TestState().CurrentIndex;
    auto next = [&] { expected = (expected + 1) % 3; };
    auto previous = [&] { expected = (expected + 2) % 3; };
    const struct {
        WORD key;
        ShiftState shift;
        bool forward;
    } steps[] = {
        {'N', 0, true},
        {'N', ssShift, true},
        {'N', ssCtrl, true},            // N with any modifiers
        {VK_SPACE, 0, true},
        {VK_SPACE, ssShift, true},
        {VK_RIGHT, 0, true},
        {VK_RIGHT, ssCtrl | ssShift, true},   // not Ctrl alone
        {'P', 0, false},
        {'P', ssShift, false},
        {VK_SPACE, ssCtrl, false},
        {VK_LEFT, 0, false},
        {VK_LEFT, ssCtrl | ssShift, false},
        {VK_LEFT, ssAlt, false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "key " << s.key << " shift " << s.shift);
        Press(s.key, s.shift, form.EdtKeyGrab.Handle());
        s.forward ? next() : previous();
        EXPECT_EQ(form.TestState().CurrentIndex, expected);
    }
    EXPECT_TRUE(NothingShown(failures));
}

namespace {

// What a control received, seen from a subclass of its own.
struct Received {
    std::vector<WPARAM> keys, chars;
    int indexAtKey = -1;
    const TMainForm* form = nullptr;
};

LRESULT CALLBACK RecordKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto* received = reinterpret_cast<Received*>(data);
    if (message == WM_KEYDOWN) {
        received->keys.push_back(wParam);
        received->indexAtKey = received->form->TestState().CurrentIndex;
    } else if (message == WM_CHAR) {
        received->chars.push_back(wParam);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

} // namespace

TEST_F(KeyMap, KeysReachTheFocusedControlAfterThePreview)
{
    TMainForm form({L"/nosplash"});
    OpenFolder(form);
    const int index = form.TestState().CurrentIndex;
    ASSERT_TRUE(form.CmbZoomPercent.Enabled());
    COMBOBOXINFO info{sizeof(info)};
    ASSERT_TRUE(GetComboBoxInfo(form.CmbZoomPercent.Handle(), &info));
    Received combo{{}, {}, -1, &form};
    ASSERT_TRUE(SetWindowSubclass(info.hwndItem, RecordKeys, 1, reinterpret_cast<DWORD_PTR>(&combo)));
    SetFocus(info.hwndItem);
    Pump();
    // N in the zoom box steps to the next image first, then reaches the box.
    Press('N');
    EXPECT_EQ(form.TestState().CurrentIndex, (index + 1) % 3);
    EXPECT_EQ(combo.keys, std::vector<WPARAM>{'N'});
    EXPECT_EQ(combo.indexAtKey, (index + 1) % 3);
    EXPECT_EQ(combo.chars, std::vector<WPARAM>{'n'});
    RemoveWindowSubclass(info.hwndItem, RecordKeys, 1);

    // The key catcher gets the keys too, but no character is ever typed in it.
    form.SetKeyFocus();
    Pump();
    Received grab{{}, {}, -1, &form};
    ASSERT_TRUE(SetWindowSubclass(form.EdtKeyGrab.Handle(), RecordKeys, 1, reinterpret_cast<DWORD_PTR>(&grab)));
    Press('X');
    Press('7');
    Press(VK_RIGHT);
    EXPECT_EQ(grab.keys, (std::vector<WPARAM>{'X', '7', VK_RIGHT}));
    EXPECT_EQ(grab.chars, (std::vector<WPARAM>{'x', '7'}));
    EXPECT_EQ(form.EdtKeyGrab.Text(), L"");
    EXPECT_EQ(form.TestState().CurrentIndex, (index + 2) % 3);
    RemoveWindowSubclass(form.EdtKeyGrab.Handle(), RecordKeys, 1);
}

TEST_F(KeyMap, AboutWindowOnCtrlHAndF1ButNotOnH)
{
    TMainForm form({L"/nosplash"});
    form.Show();
    form.SetKeyFocus();
    Pump();
    Press('H', ssCtrl);
    EXPECT_EQ(aboutShown, 1);
    Press('H');                     // the pause row
    Press('H', ssShift);
    EXPECT_EQ(aboutShown, 1);
    Press(VK_F1);
    EXPECT_EQ(aboutShown, 2);
    Press(VK_F1, ssCtrl | ssShift);
    EXPECT_EQ(aboutShown, 3);
    Press(VK_F1, ssAlt, form.EdtKeyGrab.Handle());
    EXPECT_EQ(aboutShown, 4);
    EXPECT_TRUE(form.Visible());
}

TEST_F(KeyMap, ReloadOnlyWhileTheSlideShowTimerIsStopped)
{
    TMainForm form({L"/nosplash"});
    OpenFolder(form);
    form.SlideShowTimer.SetInterval(3600000);
    Press('S');
    ASSERT_TRUE(form.SlideShowTimer.Enabled());
    Press(VK_NEXT, ssCtrl);
    const int scrolled = form.ScrollBox1.Position(Axis::Vertical);
    ASSERT_GT(scrolled, 0);
    Press(VK_F5);
    EXPECT_EQ(form.ScrollBox1.Position(Axis::Vertical), scrolled);
    Press(VK_DELETE);
    EXPECT_EQ(form.TestState().FileList.size(), 3u);
    // Paused, the timer stops: reloading starts at the top again, with the
    // same image.
    Press('H');
    ASSERT_FALSE(form.SlideShowTimer.Enabled());
    Press(VK_F5, ssShift);
    EXPECT_EQ(form.ScrollBox1.Position(Axis::Vertical), 0);
    EXPECT_EQ(form.TestState().CurrentFileName, L"big.bmp");
    EXPECT_TRUE(form.TestState().SlideShowActive);
}

TEST_F(KeyMap, ZoomKeysAndAutoFit)
{
    TMainForm form({L"/nosplash"});
    OpenFolder(form);
    ASSERT_EQ(form.TestState().ZoomPercent, 100u);
    Press(VK_OEM_MINUS);
    EXPECT_EQ(form.TestState().ZoomPercent, 90u);
    Press(VK_SUBTRACT, ssCtrl);
    EXPECT_EQ(form.TestState().ZoomPercent, 80u);
    Press(VK_OEM_PLUS);             // the plus / equals key
    EXPECT_EQ(form.TestState().ZoomPercent, 90u);
    Press(VK_OEM_PLUS, ssShift);
    EXPECT_EQ(form.TestState().ZoomPercent, 100u);
    Press(VK_ADD);
    EXPECT_EQ(form.TestState().ZoomPercent, 110u);
    Press('A', ssCtrl);
    EXPECT_TRUE(form.TestState().AutoFit);
    Press('A', ssCtrl);
    EXPECT_FALSE(form.TestState().AutoFit);
    Press('A');                     // no row for A alone
    EXPECT_FALSE(form.TestState().AutoFit);
}

TEST_F(KeyMap, EscapeLeavesFullScreenThenCloses)
{
    TMainForm form({L"/nosplash"});
    OpenFolder(form);
    form.SlideShowTimer.SetInterval(3600000);
    Press(VK_F11);
    ASSERT_TRUE(form.TestState().FullScreen);
    // During a slide show Esc only stops the show; it was full screen before.
    Press('S');
    ASSERT_TRUE(form.TestState().SlideShowActive);
    Press(VK_ESCAPE);
    EXPECT_FALSE(form.TestState().SlideShowActive);
    EXPECT_TRUE(form.TestState().FullScreen);
    EXPECT_TRUE(form.Visible());
    Press(VK_ESCAPE);
    EXPECT_FALSE(form.TestState().FullScreen);
    EXPECT_TRUE(form.Visible());
    Press(VK_F11, ssCtrl);
    EXPECT_TRUE(form.TestState().FullScreen);
    Press(VK_F11);
    EXPECT_FALSE(form.TestState().FullScreen);
    Press(VK_ESCAPE);
    EXPECT_FALSE(form.Visible());
}

TEST_F(KeyMap, PauseCloses)
{
    TMainForm form({L"/nosplash"});
    form.SlideShowForm = std::make_unique<TSlideShowForm>();
    form.Show();
    form.SetKeyFocus();
    Pump();
    // Without an image: Q unlocks nothing that needs one, S starts nothing,
    // V still opens the options.
    Press('Q');
    EXPECT_FALSE(form.SBtnRotateCW.Enabled());
    EXPECT_FALSE(form.ReloadImageF51->Enabled());
    Press('S');
    EXPECT_FALSE(form.TestState().SlideShowActive);
    Press('V');
    EXPECT_EQ(optionsShown, 1);
    EXPECT_TRUE(form.Visible());
    Press(VK_PAUSE, ssShift);
    EXPECT_FALSE(form.Visible());
}

TEST_F(KeyMap, SlideShowRows)
{
    TMainForm form({L"/nosplash"});
    OpenFolder(form);
    form.SlideShowForm = std::make_unique<TSlideShowForm>();
    form.SlideShowTimer.SetInterval(3600000);
    enum State { Idle, Running, Paused };
    auto state = [&] {
        return !form.TestState().SlideShowActive ? Idle : form.SlideShowTimer.Enabled() ? Running : Paused;
    };
    const struct {
        WORD key;
        ShiftState shift;
        State after;
        int options;   // the options dialog shown so far
    } rows[] = {
        {'H', 0, Idle, 0},                    // nothing to pause
        {'S', 0, Running, 0},
        {'H', 0, Paused, 0},
        {'S', ssCtrl, Paused, 0},             // the timer is off: the save row
        {'H', ssShift, Running, 0},
        {'V', 0, Running, 1},                 // the show runs on behind the options
        {'S', ssCtrl, Idle, 1},               // the timer runs: the show row
        {'S', ssCtrl, Idle, 1},               // and never starts it
        {'V', ssShift, Idle, 2},
        {'S', ssShift, Running, 2},
        {'Q', 0, Idle, 2},
        {'Q', 0, Idle, 2},
        {'S', ssAlt, Running, 2},
        {'H', ssCtrl, Running, 2},            // the about window instead
        {'S', 0, Idle, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << char(row.key) << " shift " << row.shift);
        Press(row.key, row.shift, form.EdtKeyGrab.Handle());
        EXPECT_EQ(state(), row.after);
        EXPECT_EQ(optionsShown, row.options);
        EXPECT_EQ(form.PauseHoldH1->Enabled(), row.after != Idle);
        EXPECT_EQ(form.PauseHoldH1->Caption(),
                  row.after == Paused ? L"Continue (Un&hold) Silde Show [H]" : L"Pause (&Hold) Silde Show [H]");
    }
    EXPECT_EQ(aboutShown, 1);

    // Turned by its key while the show runs, the image's save commands stay
    // locked; paused, they follow the change, and Ctrl+S saves.
    Press('S');
    Press('R', ssCtrl);
    EXPECT_TRUE(form.TestState().Modified);
    EXPECT_FALSE(form.SBtnSave.Enabled());
    EXPECT_FALSE(form.SaveCtrlS1->Enabled());
    Press('H');
    EXPECT_TRUE(form.SBtnSave.Enabled());
    Press('S', ssCtrl);
    EXPECT_FALSE(form.TestState().Modified);
    EXPECT_EQ(state(), Paused);
    EXPECT_TRUE(form.Visible());
}

TEST_F(KeyMap, ClicksBringTheFocusBackToTheKeyCatcher)
{
    TMainForm form({L"/nosplash"});
    OpenFolder(form);
    for (TWindow* w : std::initializer_list<TWindow*>{&form.ScrollBox1, &form.Image1, &form.Panel2, &form.Panel1}) {
        form.CmbZoomPercent.SetFocus();
        Pump();
        ASSERT_NE(GetFocus(), form.EdtKeyGrab.Handle());
        ClickOn(w->Handle());
        EXPECT_EQ(GetFocus(), form.EdtKeyGrab.Handle());
    }
}

// ---------------------------------------------------------------- Full screen

namespace {

RECT WindowRect(const TWindow& w)
{
    RECT r{};
    GetWindowRect(w.Handle(), &r);
    return r;
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Show(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

RECT MonitorRect(HWND window)
{
    MONITORINFO info{sizeof(info)};
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcMonitor;
}

void ExpectFullScreen(TMainForm& form)
{
    const RECT screen = MonitorRect(form.Handle());
    EXPECT_TRUE(form.TestState().FullScreen);
    EXPECT_TRUE(form.ViewFullScreen1->Checked());
    EXPECT_TRUE(IsZoomed(form.Handle()));
    EXPECT_EQ(form.GetBorder(), TForm::Border::None);
    EXPECT_FALSE(GetWindowLongW(form.Handle(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME));
    EXPECT_TRUE(SameRect(WindowRect(form), screen)) << Show(WindowRect(form));
    EXPECT_EQ(form.Panel1.Height(), 0);
    EXPECT_EQ(form.Panel2.Height(), 0);
    EXPECT_EQ(form.StatusBar1.Height(), 0);
    EXPECT_EQ(form.ScrollBox1.Width(), screen.right - screen.left);
    EXPECT_EQ(form.ScrollBox1.Height(), screen.bottom - screen.top);
    EXPECT_FALSE(form.ShowHint());
    EXPECT_EQ(GetFocus(), form.EdtKeyGrab.Handle());
}

void ExpectWindowed(TMainForm& form)
{
    EXPECT_FALSE(form.TestState().FullScreen);
    EXPECT_FALSE(form.ViewFullScreen1->Checked());
    EXPECT_EQ(form.GetBorder(), TForm::Border::Sizeable);
    EXPECT_TRUE(GetWindowLongW(form.Handle(), GWL_STYLE) & WS_CAPTION);
    EXPECT_TRUE(GetWindowLongW(form.Handle(), GWL_STYLE) & WS_THICKFRAME);
    EXPECT_EQ(form.Panel1.Height(), Scale(29));
    EXPECT_EQ(form.Panel2.Height(), Scale(33));
    EXPECT_EQ(form.StatusBar1.Height(), Scale(19));
    EXPECT_EQ(form.ScrollBox1.Height(), form.ClientHeight() - Scale(33) - Scale(19));
    EXPECT_TRUE(form.ShowHint());
}

} // namespace

TEST_F(KeyMap, FullScreenFromANormalWindowAndBackRefitsTheImage)
{
    TMainForm form({L"/nosplash"});
    OpenFolder(form);
    form.TestState().AutoFit = true;
    form.StepZoom(0);
    Pump();
    const RECT before = WindowRect(form);
    const int fittedHeight = form.Image1.Height();
    ASSERT_EQ(fittedHeight, 400);

    form.SBtnHide.Click();
    Pump();
    ExpectFullScreen(form);
    EXPECT_EQ(form.TestState().SavedWindowState, WindowState::Normal);
    // Auto-fit fills the whole screen's height with the tall image.
    const RECT screen = MonitorRect(form.Handle());
    EXPECT_EQ(form.Image1.Height(), screen.bottom - screen.top);
    // The right-click menu stays: the full-screen entry leaves again.
    form.ViewFullScreen1->Click();
    Pump();
    ExpectWindowed(form);
    EXPECT_FALSE(IsZoomed(form.Handle()));
    EXPECT_TRUE(SameRect(WindowRect(form), before)) << Show(WindowRect(form)) << " vs " << Show(before);
    EXPECT_EQ(form.Image1.Height(), fittedHeight);
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(KeyMap, FullScreenFromAMaximisedWindowStaysMaximised)
{
    TMainForm form({L"/nosplash"});
    form.Show();
    Pump();
    const RECT normal = WindowRect(form);
    ShowWindow(form.Handle(), SW_MAXIMIZE);
    Pump();
    const RECT maximised = WindowRect(form);
    const int areaHeight = form.ScrollBox1.Height();

    Press(VK_F11, 0, form.EdtKeyGrab.Handle());
    ExpectFullScreen(form);
    EXPECT_EQ(form.TestState().SavedWindowState, WindowState::Maximized);
    form.SBtnHide.Click();
    Pump();
    ExpectWindowed(form);
    EXPECT_TRUE(IsZoomed(form.Handle()));
    EXPECT_TRUE(SameRect(WindowRect(form), maximised)) << Show(WindowRect(form)) << " vs " << Show(maximised);
    EXPECT_EQ(form.ScrollBox1.Height(), areaHeight);
    // Its normal size was kept through all of it.
    ShowWindow(form.Handle(), SW_RESTORE);
    Pump();
    EXPECT_TRUE(SameRect(WindowRect(form), normal)) << Show(WindowRect(form)) << " vs " << Show(normal);
}

// ---------------------------------------------------------------- Background colour

TEST_F(KeyMap, MenuColoursAreStoredAndShown)
{
    TMainForm form({L"/nosplash"});
    form.Show();
    Pump();
    // Black is already current: nothing is written.
    form.Black1->Click();
    EXPECT_FALSE(ReadText(kColor));

    form.White1->Click();
    EXPECT_EQ(ReadText(kColor).value_or(L""), L"16777215");
    EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(255, 255, 255));
    EXPECT_EQ(form.ScrollBox1.Color(), RGB(255, 255, 255));
    EXPECT_EQ(form.PnlPleaseWait.FontColor(), RGB(0, 0, 0));

    // The current colour again writes nothing.
    WriteText(kColor, L"marker");
    form.White1->Click();
    EXPECT_EQ(ReadText(kColor).value_or(L""), L"marker");

    form.Gray1->Click();
    EXPECT_EQ(ReadText(kColor).value_or(L""), L"8421504");
    EXPECT_EQ(form.ScrollBox1.Color(), RGB(128, 128, 128));
    EXPECT_EQ(form.PnlPleaseWait.FontColor(), RGB(0, 0, 0));

    form.Black1->Click();
    EXPECT_EQ(ReadText(kColor).value_or(L""), L"0");
    EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(0, 0, 0));
    EXPECT_EQ(form.PnlPleaseWait.FontColor(), RGB(255, 255, 255));
    EXPECT_TRUE(NothingShown(failures));
}

namespace {

// Answers the system colour chooser from a timer while it runs modally.
struct ColourAnswer {
    bool confirm = false;
    COLORREF pick = 0;
    bool seen = false;
    COLORREF preset = CLR_INVALID;
};
ColourAnswer* g_answer = nullptr;

void CALLBACK AnswerColourDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    const HWND dialog = test_support::FindThreadDialog();
    if (!dialog || !g_answer)
        return;
    KillTimer(nullptr, id);
    g_answer->seen = true;
    // The red, green and blue boxes of the chooser.
    const int red = 706, green = 707, blue = 708;
    g_answer->preset = RGB(GetDlgItemInt(dialog, red, nullptr, FALSE), GetDlgItemInt(dialog, green, nullptr, FALSE),
                           GetDlgItemInt(dialog, blue, nullptr, FALSE));
    if (g_answer->confirm) {
        SetDlgItemInt(dialog, red, GetRValue(g_answer->pick), FALSE);
        SetDlgItemInt(dialog, green, GetGValue(g_answer->pick), FALSE);
        SetDlgItemInt(dialog, blue, GetBValue(g_answer->pick), FALSE);
    }
    PostMessageW(GetDlgItem(dialog, g_answer->confirm ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
}

void RunColourChooser(TMainForm& form, ColourAnswer& answer)
{
    g_answer = &answer;
    SetTimer(nullptr, 0, 50, AnswerColourDialog);
    form.Custom1->Click();
    g_answer = nullptr;
}

} // namespace

TEST_F(KeyMap, CustomColourFromTheSystemChooser)
{
    TMainForm form({L"/nosplash"});
    form.Show();
    Pump();
    form.White1->Click();

    ColourAnswer cancel;
    cancel.confirm = false;
    RunColourChooser(form, cancel);
    ASSERT_TRUE(cancel.seen);
    EXPECT_EQ(cancel.preset, RGB(255, 255, 255));
    EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(255, 255, 255));
    EXPECT_EQ(ReadText(kColor).value_or(L""), L"16777215");

    // A dark blue gets white text: black would hardly show on it.
    ColourAnswer blue;
    blue.confirm = true;
    blue.pick = RGB(0, 0, 128);
    RunColourChooser(form, blue);
    ASSERT_TRUE(blue.seen);
    EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(0, 0, 128));
    EXPECT_EQ(form.ScrollBox1.Color(), RGB(0, 0, 128));
    EXPECT_EQ(form.PnlPleaseWait.FontColor(), RGB(255, 255, 255));
    EXPECT_EQ(ReadText(kColor).value_or(L""), L"8388608");
}
