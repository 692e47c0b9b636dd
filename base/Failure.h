// Failures travel as exceptions that carry the text shown to the user.
#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "base/Text.h"

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

// The text a caught failure is reported with (call from inside a catch
// block): a failure's message, "Out of memory", a standard exception's own
// text; a silent abort is thrown on.
std::wstring CaughtFailureText();

// A failure that ends a command without any report to the user.
class SilentAbort : public Failure {
public:
    SilentAbort() : Failure(L"Operation aborted") {}
};
