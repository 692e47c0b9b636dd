// The three settings read while the main window is created, from the real
// per-user registry key of the test prefix, and the failures of that reading
// shown through the real error dialog.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/MainUnit.h"
#include "tests/win/TestSupport.h"
#include "tests/win/settings_guard.h"

namespace {

using namespace settings_test;
using namespace test_support;

const std::wstring kInterval = L"U2xpZGVTaG93SW50ZXJ2YWw=";
const std::wstring kStart = L"U3RhcnRBdEJlZ2lubmluZw==";
const std::wstring kColor = L"QmFja0dyb3VuZENvbG9y";

class SettingsStartup : public testing::Test {
protected:
    void SetUp() override
    {
        DeleteKey();
        // The error dialog runs for real; its text is noted and it is closed
        // with a click on its button.
        AnswerModals(failures, [](THelpDlg& help) { return help.SbtnOkay.Handle(); });
    }
    void TearDown() override { StopAnsweringModals(); }

    Guard guard;
    std::vector<std::wstring> failures;
};

std::wstring SampleImage() { return Widen(PIXAVO_TEST_DATA) + L"/sample-24bit.bmp"; }

} // namespace

TEST_F(SettingsStartup, FirstRunCreatesTheEmptyKeyTakesTheDefaultsAndWritesNothing)
{
    ASSERT_FALSE(KeyExists());
    TMainForm form({L"/nosplash"});
    EXPECT_TRUE(KeyExists());
    EXPECT_TRUE(ReadAll().empty());
    EXPECT_EQ(form.SlideShowTimer.Interval(), 5000u);
    EXPECT_FALSE(form.SlideShowTimer.Enabled());
    EXPECT_FALSE(form.TestState().StartAtBeginning);
    EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(0, 0, 0));
    EXPECT_EQ(form.PnlPleaseWait.FontColor(), RGB(255, 255, 255));
    EXPECT_EQ(form.ScrollBox1.Color(), RGB(0, 0, 0));
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(SettingsStartup, IntervalTexts)
{
    const struct {
        const wchar_t* stored;
        unsigned interval;
    } cases[] = {
        {L" 7000", 7000}, {L"fast", 5000},  {L"0", 5000},          {L"-250", 5000}, {L"+250", 250},
        {L"$1F4", 500},   {L"0x10", 16},    {L"7000 ", 5000}, {L"2147483648", 5000}, {L"1.5", 5000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.stored));
        WriteText(kInterval, c.stored);
        TMainForm form({L"/nosplash"});
        EXPECT_EQ(form.SlideShowTimer.Interval(), c.interval);
        // Reading never writes: the stored text stays as it was.
        EXPECT_EQ(ReadText(kInterval).value_or(L"<missing>"), c.stored);
    }
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(SettingsStartup, StartAtBeginningTexts)
{
    const struct {
        const wchar_t* stored;
        bool flag;
    } cases[] = {
        {L"1", true},      {L"-1", true},  {L"true", true}, {L"TRUE", true}, {L"2.5e3", true},
        {L"0", false},     {L"0.0", false}, {L"false", false}, {L"FaLsE", false}, {L"yes", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.stored));
        WriteText(kStart, c.stored);
        TMainForm form({L"/nosplash"});
        EXPECT_EQ(form.TestState().StartAtBeginning, c.flag);
    }
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(SettingsStartup, StoredColourIsAppliedAndWrittenBackOnceAsDecimal)
{
    // A colour other than black goes through the same path as a menu
    // choice, so its text comes back in plain decimal.
    WriteText(kColor, L" $FF");
    {
        TMainForm form({L"/nosplash"});
        EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(255, 0, 0));
        EXPECT_EQ(form.ScrollBox1.Color(), RGB(255, 0, 0));
        EXPECT_EQ(form.PnlPleaseWait.FontColor(), RGB(0, 0, 0));
    }
    EXPECT_EQ(ReadText(kColor).value_or(L""), L"255");

    // Black is the colour already shown: nothing is written back.
    WriteText(kColor, L"0x0");
    {
        TMainForm form({L"/nosplash"});
        EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(0, 0, 0));
        EXPECT_EQ(form.PnlPleaseWait.FontColor(), RGB(255, 255, 255));
    }
    EXPECT_EQ(ReadText(kColor).value_or(L""), L"0x0");

    // Text that is no integer is ignored.
    WriteText(kColor, L"white");
    {
        TMainForm form({L"/nosplash"});
        EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(0, 0, 0));
    }
    EXPECT_EQ(ReadText(kColor).value_or(L""), L"white");
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(SettingsStartup, PlainNamesAreNeverRead)
{
    WriteText(L"SlideShowInterval", L"7000");
    WriteText(L"StartAtBeginning", L"-1");
    WriteText(L"BackGroundColor", L"16777215");
    TMainForm form({L"/nosplash"});
    EXPECT_EQ(form.SlideShowTimer.Interval(), 5000u);
    EXPECT_FALSE(form.TestState().StartAtBeginning);
    EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(0, 0, 0));
}

TEST_F(SettingsStartup, AnExpandableTextIsReadUnexpanded)
{
    WriteRaw(kInterval, REG_EXPAND_SZ, L"6000", 5 * sizeof(wchar_t));
    TMainForm form({L"/nosplash"});
    EXPECT_EQ(form.SlideShowTimer.Interval(), 6000u);
    EXPECT_TRUE(NothingShown(failures));
}

TEST_F(SettingsStartup, WrongTypeUnderTheColourNameIsReportedAndEndsCreation)
{
    WriteText(kInterval, L"7000");
    WriteText(kStart, L"-1");
    WriteDword(kColor, 0xFFFFFF);
    TMainForm form({L"/nosplash", SampleImage()});
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], L"Invalid data type for 'QmFja0dyb3VuZENvbG9y'");
    // The settings before it were taken; the command-line image was not opened.
    EXPECT_EQ(form.SlideShowTimer.Interval(), 7000u);
    EXPECT_TRUE(form.TestState().StartAtBeginning);
    EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(0, 0, 0));
    EXPECT_TRUE(form.TestState().FileList.empty());
    EXPECT_TRUE(form.PnlPleaseWait.Visible());
    // The window runs on: its commands still work.
    form.White1->Click();
    EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(255, 255, 255));
}

TEST_F(SettingsStartup, WrongTypeUnderTheIntervalNameStopsTheLaterReads)
{
    WriteDword(kInterval, 7000);
    WriteText(kStart, L"-1");
    WriteText(kColor, L"255");
    TMainForm form({L"/nosplash", SampleImage()});
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], L"Invalid data type for 'U2xpZGVTaG93SW50ZXJ2YWw='");
    EXPECT_EQ(form.SlideShowTimer.Interval(), 5000u);
    EXPECT_FALSE(form.TestState().StartAtBeginning);
    EXPECT_EQ(form.PnlPleaseWait.Color(), RGB(0, 0, 0));
    EXPECT_TRUE(form.TestState().FileList.empty());
}

TEST_F(SettingsStartup, GoodSettingsLetTheCommandLineImageOpen)
{
    WriteText(kColor, L"8421504");
    TMainForm form({L"/nosplash", SampleImage()});
    EXPECT_TRUE(NothingShown(failures));
    EXPECT_FALSE(form.TestState().FileList.empty());
    EXPECT_EQ(form.TestState().CurrentFileName, L"sample-24bit.bmp");
    EXPECT_EQ(form.ScrollBox1.Color(), RGB(128, 128, 128));
}
