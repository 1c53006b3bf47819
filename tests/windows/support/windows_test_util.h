// Small Win32 chores shared by the Windows test programs.
#pragma once

#include <windows.h>

#include <string>

std::string ToUtf8(const wchar_t *text);
// Deletes a folder with everything in it.
void DeleteTree(const std::string &folder);
