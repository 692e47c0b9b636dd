// Folder listing and navigation of the main window with real folders and
// files, real clicks and menu commands, and the system's open-picture dialog
// answered from inside its own modal loop.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "base/Numbers.h"
#include "tests/win/DialogDriver.h"
#include "tests/win/ViewerTestSupport.h"

#include <dlgs.h>

using namespace viewer_test;
using namespace dialog_driver;

namespace {

// The names a folder enumeration delivers, in its order, filtered as the
// viewer filters them.
std::vector<std::wstring> ListedInOrder(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) &&
            IsSupportedImageFile(data.cFileName))
            names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

class Navigation : public ViewerTest {};

} // namespace

TEST_F(Navigation, ListsSupportedFilesInEnumerationOrderAndMatchesTheWantedName)
{
    TempFolder folder(L"Pixavo nav listing");
    WriteBytes(folder / L"a.jpg", EncodeJpeg(Solid(8, 6, 10, 20, 30)));
    WriteBmp(folder / L"c.BMP", 9, 9);
    WriteBytes(folder / L"b.png", EncodePng(PngFromRaster(Solid(12, 10, 0, 0, 255))));
    WriteBytes(folder / L"notes.txt", {'h', 'i'});
    WriteBmp(folder / L"system.bmp", 5, 5);
    SetFileAttributesW((folder / L"system.bmp").c_str(), FILE_ATTRIBUTE_SYSTEM);
    CreateDirectoryW((folder / L"pics.jpg").c_str(), nullptr);

    TMainForm form({});
    form.TestState().ZoomPercent = 300;
    form.OpenImageFolder(folder / L"b.png");
    const std::vector<std::wstring> expected = ListedInOrder(folder.Path());
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(form.TestState().FileList, expected);   // the platform's order, not sorted
    EXPECT_EQ(form.TestState().FolderPath, folder.Path());
    EXPECT_EQ(form.TestState().CurrentFileName, L"b.png");
    EXPECT_EQ(form.TestState().FileList[size_t(form.TestState().CurrentIndex)], L"b.png");
    EXPECT_EQ(form.TestState().ZoomPercent, 100u);
    EXPECT_EQ(form.StatusBar1.PanelText(1), L"b.png (12x10)");

    // Letters A to Z are folded: B.PNG finds b.png, c.bmp finds c.BMP.
    form.OpenImageFolder(folder / L"B.PNG");
    EXPECT_EQ(form.TestState().CurrentFileName, L"b.png");
    form.OpenImageFolder(folder / L"c.bmp");
    EXPECT_EQ(form.TestState().CurrentFileName, L"c.BMP");
    // A forward slash separates as well; the folder keeps no separator.
    form.OpenImageFolder(folder.Path() + L"/a.jpg");
    EXPECT_EQ(form.TestState().FolderPath, folder.Path());
    EXPECT_EQ(form.TestState().CurrentFileName, L"a.jpg");
    // A wanted name that is not listed (unsupported, or a folder) shows the
    // first listed image.
    form.OpenImageFolder(folder / L"notes.txt");
    EXPECT_EQ(form.TestState().CurrentIndex, 0);
    EXPECT_EQ(form.TestState().CurrentFileName, expected[0]);
    form.OpenImageFolder(folder / L"pics.jpg");
    EXPECT_EQ(form.TestState().CurrentFileName, expected[0]);
    EXPECT_TRUE(NothingShown(failures));
    EXPECT_TRUE(NothingShown(prompts));
}

TEST_F(Navigation, NonAsciiLettersAreComparedExactly)
{
    TempFolder folder(L"Pixavo nav letters");
    WriteBmp(folder / L"\u00C4rger.bmp", 7, 7);
    WriteBmp(folder / L"zz.bmp", 3, 3);
    TMainForm form({});
    form.OpenImageFolder(folder / L"\u00C4RGER.BMP");
    EXPECT_EQ(form.TestState().CurrentFileName, L"\u00C4rger.bmp");
    // Only A to Z fold: a lower-case umlaut is another name.
    form.OpenImageFolder(folder / L"\u00E4rger.bmp");
    EXPECT_EQ(form.TestState().CurrentIndex, 0);
    EXPECT_EQ(form.TestState().CurrentFileName, ListedInOrder(folder.Path())[0]);
}

TEST_F(Navigation, FolderPathRulesAndFoldersWithoutImages)
{
    TMainForm form({});
    // A drive's root keeps its separator; an unlistable folder gives the
    // no-images state without a message.
    form.OpenImageFolder(L"Q:\\missing.png");
    EXPECT_EQ(form.TestState().FolderPath, L"Q:\\");
    EXPECT_TRUE(form.TestState().FileList.empty());
    EXPECT_TRUE(form.PnlPleaseWait.Visible());
    EXPECT_EQ(form.PnlPleaseWait.Text(), L"Press [Ctrl+O] or Click Here to open an image folder to browse.");
    // A separator after another one is kept; after a plain name it goes.
    form.OpenImageFolder(L"Q:\\pics\\\\x.png");
    EXPECT_EQ(form.TestState().FolderPath, L"Q:\\pics\\\\");
    form.OpenImageFolder(L"Q:\\pics\\x.png");
    EXPECT_EQ(form.TestState().FolderPath, L"Q:\\pics");
    form.OpenImageFolder(L"Q:x.png");
    EXPECT_EQ(form.TestState().FolderPath, L"Q:");

    // Only hidden images: nothing listed, no message.
    TempFolder folder(L"Pixavo nav hidden");
    WriteBmp(folder / L"one.bmp", 4, 4);
    WriteBmp(folder / L"two.png", 4, 4);
    SetFileAttributesW((folder / L"one.bmp").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((folder / L"two.png").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    form.OpenImageFolder(folder / L"one.bmp");
    EXPECT_TRUE(form.TestState().FileList.empty());
    EXPECT_TRUE(form.PnlPleaseWait.Visible());
    EXPECT_FALSE(form.SBtnNext.Enabled());
    EXPECT_TRUE(NothingShown(failures));
    EXPECT_TRUE(NothingShown(prompts));
    // Next and Previous on an empty list do nothing.
    form.ShowNextImage();
    form.ShowPreviousImage();
    EXPECT_TRUE(form.TestState().FileList.empty());
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(Navigation, StepsWrapAroundAtBothEndsFromButtonsAndMenu)
{
    TempFolder folder(L"Pixavo nav wrap");
    WriteBmp(folder / L"a.bmp", 10, 10);
    WriteBmp(folder / L"b.bmp", 20, 10);
    WriteBmp(folder / L"c.bmp", 30, 10);
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"a.bmp");
    const std::vector<std::wstring> list = form->TestState().FileList;
    ASSERT_EQ(list.size(), 3u);
    form->OpenImageFolder(folder / list[0]);
    ASSERT_EQ(form->TestState().CurrentIndex, 0);

    ClickButton(form->SBtnNext);
    EXPECT_EQ(form->TestState().CurrentFileName, list[1]);
    ChooseMenu(*form, form->NextImage1);
    EXPECT_EQ(form->TestState().CurrentFileName, list[2]);
    ClickButton(form->SBtnNext);   // after the last comes the first
    EXPECT_EQ(form->TestState().CurrentIndex, 0);
    EXPECT_EQ(form->TestState().CurrentFileName, list[0]);
    ClickButton(form->SBtnPrevious);   // before the first comes the last
    EXPECT_EQ(form->TestState().CurrentIndex, 2);
    EXPECT_EQ(form->TestState().CurrentFileName, list[2]);
    ChooseMenu(*form, form->PreviousImage1);
    EXPECT_EQ(form->TestState().CurrentFileName, list[1]);
    EXPECT_EQ(form->TestState().FileList, list);

    // The zoom survives steps; opening a folder resets it.
    form->TestState().AutoFit = false;
    form->ApplyZoom(150);
    ClickButton(form->SBtnNext);
    EXPECT_EQ(form->TestState().ZoomPercent, 150u);
    EXPECT_EQ(BoundsIn(form->Image1, form->ScrollBox1).right - BoundsIn(form->Image1, form->ScrollBox1).left,
              int(RoundHalfEven(form->TestState().CurrentPicture.Width() * 1.5)));
    form->OpenImageFolder(folder / L"a.bmp");
    EXPECT_EQ(form->TestState().ZoomPercent, 100u);
    EXPECT_EQ(form->CmbZoomPercent.Text(), L"100%");
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(Navigation, OneImageReloadsFromDisk)
{
    TempFolder folder(L"Pixavo nav single");
    WriteBmp(folder / L"only.bmp", 10, 10);
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"only.bmp");
    ASSERT_EQ(form->StatusBar1.PanelText(1), L"only.bmp (10x10)");
    WriteBmp(folder / L"only.bmp", 40, 20);
    ClickButton(form->SBtnNext);
    EXPECT_EQ(form->TestState().CurrentIndex, 0);
    EXPECT_EQ(form->StatusBar1.PanelText(1), L"only.bmp (40x20)");
    WriteBmp(folder / L"only.bmp", 25, 5);
    ClickButton(form->SBtnPrevious);
    EXPECT_EQ(form->StatusBar1.PanelText(1), L"only.bmp (25x5)");
    EXPECT_EQ(form->TestState().FileList.size(), 1u);
}

TEST_F(Navigation, UnreadableEntriesAreReportedDroppedAndSteppedOver)
{
    TempFolder folder(L"Pixavo nav broken");
    WriteBytes(folder / L"a.jpg", EncodeJpeg(Solid(10, 10, 9, 9, 9)));
    WriteBytes(folder / L"b.jpg", {0xFF, 0xD8, 0xFF, 'b', 'r', 'o', 'k', 'e', 'n'});
    WriteBytes(folder / L"c.jpg", EncodeJpeg(Solid(30, 10, 9, 9, 9)));
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"c.jpg");
    ASSERT_TRUE(NothingShown(failures));
    // In the order a, b, c with c current, Previous reports b, drops it and
    // shows the entry that moved into its place: c again.
    form->ShowFiles({L"a.jpg", L"b.jpg", L"c.jpg"}, 2);
    ClickButton(form->SBtnPrevious);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(form->TestState().FileList, (std::vector<std::wstring>{L"a.jpg", L"c.jpg"}));
    EXPECT_EQ(form->TestState().CurrentFileName, L"c.jpg");
    EXPECT_EQ(form->TestState().CurrentIndex, 1);

    // A broken last entry: Next from the middle drops it and shows the new
    // last entry; Previous from the first to a broken last likewise.
    form->ShowFiles({L"a.jpg", L"c.jpg", L"b.jpg"}, 1);
    ClickButton(form->SBtnNext);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(form->TestState().FileList, (std::vector<std::wstring>{L"a.jpg", L"c.jpg"}));
    EXPECT_EQ(form->TestState().CurrentFileName, L"c.jpg");
    form->ShowFiles({L"a.jpg", L"c.jpg", L"b.jpg"}, 0);
    ClickButton(form->SBtnPrevious);
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(form->TestState().CurrentFileName, L"c.jpg");
    EXPECT_EQ(form->StatusBar1.PanelText(1), L"c.jpg (30x10)");
}

TEST_F(Navigation, OpenDialogPrefillsTheNameAndCancelChangesNothing)
{
    TempFolder folder(L"Pixavo nav dialog");
    WriteBmp(folder / L"first.bmp", 10, 10);
    WriteBmp(folder / L"second.bmp", 20, 10);
    auto form = MakeForm(400, 300);
    form->OpenImageFolder(folder / L"second.bmp");
    std::wstring prefilled;
    {
        DialogDriver driver({[&](HWND dialog) {
                                 prefilled = TextOf(FileNameBox(dialog));
                                 return true;
                             },
                             Cancel()});
        ClickButton(form->SBtnOpen);   // returns once the dialog is closed
        EXPECT_EQ(driver.DialogsSeen(), 1);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_EQ(prefilled, L"second.bmp");
    EXPECT_EQ(form->TestState().CurrentFileName, L"second.bmp");
    EXPECT_EQ(form->TestState().FileList.size(), 2u);

    // Confirming a typed full path opens that file's folder; from the menu.
    TempFolder other(L"Pixavo nav dialog other");
    WriteBmp(other / L"third.bmp", 33, 11);
    {
        DialogDriver driver({TypeAndConfirm(other / L"third.bmp")});
        ChooseMenu(*form, form->OpenImage1);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_EQ(form->TestState().FolderPath, other.Path());
    EXPECT_EQ(form->TestState().FileList, (std::vector<std::wstring>{L"third.bmp"}));
    EXPECT_EQ(form->StatusBar1.PanelText(1), L"third.bmp (33x11)");

    // During a slide show the command does nothing: no dialog at all.
    form->TestState().SlideShowActive = true;
    {
        DialogDriver driver({Cancel()});
        form->ChooseImageFolder();
        for (int i = 0; i < 6; ++i)
            Pump();
        EXPECT_EQ(driver.DialogsSeen(), 0);
    }
    form->TestState().SlideShowActive = false;

    // With no image the name box starts empty; a click on the message
    // panel opens the dialog too.
    TMainForm empty({});
    empty.Show();
    Pump();
    prefilled = L"unset";
    {
        DialogDriver driver({[&](HWND dialog) {
                                 prefilled = TextOf(FileNameBox(dialog));
                                 return true;
                             },
                             Cancel()});
        PostClick(empty.PnlPleaseWait.Handle());
        Pump();
        EXPECT_EQ(driver.DialogsSeen(), 1);
    }
    EXPECT_EQ(prefilled, L"");
    EXPECT_TRUE(empty.TestState().FileList.empty());
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(Navigation, OpenDialogPreviewsTheSelectedPicture)
{
    TempFolder folder(L"Pixavo nav preview");
    WriteBytes(folder / L"green.png", EncodePng(PngFromRaster(Solid(640, 480, 0, 200, 0))));
    WriteBytes(folder / L"broken.jpg", {0xFF, 0xD8, 0xFF, 0x00});
    WriteBmp(folder / L"small.bmp", 16, 12);
    auto form = MakeForm(400, 300);
    COLORREF green = CLR_INVALID, small = CLR_INVALID;
    std::wstring afterBroken = L"unset", typed;
    bool focusInName = false, sizeInDialogFont = false;
    int ticks = 0;
    {
        DialogDriver driver({// The file name box has the focus: typing goes there at once.
                             [&](HWND dialog) {
                                 HWND box = FileNameBox(dialog), focus = GetFocus();
                                 focusInName = focus && (focus == box || IsChild(box, focus));
                                 if (!focusInName && ++ticks < 40)
                                     return false;
                                 for (wchar_t c : std::wstring(L"typed"))
                                     SendMessageW(focus, WM_CHAR, c, 1);
                                 typed = TextOf(box);
                                 return true;
                             },
                             TypeAndConfirm(folder.Path()), SelectInList(L"green.png"),
                             ExpectPreview(L"640 x 480", &green),
                             [&](HWND dialog) {
                                 HWND size = GetDlgItem(PreviewArea(dialog), TOpenPictureDialog::kPreviewSizeId);
                                 sizeInDialogFont = SendMessageW(size, WM_GETFONT, 0, 0) ==
                                                    SendMessageW(dialog, WM_GETFONT, 0, 0);
                                 return true;
                             },
                             SelectInList(L"broken.jpg"),
                             [&](HWND dialog) {
                                 afterBroken = TextOf(GetDlgItem(PreviewArea(dialog),
                                                                 TOpenPictureDialog::kPreviewSizeId));
                                 return afterBroken.empty();
                             },
                             SelectInList(L"small.bmp"), ExpectPreview(L"16 x 12", &small), Cancel()});
        form->ChooseImageFolder();
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_TRUE(focusInName);
    EXPECT_EQ(typed, L"typed");
    EXPECT_TRUE(sizeInDialogFont);
    EXPECT_EQ(green, RGB(0, 200, 0));
    EXPECT_EQ(small, RGB(200, 60, 20));
    EXPECT_EQ(afterBroken, L"");
    EXPECT_TRUE(form->TestState().FileList.empty());   // cancelled
    EXPECT_TRUE(NothingShown(failures));
}

// Shows the open-picture dialog on a folder with a picture selected for a
// while, to be looked at (a screenshot of the desktop).
TEST_F(Navigation, DISABLED_ShowOpenDialogForLooking)
{
    TempFolder folder(L"Pixavo nav look");
    Raster raster = Solid(800, 500, 30, 110, 220);
    for (int y = 150; y < 350; ++y)
        for (int x = 250; x < 550; ++x) {
            raster.MutableRow(y)[3 * x] = 40;
            raster.MutableRow(y)[3 * x + 1] = 200;
            raster.MutableRow(y)[3 * x + 2] = 250;
        }
    WriteBytes(folder / L"sunny.png", EncodePng(PngFromRaster(raster)));
    WriteBmp(folder / L"other.bmp", 64, 64);
    auto form = MakeForm(600, 400);
    int waited = 0;
    DialogDriver driver({TypeAndConfirm(folder.Path()), SelectInList(L"sunny.png"),
                         [&](HWND) { return ++waited > 200; }, Cancel()});
    form->ChooseImageFolder();
}

// Times the listing of a folder of 10,000 files (all but one empty, so only
// the wanted one is loaded). Prints the figures.
TEST_F(Navigation, DISABLED_BenchmarkListingTenThousandFiles)
{
    TempFolder folder(L"Pixavo nav bench");
    for (int i = 0; i < 9999; ++i) {
        HANDLE file = CreateFileW((folder / (L"img" + std::to_wstring(i) + L".jpg")).c_str(), GENERIC_WRITE, 0,
                                  nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(file);
    }
    WriteBmp(folder / L"wanted.bmp", 8, 8);
    TMainForm form({});
    using Clock = std::chrono::steady_clock;
    for (int run = 0; run < 5; ++run) {
        const auto start = Clock::now();
        form.OpenImageFolder(folder / L"wanted.bmp");
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const auto enumStart = Clock::now();
        const size_t listed = ListedInOrder(folder.Path()).size();
        const double enumMs = std::chrono::duration<double, std::milli>(Clock::now() - enumStart).count();
        std::printf("OpenImageFolder over %zu files: %.1f ms (bare enumeration %.1f ms)\n", form.TestState().FileList.size(),
                    ms, enumMs);
        ASSERT_EQ(form.TestState().FileList.size(), 10000u);
        ASSERT_EQ(listed, 10000u);
    }
    EXPECT_EQ(form.TestState().CurrentFileName, L"wanted.bmp");
}
