// The main window read back from its real controls: layout, initial states,
// loading every format, load failures, placement, status text and pointer
// hiding.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/MainUnit.h"
#include "imaging/codecs/BmpCodec.h"
#include "imaging/codecs/ImageFormats.h"
#include "imaging/codecs/JpegCodec.h"
#include "imaging/codecs/PngCodec.h"
#include "tests/win/ControlTables.h"
#include "tests/win/TestSupport.h"

extern "C" {
#include <jpeglib.h>
}

namespace {

using namespace test_support;
using Axis = TScrollArea::Axis;

// Four coloured quadrants: red, green / blue, yellow.
Raster Quadrants(int width, int height)
{
    Raster raster(width, height, PixelFormat::Bit24);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = raster.MutableRow(y);
        for (int x = 0; x < width; ++x) {
            bool right = x >= width / 2, bottom = y >= height / 2;
            uint8_t r = (!bottom && !right) || (bottom && right) ? 230 : 0;
            uint8_t g = (!bottom && right) || (bottom && right) ? 200 : 0;
            uint8_t b = bottom && !right ? 220 : 0;
            row[3 * x] = b;
            row[3 * x + 1] = g;
            row[3 * x + 2] = r;
        }
    }
    return raster;
}

void WriteEmf(const std::wstring& path)
{
    HDC dc = CreateEnhMetaFileW(nullptr, path.c_str(), nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
    RECT r{0, 0, 80, 40};
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    DeleteEnhMetaFile(CloseEnhMetaFile(dc));
}

class MainForm : public testing::Test {
protected:
    void SetUp() override
    {
        png_ = RegisterPngIfMissing();
        // The error and prompt dialogs run for real; each is answered with a
        // click on its first button once it shows, after noting its text.
        AnswerModals(failures, [this](THelpDlg& help) {
            const std::wstring suffix = L" is not in a supported image format.";
            std::wstring headline = help.LblHelpText.Caption();
            if (headline.size() >= suffix.size() && headline.ends_with(suffix))
                headline.resize(headline.size() - suffix.size());
            unsupported.push_back(headline);
            return help.SbtnOkay.Handle();
        });
    }
    void TearDown() override
    {
        StopAnsweringModals();
        png_.reset();
    }

    std::vector<std::wstring> failures;
    std::vector<std::wstring> unsupported;

private:
    std::unique_ptr<PngFormatRegistration> png_;
};

struct MenuRow {
    int depth;
    std::wstring caption;   // empty: separator
    bool enabled;
    bool checked;
    bool submenu;
};

void ReadMenu(HMENU menu, int depth, std::vector<MenuRow>& rows)
{
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        MENUITEMINFOW info{sizeof(info)};
        info.fMask = MIIM_STATE | MIIM_STRING | MIIM_SUBMENU | MIIM_FTYPE;
        info.dwTypeData = text;
        info.cch = 128;
        ASSERT_TRUE(GetMenuItemInfoW(menu, UINT(i), TRUE, &info));
        bool separator = info.fType & MFT_SEPARATOR;
        rows.push_back({depth, separator ? L"" : text, !(info.fState & MFS_DISABLED),
                        (info.fState & MFS_CHECKED) != 0, info.hSubMenu != nullptr});
        if (info.hSubMenu)
            ReadMenu(info.hSubMenu, depth + 1, rows);
    }
}

} // namespace

TEST_F(MainForm, LayoutAndInitialStatesOfTheRealControls)
{
    TMainForm form({});
    form.Show();
    Pump();

    EXPECT_EQ(form.Text(), L"Pixavo Image Browser by Corvane, Inc.");
    EXPECT_EQ(form.Width(), Scale(694));
    EXPECT_EQ(form.Height(), Scale(478));
    RECT outer{};
    GetWindowRect(form.Handle(), &outer);
    EXPECT_NEAR(outer.left, (GetSystemMetrics(SM_CXSCREEN) - Scale(694)) / 2, 1);
    EXPECT_NEAR(outer.top, (GetSystemMetrics(SM_CYSCREEN) - Scale(478)) / 2, 1);
    EXPECT_TRUE(GetWindowLongW(form.Handle(), GWL_STYLE) & WS_THICKFRAME);

    // Status bar docked at the bottom with a 400-wide first panel.
    const int cw = form.ClientWidth(), ch = form.ClientHeight();
    RECT status = BoundsIn(form.StatusBar1, form);
    EXPECT_EQ(status.bottom, ch);
    EXPECT_EQ(status.bottom - status.top, Scale(19));
    EXPECT_EQ(status.right - status.left, cw);
    int parts[4] = {};
    ASSERT_EQ(SendMessageW(form.StatusBar1.Handle(), SB_GETPARTS, 4, reinterpret_cast<LPARAM>(parts)), 2);
    EXPECT_EQ(parts[0], Scale(400));
    EXPECT_EQ(parts[1], -1);

    // Bottom strip and the centred button bar.
    RECT strip = BoundsIn(form.Panel2, form);
    EXPECT_EQ(strip.bottom, status.top);
    EXPECT_EQ(strip.bottom - strip.top, Scale(33));
    RECT bar = BoundsIn(form.Panel1, form.Panel2);
    EXPECT_EQ(bar.right - bar.left, Scale(617));
    EXPECT_EQ(bar.bottom - bar.top, Scale(29));
    EXPECT_NEAR(bar.left, (form.Panel2.ClientWidth() - Scale(617)) / 2, 1);

    // Image area and message panel above the strip, the panel on top.
    RECT area = BoundsIn(form.ScrollBox1, form);
    EXPECT_EQ(area.left, 0);
    EXPECT_EQ(area.top, 0);
    EXPECT_EQ(area.right, cw);
    EXPECT_EQ(area.bottom, strip.top);
    RECT panel = BoundsIn(form.PnlPleaseWait, form);
    EXPECT_TRUE(EqualRect(&panel, &area));
    EXPECT_TRUE(form.PnlPleaseWait.Visible());
    EXPECT_EQ(form.PnlPleaseWait.Text(), L"Press [Ctrl+O] or Click Here to open an image folder to browse.");
    EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(0, 0, 0));
    EXPECT_EQ(form.PnlPleaseWait.FontColor(), RGB(255, 255, 255));
    POINT middle{cw / 2, (area.bottom) / 2};
    EXPECT_EQ(ChildWindowFromPointEx(form.Handle(), middle, CWP_SKIPINVISIBLE), form.PnlPleaseWait.Handle());

    RECT combo = BoundsIn(form.CmbZoomPercent, form.Panel1);
    EXPECT_EQ(combo.left, Scale(330));
    EXPECT_EQ(combo.right - combo.left, Scale(55));
    EXPECT_FALSE(form.CmbZoomPercent.Enabled());
    EXPECT_EQ(form.CmbZoomPercent.Text(), L"0%");
    const std::vector<std::wstring> zoomList = {L"10%", L"20%", L"25%", L"50%", L"75%", L"80%", L"90%",
                                                L"100%", L"110%", L"120%", L"125%", L"150%", L"200%", L"300%"};
    EXPECT_EQ(form.CmbZoomPercent.Items(), zoomList);
    RECT grab = BoundsIn(form.EdtKeyGrab, form.Panel1);
    EXPECT_EQ(grab.left, Scale(480));
    EXPECT_EQ(grab.right - grab.left, 0);
    EXPECT_TRUE(form.EdtKeyGrab.Enabled());
    EXPECT_FALSE(form.SlideShowTimer.Enabled());
    EXPECT_EQ(form.SlideShowTimer.Interval(), 5000u);

    // The right-click menu, read from the real menu.
    std::vector<MenuRow> rows;
    ReadMenu(form.MainPopupMenu.SubMenu(), 0, rows);
    const std::vector<MenuRow> expected = {
        {0, L"&Open Image Folder [Ctrl+O]", true, false, false},
        {0, L"", true, false, false},
        {0, L"&Previous Image [P]", false, false, false},
        {0, L"&Next Image [N]", false, false, false},
        {0, L"", true, false, false},
        {0, L"Slide Show", true, false, true},
        {1, L"&Start Slide Show [S]", false, false, false},
        {1, L"Pause (&Hold) Silde Show [H]", false, false, false},
        {1, L"&View Options [V]", true, false, false},
        {0, L"", true, false, false},
        {0, L"Zoom", false, false, true},
        {1, L"Zoom In 10%", true, false, false},
        {1, L"Zoom Out 10%", true, false, false},
        {1, L"Zoom To Fit", true, false, false},
        {1, L"Zoom To 100%", true, false, false},
        {0, L"&Rotate", false, false, true},
        {1, L"90\u00B0 Clockwise", true, false, false},
        {1, L"90\u00B0 Counter Clockwise", true, false, false},
        {1, L"180\u00B0 Rotation", true, false, false},
        {0, L"Flip", false, false, true},
        {1, L"Horizontal", true, false, false},
        {1, L"Vertical", true, false, false},
        {0, L"", true, false, false},
        {0, L"Background Color", true, false, true},
        {1, L"Black", true, false, false},
        {1, L"White", true, false, false},
        {1, L"Gray", true, false, false},
        {1, L"Custom...", true, false, false},
        {0, L"", true, false, false},
        {0, L"&Full Screen [F11]", true, false, false},
        {0, L"&Auto-fit [Ctrl+A]", true, true, false},
        {0, L"Colour Management", true, true, false},
        {0, L"", true, false, false},
        {0, L"Rename [Ctrl+ENTER]", false, false, false},
        {0, L"Save [Ctrl+S]", false, false, false},
        {0, L"Save As...", false, false, false},
        {0, L"Reload Image [F5]", false, false, false},
        {0, L"Delete [Del]", false, false, false},
        {0, L"", true, false, false},
        {0, L"&Exit [Esc]", true, false, false},
    };
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("menu row " + std::to_string(i) + " " + Narrow(expected[i].caption));
        EXPECT_EQ(rows[i].depth, expected[i].depth);
        EXPECT_EQ(rows[i].caption, expected[i].caption);
        if (!expected[i].caption.empty()) {
            EXPECT_EQ(rows[i].enabled, expected[i].enabled);
            EXPECT_EQ(rows[i].checked, expected[i].checked);
            EXPECT_EQ(rows[i].submenu, expected[i].submenu);
        }
    }

    // Resizing keeps the button bar centred and the strips docked.
    SetWindowPos(form.Handle(), nullptr, 0, 0, Scale(1000), Scale(600), SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    bar = BoundsIn(form.Panel1, form.Panel2);
    EXPECT_NEAR(bar.left, (form.Panel2.ClientWidth() - Scale(617)) / 2, 1);
    EXPECT_EQ(BoundsIn(form.StatusBar1, form).bottom, form.ClientHeight());
    EXPECT_EQ(BoundsIn(form.ScrollBox1, form).right, form.ClientWidth());
}

// The buttons of the main window's bar and of the e-mail size dialog read
// back against their designed tables: place, size, state at start, caption
// or picture, and hint.
TEST_F(MainForm, ButtonsFollowTheirDesignedTables)
{
    using namespace control_tables;
    TMainForm form({});
    form.Show();
    Pump();
    std::vector<HBITMAP> glyphs;
    for (const BarButton& row : kMainBar) {
        SCOPED_TRACE(Narrow(row.hint));
        TButton& button = form.*row.button;
        RECT r = BoundsIn(button, form.Panel1);
        EXPECT_EQ(r.left, Scale(row.left));
        EXPECT_EQ(r.top, Scale(4));
        EXPECT_EQ(r.right - r.left, Scale(30));
        EXPECT_EQ(r.bottom - r.top, Scale(25));
        EXPECT_EQ(button.Enabled(), row.enabledAtStart);
        EXPECT_EQ(button.Hint(), row.hint);
        if (&button != &form.SBtnHelpAbout) {
            ASSERT_NE(button.Glyph(), nullptr);
            BITMAP bm{};
            GetObjectW(button.Glyph(), sizeof(bm), &bm);
            EXPECT_EQ(bm.bmBitsPixel, 32);
            glyphs.push_back(button.Glyph());
        }
    }
    EXPECT_EQ(form.SBtnHelpAbout.Text(), L"?");
    EXPECT_EQ(form.SBtnHelpAbout.Glyph(), nullptr);
    std::sort(glyphs.begin(), glyphs.end());
    EXPECT_EQ(std::unique(glyphs.begin(), glyphs.end()), glyphs.end()) << "every button has its own picture";
    EXPECT_EQ(form.CmbZoomPercent.Hint(), kZoomBoxHint);

    TEmailSizeDlg dialog(form);
    for (const DialogButton& row : kEmailSizeButtons) {
        SCOPED_TRACE(Narrow(row.caption));
        TButton& button = dialog.*row.button;
        const RECT r = BoundsIn(button, dialog);
        EXPECT_EQ(r.left, Scale(row.left));
        EXPECT_EQ(r.top, Scale(row.top));
        EXPECT_EQ(r.right - r.left, Scale(row.width));
        EXPECT_EQ(r.bottom - r.top, Scale(25));
        EXPECT_EQ(button.Text(), row.caption);
        EXPECT_EQ(button.Hint(), row.hint);
    }
}

TEST_F(MainForm, HintsGoToTheFirstStatusPanel)
{
    TMainForm form({});
    form.Show();
    Pump();
    // The pointer moving onto a control sends its long hint to panel 0.
    PostMessageW(form.SBtnOpen.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    Pump();
    EXPECT_EQ(form.StatusBar1.PanelText(0), LongHint(control_tables::MainBarHint(&TMainForm::SBtnOpen)));
    PostMessageW(form.CmbZoomPercent.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    Pump();
    EXPECT_EQ(form.StatusBar1.PanelText(0), LongHint(control_tables::kZoomBoxHint));
    PostMessageW(form.PnlPleaseWait.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
    Pump();
    EXPECT_EQ(form.StatusBar1.PanelText(0), L"");
}

TEST_F(MainForm, LoadsEveryFormatFromAFolderWithSpacesAndNonAsciiLetters)
{
    TempFolder folder(L"Pixavo m\u00E4in f\u00F6rm \u5199\u771F");
    const Raster quadrants = Quadrants(120, 80);
    WriteBytes(folder / L"photo one.jpg", EncodeJpeg(quadrants));
    WriteBytes(folder / L"\u00DCbersicht.png", EncodePng(PngFromRaster(quadrants)));
    WriteBytes(folder / L"plain.bmp", EncodeBmp(quadrants));
    WriteBytes(folder / L"sample.ico", ReadBytes(Widen(PIXAVO_TEST_DATA) + L"/sample.ico"));
    WriteEmf(folder / L"drawing.emf");
    {
        TPicture emf;
        LoadPictureFromFile(emf, folder / L"drawing.emf");
        emf.Graphic()->SaveToFile(folder / L"drawing.wmf");
    }

    for (const wchar_t* name :
         {L"photo one.jpg", L"\u00DCbersicht.png", L"plain.bmp", L"sample.ico", L"drawing.emf", L"drawing.wmf"}) {
        SCOPED_TRACE(Narrow(name));
        TMainForm form({L"/nosplash", folder / name});
        form.Show();
        Pump();
        EXPECT_TRUE(NothingShown(failures));
        EXPECT_EQ(form.TestState().FolderPath, folder.Path());
        EXPECT_EQ(form.TestState().FileList.size(), 6u);
        EXPECT_EQ(form.TestState().CurrentFileName, name);
        ASSERT_TRUE(form.CurrentIndexValid());
        EXPECT_EQ(form.TestState().FileList[size_t(form.TestState().CurrentIndex)], name);
        const int w = form.TestState().CurrentPicture.Width(), h = form.TestState().CurrentPicture.Height();
        EXPECT_GT(w, 0);
        EXPECT_GT(h, 0);
        EXPECT_EQ(form.StatusBar1.PanelText(1),
                  std::wstring(name) + L" (" + std::to_wstring(w) + L"x" + std::to_wstring(h) + L")");
        // Image-shown state.
        EXPECT_FALSE(form.PnlPleaseWait.Visible());
        EXPECT_EQ(form.PnlPleaseWait.Text(), L"Loading Image, Please Wait...");
        for (TWindow* on : std::initializer_list<TWindow*>{&form.SBtnPrevious, &form.SBtnNext, &form.SBtnSlideShow,
                                                           &form.SBtnRotateCCW, &form.SBtnRotateCW, &form.SBtnTools,
                                                           &form.SBtnPrint, &form.SBtnEmail, &form.SBtnZoomOut,
                                                           &form.SBtnZoomIn, &form.CmbZoomPercent})
            EXPECT_TRUE(on->Enabled());
        EXPECT_FALSE(form.SBtnSave.Enabled());
        EXPECT_FALSE(form.SaveCtrlS1->Enabled());
        for (TMenuItem* on : {form.PreviousImage1, form.NextImage1, form.SlideShow1, form.Rotate1, form.Flip1,
                              form.SaveAs1, form.Rename1, form.Delete1, form.ReloadImageF51, form.Zoom1})
            EXPECT_TRUE(on->Enabled()) << Narrow(on->Caption());
        EXPECT_EQ(form.CmbZoomPercent.Text(), L"100%");
        // Smaller than the area: natural size, centred.
        RECT image = BoundsIn(form.Image1, form.ScrollBox1);
        EXPECT_EQ(image.right - image.left, w);
        EXPECT_EQ(image.bottom - image.top, h);
        EXPECT_NEAR(image.left, (form.ScrollBox1.ClientWidth() - w) / 2, 1);
        EXPECT_NEAR(image.top, (form.ScrollBox1.ClientHeight() - h) / 2, 1);
    }
}

TEST_F(MainForm, CommandLineRules)
{
    TempFolder folder(L"Pixavo args");
    WriteBytes(folder / L"x.jpg", EncodeJpeg(Quadrants(10, 10)));
    WriteBytes(folder / L"y.png", EncodePng(PngFromRaster(Quadrants(12, 10))));
    WriteBytes(folder / L"a.txt", {'h', 'i'});
    {
        // -INSTALL in another letter case and -install as a later argument
        // have no extension and are ignored; a.txt is reported; the last
        // supported argument wins.
        TMainForm form({L"-INSTALL", folder / L"a.txt", folder / L"x.jpg", L"-install", folder / L"y.png"});
        ASSERT_EQ(unsupported.size(), 1u);
        EXPECT_EQ(unsupported[0], folder / L"a.txt");
        EXPECT_EQ(form.TestState().CurrentFileName, L"y.png");
        EXPECT_EQ(form.TestState().FileList.size(), 2u);   // a.txt is not listed
        EXPECT_EQ(form.StatusBar1.PanelText(1), L"y.png (12x10)");
    }
    {
        // A wanted name in other letter case still selects the file.
        TMainForm form({folder / L"X.JPG"});
        EXPECT_EQ(form.TestState().CurrentFileName, L"x.jpg");
    }
}

TEST_F(MainForm, BrokenAndMissingFilesAreReportedAndDropped)
{
    TempFolder folder(L"Pixavo broken");
    WriteBytes(folder / L"a.jpg", {0xFF, 0xD8, 'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
    WriteBytes(folder / L"b.png", EncodePng(PngFromRaster(Quadrants(30, 20))));
    WriteBytes(folder / L"c.bmp", EncodeBmp(Quadrants(40, 10)));

    TMainForm form({folder / L"b.png"});
    ASSERT_TRUE(NothingShown(failures));
    ASSERT_EQ(form.TestState().FileList.size(), 3u);
    // Rebuild the order so the broken file is current and not last.
    form.ShowFiles({L"a.jpg", L"b.png", L"c.bmp"}, 0);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_FALSE(failures[0].empty());
    EXPECT_EQ(form.TestState().FileList, (std::vector<std::wstring>{L"b.png", L"c.bmp"}));
    EXPECT_EQ(form.TestState().CurrentFileName, L"b.png");   // the entry that moved into its place
    EXPECT_EQ(form.StatusBar1.PanelText(1), L"b.png (30x20)");

    // The current file deleted outside the program, as the last entry: the
    // new last entry is shown.
    form.ShowFiles({L"b.png", L"c.bmp"}, 1);
    ASSERT_EQ(form.TestState().CurrentFileName, L"c.bmp");
    ASSERT_TRUE(DeleteFileW((folder / L"c.bmp").c_str()));
    form.LoadCurrentImage();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[1], L"File \"" + (folder / L"c.bmp") + L"\" Does Not Exist");
    EXPECT_EQ(form.TestState().FileList, (std::vector<std::wstring>{L"b.png"}));
    EXPECT_EQ(form.TestState().CurrentIndex, 0);
    EXPECT_EQ(form.TestState().CurrentFileName, L"b.png");
    EXPECT_FALSE(form.PnlPleaseWait.Visible());

    // Everything failing ends in the no-images state, one message per file.
    ASSERT_TRUE(DeleteFileW((folder / L"b.png").c_str()));
    form.TestState().Modified = true;
    form.ShowFiles({L"b.png", L"a.jpg"}, 0);
    EXPECT_EQ(failures.size(), 4u);
    EXPECT_TRUE(form.TestState().FileList.empty());
    EXPECT_FALSE(form.TestState().Modified);
    EXPECT_TRUE(form.PnlPleaseWait.Visible());
    EXPECT_EQ(form.PnlPleaseWait.Text(), L"Press [Ctrl+O] or Click Here to open an image folder to browse.");
    for (TWindow* off : std::initializer_list<TWindow*>{&form.SBtnPrevious, &form.SBtnNext, &form.SBtnSlideShow,
                                                        &form.SBtnRotateCW, &form.SBtnSave, &form.SBtnZoomIn,
                                                        &form.CmbZoomPercent})
        EXPECT_FALSE(off->Enabled());
    for (TMenuItem* off : {form.PreviousImage1, form.SlideShow1, form.Rotate1, form.ReloadImageF51, form.Zoom1})
        EXPECT_FALSE(off->Enabled());
    EXPECT_TRUE(form.SBtnOpen.Enabled());
}

namespace {

// A JPEG of two components in no colour model, which the viewer's decoder
// cannot turn into colour.
std::vector<uint8_t> TwoComponentJpeg(int width, int height)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 2;
    cinfo.in_color_space = JCS_UNKNOWN;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(width) * 2, 90);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(out, out + size);
    free(out);
    return bytes;
}

// The offset of the frame header's segment (after its marker) in a baseline JPEG.
size_t FrameHeader(const std::vector<uint8_t>& jpeg)
{
    for (size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0)
            return i + 2;
    ADD_FAILURE() << "no frame header";
    return 0;
}

} // namespace

TEST_F(MainForm, JpegsWhoseDataCannotBeDecodedAreReportedByTheLoad)
{
    TempFolder folder(L"Pixavo undecodable");
    const std::vector<uint8_t> good = EncodeJpeg(Quadrants(40, 30));
    std::vector<uint8_t> noTable = good;   // the first component names quantisation table 3
    noTable[FrameHeader(noTable) + 2 + 1 + 4 + 1 + 1 + 1] = 3;
    std::vector<uint8_t> huge = good;      // 65000 × 65000 pixels, more than may be decoded
    for (size_t at : {FrameHeader(huge) + 3, FrameHeader(huge) + 5}) {
        huge[at] = 0xFD;
        huge[at + 1] = 0xE8;
    }
    const std::pair<const wchar_t*, std::vector<uint8_t>> cases[] = {
        {L"two components.jpg", TwoComponentJpeg(16, 16)}, {L"no table.jpg", noTable}, {L"huge.jpg", huge}};
    WriteBytes(folder / L"a.bmp", EncodeBmp(Quadrants(20, 10)));
    WriteBytes(folder / L"c.bmp", EncodeBmp(Quadrants(60, 50)));
    TMainForm form({L"/nosplash", folder / L"a.bmp"});
    form.Show();
    Pump();
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(Narrow(name));
        WriteBytes(folder / name, bytes);
        // The header reads: only decoding the picture finds the fault.
        EXPECT_GT(ReadJpegHeader(bytes).width, 0);
        failures.clear();
        form.ShowFiles({L"a.bmp", name, L"c.bmp"}, 0);
        ASSERT_EQ(form.TestState().CurrentFileName, L"a.bmp");
        form.ShowNextImage();
        // Reported by the load with the decoder's message, dropped, and the
        // next entry shown with its own size and pixels.
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_TRUE(failures[0].starts_with(L"JPEG error #")) << Narrow(failures[0]);
        EXPECT_EQ(form.TestState().FileList, (std::vector<std::wstring>{L"a.bmp", L"c.bmp"}));
        EXPECT_EQ(form.TestState().CurrentFileName, L"c.bmp");
        EXPECT_EQ(form.StatusBar1.PanelText(1), L"c.bmp (60x50)");
        EXPECT_EQ(form.Image1.Picture().Width(), 60);
        form.Image1.Repaint();
        Pump();
        {
            WindowDc dc(form.Image1.Handle());
            EXPECT_EQ(GetPixel(dc.Get(), 5, 5), RGB(230, 0, 0));   // c.bmp's red corner
        }
        EXPECT_EQ(failures.size(), 1u) << "painting reports nothing more";
    }
    // When it is the only entry, the window ends in the no-images state, and
    // the status bar names no file.
    form.ShowFiles({L"two components.jpg"}, 0);
    EXPECT_TRUE(form.TestState().FileList.empty());
    EXPECT_TRUE(form.PnlPleaseWait.Visible());
    EXPECT_EQ(form.StatusBar1.PanelText(1), L"");
    EXPECT_FALSE(form.SBtnRotateCW.Enabled());
}

TEST_F(MainForm, FolderListingSkipsFoldersHiddenAndUnsupportedFiles)
{
    TempFolder folder(L"Pixavo listing");
    WriteBytes(folder / L"a.jpg", EncodeJpeg(Quadrants(8, 8)));
    WriteBytes(folder / L"notes.txt", {'x'});
    WriteBytes(folder / L"secret.png", EncodePng(PngFromRaster(Quadrants(8, 8))));
    SetFileAttributesW((folder / L"secret.png").c_str(), FILE_ATTRIBUTE_HIDDEN);
    CreateDirectoryW((folder / L"pics.jpg").c_str(), nullptr);
    WriteBytes(folder / L"b.png", EncodePng(PngFromRaster(Quadrants(8, 8))));
    TMainForm form({folder / L"b.png"});
    std::vector<std::wstring> sorted = form.TestState().FileList;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::wstring>{L"a.jpg", L"b.png"}));
    EXPECT_EQ(form.TestState().CurrentFileName, L"b.png");

    // A folder whose only images are hidden gives the no-images state
    // silently, also when a hidden image is the one asked for.
    TempFolder hiddenOnly(L"Pixavo listing hidden");
    for (const wchar_t* name : {L"one.bmp", L"two.bmp"}) {
        WriteBytes(hiddenOnly / name, EncodeBmp(Quadrants(8, 8)));
        SetFileAttributesW((hiddenOnly / name).c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    TMainForm hidden({L"/nosplash", hiddenOnly / L"two.bmp"});
    EXPECT_TRUE(hidden.TestState().FileList.empty());
    EXPECT_TRUE(hidden.PnlPleaseWait.Visible());
    EXPECT_EQ(hidden.PnlPleaseWait.Text(), kNoImagesText);
    EXPECT_FALSE(hidden.SBtnNext.Enabled());
    // An empty sub-folder likewise.
    hidden.OpenImageFolder(folder / L"pics.jpg\\nothing.png");
    EXPECT_TRUE(hidden.TestState().FileList.empty());
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(MainForm, PlacementCentresAndStatusShowsModified)
{
    TempFolder folder(L"Pixavo placement");
    WriteBytes(folder / L"small.bmp", EncodeBmp(Quadrants(100, 50)));
    TMainForm form({});
    // Image area of 400 × 300.
    form.SetClientSize(400, 300 + form.Panel2.Height() + form.StatusBar1.Height());
    form.Show();
    Pump();
    ASSERT_EQ(form.ScrollBox1.ClientWidth(), 400);
    ASSERT_EQ(form.ScrollBox1.ClientHeight(), 300);
    form.OpenImageFolder(folder / L"small.bmp");
    RECT image = BoundsIn(form.Image1, form.ScrollBox1);
    EXPECT_EQ(image.left, 150);
    EXPECT_EQ(image.top, 125);
    EXPECT_EQ(image.right - image.left, 100);
    EXPECT_EQ(image.bottom - image.top, 50);
    EXPECT_FALSE(form.ScrollBox1.ScrollBarShown(Axis::Horizontal));
    EXPECT_FALSE(form.ScrollBox1.ScrollBarShown(Axis::Vertical));

    form.TestState().Modified = true;
    form.RefreshImageInfo();
    EXPECT_EQ(form.StatusBar1.PanelText(1), L"small.bmp (100x50) (Modified)");
    form.LoadCurrentImage();
    EXPECT_FALSE(form.TestState().Modified);
    EXPECT_EQ(form.StatusBar1.PanelText(1), L"small.bmp (100x50)");

    // Halves go to the even neighbour: (400 - 101) / 2 = 149.5 gives 150,
    // (300 - 51) / 2 = 124.5 gives 124.
    WriteBytes(folder / L"odd.bmp", EncodeBmp(Quadrants(101, 51)));
    form.OpenImageFolder(folder / L"odd.bmp");
    image = BoundsIn(form.Image1, form.ScrollBox1);
    EXPECT_EQ(image.left, 150);
    EXPECT_EQ(image.top, 124);
}

TEST_F(MainForm, AutoFitShrinksLargeImagesAndTheDisplayCopyIsAveragedAndKept)
{
    // One-pixel black and white columns: averaged down they are grey.
    Raster stripes(1200, 600, PixelFormat::Bit24);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 1200; ++x)
            for (int c = 0; c < 3; ++c)
                stripes.MutableRow(y)[3 * x + c] = (x & 1) ? 255 : 0;
    TempFolder folder(L"Pixavo large");
    WriteBytes(folder / L"stripes.bmp", EncodeBmp(stripes));
    TMainForm form({});
    form.SetClientSize(600, 400 + form.Panel2.Height() + form.StatusBar1.Height());
    form.Show();
    Pump();
    form.OpenImageFolder(folder / L"stripes.bmp");
    form.Show();
    Pump();
    // 1200 × 600 in 600 × 400: rw = 1/2 wins, 600 × 300, centred vertically.
    RECT image = BoundsIn(form.Image1, form.ScrollBox1);
    EXPECT_EQ(image.right - image.left, 600);
    EXPECT_EQ(image.bottom - image.top, 300);
    EXPECT_EQ(image.left, 0);
    EXPECT_EQ(image.top, 50);
    EXPECT_EQ(form.TestState().ZoomPercent, 100u);
    EXPECT_EQ(form.CmbZoomPercent.Text(), L"100%");
    EXPECT_EQ(form.StatusBar1.PanelText(1), L"stripes.bmp (1200x600)");

    form.Image1.Repaint();
    const int made = form.Image1.DisplayCopiesMade();
    EXPECT_GE(made, 1);
    {
        WindowDc dc(form.Image1.Handle());
        for (int x = 100; x < 110; ++x) {
            COLORREF c = GetPixel(dc.Get(), x, 150);
            EXPECT_NEAR(GetRValue(c), 128, 2) << "x " << x;
        }
    }
    // Painting again and again reuses the copy.
    for (int i = 0; i < 5; ++i)
        form.Image1.Repaint();
    form.Repaint();
    EXPECT_EQ(form.Image1.DisplayCopiesMade(), made);
    // A new size makes a new one.
    form.SetClientSize(500, 400 + form.Panel2.Height() + form.StatusBar1.Height());
    Pump();
    EXPECT_EQ(BoundsIn(form.Image1, form.ScrollBox1).right - BoundsIn(form.Image1, form.ScrollBox1).left, 500);
    form.Image1.Repaint();
    EXPECT_EQ(form.Image1.DisplayCopiesMade(), made + 1);
}

TEST_F(MainForm, ScrollViewByMovesThroughTheWholeRange)
{
    TempFolder folder(L"Pixavo scroll");
    WriteBytes(folder / L"big.bmp", EncodeBmp(Quadrants(1000, 2000)));
    TMainForm form({});
    form.SetClientSize(500, 400 + form.Panel2.Height() + form.StatusBar1.Height());
    form.Show();
    form.TestState().AutoFit = false;
    form.OpenImageFolder(folder / L"big.bmp");
    Pump();
    ASSERT_TRUE(form.ScrollBox1.ScrollBarShown(Axis::Vertical));
    ASSERT_TRUE(form.ScrollBox1.ScrollBarShown(Axis::Horizontal));
    EXPECT_EQ(BoundsIn(form.Image1, form.ScrollBox1).left, 0);
    EXPECT_EQ(BoundsIn(form.Image1, form.ScrollBox1).top, 0);
    EXPECT_EQ(form.ScrollBox1.Range(Axis::Vertical), 2000);
    form.ScrollViewBy(Axis::Vertical, 5);
    EXPECT_EQ(form.ScrollBox1.Position(Axis::Vertical), 100);
    EXPECT_EQ(BoundsIn(form.Image1, form.ScrollBox1).top, -100);
    form.ScrollViewBy(Axis::Vertical, 100);
    EXPECT_EQ(form.ScrollBox1.Position(Axis::Vertical), 2000 - form.ScrollBox1.ClientHeight());
    form.ScrollViewBy(Axis::Vertical, -100);
    EXPECT_EQ(form.ScrollBox1.Position(Axis::Vertical), 0);
    form.ScrollViewBy(Axis::Horizontal, 1);
    EXPECT_EQ(form.ScrollBox1.Position(Axis::Horizontal), 10);
    // A load starts at the top left again.
    form.ScrollViewBy(Axis::Vertical, 10);
    form.LoadCurrentImage();
    EXPECT_EQ(form.ScrollBox1.Position(Axis::Vertical), 0);
    EXPECT_EQ(form.ScrollBox1.Position(Axis::Horizontal), 0);
}

TEST_F(MainForm, PointerHidingThresholds)
{
    TMainForm form({});
    form.TrackPointer(100, 100);   // not hiding: nothing recorded
    EXPECT_EQ(form.TestState().LastPointerPos.x, 0);
    form.HidePointer();
    EXPECT_TRUE(form.TestState().PointerHidden);
    EXPECT_EQ(form.Image1.Pointer(), PointerShape::Hidden);
    EXPECT_EQ(form.ScrollBox1.Pointer(), PointerShape::Hidden);
    form.TrackPointer(5, -5);
    EXPECT_EQ(form.Image1.Pointer(), PointerShape::Hidden);
    form.TrackPointer(-5, 5);
    EXPECT_EQ(form.ScrollBox1.Pointer(), PointerShape::Hidden);
    // Busy indication leaves a hidden pointer alone.
    form.BeginBusy(true);
    EXPECT_EQ(form.Image1.Pointer(), PointerShape::Hidden);
    form.EndBusy();
    EXPECT_EQ(form.Image1.Pointer(), PointerShape::Hidden);
    form.TrackPointer(6, 0);
    EXPECT_EQ(form.Image1.Pointer(), PointerShape::Default);
    EXPECT_EQ(form.ScrollBox1.Pointer(), PointerShape::Default);
    EXPECT_TRUE(form.TestState().PointerHidden);
    EXPECT_EQ(form.TestState().LastPointerPos.x, 6);
    EXPECT_EQ(form.TestState().LastPointerPos.y, 0);
    form.HidePointer();
    form.TrackPointer(6, -6);
    EXPECT_EQ(form.Image1.Pointer(), PointerShape::Default);
    form.ShowPointer();
    EXPECT_FALSE(form.TestState().PointerHidden);
    // Without hiding, busy shows the hourglass and the panel when asked.
    form.PnlPleaseWait.SetVisible(false);
    form.BeginBusy(true);
    EXPECT_EQ(form.Image1.Pointer(), PointerShape::Hourglass);
    EXPECT_EQ(form.PnlPleaseWait.Pointer(), PointerShape::Hourglass);
    EXPECT_TRUE(form.PnlPleaseWait.Visible());
    form.EndBusy();
    EXPECT_EQ(form.Image1.Pointer(), PointerShape::Default);
    EXPECT_FALSE(form.PnlPleaseWait.Visible());
}

// Not a test of its own: the end-to-end check (tests/e2e/first_image.sh)
// runs it beside a running pixavo.exe to read the main window's status bar
// and image area. It prints "status: <panel 1 text>", "hint: <panel 0 text>" and
// "area: left top right bottom" (screen coordinates, UTF-8).
TEST(E2EProbe, DISABLED_ReadRunningMainWindow)
{
    HWND main = FindWindowW(nullptr, L"Pixavo Image Browser by Corvane, Inc.");
    ASSERT_NE(main, nullptr);
    HWND status = FindWindowExW(main, nullptr, STATUSCLASSNAMEW, nullptr);
    HWND area = FindWindowExW(main, nullptr, nullptr, L"ScrollBox1");
    ASSERT_NE(status, nullptr);
    ASSERT_NE(area, nullptr);
    // The text has to be fetched into the other process's memory.
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    ASSERT_NE(process, nullptr);
    void* remote = VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(remote, nullptr);
    auto panel = [&](int index) {
        LRESULT info = SendMessageW(status, SB_GETTEXTLENGTHW, WPARAM(index), 0);
        size_t length = std::min<size_t>(LOWORD(info), 2000);
        SendMessageW(status, SB_GETTEXTW, WPARAM(index), reinterpret_cast<LPARAM>(remote));
        std::wstring text(length, L'\0');
        SIZE_T read = 0;
        ReadProcessMemory(process, remote, text.data(), length * sizeof(wchar_t), &read);
        return text;
    };
    const std::wstring text = panel(1), hint = panel(0);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    RECT r{};
    GetClientRect(area, &r);
    MapWindowPoints(area, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    std::printf("status: %s\nhint: %s\narea: %ld %ld %ld %ld\n", Narrow(text).c_str(), Narrow(hint).c_str(), r.left,
                r.top, r.right, r.bottom);
    std::fflush(stdout);
}
