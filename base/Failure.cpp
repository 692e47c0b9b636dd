#include "base/Failure.h"

Failure::Failure(std::wstring message) : message_(std::move(message)), utf8_(Narrow(message_)) {}
