#include "base/Failure.h"

#include <new>

Failure::Failure(std::wstring message) : message_(std::move(message)), utf8_(Narrow(message_)) {}

std::wstring CaughtFailureText()
{
    try {
        throw;
    } catch (const SilentAbort&) {
        throw;
    } catch (const Failure& failure) {
        return failure.Message();
    } catch (const std::bad_alloc&) {
        return L"Out of memory";
    } catch (const std::exception& e) {
        return Widen(e.what());
    } catch (...) {
        return L"Unknown failure";
    }
}
