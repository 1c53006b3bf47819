// SHA-1 (FIPS 180-1) with reset/input/result routines in the shape of the
// RFC 3174 reference interface, the digest object TSha1Digest, and the two
// digests key fingerprints come from: of an RSA modulus and of a whole
// SubjectPublicKeyInfo. Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>

const int kSha1HashSize = 20;

// Result codes of the SHA-1 routines. A message longer than 2^64 - 1 bits
// also reports kSha1Null, as the reference code does.
enum Sha1Code : int32_t {
    kSha1Success = 0,
    kSha1Null = 1,
    kSha1StateError = 3,
};

struct Sha1Context {
    uint32_t chainingValues[kSha1HashSize / 4];
    uint32_t lengthLow;   // message length in bits, low half
    uint32_t lengthHigh;  // message length in bits, high half
    int16_t blockIndex;   // bytes held in block
    uint8_t block[64];
    uint8_t computed;     // the digest has been taken
    int32_t corrupted;    // sticky error code
};

int32_t Sha1Reset(Sha1Context *context);
int32_t Sha1Input(Sha1Context *context, const uint8_t *bytes, uint32_t length);
int32_t Sha1Result(Sha1Context *context, uint8_t digest[kSha1HashSize]);

// One SHA-1 computation with its result as 40 lower-case hex digits.
class TSha1Digest {
public:
    TSha1Digest();
    virtual ~TSha1Digest();

    bool Reset();
    bool Update(const uint8_t *bytes, int32_t length);
    bool Finish();
    const char *GetHex();

private:
    TSha1Digest(const TSha1Digest &);
    TSha1Digest &operator=(const TSha1Digest &);

    Sha1Context *context;
    uint8_t digest[kSha1HashSize];
    char hex[2 * kSha1HashSize + 1];
};

// Results of DigestModulus and DigestKeyInfo besides 0 (success).
enum DigestModulusCode : int32_t {
    kDigestOk = 0,
    kDigestNoObject = 10,      // the digest object could not be allocated
    kDigestUpdateFailed = 11,  // feeding the modulus text failed
    kDigestFinishFailed = 12,
    kDigestEmptyText = 13,
};

// Hashes "Modulus=" + the modulus in upper-case hex + "\n" and writes the
// 40 lower-case hex digits of the SHA-1 into destination. On failure the
// destination is left untouched.
int32_t DigestModulus(const uint8_t *modulus, uint32_t length, char *destination, size_t capacity);

// Hashes the DER SubjectPublicKeyInfo as it stands (the fingerprint of keys
// that are not RSA) and writes the 40 lower-case hex digits of the SHA-1
// into destination; results and failures as DigestModulus.
int32_t DigestKeyInfo(const uint8_t *keyInfo, uint32_t length, char *destination, size_t capacity);
