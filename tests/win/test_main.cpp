// Entry of the Windows test program (console, Unicode).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/Failure.h"

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
    return RUN_ALL_TESTS();
}
