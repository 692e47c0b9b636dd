#include <gtest/gtest.h>

#include <string>

#include "base/Failure.h"
#include "rules/SizeFields.h"

namespace {
constexpr SizeUnit Px = SizeUnit::Pixels, Pc = SizeUnit::Percent;
} // namespace

TEST(SizeFields, NumbersAreWholeDecimalsTakenAsUnsigned32Bit)
{
    const std::pair<const wchar_t*, uint32_t> cases[] = {
        {L"320", 320}, {L"  050 ", 50}, {L"", 0}, {L".", 0}, {L"12.5", 0}, {L"1e3", 0},
        {L"-1", 4294967295u}, {L"4294967295", 4294967295u}, {L"4294967296", 0},
        {L"-2147483648", 2147483648u}, {L"-2147483649", 0},
    };
    for (auto [text, number] : cases)
        EXPECT_EQ(SizeFieldNumber(text), number) << Narrow(text);
}

TEST(SizeFields, TheOtherFieldFollowsByBothUnits)
{
    struct Case {
        const wchar_t* from;
        SizeUnit fromUnit;
        int fromSide;
        SizeUnit toUnit;
        int toSide;
        const wchar_t* to;
    };
    const Case cases[] = {
        {L"320", Px, 640, Px, 480, L"240"},
        {L"100", Px, 480, Px, 640, L"133"},           // 133.33
        {L"1", Px, 2, Px, 5, L"2"},                   // 2.5: to the even neighbour
        {L"3", Px, 2, Px, 5, L"8"},                   // 7.5
        {L"50", Pc, 640, Px, 480, L"240"},
        {L"50", Pc, 5, Px, 5, L"2"},                  // 2.5
        {L"50", Pc, 7, Px, 7, L"4"},                  // 3.5
        {L"050", Pc, 640, Pc, 480, L"050"},           // copied as it is
        {L" 7.5", Pc, 640, Pc, 480, L" 7.5"},
        {L"320", Px, 640, Pc, 480, L"50"},
        {L"3", Px, 8, Pc, 480, L"38"},                // 37.5
        {L"5", Px, 8, Pc, 480, L"62"},                // 62.5
        {L"7.5", Px, 640, Px, 480, L"0"},
        {L"320", Px, 0, Px, 480, L"0"},               // no image side
    };
    for (const Case& c : cases)
        EXPECT_EQ(CoupledFieldText(c.from, c.fromUnit, c.fromSide, c.toUnit, c.toSide), c.to)
            << Narrow(c.from) << " over " << c.fromSide;
}

TEST(SizeFields, UnitSwitchesAndReadOuts)
{
    EXPECT_EQ(ConvertedFieldText(640, Pc, 640), L"100");
    EXPECT_EQ(ConvertedFieldText(100, Px, 480), L"480");
    EXPECT_EQ(ConvertedFieldText(1, Pc, 8), L"12");    // 12.5
    EXPECT_EQ(ConvertedFieldText(50, Px, 5), L"2");
    EXPECT_EQ(FieldPixels(4294967295u, Pc, 65536), 2814749766451);   // .2
    EXPECT_EQ(FieldPercent(4294967295u, Px, 1), 429496729500);
    EXPECT_EQ(FieldPercent(7, Pc, 0), 7);
    EXPECT_EQ(FieldPercent(7, Px, 0), 0);
    // Unchanged only when both readings give the image's own size.
    EXPECT_TRUE(FieldsKeepImageSize(100, 100, 640, 480, 640, 480));
    EXPECT_FALSE(FieldsKeepImageSize(100, 100, 642, 480, 640, 480));
    EXPECT_FALSE(FieldsKeepImageSize(99, 100, 640, 480, 640, 480));
    for (wchar_t c = 0; c < 128; ++c) {
        const bool digit = c >= L'0' && c <= L'9';
        EXPECT_EQ(SizeFieldAccepts(c), digit || c == L'.' || c == 8 || c == 9 || c == 12 || c == 13 || c == 27)
            << int(c);
    }
}
