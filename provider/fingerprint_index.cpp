// The fingerprint index (see fingerprint_index.h). Records are big-endian
// nibbles, so memcmp order is the order of the texts. A large index takes
// the first two bytes of each record from a table of 65,536 buckets instead
// and keeps the other eight: fewer bytes a fingerprint from about 131,000 on.

#include "fingerprint_index.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const size_t kBuckets = 65536;
// Bucket starts: one more than the buckets, and one more again so that the
// 8-byte tails behind them stay aligned.
const size_t kBucketStarts = kBuckets + 2;

} // namespace

struct FingerprintIndex {
    std::atomic<long> references;
    size_t count;
    bool bucketed;
    // Bucketed: uint32_t bucketStart[kBucketStarts], then uint64_t tails[count].
    // Else: the 10-byte records.
    alignas(8) uint8_t data[8];
};

namespace {

struct Record {
    uint8_t bytes[kPackedFingerprintBytes];
};
static_assert(sizeof(Record) == kPackedFingerprintBytes, "records are packed");

uint64_t Tail(const uint8_t *record)
{
    uint64_t value = 0;
    for (size_t b = 2; b < kPackedFingerprintBytes; b++)
        value = value << 8 | record[b];
    return value;
}

unsigned Bucket(const uint8_t *record)
{
    return static_cast<unsigned>(record[0]) << 8 | record[1];
}

bool RecordLess(const Record &a, const Record &b)
{
    const unsigned bucketA = Bucket(a.bytes), bucketB = Bucket(b.bytes);
    return bucketA != bucketB ? bucketA < bucketB : Tail(a.bytes) < Tail(b.bytes);
}

bool RecordEqual(const Record &a, const Record &b)
{
    return Bucket(a.bytes) == Bucket(b.bytes) && Tail(a.bytes) == Tail(b.bytes);
}

size_t DataBytes(size_t count, bool bucketed)
{
    return bucketed ? kBucketStarts * sizeof(uint32_t) + count * sizeof(uint64_t) : count * kPackedFingerprintBytes;
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
    if (index->bucketed) {
        const uint32_t *bucketStart = reinterpret_cast<const uint32_t *>(index->data);
        const uint64_t *tails = reinterpret_cast<const uint64_t *>(bucketStart + kBucketStarts);
        const unsigned bucket = Bucket(packed);
        return std::binary_search(tails + bucketStart[bucket], tails + bucketStart[bucket + 1], Tail(packed));
    }
    const Record *first = reinterpret_cast<const Record *>(index->data);
    Record wanted;
    memcpy(wanted.bytes, packed, kPackedFingerprintBytes);
    return std::binary_search(first, first + index->count, wanted, RecordLess);
}

size_t IndexBytes(const FingerprintIndex *index)
{
    return offsetof(FingerprintIndex, data) + DataBytes(index->count, index->bucketed);
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

    const bool bucketed = DataBytes(unique, true) < DataBytes(unique, false);
    void *block = malloc(offsetof(FingerprintIndex, data) + DataBytes(unique, bucketed));
    if (!block)
        return NULL;
    FingerprintIndex *index = new (block) FingerprintIndex;
    index->references.store(1, std::memory_order_relaxed);
    index->count = unique;
    index->bucketed = bucketed;
    if (bucketed) {
        uint32_t *bucketStart = reinterpret_cast<uint32_t *>(index->data);
        uint64_t *tails = reinterpret_cast<uint64_t *>(bucketStart + kBucketStarts);
        size_t next = 0;
        for (size_t bucket = 0; bucket < kBucketStarts; bucket++) {
            while (next < unique && Bucket(first[next].bytes) < bucket)
                next++;
            bucketStart[bucket] = static_cast<uint32_t>(next);
        }
        for (size_t i = 0; i < unique; i++)
            tails[i] = Tail(first[i].bytes);
    } else if (unique) {
        memcpy(index->data, records, unique * kPackedFingerprintBytes);
    }
    free(records);
    records = NULL;
    count = 0;
    return index;
}
