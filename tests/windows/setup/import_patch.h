// Replaces one function that a test program imports, for a scope: how a
// test makes the platform fail where Wine never does.
#pragma once

#include <windows.h>

#include <cstring>

// Points this program's import of `function` (from any library) at
// `replacement` for the object's lifetime.
class ImportPatch {
public:
    ImportPatch(const char *function, void *replacement) : slot(NULL), original(0)
    {
        BYTE *base = reinterpret_cast<BYTE *>(GetModuleHandleA(NULL));
        const IMAGE_NT_HEADERS *nt =
            reinterpret_cast<const IMAGE_NT_HEADERS *>(base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (const IMAGE_IMPORT_DESCRIPTOR *library =
                 reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
             library->Name && !slot; ++library) {
            const IMAGE_THUNK_DATA *names =
                reinterpret_cast<const IMAGE_THUNK_DATA *>(base + library->OriginalFirstThunk);
            IMAGE_THUNK_DATA *addresses = reinterpret_cast<IMAGE_THUNK_DATA *>(base + library->FirstThunk);
            for (; names->u1.AddressOfData; ++names, ++addresses) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                    continue;
                const IMAGE_IMPORT_BY_NAME *name =
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
                if (strcmp(reinterpret_cast<const char *>(name->Name), function) == 0) {
                    slot = &addresses->u1.Function;
                    break;
                }
            }
        }
        if (slot) {
            original = *slot;
            Write(reinterpret_cast<ULONG_PTR>(replacement));
        }
    }
    ~ImportPatch()
    {
        if (slot)
            Write(original);
    }
    bool Patched() const { return slot != NULL; }
private:
    void Write(ULONG_PTR value)
    {
        DWORD old;
        VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
        *slot = value;
        VirtualProtect(slot, sizeof *slot, old, &old);
    }
    ULONG_PTR *slot;
    ULONG_PTR original;
};
