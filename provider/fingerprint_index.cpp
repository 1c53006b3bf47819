// The fingerprint index (see fingerprint_index.h). Records are big-endian
// nibbles, so memcmp order is the order of the texts.

#include "fingerprint_index.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

struct FingerprintIndex {
    std::atomic<long> references;
    size_t count;
    uint8_t records[1];
};

namespace {

struct Record {
    uint8_t bytes[kPackedFingerprintBytes];
};
static_assert(sizeof(Record) == kPackedFingerprintBytes, "records are packed");

bool RecordLess(const Record &a, const Record &b)
{
    return memcmp(a.bytes, b.bytes, kPackedFingerprintBytes) < 0;
}

bool RecordEqual(const Record &a, const Record &b)
{
    return memcmp(a.bytes, b.bytes, kPackedFingerprintBytes) == 0;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

bool PackFingerprint(const char *fingerprint, uint8_t packed[kPackedFingerprintBytes])
{
    for (size_t i = 0; i < kFingerprintDigits; i++) {
        const int value = HexValue(fingerprint[i]);
        if (value < 0)
            return false;
        if (i % 2 == 0)
            packed[i / 2] = static_cast<uint8_t>(value << 4);
        else
            packed[i / 2] = static_cast<uint8_t>(packed[i / 2] | value);
    }
    return fingerprint[kFingerprintDigits] == '\0';
}

void AcquireIndex(FingerprintIndex *index)
{
    index->references.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseIndex(FingerprintIndex *index)
{
    if (index && index->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        index->~FingerprintIndex();
        free(index);
    }
}

bool IndexContains(const FingerprintIndex *index, const uint8_t packed[kPackedFingerprintBytes])
{
    const Record *first = reinterpret_cast<const Record *>(index->records);
    Record wanted;
    memcpy(wanted.bytes, packed, kPackedFingerprintBytes);
    return std::binary_search(first, first + index->count, wanted, RecordLess);
}

size_t IndexBytes(const FingerprintIndex *index)
{
    return offsetof(FingerprintIndex, records) + index->count * kPackedFingerprintBytes;
}

// Room for one window per 20 bytes of text: the usual list (20 digits and a
// line feed a line) fits, a text of long hex runs does not.
IndexBuilder::IndexBuilder(uint64_t textSize)
    : records(NULL), count(0), capacity(static_cast<size_t>(textSize / kFingerprintDigits) + 1), high(0), low(0),
      run(0), overflowed(false)
{
}

IndexBuilder::~IndexBuilder()
{
    free(records);
}

void IndexBuilder::Add(const char *text, size_t length)
{
    for (size_t i = 0; i < length && !overflowed; i++) {
        const int value = HexValue(text[i]);
        if (value < 0) {
            run = 0;
            continue;
        }
        high = static_cast<uint16_t>((high << 4) | (low >> 60));
        low = (low << 4) | static_cast<uint64_t>(value);
        if (++run < kFingerprintDigits)
            continue;
        if (count == capacity) {
            overflowed = true;
            break;
        }
        if (!records) {
            // Pages are touched only as far as windows are written.
            records = static_cast<uint8_t *>(malloc(capacity * kPackedFingerprintBytes));
            if (!records) {
                overflowed = true;
                break;
            }
        }
        uint8_t *record = records + count * kPackedFingerprintBytes;
        record[0] = static_cast<uint8_t>(high >> 8);
        record[1] = static_cast<uint8_t>(high);
        for (int b = 0; b < 8; b++)
            record[2 + b] = static_cast<uint8_t>(low >> (56 - 8 * b));
        count++;
    }
}

FingerprintIndex *IndexBuilder::Finish()
{
    if (overflowed)
        return NULL;
    Record *first = reinterpret_cast<Record *>(records);
    std::sort(first, first + count, RecordLess);
    const size_t unique = static_cast<size_t>(std::unique(first, first + count, RecordEqual) - first);

    void *block = malloc(offsetof(FingerprintIndex, records) + unique * kPackedFingerprintBytes + 1);
    if (!block)
        return NULL;
    FingerprintIndex *index = new (block) FingerprintIndex;
    index->references.store(1, std::memory_order_relaxed);
    index->count = unique;
    if (unique)
        memcpy(index->records, records, unique * kPackedFingerprintBytes);
    free(records);
    records = NULL;
    count = 0;
    return index;
}
