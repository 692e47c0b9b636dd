#include "base/Numbers.h"

#include <cmath>
#include <limits>
#include <string>

#include "base/Failure.h"

namespace {

bool IsBlank(wchar_t c) { return c <= L' '; }

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

int HexDigitValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

} // namespace

int64_t RoundHalfEven(long double value)
{
    if (std::isnan(value)) return 0;
    // Beyond 2^63 every value is integral; clamp what int64 cannot hold.
    constexpr long double limit = 9223372036854775808.0L; // 2^63
    if (value >= limit) return std::numeric_limits<int64_t>::max();
    if (value < -limit) return std::numeric_limits<int64_t>::min();
    long double whole = std::floor(value);
    long double rest = value - whole; // exact, 0 <= rest < 1
    if (rest > 0.5L || (rest == 0.5L && std::fmod(whole, 2.0L) != 0.0L)) whole += 1.0L;
    if (whole >= limit) return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(whole);
}

int64_t ParseTypedNumber(std::wstring_view text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    std::wstring_view s = text.substr(begin, end - begin);

    bool negative = false;
    size_t i = 0;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) negative = s[i++] == L'-';
    if (i == s.size()) return 0;

    // Accumulate as a negative number so that the most negative value fits.
    int64_t acc = 0;
    constexpr int64_t min = std::numeric_limits<int64_t>::min();
    for (; i < s.size(); ++i) {
        if (!IsDigit(s[i])) return 0;
        int digit = s[i] - L'0';
        if (acc < (min + digit) / 10) return 0;
        acc = acc * 10 - digit;
    }
    if (negative) return acc;
    if (acc == min) return 0;
    return -acc;
}

int64_t TypedIntervalMilliseconds(std::wstring_view minutes, std::wstring_view seconds)
{
    // Exact in 128 bits (both compilers of the project have them), then held
    // within the 64-bit range.
    const __int128 total = __int128(ParseTypedNumber(minutes)) * 60000 + __int128(ParseTypedNumber(seconds)) * 1000;
    constexpr int64_t max = std::numeric_limits<int64_t>::max(), min = std::numeric_limits<int64_t>::min();
    return total > max ? max : total < min ? min : int64_t(total);
}

std::optional<int32_t> ParseSettingInteger(std::wstring_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;

    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';

    int base = 10;
    if (i < text.size() && (text[i] == L'$' || text[i] == L'x' || text[i] == L'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) return std::nullopt;

    // Magnitude limit: 2^31 for negative numbers, 2^31 - 1 otherwise.
    const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
    int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        int digit = base == 16 ? HexDigitValue(text[i]) : (IsDigit(text[i]) ? text[i] - L'0' : -1);
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit) return std::nullopt;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

std::optional<bool> ParseSettingBoolean(std::wstring_view text)
{
    // A decimal number: blanks, sign, digits with an optional fraction, optional exponent, blanks.
    size_t i = 0, n = text.size();
    while (i < n && text[i] == L' ') ++i;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) ++i;
    size_t digits = 0;
    bool nonZero = false;
    while (i < n && IsDigit(text[i])) { nonZero |= text[i] != L'0'; ++digits; ++i; }
    if (i < n && text[i] == L'.') {
        ++i;
        while (i < n && IsDigit(text[i])) { nonZero |= text[i] != L'0'; ++digits; ++i; }
    }
    bool number = digits > 0;
    if (number && i < n && (text[i] == L'e' || text[i] == L'E')) {
        ++i;
        if (i < n && (text[i] == L'+' || text[i] == L'-')) ++i;
        size_t expDigits = 0;
        while (i < n && IsDigit(text[i])) { ++expDigits; ++i; }
        number = expDigits > 0;
    }
    while (i < n && text[i] == L' ') ++i;
    if (number && i == n) return nonZero;

    const std::wstring word = LowerAscii(text);
    if (word == L"true") return true;
    if (word == L"false") return false;
    return std::nullopt;
}
