// The one main of the Windows test programs (see test_main.h).

#include "tests/windows/support/test_main.h"
#include "tests/windows/support/windows_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace {

std::map<std::string, ChildMode::Function> &ChildModes()
{
    static std::map<std::string, ChildMode::Function> modes;
    return modes;
}

// A crash ends the program at once with a note, instead of leaving it to
// Wine's debugger, whose crash dialog would wait for an answer.
LONG WINAPI EndOnCrash(EXCEPTION_POINTERS *exception)
{
    fprintf(stderr, "unhandled exception %08lx at %p\n", exception->ExceptionRecord->ExceptionCode,
            exception->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

ChildMode::ChildMode(const char *name, Function function)
{
    ChildModes()[name] = function;
}

int main(int argc, char **argv)
{
    SetUnhandledExceptionFilter(EndOnCrash);
    UseUnmanagedWindows();
    const std::string programFiles = Environment("VERILOOM_PROGRAM_FILES");
    if (!programFiles.empty())
        SetEnvironmentVariableA("ProgramFiles", programFiles.c_str());
    for (int i = 1; i < argc; i++) {
        const std::string argument = argv[i];
        if (argument.compare(0, 8, "--child=") != 0)
            continue;
        const size_t colon = argument.find(':', 8);
        const auto mode = ChildModes().find(argument.substr(8, colon == std::string::npos ? colon : colon - 8));
        const int code = mode == ChildModes().end()
                             ? 2
                             : mode->second(colon == std::string::npos ? "" : argument.substr(colon + 1));
        fflush(stdout);
        return code;
    }
    ::testing::InitGoogleTest(&argc, argv);
    std::string &filter = ::testing::GTEST_FLAG(filter);
    if (UserIsGerman() && filter == "*")
        filter = "InGerman*.*";
    else if (!UserIsGerman())
        filter += std::string(filter.find('-') == std::string::npos ? "-" : ":") + "InGerman*.*";
    return RUN_ALL_TESTS();
}
