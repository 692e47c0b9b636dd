#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/Failure.h"
#include "base/Numbers.h"
#include "system/SettingsNames.h"

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(-3.5), -4);
}

TEST(RoundHalfEven, NonHalvesGoToTheNearest)
{
    EXPECT_EQ(RoundHalfEven(0.49999999999999994), 0);
    EXPECT_EQ(RoundHalfEven(2.5000000001), 3);
    EXPECT_EQ(RoundHalfEven(2.4999999999), 2);
    EXPECT_EQ(RoundHalfEven(-2.5000000001), -3);
    EXPECT_EQ(RoundHalfEven(-0.2), 0);
    EXPECT_EQ(RoundHalfEven(-7.0), -7);
    EXPECT_EQ(RoundHalfEven(133.33333), 133);
}

TEST(RoundHalfEven, LargeAndSpecialValues)
{
    EXPECT_EQ(RoundHalfEven(4503599627370495.5), 4503599627370496);  // 2^52 - 0.5: a half
    EXPECT_EQ(RoundHalfEven(9007199254740993.0), 9007199254740992);        // beyond 2^53: integral already
    EXPECT_EQ(RoundHalfEven(-1e15 - 0.5), -1000000000000000);
    EXPECT_EQ(RoundHalfEven(-1e15 - 1.5), -1000000000000002);
    EXPECT_EQ(RoundHalfEven(1e300), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(RoundHalfEven(-1e300), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(RoundHalfEven(std::nan("")), 0);
    // Extended precision: just above a half, which a double cannot hold.
    EXPECT_EQ(RoundHalfEven(0.5L + 0x1p-60L), 1);
    EXPECT_EQ(RoundHalfEven(2.5L - 0x1p-60L), 2);
    EXPECT_EQ(RoundHalfEven(-0.5L - 0x1p-60L), -1);
}

TEST(ParseTypedNumber, DecimalWithBlanksTrimmed)
{
    EXPECT_EQ(ParseTypedNumber(L"150"), 150);
    EXPECT_EQ(ParseTypedNumber(L" 150 "), 150);
    EXPECT_EQ(ParseTypedNumber(L"\t 42\r\n"), 42);
    EXPECT_EQ(ParseTypedNumber(L"-25"), -25);
    EXPECT_EQ(ParseTypedNumber(L"+25"), 25);
    EXPECT_EQ(ParseTypedNumber(L"007"), 7);
    EXPECT_EQ(ParseTypedNumber(L"9223372036854775807"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(ParseTypedNumber(L"-9223372036854775808"), std::numeric_limits<int64_t>::min());
}

TEST(ParseTypedNumber, AnythingElseIsZero)
{
    for (const wchar_t* text : {L"", L"   ", L"-", L"+", L"15%", L"15%0", L"1 5", L"1.5", L"abc", L"0x10",
                                L"$10", L"--1", L"9223372036854775808", L"-9223372036854775809",
                                L"99999999999999999999999"})
        EXPECT_EQ(ParseTypedNumber(text), 0) << Narrow(text);
}

TEST(TypedIntervalMilliseconds, MinutesAndSecondsAsTyped)
{
    const struct {
        const wchar_t *minutes, *seconds;
        int64_t expected;
    } cases[] = {
        {L"0", L"3", 3000},
        {L"1", L"1", 61000},
        {L" 2 ", L"30", 150000},
        {L"x", L"7", 7000},                 // no number: 0 minutes
        {L"0", L"0", 0},
        {L"-1", L"30", -30000},             // below 0, not wrapped round
        {L"", L"", 0},
        {L"10", L"45", 645000},
        {L"1.5", L"90", 90000},
        {L"35791", L"23", 2147483000},
        {L"35791", L"24", 2147484000},      // past the signed 32-bit range
        {L"71582", L"48", 4294968000},      // past the unsigned one, not wrapped to 704
        {L"9223372036854775807", L"9223372036854775807", std::numeric_limits<int64_t>::max()},
        {L"-9223372036854775808", L"0", std::numeric_limits<int64_t>::min()},
        {L"153722867280912", L"-1000", 9223372036853720000},   // exact near the top
    };
    for (const auto& c : cases)
        EXPECT_EQ(TypedIntervalMilliseconds(c.minutes, c.seconds), c.expected)
            << Narrow(c.minutes) << " / " << Narrow(c.seconds);
}

TEST(ParseSettingInteger, DecimalForms)
{
    EXPECT_EQ(ParseSettingInteger(L"7000"), 7000);
    EXPECT_EQ(ParseSettingInteger(L" 7000"), 7000);
    EXPECT_EQ(ParseSettingInteger(L"   -12"), -12);
    EXPECT_EQ(ParseSettingInteger(L"+12"), 12);
    EXPECT_EQ(ParseSettingInteger(L"0"), 0);
    EXPECT_EQ(ParseSettingInteger(L"16777215"), 16777215);
    EXPECT_EQ(ParseSettingInteger(L"2147483647"), 2147483647);
    EXPECT_EQ(ParseSettingInteger(L"-2147483648"), std::numeric_limits<int32_t>::min());
}

TEST(ParseSettingInteger, HexadecimalPrefixes)
{
    EXPECT_EQ(ParseSettingInteger(L"$FF"), 255);
    EXPECT_EQ(ParseSettingInteger(L"xff"), 255);
    EXPECT_EQ(ParseSettingInteger(L"Xff"), 255);
    EXPECT_EQ(ParseSettingInteger(L"0x808080"), 8421504);
    EXPECT_EQ(ParseSettingInteger(L"0XFFFFFF"), 16777215);
    EXPECT_EQ(ParseSettingInteger(L" -$10"), -16);
    EXPECT_EQ(ParseSettingInteger(L"$7FFFFFFF"), 2147483647);
    EXPECT_EQ(ParseSettingInteger(L"-$80000000"), std::numeric_limits<int32_t>::min());
}

TEST(ParseSettingInteger, Failures)
{
    for (const wchar_t* text : {L"", L" ", L"fast", L"-", L"+", L"$", L"0x", L"x", L"7000 ", L"70a0", L"1.0",
                                L"15%0", L"ff", L"$FG", L"--5", L"- 5", L"2147483648", L"-2147483649",
                                L"$80000000", L"99999999999999999999", L"0x0x1"})
        EXPECT_FALSE(ParseSettingInteger(text).has_value()) << Narrow(text);
}

TEST(ParseSettingBoolean, NumbersAreTrueWhenNotZero)
{
    EXPECT_EQ(ParseSettingBoolean(L"1"), true);
    EXPECT_EQ(ParseSettingBoolean(L"-1"), true);
    EXPECT_EQ(ParseSettingBoolean(L"0"), false);
    EXPECT_EQ(ParseSettingBoolean(L"0.0"), false);
    EXPECT_EQ(ParseSettingBoolean(L"-0"), false);
    EXPECT_EQ(ParseSettingBoolean(L".5"), true);
    EXPECT_EQ(ParseSettingBoolean(L"2."), true);
    EXPECT_EQ(ParseSettingBoolean(L"0e10"), false);
    EXPECT_EQ(ParseSettingBoolean(L"1.5E-3"), true);
    EXPECT_EQ(ParseSettingBoolean(L"+3e+2"), true);
    EXPECT_EQ(ParseSettingBoolean(L" 0 "), false);
}

TEST(ParseSettingBoolean, WordsInAnyCase)
{
    EXPECT_EQ(ParseSettingBoolean(L"true"), true);
    EXPECT_EQ(ParseSettingBoolean(L"TRUE"), true);
    EXPECT_EQ(ParseSettingBoolean(L"True"), true);
    EXPECT_EQ(ParseSettingBoolean(L"false"), false);
    EXPECT_EQ(ParseSettingBoolean(L"FaLsE"), false);
}

TEST(ParseSettingBoolean, Failures)
{
    for (const wchar_t* text : {L"", L"yes", L"no", L"truee", L"tru", L".", L"-", L"1e", L"1e+", L"e5", L"1x",
                                L"0x1", L"$1", L"1.2.3", L"1 2"})
        EXPECT_FALSE(ParseSettingBoolean(text).has_value()) << Narrow(text);
}

TEST(EncodeSettingName, StoredNamesOfTheThreeSettings)
{
    EXPECT_EQ(EncodeSettingName(kSlideShowIntervalSetting), L"U2xpZGVTaG93SW50ZXJ2YWw=");
    EXPECT_EQ(EncodeSettingName(kStartAtBeginningSetting), L"U3RhcnRBdEJlZ2lubmluZw==");
    EXPECT_EQ(EncodeSettingName(kBackGroundColorSetting), L"QmFja0dyb3VuZENvbG9y");
}

TEST(EncodeSettingName, Rfc4648Vectors)
{
    EXPECT_EQ(EncodeSettingName(L""), L"");
    EXPECT_EQ(EncodeSettingName(L"f"), L"Zg==");
    EXPECT_EQ(EncodeSettingName(L"fo"), L"Zm8=");
    EXPECT_EQ(EncodeSettingName(L"foo"), L"Zm9v");
    EXPECT_EQ(EncodeSettingName(L"foob"), L"Zm9vYg==");
    EXPECT_EQ(EncodeSettingName(L"fooba"), L"Zm9vYmE=");
    EXPECT_EQ(EncodeSettingName(L"foobar"), L"Zm9vYmFy");
    // The last two letters of the alphabet.
    EXPECT_EQ(EncodeSettingName(L"~~~"), L"fn5+");
    EXPECT_EQ(EncodeSettingName(L"???"), L"Pz8/");
}
