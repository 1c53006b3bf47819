// Bounded string routines: copy, append, format and measure 8-bit text in
// caller-sized buffers. They never write past the stated capacity and always
// leave a terminated string behind once they have written anything.
// Portable: no Windows header, so the same file builds for the host tests.
#pragma once

#include <cstddef>
#include <cstdint>

// Results are HRESULT values; on Windows these equal S_OK, E_INVALIDARG and
// HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER).
typedef int32_t BoundedResult;

const BoundedResult kBoundedOk = 0;
const BoundedResult kBoundedInvalidArg = static_cast<BoundedResult>(0x80070057u);
const BoundedResult kBoundedInsufficientBuffer = static_cast<BoundedResult>(0x8007007Au);

// The largest capacity accepted; larger values are refused untouched.
const size_t kBoundedMaxCapacity = 0x7FFFFFFF;

BoundedResult BoundedCopy(char *destination, size_t capacity, const char *source);
BoundedResult BoundedAppend(char *destination, size_t capacity, const char *source);
BoundedResult BoundedFormat(char *destination, size_t capacity, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
BoundedResult BoundedLength(const char *text, size_t largestCount, size_t *length);
