// cert_fingerprint: prints, for each certificate or RSA key file (DER or
// PEM), the subject's common name and the key fingerprint that blacklist files
// list, as the revocation provider computes them. Builds natively and for
// Windows.
//   cert_fingerprint FILE...
// Certificates ("CERTIFICATE") and public keys ("PUBLIC KEY", that is
// SubjectPublicKeyInfo) go through the provider's certificate reader. The
// other RSA keys, "RSA PRIVATE KEY" and "RSA PUBLIC KEY" (PKCS #1) and
// "PRIVATE KEY" (PKCS #8, rsaEncryption), are read here and their modulus is
// digested as the reader digests a certificate's: one leading zero octet off.

#include "provider/certificate_walker.h"
#include "provider/sha1_digest.h"
#include "tools/file_input.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// One DER element: identifier octet and contents.
struct Element {
    uint8_t tag;
    const uint8_t *content;
    size_t length;
};

const uint8_t kTagInteger = 0x02;
const uint8_t kTagBitString = 0x03;
const uint8_t kTagOctetString = 0x04;
const uint8_t kTagSequence = 0x30;

// Reads the element at *at (low tag numbers, definite lengths of up to four
// octets) and moves *at past it.
bool ReadElement(const uint8_t **at, const uint8_t *end, Element *element)
{
    const uint8_t *p = *at;
    if (end - p < 2 || (p[0] & 0x1F) == 0x1F)
        return false;
    element->tag = *p++;
    size_t length = *p++;
    if (length & 0x80) {
        const size_t octets = length & 0x7F;
        if (octets == 0 || octets > 4 || static_cast<size_t>(end - p) < octets)
            return false;
        length = 0;
        for (size_t i = 0; i < octets; i++)
            length = length << 8 | *p++;
    }
    if (static_cast<size_t>(end - p) < length)
        return false;
    element->content = p;
    element->length = length;
    *at = p + length;
    return true;
}

// The elements of the SEQUENCE that fills bytes[0, length) exactly.
bool ReadSequence(const uint8_t *bytes, size_t length, std::vector<Element> *items)
{
    const uint8_t *at = bytes;
    const uint8_t *end = bytes + length;
    Element sequence;
    if (!ReadElement(&at, end, &sequence) || sequence.tag != kTagSequence || at != end)
        return false;
    items->clear();
    for (at = sequence.content; at < end;) {
        Element item;
        if (!ReadElement(&at, end, &item))
            return false;
        items->push_back(item);
    }
    return true;
}

// An AlgorithmIdentifier whose algorithm is rsaEncryption.
bool IsRsaAlgorithm(const Element &algorithm)
{
    static const uint8_t kRsaEncryption[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
    return algorithm.tag == kTagSequence && algorithm.length >= sizeof kRsaEncryption &&
           memcmp(algorithm.content, kRsaEncryption, sizeof kRsaEncryption) == 0;
}

enum KeyForm { kNotAKey, kRsaPrivateKey, kRsaPublicKey, kPrivateKeyInfo, kSubjectPublicKeyInfo };

// Which RSA key structure der holds; *modulus is the modulus INTEGER (PKCS #1
// and PKCS #8 forms).
KeyForm FindKey(const std::vector<uint8_t> &der, Element *modulus)
{
    std::vector<Element> items;
    if (!ReadSequence(der.data(), der.size(), &items))
        return kNotAKey;
    // RSAPublicKey: modulus, publicExponent.
    if (items.size() == 2 && items[0].tag == kTagInteger && items[1].tag == kTagInteger) {
        *modulus = items[0];
        return kRsaPublicKey;
    }
    // RSAPrivateKey: version, modulus, publicExponent, privateExponent, prime1,
    // prime2, exponent1, exponent2, coefficient [, otherPrimeInfos].
    if (items.size() >= 9 && items[0].tag == kTagInteger && items[1].tag == kTagInteger) {
        *modulus = items[1];
        return kRsaPrivateKey;
    }
    // PrivateKeyInfo: version, rsaEncryption, OCTET STRING holding an RSAPrivateKey.
    if (items.size() >= 3 && items[0].tag == kTagInteger && IsRsaAlgorithm(items[1]) &&
        items[2].tag == kTagOctetString) {
        std::vector<Element> inner;
        if (!ReadSequence(items[2].content, items[2].length, &inner) || inner.size() < 9 ||
            inner[0].tag != kTagInteger || inner[1].tag != kTagInteger)
            return kNotAKey;
        *modulus = inner[1];
        return kPrivateKeyInfo;
    }
    // SubjectPublicKeyInfo: rsaEncryption, BIT STRING holding an RSAPublicKey.
    if (items.size() == 2 && IsRsaAlgorithm(items[0]) && items[1].tag == kTagBitString)
        return kSubjectPublicKeyInfo;
    return kNotAKey;
}

int Fail(const char *path, const char *message)
{
    printf("%s: %s\n", path, message);
    return 1;
}

void Print(const char *path, const char *commonName, const char *digest)
{
    const size_t digestLength = strlen(digest);
    printf("%s\n  common name: %s\n  fingerprint: %s\n", path, commonName[0] ? commonName : "(none)",
           digestLength > 20 ? digest + 20 : "(no RSA key)");
}

int Report(const char *path)
{
    std::vector<uint8_t> bytes, pem;
    if (!ReadWholeFile(path, &bytes))
        return Fail(path, "cannot read the file");
    std::string label;
    const bool isPem = DecodePem(bytes, &label, &pem);
    const std::vector<uint8_t> &der = isPem ? pem : bytes;
    if (isPem && label.compare(0, 10, "encrypted ") == 0)
        return Fail(path, "encrypted key; decrypt it first (openssl rsa -in KEY -out PLAIN)");
    if (isPem && pem.empty()) {
        const std::string message = "PEM block \"" + label + "\" is neither a certificate nor a readable RSA key";
        return Fail(path, message.c_str());
    }
    if (der.empty())
        return Fail(path, "empty file");

    Element modulus = {0, NULL, 0};
    const KeyForm form = FindKey(der, &modulus);
    const bool keyExpected = isPem && label != "CERTIFICATE";
    if (keyExpected && form == kNotAKey) {
        const std::string message = "not a readable RSA key (PEM block \"" + label + "\")";
        return Fail(path, message.c_str());
    }
    if (isPem && !keyExpected && form != kNotAKey)
        return Fail(path, "PEM block \"CERTIFICATE\" holds a key, not a certificate");

    if (form == kNotAKey || form == kSubjectPublicKeyInfo) {
        TMyProcessCertificate reader;
        if (!reader.Process(der.data(), static_cast<uint32_t>(der.size()))) {
            printf("%s: not a readable %s [%d/%d]\n", path, form == kNotAKey ? "certificate or RSA key" : "RSA key",
                   static_cast<int>(reader.ParseStatus), static_cast<int>(reader.KeyStatus));
            return 1;
        }
        if (form == kNotAKey) {
            Print(path, reader.GetCommonName(), reader.GetModulusDigest());
            return 0;
        }
        if (strlen(reader.GetModulusDigest()) <= 20)
            return Fail(path, "not a readable RSA key (no modulus in the public key)");
        Print(path, "(key file)", reader.GetModulusDigest());
        return 0;
    }

    // As the certificate reader does: one leading zero octet is dropped.
    const uint8_t *digits = modulus.content;
    size_t length = modulus.length;
    if (length > 0 && digits[0] == 0)
        digits++, length--;
    char digest[80] = "";
    if (length == 0 || DigestModulus(digits, static_cast<uint32_t>(length), digest, sizeof digest) != kDigestOk)
        return Fail(path, "not a readable RSA key (modulus cannot be digested)");
    Print(path, "(key file)", digest);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: cert_fingerprint FILE...\n"
                        "Prints the common name and the key fingerprint of each certificate or RSA key\n"
                        "file (DER or PEM: CERTIFICATE, RSA PRIVATE KEY, PRIVATE KEY, RSA PUBLIC KEY,\n"
                        "PUBLIC KEY). For a key the common name reads \"(key file)\".\n");
        return 2;
    }
    int failures = 0;
    for (int i = 1; i < argc; i++)
        failures += Report(argv[i]);
    return failures ? 1 : 0;
}
