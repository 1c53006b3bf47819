// Bounded string routines (see bounded_string.h).

#include "bounded_string.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Copies source into destination while room lasts; room is at least 1.
BoundedResult CopyWithin(char *destination, size_t room, const char *source)
{
    while (room != 0 && *source != '\0') {
        *destination++ = *source++;
        room--;
    }
    if (room == 0) {
        // The source filled the buffer: its last character gives way to the NUL.
        destination[-1] = '\0';
        return kBoundedInsufficientBuffer;
    }
    *destination = '\0';
    return kBoundedOk;
}

} // namespace

BoundedResult BoundedCopy(char *destination, size_t capacity, const char *source)
{
    if (capacity > kBoundedMaxCapacity || capacity == 0)
        return kBoundedInvalidArg;
    return CopyWithin(destination, capacity, source);
}

BoundedResult BoundedLength(const char *text, size_t largestCount, size_t *length)
{
    size_t remaining = largestCount;
    while (remaining != 0 && *text != '\0') {
        text++;
        remaining--;
    }
    if (remaining == 0)
        return kBoundedInvalidArg;
    if (length)
        *length = largestCount - remaining;
    return kBoundedOk;
}

BoundedResult BoundedAppend(char *destination, size_t capacity, const char *source)
{
    if (capacity > kBoundedMaxCapacity)
        return kBoundedInvalidArg;
    size_t current = 0;
    if (BoundedLength(destination, capacity, &current) != kBoundedOk)
        return kBoundedInvalidArg;
    return CopyWithin(destination + current, capacity - current, source);
}

BoundedResult BoundedFormat(char *destination, size_t capacity, const char *format, ...)
{
    if (capacity > kBoundedMaxCapacity || capacity == 0)
        return kBoundedInvalidArg;

    const size_t limit = capacity - 1;
    va_list argList;
    va_start(argList, format);
    // C99 vsnprintf reports the full length; an older runtime's _vsnprintf
    // reports -1 and may leave the buffer unterminated. Both are handled by
    // terminating at the limit whenever the report is not within it.
    const int written = vsnprintf(destination, capacity, format, argList);
    va_end(argList);

    if (written < 0 || static_cast<size_t>(written) > limit) {
        destination[limit] = '\0';
        return kBoundedInsufficientBuffer;
    }
    if (static_cast<size_t>(written) == limit)
        destination[limit] = '\0';
    return kBoundedOk;
}
