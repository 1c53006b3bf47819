// The index worker thread (see index_worker.h).

#include <windows.h>

#include "index_worker.h"

#include "install_folder_source.h"
#include "lifecycle.h"
#include "list_knowledge.h"
#include "list_search.h"

namespace {

// 1 while a worker thread runs.
LONG WorkerRunning = 0;

// The worker's stack: it needs a few kilobytes; the default (a megabyte or
// more) would only take room in the process.
const SIZE_T kWorkerStackBytes = 256 * 1024;

typedef HRESULT(WINAPI *SetThreadDescriptionFunction)(HANDLE, PCWSTR);

// Names the thread where Windows can (10, version 1607, and later).
void DescribeThread(HANDLE thread)
{
    const SetThreadDescriptionFunction describe = reinterpret_cast<SetThreadDescriptionFunction>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetThreadDescription")));
    if (describe)
        describe(thread, kIndexWorkerDescription);
}

// One pass over the folder. A file wanted after the pass began may wait for
// the next miss to start another worker.
DWORD WINAPI IndexWorker(LPVOID module)
{
    {
        InstallFolderSource folder;
        BuildWantedIndexes(&folder, KnownLists);
    }
    InterlockedExchange(&WorkerRunning, 0);
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
    return 0;
}

} // namespace

void BuildWantedIndexesInBackground()
{
    if (!KnownLists || !KnownLists->BuildWanted() || InterlockedCompareExchange(&WorkerRunning, 1, 0) != 0)
        return;
    // The thread's own reference keeps the library's code and state in
    // place however the process frees the library meanwhile.
    HMODULE module = NULL;
    HANDLE thread = NULL;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCSTR>(&BuildWantedIndexesInBackground), &module))
        thread = CreateThread(NULL, kWorkerStackBytes, IndexWorker, module,
                              CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    if (!thread) {
        if (module)
            FreeLibrary(module);
        InterlockedExchange(&WorkerRunning, 0);
        return;
    }
    DescribeThread(thread);
    SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
    ResumeThread(thread);
    CloseHandle(thread);
}
