// Entry of the Windows test program (console, Unicode).
//
// Every test starts from the settings of a first run: none stored, whatever
// an earlier run (perhaps one that was interrupted) left in the registry.
// And every test has a time limit: one still running after
// PIXAVO_TEST_TIME_LIMIT seconds (300 by default) is reported as failed, by
// its name and with the windows that were open, and the program ends at once
// with a failure instead of hanging the run.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/Failure.h"
#include "tests/win/settings_guard.h"

namespace {

// The probes that the end-to-end checks run beside the real program
// (E2EProbe, PrintProbe) read its state and leave its settings alone.
bool IsProbe(const testing::TestInfo& test) { return std::string_view(test.test_suite_name()).ends_with("Probe"); }

class FirstRunSettings final : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& test) override
    {
        if (!IsProbe(test))
            settings_test::DeleteKey();
    }
};

// The visible top-level windows of this process, as "title" (class).
std::string OpenWindows()
{
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM list) noexcept -> BOOL {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            try {
                if (process == GetCurrentProcessId() && IsWindowVisible(window))
                    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
                return TRUE;
            } catch (...) {
                return FALSE;   // out of memory: the windows found so far
            }
        },
        reinterpret_cast<LPARAM>(&windows));
    std::string text;
    for (HWND window : windows) {
        // Neither call sends the window a message: its thread may be the hung one.
        wchar_t title[256] = {}, kind[128] = {};
        InternalGetWindowText(window, title, 256);
        GetClassNameW(window, kind, 128);
        text += (text.empty() ? "\"" : ", \"") + Narrow(title) + "\" (" + Narrow(kind) + ")";
    }
    return text.empty() ? "none" : text;
}

// Watches the running test from a thread of its own. It lives as long as the
// process (its thread is never joined), so it is made once and never deleted.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) : limit_(limit) { std::thread([this] { Run(); }).detach(); }

    void Started(std::string name)
    {
        std::lock_guard lock(mutex_);
        current_ = std::move(name);
        ++started_;
        changed_.notify_all();
    }
    void Ended(const testing::TestResult& result)
    {
        std::lock_guard lock(mutex_);
        if (result.Failed())
            failed_.push_back(current_);
        else if (!result.Skipped())
            ++passed_;
        current_.clear();
        changed_.notify_all();
    }

private:
    void Run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return !current_.empty(); });
            const unsigned long long test = started_;
            if (!changed_.wait_for(lock, limit_, [&] { return started_ != test || current_.empty(); }))
                EndRun();
        }
    }
    // In GoogleTest's words, so that whatever reads its summary counts the
    // hung test as failed.
    [[noreturn]] void EndRun()
    {
        const long long seconds = limit_.count();
        failed_.push_back(current_);
        std::printf("[  TIMEOUT ] %s did not end within %lld s; open windows: %s\n", current_.c_str(), seconds,
                    OpenWindows().c_str());
        std::printf("[  FAILED  ] %s (time limit of %lld s)\n", current_.c_str(), seconds);
        std::printf("[==========] %llu tests ran; the time limit ended the program.\n", started_);
        std::printf("[  PASSED  ] %d tests.\n", passed_);
        std::printf("[  FAILED  ] %zu tests, listed below:\n", failed_.size());
        for (const std::string& name : failed_)
            std::printf("[  FAILED  ] %s\n", name.c_str());
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 1);
        for (;;)
            Sleep(INFINITE);
    }

    const std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string current_;
    unsigned long long started_ = 0;
    int passed_ = 0;
    std::vector<std::string> failed_;
};

class TimeLimit final : public testing::EmptyTestEventListener {
public:
    explicit TimeLimit(std::chrono::seconds limit) : watchdog_(*new Watchdog(limit)) {}

private:
    void OnTestStart(const testing::TestInfo& test) override
    {
        watchdog_.Started(std::string(test.test_suite_name()) + "." + test.name());
    }
    void OnTestEnd(const testing::TestInfo& test) override { watchdog_.Ended(*test.result()); }

    Watchdog& watchdog_;
};

std::chrono::seconds TestTimeLimit()
{
    wchar_t text[32] = {};
    const DWORD length = GetEnvironmentVariableW(L"PIXAVO_TEST_TIME_LIMIT", text, 32);
    const long seconds = length > 0 && length < 32 ? std::wcstol(text, nullptr, 10) : 0;
    return std::chrono::seconds(seconds > 0 ? seconds : 300);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(Narrow(argv[i]));
    std::vector<char*> pointers;
    for (auto& a : args)
        pointers.push_back(a.data());
    int count = argc;
    testing::InitGoogleTest(&count, pointers.data());
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    listeners.Append(new FirstRunSettings);
    listeners.Append(new TimeLimit(TestTimeLimit()));
    return RUN_ALL_TESTS();
}
