// Entry of the provider tests: runs GoogleTest, or, started with
// --child=MODE, one of the child programs the tests start.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

int RunChildMode(const std::string &mode);

namespace {

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

int main(int argc, char **argv)
{
    SetUnhandledExceptionFilter(EndOnCrash);
    const std::string mode = ChildMode(argc, argv);
    if (!mode.empty())
        return RunChildMode(mode);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
