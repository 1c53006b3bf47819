// The installer's message boxes: no owner, one caption in every language,
// the text from the string table at id + language offset.

#include "setup.h"

#include "common/bounded_string.h"
#include "common/dialog_support.h"
#include "common/product.h"
#include "setup_log.h"

namespace {

// Loads the format of a message with placeholders (256 characters).
void LoadFormat(UINT id, char *format, size_t capacity)
{
    if (LoadStringA(SetupInstance, id + LanguageOffset, format, static_cast<int>(capacity)) == 0)
        format[0] = '\0';
}

// Every message goes to the log; a quiet run shows none and takes the
// answer No to a question.
int Show(const char *text, UINT type)
{
    LogSetupText(text);
    if (SetupQuiet)
        return type == MB_YESNO ? IDNO : IDOK;
    return MessageBoxA(NULL, text, VERILOOM_SETUP_CAPTION, type);
}

} // namespace

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

int ShowSetupMessage(UINT id, UINT type)
{
    char text[1024];
    if (LoadStringA(SetupInstance, id + LanguageOffset, text, sizeof text) == 0)
        text[0] = '\0';
    return Show(text, type);
}

void ShowSetupMessageCode(UINT id, DWORD errorCode)
{
    char format[256];
    char text[1024];
    LoadFormat(id, format, sizeof format);
    BoundedFormat(text, sizeof text, format, static_cast<unsigned>(errorCode));
    Show(text, MB_OK);
}

void ShowSetupMessagePathCode(UINT id, const char *path, DWORD errorCode)
{
    char format[256];
    char text[1024];
    LoadFormat(id, format, sizeof format);
    BoundedFormat(text, sizeof text, format, path, static_cast<unsigned>(errorCode));
    Show(text, MB_OK);
}

void ShowSetupMessagePathsCode(UINT id, const char *source, const char *destination, DWORD errorCode)
{
    char format[256];
    char text[1024];
    LoadFormat(id, format, sizeof format);
    BoundedFormat(text, sizeof text, format, source, destination, static_cast<unsigned>(errorCode));
    Show(text, MB_OK);
}

#pragma GCC diagnostic pop
