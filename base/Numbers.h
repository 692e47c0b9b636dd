// Number rules shared by the whole program: rounding and reading typed or
// stored numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Nearest integer, halves to the even neighbour; values beyond the range of
// int64_t are clamped to it and NaN gives 0. The long double form keeps the
// extended precision of sizes computed from other sizes.
int64_t RoundHalfEven(long double value);
inline int64_t RoundHalfEven(double value) { return RoundHalfEven(static_cast<long double>(value)); }

// A typed number (zoom percentage, sizes, minutes and seconds): blanks
// removed at both ends, the rest read as a signed decimal integer; text that
// is no integer counts as 0.
int64_t ParseTypedNumber(std::wstring_view text);

// The slide-show pause typed as minutes and seconds, in milliseconds:
// minutes × 60000 + seconds × 1000, each text read as a typed number; a
// total beyond the 64-bit range is held at its end instead of wrapping.
int64_t TypedIntervalMilliseconds(std::wstring_view minutes, std::wstring_view seconds);

// A stored integer setting: optional leading blanks, optional sign, decimal
// digits, or hexadecimal after "$", "x" or "0x"; signed 32-bit range.
std::optional<int32_t> ParseSettingInteger(std::wstring_view text);

// A stored boolean setting: a number (sign, fraction, exponent) is true when
// not zero; otherwise True/False in any letter case.
std::optional<bool> ParseSettingBoolean(std::wstring_view text);
