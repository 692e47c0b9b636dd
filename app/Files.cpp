// Saving the current image over its file or under a new name and format,
// the question asked before a modified image is left, and renaming and
// deleting the current file, with the folder list following the disk.
#include "app/MainUnit.h"

#include <algorithm>
#include <optional>

#include "base/Failure.h"
#include "dialogs/ErrorDlgUnit.h"
#include "dialogs/HelpDlgUnit.h"
#include "dialogs/RenameDlgUnit.h"
#include "imaging/codecs/ImageFormats.h"
#include "imaging/pictures/PictureFiles.h"

namespace {

// Up to this many pixels on the larger side, a turned or flipped image is
// small enough that the question is asked before it is overwritten.
constexpr int kSmallImageSide = 300;

const wchar_t kLeaveTitle[] = L"Overwrite current image file with modified image?";
const wchar_t kLeaveHeadline[] = L"Are you sure you want to overwrite the current image file with this modified image?";

const std::vector<std::wstring>& GeneralWording()
{
    static const std::vector<std::wstring> lines = {
        L"Whenever an image is resized or modified and then saved, its quality can diminish.",
        L"We recommend saving a modified image to a new file name so that the original file can be reused without "
        L"loss of quality.",
        L"Selecting \"Yes\" will cause the current file to be overwritten.",
        L"Selecting \"No\" will allow you to choose a new file name.",
    };
    return lines;
}

const std::vector<std::wstring>& SmallImageWording()
{
    static const std::vector<std::wstring> lines = {
        L"Rotating or flipping an image of this small size can compromise its quality.",
        L"We recommend saving a rotated or flipped image of this size to a new file name so that the original file "
        L"can be reused without loss of quality.",
        L"Selecting \"Yes\" will cause the current file to be overwritten.",
        L"Selecting \"No\" will allow you to choose a new file name.",
    };
    return lines;
}

// The question asked before a save that keeps only the first frame of an
// animation or the first page of a TIFF.
struct LeftOutQuestion {
    std::wstring caption, headline;
    std::vector<std::wstring> details;
};

LeftOutQuestion QuestionFor(const LeftOut& out)
{
    const wchar_t* one = out.pages ? L"page" : L"frame";
    const std::wstring first = std::wstring(L"first ") + one;
    const std::wstring others = out.count == 1 ? std::wstring(L"The other ") + one + L" will not be saved."
                                               : L"The other " + std::to_wstring(out.count) + L" " + one +
                                                     L"s will not be saved.";
    return {L"Save the " + first + L" only?",
            L"Only the " + first + (out.pages ? L" of this image" : L" of this animation") +
                L" can be saved in this file type.",
            {others, L"Selecting \"Yes\" will save the " + first + L" only.", L"Selecting \"No\" will save nothing."}};
}

// Writes the graphic (the old file stays as it was unless the new one was
// written whole); the text to report when that failed, a conversion error
// reported as conversionText.
std::optional<std::wstring> TryToSave(const TGraphic& graphic, const std::wstring& path, const wchar_t* conversionText)
{
    try {
        SaveGraphicToFile(graphic, path);
        return std::nullopt;
    } catch (const ConversionError&) {
        return conversionText;
    } catch (const std::exception&) {
        return CaughtFailureText();
    }
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A name that stays a file of the folder: no separators, drive colons,
// wildcards or other characters that file names cannot hold.
bool IsPlainFileName(const std::wstring& name)
{
    return !name.empty() && std::none_of(name.begin(), name.end(), [](wchar_t c) {
        return c < 32 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos;
    });
}

} // namespace

void TMainForm::ShowSaveError(const std::wstring& message)
{
    Application::ShowErrorBox(handle_, message);
}

bool TMainForm::SavingKeepsEverything(const std::wstring& path) const
{
    const FileFormat* format = FileFormatNamed(path);
    const TGraphic* graphic = state_.CurrentPicture.Graphic();
    return (!format || format->Writable()) && graphic &&
           LeftOutBySaving(graphic->Record().get(), format).count == 0;
}

bool TMainForm::MaySaveAs(const std::wstring& path)
{
    const FileFormat* format = FileFormatNamed(path);
    if (format && !format->Writable())
        return true;   // the save itself says no
    const LeftOut out = LeftOutBySaving(state_.CurrentPicture.Graphic()->Record().get(), format);
    if (out.count == 0)
        return true;
    const LeftOutQuestion question = QuestionFor(out);
    return HelpDlg->Prompt(question.caption, question.headline, question.details, {L"Yes", L"No"}) ==
           ModalAnswer::Ok;
}

bool TMainForm::SaveCurrentImage()
{
    if (!state_.Modified || !CurrentIndexValid() || !state_.CurrentPicture.Graphic())
        return false;
    if (!MaySaveAs(CurrentFilePath()))
        return false;
    std::optional<std::wstring> error;
    {
        BusyScope busy(*this, false);
        error = TryToSave(*state_.CurrentPicture.Graphic(), CurrentFilePath(), L"Error saving modified file!");
    }
    if (error) {
        ShowSaveError(*error);
        return false;
    }
    state_.Modified = false;
    state_.ChangesDismissed = true;
    SetSaveEnabled(false);
    RefreshImageInfo();
    return true;
}

bool TMainForm::SaveCurrentImageAs()
{
    return SaveAsChosenFile() == SaveAsOutcome::SavedElsewhere;
}

TMainForm::SaveAsOutcome TMainForm::SaveAsChosenFile()
{
    if (!CurrentIndexValid() || !state_.CurrentPicture.Graphic())
        return SaveAsOutcome::Cancelled;
    // The entry chosen last is kept from one use to the next.
    if (DlgSavePicture.FileTypes.empty()) {
        // Every format the program writes; icons are not among them.
        DlgSavePicture.FileTypes = FileDialogEntries(true);
        DlgSavePicture.FileTypeIndex = 1;
    }
    DlgSavePicture.Options = OFN_ENABLESIZING | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    // Only the name's extension chooses the format: the dialog adds none of
    // the chosen file type's; a name without one gets the current file's.
    DlgSavePicture.DefaultExt.clear();
    DlgSavePicture.AppendedExtension = LowerAscii(ExtractExtension(state_.CurrentFileName));
    // The dialog opens where the last Save As of this run wrote, while that
    // folder is there; else in the image's folder.
    const DWORD lastFolder = lastSaveFolder_.empty() ? INVALID_FILE_ATTRIBUTES
                                                     : GetFileAttributesW(lastSaveFolder_.c_str());
    if (lastFolder != INVALID_FILE_ATTRIBUTES && (lastFolder & FILE_ATTRIBUTE_DIRECTORY)) {
        DlgSavePicture.InitialDir = lastSaveFolder_;
        DlgSavePicture.FileName = lastSaveFolder_ + state_.CurrentFileName;
    } else {
        DlgSavePicture.InitialDir = state_.FolderPath;
        DlgSavePicture.FileName = CurrentFilePath();
    }
    if (!DlgSavePicture.Execute(handle_)) {
        state_.ChangesDismissed = true;
        return SaveAsOutcome::Cancelled;
    }
    const std::wstring chosen = DlgSavePicture.FileName;
    if (!MaySaveAs(chosen))
        return SaveAsOutcome::Failed;   // nothing written; the changes stay
    std::optional<std::wstring> error;
    {
        BusyScope busy(*this, false);
        error = TryToSave(*state_.CurrentPicture.Graphic(), chosen, L"Error converting to selected file format!");
    }
    if (error) {
        ShowSaveError(*error);
        return SaveAsOutcome::Failed;
    }
    state_.Modified = false;
    SetSaveEnabled(false);
    state_.ChangesDismissed = true;
    RefreshImageInfo();
    // Kept with its separator: a drive's root stays one.
    if (const size_t end = chosen.find_last_of(L"\\/"); end != std::wstring::npos)
        lastSaveFolder_ = chosen.substr(0, end + 1);
    if (chosen == CurrentFilePath())
        return SaveAsOutcome::Saved;

    // Saved into the listed folder (compared with the separator, which a
    // drive's root keeps) as a file the folder's list can hold: the new file
    // becomes the current one.
    const size_t separator = chosen.find_last_of(L"\\/");
    const std::wstring folder = separator == std::wstring::npos ? std::wstring() : chosen.substr(0, separator);
    if (separator != std::wstring::npos && FolderFilePath(L"") == folder + chosen[separator] &&
        IsSupportedImageFile(chosen)) {
        const std::wstring name = LowerAscii(chosen.substr(separator + 1));
        auto found = std::find_if(state_.FileList.begin(), state_.FileList.end(),
                                  [&](const std::wstring& entry) { return LowerAscii(entry) == name; });
        if (found == state_.FileList.end()) {
            state_.FileList.push_back(chosen.substr(separator + 1));
            state_.CurrentIndex = int(state_.FileList.size()) - 1;
        } else {
            state_.CurrentIndex = int(found - state_.FileList.begin());
        }
        LoadCurrentImage();
    }
    return SaveAsOutcome::SavedElsewhere;
}

bool TMainForm::ConfirmLeaveModifiedImage()
{
    if (!state_.Modified || !CurrentIndexValid())
        return false;
    // A turned or flipped image of some size is saved without a question,
    // where its file's format can be written with all the file holds.
    const bool small = std::max(state_.CurrentPicture.Width(), state_.CurrentPicture.Height()) <= kSmallImageSide;
    if (!state_.Resized && !small && SavingKeepsEverything(CurrentFilePath())) {
        if (SaveCurrentImage())
            return false;
        // The save failed and was reported (a read-only file, a full disk).
        // A running show pauses on the picture; otherwise the user is asked,
        // so that the changes can go into another file or be dropped rather
        // than hold the user on this picture at every step.
        if (SlideShowTimer.Enabled())
            return KeepUnsavedChanges();
        return AskBeforeLeaving(GeneralWording());
    }
    if (state_.ChangesDismissed)
        return false;   // dealt with already: the changes are dropped
    return AskBeforeLeaving(state_.Resized || !small ? GeneralWording() : SmallImageWording());
}

bool TMainForm::AskBeforeLeaving(const std::vector<std::wstring>& wording)
{
    switch (HelpDlg->Prompt(kLeaveTitle, kLeaveHeadline, wording, {L"Yes", L"No", L"Discard Changes"})) {
    case ModalAnswer::Ok:
        return !SaveCurrentImage() && KeepUnsavedChanges();
    case ModalAnswer::Optional:
        state_.ChangesDismissed = true;
        return false;
    default: {
        // "No" or the close box: the save dialog. Saved elsewhere, the view
        // may have moved to the new file; failed, the changes stay.
        const SaveAsOutcome outcome = SaveAsChosenFile();
        return outcome == SaveAsOutcome::SavedElsewhere || (outcome == SaveAsOutcome::Failed && KeepUnsavedChanges());
    }
    }
}

bool TMainForm::KeepUnsavedChanges()
{
    if (SlideShowTimer.Enabled())
        PauseOrContinueSlideShow();
    return true;
}

void TMainForm::RenameCurrentImage()
{
    if (ConfirmLeaveModifiedImage())
        return;
    if (!CurrentIndexValid() || !RenameDlg)
        return;
    // The extension never changes by renaming.
    const std::wstring extension = ExtractExtension(state_.CurrentFileName);
    const std::wstring base = state_.CurrentFileName.substr(0, state_.CurrentFileName.size() - extension.size());
    // After an error the dialog opens again with the text as it was left.
    std::wstring typed = base;
    for (;;) {
        const std::optional<std::wstring> answer = RenameDlg->Ask(typed);
        if (!answer)
            return;
        typed = *answer;
        if (typed.empty() || typed == base)
            return;
        const size_t typedDot = typed.rfind(L'.');
        const std::wstring newName = (typedDot == std::wstring::npos ? typed : typed.substr(0, typedDot)) + extension;
        if (LowerAscii(newName) == LowerAscii(state_.CurrentFileName))
            return;
        const std::wstring target = FolderFilePath(newName);
        const wchar_t* error = nullptr;
        if (!IsPlainFileName(typed))
            error = L"Unable to rename file.";
        else if (Exists(target))
            error = L"A file by this name already exists. Please choose a different name.";
        else if (!MoveFileW(CurrentFilePath().c_str(), target.c_str()))
            error = L"Unable to rename file.";
        if (error) {
            ErrorDlg->SetErrorText(error);
            ErrorDlg->ShowModal();
            continue;
        }
        state_.CurrentFileName = newName;
        state_.FileList[size_t(state_.CurrentIndex)] = newName;
        StepZoom(0);
        return;
    }
}

void TMainForm::DeleteCurrentImage()
{
    if (!CurrentIndexValid())
        return;
    if (!ErrorDlg->Confirm(L"Confirm Delete", L"Are you sure you want to delete \"" + state_.CurrentFileName + L"\"?"))
        return;
    if (!DeleteFileW(CurrentFilePath().c_str())) {
        ErrorDlg->SetErrorText(L"Unable to delete file.");
        ErrorDlg->ShowModal();
        return;
    }
    state_.FileList.erase(state_.FileList.begin() + state_.CurrentIndex);
    state_.Modified = false;
    state_.Resized = false;
    if (size_t(state_.CurrentIndex) >= state_.FileList.size())
        --state_.CurrentIndex;
    LoadCurrentImage();
}
