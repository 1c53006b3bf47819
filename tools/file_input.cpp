// Reading the files the tools are given: whole files, and PEM blocks of
// certificates and RSA keys (see file_input.h). Portable.

#include "file_input.h"

#include <cstdio>

bool ReadWholeFile(const char *path, std::vector<uint8_t> *bytes)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return false;
    uint8_t buffer[16384];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes->insert(bytes->end(), buffer, buffer + got);
    const bool ok = !ferror(file);
    fclose(file);
    return ok;
}

namespace {

int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

const char *const kPemLabels[] = {"CERTIFICATE", "RSA PRIVATE KEY", "PRIVATE KEY", "RSA PUBLIC KEY", "PUBLIC KEY"};

} // namespace

// Decodes the first PEM block that has one of kPemLabels. False when the text
// has no PEM block at all; *label is then empty. A text with PEM blocks of
// other kinds only, or with an encrypted one, gives that label and no bytes.
bool DecodePem(const std::vector<uint8_t> &text, std::string *label, std::vector<uint8_t> *der)
{
    const std::string s(text.begin(), text.end());
    label->clear();
    for (size_t at = s.find("-----BEGIN "); at != std::string::npos; at = s.find("-----BEGIN ", at + 1)) {
        const size_t labelStart = at + 11;
        const size_t labelEnd = s.find("-----", labelStart);
        if (labelEnd == std::string::npos)
            break;
        const std::string found = s.substr(labelStart, labelEnd - labelStart);
        if (label->empty())
            *label = found;
        const size_t end = s.find("-----END " + found + "-----", labelEnd);
        bool known = false;
        for (const char *candidate : kPemLabels)
            known = known || found == candidate;
        if (!known || end == std::string::npos)
            continue;
        *label = found;
        if (s.find("Proc-Type:", labelEnd) < end) {
            *label = "encrypted " + found;
            return true;
        }
        uint32_t bits = 0;
        int bitCount = 0;
        for (size_t i = labelEnd + 5; i < end; i++) {
            const int value = Base64Value(s[i]);
            if (value < 0)
                continue;
            bits = (bits << 6) | static_cast<uint32_t>(value);
            bitCount += 6;
            if (bitCount >= 8) {
                bitCount -= 8;
                der->push_back(static_cast<uint8_t>(bits >> bitCount));
            }
        }
        return true;
    }
    return !label->empty();
}
