// Small Win32 chores shared by the Windows test programs (see
// windows_test_util.h).

#include "windows_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

bool UserIsGerman()
{
    return PRIMARYLANGID(GetUserDefaultLangID()) == LANG_GERMAN;
}

std::string Environment(const char *name)
{
    char value[2048];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string TempFolder(const std::string &tag)
{
    static LONG counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string folder = std::string(temp) + "veriloom-" + tag + "-" + std::to_string(GetCurrentProcessId()) +
                               "-" + std::to_string(InterlockedIncrement(&counter));
    DeleteTree(folder);
    CreateDirectoryA(folder.c_str(), NULL);
    return folder;
}

void DeleteTree(const std::string &folder)
{
    for (const WIN32_FIND_DATAA &entry : FindEntries(folder + "\\*")) {
        const std::string path = folder + "\\" + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            DeleteTree(path);
        } else {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
    }
    RemoveDirectoryA(folder.c_str());
}

bool WriteTextFile(const std::string &path, const std::string &content)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = fwrite(content.data(), 1, content.size(), file) == content.size();
    return fclose(file) == 0 && ok;
}

bool ReadTextFile(const std::string &path, std::string *content)
{
    Bytes bytes;
    if (!ReadWholeFile(path, &bytes))
        return false;
    content->assign(bytes.begin(), bytes.end());
    return true;
}

std::vector<std::string> FileNames(const std::string &folder)
{
    std::vector<std::string> names;
    for (const WIN32_FIND_DATAA &entry : FindEntries(folder + "\\*"))
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(entry.cFileName);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<WIN32_FIND_DATAA> FindEntries(const std::string &pattern)
{
    std::vector<WIN32_FIND_DATAA> entries;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
            entries.push_back(entry);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return entries;
}

std::vector<std::string> RecordedCommands(const std::string &recordFile)
{
    std::string content;
    ReadTextFile(recordFile, &content);
    return Lines(content.substr(0, content.rfind('\n') == std::string::npos ? 0 : content.rfind('\n') + 1));
}

std::vector<std::string> WaitForRecords(const std::string &recordFile, size_t count)
{
    for (int i = 0; i < 300 && RecordedCommands(recordFile).size() < count; ++i)
        Sleep(50);
    Sleep(500);
    return RecordedCommands(recordFile);
}

std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (!lines.back().empty() && lines.back().back() == '\r')
            lines.back().pop_back();
        start = end + 1;
    }
    return lines;
}

size_t CountLines(const std::vector<std::string> &lines, const std::string &text, bool prefix)
{
    size_t count = 0;
    for (const std::string &line : lines)
        count += (prefix ? line.compare(0, text.size(), text) == 0 : line == text) ? 1 : 0;
    return count;
}

size_t CountOf(const std::string &text, const std::string &part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        count++;
    return count;
}

std::string UnixPath(const std::string &path)
{
    typedef char *(CDECL * UnixName)(LPCWSTR);
    UnixName unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    const std::wstring widePath(path.begin(), path.end());
    char *name = unixName ? unixName(widePath.c_str()) : NULL;
    if (!name)
        return "";
    const std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::string RunUnixShell(const std::string &script, const std::vector<std::string> &environment)
{
    const std::string folder = TempFolder("shell");
    const std::string outputPath = folder + "\\output.txt";
    if (!WriteTextFile(outputPath, ""))
        return "";
    const std::string unixOutput = UnixPath(outputPath);

    std::vector<std::pair<std::string, std::string>> saved;
    for (const std::string &entry : environment) {
        const std::string name = entry.substr(0, entry.find('='));
        saved.push_back(std::make_pair(name, Environment(name.c_str())));
        SetEnvironmentVariableA(name.c_str(), entry.c_str() + name.size() + 1);
    }
    std::string line = "Z:\\bin\\sh -c \"(" + script + ") >'" + unixOutput + "' 2>&1; echo exit=$? >>'" +
                       unixOutput + "'\"";
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    const bool started =
        !unixOutput.empty() && CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
    for (const auto &entry : saved)
        SetEnvironmentVariableA(entry.first.c_str(), entry.second.empty() ? NULL : entry.second.c_str());
    std::string output;
    if (started) {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        for (int i = 0; i < 6000 && output.find("exit=") == std::string::npos; i++) {
            Sleep(10);
            ReadTextFile(outputPath, &output);
        }
    }
    DeleteTree(folder);
    return output;
}

std::string RunChild(const std::string &mode, const std::vector<std::string> &environment)
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    std::vector<std::string> entries = environment;
    entries.push_back("VERILOOM_PROGRAM_FILES=" + Environment("ProgramFiles"));
    const std::string output =
        RunUnixShell("/usr/lib/wine/wine64 '" + UnixPath(self) + "' '--child=" + mode + "'", entries);
    EXPECT_NE(std::string::npos, output.find("exit=0")) << output;
    return output;
}

bool BackdateFile(const std::string &path, int seconds)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    ticks.QuadPart -= static_cast<ULONGLONG>(seconds) * 10000000ull;
    FILETIME then;
    then.dwLowDateTime = ticks.LowPart;
    then.dwHighDateTime = ticks.HighPart;
    const BOOL ok = SetFileTime(file, &then, NULL, &then);
    CloseHandle(file);
    return ok != FALSE;
}
