#include "rules/SizeFields.h"

#include <limits>

#include "base/Numbers.h"

uint32_t SizeFieldNumber(std::wstring_view text)
{
    const int64_t value = ParseTypedNumber(text);
    if (value < int64_t(std::numeric_limits<int32_t>::min()) || value > int64_t(std::numeric_limits<uint32_t>::max()))
        return 0;
    return static_cast<uint32_t>(value);
}

int64_t ScaledRound(long double a, long double b, long double c)
{
    if (b == 0.0L)
        return 0;
    return RoundHalfEven(a / b * c);
}

int64_t FieldPercent(uint32_t number, SizeUnit unit, int side)
{
    return unit == SizeUnit::Percent ? int64_t(number) : ScaledRound(number, side, 100);
}

int64_t FieldPixels(uint32_t number, SizeUnit unit, int side)
{
    return unit == SizeUnit::Percent ? ScaledRound(number, 100, side) : int64_t(number);
}

std::wstring CoupledFieldText(std::wstring_view fromText, SizeUnit fromUnit, int fromSide, SizeUnit toUnit,
                              int toSide)
{
    const uint32_t number = SizeFieldNumber(fromText);
    if (toUnit == SizeUnit::Pixels)
        return std::to_wstring(fromUnit == SizeUnit::Pixels ? ScaledRound(number, fromSide, toSide)
                                                            : ScaledRound(number, 100, toSide));
    if (fromUnit == SizeUnit::Percent)
        return std::wstring(fromText);
    return std::to_wstring(FieldPercent(number, fromUnit, fromSide));
}

std::wstring ConvertedFieldText(uint32_t number, SizeUnit newUnit, int side)
{
    return std::to_wstring(newUnit == SizeUnit::Percent ? ScaledRound(number, side, 100)
                                                        : ScaledRound(number, 100, side));
}

bool SizeFieldAccepts(wchar_t c)
{
    return c == 8 || c == 9 || c == 12 || c == 13 || c == 27 || c == L'.' || (c >= L'0' && c <= L'9');
}

bool FieldsKeepImageSize(int64_t widthPercent, int64_t heightPercent, int64_t widthPixels, int64_t heightPixels,
                         int imageWidth, int imageHeight)
{
    return widthPercent == 100 && heightPercent == 100 && widthPixels == imageWidth && heightPixels == imageHeight;
}
