// Save, Save As through the system's save dialog, failed saves, rename and
// delete of the current image, with real files, the folder list following
// the disk.
#include "tests/host/jpeg_metadata_material.h"
#include "tests/win/EditingTestSupport.h"

using namespace editing_test;

namespace {

class Files : public EditingTest {};

// The format of a file by its first bytes, and its pixels.
std::string FormatOf(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() > 2 && bytes[0] == 'B' && bytes[1] == 'M')
        return "BMP";
    if (bytes.size() > 2 && bytes[0] == 0x89 && bytes[1] == 'P')
        return "PNG";
    return bytes.size() > 2 && bytes[0] == 0xFF && bytes[1] == 0xD8 ? "JPEG" : "?";
}

Raster Decoded(const std::vector<uint8_t>& bytes)
{
    const std::string format = FormatOf(bytes);
    return format == "BMP" ? DecodeBmp(bytes) : format == "PNG" ? PngToRaster(DecodePng(bytes)) : DecodeJpeg(bytes);
}

// No temporary file was left beside the images.
bool NoTemporaryFiles(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*.tmp").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return true;
    FindClose(find);
    return false;
}

} // namespace

TEST_F(Files, SaveAsWritesByTheNamesExtensionAndFollowsTheList)
{
    struct Case {
        const char* what;
        std::wstring typed;       // relative to the folder; empty: Cancel
        std::wstring written;     // the file expected
        bool replace;             // the overwrite question comes
        std::wstring current;     // the current file afterwards
        size_t listed;
        const char* format;
    };
    const Case cases[] = {
        {"no extension typed, Bitmaps chosen", L"new", L"new.jpg", false, L"new.jpg", 3, "JPEG"},
        {"an existing name of the list", L"b.jpg", L"b.jpg", true, L"b.jpg", 2, "JPEG"},
        {"another folder", L"sub\\c.png", L"sub\\c.png", false, L"a.JPG", 2, "PNG"},
        {"a name the list cannot hold", L"odd.xyz", L"odd.xyz", false, L"a.JPG", 2, "BMP"},
        {"cancelled", L"", L"", false, L"a.JPG", 2, ""},
    };
    CreateDirectoryW((folder / L"sub").c_str(), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> original = EncodeJpeg(Marked(40, 30));
        auto form = Open({{L"a.JPG", original}, {L"b.jpg", EncodeJpeg(Marked(20, 20))}}, L"a.JPG");
        Press('R', ssCtrl);
        std::wstring shownFolder, shownName;
        COLORREF previewed = 0;
        std::vector<DialogDriver::Step> steps = {NoteFolderAndName(shownFolder, shownName), SelectInList(L"b.jpg"),
                                                 ExpectPreview(L"20 x 20", &previewed)};
        if (c.typed.empty()) {
            steps.push_back(Cancel());
        } else {
            steps.push_back(ChooseFileType(4));   // "Bitmaps (*.bmp)": the name alone decides
            steps.push_back(TypeAndConfirm(folder / c.typed));
            if (c.replace)
                steps.push_back(ConfirmReplace());
        }
        {
            DialogDriver driver(steps);
            ChooseMenu(*form, form->SaveAs1);
            EXPECT_TRUE(driver.Finished());
        }
        EXPECT_EQ(shownFolder, folder.Path());
        EXPECT_NE(shownName.find(L"a.JPG"), std::wstring::npos) << Narrow(shownName);
        for (int shift : {0, 8, 16})
            EXPECT_NEAR(int(previewed >> shift & 0xFF), 128, 6);
        EXPECT_EQ(form->TestState().CurrentFileName, c.current);
        EXPECT_EQ(form->TestState().FileList.size(), c.listed);
        EXPECT_TRUE(form->TestState().ChangesDismissed || form->TestState().CurrentFileName != L"a.JPG");
        EXPECT_EQ(ReadBytes(folder / L"a.JPG"), original);
        if (c.typed.empty()) {
            EXPECT_TRUE(form->TestState().Modified);
            continue;
        }
        EXPECT_FALSE(form->TestState().Modified);
        EXPECT_FALSE(form->SBtnSave.Enabled());
        EXPECT_EQ(form->DlgSavePicture.FileTypeIndex, 5);   // remembered
        const std::vector<uint8_t> written = ReadBytes(folder / c.written);
        ASSERT_EQ(FormatOf(written), c.format);
        const Raster saved = Decoded(written);
        EXPECT_EQ(RedCorner(saved), "TR");
        EXPECT_EQ(saved.Width(), 30);
        if (c.current == L"a.JPG") {
            // Saved elsewhere: leaving asks nothing and writes nothing.
            prompts.clear();
            Press('N');
            EXPECT_TRUE(NothingShown(prompts));
            EXPECT_EQ(ReadBytes(folder / L"a.JPG"), original);
        } else {
            if (c.listed == 3) {
                EXPECT_EQ(form->TestState().FileList.back(), L"new.jpg");   // appended
            }
            EXPECT_EQ(Status(*form), form->TestState().CurrentFileName + L" (30x40)");
        }
        DeleteFileW((folder / L"new.jpg").c_str());
        DeleteFileW((folder / L"odd.xyz").c_str());
    }
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(Files, SaveAsAsksBeforeReplacingTheFileTheNameBecomes)
{
    // The dialog asks about the name as typed; a name typed without an
    // extension gets the current file's, and an existing file of that name is
    // asked about too. No returns to the dialog, with nothing written.
    struct Case {
        const char* what;
        std::wstring current;   // turned, then saved as
        std::wstring typed;
        int answer;             // IDNO: then Cancel
        std::wstring asked;     // the file the question names
    };
    const Case cases[] = {
        {"the whole name: the dialog's own question", L"a.png", L"b.png", IDNO, L""},
        {"no extension, No", L"a.png", L"b", IDNO, L"b.png"},
        {"no extension, Yes", L"a.png", L"b", IDYES, L"b.png"},
        {"the current file under another case of its extension", L"c.PNG", L"c", IDNO, L"c.png"},
    };
    std::vector<std::wstring> questions;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> current = EncodePng(PngFromRaster(Marked(40, 30)));
        const std::vector<uint8_t> other = EncodePng(PngFromRaster(Marked(20, 20)));
        auto form = Open({{c.current, current}, {L"b.png", other}}, c.current);
        Press('R', ssCtrl);
        std::wstring shownFolder, shownName;
        std::vector<DialogDriver::Step> steps = {TypeAndConfirm(folder / c.typed), AnswerReplace(c.answer, &questions)};
        if (c.answer == IDNO) {
            steps.push_back(NoteFolderAndName(shownFolder, shownName));
            steps.push_back(Cancel());
        }
        {
            DialogDriver driver(steps);
            ChooseMenu(*form, form->SaveAs1);
            EXPECT_TRUE(driver.Finished());
        }
        ASSERT_EQ(questions.size(), 1u);
        if (!c.asked.empty()) {
            EXPECT_EQ(questions[0], c.asked + L" already exists.\nDo you want to replace it?");
        }
        questions.clear();
        EXPECT_EQ(ReadBytes(folder / c.current), current);
        EXPECT_TRUE(NoTemporaryFiles(folder.Path()));
        if (c.answer == IDNO) {
            EXPECT_EQ(shownFolder, folder.Path());   // still the save dialog
            EXPECT_EQ(ReadBytes(folder / L"b.png"), other);
            EXPECT_TRUE(form->TestState().Modified);
        } else {
            EXPECT_EQ(Decoded(ReadBytes(folder / L"b.png")).Width(), 30);
            EXPECT_FALSE(form->TestState().Modified);
        }
        DeleteFileW((folder / c.current).c_str());
    }
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(Files, FailedSavesLeaveTheOldFileByteForByte)
{
    struct Case {
        const char* what;
        std::wstring name;
        std::function<void(const std::wstring& path)> spoil;    // before Ctrl+S
        std::function<void(const std::wstring& path)> mend;     // after
        std::wstring message;                                   // %s: the path
    };
    HANDLE locked = INVALID_HANDLE_VALUE;
    const std::wstring moved = folder.Path() + L" moved";
    const Case cases[] = {
        {"read-only", L"ro.jpg", [](const std::wstring& p) { SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_READONLY); },
         [](const std::wstring& p) { SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL); }, L"Cannot create file %s"},
        {"in use", L"used.bmp",
         [&](const std::wstring& p) {
             locked = CreateFileW(p.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         },
         [&](const std::wstring&) { CloseHandle(locked); }, L"Cannot create file %s"},
        {"folder gone", L"gone.png",
         [&](const std::wstring&) {
             // The file dialogs of other tests may have made the folder current.
             SetCurrentDirectoryW(L"C:\\");
             ASSERT_TRUE(MoveFileW(folder.Path().c_str(), moved.c_str()));
         },
         [&](const std::wstring&) { MoveFileW(moved.c_str(), folder.Path().c_str()); }, L"Cannot create file %s"},
        {"icon", L"icon.ico", [](const std::wstring&) {}, [](const std::wstring&) {},
         L"Saving as an Icon is not supported"},
        {"disk full part way", L"full.bmp", [](const std::wstring&) { SaveWriteLimit() = 100; },
         [](const std::wstring&) { SaveWriteLimit().reset(); }, L"Stream write error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring path = folder / c.name;
        std::vector<uint8_t> original;
        const std::wstring extension = ExtractExtension(c.name);
        if (extension == L".ico")
            original = ReadBytes(Widen(PIXAVO_TEST_DATA) + L"/sample.ico");
        else if (extension == L".png")
            original = EncodePng(PngFromRaster(Marked(40, 30)));
        else
            original = extension == L".bmp" ? EncodeBmp(Marked(40, 30)) : EncodeJpeg(Marked(40, 30));
        auto form = Open({{c.name, original}}, c.name);
        ASSERT_EQ(form->TestState().CurrentFileName, c.name);
        Press('L', ssCtrl);
        c.spoil(path);
        std::vector<std::wstring> messages;
        {
            DialogDriver driver({AcceptMessage(messages)});
            Press('S', ssCtrl);
            EXPECT_TRUE(driver.Finished());
        }
        c.mend(path);
        EXPECT_EQ(messages, std::vector<std::wstring>{FormatMessageText(c.message, {path})});
        EXPECT_TRUE(form->TestState().Modified);
        EXPECT_TRUE(form->SBtnSave.Enabled());
        EXPECT_EQ(ReadBytes(path), original);
        EXPECT_TRUE(NoTemporaryFiles(folder.Path()));
        DeleteFileW(path.c_str());
    }
}

TEST_F(Files, SavingARotatedPhotoKeepsItsMetadata)
{
    using namespace jpeg_material;
    const JpegSegment exif{0xE1, ExifPayload({})}, icc{0xE2, IccChunk(1, 1, "RGB ")};
    // Stored 64 × 48 with orientation 6: shown upright, then turned a
    // quarter more, which is a half turn of what is stored.
    auto form = Open({{L"camera.jpg", WithSegments(EncodeJpeg(Marked(64, 48)), {exif, icc}, false)}}, L"camera.jpg");
    EXPECT_EQ(Status(*form), L"camera.jpg (48x64)");
    EXPECT_FALSE(form->TestState().Modified);
    Press('R', ssCtrl);
    ClickButton(form->SBtnSave);
    EXPECT_FALSE(form->TestState().Modified);
    EXPECT_TRUE(form->TestState().ChangesDismissed);
    EXPECT_EQ(Status(*form), L"camera.jpg (64x48)");
    const std::vector<uint8_t> saved = ReadBytes(folder / L"camera.jpg");
    ExifFields fitted;
    fitted.orientation = 1;
    fitted.thumbnail = false;
    EXPECT_EQ(ReadJpegMetadata(saved).segments, (std::vector<JpegSegment>{{0xE1, ExifPayload(fitted)}, icc}));
    EXPECT_EQ(RedCorner(DecodeJpeg(saved)), "BR");
}

TEST_F(Files, RenameKeepsTheExtensionAndAsksAgainAfterAnError)
{
    struct Case {
        const char* what;
        std::vector<std::optional<std::wstring>> typed;
        std::wstring current;                 // afterwards
        std::vector<std::wstring> messages;   // error dialog
    };
    const std::wstring exists = L"A file by this name already exists. Please choose a different name.";
    const Case cases[] = {
        {"another extension typed", {L"holiday.png"}, L"holiday.jpg", {}},
        {"letter case only", {L"Photo"}, L"photo.jpg", {}},
        {"the same base", {L"photo"}, L"photo.jpg", {}},
        {"empty", {L""}, L"photo.jpg", {}},
        {"cancelled", {std::nullopt}, L"photo.jpg", {}},
        {"an existing name, then cancelled", {L"other", std::nullopt}, L"photo.jpg", {exists}},
        {"a path", {L"..\\away", L"kept"}, L"kept.jpg", {L"Unable to rename file."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto form = Open({{L"photo.jpg", EncodeJpeg(Marked(40, 30))}, {L"other.jpg", EncodeJpeg(Marked(8, 8))}},
                         L"photo.jpg");
        const int index = form->TestState().CurrentIndex;
        renames.assign(c.typed.begin(), c.typed.end());
        renameShown.clear();
        errors.clear();
        Press(VK_RETURN, ssCtrl);
        ASSERT_EQ(renameShown.size(), c.typed.size());
        EXPECT_EQ(renameShown.front(), L"photo");
        if (c.typed.size() > 1) {
            EXPECT_EQ(renameShown[1], *c.typed[0]);   // the text as the user left it
        }
        ASSERT_EQ(errors.size(), c.messages.size());
        for (size_t i = 0; i < errors.size(); ++i)
            EXPECT_EQ(errors[i].message, c.messages[i]);
        EXPECT_EQ(form->TestState().CurrentFileName, c.current);
        EXPECT_EQ(form->TestState().CurrentIndex, index);
        EXPECT_EQ(form->TestState().FileList[size_t(index)], c.current);
        EXPECT_EQ(Status(*form), c.current + L" (40x30)");
        EXPECT_EQ(ReadBytes(folder / c.current).empty(), false);
        if (c.current != L"photo.jpg") {
            EXPECT_TRUE(ReadBytes(folder / L"photo.jpg").empty());
            DeleteFileW((folder / c.current).c_str());
        }
    }
    EXPECT_TRUE(renameAllSelected);
    EXPECT_TRUE(ReadBytes(folder.Path() + L"\\..\\away.jpg").empty());
}

TEST_F(Files, RenameDialogAnswersEnterAndEscapeWherever)
{
    TRenameDlg dlg;
    EXPECT_EQ(dlg.Text(), L"Rename Image File");
    EXPECT_EQ(dlg.ClientWidth(), Scale(TRenameDlg::kClientWidth));
    EXPECT_EQ(dlg.ClientHeight(), Scale(TRenameDlg::kClientHeight));
    for (auto [key, answer] : {std::pair{wchar_t(VK_RETURN), ModalAnswer::Ok}, {wchar_t(VK_ESCAPE), ModalAnswer::Cancel}})
        for (TWindow* focus : std::initializer_list<TWindow*>{&dlg.EdtNewFileName, &dlg.SBtnCancel}) {
            Application::ModalShownHook() = [&, key = key](TForm&) {
                focus->SetFocus();
                PostMessageW(focus->Handle(), WM_CHAR, key, 0);
            };
            EXPECT_EQ(dlg.ShowModal(), answer);
        }
}

TEST_F(Files, DeleteAsksInTheErrorDialogAndShowsTheEntryThatFollows)
{
    auto form = Open({{L"a.bmp", EncodeBmp(Marked(10, 10))},
                      {L"b.bmp", EncodeBmp(Marked(20, 10))},
                      {L"c.bmp", EncodeBmp(Marked(30, 10))}},
                     L"c.bmp");
    ASSERT_EQ(form->TestState().FileList.size(), 3u);
    const std::wstring last = form->TestState().FileList.back();
    form->ShowFiles(form->TestState().FileList, 2);
    confirm = false;
    Press(VK_DELETE);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].caption, L"Confirm Delete");
    EXPECT_EQ(errors[0].message, L"Are you sure you want to delete \"" + last + L"\"?");
    EXPECT_EQ(errors[0].okay, L"Yes");
    EXPECT_EQ(errors[0].cancel, L"No");
    EXPECT_TRUE(errors[0].cancelVisible);
    EXPECT_FALSE(errors[0].redVisible);
    EXPECT_EQ(form->TestState().FileList.size(), 3u);

    // The last entry deleted: the one before it is shown.
    confirm = true;
    Press('R', ssCtrl);
    ChooseMenu(*form, form->Delete1);
    EXPECT_TRUE(ReadBytes(folder / last).empty());
    EXPECT_EQ(form->TestState().FileList.size(), 2u);
    EXPECT_EQ(form->TestState().CurrentIndex, 1);
    EXPECT_EQ(form->TestState().CurrentFileName, form->TestState().FileList[1]);
    EXPECT_FALSE(form->TestState().Modified);
    // The dialog has its own look back.
    EXPECT_EQ(form->ErrorDlg->Text(), L"Error");
    EXPECT_TRUE(form->ErrorDlg->PnlRed.Visible());
    EXPECT_EQ(form->ErrorDlg->SbtnOkay.Text(), L"OK");
    EXPECT_FALSE(form->ErrorDlg->SBtnCancel.Visible());

    // A file in use stays, and so does its entry.
    HANDLE used = CreateFileW(form->CurrentFilePath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Press(VK_DELETE);
    CloseHandle(used);
    EXPECT_EQ(errors.back().message, L"Unable to delete file.");
    EXPECT_EQ(form->TestState().FileList.size(), 2u);

    // The only entry deleted: the no-images state.
    Press(VK_DELETE);
    Press(VK_DELETE);
    EXPECT_TRUE(form->TestState().FileList.empty());
    EXPECT_TRUE(form->PnlPleaseWait.Visible());
    EXPECT_EQ(form->PnlPleaseWait.Text(), kNoImagesText);
    EXPECT_FALSE(form->SBtnNext.Enabled());
}

TEST_F(Files, SaveAsOpensInTheFolderLastSavedTo)
{
    // One run: each Save As in turn, after a turn of the image, with the
    // folder its dialog showed, and what was done then (a name typed, a
    // folder removed before, or cancelled).
    CreateDirectoryW((folder / L"sub").c_str(), nullptr);
    const struct {
        const char* what;
        std::wstring shown;    // relative to the folder
        std::wstring typed;    // empty: Cancel
        bool removeSubFirst;
    } steps[] = {
        {"first use: the image's folder", L"", L"sub\\c.png", false},
        {"the folder last saved to", L"sub", L"sub\\d.png", false},
        {"cancelled there", L"sub", L"", false},
        {"still there after the cancel; back in the image's folder", L"sub", L"e.png", false},
        {"the image's folder again", L"", L"sub\\f.png", false},
        {"the folder last saved to removed", L"", L"", true},
    };
    auto form = Open({{L"a.JPG", EncodeJpeg(Marked(40, 30))}}, L"a.JPG");
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.removeSubFirst) {
            for (const wchar_t* name : {L"c.png", L"d.png", L"f.png"})
                DeleteFileW((folder / (std::wstring(L"sub\\") + name)).c_str());
            ASSERT_TRUE(RemoveDirectoryW((folder / L"sub").c_str()));
        }
        Press('R', ssCtrl);
        const std::wstring current = form->TestState().CurrentFileName;
        std::wstring shownFolder, shownName;
        std::vector<DialogDriver::Step> driven = {NoteFolderAndName(shownFolder, shownName),
                                                  step.typed.empty() ? Cancel() : TypeAndConfirm(folder / step.typed)};
        {
            DialogDriver driver(driven);
            ChooseMenu(*form, form->SaveAs1);
            EXPECT_TRUE(driver.Finished());
        }
        EXPECT_EQ(shownFolder, step.shown.empty() ? folder.Path() : folder / step.shown);
        EXPECT_NE(shownName.find(current), std::wstring::npos) << Narrow(shownName);
        if (!step.typed.empty())
            EXPECT_NE(GetFileAttributesW((folder / step.typed).c_str()), INVALID_FILE_ATTRIBUTES);
    }
    EXPECT_TRUE(NothingShown(failures));
}
