// The recorder of the library's events, message boxes and dialogs (see
// RecordLibraryCalls in provider_test_support.h). Wine would print the
// events with WINEDEBUG=warn+eventlog, but only on the Unix stderr a process
// inherited; redirecting the library's imports works in every process.

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
    {
        std::lock_guard<std::mutex> hold(callsLock);
        source = eventSource;
    }
    RecordCall("event " + std::to_string(type) + " " + std::to_string(id) + " " + source + "|" +
               (count ? AnsiToUtf8(strings[0]) : std::string()));
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

// Points the module's import of dll!function at replacement.
bool RedirectImport(HMODULE module, const char *dll, const char *function, void *replacement, void **original)
{
    BYTE *base = reinterpret_cast<BYTE *>(module);
    const IMAGE_NT_HEADERS *headers =
        reinterpret_cast<const IMAGE_NT_HEADERS *>(base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const IMAGE_IMPORT_DESCRIPTOR *entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         imports.VirtualAddress && entry->Name; entry++) {
        if (_stricmp(reinterpret_cast<const char *>(base + entry->Name), dll) != 0)
            continue;
        const IMAGE_THUNK_DATA *names = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + entry->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                strcmp(reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData)->Name,
                       function) != 0)
                continue;
            if (slots->u1.Function == reinterpret_cast<ULONG_PTR>(replacement))
                return true;  // already redirected
            DWORD protection;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection))
                return false;
            *original = reinterpret_cast<void *>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return true;
        }
    }
    return false;
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

void EchoLibraryCalls()
{
    std::lock_guard<std::mutex> hold(callsLock);
    echoCalls = true;
}
