// The installer's options: one record, filled from the command line once
// and passed down to every step. Portable: no Windows header.
#pragma once

#include <cstddef>

struct InstallOptions {
    bool quiet;        // "/quiet": no dialog, no message box, no test-page question
    bool uninstall;    // the mode; from "/uninstall", or decided by detection when not quiet
    int userScope;     // 0 all users ("/allusers", the default), 1 this user ("/thisuser")
    bool noCrl;        // "-nocrl" anywhere in the argument tail, as always
    bool useProxy;     // "/proxy", or the dialog's check box
    bool checkUpdate;  // always false
    bool showUsage;    // "/?"
    char logFile[1024];  // "/log FILE"; empty without
};

enum OptionsResult {
    kOptionsOk,
    kOptionsUnknownWord,    // a word that is no option (ignored when not quiet)
    kOptionsContradictory,  // "/allusers" with "/thisuser", "/log" without a file
};

// Options are case-insensitive and begin with '/' or '-'; a word in double
// quotes may hold blanks. The one exception, in every mode, is "-nocrl":
// the exact text, lower case with its hyphen, anywhere in the tail, also
// inside a longer word (so "/nocrl" or "-NOCRL" is no option). The word
// after "/log" is the file: it may not begin with '/' or '-' nor exceed
// 1023 characters.
OptionsResult ParseInstallOptions(const char *tail, InstallOptions *options);
