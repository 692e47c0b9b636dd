// Opening images other than by stepping: files and folders dropped on the
// window (decided by their names while the drag lasts, opened after the
// drop, after the pending-changes question) and folders named on the command
// line; what held Next keys do when the picture left is modified; the file a
// failure met while stepping is named; and where the dialogs open.
#include "imaging/colour/ColourTransform.h"
#include "tests/droptool/FileListData.h"
#include "tests/win/EditingTestSupport.h"

using namespace editing_test;

namespace {

class Opening : public EditingTest {
protected:
    // A drag of the paths entering the image area, and its drop: the
    // effects the window answered.
    struct Drag {
        DWORD entered = DROPEFFECT_NONE, dropped = DROPEFFECT_NONE;
    };
    static Drag DragAndDrop(TMainForm& form, const std::vector<std::wstring>& paths,
                            const std::function<void()>& beforeDrop = {})
    {
        drop_fixture::FileListData data(paths);
        RECT r{};
        GetWindowRect(form.ScrollBox1.Handle(), &r);
        const POINTL at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        Drag drag;
        drag.entered = drag.dropped = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        form.DropTarget.DragEnter(&data, MK_LBUTTON, at, &drag.entered);
        DWORD over = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
        form.DropTarget.DragOver(MK_LBUTTON, at, &over);
        EXPECT_EQ(over, drag.entered);
        if (beforeDrop)
            beforeDrop();
        form.DropTarget.Drop(&data, 0, at, &drag.dropped);
        return drag;
    }
    static std::wstring Hint(TMainForm& form) { return form.StatusBar1.PanelText(0); }
    // A folder inside the test's folder (removed with it).
    std::wstring Subfolder(const std::wstring& name)
    {
        const std::wstring path = folder / name;
        CreateDirectoryW(path.c_str(), nullptr);
        return path;
    }
};

TEST_F(Opening, DropsAreDecidedByNameAndOpenOnceTheDragHasEnded)
{
    const std::wstring holiday = Subfolder(L"holiday.2024"), empty = Subfolder(L"empty");
    WriteBytes(holiday + L"\\first.bmp", EncodeBmp(Marked(20, 10)));
    WriteBytes(holiday + L"\\notes.txt", {'n', 'o'});
    WriteBytes(empty + L"\\notes.txt", {'n', 'o'});
    auto form = Open({{L"start.bmp", EncodeBmp(Marked(30, 20))}, {L"other.bmp", EncodeBmp(Marked(40, 30))},
                      {L"notes.txt", {'n', 'o'}}},
                     L"start.bmp");
    struct Row {
        const char* what;
        std::vector<std::wstring> paths;
        DWORD effect;                 // answered as the drag enters, and at the drop
        const wchar_t* hint;          // after the drop; null: as it was
        const wchar_t* shown;         // the status afterwards
    };
    const Row rows[] = {
        {"a text file: refused, nothing happens", {folder / L"notes.txt"}, DROPEFFECT_NONE, nullptr,
         L"start.bmp (30x20)"},
        // Entering, a folder is taken by its name: nothing is listed while the
        // drag lasts. Listed after the drop, it holds no image.
        {"a folder without images: taken, then said", {empty}, DROPEFFECT_COPY,
         L"The folder holds no images that can be opened.", L"start.bmp (30x20)"},
        {"an image file", {folder / L"other.bmp"}, DROPEFFECT_COPY, nullptr, L"other.bmp (40x30)"},
        {"a folder whose name has a dot: its first image", {holiday}, DROPEFFECT_COPY, nullptr,
         L"first.bmp (20x10)"},
        {"a text file, then an image", {folder / L"notes.txt", folder / L"start.bmp"}, DROPEFFECT_COPY, nullptr,
         L"start.bmp (30x20)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::wstring before = Status(*form);
        // What the hint says is cleared as the drop comes: a refused drop
        // that did something would say its refusal again.
        const Drag drag = DragAndDrop(*form, row.paths, [&] { form->ApplicationHint(L""); });
        EXPECT_EQ(drag.entered, row.effect);
        EXPECT_EQ(drag.dropped, row.effect);
        // Nothing has opened inside the drop: the dragging program is let go first.
        EXPECT_EQ(Status(*form), before);
        Pump();
        EXPECT_EQ(Hint(*form), row.hint ? row.hint : L"");
        EXPECT_EQ(Status(*form), row.shown);
    }
    EXPECT_EQ(form->TestState().FolderPath, folder.Path());
    EXPECT_TRUE(NothingShown(prompts));
    EXPECT_TRUE(NothingShown(failures));
    // The folder's own listing, from the dropped folder.
    DragAndDrop(*form, {holiday});
    Pump();
    EXPECT_EQ(form->TestState().FolderPath, holiday);
    EXPECT_EQ(form->TestState().FileList, std::vector<std::wstring>{L"first.bmp"});
}

TEST_F(Opening, FoldersNamedOnTheCommandLineOpenTheirFirstImage)
{
    const std::wstring holiday = Subfolder(L"holiday.2024"), pics = Subfolder(L"pics.jpg");
    WriteBytes(holiday + L"\\only.png", EncodePng(PngFromRaster(Marked(12, 10))));
    WriteBytes(pics + L"\\inside.bmp", EncodeBmp(Marked(14, 10)));
    WriteBytes(folder / L"loose.bmp", EncodeBmp(Marked(16, 10)));
    struct Row {
        const char* what;
        std::vector<std::wstring> arguments;
        const wchar_t* shown;
        std::wstring folderPath;
    };
    const Row rows[] = {
        {"a folder with a dot", {holiday}, L"only.png (12x10)", holiday},
        {"with a last separator", {holiday + L"\\"}, L"only.png (12x10)", holiday},
        {"a folder named like an image", {pics}, L"inside.bmp (14x10)", pics},
        {"the last one wins: the folder", {folder / L"loose.bmp", holiday}, L"only.png (12x10)",
         holiday},
        {"the last one wins: the file", {holiday, folder / L"loose.bmp"}, L"loose.bmp (16x10)", folder.Path()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TMainForm form(row.arguments);
        EXPECT_EQ(form.StatusBar1.PanelText(1), row.shown);
        EXPECT_EQ(form.TestState().FolderPath, row.folderPath);
    }
    // Nothing was said about any of them being of an unsupported format.
    EXPECT_TRUE(NothingShown(prompts));
    EXPECT_TRUE(NothingShown(failures));
}

// Leaving a modified picture asks first, whether the step comes from keys
// that piled up while the viewer was busy or from a drop; the presses that
// were waiting when the question came carry the view no further than the
// step it was asked for, and a question that stops the step stops them all.
TEST_F(Opening, HeldKeysAndDropsAskBeforeLeavingAModifiedPicture)
{
    struct Row {
        const char* what;
        bool drop;        // else three presses of N waiting together
        bool readOnly;    // Yes then fails to save: the step stops
        int answer;
        const wchar_t* shown;
    };
    const Row rows[] = {
        {"keys, Discard Changes", false, false, 3, L"b.bmp"},
        {"keys, Yes but the file cannot be written", false, true, 1, L"a.jpg"},
        {"drop, Discard Changes", true, false, 3, L"d.bmp"},
        {"drop, Yes but the file cannot be written", true, true, 1, L"a.jpg"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<uint8_t> original = EncodeJpeg(Marked(200, 100));
        auto form = Open({{L"a.jpg", original}, {L"b.bmp", EncodeBmp(Marked(10, 10))},
                          {L"c.bmp", EncodeBmp(Marked(12, 10))}, {L"d.bmp", EncodeBmp(Marked(14, 10))}},
                         L"a.jpg");
        form->ShowFiles({L"a.jpg", L"b.bmp", L"c.bmp", L"d.bmp"}, 0);
        const std::wstring path = folder / L"a.jpg";
        if (row.readOnly)
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
        Press('R', ssCtrl);   // small: leaving it asks
        ASSERT_TRUE(form->TestState().Modified);
        prompts.clear();
        promptAnswer = row.answer;
        std::vector<std::wstring> messages;
        {
            std::vector<DialogDriver::Step> steps;
            if (row.readOnly)
                steps.push_back(AcceptMessage(messages));
            DialogDriver driver(steps);
            if (row.drop) {
                DragAndDrop(*form, {folder / L"d.bmp"});
            } else {
                const HWND keys = form->EdtKeyGrab.Handle();
                for (int i = 0; i < 3; ++i) {
                    const LPARAM scan = LPARAM(MapVirtualKeyW('N', MAPVK_VK_TO_VSC)) << 16;
                    PostMessageW(keys, WM_KEYDOWN, 'N', 1 | scan);
                    PostMessageW(keys, WM_KEYUP, 'N', 1 | scan | 3u << 30);
                }
            }
            Pump();
            Pump();
            EXPECT_TRUE(driver.Finished());
        }
        ASSERT_EQ(prompts.size(), 1u);
        EXPECT_EQ(prompts[0].caption, L"Overwrite current image file with modified image?");
        EXPECT_EQ(form->TestState().CurrentFileName, row.shown);
        EXPECT_EQ(form->TestState().Modified, row.readOnly);
        EXPECT_EQ(ReadBytes(path), original);
        if (row.readOnly)
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_TRUE(NothingShown(failures));
    }
}

TEST_F(Opening, AFailureMetWhileSteppingNamesTheFile)
{
    auto form = Open({{L"a.bmp", EncodeBmp(Marked(10, 10))}, {L"b.jpg", {0xFF, 0xD8, 0xFF, 'b', 'a', 'd'}},
                      {L"c.bmp", EncodeBmp(Marked(12, 10))}},
                     L"a.bmp");
    form->ShowFiles({L"a.bmp", L"b.jpg", L"c.bmp"}, 0);
    errors.clear();
    Press('N');
    ASSERT_EQ(errors.size(), 1u);
    // The decoder's own text, then the file's name.
    EXPECT_TRUE(errors[0].message.starts_with(L"JPEG error #")) << Narrow(errors[0].message);
    EXPECT_TRUE(errors[0].message.ends_with(L" (b.jpg)")) << Narrow(errors[0].message);
    EXPECT_EQ(form->TestState().CurrentFileName, L"c.bmp");
    // A missing file's message names it already, with its folder: once.
    ASSERT_TRUE(DeleteFileW((folder / L"a.bmp").c_str()));
    Press('N');
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1].message, L"File \"" + (folder / L"a.bmp") + L"\" Does Not Exist");
}

// The open dialog's preview shows pictures in the monitor's colours, as the
// image area does: on a monitor whose red is sRGB's green, untagged red
// shows green.
TEST_F(Opening, OpenDialogPreviewIsInTheMonitorsColours)
{
    const Chromaticities& s = kSrgbPrimaries;
    const std::vector<uint8_t> swapped =
        MakeIccProfile({s.greenX, s.greenY, s.redX, s.redY, s.blueX, s.blueY, s.whiteX, s.whiteY}, kSrgbCurve);
    WriteBytes(folder / L"red.png", EncodePng(PngFromRaster(Solid(64, 48, 230, 0, 0))));
    auto form = MakeForm(400, 300);
    struct Row {
        const char* what;
        bool managed;
        COLORREF shown;
    };
    const Row rows[] = {
        {"managed: converted from sRGB", true, RGB(0, 230, 0)},
        {"management off: its numbers", false, RGB(230, 0, 0)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        form->DlgOpenPicture.Colours = std::make_shared<const MonitorColours>(row.managed, swapped);
        COLORREF middle = CLR_INVALID;
        {
            DialogDriver driver({TypeAndConfirm(folder.Path()), SelectInList(L"red.png"),
                                 ExpectPreview(L"64 x 48", &middle), Cancel()});
            form->ChooseImageFolder();
            EXPECT_TRUE(driver.Finished());
        }
        EXPECT_LE(std::abs(GetRValue(middle) - GetRValue(row.shown)), 4) << std::hex << middle;
        EXPECT_LE(std::abs(GetGValue(middle) - GetGValue(row.shown)), 4) << std::hex << middle;
        EXPECT_LE(GetBValue(middle), 4);
    }
}

// The program's own windows and the system's dialogs it opens come up
// centred on the work area of the monitor the main window is on (Wine on
// Xvfb has one monitor; the rule over several is held by the host test).
TEST_F(Opening, DialogsOpenCentredOnTheMainWindowsMonitor)
{
    auto form = Open({{L"a.bmp", EncodeBmp(Marked(10, 10))}}, L"a.bmp");
    SetWindowPos(form->Handle(), nullptr, 5, 7, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    MONITORINFO monitor{sizeof(monitor)};
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(form->Handle(), MONITOR_DEFAULTTONEAREST), &monitor));
    const RECT& work = monitor.rcWork;
    auto centred = [&](HWND window) {
        RECT r{};
        GetWindowRect(window, &r);
        const long dx = (r.left + r.right) - (work.left + work.right);
        const long dy = (r.top + r.bottom) - (work.top + work.bottom);
        return std::abs(dx) <= 1 && std::abs(dy) <= 1;
    };
    // The error dialog, moved elsewhere since it was last shown.
    form->ErrorDlg->SetBounds(0, 0, form->ErrorDlg->Width(), form->ErrorDlg->Height());
    bool errorCentred = false;
    Application::ModalShownHook() = [&](TForm& shown) {
        errorCentred = centred(shown.Handle());
        PostClick(form->ErrorDlg->SbtnOkay.Handle());
    };
    form->ErrorDlg->SetErrorText(L"placed");
    form->ErrorDlg->ShowModal();
    EXPECT_TRUE(errorCentred);
    // A dialog box of the system's class, which the system would leave at
    // its template's place, the top-left corner: moved as it comes forward,
    // as the program's message boxes and the common dialogs are (Wine
    // centres its own message boxes anyway).
    struct alignas(4) Template {
        DLGTEMPLATE dialog{WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 0, 0, 0, 0, 200, 80};
        WORD menu = 0, windowClass = 0, title = 0;
    } layout;
    bool boxCentred = false;
    {
        DialogDriver driver({[&](HWND box) {
            boxCentred = centred(box);
            PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
            return true;
        }});
        const SystemDialogPlacement placed;
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &layout.dialog, form->Handle(),
                                [](HWND box, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
                                    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
                                        EndDialog(box, IDCANCEL);
                                    return message == WM_INITDIALOG;
                                },
                                0);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_TRUE(boxCentred);
}

} // namespace
