#include <gtest/gtest.h>

#include "base/Failure.h"

TEST(FailureText, RoundTripsNonAsciiMessages)
{
    std::wstring text = L"Cannot open file C:\\Bilder\\Strand \u00e4\u00f6\u00fc \u65e5\u672c.jpg";
    Failure f(text);
    EXPECT_EQ(f.Message(), text);
    EXPECT_EQ(Widen(f.what()), text);
}

TEST(FailureText, FormatFillsPlaceholdersInOrder)
{
    EXPECT_EQ(FormatMessageText(L"Cannot assign a %s to a %s", {L"TIcon", L"TBitmap"}),
              L"Cannot assign a TIcon to a TBitmap");
    EXPECT_EQ(FormatMessageText(L"100%s", {}), L"100%s");
}
