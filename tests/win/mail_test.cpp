// The mail component against the real MAPI32.DLL of the Wine prefix, which
// hands each message to the test mail client registered as the system's
// mail client (tests/mailclient), and against the real mail-account keys of
// the current user.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/AFQuickMail.h"
#include "tests/win/MailTestSupport.h"
#include "widgets/Controls.h"

namespace {

using namespace mail_test;
using Strings = std::vector<std::wstring>;

class QuickMail : public testing::Test {
protected:
    void TearDown() override { TAFQuickMail::MapiLibraryName() = L"MAPI32.DLL"; }

    // The one call the client recorded since the last look.
    MailCall OnlyCall()
    {
        std::vector<MailCall> calls = client.Calls();
        client.ClearCalls();
        EXPECT_EQ(calls.size(), 1u);
        return calls.empty() ? MailCall() : calls[0];
    }
    // Neither the system's library nor the client stays loaded after a send.
    void ExpectLibrariesReleased()
    {
        EXPECT_EQ(GetModuleHandleW(L"mapi32.dll"), nullptr);
        EXPECT_EQ(GetModuleHandleW(L"pixavo_test_mail.dll"), nullptr);
        EXPECT_EQ(GetModuleHandleW(L"pixavo_test_mail_ansi.dll"), nullptr);
    }

    AccountManagerGuard accounts;
    MailClientRegistration client;
    MessageBoxWatcher boxes;
};

} // namespace

TEST_F(QuickMail, TheMailClientReceivesTheRecordsAsBuilt)
{
    const std::wstring cjkPath = L"C:\\\u5199\u771F \u30D5\u30A9\u30EB\u30C0\\\u6D77.png";
    struct Case {
        const char* what;
        std::function<void(TAFQuickMail&)> fill;
        unsigned flags;
        std::optional<std::wstring> subject, body;
        std::vector<MailRecipient> recipients;
        std::vector<std::pair<std::wstring, std::wstring>> files;   // path, name
    };
    const Case cases[] = {
        {"empty subject and body are null pointers", [](TAFQuickMail&) {}, 0, std::nullopt, std::nullopt, {}, {}},
        {"recipients To, then Cc, then Bcc, whatever the filling order; the dialog flags",
         [](TAFQuickMail& m) {
             m.ShowDialog = true;
             m.Subject = L"Holiday";
             m.TextToSend = {L"first", L"", L"third"};
             m.ToBCCEmail = {L"hidden@example.org"};
             m.ToCCEmail.push_back(L"copy@example.org");
             m.ToEmail = {L"ann@example.org", L"Bob <bob@example.org>"};
         },
         11, L"Holiday", L"first\r\n\r\nthird\r\n",
         {{1, L"ann@example.org", L"SMTP:ann@example.org", 0},
          {1, L"Bob <bob@example.org>", L"SMTP:Bob <bob@example.org>", 0},
          {2, L"copy@example.org", L"SMTP:copy@example.org", 0},
          {3, L"hidden@example.org", L"SMTP:hidden@example.org", 0}},
         {}},
        {"attachments: full path, the name after the last separator, no position",
         [&](TAFQuickMail& m) {
             m.FileNames = {L"C:\\temp\\x.jpg", cjkPath, L"plain.bmp"};
             m.TextToSend = {L"\u00E9t\u00E9 \u6D77"};
         },
         0, std::nullopt, L"\u00E9t\u00E9 \u6D77\r\n", {},
         {{L"C:\\temp\\x.jpg", L"x.jpg"}, {cjkPath, L"\u6D77.png"}, {L"plain.bmp", L"plain.bmp"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TAFQuickMail mail;
        c.fill(mail);
        EXPECT_TRUE(mail.Send());
        ExpectLibrariesReleased();
        MailCall call = OnlyCall();
        EXPECT_EQ(call.entry, "MAPISendMailW");
        EXPECT_EQ(call.session, 0u);
        EXPECT_EQ(call.reserved, 0u);
        EXPECT_EQ(call.flags, c.flags);
        EXPECT_EQ(call.subject, c.subject);
        EXPECT_EQ(call.body, c.body);
        EXPECT_FALSE(call.originator);
        EXPECT_EQ(call.recipients, c.recipients);
        ASSERT_EQ(call.files.size(), c.files.size());
        for (size_t i = 0; i < c.files.size(); ++i) {
            EXPECT_EQ(call.files[i].path, c.files[i].first);
            EXPECT_EQ(call.files[i].name, c.files[i].second);
            EXPECT_EQ(call.files[i].position, 0xFFFFFFFFu);
            EXPECT_EQ(call.files[i].flags, 0u);
            EXPECT_FALSE(call.files[i].hasType);
        }
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(QuickMail, ResultCodesGoToTheirEventOrToTheMessageBox)
{
    const std::pair<uint32_t, const char*> events[] = {{1, "OnUserAbort"},          {9, "OnTooManyFiles"},
                                                       {10, "OnTooManyRecips"},     {11, "OnAttachmentNotFound"},
                                                       {12, "OnAttachmentOpenFailure"}, {18, "OnTextTooLarge"},
                                                       {2, nullptr},                {14, nullptr}};
    for (bool handlers : {true, false}) {
        for (auto [code, event] : events) {
            SCOPED_TRACE(std::to_string(code) + (handlers ? " with handlers" : " without handlers"));
            client.SetAnswer(code);
            TAFQuickMail mail;
            std::vector<std::string> fired;
            if (handlers) {
                auto note = [&](const char* name) {
                    return [&fired, &mail, name](TAFQuickMail& sender) {
                        EXPECT_EQ(&sender, &mail);
                        fired.push_back(name);
                    };
                };
                mail.OnUserAbort = note("OnUserAbort");
                mail.OnTooManyFiles = note("OnTooManyFiles");
                mail.OnTooManyRecips = note("OnTooManyRecips");
                mail.OnAttachmentNotFound = note("OnAttachmentNotFound");
                mail.OnAttachmentOpenFailure = note("OnAttachmentOpenFailure");
                mail.OnTextTooLarge = note("OnTextTooLarge");
            }
            boxes.boxes.clear();
            EXPECT_FALSE(mail.Send());
            EXPECT_EQ(OnlyCall().answer, code);
            if (handlers && event) {
                EXPECT_EQ(fired, std::vector<std::string>{event});
                EXPECT_TRUE(boxes.boxes.empty());
            } else {
                EXPECT_TRUE(fired.empty());
                ASSERT_EQ(boxes.boxes.size(), 1u);
                EXPECT_EQ(boxes.boxes[0].text, L"Error sending mail (" + std::to_wstring(code) + L").");
                EXPECT_EQ(boxes.boxes[0].buttons, Strings{L"OK"});
                EXPECT_TRUE(boxes.boxes[0].errorIcon);
            }
        }
    }

    // The head of the message is the component's; it is never empty.
    TAFQuickMail mail;
    EXPECT_EQ(mail.ErrorMessage(), L"Error sending mail");
    mail.SetErrorMessage(L"Could not hand the picture over");
    boxes.boxes.clear();
    client.SetAnswer(11);
    EXPECT_FALSE(mail.Send());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"Could not hand the picture over (11).");
    mail.SetErrorMessage(L"");
    EXPECT_EQ(mail.ErrorMessage(), L"Error sending mail");
    EXPECT_FALSE(mail.HandleMailError(0xFFFFFFFFu));
}

TEST_F(QuickMail, MissingLibraryMissingEntryAndALibraryWithTheAnsiEntryOnly)
{
    TAFQuickMail mail;
    mail.Subject = L"Report";
    mail.ToEmail = {L"ann@example.org"};
    mail.FileNames = {L"C:\\temp\\report.jpg"};

    TAFQuickMail::MapiLibraryName() = L"no such mail library.dll";
    EXPECT_EQ(mail.SendMail(L"s", L"b", {}, {}, {}, {}, L""), -1);
    EXPECT_FALSE(mail.Send());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"Error sending mail (-1).");

    // A library without MAPISendMail answers like a user abort.
    TAFQuickMail::MapiLibraryName() = L"kernel32.dll";
    EXPECT_EQ(mail.SendMail(L"s", L"b", {}, {}, {}, {}, L""), 1);
    int aborts = 0;
    mail.OnUserAbort = [&](TAFQuickMail&) { ++aborts; };
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(aborts, 1);
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(client.Calls().empty());

    // Without MAPISendMailW the same records go to MAPISendMail in ANSI.
    TAFQuickMail::MapiLibraryName() = AnsiOnlyClientDll();
    mail.ShowDialog = true;
    mail.TextToSend = {L"caf\u00E9"};
    EXPECT_TRUE(mail.Send());
    ExpectLibrariesReleased();
    MailCall call = OnlyCall();
    EXPECT_EQ(call.entry, "MAPISendMail");
    EXPECT_EQ(call.flags, 11u);
    EXPECT_EQ(call.subject, L"Report");
    EXPECT_EQ(call.body, L"caf\u00E9\r\n");
    EXPECT_EQ(call.recipients, (std::vector<MailRecipient>{{1, L"ann@example.org", L"SMTP:ann@example.org", 0}}));
    ASSERT_EQ(call.files.size(), 1u);
    EXPECT_EQ(call.files[0].path, L"C:\\temp\\report.jpg");
    EXPECT_EQ(call.files[0].name, L"report.jpg");
    EXPECT_EQ(call.files[0].position, 0xFFFFFFFFu);
}

TEST_F(QuickMail, AccountsAndTheSenderSwitchInTheRealRegistry)
{
    // No account keys at all: nothing read, nothing written.
    {
        TAFQuickMail mail;
        EXPECT_TRUE(mail.AccountAddresses().empty());
        EXPECT_EQ(mail.DefaultAccountIndex(), 0);
        EXPECT_EQ(mail.DefaultAccountName(), L"");
        EXPECT_EQ(mail.DefaultAccountAddress(), L"");
        EXPECT_TRUE(mail.Send());
        EXPECT_EQ(OnlyCall().account, std::nullopt);
        EXPECT_FALSE(AccountManagerGuard::AreaExists()) << "keys are opened, never created";
        mail.FromEmail = L"someone@example.org";
        EXPECT_TRUE(mail.Send());
        EXPECT_FALSE(AccountManagerGuard::AreaExists());
        client.ClearCalls();
    }

    AccountManagerGuard::AddAccount(L"00000001", L"one@example.org");
    AccountManagerGuard::AddAccount(L"00000002", std::nullopt);   // no address: skipped
    AccountManagerGuard::AddAccount(L"00000003", L"Three@Example.org");
    AccountManagerGuard::AddAccount(L"00000004", L"four@example.org");
    AccountManagerGuard::SetDefaultAccount(L"00000003");
    {
        TAFQuickMail mail;
        EXPECT_EQ(mail.AccountAddresses(), (Strings{L"one@example.org", L"Three@Example.org", L"four@example.org"}));
        EXPECT_EQ(mail.DefaultAccountName(), L"00000003");
        EXPECT_EQ(mail.DefaultAccountAddress(), L"Three@Example.org");
        EXPECT_EQ(mail.DefaultAccountIndex(), 1);
        TForm form(L"Accounts", TForm::Border::Dialog, 300, 100);
        TComboBox box(form, 0, 0, 200, false, {L"stale"});
        mail.SetComboAccounts(&box);
        EXPECT_EQ(mail.ComboAccounts(), &box);
        EXPECT_EQ(box.Items(), mail.AccountAddresses());
        EXPECT_EQ(box.ItemIndex(), 1);
    }

    // The sender decides which account is the default during the call; the
    // default comes back afterwards, also when the send fails.
    struct Case {
        std::wstring sender;
        DWORD answer;
        std::wstring duringCall;
    };
    const Case cases[] = {
        {L"", 0, L"00000003"},
        {L"three@EXAMPLE.org", 0, L"00000003"},       // the default in another letter case
        {L"nobody@example.org", 0, L"00000003"},      // no such account: sent all the same
        {L"ONE@example.org", 0, L"00000001"},
        {L"four@example.org", 11, L"00000004"},
        {L"four@example.org", 1, L"00000004"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.sender) + " answer " + std::to_string(c.answer));
        client.SetAnswer(c.answer);
        TAFQuickMail mail;
        mail.FromEmail = c.sender;
        mail.OnAttachmentNotFound = mail.OnUserAbort = [](TAFQuickMail&) {};
        EXPECT_EQ(mail.Send(), c.answer == 0);
        EXPECT_EQ(OnlyCall().account, c.duringCall);
        EXPECT_EQ(AccountManagerGuard::DefaultAccount(), L"00000003");
    }
    // Also when the library cannot even be loaded.
    TAFQuickMail::MapiLibraryName() = L"no such mail library.dll";
    TAFQuickMail mail;
    EXPECT_EQ(mail.SendMail(L"", L"", {}, {}, {}, {}, L"one@example.org"), -1);
    EXPECT_EQ(AccountManagerGuard::DefaultAccount(), L"00000003");

    // SelectSenderAccount on its own switches, RestoreDefaultAccount puts back.
    EXPECT_FALSE(mail.SelectSenderAccount(L"nobody@example.org"));
    EXPECT_EQ(AccountManagerGuard::DefaultAccount(), L"00000003");
    EXPECT_TRUE(mail.SelectSenderAccount(L"FOUR@example.org"));
    EXPECT_EQ(AccountManagerGuard::DefaultAccount(), L"00000004");
    mail.RestoreDefaultAccount();
    EXPECT_EQ(AccountManagerGuard::DefaultAccount(), L"00000003");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(QuickMail, OddAccountValuesAreSkippedWithoutAMessage)
{
    AccountManagerGuard::AddAccount(L"a", L"a@example.org");
    AccountManagerGuard::AddAccount(L"b", std::nullopt);
    const DWORD number = 7;
    RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(kAccountManager) + L"\\Accounts\\b").c_str(),
                    L"SMTP Email Address", REG_DWORD, &number, sizeof(number));
    RegSetKeyValueW(HKEY_CURRENT_USER, kAccountManager, L"Default Mail Account", REG_DWORD, &number, sizeof(number));
    TAFQuickMail mail;
    EXPECT_EQ(mail.AccountAddresses(), Strings{L"a@example.org"});
    EXPECT_EQ(mail.DefaultAccountName(), L"");
    EXPECT_EQ(mail.DefaultAccountIndex(), 0);
    EXPECT_FALSE(mail.SelectSenderAccount(L"7"));
}
