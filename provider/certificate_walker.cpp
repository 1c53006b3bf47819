// Certificate walker and certificate reader (see certificate_walker.h).

#include "certificate_walker.h"

#include "sha1_digest.h"

#include <cstring>

namespace {

const uint8_t kOidRsaEncryption[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
const uint8_t kOidCommonName[] = {0x55, 0x04, 0x03};
// Key algorithms, for the kind a key is named by.
const uint8_t kOidEcPublicKey[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};
const uint8_t kOidEd25519[] = {0x2B, 0x65, 0x70};
const uint8_t kOidEd448[] = {0x2B, 0x65, 0x71};
const uint8_t kOidX25519[] = {0x2B, 0x65, 0x6E};
const uint8_t kOidX448[] = {0x2B, 0x65, 0x6F};
const uint8_t kOidDsa[] = {0x2A, 0x86, 0x48, 0xCE, 0x38, 0x04, 0x01};
const uint8_t kOidRsaPss[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0A};

enum LastOidValue : int32_t { kOidOther = 0, kOidRsa = 1, kOidCn = 2 };

const uint8_t kClassUniversal = 0;
const uint32_t kTagBitString = 3;
const uint32_t kTagOid = 6;
const uint32_t kTagUtf8String = 12;
const uint32_t kTagPrintableString = 19;
const uint32_t kTagTeletexString = 20;

const uint8_t kConstructed = 0x20;
const uint8_t kSequence = 0x30;     // universal, constructed, SEQUENCE
const uint8_t kVersionTag = 0xA0;   // [0], constructed: a certificate's version

bool ContentIs(const uint8_t *content, uint32_t contentLength, const uint8_t *oid, uint32_t oidLength)
{
    return contentLength == oidLength && memcmp(content, oid, oidLength) == 0;
}

struct ElementHeader {
    uint8_t identifier;
    uint32_t tagNumber;
    uint32_t contentLength;
};

// Reads the identifier and length octets at *p, before end, and moves *p to
// the contents. Returns kParseComplete or the walk's code for the fault;
// whether the contents fit is the caller's question.
int32_t ReadElementHeader(const uint8_t **at, const uint8_t *end, ElementHeader *header)
{
    const uint8_t *p = *at;
    header->identifier = *p++;
    header->tagNumber = header->identifier & 0x1F;
    if (header->tagNumber == 0x1F) {
        // High tag number form: up to four octets of seven bits each.
        header->tagNumber = 0;
        for (int octets = 0;; octets++) {
            if (p == end || octets == 4)
                return kParseBadTagNumber;
            const uint8_t octet = *p++;
            header->tagNumber = (header->tagNumber << 7) | (octet & 0x7F);
            if ((octet & 0x80) == 0)
                break;
        }
    }

    if (p == end)
        return kParseNoLength;
    const uint8_t lengthOctet = *p++;
    header->contentLength = lengthOctet;
    if (lengthOctet & 0x80) {
        const uint32_t count = lengthOctet & 0x7F;
        if (count == 0)
            return kParseIndefiniteLength;
        if (count > 4)
            return kParseLengthTooLong;
        header->contentLength = 0;
        for (uint32_t i = 0; i < count; i++) {
            if (p == end)
                return kParseLengthCut;
            header->contentLength = (header->contentLength << 8) | *p++;
        }
    }
    *at = p;
    return kParseComplete;
}

// One element before end whose contents end before end too.
bool ReadContainedElement(const uint8_t **p, const uint8_t *end, ElementHeader *header)
{
    return *p < end && ReadElementHeader(p, end, header) == kParseComplete &&
           header->contentLength <= static_cast<uint32_t>(end - *p);
}

} // namespace

TProcessCertificate::TProcessCertificate() : ParseStatus(kParseNotWalked), KeyInfo(NULL), KeyInfoLength(0) {}

TProcessCertificate::~TProcessCertificate() {}

bool TProcessCertificate::Process(const uint8_t *bytes, uint32_t length)
{
    if (!bytes || length == 0) {
        ParseStatus = kParseNoBytes;
        return false;
    }
    if (!Walk(0, bytes, length))
        return false;
    FindKeyInfo(bytes, length, &KeyInfo, &KeyInfoLength);
    if (!OnWalkComplete()) {
        ParseStatus = kParseElementRefused;
        return false;
    }
    ParseStatus = kParseComplete;
    return true;
}

bool TProcessCertificate::Walk(uint32_t depth, const uint8_t *start, uint32_t length)
{
    if (depth > kWalkMaxDepth) {
        ParseStatus = kParseTooDeep;
        return false;
    }

    const uint8_t *p = start;
    const uint8_t *const end = start + length;
    // An empty range (a constructed element with no contents, such as an
    // empty subject name) is a range like any other.
    bool ok = true;
    while (p < end) {
        ElementHeader header;
        const int32_t headerStatus = ReadElementHeader(&p, end, &header);
        if (headerStatus != kParseComplete) {
            ParseStatus = headerStatus;
            return false;
        }
        if (header.contentLength > length) {
            ParseStatus = kParseContentTooLong;
            return false;
        }
        if (header.contentLength > static_cast<uint32_t>(end - p)) {
            ParseStatus = kParseContentPastEnd;
            return false;
        }

        if (header.identifier & kConstructed) {
            ok = Walk(depth + 1, p, header.contentLength);
        } else {
            ok = OnElement(header.tagNumber, static_cast<uint8_t>(header.identifier >> 6), p, header.contentLength);
            if (!ok)
                ParseStatus = kParseElementRefused;
        }
        if (!ok)
            return false;
        p += header.contentLength;
    }
    return ok;
}

bool TProcessCertificate::GetKeyInfo(const uint8_t **keyInfo, uint32_t *keyInfoLength) const
{
    *keyInfo = KeyInfo;
    *keyInfoLength = KeyInfoLength;
    return KeyInfo != NULL;
}

bool FindKeyInfo(const uint8_t *bytes, uint32_t length, const uint8_t **keyInfo, uint32_t *keyInfoLength)
{
    *keyInfo = NULL;
    *keyInfoLength = 0;
    if (!bytes)
        return false;
    const uint8_t *p = bytes;
    const uint8_t *end = bytes + length;
    ElementHeader header;
    // Into the Certificate, then into its tbsCertificate.
    for (int level = 0; level < 2; level++) {
        if (!ReadContainedElement(&p, end, &header) || header.identifier != kSequence)
            return false;
        end = p + header.contentLength;
    }
    // Serial number, signature, issuer, validity and subject come first,
    // after the [0] version when there is one.
    uint32_t before = 5;
    for (bool first = true; p < end; first = false) {
        const uint8_t *const element = p;
        if (!ReadContainedElement(&p, end, &header))
            return false;
        p += header.contentLength;
        if (first && header.identifier == kVersionTag)
            before++;
        if (before-- > 0)
            continue;
        if (header.identifier != kSequence)
            return false;
        *keyInfo = element;
        *keyInfoLength = static_cast<uint32_t>(p - element);
        return true;
    }
    return false;
}

KeyKind KindOfKeyInfo(const uint8_t *keyInfo, uint32_t keyInfoLength)
{
    static const struct {
        const uint8_t *oid;
        uint32_t length;
        KeyKind kind;
    } kKinds[] = {
        {kOidRsaEncryption, sizeof kOidRsaEncryption, kKeyKindRsa},
        {kOidEcPublicKey, sizeof kOidEcPublicKey, kKeyKindEc},
        {kOidEd25519, sizeof kOidEd25519, kKeyKindEd25519},
        {kOidEd448, sizeof kOidEd448, kKeyKindEd448},
        {kOidX25519, sizeof kOidX25519, kKeyKindX25519},
        {kOidX448, sizeof kOidX448, kKeyKindX448},
        {kOidDsa, sizeof kOidDsa, kKeyKindDsa},
        {kOidRsaPss, sizeof kOidRsaPss, kKeyKindRsaPss},
    };
    // SubjectPublicKeyInfo, its AlgorithmIdentifier, the algorithm's OID.
    const uint8_t *p = keyInfo;
    const uint8_t *end = keyInfo + keyInfoLength;
    ElementHeader header;
    for (int level = 0; level < 2; level++) {
        if (!keyInfo || !ReadContainedElement(&p, end, &header) || header.identifier != kSequence)
            return kKeyKindOther;
        end = p + header.contentLength;
    }
    if (!ReadContainedElement(&p, end, &header) || header.identifier != kTagOid)
        return kKeyKindOther;
    for (const auto &known : kKinds) {
        if (ContentIs(p, header.contentLength, known.oid, known.length))
            return known.kind;
    }
    return kKeyKindOther;
}

const char *KeyKindName(KeyKind kind)
{
    static const char *const kNames[] = {"", "RSA", "EC", "Ed25519", "Ed448", "X25519", "X448", "DSA", "RSA-PSS",
                                         "other"};
    return kind >= kKeyKindNone && kind <= kKeyKindOther ? kNames[kind] : "";
}

TMyProcessCertificate::TMyProcessCertificate()
    : KeyStatus(kKeyNone), LastOid(kOidOther), Modulus(NULL), ModulusLength(0), Kind(kKeyKindNone)
{
    ModulusDigest[0] = '\0';
    KeyInfoDigest[0] = '\0';
    CommonName[0] = '\0';
}

// The key's kind comes from the certificate's SubjectPublicKeyInfo; bytes
// that are not shaped like a certificate have only the modulus (if any).
// An RSA key keeps its modulus digest; a key of any other kind is digested
// whole.
bool TMyProcessCertificate::OnWalkComplete()
{
    if (!KeyInfo) {
        Kind = ModulusDigest[0] ? kKeyKindRsa : kKeyKindNone;
        return true;
    }
    Kind = KindOfKeyInfo(KeyInfo, KeyInfoLength);
    if (Kind == kKeyKindRsa)
        return true;
    const int32_t digestResult = DigestKeyInfo(KeyInfo, KeyInfoLength, KeyInfoDigest, sizeof KeyInfoDigest);
    if (digestResult != kDigestOk) {
        KeyStatus = digestResult;
        return false;
    }
    return true;
}

TMyProcessCertificate::~TMyProcessCertificate() {}

bool TMyProcessCertificate::OnElement(uint32_t tagNumber, uint8_t tagClass, const uint8_t *content,
                                      uint32_t contentLength)
{
    if (tagNumber == kTagOid) {
        if (ContentIs(content, contentLength, kOidRsaEncryption, sizeof kOidRsaEncryption)) {
            LastOid = kOidRsa;
            KeyStatus = kKeyAlgorithmSeen;
        } else if (ContentIs(content, contentLength, kOidCommonName, sizeof kOidCommonName)) {
            LastOid = kOidCn;
        } else {
            LastOid = kOidOther;
        }
        return true;
    }
    if (tagClass != kClassUniversal)
        return true;
    if (tagNumber == kTagBitString && LastOid == kOidRsa)
        return ExtractKey(content, contentLength);
    if ((tagNumber == kTagUtf8String || tagNumber == kTagPrintableString || tagNumber == kTagTeletexString) &&
        LastOid == kOidCn) {
        const uint32_t copied = contentLength < sizeof CommonName - 1 ? contentLength : sizeof CommonName - 1;
        memcpy(CommonName, content, copied);
        CommonName[copied] = '\0';
    }
    return true;
}

// Reads the RSAPublicKey SEQUENCE inside the key BIT STRING far enough to
// find the modulus INTEGER, then digests the modulus.
bool TMyProcessCertificate::ExtractKey(const uint8_t *c, uint32_t n)
{
    KeyStatus = kKeyTaken;

    if (n == 0 || c[0] != 0) {
        KeyStatus = kKeyBadBitString;
        return false;
    }
    c++, n--;

    if (n == 0 || c[0] != 0x30) {
        KeyStatus = kKeyNoSequence;
        return false;
    }
    c++, n--;

    if (n == 0) {
        KeyStatus = kKeySequenceCut;
        return false;
    }
    const uint8_t sequenceLengthOctet = *c++;
    n--;
    uint32_t seqLen;
    if (sequenceLengthOctet < 0x80) {
        seqLen = sequenceLengthOctet;
    } else if (sequenceLengthOctet == 0x81 && n >= 1) {
        seqLen = c[0];
        c++, n--;
    } else if (sequenceLengthOctet == 0x82 && n >= 2) {
        seqLen = static_cast<uint32_t>(c[0]) << 8 | c[1];
        c += 2, n -= 2;
    } else {
        KeyStatus = kKeyBadSequenceLength;
        return false;
    }

    if (n == 0 || seqLen == 0 || c[0] != 0x02) {
        KeyStatus = kKeyNoInteger;
        return false;
    }
    c++, n--, seqLen--;

    if (n == 0 || seqLen == 0) {
        KeyStatus = kKeyIntegerCut;
        return false;
    }
    const uint8_t integerLengthOctet = *c++;
    n--, seqLen--;
    uint32_t intLen;
    if (integerLengthOctet < 0x80) {
        intLen = integerLengthOctet;
    } else if (integerLengthOctet == 0x81 && n >= 1 && seqLen >= 1) {
        intLen = c[0];
        c++, n--, seqLen--;
    } else if (integerLengthOctet == 0x82 && n >= 2 && seqLen >= 2) {
        intLen = static_cast<uint32_t>(c[0]) << 8 | c[1];
        c += 2, n -= 2, seqLen -= 2;
    } else {
        KeyStatus = kKeyBadIntegerLength;
        return false;
    }
    // The public exponent has to follow the modulus.
    if (intLen >= seqLen || intLen >= n) {
        KeyStatus = kKeyBadIntegerLength;
        return false;
    }

    if (intLen > 0 && c[0] == 0) {
        c++;
        intLen--;
    }
    Modulus = c;
    ModulusLength = intLen;

    const int32_t digestResult = DigestModulus(Modulus, ModulusLength, ModulusDigest, sizeof ModulusDigest);
    if (digestResult != kDigestOk) {
        KeyStatus = digestResult;
        return false;
    }
    return true;
}

bool TMyProcessCertificate::GetModulus(const uint8_t **modulus, uint32_t *modulusLength) const
{
    if (!Modulus) {
        *modulus = NULL;
        *modulusLength = 0;
        return false;
    }
    *modulus = Modulus;
    *modulusLength = ModulusLength;
    return true;
}
