// The one main of the Windows test programs (test_main.cpp). It ends the
// program at once on a crash (Wine's crash dialog would wait for ever),
// marks its windows unmanaged, takes "ProgramFiles" from
// VERILOOM_PROGRAM_FILES when set (Wine gives every new process the
// registry's), and then either runs a child mode (started with
// --child=NAME or --child=NAME:ARGUMENT) or the tests. In a German locale
// (ctest sets LC_ALL=de_AT.UTF-8 for the *_german_tests runs) only the
// suites whose names begin with "InGerman" run; otherwise all others.
#pragma once

#include <string>

// Registers a child mode of this program, for RunChild:
//   const ChildMode kHold("hold", HoldFile);
struct ChildMode {
    typedef int (*Function)(const std::string &argument);
    ChildMode(const char *name, Function function);
};
