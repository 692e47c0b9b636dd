// The arithmetic of the image tools window's two size fields, without any
// window: what a field's text means in pixels or in percent of the image's
// side, what the other field becomes while proportions are constrained, and
// which characters may be typed. Sizes computed from other sizes are worked
// out in long double and rounded to the nearest integer, halves to the even
// neighbour.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

enum class SizeUnit { Pixels, Percent };

// A field's number: blanks removed at both ends, the rest read as a decimal
// whole number and taken as an unsigned 32-bit value (a negative one wraps
// around); empty text, a fraction such as "12.5", anything else and numbers
// outside -2147483648 to 4294967295 count as 0.
uint32_t SizeFieldNumber(std::wstring_view text);

// Round(a / b × c); 0 when b is 0 (no image side to scale by).
int64_t ScaledRound(long double a, long double b, long double c);

// A field of the given unit as a percentage of the image's side, and as a
// number of pixels (side: the image's width or height in pixels).
int64_t FieldPercent(uint32_t number, SizeUnit unit, int side);
int64_t FieldPixels(uint32_t number, SizeUnit unit, int side);

// The text of the other field when this one changed and proportions are
// constrained: from a field of fromUnit over an image side fromSide to a
// field of toUnit over toSide. Between two percentages the text is copied
// as it is.
std::wstring CoupledFieldText(std::wstring_view fromText, SizeUnit fromUnit, int fromSide, SizeUnit toUnit,
                              int toSide);

// The text of a field whose unit was switched to newUnit (number: the
// field's number in the old unit).
std::wstring ConvertedFieldText(uint32_t number, SizeUnit newUnit, int side);

// Whether a typed character may enter a size field: Backspace, Tab,
// character 12, Enter, Escape, "." and the digits.
bool SizeFieldAccepts(wchar_t character);

// Whether the two fields describe the image's own size, as a percentage
// (100 % both ways) and in pixels: then resizing or reverting has nothing
// to do.
bool FieldsKeepImageSize(int64_t widthPercent, int64_t heightPercent, int64_t widthPixels, int64_t heightPixels,
                         int imageWidth, int imageHeight);
