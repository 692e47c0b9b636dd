// The test program's own rules, checked by running the program itself: each
// test starts with no stored settings, whatever the one before left, and a
// test that never ends fails by its name once its time limit has passed,
// ending the program with a failure instead of hanging the run. And failed
// checks show windows and rectangles as text (tests/win/Printers.h, which the
// build includes in every test source; this one does not include it).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/win/settings_guard.h"

namespace {

struct ChildRun {
    std::string output;
    DWORD exitCode = STILL_ACTIVE;
};

// This program run again with the arguments and one more environment
// variable; what it printed and its exit code. A run that is still going
// after limitMs is ended (and keeps STILL_ACTIVE).
ChildRun RunThisProgram(const std::wstring& arguments, const wchar_t* name, const wchar_t* value, DWORD limitMs)
{
    ChildRun run;
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(path) + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{sizeof(startup)};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    SetEnvironmentVariableW(name, value);   // the child takes a copy
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    SetEnvironmentVariableW(name, nullptr);
    CloseHandle(writeEnd);
    if (started) {
        const DWORD begin = GetTickCount();
        auto drain = [&] {
            DWORD available = 0, read = 0;
            char buffer[4096];
            while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available &&
                   ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) && read)
                run.output.append(buffer, read);
        };
        while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
            drain();
            if (GetTickCount() - begin > limitMs) {
                TerminateProcess(process.hProcess, STILL_ACTIVE);
                WaitForSingleObject(process.hProcess, INFINITE);
                break;
            }
        }
        drain();
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return run;
}

} // namespace

TEST(Harness, EachTestStartsWithNoStoredSettings)
{
    const ChildRun run = RunThisProgram(L"--gtest_also_run_disabled_tests "
                                   L"--gtest_filter=Harness.DISABLED_LeavesASetting:Harness.DISABLED_FindsNone",
                                   L"PIXAVO_TEST_TIME_LIMIT", L"60", 90000);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ] 2 tests."), std::string::npos) << run.output;
}

TEST(Harness, AHungTestFailsByNameWithinItsTimeLimit)
{
    const DWORD begin = GetTickCount();
    const ChildRun run = RunThisProgram(L"--gtest_also_run_disabled_tests --gtest_filter=Harness.DISABLED_NeverEnds",
                                   L"PIXAVO_TEST_TIME_LIMIT", L"2", 90000);
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("[  FAILED  ] Harness.DISABLED_NeverEnds (time limit of 2 s)"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("[  FAILED  ] 1 tests, listed below:"), std::string::npos) << run.output;
    EXPECT_GE(GetTickCount() - begin, 2000u);
}

TEST(Harness, FailedChecksShowWindowsAndRectanglesAsText)
{
    EXPECT_EQ(testing::PrintToString(HWND(nullptr)), "no window (null)");
    const std::string desktop = testing::PrintToString(GetDesktopWindow());
    EXPECT_TRUE(desktop.starts_with("window 0x") && desktop.ends_with(" of class \"#32769\" titled \"\"")) << desktop;
    EXPECT_EQ(testing::PrintToString(RECT{1, 2, 30, 40}), "(1, 2)-(30, 40)");
    EXPECT_EQ(testing::PrintToString(POINT{5, 6}), "(5, 6)");
}

// Not tests of their own: the runs above start them in a program of their
// own.
TEST(Harness, DISABLED_LeavesASetting)
{
    settings_test::WriteText(L"U2xpZGVTaG93SW50ZXJ2YWw=", L"7000");   // as an interrupted run would
    EXPECT_TRUE(settings_test::KeyExists());
}

TEST(Harness, DISABLED_FindsNone) { EXPECT_FALSE(settings_test::KeyExists()); }

TEST(Harness, DISABLED_NeverEnds)
{
    for (;;)
        Sleep(100);
}
