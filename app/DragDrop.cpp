// Files and folders dropped on the main window: the image they name opens
// as one chosen in the open-picture dialog would.
#include "app/MainUnit.h"

#include "imaging/FileBytes.h"
#include "imaging/ImageFormats.h"

namespace {

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Joined(std::wstring folder, const std::wstring& name)
{
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/')
        folder += L'\\';
    return folder + name;
}

} // namespace

TMainForm::DropChoice TMainForm::ChooseDroppedImage(const std::vector<std::wstring>& paths)
{
    // The first of the dropped items that can be shown: an image file, or a
    // folder's first image in the order the folder lists them.
    bool folderWithoutImages = false;
    for (const std::wstring& path : paths) {
        if (IsFolder(path)) {
            const std::vector<std::wstring> names = ListImageFiles(path);
            if (!names.empty())
                return {Joined(path, names.front()), {}};
            folderWithoutImages = true;
        } else if (IsSupportedImageFile(path)) {
            return {path, {}};
        }
    }
    if (paths.empty())
        return {{}, kDropNothingText};
    return {{}, folderWithoutImages && paths.size() == 1 ? kDropEmptyFolderText : kDropUnsupportedText};
}

bool TMainForm::AcceptsDrop(const std::vector<std::wstring>& paths)
{
    std::wstring refusal;
    if (!IsWindowEnabled(handle_))
        refusal = kDropBusyText;
    else if (state_.SlideShowActive)
        refusal = kDropSlideShowText;
    else
        refusal = ChooseDroppedImage(paths).refusal;
    if (!refusal.empty())
        ApplicationHint(refusal);
    return refusal.empty();
}

void TMainForm::FilesDropped(std::vector<std::wstring> paths)
{
    // The dragging program waits until the drop returns: the image opens
    // (perhaps after the pending-changes question) once it has let go.
    droppedPaths_ = std::move(paths);
    PostMessageW(handle_, kOpenDropped, 0, 0);
}

void TMainForm::OpenDroppedImage()
{
    const std::vector<std::wstring> paths = std::move(droppedPaths_);
    droppedPaths_.clear();
    if (!AcceptsDrop(paths))
        return;
    if (!MayOpenAnotherImage())
        return;
    // The pending-changes question may have moved things: chosen again.
    const DropChoice choice = ChooseDroppedImage(paths);
    if (choice.path.empty()) {
        ApplicationHint(choice.refusal);
        return;
    }
    OpenImageFolder(FullPathName(choice.path));
    SetKeyFocus();
}
