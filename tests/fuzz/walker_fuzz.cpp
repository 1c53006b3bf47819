// libFuzzer target: the certificate reader on arbitrary bytes. Besides the
// sanitizers' checks, it aborts when the reader's results break their rules:
// among them, the SubjectPublicKeyInfo it yields lies inside the input, is a
// whole SEQUENCE that walks on its own, and gives a key of its kind a
// digest.

#include "provider/certificate_walker.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

bool IsLowerHex(const char *text)
{
    for (; *text; text++)
        if (!((*text >= '0' && *text <= '9') || (*text >= 'a' && *text <= 'f')))
            return false;
    return true;
}

// The SubjectPublicKeyInfo found in the input: inside it, a SEQUENCE and,
// when the whole input walked, one that walks by itself. Asked of every
// input, walked or not.
bool KeyInfoSound(const uint8_t *data, size_t size, bool walked)
{
    const uint8_t *keyInfo = NULL;
    uint32_t length = 0;
    if (!FindKeyInfo(data, static_cast<uint32_t>(size), &keyInfo, &length))
        return keyInfo == NULL && length == 0;
    if (keyInfo < data || length < 2 || length > size || static_cast<size_t>(keyInfo - data) > size - length ||
        keyInfo[0] != 0x30)
        return false;
    TMyProcessCertificate inner;
    return (!walked || inner.Process(keyInfo, length)) && KindOfKeyInfo(keyInfo, length) != kKeyKindNone;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    TMyProcessCertificate *reader = new (std::nothrow) TMyProcessCertificate;
    if (!reader)
        return 0;
    const bool ok = reader->Process(data, static_cast<uint32_t>(size));
    const char *digest = reader->GetKeyDigest();
    const size_t digestLength = strlen(digest);
    const KeyKind kind = reader->GetKeyKind();

    bool sound = strlen(reader->GetCommonName()) <= 255 && IsLowerHex(digest) &&
                 (digestLength == 0 || digestLength == 40) && KeyInfoSound(data, size, ok);
    if (ok) {
        // Key status 1 may follow an earlier key, whose digest then stays.
        // The reader's key is the one FindKeyInfo locates; a key that is not
        // RSA always has its digest, an RSA key only with its modulus.
        const uint8_t *keyInfo = NULL, *found = NULL;
        uint32_t keyInfoLength = 0, foundLength = 0;
        const bool located = reader->GetKeyInfo(&keyInfo, &keyInfoLength);
        FindKeyInfo(data, static_cast<uint32_t>(size), &found, &foundLength);
        sound = sound && reader->ParseStatus == 0 && reader->KeyStatus >= 0 && reader->KeyStatus <= 2 &&
                keyInfo == found && keyInfoLength == foundLength &&
                (located ? kind == KindOfKeyInfo(keyInfo, keyInfoLength) : kind != kKeyKindOther) &&
                (kind == kKeyKindRsa || kind == kKeyKindNone ? strcmp(digest, reader->GetModulusDigest()) == 0
                                                             : digestLength == 40) &&
                (kind != kKeyKindNone || digestLength == 0);
        if (kind == kKeyKindRsa || kind == kKeyKindNone)
            sound = sound && (reader->KeyStatus != 2 || digestLength == 40) &&
                    (reader->KeyStatus != 0 || digestLength == 0);
    } else {
        const int32_t parse = reader->ParseStatus;
        sound = sound && (parse == 1 || (parse >= 3 && parse <= 12)) &&
                (parse != 12 || (reader->KeyStatus >= 3 && reader->KeyStatus <= 13));
    }
    delete reader;
    if (!sound)
        abort();
    return 0;
}
