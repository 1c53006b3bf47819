// Stands in for the web browser in the dialog tests: registered as the
// handler of http addresses, it writes the address it was given (first line)
// and its whole command line (second line) to a file, UTF-8.
//   url_recorder.exe OUTPUT ADDRESS

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::string Utf8(const wchar_t *text)
{
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    std::string out(needed > 0 ? static_cast<size_t>(needed) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], needed, NULL, NULL);
    out.resize(out.size() - 1);
    return out;
}

} // namespace

int main()
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 3)
        return 2;
    const std::wstring output = arguments[1];
    const std::string text = Utf8(arguments[2]) + "\n" + Utf8(GetCommandLineW()) + "\n";
    const std::wstring temporary = output + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, NULL);
    CloseHandle(file);
    return MoveFileExW(temporary.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
