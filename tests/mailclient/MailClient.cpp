// A mail client for the tests, not part of the program: registered as the
// system's Simple MAPI client, it writes down every message it is handed and
// answers with the result code the test chose.
//
// Its settings are two values of its registration key
// HKLM\Software\Clients\Mail\Pixavo Test Mail: "RecordFile" (where the calls
// are appended, UTF-8) and "Answer" (a DWORD, the result to give; 0 when
// missing). Each call is written as lines "key<TAB>value" ending with "end":
//
//   call      MAPISendMailW or MAPISendMail (the entry that was called)
//   session, flags, reserved   the call's numbers
//   parent    the parent window's caption, or "none" for a null window
//   subject, body   the texts (\\, \r, \n, \t escaped; \N for a null pointer)
//   originator      "none" or "present"
//   recip     class, name, address, entry-id size (one line per recipient)
//   file      position, path, name, flags, "type" or "none" (one line per file)
//   account   "Default Mail Account" of the current user at the time of the
//             call (\N when missing)
//   answer    the result given
//
// The ANSI entry's strings are read in the system's ANSI code page. Built
// twice: with both entries, and (PIXAVO_ANSI_ONLY) with MAPISendMail alone.
#include <windows.h>
#include <mapi.h>

#include <string>

namespace {

const wchar_t kClientKey[] = L"Software\\Clients\\Mail\\Pixavo Test Mail";

struct RecipW {
    ULONG ulReserved, ulRecipClass;
    PWSTR lpszName, lpszAddress;
    ULONG ulEIDSize;
    LPVOID lpEntryID;
};
struct FileW {
    ULONG ulReserved, flFlags, nPosition;
    PWSTR lpszPathName, lpszFileName;
    LPVOID lpFileType;
};
struct MessageW {
    ULONG ulReserved;
    PWSTR lpszSubject, lpszNoteText, lpszMessageType, lpszDateReceived, lpszConversationID;
    FLAGS flFlags;
    RecipW* lpOriginator;
    ULONG nRecipCount;
    RecipW* lpRecips;
    ULONG nFileCount;
    FileW* lpFiles;
};

std::string Utf8(const std::wstring& text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(length > 0 ? length : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), length, nullptr, nullptr);
    return out;
}

std::wstring FromAnsi(const char* text)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring out(size_t(length > 0 ? length : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), length);
    out.resize(out.size() - 1);
    return out;
}

std::string Field(const wchar_t* text)
{
    if (!text)
        return "\\N";
    std::string out;
    for (char c : Utf8(text)) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Field(const char* text) { return text ? Field(FromAnsi(text).c_str()) : "\\N"; }

std::string Number(unsigned long long value) { return std::to_string(value); }

struct Settings {
    std::wstring recordFile;
    DWORD answer = 0;
};

Settings ReadSettings()
{
    Settings settings;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return settings;
    wchar_t path[1024] = {};
    DWORD size = sizeof(path) - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"RecordFile", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) == ERROR_SUCCESS)
        settings.recordFile = path;
    DWORD answer = 0;
    size = sizeof(answer);
    if (RegQueryValueExW(key, L"Answer", nullptr, nullptr, reinterpret_cast<BYTE*>(&answer), &size) == ERROR_SUCCESS)
        settings.answer = answer;
    RegCloseKey(key);
    return settings;
}

std::string DefaultMailAccount()
{
    wchar_t name[256] = {};
    DWORD size = sizeof(name) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Account Manager", L"Default Mail Account",
                     RRF_RT_REG_SZ, nullptr, name, &size) != ERROR_SUCCESS)
        return "\\N";
    return Field(name);
}

std::string ParentCaption(ULONG_PTR parent)
{
    if (!parent)
        return "none";
    wchar_t caption[256] = {};
    GetWindowTextW(reinterpret_cast<HWND>(parent), caption, 256);
    return Field(caption);
}

// Writes one call down and gives the chosen answer.
template <class Message>
ULONG Record(const char* entry, LHANDLE session, ULONG_PTR parent, const Message* message, FLAGS flags,
             ULONG reserved)
{
    const Settings settings = ReadSettings();
    std::string text = std::string("call\t") + entry + "\n";
    text += "session\t" + Number(session) + "\n";
    text += "parent\t" + ParentCaption(parent) + "\n";
    text += "flags\t" + Number(flags) + "\n";
    text += "reserved\t" + Number(reserved) + "\n";
    if (message) {
        text += "subject\t" + Field(message->lpszSubject) + "\n";
        text += "body\t" + Field(message->lpszNoteText) + "\n";
        text += std::string("originator\t") + (message->lpOriginator ? "present" : "none") + "\n";
        for (ULONG i = 0; message->lpRecips && i < message->nRecipCount; ++i) {
            const auto& r = message->lpRecips[i];
            text += "recip\t" + Number(r.ulRecipClass) + "\t" + Field(r.lpszName) + "\t" + Field(r.lpszAddress) +
                    "\t" + Number(r.ulEIDSize) + "\n";
        }
        for (ULONG i = 0; message->lpFiles && i < message->nFileCount; ++i) {
            const auto& f = message->lpFiles[i];
            text += "file\t" + Number(f.nPosition) + "\t" + Field(f.lpszPathName) + "\t" + Field(f.lpszFileName) +
                    "\t" + Number(f.flFlags) + "\t" + (f.lpFileType ? "type" : "none") + "\n";
        }
    }
    text += "account\t" + DefaultMailAccount() + "\n";
    text += "answer\t" + Number(settings.answer) + "\nend\n";
    if (!settings.recordFile.empty()) {
        HANDLE file = CreateFileW(settings.recordFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
            CloseHandle(file);
        }
    }
    return settings.answer;
}

} // namespace

extern "C" __declspec(dllexport) ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR parent, lpMapiMessage message,
                                                            FLAGS flags, ULONG reserved)
{
    return Record("MAPISendMail", session, parent, message, flags, reserved);
}

#ifndef PIXAVO_ANSI_ONLY
extern "C" __declspec(dllexport) ULONG WINAPI MAPISendMailW(LHANDLE session, ULONG_PTR parent, MessageW* message,
                                                             FLAGS flags, ULONG reserved)
{
    return Record("MAPISendMailW", session, parent, message, flags, reserved);
}
#endif
