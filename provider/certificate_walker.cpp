// Certificate walker and certificate reader (see certificate_walker.h).

#include "certificate_walker.h"

#include "sha1_digest.h"

#include <cstring>

namespace {

const uint8_t kOidRsaEncryption[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
const uint8_t kOidCommonName[] = {0x55, 0x04, 0x03};

enum LastOidValue : int32_t { kOidOther = 0, kOidRsa = 1, kOidCn = 2 };

const uint8_t kClassUniversal = 0;
const uint32_t kTagBitString = 3;
const uint32_t kTagOid = 6;
const uint32_t kTagUtf8String = 12;
const uint32_t kTagPrintableString = 19;
const uint32_t kTagTeletexString = 20;

bool ContentIs(const uint8_t *content, uint32_t contentLength, const uint8_t *oid, uint32_t oidLength)
{
    return contentLength == oidLength && memcmp(content, oid, oidLength) == 0;
}

} // namespace

TProcessCertificate::TProcessCertificate() : ParseStatus(kParseNotWalked) {}

TProcessCertificate::~TProcessCertificate() {}

bool TProcessCertificate::Process(const uint8_t *bytes, uint32_t length)
{
    if (!bytes || length == 0) {
        ParseStatus = kParseNoBytes;
        return false;
    }
    const bool ok = Walk(0, bytes, length);
    if (ok)
        ParseStatus = kParseComplete;
    return ok;
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
        const uint8_t identifier = *p++;
        const uint8_t tagClass = static_cast<uint8_t>(identifier >> 6);
        const bool constructed = (identifier & 0x20) != 0;

        uint32_t tagNumber = identifier & 0x1F;
        if (tagNumber == 0x1F) {
            // High tag number form: up to four octets of seven bits each.
            tagNumber = 0;
            int octets = 0;
            for (;;) {
                if (p == end || octets == 4) {
                    ParseStatus = kParseBadTagNumber;
                    return false;
                }
                const uint8_t octet = *p++;
                octets++;
                tagNumber = (tagNumber << 7) | (octet & 0x7F);
                if ((octet & 0x80) == 0)
                    break;
            }
        }

        if (p == end) {
            ParseStatus = kParseNoLength;
            return false;
        }
        const uint8_t lengthOctet = *p++;
        uint32_t contentLength = lengthOctet;
        if (lengthOctet & 0x80) {
            const uint32_t count = lengthOctet & 0x7F;
            if (count == 0) {
                ParseStatus = kParseIndefiniteLength;
                return false;
            }
            if (count > 4) {
                ParseStatus = kParseLengthTooLong;
                return false;
            }
            contentLength = 0;
            for (uint32_t i = 0; i < count; i++) {
                if (p == end) {
                    ParseStatus = kParseLengthCut;
                    return false;
                }
                contentLength = (contentLength << 8) | *p++;
            }
        }

        if (contentLength > length) {
            ParseStatus = kParseContentTooLong;
            return false;
        }
        if (contentLength > static_cast<uint32_t>(end - p)) {
            ParseStatus = kParseContentPastEnd;
            return false;
        }

        if (constructed) {
            ok = Walk(depth + 1, p, contentLength);
        } else {
            ok = OnElement(tagNumber, tagClass, p, contentLength);
            if (!ok)
                ParseStatus = kParseElementRefused;
        }
        if (!ok)
            return false;
        p += contentLength;
    }
    return ok;
}

TMyProcessCertificate::TMyProcessCertificate()
    : KeyStatus(kKeyNone), LastOid(kOidOther), Modulus(NULL), ModulusLength(0)
{
    ModulusDigest[0] = '\0';
    CommonName[0] = '\0';
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
