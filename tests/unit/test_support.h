// Helpers shared by the core tests: test data files, hex, small DER builders,
// and a switch that makes nothrow allocations fail.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

// Folder of the committed test data (VERILOOM_TEST_DATA), or "" when unset.
std::string TestDataDir();
// Folder of the CA certificate expectations made at test time (VERILOOM_CA_DATA).
std::string CaDataDir();

bool ReadWholeFile(const std::string &path, Bytes *contents);
// Rows of a tab-separated file, without '#' comment lines.
std::vector<std::vector<std::string>> ReadTsv(const std::string &path);

std::string ToHex(const uint8_t *bytes, size_t length);
Bytes FromHex(const std::string &hex);

// DER element with a minimal definite length.
Bytes Tlv(uint8_t identifier, const Bytes &content);
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Sequence(std::initializer_list<Bytes> parts);
Bytes Text(uint8_t identifier, const std::string &text);

// The next `count` nothrow allocations succeed, later ones fail; -1 turns
// failures off again.
void FailNothrowAllocationsAfter(int count);
