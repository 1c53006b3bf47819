// The recorder of the library's events, message boxes and dialogs (see
// RecordLibraryCalls in provider_test_support.h). Wine would print the
// events with WINEDEBUG=warn+eventlog, but only on the Unix stderr a process
// inherited; redirecting the library's imports works in every process.

#include "import_redirect.h"
#include "provider_test_support.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex callsLock;
std::vector<std::string> calls;
std::string eventSource;
bool keepCalls = true;
bool echoCalls = false;
bool passBoxesOn = true;
bool allEventStrings = false;

void RecordCall(const std::string &line)
{
    std::lock_guard<std::mutex> hold(callsLock);
    if (!keepCalls)
        return;
    calls.push_back(line);
    if (echoCalls) {
        printf("%s\n", line.c_str());
        fflush(stdout);
    }
}

std::string AnsiToUtf8(const char *text)
{
    if (!text)
        return "(null)";
    wchar_t wide[1024];
    return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024) > 0 ? ToUtf8(wide) : "?";
}

typedef HANDLE(WINAPI *RegisterEventSourceFunction)(LPCSTR, LPCSTR);
typedef BOOL(WINAPI *ReportEventFunction)(HANDLE, WORD, WORD, DWORD, PSID, WORD, DWORD, LPCSTR *, LPVOID);
typedef int(WINAPI *MessageBoxFunction)(HWND, LPCSTR, LPCSTR, UINT);
typedef INT_PTR(WINAPI *DialogBoxParamFunction)(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM);
RegisterEventSourceFunction realRegisterEventSource;
ReportEventFunction realReportEvent;
MessageBoxFunction realMessageBox;
DialogBoxParamFunction realDialogBoxParam;

HANDLE WINAPI RecordRegisterEventSource(LPCSTR server, LPCSTR source)
{
    {
        std::lock_guard<std::mutex> hold(callsLock);
        eventSource = source ? source : "(null)";
    }
    return realRegisterEventSource(server, source);
}

BOOL WINAPI RecordReportEvent(HANDLE log, WORD type, WORD category, DWORD id, PSID user, WORD count, DWORD size,
                              LPCSTR *strings, LPVOID data)
{
    std::string source;
    bool allStrings;
    {
        std::lock_guard<std::mutex> hold(callsLock);
        source = eventSource;
        allStrings = allEventStrings;
    }
    std::string text = count ? AnsiToUtf8(strings[0]) : std::string();
    for (WORD i = 1; allStrings && i < count; i++)
        text += "|" + AnsiToUtf8(strings[i]);
    RecordCall("event " + std::to_string(type) + " " + std::to_string(id) + " " + source + "|" + text);
    return realReportEvent(log, type, category, id, user, count, size, strings, data);
}

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    RecordCall("messagebox " + AnsiToUtf8(caption) + "|" + AnsiToUtf8(text));
    return passBoxesOn ? realMessageBox(owner, text, caption, type) : IDOK;
}

INT_PTR WINAPI RecordDialogBoxParam(HINSTANCE module, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param)
{
    RecordCall("dialogbox " + (IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<UINT_PTR>(name))
                                                      : std::string(name)));
    return passBoxesOn ? realDialogBoxParam(module, name, owner, procedure, param) : -1;
}

} // namespace

bool RecordLibraryCalls(HMODULE module)
{
    return RedirectImport(module, "advapi32.dll", "RegisterEventSourceA",
                          reinterpret_cast<void *>(RecordRegisterEventSource),
                          reinterpret_cast<void **>(&realRegisterEventSource)) &&
           RedirectImport(module, "advapi32.dll", "ReportEventA", reinterpret_cast<void *>(RecordReportEvent),
                          reinterpret_cast<void **>(&realReportEvent)) &&
           RedirectImport(module, "user32.dll", "MessageBoxA", reinterpret_cast<void *>(RecordMessageBox),
                          reinterpret_cast<void **>(&realMessageBox)) &&
           RedirectImport(module, "user32.dll", "DialogBoxParamA", reinterpret_cast<void *>(RecordDialogBoxParam),
                          reinterpret_cast<void **>(&realDialogBoxParam));
}

std::vector<std::string> TakeLibraryCalls()
{
    std::lock_guard<std::mutex> hold(callsLock);
    std::vector<std::string> taken;
    taken.swap(calls);
    return taken;
}

HiddenLibraryBoxes::HiddenLibraryBoxes(bool keepRecords)
{
    std::lock_guard<std::mutex> hold(callsLock);
    passBoxesOn = false;
    keepCalls = keepRecords;
}

HiddenLibraryBoxes::~HiddenLibraryBoxes()
{
    std::lock_guard<std::mutex> hold(callsLock);
    passBoxesOn = true;
    keepCalls = true;
}

AllEventStrings::AllEventStrings()
{
    std::lock_guard<std::mutex> hold(callsLock);
    allEventStrings = true;
}

AllEventStrings::~AllEventStrings()
{
    std::lock_guard<std::mutex> hold(callsLock);
    allEventStrings = false;
}

void EchoLibraryCalls()
{
    std::lock_guard<std::mutex> hold(callsLock);
    echoCalls = true;
}
