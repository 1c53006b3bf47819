// A compact index of one blacklist text: every run of 20 lower-case hex
// digits in it (also each 20-digit window of a longer run), packed into 10
// bytes, sorted. A 20-digit lower-case fingerprint occurs in the text
// exactly when its packed form is in the index. Portable.
#pragma once

#include <cstddef>
#include <cstdint>

const size_t kFingerprintDigits = 20;
const size_t kPackedFingerprintBytes = 10;

// False when the text is not 20 lower-case hex digits.
bool PackFingerprint(const char *fingerprint, uint8_t packed[kPackedFingerprintBytes]);

// Immutable once built; shared between threads by reference count.
struct FingerprintIndex;

void AcquireIndex(FingerprintIndex *index);
void ReleaseIndex(FingerprintIndex *index);
bool IndexContains(const FingerprintIndex *index, const uint8_t packed[kPackedFingerprintBytes]);
size_t IndexBytes(const FingerprintIndex *index);

// Builds an index from a text fed in pieces, in order. A text whose windows
// would take more than half its size in bytes (a text of long hex runs) is
// not indexed: Overflowed() tells, and such a file is searched directly.
// Lines of exactly 20 digits are packed whole; other text goes digit by
// digit. The windows go straight into the index's block, and Finish sorts
// them there: counted and moved by their first four digits (the buckets of
// a large index), then each bucket's few 64-bit tails sorted. So a list is
// indexed in about the time it takes to read, touching little memory
// besides what the index keeps.
class IndexBuilder {
public:
    explicit IndexBuilder(uint64_t textSize);
    ~IndexBuilder();
    IndexBuilder(const IndexBuilder &) = delete;
    IndexBuilder &operator=(const IndexBuilder &) = delete;

    void Add(const char *text, size_t length);
    bool Overflowed() const { return overflowed; }
    // The sorted index (reference count 1), or null when the text overflowed
    // or memory ran out. The builder is spent afterwards.
    FingerprintIndex *Finish();

private:
    void Append(uint16_t head, uint64_t tail);
    void AddDigitByDigit(char c);

    // The windows so far: the index they will become, its tails in the
    // order of the text, and their first four digits beside it.
    FingerprintIndex *index;
    uint64_t *tails;
    uint16_t *heads;
    size_t count;
    size_t capacity;
    uint16_t high;  // the packed value of the last 20 digits: top 16 bits
    uint64_t low;   // and the other 64
    size_t run;     // lower-case hex digits in a row so far
    bool overflowed;
};
