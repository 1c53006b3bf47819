// The fingerprint index (see fingerprint_index.h). Records are big-endian
// nibbles, so memcmp order is the order of the texts. A large index takes
// the first two bytes of each record from a table of 65,536 buckets instead
// and keeps the other eight: fewer bytes a fingerprint from about 131,000 on.
// Every index is built in such a block and sorted there through its
// buckets: moved into them in place by the first and the second byte of
// the first four digits, then each bucket's few tails sorted. Where SSE2 is
// there (every x86-64), a line of 20 digits is tested and packed sixteen
// bytes at a time.

#include "fingerprint_index.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const size_t kBuckets = 65536;
// Bucket starts: one more than the buckets, and one more again so that the
// 8-byte tails behind them stay aligned.
const size_t kBucketStarts = kBuckets + 2;
// Larger buckets up to this size are sorted by insertion; a list of
// 300,000 fingerprints has about five a bucket.
const size_t kInsertionSortLimit = 24;
// The buckets are reached in two steps of a byte.
const size_t kByteParts = 256;
// Tails moved by the second byte through a scratch block of this size.
const size_t kScratchTails = 8192;
// Buckets up to this size are sorted without branches.
const size_t kSmallBucket = 8;

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

void WriteRecord(uint8_t *record, unsigned bucket, uint64_t tail)
{
    record[0] = static_cast<uint8_t>(bucket >> 8);
    record[1] = static_cast<uint8_t>(bucket);
    for (size_t b = 0; b < 8; b++)
        record[2 + b] = static_cast<uint8_t>(tail >> (56 - 8 * b));
}

bool RecordLess(const Record &a, const Record &b)
{
    return memcmp(a.bytes, b.bytes, kPackedFingerprintBytes) < 0;
}

size_t DataBytes(size_t count, bool bucketed)
{
    return bucketed ? kBucketStarts * sizeof(uint32_t) + count * sizeof(uint64_t) : count * kPackedFingerprintBytes;
}

uint32_t *BucketStarts(FingerprintIndex *index)
{
    return reinterpret_cast<uint32_t *>(index->data);
}

uint64_t *BucketedTails(FingerprintIndex *index)
{
    return reinterpret_cast<uint64_t *>(BucketStarts(index) + kBucketStarts);
}

FingerprintIndex *NewIndex(size_t count, bool bucketed)
{
    const size_t bytes = offsetof(FingerprintIndex, data) + DataBytes(count, bucketed);
    void *block = malloc(bytes > sizeof(FingerprintIndex) ? bytes : sizeof(FingerprintIndex));
    if (!block)
        return NULL;
    FingerprintIndex *index = new (block) FingerprintIndex;
    index->references.store(1, std::memory_order_relaxed);
    index->count = count;
    index->bucketed = bucketed;
    return index;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

#if defined(__SSE2__)

// 0xFF for each byte that is a lower-case hex digit, else 0.
inline __m128i LowerHexBytes(__m128i bytes)
{
    const __m128i digit =
        _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
    const __m128i letter =
        _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(bytes, _mm_set1_epi8('f' + 1)));
    return _mm_or_si128(digit, letter);
}

// Sixteen lower-case hex digits as a 64-bit value, the first digit on top.
inline uint64_t PackSixteen(__m128i digits)
{
    const __m128i letters = _mm_cmpgt_epi8(digits, _mm_set1_epi8('9'));
    const __m128i nibbles =
        _mm_add_epi8(_mm_and_si128(digits, _mm_set1_epi8(0x0F)), _mm_and_si128(letters, _mm_set1_epi8(9)));
    // Each 16-bit lane holds two digits, the first in its low byte.
    const __m128i pairs =
        _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0x000F)), 4), _mm_srli_epi16(nibbles, 8));
    return __builtin_bswap64(static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(pairs, pairs))));
}

#endif

// A run of exactly 20 digits at text (text[20] is no digit, and the caller
// knows text[-1] is none either): true with its first four digits and the
// other sixteen packed.
inline bool PackLine(const char *text, uint16_t *head, uint64_t *tail)
{
#if defined(__SSE2__)
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
    const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + 4));
    if (_mm_movemask_epi8(_mm_and_si128(LowerHexBytes(first), LowerHexBytes(last))) != 0xFFFF ||
        HexValue(text[kFingerprintDigits]) >= 0)
        return false;
    *head = static_cast<uint16_t>(PackSixteen(first) >> 48);
    *tail = PackSixteen(last);
    return true;
#else
    uint64_t high = 0, low = 0;
    for (size_t i = 0; i < kFingerprintDigits; i++) {
        const int value = HexValue(text[i]);
        if (value < 0)
            return false;
        high = high << 4 | low >> 60;
        low = low << 4 | static_cast<uint64_t>(value);
    }
    if (HexValue(text[kFingerprintDigits]) >= 0)
        return false;
    *head = static_cast<uint16_t>(high);
    *tail = low;
    return true;
#endif
}

void SortTails(uint64_t *first, size_t count)
{
    if (count > kInsertionSortLimit) {
        std::sort(first, first + count);
        return;
    }
    for (size_t i = 1; i < count; i++) {
        const uint64_t value = first[i];
        size_t at = i;
        for (; at > 0 && first[at - 1] > value; at--)
            first[at] = first[at - 1];
        first[at] = value;
    }
}

// Eight tails in order by a sorting network: its comparisons take no
// branch, so a bucket of a few random tails costs no mispredictions.
inline void SortPair(uint64_t &low, uint64_t &high)
{
    const uint64_t a = low, b = high;
    low = a < b ? a : b;
    high = a < b ? b : a;
}

inline void SortEight(uint64_t t[kSmallBucket])
{
    uint64_t t0 = t[0], t1 = t[1], t2 = t[2], t3 = t[3], t4 = t[4], t5 = t[5], t6 = t[6], t7 = t[7];
    SortPair(t0, t2), SortPair(t1, t3), SortPair(t4, t6), SortPair(t5, t7);
    SortPair(t0, t4), SortPair(t1, t5), SortPair(t2, t6), SortPair(t3, t7);
    SortPair(t0, t1), SortPair(t2, t3), SortPair(t4, t5), SortPair(t6, t7);
    SortPair(t2, t4), SortPair(t3, t5);
    SortPair(t1, t4), SortPair(t3, t6);
    SortPair(t1, t2), SortPair(t3, t4), SortPair(t5, t6);
    t[0] = t0, t[1] = t1, t[2] = t2, t[3] = t3, t[4] = t4, t[5] = t5, t[6] = t6, t[7] = t7;
}

// Sorts the bucket tails[begin, end) and moves its tails down to kept on
// (kept <= begin), without repeats; returns the new kept.
size_t KeepBucket(uint64_t *tails, size_t count, size_t begin, size_t end, size_t kept)
{
    const size_t size = end - begin;
    if (size <= kSmallBucket && begin + kSmallBucket < count) {
        // The usual bucket, without a branch that depends on its tails:
        // eight are read, those past the bucket made the largest, and every
        // place from kept on is written, by a tail of the bucket that
        // differs from the one before or else by what it holds.
        uint64_t sorted[kSmallBucket];
        for (size_t m = 0; m < kSmallBucket; m++)
            sorted[m] = tails[begin + m] | (m < size ? 0 : UINT64_MAX);
        SortEight(sorted);
        for (size_t m = 0; m < kSmallBucket; m++) {
            const bool keep = (m < size) & (m == 0 || sorted[m] != sorted[m - 1]);
            const uint64_t held = tails[kept];
            tails[kept] = keep ? sorted[m] : held;
            kept += keep ? 1 : 0;
        }
        return kept;
    }
    SortTails(tails + begin, size);
    const size_t first = kept;
    for (size_t i = begin; i < end; i++)
        if (kept == first || tails[kept - 1] != tails[i])
            tails[kept++] = tails[i];
    return kept;
}

// Moves the windows (heads[i], tails[i]) of [0, count) in place into 256
// parts by one byte of their head; part p then begins at part[p], and
// part[256] is count. Each window is carried to its part's next free
// place; the parts fill as 256 streams, so memory is touched in order.
void PartitionByByte(uint16_t *heads, uint64_t *tails, size_t count, unsigned shift, size_t part[kByteParts + 1])
{
    size_t next[kByteParts];
    memset(part, 0, (kByteParts + 1) * sizeof *part);
    for (size_t i = 0; i < count; i++)
        part[(heads[i] >> shift & 0xFF) + 1]++;
    for (size_t p = 1; p <= kByteParts; p++)
        part[p] += part[p - 1];
    memcpy(next, part, sizeof next);
    for (size_t p = 0; p < kByteParts; p++) {
        for (size_t i = next[p]; i < part[p + 1]; i = ++next[p]) {
            // The window taken out at i goes home, taking the one there on,
            // until one that belongs here comes back to i.
            uint16_t head = heads[i];
            uint64_t tail = tails[i];
            for (unsigned home = head >> shift & 0xFF; home != p; home = head >> shift & 0xFF) {
                const size_t place = next[home]++;
                std::swap(head, heads[place]);
                std::swap(tail, tails[place]);
            }
            heads[i] = head;
            tails[i] = tail;
        }
    }
}

// Moves the tails of [0, count) into 256 parts by the low byte of their
// head, through scratch (room for kScratchTails) where they fit, else in
// place; part p then begins at part[p].
void PartitionByLowByte(uint16_t *heads, uint64_t *tails, size_t count, uint64_t *scratch,
                        size_t part[kByteParts + 1])
{
    if (!scratch || count > kScratchTails) {
        PartitionByByte(heads, tails, count, 0, part);
        return;
    }
    size_t next[kByteParts];
    memset(part, 0, (kByteParts + 1) * sizeof *part);
    for (size_t i = 0; i < count; i++)
        part[(heads[i] & 0xFF) + 1]++;
    for (size_t p = 1; p <= kByteParts; p++)
        part[p] += part[p - 1];
    memcpy(next, part, sizeof next);
    for (size_t i = 0; i < count; i++)
        scratch[next[heads[i] & 0xFF]++] = tails[i];
    memcpy(tails, scratch, count * sizeof *tails);
}

// Sorts the windows (heads[i], tails[i]) of a bucketed index in place and
// drops repeats: moved into their buckets by the first and then the second
// byte of their head, then each bucket's tails sorted. The index's count
// becomes the number kept.
void SortInPlace(FingerprintIndex *index, uint16_t *heads)
{
    const size_t count = index->count;
    uint32_t *start = BucketStarts(index);
    uint64_t *tails = BucketedTails(index);

    // A part of a list of random fingerprints has about count / 256 tails.
    uint64_t *scratch = static_cast<uint64_t *>(malloc(kScratchTails * sizeof *scratch));
    size_t high[kByteParts + 1], low[kByteParts + 1];
    PartitionByByte(heads, tails, count, 8, high);
    for (size_t p = 0; p < kByteParts; p++) {
        PartitionByLowByte(heads + high[p], tails + high[p], high[p + 1] - high[p], scratch, low);
        for (size_t q = 0; q < kByteParts; q++)
            start[p * kByteParts + q] = static_cast<uint32_t>(high[p] + low[q]);
    }
    start[kBuckets] = static_cast<uint32_t>(count);
    free(scratch);

    size_t begin = 0, kept = 0;
    for (size_t bucket = 0; bucket < kBuckets; bucket++) {
        const size_t end = start[bucket + 1];
        start[bucket] = static_cast<uint32_t>(kept);
        kept = KeepBucket(tails, count, begin, end, kept);
        begin = end;
    }
    start[kBuckets] = start[kBuckets + 1] = static_cast<uint32_t>(kept);
    index->count = kept;
}

// The finished form of a sorted bucketed index: few fingerprints go into
// records of 10 bytes, which then take less than the table; else the block
// gives back the room of repeats and unused capacity. Null when memory ran
// out (the index is released either way).
FingerprintIndex *Compacted(FingerprintIndex *index)
{
    const size_t count = index->count;
    if (DataBytes(count, true) < DataBytes(count, false)) {
        // Only plain data and a reference count that nothing else knows
        // yet are moved, if the block moves at all.
        void *smaller = realloc(index, offsetof(FingerprintIndex, data) + DataBytes(count, true));
        return smaller ? static_cast<FingerprintIndex *>(smaller) : index;
    }
    FingerprintIndex *flat = NewIndex(count, false);
    if (flat) {
        const uint32_t *start = BucketStarts(index);
        const uint64_t *tails = BucketedTails(index);
        Record *records = reinterpret_cast<Record *>(flat->data);
        for (size_t bucket = 0; bucket < kBuckets; bucket++)
            for (size_t i = start[bucket]; i < start[bucket + 1]; i++)
                WriteRecord(records[i].bytes, static_cast<unsigned>(bucket), tails[i]);
    }
    ReleaseIndex(index);
    return flat;
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
    : index(NULL), tails(NULL), heads(NULL), count(0),
      capacity(static_cast<size_t>(textSize / kFingerprintDigits) + 1), high(0), low(0), run(0), overflowed(false)
{
}

IndexBuilder::~IndexBuilder()
{
    ReleaseIndex(index);
    free(heads);
}

void IndexBuilder::Append(uint16_t head, uint64_t tail)
{
    if (count == capacity) {
        overflowed = true;
        return;
    }
    if (!index) {
        // Pages are touched only as far as windows are written.
        index = NewIndex(capacity, true);
        heads = static_cast<uint16_t *>(malloc(capacity * sizeof *heads));
        if (!index || !heads) {
            overflowed = true;
            return;
        }
        tails = BucketedTails(index);
    }
    heads[count] = head;
    tails[count] = tail;
    count++;
}

void IndexBuilder::AddDigitByDigit(char c)
{
    const int value = HexValue(c);
    if (value < 0) {
        run = 0;
        return;
    }
    high = static_cast<uint16_t>((high << 4) | (low >> 60));
    low = (low << 4) | static_cast<uint64_t>(value);
    if (++run >= kFingerprintDigits)
        Append(high, low);
}

void IndexBuilder::Add(const char *text, size_t length)
{
    size_t at = 0;
    while (at < length && !overflowed) {
        uint16_t head;
        uint64_t tail;
        // A line of 20 digits and its end in one step; anything else (and
        // a line cut by the end of the piece) digit by digit.
        if (run == 0 && length - at > kFingerprintDigits && PackLine(text + at, &head, &tail)) {
            Append(head, tail);
            at += kFingerprintDigits + 1;
        } else {
            AddDigitByDigit(text[at++]);
        }
    }
}

FingerprintIndex *IndexBuilder::Finish()
{
    FingerprintIndex *finished = NULL;
    if (!overflowed) {
        if (!index)
            finished = NewIndex(0, false);  // no window at all
        else {
            index->count = count;
            SortInPlace(index, heads);
            finished = Compacted(index);
        }
        index = NULL;
    }
    free(heads);
    heads = NULL;
    tails = NULL;
    count = 0;
    return finished;
}
