// libFuzzer target: the certificate reader on arbitrary bytes. Besides the
// sanitizers' checks, it aborts when the reader's results break their rules.

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    TMyProcessCertificate *reader = new (std::nothrow) TMyProcessCertificate;
    if (!reader)
        return 0;
    const bool ok = reader->Process(data, static_cast<uint32_t>(size));
    const char *digest = reader->GetModulusDigest();
    const size_t digestLength = strlen(digest);

    bool sound = strlen(reader->GetCommonName()) <= 255 && IsLowerHex(digest) &&
                 (digestLength == 0 || digestLength == 40);
    if (ok) {
        // Key status 1 may follow an earlier key, whose digest then stays.
        sound = sound && reader->ParseStatus == 0 && reader->KeyStatus >= 0 && reader->KeyStatus <= 2 &&
                (reader->KeyStatus != 2 || digestLength == 40) && (reader->KeyStatus != 0 || digestLength == 0);
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
