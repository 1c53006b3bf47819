// Certificate walker: a generic depth-first walk over DER-encoded bytes
// (TProcessCertificate), which also finds a certificate's
// SubjectPublicKeyInfo, and the certificate reader built on it
// (TMyProcessCertificate), which picks up the subject's common name and the
// key digest: of the modulus for an RSA key, of the whole
// SubjectPublicKeyInfo for a key of any other kind. Portable: no Windows
// header.
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

    // Called once after a complete walk, when the SubjectPublicKeyInfo (if
    // any) is known; false fails the walk with ParseStatus 12.
    virtual bool OnWalkComplete() { return true; }

    bool Process(const uint8_t *bytes, uint32_t length);
    bool Walk(uint32_t depth, const uint8_t *start, uint32_t length);

    // After a complete walk of a certificate: its SubjectPublicKeyInfo
    // element (identifier, length and contents) inside the walked bytes.
    // False, with null and 0, when the bytes have no such element where a
    // certificate has it.
    bool GetKeyInfo(const uint8_t **keyInfo, uint32_t *keyInfoLength) const;

    // 1 before the walk, 0 after a complete one, 3 to 12 after a failed one.
    int32_t ParseStatus;

protected:
    const uint8_t *KeyInfo;
    uint32_t KeyInfoLength;

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
    kParseElementRefused = 12,  // by OnElement, or by OnWalkComplete
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

// The kind of a certificate's key, by the algorithm of its
// SubjectPublicKeyInfo. kKeyKindNone: no key found.
enum KeyKind : int32_t {
    kKeyKindNone = 0,
    kKeyKindRsa,
    kKeyKindEc,
    kKeyKindEd25519,
    kKeyKindEd448,
    kKeyKindX25519,
    kKeyKindX448,
    kKeyKindDsa,
    kKeyKindRsaPss,
    kKeyKindOther,  // an algorithm not named here, or none readable
};

// The kind of the key in a SubjectPublicKeyInfo element (never kKeyKindNone).
KeyKind KindOfKeyInfo(const uint8_t *keyInfo, uint32_t keyInfoLength);
// "RSA", "EC", "Ed25519", ..., "DSA", "RSA-PSS", "other"; "" for none.
const char *KeyKindName(KeyKind kind);

// Finds the SubjectPublicKeyInfo of the certificate in bytes: the element of
// the tbsCertificate after subject. A bounded walk over headers; nothing is
// copied.
bool FindKeyInfo(const uint8_t *bytes, uint32_t length, const uint8_t **keyInfo, uint32_t *keyInfoLength);

class TMyProcessCertificate : public TProcessCertificate {
public:
    TMyProcessCertificate();
    virtual ~TMyProcessCertificate();

    virtual bool OnElement(uint32_t tagNumber, uint8_t tagClass, const uint8_t *content,
                           uint32_t contentLength);

    virtual bool OnWalkComplete();

    // The 40-digit digest the key fingerprint comes from: the modulus digest
    // of an RSA key, the SubjectPublicKeyInfo digest of any other; empty
    // when no key was found.
    const char *GetKeyDigest() const
    {
        return Kind == kKeyKindRsa || Kind == kKeyKindNone ? ModulusDigest : KeyInfoDigest;
    }
    KeyKind GetKeyKind() const { return Kind; }
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
    KeyKind Kind;
    char KeyInfoDigest[80];
    char CommonName[256];
};
