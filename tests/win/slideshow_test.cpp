// The slide show through the real main window with a short interval stored
// in the real per-user registry: starting, stepping, pausing, stopping, the
// locked commands, the options dialog, ticks that fall due while a step waits
// for the user, and thousands of ticks that must not grow the process.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "tests/win/ProcessResources.h"
#include "tests/win/ViewerTestSupport.h"
#include "tests/win/settings_guard.h"

namespace {

using namespace viewer_test;
using namespace settings_test;
using test_support::Press;

const std::wstring kIntervalName = L"U2xpZGVTaG93SW50ZXJ2YWw=";
const std::wstring kStartName = L"U3RhcnRBdEJlZ2lubmluZw==";
const std::wstring kRunningHint = L"Slide Show Running|Slide Show Running (Press [H] to Pause or [S] to Stop)";
const std::wstring kPausedHint = L"Slide Show Paused|Slide Show Paused (Press [H] to Continue)";
const std::wstring kGreater = L"Slide Show Interval Must be Greater than 0";

// Message boxes of the program (the options' error box) are answered with OK
// from a thread timer while they run modally; their texts are noted.
std::vector<std::wstring>* g_boxes = nullptr;

void CALLBACK AnswerMessageBox(HWND, UINT, UINT_PTR, DWORD)
{
    static HWND answered = nullptr;
    const HWND box = test_support::FindThreadDialog();
    if (!box || box == answered || !g_boxes)
        return;
    answered = box;
    wchar_t text[256] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 256);
    g_boxes->push_back(text);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

class SlideShow : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        DeleteKey();
        // Error dialogs and questions are noted and answered with their first
        // button, at once or once holdTicks ticks have fallen due while they
        // were open; the options dialog goes to `options`.
        Application::ModalShownHook() = [this](TForm& form) {
            HWND button = nullptr;
            if (auto* error = dynamic_cast<TErrorDlg*>(&form)) {
                failures.push_back(error->MmoError.Text());
                button = error->SbtnOkay.Handle();
            } else if (auto* help = dynamic_cast<THelpDlg*>(&form)) {
                prompts.push_back({help->Text()});
                button = help->SbtnOkay.Handle();
            } else if (auto* dialog = dynamic_cast<TSlideShowForm*>(&form)) {
                if (options)
                    options(*dialog);
            } else if (auto* rename = dynamic_cast<TRenameDlg*>(&form)) {
                rename->EdtNewFileName.SetText(L"renamed");
                button = rename->SBtnOkay.Handle();
            }
            if (button && holdTicks) {
                held = button;
                heldSince = GetTickCount();
                ticksAtHold = ticks;
            } else if (button) {
                PostClick(button);
            }
        };
        answerHeld.onTimer = [this] {
            // Answered anyway after 20 s, when the ticks stopped: the checks
            // of the ticks seen then fail instead of the test hanging.
            if (held && (ticks - ticksAtHold >= holdTicks || GetTickCount() - heldSince > 20000)) {
                answered.push_back({shown->TestState().CurrentIndex, shown->TestState().FileList.size(), ticks, steps});
                PostClick(std::exchange(held, nullptr));
            }
        };
        answerHeld.SetInterval(20);
        answerHeld.SetEnabled(true);
        g_boxes = &boxes;
        boxTimer = SetTimer(nullptr, 0, 30, AnswerMessageBox);
    }
    void TearDown() override
    {
        answerHeld.SetEnabled(false);
        KillTimer(nullptr, boxTimer);
        g_boxes = nullptr;
        ViewerTest::TearDown();
    }

    // The main window as the entry makes it, started on an image with the
    // given interval stored; its ticks are counted.
    std::unique_ptr<TMainForm> Start(const std::wstring& interval, const std::wstring& image)
    {
        WriteText(kIntervalName, interval);
        auto form = std::make_unique<TMainForm>(std::vector<std::wstring>{L"/nosplash", image});
        form->SlideShowForm = std::make_unique<TSlideShowForm>();
        form->RenameDlg = std::make_unique<TRenameDlg>();
        form->SlideShowTimer.onTimer = [this, f = form.get()] {
            if (dropTicks)
                return;
            ++ticks;
            const std::wstring before = f->TestState().CurrentFileName;
            f->SlideShowTimerTimer();
            steps += f->TestState().CurrentFileName != before;
        };
        form->Show();
        form->SetKeyFocus();
        Pump();
        shown = form.get();
        return form;
    }

    // count images 0.bmp, 1.bmp, ... each 10 + its number wide; the first one's path.
    std::wstring Folder(int count)
    {
        for (int i = 0; i < count; ++i)
            WriteBmp(folder / (std::to_wstring(i) + L".bmp"), 10 + i, 8);
        return folder / L"0.bmp";
    }

    bool WaitTicks(int count)
    {
        const int target = ticks + count;
        return PumpUntil([&] { return ticks >= target; });
    }

    Guard guard;
    TempFolder folder{L"Pixavo slide show"};
    // While set, ticks that fall due are dropped as if they had not come yet,
    // so that what a check of the user's actions sees during a running show
    // does not depend on how soon a busy machine gets to it.
    bool dropTicks = false;
    int ticks = 0;
    int steps = 0;   // ticks that moved to another file
    std::vector<std::wstring> boxes;
    UINT_PTR boxTimer = 0;
    std::function<void(TSlideShowForm&)> options;
    TMainForm* shown = nullptr;
    // Held modal windows: where the show stood when each was answered.
    struct Answered {
        int index;
        size_t count;
        int ticks, steps;
    };
    int holdTicks = 0;
    int ticksAtHold = 0;
    std::vector<Answered> answered;
    HWND held = nullptr;
    DWORD heldSince = 0;
    TTimer answerHeld;
};

// The commands of the locking table: enabled exactly when unlocked (no
// current image is modified here, so the save commands stay off); opening a
// folder only once the show is over.
void ExpectUnlocked(TMainForm& f, bool unlocked)
{
    for (TWindow* w : std::initializer_list<TWindow*>{&f.SBtnRotateCCW, &f.SBtnRotateCW, &f.SBtnTools, &f.SBtnPrint,
                                                      &f.SBtnEmail})
        EXPECT_EQ(w->Enabled(), unlocked) << Narrow(w->Hint());
    for (TMenuItem* item : {f.Rotate1, f.Flip1, f.SaveAs1, f.Rename1, f.Delete1, f.ReloadImageF51})
        EXPECT_EQ(item->Enabled(), unlocked) << Narrow(item->Caption());
    EXPECT_EQ(f.SBtnOpen.Enabled(), !f.TestState().SlideShowActive);
    EXPECT_EQ(f.OpenImage1->Enabled(), !f.TestState().SlideShowActive);
    EXPECT_FALSE(f.SBtnSave.Enabled());
    EXPECT_FALSE(f.SaveCtrlS1->Enabled());
    // Stepping and zooming are never locked.
    EXPECT_TRUE(f.SBtnNext.Enabled() && f.SBtnPrevious.Enabled() && f.NextImage1->Enabled() && f.Zoom1->Enabled());
    EXPECT_TRUE(f.SBtnSlideShow.Enabled() && f.SlideShow1->Enabled());
}

std::wstring Caption(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// A pointer move over the image, as the system reports it.
void MovePointer(TMainForm& f, int x, int y)
{
    PostMessageW(f.Image1.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    Pump();
}

} // namespace

TEST_F(SlideShow, StartsStepsPausesContinuesAndStops)
{
    auto form = Start(L"250", Folder(3));
    TMainForm& f = *form;
    // From the last entry the first tick wraps to the first.
    f.OpenImageFolder(folder / f.TestState().FileList.back());
    Pump();
    ASSERT_EQ(f.TestState().CurrentIndex, 2);
    ASSERT_EQ(f.SlideShowTimer.Interval(), 250u);
    EXPECT_FALSE(f.PauseHoldH1->Enabled());
    EXPECT_EQ(f.SBtnSlideShow.Glyph(), f.ToggleBitmapList.Bitmap(2));

    auto expectActive = [&](bool running) {
        EXPECT_TRUE(f.TestState().SlideShowActive);
        EXPECT_EQ(f.SlideShowTimer.Enabled(), running);
        EXPECT_TRUE(f.TestState().FullScreen);
        EXPECT_EQ(f.TestState().PointerHidden, running);
        EXPECT_EQ(f.Image1.Pointer(), running ? PointerShape::Hidden : PointerShape::Default);
        EXPECT_EQ(f.ScrollBox1.Pointer(), running ? PointerShape::Hidden : PointerShape::Default);
        EXPECT_EQ(f.Hint(), running ? kRunningHint : kPausedHint);
        EXPECT_EQ(f.PauseHoldH1->Caption(),
                  running ? L"Pause (&Hold) Silde Show [H]" : L"Continue (Un&hold) Silde Show [H]");
        EXPECT_TRUE(f.PauseHoldH1->Enabled());
        EXPECT_EQ(f.SlideShow1->Caption(), L"&Stop Slide Show [S]");
        EXPECT_EQ(f.SBtnSlideShow.Glyph(), f.ToggleBitmapList.Bitmap(3));
        ExpectUnlocked(f, !running);
    };

    dropTicks = true;
    ClickButton(f.SBtnSlideShow);
    expectActive(true);
    EXPECT_FALSE(f.TestState().FullScreenBeforeShow);
    // The image stays until the first tick, one interval later.
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(f.TestState().CurrentIndex, 2);
    dropTicks = false;
    ASSERT_TRUE(WaitTicks(1));
    EXPECT_EQ(f.TestState().CurrentIndex, 0);
    expectActive(true);      // the load kept the commands locked

    // A move of more than 5 pixels shows the pointer until the next tick.
    dropTicks = true;
    MovePointer(f, f.TestState().LastPointerPos.x + 6, f.TestState().LastPointerPos.y);
    EXPECT_EQ(f.Image1.Pointer(), PointerShape::Default);
    MovePointer(f, f.TestState().LastPointerPos.x + 5, f.TestState().LastPointerPos.y - 5);
    dropTicks = false;
    ASSERT_TRUE(WaitTicks(1));
    EXPECT_EQ(f.TestState().CurrentIndex, 1);
    EXPECT_EQ(f.Image1.Pointer(), PointerShape::Hidden);

    // Steps of the user do not disturb the show.
    dropTicks = true;
    Press('P');
    EXPECT_EQ(f.TestState().CurrentIndex, 0);
    expectActive(true);

    f.PauseHoldH1->Click();
    Pump();
    dropTicks = false;
    expectActive(false);
    const int index = f.TestState().CurrentIndex, pausedAt = ticks;
    Sleep(600);
    Pump();
    EXPECT_EQ(ticks, pausedAt);
    EXPECT_EQ(f.TestState().CurrentIndex, index);
    // Out of full screen the window's hint reaches the status bar over the
    // image area, and follows the show at once.
    Press(VK_F11);
    ASSERT_FALSE(f.TestState().FullScreen);
    RECT area{};
    GetWindowRect(f.ScrollBox1.Handle(), &area);
    SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    MovePointer(f, 3, 3);
    EXPECT_EQ(f.StatusBar1.PanelText(0), LongHint(kPausedHint));
    dropTicks = true;
    Press('H', ssShift);
    EXPECT_TRUE(f.SlideShowTimer.Enabled());
    EXPECT_EQ(f.StatusBar1.PanelText(0), LongHint(kRunningHint));

    ClickButton(f.SBtnSlideShow);
    dropTicks = false;
    EXPECT_FALSE(f.TestState().SlideShowActive);
    EXPECT_FALSE(f.SlideShowTimer.Enabled());
    EXPECT_FALSE(f.TestState().FullScreen);
    EXPECT_FALSE(f.TestState().PointerHidden);
    EXPECT_EQ(f.Image1.Pointer(), PointerShape::Default);
    EXPECT_EQ(f.Hint(), L"");
    EXPECT_EQ(f.StatusBar1.PanelText(0), L"");
    EXPECT_EQ(f.SlideShow1->Caption(), L"&Start Slide Show [S]");
    EXPECT_FALSE(f.PauseHoldH1->Enabled());
    EXPECT_EQ(f.SBtnSlideShow.Glyph(), f.ToggleBitmapList.Bitmap(2));
    ExpectUnlocked(f, true);
    EXPECT_EQ(f.TestState().CurrentIndex, index);
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(SlideShow, OneImageRepeatsAndTheFirstImageIsLoadedAgainAtOnce)
{
    {
        // Each tick loads the only image again from its file.
        auto form = Start(L"100", Folder(1));
        Press('S');
        for (int width : {30, 40}) {
            WriteBmp(folder / L"0.bmp", width, 20);
            ASSERT_TRUE(WaitTicks(1));
            EXPECT_EQ(form->TestState().CurrentPicture.Width(), width);
        }
        EXPECT_EQ(form->TestState().FileList.size(), 1u);
        Press('S');
    }
    WriteText(kStartName, L"-1");
    ticks = 0;
    auto form = Start(L"3600000", Folder(2));
    TMainForm& f = *form;
    ASSERT_TRUE(f.TestState().StartAtBeginning);
    ASSERT_EQ(f.TestState().CurrentIndex, 0);
    // The first image, already current, is read again from its file at once.
    WriteBmp(folder / f.TestState().FileList[0], 50, 20);
    Press('S');
    EXPECT_EQ(f.TestState().CurrentPicture.Width(), 50);
    Press('S');
    f.OpenImageFolder(folder / f.TestState().FileList[1]);
    Press('S');
    EXPECT_EQ(f.TestState().CurrentIndex, 0);
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(SlideShow, FullScreenIsLeftOnlyWhenTheShowEnteredIt)
{
    auto form = Start(L"3600000", Folder(2));
    TMainForm& f = *form;
    const struct {
        bool fullBefore, f11During, fullAfter;
    } cases[] = {{true, false, true}, {false, false, false}, {false, true, false}, {true, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fullBefore << c.f11During);
        if (f.TestState().FullScreen != c.fullBefore)
            Press(VK_F11);
        Press('S');
        EXPECT_TRUE(f.TestState().FullScreen);
        EXPECT_EQ(f.TestState().FullScreenBeforeShow, c.fullBefore);
        if (c.f11During) {
            Press(VK_F11);
            EXPECT_FALSE(f.TestState().FullScreen);
            EXPECT_TRUE(f.TestState().SlideShowActive);
        }
        Press(VK_ESCAPE);       // only stops the show
        EXPECT_FALSE(f.TestState().SlideShowActive);
        EXPECT_EQ(f.TestState().FullScreen, c.fullAfter);
        EXPECT_TRUE(f.Visible());
    }
}

TEST_F(SlideShow, OptionsDialogTakesTypedMinutesAndSeconds)
{
    auto form = Start(L"61500", Folder(2));
    TMainForm& f = *form;
    TSlideShowForm& d = *f.SlideShowForm;

    // The dialog as designed at 96 dpi, scaled.
    EXPECT_EQ(d.Text(), L"Slide Show Options");
    EXPECT_EQ(d.ClientWidth(), Scale(265));
    EXPECT_EQ(d.ClientHeight(), Scale(149));
    const struct {
        RECT actual;
        int left, top, width, height;
    } layout[] = {
        {d.Bevel1.BoundsRect(), 8, 8, 249, 105},     {d.CBStartFromBeg.BoundsRect(), 24, 72, 217, 25},
        {d.SBtnOkay.BoundsRect(), 56, 118, 73, 25},   {d.SBtnCancel.BoundsRect(), 136, 118, 73, 25},
        {d.CmbMinutes.BoundsRect(), 24, 40, 41, -1},  {d.CmbSeconds.BoundsRect(), 136, 40, 41, -1},
    };
    for (const auto& b : layout) {
        EXPECT_EQ(b.actual.left, Scale(b.left));
        EXPECT_EQ(b.actual.top, Scale(b.top));
        EXPECT_EQ(b.actual.right - b.actual.left, Scale(b.width));
        if (b.height > 0) {
            EXPECT_EQ(b.actual.bottom - b.actual.top, Scale(b.height));
        }
    }
    EXPECT_EQ(d.Label1.Caption(), L"Pause Between Slides");
    EXPECT_EQ(d.LblMinutes.Left(), Scale(72));
    EXPECT_EQ(d.LblSeconds.Left(), Scale(184));
    EXPECT_EQ(d.CBStartFromBeg.Text(), L"Always Start Slide Show At First Image");
    EXPECT_EQ(d.CmbMinutes.Items(), TSlideShowForm::MinutesList());
    EXPECT_EQ(d.CmbMinutes.Items().back(), L"10");
    EXPECT_EQ(d.CmbSeconds.Items(), (std::vector<std::wstring>{L"0", L"1", L"2", L"3", L"4", L"5", L"10", L"15",
                                                                L"20", L"30", L"45"}));

    // One answer per showing: the texts typed, the box, and how it closes.
    enum How { Click, Enter, Escape, CloseBox };
    struct Answer {
        const wchar_t *minutes, *seconds;
        bool start;
        How how;
    };
    const std::wstring kLess = L"Slide Show Interval Must be Less than 35791 Minutes";
    const struct {
        std::vector<Answer> answers;
        std::vector<std::wstring> errors;
        unsigned interval;
        const wchar_t* stored;   // nothing: nothing written
        bool start;
    } cases[] = {
        {{{L"0", L"0", true, Click}, {nullptr, nullptr, false, Escape}}, {kGreater}, 61500, nullptr, false},
        {{{L"x", L"7", true, Enter}}, {}, 7000, L"7000", true},
        {{{L" 2 ", L"30", false, Click}}, {}, 150000, L"150000", false},
        {{{L"-1", L"30", false, Click}, {L"0", L"45", false, Enter}}, {kGreater}, 45000, L"45000", false},
        {{{L"35791", L"24", true, Click}, {nullptr, nullptr, true, CloseBox}}, {kLess}, 45000, nullptr, false},
        {{{L"1", L"1", true, Escape}}, {}, 45000, nullptr, false},
    };
    bool first = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.answers[0].minutes) + " / " + Narrow(c.answers[0].seconds));
        DeleteKey();
        boxes.clear();
        std::vector<std::wstring> shown;   // the texts each showing opened with
        size_t showing = 0;
        options = [&](TSlideShowForm& dialog) {
            shown.push_back(dialog.CmbMinutes.Text() + L"/" + dialog.CmbSeconds.Text() +
                            (dialog.CBStartFromBeg.Checked() ? L"+" : L""));
            ASSERT_LT(showing, c.answers.size());
            const Answer& a = c.answers[showing++];
            if (a.minutes) {
                dialog.CmbMinutes.SetText(a.minutes);
                dialog.CmbSeconds.SetText(a.seconds);
                dialog.CBStartFromBeg.SetChecked(a.start);
            }
            if (a.how == Click || a.how == CloseBox) {
                if (a.how == Click)
                    PostClick(dialog.SBtnOkay.Handle());
                else
                    PostMessageW(dialog.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
                return;
            }
            // Enter and Esc reach the dialog whichever control has the focus.
            const WORD key = a.how == Enter ? VK_RETURN : VK_ESCAPE;
            const LPARAM scan = LPARAM(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
            PostMessageW(GetFocus(), WM_KEYDOWN, key, 1 | scan);
            PostMessageW(GetFocus(), WM_KEYUP, key, 1 | scan | 3u << 30);
        };
        Press('V');
        options = nullptr;
        ASSERT_EQ(showing, c.answers.size());
        if (first) {
            // A stored 61500 ms opens as 1 minute, 1 second.
            EXPECT_EQ(shown[0], L"1/1");
            first = false;
        }
        // After an error the dialog comes back as the user left it.
        if (c.answers.size() > 1 && c.answers[0].minutes) {
            EXPECT_EQ(shown[1], std::wstring(c.answers[0].minutes) + L"/" + c.answers[0].seconds +
                                    (c.answers[0].start ? L"+" : L""));
        }
        EXPECT_EQ(boxes, c.errors);
        EXPECT_EQ(f.SlideShowTimer.Interval(), c.interval);
        EXPECT_EQ(f.TestState().StartAtBeginning, c.start);
        if (c.stored) {
            EXPECT_EQ(ReadText(kIntervalName).value_or(L"-"), c.stored);
            EXPECT_EQ(ReadText(kStartName).value_or(L"-"), c.start ? L"-1" : L"0");
        } else {
            EXPECT_FALSE(ReadText(kIntervalName));
            EXPECT_FALSE(ReadText(kStartName));
        }
    }

    // The dialog does not pause a running show, but no step starts while it
    // is open. A one-second interval chosen during the show restarts the
    // count.
    options = [&](TSlideShowForm& dialog) {
        dialog.CmbMinutes.SetText(L"0");
        dialog.CmbSeconds.SetText(L"1");
        PostClick(dialog.SBtnOkay.Handle());
    };
    Press('S');
    Press('V');
    EXPECT_EQ(f.SlideShowTimer.Interval(), 1000u);
    TTimer close;
    const int ticksAtOpen = ticks, stepsAtOpen = steps;
    close.onTimer = [&] {
        if (ticks >= ticksAtOpen + 2) {
            close.SetEnabled(false);
            PostClick(d.SBtnCancel.Handle());
        }
    };
    close.SetInterval(50);
    options = [&](TSlideShowForm&) { close.SetEnabled(true); };
    Press('V');
    EXPECT_GE(ticks, ticksAtOpen + 2);
    EXPECT_EQ(steps, stepsAtOpen);
    EXPECT_TRUE(f.SlideShowTimer.Enabled());
    Press('Q');
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(SlideShow, EveryImageFailingLeavesTheShowActiveUntilAKeyStopsIt)
{
    for (WORD key : {WORD('S'), WORD('Q'), WORD(VK_ESCAPE)}) {
        SCOPED_TRACE(key);
        auto form = Start(L"100", Folder(3));
        TMainForm& f = *form;
        failures.clear();
        Press('S');
        for (const std::wstring& name : f.TestState().FileList)
            DeleteFileW((folder / name).c_str());
        ASSERT_TRUE(PumpUntil([&] { return f.TestState().FileList.empty(); }));
        ASSERT_EQ(failures.size(), 3u);
        for (const std::wstring& message : failures)
            EXPECT_TRUE(message.starts_with(L"File \"" + folder.Path()) && message.ends_with(L"\" Does Not Exist"))
                << Narrow(message);
        // Its ticks now do nothing.
        ASSERT_TRUE(WaitTicks(2));
        EXPECT_EQ(failures.size(), 3u);
        EXPECT_TRUE(f.TestState().SlideShowActive);
        EXPECT_TRUE(f.SlideShowTimer.Enabled());
        EXPECT_FALSE(f.SBtnSlideShow.Enabled());
        EXPECT_FALSE(f.SlideShow1->Enabled());
        EXPECT_TRUE(f.PnlPleaseWait.Visible());

        Press(key);
        EXPECT_FALSE(f.TestState().SlideShowActive);
        EXPECT_FALSE(f.SlideShowTimer.Enabled());
        EXPECT_FALSE(f.TestState().FullScreen);
        EXPECT_TRUE(f.Visible());
        // Unlocked, but without an image the image commands stay off.
        EXPECT_TRUE(f.SBtnOpen.Enabled());
        EXPECT_TRUE(f.OpenImage1->Enabled());
        EXPECT_FALSE(f.SBtnRotateCW.Enabled());
        EXPECT_FALSE(f.ReloadImageF51->Enabled());
    }
}

TEST_F(SlideShow, TicksWaitWhileAStepWaitsForTheUserAndLoadErrorsWaitForTheDialog)
{
    auto form = Start(L"40", Folder(4));
    TMainForm& f = *form;
    const int brokenIndex = (f.TestState().CurrentIndex + 1) % 4;
    const std::wstring broken = f.TestState().FileList[size_t(brokenIndex)];
    WriteBytes(folder / broken, {'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'});

    // Error dialogs stay open while six ticks fall due.
    holdTicks = 6;
    const auto& atAnswer = answered;

    // The first tick meets the broken file; the ticks during its message
    // take no step, so the broken entry itself is the one dropped.
    Press('S');
    ASSERT_TRUE(PumpUntil([&] { return atAnswer.size() == 1 && !f.ErrorDlg->Modal(); }));
    EXPECT_EQ(atAnswer[0].index, brokenIndex);
    EXPECT_EQ(atAnswer[0].count, 4u);
    EXPECT_GE(atAnswer[0].ticks, 5);
    ASSERT_TRUE(WaitTicks(1));
    EXPECT_EQ(f.TestState().FileList.size(), 3u);
    EXPECT_EQ(std::count(f.TestState().FileList.begin(), f.TestState().FileList.end(), broken), 0);

    // A failure reported from elsewhere holds the steps while it is shown;
    // the file that fails to load at the next step is reported after it.
    std::wstring next;
    int stepsAtElsewhere = -1;
    TTimer elsewhere;
    elsewhere.onTimer = [&] {
        elsewhere.SetEnabled(false);
        stepsAtElsewhere = steps;
        next = f.TestState().FileList[(size_t(f.TestState().CurrentIndex) + 1) % f.TestState().FileList.size()];
        DeleteFileW((folder / next).c_str());
        throw Failure(L"elsewhere");
    };
    elsewhere.SetInterval(1);
    elsewhere.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return atAnswer.size() == 3 && !f.ErrorDlg->Modal(); }));
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[1], L"elsewhere");
    EXPECT_EQ(failures[2], L"File \"" + (folder / next) + L"\" Does Not Exist");
    EXPECT_EQ(f.TestState().FileList.size(), 2u);
    EXPECT_GT(atAnswer[1].ticks, atAnswer[0].ticks + 5);
    EXPECT_EQ(atAnswer[1].steps, stepsAtElsewhere);
    EXPECT_TRUE(f.TestState().SlideShowActive);

    // Renaming during the show: the steps wait for the name, and the file
    // renamed is the one on screen when it was asked for.
    const std::wstring renamed = f.TestState().CurrentFileName;
    const int stepsBefore = steps;
    Press(VK_RETURN, ssCtrl);
    ASSERT_EQ(answered.size(), 4u);
    EXPECT_GT(answered[3].ticks, answered[2].ticks + 5);
    EXPECT_EQ(answered[3].steps, stepsBefore);
    EXPECT_EQ(std::count(f.TestState().FileList.begin(), f.TestState().FileList.end(), L"renamed.bmp"), 1);
    EXPECT_EQ(std::count(f.TestState().FileList.begin(), f.TestState().FileList.end(), renamed), 0);
    EXPECT_EQ(GetFileAttributesW((folder / renamed).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW((folder / L"renamed.bmp").c_str()), INVALID_FILE_ATTRIBUTES);
    Press('Q');
}

TEST_F(SlideShow, AnImageTurnedWhilePausedIsCheckedBeforeTheNextStep)
{
    // Small images: leaving a turned one asks first.
    auto form = Start(L"60", Folder(3));
    TMainForm& f = *form;
    Press('S');
    Press('H');
    ASSERT_TRUE(f.SBtnRotateCW.Enabled());
    const int index = f.TestState().CurrentIndex;
    const std::wstring path = f.CurrentFilePath();
    ClickButton(f.SBtnRotateCW);
    ASSERT_TRUE(f.TestState().Modified);
    EXPECT_TRUE(f.SBtnSave.Enabled());
    // Continued, the next tick asks; the question stays open while six
    // ticks fall due, and is answered Yes: saved, then the step goes on.
    holdTicks = 6;
    const int continuedAt = ticks;   // paused: no tick comes before the key
    Press('H');
    EXPECT_FALSE(f.SBtnSave.Enabled());
    ASSERT_TRUE(PumpUntil([&] { return answered.size() == 1 && f.TestState().CurrentIndex != index; }));
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].caption, L"Overwrite current image file with modified image?");
    // Asked once, with the image still on screen, though more ticks fell due.
    EXPECT_EQ(answered[0].index, index);
    EXPECT_GE(answered[0].ticks, continuedAt + 3);
    TPicture saved;
    LoadPictureFromFile(saved, path);
    EXPECT_EQ(saved.Width(), 8);
    EXPECT_FALSE(f.TestState().Modified);
    EXPECT_TRUE(NothingShown(failures));
    Press('Q');
}

// Any modal window of the program holds the steps while it is open (a tick
// that starts one would take its questions over or fail to show them), and
// the show goes on once it is closed.
TEST_F(SlideShow, NoStepStartsWhileAModalWindowIsOpen)
{
    auto form = Start(L"40", Folder(3));
    TMainForm& f = *form;
    f.EmailSizeDlg = std::make_unique<TEmailSizeDlg>(f);
    // Whatever opens is left open for several ticks, then closed by its
    // close box.
    Application::ModalShownHook() = nullptr;
    g_boxes = nullptr;
    struct Held {
        std::wstring caption;
        int steps;                // during the ticks it was open
        bool captionKept;
    };
    std::vector<Held> held;
    HWND open = nullptr;
    int ticksAtOpen = 0, stepsAtOpen = 0;
    std::wstring caption;
    TTimer closer;
    closer.onTimer = [&] {
        const HWND active = GetActiveWindow();
        if (!open) {
            if (!active || active == f.Handle())
                return;
            open = active;
            ticksAtOpen = ticks;
            stepsAtOpen = steps;
            caption = Caption(open);
        } else if (ticks >= ticksAtOpen + 4 && active == open) {
            held.push_back({caption, steps - stepsAtOpen, Caption(open) == caption});
            PostMessageW(open, WM_CLOSE, 0, 0);
        }
    };
    closer.SetInterval(20);
    closer.SetEnabled(true);
    TTimer message;
    message.onTimer = [&] {
        message.SetEnabled(false);
        Application::ShowErrorBox(f.Handle(), L"A message");
    };
    message.SetInterval(1);
    // A message box has the program's title, or the system's own "Error".
    const std::wstring boxTitle = Application::Title().empty() ? L"Error" : Application::Title();
    const std::pair<std::wstring, std::function<void()>> openers[] = {
        {L"Disable Auto-fit Mode?", [] { Press(VK_ADD); }},
        {L"Disable Auto-fit Mode?", [&] {
             f.CmbZoomPercent.SetText(L"50");
             SendMessageW(GetParent(f.CmbZoomPercent.Handle()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(f.CmbZoomPercent.Handle()), CBN_EDITCHANGE),
                          LPARAM(f.CmbZoomPercent.Handle()));
         }},
        {L"Print", [] { Press('P', ssCtrl); }},
        {L"Email Image", [] { Press('E', ssCtrl); }},
        {L"About", [] { Press('H', ssCtrl); }},
        {L"Slide Show Options", [] { Press('V'); }},
        {boxTitle, [&] {
             message.SetEnabled(true);
             PumpUntil([&] { return open && !IsWindowVisible(open); });
         }},
    };
    Press('S');
    for (const auto& [expected, act] : openers) {
        SCOPED_TRACE(Narrow(expected));
        f.SetKeyFocus();
        const size_t before = held.size();
        open = nullptr;
        act();
        ASSERT_EQ(held.size(), before + 1);
        EXPECT_EQ(held.back().caption, expected);
        EXPECT_EQ(held.back().steps, 0);
        EXPECT_TRUE(held.back().captionKept);
        ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(open) && GetActiveWindow() == f.Handle(); }));
        // The show goes on.
        const int stepsAfter = steps;
        ASSERT_TRUE(PumpUntil([&] { return steps > stepsAfter; }));
        EXPECT_TRUE(f.SlideShowTimer.Enabled());
    }
    Press('Q');
    EXPECT_TRUE(NothingShown(failures));
}

// A silent save that fails during a show is reported once and pauses the
// show on the image whose changes could not be saved.
TEST_F(SlideShow, ASilentSaveThatFailsIsReportedOnceAndPausesTheShow)
{
    // Wide enough to be saved without a question.
    for (int i = 0; i < 3; ++i)
        WriteBmp(folder / (std::to_wstring(i) + L".bmp"), 400, 10 + i);
    auto form = Start(L"40", folder / L"0.bmp");
    TMainForm& f = *form;
    Press('S');
    Press('H');
    Press('R', ssCtrl);
    ASSERT_TRUE(f.TestState().Modified);
    const std::wstring path = f.CurrentFilePath();
    const int index = f.TestState().CurrentIndex;
    const std::vector<uint8_t> before = ReadBytes(path);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    Press('H');
    const bool paused = PumpUntil([&] { return !f.SlideShowTimer.Enabled(); });
    // Many intervals later.
    PumpUntil([] { return false; }, 400);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(paused);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"Cannot create file " + path});
    EXPECT_TRUE(f.TestState().SlideShowActive);
    EXPECT_EQ(f.PauseHoldH1->Caption(), L"Continue (Un&hold) Silde Show [H]");
    EXPECT_EQ(f.TestState().CurrentIndex, index);
    EXPECT_TRUE(f.TestState().Modified);
    EXPECT_EQ(ReadBytes(path), before);
    Press('Q');
    EXPECT_TRUE(NothingShown(failures));
}

// Thousands of steps at the shortest interval over a folder of three images
// in three formats: what the process holds after the first hundred ticks is
// what it holds at the end.
TEST(SlideShowSoak, ThousandsOfTicksDoNotGrowTheProcess)
{
    using process_resources::Snapshot;
    auto png = RegisterPngIfMissing();
    Guard guard;
    WriteText(kIntervalName, L"1");
    TempFolder folder(L"Pixavo slide show soak");
    WriteBytes(folder / L"a.jpg", EncodeJpeg(Solid(160, 120, 30, 140, 220)));
    WriteBytes(folder / L"b.png", EncodePng(PngFromRaster(Solid(120, 160, 20, 200, 40))));
    WriteBmp(folder / L"c.bmp", 200, 100);
    std::vector<std::wstring> failures;
    AnswerModals(failures, nullptr);
    {
        TMainForm form({L"/nosplash", folder / L"a.jpg"});
        int ticks = 0;
        form.SlideShowTimer.onTimer = [&] {
            ++ticks;
            form.SlideShowTimerTimer();
        };
        form.Show();
        form.StartSlideShow();
        ASSERT_TRUE(PumpUntil([&] { return ticks >= 100; }));
        const Snapshot before;
        const DWORD start = GetTickCount();
        // A busy machine takes minutes for them (here 70 s at a load of 8).
        ASSERT_TRUE(PumpUntil([&] { return ticks >= 3100; }, 240000));
        const DWORD elapsed = GetTickCount() - start;
        const Snapshot after;
        form.StopSlideShow();
        std::printf("3000 ticks in %lu ms; before: %s; after: %s\n", elapsed,
                    testing::PrintToString(before).c_str(), testing::PrintToString(after).c_str());
        ASSERT_GT(before.bytes, 0u);
        ASSERT_GT(before.gdi, 0u);
        ASSERT_GT(before.user, 0u);
        ASSERT_GT(before.handles, 0u);
        // One leaked picture per step would be 3000 of them: megabytes, and
        // thousands of objects or handles.
        EXPECT_LT(after.bytes, before.bytes + 1024 * 1024) << before << " -> " << after;
        EXPECT_LE(after.gdi, before.gdi + 4) << before << " -> " << after;
        EXPECT_LE(after.user, before.user + 4) << before << " -> " << after;
        EXPECT_LE(after.handles, before.handles + 4) << before << " -> " << after;
        form.Hide();
    }
    StopAnsweringModals();
    EXPECT_TRUE(NothingShown(failures));
}
