// Small Win32 chores shared by the Windows test programs.
#pragma once

#include <windows.h>

#include <string>

std::string ToUtf8(const wchar_t *text);
// Deletes a folder with everything in it.
void DeleteTree(const std::string &folder);
// Sets a file's last-write and creation times the given seconds back.
bool BackdateFile(const std::string &path, int seconds);
