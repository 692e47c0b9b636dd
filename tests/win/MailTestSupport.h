// Helpers of the mail tests: the test mail client (tests/mailclient)
// registered as the system's Simple MAPI client and the calls it wrote down,
// an empty mail-account area, and the error message boxes read and answered.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/Failure.h"
#include "tests/win/TestSupport.h"

namespace mail_test {

const wchar_t kMailClients[] = L"Software\\Clients\\Mail";
const wchar_t kClientKey[] = L"Software\\Clients\\Mail\\Pixavo Test Mail";
const wchar_t kAccountManager[] = L"Software\\Microsoft\\Internet Account Manager";

// A client DLL built beside the running test program.
inline std::wstring BuiltDll(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

inline void SetText(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& text)
{
    RegSetKeyValueW(root, key, name, REG_SZ, text.c_str(), DWORD((text.size() + 1) * sizeof(wchar_t)));
}

inline std::optional<std::wstring> GetText(HKEY root, const wchar_t* key, const wchar_t* name)
{
    wchar_t text[512] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(text);
}

// The test mail client registered as the system's mail client for the
// test's length; the registration that was there before comes back after.
class MailClientRegistration {
public:
    MailClientRegistration() : saved_(GetText(HKEY_LOCAL_MACHINE, kMailClients, nullptr))
    {
        SetText(HKEY_LOCAL_MACHINE, kMailClients, nullptr, L"Pixavo Test Mail");
        SetText(HKEY_LOCAL_MACHINE, kClientKey, L"DLLPath", BuiltDll(L"pixavo_test_mail.dll"));
        SetText(HKEY_LOCAL_MACHINE, kClientKey, L"RecordFile", record_ / L"calls.txt");
        SetAnswer(0);
    }
    ~MailClientRegistration()
    {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, kClientKey);
        if (saved_)
            SetText(HKEY_LOCAL_MACHINE, kMailClients, nullptr, *saved_);
        else
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kMailClients, nullptr);
    }
    MailClientRegistration(const MailClientRegistration&) = delete;
    MailClientRegistration& operator=(const MailClientRegistration&) = delete;

    // The result code the client gives from now on.
    void SetAnswer(DWORD code)
    {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, kClientKey, L"Answer", REG_DWORD, &code, sizeof(code));
    }
    // The calls written down since the last look, one text each (see
    // tests/mailclient for the lines), without the closing "end".
    std::vector<std::wstring> TakeCalls() const
    {
        const std::vector<uint8_t> bytes = test_support::ReadBytes(record_ / L"calls.txt");
        DeleteFileW((record_ / L"calls.txt").c_str());
        std::vector<std::wstring> calls(1);
        const std::wstring text = Widen(std::string(bytes.begin(), bytes.end()));
        for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
            const std::wstring line = text.substr(start, end - start);
            if (line == L"end")
                calls.emplace_back();
            else
                calls.back() += line + L"\n";
        }
        calls.pop_back();
        return calls;
    }

private:
    test_support::TempFolder record_{L"Pixavo mail record"};
    std::optional<std::wstring> saved_;
};

// The current user's mail-account area, empty at the start and removed at
// the end (this Wine prefix is the project's own, used by tests only).
struct EmptyAccountArea {
    EmptyAccountArea() { RegDeleteTreeW(HKEY_CURRENT_USER, kAccountManager); }
    ~EmptyAccountArea() { RegDeleteTreeW(HKEY_CURRENT_USER, kAccountManager); }

    // An account key, with an address unless there is none.
    static void AddAccount(const std::wstring& keyName, const std::optional<std::wstring>& address)
    {
        const std::wstring key = std::wstring(kAccountManager) + L"\\Accounts\\" + keyName;
        RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, REG_SZ, L"", sizeof(wchar_t));
        if (address)
            SetText(HKEY_CURRENT_USER, key.c_str(), L"SMTP Email Address", *address);
    }
    static std::optional<std::wstring> DefaultAccount()
    {
        return GetText(HKEY_CURRENT_USER, kAccountManager, L"Default Mail Account");
    }
};

// Message boxes of this thread: "<text> [<buttons>] <error icon or not>" is
// noted for each, and each is answered with OK as soon as it is active.
class MessageBoxWatcher {
public:
    MessageBoxWatcher() : hook_(SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId())) { Current() = this; }
    ~MessageBoxWatcher()
    {
        UnhookWindowsHookEx(hook_);
        Current() = nullptr;
    }
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    std::vector<std::wstring> boxes;

private:
    static MessageBoxWatcher*& Current()
    {
        static MessageBoxWatcher* current = nullptr;
        return current;
    }
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        const HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t text[512] = {};
        MessageBoxWatcher* self = Current();
        if (code == HCBT_ACTIVATE && self && GetClassNameW(box, text, 512) && std::wstring(text) == L"#32770" &&
            self->seen_.insert(box).second) {
            GetDlgItemTextW(box, 0xFFFF, text, 512);   // the message
            std::wstring seen = text, icon = L"no icon";
            for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                GetClassNameW(child, text, 512);
                const LONG style = GetWindowLongW(child, GWL_STYLE);
                if (_wcsicmp(text, L"Button") == 0 && (style & WS_VISIBLE)) {
                    GetWindowTextW(child, text, 512);
                    seen += std::wstring(L" [") + text + L"]";
                } else if (_wcsicmp(text, L"Static") == 0 && (style & SS_ICON)) {
                    const bool error = HICON(SendMessageW(child, STM_GETICON, 0, 0)) == LoadIconW(nullptr, IDI_ERROR);
                    icon = error ? L"error icon" : L"other icon";
                }
            }
            self->boxes.push_back(seen + L" " + icon);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_;
    std::set<HWND> seen_;
};

} // namespace mail_test
