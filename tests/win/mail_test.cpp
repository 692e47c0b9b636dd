// The mail component against the real MAPI32.DLL of the Wine prefix, which
// hands each message to the test mail client registered as the system's
// mail client (tests/mailclient), and against the real mail-account keys of
// the current user.
#include <gtest/gtest.h>

#include "mail/AFQuickMail.h"
#include "tests/win/MailTestSupport.h"
#include "widgets/Controls.h"
#include "widgets/Form.h"
#include "widgets/GraphicControls.h"
#include "widgets/Menus.h"
#include "widgets/Timer.h"

namespace {

using namespace mail_test;
using Texts = std::vector<std::wstring>;

class QuickMail : public testing::Test {
protected:
    void TearDown() override { TAFQuickMail::MapiLibraryName() = L"MAPI32.DLL"; }

    EmptyAccountArea accounts;
    MailClientRegistration client;
    MessageBoxWatcher boxes;
};

// The first line of a recorded call for the wide entry, without a parent.
std::wstring Head(unsigned flags, const wchar_t* account = L"none", unsigned answer = 0)
{
    return L"MAPISendMailW flags=" + std::to_wstring(flags) + L" parent=none account=" + account +
           L" answer=" + std::to_wstring(answer) + L"\n";
}

} // namespace

TEST_F(QuickMail, TheMailClientReceivesTheRecordsAsBuilt)
{
    const std::wstring cjk = L"C:\\\u5199\u771F \u30D5\u30A9\u30EB\u30C0\\\u6D77.png";
    struct Case {
        std::function<void(TAFQuickMail&)> fill;
        std::wstring recorded;
    };
    const Case cases[] = {
        // Empty subject and body are null pointers, not empty strings.
        {[](TAFQuickMail&) {}, Head(0) + L"subject=(null)\nbody=(null)\n"},
        // To, then Cc, then Bcc, whatever order the lists were filled in.
        {[](TAFQuickMail& m) {
             m.ShowDialog = true;
             m.Subject = L"Holiday";
             m.TextToSend = {L"first", L"", L"third"};
             m.ToBCCEmail = {L"hidden@example.org"};
             m.ToCCEmail.push_back(L"copy@example.org");
             m.ToEmail = {L"ann@example.org", L"Bob <bob@example.org>"};
         },
         Head(11) + L"subject=Holiday\nbody=first\\r\\n\\r\\nthird\\r\\n\n"
                    L"to ann@example.org | SMTP:ann@example.org\nto Bob <bob@example.org> | SMTP:Bob <bob@example.org>\n"
                    L"cc copy@example.org | SMTP:copy@example.org\nbcc hidden@example.org | SMTP:hidden@example.org\n"},
        // Paths whole, names after the last separator, no position; text
        // outside the ANSI code page unchanged.
        {[&](TAFQuickMail& m) {
             m.FileNames = {L"C:\\temp\\x.jpg", cjk, L"plain.bmp"};
             m.TextToSend = {L"\u00E9t\u00E9 \u6D77"};
         },
         Head(0) + L"subject=(null)\nbody=\u00E9t\u00E9 \u6D77\\r\\n\nfile -1 C:\\temp\\x.jpg | x.jpg\nfile -1 " + cjk +
             L" | \u6D77.png\nfile -1 plain.bmp | plain.bmp\n"},
    };
    for (const Case& c : cases) {
        TAFQuickMail mail;
        c.fill(mail);
        EXPECT_TRUE(mail.Send());
        EXPECT_EQ(client.TakeCalls(), Texts{c.recorded});
        // Neither the library nor the mail client stays loaded.
        EXPECT_EQ(GetModuleHandleW(L"mapi32.dll"), nullptr);
        EXPECT_EQ(GetModuleHandleW(L"pixavo_test_mail.dll"), nullptr);
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(QuickMail, ResultCodesGoToTheirEventOrToTheMessageBox)
{
    const std::pair<uint32_t, std::string> codes[] = {{1, "OnUserAbort"},       {9, "OnTooManyFiles"},
                                                      {10, "OnTooManyRecips"},  {11, "OnAttachmentNotFound"},
                                                      {12, "OnAttachmentOpenFailure"}, {18, "OnTextTooLarge"},
                                                      {2, ""},                  {14, ""}};
    for (bool handlers : {true, false}) {
        for (const auto& [code, event] : codes) {
            SCOPED_TRACE(std::to_string(code) + (handlers ? " with handlers" : " without handlers"));
            client.SetAnswer(code);
            TAFQuickMail mail;
            std::vector<std::string> fired;
            auto note = [&](std::string name) {
                return [&fired, &mail, name](TAFQuickMail& sender) { fired.push_back(&sender == &mail ? name : "?"); };
            };
            if (handlers) {
                mail.OnUserAbort = note("OnUserAbort");
                mail.OnTooManyFiles = note("OnTooManyFiles");
                mail.OnTooManyRecips = note("OnTooManyRecips");
                mail.OnAttachmentNotFound = note("OnAttachmentNotFound");
                mail.OnAttachmentOpenFailure = note("OnAttachmentOpenFailure");
                mail.OnTextTooLarge = note("OnTextTooLarge");
            }
            boxes.boxes.clear();
            EXPECT_FALSE(mail.Send());
            EXPECT_EQ(client.TakeCalls().size(), 1u);
            const bool handled = handlers && !event.empty();
            EXPECT_EQ(fired, handled ? std::vector<std::string>{event} : std::vector<std::string>{});
            EXPECT_EQ(boxes.boxes, handled ? Texts{}
                                           : Texts{L"Error sending mail (" + std::to_wstring(code) + L"). [OK] error icon"});
        }
    }

    // The head of the message is the component's own, and never empty.
    TAFQuickMail mail;
    mail.SetErrorMessage(L"Could not hand the picture over");
    boxes.boxes.clear();
    EXPECT_FALSE(mail.Send());
    mail.SetErrorMessage(L"");
    EXPECT_EQ(mail.ErrorMessage(), L"Error sending mail");
    EXPECT_EQ(boxes.boxes, Texts{L"Could not hand the picture over (14). [OK] error icon"});
}

TEST_F(QuickMail, MissingLibraryMissingEntryAndALibraryWithTheAnsiEntryOnly)
{
    TAFQuickMail mail;
    mail.ShowDialog = true;
    mail.Subject = L"Report";
    mail.TextToSend = {L"caf\u00E9"};
    mail.ToEmail = {L"ann@example.org"};
    mail.FileNames = {L"C:\\temp\\report.jpg"};
    int aborts = 0;

    TAFQuickMail::MapiLibraryName() = L"no such mail library.dll";
    EXPECT_EQ(mail.SendMail(L"s", L"b", {}, {}, {}, {}, L""), -1);
    EXPECT_FALSE(mail.Send());
    // Without MAPISendMail the result is that of a user abort.
    TAFQuickMail::MapiLibraryName() = L"kernel32.dll";
    EXPECT_FALSE(mail.Send());
    mail.OnUserAbort = [&](TAFQuickMail&) { ++aborts; };
    EXPECT_FALSE(mail.Send());
    EXPECT_EQ(aborts, 1);
    EXPECT_EQ(boxes.boxes, (Texts{L"Error sending mail (-1). [OK] error icon", L"Error sending mail (1). [OK] error icon"}));
    EXPECT_TRUE(client.TakeCalls().empty());

    // Without MAPISendMailW the same records go to MAPISendMail in ANSI.
    TAFQuickMail::MapiLibraryName() = BuiltDll(L"pixavo_test_mail_ansi.dll");
    EXPECT_TRUE(mail.Send());
    EXPECT_EQ(client.TakeCalls(), Texts{L"MAPISendMail flags=11 parent=none account=none answer=0\nsubject=Report\n"
                                        L"body=caf\u00E9\\r\\n\nto ann@example.org | SMTP:ann@example.org\n"
                                        L"file -1 C:\\temp\\report.jpg | report.jpg\n"});
    EXPECT_EQ(GetModuleHandleW(L"pixavo_test_mail_ansi.dll"), nullptr);
}

TEST_F(QuickMail, AccountsAndTheSenderSwitchInTheRealRegistry)
{
    {   // No account keys: nothing read, and nothing written or created.
        TAFQuickMail mail;
        EXPECT_TRUE(mail.AccountAddresses().empty());
        EXPECT_EQ(mail.DefaultAccountIndex(), 0);
        mail.FromEmail = L"someone@example.org";
        EXPECT_TRUE(mail.Send());
        EXPECT_EQ(client.TakeCalls(), Texts{Head(0) + L"subject=(null)\nbody=(null)\n"});
        HKEY key = nullptr;
        EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kAccountManager, 0, KEY_READ, &key), ERROR_SUCCESS);
    }

    EmptyAccountArea::AddAccount(L"00000001", L"one@example.org");
    EmptyAccountArea::AddAccount(L"00000002", std::nullopt);   // no address: skipped
    EmptyAccountArea::AddAccount(L"00000003", L"Three@Example.org");
    EmptyAccountArea::AddAccount(L"00000004", L"four@example.org");
    const DWORD number = 7;   // a value of the wrong type counts as missing
    RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(kAccountManager) + L"\\Accounts\\00000005").c_str(),
                    L"SMTP Email Address", REG_DWORD, &number, sizeof(number));
    SetText(HKEY_CURRENT_USER, kAccountManager, L"Default Mail Account", L"00000003");
    {
        TAFQuickMail mail;
        EXPECT_EQ(mail.AccountAddresses(), (Texts{L"one@example.org", L"Three@Example.org", L"four@example.org"}));
        EXPECT_EQ(mail.DefaultAccountName(), L"00000003");
        EXPECT_EQ(mail.DefaultAccountAddress(), L"Three@Example.org");
        EXPECT_EQ(mail.DefaultAccountIndex(), 1);
    }

    // The sender decides the default account during the call; the old one
    // comes back afterwards, also when the send fails.
    const std::tuple<std::wstring, DWORD, const wchar_t*> cases[] = {
        {L"", 0, L"00000003"},
        {L"three@EXAMPLE.org", 0, L"00000003"},    // the default's address in another letter case
        {L"nobody@example.org", 0, L"00000003"},   // no such account: sent all the same
        {L"ONE@example.org", 0, L"00000001"},
        {L"four@example.org", 11, L"00000004"},
    };
    for (const auto& [sender, answer, duringCall] : cases) {
        client.SetAnswer(answer);
        TAFQuickMail mail;
        mail.FromEmail = sender;
        mail.OnAttachmentNotFound = [](TAFQuickMail&) {};
        EXPECT_EQ(mail.Send(), answer == 0);
        EXPECT_EQ(client.TakeCalls(), Texts{Head(0, duringCall, answer) + L"subject=(null)\nbody=(null)\n"});
        EXPECT_EQ(EmptyAccountArea::DefaultAccount(), L"00000003");
    }
    // Also when the library does not even load.
    TAFQuickMail::MapiLibraryName() = L"no such mail library.dll";
    TAFQuickMail mail;
    EXPECT_EQ(mail.SendMail(L"", L"", {}, {}, {}, {}, L"one@example.org"), -1);
    EXPECT_EQ(EmptyAccountArea::DefaultAccount(), L"00000003");
    EXPECT_FALSE(mail.SelectSenderAccount(L"7"));
    EXPECT_TRUE(boxes.boxes.empty());
}
