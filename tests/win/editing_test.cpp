// Turning, flipping and resizing the current image through the menu, the
// buttons and the keys, and what leaving a modified image does: save
// silently, ask with one of two wordings, or stop when a save failed.
#include "tests/win/EditingTestSupport.h"

using namespace editing_test;

namespace {

class Editing : public EditingTest {};

} // namespace

TEST_F(Editing, EveryCallerTurnsOrFlipsTheImageAndMarksItModified)
{
    auto form = Open({{L"pic.bmp", EncodeBmp(Marked(40, 30))}, {L"two.bmp", EncodeBmp(Marked(8, 8))}}, L"pic.bmp");
    TMainForm& f = *form;
    ASSERT_FALSE(f.SBtnSave.Enabled());
    struct Case {
        const char* caller;
        std::function<void()> act;
        bool turned;          // 30 × 40 afterwards
        const char* corner;   // where the red square went
    };
    const Case cases[] = {
        {"90\u00B0 Clockwise", [&] { ChooseMenu(f, f.N90Clockwise1); }, true, "TR"},
        {"180\u00B0 Rotation", [&] { ChooseMenu(f, f.N180Rotation1); }, false, "BR"},
        {"90\u00B0 Counter Clockwise", [&] { ChooseMenu(f, f.N90CounterClockwise1); }, true, "BL"},
        {"Horizontal", [&] { ChooseMenu(f, f.Horizontal1); }, false, "TR"},
        {"Vertical", [&] { ChooseMenu(f, f.Vertical1); }, false, "BL"},
        {"SBtnRotateCW", [&] { ClickButton(f.SBtnRotateCW); }, true, "TR"},
        {"SBtnRotateCCW", [&] { ClickButton(f.SBtnRotateCCW); }, true, "BL"},
        {"Ctrl+R", [&] { Press('R', ssCtrl); }, true, "TR"},
        {"Ctrl+L", [&] { Press('L', ssCtrl); }, true, "BL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caller);
        Press(VK_F5);   // reload: the flags are cleared
        ASSERT_FALSE(f.TestState().Modified);
        c.act();
        EXPECT_EQ(f.TestState().CurrentPicture.Width(), c.turned ? 30 : 40);
        EXPECT_EQ(RedCorner(f.TestState().CurrentPicture.Graphic()->Pixels()), c.corner);
        EXPECT_EQ(RedCorner(Shown(f)), c.corner);
        EXPECT_EQ(f.TestState().CurrentPicture.Graphic()->Kind(), GraphicKind::Raster);
        EXPECT_TRUE(f.TestState().Modified);
        EXPECT_FALSE(f.TestState().Resized);
        EXPECT_TRUE(f.SBtnSave.Enabled());
        EXPECT_TRUE(f.SaveCtrlS1->Enabled());
        EXPECT_EQ(Status(f), c.turned ? L"pic.bmp (30x40) (Modified)" : L"pic.bmp (40x30) (Modified)");
        EXPECT_FALSE(f.PnlPleaseWait.Visible());
    }

    // Resizing sets both flags; a zero side changes nothing.
    f.ResizeCurrentImage(100, 20);
    EXPECT_EQ(Status(f), L"pic.bmp (100x20) (Modified)");
    EXPECT_TRUE(f.TestState().Resized && f.TestState().Modified);
    Press(VK_F5);
    try {
        f.ResizeCurrentImage(0, 20);
        ADD_FAILURE() << "a zero width was accepted";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.Message(), L"Invalid Image Size Constraints");
    }
    EXPECT_EQ(Status(f), L"pic.bmp (40x30)");
    EXPECT_FALSE(f.TestState().Modified || f.TestState().Resized || f.SBtnSave.Enabled() || f.SaveCtrlS1->Enabled());
    EXPECT_FALSE(f.PnlPleaseWait.Visible());
    EXPECT_TRUE(NothingShown(prompts));
    EXPECT_TRUE(NothingShown(errors));
}

TEST_F(Editing, LeavingAModifiedImageSavesOrAsksByItsSize)
{
    enum class Ask { Nothing, Small, General };
    struct Case {
        const char* what;
        int width, height;
        bool resize;
        int answer;
        Ask asked;
        bool overwritten;
    };
    const Case cases[] = {
        {"large turned: saved silently", 1000, 800, false, 0, Ask::Nothing, true},
        {"301 is not small", 301, 200, false, 0, Ask::Nothing, true},
        {"300 is small: Yes", 300, 200, false, 1, Ask::Small, true},
        {"small: Discard Changes", 200, 300, false, 3, Ask::Small, false},
        {"resized: Discard Changes", 1000, 800, true, 3, Ask::General, false},
        {"resized: Yes", 60, 40, true, 1, Ask::General, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> original = EncodeJpeg(Marked(c.width, c.height));
        auto form = Open({{L"photo.jpg", original}, {L"next.bmp", EncodeBmp(Marked(10, 10))}}, L"photo.jpg");
        prompts.clear();
        promptAnswer = c.answer ? c.answer : 1;
        if (c.resize)
            form->ResizeCurrentImage(c.width / 2, c.height / 2);
        else
            Press('R', ssCtrl);
        ClickButton(form->SBtnNext);
        EXPECT_EQ(form->TestState().CurrentFileName, L"next.bmp");
        if (c.asked == Ask::Nothing) {
            EXPECT_TRUE(NothingShown(prompts));
        } else {
            ASSERT_EQ(prompts.size(), 1u);
            EXPECT_EQ(prompts[0].caption, L"Overwrite current image file with modified image?");
            EXPECT_EQ(prompts[0].headline,
                      L"Are you sure you want to overwrite the current image file with this modified image?");
            EXPECT_EQ(prompts[0].details, c.asked == Ask::Small ? kSmallWording : kGeneralWording);
            EXPECT_EQ(prompts[0].buttons, (std::vector<std::wstring>{L"Yes", L"No", L"Discard Changes"}));
            EXPECT_TRUE(prompts[0].secondVisible);
        }
        const std::vector<uint8_t> now = ReadBytes(folder / L"photo.jpg");
        if (!c.overwritten) {
            EXPECT_EQ(now, original);
        } else {
            const Raster saved = DecodeJpeg(now);
            EXPECT_EQ(saved.Width(), c.resize ? c.width / 2 : c.height);
            EXPECT_EQ(RedCorner(saved), c.resize ? "TL" : "TR");
        }
        EXPECT_TRUE(NothingShown(failures));
    }
}

TEST_F(Editing, AfterDiscardingAFurtherTurnIsDroppedWithoutAQuestion)
{
    const std::vector<uint8_t> original = EncodeJpeg(Marked(120, 90));
    auto form = Open({{L"small.jpg", original}, {L"next.bmp", EncodeBmp(Marked(10, 10))}}, L"small.jpg");
    Press('R', ssCtrl);
    // The rename command asks first; the rename itself is cancelled.
    promptAnswer = 3;
    Press(VK_RETURN, ssCtrl);
    ASSERT_EQ(prompts.size(), 1u);
    ASSERT_EQ(renameShown, std::vector<std::wstring>{L"small"});
    EXPECT_TRUE(form->TestState().ChangesDismissed);
    EXPECT_EQ(form->TestState().CurrentFileName, L"small.jpg");
    Press('L', ssCtrl);
    EXPECT_TRUE(form->TestState().Modified);
    Press('N');
    EXPECT_EQ(prompts.size(), 1u);
    EXPECT_EQ(form->TestState().CurrentFileName, L"next.bmp");
    EXPECT_EQ(ReadBytes(folder / L"small.jpg"), original);
}

// A save that fails keeps the picture and its changes; a silent save that
// fails then asks, so that the user can still go on (Discard Changes) or
// stay (Yes, failing again).
TEST_F(Editing, AFailedSaveKeepsTheImageAndItsChangesOnScreen)
{
    struct Case {
        const char* what;
        int width;
        int answer;
        size_t failures;    // error boxes
        bool stays;
        std::function<void(TMainForm&)> leave;
    };
    const Case cases[] = {
        {"silent save, Next, then Yes", 1000, 1, 2, true, [](TMainForm& f) { ClickButton(f.SBtnNext); }},
        {"silent save, Previous, then Discard Changes", 1000, 3, 1, false, [](TMainForm&) { Press('P'); }},
        {"Yes, Next", 200, 1, 1, true, [](TMainForm& f) { ChooseMenu(f, f.NextImage1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> original = EncodeJpeg(Marked(c.width, 100));
        auto form = Open({{L"locked.jpg", original}, {L"next.bmp", EncodeBmp(Marked(10, 10))}}, L"locked.jpg");
        const std::wstring path = folder / L"locked.jpg";
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
        promptAnswer = c.answer;
        prompts.clear();
        Press('R', ssCtrl);
        std::vector<std::wstring> messages;
        {
            std::vector<DialogDriver::Step> steps(c.failures, AcceptMessage(messages));
            DialogDriver driver(steps);
            c.leave(*form);
            EXPECT_TRUE(driver.Finished());
        }
        EXPECT_EQ(messages, std::vector<std::wstring>(c.failures, L"Cannot create file " + path));
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(ReadBytes(path), original);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!c.stays) {
            EXPECT_EQ(form->TestState().CurrentFileName, L"next.bmp");
            continue;
        }
        EXPECT_EQ(form->TestState().CurrentFileName, L"locked.jpg");
        EXPECT_TRUE(form->TestState().Modified);
        EXPECT_EQ(RedCorner(Shown(*form)), "TR");
        EXPECT_EQ(Status(*form), L"locked.jpg (100x" + std::to_wstring(c.width) + L") (Modified)");
    }
}

TEST_F(Editing, DiscardingHoldsForTheImageItWasSaidForOnly)
{
    auto form = Open({{L"a.jpg", EncodeJpeg(Marked(120, 90))}, {L"b.jpg", EncodeJpeg(Marked(100, 80))}}, L"a.jpg");
    const std::wstring first = form->TestState().CurrentFileName;
    Press('R', ssCtrl);
    promptAnswer = 3;
    Press('N');
    ASSERT_EQ(prompts.size(), 1u);
    ASSERT_NE(form->TestState().CurrentFileName, first);
    // The next small image turned: leaving it asks again.
    Press('R', ssCtrl);
    Press('N');
    EXPECT_EQ(prompts.size(), 2u);
    EXPECT_EQ(form->TestState().CurrentFileName, first);
}

TEST_F(Editing, ClosingTheWindowSavesOrAsksAsLeavingDoes)
{
    const struct {
        const char* what;
        int width, height;
        bool asked;
    } cases[] = {{"large: saved turned without a question", 1000, 800, false}, {"small: asked, Yes", 200, 150, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto form = Open({{L"photo.jpg", EncodeJpeg(Marked(c.width, c.height))}}, L"photo.jpg");
        Press('R', ssCtrl);
        prompts.clear();
        promptAnswer = 1;
        PostMessageW(form->Handle(), WM_CLOSE, 0, 0);
        Pump();
        EXPECT_FALSE(form->Visible());
        ASSERT_EQ(prompts.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(prompts[0].details, kSmallWording);
        }
        const Raster saved = DecodeJpeg(ReadBytes(folder / L"photo.jpg"));
        EXPECT_EQ(saved.Width(), c.height);
        EXPECT_EQ(RedCorner(saved), "TR");
    }
    EXPECT_TRUE(NothingShown(failures));
}

// "No" opens the save dialog. Cancelled there, the changes are dropped and
// the caller goes on; failed, or saved under another name, the caller stops.
// The same for every way of leaving: Next, opening a folder, starting the
// slide show.
TEST_F(Editing, NoOpensSaveAsAndEveryWayOfLeavingFollowsWhatItDid)
{
    enum class Way { Next, Open, SlideShow };
    enum class Outcome { Cancelled, Failed, SavedElsewhere };
    CreateDirectoryW((folder / L"sub").c_str(), nullptr);
    for (Way way : {Way::Next, Way::Open, Way::SlideShow})
        for (Outcome outcome : {Outcome::Cancelled, Outcome::Failed, Outcome::SavedElsewhere}) {
            SCOPED_TRACE(testing::Message() << "way " << int(way) << ", outcome " << int(outcome));
            const std::vector<uint8_t> original = EncodeJpeg(Marked(120, 90));
            auto form = Open({{L"small.jpg", original}, {L"next.bmp", EncodeBmp(Marked(10, 10))}}, L"small.jpg");
            form->SlideShowTimer.SetInterval(3600000);
            Press('R', ssCtrl);
            promptAnswer = 2;
            prompts.clear();
            std::vector<std::wstring> messages;
            int opened = 0;
            std::vector<DialogDriver::Step> steps;
            if (outcome == Outcome::Cancelled)
                steps = {Cancel()};
            else if (outcome == Outcome::Failed)
                steps = {TypeAndConfirm(folder / L"x.ico"), AcceptMessage(messages)};
            else
                steps = {TypeAndConfirm(folder / L"sub\\c.png")};
            const bool goesOn = outcome == Outcome::Cancelled;
            if (way == Way::Open && goesOn)
                steps.push_back([&](HWND dialog) {
                    if (TextOf(dialog) != L"Open")
                        return false;
                    ++opened;
                    return Cancel()(dialog);
                });
            {
                DialogDriver driver(steps);
                if (way == Way::Next)
                    ClickButton(form->SBtnNext);
                else
                    Press(way == Way::Open ? 'O' : 'S', way == Way::Open ? ssCtrl : 0);
                EXPECT_TRUE(driver.Finished());
            }
            ASSERT_EQ(prompts.size(), 1u);
            EXPECT_EQ(ReadBytes(folder / L"small.jpg"), original);
            EXPECT_EQ(form->TestState().CurrentFileName, way == Way::Next && goesOn ? L"next.bmp" : L"small.jpg");
            EXPECT_EQ(form->TestState().SlideShowActive, way == Way::SlideShow && goesOn);
            EXPECT_EQ(opened, way == Way::Open && goesOn ? 1 : 0);
            if (form->TestState().CurrentFileName == L"small.jpg") {
                EXPECT_EQ(form->TestState().Modified, outcome != Outcome::SavedElsewhere);
                EXPECT_EQ(form->TestState().ChangesDismissed, outcome != Outcome::Failed);
            }
            EXPECT_EQ(messages, outcome == Outcome::Failed ? std::vector<std::wstring>{L"Saving as an Icon is not supported"}
                                                           : std::vector<std::wstring>{});
            if (outcome == Outcome::SavedElsewhere) {
                EXPECT_EQ(RedCorner(PngToRaster(DecodePng(ReadBytes(folder / L"sub\\c.png")))), "TR");
                DeleteFileW((folder / L"sub\\c.png").c_str());
            }
            form->StopSlideShow();
        }
    EXPECT_TRUE(NothingShown(failures));
}
