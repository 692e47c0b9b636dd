// The image tools window over real image files, driven by real messages:
// characters posted to the size fields (through the event loop and the
// fields' filters), unit lists changed as the user changes them (the
// selection and its CBN_SELCHANGE), clicks on its buttons and keys.
#include "tests/host/jpeg_metadata_material.h"
#include "tests/win/EditingTestSupport.h"

using namespace editing_test;

namespace {

class Tools : public EditingTest {
protected:
    // The folder opened on current with the tools window made as the entry
    // makes it, then shown with Ctrl+T.
    std::unique_ptr<TMainForm> OpenTools(const std::vector<std::pair<std::wstring, std::vector<uint8_t>>>& files,
                                         const std::wstring& current)
    {
        auto form = Open(files, current);
        form->ToolBox = std::make_unique<TToolBox>(*form);
        Press('T', ssCtrl);
        EXPECT_TRUE(form->ToolBox->Visible());
        return form;
    }
};

// Replaces the field's text by typing: every character a WM_CHAR.
void Type(TEdit& field, const std::wstring& text)
{
    field.SetFocus();
    field.SelectAll();
    for (wchar_t c : text)
        PostMessageW(field.Handle(), WM_CHAR, c, 1);
    Pump();
}

// Picks a unit in the list as the user does: the selection, then the
// notification the list sends its window.
void Choose(TComboBox& list, int index)
{
    SendMessageW(list.Handle(), CB_SETCURSEL, WPARAM(index), 0);
    SendMessageW(GetParent(list.Handle()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list.Handle()), CBN_SELCHANGE),
                 LPARAM(list.Handle()));
    Pump();
}

const int kPixels = 0, kPercent = 1;

} // namespace

TEST_F(Tools, SizeFieldsFollowEachOtherByTheirUnits)
{
    auto form = OpenTools({{L"pic.bmp", EncodeBmp(Marked(640, 480))}}, L"pic.bmp");
    TToolBox& t = *form->ToolBox;
    struct Step {
        const char* what;
        std::function<void()> act;
        const wchar_t *width, *height;
        bool buttons;   // Resize and Revert enabled
    };
    const Step steps[] = {
        {"shown", [] {}, L"640", L"480", false},
        {"width typed", [&] { Type(t.EditWidth, L"320"); }, L"320", L"240", true},
        {"height typed", [&] { Type(t.EditHeight, L"100"); }, L"133", L"100", true},
        {"the image's own width", [&] { Type(t.EditWidth, L"640"); }, L"640", L"480", false},
        {"width in percent", [&] { Choose(t.CmbWidthType, kPercent); }, L"100", L"480", false},
        {"Percent picked again", [&] { Choose(t.CmbWidthType, kPercent); }, L"100", L"480", false},
        {"percent typed", [&] { Type(t.EditWidth, L"50"); }, L"50", L"240", true},
        {"height in percent", [&] { Choose(t.CmbHeightType, kPercent); }, L"50", L"50", true},
        {"text copied between percentages", [&] { Type(t.EditWidth, L"050"); }, L"050", L"050", true},
        {"back to pixels", [&] { Choose(t.CmbHeightType, kPixels); }, L"50", L"240", true},
        {"letters filtered", [&] { Type(t.EditWidth, L"x7y5%"); }, L"75", L"360", true},
        {"a point passes and counts as 0", [&] { Type(t.EditWidth, L"7.5"); }, L"7.5", L"0", true},
        {"Revert", [&] { ClickButton(t.SBtnResetSizes); }, L"100", L"480", false},
        {"unconstrained: 481 is still 100 % but not the image's height",
         [&] {
             PostClick(t.CbProportional.Handle());
             Type(t.EditHeight, L"481");
         },
         L"100", L"481", true},
        {"width back in pixels", [&] { Choose(t.CmbWidthType, kPixels); }, L"640", L"481", true},
        {"the image's own size", [&] { Type(t.EditHeight, L"480"); }, L"640", L"480", false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        EXPECT_EQ(t.EditWidth.Text(), s.width);
        EXPECT_EQ(t.EditHeight.Text(), s.height);
        EXPECT_EQ(t.SBtnResize.Enabled(), s.buttons);
        EXPECT_EQ(t.SBtnResetSizes.Enabled(), s.buttons);
        EXPECT_FALSE(t.UpdatingProportions);
    }
    EXPECT_EQ(Status(*form), L"pic.bmp (640x480)");
    EXPECT_TRUE(NothingShown(errors));
}

TEST_F(Tools, PercentagesResizeWithHalvesToTheEvenNeighbour)
{
    // 50 % of 5 is 2.5 and of 7 is 3.5; of a height of 6 it is 3.
    for (int width : {5, 7}) {
        SCOPED_TRACE(width);
        auto form = OpenTools({{L"small.bmp", EncodeBmp(Marked(width, 6))}}, L"small.bmp");
        TToolBox& t = *form->ToolBox;
        Choose(t.CmbWidthType, kPercent);
        Type(t.EditWidth, L"50");
        EXPECT_EQ(t.WidthPixels(), width == 5 ? 2 : 4);
        EXPECT_EQ(t.EditHeight.Text(), L"3");
        ClickButton(t.SBtnResize);
        EXPECT_EQ(Status(*form), width == 5 ? L"small.bmp (2x3) (Modified)" : L"small.bmp (4x3) (Modified)");
        EXPECT_TRUE(form->TestState().Resized);
        // The fields show the new size: the width 100 % of it.
        EXPECT_EQ(t.EditWidth.Text(), L"100");
        EXPECT_EQ(t.EditHeight.Text(), L"3");
        EXPECT_FALSE(t.SBtnResize.Enabled());
    }
}

TEST_F(Tools, ASidewaysPhotoIsSizedAsItIsShown)
{
    // Stored 64 × 48 with orientation 6: the fields, their proportions and
    // the resize all take the upright 48 × 64.
    using namespace jpeg_material;
    const JpegSegment exif{0xE1, ExifPayload({})};
    auto form = OpenTools({{L"camera.jpg", WithSegments(EncodeJpeg(Marked(64, 48)), {exif}, false)}}, L"camera.jpg");
    TToolBox& t = *form->ToolBox;
    EXPECT_EQ(t.EditWidth.Text() + L"x" + t.EditHeight.Text(), L"48x64");
    Type(t.EditWidth, L"24");
    EXPECT_EQ(t.EditHeight.Text(), L"32");
    ClickButton(t.SBtnResize);
    EXPECT_EQ(Status(*form), L"camera.jpg (24x32) (Modified)");
    EXPECT_TRUE(NothingShown(errors));
}

TEST_F(Tools, ButtonsActOnTheCurrentImageAndTheWindowNeverBlocks)
{
    auto form = OpenTools({{L"pic.bmp", EncodeBmp(Marked(640, 480))}}, L"pic.bmp");
    TMainForm& f = *form;
    TToolBox& t = *f.ToolBox;
    EXPECT_TRUE(f.Enabled());
    EXPECT_FALSE(t.SBtnSave.Enabled());

    // A size of 0 pixels is refused; the image and the fields stay.
    for (auto [typed, shown] : {std::pair{L"0", L"0"}, {L"\b", L""}, {L".", L"."}}) {
        errors.clear();
        Type(t.EditWidth, typed);
        ClickButton(t.SBtnResize);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].message, L"Invalid Image Size Constraints");
        EXPECT_EQ(Status(f), L"pic.bmp (640x480)");
        EXPECT_EQ(t.EditWidth.Text(), shown);
        EXPECT_FALSE(f.TestState().Modified || t.SBtnSave.Enabled());
    }
    errors.clear();

    Type(t.EditWidth, L"320");
    ClickButton(t.SBtnResize);
    EXPECT_EQ(Status(f), L"pic.bmp (320x240) (Modified)");
    EXPECT_TRUE(t.SBtnSave.Enabled() && f.SBtnSave.Enabled());
    // A quarter turn, here or in the main window, turns the fields with the image.
    Type(t.EditWidth, L"160");
    ClickButton(t.SBtnRotateCW);
    EXPECT_EQ(Status(f), L"pic.bmp (240x320) (Modified)");
    EXPECT_EQ(RedCorner(f.TestState().CurrentPicture.Graphic()->Pixels()), "TR");
    EXPECT_EQ(t.EditWidth.Text() + L"x" + t.EditHeight.Text(), L"120x160");
    Press('L', ssCtrl, f.EdtKeyGrab.Handle());
    EXPECT_EQ(Status(f), L"pic.bmp (320x240) (Modified)");
    EXPECT_EQ(t.EditWidth.Text() + L"x" + t.EditHeight.Text(), L"160x120");
    EXPECT_TRUE(t.SBtnResize.Enabled());
    for (auto [button, corner] : {std::pair{&t.SBtnRotateFull, "BR"}, {&t.SBtnFlipHorz, "BL"}, {&t.SBtnFlipVert, "TL"},
                                  {&t.SBtnRotateCCW, "BL"}}) {
        ClickButton(*button);
        EXPECT_EQ(RedCorner(f.TestState().CurrentPicture.Graphic()->Pixels()), corner);
    }
    EXPECT_EQ(t.EditWidth.Text() + L"x" + t.EditHeight.Text(), L"120x160");

    ClickButton(t.SBtnSave);
    EXPECT_EQ(DecodeBmp(ReadBytes(folder / L"pic.bmp")).Width(), 240);
    EXPECT_FALSE(t.SBtnSave.Enabled() || f.SBtnSave.Enabled());
    // The save button lost the focus: Escape still reaches the window.
    EXPECT_EQ(GetFocus(), t.EditWidth.Handle());
    Type(t.EditWidth, L"480");
    WriteBmp(folder / L"pic.bmp", 50, 40);
    ClickButton(t.SBtnReload);
    EXPECT_EQ(Status(f), L"pic.bmp (50x40)");
    EXPECT_EQ(t.EditWidth.Text() + L"x" + t.EditHeight.Text(), L"50x40");
    EXPECT_TRUE(NothingShown(errors));
}

TEST_F(Tools, ClosingHidesAndResetsTheFields)
{
    auto form = OpenTools({{L"pic.bmp", EncodeBmp(Marked(640, 480))}}, L"pic.bmp");
    TToolBox& t = *form->ToolBox;
    const std::pair<const char*, std::function<void()>> closers[] = {
        {"Escape", [&] { Press(VK_ESCAPE, 0, t.EditWidth.Handle()); }},
        {"close box", [&] { PostMessageW(t.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); Pump(); }},
        {"Close", [&] { ClickButton(t.SBtnCancel); }},
    };
    for (const auto& [what, close] : closers) {
        SCOPED_TRACE(what);
        Press('T', ssCtrl, form->EdtKeyGrab.Handle());
        ASSERT_TRUE(t.Visible());
        EXPECT_EQ(GetFocus(), t.EditWidth.Handle());
        Type(t.EditWidth, L"10");
        close();
        EXPECT_FALSE(t.Visible());
        EXPECT_TRUE(IsWindow(form->Handle()));
        EXPECT_EQ(t.EditWidth.Text() + L"x" + t.EditHeight.Text(), L"640x480");
    }
    // Tab walks the fields in their order.
    Press('T', ssCtrl, form->EdtKeyGrab.Handle());
    for (HWND next : {t.CmbWidthType.Handle(), t.EditHeight.Handle(), t.CmbHeightType.Handle(),
                      t.CbProportional.Handle(), t.SBtnReload.Handle()}) {
        Press(VK_TAB);
        EXPECT_EQ(GetFocus(), next);
    }

    // The slide show hides the window when it starts and when it goes on
    // after a pause; it cannot be shown while the show steps, but can while
    // it is paused.
    const HWND keys = form->EdtKeyGrab.Handle();
    form->SlideShowTimer.SetInterval(3600000);
    Press('S', 0, keys);
    ASSERT_TRUE(form->TestState().SlideShowActive);
    EXPECT_FALSE(t.Visible());
    Press('T', ssCtrl, keys);
    EXPECT_FALSE(t.Visible());
    Press('H', 0, keys);
    Press('T', ssCtrl, keys);
    EXPECT_TRUE(t.Visible());
    Press('H', 0, keys);
    EXPECT_FALSE(t.Visible());
    Press('S', 0, keys);
    ASSERT_FALSE(form->TestState().SlideShowActive);

    // Not without an image: once the last image is deleted the window closes.
    ClickButton(form->SBtnTools);
    ASSERT_TRUE(t.Visible());
    Press(VK_DELETE, 0, keys);
    EXPECT_TRUE(form->TestState().FileList.empty());
    EXPECT_FALSE(t.Visible());
    Press('T', ssCtrl, keys);
    EXPECT_FALSE(t.Visible());
}

// Every question and message of the program comes above the tools window
// (which lies where they do: all are centred) and takes the focus; the tools
// window stays above the main window.
TEST_F(Tools, QuestionsAndMessagesShowAboveTheToolsWindowAndTakeTheFocus)
{
    auto form = OpenTools({{L"pic.bmp", EncodeBmp(Marked(200, 150))}, {L"next.bmp", EncodeBmp(Marked(20, 10))}},
                          L"pic.bmp");
    TMainForm& f = *form;
    TToolBox& t = *f.ToolBox;
    auto topAt = [](int x, int y) { return GetAncestor(WindowFromPoint(POINT{x, y}), GA_ROOT); };
    // What the screen shows of a modal window: it is the window seen over
    // the part it shares with the tools window and at its own corners, and
    // the focus is in it.
    std::vector<std::wstring> seen;
    auto look = [&](HWND modal) {
        RECT r{}, tools{}, shared{};
        GetWindowRect(modal, &r);
        GetWindowRect(t.Handle(), &tools);
        const bool overlaps = IntersectRect(&shared, &r, &tools);
        const bool above = overlaps && topAt((shared.left + shared.right) / 2, (shared.top + shared.bottom) / 2) == modal &&
                           topAt(r.left + 4, r.top + 4) == modal && topAt(r.right - 5, r.bottom - 5) == modal;
        const HWND focus = GetFocus();
        const bool focused = GetForegroundWindow() == modal && (focus == modal || IsChild(modal, focus));
        wchar_t caption[128] = {};
        GetWindowTextW(modal, caption, 128);
        seen.push_back(std::wstring(caption) + (overlaps ? L"" : L" apart") + (above ? L"" : L" covered") +
                       (focused ? L"" : L" unfocused"));
    };
    auto answer = std::move(Application::ModalShownHook());
    Application::ModalShownHook() = [&](TForm& modal) {
        look(modal.Handle());
        answer(modal);
    };
    auto toolsAboveMain = [&] {
        RECT r{};
        GetWindowRect(t.Handle(), &r);
        return t.Visible() && topAt((r.left + r.right) / 2, (r.top + r.bottom) / 2) == t.Handle();
    };
    // The start-up splash has gone.
    for (const DWORD start = GetTickCount(); f.NewAboutBox->Visible() && GetTickCount() - start < 5000;)
        Pump();
    ASSERT_FALSE(f.NewAboutBox->Visible());
    ASSERT_TRUE(toolsAboveMain());

    // The error dialog: a width of 0 pixels.
    Type(t.EditWidth, L"0");
    ClickButton(t.SBtnResize);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(toolsAboveMain());
    // A message box: the file cannot be written.
    ClickButton(t.SBtnRotateCW);
    const std::wstring path = folder / L"pic.bmp";
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    std::vector<std::wstring> messages;
    {
        DialogDriver driver({[&](HWND box) {
                                 look(box);
                                 return true;
                             },
                             AcceptMessage(messages)});
        ClickButton(t.SBtnSave);
        EXPECT_TRUE(driver.Finished());
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(toolsAboveMain());
    // The question before the turned image is left.
    promptAnswer = 3;
    ClickButton(f.SBtnNext);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(f.TestState().CurrentFileName, L"next.bmp");
    EXPECT_TRUE(toolsAboveMain());

    // A message box has the program's title, or the system's own "Error".
    const std::wstring boxTitle = Application::Title().empty() ? L"Error" : Application::Title();
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"Error", boxTitle, L"Overwrite current image file with modified image?"}));
}

namespace {

// Stands for the main window behind the narrow door: an image of a fixed
// size, and every command asked of it written down.
class RecordedCommands : public ImageCommands {
public:
    ImageSize CurrentImageSize() const override { return {true, 200, 100}; }
    void TurnImage(TransformMode mode) override { asked.push_back(L"turn " + std::to_wstring(int(mode))); }
    void ResizeImage(int width, int height) override
    {
        asked.push_back(L"resize " + std::to_wstring(width) + L"x" + std::to_wstring(height));
    }
    void ReloadImage() override { asked.push_back(L"reload"); }
    void SaveImage() override { asked.push_back(L"save"); }
    void SendImage(EmailSize size) override { asked.push_back(L"send " + std::to_wstring(int(size))); }
    void ShowLongHint(const std::wstring& longHint) override {}
    std::vector<std::wstring> asked;
};

} // namespace

// The tools window and the e-mail size dialog need nothing of the main
// window but its commands: each button asks exactly one of them.
TEST(ImageCommandsDoor, EachButtonAsksItsOneCommand)
{
    RecordedCommands commands;
    TToolBox tools(commands);
    tools.ResetSizeFields();
    EXPECT_EQ(tools.EditWidth.Text(), L"200");
    EXPECT_EQ(tools.EditHeight.Text(), L"100");
    tools.SetSaveEnabled(true);
    TEmailSizeDlg email(commands);
    const std::pair<TButton*, std::wstring> cases[] = {
        {&tools.SBtnRotateCW, L"turn " + std::to_wstring(int(TransformMode::RotateClockwise))},
        {&tools.SBtnRotateCCW, L"turn " + std::to_wstring(int(TransformMode::RotateCounterClockwise))},
        {&tools.SBtnRotateFull, L"turn " + std::to_wstring(int(TransformMode::Rotate180))},
        {&tools.SBtnFlipHorz, L"turn " + std::to_wstring(int(TransformMode::FlipHorizontal))},
        {&tools.SBtnFlipVert, L"turn " + std::to_wstring(int(TransformMode::FlipVertical))},
        {&tools.SBtnReload, L"reload"},
        {&tools.SBtnSave, L"save"},
        {&email.SBtnSmall, L"send " + std::to_wstring(int(EmailSize::Small))},
        {&email.SbtnMedium, L"send " + std::to_wstring(int(EmailSize::Medium))},
        {&email.SbtnLarge, L"send " + std::to_wstring(int(EmailSize::Large))},
    };
    for (const auto& [button, command] : cases) {
        commands.asked.clear();
        button->Click();
        EXPECT_EQ(commands.asked, std::vector<std::wstring>{command}) << Narrow(command);
    }
    // The fields in pixels give the size asked for.
    commands.asked.clear();
    tools.EditWidth.SetText(L"50");
    tools.EditHeight.SetText(L"25");
    tools.SBtnResize.Click();
    EXPECT_EQ(commands.asked, std::vector<std::wstring>{L"resize 50x25"});
}
