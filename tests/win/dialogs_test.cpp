// The error, prompt and about windows with their real modal loops: each
// test answers a shown window by posting real clicks and keys to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include <string>
#include <vector>

#include "base/Numbers.h"
#include "dialogs/ErrorDlgUnit.h"
#include "dialogs/HelpDlgUnit.h"
#include "dialogs/NewAboutFrmUnit.h"
#include "tests/win/TestSupport.h"

namespace {

struct ModalHook {
    explicit ModalHook(std::function<void(TForm&)> hook) { Application::ModalShownHook() = std::move(hook); }
    ~ModalHook() { Application::ModalShownHook() = nullptr; }
};

void PostClick(TWindow& control, int x = 5, int y = 5)
{
    PostMessageW(control.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(control.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// A key as the keyboard delivers it to the focused window: key down (the
// loop's TranslateMessage makes the character), key up.
void PostKey(WORD vk)
{
    HWND focus = GetFocus();
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(focus, WM_KEYDOWN, vk, LPARAM(1 | (scan << 16)));
    PostMessageW(focus, WM_KEYUP, vk, LPARAM(1 | (scan << 16) | (1u << 30) | (1u << 31)));
}

void PostCloseBox(TForm& form) { PostMessageW(form.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }

void SetOuterWidth(TForm& form, int width)
{
    SetWindowPos(form.Handle(), nullptr, 0, 0, width, form.Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int R(double x) { return int(RoundHalfEven(x)); }

using test_support::PumpUntil;

} // namespace

// ---------------------------------------------------------------- TErrorDlg

TEST(ErrorDlg, SingleButtonIsCentredWithHalvesToTheEvenNeighbour)
{
    TErrorDlg dlg;
    // Outer width -> left edge of the 73-pixel OK button.
    const std::pair<int, int> cases[] = {{314, 120}, {313, 120}, {316, 122}, {315, 121}};
    for (auto [width, left] : cases) {
        SetOuterWidth(dlg, width);
        int seen = -1;
        ModalHook hook([&](TForm&) {
            seen = dlg.SbtnOkay.Left();
            PostKey(VK_RETURN);
        });
        EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Ok);
        EXPECT_EQ(seen, left) << "outer width " << width;
    }
    EXPECT_EQ(dlg.SbtnOkay.Width(), Scale(73));
}

TEST(ErrorDlg, DeleteConfirmationAnswersAndTheDefaultComesBack)
{
    TErrorDlg dlg;
    auto configure = [&] {
        dlg.SetErrorText(L"Delete photo.jpg?");
        dlg.SetText(L"Confirm Delete");
        dlg.SbtnOkay.SetText(L"Yes");
        dlg.SBtnCancel.SetText(L"No");
        dlg.SBtnCancel.SetVisible(true);
        dlg.PnlRed.SetVisible(false);
    };
    struct Seen {
        std::wstring title, yes, no;
        bool red = true;
        int okLeft = 0, cancelLeft = 0;
    } seen;
    auto record = [&] {
        seen = {dlg.Text(), dlg.SbtnOkay.Text(), dlg.SBtnCancel.Text(), dlg.PnlRed.Visible(), dlg.SbtnOkay.Left(),
                dlg.SBtnCancel.Left()};
    };

    // Escape answers No; two buttons sit 10 pixels apart around R(W / 2).
    configure();
    SetOuterWidth(dlg, 315);   // 157.5 -> 158
    {
        ModalHook hook([&](TForm&) { record(); PostKey(VK_ESCAPE); });
        EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Cancel);
    }
    EXPECT_EQ(seen.title, L"Confirm Delete");
    EXPECT_EQ(seen.yes, L"Yes");
    EXPECT_EQ(seen.no, L"No");
    EXPECT_FALSE(seen.red);
    EXPECT_EQ(seen.okLeft, 158 - 73 - 5);
    EXPECT_EQ(seen.cancelLeft, 158 + 5);

    // Whatever the caller changed, closing restores the default; the text stays.
    EXPECT_EQ(dlg.Text(), L"Error");
    EXPECT_TRUE(dlg.PnlRed.Visible());
    EXPECT_EQ(dlg.SbtnOkay.Text(), L"OK");
    EXPECT_EQ(dlg.SBtnCancel.Text(), L"Cancel");
    EXPECT_FALSE(dlg.SBtnCancel.Visible());
    EXPECT_EQ(dlg.MmoError.Text(), L"Delete photo.jpg?");

    // Enter answers Yes.
    configure();
    SetOuterWidth(dlg, 317);   // 158.5 -> 158
    {
        ModalHook hook([&](TForm&) { record(); PostKey(VK_RETURN); });
        EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Ok);
    }
    EXPECT_EQ(seen.okLeft, 158 - 73 - 5);
    EXPECT_EQ(seen.cancelLeft, 158 + 5);

    // The close box and a click on No answer 2, a click on Yes 1.
    configure();
    {
        ModalHook hook([&](TForm&) { PostCloseBox(dlg); });
        EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Cancel);
    }
    configure();
    {
        ModalHook hook([&](TForm&) { PostClick(dlg.SBtnCancel); });
        EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Cancel);
    }
    configure();
    {
        ModalHook hook([&](TForm&) { PostClick(dlg.SbtnOkay); });
        EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Ok);
    }

    // The next failure report: title "Error", red frame, one centred OK.
    SetOuterWidth(dlg, 314);
    bool shown = false;
    {
        ModalHook hook([&](TForm&) {
            shown = true;
            record();
            EXPECT_FALSE(dlg.SBtnCancel.Visible());
            PostKey(VK_ESCAPE);
        });
        Guarded([] { throw Failure(L"Cannot open file"); });
    }
    EXPECT_TRUE(shown);
    EXPECT_EQ(seen.title, L"Error");
    EXPECT_TRUE(seen.red);
    EXPECT_EQ(seen.yes, L"OK");
    EXPECT_EQ(seen.okLeft, 120);
}

TEST(ErrorDlg, MessageTextBecomesTheWholeMemo)
{
    TErrorDlg dlg;
    dlg.SetErrorText(L"first\nsecond\r\nthird");
    EXPECT_EQ(dlg.MmoError.Lines(), (std::vector<std::wstring>{L"first", L"second", L"third"}));
    dlg.SetErrorText(L"");
    EXPECT_EQ(dlg.MmoError.Text(), L"");
    // Key presses reach the window first: Enter in the focused memo answers.
    std::wstring focusedClass;
    {
        ModalHook hook([&](TForm&) {
            wchar_t name[32] = {};
            GetClassNameW(GetFocus(), name, 32);
            focusedClass = name;
            PostKey(VK_RETURN);
        });
        EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Ok);
    }
    EXPECT_EQ(_wcsicmp(focusedClass.c_str(), L"Edit"), 0) << "the message is first in tab order";
    EXPECT_EQ(dlg.MmoError.Text(), L"");
}

namespace {

// What a multi-line box shows: its lines as laid out, whether each ends
// inside the box, and whether it scrolls.
struct MemoView {
    std::vector<std::wstring> lines;
    bool allInside = true;
    bool scrolls = false;
    HWND caret = nullptr;
};

MemoView ViewOf(HWND memo)
{
    MemoView v;
    RECT shown{};
    SendMessageW(memo, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&shown));
    WindowDc dc(memo);
    SelectedObject font(dc.Get(), reinterpret_cast<HGDIOBJ>(SendMessageW(memo, WM_GETFONT, 0, 0)));
    std::wstring text(size_t(GetWindowTextLengthW(memo)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(memo, text.data(), int(text.size()))));
    const int count = int(SendMessageW(memo, EM_GETLINECOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const int start = int(SendMessageW(memo, EM_LINEINDEX, WPARAM(i), 0));
        const int length = int(SendMessageW(memo, EM_LINELENGTH, WPARAM(start), 0));
        v.lines.push_back(text.substr(size_t(start), size_t(length)));
        if (length == 0)
            continue;
        const LRESULT last = SendMessageW(memo, EM_POSFROMCHAR, WPARAM(start + length - 1), 0);
        SIZE glyph{};
        GetTextExtentPoint32W(dc.Get(), text.c_str() + start + length - 1, 1, &glyph);
        if (short(LOWORD(last)) + glyph.cx > shown.right)
            v.allInside = false;
    }
    SCROLLINFO bar{sizeof(bar), SIF_RANGE | SIF_PAGE};
    v.scrolls = GetScrollInfo(memo, SB_VERT, &bar) && bar.nMax - bar.nMin + 1 > int(bar.nPage) && bar.nPage > 0;
    GUITHREADINFO gui{sizeof(gui)};
    if (GetGUIThreadInfo(GetCurrentThreadId(), &gui))
        v.caret = gui.hwndCaret;
    return v;
}

std::wstring Joined(const std::vector<std::wstring>& lines)
{
    std::wstring all;
    for (const std::wstring& line : lines)
        all += line;
    return all;
}

} // namespace

TEST(ErrorDlg, LongMessagesWrapAtTheBoxWidthAndShowNoCaret)
{
    TErrorDlg dlg;
    const std::wstring path = L"File \"C:\\Users\\Someone\\Pictures\\Holiday photos 2024\\Day 3 - the long walk "
                              L"along the coast to the lighthouse\\IMG_20240612_153012.png\" Does Not Exist";
    std::wstring tall;
    for (int i = 0; i < 12; ++i)
        tall += L"Line " + std::to_wstring(i) + L" of a message taller than its box.\n";
    struct Case {
        std::wstring message;
        bool scrolls;
    };
    for (const Case& c : {Case{path, false}, Case{tall, true}}) {
        dlg.SetErrorText(c.message);
        MemoView v;
        ModalHook hook([&](TForm&) {
            v = ViewOf(dlg.MmoError.Handle());
            PostKey(VK_RETURN);
        });
        dlg.ShowModal();
        SCOPED_TRACE(Narrow(c.message.substr(0, 20)));
        EXPECT_GE(v.lines.size(), 2u);
        EXPECT_TRUE(v.allInside) << "every line ends inside the box";
        std::wstring expected = c.message;
        std::erase(expected, L'\n');
        EXPECT_EQ(Joined(v.lines), expected) << "nothing is cut off";
        EXPECT_EQ(v.scrolls, c.scrolls);
        EXPECT_NE(v.caret, dlg.MmoError.Handle()) << "no caret in a message that cannot be edited";
    }
    // The prompt's detail box can be edited: its caret shows.
    THelpDlg help;
    help.SetDetailLines({L"editable"});
    HWND caret = nullptr;
    {
        ModalHook hook([&](TForm&) {
            caret = ViewOf(help.MmoHelpDetail.Handle()).caret;
            PostKey(VK_RETURN);
        });
        help.ShowModal();
    }
    EXPECT_EQ(caret, help.MmoHelpDetail.Handle());
}

TEST(ErrorDlg, FailureFromATimerIsReportedOnceAndTheProgramGoesOn)
{
    TErrorDlg dlg;
    std::vector<std::wstring> shown;
    ModalHook hook([&](TForm& form) {
        EXPECT_EQ(&form, &dlg);
        shown.push_back(dlg.MmoError.Text());
        PostKey(VK_RETURN);
    });
    TTimer failing;
    int ticks = 0;
    failing.onTimer = [&] {
        ++ticks;
        failing.SetEnabled(false);
        throw Failure(L"Slide show step failed");
    };
    failing.SetInterval(10);
    failing.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return ticks > 0 && !dlg.Modal(); }));

    // The loop goes on: the next events are handled, nothing else is reported.
    TTimer next;
    int later = 0;
    next.onTimer = [&] {
        if (++later == 3)
            next.SetEnabled(false);
    };
    next.SetInterval(10);
    next.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return later >= 3; }));
    EXPECT_EQ(ticks, 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], L"Slide show step failed");

    // A silent abort is not shown at all.
    TTimer silent;
    bool aborted = false;
    silent.onTimer = [&] {
        aborted = true;
        silent.SetEnabled(false);
        throw SilentAbort();
    };
    silent.SetInterval(10);
    silent.SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return aborted; }));
    Application::ProcessMessages();
    EXPECT_EQ(shown.size(), 1u);
}

TEST(ErrorDlg, SecondFailureWhileOpenIsShownAfterTheFirstCloses)
{
    TErrorDlg dlg;
    std::vector<std::wstring> shown;
    std::vector<std::wstring> titles;
    TTimer failing;
    failing.onTimer = [&] {
        failing.SetEnabled(false);
        PostClick(dlg.SbtnOkay);   // the user answers the first report afterwards
        throw Failure(L"second");
    };
    failing.SetInterval(10);
    ModalHook hook([&](TForm&) {
        shown.push_back(dlg.MmoError.Text());
        titles.push_back(dlg.Text());
        if (shown.size() == 1)
            failing.SetEnabled(true);   // fails while the first report is open
        else
            PostKey(VK_RETURN);
    });
    // A caller's confirmation is open when the failure comes: its text and
    // answer are not disturbed.
    dlg.SetText(L"Confirm Delete");
    dlg.SetErrorText(L"first");
    EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Ok);
    EXPECT_EQ(dlg.MmoError.Text(), L"first");
    ASSERT_TRUE(dlg.PendingReport().has_value());
    ASSERT_TRUE(PumpUntil([&] { return shown.size() >= 2 && !dlg.Modal(); }));
    Application::ProcessMessages();
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"first", L"second"}));
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"Confirm Delete", L"Error"}));
    EXPECT_FALSE(dlg.PendingReport().has_value());
}

// ---------------------------------------------------------------- THelpDlg

namespace {

struct HelpLayout {
    RECT head{}, frame{}, memo{}, ok{}, cancel{}, optional{};
    int outerWidth = 0, outerHeight = 0, clientWidth = 0, clientHeight = 0;
};

RECT Rect(const TGraphicControl& c) { return c.BoundsRect(); }
RECT Rect(const TWindow& c) { return c.BoundsRect(); }

// Shows the prompt through the callers' sequence, records the layout and
// answers with a click on the first button.
HelpLayout ShowAndMeasure(THelpDlg& dlg, const std::wstring& headline, int buttons)
{
    HelpLayout l;
    ModalHook hook([&](TForm&) {
        l = {Rect(dlg.LblHelpText), Rect(dlg.Bevel1), Rect(dlg.MmoHelpDetail), Rect(dlg.SbtnOkay),
             Rect(dlg.SBtnCancel), Rect(dlg.SbtnOptional), dlg.Width(), dlg.Height(), dlg.ClientWidth(),
             dlg.ClientHeight()};
        PostClick(dlg.SbtnOkay);
    });
    std::vector<std::wstring> captions = {L"Yes", L"No", L"Discard Changes"};
    captions.resize(size_t(buttons));
    EXPECT_EQ(dlg.Prompt(L"Disable Auto-fit Mode?", headline, {L"detail one", L"detail two"}, captions), ModalAnswer::Ok);
    return l;
}

int H(const RECT& r) { return r.bottom - r.top; }
int Wd(const RECT& r) { return r.right - r.left; }

} // namespace

// One line of the headline font as the system draws it, and the metrics of
// bold Tahoma at the same size.
TEXTMETRICW Metrics(const wchar_t* face)
{
    WindowDc screen;
    SelectedObject font(screen.Get(), MakeFont(face, Scale(13), true));
    TEXTMETRICW tm{};
    GetTextMetricsW(screen.Get(), &tm);
    return tm;
}

TEST(HelpDlg, OneLineHeadlineKeepsTheDesignedFrame)
{
    THelpDlg dlg;
    // The dialog font is Tahoma (the prefix has it, as Windows does), whose
    // 13-pixel bold line is 16 pixels high: the designed frame is 113.
    const TEXTMETRICW dialog = Metrics(L"MS Shell Dlg 2"), tahoma = Metrics(L"Tahoma");
    EXPECT_EQ(dialog.tmHeight, tahoma.tmHeight);
    EXPECT_EQ(dialog.tmAveCharWidth, tahoma.tmAveCharWidth);
    const int line = int(dialog.tmHeight);
    EXPECT_EQ(line, Scale(16));
    for (const wchar_t* headline : {L"Auto-fit mode is on.", L""}) {
        HelpLayout l = ShowAndMeasure(dlg, headline, 1);
        SCOPED_TRACE(headline);
        EXPECT_EQ(H(l.head), line);
        EXPECT_EQ(Wd(l.head), Scale(338));
        EXPECT_EQ(H(l.frame), line + Scale(65) + Scale(32));
        EXPECT_EQ(Wd(l.frame), Scale(338) + Scale(16));
        EXPECT_EQ(l.memo.top, l.head.bottom + Scale(8));
        EXPECT_EQ(Wd(l.memo), Wd(l.head));
        EXPECT_EQ(H(l.memo), Scale(65));
        EXPECT_EQ(l.ok.top, l.frame.bottom + Scale(8));
        EXPECT_EQ(l.clientHeight, l.ok.bottom + Scale(8));
        EXPECT_EQ(l.clientWidth, l.frame.right + Scale(6));
        EXPECT_GE(l.outerWidth, Scale(350));
        EXPECT_GE(l.outerHeight, Scale(150));
        EXPECT_EQ(l.ok.left, R((l.outerWidth - Wd(l.ok)) / 2.0));
    }
}

TEST(HelpDlg, LongHeadlineWrapsAt338AndPushesEverythingDown)
{
    THelpDlg dlg;
    HelpLayout one = ShowAndMeasure(dlg, L"Short headline.", 2);
    HelpLayout two = ShowAndMeasure(
        dlg, L"Auto-fit mode must be switched off before the picture can be zoomed in or out.", 2);
    HelpLayout three = ShowAndMeasure(
        dlg,
        L"Auto-fit mode must be switched off before the picture can be zoomed in or out, and this long headline "
        L"takes three lines.",
        2);
    EXPECT_EQ(Wd(two.head), Scale(338));
    EXPECT_EQ(H(two.head), 2 * H(one.head));
    EXPECT_EQ(H(three.head), 3 * H(one.head));
    int line = H(one.head);
    EXPECT_EQ(H(two.frame), H(one.frame) + line);
    EXPECT_EQ(two.memo.top, one.memo.top + line);
    EXPECT_EQ(two.ok.top, one.ok.top + line);
    EXPECT_EQ(two.outerHeight, one.outerHeight + line);
    EXPECT_EQ(three.outerHeight, one.outerHeight + 2 * line);
    EXPECT_EQ(two.outerWidth, one.outerWidth);
    EXPECT_EQ(Wd(two.frame), Wd(one.frame));
}

TEST(HelpDlg, SingleWordWiderThanTheWrapWidthWidensFrameAndWindow)
{
    THelpDlg dlg;
    HelpLayout narrow = ShowAndMeasure(dlg, L"C:\\short.txt", 1);
    HelpLayout wide = ShowAndMeasure(
        dlg, L"C:\\Pictures\\AVeryLongFolderNameWithoutAnyBlanks\\AndAnotherLongName\\document.txt", 1);
    EXPECT_GT(Wd(wide.head), Scale(338));
    EXPECT_EQ(Wd(wide.frame), Wd(wide.head) + Scale(16));
    EXPECT_EQ(wide.clientWidth, wide.frame.right + Scale(6));
    EXPECT_EQ(wide.outerWidth - narrow.outerWidth, Wd(wide.head) - Scale(338));
    EXPECT_EQ(Wd(wide.memo), Wd(wide.head));
    // The next caller narrows it again.
    HelpLayout again = ShowAndMeasure(dlg, L"C:\\short.txt", 1);
    EXPECT_EQ(again.outerWidth, narrow.outerWidth);
}

TEST(HelpDlg, ButtonRowsForTwoAndThreeButtons)
{
    THelpDlg dlg;
    HelpLayout two = ShowAndMeasure(dlg, L"Disable auto-fit?", 2);
    int middle = R(two.outerWidth / 2.0);
    EXPECT_EQ(two.ok.left, middle - Scale(73) - Scale(5));
    EXPECT_EQ(two.cancel.left, middle + Scale(5));
    EXPECT_EQ(two.cancel.left - two.ok.right, Scale(10));
    EXPECT_EQ(two.cancel.top, two.ok.top);

    HelpLayout three = ShowAndMeasure(dlg, L"Overwrite?", 3);
    int row = Scale(73) + Scale(73) + Scale(99);
    EXPECT_EQ(three.ok.left, R((three.outerWidth - row) / 2.0) - Scale(10));
    EXPECT_EQ(three.cancel.left, three.ok.right + Scale(5));
    EXPECT_EQ(three.optional.left, three.cancel.right + Scale(5));
    EXPECT_EQ(Wd(three.optional), Scale(99));
    EXPECT_EQ(three.optional.top, three.ok.top);
    EXPECT_FALSE(dlg.SBtnCancel.Visible());
    EXPECT_FALSE(dlg.SbtnOptional.Visible());
    EXPECT_EQ(dlg.SbtnOptional.Text(), L"Discard Changes");   // captions persist
}

TEST(HelpDlg, AnswersFromButtonsKeysAndTheCloseBox)
{
    THelpDlg dlg;
    auto fill = [&] {
        dlg.SetText(L"Overwrite current image file with modified image?");
        dlg.SetHeadline(L"photo.jpg was modified.");
        dlg.SetDetailLines({L"Yes saves it."});
        dlg.SbtnOkay.SetText(L"Yes");
        dlg.SBtnCancel.SetText(L"No");
        dlg.SbtnOptional.SetText(L"Discard Changes");
        dlg.SBtnCancel.SetVisible(true);
        dlg.SbtnOptional.SetVisible(true);
    };
    // Enter in the editable detail box answers 1 and inserts nothing.
    fill();
    {
        ModalHook hook([&](TForm&) {
            dlg.MmoHelpDetail.SetFocus();
            PostKey(VK_RETURN);
        });
        EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Ok);
    }
    EXPECT_EQ(dlg.MmoHelpDetail.Lines(), std::vector<std::wstring>{L"Yes saves it."});
    EXPECT_FALSE(dlg.SBtnCancel.Visible());
    EXPECT_FALSE(dlg.SbtnOptional.Visible());
    // Escape does nothing: the window stays until the third button answers.
    fill();
    {
        bool stillOpen = false;
        TTimer later;
        later.onTimer = [&] {
            later.SetEnabled(false);
            stillOpen = dlg.Modal() && IsWindowVisible(dlg.Handle());
            PostClick(dlg.SbtnOptional);
        };
        later.SetInterval(50);
        ModalHook hook([&](TForm&) {
            PostKey(VK_ESCAPE);
            later.SetEnabled(true);
        });
        EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Optional);
        EXPECT_TRUE(stillOpen);
    }
    fill();
    {
        ModalHook hook([&](TForm&) { PostClick(dlg.SBtnCancel); });
        EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Cancel);
    }
    fill();
    {
        ModalHook hook([&](TForm&) { PostCloseBox(dlg); });
        EXPECT_EQ(dlg.ShowModal(), ModalAnswer::Cancel);
    }
}

TEST(HelpDlg, UnsupportedFormatMessage)
{
    THelpDlg dlg;
    // A previous prompt left other captions and texts behind.
    dlg.SbtnOkay.SetText(L"Yes");
    dlg.SetDetailLines({L"old"});
    struct {
        std::wstring title, headline, ok;
        std::vector<std::wstring> details;
        bool cancel = true, optional = true;
    } seen;
    int shows = 0;
    ModalHook hook([&](TForm&) {
        ++shows;
        seen = {dlg.Text(), dlg.LblHelpText.Caption(), dlg.SbtnOkay.Text(), dlg.MmoHelpDetail.Lines(),
                dlg.SBtnCancel.Visible(), dlg.SbtnOptional.Visible()};
        PostKey(VK_RETURN);
    });
    ShowUnsupportedFormatMessage(dlg, L"C:\\My Files\\notes.txt");
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(seen.title, L"Unsupported File Format");
    EXPECT_EQ(seen.headline, L"C:\\My Files\\notes.txt is not in a supported image format.");
    EXPECT_EQ(seen.ok, L"OK");
    EXPECT_FALSE(seen.cancel);
    EXPECT_FALSE(seen.optional);
    EXPECT_EQ(seen.details, (std::vector<std::wstring>{
                                L"The following image formats are supported:", L" - JPEG (.jpeg, .jpg)",
                                L" - Bitmap (.bmp)", L" - Icon (.ico) (Read-only)", L" - PNG (.png)",
                                L" - Windows Metafile (.wmf)", L" - Enhanced Metafile (.emf)"}));
}

// ---------------------------------------------------------------- TNewAboutBox

TEST(NewAboutBox, SplashDependsOnTheFirstArgumentsExactText)
{
    TNewAboutBox about;
    struct Case {
        std::vector<std::wstring> args;
        bool splash;
    };
    const Case cases[] = {
        {{}, true},
        {{L"/nosplash"}, false},
        {{L"/nosplash", L"C:\\a.jpg"}, false},
        {{L"/NOSPLASH"}, true},
        {{L"C:\\a.jpg", L"/nosplash"}, true},
        {{L"/nosplash "}, true},
    };
    for (const Case& c : cases) {
        about.StartUp(c.args);
        SCOPED_TRACE(c.args.empty() ? L"(none)" : c.args[0]);
        EXPECT_EQ(IsWindowVisible(about.Handle()) != FALSE, c.splash);
        EXPECT_EQ(about.AutoCloseTimer.Enabled(), c.splash);
        if (c.splash) {
            EXPECT_FALSE(about.SBtnClose.Visible());
            EXPECT_TRUE(GetWindowLongW(about.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
            about.Close();
        }
        EXPECT_TRUE(about.SBtnClose.Visible());
        EXPECT_FALSE(about.AutoCloseTimer.Enabled());
    }
}

TEST(NewAboutBox, SplashClosesItselfOnTheFirstTick)
{
    TNewAboutBox about;
    EXPECT_EQ(about.AutoCloseTimer.Interval(), 1000u);
    about.StartUp({L"C:\\a.jpg"});
    ASSERT_TRUE(IsWindowVisible(about.Handle()));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(about.Handle()); }));
    EXPECT_TRUE(about.SBtnClose.Visible());
    EXPECT_FALSE(about.AutoCloseTimer.Enabled());
}

TEST(NewAboutBox, AboutAskedForDuringTheSplashBecomesModal)
{
    TNewAboutBox about;
    about.ShowWithTimer();
    bool modal = false, closeShown = false, timer = true, visible = false;
    ModalHook hook([&](TForm&) {
        modal = about.Modal();
        visible = IsWindowVisible(about.Handle());
        closeShown = about.SBtnClose.Visible();
        timer = about.AutoCloseTimer.Enabled();
        PostClick(about.SBtnClose);
    });
    about.ShowModal();
    EXPECT_TRUE(modal);
    EXPECT_TRUE(visible);
    EXPECT_TRUE(closeShown);
    EXPECT_FALSE(timer);
    EXPECT_FALSE(IsWindowVisible(about.Handle()));
}

TEST(NewAboutBox, AQuestionComesAboveTheSplash)
{
    // Both centred on the screen: the splash, always on top, would cover
    // the question (a failure at start-up).
    TNewAboutBox about;
    TErrorDlg error;
    about.ShowWithTimer();
    bool splashShown = false;
    HWND seen = nullptr;
    ModalHook hook([&](TForm&) {
        splashShown = IsWindowVisible(about.Handle());
        RECT r{};
        GetWindowRect(error.Handle(), &r);
        seen = GetAncestor(WindowFromPoint(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}), GA_ROOT);
        PostClick(error.SbtnOkay);
    });
    error.SetErrorText(L"start-up failure");
    EXPECT_EQ(error.ShowModal(), ModalAnswer::Ok);
    EXPECT_TRUE(splashShown);
    EXPECT_EQ(seen, error.Handle());
    // Closed, it takes its own place among the windows again.
    EXPECT_FALSE(GetWindowLongW(error.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST(NewAboutBox, PhotographLabelsAndTheSupportLink)
{
    TNewAboutBox about;
    // The photograph stored in the program decodes at the size it is shown.
    EXPECT_EQ(about.ImgSplash.Picture().Width(), 321);
    EXPECT_EQ(about.ImgSplash.Picture().Height(), 241);
    for (TLabel* label : {&about.LblImageBrowser, &about.LblByCorvane, &about.LblBuild})
        EXPECT_EQ(label->Left() + label->Width(), Scale(474)) << label->Caption();
    // The texts of the right-hand column fit inside the window.
    for (TLabel* label : {&about.LblCopyright, &about.Label1})
        EXPECT_LE(label->Left() + label->Width(), Scale(484) - Scale(3)) << label->Caption();

    std::vector<std::wstring> opened;
    TNewAboutBox::OpenAddressHook() = [&](const std::wstring& address) { opened.push_back(address); };
    ModalHook hook([&](TForm&) {
        RECT r = about.Label1.BoundsRect();
        PostClick(about.Panel1, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
        PostClick(about.SBtnClose);
    });
    about.ShowModal();
    TNewAboutBox::OpenAddressHook() = nullptr;
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], L"https://corvane.com/pixavo");
    EXPECT_NE(opened[0].find(about.Label1.Caption()), std::wstring::npos);
}

namespace {

// The columns where a label, painted alone on white, puts ink: for its
// lowest row of ink and for all rows above it.
struct InkSpans {
    int textLeft = INT_MAX, textRight = -1, lowLeft = INT_MAX, lowRight = -1;
};

InkSpans PaintedInk(TLabel& label)
{
    const RECT r = label.BoundsRect();
    const int w = r.right - r.left, h = r.bottom - r.top;
    const test_support::Shot shot = test_support::Render(w, h, [&](HDC dc) {
        RECT all{0, 0, w, h};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetViewportOrgEx(dc, -r.left, -r.top, nullptr);
        label.Paint(dc);
    });
    auto inked = [&](int x, int y) { return GetRValue(shot.At(x, y)) < 0xC0; };
    int low = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (inked(x, y))
                low = y;
    InkSpans spans;
    for (int y = 0; y <= low; ++y)
        for (int x = 0; x < w; ++x)
            if (inked(x, y)) {
                int& left = y == low ? spans.lowLeft : spans.textLeft;
                int& right = y == low ? spans.lowRight : spans.textRight;
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return spans;
}

} // namespace

TEST(NewAboutBox, TitleAndLinkAreSetWithoutCollisions)
{
    TNewAboutBox about;
    // "Pixavo" in Comic Sans MS or, where the system lacks it, the nearest
    // face it has.
    {
        WindowDc dc;
        SelectedObject font(dc.Get(), about.LblPixavo.Font());
        wchar_t face[LF_FACESIZE] = {};
        GetTextFaceW(dc.Get(), LF_FACESIZE, face);
        EXPECT_TRUE(std::wstring(face) == L"Comic Sans MS" || std::wstring(face) == L"Comic Neue") << Narrow(face);
        EXPECT_TRUE(test_support::InstalledFont(face)) << Narrow(face);
    }
    // The title reads as one line: the product name ends at its right edge
    // and begins after "Pixavo", in type no smaller than 20 pixels.
    EXPECT_EQ(about.LblImageBrowser.Left() + about.LblImageBrowser.Width(), Scale(474));
    EXPECT_GE(about.LblImageBrowser.Left(), about.LblPixavo.Left() + about.LblPixavo.Width() + Scale(4));
    LOGFONTW title{};
    GetObjectW(about.LblImageBrowser.Font(), sizeof(title), &title);
    EXPECT_GE(-title.lfHeight, Scale(20));
    EXPECT_EQ(title.lfWeight, FW_BOLD);
    // The address follows "visit" one blank on, and ends inside the window.
    SIZE blank{};
    {
        WindowDc dc;
        SelectedObject font(dc.Get(), about.LblComments.Font());
        GetTextExtentPoint32W(dc.Get(), L" ", 1, &blank);
    }
    EXPECT_GE(about.Label1.Left(), about.LblComments.Left() + about.LblComments.Width() + blank.cx);
    EXPECT_LE(about.Label1.Left() + about.Label1.Width(), Scale(484) - Scale(3));
    // The link's underline runs under its text from end to end.
    const InkSpans link = PaintedInk(about.Label1);
    ASSERT_GE(link.textRight, link.textLeft);
    ASSERT_GE(link.lowRight, link.lowLeft);
    EXPECT_NEAR(link.lowLeft, link.textLeft, 1);
    EXPECT_NEAR(link.lowRight, link.textRight, 2);
    EXPECT_GT(link.lowRight - link.lowLeft, (link.textRight - link.textLeft) * 9 / 10) << "a line, not a descender";
}

// The about window shows the version that the program file's version
// resource carries: "Image Browser" with the first two numbers, "Build" with
// all four, the same four in the fixed and the text fields of the resource.
TEST(NewAboutBox, VersionTextsAgreeWithTheProgramFile)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring exe = self;
    exe = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"pixavo.exe";
    DWORD unused = 0;
    std::vector<uint8_t> info(GetFileVersionInfoSizeW(exe.c_str(), &unused));
    ASSERT_FALSE(info.empty()) << Narrow(exe);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, DWORD(info.size()), info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    auto number = [](DWORD part) { return std::to_wstring(part); };
    const std::wstring shortVersion = number(HIWORD(fixed->dwFileVersionMS)) + L"." + number(LOWORD(fixed->dwFileVersionMS));
    const std::wstring version = shortVersion + L"." + number(HIWORD(fixed->dwFileVersionLS)) + L"." +
                                 number(LOWORD(fixed->dwFileVersionLS));
    auto text = [&](const std::wstring& name) {
        wchar_t* value = nullptr;
        UINT size = 0;
        std::wstring path = L"\\StringFileInfo\\040904B0\\" + name;
        if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &size) || !value)
            return std::wstring(L"<none>");
        return std::wstring(value);
    };
    EXPECT_EQ(text(L"FileVersion"), version);
    EXPECT_EQ(text(L"ProductVersion"), version);

    TNewAboutBox about;
    EXPECT_EQ(about.LblImageBrowser.Caption(), L"Image Browser " + shortVersion);
    EXPECT_EQ(about.LblBuild.Caption(), L"Build " + version);
}

// Not a check: shows the three windows for screenshots
// (--gtest_also_run_disabled_tests --gtest_filter=DialogsLook.*).
TEST(DialogsLook, DISABLED_ShowForAWhile)
{
    auto wait = [](DWORD ms) { PumpUntil([] { return false; }, ms); };
    TNewAboutBox about;
    about.ShowWithTimer();
    about.AutoCloseTimer.SetEnabled(false);
    wait(4000);
    about.Close();
    TErrorDlg err;
    err.SetErrorText(L"File \"C:\\Users\\Someone\\Pictures\\Holiday photos 2024\\Day 3 - the long walk along the "
                     L"coast to the lighthouse and back\\IMG_20240612_153012.png\" Does Not Exist");
    TTimer t;
    t.SetInterval(4000);
    t.onTimer = [&] {
        if (err.Modal())
            err.SetModalResult(ModalAnswer::Ok);
    };
    t.SetEnabled(true);
    err.ShowModal();
    THelpDlg help;
    help.SbtnOkay.SetText(L"Yes");
    help.SBtnCancel.SetText(L"No");
    help.SbtnOptional.SetText(L"Discard Changes");
    help.SBtnCancel.SetVisible(true);
    help.SbtnOptional.SetVisible(true);
    help.SetText(L"Overwrite current image file with modified image?");
    help.SetHeadline(L"C:\\Pictures\\photo.jpg has been modified. Do you want to save the changes over the file?");
    help.SetDetailLines({L"Yes: save over the file.", L"No: keep the file as it is.", L"Discard Changes: forget them."});
    t.onTimer = [&] {
        if (help.Modal())
            help.SetModalResult(ModalAnswer::Ok);
    };
    help.ShowModal();
    ShowUnsupportedFormatMessage(help, L"C:\\My Files\\notes.txt");
}
