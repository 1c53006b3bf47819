// The certificate walker and reader on crafted encodings: every walk failure
// and key failure code, the markers, common names and modulus boundaries,
// and the SubjectPublicKeyInfo of keys of every kind.

#include "provider/certificate_walker.h"
#include "provider/sha1_digest.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

const Bytes kRsaOid = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
const Bytes kCnOid = {0x06, 0x03, 0x55, 0x04, 0x03};
const Bytes kOtherOid = {0x06, 0x03, 0x55, 0x04, 0x06};
const Bytes kNull = {0x05, 0x00};
const Bytes kExponent = {0x02, 0x03, 0x01, 0x00, 0x01};

struct Outcome {
    bool ok;
    int32_t parseStatus;
    int32_t keyStatus;
    Bytes modulus;  // as GetModulus gives it, empty when it fails
    std::string digest;
    std::string commonName;
};

Outcome Read(const Bytes &der)
{
    TMyProcessCertificate reader;
    Outcome o;
    o.ok = reader.Process(der.data(), static_cast<uint32_t>(der.size()));
    o.parseStatus = reader.ParseStatus;
    o.keyStatus = reader.KeyStatus;
    const uint8_t *modulus = nullptr;
    uint32_t length = 0;
    if (reader.GetModulus(&modulus, &length))
        o.modulus.assign(modulus, modulus + length);
    o.digest = reader.GetModulusDigest();
    o.commonName = reader.GetCommonName();
    return o;
}

// A failed walk, written [parse/key] as in the error message.
::testing::AssertionResult Fails(const Bytes &der, int32_t parseStatus, int32_t keyStatus)
{
    const Outcome o = Read(der);
    if (!o.ok && o.parseStatus == parseStatus && o.keyStatus == keyStatus)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got ok=" << o.ok << " [" << o.parseStatus << "/" << o.keyStatus
                                         << "], want [" << parseStatus << "/" << keyStatus << "]";
}

Bytes KeyInfo(const Bytes &bitStringContent)
{
    return Sequence({Sequence({kRsaOid, kNull}), Tlv(0x03, bitStringContent)});
}

Bytes RsaKeyBits(const Bytes &integerContent)
{
    return Concat({Bytes{0x00}, Sequence({Tlv(0x02, integerContent), kExponent})});
}

Bytes Name(std::initializer_list<Bytes> attributes)
{
    Bytes rdns;
    for (const Bytes &attribute : attributes)
        rdns = Concat({rdns, Tlv(0x31, attribute)});
    return Tlv(0x30, rdns);
}

Bytes Cn(uint8_t stringTag, const std::string &value)
{
    return Sequence({kCnOid, Text(stringTag, value)});
}

std::string DigestOf(const Bytes &modulus)
{
    char digest[80];
    EXPECT_EQ(kDigestOk, DigestModulus(modulus.data(), static_cast<uint32_t>(modulus.size()), digest, sizeof digest));
    return digest;
}

TEST(CertificateWalker, ReadsKeyAndCommonNameOfACertificateShape)
{
    Bytes modulus(128, 0xC5);
    const Bytes der = Sequence({
        Sequence({Tlv(0xA0, Bytes{0x02, 0x01, 0x02}), Bytes{0x02, 0x01, 0x01}, Sequence({kOtherOid, kNull}),
                  Name({Cn(0x13, "Issuer CA")}), Sequence({Text(0x17, "250101000000Z")}),
                  Name({Sequence({kOtherOid, Text(0x13, "AT")}), Cn(0x0C, "www.example.test")}),
                  KeyInfo(RsaKeyBits(Concat({Bytes{0x00}, modulus}))),
                  Tlv(0xA3, Sequence({Sequence({kCnOid, Tlv(0x04, Text(0x0C, "not a name"))})}))}),
        Sequence({kOtherOid, kNull}),
        Tlv(0x03, Bytes{0x00, 0x30, 0x00}),
    });
    const Outcome o = Read(der);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(0, o.parseStatus);
    EXPECT_EQ(2, o.keyStatus);
    EXPECT_EQ(DigestOf(modulus), o.digest);
    EXPECT_EQ(40u, o.digest.size());
    EXPECT_EQ("www.example.test", o.commonName);
    EXPECT_EQ(modulus, o.modulus);

    // Before a walk there is no modulus.
    TMyProcessCertificate reader;
    const uint8_t *found = nullptr;
    uint32_t foundLength = 99;
    EXPECT_FALSE(reader.GetModulus(&found, &foundLength));
    EXPECT_EQ(nullptr, found);
    EXPECT_EQ(0u, foundLength);
}

// tbsCertificate fields around a SubjectPublicKeyInfo, with or without the
// [0] version, in a Certificate.
Bytes CertificateWith(const Bytes &keyInfo, bool version = true)
{
    const Bytes fields = Concat({Bytes{0x02, 0x01, 0x01}, Sequence({kOtherOid, kNull}), Name({Cn(0x13, "CA")}),
                                 Sequence({Text(0x17, "250101000000Z")}), Name({Cn(0x0C, "site")}), keyInfo,
                                 Tlv(0xA3, Sequence({Sequence({kOtherOid, Tlv(0x04, Bytes{0x30, 0x00})})}))});
    return Sequence({Tlv(0x30, version ? Concat({Tlv(0xA0, Bytes{0x02, 0x01, 0x02}), fields}) : fields),
                     Sequence({kOtherOid, kNull}), Tlv(0x03, Bytes{0x00, 0x30, 0x00})});
}

std::string Sha1HexOf(const Bytes &bytes)
{
    Sha1Context context;
    uint8_t digest[kSha1HashSize];
    Sha1Reset(&context);
    Sha1Input(&context, bytes.data(), static_cast<uint32_t>(bytes.size()));
    Sha1Result(&context, digest);
    return ToHex(digest, sizeof digest);
}

Bytes AlgorithmKey(const Bytes &algorithm, const Bytes &bits)
{
    return Sequence({algorithm, Tlv(0x03, Concat({Bytes{0x00}, bits}))});
}

// The walker yields the certificate's SubjectPublicKeyInfo; a key that is
// not RSA is digested whole, whatever its algorithm or contents, an RSA key
// keeps its modulus digest.
TEST(CertificateWalker, KeyInfoOfEveryKind)
{
    const Bytes ecOid = Tlv(0x06, Bytes{0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01});
    const Bytes p256 = Tlv(0x06, Bytes{0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07});
    const Bytes point = Concat({Bytes{0x04}, Bytes(64, 0x5A)});
    const Bytes rsa = KeyInfo(RsaKeyBits(Bytes{0x00, 0xC1, 0x02}));
    const struct {
        const char *what;
        Bytes keyInfo;
        bool version;
        KeyKind kind;
    } cases[] = {
        {"EC P-256", AlgorithmKey(Sequence({ecOid, p256}), point), true, kKeyKindEc},
        {"EC, no version", AlgorithmKey(Sequence({ecOid, p256}), point), false, kKeyKindEc},
        {"EC point too short", AlgorithmKey(Sequence({ecOid, p256}), Bytes{0x04, 0x01}), true, kKeyKindEc},
        {"Ed25519", AlgorithmKey(Sequence({Tlv(0x06, Bytes{0x2B, 0x65, 0x70})}), Bytes(32, 0x11)), true,
         kKeyKindEd25519},
        {"Ed448", AlgorithmKey(Sequence({Tlv(0x06, Bytes{0x2B, 0x65, 0x71})}), Bytes(57, 0x11)), true, kKeyKindEd448},
        {"DSA", AlgorithmKey(Sequence({Tlv(0x06, Bytes{0x2A, 0x86, 0x48, 0xCE, 0x38, 0x04, 0x01})}), Bytes{0x02, 0x01, 0x05}),
         true, kKeyKindDsa},
        {"empty OID", AlgorithmKey(Sequence({Bytes{0x06, 0x00}}), point), true, kKeyKindOther},
        {"OID of 200 bytes", AlgorithmKey(Sequence({Tlv(0x06, Bytes(200, 0x81))}), point), true, kKeyKindOther},
        {"no algorithm", Sequence({Tlv(0x03, point)}), true, kKeyKindOther},
        {"empty key info", Bytes{0x30, 0x00}, true, kKeyKindOther},
        {"RSA", rsa, true, kKeyKindRsa},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes der = CertificateWith(c.keyInfo, c.version);
        TMyProcessCertificate reader;
        ASSERT_TRUE(reader.Process(der.data(), static_cast<uint32_t>(der.size())));
        const uint8_t *keyInfo = nullptr;
        uint32_t length = 0;
        ASSERT_TRUE(reader.GetKeyInfo(&keyInfo, &length));
        EXPECT_EQ(c.keyInfo, Bytes(keyInfo, keyInfo + length));
        EXPECT_TRUE(keyInfo > der.data() && keyInfo + length < der.data() + der.size());
        EXPECT_EQ(c.kind, reader.GetKeyKind());
        EXPECT_EQ(c.kind == kKeyKindRsa ? DigestOf(Bytes{0xC1, 0x02}) : Sha1HexOf(c.keyInfo), reader.GetKeyDigest());
        EXPECT_EQ(c.kind == kKeyKindRsa ? 2 : 0, reader.KeyStatus);
    }
}

// Bytes with no SubjectPublicKeyInfo where a certificate has it yield none
// and, without an RSA modulus, no key; a SubjectPublicKeyInfo that does not
// fit fails the walk with the usual codes.
TEST(CertificateWalker, KeyInfoMissingOrBroken)
{
    const Bytes ed25519 = AlgorithmKey(Sequence({Tlv(0x06, Bytes{0x2B, 0x65, 0x70})}), Bytes(32, 0x11));
    const Bytes fiveFields = Sequence({Sequence({Bytes{0x02, 0x01, 0x01}, Sequence({kOtherOid}), Bytes{0x30, 0x00},
                                                 Bytes{0x30, 0x00}, ed25519})});
    const Bytes notASequence = CertificateWith(Tlv(0x31, ed25519));
    for (const Bytes &der : {fiveFields, notASequence, ed25519}) {
        TMyProcessCertificate reader;
        EXPECT_TRUE(reader.Process(der.data(), static_cast<uint32_t>(der.size())));
        const uint8_t *keyInfo = der.data();
        uint32_t length = 7;
        EXPECT_FALSE(reader.GetKeyInfo(&keyInfo, &length));
        EXPECT_EQ(nullptr, keyInfo);
        EXPECT_EQ(0u, length);
        EXPECT_EQ(kKeyKindNone, reader.GetKeyKind());
        EXPECT_STREQ("", reader.GetKeyDigest());
    }

    // Longer than the certificate, running past its end, or cut short.
    Bytes tooLong = CertificateWith(ed25519);
    const size_t at = static_cast<size_t>(std::search(tooLong.begin(), tooLong.end(), ed25519.begin(), ed25519.end()) -
                                          tooLong.begin()) + 1;  // the key info's length octet
    ASSERT_EQ(ed25519.size() - 2, tooLong[at]);
    tooLong[at] = 0x7F;
    EXPECT_TRUE(Fails(tooLong, 10, 0));
    tooLong[at] = 0x81;  // 0x30 octets
    EXPECT_TRUE(Fails(tooLong, 11, 0));
    EXPECT_TRUE(Fails(Bytes(tooLong.begin(), tooLong.begin() + static_cast<long>(at) + 10), 10, 0));

    // The digest's allocation failures, as for a modulus.
    const Bytes der = CertificateWith(ed25519);
    FailNothrowAllocationsAfter(0);
    EXPECT_TRUE(Fails(der, 12, 10));
    FailNothrowAllocationsAfter(1);
    EXPECT_TRUE(Fails(der, 12, 11));
    FailNothrowAllocationsAfter(-1);
}

TEST(CertificateWalker, OnlyOneLeadingZeroIsDropped)
{
    const Outcome twoZeros = Read(KeyInfo(RsaKeyBits(Bytes{0x00, 0x00, 0xAB, 0xCD})));
    EXPECT_EQ((Bytes{0x00, 0xAB, 0xCD}), twoZeros.modulus);
    EXPECT_EQ(DigestOf(Bytes{0x00, 0xAB, 0xCD}), twoZeros.digest);

    // Without a leading zero, and with the short length form of small keys.
    EXPECT_EQ(DigestOf(Bytes{0x7F, 0x01}), Read(KeyInfo(RsaKeyBits(Bytes{0x7F, 0x01}))).digest);
    EXPECT_EQ(DigestOf(Bytes(64, 0x80)), Read(KeyInfo(RsaKeyBits(Concat({Bytes{0x00}, Bytes(64, 0x80)})))).digest);
}

TEST(CertificateWalker, KeysOtherThanRsaGiveNoDigest)
{
    const Bytes ecKey = Sequence({Sequence({Tlv(0x06, Bytes{0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01}),
                                            Tlv(0x06, Bytes{0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07})}),
                                  Tlv(0x03, Bytes{0x00, 0x04, 0x01, 0x02})});
    const Outcome o = Read(ecKey);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(0, o.parseStatus);
    EXPECT_EQ(0, o.keyStatus);
    EXPECT_EQ("", o.digest);

    // rsaEncryption followed by a context-specific element instead of the key.
    const Outcome noKey = Read(Sequence({kRsaOid, Tlv(0x80, Bytes{0x00, 0x30})}));
    EXPECT_TRUE(noKey.ok);
    EXPECT_EQ(1, noKey.keyStatus);
    EXPECT_EQ("", noKey.digest);
}

// Empty constructed elements (an empty subject name, an empty SET, an empty
// context-specific element) are walked past like any other element.
TEST(CertificateWalker, EmptyConstructedElementsWalkOn)
{
    const Bytes key = KeyInfo(RsaKeyBits(Bytes{0x00, 0xAB, 0xCD}));
    const struct {
        Bytes der;
        int32_t keyStatus;
        bool digested;
    } cases[] = {
        {Bytes{0x30, 0x00}, 0, false},
        {Sequence({kRsaOid, Bytes{0x30, 0x00}}), 1, false},
        {Sequence({Bytes{0x31, 0x00}, Bytes{0xA0, 0x00}, Bytes{0x30, 0x00}}), 0, false},
        {Sequence({Bytes{0x30, 0x00}, key}), 2, true},
        {Sequence({key, Bytes{0x30, 0x00}}), 2, true},
    };
    for (const auto &c : cases) {
        const Outcome o = Read(c.der);
        EXPECT_TRUE(o.ok) << ToHex(c.der.data(), c.der.size());
        EXPECT_EQ(0, o.parseStatus) << ToHex(c.der.data(), c.der.size());
        EXPECT_EQ(c.keyStatus, o.keyStatus) << ToHex(c.der.data(), c.der.size());
        EXPECT_EQ(c.digested ? DigestOf(Bytes{0xAB, 0xCD}) : "", o.digest) << ToHex(c.der.data(), c.der.size());
    }
}

TEST(CertificateWalker, WalkFailureCodes)
{
    TMyProcessCertificate reader;
    EXPECT_FALSE(reader.Process(nullptr, 10));
    EXPECT_EQ(3, reader.ParseStatus);
    const uint8_t one = 0x05;
    TMyProcessCertificate empty;
    EXPECT_FALSE(empty.Process(&one, 0));
    EXPECT_EQ(3, empty.ParseStatus);

    EXPECT_TRUE(Fails(Bytes{0x1F, 0x81, 0x80, 0x80, 0x80, 0x00, 0x00}, 5, 0));
    EXPECT_TRUE(Fails(Bytes{0x1F, 0x81}, 5, 0));
    EXPECT_TRUE(Fails(Bytes{0x04}, 6, 0));
    EXPECT_TRUE(Fails(Bytes{0x1F, 0x81, 0x00}, 6, 0));
    EXPECT_TRUE(Fails(Bytes{0x30, 0x80, 0x05, 0x00, 0x00, 0x00}, 7, 0));
    EXPECT_TRUE(Fails(Bytes{0x30, 0x85, 0x00, 0x00, 0x00, 0x00, 0x01, 0x05}, 8, 0));
    EXPECT_TRUE(Fails(Bytes{0x30, 0x82, 0x01}, 9, 0));

    Bytes announcedTooMuch(200, 0x00);
    announcedTooMuch[0] = 0x30, announcedTooMuch[1] = 0x81, announcedTooMuch[2] = 0xC6;
    EXPECT_TRUE(Fails(announcedTooMuch, 11, 0));
    announcedTooMuch[2] = 0xC9;
    EXPECT_TRUE(Fails(announcedTooMuch, 10, 0));
    // Content longer than the enclosing range, inside a larger input.
    EXPECT_TRUE(Fails(Concat({Bytes{0x30, 0x02, 0x04, 0x05}, Bytes(8, 0x00)}), 10, 0));
}

TEST(CertificateWalker, LengthAndTagFormsThatAreWalked)
{
    EXPECT_TRUE(Read(Bytes{0x30, 0x81, 0x02, 0x05, 0x00}).ok);
    EXPECT_TRUE(Read(Bytes{0x30, 0x82, 0x00, 0x02, 0x05, 0x00}).ok);
    EXPECT_TRUE(Read(Bytes{0x30, 0x84, 0x00, 0x00, 0x00, 0x02, 0x05, 0x00}).ok);
    EXPECT_TRUE(Read(Bytes{0x9F, 0x81, 0x80, 0x80, 0x00, 0x00}).ok);  // four-octet tag number
    EXPECT_TRUE(Read(Bytes{0x05, 0x00, 0x05, 0x00}).ok);
}

TEST(CertificateWalker, NestingLimit)
{
    auto nested = [](int levels) {
        Bytes der = {0x05, 0x00};
        for (int i = 0; i < levels; i++)
            der = Tlv(0x30, der);
        return der;
    };
    EXPECT_TRUE(Read(nested(1024)).ok);
    EXPECT_TRUE(Fails(nested(1025), 4, 0));
}

TEST(CertificateWalker, KeyFailureCodes)
{
    struct Case {
        Bytes bitString;
        int32_t keyStatus;
    } cases[] = {
        {{}, 3},
        {{0x01, 0x30, 0x00}, 3},
        {{0x00}, 4},
        {{0x00, 0x31, 0x05}, 4},
        {{0x00, 0x30}, 5},
        {{0x00, 0x30, 0x80, 0x02}, 6},
        {{0x00, 0x30, 0x83, 0x00, 0x00, 0x05}, 6},
        {{0x00, 0x30, 0x81}, 6},
        {{0x00, 0x30, 0x82, 0x01}, 6},
        {{0x00, 0x30, 0x05}, 7},
        {{0x00, 0x30, 0x00, 0x02, 0x01, 0x05}, 7},
        {{0x00, 0x30, 0x05, 0x03, 0x01, 0x05}, 7},
        {{0x00, 0x30, 0x05, 0x02}, 8},
        {{0x00, 0x30, 0x01, 0x02, 0x01, 0x05}, 8},
        {{0x00, 0x30, 0x08, 0x02, 0x83, 0x00, 0x00, 0x01, 0x05}, 9},
        {{0x00, 0x30, 0x08, 0x02, 0x81}, 9},
        {{0x00, 0x30, 0x08, 0x02, 0x82, 0x00}, 9},
        {{0x00, 0x30, 0x02, 0x02, 0x81, 0x01, 0x05, 0x02}, 9},   // 0x81 with no room in the SEQUENCE
        {{0x00, 0x30, 0x05, 0x02, 0x03, 0x01, 0x02, 0x03}, 9},   // modulus fills the SEQUENCE
        {{0x00, 0x30, 0x09, 0x02, 0x03, 0x01, 0x02, 0x03}, 9},   // modulus fills the BIT STRING
        {{0x00, 0x30, 0x09, 0x02, 0x81, 0x7F, 0x01}, 9},
    };
    for (const Case &c : cases)
        EXPECT_TRUE(Fails(KeyInfo(c.bitString), 12, c.keyStatus)) << ToHex(c.bitString.data(), c.bitString.size());
    // The SEQUENCE length is not held against the BIT STRING: a short key works.
    EXPECT_EQ(DigestOf(Bytes{0x01}), Read(KeyInfo(Bytes{0x00, 0x30, 0x7F, 0x02, 0x01, 0x01, 0x02})).digest);
}

TEST(CertificateWalker, DigestFailuresEndTheWalk)
{
    const Bytes der = KeyInfo(RsaKeyBits(Bytes{0x00, 0xC1, 0x02}));
    FailNothrowAllocationsAfter(0);
    EXPECT_TRUE(Fails(der, 12, 10));  // no digest object
    FailNothrowAllocationsAfter(1);
    EXPECT_TRUE(Fails(der, 12, 11));  // no digest context
    FailNothrowAllocationsAfter(-1);
}

TEST(CertificateWalker, SignatureAlgorithmRsaEncryptionMakesTheSignatureAKey)
{
    const Bytes good = KeyInfo(RsaKeyBits(Bytes{0x00, 0xC1, 0x02}));
    EXPECT_TRUE(Fails(Concat({Tlv(0x30, Concat({good, Sequence({kRsaOid, kNull}), Tlv(0x03, Bytes{0x00, 0x5A, 0x11})}))}), 12, 4));
}

TEST(CertificateWalker, CommonNameRules)
{
    const Bytes issuer = Name({Cn(0x13, "Issuer")});
    // The subject's last common name wins.
    EXPECT_EQ("second", Read(Sequence({issuer, Name({Cn(0x13, "first"), Cn(0x0C, "second")})})).commonName);
    // A subject without one keeps the issuer's.
    EXPECT_EQ("Issuer", Read(Sequence({issuer, Name({Sequence({kOtherOid, Text(0x13, "AT")})})})).commonName);
    // IA5String and BMPString are not taken; TeletexString is, bytes as they are.
    EXPECT_EQ("Issuer", Read(Sequence({issuer, Name({Cn(0x16, "ia5")})})).commonName);
    EXPECT_EQ("Issuer", Read(Sequence({issuer, Name({Cn(0x1E, std::string("\0b\0m", 4))})})).commonName);
    EXPECT_EQ("M\xFC""nchen", Read(Sequence({issuer, Name({Cn(0x14, "M\xFC""nchen")})})).commonName);
    // A long name keeps its first 255 bytes.
    const std::string longName(300, 'n');
    EXPECT_EQ(longName.substr(0, 255), Read(Sequence({issuer, Name({Cn(0x0C, longName)})})).commonName);
    // The marker stays until the next identifier, whatever comes between.
    EXPECT_EQ("later", Read(Sequence({kCnOid, kNull, Tlv(0x80, Bytes{1}), Text(0x13, "later")})).commonName);
    // A context-specific identifier sets the marker like a universal one; a
    // context-specific string is not taken.
    EXPECT_EQ("ctx", Read(Sequence({Tlv(0x86, Bytes{0x55, 0x04, 0x03}), Text(0x13, "ctx")})).commonName);
    EXPECT_EQ("", Read(Sequence({kCnOid, Text(0x8C, "no")})).commonName);
    // An empty value empties the name.
    EXPECT_EQ("", Read(Sequence({issuer, Name({Cn(0x13, "")})})).commonName);
}

} // namespace
