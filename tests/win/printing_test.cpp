// Printing from the main window with the real default printer (the private
// print server that scripts/test and scripts/wintest start: without it these
// tests fail) and the system's print dialog answered from inside its own
// modal loop. What comes out of the printer is checked end to end by
// tests/e2e/print.sh.
#include <cstdio>

#include "tests/win/ViewerTestSupport.h"

#include <winspool.h>

using namespace viewer_test;
using test_support::PrintDialogAnswer;

namespace {

std::wstring DefaultPrinter()
{
    wchar_t name[512] = {};
    DWORD size = 512;
    return GetDefaultPrinterW(name, &size) ? name : L"";
}

class Printing : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        printer = DefaultPrinter();
        ASSERT_FALSE(printer.empty()) << "no default printer: run the tests through scripts/test or scripts/wintest, "
                                         "which start a print server";
    }
    std::wstring printer;
};

} // namespace

TEST_F(Printing, TheDialogOpensInTheImagesOrientationOnTheDefaultPrinter)
{
    TempFolder folder(L"Pixavo printing");
    auto form = MakeForm(400, 300);
    {
        // Nothing to print: no dialog at all.
        PrintDialogAnswer cancel(false);
        form->PrintCurrentImage();
        Pump();
        EXPECT_EQ(cancel.Shown(), 0);
    }
    const struct {
        int width, height;
        short orientation;
    } cases[] = {
        {400, 300, DMORIENT_LANDSCAPE},
        {300, 400, DMORIENT_PORTRAIT},
        {100, 100, DMORIENT_LANDSCAPE},   // square counts as wide
        {1, 2, DMORIENT_PORTRAIT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const std::wstring name = std::to_wstring(c.width) + L"x" + std::to_wstring(c.height) + L".bmp";
        WriteBmp(folder / name, c.width, c.height);
        form->OpenImageFolder(folder / name);
        Pump();
        ASSERT_EQ(form->TestState().CurrentFileName, name);
        ASSERT_TRUE(form->SBtnPrint.Enabled());
        PrintDialogAnswer cancel(false);
        ClickButton(form->SBtnPrint);
        EXPECT_EQ(cancel.Shown(), 1);
        EXPECT_EQ(form->DlgPrint.Orientation(), c.orientation);
        EXPECT_EQ(form->DlgPrint.PrinterName(), printer);
    }
    // Cancelling is no failure.
    EXPECT_TRUE(NothingShown(failures));
}

// Not a test of its own: the end-to-end check (tests/e2e/print.sh) runs it to
// learn the default printer's page in device pixels for both orientations,
// as the printer's driver reports it. Prints "page ORIENTATION: width height
// offset-x offset-y dots-per-inch".
TEST(PrintProbe, DISABLED_ReadDefaultPrinter)
{
    const std::wstring name = DefaultPrinter();
    ASSERT_FALSE(name.empty());
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &printer, nullptr));
    const LONG size = DocumentPropertiesW(nullptr, printer, const_cast<wchar_t*>(name.c_str()), nullptr, nullptr, 0);
    ASSERT_GT(size, 0);
    std::vector<uint8_t> settings(static_cast<size_t>(size));
    auto* mode = reinterpret_cast<DEVMODEW*>(settings.data());
    ASSERT_EQ(DocumentPropertiesW(nullptr, printer, const_cast<wchar_t*>(name.c_str()), mode, nullptr, DM_OUT_BUFFER),
              IDOK);
    ClosePrinter(printer);
    for (short orientation : {DMORIENT_LANDSCAPE, DMORIENT_PORTRAIT}) {
        mode->dmOrientation = orientation;
        mode->dmFields |= DM_ORIENTATION;
        HDC dc = CreateDCW(nullptr, name.c_str(), nullptr, mode);
        ASSERT_NE(dc, nullptr);
        std::printf("page %s: %d %d %d %d %d\n", orientation == DMORIENT_LANDSCAPE ? "landscape" : "portrait",
                    GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, PHYSICALOFFSETX),
                    GetDeviceCaps(dc, PHYSICALOFFSETY), GetDeviceCaps(dc, LOGPIXELSX));
        DeleteDC(dc);
    }
    std::fflush(stdout);
}

// Not a test of its own either: prints "error: TEXT" with the message of the
// program's error dialog while it is shown (tests/e2e/print.sh).
TEST(PrintProbe, DISABLED_ReadErrorDialog)
{
    HWND dialog = FindWindowW(nullptr, L"Error");
    ASSERT_NE(dialog, nullptr);
    HWND memo = FindWindowExW(dialog, nullptr, L"Edit", nullptr);
    ASSERT_NE(memo, nullptr);
    wchar_t text[2048] = {};
    SendMessageW(memo, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text));
    std::printf("error: %s\n", Narrow(text).c_str());
    std::fflush(stdout);
}

namespace {

// The printer's own properties (the driver's sheet, opened from the print
// dialog's Properties button) with an orientation chosen and confirmed: the
// user's choice as the dialog hands it back.
short sheetOrientation = 0;
HWND printDialog = nullptr;
void CALLBACK ChooseOrientationInSheet(HWND, UINT, UINT_PTR, DWORD)
{
    HWND sheet = test_support::FindThreadDialog([](HWND d) { return d != printDialog; });
    if (!sheet || !sheetOrientation)
        return;
    HWND page = FindWindowExW(sheet, nullptr, L"#32770", nullptr);
    HWND radio = page ? GetDlgItem(page, sheetOrientation == DMORIENT_PORTRAIT ? 0x65 : 0x66) : nullptr;
    if (!radio)
        return;
    SendMessageW(radio, BM_CLICK, 0, 0);
    sheetOrientation = 0;
    PostMessageW(GetDlgItem(sheet, IDOK), BM_CLICK, 0, 0);
}
void ChooseOrientation(HWND dialog, short orientation)
{
    printDialog = dialog;
    sheetOrientation = orientation;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, ChooseOrientationInSheet);
    // Properties: the sheet's modal loop runs inside, answered by the timer.
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(0x401, BN_CLICKED), LPARAM(GetDlgItem(dialog, 0x401)));
    KillTimer(nullptr, timer);
}

} // namespace

TEST_F(Printing, TheDialogOffersTheUsersLastChoice)
{
    TempFolder folder(L"Pixavo printing choice");
    WriteBmp(folder / L"wide.bmp", 400, 300);
    WriteBmp(folder / L"tall.bmp", 300, 400);
    // What was confirmed in the dialog (without printing: its printer's DC
    // is let go), then what the print command offers for a wide and a tall
    // image (the dialog cancelled).
    const struct {
        const char* what;
        short confirmed;   // chosen in the dialog; 0: confirmed as offered; -1: not shown
        short offeredWide, offeredTall;
    } cases[] = {
        {"nothing confirmed yet", -1, DMORIENT_LANDSCAPE, DMORIENT_PORTRAIT},
        {"confirmed as offered", 0, DMORIENT_LANDSCAPE, DMORIENT_PORTRAIT},
        {"portrait chosen over landscape", DMORIENT_PORTRAIT, DMORIENT_PORTRAIT, DMORIENT_PORTRAIT},
        {"landscape chosen over landscape", DMORIENT_LANDSCAPE, DMORIENT_LANDSCAPE, DMORIENT_PORTRAIT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto form = MakeForm(400, 300);
        form->OpenImageFolder(folder / L"wide.bmp");
        Pump();
        if (c.confirmed >= 0) {
            // The dialog opened for a wide image.
            form->DlgPrint.Prepare(DMORIENT_LANDSCAPE);
            PrintDialogAnswer confirm(true, [&](HWND dialog) {
                if (c.confirmed)
                    ChooseOrientation(dialog, c.confirmed);
            });
            ASSERT_TRUE(form->DlgPrint.Execute(form->Handle()));
            form->DlgPrint.TakeDC();
            EXPECT_EQ(form->DlgPrint.Orientation(), c.confirmed ? c.confirmed : DMORIENT_LANDSCAPE);
        }
        for (const auto& [name, offered] : {std::pair{L"wide.bmp", c.offeredWide}, {L"tall.bmp", c.offeredTall}}) {
            form->OpenImageFolder(folder / name);
            Pump();
            PrintDialogAnswer cancel(false);
            ClickButton(form->SBtnPrint);
            EXPECT_EQ(cancel.Shown(), 1);
            EXPECT_EQ(form->DlgPrint.Orientation(), offered) << Narrow(name);
            EXPECT_EQ(form->DlgPrint.PrinterName(), printer);
        }
    }
    EXPECT_TRUE(NothingShown(failures));
}
