// Text helpers shared by the whole program: UTF-8 and UTF-16, ASCII case,
// and the "%s" patterns of its messages.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

std::wstring Widen(std::string_view text);     // UTF-8 to wide
std::string Narrow(std::wstring_view text);    // wide to UTF-8
// ASCII letters A to Z lower-cased, every other character kept.
std::wstring LowerAscii(std::wstring_view text);
// Replaces each "%s" of pattern, in order, by the given arguments.
std::wstring FormatMessageText(std::wstring_view pattern, std::initializer_list<std::wstring_view> args);
