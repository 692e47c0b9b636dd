// Failures travel as exceptions that carry the text shown to the user.
#pragma once

#include <exception>
#include <string>
#include <string_view>

class Failure : public std::exception {
public:
    explicit Failure(std::wstring message);
    const std::wstring& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    std::wstring message_;
    std::string utf8_;
};

// A picture could not be brought to another kind ("Cannot assign a %s to a %s").
class ConversionError : public Failure {
public:
    using Failure::Failure;
};

// A failure that ends a command without any report to the user.
class SilentAbort : public Failure {
public:
    SilentAbort() : Failure(L"Operation aborted") {}
};

// Text helpers shared by the messages.
std::wstring Widen(std::string_view text);     // UTF-8 to wide
std::string Narrow(std::wstring_view text);    // wide to UTF-8
// ASCII letters A to Z lower-cased, every other character kept.
std::wstring LowerAscii(std::wstring_view text);
// Replaces each "%s" of pattern, in order, by the given arguments.
std::wstring FormatMessageText(std::wstring_view pattern, std::initializer_list<std::wstring_view> args);
