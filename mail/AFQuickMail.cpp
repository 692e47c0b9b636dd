#include "mail/AFQuickMail.h"

#include <algorithm>
#include <deque>
#include <optional>

#include "base/Failure.h"
#include "base/Handles.h"
#include "mail/SimpleMapiW.h"
#include "system/RegistryUnit.h"

namespace {

const wchar_t kAccountManagerKey[] = L"\\Software\\Microsoft\\Internet Account Manager";
const wchar_t kAccountsKey[] = L"\\Software\\Microsoft\\Internet Account Manager\\Accounts";
const wchar_t kDefaultAccountValue[] = L"Default Mail Account";
const wchar_t kAddressValue[] = L"SMTP Email Address";

template <class Char> struct MapiForm;
template <> struct MapiForm<char> {
    using Message = MapiMessage;
    using Recip = MapiRecipDesc;
    using File = MapiFileDesc;
    static constexpr const char* kEntry = "MAPISendMail";
};
template <> struct MapiForm<wchar_t> {
    using Message = MapiMessageW;
    using Recip = MapiRecipDescW;
    using File = MapiFileDescW;
    static constexpr const char* kEntry = "MAPISendMailW";
};

// The message's records in one form, owning every string and array they
// point to; all of it is released with the object.
template <class Char>
class MapiRecords {
public:
    using Form = MapiForm<Char>;
    using String = std::basic_string<Char>;
    using Entry = ULONG(WINAPI*)(LHANDLE, ULONG_PTR, typename Form::Message*, FLAGS, ULONG);

    MapiRecords(const std::wstring& subject, const std::wstring& body, const TAFQuickMail::TStrings& files,
                const TAFQuickMail::TStrings& to, const TAFQuickMail::TStrings& cc,
                const TAFQuickMail::TStrings& bcc)
    {
        // To first, then Cc, then Bcc, each in list order.
        const std::pair<const TAFQuickMail::TStrings*, ULONG> groups[] = {{&to, MAPI_TO}, {&cc, MAPI_CC},
                                                                          {&bcc, MAPI_BCC}};
        for (auto [list, recipClass] : groups)
            for (const std::wstring& entry : *list) {
                typename Form::Recip recip{};
                recip.ulRecipClass = recipClass;
                recip.lpszName = Keep(entry);
                recip.lpszAddress = Keep(L"SMTP:" + entry);
                recips_.push_back(recip);
            }
        for (const std::wstring& path : files) {
            typename Form::File file{};
            file.nPosition = ULONG(-1);   // no position in the body
            file.lpszPathName = Keep(path);
            file.lpszFileName = Keep(path.substr(path.find_last_of(L"\\/") + 1));
            files_.push_back(file);
        }
        message_.lpszSubject = subject.empty() ? nullptr : Keep(subject);
        message_.lpszNoteText = body.empty() ? nullptr : Keep(body);
        message_.nRecipCount = ULONG(recips_.size());
        message_.lpRecips = recips_.empty() ? nullptr : recips_.data();
        message_.nFileCount = ULONG(files_.size());
        message_.lpFiles = files_.empty() ? nullptr : files_.data();
    }
    MapiRecords(const MapiRecords&) = delete;
    MapiRecords& operator=(const MapiRecords&) = delete;

    ULONG Call(FARPROC entry, HWND parent, ULONG flags)
    {
        return reinterpret_cast<Entry>(entry)(0, reinterpret_cast<ULONG_PTR>(parent), &message_, flags, 0);
    }

private:
    // A string of the record's form that lives as long as the records.
    Char* Keep(const std::wstring& text)
    {
        strings_.push_back(Convert(text));
        return strings_.back().data();
    }
    static String Convert(const std::wstring& text);

    std::deque<String> strings_;   // elements never move
    std::vector<typename Form::Recip> recips_;
    std::vector<typename Form::File> files_;
    typename Form::Message message_{};
};

template <>
std::wstring MapiRecords<wchar_t>::Convert(const std::wstring& text)
{
    return text;
}

// The system's ANSI code page; what it cannot represent comes out as its
// default character.
template <>
std::string MapiRecords<char>::Convert(const std::wstring& text)
{
    if (text.empty())
        return {};
    int length = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string converted(size_t(std::max(length, 0)), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), converted.data(), length, nullptr, nullptr);
    return converted;
}

// A text value, or nothing when it is missing or not text.
std::optional<std::wstring> ReadText(const RegKey& key, const wchar_t* name)
{
    if (!key.HasValue(name))
        return std::nullopt;
    try {
        return key.ReadString(name);
    } catch (const Failure&) {
        return std::nullopt;
    }
}

std::vector<std::wstring> AccountKeyNames()
{
    RegKey accounts = RegKey::Open(HKEY_CURRENT_USER, kAccountsKey, KEY_READ);
    return accounts ? accounts.SubkeyNames() : std::vector<std::wstring>{};
}

// The address of an account, or nothing when it has none.
std::optional<std::wstring> AccountAddress(const std::wstring& keyName)
{
    RegKey account = RegKey::Open(HKEY_CURRENT_USER, std::wstring(kAccountsKey) + L"\\" + keyName, KEY_READ);
    return account ? ReadText(account, kAddressValue) : std::nullopt;
}

void WriteDefaultAccount(const std::wstring& keyName)
{
    RegKey manager = RegKey::Open(HKEY_CURRENT_USER, kAccountManagerKey, KEY_SET_VALUE);
    if (manager)
        manager.WriteString(kDefaultAccountValue, keyName);
}

} // namespace

std::wstring& TAFQuickMail::MapiLibraryName()
{
    static std::wstring name = L"MAPI32.DLL";
    return name;
}

TAFQuickMail::TAFQuickMail() { LoadMailAccounts(); }

TAFQuickMail::~TAFQuickMail() = default;

void TAFQuickMail::SetErrorMessage(const std::wstring& text)
{
    errorMessage_ = text.empty() ? std::wstring(kDefaultErrorMessage) : text;
}

void TAFQuickMail::LoadMailAccounts()
{
    defaultAccountName_.clear();
    defaultAccountAddress_.clear();
    defaultAccountIndex_ = 0;
    accountAddresses_.clear();
    if (RegKey manager = RegKey::Open(HKEY_CURRENT_USER, kAccountManagerKey, KEY_READ))
        defaultAccountName_ = ReadText(manager, kDefaultAccountValue).value_or(L"");
    for (const std::wstring& name : AccountKeyNames()) {
        std::optional<std::wstring> address = AccountAddress(name);
        if (!address)
            continue;
        accountAddresses_.push_back(*address);
        if (name == defaultAccountName_) {
            defaultAccountIndex_ = int32_t(accountAddresses_.size() - 1);
            defaultAccountAddress_ = *address;
        }
    }
}

bool TAFQuickMail::SelectSenderAccount(const std::wstring& address)
{
    for (const std::wstring& name : AccountKeyNames()) {
        std::optional<std::wstring> accountAddress = AccountAddress(name);
        if (accountAddress && LowerAscii(*accountAddress) == LowerAscii(address)) {
            WriteDefaultAccount(name);
            return true;
        }
    }
    return false;
}

void TAFQuickMail::RestoreDefaultAccount() { WriteDefaultAccount(defaultAccountName_); }

int32_t TAFQuickMail::SendMail(const std::wstring& subject, const std::wstring& body, const TStrings& files,
                               const TStrings& to, const TStrings& cc, const TStrings& bcc,
                               const std::wstring& sender)
{
    // Another sender's account is the default mail account for the call
    // only: the old default is written back however the call ends.
    struct AccountSwitch {
        TAFQuickMail* mail = nullptr;
        ~AccountSwitch()
        {
            if (mail) {
                try {
                    mail->RestoreDefaultAccount();
                } catch (...) {
                    // Nothing may leave a destructor; the value was writable a
                    // moment ago and nothing else can be done here.
                }
            }
        }
    } accountSwitch;
    if (!sender.empty() && LowerAscii(sender) != LowerAscii(defaultAccountAddress_) && SelectSenderAccount(sender))
        accountSwitch.mail = this;

    ModuleHandle library(LoadLibraryW(MapiLibraryName().c_str()));
    if (!library)
        return -1;
    const HWND parent = ParentWindow;
    const ULONG flags = ShowDialog ? kDialogFlags : 0;
    // The wide entry keeps every character of the paths and texts; the ANSI
    // one only those of the system's code page.
    if (FARPROC wide = GetProcAddress(library.Get(), MapiForm<wchar_t>::kEntry)) {
        MapiRecords<wchar_t> records(subject, body, files, to, cc, bcc);
        return int32_t(records.Call(wide, parent, flags));
    }
    if (FARPROC ansi = GetProcAddress(library.Get(), MapiForm<char>::kEntry)) {
        MapiRecords<char> records(subject, body, files, to, cc, bcc);
        return int32_t(records.Call(ansi, parent, flags));
    }
    return int32_t(kUserAbort);
}

bool TAFQuickMail::HandleMailError(uint32_t code)
{
    TNotifyEvent* event = nullptr;
    switch (code) {
    case kUserAbort: event = &OnUserAbort; break;
    case kTooManyFiles: event = &OnTooManyFiles; break;
    case kTooManyRecipients: event = &OnTooManyRecips; break;
    case kAttachmentNotFound: event = &OnAttachmentNotFound; break;
    case kAttachmentOpenFailure: event = &OnAttachmentOpenFailure; break;
    case kTextTooLarge: event = &OnTextTooLarge; break;
    default: return false;
    }
    if (!*event)
        return false;
    (*event)(*this);
    return true;
}

bool TAFQuickMail::Send()
{
    std::wstring body;
    for (const std::wstring& line : TextToSend)
        body += line + L"\r\n";
    const int32_t code = SendMail(Subject, body, FileNames, ToEmail, ToCCEmail, ToBCCEmail, FromEmail);
    if (code == 0)
        return true;
    if (!HandleMailError(uint32_t(code))) {
        const std::wstring text = errorMessage_ + L" (" + std::to_wstring(code) + L").";
        MessageBoxW(GetActiveWindow(), text.c_str(), ErrorCaption.empty() ? nullptr : ErrorCaption.c_str(),
                    MB_OK | MB_ICONERROR);
    }
    return false;
}
