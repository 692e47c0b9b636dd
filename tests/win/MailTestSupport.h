// Helpers of the mail tests: the test mail client (tests/mailclient)
// registered as the system's Simple MAPI client and what it recorded, the
// mail-account keys of the real registry kept and put back, and the error
// message boxes read and answered.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "system/Failure.h"
#include "tests/win/TestSupport.h"

namespace mail_test {

const wchar_t kMailClients[] = L"Software\\Clients\\Mail";
const wchar_t kClientName[] = L"Pixavo Test Mail";
const wchar_t kAccountManager[] = L"Software\\Microsoft\\Internet Account Manager";

// The folder of the running test program, where the client DLLs are built.
inline std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}
inline std::wstring ClientDll() { return ProgramFolder() + L"\\pixavo_test_mail.dll"; }
inline std::wstring AnsiOnlyClientDll() { return ProgramFolder() + L"\\pixavo_test_mail_ansi.dll"; }

struct MailRecipient {
    unsigned recipClass = 0;
    std::optional<std::wstring> name, address;
    unsigned entryIdSize = 0;
    bool operator==(const MailRecipient&) const = default;
};
inline void PrintTo(const MailRecipient& r, std::ostream* os)
{
    *os << "{" << r.recipClass << ", " << (r.name ? Narrow(*r.name) : "null") << ", "
        << (r.address ? Narrow(*r.address) : "null") << ", " << r.entryIdSize << "}";
}
struct MailFile {
    unsigned position = 0;
    std::optional<std::wstring> path, name;
    unsigned flags = 0;
    bool hasType = false;
};
// One MAPISendMail call as the client saw it.
struct MailCall {
    std::string entry;
    std::wstring parent;
    unsigned session = 0, flags = 0, reserved = 0, answer = 0;
    std::optional<std::wstring> subject, body;
    std::optional<std::wstring> account;   // the default mail account during the call
    bool originator = false;
    std::vector<MailRecipient> recipients;
    std::vector<MailFile> files;
};

inline std::optional<std::wstring> Unescape(const std::string& field)
{
    if (field == "\\N")
        return std::nullopt;
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        char c = field[++i];
        out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return Widen(out);
}

inline std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return parts;
        start = tab + 1;
    }
}

inline std::vector<MailCall> ParseCalls(const std::vector<uint8_t>& bytes)
{
    std::vector<MailCall> calls;
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    std::string line;
    MailCall call;
    auto number = [](const std::string& s) { return unsigned(std::stoull(s)); };
    while (std::getline(in, line)) {
        std::vector<std::string> f = SplitTabs(line);
        const std::string& key = f[0];
        auto at = [&](size_t i) { return i < f.size() ? f[i] : std::string(); };
        if (key == "call") call.entry = at(1);
        else if (key == "session") call.session = number(at(1));
        else if (key == "parent") call.parent = Unescape(at(1)).value_or(L"");
        else if (key == "flags") call.flags = number(at(1));
        else if (key == "reserved") call.reserved = number(at(1));
        else if (key == "subject") call.subject = Unescape(at(1));
        else if (key == "body") call.body = Unescape(at(1));
        else if (key == "originator") call.originator = at(1) == "present";
        else if (key == "recip")
            call.recipients.push_back({number(at(1)), Unescape(at(2)), Unescape(at(3)), number(at(4))});
        else if (key == "file")
            call.files.push_back({number(at(1)), Unescape(at(2)), Unescape(at(3)), number(at(4)), at(5) == "type"});
        else if (key == "account") call.account = Unescape(at(1));
        else if (key == "answer") call.answer = number(at(1));
        else if (key == "end") {
            calls.push_back(call);
            call = MailCall();
        }
    }
    return calls;
}

// The test mail client registered as the system's mail client for the
// test's length; the registration that was there before comes back after.
class MailClientRegistration {
public:
    MailClientRegistration() : record_(L"Pixavo mail record")
    {
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMailClients, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &clients_,
                        nullptr);
        wchar_t name[256] = {};
        DWORD size = sizeof(name) - sizeof(wchar_t);
        if (RegQueryValueExW(clients_, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) ==
            ERROR_SUCCESS)
            savedDefault_ = name;
        SetText(clients_, L"", kClientName);
        RegCreateKeyExW(clients_, kClientName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &client_, nullptr);
        SetText(client_, L"DLLPath", ClientDll());
        SetText(client_, L"RecordFile", RecordFile());
        SetAnswer(0);
    }
    ~MailClientRegistration()
    {
        RegCloseKey(client_);
        RegDeleteKeyW(clients_, kClientName);
        if (savedDefault_)
            SetText(clients_, L"", *savedDefault_);
        else
            RegDeleteValueW(clients_, nullptr);
        RegCloseKey(clients_);
    }
    MailClientRegistration(const MailClientRegistration&) = delete;
    MailClientRegistration& operator=(const MailClientRegistration&) = delete;

    // The result code the client gives from now on.
    void SetAnswer(DWORD code)
    {
        RegSetValueExW(client_, L"Answer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&code), sizeof(code));
    }
    std::wstring RecordFile() const { return record_ / L"calls.txt"; }
    std::vector<MailCall> Calls() const { return ParseCalls(test_support::ReadBytes(RecordFile())); }
    void ClearCalls() const { DeleteFileW(RecordFile().c_str()); }

private:
    static void SetText(HKEY key, const wchar_t* name, const std::wstring& text)
    {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       DWORD((text.size() + 1) * sizeof(wchar_t)));
    }
    test_support::TempFolder record_;
    HKEY clients_ = nullptr, client_ = nullptr;
    std::optional<std::wstring> savedDefault_;
};

// The current user's mail-account area: emptied for the test, and put back
// exactly as it was afterwards.
class AccountManagerGuard {
public:
    AccountManagerGuard()
    {
        const std::wstring backup = BackupPath();
        RegDeleteTreeW(HKEY_CURRENT_USER, backup.c_str());
        HKEY source = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kAccountManager, 0, KEY_READ, &source) == ERROR_SUCCESS) {
            HKEY copy = nullptr;
            RegCreateKeyExW(HKEY_CURRENT_USER, backup.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &copy,
                            nullptr);
            existed_ = RegCopyTreeW(source, nullptr, copy) == ERROR_SUCCESS;
            RegCloseKey(copy);
            RegCloseKey(source);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kAccountManager);
    }
    ~AccountManagerGuard()
    {
        const std::wstring backup = BackupPath();
        RegDeleteTreeW(HKEY_CURRENT_USER, kAccountManager);
        if (existed_) {
            HKEY source = nullptr, target = nullptr;
            RegOpenKeyExW(HKEY_CURRENT_USER, backup.c_str(), 0, KEY_READ, &source);
            RegCreateKeyExW(HKEY_CURRENT_USER, kAccountManager, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target,
                            nullptr);
            RegCopyTreeW(source, nullptr, target);
            RegCloseKey(target);
            RegCloseKey(source);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, backup.c_str());
    }
    AccountManagerGuard(const AccountManagerGuard&) = delete;
    AccountManagerGuard& operator=(const AccountManagerGuard&) = delete;

    // An account key with an address (none: the key without the value).
    static void AddAccount(const std::wstring& keyName, const std::optional<std::wstring>& address)
    {
        HKEY key = nullptr;
        const std::wstring path = std::wstring(kAccountManager) + L"\\Accounts\\" + keyName;
        RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (address)
            RegSetValueExW(key, L"SMTP Email Address", 0, REG_SZ, reinterpret_cast<const BYTE*>(address->c_str()),
                           DWORD((address->size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    static void SetDefaultAccount(const std::wstring& keyName)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, kAccountManager, L"Default Mail Account", REG_SZ, keyName.c_str(),
                        DWORD((keyName.size() + 1) * sizeof(wchar_t)));
    }
    // "Default Mail Account" as it is now; nothing when it is missing.
    static std::optional<std::wstring> DefaultAccount()
    {
        wchar_t name[256] = {};
        DWORD size = sizeof(name) - sizeof(wchar_t);
        if (RegGetValueW(HKEY_CURRENT_USER, kAccountManager, L"Default Mail Account", RRF_RT_REG_SZ, nullptr, name,
                         &size) != ERROR_SUCCESS)
            return std::nullopt;
        return std::wstring(name);
    }
    static bool AreaExists()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kAccountManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

private:
    static std::wstring BackupPath() { return L"Software\\Corvane\\Pixavo test backup of the account area"; }
    bool existed_ = false;
};

// Error message boxes of this thread: their texts are noted and each is
// answered with OK as soon as it is active.
class MessageBoxWatcher {
public:
    MessageBoxWatcher()
    {
        Current() = this;
        hook_ = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
    }
    ~MessageBoxWatcher()
    {
        UnhookWindowsHookEx(hook_);
        Current() = nullptr;
    }
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    struct Box {
        std::wstring text, caption;
        bool errorIcon = false;
        std::vector<std::wstring> buttons;
    };
    std::vector<Box> boxes;

private:
    static MessageBoxWatcher*& Current()
    {
        static MessageBoxWatcher* current = nullptr;
        return current;
    }
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        MessageBoxWatcher* self = Current();
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[32] = {};
        if (code == HCBT_ACTIVATE && self && GetClassNameW(window, className, 32) &&
            std::wstring(className) == L"#32770" && !self->seen_.count(window)) {
            self->seen_.insert(window);
            Box box;
            wchar_t text[512] = {};
            GetDlgItemTextW(window, 0xFFFF, text, 512);   // the message text
            box.text = text;
            GetWindowTextW(window, text, 512);
            box.caption = text;
            for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                GetClassNameW(child, className, 32);
                if (_wcsicmp(className, L"Button") == 0 && (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) {
                    GetWindowTextW(child, text, 512);
                    box.buttons.push_back(text);
                } else if (_wcsicmp(className, L"Static") == 0 && (GetWindowLongW(child, GWL_STYLE) & SS_ICON)) {
                    box.errorIcon = HICON(SendMessageW(child, STM_GETICON, 0, 0)) == LoadIconW(nullptr, IDI_ERROR);
                }
            }
            self->boxes.push_back(box);
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_ = nullptr;
    std::set<HWND> seen_;
};

} // namespace mail_test
