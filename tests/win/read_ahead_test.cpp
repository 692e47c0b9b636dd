// Reading ahead and stepping as the user meets them with real files: a file
// that could not be read ahead is read by the load, a file rewritten behind
// the viewer's back is never shown stale, and a held key does not leave a
// step for every repeat behind it.
#include "imaging/codecs/BmpCodec.h"
#include "tests/win/ViewerTestSupport.h"

using namespace viewer_test;

namespace {

class ReadingAhead : public ViewerTest {
protected:
    TempFolder folder{L"Pixavo reading ahead"};

    // The user looks at the picture until reading ahead is done.
    static void Settle(TMainForm& form)
    {
        for (int i = 0; i < 1000 && form.DecodeAhead.Busy(); ++i)
            Sleep(10);
        ASSERT_FALSE(form.DecodeAhead.Busy());
        Pump();
    }
    static COLORREF Centre(TMainForm& form)
    {
        Pump();
        WindowDc dc(form.ScrollBox1.Handle());
        return GetPixel(dc.Get(), 200, 150);
    }
};

TEST_F(ReadingAhead, AFileHeldOpenWhileItWasReadAheadIsShownOnceItIsFree)
{
    WriteBytes(folder / L"a.bmp", EncodeBmp(Solid(320, 240, 200, 30, 30)));
    WriteBytes(folder / L"b.bmp", EncodeBmp(Solid(320, 240, 30, 30, 200)));
    // Another program (a copy still under way, a sync client) holds b open,
    // sharing nothing, while the viewer starts on a and reads b ahead.
    FileHandle held(CreateFileW((folder / L"b.bmp").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"a.bmp");
    ASSERT_EQ(form->TestState().CurrentFileName, L"a.bmp");
    Settle(*form);
    held.Reset();

    form->ShowNextImage();
    EXPECT_TRUE(NothingShown(failures));
    EXPECT_EQ(form->TestState().CurrentFileName, L"b.bmp");
    EXPECT_EQ(form->TestState().FileList.size(), 2u);
    EXPECT_EQ(Centre(*form), RGB(30, 30, 200));
}

TEST_F(ReadingAhead, AFileRewrittenWithTheSameSizeAndTimeIsReadAgain)
{
    const std::wstring b = folder / L"b.bmp";
    WriteBytes(folder / L"a.bmp", EncodeBmp(Solid(64, 48, 200, 30, 30)));
    WriteBytes(b, EncodeBmp(Solid(640, 480, 30, 200, 30)));
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"a.bmp");
    Settle(*form);

    // b, read ahead, is rewritten as 480 x 640: the same number of bytes, and
    // its time of last writing put back, as within one tick of a coarse
    // clock (a FAT disk, a network share).
    WIN32_FILE_ATTRIBUTE_DATA before{}, after{};
    ASSERT_TRUE(GetFileAttributesExW(b.c_str(), GetFileExInfoStandard, &before));
    WriteBytes(b, EncodeBmp(Solid(480, 640, 250, 250, 0)));
    {
        FileHandle file(CreateFileW(b.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &before.ftLastWriteTime));
    }
    ASSERT_TRUE(GetFileAttributesExW(b.c_str(), GetFileExInfoStandard, &after));
    ASSERT_EQ(after.nFileSizeLow, before.nFileSizeLow);
    ASSERT_EQ(CompareFileTime(&after.ftLastWriteTime, &before.ftLastWriteTime), 0);

    const int taken = form->DecodeAhead.Taken();
    form->ShowNextImage();
    EXPECT_EQ(form->DecodeAhead.Taken(), taken);
    EXPECT_EQ(form->StatusBar1.PanelText(1), L"b.bmp (480x640)");
    EXPECT_EQ(Centre(*form), RGB(250, 250, 0));
    // What is saved over it after a turn is the new picture, turned.
    form->TransformCurrentImage(TransformMode::RotateClockwise);
    form->SaveCurrentImage();
    const Raster saved = DecodeBmp(test_support::ReadBytes(b));
    EXPECT_EQ(saved.Width(), 640);
    EXPECT_EQ(saved.Height(), 480);
    EXPECT_EQ(saved.PixelAt(320, 240).red, 250);
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(ReadingAhead, ResizingAsksOnceTheDragEndsAndKeepsWhatTheSameLevelNeeds)
{
    WriteBytes(folder / L"a.bmp", EncodeBmp(Solid(640, 480, 200, 30, 30)));
    WriteBytes(folder / L"b.bmp", EncodeBmp(Solid(640, 480, 30, 200, 30)));
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"a.bmp");
    Settle(*form);
    const std::wstring b = folder / L"b.bmp";
    ASSERT_TRUE(form->DecodeAhead.Ready(b));
    auto resize = [&](int width, int height) {
        form->SetClientSize(width, height + form->Panel2.Height() + form->StatusBar1.Height());
        Pump();
    };
    // A few pixels more: b is shown from the same level at fit, and what was
    // read for it is kept.
    resize(410, 306);
    EXPECT_FALSE(form->DecodeAhead.Busy());
    EXPECT_TRUE(form->DecodeAhead.Ready(b));
    // Every step of a frame drag is a size that needs another level: nothing
    // is asked for until the drag ends, and then once.
    SendMessageW(form->Handle(), WM_ENTERSIZEMOVE, 0, 0);
    for (const int width : {300, 250, 200}) {
        resize(width, width * 3 / 4);
        EXPECT_FALSE(form->DecodeAhead.Busy()) << width;
        EXPECT_TRUE(form->DecodeAhead.Ready(b)) << width;
    }
    SendMessageW(form->Handle(), WM_EXITSIZEMOVE, 0, 0);
    EXPECT_FALSE(form->DecodeAhead.Ready(b));
    Settle(*form);
    const int taken = form->DecodeAhead.Taken();
    form->ShowNextImage();
    EXPECT_EQ(form->DecodeAhead.Taken(), taken + 1);
    EXPECT_EQ(form->ScrollBox1.ContentBounds().right - form->ScrollBox1.ContentBounds().left, 200);
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(ReadingAhead, KeysThatPileUpDuringALoadAreOneStep)
{
    WriteBytes(folder / L"a.bmp", EncodeBmp(Solid(64, 48, 200, 30, 30)));
    WriteBytes(folder / L"b.bmp", EncodeBmp(Solid(64, 48, 30, 200, 30)));
    WriteBytes(folder / L"c.jpg", {0xFF, 0xD8, 0xFF, 'b', 'r', 'o', 'k', 'e', 'n'});
    WriteBytes(folder / L"d.bmp", EncodeBmp(Solid(64, 48, 20, 40, 220)));
    WriteBytes(folder / L"e.bmp", EncodeBmp(Solid(64, 48, 90, 90, 90)));
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"a.bmp");
    form->ShowFiles({L"a.bmp", L"b.bmp", L"c.jpg", L"d.bmp", L"e.bmp"}, 0);

    // Keys pressed (and repeated, and let go) while the event loop was busy
    // wait in the queue together; the first one taken takes the rest along.
    struct Row {
        std::vector<WORD> keys;
        const wchar_t* shown;
    };
    const Row rows[] = {
        {{'N', 'N', 'N'}, L"d.bmp"},                       // c passed over, never loaded
        {{VK_RIGHT, VK_RIGHT, VK_LEFT}, L"e.bmp"},
        {{VK_SPACE, VK_SPACE}, L"b.bmp"},                  // wrapping at the end
        {{'P', VK_LEFT, 'N', 'P', 'P'}, L"d.bmp"},
    };
    const HWND keys = form->EdtKeyGrab.Handle();
    for (const Row& row : rows) {
        for (WORD key : row.keys) {
            const LPARAM scan = LPARAM(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
            PostMessageW(keys, WM_KEYDOWN, key, 1 | scan);
            PostMessageW(keys, WM_KEYUP, key, 1 | scan | 3u << 30);
        }
        Pump();
        EXPECT_EQ(form->TestState().CurrentFileName, row.shown);
        EXPECT_EQ(form->StatusBar1.PanelText(1), std::wstring(row.shown) + L" (64x48)");
    }
    // A key of another command stops the gathering: the steps after it are
    // taken after it, as it was pressed between them.
    for (WORD key : {WORD('N'), WORD(VK_F11), WORD('N')})
        PostMessageW(keys, WM_KEYDOWN, key, 1);
    Pump();
    EXPECT_TRUE(form->TestState().FullScreen);
    EXPECT_EQ(form->TestState().CurrentFileName, L"a.bmp");
    EXPECT_TRUE(NothingShown(failures));
    EXPECT_EQ(form->TestState().FileList.size(), 5u);
}

} // namespace
