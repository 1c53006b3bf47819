// A stand-in for the programs the installer and the library start (proxy
// tool, browser, web page handler): appends "<its own path>|<its command line>" to the file named by
// VERILOOM_RECORD_FILE and ends.

#include "record_line.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    AppendRecordLine(GetCommandLineA());
    return 0;
}
