// E-mailing the current image: the size dialog, the attachment written into
// the program's own folder for attachments, the message handed to the
// user's mail program, and the folder's removal when the program closes.
#include "app/MainUnit.h"

#include <iterator>

#include "base/Failure.h"
#include "dialogs/EmailSizeFormUnit.h"
#include "dialogs/NewAboutFrmUnit.h"
#include "imaging/codecs/ImageFormats.h"
#include "imaging/pictures/PictureFiles.h"
#include "imaging/pictures/PictureTransforms.h"
#include "mail/AFQuickMail.h"

namespace {

bool DirectoryExists(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectory(const std::wstring& path)
{
    return DirectoryExists(path) || CreateDirectoryW(path.c_str(), nullptr);
}

// The "\temp" folder of the first drive, from C: to Z:, where it exists or
// can be made.
std::wstring TempFolderOfFirstUsableDrive()
{
    std::wstring path;
    for (wchar_t drive = L'C'; drive <= L'Z'; ++drive) {
        path = std::wstring(1, drive) + L":\\temp";
        if (ForceDirectory(path))
            return path;
    }
    throw Failure(L"Cannot create " + path);
}

const wchar_t kHyphens[] = L"---------------------------------------------------------------------";
static_assert(std::size(kHyphens) - 1 == 69);

std::vector<std::wstring> MessageBody()
{
    return {L"",
            L"",
            L"",
            kHyphens,
            L"Sending pictures to friends is as easy as \"P-I-X-A-V-O\" with Pixavo Image Browser.",
            std::wstring(L"Find out more by downloading a free copy of Pixavo Image Browser at ") +
                TNewAboutBox::kSupportUrl};
}

} // namespace

void TMainForm::EmailCurrentImage()
{
    if (!CurrentIndexValid() || !EmailSizeDlg)
        return;
    EmailSizeDlg->ShowModal();
    SetKeyFocus();
}

void TMainForm::SendImageByEmail(EmailSize size)
{
    const TGraphic* graphic = state_.CurrentPicture.Graphic();
    if (!CurrentIndexValid() || !graphic)
        return;

    state_.EmailTempFolder = TempFolderOfFirstUsableDrive() + L"\\pixavo";
    if (!ForceDirectory(state_.EmailTempFolder))
        throw Failure(L"Cannot create " + state_.EmailTempFolder);
    const std::wstring attachment = state_.EmailTempFolder + L"\\" + EmailAttachmentName(state_.CurrentFileName);
    // Noted before it is written: a run that ends half-way leaves nothing
    // that the next start does not know of.
    attachmentRecord_.Add(state_.EmailTempFolder, EmailAttachmentName(state_.CurrentFileName));

    if (size == EmailSize::Large) {
        SaveGraphicToFile(*graphic, attachment);
    } else {
        const PixelSize target = EmailImageSize(graphic->Width(), graphic->Height(), size);
        const auto resized = ResizeGraphic(*graphic, target.width, target.height);
        SaveGraphicToFile(*resized, attachment);
    }

    // The mail program reports its own failures; the attachment stays in the
    // folder until the program closes.
    TAFQuickMail mail;
    TForm* owner = Application::MainForm();
    mail.ParentWindow = owner ? owner->Handle() : nullptr;
    mail.ErrorCaption = Application::Title();
    mail.ShowDialog = true;
    mail.Subject = EmailAttachmentName(state_.CurrentFileName);
    mail.FileNames = {attachment};
    mail.TextToSend = MessageBody();
    mail.Send();
}

// The attachments written by this run go with the program: the images in the
// folder, then the folder itself when nothing else is left in it.
void TMainForm::RemoveEmailTempFolder()
{
    if (state_.EmailTempFolder.empty() || !DirectoryExists(state_.EmailTempFolder))
        return;
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW((state_.EmailTempFolder + L"\\*").c_str(), &data));
    if (find) {
        do {
            if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
                continue;
            if (IsSupportedImageFile(data.cFileName))
                DeleteFileW((state_.EmailTempFolder + L"\\" + data.cFileName).c_str());
        } while (FindNextFileW(find.Get(), &data));
    }
    find.Reset();
    attachmentRecord_.Remove();
    RemoveDirectoryW(state_.EmailTempFolder.c_str());
}

void TMainForm::RemoveLeftoverAttachments()
{
    // Where the attachments went: the first drive's "\temp" that exists (an
    // e-mail makes one only where none came before). Nothing is made here.
    for (wchar_t drive = L'C'; drive <= L'Z'; ++drive) {
        const std::wstring temp = std::wstring(1, drive) + L":\\temp";
        if (DirectoryExists(temp)) {
            if (DirectoryExists(temp + L"\\pixavo"))
                TAttachmentRecord::RemoveLeftovers(temp + L"\\pixavo");
            return;
        }
    }
}
