// Moved to a display of another scale: the main window and the about window
// take the place the system suggests and lay themselves out for the scale,
// with pictures drawn for it (not stretched from 96 dpi), and at 96 dpi
// again every designed size is exact.
#include <gtest/gtest.h>

#include "dialogs/NewAboutFrmUnit.h"
#include "tests/win/ViewerTestSupport.h"

using namespace viewer_test;

static bool operator==(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }
static bool operator==(const SIZE& a, const SIZE& b) { return a.cx == b.cx && a.cy == b.cy; }

namespace {

class Scale : public ViewerTest {};

// What the system sends a per-monitor aware window moved to a display of
// that scale.
RECT MoveToDpi(TForm& form, int dpi, POINT at)
{
    RECT window{};
    GetWindowRect(form.Handle(), &window);
    const int old = form.Dpi();
    RECT suggested{at.x, at.y, at.x + MulDiv(window.right - window.left, dpi, old),
                   at.y + MulDiv(window.bottom - window.top, dpi, old)};
    SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    Pump();
    return suggested;
}

SIZE BitmapSize(HBITMAP bitmap)
{
    BITMAP info{};
    GetObjectW(bitmap, sizeof(info), &info);
    return {info.bmWidth, info.bmHeight};
}

RECT Designed(int left, int top, int width, int height, int dpi)
{
    const int l = MulDiv(left, dpi, 96), t = MulDiv(top, dpi, 96);
    return {l, t, l + MulDiv(width, dpi, 96), t + MulDiv(height, dpi, 96)};
}

} // namespace

TEST_F(Scale, WindowsLayOutAgainForTheDisplaysScale)
{
    ASSERT_EQ(SystemDpi(), 96) << "the test prefix runs at 96 dpi";
    auto form = MakeForm(620, 200);   // small enough for the screen at 200 %
    TNewAboutBox& about = *form->NewAboutBox;
    const struct {
        int dpi, splashWidth;   // the artwork's own width
    } cases[] = {{144, 482}, {192, 642}, {120, 401}, {96, 321}, {168, 642}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dpi);
        const RECT suggested = MoveToDpi(*form, c.dpi, {10, 20});
        RECT window{};
        GetWindowRect(form->Handle(), &window);
        EXPECT_EQ(window, suggested);
        EXPECT_EQ(form->Dpi(), c.dpi);
        // The button bar at its designed places and sizes for the scale,
        // centred in its strip, with pictures drawn at the scale's size.
        EXPECT_EQ(form->Panel1.Width(), MulDiv(617, c.dpi, 96));
        EXPECT_EQ(form->Panel1.Height(), MulDiv(29, c.dpi, 96));
        EXPECT_EQ(form->Panel2.Height(), MulDiv(33, c.dpi, 96));
        EXPECT_EQ(form->StatusBar1.Height(), MulDiv(19, c.dpi, 96));
        EXPECT_EQ(form->SBtnOpen.BoundsRect(), Designed(5, 4, 30, 25, c.dpi));
        EXPECT_EQ(form->SBtnNext.BoundsRect(), Designed(185, 4, 30, 25, c.dpi));
        EXPECT_EQ(form->SBtnHelpAbout.BoundsRect(), Designed(585, 4, 30, 25, c.dpi));
        const int glyph = MulDiv(16, c.dpi, 96);
        for (TButton* button : {&form->SBtnOpen, &form->SBtnNext, &form->SBtnAutoFit, &form->SBtnSlideShow})
            EXPECT_EQ(BitmapSize(button->Glyph()), (SIZE{glyph, glyph}));

        // The about window: its photograph drawn for the scale, reduced from
        // the next larger artwork where there is none of its own size.
        MoveToDpi(about, c.dpi, {0, 0});
        EXPECT_EQ(about.ClientWidth(), MulDiv(484, c.dpi, 96));
        EXPECT_EQ(about.ImgSplash.BoundsRect(), Designed(1, 1, 321, 241, c.dpi));
        EXPECT_EQ(about.ImgSplash.Picture().Width(), c.splashWidth);
        EXPECT_EQ(about.SBtnClose.BoundsRect(), Designed(318, 176, 65, 25, c.dpi));
        EXPECT_EQ(about.LblBuild.Left() + about.LblBuild.Width(), MulDiv(474, c.dpi, 96));
    }
    EXPECT_TRUE(NothingShown(failures));
}
