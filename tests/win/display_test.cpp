// What the image area shows of large pictures, read back from the screen:
// the same pixels however the seen part was painted (at once, or strip by
// strip as scrolling uncovers it), the last picture kept on screen while the
// next is read and its failure reported, and pictures shown small decoded
// only as far as their size needs.
#include "imaging/display/DisplayTiles.h"
#include "imaging/pixels/Resample.h"
#include "tests/win/ViewerTestSupport.h"

using namespace viewer_test;

namespace {

using Axis = TScrollArea::Axis;

// Smooth colours with a fine pattern, so a pixel taken from the wrong place
// shows.
Raster Pattern(int width, int height)
{
    Raster raster(width, height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = raster.MutableRow(y) + 3 * x;
            p[0] = uint8_t(x * 255 / width);
            p[1] = uint8_t((x * 7 + y * 3) % 256);
            p[2] = uint8_t(y * 255 / height ^ (x & 3) << 5);
        }
    return raster;
}

// The visible part of the image area as it is on screen.
Raster Screen(TMainForm& form)
{
    UpdateWindow(form.Handle());
    Pump();
    const int width = form.ScrollBox1.VisibleWidth(), height = form.ScrollBox1.VisibleHeight();
    WindowDc screen(form.ScrollBox1.Handle());
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 24, BI_RGB}};
    void* bits = nullptr;
    BitmapHandle section(CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    MemoryDcHandle dc(CreateCompatibleDC(screen.Get()));
    {
        SelectedObject keep(dc.Get(), section.Get());
        BitBlt(dc.Get(), 0, 0, width, height, screen.Get(), 0, 0, SRCCOPY);
        GdiFlush();
    }
    Raster shot(width, height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y)
        std::memcpy(shot.MutableRow(y), static_cast<uint8_t*>(bits) + size_t(y) * shot.Stride(), shot.Stride());
    return shot;
}

// The number of pixels of the visible part that are not what `expected`
// says the shown picture has at that place (scroll positions counted in).
int Mismatches(const Raster& shot, TMainForm& form, const std::function<bool(int, int, PaletteEntry)>& expected)
{
    const int dx = form.ScrollBox1.Position(Axis::Horizontal), dy = form.ScrollBox1.Position(Axis::Vertical);
    int wrong = 0;
    for (int y = 0; y < shot.Height(); ++y)
        for (int x = 0; x < shot.Width(); ++x)
            wrong += !expected(x + dx, y + dy, shot.PixelAt(x, y));
    return wrong;
}

bool Same(PaletteEntry a, PaletteEntry b)
{
    return a.blue == b.blue && a.green == b.green && a.red == b.red;
}

class Display : public ViewerTest {
protected:
    TempFolder folder{L"Pixavo display"};
};

} // namespace

TEST_F(Display, ThePixelsShownDoNotDependOnHowTheSeenPartWasPainted)
{
    // 1500 × 1000 in a 400 × 300 area. At 90 %, and for the PNG at 110 %,
    // made in tiles: exactly what resampling the whole picture gives. At
    // 110 % the bitmap is drawn straight from its pixels: each screen pixel
    // is the source pixel under it (the stretch may take the one under its
    // left edge or under its centre). Scrolling repaints only the uncovered
    // strips, which must fit the rest: the screen then is what painting the
    // whole seen part at once gives.
    const Raster picture = Pattern(1500, 1000);
    WriteBytes(folder / L"a.bmp", EncodeBmp(picture));
    WriteBytes(folder / L"b.png", EncodePng(PngFromRaster(picture)));
    auto form = MakeForm(400, 300);
    const Raster at90 = ResampleArea(picture, 1350, 900), at110 = ResampleArea(picture, 1650, 1100);
    const auto straight = [&](int x, int y, PaletteEntry seen) {
        const int x0 = x * 1500 / 1650, x1 = (2 * x + 1) * 1500 / 3300;
        const int y0 = y * 1000 / 1100, y1 = (2 * y + 1) * 1000 / 2200;
        for (int sx : {x0, x1})
            for (int sy : {y0, y1})
                if (Same(picture.PixelAt(sx, sy), seen))
                    return true;
        return false;
    };
    const struct {
        const wchar_t* file;
        unsigned percent;
        bool straight;
        std::function<bool(int, int, PaletteEntry)> expected;
    } cases[] = {
        {L"a.bmp", 110, true, straight},
        {L"a.bmp", 90, false, [&](int x, int y, PaletteEntry seen) { return Same(at90.PixelAt(x, y), seen); }},
        {L"b.png", 110, false, [&](int x, int y, PaletteEntry seen) { return Same(at110.PixelAt(x, y), seen); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << Narrow(c.file) << " at " << c.percent);
        form->TestState().AutoFit = false;
        form->OpenImageFolder(folder / c.file);
        form->ApplyZoom(c.percent);
        EXPECT_EQ(form->Image1.DrawnStraight(), c.straight);
        EXPECT_EQ(Mismatches(Screen(*form), *form, c.expected), 0);
        for (const auto& [axis, position] : {std::pair{Axis::Horizontal, 37}, {Axis::Vertical, 53},
                                            {Axis::Horizontal, 301}, {Axis::Vertical, 20}, {Axis::Vertical, 611}}) {
            form->ScrollBox1.SetPosition(axis, position);
            const Raster scrolled = Screen(*form);
            EXPECT_EQ(Mismatches(scrolled, *form, c.expected), 0) << "scrolled to " << position;
            form->Image1.Invalidate(false);
            const Raster repainted = Screen(*form);
            EXPECT_EQ(Mismatches(scrolled, *form, [&](int x, int y, PaletteEntry seen) {
                          return Same(repainted.PixelAt(x - form->ScrollBox1.Position(Axis::Horizontal),
                                                        y - form->ScrollBox1.Position(Axis::Vertical)),
                                      seen);
                      }),
                      0)
                << "scrolled to " << position;
        }
    }
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(Display, TheLastPictureStaysOnScreenWhileTheNextIsReadAndItsFailureShown)
{
    // The outgoing picture is let go before the next file is read, and what
    // was seen of it stays on screen, also behind the message of a file
    // that fails; then the entry after it is shown.
    WriteBytes(folder / L"a.bmp", EncodeBmp(Solid(800, 600, 200, 30, 30)));
    WriteBytes(folder / L"b.jpg", {0xFF, 0xD8, 0xFF, 'b', 'r', 'o', 'k', 'e', 'n'});
    WriteBytes(folder / L"c.bmp", EncodeBmp(Solid(800, 600, 20, 40, 220)));
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"a.bmp");
    form->ShowFiles({L"a.bmp", L"b.jpg", L"c.bmp"}, 0);
    ASSERT_EQ(form->TestState().CurrentFileName, L"a.bmp");
    Pump();
    std::weak_ptr<const DisplaySource> outgoing = form->TestState().CurrentPicture.Graphic()->Display();
    ASSERT_FALSE(outgoing.expired());

    struct Seen {
        bool released = false;
        COLORREF centre = 0;
        std::wstring message;
    };
    std::vector<Seen> seen;
    Application::ModalShownHook() = [&](TForm& dialog) {
        auto* error = dynamic_cast<TErrorDlg*>(&dialog);
        ASSERT_NE(error, nullptr);
        // The dialog sits over the middle: the window's corner shows.
        InvalidateRect(form->ScrollBox1.Handle(), nullptr, TRUE);
        UpdateWindow(form->ScrollBox1.Handle());
        WindowDc dc(form->ScrollBox1.Handle());
        seen.push_back({outgoing.expired() && !form->TestState().CurrentPicture.Graphic(), GetPixel(dc.Get(), 60, 60),
                        error->MmoError.Text()});
        PostClick(error->SbtnOkay.Handle());
    };
    form->ShowNextImage();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].released);
    EXPECT_EQ(seen[0].centre, RGB(200, 30, 30));
    EXPECT_TRUE(seen[0].message.starts_with(L"JPEG error #")) << Narrow(seen[0].message);
    EXPECT_EQ(form->TestState().CurrentFileName, L"c.bmp");
    Pump();
    WindowDc dc(form->ScrollBox1.Handle());
    EXPECT_EQ(GetPixel(dc.Get(), 60, 60), RGB(20, 40, 220));
}

TEST_F(Display, PicturesShownSmallAreDecodedOnlyAsFarAsTheirSizeNeeds)
{
    // At fit a JPEG keeps its file and a reduced decode, a PNG its file and
    // a level instead of its rows; the full decode follows when the picture
    // is shown larger, and what turns it still gets the whole picture.
    const Raster picture = Pattern(2400, 1600);
    const std::vector<uint8_t> jpeg = EncodeJpeg(picture), png = EncodePng(PngFromRaster(picture));
    WriteBytes(folder / L"a.jpg", jpeg);
    WriteBytes(folder / L"b.png", png);
    auto form = MakeForm(600, 400);
    const size_t level = Raster::StrideFor(600, PixelFormat::Bit32) * 400;   // 2400 × 1600 at level 2

    form->OpenImageFolder(folder / L"a.jpg");
    auto source = form->TestState().CurrentPicture.Graphic()->Display();
    EXPECT_FALSE(static_cast<const JpegSource&>(*source).FullDecoded());
    EXPECT_LE(source->MemoryUse(), jpeg.size() + level);
    form->ToggleAutoFit();   // 100 %
    EXPECT_TRUE(static_cast<const JpegSource&>(*source).FullDecoded());

    form->ToggleAutoFit();
    form->OpenImageFolder(folder / L"b.png");
    source = form->TestState().CurrentPicture.Graphic()->Display();
    EXPECT_LE(source->MemoryUse(), png.size() + level);
    form->TransformCurrentImage(TransformMode::RotateClockwise);
    ASSERT_EQ(form->TestState().CurrentPicture.Width(), 1600);
    EXPECT_EQ(form->TestState().CurrentPicture.Graphic()->Pixels().PixelAt(1599, 0), picture.PixelAt(0, 0));
    EXPECT_EQ(form->TestState().CurrentPicture.Graphic()->Pixels().PixelAt(0, 2399), picture.PixelAt(2399, 1599));
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(Display, ScrollBarsAndTheImageControlEndWhereTheZoomArithmeticPutsThem)
{
    // A zoom step shows its end state at once: the scroll bars on screen,
    // the visible part and the image control's place are what the zoom's
    // arithmetic worked with, whatever bars the steps between had.
    WriteBytes(folder / L"a.bmp", EncodeBmp(Pattern(1200, 900)));
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"a.bmp");
    form->TestState().AutoFit = false;
    form->LoadCurrentImage();
    TScrollArea& area = form->ScrollBox1;
    const struct {
        unsigned percent;
        bool autoFit;
        int scrollX, scrollY;
    } steps[] = {{100, false, 500, 300}, {110, false, 0, 0}, {30, false, 0, 0}, {33, false, 0, 0},
                 {200, false, 2000, 2000}, {100, true, 0, 0}, {25, false, 0, 0}, {90, false, 40, 900}};
    for (const auto& step : steps) {
        SCOPED_TRACE(::testing::Message() << step.percent << " % " << (step.autoFit ? "fit" : ""));
        form->TestState().AutoFit = step.autoFit;
        form->ApplyZoom(step.percent);
        area.SetPosition(Axis::Horizontal, step.scrollX);
        area.SetPosition(Axis::Vertical, step.scrollY);
        Pump();
        RECT client{};
        GetClientRect(area.Handle(), &client);
        const LONG style = GetWindowLongW(area.Handle(), GWL_STYLE);
        EXPECT_EQ(area.ScrollBarShown(Axis::Horizontal), (style & WS_HSCROLL) != 0);
        EXPECT_EQ(area.ScrollBarShown(Axis::Vertical), (style & WS_VSCROLL) != 0);
        EXPECT_EQ(area.VisibleWidth(), client.right);
        EXPECT_EQ(area.VisibleHeight(), client.bottom);
        for (const Axis axis : {Axis::Horizontal, Axis::Vertical}) {
            SCROLLINFO info{sizeof(info), SIF_POS};
            if (area.ScrollBarShown(axis) && GetScrollInfo(area.Handle(), axis == Axis::Horizontal ? SB_HORZ : SB_VERT, &info))
                EXPECT_EQ(info.nPos, area.Position(axis));
        }
        RECT placed{};
        GetWindowRect(form->Image1.Handle(), &placed);
        MapWindowPoints(nullptr, area.Handle(), reinterpret_cast<POINT*>(&placed), 2);
        const RECT bounds = area.ContentBounds();
        EXPECT_EQ(placed.left, bounds.left);
        EXPECT_EQ(placed.top, bounds.top);
        EXPECT_EQ(placed.right - placed.left, bounds.right - bounds.left);
        EXPECT_EQ(placed.bottom - placed.top, bounds.bottom - bounds.top);
    }
}

TEST_F(Display, TheNextFileIsReadAheadAsItIsOnDiskAndAFailureIsReportedByTheLoad)
{
    WriteBytes(folder / L"a.bmp", EncodeBmp(Solid(640, 480, 200, 30, 30)));
    WriteBytes(folder / L"b.bmp", EncodeBmp(Solid(640, 480, 30, 200, 30)));
    WriteBytes(folder / L"c.jpg", {0xFF, 0xD8, 0xFF, 'b', 'r', 'o', 'k', 'e', 'n'});
    WriteBytes(folder / L"d.bmp", EncodeBmp(Solid(640, 480, 20, 40, 220)));
    WriteBytes(folder / L"e.bmp", EncodeBmp(Solid(640, 480, 90, 90, 90)));
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"a.bmp");
    form->ShowFiles({L"a.bmp", L"b.bmp", L"c.jpg", L"d.bmp", L"e.bmp"}, 0);
    auto centre = [&] {
        Pump();
        WindowDc dc(form->ScrollBox1.Handle());
        return GetPixel(dc.Get(), 200, 150);
    };
    // The user looks at the picture until reading ahead is done.
    auto pause = [&] {
        for (int i = 0; i < 1000 && form->DecodeAhead.Busy(); ++i)
            Sleep(10);
        ASSERT_FALSE(form->DecodeAhead.Busy());
        Pump();
    };
    ASSERT_TRUE(form->TestState().AutoFit);
    ASSERT_EQ(centre(), RGB(200, 30, 30));

    // b is read ahead, then changed on disk: Next shows it as it is now.
    pause();
    WriteBytes(folder / L"b.bmp", EncodeBmp(Solid(600, 480, 250, 250, 0)));
    const int taken = form->DecodeAhead.Taken();
    form->ShowNextImage();
    EXPECT_EQ(form->StatusBar1.PanelText(1), L"b.bmp (600x480)");
    EXPECT_EQ(centre(), RGB(250, 250, 0));
    EXPECT_EQ(form->DecodeAhead.Taken(), taken);

    // c fails while it is read ahead, which nobody hears of, and nothing of
    // it is kept: Next reads it itself (reading d ahead meanwhile), reports
    // what it meets then, drops it and shows d as it was read ahead.
    pause();
    EXPECT_TRUE(NothingShown(failures));
    form->ShowNextImage();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(failures[0].starts_with(L"JPEG error #")) << Narrow(failures[0]);
    EXPECT_EQ(form->DecodeAhead.Taken(), taken + 1);
    EXPECT_EQ(form->TestState().FileList, (std::vector<std::wstring>{L"a.bmp", L"b.bmp", L"d.bmp", L"e.bmp"}));
    EXPECT_EQ(form->TestState().CurrentFileName, L"d.bmp");
    EXPECT_EQ(centre(), RGB(20, 40, 220));

    // e was read ahead for the fit; shown at another zoom it is read again
    // for that size.
    pause();
    form->TestState().AutoFit = false;
    form->TestState().ZoomPercent = 50;
    form->ShowNextImage();
    EXPECT_EQ(form->TestState().CurrentFileName, L"e.bmp");
    EXPECT_EQ(form->DecodeAhead.Taken(), taken + 1);
    EXPECT_EQ(form->ScrollBox1.ContentBounds().right - form->ScrollBox1.ContentBounds().left, 320);
    EXPECT_EQ(centre(), RGB(90, 90, 90));

    // Stepping back reads ahead backwards, and a zoom step reads ahead again
    // for the new size: Previous to d, zoom to 60 %, Previous to b from what
    // was read ahead, at 60 %, with the tiles it shows made ahead too.
    form->ShowPreviousImage();
    EXPECT_EQ(form->TestState().CurrentFileName, L"d.bmp");
    form->StepZoom(10);
    pause();
    const int tilesMade = form->Image1.TilesMade();
    form->ShowPreviousImage();
    EXPECT_EQ(form->DecodeAhead.Taken(), taken + 2);
    EXPECT_EQ(form->TestState().CurrentFileName, L"b.bmp");
    EXPECT_EQ(form->StatusBar1.PanelText(1), L"b.bmp (600x480)");
    EXPECT_EQ(form->ScrollBox1.ContentBounds().right - form->ScrollBox1.ContentBounds().left, 360);
    EXPECT_EQ(centre(), RGB(250, 250, 0));
    EXPECT_EQ(form->Image1.TilesMade(), tilesMade);
    EXPECT_EQ(failures.size(), 1u);
}

TEST_F(Display, PicturesThatWouldHoldTooMuchAreNotReadAhead)
{
    // The picture on screen and the next one are never both large: a next
    // picture over the limit is left to the load that reaches it.
    WriteBytes(folder / L"a.bmp", EncodeBmp(Solid(64, 48, 200, 30, 30)));
    WriteBytes(folder / L"b.bmp", EncodeBmp(Solid(3200, 3200, 30, 200, 30)));
    WriteBytes(folder / L"c.bmp", EncodeBmp(Solid(64, 48, 20, 40, 220)));
    // Its file (3 bytes a pixel) and its pixels (up to 4) are over the limit.
    ASSERT_GT(uint64_t(3200) * 3200 * 7, TDecodeAhead::kMaxPreparedBytes);
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"a.bmp");
    form->ShowFiles({L"a.bmp", L"b.bmp", L"c.bmp"}, 0);
    auto settle = [&] {
        for (int i = 0; i < 1000 && form->DecodeAhead.Busy(); ++i)
            Sleep(10);
        ASSERT_FALSE(form->DecodeAhead.Busy());
    };
    settle();
    const int taken = form->DecodeAhead.Taken();
    form->ShowNextImage();
    EXPECT_EQ(form->TestState().CurrentFileName, L"b.bmp");
    EXPECT_EQ(form->DecodeAhead.Taken(), taken);
    settle();
    form->ShowNextImage();
    EXPECT_EQ(form->TestState().CurrentFileName, L"c.bmp");
    EXPECT_EQ(form->DecodeAhead.Taken(), taken + 1);
    Pump();
    WindowDc dc(form->ScrollBox1.Handle());
    EXPECT_EQ(GetPixel(dc.Get(), 200, 150), RGB(20, 40, 220));
}
