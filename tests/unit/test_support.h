// Helpers shared by the core tests and the Windows tests: test data files,
// hex, small DER builders, a minimal certificate,
// and a switch that makes nothrow allocations fail.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tools/file_input.h"

typedef std::vector<uint8_t> Bytes;

// Folder of the committed test data (VERILOOM_TEST_DATA), or "" when unset.
std::string TestDataDir();
// Folder of the CA certificate expectations made at test time (VERILOOM_CA_DATA).
std::string CaDataDir();

// The tools' reader (tools/file_input), into an emptied vector.
inline bool ReadWholeFile(const std::string &path, Bytes *contents)
{
    contents->clear();
    return ReadWholeFile(path.c_str(), contents);
}
// Rows of a tab-separated file, without '#' comment lines.
std::vector<std::vector<std::string>> ReadTsv(const std::string &path);

std::string ToHex(const uint8_t *bytes, size_t length);
Bytes FromHex(const std::string &hex);

// DER element with a minimal definite length.
Bytes Tlv(uint8_t identifier, const Bytes &content);
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Sequence(std::initializer_list<Bytes> parts);
Bytes Text(uint8_t identifier, const std::string &text);

// A modulus of `length` bytes (at least 5) that follows from the seed: top
// and lowest bit set, the seed itself in bytes 1-4 (so seeds never share one).
Bytes SeededModulus(uint32_t seed, size_t length);
// A certificate just complete enough for the provider: SEQUENCE { subject
// Name with the common name (UTF8String), SubjectPublicKeyInfo with the RSA
// key (exponent 65537) }. Nothing is signed: the provider checks no signature.
Bytes MinimalCertificate(const Bytes &modulus, const std::string &commonName);

// The next `count` nothrow allocations succeed, later ones fail; -1 turns
// failures off again.
void FailNothrowAllocationsAfter(int count);
