// What the main window shows, read back from the screen: the fonts of the
// prefix, the message panel's text, the hints of disabled buttons, repainting
// after a resize and the smallest size the user can drag the window to.
#include <cmath>

#include "tests/win/ControlTables.h"
#include "tests/win/ViewerTestSupport.h"
#include "tests/win/settings_guard.h"

using namespace viewer_test;

namespace {

Shot Capture(HWND window)
{
    RECT r{};
    GetClientRect(window, &r);
    WindowDc source(window);
    return Render(r.right, r.bottom, [&](HDC dc) { BitBlt(dc, 0, 0, r.right, r.bottom, source.Get(), 0, 0, SRCCOPY); });
}

int Distance(COLORREF a, COLORREF b)
{
    return std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
           std::abs(GetBValue(a) - GetBValue(b));
}

// A text drawn black on white in a font of the dialog face.
Shot Text(const wchar_t* text, int pixels, bool bold)
{
    return Render(Scale(240), Scale(30), [&](HDC dc) {
        RECT all{0, 0, Scale(240), Scale(30)};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SelectedObject font(dc, MakeFont(L"MS Shell Dlg 2", pixels, bold));
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkMode(dc, TRANSPARENT);
        TextOutW(dc, 2, 2, text, int(wcslen(text)));
    });
}

class Appearance : public ViewerTest {
protected:
    settings_test::Guard settings;   // the background colour is stored
};

} // namespace

TEST(PrefixFonts, CaptionSymbolsSmoothSmallTextAndBoldThatIsBold)
{
    // The caption buttons draw their symbols from Marlett.
    EXPECT_TRUE(test_support::InstalledFont(L"Marlett"));
    // 13-pixel dialog text is smoothed (grey edges), and bold has more ink.
    const Shot regular = Text(L"Loading Image, Please Wait...", Scale(13), false);
    const Shot bold = Text(L"Loading Image, Please Wait...", Scale(13), true);
    auto ink = [](const Shot& s) {
        long total = 0, grey = 0;
        for (COLORREF c : s.pixels) {
            total += 255 - GetGValue(c);
            grey += GetGValue(c) > 0 && GetGValue(c) < 255;
        }
        return std::pair{total, grey};
    };
    const auto [regularInk, regularGrey] = ink(regular);
    const auto [boldInk, boldGrey] = ink(bold);
    EXPECT_GT(regularGrey, 100) << "smoothed edges";
    EXPECT_GT(boldGrey, 100);
    EXPECT_GT(boldInk, regularInk * 6 / 5) << regularInk << " vs " << boldInk;
}

TEST_F(Appearance, MessagePanelTextIsInItsFontAndReadableOnEveryBackground)
{
    TMainForm form({L"/nosplash"});
    form.Show();
    Pump();
    HWND panel = form.PnlPleaseWait.Handle();
    LOGFONTW font{};
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(panel, WM_GETFONT, 0, 0)), sizeof(font), &font));
    EXPECT_EQ(font.lfHeight, -Scale(13));
    SIZE extent{};
    {
        WindowDc dc(panel);
        SelectedObject keep(dc.Get(), MakeFont(font.lfFaceName, Scale(13)));
        GetTextExtentPoint32W(dc.Get(), kNoImagesText, int(wcslen(kNoImagesText)), &extent);
    }
    const std::pair<COLORREF, COLORREF> cases[] = {   // background, text
        {RGB(255, 255, 255), RGB(0, 0, 0)}, {RGB(0, 0, 0), RGB(255, 255, 255)},
        {RGB(128, 128, 128), RGB(0, 0, 0)}, {RGB(0, 0, 128), RGB(255, 255, 255)},
        {RGB(0, 90, 0), RGB(255, 255, 255)}, {RGB(255, 0, 0), RGB(0, 0, 0)},
        {RGB(255, 255, 0), RGB(0, 0, 0)},   {RGB(70, 0, 70), RGB(255, 255, 255)},
    };
    for (auto [background, text] : cases) {
        SCOPED_TRACE(std::to_string(background));
        form.SetBackgroundColor(background);
        form.PnlPleaseWait.Repaint();
        const Shot shot = Capture(panel);
        // The text's pixels: where the panel is not its background.
        int left = shot.width, right = -1, strongest = 0;
        COLORREF ink = background;
        for (int y = 0; y < shot.height; ++y)
            for (int x = 0; x < shot.width; ++x) {
                const int d = Distance(shot.At(x, y), background);
                if (d > 60) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
                if (d > strongest) {
                    strongest = d;
                    ink = shot.At(x, y);
                }
            }
        ASSERT_GE(right, left);
        EXPECT_NEAR(right - left + 1, extent.cx, Scale(4)) << "set in the 13-pixel font";
        EXPECT_NEAR((left + right) / 2, shot.width / 2, Scale(3)) << "centred";
        EXPECT_LE(Distance(ink, text), 60) << std::hex << ink;
    }
}

TEST_F(Appearance, DisabledButtonsShowTheirHintsToo)
{
    TMainForm form({L"/nosplash"});
    form.Show();
    Pump();
    HWND tooltip = form.ToolTip();
    struct Case {
        TButton& button;
        std::wstring shortHint, longHint;
    };
    // The hints as the button table gives them.
    auto hinted = [&form](TButton TMainForm::*button) {
        const wchar_t* hint = control_tables::MainBarHint(button);
        return Case{form.*button, ShortHint(hint), LongHint(hint)};
    };
    const Case cases[] = {hinted(&TMainForm::SBtnOpen), hinted(&TMainForm::SBtnSave), hinted(&TMainForm::SBtnZoomIn)};
    ASSERT_FALSE(form.SBtnSave.Enabled());
    ASSERT_TRUE(form.SBtnOpen.Enabled());
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.shortHint));
        ASSERT_FALSE(c.longHint.empty());
        RECT r{};
        GetWindowRect(c.button.Handle(), &r);
        POINT middle{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        SetCursorPos(middle.x, middle.y);
        const DWORD settle = GetTickCount();
        while (GetTickCount() - settle < 200)   // the moves of the pointer itself first
            Pump();
        // The move reaches the window the system gives it to: the button, or
        // the bar when the button is disabled.
        HWND target = c.button.Enabled() ? c.button.Handle() : form.Panel1.Handle();
        POINT local = middle;
        ScreenToClient(target, &local);
        PostMessageW(target, WM_MOUSEMOVE, 0, MAKELPARAM(local.x, local.y));
        const DWORD start = GetTickCount();
        while ((!IsWindowVisible(tooltip) || form.StatusBar1.PanelText(0) != c.longHint) &&
               GetTickCount() - start < 3000)
            Pump();
        EXPECT_EQ(form.StatusBar1.PanelText(0), c.longHint);
        ASSERT_TRUE(IsWindowVisible(tooltip));
        wchar_t shown[128] = {};
        GetWindowTextW(tooltip, shown, 128);
        EXPECT_EQ(std::wstring(shown), c.shortHint);
        // Away over the image area: the hint goes.
        RECT area{};
        GetWindowRect(form.ScrollBox1.Handle(), &area);
        SetCursorPos(area.left + 20, area.top + 20);
        PostMessageW(form.PnlPleaseWait.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
        const DWORD away = GetTickCount();
        while (IsWindowVisible(tooltip) && GetTickCount() - away < 3000)
            Pump();
        EXPECT_FALSE(IsWindowVisible(tooltip));
    }
}

TEST_F(Appearance, ResizingRedrawsTheStripAndTheStatusBarWhole)
{
    TMainForm form({L"/nosplash"});
    form.Show();
    Pump();
    RECT area{};
    GetWindowRect(form.ScrollBox1.Handle(), &area);
    SetCursorPos(area.left + 10, area.top + 10);   // no button under the pointer
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"wider", [&] { SetWindowPos(form.Handle(), nullptr, 0, 0, Scale(900), Scale(500), SWP_NOMOVE | SWP_NOZORDER); }},
        {"narrower", [&] { SetWindowPos(form.Handle(), nullptr, 0, 0, Scale(700), Scale(480), SWP_NOMOVE | SWP_NOZORDER); }},
        {"maximised", [&] { ShowWindow(form.Handle(), SW_MAXIMIZE); }},
        {"restored", [&] { ShowWindow(form.Handle(), SW_RESTORE); }},
    };
    for (const auto& [name, resize] : steps) {
        SCOPED_TRACE(name);
        resize();
        Pump();
        UpdateWindow(form.Handle());
        const Shot strip = Capture(form.Panel2.Handle()), status = Capture(form.StatusBar1.Handle());
        // What a complete repaint shows: the same, so nothing was left over.
        RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump();
        EXPECT_TRUE(strip == Capture(form.Panel2.Handle())) << "button strip";
        EXPECT_TRUE(status == Capture(form.StatusBar1.Handle())) << "status bar";
    }
}

TEST_F(Appearance, TheUserCannotSizeTheWindowBelowWhatItsBarsNeed)
{
    TMainForm form({L"/nosplash"});
    form.Show();
    Pump();
    const SIZE minimum = form.MinimumSize();
    // The frame the user drags, from each edge and corner, far too small:
    // it stops at the minimum, and the edge held is the one that moves.
    const RECT start{100, 100, 100 + Scale(700), 100 + Scale(480)};
    for (WPARAM edge : {WMSZ_LEFT, WMSZ_RIGHT, WMSZ_TOP, WMSZ_BOTTOM, WMSZ_TOPLEFT, WMSZ_TOPRIGHT, WMSZ_BOTTOMLEFT,
                        WMSZ_BOTTOMRIGHT}) {
        SCOPED_TRACE(edge);
        const bool left = edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT;
        const bool top = edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT;
        const bool sideways = edge != WMSZ_TOP && edge != WMSZ_BOTTOM;
        const bool upright = edge != WMSZ_LEFT && edge != WMSZ_RIGHT;
        RECT r = start;
        if (sideways)
            (left ? r.left : r.right) = left ? r.right - 50 : r.left + 50;
        if (upright)
            (top ? r.top : r.bottom) = top ? r.bottom - 40 : r.top + 40;
        SendMessageW(form.Handle(), WM_SIZING, edge, reinterpret_cast<LPARAM>(&r));
        EXPECT_EQ(r.right - r.left, sideways ? minimum.cx : start.right - start.left);
        EXPECT_EQ(r.bottom - r.top, upright ? minimum.cy : start.bottom - start.top);
        EXPECT_EQ(left ? r.right : r.left, left ? start.right : start.left);
        EXPECT_EQ(top ? r.bottom : r.top, top ? start.bottom : start.top);
    }
    // At the minimum the whole button bar lies inside the strip's frame, the
    // status bar's second panel has room for a name and size, and some of
    // the image area is left.
    SetWindowPos(form.Handle(), nullptr, 0, 0, minimum.cx, minimum.cy, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    RECT bar = BoundsIn(form.Panel1, form.Panel2);
    EXPECT_GE(bar.left, 1);
    EXPECT_LE(bar.right, form.Panel2.ClientWidth() - 1);
    RECT second{};
    SendMessageW(form.StatusBar1.Handle(), SB_GETRECT, 1, reinterpret_cast<LPARAM>(&second));
    EXPECT_GE(second.right - second.left, Scale(200));
    EXPECT_GT(form.ScrollBox1.Height(), Scale(100));
    // A frame already large enough is left as it is, and sizes the program
    // sets itself are not limited.
    RECT large = start;
    SendMessageW(form.Handle(), WM_SIZING, WMSZ_RIGHT, reinterpret_cast<LPARAM>(&large));
    EXPECT_TRUE(EqualRect(&large, &start));
    form.SetClientSize(Scale(300), Scale(200));
    EXPECT_LT(form.Width(), minimum.cx);
}

// Not a check: shows the main window with a picture, resized and then
// maximised, for screenshots (--gtest_also_run_disabled_tests
// --gtest_filter=Appearance.DISABLED_*).
TEST_F(Appearance, DISABLED_ShowResizedForLooking)
{
    TempFolder folder(L"Pixavo look");
    WriteBytes(folder / L"look.jpg", EncodeJpeg(Solid(400, 260, 200, 120, 40)));
    TMainForm form({L"/nosplash", folder / L"look.jpg"});
    form.Show();
    auto wait = [](DWORD ms) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < ms)
            Pump();
    };
    wait(2500);
    SetWindowPos(form.Handle(), nullptr, 0, 0, Scale(900), Scale(560), SWP_NOMOVE | SWP_NOZORDER);
    wait(3000);
    ShowWindow(form.Handle(), SW_MAXIMIZE);
    wait(3000);
}
