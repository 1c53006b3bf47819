// Redirected imports (see import_redirect.h): the import table walked once.

#include "import_redirect.h"

#include <cstring>

bool RedirectImport(HMODULE module, const char *dll, const char *function, void *replacement, void **original)
{
    BYTE *base = reinterpret_cast<BYTE *>(module);
    const IMAGE_NT_HEADERS *headers =
        reinterpret_cast<const IMAGE_NT_HEADERS *>(base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const IMAGE_IMPORT_DESCRIPTOR *entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         imports.VirtualAddress && entry->Name; entry++) {
        if (dll && _stricmp(reinterpret_cast<const char *>(base + entry->Name), dll) != 0)
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

ImportPatch::ImportPatch(const char *name, void *replacement) : function(name), original(NULL)
{
    RedirectImport(GetModuleHandleA(NULL), NULL, function, replacement, &original);
}

ImportPatch::~ImportPatch()
{
    void *replaced;
    if (original)
        RedirectImport(GetModuleHandleA(NULL), NULL, function, original, &replaced);
}
