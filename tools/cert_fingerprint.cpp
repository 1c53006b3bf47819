// cert_fingerprint: prints, for each certificate file (DER or PEM), the
// subject's common name and the key fingerprint that blacklist files list,
// as the revocation provider computes them. Builds natively and for Windows.
//   cert_fingerprint FILE...

#include "provider/certificate_walker.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool ReadFile(const char *path, std::vector<uint8_t> *bytes)
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

// Decodes the first PEM certificate block; false when there is none.
bool DecodePem(const std::vector<uint8_t> &text, std::vector<uint8_t> *der)
{
    static const char kBegin[] = "-----BEGIN CERTIFICATE-----";
    static const char kEnd[] = "-----END CERTIFICATE-----";
    const std::string s(text.begin(), text.end());
    const size_t begin = s.find(kBegin);
    if (begin == std::string::npos)
        return false;
    const size_t end = s.find(kEnd, begin);
    if (end == std::string::npos)
        return false;
    uint32_t bits = 0;
    int bitCount = 0;
    for (size_t i = begin + sizeof kBegin - 1; i < end; i++) {
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
    return !der->empty();
}

int Report(const char *path)
{
    std::vector<uint8_t> bytes, der;
    if (!ReadFile(path, &bytes)) {
        printf("%s: cannot read the file\n", path);
        return 1;
    }
    const std::vector<uint8_t> &certificate = DecodePem(bytes, &der) ? der : bytes;
    if (certificate.empty()) {
        printf("%s: empty file\n", path);
        return 1;
    }

    TMyProcessCertificate reader;
    if (!reader.Process(certificate.data(), static_cast<uint32_t>(certificate.size()))) {
        printf("%s: not a readable certificate [%d/%d]\n", path, static_cast<int>(reader.ParseStatus),
               static_cast<int>(reader.KeyStatus));
        return 1;
    }
    const char *digest = reader.GetModulusDigest();
    const size_t digestLength = strlen(digest);
    printf("%s\n  common name: %s\n  fingerprint: %s\n", path,
           reader.GetCommonName()[0] ? reader.GetCommonName() : "(none)",
           digestLength > 20 ? digest + 20 : "(no RSA key)");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: cert_fingerprint FILE...\n"
                        "Prints the common name and the key fingerprint of each certificate (DER or PEM).\n");
        return 2;
    }
    int failures = 0;
    for (int i = 1; i < argc; i++)
        failures += Report(argv[i]);
    return failures ? 1 : 0;
}
