// Certificate walker: a generic depth-first walk over DER-encoded bytes
// (TProcessCertificate) and the certificate reader built on it
// (TMyProcessCertificate), which picks up the subject's common name and the
// RSA modulus and has the modulus digested. Portable: no Windows header.
#pragma once

#include <cstdint>

// Walks one DER encoding and hands every primitive element to OnElement.
class TProcessCertificate {
public:
    TProcessCertificate();
    virtual ~TProcessCertificate();

    // Called for every primitive element in encoding order; false stops the walk.
    virtual bool OnElement(uint32_t tagNumber, uint8_t tagClass, const uint8_t *content,
                           uint32_t contentLength) = 0;

    bool Process(const uint8_t *bytes, uint32_t length);
    bool Walk(uint32_t depth, const uint8_t *start, uint32_t length);

    // 1 before the walk, 0 after a complete one, 3 to 12 after a failed one.
    int32_t ParseStatus;

private:
    TProcessCertificate(const TProcessCertificate &);
    TProcessCertificate &operator=(const TProcessCertificate &);
};

// Walk failures, as left in ParseStatus.
enum ParseStatusCode : int32_t {
    kParseComplete = 0,
    kParseNotWalked = 1,
    kParseNoBytes = 3,
    kParseTooDeep = 4,
    kParseBadTagNumber = 5,
    kParseNoLength = 6,
    kParseIndefiniteLength = 7,
    kParseLengthTooLong = 8,
    kParseLengthCut = 9,
    kParseContentTooLong = 10,
    kParseContentPastEnd = 11,
    kParseElementRefused = 12,
};

const uint32_t kWalkMaxDepth = 1024;

// Progress and failures of the RSA key extraction, as left in KeyStatus;
// 10 to 13 are the results of DigestModulus.
enum KeyStatusCode : int32_t {
    kKeyNone = 0,
    kKeyAlgorithmSeen = 1,
    kKeyTaken = 2,
    kKeyBadBitString = 3,
    kKeyNoSequence = 4,
    kKeySequenceCut = 5,
    kKeyBadSequenceLength = 6,
    kKeyNoInteger = 7,
    kKeyIntegerCut = 8,
    kKeyBadIntegerLength = 9,
};

class TMyProcessCertificate : public TProcessCertificate {
public:
    TMyProcessCertificate();
    virtual ~TMyProcessCertificate();

    virtual bool OnElement(uint32_t tagNumber, uint8_t tagClass, const uint8_t *content,
                           uint32_t contentLength);

    const char *GetModulusDigest() const { return ModulusDigest; }
    const char *GetCommonName() const { return CommonName; }
    bool GetModulus(const uint8_t **modulus, uint32_t *modulusLength) const;

    int32_t KeyStatus;

private:
    bool ExtractKey(const uint8_t *content, uint32_t contentLength);

    int32_t LastOid;  // 0 none or other, 1 rsaEncryption, 2 commonName
    const uint8_t *Modulus;
    uint32_t ModulusLength;
    char ModulusDigest[80];
    char CommonName[256];
};
