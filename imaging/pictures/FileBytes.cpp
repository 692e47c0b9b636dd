#include "imaging/pictures/FileBytes.h"

#include <windows.h>

#include <algorithm>
#include <new>

#include "base/Cancellation.h"
#include "base/Failure.h"
#include "base/Handles.h"

namespace {

// The full path in the form the file functions take at any length, for a
// drive path or a share; other forms as they are.
std::wstring LongPathForm(const std::wstring& full)
{
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\"))
        return full;
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return L"\\\\?\\" + full;
    return full;
}

// Writes the bytes to a new file; false when the system refused some of them
// (or the test limit was reached). Flushed to the disk before it is closed.
bool WriteAndFlush(HANDLE file, const std::vector<uint8_t>& bytes)
{
    const std::optional<size_t> limit = SaveWriteLimit();
    size_t done = 0;
    while (done < bytes.size()) {
        size_t chunk = std::min<size_t>(bytes.size() - done, 1u << 26);
        if (limit) {
            if (done >= *limit)
                return false;
            chunk = std::min(chunk, *limit - done);
        }
        DWORD count = 0;
        if (!WriteFile(file, bytes.data() + done, DWORD(chunk), &count, nullptr) || count == 0)
            return false;
        done += count;
    }
    return FlushFileBuffers(file) != 0;
}

} // namespace

std::vector<uint8_t> ReadWholeFile(const std::wstring& fileName)
{
    // Reading (also ahead, on another thread) never keeps anyone, this
    // program's saves included, from writing, replacing or deleting the file.
    FileHandle file(CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw Failure(FormatMessageText(L"Cannot open file %s", {FullPathName(fileName)}));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size))
        throw Failure(L"Stream read error");
    if (size.QuadPart > 0x7FFFFFFF)
        throw Failure(L"Out of memory");
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size_t(size.QuadPart));
    } catch (const std::bad_alloc&) {
        throw Failure(L"Out of memory");
    }
    // In chunks small enough that a read nobody wants any more (ahead, from
    // a slow network folder) stops soon.
    size_t done = 0;
    while (done < bytes.size()) {
        ThrowIfCancelled();
        DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD read = 0;
        if (!ReadFile(file.Get(), bytes.data() + done, chunk, &read, nullptr) || read == 0)
            throw Failure(L"Stream read error");
        done += read;
    }
    return bytes;
}

std::wstring FullPathName(const std::wstring& fileName)
{
    DWORD needed = GetFullPathNameW(fileName.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return fileName;
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(fileName.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return fileName;
    full.resize(length);
    return full;
}

std::optional<size_t>& SaveWriteLimit()
{
    static std::optional<size_t> limit;
    return limit;
}

void WriteFileReplacing(const std::wstring& fileName, const std::vector<uint8_t>& bytes)
{
    const std::wstring full = FullPathName(fileName);
    const std::wstring target = LongPathForm(full);
    // A read-only file or a folder of that name is never replaced.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        throw Failure(FormatMessageText(L"Cannot create file %s", {full}));

    // The temporary file lies beside the target under a short name of its
    // own, so a target whose path is near the length limit still gets one.
    const size_t separator = target.find_last_of(L"\\/");
    const std::wstring folder = separator == std::wstring::npos ? std::wstring() : target.substr(0, separator + 1);
    std::wstring temp;
    FileHandle file;
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        temp = folder + L"~pixavo-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) +
               L".tmp";
        file.Reset(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (!file)
        throw Failure(FormatMessageText(L"Cannot create file %s", {full}));

    const bool written = WriteAndFlush(file.Get(), bytes);
    file.Reset();
    if (!written) {
        DeleteFileW(temp.c_str());
        throw Failure(L"Stream write error");
    }
    // The old file is replaced only by a whole new one, and the replacement
    // itself reaches the disk before the save counts as done.
    if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp.c_str());
        throw Failure(FormatMessageText(L"Cannot create file %s", {full}));
    }
}
