// The installation folder as the blacklist search reads it: the
// "ProgramFiles" folder's Veriloom subfolder, its files whose names begin
// with "BLACKLIST" in any letter case (the rule Setup uses too), each opened for
// reading with read sharing only and closed before the next.
#pragma once

#include <windows.h>

#include "list_search.h"

class InstallFolderSource : public FolderSource {
public:
    InstallFolderSource();
    ~InstallFolderSource() override;

    bool First(ListEntry *entry, uint32_t *error, uint32_t *errorValue) override;
    bool Next(ListEntry *entry) override;
    bool Open(const char *name, FileVersion *opened, uint32_t *errorValue) override;
    bool Read(char *buffer, size_t capacity, size_t *got, uint32_t *errorValue) override;
    void Close() override;
    void End() override;
    uint64_t Now() override;
    uint64_t SettledTicks() override;

private:
    bool Take(const WIN32_FIND_DATAA &data, ListEntry *entry);

    char installDir[1024];
    HANDLE find;
    HANDLE file;
};
