// SHA-1 and the modulus digest (see sha1_digest.h).

#include "sha1_digest.h"

#include "../common/bounded_string.h"
#include "sha1_blocks.h"

#include <cstring>
#include <new>

namespace {

const uint32_t kInitialChainingValues[5] = {
    0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u,
};

// Adds a byte count to the 64-bit bit length; false when it overflows.
bool AddToLength(Sha1Context *context, uint32_t byteCount)
{
    const uint64_t bits = static_cast<uint64_t>(byteCount) * 8;
    const uint64_t total = (static_cast<uint64_t>(context->lengthHigh) << 32 | context->lengthLow) + bits;
    if (total < bits)
        return false;
    context->lengthLow = static_cast<uint32_t>(total);
    context->lengthHigh = static_cast<uint32_t>(total >> 32);
    return true;
}

void PadMessage(Sha1Context *context)
{
    context->block[context->blockIndex++] = 0x80;
    if (context->blockIndex > 56) {
        memset(context->block + context->blockIndex, 0, 64 - context->blockIndex);
        Sha1CompressBlocks(context->chainingValues, context->block, 1);
        context->blockIndex = 0;
    }
    memset(context->block + context->blockIndex, 0, 56 - context->blockIndex);
    for (int i = 0; i < 4; i++) {
        context->block[56 + i] = static_cast<uint8_t>(context->lengthHigh >> (24 - 8 * i));
        context->block[60 + i] = static_cast<uint8_t>(context->lengthLow >> (24 - 8 * i));
    }
    Sha1CompressBlocks(context->chainingValues, context->block, 1);
}

} // namespace

int32_t Sha1Reset(Sha1Context *context)
{
    if (!context)
        return kSha1Null;
    memset(context, 0, sizeof *context);
    memcpy(context->chainingValues, kInitialChainingValues, sizeof kInitialChainingValues);
    return kSha1Success;
}

int32_t Sha1Input(Sha1Context *context, const uint8_t *bytes, uint32_t length)
{
    if (length == 0)
        return kSha1Success;
    if (!context || !bytes)
        return kSha1Null;
    if (context->computed) {
        context->corrupted = kSha1StateError;
        return kSha1StateError;
    }
    if (context->corrupted)
        return context->corrupted;
    if (!AddToLength(context, length)) {
        context->corrupted = kSha1Null;
        return kSha1Null;
    }

    // Top up a partly filled block, then hash whole blocks straight from the input.
    if (context->blockIndex > 0) {
        uint32_t take = 64 - context->blockIndex;
        if (take > length)
            take = length;
        memcpy(context->block + context->blockIndex, bytes, take);
        context->blockIndex = static_cast<int16_t>(context->blockIndex + take);
        bytes += take;
        length -= take;
        if (context->blockIndex < 64)
            return kSha1Success;
        Sha1CompressBlocks(context->chainingValues, context->block, 1);
        context->blockIndex = 0;
    }
    Sha1CompressBlocks(context->chainingValues, bytes, length / 64);
    bytes += length / 64 * 64;
    length %= 64;
    memcpy(context->block, bytes, length);
    context->blockIndex = static_cast<int16_t>(length);
    return kSha1Success;
}

int32_t Sha1Result(Sha1Context *context, uint8_t digest[kSha1HashSize])
{
    if (!context || !digest)
        return kSha1Null;
    if (context->corrupted)
        return context->corrupted;
    if (!context->computed) {
        PadMessage(context);
        memset(context->block, 0, sizeof context->block);
        context->lengthLow = 0;
        context->lengthHigh = 0;
        context->computed = 1;
    }
    for (int i = 0; i < kSha1HashSize; i++)
        digest[i] = static_cast<uint8_t>(context->chainingValues[i / 4] >> (24 - 8 * (i % 4)));
    return kSha1Success;
}

TSha1Digest::TSha1Digest() : context(new (std::nothrow) Sha1Context)
{
    memset(digest, 0, sizeof digest);
    hex[0] = '\0';
    if (context)
        Reset();
}

TSha1Digest::~TSha1Digest()
{
    delete context;
}

bool TSha1Digest::Reset()
{
    if (!context)
        return false;
    memset(digest, 0, sizeof digest);
    hex[0] = '\0';
    return Sha1Reset(context) == kSha1Success;
}

bool TSha1Digest::Update(const uint8_t *bytes, int32_t length)
{
    if (!context || length < 0)
        return false;
    return Sha1Input(context, bytes, static_cast<uint32_t>(length)) == kSha1Success;
}

bool TSha1Digest::Finish()
{
    if (!context)
        return false;
    return Sha1Result(context, digest) == kSha1Success;
}

const char *TSha1Digest::GetHex()
{
    // Two lower-case digits a byte, by table: a formatting call per byte
    // would cost more than the whole digest of a short text.
    static const char kDigits[] = "0123456789abcdef";
    for (int i = 0; i < kSha1HashSize; i++) {
        hex[2 * i] = kDigits[digest[i] >> 4];
        hex[2 * i + 1] = kDigits[digest[i] & 0x0F];
    }
    hex[2 * kSha1HashSize] = '\0';
    return hex;
}

namespace {

// Feeds the modulus as upper-case hex in pieces, so that a modulus of any
// length is hashed whole.
bool UpdateWithHex(TSha1Digest *sha, const uint8_t *modulus, uint32_t length)
{
    static const char kHexDigits[] = "0123456789ABCDEF";
    char piece[1024];
    uint32_t used = 0;
    for (uint32_t i = 0; i < length; i++) {
        piece[used++] = kHexDigits[modulus[i] >> 4];
        piece[used++] = kHexDigits[modulus[i] & 0x0F];
        if (used == sizeof piece) {
            if (!sha->Update(reinterpret_cast<const uint8_t *>(piece), static_cast<int32_t>(used)))
                return false;
            used = 0;
        }
    }
    return sha->Update(reinterpret_cast<const uint8_t *>(piece), static_cast<int32_t>(used));
}

// Takes the digest and copies its hex text into destination: the last
// steps of both key digests.
int32_t FinishDigestInto(TSha1Digest *sha, char *destination, size_t capacity)
{
    if (!sha->Finish())
        return kDigestFinishFailed;
    const char *hexText = sha->GetHex();
    if (!hexText || hexText[0] == '\0')
        return kDigestEmptyText;
    BoundedCopy(destination, capacity, hexText);
    return kDigestOk;
}

} // namespace

int32_t DigestModulus(const uint8_t *modulus, uint32_t length, char *destination, size_t capacity)
{
    static const char kPrefix[] = "Modulus=";
    static const char kSuffix[] = "\n";

    TSha1Digest *sha = new (std::nothrow) TSha1Digest;
    if (!sha)
        return kDigestNoObject;

    int32_t result = kDigestUpdateFailed;
    if (sha->Update(reinterpret_cast<const uint8_t *>(kPrefix), sizeof kPrefix - 1) && (length == 0 || modulus) &&
        UpdateWithHex(sha, modulus, length) &&
        sha->Update(reinterpret_cast<const uint8_t *>(kSuffix), sizeof kSuffix - 1))
        result = FinishDigestInto(sha, destination, capacity);
    delete sha;
    return result;
}

int32_t DigestKeyInfo(const uint8_t *keyInfo, uint32_t length, char *destination, size_t capacity)
{
    TSha1Digest *sha = new (std::nothrow) TSha1Digest;
    if (!sha)
        return kDigestNoObject;

    int32_t result = kDigestUpdateFailed;
    if (length <= 0x7FFFFFFFu && (length == 0 || keyInfo) && sha->Update(keyInfo, static_cast<int32_t>(length)))
        result = FinishDigestInto(sha, destination, capacity);
    delete sha;
    return result;
}
