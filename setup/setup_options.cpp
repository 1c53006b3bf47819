// The installer's command line (see setup_options.h).

#include "setup_options.h"

#include "common/bounded_string.h"

#include <cstring>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Copies the next word into `word` (quotes removed, cut at the capacity,
// which *cut then tells) and returns the text after it, or null at the end
// of the tail.
const char *NextWord(const char *text, char *word, size_t capacity, bool *cut)
{
    *cut = false;
    while (IsBlank(*text))
        ++text;
    if (*text == '\0')
        return NULL;
    size_t length = 0;
    bool quoted = false;
    for (; *text && (quoted || !IsBlank(*text)); ++text) {
        if (*text == '"')
            quoted = !quoted;
        else if (length + 1 < capacity)
            word[length++] = *text;
        else
            *cut = true;
    }
    word[length] = '\0';
    return text;
}

bool IsOption(const char *word, const char *name)
{
    if (word[0] != '/' && word[0] != '-')
        return false;
    ++word;
    for (; *word && *name; ++word, ++name) {
        char c = *word;
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != *name)
            return false;
    }
    return *word == '\0' && *name == '\0';
}

} // namespace

OptionsResult ParseInstallOptions(const char *tail, InstallOptions *options)
{
    memset(options, 0, sizeof *options);
    if (!tail)
        return kOptionsOk;
    options->noCrl = strstr(tail, "-nocrl") != NULL;
    bool allUsers = false;
    bool thisUser = false;
    bool unknown = false;
    char word[1024];
    bool cut = false;
    const char *rest = tail;
    while ((rest = NextWord(rest, word, sizeof word, &cut)) != NULL) {
        if (strstr(word, "-nocrl"))
            continue;
        if (IsOption(word, "quiet")) {
            options->quiet = true;
        } else if (IsOption(word, "uninstall")) {
            options->uninstall = true;
        } else if (IsOption(word, "allusers")) {
            allUsers = true;
        } else if (IsOption(word, "thisuser")) {
            thisUser = true;
        } else if (IsOption(word, "proxy")) {
            options->useProxy = true;
        } else if (IsOption(word, "?")) {
            options->showUsage = true;
        } else if (IsOption(word, "log")) {
            // The file follows; an option in its place ("/log /quiet") or
            // a path that does not fit is refused, never taken or cut.
            rest = NextWord(rest, word, sizeof word, &cut);
            if (!rest || cut || word[0] == '\0' || word[0] == '/' || word[0] == '-' ||
                BoundedCopy(options->logFile, sizeof options->logFile, word) != kBoundedOk)
                return kOptionsContradictory;
        } else {
            unknown = true;
        }
    }
    if (allUsers && thisUser)
        return kOptionsContradictory;
    options->userScope = thisUser ? 1 : 0;
    return unknown ? kOptionsUnknownWord : kOptionsOk;
}
