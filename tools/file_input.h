// Reading the files the tools are given: a whole file, and the first PEM
// block of a certificate or an RSA key ("CERTIFICATE", "RSA PRIVATE KEY",
// "PRIVATE KEY", "RSA PUBLIC KEY", "PUBLIC KEY"). Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

bool ReadWholeFile(const char *path, std::vector<uint8_t> *bytes);

// Decodes the first PEM block of a known kind into der, with its label.
// False when the text has no PEM block at all (label empty). A text with PEM
// blocks of other kinds only, or an encrypted one, gives that label (an
// encrypted one "encrypted LABEL") and no bytes.
bool DecodePem(const std::vector<uint8_t> &text, std::string *label, std::vector<uint8_t> *der);
