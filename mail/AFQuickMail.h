// TAFQuickMail hands one message (recipients, subject, body text and file
// attachments) to the user's mail program through Simple MAPI, and knows the
// current user's mail accounts from the Internet Account Manager's registry
// area, so that a message can go out from a chosen sender address.
//
// Ownership is plain: whoever creates the component owns it (a local object
// or a std::unique_ptr) and frees it when done; nothing else refers to it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TAFQuickMail {
public:
    using TStrings = std::vector<std::wstring>;
    // A notification handler, called with the component as sender.
    using TNotifyEvent = std::function<void(TAFQuickMail& sender)>;

    // The default head of the failure message.
    static constexpr const wchar_t* kDefaultErrorMessage = L"Error sending mail";
    // Simple MAPI's result codes that the component tells apart.
    enum : uint32_t {
        kSuccess = 0,
        kUserAbort = 1,
        kTooManyFiles = 9,
        kTooManyRecipients = 10,
        kAttachmentNotFound = 11,
        kAttachmentOpenFailure = 12,
        kTextTooLarge = 18,
    };
    // MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG.
    static constexpr uint32_t kDialogFlags = 11;

    // Reads the mail accounts (LoadMailAccounts).
    TAFQuickMail();
    ~TAFQuickMail();
    TAFQuickMail(const TAFQuickMail&) = delete;
    TAFQuickMail& operator=(const TAFQuickMail&) = delete;

    // ---- Properties ----
    // Lists are the component's own: assigning copies the lines in, and
    // callers may also fill them directly.
    std::wstring FromEmail;      // sender address; empty: the default account
    TStrings TextToSend;         // body, one entry per line
    TStrings ToEmail;
    std::wstring Subject;
    TStrings ToCCEmail;
    TStrings ToBCCEmail;
    const std::wstring& ErrorMessage() const { return errorMessage_; }
    // An empty text stores the default.
    void SetErrorMessage(const std::wstring& text);
    TStrings FileNames;          // full paths of the attachments
    // The window that owns the mail program's windows (none: the desktop).
    HWND ParentWindow = nullptr;
    // The caption of the error message box (empty: the system's own).
    std::wstring ErrorCaption;
    bool ShowDialog = false;     // the mail program shows its compose window
    TNotifyEvent OnAttachmentNotFound;
    TNotifyEvent OnAttachmentOpenFailure;
    TNotifyEvent OnTooManyFiles;
    TNotifyEvent OnTooManyRecips;
    TNotifyEvent OnTextTooLarge;
    TNotifyEvent OnUserAbort;

    // ---- Account data, read once at creation ----
    const std::wstring& DefaultAccountName() const { return defaultAccountName_; }
    const std::wstring& DefaultAccountAddress() const { return defaultAccountAddress_; }
    int32_t DefaultAccountIndex() const { return defaultAccountIndex_; }
    const TStrings& AccountAddresses() const { return accountAddresses_; }

    // ---- Operations ----
    // Sends the message the properties describe; true when the mail program
    // accepted it. A failure goes to its handler, or to an error message box
    // "<ErrorMessage> (<code>)." when there is none.
    bool Send();
    // Hands the message to MAPISendMail and returns its result: -1 when the
    // library does not load, 1 when it has no MAPISendMail. A sender other
    // than the default account's address is made the default mail account
    // for the call and the old default is written back afterwards.
    int32_t SendMail(const std::wstring& subject, const std::wstring& body, const TStrings& files,
                     const TStrings& to, const TStrings& cc, const TStrings& bcc, const std::wstring& sender);
    // Calls the handler of the code's event; true when there was one.
    bool HandleMailError(uint32_t code);
    void LoadMailAccounts();
    // Makes the account with this address (any letter case) the default
    // mail account; false when no account has it.
    bool SelectSenderAccount(const std::wstring& address);
    // Writes DefaultAccountName back as the default mail account.
    void RestoreDefaultAccount();

    // The library loaded for each send ("MAPI32.DLL"); tests replace it.
    static std::wstring& MapiLibraryName();

private:
    std::wstring defaultAccountName_;
    std::wstring defaultAccountAddress_;
    int32_t defaultAccountIndex_ = 0;
    std::wstring errorMessage_ = kDefaultErrorMessage;
    TStrings accountAddresses_;
};
