// A mail client for the tests, not part of the program: registered as the
// system's Simple MAPI client, it writes down every message it is handed and
// answers with the result code the test chose. Its settings are values of
// HKLM\Software\Clients\Mail\Pixavo Test Mail: "RecordFile" (where the calls
// are appended, UTF-8) and "Answer" (DWORD, the result to give).
//
// A call is written as lines, the last one "end":
//   <entry> flags=<n> parent=<caption or none> account=<default mail account of the user, or none> answer=<n>
//   subject=<text or (null)>
//   body=<text or (null), CR and LF written as \r and \n>
//   to|cc|bcc|class<n> <name> | <address>        one line per recipient
//   file <position, signed> <path> | <name>       one line per attachment
//   unexpected <field>                            any field that should be 0 but is not
// Built twice: with both entries, and (PIXAVO_ANSI_ONLY) with the ANSI
// MAPISendMail alone, whose strings are read in the ANSI code page.
#include <string>

#include "mail/SimpleMapiW.h"

namespace {

const wchar_t kClientKey[] = L"Software\\Clients\\Mail\\Pixavo Test Mail";

[[maybe_unused]] std::wstring Text(const wchar_t* text) { return text ? text : L"(null)"; }

std::wstring Text(const char* text)
{
    if (!text)
        return L"(null)";
    std::wstring wide(size_t(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), int(wide.size()));
    wide.pop_back();
    return wide;
}

std::wstring Escaped(std::wstring text)
{
    for (size_t at = 0; (at = text.find_first_of(L"\r\n", at)) != std::wstring::npos; at += 2)
        text.replace(at, 1, text[at] == L'\r' ? L"\\r" : L"\\n");
    return text;
}

std::wstring ReadText(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* missing)
{
    wchar_t text[1024] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return missing;
    return text;
}

template <class Message>
ULONG Record(const wchar_t* entry, LHANDLE session, ULONG_PTR parent, const Message* m, FLAGS flags, ULONG reserved)
{
    DWORD answer = 0, size = sizeof(answer);
    RegGetValueW(HKEY_LOCAL_MACHINE, kClientKey, L"Answer", RRF_RT_REG_DWORD, nullptr, &answer, &size);
    wchar_t caption[256] = L"none";
    if (parent)
        GetWindowTextW(reinterpret_cast<HWND>(parent), caption, 256);
    std::wstring out = std::wstring(entry) + L" flags=" + std::to_wstring(flags) + L" parent=" + caption +
                       L" account=" +
                       ReadText(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Account Manager",
                                L"Default Mail Account", L"none") +
                       L" answer=" + std::to_wstring(answer) + L"\n";
    out += L"subject=" + Escaped(Text(m->lpszSubject)) + L"\nbody=" + Escaped(Text(m->lpszNoteText)) + L"\n";
    const wchar_t* classes[] = {L"class0", L"to", L"cc", L"bcc"};
    for (ULONG i = 0; m->lpRecips && i < m->nRecipCount; ++i) {
        const auto& r = m->lpRecips[i];
        out += (r.ulRecipClass < 4 ? classes[r.ulRecipClass] : L"class?") + std::wstring(L" ") + Text(r.lpszName) +
               L" | " + Text(r.lpszAddress) + L"\n";
        if (r.ulReserved || r.ulEIDSize || r.lpEntryID)
            out += L"unexpected recipient field\n";
    }
    for (ULONG i = 0; m->lpFiles && i < m->nFileCount; ++i) {
        const auto& f = m->lpFiles[i];
        out += L"file " + std::to_wstring(LONG(f.nPosition)) + L" " + Text(f.lpszPathName) + L" | " +
               Text(f.lpszFileName) + L"\n";
        if (f.ulReserved || f.flFlags || f.lpFileType)
            out += L"unexpected file field\n";
    }
    if (session || reserved || m->ulReserved || m->lpszMessageType || m->lpszDateReceived ||
        m->lpszConversationID || m->flFlags || m->lpOriginator || (!m->lpRecips != !m->nRecipCount) ||
        (!m->lpFiles != !m->nFileCount))
        out += L"unexpected message field\n";
    out += L"end\n";

    std::string utf8(size_t(WideCharToMultiByte(CP_UTF8, 0, out.data(), int(out.size()), nullptr, 0, nullptr,
                                                 nullptr)),
                     '\0');
    WideCharToMultiByte(CP_UTF8, 0, out.data(), int(out.size()), utf8.data(), int(utf8.size()), nullptr, nullptr);
    const std::wstring path = ReadText(HKEY_LOCAL_MACHINE, kClientKey, L"RecordFile", L"");
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, utf8.data(), DWORD(utf8.size()), &written, nullptr);
        CloseHandle(file);
    }
    return answer;
}

} // namespace

extern "C" __declspec(dllexport) ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR parent, lpMapiMessage message,
                                                            FLAGS flags, ULONG reserved)
{
    return Record(L"MAPISendMail", session, parent, message, flags, reserved);
}

#ifndef PIXAVO_ANSI_ONLY
extern "C" __declspec(dllexport) ULONG WINAPI MAPISendMailW(LHANDLE session, ULONG_PTR parent, MapiMessageW* message,
                                                             FLAGS flags, ULONG reserved)
{
    return Record(L"MAPISendMailW", session, parent, message, flags, reserved);
}
#endif
