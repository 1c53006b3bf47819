// Helpers shared by the core tests (see test_support.h).

#include "test_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sstream>

namespace {

std::atomic<int> allocationsBeforeFailure(-1);

std::string EnvironmentValue(const char *name)
{
    const char *value = getenv(name);
    return value ? value : "";
}

} // namespace

// Replaces the nothrow allocation, which is the only one the product uses.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    int left = allocationsBeforeFailure.load();
    while (left > 0 && !allocationsBeforeFailure.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 0)
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void FailNothrowAllocationsAfter(int count)
{
    allocationsBeforeFailure = count;
}

std::string TestDataDir()
{
    return EnvironmentValue("VERILOOM_TEST_DATA");
}

std::string CaDataDir()
{
    return EnvironmentValue("VERILOOM_CA_DATA");
}

std::vector<std::vector<std::string>> ReadTsv(const std::string &path)
{
    std::vector<std::vector<std::string>> rows;
    Bytes contents;
    if (!ReadWholeFile(path, &contents))
        return rows;
    std::istringstream text(std::string(contents.begin(), contents.end()));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::istringstream fieldText(line);
        for (std::string field; std::getline(fieldText, field, '\t');)
            fields.push_back(field);
        if (line.back() == '\t')
            fields.push_back("");
        rows.push_back(fields);
    }
    return rows;
}

std::string ToHex(const uint8_t *bytes, size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < length; i++) {
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
    }
    return hex;
}

Bytes FromHex(const std::string &hex)
{
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

Bytes Tlv(uint8_t identifier, const Bytes &content)
{
    Bytes out(1, identifier);
    const size_t length = content.size();
    // Short form below 0x80, else 0x80 + the count of length octets (up to 3).
    const int octets = length < 0x80 ? 0 : length <= 0xFF ? 1 : length <= 0xFFFF ? 2 : 3;
    if (octets)
        out.push_back(static_cast<uint8_t>(0x80 + octets));
    for (int i = octets ? octets - 1 : 0; i >= 0; i--)
        out.push_back(static_cast<uint8_t>(length >> (8 * i)));
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Sequence(std::initializer_list<Bytes> parts)
{
    return Tlv(0x30, Concat(parts));
}

Bytes Text(uint8_t identifier, const std::string &text)
{
    return Tlv(identifier, Bytes(text.begin(), text.end()));
}

Bytes SeededModulus(uint32_t seed, size_t length)
{
    Bytes modulus(length);
    uint32_t state = seed * 2654435761u;
    for (uint8_t &byte : modulus) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 23);
    }
    modulus[0] |= 0x80;
    for (int i = 0; i < 4 && 1u + i < length; i++)
        modulus[1 + i] = static_cast<uint8_t>(seed >> (24 - 8 * i));
    modulus[length - 1] |= 1;
    return modulus;
}

Bytes MinimalCertificate(const Bytes &modulus, const std::string &commonName)
{
    const Bytes key = Sequence({Tlv(0x02, Concat({Bytes(1, 0), modulus})), Tlv(0x02, Bytes{1, 0, 1})});
    return Sequence({
        Sequence({Tlv(0x31, Sequence({Tlv(0x06, Bytes{0x55, 4, 3}), Text(0x0C, commonName)}))}),
        Sequence({Sequence({Tlv(0x06, Bytes{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01}), Tlv(0x05, Bytes())}),
                  Tlv(0x03, Concat({Bytes(1, 0), key}))}),
    });
}
