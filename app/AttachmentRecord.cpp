#include "app/AttachmentRecord.h"

#include <algorithm>
#include <vector>

#include "base/Failure.h"
#include "base/Text.h"
#include "imaging/codecs/ImageFormats.h"

namespace {

// The names a record holds, one a line (UTF-16).
std::vector<std::wstring> ReadNames(const std::wstring& path)
{
    std::vector<std::wstring> names;
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    // A record is a few names: anything large is none of ours.
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > 1 << 20)
        return names;
    std::wstring text(size_t(size.QuadPart) / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    if (!ReadFile(file.Get(), text.data(), DWORD(text.size() * sizeof(wchar_t)), &read, nullptr))
        return names;
    text.resize(read / sizeof(wchar_t));
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        names.push_back(text.substr(start, end - start));
    return names;
}

// A name the program could have given an attachment: a plain file name (no
// folder, no drive, not "." or "..") of a supported image.
bool AttachmentName(const std::wstring& name)
{
    return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos && name != L"." && name != L".." &&
           IsSupportedImageFile(name);
}

} // namespace

void TAttachmentRecord::Add(const std::wstring& folder, const std::wstring& name)
{
    const std::wstring path = folder + L"\\" + kPrefix + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(GetTickCount64()) + kExtension;
    if (!file_ || path_.compare(0, folder.size() + 1, folder + L"\\") != 0) {
        Remove();
        // Shared for reading only: while this run lives the record cannot
        // be deleted, which tells a later start that it is not left over.
        file_.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_HIDDEN, nullptr));
        if (!file_)
            throw Failure(FormatMessageText(L"Cannot create file %s", {path}));
        path_ = path;
    }
    const std::wstring line = name + L"\n";
    DWORD written = 0;
    if (!WriteFile(file_.Get(), line.data(), DWORD(line.size() * sizeof(wchar_t)), &written, nullptr) ||
        written != line.size() * sizeof(wchar_t))
        throw Failure(L"Stream write error");
    FlushFileBuffers(file_.Get());
}

void TAttachmentRecord::Remove()
{
    if (!file_)
        return;
    file_.Reset();
    DeleteFileW(path_.c_str());
    path_.clear();
}

void TAttachmentRecord::RemoveLeftovers(const std::wstring& folder)
{
    std::vector<std::wstring> records;
    WIN32_FIND_DATAW data;
    FindHandle find(FindFirstFileW((folder + L"\\" + kPrefix + L"*" + kExtension).c_str(), &data));
    for (bool more = bool(find); more; more = FindNextFileW(find.Get(), &data))
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            records.push_back(folder + L"\\" + data.cFileName);
    find.Reset();

    // A record that can be deleted is no living run's: its names go, except
    // those that a living run has written since (the same image e-mailed).
    std::vector<std::wstring> left, living;
    size_t livingRecords = 0;
    for (const std::wstring& record : records) {
        std::vector<std::wstring> names = ReadNames(record);
        const bool gone = DeleteFileW(record.c_str());
        livingRecords += gone ? 0 : 1;
        std::vector<std::wstring>& into = gone ? left : living;
        into.insert(into.end(), names.begin(), names.end());
    }
    for (const std::wstring& name : left) {
        const bool livingToo = std::any_of(living.begin(), living.end(), [&](const std::wstring& other) {
            return LowerAscii(other) == LowerAscii(name);
        });
        if (AttachmentName(name) && !livingToo)
            DeleteFileW((folder + L"\\" + name).c_str());
    }
    // The folder goes with the last of them, when nothing else is in it.
    if (records.size() > livingRecords && livingRecords == 0)
        RemoveDirectoryW(folder.c_str());
}
