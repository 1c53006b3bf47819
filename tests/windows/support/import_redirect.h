// Redirected imports: how the tests record what a module calls and make the
// platform fail where Wine never does.
#pragma once

#include <windows.h>

// Points the module's import of function (from the library `dll`, or from
// any library when NULL) at replacement; *original gets the address it had,
// unless it pointed at replacement already.
bool RedirectImport(HMODULE module, const char *dll, const char *function, void *replacement, void **original);

// This program's import of `function` (from any library) pointed at
// `replacement` for the object's lifetime.
class ImportPatch {
public:
    ImportPatch(const char *function, void *replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch &) = delete;
    ImportPatch &operator=(const ImportPatch &) = delete;
    bool Patched() const { return original != NULL; }

private:
    const char *function;
    void *original;
};
