// Files and folders dropped on the main window: the image they name opens
// as one chosen in the open-picture dialog would, a folder's first image as
// a folder named on the command line does. Nothing slow happens while the
// drag lasts: whether a drop would be taken is told by the names (and
// whether a name is a folder), and a dropped folder is listed once, after
// the drop, when the posted message comes.
#include "app/MainUnit.h"

#include "imaging/codecs/ImageFormats.h"
#include "imaging/pictures/FileBytes.h"

std::wstring TMainForm::DropRefusal(const std::vector<std::wstring>& paths) const
{
    if (!IsWindowEnabled(handle_))
        return kDropBusyText;
    if (state_.SlideShowActive)
        return kDropSlideShowText;
    if (paths.empty())
        return kDropNothingText;
    for (const std::wstring& path : paths)
        if (IsSupportedImageFile(path) || IsFolder(path))
            return {};
    return kDropUnsupportedText;
}

bool TMainForm::AcceptsDrop(const std::vector<std::wstring>& paths)
{
    const std::wstring refusal = DropRefusal(paths);
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
    // The first of the dropped items that can be shown: an image file, or a
    // folder's first image in the order the folder lists them.
    bool folderWithoutImages = false;
    for (const std::wstring& path : paths) {
        if (IsFolder(path)) {
            const std::wstring folder = FolderWithoutSeparator(FullPathName(path));
            std::vector<std::wstring> names = ListImageFiles(folder);
            if (names.empty()) {
                folderWithoutImages = true;
                continue;
            }
            ShowFolder(folder, std::move(names), {});
        } else if (IsSupportedImageFile(path)) {
            OpenImageFolder(FullPathName(path));
        } else {
            continue;
        }
        SetKeyFocus();
        return;
    }
    ApplicationHint(folderWithoutImages && paths.size() == 1 ? kDropEmptyFolderText : kDropUnsupportedText);
}
