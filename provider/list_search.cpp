// The blacklist folder search (see list_search.h): each file is read through
// one bounded buffer and searched chunk by chunk while the bytes are hot,
// up to its first NUL; a file version the knowledge has indexed is not read.
// The indexes are built by a pass of their own, reading the same way.

#include "list_search.h"

#include "list_knowledge.h"
#include "text_search.h"

#include <cstdlib>
#include <cstring>

namespace {

// Bytes of the text before each chunk kept in front of it: enough for any
// fingerprint the export passes (at most 79 characters).
const size_t kCarryBytes = 80;

// Reads a listed file through buffer (kCarryBytes + chunkBytes) up to its
// text's end, searching it for fingerprint (when given) and feeding it to
// builder (when given). False, with the search error, when the file could
// not be read whole.
bool ReadText(FolderSource *folder, const ListEntry &entry, char *buffer, size_t chunkBytes,
              const char *fingerprint, IndexBuilder *builder, FileVersion *opened, bool *found,
              uint32_t *errorCode, uint32_t *errorValue)
{
    uint32_t value = 0;
    *found = false;
    if (!folder->Open(entry.name, opened, &value)) {
        *errorCode = kSearchOpenFailed;
        *errorValue = value;
        return false;
    }

    char *const chunk = buffer + kCarryBytes;
    uint64_t remaining = entry.version.size;
    size_t carry = 0;
    bool read = true;
    while (remaining > 0) {
        const size_t wanted = remaining < chunkBytes ? static_cast<size_t>(remaining) : chunkBytes;
        size_t got = 0;
        if (!folder->Read(chunk, wanted, &got, &value) || got == 0 || got > wanted) {
            *errorCode = kSearchReadFailed;
            *errorValue = value;
            read = false;
            break;
        }
        remaining -= got;
        size_t text = 0;
        if (*found || !fingerprint) {
            text = LengthBeforeNul(chunk, got);
        } else {
            // The carry holds no NUL: the text had not ended before.
            size_t withCarry = 0;
            *found = ContainsTextBeforeNul(chunk - carry, carry + got, fingerprint, &withCarry);
            text = withCarry - carry;
        }
        if (builder)
            builder->Add(chunk, text);
        if (text < got)
            break;  // the text ends at its first NUL
        const size_t kept = carry + got < kCarryBytes ? carry + got : kCarryBytes;
        memmove(buffer + kCarryBytes - kept, chunk + got - kept, kept);
        carry = kept;
    }
    folder->Close();
    if (!read)
        *found = false;
    return read;
}

} // namespace

ListSearch::ListSearch(FolderSource *source, ListKnowledge *known, const char *key, size_t chunk)
    : errorCode(kSearchOk), errorValue(0), folder(source), knowledge(known), fingerprint(key),
      chunkBytes(chunk ? chunk : kChunkBytes), indexable(false), buffer(NULL),
      pass(0), started(false), complete(false)
{
    uint8_t packed[kPackedFingerprintBytes];
    indexable = PackFingerprint(fingerprint, packed);
    memset(&current, 0, sizeof current);
}

ListSearch::~ListSearch()
{
    free(buffer);
}

bool ListSearch::NextListing()
{
    bool have;
    if (!started) {
        started = true;
        if (knowledge)
            pass = knowledge->BeginPass();
        uint32_t code = kSearchOk;
        uint32_t value = 0;
        have = folder->First(&current, &code, &value);
        if (code != kSearchOk) {
            errorCode = code;
            errorValue = value;
        }
    } else if (complete) {
        return false;
    } else {
        have = folder->Next(&current);
    }
    for (; have; have = folder->Next(&current)) {
        if (FileLists(current))
            return true;
    }
    complete = true;
    return false;
}

void ListSearch::Finish()
{
    folder->End();
    if (knowledge && complete)
        knowledge->EndPass(pass);
}

bool ListSearch::FileLists(const ListEntry &entry)
{
    if (entry.version.size >= kBlacklistSizeLimit)
        return false;

    ListKnowledge::Plan plan = ListKnowledge::kRead;
    FingerprintIndex *index = NULL;
    if (knowledge && indexable)
        plan = knowledge->Consult(entry, pass, &index);
    if (plan == ListKnowledge::kUseIndex) {
        uint8_t packed[kPackedFingerprintBytes];
        const bool found = PackFingerprint(fingerprint, packed) && IndexContains(index, packed);
        ReleaseIndex(index);
        return found;
    }

    if (!buffer) {
        buffer = static_cast<char *>(malloc(kCarryBytes + chunkBytes));
        if (!buffer) {
            errorCode = kSearchNoBuffer;
            return false;
        }
    }
    const uint64_t readAt = knowledge ? folder->Now() : 0;
    FileVersion opened;
    memset(&opened, 0, sizeof opened);
    bool found = false;
    const bool read =
        ReadText(folder, entry, buffer, chunkBytes, fingerprint, NULL, &opened, &found, &errorCode, &errorValue);
    if (knowledge && indexable && read)
        knowledge->Learned(entry, opened, readAt, folder->SettledTicks(), NULL, pass);
    return read && found;
}

void BuildWantedIndexes(FolderSource *folder, ListKnowledge *knowledge, size_t chunkBytes)
{
    if (!chunkBytes)
        chunkBytes = ListSearch::kChunkBytes;
    char *buffer = static_cast<char *>(malloc(kCarryBytes + chunkBytes));
    ListEntry entry;
    uint32_t errorCode = kSearchOk, errorValue = 0;
    for (bool have = folder->First(&entry, &errorCode, &errorValue); have; have = folder->Next(&entry)) {
        if (entry.version.size >= kBlacklistSizeLimit || !knowledge->TakeBuild(entry))
            continue;
        IndexBuilder builder(entry.version.size);
        const uint64_t readAt = folder->Now();
        FileVersion opened;
        memset(&opened, 0, sizeof opened);
        bool found = false;
        if (buffer && ReadText(folder, entry, buffer, chunkBytes, NULL, &builder, &opened, &found, &errorCode,
                               &errorValue))
            knowledge->Learned(entry, opened, readAt, folder->SettledTicks(), &builder, 0);
        else
            knowledge->GiveUpBuild(entry);
    }
    folder->End();
    free(buffer);
}
