// The installation folder (see install_folder.h).

#include "common/install_folder.h"

#include "common/bounded_string.h"
#include "common/product.h"

bool VeriloomInstallFolder(char *folder, size_t capacity)
{
    if (capacity == 0 || capacity > kBoundedMaxCapacity)
        return false;
    const DWORD length = GetEnvironmentVariableA("ProgramFiles", folder, static_cast<DWORD>(capacity));
    if (length == 0 || length >= capacity || BoundedAppend(folder, capacity, VERILOOM_INSTALL_FOLDER) != kBoundedOk) {
        folder[0] = '\0';
        return false;
    }
    return true;
}
